#include "ui/widgets/window_drag.h"

#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

void WindowDrag::begin(const QMouseEvent& press, bool askWindowManager) {
    if (askWindowManager)
        if (QWindow* w = window_.windowHandle(); w && w->startSystemMove()) return;
    // No window manager to move us: follow the pointer ourselves.
    dragging_ = true;
    offset_ = press.globalPosition().toPoint() - window_.frameGeometry().topLeft();
}

bool WindowDrag::follow(const QMouseEvent& move) {
    if (!dragging_) return false;
    if (!(move.buttons() & Qt::LeftButton)) {
        dragging_ = false;  // the release went elsewhere
        return false;
    }
    window_.move(move.globalPosition().toPoint() - offset_);
    return true;
}

bool WindowDrag::end(const QMouseEvent& release) {
    if (!dragging_ || release.button() != Qt::LeftButton) return false;
    dragging_ = false;
    return true;
}
