#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCheckBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QListWidget>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>

#include "run/run_journal.h"
#include "settings/catalogues.h"
#include "support/program_folder.h"
#include "support/progress_window.h"
#include "support/screen.h"
#include "ui/main_window/TMainForm1.h"
#include "ui/progress/progress_form.h"
#include "ui/services/dialogs.h"
#include "ui/widgets/TImage.h"
#include "ui/widgets/TLMDBrowseEdit.h"
#include "ui/widgets/TMultiColComboBox.h"
#include "ui/widgets/TShadowLabel.h"
#include "ui/widgets/TShape.h"
#include "ui/widgets/TdxfColorButton.h"
#include "ui/widgets/TdxfProgressBar.h"

using Record = qv::ui::testing::Record;

namespace {

const QString kNotice = QStringLiteral(
    "変換できない非対応ファイルが含まれていました。保存先に指定したフォルダで変換結果をご確認下さい"
    "。");
const QString kAbort = QStringLiteral("原因が特定できないエラーが生じました。処理を中止します。");
const QString kCancelFailed = QStringLiteral("変換を中止できませんでした。");
const QString kFinished = QStringLiteral("変換処理は終了しました。");
const QString kStopped = QStringLiteral("変換処理を中止しました。");
const QString kStopQuestion = QStringLiteral("残りの変換もすべて中止しますか？");
const QString kNoDestination =
    QStringLiteral("保存先が選ばれていません。保存先を選んでから、もう一度お試し下さい。");
const QString kNoEncoder = QStringLiteral("変換に使う ffmpeg が見つかりません。");
const QString kEncoderWillNotStart = QStringLiteral("変換に使う ffmpeg を起動できません。");
const QString kSameAsSource = QStringLiteral("変換結果が元のファイルと同じになります");
const QString kOtherSource = QStringLiteral("変換結果が他の変換対象ファイルと同じ名前になります");
const QString kOtherResult = QStringLiteral("変換結果が他のファイルの変換結果と同じ名前になります");
const QString kNotRegular = QStringLiteral("変換結果の名前がリンクまたはフォルダです");
const QString kSourceMissing = QStringLiteral("ファイルが見つかりません");
const QString kSourceNotRegular = QStringLiteral("変換元が通常のファイルではありません");
const QString kEmptyResult = QStringLiteral("変換結果が空です");
const QString kDestinationGone = QStringLiteral("保存先のフォルダがなくなりました");
const QString kLeftBehind = QStringLiteral("前の変換結果を退避したファイルが残っています。");
const QString kExit1 = QStringLiteral("ffmpeg が終了コード 1 で終了しました");

// Stands in for the encoder. Every call is logged (one line, arguments tab-separated);
// the files thumb_mode and conv_mode in its folder choose what it does.
const char* const kStandIn = R"SH(#!/bin/sh
dir=$(dirname "$0")
for last; do :; done
kind=CONV
case " $* " in *" image2 "*) kind=THUMB ;; esac
# one write per line: the thumbnail call and the conversion log side by side
tab=$(printf '\t'); line=$kind; for a; do line="$line$tab$a"; done
printf '%s\n' "$line" >> "$dir/calls.log"
if [ "$kind" = THUMB ]; then
  mode=$(cat "$dir/thumb_mode" 2>/dev/null || echo valid)
  # like the encoder without -y: an existing picture is left as it is
  [ -e "$last" ] && exit 1
  case "$mode" in
    valid) cp "$dir/valid.jpg" "$last" ;;
    broken) head -c 200 "$dir/valid.jpg" > "$last" ;;
    hang) echo $$ > "$dir/thumb_pid"; head -c 200 "$dir/valid.jpg" > "$last"; exec sleep 30 ;;
    after_conv)
      # made only once the conversion is under way
      n=0; while [ ! -e "$dir/started_${2##*/}" ] && [ $n -lt 300 ]; do sleep 0.01; n=$((n+1)); done
      cp "$dir/valid.jpg" "$last" ;;
  esac
  exit 0
fi
: > "$dir/started_${2##*/}"
mode=$(cat "$dir/conv_mode" 2>/dev/null || echo ok)
[ -e "$last" ] && printf 'EXISTED\t%s\n' "$last" >> "$dir/calls.log"
printf 'ENV\t%s\t%s\n' "${QUORVANE_REPORT-unset}" "${QUORVANE_LOG-unset}" >> "$dir/calls.log"
for f in "$(dirname "$last")"/.*.previous*; do
  [ -f "$f" ] && printf 'HIDDEN\t%s\t%s\n' "$(basename "$f")" "$(cat "$f")" >> "$dir/calls.log"
