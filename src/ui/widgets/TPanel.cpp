#include "ui/widgets/TPanel.h"

#include <QMouseEvent>
#include <QPainter>

#include "ui/widgets/colours.h"

TPanel::TPanel(QWidget* parent, bool raised) : QWidget(parent), raised_(raised) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPanel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    if (!raised_) return;
    const QRect r = rect().adjusted(0, 0, -1, -1);
    p.setPen(QColor(255, 255, 255));
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(qv::ui::colour(qv::palette::kMidGrey));
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
}

void TPanel::mousePressEvent(QMouseEvent* e) { e->accept(); }
void TPanel::mouseReleaseEvent(QMouseEvent* e) { e->accept(); }
void TPanel::mouseDoubleClickEvent(QMouseEvent* e) { e->accept(); }
