// Go! on real media: three generated clips through the program folder's encoder.
#include <fcntl.h>
#include <sys/stat.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <algorithm>
#include <functional>

#include "settings/catalogues.h"
#include "support/mp4_qvga_rows.h"
#include "support/program_folder.h"
#include "support/progress_window.h"
#include "support/screen.h"
#include "ui/main_window/TMainForm1.h"
#include "ui/progress/progress_form.h"
#include "ui/services/dialogs.h"
#include "ui/widgets/TImage.h"
#include "ui/widgets/TLMDBrowseEdit.h"
#include "ui/widgets/TLMDSpinEdit.h"
#include "ui/widgets/TMultiColComboBox.h"
#include "ui/widgets/TShadowLabel.h"
#include "ui/widgets/TShape.h"
#include "ui/widgets/TdxfColorButton.h"
#include "ui/widgets/TdxfProgressBar.h"

using Record = qv::ui::testing::Record;

using qvtest::mtimeOf;

namespace {
// Calls back on every paint of the widgets it watches.
class PaintWatch : public QObject {
  public:
    explicit PaintWatch(std::function<void()> onPaint) : onPaint_(std::move(onPaint)) {}

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && qvtest::progressWindow()) onPaint_();
        return false;
    }

  private:
    std::function<void()> onPaint_;
};
}  // namespace

class BatchE2ETest : public QObject {
    Q_OBJECT
    qvtest::ProgramFolder programDir_;
    QTemporaryDir work_;
    QTemporaryDir state_;  // the run's log goes here, not into the home folder

  private slots:
    void initTestCase() {
        qv::ui::testing::enable();
        QVERIFY(programDir_.isValid() && work_.isValid() && state_.isValid());
        qputenv("XDG_STATE_HOME", QFile::encodeName(state_.path()));
        const QString shipped = qEnvironmentVariable("QV_PROGRAM_DIR");
        QVERIFY2(!shipped.isEmpty(), "QV_PROGRAM_DIR is not set");
        QVERIFY(programDir_.linkEncoder(QDir(shipped).filePath(QStringLiteral("ffmpeg"))));
    }

