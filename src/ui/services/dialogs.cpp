#include "ui/services/dialogs.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "ui/widgets/beep.h"

namespace qv::ui {
namespace {
bool g_testing = false;
bool g_unattended = false;
QList<testing::Record> g_records;
QStringList g_answers;
QList<bool> g_yesNo;
// The widgets' refusal beeps go through the same beep, so tests see them too.
const bool g_widgetBeep = [] {
    widgets::beepHandler() = [] { beep(); };
    return true;
}();

bool recorded(testing::Record::Kind kind, const QString& text) {
    if (!g_testing) return false;
    g_records.append({kind, text});
    return true;
}

// True when nobody is there to answer: the text went to standard error.
bool unattended(const QString& text) {
    if (!g_unattended) return false;
    if (!text.isEmpty())
        std::fprintf(stderr, "%s: %s\n", kAppTitle.toLocal8Bit().constData(),
                     text.toLocal8Bit().constData());
    return true;
}

void box(QMessageBox::Icon icon, const QString& text) {
    if (unattended(text)) return;
    QMessageBox box(icon, kAppTitle, text, QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}
}  // namespace

void showMessage(const QString& text) {
    if (!recorded(testing::Record::Message, text)) box(QMessageBox::NoIcon, text);
}

void showError(const QString& text) {
    if (!recorded(testing::Record::Error, text)) box(QMessageBox::Critical, text);
}

QString inputBox(const QString& caption, const QString& prompt, int maxLength) {
    if (recorded(testing::Record::Input, prompt))
        return g_answers.isEmpty() ? QString() : g_answers.takeFirst().left(maxLength);
    if (unattended({})) return {};
    QDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(caption);
    auto* layout = new QVBoxLayout(&dialog);
    auto* label = new QLabel(prompt, &dialog);
    auto* edit = new QLineEdit(&dialog);
    edit->setMaxLength(maxLength);
    label->setBuddy(edit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(label);
    layout->addWidget(edit);
    layout->addWidget(buttons);
    return dialog.exec() == QDialog::Accepted ? edit->text() : QString();
}

bool askYesNo(const QString& text, const QString& yes, const QString& no, bool defaultYes) {
    if (recorded(testing::Record::Question, text))
        return g_yesNo.isEmpty() ? defaultYes : g_yesNo.takeFirst();
    if (unattended(text)) return defaultYes;
    QMessageBox box(QMessageBox::NoIcon, kAppTitle, text, QMessageBox::NoButton,
                    QApplication::activeWindow());
    QPushButton* yesButton = box.addButton(yes, QMessageBox::YesRole);
    QPushButton* noButton = box.addButton(no, QMessageBox::NoRole);
    box.setDefaultButton(defaultYes ? yesButton : noButton);
    box.setEscapeButton(noButton);
    box.exec();
    return box.clickedButton() == yesButton;
}

void beep() {
    if (!recorded(testing::Record::Beep, {}) && !g_unattended) QApplication::beep();
}

bool openWithDesktop(const QString& pathOrUrl) {
    if (recorded(testing::Record::Open, pathOrUrl)) return true;
    // A local path is cleaned first: "//Readme.txt" (a program in the root folder)
    // would otherwise name a network host.
    const QUrl url = pathOrUrl.contains(QStringLiteral("://"))
                         ? QUrl(pathOrUrl)
                         : QUrl::fromLocalFile(QDir::cleanPath(pathOrUrl));
    return QDesktopServices::openUrl(url);
}

QString listNotice(const QString& heading, const QStringList& lines, int shown) {
    QString text = heading + QStringLiteral("\n");
    const qsizetype listed = std::min<qsizetype>(shown, lines.size());
    for (qsizetype i = 0; i < listed; ++i) text += QStringLiteral("\n") + lines[i];
    if (lines.size() > listed) text += QStringLiteral("\nほか %1 件").arg(lines.size() - listed);
    return text;
}

QString desktopTarget(const std::string& path) {
    const QByteArray bytes = QByteArray::fromStdString(path);
    const QString text = QFile::decodeName(bytes);
    if (QFile::encodeName(text) == bytes) return text;
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    const QByteArray full = QByteArray::fromStdString(ec ? path : absolute.string());
    return QString::fromLatin1("file://" + full.toPercentEncoding("/"));
}

void setUnattended(bool on) { g_unattended = on; }

void closeOpenBoxes() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible())
            dialog->reject();
}

namespace testing {
void enable() { g_testing = true; }
void disable() { g_testing = false; }
bool enabled() { return g_testing; }
void queueInput(const QString& answer) { g_answers.append(answer); }
void queueYesNo(bool yes) { g_yesNo.append(yes); }
QList<Record>& records() { return g_records; }
QStringList texts(Record::Kind kind) {
    QStringList out;
    for (const auto& r : g_records)
        if (r.kind == kind) out << r.text;
    return out;
}
void clear() {
    g_records.clear();
    g_answers.clear();
    g_yesNo.clear();
}
}  // namespace testing

}  // namespace qv::ui
