#include "ui/widgets/TdxfLabel.h"

#include <QPainter>

#include "ui/widgets/colours.h"
#include "ui/widgets/fonts.h"

TdxfLabel::TdxfLabel(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setFont(qv::ui::uiFont(15, true));
}

void TdxfLabel::setCaption(const QString& text) {
    if (text == caption_) return;
    caption_ = text;
    update();
}

void TdxfLabel::setTitleColor(const QColor& color) {
    if (color == color_) return;
    color_ = color;
    update();
}

void TdxfLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setFont(font());
    // After the quarter turn the text runs along the label's height.
    const QRect turned(0, 0, height(), width());
    auto drawAt = [&](int dx, int dy, const QColor& c) {
        p.save();
        p.translate(dx, height() + dy);
        p.rotate(-90);
        p.setPen(c);
        p.drawText(turned, Qt::AlignCenter, caption_);
        p.restore();
    };
    // A raised look: grey copies stepping 2 px to the lower right, the title on top.
    drawAt(2, 2, QColor(64, 64, 64));
    drawAt(1, 1, qv::ui::colour(qv::palette::kMidGrey));
    drawAt(0, 0, color_);
}