done
case "$mode" in
  ok) printf 'part1' > "$last"; sleep 0.2; printf 'part2' >> "$last"; exit 0 ;;
  fail) printf 'x' > "$last"; exit 1 ;;
  report)
    printf 'x' > "$last"; printf '入力ファイルを読めません\nsecond line\n' > "$QUORVANE_REPORT"
    printf 'encoder words\n' >> "$QUORVANE_LOG"; exit 2 ;;
  empty) : > "$last"; exit 0 ;;
  none) exit 0 ;;
  slow)
    printf 'part' > "$last"; sleep 1.6
    if kill -0 "$(cat "$dir/thumb_pid")" 2>/dev/null; then s=ALIVE; else s=GONE; fi
    printf 'THUMB_%s\n' "$s" >> "$dir/calls.log"; printf 'x' >> "$last"; exit 0 ;;
  hang_once)
    if [ ! -e "$dir/hung" ]; then
      : > "$dir/hung"; printf 'part' > "$last"; : > "$dir/written"; exec sleep 30
    fi
    printf 'part1' > "$last"; sleep 0.2; printf 'part2' >> "$last"; exit 0 ;;
  ended)
    printf 'done' > "$last"; : > "$dir/waiting"
    while [ ! -e "$dir/go" ]; do sleep 0.01; done
    exit 0 ;;
  progress)
    # a quarter of a 4-second call on the progress channel once the test says report, the
    # rest once it says go
    printf 'part' > "$last"
    n=0; while [ ! -e "$dir/report" ] && [ $n -lt 3000 ]; do sleep 0.01; n=$((n+1)); done
    [ "$QUORVANE_PROGRESS" = 3 ] && printf 't 1.000 4.000 1.000\n' >&3
    n=0; while [ ! -e "$dir/go" ] && [ $n -lt 3000 ]; do sleep 0.01; n=$((n+1)); done
    [ "$QUORVANE_PROGRESS" = 3 ] && printf 't 3.000 4.000 1.000\n' >&3
    printf 'x' >> "$last"; exit 0 ;;
  hold)
    # half written until the test says go, then ends with the status it wrote there
    printf 'part1' > "$last"; : > "$dir/written"
    while [ ! -e "$dir/go" ]; do sleep 0.01; done
    printf 'part2' >> "$last"; exit "$(cat "$dir/go")" ;;
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

// Takes new names and removals away from a folder: its write bits, and for the superuser,
// whom those do not stop, the immutable flag. Given back when the object goes.
class FolderLock {
  public:
    ~FolderLock() { unlock(); }
    bool lock(const QString& folder) {
        folder_ = QFile::encodeName(folder);
        if (::chmod(folder_.constData(), 0555) != 0) return false;
        return ::geteuid() != 0 || setImmutable(true);
    }
    void unlock() {
        if (folder_.isEmpty()) return;
        if (::geteuid() == 0) setImmutable(false);
        ::chmod(folder_.constData(), 0755);
        folder_.clear();
    }
    // The error a removal in a locked folder meets.
    static int refusal() { return ::geteuid() == 0 ? EPERM : EACCES; }

