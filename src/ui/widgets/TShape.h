#pragma once
#include <QColor>
#include <QWidget>

// A filled rectangle with a 1-px border; mouse presses reach the window below.
class TShape : public QWidget {
  public:
    explicit TShape(QWidget* parent = nullptr);
    void setColors(const QColor& fill, const QColor& border);

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    QColor fill_ = Qt::black;
    QColor border_ = Qt::white;
};
