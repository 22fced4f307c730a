// The main window: construction order, first activation, the frame of the
// borderless window and the editing rules of the settings controls.
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMouseEvent>
#include <QShowEvent>
#include <QTimer>
#include <stdexcept>

#include "base/file_io.h"
#include "base/file_places.h"
#include "base/path.h"
#include "settings/catalogues.h"
#include "settings/conversion_settings.h"
#include "settings/settings_file.h"
#include "ui/main_window/TMainForm1.h"
#include "ui/services/application.h"
#include "ui/services/dialogs.h"
#include "ui/services/end_requests.h"
#include "ui/widgets/TLMDBrowseEdit.h"
#include "ui/widgets/TLMDSpinEdit.h"
#include "ui/widgets/TMultiColComboBox.h"
#include "ui/widgets/TShadowLabel.h"
#include "ui/widgets/TdxfColorButton.h"
#include "ui/widgets/colours.h"

TMainForm1* MainForm1 = nullptr;

namespace {

// Where the information page lives; the executable's name is appended.
const QString kInfoAddress = QStringLiteral("https://quorvane.example/info.php?pf=w&sn=");

// The folder without trailing separators; the root keeps its one.
QString folderRule(const QString& path) {
    return QString::fromStdString(qv::stripTrailingSeparators(path.toStdString()));
}

// The folder as bytes: a folder whose name is no UTF-8 has no QString form.
std::string findProgramFolder(const QString& given) {
    if (!given.isEmpty())
        return qv::stripTrailingSeparators(QFile::encodeName(given).toStdString());
    const std::string exe = qv::executablePath();
    const std::string folder =
        exe.empty() ? QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString()
                    : qv::folderOf(exe);
    return qv::stripTrailingSeparators(folder);
}

void fill(TMultiColComboBox* box, qv::CatalogueId id) {
    for (std::string_view row : qv::catalogue(id)) box->addItem(std::string(row));
}

// The destination folder keeps no trailing separator, in the text and in the hint.
// While the user is typing, a separator is the start of the next folder name: the
// text is left alone until the editing is finished.
void applyFolderRule(TLMDBrowseEdit* edit, bool finished) {
    const QString path = folderRule(edit->Path());
    QLineEdit* line = edit->lineEdit();
    const bool typing = line->hasFocus() && line->isModified();
    if ((finished || !typing) && path != edit->Path()) edit->setPath(path);
    if (!line->hasFocus()) line->setCursorPosition(0);  // show where the path begins
    edit->setToolTip(path);
}

}  // namespace

TMainForm1::TMainForm1(const QString& programFolder, std::vector<std::string> args)
    : QWidget(nullptr), Arguments(std::move(args)) {
    MainForm1 = this;
    try {
        buildWindow();
        ProgramFolder.clear();
        SourcePath.clear();
        DestPath.clear();
        QuotedDestPath.clear();
        setAcceptDrops(true);
        ProgramFolder = findProgramFolder(programFolder);
        // The buttons' hints are part of the window description and show from here on.

        for (const qv::ControlEntry& entry : qv::kControls)
            if (entry.catalogue)
                fill(static_cast<TMultiColComboBox*>(control(entry)), *entry.catalogue);
        C2_00->addItem(std::string(qv::kManualPresetRow));
        loadPresets();
        connectControls();
        CButton10->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(CButton10, &QWidget::customContextMenuRequested, this,
                [this](const QPoint& at) { showJobsMenu(CButton10->mapToGlobal(at)); });

        connect(C1_03->lineEdit(), &QLineEdit::editingFinished, this, [this] {
            if (C1_03->lineEdit()->isModified()) applyFolderRule(C1_03, true);
        });
        // A logout, a shutdown or kill closes the window as its close button does; a run
        // under way stops first (see the batch run's close rule).
        connect(&qv::ui::EndRequests::instance(), &qv::ui::EndRequests::endRequested, this,
                [this] { close(); });
    } catch (...) {
        MainForm1 = nullptr;
        throw;
    }
}

TMainForm1::~TMainForm1() {
    // The controls are destroyed after this object; a signal they give on the way
    // (the folder field losing the focus, for one) must not reach its handlers then.
    for (QObject* child : findChildren<QObject*>()) child->blockSignals(true);
    if (MainForm1 == this) MainForm1 = nullptr;
}

qv::ConversionSettings TMainForm1::settings() const {
    qv::ConversionSettings s;
    for (const qv::ControlEntry& entry : qv::kControls) {
        QWidget* w = control(entry);
        switch (entry.kind) {
            case qv::ControlKind::Index:
                s.*entry.number = static_cast<TMultiColComboBox*>(w)->ItemIndex();
                break;
            case qv::ControlKind::Value:
                s.*entry.number = static_cast<TLMDSpinEdit*>(w)->Value();
                break;
            case qv::ControlKind::Check:
                s.*entry.flag = static_cast<QCheckBox*>(w)->isChecked();
                break;
            case qv::ControlKind::Folder:
                s.*entry.text = folderRule(static_cast<TLMDBrowseEdit*>(w)->Path()).toStdString();
                break;
        }
    }
    return s;
}

QWidget* TMainForm1::control(const qv::ControlEntry& entry) const {
    const auto found = controls_.find(entry.name);
    if (found == controls_.end())
        throw std::logic_error("the window description has no control " + std::string(entry.name));
    return found->second;
}

std::string TMainForm1::settingsFilePath() const { return qv::settingsFilePath(ProgramFolder); }

// --- first activation ---

