// Go! and preview: the batch run over the job list, with its progress window.
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "base/file_places.h"
#include "base/path.h"
#include "run/batch_engine.h"
#include "run/batch_rules.h"
#include "run/command_line.h"
#include "run/encoder_process.h"
#include "run/thumbnail.h"
#include "ui/progress/batch_host.h"
#include "ui/progress/progress_form.h"
#include "ui/services/desktop_manners.h"
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
// How often an encoder without a process descriptor is looked at.
constexpr int kPollMs = 20;

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
    void setForm(TProgressForm1* form) { form_ = form; }

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::Close) return false;
        event->ignore();
        if (TProgressForm1* form = form_; form && !closeAfterRun_) {
            if (qv::ui::EndRequests::instance().ending())
                form->stopAll();
            else
                form->askStopAll();
            closeAfterRun_ = form->StopAll;
        }
        return true;
    }

  private:
    TProgressForm1* form_ = nullptr;
    bool closeAfterRun_ = false;
};

// The thumbnail call of one pass, made beside its conversion.
class Thumbnail {
  public:
    Thumbnail(std::string encoder, std::string programFolder)
        : encoder_(std::move(encoder)),
          path_(qv::thumbnailPath(programFolder)),
          folder_(std::move(programFolder)) {}

    bool pending() const { return !done_; }

