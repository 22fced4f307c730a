#include "ui/widgets/TdxfColorButton.h"

#include <QEvent>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <algorithm>

#include "ui/widgets/fonts.h"

namespace {
// The button's ellipse: one pixel beyond the rectangle on every side.
QRect ellipseRect(const QRect& r) { return r.adjusted(-1, -1, 1, 1); }
}  // namespace

TdxfColorButton::TdxfColorButton(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setFont(qv::ui::uiFont(12));
}

void TdxfColorButton::setCaption(const QStringList& lines) {
    if (lines == caption_) return;
    caption_ = lines;
    update();
}

void TdxfColorButton::setColor(const QColor& color) {
    if (color == color_) return;
    color_ = color;
    update();
}

void TdxfColorButton::setTextColor(const QColor& color) {
    if (color == textColor_) return;
    textColor_ = color;
    update();
}

bool TdxfColorButton::inside(const QPoint& pos) const { return mask().contains(pos); }

void TdxfColorButton::resizeEvent(QResizeEvent*) {
    // Outside the ellipse the button does not exist: clicks there reach the widget below.
    setMask(QRegion(ellipseRect(rect()), QRegion::Ellipse));
}

void TdxfColorButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        pressed_ = false;
        update();
    } else if (event->type() == QEvent::FontChange) {
        update();
    }
    QWidget::changeEvent(event);
}

void TdxfColorButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !isEnabled() || !inside(event->position().toPoint())) {
        event->ignore();
        return;
    }
    held_ = true;
    pressed_ = true;
    update();
}

void TdxfColorButton::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton) || !isEnabled()) {
        event->ignore();
        return;
    }
    if (!held_) {
        event->ignore();
        return;
    }
    // While held, the pressed look follows the pointer in and out of the ellipse.
    const bool over = inside(event->position().toPoint());
    if (over != pressed_) {
        pressed_ = over;
        update();
    }
}

void TdxfColorButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const bool wasHeld = held_;
    const bool fire = wasHeld && isEnabled() && inside(event->position().toPoint());
    pressed_ = false;
    held_ = false;
    update();
    if (!wasHeld) {
        event->ignore();
        return;
    }
    if (fire) emit OnClick();
}

void TdxfColorButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(Qt::NoPen);
    p.setBrush(color_);
    p.drawEllipse(ellipseRect(rect()));

    p.setFont(font());
    const QFontMetrics fm(font());
    int blockWidth = 0;
    for (const QString& line : caption_)
        blockWidth = std::max(blockWidth, fm.horizontalAdvance(line));
    const int lineHeight = fm.height();
    const int blockHeight = lineHeight * static_cast<int>(caption_.size());
    int left = (width() - blockWidth) / 2;
    int top = (height() - blockHeight) / 2;
    if (pressed_) {
        left += 1;
        top += 1;
    }
    auto drawBlock = [&](int dx, int dy, const QColor& c) {
        p.setPen(c);
        for (int i = 0; i < caption_.size(); ++i) {
            const QRect lineRect(left + dx, top + dy + i * lineHeight, blockWidth + 1, lineHeight);
            p.drawText(lineRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, caption_.at(i));
        }
    };
    if (isEnabled()) {
        drawBlock(0, 0, textColor_);
    } else {
        // Embossed: a light copy 1 px right and down, the shadow colour at its place.
        drawBlock(1, 1, palette().color(QPalette::Active, QPalette::Light));
        drawBlock(0, 0, palette().color(QPalette::Active, QPalette::Dark));
    }
}
