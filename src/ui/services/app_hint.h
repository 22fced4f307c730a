#pragma once
// The application's hint window: every control's tooltip is shown in the dark
// rounded balloon, with the timings of the main window's design.
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QTimer>
#include <QWidget>

class THintBalloon;

class TAppHint : public QObject {
    Q_OBJECT
  public:
    static constexpr int HintPause = 300;       // pointer at rest until the hint shows
    static constexpr int HintHidePause = 2000;  // how long it stays
    // The balloon stands this much higher than the default tooltip place below the pointer.
    static constexpr int kRaise = 8;
    static constexpr QPoint kDefaultOffset{2, 16};

    // Installs itself on the application; the balloon lives as long as this object.
    explicit TAppHint(QObject* parent = nullptr);
    ~TAppHint() override;

    THintBalloon* balloon() const { return balloon_; }
    bool isShowing() const;
    // The control whose hint shows or waits to show.
    QWidget* control() const { return target_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void pointerMoved(QWidget* receiver, const QPoint& globalPos);
    void show();
    void hide();
    void forget();

    THintBalloon* balloon_ = nullptr;
    QTimer rest_;
    QTimer stay_;
    QPointer<QWidget> target_;
    QPoint pointer_;
    bool spent_ = false;  // shown and timed out: not again until the pointer moves elsewhere
};
