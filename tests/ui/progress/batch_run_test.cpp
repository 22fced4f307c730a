#include <cstdio>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QListWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>

#include "ui/progress/progress_form.h"
#include "settings/catalogues.h"
#include "support/program_folder.h"
#include "support/screen.h"
#include "ui/services/dialogs.h"
#include "ui/main_window/TMainForm1.h"
#include "ui/widgets/TLMDBrowseEdit.h"
#include "ui/widgets/TMultiColComboBox.h"
#include "ui/widgets/TImage.h"
#include "ui/widgets/TShape.h"
#include "ui/widgets/TShadowLabel.h"
#include "ui/widgets/TdxfColorButton.h"
#include "ui/widgets/TdxfProgressBar.h"

using Record = qv::ui::testing::Record;

namespace {

const QString kNotice = QStringLiteral(
    "変換できない非対応ファイルが含まれていました。保存先に指定したフォルダで変換結果をご確認下さい。");
const QString kAbort = QStringLiteral("原因が特定できないエラーが生じました。処理を中止します。");
const QString kCancelFailed = QStringLiteral("変換を中止できませんでした。");
const QString kFinished = QStringLiteral("変換処理は終了しました。");

// Stands in for the encoder. Every call is logged (one line, arguments tab-separated);
// the files thumb_mode and conv_mode in its folder choose what it does.
const char* const kStandIn = R"SH(#!/bin/sh
dir=$(dirname "$0")
for last; do :; done
kind=CONV
case " $* " in *" image2 "*) kind=THUMB ;; esac
{ printf '%s' "$kind"; for a; do printf '\t%s' "$a"; done; printf '\n'; } >> "$dir/calls.log"
if [ "$kind" = THUMB ]; then
  mode=$(cat "$dir/thumb_mode" 2>/dev/null || echo valid)
  # like the encoder without -y: an existing picture is left as it is
  [ -e "$last" ] && exit 1
  case "$mode" in
    valid) cp "$dir/valid.jpg" "$last" ;;
    broken) head -c 200 "$dir/valid.jpg" > "$last" ;;
    hang) head -c 200 "$dir/valid.jpg" > "$last"; exec sleep 30 ;;
  esac
  exit 0
fi
mode=$(cat "$dir/conv_mode" 2>/dev/null || echo ok)
[ -e "$last" ] && printf 'EXISTED\t%s\n' "$last" >> "$dir/calls.log"
case "$mode" in
  ok) printf 'part1' > "$last"; sleep 0.2; printf 'part2' >> "$last"; exit 0 ;;
  fail) printf 'x' > "$last"; exit 1 ;;
  hang_once)
    if [ ! -e "$dir/hung" ]; then
      : > "$dir/hung"; printf 'part' > "$last"; : > "$dir/written"; exec sleep 30
    fi
    printf 'part1' > "$last"; sleep 0.2; printf 'part2' >> "$last"; exit 0 ;;
  ended)
    printf 'done' > "$last"; : > "$dir/waiting"
    while [ ! -e "$dir/go" ]; do sleep 0.01; done
    exit 0 ;;
esac
exit 0
)SH";

int rowOf(qv::CatalogueId id, const char* prefix) {
    const auto rows = qv::catalogue(id);
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i].substr(0, std::strlen(prefix)) == prefix) return static_cast<int>(i);
    return -1;
}

using qvtest::isZombie;
using qvtest::mtimeOf;
using qvtest::readFile;

void writeFile(const QString& path, const QByteArray& bytes) {
    QVERIFY(qvtest::writeFile(path, bytes));
}

bool setMtime(const QString& path, timespec when) {
    const timespec times[2] = {when, when};
    return ::utimensat(AT_FDCWD, path.toLocal8Bit().constData(), times, 0) == 0;
}

struct Sample {
    QString bar, names;
    bool picture = false;
    QColor centre;
};

}  // namespace

class BatchRunTest : public QObject {
    Q_OBJECT
private:
    std::unique_ptr<qvtest::ProgramFolder> programDir_;
    std::unique_ptr<QTemporaryDir> work_;
    std::unique_ptr<TMainForm1> w_;
    QList<Sample> samples_;
    QTimer sampler_;

    QString prog(const QString& name) const { return programDir_->filePath(name); }
    QString work(const QString& name) const { return work_->filePath(name); }

