#!/usr/bin/env bash
# Installs what the build, the program and the tests need. Safe to run again:
# apt-get is asked only when a package is missing.
set -euo pipefail
packages=(
  cmake g++ make pkg-config clang-format
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev libgmock-dev
  libjpeg62-turbo-dev
  ffmpeg libavformat-dev libavcodec-dev libavutil-dev libswscale-dev
  fonts-ipafont-gothic
  xvfb xauth dbus-daemon
  librsvg2-bin desktop-file-utils appstream dpkg-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
