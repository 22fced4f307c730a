#pragma once
#include <QImage>
#include <QWidget>

namespace qv {
struct RgbImage;
}

// A picture stretched to the box; shows nothing (lets the parent through) while empty.
class TImage : public QWidget {
  public:
    explicit TImage(QWidget* parent = nullptr);
    void setPicture(const QImage& picture);
    void setPicture(const qv::RgbImage& picture);
    void clearPicture();
    const QImage& picture() const { return picture_; }
    bool hasPicture() const { return !picture_.isNull(); }

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    QImage picture_;
};
