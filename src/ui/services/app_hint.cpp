#include "ui/services/app_hint.h"

#include <QApplication>
#include <QEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QWidget>
#include <algorithm>

#include "ui/widgets/THintBalloon.h"

namespace {
// The nearest widget at or above w that has a hint, stopping at its window.
QWidget* hintedAt(QWidget* w) {
    for (; w; w = w->isWindow() ? nullptr : w->parentWidget())
        if (!w->toolTip().isEmpty()) return w;
    return nullptr;
}
}  // namespace

TAppHint::TAppHint(QObject* parent) : QObject(parent) {
    balloon_ = new THintBalloon(nullptr);
    rest_.setSingleShot(true);
    stay_.setSingleShot(true);
    connect(&rest_, &QTimer::timeout, this, &TAppHint::show);
    connect(&stay_, &QTimer::timeout, this, [this] {
        hide();
        spent_ = true;
    });
    qApp->installEventFilter(this);
}

TAppHint::~TAppHint() {
    if (qApp) qApp->removeEventFilter(this);
    delete balloon_;
}

bool TAppHint::isShowing() const { return balloon_->isVisible(); }

bool TAppHint::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::ToolTip:
            return true;  // the balloon replaces the platform's tooltip
        case QEvent::MouseMove:
            if (watched->isWidgetType()) {
                auto* me = static_cast<QMouseEvent*>(event);
                if (me->buttons() == Qt::NoButton)
                    pointerMoved(static_cast<QWidget*>(watched), me->globalPosition().toPoint());
            }
            break;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
            if (isShowing() || rest_.isActive()) {
                hide();
                spent_ = true;
            }
            break;
        case QEvent::Leave:
            // The pointer left a window of ours altogether.
            if (watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow()) forget();
            break;
        case QEvent::WindowDeactivate:
        case QEvent::Hide:
            if (watched == target_ || (target_ && watched == target_->window())) forget();
            break;
        default:
            break;
    }
    return false;
}

void TAppHint::pointerMoved(QWidget* receiver, const QPoint& globalPos) {
    // A move that nobody takes travels up through the parents: look at it once,
    // where it lands first, at the deepest widget under the pointer.
    QWidget* window = receiver->window();
    QWidget* deepest = window->childAt(window->mapFromGlobal(globalPos));
    if (!deepest) deepest = window;
    if (deepest != receiver) return;

    pointer_ = globalPos;
    QWidget* control = hintedAt(deepest);
    if (control != target_) {
        target_ = control;
        spent_ = false;
        if (!control) {
            rest_.stop();
            hide();
        } else if (isShowing()) {
            show();  // moving on to another control while one shows: at once
        } else {
            rest_.start(HintPause);
        }
        return;
    }
    if (control && !isShowing() && !spent_) rest_.start(HintPause);
}

void TAppHint::show() {
    rest_.stop();
    if (!target_ || !target_->isVisible()) return;
    balloon_->setText(target_->toolTip());
    QPoint at = pointer_ + kDefaultOffset - QPoint(0, kRaise);
    if (QScreen* screen = QGuiApplication::screenAt(pointer_)) {
        const QRect area = screen->availableGeometry();
        at.setX(std::clamp(at.x(), area.left(),
                           std::max(area.left(), area.right() - balloon_->width() + 1)));
        at.setY(std::clamp(at.y(), area.top(),
                           std::max(area.top(), area.bottom() - balloon_->height() + 1)));
    }
    balloon_->move(at);
    balloon_->show();
    balloon_->raise();
    stay_.start(HintHidePause);
}

void TAppHint::hide() {
    rest_.stop();
    stay_.stop();
    balloon_->hide();
}

void TAppHint::forget() {
    hide();
    target_ = nullptr;
    spent_ = false;
}
