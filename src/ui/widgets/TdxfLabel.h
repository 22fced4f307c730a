#pragma once
#include <QColor>
#include <QWidget>

// Panel title read from bottom to top, bold, with a grey shadow.
class TdxfLabel : public QWidget {
    Q_OBJECT
  public:
    explicit TdxfLabel(QWidget* parent = nullptr);
    QString Caption() const { return caption_; }
    void setCaption(const QString& text);
    void setTitleColor(const QColor& color);

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    QString caption_;
    QColor color_ = Qt::white;
};