    void fullSettingsOverThreeClips() {
        const QStringList names = {QStringLiteral("clip1.avi"), QStringLiteral("clip2.mkv"),
                                   QStringLiteral("clip3.mpg")};
        const QStringList codecs[] = {{QStringLiteral("-c:v"), QStringLiteral("mpeg4"),
                                       QStringLiteral("-c:a"), QStringLiteral("mp2")},
                                      {QStringLiteral("-c:v"), QStringLiteral("mpeg4"),
                                       QStringLiteral("-c:a"), QStringLiteral("mp2")},
                                      {QStringLiteral("-c:v"), QStringLiteral("mpeg1video"),
                                       QStringLiteral("-c:a"), QStringLiteral("mp2")}};
        for (int i = 0; i < names.size(); ++i) {
            QString out;
            QVERIFY2(qvtest::makeClip(
                         work_.filePath(names[i]),
                         {QStringLiteral("testsrc=size=160x120:rate=25:duration=6"),
                          QStringLiteral("sine=frequency=440:sample_rate=44100:duration=6")},
                         codecs[i], &out),
                     qPrintable(out));
            // Distinct odd times with nanoseconds: what the results must carry.
            const timespec t[2] = {{1600000001 + i * 3, 111111111L * (i + 1)},
                                   {1600000001 + i * 3, 111111111L * (i + 1)}};
            QCOMPARE(
                ::utimensat(AT_FDCWD, work_.filePath(names[i]).toLocal8Bit().constData(), t, 0), 0);
        }

        TMainForm1 w(programDir_.path());
        QVERIFY(qvtest::showExposed(&w));
        for (const QString& n : names) w.AddSourcePath(work_.filePath(n).toStdString());
        QCOMPARE(w.jobCount(), 3);

        // MP4 at 320x240 with AAC sound, crop, threads and a range moved inside these short clips.
        const QString outDir = work_.filePath(QStringLiteral("Out"));
        const QString missing = qvtest::chooseMp4QvgaRows(w);
        QVERIFY2(missing.isEmpty(), qPrintable(missing));
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
        TLMDSpinEdit* rangeEdits[6] = {w.C4_01_1, w.C4_01_2, w.C4_01_3,
                                       w.C4_01_4, w.C4_01_5, w.C4_01_6};
        for (int i = 0; i < 6; ++i) rangeEdits[i]->setValue(range[i]);

        QStringList bars;
        bool picture = false;
        // The picture may come as the pass ends: what counts is that it was painted.
        PaintWatch paints(
            [&picture] { picture = picture || qvtest::progressWindow()->Image1->hasPicture(); });
        QTimer sampler;
        connect(&sampler, &QTimer::timeout, this, [&] {
            TProgressForm1* form = qvtest::progressWindow();
            if (!form) return;
            const QString text = form->ProgressBar1->text();
            if (bars.isEmpty() || bars.back() != text) bars << text;
            form->Image1->installEventFilter(&paints);  // once per object, however often
        });
        sampler.start(10);
        QTest::mouseClick(w.CButton10, Qt::LeftButton, {}, w.CButton10->rect().center());
        sampler.stop();

        QVERIFY2(qv::ui::testing::texts(Record::Message).isEmpty(),
                 qPrintable(qv::ui::testing::texts(Record::Message).join(QLatin1Char('\n'))));
        QCOMPARE(w.ShadowLabel1->Caption(), QStringLiteral("変換処理は終了しました。"));
        // Each job starts at the jobs done so far; the encoder's reports move the bar on
        // within a file, never back and never to 100 % while the batch runs.
        for (const QString& start :
             {QStringLiteral("0 %"), QStringLiteral("33 %"), QStringLiteral("67 %")})
            QVERIFY2(bars.contains(start), qPrintable(bars.join(QLatin1Char(','))));
        QCOMPARE(bars.front(), QStringLiteral("0 %"));
        for (qsizetype i = 1; i < bars.size(); ++i)
            QVERIFY2(bars[i].chopped(2).toInt() > bars[i - 1].chopped(2).toInt() &&
                         bars[i].chopped(2).toInt() < 100,
                     qPrintable(bars.join(QLatin1Char(','))));
        // The thumbnail has one second beside the conversion; a busy machine may miss it,
        // so its display is checked with a stand-in encoder (batch_run_test) instead.
        if (!picture) qWarning("no thumbnail within its second");
        QVERIFY(!QFile::exists(programDir_.filePath(QStringLiteral("_thumb.jpg"))));
        QVERIFY(w.isEnabled());

        for (int i = 0; i < names.size(); ++i) {
            const QString result = QDir(outDir).filePath(QFileInfo(names[i]).completeBaseName() +
                                                         QStringLiteral(".mp4"));
            const qvtest::Probe p = qvtest::probe(result);
            QVERIFY2(p.exitCode == 0, qPrintable(result + QStringLiteral(": ") + p.output));
            QVERIFY(!p.video.isEmpty() && !p.audio.isEmpty());
            QCOMPARE(p.video[u"codec_name"].toString(), QStringLiteral("mpeg4"));
            QCOMPARE(p.video[u"width"].toInt(), 320);
            QCOMPARE(p.video[u"height"].toInt(), 240);
            const timespec source = mtimeOf(work_.filePath(names[i]));
            const timespec made = mtimeOf(result);
            QCOMPARE(made.tv_sec, source.tv_sec);
            QCOMPARE(made.tv_nsec, source.tv_nsec);
        }
    }

    // Three at once over six clips: every result decodes to its end, carries its source's
    // time, and the end notice has nothing to say.
    void sixClipsThreeAtOnce() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QStringList names;
        for (int i = 0; i < 6; ++i) {
            names << QStringLiteral("par%1.avi").arg(i);
            QString out;
            QVERIFY2(qvtest::makeClip(
                         dir.filePath(names.back()),
                         {QStringLiteral("testsrc=size=160x120:rate=25:duration=2"),
                          QStringLiteral("sine=frequency=440:sample_rate=44100:duration=2")},
                         {QStringLiteral("-c:v"), QStringLiteral("mpeg4"), QStringLiteral("-c:a"),
                          QStringLiteral("mp2")},
                         &out),
                     qPrintable(out));
            const timespec t[2] = {{1600000100 + i * 7, 123456789L + i},
                                   {1600000100 + i * 7, 123456789L + i}};
            QCOMPARE(
                ::utimensat(AT_FDCWD, dir.filePath(names.back()).toLocal8Bit().constData(), t, 0),
                0);
        }
        qv::ui::testing::clear();
        TMainForm1 w(programDir_.path());
        QVERIFY(qvtest::showExposed(&w));
        for (const QString& n : names) w.AddSourcePath(dir.filePath(n).toStdString());
        const QString outDir = dir.filePath(QStringLiteral("Out"));
        const QString missing = qvtest::chooseMp4QvgaRows(w);
        QVERIFY2(missing.isEmpty(), qPrintable(missing));
        w.C3_05->setItemIndex(0);
        w.C3_06->setItemIndex(0);
        w.C1_02->setItemIndex(1);
        w.C1_03->setPath(outDir);
        for (QCheckBox* b : {w.CheckBox1, w.CheckBox2, w.CheckBox3, w.CheckBox4, w.CheckBox5})
            b->setChecked(false);
        w.Jobs = 3;
        int mostLines = 0;
        QTimer sampler;
        connect(&sampler, &QTimer::timeout, this, [&] {
            if (TProgressForm1* form = qvtest::progressWindow())
                mostLines = std::max(mostLines, form->lineCount());
        });
        sampler.start(10);
        QTest::mouseClick(w.CButton10, Qt::LeftButton, {}, w.CButton10->rect().center());
        sampler.stop();

