#!/usr/bin/env bash
# Fails when a source folder includes one of a layer above its own, when a Qt
# header appears in a Qt-free layer, when anything outside the main window's
# folder includes the main window (the entry point excepted), or when anything
# outside the command-line tool's folder includes the tool.
# Usage: scripts/check_layers.sh [source root]
set -u
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root" || exit 2

# Folder, rank and whether Qt may be used, bottom to top. A folder may include its
# own files and those of folders of a lower rank.
# The adapter (encoder/) shares the base layer only.
layers=(
  "src/base 0 noqt"
  "encoder 5 noqt"
  "src/settings 10 noqt"
  "src/run 20 noqt"
  "src/cli 25 noqt"
  "src/ui/widgets 30 qt"
  "src/ui/services 40 qt"
  "src/ui/progress 50 qt"
  "src/ui/main_window 60 qt"
  "src/ui/app 70 qt"
)
main_window_dir=src/ui/main_window
entry_point=src/ui/app/main.cpp
# The command-line tool stands on the Qt-free layers and nothing stands on it.
tool_dir=src/cli

rank_of() {  # include path ("ui/widgets/TBevel.h") -> rank of its folder, or -1
  local inc=$1 entry dir rank qt
  for entry in "${layers[@]}"; do
    read -r dir rank qt <<<"$entry"
    case "src/$inc" in "$dir"/*) echo "$rank"; return ;; esac
  done
  echo -1
}

failures=0
fail() { echo "layer check: $*" >&2; failures=$((failures + 1)); }

for entry in "${layers[@]}"; do
  read -r dir rank qt <<<"$entry"
  [ -d "$dir" ] || { fail "$dir: no such folder"; continue; }
  while IFS= read -r file; do
    while IFS= read -r line; do
      num=${line%%:*}
      text=${line#*:}
      if [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<(Q[A-Za-z0-9_/]*)(\.h)?\> ]]; then
        [ "$qt" = noqt ] && fail "$file:$num: Qt header <${BASH_REMATCH[1]}> in a Qt-free layer"
        continue
      fi
      [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([^\"]+)\" ]] || continue
      inc=${BASH_REMATCH[1]}
      incRank=$(rank_of "$inc")
      [ "$incRank" -lt 0 ] && continue  # a file of its own folder ("translate.h") or a generated one
      if [ "$incRank" -gt "$rank" ]; then
        fail "$file:$num: includes \"$inc\" from a layer above its own"
      fi
      if [[ "src/$inc" == "$tool_dir"/* && "$file" != "$tool_dir"/* ]]; then
        fail "$file:$num: includes the command-line tool (\"$inc\")"
      fi
      if [[ "src/$inc" == "$main_window_dir"/* && "$file" != "$main_window_dir"/* && "$file" != "$entry_point" ]]; then
        fail "$file:$num: includes the main window (\"$inc\"); only the entry point may"
      fi
    done < <(grep -n '#[[:space:]]*include' "$file")
  done < <(find "$dir" -type f \( -name '*.h' -o -name '*.cpp' \) | sort)
done

# A source file in no layer would escape the check.
while IFS= read -r file; do
  known=0
  for entry in "${layers[@]}"; do
    read -r dir rank qt <<<"$entry"
    case "$file" in "$dir"/*) known=1 ;; esac
  done
  [ "$known" = 1 ] || fail "$file: in no layer"
done < <(find src -type f \( -name '*.h' -o -name '*.cpp' \) | sort)

if [ "$failures" -gt 0 ]; then
  echo "layer check: $failures finding(s)" >&2
  exit 1
fi
echo "layer check: every include points downward"
