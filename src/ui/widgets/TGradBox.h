#pragma once
#include <QColor>
#include <QWidget>

#include "ui/widgets/colours.h"

// 256 bands from light grey to grey with a 1-px black outline.
class TGradBox : public QWidget {
    Q_OBJECT
  public:
    enum class Direction { TopToBottom, LeftToRight, BottomToTop };
    explicit TGradBox(QWidget* parent = nullptr);
    void setDirection(Direction d);
    void setColors(const QColor& light, const QColor& dark);
    void setOutline(bool on);

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    Direction direction_ = Direction::TopToBottom;
    QColor light_ = QColor(180, 180, 180);
    QColor dark_ = qv::ui::colour(qv::palette::kMidGrey);
    bool outline_ = true;
};
