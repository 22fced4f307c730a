#pragma once
// Showing widgets in GUI tests, and keeping pictures of them when QV_SCREENSHOT_DIR is set.
#include <QDir>
#include <QImage>
#include <QMouseEvent>
#include <QWidget>
#include <QtTest>

namespace qvtest {

// Where pictures go; empty when nobody asked for them.
inline QString screenshotDir() { return qEnvironmentVariable("QV_SCREENSHOT_DIR"); }

// True when no pictures are wanted or this one was saved.
inline bool saveScreenshot(const QImage& image, const QString& fileName) {
    const QString dir = screenshotDir();
    if (dir.isEmpty()) return true;
    QDir().mkpath(dir);
    return image.save(QDir(dir).filePath(fileName));
}
inline bool saveScreenshot(QWidget* w, const QString& fileName) {
    if (screenshotDir().isEmpty()) return true;  // no grab when nobody looks
    return saveScreenshot(w->grab().toImage(), fileName);
}

// Shows the window and waits until it can be drawn on.
inline bool showExposed(QWidget* w) {
    w->show();
    return QTest::qWaitForWindowExposed(w);
}
// Shows the window and waits until it has the keyboard.
inline bool showActive(QWidget* w) {
    if (!showExposed(w)) return false;
    w->activateWindow();
    return QTest::qWaitForWindowActive(w);
}

// What the widget itself paints, on a transparent ground.
inline QImage paintOf(QWidget* w) {
    QImage img(w->size(), QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    w->render(&img, QPoint(), QRegion(), QWidget::DrawChildren);
    return img;
}

// A ground below the widgets under test; counts the presses that reach it.
class Surface : public QWidget {
  public:
    int presses = 0;

  protected:
    void mousePressEvent(QMouseEvent*) override { ++presses; }
};

}  // namespace qvtest
