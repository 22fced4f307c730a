#include "ui/services/application.h"

#include <QIcon>
#include <exception>

#include "ui/services/dialogs.h"

namespace qv::ui {

QString failureText(const QString& message) {
    if (!message.isEmpty() && message.back() > QLatin1Char('.')) return message + QLatin1Char('.');
    return message;
}

void showFailure(const QString& message) { showError(failureText(message)); }

void showCurrentException() {
    try {
        throw;
    } catch (const std::exception& e) {
        showFailure(QString::fromUtf8(e.what()));
    } catch (...) {
        showFailure(QString());
    }
}

namespace {
char kFallbackName[] = "Quorvane_R";
}

Application::Application(int argc, char** argv)
    : ProgramNameOnly(argc > 0 && argv[0] ? argv[0] : kFallbackName), QApplication(qtArgc, qtArgv) {
    setApplicationName(kAppTitle);
    // The installed menu entry and icon: desktops match the window to them by this name.
    setDesktopFileName(QStringLiteral("example.quorvane.Request"));
    setWindowIcon(QIcon::fromTheme(QStringLiteral("example.quorvane.Request")));
}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        showCurrentException();
    }
    return false;
}

}  // namespace qv::ui
