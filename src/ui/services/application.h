#pragma once
// The application object: shows every exception that escapes an event handler in
// an error box and keeps the program running.
#include <QApplication>
#include <QString>

namespace qv::ui {

// The text of an error box: the message, with a full stop when its last character
// sorts after "." (a letter, a digit or a Japanese character).
QString failureText(const QString& message);
// Shows failureText(message) in an error box.
void showFailure(const QString& message);
// Shows the exception being handled (call from a catch block); one that is no
// std::exception shows an empty message.
void showCurrentException();

namespace detail {
// The command line Qt is given: the program's name alone. Kept in a base class so
// that it lives as long as the application object, as Qt requires.
struct ProgramNameOnly {
    explicit ProgramNameOnly(char* name) : qtArgv{name, nullptr} {}
    int qtArgc = 1;
    char* qtArgv[2];
};
}  // namespace detail

class Application : private detail::ProgramNameOnly, public QApplication {
  public:
    // Qt takes no options from the command line: every argument after the program's
    // name is a job, even one that looks like a Qt option ("-reverse", "-platform").
    // QT_QPA_PLATFORM and the other environment variables still work.
    Application(int argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace qv::ui
