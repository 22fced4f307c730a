#include "ui/widgets/beep.h"

#include <QApplication>

namespace qv::ui::widgets {

std::function<void()>& beepHandler() {
    static std::function<void()> handler;
    return handler;
}

void beep() {
    if (auto& handler = beepHandler()) {
        handler();
    } else {
        QApplication::beep();
    }
}

}  // namespace qv::ui::widgets
