#pragma once
#include <QWidget>

// Horizontal bar with its percentage as text.
class TdxfProgressBar : public QWidget {
    Q_OBJECT
  public:
    explicit TdxfProgressBar(QWidget* parent = nullptr);
    int Min() const { return min_; }
    int Max() const { return max_; }
    int Position() const { return position_; }
    void setMin(int v);
    void setMax(int v);
    void setPosition(int v);
    QString text() const;  // "33 %"

    // Position x 100 / (Max - Min), halves to even.
    static int percent(int position, int min, int max);

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    int min_ = 0;
    int max_ = 10;
    int position_ = 0;
};
