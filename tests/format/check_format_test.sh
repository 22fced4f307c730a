#!/usr/bin/env bash
# The format check must refuse a misformatted file, in a checkout and outside one,
# and pass the same tree once it is formatted.
set -u
check=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

tree() {  # tree git|plain
  rm -rf "$work/t"
  mkdir -p "$work/t/src" "$work/t/build"
  printf 'BasedOnStyle: Google\nIndentWidth: 4\n' >"$work/t/.clang-format"
  printf 'int f() { return 1; }\n' >"$work/t/src/good.cpp"
  # Build output is never checked, however it looks.
  printf 'int   g( ){return 2;}\n' >"$work/t/build/generated.cpp"
  if [ "$1" = git ]; then
    printf '/build/\n' >"$work/t/.gitignore"
    git -C "$work/t" init -q && git -C "$work/t" add -A
  fi
}

failures=0
expect() {  # expect pass|fail "what"
  if bash "$check" "$work/t" >"$work/out" 2>&1; then got=pass; else got=fail; fi
  if [ "$got" != "$1" ]; then
    echo "FAILED: $2: the check gave $got"; cat "$work/out"; failures=$((failures + 1))
  fi
}

for kind in git plain; do
  tree $kind; expect pass "$kind: a formatted tree"
  tree $kind; printf 'int h(){return 3;}\n' >"$work/t/src/bad.h"
  [ $kind = git ] && git -C "$work/t" add -A
  expect fail "$kind: a misformatted header"
  grep -q 'src/bad.h' "$work/out" || { echo "FAILED: $kind: the file is not named"; cat "$work/out"; failures=$((failures + 1)); }
  clang-format -i "$work/t/src/bad.h"; expect pass "$kind: the same tree formatted"
done

[ "$failures" -eq 0 ] && echo "format check refuses a misformatted file"
exit "$failures"
