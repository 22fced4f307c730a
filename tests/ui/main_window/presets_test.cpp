// Presets on a real main window in a temporary program folder.
#include <sys/stat.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <stdexcept>

#include "base/cp932.h"
#include "settings/catalogues.h"
#include "support/program_folder.h"
#include "support/screen.h"
#include "ui/main_window/TMainForm1.h"
#include "ui/services/dialogs.h"
#include "ui/widgets/TLMDBrowseEdit.h"
#include "ui/widgets/TLMDSpinEdit.h"
#include "ui/widgets/TMultiColComboBox.h"
#include "ui/widgets/TdxfColorButton.h"

using Rec = qv::ui::testing::Record;
using Nine = QList<int>;  // C2_01, C2_02, C2_04, C2_06, C2_05, C3_04, C3_01, C3_03, C3_02
Q_DECLARE_METATYPE(Nine)

namespace {

QByteArray cp932(const QString& text) {
    const auto bytes = qv::encodeCp932(text.toStdString());
    return bytes ? QByteArray::fromStdString(*bytes) : QByteArray("<no cp932 form>");
}

const QString kSaved = QStringLiteral(
    "オリジナル設定を保存しました。\n保存した設定を削除・修正する場合は 同梱の "
    "profile.txt(CSV仕様)を\n"
    "テキストエディター等で直接編集してください。");

}  // namespace

class PresetsTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString presetPath() const { return dir_->path() + QStringLiteral("/profile.txt"); }

    void writePresets(const QByteArray& bytes) { QVERIFY(qvtest::writeFile(presetPath(), bytes)); }
    QByteArray readPresets() const { return qvtest::readFile(presetPath()); }
    std::unique_ptr<TMainForm1> openForm() {
        auto form = std::make_unique<TMainForm1>(dir_->path());
        if (!qvtest::showExposed(form.get())) return nullptr;
        form->FormActivate();
        qv::ui::testing::clear();
        return form;
    }
    static QList<TMultiColComboBox*> nine(TMainForm1& f) {
        return {f.C2_01, f.C2_02, f.C2_04, f.C2_06, f.C2_05, f.C3_04, f.C3_01, f.C3_03, f.C3_02};
    }
    static Nine indices(TMainForm1& f) {
        Nine out;
        for (auto* box : nine(f)) out << box->ItemIndex();
        return out;
    }
    // The user picks a row with the keyboard: one step down onto it.
    static void pick(TMultiColComboBox* box, int row) {
        box->setItemIndex(row - 1);
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Down);
        QCOMPARE(box->ItemIndex(), row);
    }
    static void save(TMainForm1& f) { QTest::mouseClick(f.CButton11, Qt::LeftButton); }

  private slots:
    void initTestCase() { qv::ui::testing::enable(); }

    void init() {
        qv::ui::testing::clear();
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
    }

    void cleanup() { dir_.reset(); }

    void loadsRowsAsRead() {
        const QByteArray longLine = "long," + QByteArray(5000, 'a');
        writePresets(cp932(QStringLiteral("携帯用,MP4,320x240")) + "\r\n\r\nbad\xff\x81,AVI\n" +
                     longLine + "\rLast");
        auto form = openForm();
        QVERIFY(form);
        QCOMPARE(form->C2_00->count(), 6);
        QCOMPARE(form->C2_00->item(0), std::string(qv::kManualPresetRow));
        QCOMPARE(form->C2_00->item(1), std::string("携帯用,MP4,320x240"));
        QCOMPARE(form->C2_00->item(2), std::string());
        QCOMPARE(form->C2_00->item(5), std::string("Last"));
        QCOMPARE(form->C2_00->item(4).size(), size_t(4096));
        QCOMPARE(form->PresetLines.size(), size_t(5));
        QCOMPARE(QByteArray::fromStdString(form->PresetLines[2]), QByteArray("bad\xff\x81,AVI"));
        QCOMPARE(QByteArray::fromStdString(form->PresetLines[3]), longLine);
        QVERIFY(!form->PresetFileEndsWithBreak);
        QCOMPARE(form->C2_00->ItemIndex(), -1);
    }

    void unreadableFileStopsConstruction_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("missing") << "missing";
        QTest::newRow("folder at its path") << "folder";
        QTest::newRow("FIFO at its path, never waited on") << "fifo";
    }

    void unreadableFileStopsConstruction() {
        QFETCH(QString, kind);
        if (kind == QStringLiteral("folder")) QVERIFY(QDir().mkdir(presetPath()));
        if (kind == QStringLiteral("fifo"))
            QCOMPARE(::mkfifo(QFile::encodeName(presetPath()).constData(), 0600), 0);
        QString what;
        try {
            TMainForm1 form(dir_->path());
        } catch (const std::runtime_error& e) {
            what = QString::fromUtf8(e.what());
        }
        QCOMPARE(what,
                 QStringLiteral("ファイル ") + presetPath() + QStringLiteral(" は開けません"));
        QCOMPARE(MainForm1, nullptr);
    }

    void applying_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("row");
        QTest::addColumn<Nine>("expected");
        QTest::newRow("saved values")
            << "携帯用,MP4,320x240,MPEG4,15fps,384kbps,1,LIBFAAC,22050Hz,64kbps" << 1
            << Nine{4, 7, 17, 9, 9, 1, 1, 4, 9};
        QTest::newRow("first row containing")
            << "x,MP4,852x480,H.264,29.97,VBR,ｽﾃﾚｵ,AAC,CD音質,224kbps" << 1
            << Nine{4, 16, 11, 12, 19, 2, 1, 8, 16};
        QTest::newRow("labels and short rates")
            << "y,自動,QVGA,MPEG4,自動,5,2,LIBMP3LAME,44100Hz,24kbps" << 1
            << Nine{0, 5, 17, 0, 21, 2, 27, 8, 3};
        QTest::newRow("fewer columns") << "z,AVI" << 1 << Nine{1, 0, 0, 0, 0, 0, 0, 0, 0};
        QTest::newRow("empty and unknown columns")
            << "w,,BOGUS,,,,,,,9999kbps" << 1 << Nine{0, 0, 0, 0, 0, 0, 0, 0, 0};
        QTest::newRow("empty line") << "" << 1 << Nine{0, 0, 0, 0, 0, 0, 0, 0, 0};
        QTest::newRow("manual row")
            << "携帯用,MP4,320x240,MPEG4,15fps,384kbps,1,LIBFAAC,22050Hz,64kbps" << 0
            << Nine{0, 0, 0, 0, 0, 0, 0, 0, 0};
    }

    // Picking a row sets the nine controls and nothing else.
    void applying() {
        QFETCH(QString, line);
        QFETCH(int, row);
        QFETCH(Nine, expected);
        writePresets(cp932(line) + "\r\n");
        auto form = openForm();
        QVERIFY(form);
        for (auto* box : nine(*form)) box->setItemIndex(2);
        form->C1_02->setItemIndex(1);
        form->C1_03->setPath(dir_->path());
        form->C2_03->setItemIndex(3);
        form->C3_05->setItemIndex(2);
        form->C3_06->setItemIndex(4);
        form->C2_07_1->setValue(7);
        form->C4_01_5->setValue(30);
        form->CheckBox2->setChecked(true);
        form->CheckBox5->setChecked(true);

        pick(form->C2_00, row);
        QCOMPARE(indices(*form), expected);
        QCOMPARE(form->C2_00->ItemIndex(), row);
        for (auto* box : nine(*form))
            QCOMPARE(box->Color() == QColor(Qt::white), box->ItemIndex() == 0);
        QCOMPARE(form->C1_02->ItemIndex(), 1);
        QCOMPARE(form->C1_03->Path(), dir_->path());
        QCOMPARE(form->C2_03->ItemIndex(), 3);
        QCOMPARE(form->C3_05->ItemIndex(), 2);
        QCOMPARE(form->C3_06->ItemIndex(), 4);
        QCOMPARE(form->C2_07_1->Value(), 7);
        QCOMPARE(form->C4_01_5->Value(), 30);
        QVERIFY(form->CheckBox2->isChecked());
        QVERIFY(form->CheckBox5->isChecked());
        QVERIFY(qv::ui::testing::records().isEmpty());
    }

    void saving_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QByteArray>("after");  // what stands before the new line
        QTest::addColumn<bool>("finalBreak");
        QTest::newRow("blank and comma") << QByteArray("A,AVI\r\n") << "my name,x"
                                         << "my　name，x" << QByteArray("A,AVI\r\n") << true;
        QTest::newRow("blanks only") << QByteArray("A,AVI\r\n") << "   "
                                     << "　　　" << QByteArray("A,AVI\r\n") << true;
        QTest::newRow("no final break stays so")
            << QByteArray("A,AVI\r\nB,FLV") << "n"
            << "n" << QByteArray("A,AVI\r\nB,FLV\r\n") << false;
        QTest::newRow("other line ends and bytes kept")
            << QByteArray("bad\xff\x81,AVI\n\nC,MP4\r") << "n"
            << "n" << QByteArray("bad\xff\x81,AVI\n\nC,MP4\r") << true;
        QTest::newRow("empty file") << QByteArray() << "n"
                                    << "n" << QByteArray() << false;
        QTest::newRow("no code page 932 form") << QByteArray("A\r\n") << "caf\u00e9"
                                               << "caf?" << QByteArray("A\r\n") << true;
        QTest::newRow("line break in the name") << QByteArray("A\r\n") << "a\nb"
                                                << "a　b" << QByteArray("A\r\n") << true;
        QTest::newRow("tab and leading quote") << QByteArray("A\r\n") << "\"a\tb"
                                               << "＂a　b" << QByteArray("A\r\n") << true;
    }

    void saving() {
        QFETCH(QByteArray, before);
        QFETCH(QString, typed);
        QFETCH(QString, column);
        QFETCH(QByteArray, after);
        QFETCH(bool, finalBreak);
        writePresets(before);
        auto form = openForm();
        QVERIFY(form);
        const int rowsBefore = form->C2_00->count();
        form->C2_01->setItemIndex(4);   // MP4
        form->C2_05->setItemIndex(21);  // 5,VBR
        form->C3_02->setItemIndex(16);  // 224kbps
        qv::ui::testing::queueInput(typed);
        save(*form);

        const QString line = column + QStringLiteral(",MP4,,,,5,,,,224kbps");
        QCOMPARE(readPresets(), after + cp932(line) + (finalBreak ? "\r\n" : ""));
        const auto& recs = qv::ui::testing::records();
        QCOMPARE(recs.size(), 3);
        QCOMPARE(recs[0].kind, Rec::Message);
        QCOMPARE(recs[0].text, QStringLiteral("現設定をオリジナル設定として保存します。"));
        QCOMPARE(recs[1].kind, Rec::Input);
        QCOMPARE(recs[1].text, QStringLiteral("オリジナル設定名(&O):"));
        QCOMPARE(recs[2].kind, Rec::Message);
        QCOMPARE(recs[2].text, kSaved);
        QCOMPARE(form->C2_00->count(), rowsBefore + 1);
        QCOMPARE(QString::fromStdString(form->C2_00->item(rowsBefore)), line);
        QCOMPARE(form->C2_00->ItemIndex(), rowsBefore);
        QCOMPARE(form->C2_00->ItemIndex(), int(form->PresetLines.size()));
        QCOMPARE(QByteArray::fromStdString(form->PresetLines.back()), cp932(line));
        // Saving does not apply the preset again.
        QCOMPARE(form->C2_02->ItemIndex(), -1);
    }

    void emptyNameSavesNothing() {
        writePresets("A,AVI\r\n");
        auto form = openForm();
        QVERIFY(form);
        save(*form);  // the input box is cancelled: nothing queued
        QCOMPARE(qv::ui::testing::texts(Rec::Message),
                 QStringList({QStringLiteral("現設定をオリジナル設定として保存します。"),
                              QStringLiteral("オリジナル設定名を入力してください。")}));
        QCOMPARE(readPresets(), QByteArray("A,AVI\r\n"));
        QCOMPARE(form->C2_00->count(), 2);
        QCOMPARE(form->PresetLines.size(), size_t(1));
    }

    // A saved preset selects its rows again, a VBR quality among them, and a
    // control saved without a row goes to its keep-source row.
    void savedPresetAppliesAgain() {
        writePresets("");
        auto form = openForm();
        QVERIFY(form);
        form->C2_01->setItemIndex(4);
        form->C2_02->setItemIndex(27);  // 852x480,HD480: the same value as row 16
        form->C2_05->setItemIndex(21);  // 5,VBR
        form->C3_01->setItemIndex(27);
        form->C3_02->setItemIndex(16);
        qv::ui::testing::queueInput(QStringLiteral("round"));
        save(*form);
        QCOMPARE(form->C2_00->count(), 2);
        for (auto* box : nine(*form)) box->setItemIndex(3);
        pick(form->C2_00, 1);
        QCOMPARE(indices(*form), Nine({4, 16, 0, 0, 21, 0, 27, 0, 16}));
    }

    // The shipped presets in the list; every one of them drives all nine controls
    // off their keep-source rows except where it keeps the frame rate.
    void shippedPresets() {
        const QByteArray source = qgetenv("QV_SOURCE_DIR");
        const QString root =
            source.isEmpty()
                ? QFileInfo(QStringLiteral(__FILE__)).dir().filePath(QStringLiteral("../.."))
                : QString::fromLocal8Bit(source);
        QFile shipped(root + QStringLiteral("/dist/profile.txt"));
        QVERIFY(shipped.open(QIODevice::ReadOnly));
        const QByteArray bytes = shipped.readAll();
        writePresets(bytes);
        auto form = openForm();
        QVERIFY(form);
        QCOMPARE(form->C2_00->count(), 1 + int(bytes.count("\r\n")));
        for (int row = 1; row < form->C2_00->count(); ++row) {
            pick(form->C2_00, row);
            const Nine got = indices(*form);
            for (int k = 0; k < got.size(); ++k)
                if (k != 3)
                    QVERIFY2(got[k] > 0,
                             qPrintable(QString::fromStdString(form->C2_00->item(row))));
        }
        if (!qvtest::screenshotDir().isEmpty()) {
            form->C2_00->showPopup();
            QVERIFY(QTest::qWaitForWindowExposed(form->C2_00->popup()));
            qvtest::saveScreenshot(form->C2_00->popup(), QStringLiteral("presets_list.png"));
            form->C2_00->hidePopup();
        }
    }

    // Lines added meanwhile by hand or by another instance stay, and show in the
    // list with the new one.
    void savingKeepsLinesAddedMeanwhile() {
        writePresets("A,AVI\r\n");
        auto form = openForm();
        QVERIFY(form);
        QFile file(presetPath());
        QVERIFY(file.open(QIODevice::Append));
        file.write("by hand,FLV\n");
        file.close();
        qv::ui::testing::queueInput(QStringLiteral("mine"));
        save(*form);
        QCOMPARE(qv::ui::testing::texts(Rec::Message).last(), kSaved);
        QCOMPARE(readPresets(), QByteArray("A,AVI\r\nby hand,FLV\nmine,,,,,,,,,\r\n"));
        QCOMPARE(form->C2_00->count(), 4);
        QCOMPARE(form->C2_00->item(2), std::string("by hand,FLV"));
        QCOMPARE(form->C2_00->ItemIndex(), 3);
        QCOMPARE(form->C2_00->item(3), std::string("mine,,,,,,,,,"));
        QCOMPARE(form->PresetLines.size(), size_t(3));
        QCOMPARE(form->Memo0->toPlainText(), QStringLiteral("A,AVI\nby hand,FLV\nmine,,,,,,,,,"));
    }

    void failedSaveKeepsListAndLinesInStep() {
        writePresets("A,AVI\r\n");
        auto form = openForm();
        QVERIFY(form);
        QVERIFY(QFile::remove(presetPath()));
        QVERIFY(QDir().mkdir(presetPath()));
        qv::ui::testing::queueInput(QStringLiteral("lost"));
        save(*form);
        QCOMPARE(qv::ui::testing::texts(Rec::Error),
                 QStringList{QStringLiteral("ファイル ") + presetPath() +
                             QStringLiteral(" を作成できません.")});
        QVERIFY(!qv::ui::testing::texts(Rec::Message).contains(kSaved));
        QCOMPARE(form->C2_00->count(), 2);
        QCOMPARE(form->PresetLines.size(), size_t(1));
        QVERIFY(QFileInfo(presetPath()).isDir());

        QVERIFY(QDir().rmdir(presetPath()));
        qv::ui::testing::clear();
        qv::ui::testing::queueInput(QStringLiteral("kept"));
        save(*form);
        QVERIFY(qv::ui::testing::texts(Rec::Error).isEmpty());
        QCOMPARE(readPresets(), QByteArray("A,AVI\r\nkept,,,,,,,,,\r\n"));
        QCOMPARE(form->C2_00->count(), 3);
        QCOMPARE(form->C2_00->ItemIndex(), 2);
        QCOMPARE(form->C2_00->item(2), std::string("kept,,,,,,,,,"));
    }
};

QTEST_MAIN(PresetsTest)
#include "presets_test.moc"
