#!/usr/bin/env bash
# Runs every benchmark of bench/ (built as <name> from bench/<name>.cpp).
#   scripts/bench.sh [build-dir]
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
case "$build" in /*) ;; *) build="$root/$build" ;; esac
export QV_PROGRAM_DIR="$build/program" QV_SOURCE_DIR="$root" QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"

failed=0
found=0
for src in "$root"/bench/*_bench.cpp; do
    [ -e "$src" ] || continue
    name="$(basename "$src" .cpp)"
    exe="$build/bench/$name"
    found=1
    echo "== $name"
    if [ ! -x "$exe" ]; then
        echo "not built: $exe" >&2
        failed=1
        continue
    fi
    "$exe" || { echo "$name failed" >&2; failed=1; }
done
# Shell benchmarks print information; 77 means they cannot run here, and they say why.
for src in "$root"/bench/*_bench.sh; do
    [ -e "$src" ] || continue
    found=1
    echo "== $(basename "$src" .sh)"
    bash "$src"
    rc=$?
    [ "$rc" -eq 0 ] || [ "$rc" -eq 77 ] || { echo "$(basename "$src") failed" >&2; failed=1; }
done
[ "$found" = 1 ] || echo "no benchmarks"
exit "$failed"
