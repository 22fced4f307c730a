#include "ui/widgets/TGradBox.h"

#include <QPainter>

TGradBox::TGradBox(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
}

void TGradBox::setDirection(Direction d) {
    if (d == direction_) return;
    direction_ = d;
    update();
}

void TGradBox::setColors(const QColor& light, const QColor& dark) {
    if (light == light_ && dark == dark_) return;
    light_ = light;
    dark_ = dark;
    update();
}

void TGradBox::setOutline(bool on) {
    if (on == outline_) return;
    outline_ = on;
    update();
}

void TGradBox::paintEvent(QPaintEvent*) {
    constexpr int kBands = 256;
    QPainter p(this);
    const bool vertical = direction_ != Direction::LeftToRight;
    const int length = vertical ? height() : width();
    for (int i = 0; i < kBands; ++i) {
        const int from = i * length / kBands;
        const int to = (i + 1) * length / kBands;
        if (to <= from) continue;
        const int k = direction_ == Direction::BottomToTop ? kBands - 1 - i : i;
        const QColor c(light_.red() + (dark_.red() - light_.red()) * k / (kBands - 1),
                       light_.green() + (dark_.green() - light_.green()) * k / (kBands - 1),
                       light_.blue() + (dark_.blue() - light_.blue()) * k / (kBands - 1));
        if (vertical) {
            p.fillRect(0, from, width(), to - from, c);
        } else {
            p.fillRect(from, 0, to - from, height(), c);
        }
    }
    if (outline_ && width() > 0 && height() > 0) {
        const QColor black(0, 0, 0);
        p.fillRect(0, 0, width(), 1, black);
        p.fillRect(0, height() - 1, width(), 1, black);
        p.fillRect(0, 0, 1, height(), black);
        p.fillRect(width() - 1, 0, 1, height(), black);
    }
}