    void start(const std::string& source) {
        if (!done_) giveUp();  // an older job's picture is of no more use
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

// The progress window as an observer of the run: a line per running job with its names and
// sizes, the batch's bar, and the newest job's picture.
class ProgressView : public qv::BatchObserver {
  public:
    ProgressView(TRunRecord& record, Thumbnail& thumbnail, int passes)
        : record_(record), thumbnail_(thumbnail), passes_(passes) {
        thumbTimer_.setInterval(kThumbnailPollMs);
        QObject::connect(&thumbTimer_, &QTimer::timeout, [this] {
            thumbnail_.poll(form_.data());
            if (!thumbnail_.pending()) thumbTimer_.stop();
        });
    }

    void setForm(TProgressForm1* form, int lines) {
        form_ = form;
        lineJobs_.assign(static_cast<std::size_t>(lines < 1 ? 1 : lines), -1);
        if (form_) form_->setLineCount(lines);
    }
    // The job on a line of the window; -1 when the line is free.
    int jobOfLine(int line) const {
        return line >= 0 && line < static_cast<int>(lineJobs_.size())
                   ? lineJobs_[static_cast<std::size_t>(line)]
                   : -1;
    }

    void jobStarted(int job, const std::string& source, const std::string& dest) override {
        int line = 0;
        while (line + 1 < static_cast<int>(lineJobs_.size()) && lineJobs_[line] >= 0) ++line;
        lineJobs_[static_cast<std::size_t>(line)] = job;
        sources_[job] = source;
        if (line == 0) {
            record_.SourcePath = source;
            record_.DestPath = dest;
            record_.QuotedDestPath = "\"" + dest + "\"";
        }
        if (!form_) return;
        // Jobs ended so far: for one job at a time, the job's own number, as always.
        form_->ProgressBar1->setPosition(ended_);
        form_->nameLabel(line)->setCaption(displayName(source) + QStringLiteral(" -> ") +
                                           displayName(dest));
        if (line > 0) {
            form_->setLinePaths(line, source, dest);
            form_->lineBar(line)->setMax(passes_);
            form_->lineBar(line)->setPosition(0);
        }
    }

    void passStarting(int job, int pass) override {
        // Cleared before the thumbnail starts, so the last job's picture never stands beside
        // this name.
        if (form_) {
            form_->Image1->clearPicture();
            form_->repaint();
            const int line = lineOf(job);
            if (line > 0) form_->lineBar(line)->setPosition(pass - 1);
        }
        // The picture is made beside the conversion, and shown once it is there.
        thumbnail_.start(sources_[job]);
        if (thumbnail_.pending()) thumbTimer_.start();
        if (form_) form_->Cancelled = false;
    }

    void passEnded(int, int) override {
        thumbnail_.finish(form_.data());
        thumbTimer_.stop();
    }

    void jobEnded(int job, qv::JobEnd, const std::string&) override {
        ++ended_;
        sources_.erase(job);
        const int line = lineOf(job);
        if (line < 0) return;
        lineJobs_[static_cast<std::size_t>(line)] = -1;
        if (form_ && line > 0) {
            form_->setLinePaths(line, {}, {});
            form_->nameLabel(line)->setCaption(QString());
            form_->sizeLabel(line)->setCaption(QString());
            form_->lineBar(line)->setPosition(0);
        }
    }

  private:
    int lineOf(int job) const {
        for (std::size_t i = 0; i < lineJobs_.size(); ++i)
            if (lineJobs_[i] == job) return static_cast<int>(i);
        return -1;
    }

    static constexpr int kThumbnailPollMs = 20;
    TRunRecord& record_;
    Thumbnail& thumbnail_;
    int passes_;
    QPointer<TProgressForm1> form_;
    QTimer thumbTimer_;
    std::vector<int> lineJobs_{-1};
    std::map<int, std::string> sources_;
    int ended_ = 0;
};

// The desktop's side of a batch: the machine stays awake while it runs, and a long batch
// that ends unseen is announced once.
class DesktopNotice : public qv::BatchObserver {
  public:
    explicit DesktopNotice(std::function<bool()> windowActive)
        : windowActive_(std::move(windowActive)) {
        started_.start();
    }
    void jobEnded(int, qv::JobEnd end, const std::string&) override {
        converted_ += end == qv::JobEnd::Done ? 1 : 0;
        failed_ += end == qv::JobEnd::Failed ? 1 : 0;
    }
    void batchEnded(const qv::BatchSummary&) override {
        inhibitor_.reset();
        qv::ui::notifyBatchEnd(converted_, failed_, std::chrono::milliseconds(started_.elapsed()),
                               windowActive_());
    }

  private:
    std::function<bool()> windowActive_;
    std::optional<qv::ui::SleepInhibitor> inhibitor_{std::in_place};
    QElapsedTimer started_;
    int converted_ = 0, failed_ = 0;
};

class BatchRun : public qv::BatchObserver {
  public:
    BatchRun(TBatchHost& host, qv::ConversionSettings settings, std::string encoder)
        : host_(host),
          record_(host.runRecord()),
          window_(host.batchWindow()),
          settings_(std::move(settings)),
          encoder_(std::move(encoder)),
          programFolder_(host.programFolder()),
          thumbnail_(encoder_, qv::scratchFolder(programFolder_)),
          view_(record_, thumbnail_, settings_.CheckBox1 ? 2 : 1) {
        pumpSoon_.setSingleShot(true);
        QObject::connect(&pumpSoon_, &QTimer::timeout, [this] { pump(); });
    }

    void run();

    // The end notice and the status line.
    void batchEnded(const qv::BatchSummary& summary) override {
        summary_ = summary;
        loop_.quit();
    }

  private:
    void openProgressWindow();
    void releaseProgressWindow();
    void finish(const qv::BatchSummary& summary);
    void release();
    // Lets the engine do what is due, and comes back as soon as it has more.
    void pump();
    // The message with the hidden copies that stayed, if any, added.
    QString withLeftBehind(QString text, const qv::BatchSummary& summary) const;
    std::vector<std::string> jobs() const;

    TBatchHost& host_;
    TRunRecord& record_;
    QWidget& window_;
    qv::ConversionSettings settings_;
    std::string encoder_;
    std::string programFolder_;
    Thumbnail thumbnail_;
    ProgressView view_;
    qv::BatchObservers observers_;
    std::optional<DesktopNotice> desktop_;
    std::unique_ptr<qv::BatchEngine> engine_;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer pumpSoon_;
    QEventLoop loop_;
    std::optional<qv::BatchSummary> summary_;
    int parallel_ = 1;
    TProgressForm1* form_ = nullptr;
    CloseBlocker closeBlocker_;
    // The process ends from under the run (the display is gone): the jobs under way are
    // undone as a cancel would undo them, so that nothing is left hidden. Shows nothing.
    qv::ui::AtForcedExit abandonAtExit_{[this] {
        if (engine_) engine_->abandon();
    }};
};

std::vector<std::string> BatchRun::jobs() const {
    std::vector<std::string> all;
    for (int job = 0; job < host_.jobCount(); ++job) all.push_back(host_.jobAt(job));
    return all;
}

void BatchRun::openProgressWindow() {
    form_ = new TProgressForm1(
        &window_,
        TProgressForm1::RunFields{&record_.SourcePath, &record_.DestPath, &record_.ProcessInfo});
    form_->setRunControls(
        [this](int line) {
            const int job = view_.jobOfLine(line);
            const bool stopped = engine_ && job >= 0 && engine_->cancel(job);
            if (stopped) pumpSoon_.start(0);
            return stopped;
        },
        [this] {
            if (!engine_) return;
            // Ended from outside (a logout): the jobs left are offered at the next start.
            if (qv::ui::EndRequests::instance().ending())
                engine_->interrupt();
            else
                engine_->cancelAll();
            pumpSoon_.start(0);
        });
    // Only for whoever looks for the window of the run in progress; the run keeps its own.
    ProgressForm1 = form_;
    view_.setForm(form_, parallel_);
    closeBlocker_.setForm(form_);
    form_->ProgressBar1->setMax(host_.jobCount());
    form_->ProgressBar1->setPosition(0);
    form_->show();
    form_->Timer1->start();
    window_.installEventFilter(&closeBlocker_);
    window_.setEnabled(false);
}

void BatchRun::releaseProgressWindow() {
    if (TProgressForm1* form = form_) {
        form->Timer1->stop();
        form->hide();
        form->deleteLater();
    }
    if (ProgressForm1 == form_) ProgressForm1 = nullptr;
    form_ = nullptr;
    view_.setForm(nullptr, 1);
    closeBlocker_.setForm(nullptr);
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

QString BatchRun::withLeftBehind(QString text, const qv::BatchSummary& summary) const {
    if (summary.leftBehind.empty()) return text;
    QStringList lines;
    for (const qv::LeftBehind& l : summary.leftBehind)
        lines << (l.kind == qv::LeftBehind::Kind::NotDeleted
                      ? kNotDeleted.arg(displayPath(l.hidden), systemText(l.why))
                      : kNotPutBack.arg(displayPath(l.hidden), displayPath(l.dest),
                                        systemText(l.why)));
    if (!text.isEmpty()) text += QStringLiteral("\n\n");
    return text + kLeftBehind + QStringLiteral("\n") + listed(lines);
}

void BatchRun::finish(const qv::BatchSummary& summary) {
    QString text;
    if (!summary.failures.empty()) {
        text = kUnsupportedNotice + QStringLiteral("\n");
        QStringList lines;
        for (const auto& [job, reason] : summary.failures)
            lines << displayName(host_.jobAt(job)) + QStringLiteral(": ") +
                         QString::fromUtf8(reason.data(), static_cast<qsizetype>(reason.size()));
        text += listed(lines);
        const std::string& log = engine_->logPath();
        if (!log.empty())
            text += QStringLiteral("\n\n詳しくは ") + displayPath(log) +
                    QStringLiteral(" をご覧下さい。");
    }
    text = withLeftBehind(text, summary);
    if (!text.isEmpty()) {
        qv::ui::beep();
        qv::ui::showMessage(text);
    }
    qv::ui::beep();
    host_.showStatus(summary.end == qv::BatchSummary::End::Stopped ? kStoppedStatus
                                                                   : kFinishedStatus);
    release();
}

void BatchRun::pump() {
    if (!engine_ || engine_->ended()) return;
    engine_->step(0);
    if (engine_->ended()) return;
    if (engine_->hasWorkNow())
        pumpSoon_.start(0);
    else if (engine_->needsPolling())
        pumpSoon_.start(kPollMs);
}

void BatchRun::run() {
    parallel_ = std::max(1, std::min(host_.parallelJobs(), host_.jobCount()));
    openProgressWindow();
    qv::BatchOptions options;
    options.settings = settings_;
    options.encoder = encoder_;
    options.preview = record_.PreviewMode;
    options.parallel = parallel_;
    options.stateFolder = qv::userStateFolder();
    desktop_.emplace(
        [this] { return window_.isActiveWindow() || (form_ && form_->isActiveWindow()); });
    observers_.add(view_);
    observers_.add(*desktop_);
    observers_.add(*this);
    engine_ = std::make_unique<qv::BatchEngine>(options, jobs(), observers_);
    if (engine_->waitDescriptor() >= 0) {
        notifier_ =
            std::make_unique<QSocketNotifier>(engine_->waitDescriptor(), QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { pump(); });
    }
    pumpSoon_.start(0);
    // The window's own events go on while the engine runs: nothing here waits for a process.
    if (!summary_) loop_.exec();
    notifier_.reset();
    pumpSoon_.stop();
    const qv::BatchSummary summary = summary_ ? *summary_ : qv::BatchSummary{};
    switch (summary.end) {
        case qv::BatchSummary::End::EncoderCannotStart:
            release();
            qv::ui::beep();
            qv::ui::showMessage(withLeftBehind(
                kEncoderWillNotStart + QStringLiteral("\n") + displayPath(summary.startError),
                summary));
            break;
        case qv::BatchSummary::End::Aborted:
            qv::ui::beep();
            qv::ui::showMessage(withLeftBehind(kAbortMessage, summary));
            release();
            break;
        case qv::BatchSummary::End::Finished:
        case qv::BatchSummary::End::Stopped:
            finish(summary);
            break;
    }
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
