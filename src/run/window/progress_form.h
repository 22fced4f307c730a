#pragma once
// The small window that floats above everything during a batch run.
#include <QImage>
#include <QWidget>
#include <cstdint>
#include <string>

#include "run/encoder_process.h"

class QTimer;
class TdxfProgressBar;
class TGradBox;
class TShadowLabel;
class TdxfColorButton;
class TMainForm1;

namespace qv {
struct RgbImage;
}

// A filled rectangle with a 1-px border; mouse presses reach the window below.
class TShape : public QWidget {
public:
    explicit TShape(QWidget* parent = nullptr);
    void setColors(const QColor& fill, const QColor& border);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QColor fill_ = Qt::black;
    QColor border_ = Qt::white;
};

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

// Size in bytes of the file at path, or -1 when it cannot be opened. 64-bit, so files
// of 2 GiB and more are shown as they are.
std::int64_t FileSizeOf(const std::string& path);

class TProgressForm1 : public QWidget {
    Q_OBJECT
public:
    // What the window reads of the run in progress; the pointers must outlive the window.
    struct RunFields {
        const std::string* SourcePath = nullptr;
        const std::string* DestPath = nullptr;
        qv::EncoderProcess* ProcessInfo = nullptr;
    };

    // owner: the window the progress window belongs to (it stays a window of its own,
    // so that disabling the owner leaves it usable).
    TProgressForm1(QWidget* owner, const RunFields& run);
    explicit TProgressForm1(TMainForm1* owner);

    TdxfProgressBar* ProgressBar1;
    TGradBox* GradBox6;
    TShadowLabel* Label1;
    TShape* Shape1;
    TdxfColorButton* CButton1;
    QTimer* Timer1;
    TShadowLabel* Label2;
    TImage* Image1;
    std::int64_t SourceSize = -1;
    std::int64_t DestSize = -1;
    bool Cancelled = false;

    QWidget* owner() const { return owner_; }

public slots:
    void CButton1Click();
    void Timer1Timer();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Whether a press at this point of the window moves it.
    bool dragsWindow(const QPoint& pos) const;

    QWidget* owner_;
    RunFields run_;
    QPoint dragOffset_;
    bool dragging_ = false;
};

// The progress window of the run in progress; null when no run is going on.
extern TProgressForm1* ProgressForm1;
