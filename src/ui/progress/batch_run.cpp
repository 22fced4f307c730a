// Go! and preview: the batch run over the job list, with its progress window.
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "base/file_places.h"
#include "base/path.h"
#include "run/batch_rules.h"
#include "run/command_line.h"
#include "run/encoder_process.h"
#include "run/thumbnail.h"
#include "ui/progress/batch_host.h"
#include "ui/progress/progress_form.h"
#include "ui/services/dialogs.h"
#include "ui/services/end_requests.h"
#include "ui/widgets/TImage.h"
#include "ui/widgets/TShadowLabel.h"
#include "ui/widgets/TdxfProgressBar.h"

namespace {

namespace fs = std::filesystem;

const QString kUnsupportedNotice = QStringLiteral(
    "変換できない非対応ファイルが含まれていました。保存先に指定したフォルダで変換結果をご確認下さい"
    "。");
const QString kUnknownError = QStringLiteral("原因が特定できないエラーが生じました");
const QString kAbortMessage = kUnknownError + QStringLiteral("。処理を中止します。");
const QString kFinishedStatus = QStringLiteral("変換処理は終了しました。");
const QString kStoppedStatus = QStringLiteral("変換処理を中止しました。");
// Why a job failed, one per job in the end notice.
const QString kSameAsSource = QStringLiteral("変換結果が元のファイルと同じになります");
const QString kOtherSource = QStringLiteral("変換結果が他の変換対象ファイルと同じ名前になります");
const QString kOtherResult = QStringLiteral("変換結果が他のファイルの変換結果と同じ名前になります");
const QString kNotRegular = QStringLiteral("変換結果の名前がリンクまたはフォルダです");
const QString kSourceMissing = QStringLiteral("ファイルが見つかりません");
const QString kSourceNotRegular = QStringLiteral("変換元が通常のファイルではありません");
const QString kEmptyResult = QStringLiteral("変換結果が空です");
const QString kDestinationGone = QStringLiteral("保存先のフォルダがなくなりました");
const QString kCannotSetAside = QStringLiteral("前の変換結果を退避できません");
// Hidden copies of earlier results that could be neither deleted nor put back, one a line.
const QString kLeftBehind = QStringLiteral("前の変換結果を退避したファイルが残っています。");
const QString kNotDeleted = QStringLiteral("%1: 削除できませんでした (%2)");
const QString kNotPutBack = QStringLiteral("%1: %2 に戻せませんでした (%3)");
const QString kNoDestination =
    QStringLiteral("保存先が選ばれていません。保存先を選んでから、もう一度お試し下さい。");
const QString kNoEncoder = QStringLiteral("変換に使う ffmpeg が見つかりません。");
const QString kEncoderWillNotStart = QStringLiteral("変換に使う ffmpeg を起動できません。");
constexpr int kListedFailures = 20;
constexpr int kThumbnailWaitMs = 1000;

// An error outside the guarded part of a pass: the run is given up.
struct AbortRun {};

QString displayName(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(qv::fileNameOf(path)));
}

QString displayPath(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

QString systemText(const std::string& text) { return QString::fromLocal8Bit(text.c_str()); }

// The first `kListedFailures` lines, and how many more there are.
QString listed(const QStringList& lines) {
    QString text;
    const qsizetype shown = std::min<qsizetype>(kListedFailures, lines.size());
    for (qsizetype i = 0; i < shown; ++i) text += QStringLiteral("\n") + lines[i];
    if (lines.size() > shown) text += QStringLiteral("\nほか %1 件").arg(lines.size() - shown);
    return text;
}

// A close request for the owning window during a run asks whether the whole batch should
// stop; if so, the window closes once the run has ended. It never closes under the run. One
// that comes from outside (a logout, a kill) stops the batch without asking.
class CloseBlocker : public QObject {
  public:
    using QObject::QObject;
    bool closeAfterRun() const { return closeAfterRun_; }

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::Close) return false;
        event->ignore();
        if (TProgressForm1* form = ProgressForm1; form && !closeAfterRun_) {
            if (qv::ui::EndRequests::instance().ending())
                form->stopAll();
            else
                form->askStopAll();
            closeAfterRun_ = form->StopAll;
        }
        return true;
    }

  private:
    bool closeAfterRun_ = false;
};

