#pragma once
// Every box, beep and desktop hand-off goes through here, so that tests can answer
// them without a modal box waiting.
#include <QString>
#include <QStringList>
#include <functional>
#include <string>

class QWidget;

namespace qv::ui {

inline const QString kAppTitle = QStringLiteral("Quorvane! Request");

// Plain box: no icon, one OK button, the application title as caption.
void showMessage(const QString& text);
// Error box: stop icon, the application title as caption.
void showError(const QString& text);
// Text input with OK and Cancel; Cancel gives an empty text.
QString inputBox(const QString& caption, const QString& prompt, int maxLength);
// Question with a yes and a no button (their captions as given). Return answers the default
// button (no, unless `defaultYes`), Esc answers no. True for yes.
bool askYesNo(const QString& text, const QString& yes, const QString& no, bool defaultYes = false);
// The platform's default beep.
void beep();
// Opens a file or an address with the desktop's default application. No shell.
bool openWithDesktop(const QString& pathOrUrl);
// A notice that names items one a line, below its heading and an empty line: the
// first `shown` of them, then how many more there are.
QString listNotice(const QString& heading, const QStringList& lines, int shown = 20);
// What openWithDesktop is given for a local path: the path as text when its bytes
// are text, otherwise a file address of its bytes, percent-encoded, made absolute.
QString desktopTarget(const std::string& path);

// While the program ends on a request from outside nobody is there to answer: boxes are
// written to standard error instead, questions take their default answer and input boxes
// are cancelled.
void setUnattended(bool on);
// Closes every box and dialog that waits for an answer, as its Esc key would.
void closeOpenBoxes();

// Test hook: while enabled, nothing is shown or opened; every call is recorded
// and inputBox takes the next queued answer (empty when none is queued); askYesNo
// takes the next queued yes/no, or gives the default answer when none is queued.
namespace testing {
struct Record {
    enum Kind { Message, Error, Input, Beep, Open, Question } kind;
    QString text;
};
void enable();
void disable();
bool enabled();
void queueInput(const QString& answer);
void queueYesNo(bool yes);
QList<Record>& records();
QStringList texts(Record::Kind kind);
void clear();
}  // namespace testing

}  // namespace qv::ui
