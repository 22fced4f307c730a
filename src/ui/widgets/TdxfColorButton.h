#pragma once
#include <QColor>
#include <QStringList>
#include <QWidget>

// Oval push button: exists only inside the ellipse inscribed in its rectangle.
class TdxfColorButton : public QWidget {
    Q_OBJECT
  public:
    explicit TdxfColorButton(QWidget* parent = nullptr);

    QStringList Caption() const { return caption_; }
    void setCaption(const QStringList& lines);
    QColor Color() const { return color_; }
    void setColor(const QColor& color);
    void setTextColor(const QColor& color);
    bool isPressed() const { return pressed_; }

  signals:
    void OnClick();

  protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void changeEvent(QEvent*) override;

  private:
    bool inside(const QPoint& pos) const;  // within the ellipse
    QStringList caption_;
    QColor color_ = Qt::white;
    QColor textColor_ = QColor(77, 77, 77);
    bool pressed_ = false;
    bool held_ = false;  // left button went down on the button and is still down
};
