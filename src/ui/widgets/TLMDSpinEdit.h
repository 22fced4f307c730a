#pragma once
#include <QColor>
#include <QWidget>

class QLineEdit;
class QToolButton;

// Whole-number field with up and down arrows.
class TLMDSpinEdit : public QWidget {
    Q_OBJECT
  public:
    explicit TLMDSpinEdit(QWidget* parent = nullptr);

    int Value();  // reads the text; empty or not a number gives MinValue and writes it back
    void setValue(int value);  // clamps, then writes the number as the text
    int MinValue() const { return min_; }
    int MaxValue() const { return max_; }
    void setRange(int minValue, int maxValue);
    int MaxLength() const;
    void setMaxLength(int length);

    QString text() const;
    QColor Color() const { return color_; }
    void setColor(const QColor& color);
    QLineEdit* lineEdit() const { return edit_; }
    QToolButton* upButton() const { return up_; }
    QToolButton* downButton() const { return down_; }

  signals:
    void OnChange();

  protected:
    void resizeEvent(QResizeEvent*) override;
    void wheelEvent(QWheelEvent*) override;

  private:
    void step(int delta);
    void wheel(QWheelEvent* event);
    void setText(const QString& text);  // writes only a different text
    void clampOnLeave();
    void insertTyped(const QString& typed, bool pasted);  // refuses with a beep
    bool eventFilter(QObject* watched, QEvent* event) override;

    QLineEdit* edit_ = nullptr;
    QToolButton* up_ = nullptr;
    QToolButton* down_ = nullptr;
    int min_ = 0;
    int max_ = 100;
    int maxLength_ = 3;
    int wheelRest_ = 0;  // wheel angle not yet turned into steps
    QColor color_ = Qt::white;
};