    void setModes(const QString& thumb, const QString& conv) {
        writeFile(prog(QStringLiteral("thumb_mode")), thumb.toUtf8());
        writeFile(prog(QStringLiteral("conv_mode")), conv.toUtf8());
    }

    // Calls of the stand-in, each as its list of fields (kind first).
    QList<QStringList> calls(const QString& kind = {}) const {
        QList<QStringList> out;
        const QStringList lines = QString::fromUtf8(readFile(prog(QStringLiteral("calls.log"))))
                                      .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (const QString& line : lines) {
            const QStringList fields = line.split(QLatin1Char('\t'));
            if (kind.isEmpty() || fields.front() == kind) out << fields;
        }
        return out;
    }

    QString addSource(const QString& name, const QByteArray& bytes = "SOURCE") {
        const QString path = work(name);
        writeFile(path, bytes);
        w_->AddSourcePath(path.toStdString());
        return path;
    }

    // Row 0 everywhere: the result takes the source's folder and extension.
    void resetSettings() {
        for (TMultiColComboBox* box : {w_->C1_02, w_->C2_01, w_->C2_02, w_->C2_03, w_->C2_04,
                                       w_->C2_05, w_->C2_06, w_->C3_01, w_->C3_02, w_->C3_03,
                                       w_->C3_04, w_->C3_05, w_->C3_06})
            box->setItemIndex(0);
        for (QCheckBox* box : {w_->CheckBox1, w_->CheckBox2, w_->CheckBox3, w_->CheckBox4, w_->CheckBox5})
            box->setChecked(false);
        w_->C1_03->setPath(QString());
    }

    void click(QWidget* button) {
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    }
    void go() { click(w_->CButton10); }

    // Runs `action` once, during a wait of the run, as soon as `ready` holds.
    void duringRun(std::function<bool()> ready, std::function<void()> action) {
        auto* t = new QTimer(this);
        t->setInterval(5);
        connect(t, &QTimer::timeout, this, [t, ready, action] {
            if (!ProgressForm1 || !ready()) return;
            t->stop();
            t->deleteLater();
            action();
        });
        t->start();
    }
    void clickCancel() { click(ProgressForm1->CButton1); }

    QStringList recorded(Record::Kind kind) const { return qv::ui::testing::texts(kind); }

    // After any end of a run: no progress window, and the main window takes clicks.
    void expectAcceptsInput() {
        QVERIFY(!ProgressForm1);
        QVERIFY(w_->isEnabled());
        QVERIFY(!w_->PreviewMode);
        w_->ListBox1->setCurrentRow(0);
        const int opens = recorded(Record::Open).size();
        click(w_->CButton13);
        QCOMPARE(recorded(Record::Open).size(), opens + (w_->jobCount() > 0 ? 1 : 0));
    }

private slots:
    void initTestCase() {
        qv::ui::testing::enable();
        connect(&sampler_, &QTimer::timeout, this, [this] {
            if (!ProgressForm1) return;
            Sample s{ProgressForm1->ProgressBar1->text(), ProgressForm1->Label1->Caption(),
                     ProgressForm1->Image1->hasPicture(), {}};
            if (s.picture) s.centre = ProgressForm1->Image1->picture().pixelColor(40, 30);
            if (samples_.isEmpty() || samples_.back().bar != s.bar || samples_.back().names != s.names ||
                samples_.back().picture != s.picture)
                samples_ << s;
        });
        sampler_.setInterval(10);
    }

    void init() {
        qv::ui::testing::clear();
        samples_.clear();
        programDir_ = std::make_unique<qvtest::ProgramFolder>();
        work_ = std::make_unique<QTemporaryDir>();
        QVERIFY(programDir_->isValid() && work_->isValid());
        QVERIFY(programDir_->writeStandIn(kStandIn));
        QImage red(80, 60, QImage::Format_RGB32);
        red.fill(Qt::red);
        QVERIFY(red.save(prog(QStringLiteral("valid.jpg")), "JPG"));
        setModes(QStringLiteral("valid"), QStringLiteral("ok"));

        w_ = std::make_unique<TMainForm1>(programDir_->path());
        QVERIFY(qvtest::showExposed(w_.get()));
        resetSettings();
        sampler_.start();
    }

    void cleanup() {
        sampler_.stop();
        w_.reset();
    }

