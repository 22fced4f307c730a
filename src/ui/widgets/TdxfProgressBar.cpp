#include "ui/widgets/TdxfProgressBar.h"

#include <QLinearGradient>
#include <QPainter>
#include <algorithm>
#include <cstdint>

#include "ui/widgets/colours.h"
#include "ui/widgets/fonts.h"

TdxfProgressBar::TdxfProgressBar(QWidget* parent) : QWidget(parent) { setFont(qv::ui::uiFont(11)); }

void TdxfProgressBar::setMin(int v) {
    if (v == min_) return;
    min_ = v;
    update();
}

void TdxfProgressBar::setMax(int v) {
    if (v == max_) return;
    max_ = v;
    update();
}

void TdxfProgressBar::setPosition(int v) {
    if (v == position_) return;
    position_ = v;
    update();
}

int TdxfProgressBar::percent(int position, int min, int max) {
    std::int64_t num = (static_cast<std::int64_t>(position) - min) * 100;
    std::int64_t den = static_cast<std::int64_t>(max) - min;
    if (den == 0) return 0;
    if (den < 0) {
        num = -num;
        den = -den;
    }
    // Floor division, then the remainder decides; exact halves go to the even side.
    std::int64_t q = num / den;
    std::int64_t r = num % den;
    if (r < 0) {
        q -= 1;
        r += den;
    }
    if (2 * r > den || (2 * r == den && (q % 2) != 0)) q += 1;
    return static_cast<int>(q);
}

QString TdxfProgressBar::text() const {
    return QString::number(percent(position_, min_, max_)) + QStringLiteral(" %");
}

void TdxfProgressBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int w = width();
    const int h = height();
    p.fillRect(rect(), qv::ui::colour(qv::palette::kLightGrey));

    // Lowered outer bevel.
    const QRect inner(1, 1, w - 2, h - 2);
    const int span = max_ - min_;
    if (span > 0 && inner.width() > 0) {
        const int pos = std::clamp(position_, min_, max_);
        const int filled =
            static_cast<int>(static_cast<std::int64_t>(inner.width()) * (pos - min_) / span);
        if (filled > 0) {
            const QRect bar(inner.left(), inner.top(), filled, inner.height());
            QLinearGradient g(bar.topLeft(), bar.topRight());
            g.setColorAt(0, qv::ui::colour(qv::palette::kMidGrey));
            g.setColorAt(1, QColor(255, 255, 255));
            p.fillRect(bar, g);
        }
    }
    p.fillRect(0, 0, w, 1, qv::ui::colour(qv::palette::kMidGrey));
    p.fillRect(0, 0, 1, h, qv::ui::colour(qv::palette::kMidGrey));
    p.fillRect(0, h - 1, w, 1, QColor(255, 255, 255));
    p.fillRect(w - 1, 0, 1, h, QColor(255, 255, 255));

    p.setFont(font());
    p.setPen(qv::ui::colour(qv::palette::kControlText));
    p.drawText(rect(), Qt::AlignCenter, text());
}
