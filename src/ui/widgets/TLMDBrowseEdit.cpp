#include "ui/widgets/TLMDBrowseEdit.h"

#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QResizeEvent>
#include <QStandardPaths>
#include <QToolButton>
#include <algorithm>

#include "ui/widgets/colours.h"
#include "ui/widgets/fonts.h"

std::function<QString(const QString& start)> TLMDBrowseEdit::pickerForTests;

namespace {
constexpr int kButtonWidth = 19;
}

TLMDBrowseEdit::TLMDBrowseEdit(QWidget* parent) : QWidget(parent) {
    edit_ = new QLineEdit(this);
    edit_->setAcceptDrops(false);  // files dropped here belong to the job list
    edit_->setFont(qv::ui::uiFont(11));
    QPalette pal = edit_->palette();
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::Text, qv::ui::colour(qv::palette::kControlText));
    edit_->setPalette(pal);
    setFocusProxy(edit_);
    setFocusPolicy(Qt::StrongFocus);

    button_ = new QToolButton(this);
    button_->setText(QStringLiteral("..."));
    button_->setFocusPolicy(Qt::NoFocus);
    button_->setCursor(Qt::PointingHandCursor);
    connect(button_, &QToolButton::clicked, this, &TLMDBrowseEdit::browse);
    connect(edit_, &QLineEdit::textChanged, this, [this] { emit OnChange(); });
    resize(142, 19);
}

QString TLMDBrowseEdit::Path() const { return edit_->text(); }

void TLMDBrowseEdit::setPath(const QString& path) {
    if (path == edit_->text()) return;
    edit_->setText(path);
}

void TLMDBrowseEdit::resizeEvent(QResizeEvent*) {
    const int b = std::min(kButtonWidth, width() / 2);
    edit_->setGeometry(0, 0, width() - b, height());
    button_->setGeometry(width() - b, 0, b, height());
}

void TLMDBrowseEdit::browse() {
    // The current text preselects its folder; an empty field starts at the desktop.
    const QString current = edit_->text();
    const QString start = current.isEmpty()
                              ? QStandardPaths::writableLocation(QStandardPaths::DesktopLocation)
                              : current;
    const QString chosen = pickerForTests
                               ? pickerForTests(start)
                               : QFileDialog::getExistingDirectory(window(), QString(), start,
                                                                   QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty()) return;  // cancelled
    setPath(QDir::toNativeSeparators(chosen));
}