// The thumbnail call of one pass, made beside its conversion.
class Thumbnail {
  public:
    Thumbnail(std::string encoder, std::string programFolder)
        : encoder_(std::move(encoder)),
          path_(qv::thumbnailPath(programFolder)),
          folder_(std::move(programFolder)) {}

    void start(const std::string& source) {
        done_ = true;
        if (folder_.empty()) return;  // nowhere private to put it: no picture
        // The encoder will not replace an existing picture: a leftover would be shown for
        // this source, or block every later one.
        qv::removeFile(path_);
        std::error_code ec;
        if (fs::exists(fs::path(path_), ec) || encoder_.empty()) return;
        const qv::EncoderCommand command = qv::buildThumbnailCommand(source, folder_);
        // Its errors are of no interest to the user: they stay out of the run's log.
        if (!maker_.start(encoder_, command.args, nullptr,
                          {{"QUORVANE_LOG", std::nullopt}, {"QUORVANE_REPORT", std::nullopt}}))
            return;
        started_.start();
        done_ = false;
    }

    // Shows the picture once the call has ended; stops a call that takes too long.
    void poll(TProgressForm1* form) {
        if (done_) return;
        if (maker_.waitFor(0)) {
            done_ = true;
            qv::RgbImage picture;
            std::error_code ec;
            // A picture that cannot be decoded is simply not shown.
            if (fs::exists(fs::path(path_), ec) && qv::decodeJpegFile(path_, picture) && form) {
                form->Image1->setPicture(picture);
                form->Image1->repaint();  // also when the pass ends before the next event turn
            }
            qv::removeFile(path_);
        } else if (started_.elapsed() >= kThumbnailWaitMs) {
            giveUp();
        }
    }

    // The pass is over: a picture still to come would only hold the next pass up.
    void finish(TProgressForm1* form) {
        poll(form);
        if (!done_) giveUp();
    }

  private:
    void giveUp() {
        // Never read a picture that may still be half written.
        maker_.stop();
        qv::removeFile(path_);
        done_ = true;
    }

    std::string encoder_, path_, folder_;
    qv::EncoderProcess maker_;
    QElapsedTimer started_;
    bool done_ = true;
};

class BatchRun {
  public:
    BatchRun(TBatchHost& host, qv::ConversionSettings settings, std::string encoder)
        : host_(host),
          record_(host.runRecord()),
          window_(host.batchWindow()),
          settings_(std::move(settings)),
          encoder_(std::move(encoder)),
          programFolder_(host.programFolder()),
          thumbnail_(encoder_, qv::scratchFolder(programFolder_)),
          stateFolder_(qv::userStateFolder()),
          journal_(stateFolder_) {}

    void run();

  private:
    enum class PassEnd { Done, Cancelled, Failed, EncoderCannotStart };
    enum class JobEnd { Done, EncoderCannotStart };

    void openProgressWindow();
    void releaseProgressWindow();
    void finish();
    void abort();
    void release();
    JobEnd runJob(int job, int passes);
    // One pass of one job; a failure sets `reason`.
    PassEnd runPass(int pass, QString& reason);
    void fail(int job, const QString& reason) { failures_.push_back({job, reason}); }
    // The job did not come off: its result goes, the previous one comes back in its place.
    void giveBack(qv::PreviousResult& previous, const std::string& dest);
    // The message with the hidden copies that stayed, if any, added.
    QString withLeftBehind(QString text) const;
    // The process ends from under the run (the display is gone): the job under way is undone
    // as a cancel would undo it, so that nothing is left hidden. Shows nothing.
    void abandon();
    bool stopRequested() const { return ProgressForm1 && ProgressForm1->StopAll; }
    std::vector<std::string> jobs() const;