    void twoPassJob() {
        addSource(QStringLiteral("a.wmv"));
        w_->C2_01->setItemIndex(rowOf(qv::CatalogueId::C2_01, "AVI,"));
        w_->CheckBox1->setChecked(true);
        go();
        QStringList kinds;
        for (const auto& c : calls()) kinds << c.front();
        // Pass 2 finds pass 1's result and writes over it.
        QCOMPARE(kinds, (QStringList{"THUMB", "CONV", "THUMB", "CONV", "EXISTED"}));
        const auto conv = calls(QStringLiteral("CONV"));
        QVERIFY(conv[0].join(' ').contains(QStringLiteral("-pass 1 -an")));
        QVERIFY(conv[1].join(' ').contains(QStringLiteral("-pass 2")));
        QCOMPARE(conv[0].back(), work(QStringLiteral("a.avi")));
        QCOMPARE(conv[1].back(), work(QStringLiteral("a.avi")));
        QCOMPARE(QDir(work_->path()).entryList(QDir::Files), (QStringList{"a.avi", "a.wmv"}));
        QVERIFY(!samples_.isEmpty());
        for (const Sample& s : samples_) QCOMPARE(s.bar, QStringLiteral("0 %"));
        QVERIFY(recorded(Record::Message).isEmpty());
        expectAcceptsInput();
    }