        QVERIFY2(qv::ui::testing::texts(Record::Message).isEmpty(),
                 qPrintable(qv::ui::testing::texts(Record::Message).join(QLatin1Char('\n'))));
        QCOMPARE(w.ShadowLabel1->Caption(), QStringLiteral("変換処理は終了しました。"));
        QCOMPARE(mostLines, 3);
        for (const QString& n : names) {
            const QString result =
                QDir(outDir).filePath(QFileInfo(n).completeBaseName() + QStringLiteral(".mp4"));
            QProcess decode;
            decode.start(QStringLiteral("/usr/bin/ffmpeg"),
                         {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-nostdin"),
                          QStringLiteral("-i"), result, QStringLiteral("-f"),
                          QStringLiteral("null"), QStringLiteral("-")});
            QVERIFY(decode.waitForFinished(60000));
            const QByteArray said = decode.readAllStandardError() + decode.readAllStandardOutput();
            QVERIFY2(decode.exitCode() == 0 && said.trimmed().isEmpty(),
                     qPrintable(result + QStringLiteral(": ") + QString::fromUtf8(said)));
            const timespec source = mtimeOf(dir.filePath(n));
            const timespec made = mtimeOf(result);
            QCOMPARE(made.tv_sec, source.tv_sec);
            QCOMPARE(made.tv_nsec, source.tv_nsec);
        }
    }

    void failedJobKeepsThePreviousResult() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString good = dir.filePath(QStringLiteral("good.avi"));
        const QString bad = dir.filePath(QStringLiteral("bad.mkv"));
        QString out;
        QVERIFY2(
            qvtest::makeClip(good,
                             {QStringLiteral("testsrc=size=160x120:rate=25:duration=1"),
                              QStringLiteral("sine=frequency=440:sample_rate=44100:duration=1")},
                             {QStringLiteral("-c:v"), QStringLiteral("mpeg4"),
                              QStringLiteral("-c:a"), QStringLiteral("mp2")},
                             &out),
            qPrintable(out));
        QVERIFY(qvtest::writeFile(bad, "not a video at all"));
        // bad.mkv's earlier result: a good clip that a failed run must leave as it is.
        const QString badResult = dir.filePath(QStringLiteral("bad.mp4"));
        QVERIFY(QFile::copy(good, badResult));
        const QByteArray before = qvtest::readFile(badResult);
        const timespec beforeTime = mtimeOf(badResult);

        qv::ui::testing::clear();
        TMainForm1 w(programDir_.path());
        QVERIFY(qvtest::showExposed(&w));
        w.AddSourcePath(bad.toStdString());
        w.AddSourcePath(good.toStdString());
        const QString missing = qvtest::chooseMp4QvgaRows(w);
        QVERIFY2(missing.isEmpty(), qPrintable(missing));
        w.C3_05->setItemIndex(0);
        w.C3_06->setItemIndex(0);
        w.C1_02->setItemIndex(0);
        for (QCheckBox* b : {w.CheckBox1, w.CheckBox3, w.CheckBox4, w.CheckBox5})
            b->setChecked(false);
        QTest::mouseClick(w.CButton10, Qt::LeftButton, {}, w.CButton10->rect().center());

        const QStringList messages = qv::ui::testing::texts(Record::Message);
        QCOMPARE(messages.size(), 1);
        const QStringList lines = messages.front().split(QLatin1Char('\n'));
        QVERIFY2(lines.size() == 5 && lines[2].startsWith(QStringLiteral("bad.mkv: ")) &&
                     lines[2].size() > 9 && lines[4].startsWith(QStringLiteral("詳しくは ")),
                 qPrintable(messages.front()));
        QCOMPARE(qvtest::readFile(badResult), before);
        QCOMPARE(mtimeOf(badResult).tv_sec, beforeTime.tv_sec);
        QCOMPARE(mtimeOf(badResult).tv_nsec, beforeTime.tv_nsec);
        QCOMPARE(QDir(dir.path()).entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden),
                 QStringList());

        const QString made = dir.filePath(QStringLiteral("good.mp4"));
        const qvtest::Probe p = qvtest::probe(made);
        QVERIFY2(p.exitCode == 0, qPrintable(p.output));
        int rc = -1;
        const QString decode =
            qvtest::run(QStringLiteral("/usr/bin/ffmpeg"),
                        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), made,
                         QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")},
                        &rc);
        QCOMPARE(rc, 0);
        QCOMPARE(decode, QString());
        QVERIFY(qAbs(p.duration - 1.0) < 0.2);
    }
};

QTEST_MAIN(BatchE2ETest)
#include "batch_e2e_test.moc"
