#pragma once
#include <QWidget>

// A settings panel: a black window of its own with a 1-px raised edge. Presses on
// it stay here, so they never reach the window's dragging surface.
class TPanel : public QWidget {
  public:
    TPanel(QWidget* parent, bool raised);

  protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

  private:
    bool raised_;
};
