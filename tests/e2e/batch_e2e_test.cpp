// Go! on real media: three generated clips through the program folder's encoder.
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QListWidget>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>

#include "run/window/progress_form.h"
#include "settings/catalogues.h"
#include "settings/column_split.h"
#include "ui/app/dialogs.h"
#include "ui/main_window/TMainForm1.h"
#include "ui/widgets/TLMDBrowseEdit.h"
#include "ui/widgets/TLMDSpinEdit.h"
#include "ui/widgets/TMultiColComboBox.h"
#include "ui/widgets/TShadowLabel.h"
#include "ui/widgets/TdxfColorButton.h"
#include "ui/widgets/TdxfProgressBar.h"

using Record = qv::ui::testing::Record;

namespace {

// The row whose value column is exactly `value`.
int rowWithValue(qv::CatalogueId id, const char* value) {
    const auto rows = qv::catalogue(id);
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (qv::columnOf(rows[i], 0) == value) return static_cast<int>(i);
    return -1;
}

QString run(const QString& program, const QStringList& args, int* exitCode = nullptr) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setStandardInputFile(QProcess::nullDevice());
    p.start(program, args);
    p.waitForFinished(120000);
    if (exitCode) *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAll());
}

timespec mtimeOf(const QString& path) {
    struct stat st {};
    if (::stat(path.toLocal8Bit().constData(), &st) != 0) return {-1, -1};
    return st.st_mtim;
}

}  // namespace

class BatchE2ETest : public QObject {
    Q_OBJECT
    QTemporaryDir programDir_, work_;

private slots:
    void initTestCase() {
        qv::ui::testing::enable();
        QVERIFY(programDir_.isValid() && work_.isValid());
        const QString shipped = qEnvironmentVariable("QV_PROGRAM_DIR");
        QVERIFY2(!shipped.isEmpty(), "QV_PROGRAM_DIR is not set");
        QVERIFY(QFile::link(QDir(shipped).filePath(QStringLiteral("ffmpeg")),
                            programDir_.filePath(QStringLiteral("ffmpeg"))));
        QFile profile(programDir_.filePath(QStringLiteral("profile.txt")));
        QVERIFY(profile.open(QIODevice::WriteOnly));
    }

