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

class Application : public QApplication {
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace qv::ui
