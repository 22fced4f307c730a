#pragma once
// Every box, beep and desktop hand-off goes through here, so that tests can answer
// them without a modal box waiting.
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace qv::ui {

inline const QString kAppTitle = QStringLiteral("Quorvane! Request");

// Plain box: no icon, one OK button, the application title as caption.
void showMessage(const QString& text);
// Error box: stop icon, the application title as caption.
void showError(const QString& text);
// Text input with OK and Cancel; Cancel gives an empty text.
QString inputBox(const QString& caption, const QString& prompt, int maxLength);
// The platform's default beep.
void beep();
// Opens a file or an address with the desktop's default application. No shell.
bool openWithDesktop(const QString& pathOrUrl);

// Test hook: while enabled, nothing is shown or opened; every call is recorded
// and inputBox takes the next queued answer (empty when none is queued).
namespace testing {
struct Record {
    enum Kind { Message, Error, Input, Beep, Open } kind;
    QString text;
};
void enable();
void disable();
bool enabled();
void queueInput(const QString& answer);
QList<Record>& records();
QStringList texts(Record::Kind kind);
void clear();
}  // namespace testing

}  // namespace qv::ui
