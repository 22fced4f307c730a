// Loaded into the program (LD_PRELOAD) by the tests of how it ends. Once the paths from the
// command line are queued it ticks "2 threads" (so that the settings written at the end are
// this session's) and then does what QV_DRIVE says: "go" presses Go!, "close" the close
// button, "wait" nothing more. QV_READY names a file it makes at that point; with
// QV_EXIT_WHEN set, it calls exit(1) from the event loop as soon as that file exists, as Qt
// does when the display connection breaks. Every box is written to stderr and answered,
// unless QV_LEAVE_BOXES names a file: the first box then makes that file and is left open.
// A question with a yes button is written as "question: TEXT" and answered with a key:
// Return (its default) when QV_ANSWER is "yes", otherwise Esc.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QListWidget>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <QtTest>
#include <cstdio>
#include <cstdlib>

#include "support/driver.h"

namespace {

constexpr int kTickMs = 20;
constexpr int kGiveUpMs = 60000;

using qvdriver::click;
using qvdriver::mainWindow;
using qvdriver::say;

void answerBoxes() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) return;
    if (const QString leave = qEnvironmentVariable("QV_LEAVE_BOXES"); !leave.isEmpty()) {
        if (!QFile::exists(leave)) {
            if (auto* box = qobject_cast<QMessageBox*>(modal))
                say(QStringLiteral("leaving a box open: ") + box->text());
            QFile(leave).open(QIODevice::WriteOnly);
        }
        return;
    }
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        for (QAbstractButton* button : box->buttons()) {
            if (box->buttonRole(button) != QMessageBox::YesRole) continue;
            say(QStringLiteral("question: ") + box->text());
            const bool yes = qEnvironmentVariable("QV_ANSWER") == QLatin1String("yes");
            QTest::keyClick(box, yes ? Qt::Key_Return : Qt::Key_Escape);
            return;
        }
    }
    qvdriver::answerOpenBox();
}

void drive() {
    const QString exitWhen = qEnvironmentVariable("QV_EXIT_WHEN");
    auto* ticks = new QTimer(qApp);
    QObject::connect(ticks, &QTimer::timeout, [exitWhen] {
        if (!exitWhen.isEmpty() && QFile::exists(exitWhen)) {
            say(QStringLiteral("exit(1)"));
            std::exit(1);
        }
        answerBoxes();
    });
    ticks->start(kTickMs);
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
        auto* threads = w ? w->findChild<QCheckBox*>(QStringLiteral("CheckBox2")) : nullptr;
        // A box of the start (what was put back) is answered first.
        if (!list || !go || !close || !threads || list->count() == 0 || !go->isEnabled() ||
            QApplication::activeModalWidget())
            return;
        steps->stop();
        threads->setChecked(true);
        const QString ready = qEnvironmentVariable("QV_READY");
        if (!ready.isEmpty()) QFile(ready).open(QIODevice::WriteOnly);
        const QString mode = qEnvironmentVariable("QV_DRIVE");
        say(QStringLiteral("queued %1, %2").arg(list->count()).arg(mode));
        if (mode == QLatin1String("go")) click(go);
        if (mode == QLatin1String("close")) click(close);
    });
    steps->start(kTickMs);
}

void startDriving() {
    // Queued: the application is still being constructed when this runs.
    QMetaObject::invokeMethod(QCoreApplication::instance(), drive, Qt::QueuedConnection);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(startDriving)