    void naming_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("container");  // prefix of the C2_01 row, empty for row 0
        QTest::addColumn<QString>("folder");     // C1_03 below the work folder; empty: mode row 0
        QTest::addColumn<QString>("expected");   // below the work folder
        QTest::newRow("AVI container beside the source")
            << "in/a.wmv" << "AVI," << "" << "in/a.avi";
        QTest::newRow("folder that does not exist yet")
            << "in/a.wmv" << "" << "out/new/deeper" << "out/new/deeper/a.wmv";
        QTest::newRow("folder text with trailing separator")
            << "in/a.wmv" << "MP4," << "out/" << "out/a.mp4";
        QTest::newRow("source without extension") << "in/clip" << "MP4," << "" << "in/clip.mp4";
        QTest::newRow("only the last dot counts") << "in/a.b.wmv" << "3GP," << "" << "in/a.b.3gp";
    }
    void naming() {
        QFETCH(QString, source);
        QFETCH(QString, container);
        QFETCH(QString, folder);
        QFETCH(QString, expected);
        addSource(source);
        if (!container.isEmpty()) {
            const int row = rowOf(qv::CatalogueId::C2_01, container.toUtf8().constData());
            QVERIFY(row > 0);
            w_->C2_01->setItemIndex(row);
        }
        if (!folder.isEmpty()) {
            w_->C1_02->setItemIndex(1);
            w_->C1_03->setPath(work(folder));
        }
        go();
        const auto conv = calls(QStringLiteral("CONV"));
        QCOMPARE(conv.size(), 1);
        QCOMPARE(conv[0].back(), work(expected));
        QCOMPARE(readFile(work(expected)), QByteArray("part1part2"));
        QCOMPARE(readFile(work(source)), QByteArray("SOURCE"));
        QVERIFY(!samples_.isEmpty());
        QCOMPARE(samples_.back().names,
                 QFileInfo(source).fileName() + QStringLiteral(" -> ") + QFileInfo(expected).fileName());
        QCOMPARE(w_->DestPath, work(expected).toStdString());
        QCOMPARE(w_->QuotedDestPath, "\"" + work(expected).toStdString() + "\"");
        QCOMPARE(w_->ShadowLabel1->Caption(), kFinished);
        QVERIFY(recorded(Record::Message).isEmpty());
        expectAcceptsInput();
    }

    void progressPerJob() {
        for (const char* n : {"a.avi", "b.avi", "c.avi"}) addSource(QString::fromLatin1(n));
        w_->C2_01->setItemIndex(rowOf(qv::CatalogueId::C2_01, "MP4,"));
        if (!qvtest::screenshotDir().isEmpty()) {
            duringRun([] { return ProgressForm1->ProgressBar1->Position() == 1 &&
                                  ProgressForm1->Image1->hasPicture(); },
                      [] {
                          qvtest::saveScreenshot(ProgressForm1,
                                                 QStringLiteral("progress_form_running.png"));
                      });
        }
        go();
        QStringList bars, names;
        for (const Sample& s : samples_) {
            if (!bars.contains(s.bar)) bars << s.bar;
            if (!names.contains(s.names)) names << s.names;
            // A picture for every pass, the one the encoder just made.
            QVERIFY(s.picture);
            QVERIFY(s.centre.red() > 200 && s.centre.green() < 60);
        }
        QCOMPARE(bars, (QStringList{"0 %", "33 %", "67 %"}));
        QCOMPARE(names, (QStringList{"a.avi -> a.mp4", "b.avi -> b.mp4", "c.avi -> c.mp4"}));
        // The picture is deleted once shown.
        QVERIFY(!QFile::exists(prog(QStringLiteral("_thumb.jpg"))));
        // Recorded beeps: only the closing one.
        QCOMPARE(recorded(Record::Beep).size(), 1);
        expectAcceptsInput();
    }

    void preview() {
        addSource(QStringLiteral("a.wmv"));
        addSource(QStringLiteral("b.wmv"));
        w_->C2_01->setItemIndex(rowOf(qv::CatalogueId::C2_01, "AVI,"));
        w_->CheckBox1->setChecked(true);
        click(w_->CButton14);
        auto conv = calls(QStringLiteral("CONV"));
        QCOMPARE(conv.size(), 4);
        for (const auto& c : conv) {
            QCOMPARE(c.mid(c.size() - 3, 2), (QStringList{"-t", "00:00:30"}));
            QVERIFY(c.back().endsWith(QStringLiteral(".avi")));
        }
        QVERIFY(!w_->PreviewMode);
        expectAcceptsInput();

        QFile::remove(prog(QStringLiteral("calls.log")));
        go();
        conv = calls(QStringLiteral("CONV"));
        QCOMPARE(conv.size(), 4);
        for (const auto& c : conv) QVERIFY(!c.contains(QStringLiteral("00:00:30")));
    }

    void cancel_data() {
        QTest::addColumn<bool>("twoPass");
        QTest::newRow("the only pass of the first job") << false;
        QTest::newRow("pass 1 of two") << true;
    }
    void cancel() {
        QFETCH(bool, twoPass);
        const QString a = addSource(QStringLiteral("a.wmv"));
        const QString b = addSource(QStringLiteral("b.wmv"));
        w_->C2_01->setItemIndex(rowOf(qv::CatalogueId::C2_01, "AVI,"));
        w_->CheckBox1->setChecked(twoPass);
        setModes(QStringLiteral("valid"), QStringLiteral("hang_once"));
        duringRun([this] { return QFile::exists(prog(QStringLiteral("written"))); },
                  [this] { clickCancel(); });
        go();
        const auto conv = calls(QStringLiteral("CONV"));
        QCOMPARE(conv.size(), twoPass ? 4 : 2);
        if (twoPass) {
            // Pass 1's partial result is gone before pass 2 starts; pass 2 makes the result.
            QVERIFY(calls(QStringLiteral("EXISTED")).size() == 1);  // b's pass 2 only
            QCOMPARE(readFile(work(QStringLiteral("a.avi"))), QByteArray("part1part2"));
        } else {
            QVERIFY(!QFile::exists(work(QStringLiteral("a.avi"))));
        }
        QCOMPARE(readFile(work(QStringLiteral("b.avi"))), QByteArray("part1part2"));
        // A cancel is no failure.
        QVERIFY(recorded(Record::Message).isEmpty());
        QCOMPARE(w_->ShadowLabel1->Caption(), kFinished);
        Q_UNUSED(a);
        Q_UNUSED(b);
        expectAcceptsInput();
    }

    void cancelAfterTheEncoderEnded() {
        const QString src = addSource(QStringLiteral("a.wmv"));
        QVERIFY(setMtime(src, {1500000000, 250000000}));
        w_->C2_01->setItemIndex(rowOf(qv::CatalogueId::C2_01, "AVI,"));
        setModes(QStringLiteral("valid"), QStringLiteral("ended"));
        // Clicked once the encoder has exited but before the run has noticed.
        duringRun([this] { return QFile::exists(prog(QStringLiteral("waiting"))); },
                  [this] {
                      writeFile(prog(QStringLiteral("go")), {});
                      const int pid = w_->ProcessInfo.pid();
                      QDeadlineTimer limit(5000);
                      while (!isZombie(pid) && !limit.hasExpired()) QThread::msleep(2);
                      clickCancel();
                  });
        go();
        QCOMPARE(recorded(Record::Message), (QStringList{kCancelFailed}));
        const QString out = work(QStringLiteral("a.avi"));
        QCOMPARE(readFile(out), QByteArray("done"));
        const timespec t = mtimeOf(out);
        QCOMPARE(t.tv_sec, time_t(1500000000));
        QCOMPARE(t.tv_nsec, 250000000L);
        // Beep of the failed cancel, then the closing one.
        QCOMPARE(recorded(Record::Beep).size(), 2);
        expectAcceptsInput();
    }

    void thumbnails_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("staleBroken");  // a broken _thumb.jpg left from before
        QTest::addColumn<bool>("converted");
        QTest::addColumn<bool>("picture");
        QTest::newRow("broken picture skips the pass") << "broken" << false << false << false;
        QTest::newRow("stale picture is replaced") << "valid" << true << true << true;
        QTest::newRow("no picture made") << "none" << false << true << false;
        QTest::newRow("thumbnail call never ends") << "hang" << false << true << false;
    }
    void thumbnails() {
        QFETCH(QString, mode);
        QFETCH(bool, staleBroken);
        QFETCH(bool, converted);
        QFETCH(bool, picture);
        addSource(QStringLiteral("a.wmv"));
        const QString b = addSource(QStringLiteral("b.wmv"));
        w_->C2_01->setItemIndex(rowOf(qv::CatalogueId::C2_01, "AVI,"));
        setModes(mode, QStringLiteral("ok"));
        if (staleBroken) writeFile(prog(QStringLiteral("_thumb.jpg")), "\xFF\xD8\xFF\xE0garbage");
        go();
        QCOMPARE(calls(QStringLiteral("THUMB")).size(), 2);
        QCOMPARE(calls(QStringLiteral("CONV")).size(), converted ? 2 : 0);
        QCOMPARE(QFile::exists(work(QStringLiteral("b.avi"))), converted);
        for (const Sample& s : samples_) QCOMPARE(s.picture, picture);
        if (converted) {
            QVERIFY(recorded(Record::Message).isEmpty());
        } else {
            QCOMPARE(recorded(Record::Message),
                     (QStringList{kNotice + QStringLiteral("\n\na.wmv\nb.wmv")}));
        }
        if (mode == QLatin1String("hang")) {
            // A half-written picture is never left to be read later.
            QVERIFY(!QFile::exists(prog(QStringLiteral("_thumb.jpg"))));
        }
        Q_UNUSED(b);
        expectAcceptsInput();
    }

    void failingEncoderIsNamed() {
        addSource(QStringLiteral("bad.wmv"));
        addSource(QStringLiteral("good.mpg"));
        w_->C2_01->setItemIndex(rowOf(qv::CatalogueId::C2_01, "AVI,"));
        // Fails for bad.wmv only.
        writeFile(prog(QStringLiteral("ffmpeg")),
                  QByteArray(kStandIn).replace("mode=$(cat \"$dir/conv_mode\" 2>/dev/null || echo ok)",
                                               "case \"$last\" in *bad.avi) mode=fail ;; *) mode=ok ;; esac"));
        go();
        QCOMPARE(calls(QStringLiteral("CONV")).size(), 2);
        QCOMPARE(recorded(Record::Message), (QStringList{kNotice + QStringLiteral("\n\nbad.wmv")}));
        QCOMPARE(readFile(work(QStringLiteral("good.avi"))), QByteArray("part1part2"));
        QCOMPARE(w_->ShadowLabel1->Caption(), kFinished);
        expectAcceptsInput();
    }

    void longFailureListIsCut() {
        for (int i = 0; i < 23; ++i) addSource(QStringLiteral("f%1.wmv").arg(i, 2, 10, QLatin1Char('0')));
        w_->C2_01->setItemIndex(rowOf(qv::CatalogueId::C2_01, "AVI,"));
        setModes(QStringLiteral("none"), QStringLiteral("fail"));
        go();
        const QStringList messages = recorded(Record::Message);
        QCOMPARE(messages.size(), 1);
        const QStringList lines = messages.front().split(QLatin1Char('\n'));
        QCOMPARE(lines.front(), kNotice);
        QCOMPARE(lines.size(), 2 + 20 + 1);
        QCOMPARE(lines[2], QStringLiteral("f00.wmv"));
        QCOMPARE(lines[21], QStringLiteral("f19.wmv"));
        QCOMPARE(lines.back(), QStringLiteral("ほか 3 件"));
    }

    void encoderCannotStart_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("no encoder anywhere") << "none";
        QTest::newRow("encoder that cannot be executed") << "broken";
    }
    void encoderCannotStart() {
        QFETCH(QString, kind);
        addSource(QStringLiteral("a.wmv"));
        addSource(QStringLiteral("b.wmv"));
        w_->C2_01->setItemIndex(rowOf(qv::CatalogueId::C2_01, "AVI,"));
        const QString before = w_->ShadowLabel1->Caption();
        const QByteArray path = qgetenv("PATH");
        if (kind == QLatin1String("none")) {
            QFile::remove(prog(QStringLiteral("ffmpeg")));
            qputenv("PATH", "/nonexistent");
        } else {
            writeFile(prog(QStringLiteral("ffmpeg")), "#!/nonexistent/interpreter\n");
        }
        click(w_->CButton14);
        qputenv("PATH", path);
        QVERIFY(recorded(Record::Message).isEmpty());
        QVERIFY(recorded(Record::Beep).isEmpty());
        QCOMPARE(w_->ShadowLabel1->Caption(), before);
        QVERIFY(!QFile::exists(work(QStringLiteral("a.avi"))));
        expectAcceptsInput();
    }

    void emptyFolderTextAborts() {
        addSource(QStringLiteral("a.wmv"));
        const QString before = w_->ShadowLabel1->Caption();
        w_->C1_02->setItemIndex(1);
        w_->C1_03->setPath(QString());
        click(w_->CButton14);
        QCOMPARE(recorded(Record::Message), (QStringList{kAbort}));
        QCOMPARE(qv::ui::testing::records().front().kind, Record::Beep);
        QVERIFY(calls().isEmpty());
        QCOMPARE(w_->ShadowLabel1->Caption(), before);
        expectAcceptsInput();
    }

    void destinationIsTheSource_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("otherConverted");  // in/z.wmv, queued with it
        QTest::newRow("source folder, automatic container") << "same" << false;
        QTest::newRow("destination folder through a link") << "symlink" << false;
        QTest::newRow("destination holds a hard link of it") << "hardlink" << true;
    }
    void destinationIsTheSource() {
        QFETCH(QString, how);
        QFETCH(bool, otherConverted);
        const QString src = addSource(QStringLiteral("in/a.avi"), "ORIGINAL BYTES");
        addSource(QStringLiteral("in/z.wmv"));
        QVERIFY(setMtime(src, {1400000000, 123456789}));
        if (how == QLatin1String("symlink")) {
            QVERIFY(QFile::link(work(QStringLiteral("in")), work(QStringLiteral("link"))));
            w_->C1_02->setItemIndex(1);
            w_->C1_03->setPath(work(QStringLiteral("link")));
        } else if (how == QLatin1String("hardlink")) {
            QDir().mkpath(work(QStringLiteral("out")));
            QCOMPARE(::link(src.toLocal8Bit().constData(),
                            work(QStringLiteral("out/a.avi")).toLocal8Bit().constData()), 0);
            w_->C1_02->setItemIndex(1);
            w_->C1_03->setPath(work(QStringLiteral("out")));
        }
        go();
        QCOMPARE(readFile(src), QByteArray("ORIGINAL BYTES"));
        const timespec t = mtimeOf(src);
        QCOMPARE(t.tv_sec, time_t(1400000000));
        QCOMPARE(t.tv_nsec, 123456789L);
        QCOMPARE(readFile(work(QStringLiteral("in/z.wmv"))), QByteArray("SOURCE"));
        // Never handed to the encoder; a job with a result of its own still runs.
        const auto conv = calls(QStringLiteral("CONV"));
        QCOMPARE(conv.size(), otherConverted ? 1 : 0);
        QCOMPARE(calls(QStringLiteral("THUMB")).size(), conv.size());
        if (otherConverted) QCOMPARE(conv[0].back(), work(QStringLiteral("out/z.wmv")));
        QCOMPARE(recorded(Record::Message),
                 (QStringList{kNotice + (otherConverted ? QStringLiteral("\n\na.avi")
                                                        : QStringLiteral("\n\na.avi\nz.wmv"))}));
        expectAcceptsInput();
    }

    void resultNamedAsAnotherQueuedSource() {
        // a.avi would become a.mp4 before a.mp4's own turn came.
        const QString avi = addSource(QStringLiteral("a.avi"), "AVI BYTES");
        const QString mp4 = addSource(QStringLiteral("a.mp4"), "MP4 BYTES");
        addSource(QStringLiteral("b.avi"));
        w_->C2_01->setItemIndex(rowOf(qv::CatalogueId::C2_01, "MP4,"));
        go();
        QCOMPARE(readFile(avi), QByteArray("AVI BYTES"));
        QCOMPARE(readFile(mp4), QByteArray("MP4 BYTES"));
        const auto conv = calls(QStringLiteral("CONV"));
        QCOMPARE(conv.size(), 1);
        QCOMPARE(conv[0].back(), work(QStringLiteral("b.mp4")));
        QCOMPARE(recorded(Record::Message), (QStringList{kNotice + QStringLiteral("\n\na.avi\na.mp4")}));
        expectAcceptsInput();
    }

    void resultDatedAsSource() {
        const QString src = addSource(QStringLiteral("a.wmv"));
        QVERIFY(setMtime(src, {1234567891, 987654321}));  // an odd second, and nanoseconds
        // Only read: a source that cannot be written is converted as any other.
        QVERIFY(QFile::setPermissions(src, QFile::ReadOwner | QFile::ReadGroup));
        w_->C2_01->setItemIndex(rowOf(qv::CatalogueId::C2_01, "AVI,"));
        w_->CheckBox1->setChecked(true);
        go();
        const timespec t = mtimeOf(work(QStringLiteral("a.avi")));
        QCOMPARE(t.tv_sec, time_t(1234567891));
        QCOMPARE(t.tv_nsec, 987654321L);
        QVERIFY(recorded(Record::Message).isEmpty());
        QCOMPARE(mtimeOf(src).tv_nsec, 987654321L);
    }

    void sourceGoneMeanwhile() {
        const QString a = addSource(QStringLiteral("a.wmv"));
        addSource(QStringLiteral("b.wmv"));
        w_->C2_01->setItemIndex(rowOf(qv::CatalogueId::C2_01, "AVI,"));
        QVERIFY(QFile::remove(a));
        go();
        const auto conv = calls(QStringLiteral("CONV"));
        QCOMPARE(conv.size(), 1);
        QCOMPARE(conv[0].back(), work(QStringLiteral("b.avi")));
        QCOMPARE(recorded(Record::Message), (QStringList{kNotice + QStringLiteral("\n\na.wmv")}));
        QCOMPARE(w_->ShadowLabel1->Caption(), kFinished);
        expectAcceptsInput();
    }

    void emptyListDoesNothing() {
        w_->CButton10Click();
        w_->CButton14Click();
        QVERIFY(calls().isEmpty());
        QVERIFY(qv::ui::testing::records().isEmpty());
        QVERIFY(!w_->PreviewMode);
        QVERIFY(!ProgressForm1);
    }

    void playOpensSelectedSource() {
        addSource(QStringLiteral("a.wmv"));
        const QString b = addSource(QStringLiteral("b.wmv"));
        click(w_->CButton13);
        QVERIFY(recorded(Record::Open).isEmpty());
        w_->ListBox1->setCurrentRow(1);
        click(w_->CButton13);
        QCOMPARE(recorded(Record::Open), (QStringList{b}));
        QVERIFY(calls().isEmpty());
    }

    void playKeepsNameBytesThatAreNotText() {
        const QByteArray path = QFile::encodeName(work(QStringLiteral("x"))) + "\xff.wmv";
        {
            std::FILE* out = std::fopen(path.constData(), "wb");
            QVERIFY(out);
            std::fclose(out);
        }
        w_->AddSourcePath(path.toStdString());
        w_->ListBox1->setCurrentRow(0);
        click(w_->CButton13);
        QCOMPARE(recorded(Record::Open),
                 (QStringList{QString::fromLatin1("file://" + path.toPercentEncoding("/"))}));
        std::remove(path.constData());  // QTemporaryDir cannot name it to remove it
    }
};

QTEST_MAIN(BatchRunTest)
#include "batch_run_test.moc"
