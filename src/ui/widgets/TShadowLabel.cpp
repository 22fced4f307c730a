#include "ui/widgets/TShadowLabel.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>

#include "ui/widgets/colours.h"
#include "ui/widgets/fonts.h"

TShadowLabel::TShadowLabel(QWidget* parent) : QWidget(parent) {
    // Drawn on the parent's surface: pressing the text reaches the surface below.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setFont(qv::ui::uiFont(11));
}

void TShadowLabel::setCaption(const QString& text) {
    if (text == caption_) return;
    caption_ = text;
    fitWidth();
    update();
}

void TShadowLabel::setRightAligned(bool right) {
    if (right == rightAligned_) return;
    rightAligned_ = right;
    update();
}

void TShadowLabel::setTextColor(const QColor& color) {
    if (color == textColor_) return;
    textColor_ = color;
    update();
}

void TShadowLabel::fitWidth() {
    // One extra pixel for the shadow copy.
    const int w = QFontMetrics(font()).horizontalAdvance(caption_) + 1;
    if (w == width()) return;
    if (rightAligned_) {
        const int right = x() + width();
        setGeometry(right - w, y(), w, height());
    } else {
        resize(w, height());
    }
}

void TShadowLabel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        fitWidth();
        update();
    } else if (event->type() == QEvent::EnabledChange) {
        update();
    }
    QWidget::changeEvent(event);
}

void TShadowLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setFont(font());
    const int align = (rightAligned_ ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
    const QRect textRect(0, 0, width() - 1, height());
    const bool enabled = isEnabled();
    p.setPen(enabled ? QColor(0, 0, 0) : qv::ui::colour(qv::palette::kMidGrey));
    p.drawText(textRect.translated(1, 1), align, caption_);
    p.setPen(enabled ? textColor_ : palette().color(QPalette::Disabled, QPalette::Dark));
    p.drawText(textRect, align, caption_);
}
