// Loaded into the installed program (LD_PRELOAD) by the install test, to use it as a
// person would: once the file from the command line is queued, press Go!, and when the
// run is over press the close button. Every message box is written to stderr and
// answered, so a failure shows up in the test's output rather than as a hang.
#include <QApplication>
#include <QListWidget>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <QtTest>
#include <cstdio>
#include <cstdlib>

#include "support/driver.h"

namespace {

constexpr int kTickMs = 100;
constexpr int kGiveUpMs = 150000;

using qvdriver::click;
using qvdriver::mainWindow;
using qvdriver::say;

void drive() {
    auto* boxes = new QTimer(qApp);
    QObject::connect(boxes, &QTimer::timeout, qvdriver::answerOpenBox);
    boxes->start(kTickMs);
    QTimer::singleShot(kGiveUpMs, [] {
        say(QStringLiteral("gave up waiting"));
        std::_Exit(3);
    });

    auto* steps = new QTimer(qApp);
    QObject::connect(steps, &QTimer::timeout, steps, [steps] {
        QWidget* w = mainWindow();
        auto* list = w ? w->findChild<QListWidget*>(QStringLiteral("ListBox1")) : nullptr;
        auto* go = w ? w->findChild<QWidget*>(QStringLiteral("CButton10")) : nullptr;
        auto* close = w ? w->findChild<QWidget*>(QStringLiteral("CButton1")) : nullptr;
        if (!list || !go || !close || list->count() == 0 || !go->isEnabled()) return;
        steps->stop();
        say(QStringLiteral("queued %1, pressing Go!").arg(list->count()));
        click(go);  // the run goes on inside the click, the boxes timer still answering
        say(QStringLiteral("run over, closing"));
        click(close);
    });
    steps->start(kTickMs);
}

void startDriving() {
    // Queued: the application is still being constructed when this runs.
    QMetaObject::invokeMethod(QCoreApplication::instance(), drive, Qt::QueuedConnection);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(startDriving)
