#!/usr/bin/env bash
# The menu entry and the AppStream metainfo pass their validators without a remark,
# and name the same application, command and icon.
# Usage: desktop_files_test.sh SOURCE_DIR
set -u
src=$1
id=example.quorvane.Request
desktop=$src/dist/$id.desktop
metainfo=$src/dist/$id.metainfo.xml
for tool in desktop-file-validate appstreamcli; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (scripts/setup.sh installs it)"
    exit 77
  fi
done
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
[ -z "$out" ] || fail "desktop-file-validate has remarks: $out"
out=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli validate: $out"

key() { sed -n "s/^$1=//p" "$desktop"; }
[ "$(key Exec)" = "quorvane %F" ] || fail "Exec is '$(key Exec)': files from a file manager must reach the installed command"
[ "$(key Icon)" = "$id" ] || fail "Icon is '$(key Icon)', not the installed icon's name $id"
case ";$(key Categories)" in *";AudioVideo;"*) ;; *) fail "Categories lack AudioVideo" ;; esac
for k in 'Name\[ja\]' 'Comment\[ja\]' Name Comment; do [ -n "$(key "$k")" ] || fail "no $k"; done
for type in video/mp4 video/x-msvideo video/mpeg video/quicktime video/x-matroska video/x-ms-wmv video/x-flv; do
  case ";$(key MimeType)" in *";$type;"*) ;; *) fail "MimeType lacks $type" ;; esac
done
grep -q "<id>$id</id>" "$metainfo" || fail "metainfo id is not $id"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" || fail "metainfo does not launch $id.desktop"
grep -q '<binary>quorvane</binary>' "$metainfo" || fail "metainfo does not provide the command quorvane"
grep -q '<screenshot type="default">' "$metainfo" || fail "metainfo has no default screenshot"
[ "$failures" -eq 0 ] && echo "desktop files valid"
exit $((failures > 0))
