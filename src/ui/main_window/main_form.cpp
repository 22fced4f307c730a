// The main window: construction order, first activation, the frame of the
// borderless window and the editing rules of the settings controls.
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QShowEvent>
#include <QTimer>
#include <QWindow>

#include "settings/catalogues.h"
#include "settings/conversion_settings.h"
#include "ui/app/app_hint.h"
#include "ui/app/application.h"
#include "ui/app/dialogs.h"
#include "ui/main_window/TMainForm1.h"
#include "ui/widgets/TLMDBrowseEdit.h"
#include "ui/widgets/TLMDSpinEdit.h"
#include "ui/widgets/TMultiColComboBox.h"
#include "ui/widgets/TShadowLabel.h"
#include "ui/widgets/TdxfColorButton.h"

TMainForm1* MainForm1 = nullptr;

namespace {

// Where the information page lives; the executable's name is appended.
const QString kInfoAddress = QStringLiteral("https://quorvane.example/info.php?pf=w&sn=");

// The folder without trailing separators; the root keeps its one.
QString withoutTrailingSeparator(QString folder) {
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/'))) folder.chop(1);
    return folder;
}

void fill(TMultiColComboBox* box, qv::CatalogueId id) {
    for (std::string_view row : qv::catalogue(id)) box->addItem(std::string(row));
}

QColor colour(std::uint32_t rgb) { return QColor::fromRgb(static_cast<QRgb>(rgb)); }

void tintIndex(TMultiColComboBox* box, qv::Panel panel) {
    box->setColor(colour(qv::tintForIndex(panel, box->ItemIndex())));
}

void tintValue(TLMDSpinEdit* edit, qv::Panel panel) {
    edit->setColor(colour(qv::tintForValue(panel, edit->Value())));
}

QString folderRule(const QString& path) {
    return QString::fromStdString(qv::stripTrailingSeparators(path.toStdString()));
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
        ProgramFolder = withoutTrailingSeparator(
            programFolder.isEmpty() ? QCoreApplication::applicationDirPath() : programFolder);
        // The buttons' hints are part of the window description and show from here on.

        fill(C1_02, qv::CatalogueId::C1_02);
        C2_00->addItem(std::string(qv::kManualPresetRow));
        loadPresets();
        TMultiColComboBox* const encoderBoxes[] = {C2_01, C2_02, C2_03, C2_04, C2_05, C2_06,
                                                   C3_01, C3_02, C3_03, C3_04, C3_05, C3_06};
        const auto ids = qv::encoderCatalogues();
        for (size_t i = 0; i < ids.size() && i < std::size(encoderBoxes); ++i) fill(encoderBoxes[i], ids[i]);

        connect(C1_03->lineEdit(), &QLineEdit::editingFinished, this, [this] {
            if (C1_03->lineEdit()->isModified()) applyFolderRule(C1_03, true);
        });
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
    s.C1_02 = C1_02->ItemIndex();
    s.C1_03 = folderRule(C1_03->Path()).toStdString();
    s.C2_00 = C2_00->ItemIndex();
    s.C2_01 = C2_01->ItemIndex();
    s.C2_02 = C2_02->ItemIndex();
    s.C2_03 = C2_03->ItemIndex();
    s.C2_04 = C2_04->ItemIndex();
    s.C2_05 = C2_05->ItemIndex();
    s.C2_06 = C2_06->ItemIndex();
    s.C2_07_1 = C2_07_1->Value();
    s.C2_07_2 = C2_07_2->Value();
    s.C2_07_3 = C2_07_3->Value();
    s.C2_07_4 = C2_07_4->Value();
    s.C3_01 = C3_01->ItemIndex();
    s.C3_02 = C3_02->ItemIndex();
    s.C3_03 = C3_03->ItemIndex();
    s.C3_04 = C3_04->ItemIndex();
    s.C3_05 = C3_05->ItemIndex();
    s.C3_06 = C3_06->ItemIndex();
    s.CheckBox1 = CheckBox1->isChecked();
    s.CheckBox2 = CheckBox2->isChecked();
    s.CheckBox3 = CheckBox3->isChecked();
    s.CheckBox4 = CheckBox4->isChecked();
    s.CheckBox5 = CheckBox5->isChecked();
    s.C4_01_1 = C4_01_1->Value();
    s.C4_01_2 = C4_01_2->Value();
    s.C4_01_3 = C4_01_3->Value();
    s.C4_01_4 = C4_01_4->Value();
    s.C4_01_5 = C4_01_5->Value();
    s.C4_01_6 = C4_01_6->Value();
    return s;
}

QString TMainForm1::settingsFilePath() const { return ProgramFolder + QStringLiteral("/Quorvane_R.ini"); }

// --- first activation ---

void TMainForm1::FormActivate() {
    if (Tag != 0) return;
    // Marked first: a settings file that fails to load must not come back with an
    // error box at every activation, and the paths are still queued exactly once.
    Tag = 1;
    try {
        applySettingsFile();
    } catch (...) {
        takeArguments();
        throw;
    }
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

void TMainForm1::CButton3Click() { qv::ui::openWithDesktop(MainForm1->ProgramFolder + QStringLiteral("/Readme.txt")); }

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
    try {
        FormClose();
    } catch (...) {
        // The settings could not be written: say so, and close all the same, so that a
        // broken settings file never keeps the program from ending.
        qv::ui::showCurrentException();
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
    if (QWindow* w = windowHandle(); w && w->startSystemMove()) return;
    // No window manager to move us: follow the pointer ourselves.
    dragging_ = true;
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void TMainForm1::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) {
        event->ignore();
        return;
    }
    if (!(event->buttons() & Qt::LeftButton)) {
        dragging_ = false;
        return;
    }
    move(event->globalPosition().toPoint() - dragOffset_);
}

void TMainForm1::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) dragging_ = false;
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

