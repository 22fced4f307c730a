#pragma once
// The progress window of the run in progress, found among the application's windows as the
// user sees it: the one shown. Null between runs (a released window is hidden at once).
#include <QApplication>
#include <QWidget>

#include "ui/progress/progress_form.h"

namespace qvtest {

inline TProgressForm1* progressWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* form = qobject_cast<TProgressForm1*>(w); form && form->isVisible()) return form;
    return nullptr;
}

}  // namespace qvtest