void TMainForm1::FormActivate() {
    if (Tag != 0) return;
    // Marked first: a settings file that fails to load must not come back with an
    // error box at every activation, and the paths are still queued exactly once.
    Tag = 1;
    // From here on the controls hold what the close writes.
    const auto keepSettingsAtExit = [this] {
        saveAtExit_.emplace([this] {
            if (!settingsWritten_) FormClose();
        });
    };
    try {
        applySettingsFile();
    } catch (...) {
        keepSettingsAtExit();
        takeArguments();
        throw;
    }
    keepSettingsAtExit();
    takeArguments();
}

void TMainForm1::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) FormActivate();
}

void TMainForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // A window manager that never activates a new window must not keep the stored
    // settings out: closing would then write the start values over them.
    if (Tag == 0 && !event->spontaneous())
        QTimer::singleShot(0, this, [this] {
            if (Tag == 0 && isVisible()) FormActivate();
        });
}

// --- title-bar buttons ---

void TMainForm1::CButton1Click() { MainForm1->close(); }

void TMainForm1::CButton2Click() { MainForm1->showMinimized(); }

void TMainForm1::CButton3Click() {
    qv::ui::openWithDesktop(qv::ui::desktopTarget(MainForm1->ProgramFolder + "/Readme.txt"));
}

void TMainForm1::CButton4Click() {
    QString name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0) name.truncate(dot);
    qv::ui::openWithDesktop(kInfoAddress + name);
}

void TMainForm1::closeEvent(QCloseEvent* event) {
    // A batch run keeps the window disabled and reads its controls until the end:
    // a close request from outside (the task bar, say) waits for the run to finish.
    if (!isEnabled()) {
        event->ignore();
        return;
    }
    // Before the first activation the controls do not hold the stored settings yet:
    // writing them would put the start values over them.
    if (Tag != 0) {
        settingsWritten_ = true;
        try {
            FormClose();
        } catch (...) {
            // The settings could not be written: say so, and close all the same, so that a
            // broken settings file never keeps the program from ending.
            qv::ui::showCurrentException();
        }
    }
    event->accept();
}

// --- dragging the window by its own surface ---

void TMainForm1::mousePressEvent(QMouseEvent* event) {
    // Only the bars and the column themselves drag; a press that comes up from a
    // control (a disabled button, say) stays where it was.
    if (event->button() != Qt::LeftButton || childAt(event->position().toPoint())) {
        event->ignore();
        return;
    }
    event->accept();
    drag_.begin(*event, true);
}

void TMainForm1::mouseMoveEvent(QMouseEvent* event) {
    if (!drag_.follow(*event)) event->ignore();
}

void TMainForm1::mouseReleaseEvent(QMouseEvent* event) {
    drag_.end(*event);
    event->ignore();
}

void TMainForm1::mouseDoubleClickEvent(QMouseEvent* event) {
    // No caption bar to maximise from: a double click does nothing.
    event->accept();
}

// --- editing rules ---

void TMainForm1::C1_02Change() {
    C1_03->setEnabled(false);
    L0_03->setEnabled(false);
    if (qv::destinationFolderEnabled(C1_02->ItemIndex())) {
        C1_03->setEnabled(true);
        L0_03->setEnabled(true);
    }
}

void TMainForm1::C1_03Change() { applyFolderRule(C1_03, false); }

void TMainForm1::CheckBox5Click() {
    const bool on = CheckBox5->isChecked();
    for (const qv::ControlEntry& entry : qv::kControls) {
        if (!entry.inRange) continue;
        control(entry)->setEnabled(on);
        if (QWidget* label = findChild<QWidget*>(
                QString::fromLatin1(entry.rangeLabel.data(), qsizetype(entry.rangeLabel.size()))))
            label->setEnabled(on);
    }
}

void TMainForm1::controlChanged(const qv::ControlEntry& entry) {
    QWidget* w = control(entry);
    if (entry.tint) {
        if (entry.kind == qv::ControlKind::Index) {
            auto* box = static_cast<TMultiColComboBox*>(w);
            box->setColor(qv::ui::colour(qv::tintForIndex(*entry.tint, box->ItemIndex())));
        } else if (entry.kind == qv::ControlKind::Value) {
            auto* edit = static_cast<TLMDSpinEdit*>(w);
            edit->setColor(qv::ui::colour(qv::tintForValue(*entry.tint, edit->Value())));
        }
    }
    switch (entry.role) {
        case qv::ControlRole::Plain:
            break;
        case qv::ControlRole::DestinationMode:
            C1_02Change();
            break;
        case qv::ControlRole::DestinationFolder:
            C1_03Change();
            break;
        case qv::ControlRole::PresetList:
            C2_00Change();
            break;
        case qv::ControlRole::RangeSwitch:
            CheckBox5Click();
            break;
    }
}

void TMainForm1::connectControls() {
    for (const qv::ControlEntry& entry : qv::kControls) {
        QWidget* w = control(entry);
        const auto changed = [this, &entry] { controlChanged(entry); };
        switch (entry.kind) {
            case qv::ControlKind::Index:
                connect(static_cast<TMultiColComboBox*>(w), &TMultiColComboBox::OnChange, this,
                        changed);
                break;
            case qv::ControlKind::Value:
                connect(static_cast<TLMDSpinEdit*>(w), &TLMDSpinEdit::OnChange, this, changed);
                break;
            case qv::ControlKind::Check:
                connect(static_cast<QCheckBox*>(w), &QCheckBox::clicked, this, changed);
                break;
            case qv::ControlKind::Folder:
                connect(static_cast<TLMDBrowseEdit*>(w), &TLMDBrowseEdit::OnChange, this, changed);
                break;
        }
    }
}
