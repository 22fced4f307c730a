#pragma once
#include <QPoint>

class QMouseEvent;
class QWidget;

// Moves a borderless window with the pointer while the left button is held.
class WindowDrag {
  public:
    explicit WindowDrag(QWidget& window) : window_(window) {}
    // Starts a drag; with askWindowManager the window manager moves the window when
    // it can, else the window follows the pointer itself.
    void begin(const QMouseEvent& press, bool askWindowManager);
    // True while a drag is going on and the event was taken by it.
    bool follow(const QMouseEvent& move);
    bool end(const QMouseEvent& release);
    bool dragging() const { return dragging_; }

  private:
    QWidget& window_;
    QPoint offset_;
    bool dragging_ = false;
};
