#pragma once
#include <QWidget>

// One line of text with a black shadow 1 px right and down; no background.
// The width follows the text; a right-aligned label keeps its right edge.
class TShadowLabel : public QWidget {
    Q_OBJECT
  public:
    explicit TShadowLabel(QWidget* parent = nullptr);

    QString Caption() const { return caption_; }
    void setCaption(const QString& text);
    void setRightAligned(bool right);
    void setTextColor(const QColor& color);

  protected:
    void paintEvent(QPaintEvent*) override;
    void changeEvent(QEvent*) override;

  private:
    void fitWidth();
    QString caption_;
    bool rightAligned_ = false;
    QColor textColor_ = Qt::white;
};
