#!/usr/bin/env bash
# Renders every widget and the main window to PNG under BUILD/screenshots/.
# The GUI tests write their grabs when QV_SCREENSHOT_DIR is set.
set -euo pipefail
build=${1:-build}
out="$(cd "$build" && pwd)/screenshots"
mkdir -p "$out"
cd "$build"
QT_QPA_PLATFORM=offscreen QV_SCREENSHOT_DIR="$out" ctest -L gui --output-on-failure >/dev/null
ls "$out"
