#pragma once
// Shared by the modules that the tests load into the real program (LD_PRELOAD) to use it as a
// person would: every box is written to stderr and answered, so a failure shows up in the
// test's output rather than as a hang.
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QWidget>
#include <QtTest>
#include <cstdio>
#include <cstdlib>

namespace qvdriver {

// The encoder the program starts must not load the module in turn.
inline const bool g_preloadCleared = [] {
    ::unsetenv("LD_PRELOAD");
    return true;
}();

inline void say(const QString& text) {
    std::fprintf(stderr, "driver: %s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

inline QWidget* mainWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->inherits("TMainForm1") && w->isVisible()) return w;
    return nullptr;
}

inline void click(QWidget* button) {
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
}

// Answers the box a person would have to answer, if one is open.
inline void answerOpenBox() {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) return;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        say(QStringLiteral("message box: ") + box->text());
        box->done(QMessageBox::Ok);
    } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
        say(QStringLiteral("dialog: ") + dialog->windowTitle());
        dialog->reject();
    }
}

}  // namespace qvdriver