    TBatchHost& host_;
    TRunRecord& record_;
    QWidget& window_;
    qv::ConversionSettings settings_;
    std::string encoder_;
    std::string programFolder_;
    std::string log_;  // empty when the run keeps none
    std::vector<std::pair<int, QString>> failures_;
    std::optional<qv::SourceSet> sources_;
    qv::ResultSet results_;
    Thumbnail thumbnail_;
    std::string stateFolder_;
    qv::RunJournal journal_;  // what is set aside, for the next start should this one be killed
    QStringList leftBehind_;  // hidden copies that stayed, one line each
    bool stopped_ = false;
    std::string startError_;  // why the encoder could not be started
    CloseBlocker closeBlocker_;
    // The job under way from its set-aside to its end, for abandon().
    qv::PreviousResult* openJob_ = nullptr;
    std::string openDest_;
    std::string passReport_;  // the encoder's report file while a pass runs
    qv::ui::AtForcedExit abandonAtExit_{[this] { abandon(); }};
};

std::vector<std::string> BatchRun::jobs() const {
    std::vector<std::string> all;
    for (int job = 0; job < host_.jobCount(); ++job) all.push_back(host_.jobAt(job));
    return all;
}

void BatchRun::openProgressWindow() {
    auto* form = new TProgressForm1(
        &window_,
        TProgressForm1::RunFields{&record_.SourcePath, &record_.DestPath, &record_.ProcessInfo});
    ProgressForm1 = form;
    form->ProgressBar1->setMax(host_.jobCount());
    form->ProgressBar1->setPosition(0);
    form->show();
    form->Timer1->start();
    window_.installEventFilter(&closeBlocker_);
    window_.setEnabled(false);
}

void BatchRun::releaseProgressWindow() {
    if (TProgressForm1* form = ProgressForm1) {
        form->Timer1->stop();
        form->hide();
        form->deleteLater();
    }
    ProgressForm1 = nullptr;
}

// Gives the window back to the user, however the run ended.
void BatchRun::release() {
    releaseProgressWindow();
    record_.PreviewMode = false;
    window_.removeEventFilter(&closeBlocker_);
    window_.setEnabled(true);
    // After the run's own messages: the close asked for during the run.
    if (closeBlocker_.closeAfterRun())
        QTimer::singleShot(0, &window_, [w = QPointer<QWidget>(&window_)] {
            if (w) w->close();
        });
}

QString BatchRun::withLeftBehind(QString text) const {
    if (leftBehind_.isEmpty()) return text;
    if (!text.isEmpty()) text += QStringLiteral("\n\n");
    return text + kLeftBehind + QStringLiteral("\n") + listed(leftBehind_);
}

void BatchRun::finish() {
    QString text;
    if (!failures_.empty()) {
        text = kUnsupportedNotice + QStringLiteral("\n");
        QStringList lines;
        for (const auto& [job, reason] : failures_)
            lines << displayName(host_.jobAt(job)) + QStringLiteral(": ") + reason;
        text += listed(lines);
        if (!log_.empty())
            text += QStringLiteral("\n\n詳しくは ") + displayPath(log_) +
                    QStringLiteral(" をご覧下さい。");
    }
    text = withLeftBehind(text);
    if (!text.isEmpty()) {
        qv::ui::beep();
        qv::ui::showMessage(text);
    }
    qv::ui::beep();
    host_.showStatus(stopped_ ? kStoppedStatus : kFinishedStatus);
    release();
}

void BatchRun::abort() {
    qv::ui::beep();
    qv::ui::showMessage(withLeftBehind(kAbortMessage));
    release();
}

void BatchRun::giveBack(qv::PreviousResult& previous, const std::string& dest) {
    const std::string hidden = previous.hiddenPath();
    std::string why;
    if (previous.putBack(&why)) {
        if (hidden.empty()) qv::removeFile(dest);  // else replaced by the previous one
        return;
    }
    // A broken result would pass for a good one: it goes even when the old one cannot return.
    qv::removeFile(dest);
    leftBehind_ << kNotPutBack.arg(displayPath(hidden), displayPath(dest), systemText(why));
    previous.release();
}

