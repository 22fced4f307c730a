#include "ui/widgets/TShape.h"

#include <QPainter>

TShape::TShape(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

void TShape::setColors(const QColor& fill, const QColor& border) {
    fill_ = fill;
    border_ = border;
    update();
}

void TShape::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), border_);
    if (width() > 2 && height() > 2) p.fillRect(rect().adjusted(1, 1, -1, -1), fill_);
}
