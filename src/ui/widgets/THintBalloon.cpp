#include "ui/widgets/THintBalloon.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>

#include "ui/widgets/fonts.h"

namespace {
constexpr int kMaxTextWidth = 600;
constexpr int kCorner = 8;  // the corner ellipse, 8 x 8

QRegion roundedRegion(const QRect& r) {
    QPainterPath path;
    path.addRoundedRect(QRectF(r), kCorner / 2.0, kCorner / 2.0);
    return QRegion(path.toFillPolygon().toPolygon());
}
}  // namespace

THintBalloon::THintBalloon(QWidget* parent)
    : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFont(qv::ui::uiFont(16));
    resize(8, 8);
}

void THintBalloon::setText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    const QRect bound = QFontMetrics(font()).boundingRect(QRect(0, 0, kMaxTextWidth, 100000),
                                                          Qt::TextWordWrap, text_);
    // Room for the text, its shadow 2 px away and the outline.
    resize(bound.width() + 6, bound.height() + 4);
    update();
}

void THintBalloon::resizeEvent(QResizeEvent*) { setMask(roundedRegion(rect())); }

void THintBalloon::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(85, 85, 85));
    p.setFont(font());
    const QRect area = rect();
    p.setPen(QColor(79, 79, 79));
    p.drawText(area.adjusted(2, 2, 0, 0), Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, text_);
    p.setPen(QColor(255, 255, 255));
    p.drawText(area.adjusted(1, 1, 0, 0), Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, text_);
    p.setPen(QPen(QColor(0, 0, 0), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(area).adjusted(0.5, 0.5, -0.5, -0.5), kCorner / 2.0, kCorner / 2.0);
}
