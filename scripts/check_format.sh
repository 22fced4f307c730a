#!/usr/bin/env bash
# Fails when a C++ file of the tree differs from what the project's .clang-format
# makes of it. Usage: scripts/check_format.sh [source root]
# Mend with: clang-format -i FILE (the version Debian installs, set up by scripts/setup.sh).
set -u
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root" || exit 2
command -v clang-format >/dev/null || { echo "format check: clang-format is not installed" >&2; exit 2; }
[ -f .clang-format ] || { echo "format check: $root has no .clang-format" >&2; exit 2; }

# The files git tracks, or every C++ file below the root outside a checkout; build
# folders are never ours to format.
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -d '' files < <(git ls-files -z -- '*.cpp' '*.h')
else
  mapfile -d '' files < <(find . -path './build*' -prune -o -type f \( -name '*.cpp' -o -name '*.h' \) -print0)
fi
[ ${#files[@]} -gt 0 ] || { echo "format check: no C++ files"; exit 0; }

if ! clang-format --dry-run -Werror --style=file "${files[@]}" 2>"${TMPDIR:-/tmp}/format-check.$$"; then
  grep -E '^[^ ].*(warning|error):' "${TMPDIR:-/tmp}/format-check.$$" | cut -d: -f1 | sort -u |
    sed 's/^/format check: differs from .clang-format: /' >&2
  rm -f "${TMPDIR:-/tmp}/format-check.$$"
  echo "format check: run clang-format -i on the files above" >&2
  exit 1
fi
rm -f "${TMPDIR:-/tmp}/format-check.$$"
echo "format check: ${#files[@]} files as .clang-format makes them"
