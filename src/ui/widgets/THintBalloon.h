#pragma once
#include <QWidget>

// The hint window: rounded dark-grey balloon with shadowed white text.
class THintBalloon : public QWidget {
    Q_OBJECT
  public:
    explicit THintBalloon(QWidget* parent = nullptr);
    QString text() const { return text_; }
    void setText(const QString& text);  // resizes to fit

  protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;

  private:
    QString text_;
};