void BatchRun::abandon() {
    if (!openJob_) return;
    record_.ProcessInfo.stop();
    if (!passReport_.empty()) ::unlink(passReport_.c_str());
    const bool hadPrevious = !openJob_->hiddenPath().empty();
    // A copy that cannot return now stays in the journal, for the next start.
    if (!openJob_->putBack() || !hadPrevious) qv::removeFile(openDest_);
    openJob_ = nullptr;
}

BatchRun::PassEnd BatchRun::runPass(int pass, QString& reason) {
    TProgressForm1* form = ProgressForm1;
    const qv::EncoderCommand command = qv::buildConversionCommand(
        settings_, record_.SourcePath, record_.DestPath, pass, record_.PreviewMode);
    // Cleared before the thumbnail starts, so the last job's picture never stands beside this name.
    form->Image1->clearPicture();
    form->repaint();

    // The picture is made beside the conversion, and shown once it is there.
    thumbnail_.start(record_.SourcePath);
    form->Cancelled = false;
    passReport_ = qv::makeReportFile();
    const std::string& report = passReport_;
    qv::EnvironmentChanges environment{
        {"QUORVANE_REPORT", report.empty() ? std::nullopt : std::optional<std::string>(report)},
        {"QUORVANE_LOG", log_.empty() ? std::nullopt : std::optional<std::string>(log_)}};
    struct RemoveReport {
        std::string& path;
        ~RemoveReport() {
            if (!path.empty()) ::unlink(path.c_str());
            path.clear();
        }
    } removeReport{passReport_};

    if (!record_.ProcessInfo.start(encoder_, command.args, &startError_, environment)) {
        thumbnail_.finish(nullptr);
        return PassEnd::EncoderCannotStart;
    }
    // Between slices the progress window's tick, cancel button and picture get their turn.
    QPointer<TProgressForm1> guard(form);
    record_.ProcessInfo.waitInSlices([this, &guard] {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        thumbnail_.poll(guard.data());
    });
    thumbnail_.finish(guard.data());
    if (guard && guard->Cancelled) {
        qv::removeFile(record_.DestPath);
        return PassEnd::Cancelled;
    }
    const qv::EncoderProcess& p = record_.ProcessInfo;
    if (p.exitCode() == 0) return PassEnd::Done;
    const std::string line = qv::readReportLine(report);
    const int code = p.exitCode() >= 0 ? p.exitCode() : 128 + p.termSignal();
    reason = line.empty() ? QStringLiteral("ffmpeg が終了コード %1 で終了しました").arg(code)
                          : QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size()));
    return PassEnd::Failed;
}

