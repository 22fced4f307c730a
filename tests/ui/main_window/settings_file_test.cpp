// The settings file on a real main window in a temporary program folder.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>

#include "base/cp932.h"
#include "run/batch_rules.h"
#include "run/command_line.h"
#include "support/program_folder.h"
#include "support/screen.h"
#include "ui/main_window/TMainForm1.h"
#include "ui/services/dialogs.h"
#include "ui/widgets/TLMDBrowseEdit.h"
#include "ui/widgets/TLMDSpinEdit.h"
#include "ui/widgets/TMultiColComboBox.h"
#include "ui/widgets/TShadowLabel.h"

namespace {

QByteArray cp932(const char* utf8) {
    const auto bytes = qv::encodeCp932(utf8);
    return bytes ? QByteArray::fromStdString(*bytes) : QByteArray();
}

QColor videoTint() { return QColor(255, 196, 255); }
QColor audioTint() { return QColor(196, 255, 255); }

}  // namespace

class SettingsFileTest : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<QTemporaryDir> dir_;
    QString iniPath() const { return dir_->path() + QStringLiteral("/Quorvane_R.ini"); }

    void writeIni(const QByteArray& bytes) { QVERIFY(qvtest::writeFile(iniPath(), bytes)); }
    QByteArray readIni() const { return qvtest::readFile(iniPath()); }

    // Constructed, then shown and activated the first time.
    std::unique_ptr<TMainForm1> makeForm() { return std::make_unique<TMainForm1>(dir_->path()); }
    static void activate(TMainForm1& form) {
        QVERIFY(qvtest::showExposed(&form));
        form.FormActivate();
    }
    std::unique_ptr<TMainForm1> openForm() {
        auto form = makeForm();
        activate(*form);
        return form;
    }

    static QList<TMultiColComboBox*> encoderBoxes(TMainForm1& f) {
        return {f.C2_01, f.C2_02, f.C2_03, f.C2_04, f.C2_05, f.C2_06,
                f.C3_01, f.C3_02, f.C3_03, f.C3_04, f.C3_05, f.C3_06};
    }
    static QList<TLMDSpinEdit*> spins(TMainForm1& f) {
        return {f.C2_07_1, f.C2_07_2, f.C2_07_3, f.C2_07_4, f.C4_01_1,
                f.C4_01_2, f.C4_01_3, f.C4_01_4, f.C4_01_5, f.C4_01_6};
    }
    static QList<QCheckBox*> checks(TMainForm1& f) {
        return {f.CheckBox1, f.CheckBox2, f.CheckBox3, f.CheckBox4, f.CheckBox5};
    }

    // Every key of a file written from scratch, in order, for these values.
    static QByteArray scratchFile(const QByteArray& folder, int left, int top) {
        QByteArray s = "[SET]\r\nM_LEFT=" + QByteArray::number(left) +
                       "\r\nM_TOP=" + QByteArray::number(top) + "\r\n[SET1]\r\nC1_03=" + folder +
                       "\r\nC1_02=-1\r\n[SET2]\r\nC2_00=-1\r\n";
        for (const char* k : {"C2_01", "C2_02", "C2_03", "C2_04", "C2_05", "C2_06"})
            s += QByteArray(k) + "=-1\r\n";
        for (const char* k : {"C2_07_1", "C2_07_2", "C2_07_3", "C2_07_4"})
            s += QByteArray(k) + "=0\r\n";
        s += "[SET3]\r\n";
        for (const char* k : {"C3_01", "C3_02", "C3_03", "C3_04", "C3_05", "C3_06"})
            s += QByteArray(k) + "=-1\r\n";
        s += "[SET4]\r\n";
        for (const char* k : {"C4_C1", "C4_C2", "C4_C3", "C4_C4", "C4_C5", "C4_01_1", "C4_01_2",
                              "C4_01_3", "C4_01_4", "C4_01_5", "C4_01_6"})
            s += QByteArray(k) + "=0\r\n";
        return s;
    }

  private slots:
    void initTestCase() { qv::ui::testing::enable(); }

    void init() {
        qv::ui::testing::clear();
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        QVERIFY(qvtest::writeFile(
            dir_->path() + QStringLiteral("/profile.txt"),
            cp932("携帯用,MP4,320x240,MPEG4,15fps,384kbps,1,LIBFAAC,22050Hz,64kbps\r\n"
                  "DVD,M2P,720x480,MPEG2VIDEO,29.97fps,5000kbps,2,AC3,48000Hz,224kbps\r\n"
                  "A,AVI\r\nB,FLV\r\n")));
    }

    void cleanup() {
        QVERIFY(qv::ui::testing::texts(qv::ui::testing::Record::Error).isEmpty() ||
                QTest::currentTestFunction() == QByteArray("unwritableFileStillCloses"));
        dir_.reset();
    }

    void firstStartWithoutFile() {
        auto form = makeForm();
        const QString design = form->C1_03->Path();
        activate(*form);
        QCOMPARE(form->pos(), QPoint(20, 20));
        QCOMPARE(form->C1_03->Path(), design);
        QCOMPARE(form->C1_02->ItemIndex(), -1);
        QCOMPARE(form->C2_00->ItemIndex(), -1);
        const auto boxes = encoderBoxes(*form);
        for (int i = 0; i < boxes.size(); ++i) {
            QCOMPARE(boxes[i]->ItemIndex(), -1);
            QCOMPARE(boxes[i]->Color(), i < 6 ? videoTint() : audioTint());
        }
        for (auto* s : spins(*form)) QCOMPARE(s->Value(), 0);
        for (auto* c : checks(*form)) QVERIFY(!c->isChecked());
        QVERIFY(!form->C4_01_1->isEnabled());
        QVERIFY(form->close());
        QCOMPARE(readIni(), scratchFile(cp932(design.toUtf8().constData()), 20, 20));
    }

    void restoresKeys_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("expected");
        QTest::newRow("check stored as 2")
            << QByteArray("[SET4]\r\nC4_C3=2\r\n") << "CheckBox3" << 1;
        QTest::newRow("crop clamped")
            << QByteArray("[SET2]\r\nC2_07_1=123456\r\n") << "C2_07_1" << 99999;
        QTest::newRow("minutes clamped")
            << QByteArray("[SET4]\r\nC4_01_2=75\r\n") << "C4_01_2" << 59;
        QTest::newRow("negative clamped")
            << QByteArray("[SET4]\r\nC4_01_1=-3\r\n") << "C4_01_1" << 0;
        QTest::newRow("hex by hand") << QByteArray("[SET3]\r\nC3_02=0x10\r\n") << "C3_02" << 16;
        QTest::newRow("dollar hex") << QByteArray("[SET2]\r\nC2_02=$1b\r\n") << "C2_02" << 27;
        QTest::newRow("names any case") << QByteArray("[set2]\r\nc2_04 = 11 \r\n") << "C2_04" << 11;
        QTest::newRow("index beyond rows") << QByteArray("[SET2]\r\nC2_02=43\r\n") << "C2_02" << -1;
        QTest::newRow("first container after the old ones")
            << QByteArray("[SET2]\r\nC2_01=13\r\n") << "C2_01" << 13;
        QTest::newRow("index past the containers")
            << QByteArray("[SET2]\r\nC2_01=15\r\n") << "C2_01" << -1;
        QTest::newRow("last video codec") << QByteArray("[SET2]\r\nC2_04=36\r\n") << "C2_04" << 36;
        QTest::newRow("index past the video codecs")
            << QByteArray("[SET2]\r\nC2_04=37\r\n") << "C2_04" << -1;
        QTest::newRow("last audio codec") << QByteArray("[SET3]\r\nC3_01=52\r\n") << "C3_01" << 52;
        QTest::newRow("index past the audio codecs")
            << QByteArray("[SET3]\r\nC3_01=53\r\n") << "C3_01" << -1;
        QTest::newRow("preset index beyond list")
            << QByteArray("[SET2]\r\nC2_00=7\r\n") << "C2_00" << -1;
        QTest::newRow("preset index within list")
            << QByteArray("[SET2]\r\nC2_00=4\r\n") << "C2_00" << 4;
        QTest::newRow("left off screen")
            << QByteArray("[SET]\r\nM_LEFT=-2000\r\n") << "M_LEFT" << -2000;
        QTest::newRow("top") << QByteArray("[SET]\r\nM_TOP=300\r\n") << "M_TOP" << 300;
        QTest::newRow("mode") << QByteArray("[SET1]\r\nC1_02=1\r\n") << "C1_02" << 1;
        QTest::newRow("first key wins")
            << QByteArray("[SET3]\r\nC3_04=1\r\nC3_04=2\r\n") << "C3_04" << 1;
        QTest::newRow("second section ignored")
            << QByteArray("[SET3]\r\n[SET3]\r\nC3_04=2\r\n") << "C3_04" << -1;
        QTest::newRow("comment ignored") << QByteArray("[SET3]\r\n;C3_04=2\r\n") << "C3_04" << -1;
    }

    void restoresKeys() {
        QFETCH(QByteArray, ini);
        QFETCH(QString, control);
        QFETCH(int, expected);
        writeIni(ini);
        auto form = openForm();
        TMainForm1& f = *form;
        const QHash<QString, std::function<int()>> read{
            {QStringLiteral("M_LEFT"), [&] { return f.x(); }},
            {QStringLiteral("M_TOP"), [&] { return f.y(); }},
            {QStringLiteral("C1_02"), [&] { return f.C1_02->ItemIndex(); }},
            {QStringLiteral("C2_00"), [&] { return f.C2_00->ItemIndex(); }},
            {QStringLiteral("C2_01"), [&] { return f.C2_01->ItemIndex(); }},
            {QStringLiteral("C2_02"), [&] { return f.C2_02->ItemIndex(); }},
            {QStringLiteral("C3_01"), [&] { return f.C3_01->ItemIndex(); }},
            {QStringLiteral("C2_04"), [&] { return f.C2_04->ItemIndex(); }},
            {QStringLiteral("C3_02"), [&] { return f.C3_02->ItemIndex(); }},
            {QStringLiteral("C3_04"), [&] { return f.C3_04->ItemIndex(); }},
            {QStringLiteral("C2_07_1"), [&] { return f.C2_07_1->Value(); }},
            {QStringLiteral("C4_01_1"), [&] { return f.C4_01_1->Value(); }},
            {QStringLiteral("C4_01_2"), [&] { return f.C4_01_2->Value(); }},
            {QStringLiteral("CheckBox3"), [&] { return f.CheckBox3->isChecked() ? 1 : 0; }},
        };
        QVERIFY2(read.contains(control), qPrintable(control));
        QCOMPARE(read[control](), expected);
    }

    // A key that is missing, empty or not a number leaves the control as it was
    // before the file was read (not as it was designed).
    void unreadableKeysKeepTheControls() {
        writeIni(
            "[SET2]\r\nC2_01=\r\nC2_07_1=abc\r\n[SET3]\r\nC3_01=x\r\n[SET4]\r\nC4_C3=abc\r\nC4_C5="
            "\r\n");
        auto form = makeForm();
        form->C2_01->setItemIndex(3);
        form->C2_07_1->setValue(5);
        form->C3_01->setItemIndex(2);
        form->C3_02->setItemIndex(4);
        form->CheckBox3->setChecked(true);
        form->CheckBox5->setChecked(true);
        form->C1_03->setPath(dir_->path() + QStringLiteral("/kept"));
        activate(*form);
        QCOMPARE(form->C2_01->ItemIndex(), 3);
        QCOMPARE(form->C2_07_1->Value(), 5);
        QCOMPARE(form->C3_01->ItemIndex(), 2);
        QCOMPARE(form->C3_02->ItemIndex(), 4);
        QVERIFY(form->CheckBox3->isChecked());
        QVERIFY(form->CheckBox5->isChecked());
        QVERIFY(form->C4_01_1->isEnabled());
        QCOMPARE(form->C1_03->Path(), dir_->path() + QStringLiteral("/kept"));
    }

    // A file written before today's formats were added, naming the last of the old
    // rows: the same rows come back, and so does the same command line.
    void fileFromBeforeTheNewRows() {
        const QByteArray folder =
            cp932((dir_->path() + QStringLiteral("/ﾌｫﾙﾀﾞ")).toUtf8().constData());
        writeIni(
            "[SET]\r\nM_LEFT=20\r\nM_TOP=20\r\n[SET1]\r\nC1_03=" + folder +
            "\r\nC1_02=1\r\n[SET2]\r\nC2_00=0\r\nC2_01=12\r\nC2_02=42\r\nC2_03=7\r\nC2_04=33\r\n"
            "C2_05=34\r\nC2_06=15\r\nC2_07_1=0\r\nC2_07_2=0\r\nC2_07_3=0\r\nC2_07_4=0\r\n[SET3]\r\n"
            "C3_01=51\r\nC3_02=18\r\nC3_03=9\r\nC3_04=2\r\nC3_05=7\r\nC3_06=14\r\n[SET4]\r\n"
            "C4_C1=0\r\nC4_C2=0\r\nC4_C3=0\r\nC4_C4=0\r\nC4_C5=0\r\n");
        auto form = openForm();
        const QStringList rows{QStringLiteral("SWF,Flash"),
                               QStringLiteral("512x384,<ﾆｺﾆｺ動画>"),
                               QStringLiteral("16:9"),
                               QStringLiteral("ZMBV"),
                               QStringLiteral("31,VBR(最低品質)"),
                               QStringLiteral("60fps"),
                               QStringLiteral("WMAV2,WindowsMediaAudio2"),
                               QStringLiteral("320kbps"),
                               QStringLiteral("48000Hz"),
                               QStringLiteral("2,ｽﾃﾚｵ"),
                               QStringLiteral("768,3.0倍"),
                               QStringLiteral("1000,1秒間隔")};
        const auto boxes = encoderBoxes(*form);
        for (int i = 0; i < boxes.size(); ++i)
            QCOMPARE(QString::fromStdString(boxes[i]->item(boxes[i]->ItemIndex())), rows[i]);

        const qv::ConversionSettings s = form->settings();
        const std::string dst = qv::destinationFor(s, "/v/clip.avi");
        QCOMPARE(QString::fromStdString(dst), dir_->path() + QStringLiteral("/ﾌｫﾙﾀﾞ/clip.swf"));
        QCOMPARE(qv::buildConversionCommand(s, "/v/clip.avi", dst, 1, false).text,
                 "-i \"/v/clip.avi\" -y -flags bitexact -s 512x384 -aspect 16:9 -vcodec zmbv "
                 "-qscale 31 -r 60 "
                 "-acodec wmav2 -ab 320k -ar 48000 -ac 2 -vol 768 -async 1000 \"" +
                     dst + "\"");
    }

    void newRowsByIndex_data() {
        QTest::addColumn<int>("container");
        QTest::addColumn<int>("videoCodec");
        QTest::addColumn<int>("videoBitrate");
        QTest::addColumn<int>("audioCodec");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("fragment");
        QTest::newRow("H.265 and Opus in Matroska, quality 11")
            << 13 << 34 << 24 << 52 << ".mkv"
            << "-vcodec libx265 -qscale 11 -sameq -acodec libopus";
        QTest::newRow("VP9 and Opus in WebM, 1024k")
            << 14 << 35 << 12 << 52 << ".webm"
            << "-vcodec libvpx-vp9 -b 1024k -sameq -acodec libopus";
        QTest::newRow("AV1 and Opus in MP4, source bitrate")
            << 4 << 36 << 0 << 52 << ".mp4"
            << "-vcodec libsvtav1 -sameq -acodec libopus";
    }

    // The new rows chosen by their indices give the new values on the command line.
    void newRowsByIndex() {
        QFETCH(int, container);
        QFETCH(int, videoCodec);
        QFETCH(int, videoBitrate);
        QFETCH(int, audioCodec);
        QFETCH(QString, extension);
        QFETCH(QString, fragment);
        QByteArray ini = "[SET1]\r\nC1_02=0\r\n[SET2]\r\nC2_01=" + QByteArray::number(container) +
                         "\r\nC2_02=0\r\nC2_03=0\r\nC2_04=" + QByteArray::number(videoCodec) +
                         "\r\nC2_05=" + QByteArray::number(videoBitrate) +
                         "\r\nC2_06=0\r\n[SET3]\r\nC3_01=" + QByteArray::number(audioCodec) +
                         "\r\n";
        for (const char* k : {"C3_02", "C3_03", "C3_04", "C3_05", "C3_06"})
            ini += QByteArray(k) + "=0\r\n";
        writeIni(ini);
        auto form = openForm();
        const qv::ConversionSettings s = form->settings();
        const std::string dst = qv::destinationFor(s, "/v/clip.avi");
        QCOMPARE(QString::fromStdString(dst), QStringLiteral("/v/clip") + extension);
        QCOMPARE(QString::fromStdString(
                     qv::buildConversionCommand(s, "/v/clip.avi", dst, 1, false).text),
                 QStringLiteral("-i \"/v/clip.avi\" -y -flags bitexact ") + fragment +
                     QStringLiteral(" \"/v/clip") + extension + QStringLiteral("\""));
    }

    void handlersFollowRestoredValues() {
        writeIni(
            "[SET1]\r\nC1_02=0\r\n[SET2]\r\nC2_01=0\r\nC2_02=7\r\nC2_07_2=4\r\n[SET3]\r\nC3_01="
            "0\r\nC3_02=3\r\n"
            "[SET4]\r\nC4_C5=1\r\nC4_01_3=9\r\n");
        auto form = openForm();
        QCOMPARE(form->C2_01->Color(), QColor(Qt::white));
        QCOMPARE(form->C2_02->Color(), videoTint());
        QCOMPARE(form->C2_07_2->Color(), videoTint());
        QCOMPARE(form->C2_07_1->Color(), QColor(Qt::white));
        QCOMPARE(form->C3_01->Color(), QColor(Qt::white));
        QCOMPARE(form->C3_02->Color(), audioTint());
        QCOMPARE(form->C4_01_3->Color(), QColor(255, 255, 128));
        QVERIFY(!form->C1_03->isEnabled());
        QVERIFY(form->C4_01_1->isEnabled());
        QVERIFY(form->L4_04_6->isEnabled());
    }

    void folderText_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty gives the program folder")
            << QByteArray("") << QStringLiteral("<program>");
        QTest::newRow("trailing separators dropped")
            << QByteArray("/srv/out//") << QStringLiteral("/srv/out");
        QTest::newRow("code page 932") << cp932("/ビデオ/ﾌｫﾙﾀﾞ") << QStringLiteral("/ビデオ/ﾌｫﾙﾀﾞ");
        QTest::newRow("quoted with blanks") << QByteArray("\" /a b \"") << QStringLiteral(" /a b ");
    }

    void folderText() {
        QFETCH(QByteArray, stored);
        QFETCH(QString, expected);
        writeIni("[SET1]\r\nC1_03=" + stored + "\r\n");
        auto form = openForm();
        if (expected == QStringLiteral("<program>"))
            expected = QString::fromStdString(form->ProgramFolder);
        QCOMPARE(form->C1_03->Path(), expected);
        QCOMPARE(form->C1_03->toolTip(), expected);
    }

    // The preset row is selected without being applied: the nine controls show
    // their own stored rows.
    void presetIndexRestoredWithoutApplying() {
        writeIni("[SET2]\r\nC2_00=1\r\nC2_01=2\r\n");
        auto form = openForm();
        QCOMPARE(form->C2_00->ItemIndex(), 1);
        QCOMPARE(form->C2_01->ItemIndex(), 2);
        QCOMPARE(form->C2_02->ItemIndex(), -1);
    }

    void secondActivationDoesNotRead() {
        writeIni("[SET2]\r\nC2_01=2\r\n");
        auto form = openForm();
        QCOMPARE(form->C2_01->ItemIndex(), 2);
        writeIni("[SET2]\r\nC2_01=5\r\n");
        form->FormActivate();
        form->hide();
        activate(*form);
        QCOMPARE(form->C2_01->ItemIndex(), 2);
    }

    void roundTripOfEveryKey() {
        const QString folder = dir_->path() + QStringLiteral("/出力 先");
        {
            auto form = openForm();
            form->move(123, 45);
            form->C1_03->setPath(folder);
            form->C1_02->setItemIndex(1);
            form->C2_00->setItemIndex(3);
            int i = 1;
            for (auto* box : encoderBoxes(*form)) box->setItemIndex(i++ % box->count());
            i = 1;
            for (auto* s : spins(*form)) s->setValue(i++);
            i = 0;
            for (auto* c : checks(*form)) c->setChecked(i++ % 2 == 0);
            QVERIFY(form->close());
        }
        auto form = openForm();
        QCOMPARE(form->pos(), QPoint(123, 45));
        QCOMPARE(form->C1_03->Path(), folder);
        QCOMPARE(form->C1_02->ItemIndex(), 1);
        QCOMPARE(form->C2_00->ItemIndex(), 3);
        int i = 1;
        for (auto* box : encoderBoxes(*form)) QCOMPARE(box->ItemIndex(), i++ % box->count());
        i = 1;
        for (auto* s : spins(*form)) QCOMPARE(s->Value(), i++);
        i = 0;
        for (auto* c : checks(*form)) QCOMPARE(c->isChecked(), i++ % 2 == 0);
        QVERIFY(form->C4_01_1->isEnabled());
    }

    // JOBS: read back as it was chosen, anything out of range as one at a time, and written
    // after C4_01_6 once it differs from one; a file that never had it gains no line.
    void jobsSettingRoundTrip_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("read");
        QTest::addColumn<int>("chosen");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("absent, kept at one") << QByteArray() << 1 << 1 << QByteArray();
        QTest::newRow("absent, three chosen") << QByteArray() << 1 << 3 << QByteArray("JOBS=3");
        QTest::newRow("automatic") << QByteArray("JOBS=0") << 0 << 0 << QByteArray("JOBS=0");
        QTest::newRow("out of range") << QByteArray("JOBS=17") << 1 << 1 << QByteArray("JOBS=1");
        QTest::newRow("back to one") << QByteArray("JOBS=4") << 4 << 1 << QByteArray("JOBS=1");
    }
    void jobsSettingRoundTrip() {
        QFETCH(QByteArray, stored);
        QFETCH(int, read);
        QFETCH(int, chosen);
        QFETCH(QByteArray, written);
        writeIni(QByteArray("[SET4]\r\nC4_C1=0\r\n") + (stored.isEmpty() ? "" : stored + "\r\n"));
        auto form = makeForm();
        activate(*form);
        QCOMPARE(form->Jobs, read);
        form->Jobs = chosen;
        QVERIFY(form->close());
        const QByteArray ini = readIni();
        if (written.isEmpty()) {
            QVERIFY(!ini.contains("JOBS"));
            return;
        }
        // A new key follows the range length; one that was there keeps its line.
        const QByteArray after = stored.isEmpty() ? QByteArray("C4_01_6=0\r\n") : QByteArray();
        QVERIFY2((ini + "\r\n").contains(after + written + "\r\n"), ini.constData());
        QCOMPARE(ini.count("JOBS="), 1);
    }

    void handEditedFileSurvives() {
        const QByteArray head =
            "; my comment\r\n[Other]\r\nfoo = \"bar\"\r\n#C2_01=9\r\n\r\n[set]\r\nm_left = 5\r\n";
        writeIni(head + "[SET4]\r\nC4_C1=1\r\nextra=keep");
        auto form = makeForm();
        const QByteArray design = cp932(form->C1_03->Path().toUtf8().constData());
        activate(*form);
        QVERIFY(form->CheckBox1->isChecked());
        QCOMPARE(form->x(), 5);
        QVERIFY(form->close());
        QByteArray expected = head + "M_TOP=20\r\n[SET4]\r\nC4_C1=1\r\nextra=keep\r\n";
        for (const char* k : {"C4_C2", "C4_C3", "C4_C4", "C4_C5", "C4_01_1", "C4_01_2", "C4_01_3",
                              "C4_01_4", "C4_01_5", "C4_01_6"})
            expected += QByteArray(k) + "=0\r\n";
        const QByteArray scratch = scratchFile(design, 5, 20);
        const qsizetype from = scratch.indexOf("[SET1]");
        expected += scratch.mid(from, scratch.indexOf("[SET4]") - from);
        QCOMPARE(readIni(), expected);
    }

    void undecodableFolderWrittenBackAsRead() {
        const QByteArray line =
            "C1_03=/media/\x81\x20"
            "disk\xff\xfd/out\r\n";
        writeIni("[SET1]\r\n" + line);
        auto form = openForm();
        QVERIFY(form->close());
        QVERIFY2(readIni().contains("[SET1]\r\n" + line), readIni().constData());
    }

    // Started from a folder whose name is no UTF-8, the program still finds its
    // files there. A copy of this test program runs from such a folder, as a child
    // that does the part below.
    void programFolderOfAnyBytes() {
        const QByteArray childFolder = qgetenv("QV_CHILD_IN_FOLDER");
        if (!childFolder.isEmpty()) {
            TMainForm1 form;
            QCOMPARE(QByteArray::fromStdString(form.ProgramFolder), childFolder);
            QCOMPARE(form.C2_00->count(), 2);
            activate(form);
            QCOMPARE(form.x(), 33);
            form.move(44, form.y());
            QVERIFY(form.close());
            return;
        }
        const std::string folder =
            QFile::encodeName(dir_->path()).toStdString() + "/odd \xff\xfe\x81 folder";
        const std::string copy = folder + "/settings_file_test";
        QCOMPARE(::mkdir(folder.c_str(), 0700), 0);
        // QTemporaryDir cannot name what is in this folder; it goes by its bytes.
        const auto removeFolder = qScopeGuard([&] { std::filesystem::remove_all(folder); });
        const QByteArray self = QFile::encodeName(QCoreApplication::applicationFilePath());
        if (::link(self.constData(), copy.c_str()) != 0)
            QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(),
                                dir_->path() + QStringLiteral("/copy")) &&
                    ::rename(QFile::encodeName(dir_->path() + QStringLiteral("/copy")).constData(),
                             copy.c_str()) == 0);
        std::ofstream(folder + "/profile.txt", std::ios::binary) << "A,AVI\r\n";
        std::ofstream(folder + "/Quorvane_R.ini", std::ios::binary) << "[SET]\r\nM_LEFT=33\r\n";

        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            ::setenv("QV_CHILD_IN_FOLDER", folder.c_str(), 1);
            ::execl(copy.c_str(), copy.c_str(), "programFolderOfAnyBytes",
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
        std::ifstream in(folder + "/Quorvane_R.ini", std::ios::binary);
        const std::string ini{std::istreambuf_iterator<char>(in), {}};
        QVERIFY2(
            ini.starts_with("[SET]\r\nM_LEFT=44\r\n") && ini.find("[SET4]") != std::string::npos,
            ini.c_str());
    }

    void unwritableFileStillCloses_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("folder at the file's path") << "folder";
        QTest::newRow("program folder gone") << "gone";
        QTest::newRow("FIFO at the file's path from the start") << "fifo";
    }

    void unwritableFileStillCloses() {
        QFETCH(QString, how);
        // A FIFO is never waited on: the start goes on with the defaults.
        if (how == QStringLiteral("fifo"))
            QCOMPARE(::mkfifo(QFile::encodeName(iniPath()).constData(), 0600), 0);
        auto form = openForm();
        QCOMPARE(form->x(), 20);
        if (how == QStringLiteral("folder"))
            QVERIFY(QDir().mkdir(iniPath()));
        else if (how == QStringLiteral("gone"))
            QVERIFY(QDir(dir_->path()).removeRecursively());
        QVERIFY(form->close());
        QVERIFY(!form->isVisible());
        QCOMPARE(qv::ui::testing::texts(qv::ui::testing::Record::Error),
                 QStringList{QString::fromStdString(form->settingsFilePath()) +
                             QStringLiteral(" に書き込めません.")});
        if (how != QStringLiteral("gone")) {
            QCOMPARE(QFileInfo(iniPath()).isDir(), how == QStringLiteral("folder"));
            QVERIFY(QFileInfo(iniPath()).exists());
            QStringList left = QDir(dir_->path())
                                   .entryList(QDir::NoDotAndDotDot | QDir::AllEntries |
                                              QDir::Hidden | QDir::System);
            left.sort();
            QCOMPARE(left, QStringList({QStringLiteral("Quorvane_R.ini"),
                                        QStringLiteral("profile.txt")}));  // no temporary file left
        }
    }
};

QTEST_MAIN(SettingsFileTest)
#include "settings_file_test.moc"
