// The main window as the user meets it: start state, editing rules through real
// clicks and keys, the frame (dragging, buttons), hints and the first activation.
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QToolButton>
#include <QToolTip>
#include <QWindow>
#include <QtTest>
#include <memory>

#include "settings/conversion_settings.h"
#include "support/program_folder.h"
#include "support/screen.h"
#include "ui/main_window/TMainForm1.h"
#include "ui/services/app_hint.h"
#include "ui/services/dialogs.h"
#include "ui/widgets/THintBalloon.h"
#include "ui/widgets/TLMDBrowseEdit.h"
#include "ui/widgets/TLMDSpinEdit.h"
#include "ui/widgets/TMultiColComboBox.h"
#include "ui/widgets/TShadowLabel.h"
#include "ui/widgets/TdxfColorButton.h"
#include "ui/widgets/TdxfLabel.h"

namespace {
const QColor kWhite(255, 255, 255);
const QColor kPink(255, 196, 255);
const QColor kCyan(196, 255, 255);
const QColor kYellow(255, 255, 128);
}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<qvtest::ProgramFolder> dir_;
    std::unique_ptr<TMainForm1> form_;

    // A program folder of its own with the shipped preset file.
    QString makeProgramFolder(bool withProfile = true) {
        using Presets = qvtest::ProgramFolder::Presets;
        dir_ = std::make_unique<qvtest::ProgramFolder>(withProfile ? Presets::Shipped
                                                                   : Presets::Missing);
        return dir_->path();
    }

    TMainForm1& showForm(std::vector<std::string> args = {}) {
        form_ = std::make_unique<TMainForm1>(makeProgramFolder(), std::move(args));
        form_->show();
        form_->activateWindow();
        if (!QTest::qWaitForWindowActive(form_.get())) qWarning("window not active");
        return *form_;
    }

    // A point of w in the main window's coordinates.
    QPoint inForm(QWidget* w, QPoint p) { return w->mapTo(form_.get(), p); }

    std::vector<TMultiColComboBox*> encoderBoxes(TMainForm1& f) {
        return {f.C2_01, f.C2_02, f.C2_03, f.C2_04, f.C2_05, f.C2_06,
                f.C3_01, f.C3_02, f.C3_03, f.C3_04, f.C3_05, f.C3_06};
    }

    void pressKeyOn(QWidget* w, Qt::Key key) {
        w->setFocus();
        QTest::keyClick(w, key);
    }

    // Destination mode "the folder in C1_03", which enables the folder edit.
    void chooseFolderMode(TMainForm1& f) {
        f.C1_02->setFocus();
        QTest::keyClick(f.C1_02, Qt::Key_End);
        QCOMPARE(f.C1_02->ItemIndex(), 1);
    }

  private slots:
    void init() {
        qv::ui::testing::enable();
        qv::ui::testing::clear();
    }
    void cleanup() {
        form_.reset();
        dir_.reset();
        TLMDBrowseEdit::pickerForTests = nullptr;
    }

    void designValuesBeforeFirstActivation() {
        form_ = std::make_unique<TMainForm1>(makeProgramFolder());
        TMainForm1& f = *form_;
        QCOMPARE(f.Tag, 0);
        QVERIFY(!f.isVisible());
        QCOMPARE(f.C1_03->Path(),
                 QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
        QCOMPARE(f.C1_03->toolTip(), QStringLiteral(" 保存先のﾌｫﾙﾀﾞ"));
        QVERIFY(f.C1_03->isEnabled() && f.L0_03->isEnabled());
        for (QWidget* w : {static_cast<QWidget*>(f.C4_01_1), static_cast<QWidget*>(f.L4_04_6)})
            QVERIFY(w->isEnabled());
    }

    // Right after a start without a settings file and without paths.
    void startState() {
        TMainForm1& f = showForm();
        QCOMPARE(MainForm1, &f);
        QCOMPARE(f.windowTitle(), QStringLiteral("Quorvane! Request"));
        QVERIFY(f.windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(f.size(), QSize(514, 583));
        QCOMPARE(f.minimumSize(), f.maximumSize());
        QCOMPARE(f.pos(), QPoint(20, 20));
        QCOMPARE(QString::fromStdString(f.ProgramFolder), dir_->path());
        QCOMPARE(f.ShadowLabel1->Caption(),
                 QStringLiteral("変換元の動画ファイル or フォルダをドロップしてください。"));
        QVERIFY(!f.CButton10->isEnabled());
        QVERIFY(!f.CButton14->isEnabled());
        QVERIFY(f.CButton11->isEnabled());
        QVERIFY(!f.Memo0->isVisible());

        QCOMPARE(f.C1_02->count(), 2);
        QCOMPARE(f.C1_02->ItemIndex(), -1);
        QCOMPARE(f.C1_02->Color(), kWhite);
        QVERIFY(f.C2_00->count() >= 1);
        QVERIFY(QString::fromStdString(f.C2_00->item(0)).startsWith(QStringLiteral("手動,")));
        QCOMPARE(f.C2_00->ItemIndex(), -1);
        QCOMPARE(f.C2_00->Color(), kWhite);
        for (TMultiColComboBox* box : encoderBoxes(f)) {
            QVERIFY(box->count() > 1);
            QVERIFY(QString::fromStdString(box->item(0)).startsWith(QStringLiteral("自動,")));
            QCOMPARE(box->ItemIndex(), -1);
            // No row chosen counts as a departure from the keep-source row.
            QCOMPARE(box->Color(), box->parentWidget() == f.Panel4 ? kPink : kCyan);
        }
        for (TLMDSpinEdit* s : {f.C2_07_1, f.C2_07_2, f.C2_07_3, f.C2_07_4, f.C4_01_1, f.C4_01_2,
                                f.C4_01_3, f.C4_01_4, f.C4_01_5, f.C4_01_6}) {
            QCOMPARE(s->text(), QStringLiteral("0"));
            QCOMPARE(s->Color(), kWhite);
        }
        for (QCheckBox* c : {f.CheckBox1, f.CheckBox2, f.CheckBox3, f.CheckBox4, f.CheckBox5}) {
            QVERIFY(!c->isChecked());
            QVERIFY(c->text().isEmpty());
        }
        QCOMPARE(f.C1_03->Path(),
                 QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
        QCOMPARE(f.jobCount(), 0);

        const qv::ConversionSettings s = f.settings();
        QCOMPARE(s.C2_01, -1);
        QCOMPARE(s.C1_03, f.C1_03->Path().toStdString());
        QVERIFY(!s.CheckBox5);

        QVERIFY(qvtest::saveScreenshot(&f, QStringLiteral("main-window.png")));
    }

    void layoutAnchors_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("geometry");
        // Prompt labels end 4 px before their drop-downs; the crop fields form a cross.
        QTest::newRow("L2_01 ends at 84") << "L2_01" << QRect(QPoint(0, 14), QPoint(83, 24));
        QTest::newRow("L3_06 ends at 84") << "L3_06" << QRect(QPoint(0, 62), QPoint(83, 72));
        QTest::newRow("L2_04 ends at 292") << "L2_04" << QRect(QPoint(0, 14), QPoint(291, 24));
        QTest::newRow("L3_03 ends at 292") << "L3_03" << QRect(QPoint(0, 42), QPoint(291, 52));
        QTest::newRow("crop top") << "C2_07_1" << QRect(204, 98, 50, 19);
        QTest::newRow("crop left") << "C2_07_3" << QRect(154, 108, 50, 19);
        QTest::newRow("crop right") << "C2_07_4" << QRect(254, 108, 50, 19);
        QTest::newRow("crop bottom") << "C2_07_2" << QRect(204, 118, 50, 19);
        QTest::newRow("video panel") << "Panel4" << QRect(0, 160, 445, 160);
        QTest::newRow("options panel") << "Panel3" << QRect(0, 408, 445, 138);
        QTest::newRow("close button") << "CButton1" << QRect(488, 3, 18, 14);
        QTest::newRow("Go!") << "CButton10" << QRect(452, 34, 57, 352);
    }
    void layoutAnchors() {
        QFETCH(QString, name);
        QFETCH(QRect, geometry);
        TMainForm1& f = showForm();
        QWidget* const all[] = {f.L2_01,   f.L3_06,   f.L2_04,  f.L3_03,  f.C2_07_1,  f.C2_07_3,
                                f.C2_07_4, f.C2_07_2, f.Panel4, f.Panel3, f.CButton1, f.CButton10};
        const char* const names[] = {"L2_01",   "L3_06",   "L2_04",    "L3_03",
                                     "C2_07_1", "C2_07_3", "C2_07_4",  "C2_07_2",
                                     "Panel4",  "Panel3",  "CButton1", "CButton10"};
        QWidget* w = nullptr;
        for (size_t i = 0; i < std::size(names); ++i)
            if (name == QLatin1String(names[i])) w = all[i];
        QVERIFY(w);
        if (geometry.left() == 0 && qobject_cast<TShadowLabel*>(w)) {
            QCOMPARE(w->geometry().right(), geometry.right());  // the width follows the text
            QCOMPARE(w->y(), geometry.top());
        } else {
            QCOMPARE(w->geometry(), geometry);
        }
    }

    void catalogueTintFollowsRow() {
        TMainForm1& f = showForm();
        for (TMultiColComboBox* box : encoderBoxes(f)) {
            const QColor tint = box->parentWidget() == f.Panel4 ? kPink : kCyan;
            pressKeyOn(box, Qt::Key_Down);  // none -> row 0
            QCOMPARE(box->ItemIndex(), 0);
            QCOMPARE(box->Color(), kWhite);
            pressKeyOn(box, Qt::Key_Down);
            QCOMPARE(box->ItemIndex(), 1);
            QCOMPARE(box->Color(), tint);
            pressKeyOn(box, Qt::Key_Up);
            QCOMPARE(box->Color(), kWhite);
        }
    }

    void spinTintFollowsValue() {
        TMainForm1& f = showForm();
        const std::pair<TLMDSpinEdit*, QColor> fields[] = {
            {f.C2_07_1, kPink},   {f.C2_07_2, kPink},   {f.C2_07_3, kPink},   {f.C2_07_4, kPink},
            {f.C4_01_1, kYellow}, {f.C4_01_2, kYellow}, {f.C4_01_3, kYellow}, {f.C4_01_4, kYellow},
            {f.C4_01_5, kYellow}, {f.C4_01_6, kYellow}};
        for (auto [spin, tint] : fields) {
            QLineEdit* e = spin->lineEdit();
            e->setFocus();
            e->selectAll();
            QTest::keyClicks(e, QStringLiteral("1"));
            QCOMPARE(spin->Value(), 1);
            QCOMPARE(spin->Color(), tint);
            QTest::keyClick(e, Qt::Key_Down);
            QCOMPARE(spin->Value(), 0);
            QCOMPARE(spin->Color(), kWhite);
        }
    }

    void rangeCheckBoxGreysFieldsAndKeepsValues() {
        TMainForm1& f = showForm();
        TLMDSpinEdit* const fields[] = {f.C4_01_1, f.C4_01_2, f.C4_01_3,
                                        f.C4_01_4, f.C4_01_5, f.C4_01_6};
        // The twelve controls, found by their names as the control table lists them.
        std::vector<QWidget*> range;
        auto byName = [&f](std::string_view name) {
            return f.findChild<QWidget*>(QString::fromLatin1(name.data(), qsizetype(name.size())));
        };
        for (const qv::ControlEntry& c : qv::kControls)
            if (c.inRange) {
                range.push_back(byName(c.name));
                range.push_back(byName(c.rangeLabel));
            }
        QCOMPARE(range.size(), std::size_t(12));
        QCOMPARE(range.front(), f.C4_01_1);
        QCOMPARE(range.back(), f.L4_04_6);
        QTest::mouseClick(f.CheckBox5, Qt::LeftButton);
        QVERIFY(f.CheckBox5->isChecked());
        for (QWidget* w : range) QVERIFY(w && w->isEnabled());
        int v = 1;
        for (TLMDSpinEdit* s : fields) {
            s->lineEdit()->setFocus();
            s->lineEdit()->selectAll();
            QTest::keyClicks(s->lineEdit(), QString::number(v++));
        }
        QTest::mouseClick(f.CheckBox5, Qt::LeftButton);
        QVERIFY(!f.CheckBox5->isChecked());
        for (QWidget* w : range) QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
        QVERIFY(f.L4_04->isEnabled());
        QVERIFY(f.CheckBox5->isEnabled());
        QTest::mouseClick(f.CheckBox5, Qt::LeftButton);
        v = 1;
        for (TLMDSpinEdit* s : fields) {
            QVERIFY(s->isEnabled());
            QCOMPARE(s->Value(), v++);
        }
        QCOMPARE(f.settings().C4_01_6, 6);
        // The range fields are the only ones that follow the box.
        QVERIFY(f.C2_07_1->isEnabled() && f.CheckBox1->isEnabled());
    }

    void labelBesideCheckBoxDoesNotToggle() {
        TMainForm1& f = showForm();
        const std::pair<QCheckBox*, QWidget*> pairs[] = {{f.CheckBox1, f.L4_01},
                                                         {f.CheckBox2, f.ShadowLabel4},
                                                         {f.CheckBox3, f.L4_02},
                                                         {f.CheckBox4, f.L4_03},
                                                         {f.CheckBox5, f.L4_04}};
        for (auto [box, label] : pairs) {
            QTest::mouseClick(form_.get(), Qt::LeftButton, {},
                              inForm(label, QPoint(4, label->height() / 2)));
            QVERIFY(!box->isChecked());
            QTest::mouseClick(box, Qt::LeftButton);
            QVERIFY(box->isChecked());
        }
        const qv::ConversionSettings s = f.settings();
        QVERIFY(s.CheckBox1 && s.CheckBox2 && s.CheckBox3 && s.CheckBox4 && s.CheckBox5);
    }

    void destinationModeEnablesFolder() {
        TMainForm1& f = showForm();
        pressKeyOn(f.C1_02, Qt::Key_Down);  // row 0: the source's folder
        QCOMPARE(f.C1_02->ItemIndex(), 0);
        QVERIFY(!f.C1_03->isEnabled());
        QVERIFY(!f.L0_03->isEnabled());
        pressKeyOn(f.C1_02, Qt::Key_Down);  // row 1: the folder in the edit
        QCOMPARE(f.C1_02->ItemIndex(), 1);
        QVERIFY(f.C1_03->isEnabled());
        QVERIFY(f.L0_03->isEnabled());
        QCOMPARE(f.C1_02->Color(), kWhite);  // never tinted
        QCOMPARE(f.settings().C1_02, 1);
    }

    void folderLosesTrailingSeparators_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("kept");
        QTest::newRow("one") << "/data/out/"
                             << "/data/out";
        QTest::newRow("several") << "/data/out///"
                                 << "/data/out";
        QTest::newRow("none") << "/data/out"
                              << "/data/out";
        QTest::newRow("root stays usable") << "/"
                                           << "/";
    }
    void folderLosesTrailingSeparators() {
        QFETCH(QString, chosen);
        QFETCH(QString, kept);
        TMainForm1& f = showForm();
        chooseFolderMode(f);
        TLMDBrowseEdit::pickerForTests = [chosen](const QString&) { return chosen; };
        QTest::mouseClick(f.C1_03->browseButton(), Qt::LeftButton);
        QCOMPARE(f.C1_03->Path(), kept);
        QCOMPARE(f.C1_03->toolTip(), kept);
        QCOMPARE(QString::fromStdString(f.settings().C1_03), kept);
    }

    void typedFolderKeepsSeparatorsUntilDone() {
        TMainForm1& f = showForm();
        chooseFolderMode(f);
        QLineEdit* e = f.C1_03->lineEdit();
        e->setFocus();
        e->selectAll();
        QTest::keyClicks(e, QStringLiteral("/data/a/b/"));
        QCOMPARE(f.C1_03->Path(),
                 QStringLiteral("/data/a/b/"));  // a separator starts the next name
        QCOMPARE(f.C1_03->toolTip(), QStringLiteral("/data/a/b"));
        QCOMPARE(f.settings().C1_03, std::string("/data/a/b"));
        QTest::keyClick(e, Qt::Key_Return);
        QCOMPARE(f.C1_03->Path(), QStringLiteral("/data/a/b"));
        QCOMPARE(f.C1_03->toolTip(), QStringLiteral("/data/a/b"));
    }

    void singleChangeKeepsPresetRow() {
        TMainForm1& f = showForm();
        if (f.C2_00->count() < 2) QSKIP("the shipped profile.txt holds no preset");
        pressKeyOn(f.C2_00, Qt::Key_Down);
        pressKeyOn(f.C2_00, Qt::Key_Down);
        QCOMPARE(f.C2_00->ItemIndex(), 1);
        pressKeyOn(f.C2_03, Qt::Key_Down);
        pressKeyOn(f.C2_07_1->lineEdit(), Qt::Key_Up);
        QTest::mouseClick(f.CheckBox2, Qt::LeftButton);
        QCOMPARE(f.C2_00->ItemIndex(), 1);
        QCOMPARE(f.C2_00->Color(), kWhite);
    }

    void tabOrderFollowsPanels() {
        TMainForm1& f = showForm();
        chooseFolderMode(f);
        QTest::mouseClick(f.CheckBox5, Qt::LeftButton);  // the range fields take part
        // Panels top to bottom, inside each its own order; the hidden memo never.
        QWidget* const expected[] = {f.C1_02,     f.C1_03,     f.C2_00,     f.C2_01,   f.C2_02,
                                     f.C2_03,     f.C2_04,     f.C2_06,     f.C2_05,   f.C2_07_3,
                                     f.C2_07_1,   f.C2_07_4,   f.C2_07_2,   f.C3_04,   f.C3_05,
                                     f.C3_01,     f.C3_03,     f.C3_02,     f.C3_06,   f.CheckBox1,
                                     f.CheckBox3, f.CheckBox4, f.CheckBox2, f.C4_01_1, f.C4_01_2,
                                     f.C4_01_3,   f.C4_01_4,   f.C4_01_5,   f.C4_01_6, f.CheckBox5};
        f.ListBox1->setFocus();
        for (QWidget* w : expected) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* now = QApplication::focusWidget();
            QVERIFY2(now == w || w->isAncestorOf(now),
                     qPrintable(QStringLiteral("expected %1, got %2 at %3")
                                    .arg(QLatin1String(w->metaObject()->className()),
                                         now ? QLatin1String(now->metaObject()->className())
                                             : QLatin1String("none"))
                                    .arg(now ? now->mapTo(&f, QPoint()).y() : -1)));
        }
    }

    // --- the frame ---

    void dragSurface_data() {
        QTest::addColumn<QString>("where");
        QTest::addColumn<bool>("moves");
        QTest::newRow("top bar") << "top bar" << true;
        QTest::newRow("status text") << "status text" << true;
        QTest::newRow("bottom bar text") << "bottom text" << true;
        QTest::newRow("right column between buttons") << "right column" << true;
        QTest::newRow("corner of a button rectangle") << "button corner" << true;
        QTest::newRow("panel") << "panel" << false;
        QTest::newRow("panel title") << "panel title" << false;
        QTest::newRow("file list") << "list" << false;
        QTest::newRow("drop-down") << "drop-down" << false;
        QTest::newRow("inside a button") << "button" << false;
        QTest::newRow("inside a disabled button") << "disabled button" << false;
    }
    void dragSurface() {
        QFETCH(QString, where);
        QFETCH(bool, moves);
        TMainForm1& f = showForm();
        const QMap<QString, QPoint> points = {
            {QStringLiteral("top bar"), QPoint(300, 10)},
            {QStringLiteral("status text"), inForm(f.ShadowLabel1, QPoint(20, 5))},
            {QStringLiteral("bottom text"), inForm(f.ShadowLabel2, QPoint(20, 5))},
            {QStringLiteral("right column"), QPoint(480, 395)},
            {QStringLiteral("button corner"), inForm(f.CButton4, QPoint(0, 0))},
            {QStringLiteral("panel"), inForm(f.Panel2, QPoint(300, 40))},
            {QStringLiteral("panel title"), inForm(f.dLabel2, QPoint(10, 30))},
            {QStringLiteral("list"), inForm(f.ListBox1, QPoint(100, 40))},
            {QStringLiteral("drop-down"), inForm(f.C2_00, QPoint(100, 9))},
            {QStringLiteral("button"), inForm(f.CButton11, QPoint(28, 28))},
            {QStringLiteral("disabled button"), inForm(f.CButton10, QPoint(28, 170))},
        };
        const QPoint at = points.value(where);
        const QPoint before = f.pos();
        QTest::mousePress(&f, Qt::LeftButton, {}, at);
        QTest::mouseMove(&f, at + QPoint(15, 7));
        QTest::mouseRelease(&f, Qt::LeftButton, {}, at + QPoint(15, 7));
        if (f.C2_00->popupVisible()) f.C2_00->hidePopup();
        QCOMPARE(f.pos(), moves ? before + QPoint(15, 7) : before);
    }

    void doubleClickDoesNothing() {
        TMainForm1& f = showForm();
        const QPoint before = f.pos();
        QTest::mouseDClick(&f, Qt::LeftButton, {}, QPoint(300, 10));
        QTest::mouseMove(&f, QPoint(320, 30));
        QCOMPARE(f.pos(), before);
        QCOMPARE(f.windowState(), Qt::WindowNoState);
    }

    void closeButtonCloses() {
        TMainForm1& f = showForm();
        QTest::mouseClick(f.CButton1, Qt::LeftButton, {}, QPoint(9, 7));
        QTRY_VERIFY(!f.isVisible());
    }

    void noClosingWhileARunHoldsTheWindow() {
        TMainForm1& f = showForm();
        f.setEnabled(false);  // as during a batch run
        QVERIFY(!f.close());
        QVERIFY(f.isVisible());
        f.setEnabled(true);
        QVERIFY(f.close());
        QVERIFY(!f.isVisible());
    }

    void minimiseButtonMinimises() {
        TMainForm1& f = showForm();
        QTest::mouseClick(f.CButton2, Qt::LeftButton, {}, QPoint(9, 7));
        QTRY_VERIFY(f.isMinimized());
        f.showNormal();
        QTRY_VERIFY(!f.isMinimized());
        QCOMPARE(f.pos(), QPoint(20, 20));
    }

    void guideAndInformationOpenWithTheDesktop() {
        TMainForm1& f = showForm();
        QTest::mouseClick(f.CButton3, Qt::LeftButton, {}, QPoint(9, 7));
        QTest::mouseClick(f.CButton4, Qt::LeftButton, {}, QPoint(38, 7));
        const QStringList opened = qv::ui::testing::texts(qv::ui::testing::Record::Open);
        QCOMPARE(opened.size(), 2);
        QCOMPARE(opened[0], dir_->path() + QStringLiteral("/Readme.txt"));
        // The address names the executable without its extension, unencoded.
        QVERIFY(opened[1].startsWith(QStringLiteral("https://")));
        QVERIFY(opened[1].endsWith(QStringLiteral("/info.php?pf=w&sn=main_window_test")));
        QVERIFY(qv::ui::testing::texts(qv::ui::testing::Record::Error).isEmpty());
    }

    // --- start-up ---

    void missingPresetFileEndsConstruction() {
        const QString folder = makeProgramFolder(false);
        try {
            TMainForm1 f(folder);
            QFAIL("constructed without profile.txt");
        } catch (const std::exception& e) {
            QCOMPARE(QString::fromUtf8(e.what()), QStringLiteral("ファイル ") + folder +
                                                      QStringLiteral("/profile.txt は開けません"));
        }
        QCOMPARE(MainForm1, nullptr);
    }

    void firstActivationRunsOnce() {
        QTemporaryDir clips;
        QFile clip(clips.filePath(QStringLiteral("a.wmv")));
        QVERIFY(clip.open(QIODevice::WriteOnly));
        clip.close();
        form_ = std::make_unique<TMainForm1>(
            makeProgramFolder(), std::vector<std::string>{clip.fileName().toStdString()});
        TMainForm1& f = *form_;
        QCOMPARE(f.Tag, 0);
        QCOMPARE(f.jobCount(), 0);  // nothing is queued before the window shows
        f.show();
        f.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        QCOMPARE(f.Tag, 1);
        QCOMPARE(f.jobCount(), 1);
        // Minimising and coming back, or another window taking the focus, queue nothing again.
        QWidget other;
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        f.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        f.showMinimized();
        f.showNormal();
        f.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f));
        QCOMPARE(f.jobCount(), 1);
        QCOMPARE(f.Tag, 1);
    }

    // --- hints ---

    void hintBalloonReplacesTooltip() {
        TMainForm1& f = showForm();
        THintBalloon* balloon = f.AppHint1->balloon();
        const QPoint onClose(9, 7);
        QTest::mouseMove(f.CButton1, onClose);
        QTRY_VERIFY(balloon->isVisible());
        QCOMPARE(balloon->text(), QStringLiteral(" 閉じる"));
        QVERIFY(!QToolTip::isVisible());
        const QPoint pointer = f.CButton1->mapToGlobal(onClose);
        QCOMPARE(balloon->pos().y(), pointer.y() + TAppHint::kDefaultOffset.y() - 8);

        // Moving on to another control with a hint replaces it at once.
        QTest::mouseMove(f.CButton2, QPoint(9, 7));
        QCOMPARE(balloon->text(), QStringLiteral(" 最小化"));
        QVERIFY(balloon->isVisible());

        // A control's hint shows with its leading blank; the balloon goes away by itself.
        QTest::mouseMove(f.C2_05, QPoint(50, 9));
        QCOMPARE(balloon->text(), QStringLiteral(" 動画のﾋﾞｯﾄﾚｰﾄ"));
        QTRY_VERIFY_WITH_TIMEOUT(!balloon->isVisible(), 10000);

        // Moving onto plain surface while nothing shows keeps it hidden.
        QTest::mouseMove(&f, QPoint(300, 10));
        QTest::qWait(2 * TAppHint::HintPause);
        QVERIFY(!balloon->isVisible());
    }

    void hintOfDisabledButtonAndOfFolder() {
        TMainForm1& f = showForm();
        THintBalloon* balloon = f.AppHint1->balloon();
        QTest::mouseMove(f.CButton10, QPoint(28, 170));
        QTRY_VERIFY(balloon->isVisible());
        QCOMPARE(balloon->text(), QStringLiteral(" 変換処理の実行"));
        chooseFolderMode(f);
        TLMDBrowseEdit::pickerForTests = [](const QString&) {
            return QStringLiteral("/data/out/");
        };
        QTest::mouseClick(f.C1_03->browseButton(), Qt::LeftButton);
        QTest::mouseMove(f.C1_03->lineEdit(), QPoint(20, 8));
        QTRY_COMPARE(balloon->text(), QStringLiteral("/data/out"));
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
