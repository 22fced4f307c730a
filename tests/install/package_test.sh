#!/usr/bin/env bash
# Builds the Debian package once, in a folder of its own, and checks what it holds:
# its dependencies (dpkg-deb -I) and its file list (dpkg-deb -c), exactly.
# Usage: package_test.sh BUILD_DIR SOURCE_DIR
set -u
build=$1
src=$2
for tool in cpack dpkg-deb dpkg-shlibdeps; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (scripts/setup.sh installs it)"
    exit 77
  fi
done
work=$build/package-test
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
if ! (cd "$work" && cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work" >cpack.log 2>&1); then
  cat "$work/cpack.log"
  echo "FAIL: cpack did not build the package"
  exit 1
fi
debs=("$work"/*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
  echo "FAIL: expected one .deb, found: ${debs[*]}"
  exit 1
fi
deb=${debs[0]}
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = quorvane ] || fail "Package is '$(field Package)'"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is '$(field Architecture)'"
[ -n "$(field Version)" ] || fail "no Version"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
depends=$(field Depends)
# Each entry of Depends as its own line, version limits dropped.
entries=$(tr ',' '\n' <<<"$depends" | sed -e 's/([^)]*)//g' -e 's/  */ /g' -e 's/^ //' -e 's/ $//')
for want in libqt6widgets6 libqt6gui6 libqt6core6 libjpeg62-turbo libstdc++6 libc6 ffmpeg \
    'fonts-ipafont-gothic | fonts-japanese-gothic'; do
  grep -qxF "$want" <<<"$entries" || fail "Depends lacks '$want': $depends"
done
# Nothing only the build or the tests need.
for unwanted in qt6-base-dev libgtest libgmock libasan libubsan; do
  grep -q "$unwanted" <<<"$depends" && fail "Depends names $unwanted: $depends"
done

# Every file and link with its type and mode, sorted (folders aside).
listing=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {
    name = $6; for (i = 7; i <= NF; i++) name = name " " $i; print substr($1, 1, 10), name }' | sort -k2)
id=example.quorvane.Request
expected="lrwxrwxrwx ./usr/bin/quorvane -> ../lib/quorvane/Quorvane_R
lrwxrwxrwx ./usr/bin/quorvane-convert -> ../lib/quorvane/quorvane-convert
-rwxr-xr-x ./usr/lib/quorvane/Quorvane_R
-rw-r--r-- ./usr/lib/quorvane/Readme.txt
-rwxr-xr-x ./usr/lib/quorvane/ffmpeg
-rwxr-xr-x ./usr/lib/quorvane/quorvane-convert
-rw-r--r-- ./usr/lib/quorvane/profile.txt
-rw-r--r-- ./usr/share/applications/$id.desktop"
for size in 128 16 22 24 256 32 48 64; do
  expected+="
-rw-r--r-- ./usr/share/icons/hicolor/${size}x${size}/apps/$id.png"
done
expected+="
-rw-r--r-- ./usr/share/icons/hicolor/scalable/apps/$id.svg
-rw-r--r-- ./usr/share/metainfo/$id.metainfo.xml"
expected=$(sort -k2 <<<"$expected")
if [ "$listing" != "$expected" ]; then
  fail "file list differs (- expected, + in the package):"
  diff <(echo "$expected") <(echo "$listing") | grep '^[<>]' | sed -e 's/^</ -/' -e 's/^>/ +/'
fi

# The shipped files byte for byte, and programs without their debugging sections.
mkdir -p "$work/root"
dpkg-deb -x "$deb" "$work/root"
for f in profile.txt Readme.txt; do
  cmp -s "$src/dist/$f" "$work/root/usr/lib/quorvane/$f" || fail "$f differs from dist/$f"
done
for exe in Quorvane_R ffmpeg quorvane-convert; do
  if readelf -S "$work/root/usr/lib/quorvane/$exe" 2>/dev/null | grep -q '\.debug_info'; then
    fail "$exe is not stripped"
  fi
done
if readelf -d "$work/root/usr/lib/quorvane/Quorvane_R" 2>/dev/null | grep -E 'R(UN)?PATH'; then
  fail "Quorvane_R keeps a library search path"
fi
[ "$failures" -eq 0 ] && echo "package $(basename "$deb") checked"
exit $((failures > 0))