BatchRun::JobEnd BatchRun::runJob(int job, int passes) {
    const std::string source = host_.jobAt(job);
    const std::optional<timespec> sourceTime = qv::modificationTime(source);
    if (!sourceTime) {
        // Gone since it was queued, or something else stands at its name: the others still run.
        fail(job, qv::sourceState(source) == qv::SourceState::NotRegular ? kSourceNotRegular
                                                                         : kSourceMissing);
        return JobEnd::Done;
    }
    const std::string dest = qv::destinationFor(settings_, source);
    // Never write over, stamp or delete a queued source (this job's own, or one whose
    // turn is still to come), through a link, or onto another job's result.
    if (dest.empty()) throw AbortRun{};  // refused before the run; never guessed
    if (qv::sameFile(dest, source)) {
        fail(job, kSameAsSource);
        return JobEnd::Done;
    }
    if (sources_->contains(dest)) {
        fail(job, kOtherSource);
        return JobEnd::Done;
    }
    if (qv::isNonRegularEntry(dest)) {
        fail(job, kNotRegular);
        return JobEnd::Done;
    }
    if (!results_.claim(dest)) {
        fail(job, kOtherResult);
        return JobEnd::Done;
    }
    qv::PreviousResult previous(&journal_, job);
    std::string why;
    if (!previous.setAside(dest, &why)) {
        fail(job, kCannotSetAside + QStringLiteral(" (") + systemText(why) + QStringLiteral(")"));
        return JobEnd::Done;
    }
    openJob_ = &previous;
    openDest_ = dest;
    struct CloseJob {
        qv::PreviousResult*& job;
        ~CloseJob() { job = nullptr; }
    } closeJob{openJob_};

    record_.SourcePath = source;
    record_.DestPath = dest;
    record_.QuotedDestPath = "\"" + dest + "\"";
    TProgressForm1* form = ProgressForm1;
    form->ProgressBar1->setPosition(job);
    form->Label1->setCaption(displayName(source) + QStringLiteral(" -> ") + displayName(dest));

    PassEnd end = PassEnd::Done;
    QString reason;
    try {
        for (int pass = 1; pass <= passes; ++pass) {
            end = runPass(pass, reason);
            if (end == PassEnd::EncoderCannotStart || end == PassEnd::Failed) break;
            // Stopping the batch cancels a job whose last pass is still to come.
            if (stopRequested() && pass < passes) {
                end = PassEnd::Cancelled;
                break;
            }
        }
    } catch (...) {
        end = PassEnd::Failed;
        reason = kUnknownError;
    }
    if (end == PassEnd::Done && qv::fileSizeOf(dest) <= 0) {
        end = PassEnd::Failed;
        reason = kEmptyResult;
    }
    // A folder removed under the job is why, whatever the encoder made of it.
    if (end == PassEnd::Failed && !qv::folderExists(qv::folderOf(dest))) reason = kDestinationGone;
    switch (end) {
        case PassEnd::Done: {
            qv::stampResult(dest, *sourceTime);
            const std::string hidden = previous.hiddenPath();
            if (!previous.discard(&why)) {
                leftBehind_ << kNotDeleted.arg(displayPath(hidden), systemText(why));
                previous.release();
            }
            // Copies of this result that a killed program left hidden are stale now.
            qv::dropStaleCopies(stateFolder_, dest);
            break;
        }
        case PassEnd::Failed:
            fail(job, reason);
            giveBack(previous, dest);
            break;
        case PassEnd::Cancelled:
        case PassEnd::EncoderCannotStart:
            giveBack(previous, dest);
            break;
    }
    return end == PassEnd::EncoderCannotStart ? JobEnd::EncoderCannotStart : JobEnd::Done;
}

void BatchRun::run() {
    openProgressWindow();
    try {
        const int passes = settings_.CheckBox1 ? 2 : 1;
        if (settings_.C1_02 == 1) {
            if (settings_.C1_03.empty()) throw AbortRun{};
            std::error_code ec;  // a folder that cannot be made shows up as failed passes
            fs::create_directories(fs::path(qv::destinationFolder(settings_)), ec);
        }
        log_ = qv::runLogPath();
        if (!qv::startRunLog(log_)) log_.clear();

        sources_.emplace(jobs());
        for (int job = 0; job < host_.jobCount(); ++job) {
            if (stopRequested()) {
                stopped_ = true;
                break;
            }
            if (runJob(job, passes) == JobEnd::EncoderCannotStart) {
                // Every later job would fail the same way: the run ends here, saying why.
                release();
                qv::ui::beep();
                qv::ui::showMessage(withLeftBehind(kEncoderWillNotStart + QStringLiteral("\n") +
                                                   displayPath(startError_)));
                return;
            }
        }
        stopped_ = stopped_ || stopRequested();
    } catch (...) {
        abort();
        return;
    }
    finish();
}

bool g_running = false;

}  // namespace

namespace qv::ui {

bool batchRunning() { return g_running; }

void runBatch(TBatchHost& host) {
    // The window is disabled during a run; this also covers a call from code.
    if (g_running || host.jobCount() <= 0) return;
    qv::ConversionSettings settings = host.settingsSnapshot();
    // Refused before anything starts: there is nowhere to put the results, or nothing to make them.
    if (settings.C1_02 != 0 && settings.C1_02 != 1) {
        qv::ui::beep();
        qv::ui::showMessage(kNoDestination);
        return;
    }
    std::string encoder = qv::resolveEncoder(host.programFolder());
    if (encoder.empty()) {
        qv::ui::beep();
        qv::ui::showMessage(kNoEncoder);
        return;
    }
    g_running = true;
    struct Reset {
        ~Reset() { g_running = false; }
    } reset;
    BatchRun(host, std::move(settings), std::move(encoder)).run();
}

}  // namespace qv::ui