    void workedExampleOverThreeClips() {
        const QStringList names = {"clip1.avi", "clip2.mkv", "clip3.mpg"};
        const QStringList codecs[] = {{"-c:v", "mpeg4", "-c:a", "mp2"},
                                      {"-c:v", "mpeg4", "-c:a", "mp2"},
                                      {"-c:v", "mpeg1video", "-c:a", "mp2"}};
        for (int i = 0; i < names.size(); ++i) {
            int rc = 0;
            const QString out = run(QStringLiteral("/usr/bin/ffmpeg"),
                                    QStringList{"-hide_banner", "-loglevel", "error", "-y",
                                                "-f", "lavfi", "-i", "testsrc=size=160x120:rate=25:duration=6",
                                                "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=6"}
                                        + codecs[i] + QStringList{"-shortest", work_.filePath(names[i])},
                                    &rc);
            QVERIFY2(rc == 0, qPrintable(out));
            // Distinct odd times with nanoseconds: what the results must carry.
            const timespec t[2] = {{1600000001 + i * 3, 111111111L * (i + 1)},
                                   {1600000001 + i * 3, 111111111L * (i + 1)}};
            QCOMPARE(::utimensat(AT_FDCWD, work_.filePath(names[i]).toLocal8Bit().constData(), t, 0), 0);
        }

        TMainForm1 w(programDir_.path());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        for (const QString& n : names) w.AddSourcePath(work_.filePath(n).toStdString());
        QCOMPARE(w.jobCount(), 3);

        // The first worked example, with the range moved inside these short clips.
        const QString outDir = work_.filePath(QStringLiteral("Out"));
        using qv::CatalogueId;
        const struct {
            TMultiColComboBox* box;
            CatalogueId id;
            const char* value;
        } rows[] = {{w.C2_01, CatalogueId::C2_01, "MP4"},     {w.C2_02, CatalogueId::C2_02, "320x240"},
                    {w.C2_03, CatalogueId::C2_03, "4:3"},     {w.C2_04, CatalogueId::C2_04, "MPEG4"},
                    {w.C2_05, CatalogueId::C2_05, "768kbps"}, {w.C2_06, CatalogueId::C2_06, "29.97fps"},
                    {w.C3_01, CatalogueId::C3_01, "LIBFAAC"}, {w.C3_02, CatalogueId::C3_02, "128kbps"},
                    {w.C3_03, CatalogueId::C3_03, "44100Hz"}, {w.C3_04, CatalogueId::C3_04, "2"}};
        for (const auto& r : rows) {
            const int row = rowWithValue(r.id, r.value);
            QVERIFY2(row > 0, r.value);
            r.box->setItemIndex(row);
        }
        w.C3_05->setItemIndex(0);
        w.C3_06->setItemIndex(0);
        w.C1_02->setItemIndex(1);
        w.C1_03->setPath(outDir);
        w.C2_07_1->setValue(8);
        for (TLMDSpinEdit* e : {w.C2_07_2, w.C2_07_3, w.C2_07_4}) e->setValue(0);
        w.CheckBox1->setChecked(false);
        w.CheckBox2->setChecked(true);
        w.CheckBox3->setChecked(false);
        w.CheckBox4->setChecked(false);
        w.CheckBox5->setChecked(true);
        const int range[6] = {0, 0, 1, 0, 0, 2};
        TLMDSpinEdit* rangeEdits[6] = {w.C4_01_1, w.C4_01_2, w.C4_01_3, w.C4_01_4, w.C4_01_5, w.C4_01_6};
        for (int i = 0; i < 6; ++i) rangeEdits[i]->setValue(range[i]);

        QStringList bars;
        bool picture = false;
        QTimer sampler;
        connect(&sampler, &QTimer::timeout, this, [&] {
            if (!ProgressForm1) return;
            const QString text = ProgressForm1->ProgressBar1->text();
            if (bars.isEmpty() || bars.back() != text) bars << text;
            picture = picture || ProgressForm1->Image1->hasPicture();
        });
        sampler.start(10);
        QTest::mouseClick(w.CButton10, Qt::LeftButton, {}, w.CButton10->rect().center());
        sampler.stop();

        QVERIFY2(qv::ui::testing::texts(Record::Message).isEmpty(),
                 qPrintable(qv::ui::testing::texts(Record::Message).join('\n')));
        QCOMPARE(w.ShadowLabel1->Caption(), QStringLiteral("変換処理は終了しました。"));
        QCOMPARE(bars, (QStringList{"0 %", "33 %", "67 %"}));
        QVERIFY(picture);  // the encoder's thumbnail, decoded and shown
        QVERIFY(!QFile::exists(programDir_.filePath(QStringLiteral("_thumb.jpg"))));
        QVERIFY(w.isEnabled());

        for (int i = 0; i < names.size(); ++i) {
            const QString result = QDir(outDir).filePath(QFileInfo(names[i]).completeBaseName() + ".mp4");
            int rc = 0;
            const QString json = run(QStringLiteral("ffprobe"),
                                     {"-v", "error", "-of", "json", "-show_streams", result}, &rc);
            QVERIFY2(rc == 0, qPrintable(result + ": " + json));
            const QJsonArray streams = QJsonDocument::fromJson(json.toUtf8()).object()["streams"].toArray();
            bool video = false, audio = false;
            for (const auto& s : streams) {
                const QJsonObject o = s.toObject();
                if (o["codec_type"] == "video") {
                    video = true;
                    QCOMPARE(o["codec_name"].toString(), QStringLiteral("mpeg4"));
                    QCOMPARE(o["width"].toInt(), 320);
                    QCOMPARE(o["height"].toInt(), 240);
                }
                if (o["codec_type"] == "audio") audio = true;
            }
            QVERIFY(video && audio);
            const timespec source = mtimeOf(work_.filePath(names[i]));
            const timespec made = mtimeOf(result);
            QCOMPARE(made.tv_sec, source.tv_sec);
            QCOMPARE(made.tv_nsec, source.tv_nsec);
        }
    }
};

QTEST_MAIN(BatchE2ETest)
#include "batch_e2e_test.moc"
