#!/usr/bin/env bash
# The layer check must refuse each kind of wrong include. Builds a small tree per
# case and expects the check to fail on it (and to pass on the clean tree).
set -u
check=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

clean_tree() {
  rm -rf "$work/t"
  for d in src/base src/settings src/run src/cli encoder src/ui/widgets src/ui/services src/ui/progress \
           src/ui/main_window src/ui/app; do
    mkdir -p "$work/t/$d"
  done
  echo '#include <string>' >"$work/t/src/base/text.h"
  echo '#include "base/text.h"' >"$work/t/src/settings/a.h"
  echo '#include "settings/a.h"' >"$work/t/src/run/b.h"
  echo '#include "run/b.h"' >"$work/t/src/cli/main.cpp"
  echo '#include <QWidget>' >"$work/t/src/ui/widgets/w.h"
  echo '#include "ui/main_window/TMainForm1.h"' >"$work/t/src/ui/app/main.cpp"
  echo '#include "ui/progress/batch_host.h"' >"$work/t/src/ui/main_window/TMainForm1.h"
  echo '#include "ui/services/dialogs.h"' >"$work/t/src/ui/progress/batch_host.h"
  echo '#include "ui/widgets/w.h"' >"$work/t/src/ui/services/dialogs.h"
}

failures=0
expect() {  # expect pass|fail "what"
  if bash "$check" "$work/t" >"$work/out" 2>&1; then got=pass; else got=fail; fi
  if [ "$got" != "$1" ]; then
    echo "FAILED: $2: the check gave $got"; cat "$work/out"; failures=$((failures + 1))
  fi
}

clean_tree; expect pass "a clean tree"
clean_tree; echo '#include "run/b.h"' >>"$work/t/src/settings/a.h"; expect fail "settings including run"
clean_tree; echo '#include "ui/widgets/w.h"' >>"$work/t/src/base/text.h"; expect fail "base including widgets"
clean_tree; echo '#include <QString>' >>"$work/t/src/run/b.h"; expect fail "a Qt header in run"
clean_tree; echo '#include <QtCore/QString>' >>"$work/t/src/base/text.h"; expect fail "a Qt module header in base"
clean_tree; echo '#include "run/b.h"' >>"$work/t/encoder/x.cpp"; expect fail "the adapter including run"
clean_tree; echo '#include "cli/main.h"' >>"$work/t/src/run/b.h"; expect fail "run including the tool"
clean_tree; echo '#include "ui/widgets/w.h"' >>"$work/t/src/cli/main.cpp"; expect fail "the tool including widgets"
clean_tree; echo '#include <QCoreApplication>' >>"$work/t/src/cli/main.cpp"; expect fail "a Qt header in the tool"
clean_tree; echo '#include "cli/main.h"' >>"$work/t/src/ui/widgets/w.h"; expect fail "the widgets including the tool"
clean_tree; echo '#include "ui/main_window/TMainForm1.h"' >>"$work/t/src/ui/progress/batch_host.h"
expect fail "the progress window including the main window"
clean_tree; echo '#include "ui/main_window/TMainForm1.h"' >"$work/t/src/ui/app/other.cpp"
expect fail "a second file of the entry point's folder including the main window"
clean_tree; echo 'int x;' >"$work/t/src/stray.cpp"; expect fail "a source file in no layer"

[ "$failures" -eq 0 ] && echo "layer check refuses every wrong include"
exit "$failures"