void TMainForm1::C2_01Change() { tintIndex(C2_01, qv::Panel::Video); }
void TMainForm1::C2_02Change() { tintIndex(C2_02, qv::Panel::Video); }
void TMainForm1::C2_03Change() { tintIndex(C2_03, qv::Panel::Video); }
void TMainForm1::C2_04Change() { tintIndex(C2_04, qv::Panel::Video); }
void TMainForm1::C2_05Change() { tintIndex(C2_05, qv::Panel::Video); }
void TMainForm1::C2_06Change() { tintIndex(C2_06, qv::Panel::Video); }
void TMainForm1::C2_07_1Change() { tintValue(C2_07_1, qv::Panel::Video); }
void TMainForm1::C2_07_2Change() { tintValue(C2_07_2, qv::Panel::Video); }
void TMainForm1::C2_07_3Change() { tintValue(C2_07_3, qv::Panel::Video); }
void TMainForm1::C2_07_4Change() { tintValue(C2_07_4, qv::Panel::Video); }
void TMainForm1::C3_01Change() { tintIndex(C3_01, qv::Panel::Audio); }
void TMainForm1::C3_02Change() { tintIndex(C3_02, qv::Panel::Audio); }
void TMainForm1::C3_03Change() { tintIndex(C3_03, qv::Panel::Audio); }
void TMainForm1::C3_04Change() { tintIndex(C3_04, qv::Panel::Audio); }
void TMainForm1::C3_05Change() { tintIndex(C3_05, qv::Panel::Audio); }
void TMainForm1::C3_06Change() { tintIndex(C3_06, qv::Panel::Audio); }
void TMainForm1::C4_01_1Change() { tintValue(C4_01_1, qv::Panel::Options); }
void TMainForm1::C4_01_2Change() { tintValue(C4_01_2, qv::Panel::Options); }
void TMainForm1::C4_01_3Change() { tintValue(C4_01_3, qv::Panel::Options); }
void TMainForm1::C4_01_4Change() { tintValue(C4_01_4, qv::Panel::Options); }
void TMainForm1::C4_01_5Change() { tintValue(C4_01_5, qv::Panel::Options); }
void TMainForm1::C4_01_6Change() { tintValue(C4_01_6, qv::Panel::Options); }

void TMainForm1::CheckBox5Click() {
    const bool on = CheckBox5->isChecked();
    QWidget* const range[] = {C4_01_1, L4_04_1, C4_01_2, L4_04_2, C4_01_3, L4_04_3,
                              C4_01_4, L4_04_4, C4_01_5, L4_04_5, C4_01_6, L4_04_6};
    for (QWidget* w : range) w->setEnabled(on);
}
