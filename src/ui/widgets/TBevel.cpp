#include "ui/widgets/TBevel.h"

#include <QPainter>

#include "ui/widgets/colours.h"

TBevel::TBevel(QWidget* parent) : QWidget(parent) {
    // Drawn on the parent's surface: presses go to what lies below.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

void TBevel::paintEvent(QPaintEvent*) {
    const int w = width();
    const int h = height();
    if (w < 2 || h < 2) return;
    QPainter p(this);
    const QColor shadow = qv::ui::colour(qv::palette::kMidGrey);
    const QColor light(255, 255, 255);
    // Lowered: a dark rectangle with a light one 1 px right and down.
    p.fillRect(0, 0, w - 1, 1, shadow);
    p.fillRect(0, 0, 1, h - 1, shadow);
    p.fillRect(w - 2, 0, 1, h - 1, shadow);
    p.fillRect(0, h - 2, w - 1, 1, shadow);
    p.fillRect(1, 1, w - 2, 1, light);
    p.fillRect(1, 1, 1, h - 2, light);
    p.fillRect(w - 1, 0, 1, h, light);
    p.fillRect(0, h - 1, w, 1, light);
}
