#pragma once
#include <functional>

namespace qv::ui::widgets {

// The refusal beep of the widgets. The widgets sit below the application's dialog
// layer, so the application installs its own beep here; without one it is the
// platform's beep.
std::function<void()>& beepHandler();
void beep();

}  // namespace qv::ui::widgets
