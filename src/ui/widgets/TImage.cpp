#include "ui/widgets/TImage.h"

#include <QPainter>

#include "run/thumbnail.h"

TImage::TImage(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

void TImage::setPicture(const QImage& picture) {
    picture_ = picture;
    update();
}

void TImage::setPicture(const qv::RgbImage& picture) {
    if (picture.width <= 0 || picture.height <= 0) {
        clearPicture();
        return;
    }
    // The QImage only borrows the buffer; copy() makes it its own.
    const QImage view(picture.pixels.data(), picture.width, picture.height, picture.width * 3,
                      QImage::Format_RGB888);
    setPicture(view.copy());
}

void TImage::clearPicture() {
    if (picture_.isNull()) return;
    picture_ = QImage();
    update();
}

void TImage::paintEvent(QPaintEvent*) {
    if (picture_.isNull()) return;
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(rect(), picture_);
}