  private:
    bool setImmutable(bool on) {
        const int fd = ::open(folder_.constData(), O_RDONLY | O_DIRECTORY);
        if (fd < 0) return false;
        int flags = 0;
        bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ok && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        ::close(fd);
        return ok;
    }
    QByteArray folder_;
};

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
    QTemporaryDir state_;  // XDG_STATE_HOME of the run's log
    std::unique_ptr<TMainForm1> w_;
    QList<Sample> samples_;
    QTimer sampler_;

    QString prog(const QString& name) const { return programDir_->filePath(name); }
    QString work(const QString& name) const { return work_->filePath(name); }
    QString logPath() const { return state_.filePath(QStringLiteral("quorvane/last-run.log")); }
    std::string journalFolder() const {
        return QFile::encodeName(state_.filePath(QStringLiteral("quorvane"))).toStdString();
    }
    QStringList journals() const {
        return QDir(state_.filePath(QStringLiteral("quorvane")))
            .entryList({QStringLiteral("*.journal")}, QDir::Files);
    }

    // The end notice listing these "name: reason" lines.
    QString notice(const QStringList& lines) const {
        return kNotice + QStringLiteral("\n\n") + lines.join(QLatin1Char('\n')) +
               QStringLiteral("\n\n詳しくは ") + logPath() + QStringLiteral(" をご覧下さい。");
    }
    // Hidden files of a folder (the set-aside results).
    QStringList hiddenIn(const QString& folder) const {
        return QDir(folder).entryList({QStringLiteral(".*")}, QDir::Files | QDir::Hidden);
    }

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
        for (TMultiColComboBox* box :
             {w_->C1_02, w_->C2_01, w_->C2_02, w_->C2_03, w_->C2_04, w_->C2_05, w_->C2_06,
              w_->C3_01, w_->C3_02, w_->C3_03, w_->C3_04, w_->C3_05, w_->C3_06})
            box->setItemIndex(0);
        for (QCheckBox* box :
             {w_->CheckBox1, w_->CheckBox2, w_->CheckBox3, w_->CheckBox4, w_->CheckBox5})
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
            if (!qvtest::progressWindow() || !ready()) return;
            t->stop();
            t->deleteLater();
            action();
        });
        t->start();
    }
    void clickCancel() { click(qvtest::progressWindow()->CButton1); }

    QStringList recorded(Record::Kind kind) const { return qv::ui::testing::texts(kind); }

    // After any end of a run: no progress window, and the main window takes clicks.
    void expectAcceptsInput() {
        QVERIFY(!qvtest::progressWindow());
        QCOMPARE(journals(), QStringList());  // nothing set aside any more
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
        QVERIFY(state_.isValid());
        qputenv("XDG_STATE_HOME", QFile::encodeName(state_.path()));
        connect(&sampler_, &QTimer::timeout, this, [this] {
            TProgressForm1* form = qvtest::progressWindow();
            if (!form) return;
            Sample s{form->ProgressBar1->text(),
                     form->Label1->Caption(),
                     form->Image1->hasPicture(),
                     {}};
            if (s.picture) s.centre = form->Image1->picture().pixelColor(40, 30);
            if (samples_.isEmpty() || samples_.back().bar != s.bar ||
                samples_.back().names != s.names || samples_.back().picture != s.picture)
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
        // A thumbnail beside each pass; pass 2 finds pass 1's result and writes over it.
        QCOMPARE(calls(QStringLiteral("THUMB")).size(), 2);
        QCOMPARE(calls(QStringLiteral("CONV")).size(), 2);
        QCOMPARE(calls(QStringLiteral("EXISTED")).size(), 1);
        const auto conv = calls(QStringLiteral("CONV"));
        QVERIFY(conv[0].join(QLatin1Char(' ')).contains(QStringLiteral("-pass 1 -an")));
        QVERIFY(conv[1].join(QLatin1Char(' ')).contains(QStringLiteral("-pass 2")));
        QCOMPARE(conv[0].back(), work(QStringLiteral("a.avi")));
        QCOMPARE(conv[1].back(), work(QStringLiteral("a.avi")));
        QCOMPARE(QDir(work_->path()).entryList(QDir::Files),
                 (QStringList{QStringLiteral("a.avi"), QStringLiteral("a.wmv")}));
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
        QTest::newRow("AVI container beside the source") << "in/a.wmv"
                                                         << "AVI,"
                                                         << ""
                                                         << "in/a.avi";
        QTest::newRow("folder that does not exist yet") << "in/a.wmv"
                                                        << ""
                                                        << "out/new/deeper"
                                                        << "out/new/deeper/a.wmv";
        QTest::newRow("folder text with trailing separator") << "in/a.wmv"
                                                             << "MP4,"
                                                             << "out/"
                                                             << "out/a.mp4";
        QTest::newRow("source without extension") << "in/clip"
                                                  << "MP4,"
                                                  << ""
                                                  << "in/clip.mp4";
        QTest::newRow("only the last dot counts") << "in/a.b.wmv"
                                                  << "3GP,"
                                                  << ""
                                                  << "in/a.b.3gp";
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
        QCOMPARE(samples_.back().names, QFileInfo(source).fileName() + QStringLiteral(" -> ") +
                                            QFileInfo(expected).fileName());
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
            duringRun(
                [] {
                    TProgressForm1* form = qvtest::progressWindow();
                    return form->ProgressBar1->Position() == 1 && form->Image1->hasPicture();
                },
                [] {
                    qvtest::saveScreenshot(qvtest::progressWindow(),
                                           QStringLiteral("progress_form_running.png"));
                });
        }
        go();
        QStringList bars, names, pictured;
        for (const Sample& s : samples_) {
            if (!bars.contains(s.bar)) bars << s.bar;
            if (!names.contains(s.names)) names << s.names;
            // A picture for every pass, the one the encoder just made, shown while it converts.
            if (s.picture) {
                QVERIFY(s.centre.red() > 200 && s.centre.green() < 60);
                if (!pictured.contains(s.names)) pictured << s.names;
            }
        }
        QCOMPARE(pictured, names);
        QCOMPARE(bars, (QStringList{QStringLiteral("0 %"), QStringLiteral("33 %"),
                                    QStringLiteral("67 %")}));
        QCOMPARE(names,
                 (QStringList{QStringLiteral("a.avi -> a.mp4"), QStringLiteral("b.avi -> b.mp4"),
                              QStringLiteral("c.avi -> c.mp4")}));
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
            QCOMPARE(c.mid(c.size() - 3, 2),
                     (QStringList{QStringLiteral("-t"), QStringLiteral("00:00:30")}));
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

    // Two at once: the window grows by a line, not in width; both encoders run together, the
    // third job waits for a free line, and the cancel of the second line stops only its job.
    void twoAtOnceShowTwoLinesAndCancelByLine() {
        addSource(QStringLiteral("a.wmv"));
        addSource(QStringLiteral("b.wmv"));
        addSource(QStringLiteral("c.wmv"));
        w_->C2_01->setItemIndex(rowOf(qv::CatalogueId::C2_01, "AVI,"));
        w_->Jobs = 2;
        setModes(QStringLiteral("valid"), QStringLiteral("hold"));
        bool checked = false;
        duringRun([this] { return calls(QStringLiteral("CONV")).size() == 2; },
                  [this, &checked] {
                      TProgressForm1* form = qvtest::progressWindow();
                      QCOMPARE(form->lineCount(), 2);
                      QCOMPARE(form->size(), QSize(401, 72 + TProgressForm1::kLineHeight));
                      QCOMPARE(form->nameLabel(0)->Caption(), QStringLiteral("a.wmv -> a.avi"));
                      QCOMPARE(form->nameLabel(1)->Caption(), QStringLiteral("b.wmv -> b.avi"));
                      click(form->cancelButton(1));
                      writeFile(prog(QStringLiteral("go")), "0");
                      checked = true;
                  });
        go();
        QVERIFY(checked);
        QCOMPARE(calls(QStringLiteral("CONV")).size(), 3);
        QCOMPARE(readFile(work(QStringLiteral("a.avi"))), QByteArray("part1part2"));
        QVERIFY(!QFile::exists(work(QStringLiteral("b.avi"))));
        QCOMPARE(readFile(work(QStringLiteral("c.avi"))), QByteArray("part1part2"));
        QVERIFY(recorded(Record::Message).isEmpty());
        QCOMPARE(w_->ShadowLabel1->Caption(), kFinished);
        expectAcceptsInput();
    }

    // An encoder that reports how far it has come moves the bar within its file, for one
    // job at a time and for two at once; the size line then tells the time left, and never
    // before there is something to tell it from.
    void barMovesWithinAFile_data() {
        QTest::addColumn<int>("jobs");
        QTest::newRow("one job, one at a time") << 1;
        QTest::newRow("two jobs, two at once") << 2;
    }
    void barMovesWithinAFile() {
        QFETCH(int, jobs);
        for (int i = 0; i < jobs; ++i) addSource(QStringLiteral("%1.wmv").arg(i));
        w_->C2_01->setItemIndex(rowOf(qv::CatalogueId::C2_01, "AVI,"));
        w_->Jobs = jobs;
        setModes(QStringLiteral("valid"), QStringLiteral("progress"));
        QStringList bars, sizes;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            TProgressForm1* form = qvtest::progressWindow();
            if (!form) return;
            const QString bar = form->ProgressBar1->text();
            if (bars.isEmpty() || bars.back() != bar) bars << bar;
            const QString size = form->Label2->Caption();
            // Nothing made yet: nothing to tell the time left from.
            if (bar == QStringLiteral("0 %")) QVERIFY2(!size.contains(u'残'), qPrintable(size));
            if (sizes.isEmpty() || sizes.back() != size) sizes << size;
        });
        watch.start(5);
        QString startBar, startSize, sizeLine, lineBar;
        duringRun([this, jobs] { return calls(QStringLiteral("CONV")).size() == jobs; },
                  [&] {
                      TProgressForm1* form = qvtest::progressWindow();
                      startBar = form->ProgressBar1->text();
                      startSize = form->Label2->Caption();
                      writeFile(prog(QStringLiteral("report")), "");
                  });
        duringRun(
            [] {
                TProgressForm1* form = qvtest::progressWindow();
                return form->ProgressBar1->text() == QStringLiteral("25 %") &&
                       form->Label2->Caption().contains(u'残');
            },
            [&] {
                TProgressForm1* form = qvtest::progressWindow();
                sizeLine = form->Label2->Caption();
                if (jobs > 1) lineBar = form->lineBar(1)->text();
                writeFile(prog(QStringLiteral("go")), "0");
            });
        go();
        watch.stop();
        QVERIFY2(!sizeLine.isEmpty(), qPrintable(bars.join(QLatin1Char(','))));
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d+KB -> \\d+KB 残り \\d+:\\d\\d$"))
                     .match(sizeLine)
                     .hasMatch(),
                 qPrintable(sizeLine));
        if (jobs > 1) QCOMPARE(lineBar, QStringLiteral("25 %"));
        // Every encoder under way, none has reported: the jobs ended so far, and no time left
        // to tell. From there on never back, never full while the batch runs.
        QCOMPARE(startBar, QStringLiteral("0 %"));
        QVERIFY2(!startSize.contains(u'残'), qPrintable(startSize));
        QVERIFY(bars.contains(QStringLiteral("25 %")));
        int last = -1;
        for (const QString& b : bars) {
            const int percent = b.chopped(2).toInt();
            QVERIFY2(percent >= last && percent < 100, qPrintable(bars.join(QLatin1Char(','))));
            last = percent;
        }
        for (int i = 0; i < jobs; ++i)
            QCOMPARE(readFile(work(QStringLiteral("%1.avi").arg(i))), QByteArray("partx"));
        QVERIFY(recorded(Record::Message).isEmpty());
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
        QTest::addColumn<bool>("picture");
        QTest::newRow("broken picture is not shown") << "broken" << false << false;
        QTest::newRow("stale picture is replaced") << "valid" << true << true;
        QTest::newRow("no picture made") << "none" << false << false;
        QTest::newRow("thumbnail call never ends") << "hang" << false << false;
        QTest::newRow("picture made while the conversion runs") << "after_conv" << false << true;
    }
    void thumbnails() {
        QFETCH(QString, mode);
        QFETCH(bool, staleBroken);
        QFETCH(bool, picture);
        addSource(QStringLiteral("a.wmv"));
        addSource(QStringLiteral("b.wmv"));
        w_->C2_01->setItemIndex(rowOf(qv::CatalogueId::C2_01, "AVI,"));
        setModes(mode, QStringLiteral("ok"));
        if (staleBroken) writeFile(prog(QStringLiteral("_thumb.jpg")), "\xFF\xD8\xFF\xE0garbage");
        go();
        QCOMPARE(calls(QStringLiteral("THUMB")).size(), 2);
        // The picture never holds the conversion up, nor fails it.
        QCOMPARE(calls(QStringLiteral("CONV")).size(), 2);
        QCOMPARE(readFile(work(QStringLiteral("b.avi"))), QByteArray("part1part2"));
        bool shown = false;
        for (const Sample& s : samples_) shown = shown || s.picture;
        QCOMPARE(shown, picture);
        QVERIFY(recorded(Record::Message).isEmpty());
        // Nothing left to be read for a later source.
        QVERIFY(!QFile::exists(prog(QStringLiteral("_thumb.jpg"))));
        expectAcceptsInput();
    }

    void thumbnailStoppedAfterOneSecond() {
        addSource(QStringLiteral("a.wmv"));
        w_->C2_01->setItemIndex(rowOf(qv::CatalogueId::C2_01, "AVI,"));
        setModes(QStringLiteral("hang"), QStringLiteral("slow"));
        go();
        // The conversion outlasts the second: by its end the thumbnail call is gone.
        QCOMPARE(calls(QStringLiteral("THUMB_GONE")).size(), 1);
        QCOMPARE(readFile(work(QStringLiteral("a.avi"))), QByteArray("partx"));
        QVERIFY(recorded(Record::Message).isEmpty());
    }

    void failingEncoderIsNamed() {
        addSource(QStringLiteral("bad.wmv"));
        addSource(QStringLiteral("good.mpg"));
        w_->C2_01->setItemIndex(rowOf(qv::CatalogueId::C2_01, "AVI,"));
        // Fails for bad.wmv only.
        writeFile(prog(QStringLiteral("ffmpeg")),
                  QByteArray(kStandIn).replace(
                      "mode=$(cat \"$dir/conv_mode\" 2>/dev/null || echo ok)",
                      "case \"$last\" in *bad.avi) mode=fail ;; *) mode=ok ;; esac"));
        go();
        QCOMPARE(calls(QStringLiteral("CONV")).size(), 2);
        QCOMPARE(recorded(Record::Message),
                 (QStringList{notice({QStringLiteral("bad.wmv: ") + kExit1})}));
        QCOMPARE(readFile(work(QStringLiteral("good.avi"))), QByteArray("part1part2"));
        QCOMPARE(w_->ShadowLabel1->Caption(), kFinished);
        expectAcceptsInput();
    }

    void longFailureListIsCut() {
        for (int i = 0; i < 23; ++i)
            addSource(QStringLiteral("f%1.wmv").arg(i, 2, 10, QLatin1Char('0')));
        w_->C2_01->setItemIndex(rowOf(qv::CatalogueId::C2_01, "AVI,"));
        setModes(QStringLiteral("none"), QStringLiteral("fail"));
        go();
        const QStringList messages = recorded(Record::Message);
        QCOMPARE(messages.size(), 1);
        const QStringList lines = messages.front().split(QLatin1Char('\n'));
        QCOMPARE(lines.front(), kNotice);
        QCOMPARE(lines.size(), 2 + 20 + 1 + 2);
        QCOMPARE(lines[2], QStringLiteral("f00.wmv: ") + kExit1);
        QCOMPARE(lines[21], QStringLiteral("f19.wmv: ") + kExit1);
        QCOMPARE(lines[22], QStringLiteral("ほか 3 件"));
        QCOMPARE(lines[23], QString());
        QCOMPARE(lines.back(),
                 QStringLiteral("詳しくは ") + logPath() + QStringLiteral(" をご覧下さい。"));
    }

    void encoderCannotStart_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");  // its first line
        QTest::newRow("no encoder anywhere") << "none" << kNoEncoder;
        QTest::newRow("encoder that cannot be executed") << "broken" << kEncoderWillNotStart;
    }
    void encoderCannotStart() {
        QFETCH(QString, kind);
        QFETCH(QString, message);
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
        const QStringList messages = recorded(Record::Message);
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages.front().section(QLatin1Char('\n'), 0, 0), message);
        if (kind == QLatin1String("broken"))  // and why, naming the file
            QVERIFY2(messages.front().contains(prog(QStringLiteral("ffmpeg"))),
                     qPrintable(messages.front()));
        QCOMPARE(recorded(Record::Beep).size(), 1);
        QCOMPARE(w_->ShadowLabel1->Caption(), before);
        QVERIFY(!QFile::exists(work(QStringLiteral("a.avi"))));
        expectAcceptsInput();
    }

    void noDestinationRowChosen_data() {
        QTest::addColumn<bool>("preview");
        QTest::newRow("Go!") << false;
        QTest::newRow("preview") << true;
    }
    void noDestinationRowChosen() {
        QFETCH(bool, preview);
        addSource(QStringLiteral("a.wmv"));
        const QString before = w_->ShadowLabel1->Caption();
        w_->C1_02->setItemIndex(-1);  // as a first start leaves it
        click(preview ? w_->CButton14 : w_->CButton10);
        QCOMPARE(recorded(Record::Message), (QStringList{kNoDestination}));
        QVERIFY(calls().isEmpty());
        QCOMPARE(w_->ShadowLabel1->Caption(), before);
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
                            work(QStringLiteral("out/a.avi")).toLocal8Bit().constData()),
                     0);
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
        QStringList lines{QStringLiteral("a.avi: ") + kSameAsSource};
        if (!otherConverted) lines << QStringLiteral("z.wmv: ") + kSameAsSource;
        QCOMPARE(recorded(Record::Message), (QStringList{notice(lines)}));
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
        QCOMPARE(recorded(Record::Message),
                 (QStringList{notice({QStringLiteral("a.avi: ") + kOtherSource,
                                      QStringLiteral("a.mp4: ") + kSameAsSource})}));
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

    void sourceChangedMeanwhile_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("reason");
        QTest::newRow("removed") << "removed" << kSourceMissing;
        QTest::newRow("a folder in its place") << "folder" << kSourceNotRegular;
        QTest::newRow("a named pipe in its place") << "fifo" << kSourceNotRegular;
    }
    void sourceChangedMeanwhile() {
        QFETCH(QString, change);
        QFETCH(QString, reason);
        const QString a = addSource(QStringLiteral("a.wmv"));
        addSource(QStringLiteral("b.wmv"));
        w_->C2_01->setItemIndex(rowOf(qv::CatalogueId::C2_01, "AVI,"));
        QVERIFY(QFile::remove(a));
        if (change == QLatin1String("folder")) QVERIFY(QDir().mkdir(a));
        if (change == QLatin1String("fifo"))
            QCOMPARE(::mkfifo(QFile::encodeName(a).constData(), 0600), 0);
        go();
        const auto conv = calls(QStringLiteral("CONV"));
        QCOMPARE(conv.size(), 1);
        QCOMPARE(conv[0].back(), work(QStringLiteral("b.avi")));
        QCOMPARE(recorded(Record::Message),
                 (QStringList{notice({QStringLiteral("a.wmv: ") + reason})}));
        QCOMPARE(w_->ShadowLabel1->Caption(), kFinished);
        expectAcceptsInput();
    }

    void destinationFolderChangesUnderTheJob_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("status");  // the encoder's
        QTest::newRow("made read-only, the job comes off") << "read-only" << 0;
        QTest::newRow("made read-only, the job fails") << "read-only" << 1;
        QTest::newRow("removed, the encoder says nothing") << "removed" << 0;
        QTest::newRow("removed, the encoder fails") << "removed" << 1;
    }
    void destinationFolderChangesUnderTheJob() {
        QFETCH(QString, change);
        QFETCH(int, status);
        const QString out = work(QStringLiteral("out"));
        QVERIFY(QDir().mkpath(out));
        FolderLock lock;
        if (change == QLatin1String("read-only")) {
            if (!lock.lock(out)) QSKIP("no way here to make a folder read-only for this user");
            lock.unlock();
        }
        addSource(QStringLiteral("a.wmv"));
        const QString dest = work(QStringLiteral("out/a.avi"));
        const QString hidden = work(QStringLiteral("out/.a.avi.previous"));
        writeFile(dest, "OLD RESULT");
        w_->C2_01->setItemIndex(rowOf(qv::CatalogueId::C2_01, "AVI,"));
        w_->C1_02->setItemIndex(1);
        w_->C1_03->setPath(out);
        setModes(QStringLiteral("valid"), QStringLiteral("hold"));
        duringRun([this] { return QFile::exists(prog(QStringLiteral("written"))); },
                  [&, this] {
                      if (change == QLatin1String("read-only"))
                          QVERIFY(lock.lock(out));
                      else
                          QVERIFY(QDir(out).removeRecursively());
                      writeFile(prog(QStringLiteral("go")), QByteArray::number(status));
                  });
        go();
        const QString refusal = QString::fromLocal8Bit(std::strerror(FolderLock::refusal()));
        QStringList messages;
        if (change == QLatin1String("removed")) {
            // Gone with its folder, hidden copy and all: the reason points there.
            QVERIFY(!QFileInfo::exists(out));
            messages << notice({QStringLiteral("a.wmv: ") + kDestinationGone});
        } else if (status == 0) {
            // The new result stands; the old one could not go, and the user is told where it is.
            QCOMPARE(readFile(dest), QByteArray("part1part2"));
            QCOMPARE(readFile(hidden), QByteArray("OLD RESULT"));
            messages << kLeftBehind + QStringLiteral("\n\n") + hidden +
                            QStringLiteral(": 削除できませんでした (") + refusal +
                            QStringLiteral(")");
        } else {
            QCOMPARE(readFile(hidden), QByteArray("OLD RESULT"));
            messages << notice({QStringLiteral("a.wmv: ") + kExit1}) + QStringLiteral("\n\n") +
                            kLeftBehind + QStringLiteral("\n\n") + hidden + QStringLiteral(": ") +
                            dest + QStringLiteral(" に戻せませんでした (") + refusal +
                            QStringLiteral(")");
        }
        QCOMPARE(recorded(Record::Message), messages);
        lock.unlock();
        expectAcceptsInput();
    }

    void staleCopyOfAKilledRunGoesWithTheNewResult() {
        // A program killed during this result's job, whose copy could not be put back at the
        // next start, left it hidden and in its journal.
        const QString hidden = work(QStringLiteral(".a.avi.previous"));
        writeFile(hidden, "OLD RESULT");
        {
            struct stat st {};
            QCOMPARE(::stat(QFile::encodeName(hidden).constData(), &st), 0);
            qv::RunJournal journal(journalFolder());
            QVERIFY(journal.setAside(0, work(QStringLiteral("a.avi")).toStdString(),
                                     hidden.toStdString(), st.st_dev, st.st_ino));
            // An ended program's: this one's id with another start time.
            QVERIFY(QFile::rename(QString::fromStdString(journal.path()),
                                  QString::fromStdString(journalFolder()) +
                                      QStringLiteral("/run-%1-1.journal").arg(::getpid())));
        }
        addSource(QStringLiteral("a.wmv"));
        w_->C2_01->setItemIndex(rowOf(qv::CatalogueId::C2_01, "AVI,"));
        go();
        QCOMPARE(readFile(work(QStringLiteral("a.avi"))), QByteArray("part1part2"));
        QCOMPARE(hiddenIn(work_->path()), QStringList());
        QVERIFY(recorded(Record::Message).isEmpty());
        expectAcceptsInput();
    }

    void resultNameIsNotAFile_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("link to a file") << "link";
        QTest::newRow("link that leads nowhere") << "dangling";
        QTest::newRow("folder") << "folder";
        QTest::newRow("named pipe") << "fifo";
    }
    void resultNameIsNotAFile() {
        QFETCH(QString, kind);
        addSource(QStringLiteral("v.wmv"));
        addSource(QStringLiteral("w.wmv"));
        const QString notes = work(QStringLiteral("notes.txt"));
        writeFile(notes, "MY NOTES");
        QVERIFY(setMtime(notes, {1300000000, 0}));
        const QString v = work(QStringLiteral("v.avi"));
        const QByteArray vBytes = QFile::encodeName(v);
        if (kind == QLatin1String("link")) QVERIFY(QFile::link(notes, v));
        if (kind == QLatin1String("dangling"))
            QVERIFY(QFile::link(work(QStringLiteral("gone")), v));
        if (kind == QLatin1String("folder")) QVERIFY(QDir().mkpath(v));
        if (kind == QLatin1String("fifo")) QCOMPARE(::mkfifo(vBytes.constData(), 0600), 0);
        w_->C2_01->setItemIndex(rowOf(qv::CatalogueId::C2_01, "AVI,"));
        go();
        const auto conv = calls(QStringLiteral("CONV"));
        QVERIFY2(conv.size() == 1, qPrintable(recorded(Record::Message).join(QLatin1Char('|'))));
        QCOMPARE(conv[0].back(), work(QStringLiteral("w.avi")));
        QCOMPARE(readFile(notes), QByteArray("MY NOTES"));
        QCOMPARE(mtimeOf(notes).tv_sec, time_t(1300000000));
        QVERIFY(!QFile::exists(work(QStringLiteral("gone"))));
        QCOMPARE(recorded(Record::Message),
                 (QStringList{notice({QStringLiteral("v.wmv: ") + kNotRegular})}));
        expectAcceptsInput();
    }

    void twoJobsOneResult_data() {
        QTest::addColumn<QStringList>("sources");
        QTest::addColumn<bool>("folderMode");
        QTest::addColumn<QString>("result");
        QTest::newRow("x.mov and x.mp4 become x.avi")
            << QStringList{QStringLiteral("x.mov"), QStringLiteral("x.mp4"),
                           QStringLiteral("y.mov")}
            << false << "x.avi";
        QTest::newRow("equal names from two folders")
            << QStringList{QStringLiteral("in1/x.wmv"), QStringLiteral("in2/x.wmv"),
                           QStringLiteral("in1/y.wmv")}
            << true << "out/x.avi";
    }
    void twoJobsOneResult() {
        QFETCH(QStringList, sources);
        QFETCH(bool, folderMode);
        QFETCH(QString, result);
        for (const QString& name : sources) addSource(name, name.toUtf8());
        w_->C2_01->setItemIndex(rowOf(qv::CatalogueId::C2_01, "AVI,"));
        if (folderMode) {
            w_->C1_02->setItemIndex(1);
            w_->C1_03->setPath(work(QStringLiteral("out")));
        }
        go();
        const auto conv = calls(QStringLiteral("CONV"));
        QCOMPARE(conv.size(), 2);
        // The first job's result stands; the second never reached the encoder.
        QCOMPARE(conv[0].back(), work(result));
        QCOMPARE(conv[0][2], work(sources[0]));
        QCOMPARE(conv[1][2], work(sources[2]));
        QCOMPARE(recorded(Record::Message),
                 (QStringList{notice(
                     {QFileInfo(sources[1]).fileName() + QStringLiteral(": ") + kOtherResult})}));
        expectAcceptsInput();
    }

    void previousResultKeptUntilSuccess_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("twoPass");
        QTest::addColumn<bool>("cancel");  // the first conversion hangs and is cancelled
        QTest::addColumn<bool>("replaced");
        QTest::addColumn<QString>("reason");  // empty: no notice
        QTest::addColumn<int>("conversions");
        QTest::newRow("success replaces it") << "ok" << false << false << true << QString() << 1;
        QTest::newRow("failing pass") << "fail" << false << false << false << kExit1 << 1;
        QTest::newRow("failing pass 1 of two") << "fail" << true << false << false << kExit1 << 1;
        QTest::newRow("empty result") << "empty" << false << false << false << kEmptyResult << 1;
        QTest::newRow("no result at all") << "none" << false << false << false << kEmptyResult << 1;
        QTest::newRow("cancelled only pass")
            << "hang_once" << false << true << false << QString() << 1;
        QTest::newRow("cancelled pass 1, pass 2 succeeds")
            << "hang_once" << true << true << true << QString() << 2;
    }
    void previousResultKeptUntilSuccess() {
        QFETCH(QString, mode);
        QFETCH(bool, twoPass);
        QFETCH(bool, cancel);
        QFETCH(bool, replaced);
        QFETCH(QString, reason);
        QFETCH(int, conversions);
        const QString src = addSource(QStringLiteral("a.wmv"));
        QVERIFY(setMtime(src, {1500000002, 0}));
        const QString out = work(QStringLiteral("a.avi"));
        writeFile(out, "OLD RESULT");
        QVERIFY(setMtime(out, {1300000001, 424242}));
        w_->C2_01->setItemIndex(rowOf(qv::CatalogueId::C2_01, "AVI,"));
        w_->CheckBox1->setChecked(twoPass);
        setModes(QStringLiteral("valid"), mode);
        if (cancel)
            duringRun([this] { return QFile::exists(prog(QStringLiteral("written"))); },
                      [this] { clickCancel(); });
        go();
        QCOMPARE(calls(QStringLiteral("CONV")).size(), conversions);
        // While the encoder worked, the old result waited under a hidden name beside it,
        // where a program killed meanwhile leaves it.
        const auto hidden = calls(QStringLiteral("HIDDEN"));
        QCOMPARE(hidden.size(), conversions);
        QCOMPARE(hidden[0].mid(1),
                 (QStringList{QStringLiteral(".a.avi.previous"), QStringLiteral("OLD RESULT")}));
        QVERIFY(calls(QStringLiteral("EXISTED")).size() < conversions);  // never written over
        if (replaced) {
            QCOMPARE(readFile(out), QByteArray("part1part2"));
            QCOMPARE(mtimeOf(out).tv_sec, time_t(1500000002));
        } else {
            QCOMPARE(readFile(out), QByteArray("OLD RESULT"));
            QCOMPARE(mtimeOf(out).tv_sec, time_t(1300000001));
            QCOMPARE(mtimeOf(out).tv_nsec, 424242L);
        }
        QCOMPARE(hiddenIn(work_->path()), QStringList());
        QCOMPARE(recorded(Record::Message),
                 reason.isEmpty() ? QStringList()
                                  : QStringList{notice({QStringLiteral("a.wmv: ") + reason})});
        expectAcceptsInput();
    }

    void reasonAndLogOfTheEncoder() {
        addSource(QStringLiteral("a.wmv"));
        addSource(QStringLiteral("b.wmv"));
        w_->C2_01->setItemIndex(rowOf(qv::CatalogueId::C2_01, "AVI,"));
        w_->CheckBox1->setChecked(true);
        setModes(QStringLiteral("valid"), QStringLiteral("report"));
        writeFile(logPath(), "LOG OF THE RUN BEFORE\n");
        go();
        // The encoder's line is the reason; the log holds this run only.
        QCOMPARE(recorded(Record::Message),
                 (QStringList{notice({QStringLiteral("a.wmv: 入力ファイルを読めません"),
                                      QStringLiteral("b.wmv: 入力ファイルを読めません")})}));
        QCOMPARE(readFile(logPath()), QByteArray("encoder words\nencoder words\n"));
        const auto env = calls(QStringLiteral("ENV"));
        QCOMPARE(env.size(), 2);
        QCOMPARE(env[0][2], logPath());
        // A report file of its own for every pass, private and gone afterwards.
        QVERIFY(!env[0][1].isEmpty() && env[0][1] != QLatin1String("unset"));
        QVERIFY(env[0][1] != env[1][1]);
        QVERIFY(!QFile::exists(env[0][1]) && !QFile::exists(env[1][1]));
        QVERIFY(!QFile::exists(work(QStringLiteral("a.avi"))));
    }

    void stopWholeBatch_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("yes");
        QTest::newRow("Esc, yes") << "esc" << true;
        QTest::newRow("Shift+click, yes") << "shift" << true;
        QTest::newRow("Esc, no keeps the batch going") << "esc" << false;
        QTest::newRow("main window closed, yes") << "close" << true;
        QTest::newRow("main window closed, no") << "close" << false;
    }
    void stopWholeBatch() {
        QFETCH(QString, how);
        QFETCH(bool, yes);
        for (const char* n : {"a.wmv", "b.wmv", "c.wmv"}) addSource(QString::fromLatin1(n));
        const QString a = work(QStringLiteral("a.avi"));
        writeFile(a, "OLD RESULT");
        w_->C2_01->setItemIndex(rowOf(qv::CatalogueId::C2_01, "AVI,"));
        w_->CheckBox1->setChecked(true);
        setModes(QStringLiteral("valid"), QStringLiteral("hang_once"));
        duringRun([this] { return QFile::exists(prog(QStringLiteral("written"))); },
                  [this, how, yes] {
                      qv::ui::testing::queueYesNo(yes);
                      if (how == QLatin1String("esc"))
                          QTest::keyClick(qvtest::progressWindow(), Qt::Key_Escape);
                      else if (how == QLatin1String("close"))
                          w_->close();
                      else
                          QTest::mouseClick(qvtest::progressWindow()->CButton1, Qt::LeftButton,
                                            Qt::ShiftModifier,
                                            qvtest::progressWindow()->CButton1->rect().center());
                      // No: the pass goes on until an ordinary cancel.
                      if (!yes && qvtest::progressWindow()) clickCancel();
                  });
        go();
        QCOMPARE(recorded(Record::Question), (QStringList{kStopQuestion}));
        QVERIFY(recorded(Record::Message).isEmpty());
        if (yes) {
            // The running pass is cancelled, pass 2 and every later job skipped.
            QCOMPARE(calls(QStringLiteral("CONV")).size(), 1);
            QCOMPARE(readFile(a), QByteArray("OLD RESULT"));
            QVERIFY(!QFile::exists(work(QStringLiteral("b.avi"))));
            QCOMPARE(w_->ShadowLabel1->Caption(), kStopped);
        } else {
            QCOMPARE(calls(QStringLiteral("CONV")).size(), 6);
            QCOMPARE(readFile(a), QByteArray("part1part2"));
            QCOMPARE(readFile(work(QStringLiteral("c.avi"))), QByteArray("part1part2"));
            QCOMPARE(w_->ShadowLabel1->Caption(), kFinished);
        }
        // A close asked for during the run comes once the run has ended, and only on yes.
        QVERIFY(w_->isVisible());
        QCoreApplication::processEvents();
        QCOMPARE(w_->isVisible(), !(yes && how == QLatin1String("close")));
        if (w_->isVisible()) expectAcceptsInput();
    }

    void homeFolderDestination_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("expected");  // below the home folder
        QTest::newRow("the home folder") << "~"
                                         << "a.avi";
        QTest::newRow("below it") << "~/Videos/"
                                  << "Videos/a.avi";
    }
    void homeFolderDestination() {
        QFETCH(QString, folder);
        QFETCH(QString, expected);
        QTemporaryDir home;
        QTemporaryDir cwd;
        const QByteArray oldHome = qgetenv("HOME");
        const QString oldCwd = QDir::currentPath();
        qputenv("HOME", QFile::encodeName(home.path()));
        QDir::setCurrent(cwd.path());
        addSource(QStringLiteral("a.wmv"));
        w_->C2_01->setItemIndex(rowOf(qv::CatalogueId::C2_01, "AVI,"));
        w_->C1_02->setItemIndex(1);
        w_->C1_03->setPath(folder);
        go();
        qputenv("HOME", oldHome);
        QDir::setCurrent(oldCwd);
        QCOMPARE(readFile(QDir(home.path()).filePath(expected)), QByteArray("part1part2"));
        QCOMPARE(QDir(cwd.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList());
        QVERIFY(recorded(Record::Message).isEmpty());
    }

    void emptyListDoesNothing() {
        w_->CButton10Click();
        w_->CButton14Click();
        QVERIFY(calls().isEmpty());
        QVERIFY(qv::ui::testing::records().isEmpty());
        QVERIFY(!w_->PreviewMode);
        QVERIFY(!qvtest::progressWindow());
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
