#pragma once
#include <QWidget>

// Sunken rectangular line frame; takes no input.
class TBevel : public QWidget {
    Q_OBJECT
  public:
    explicit TBevel(QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent*) override;
};
