// Go! and preview: the batch run over the job list, with its progress window.
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QPointer>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "base/path.h"
#include "run/batch_rules.h"
#include "run/command_line.h"
#include "run/encoder_process.h"
#include "run/thumbnail.h"
#include "ui/progress/batch_host.h"
#include "ui/progress/progress_form.h"
#include "ui/services/dialogs.h"
#include "ui/widgets/TImage.h"
#include "ui/widgets/TShadowLabel.h"
#include "ui/widgets/TdxfProgressBar.h"

namespace {

namespace fs = std::filesystem;

const QString kUnsupportedNotice = QStringLiteral(
    "変換できない非対応ファイルが含まれていました。保存先に指定したフォルダで変換結果をご確認下さい。");
const QString kAbortMessage = QStringLiteral("原因が特定できないエラーが生じました。処理を中止します。");
const QString kFinishedStatus = QStringLiteral("変換処理は終了しました。");
constexpr int kListedFailures = 20;
constexpr int kThumbnailWaitMs = 1000;

// An error outside the guarded part of a pass: the run is given up.
struct AbortRun {};

QString displayName(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(qv::fileNameOf(path)));
}

// Close requests for the owning window wait until the run has ended.
class CloseBlocker : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Close) {
            event->ignore();
            return true;
        }
        return false;
    }
};

class BatchRun {
public:
    explicit BatchRun(TBatchHost& host) : host_(host), record_(host.runRecord()), window_(host.batchWindow()) {}

    void run();

private:
    enum class PassEnd { Done, EncoderCannotStart };

    void openProgressWindow();
    void releaseProgressWindow();
    void finish();
    void abort();
    void release();
    // One pass of one job; failures inside only mark the job.
    PassEnd runPass(int job, int pass, const timespec& sourceTime);
    void showThumbnail();
    void markFailed(int job);
    std::vector<std::string> jobs() const;

    TBatchHost& host_;
    TRunRecord& record_;
    QWidget& window_;
    qv::ConversionSettings settings_;
    std::string encoder_;
    std::string programFolder_;
    bool unsupported_ = false;
    std::vector<int> failedJobs_;
    std::optional<qv::SourceSet> sources_;
    CloseBlocker closeBlocker_;
};

std::vector<std::string> BatchRun::jobs() const {
    std::vector<std::string> all;
    for (int job = 0; job < host_.jobCount(); ++job) all.push_back(host_.jobAt(job));
    return all;
}

void BatchRun::openProgressWindow() {
    auto* form = new TProgressForm1(
        &window_, TProgressForm1::RunFields{&record_.SourcePath, &record_.DestPath, &record_.ProcessInfo});
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
}

void BatchRun::finish() {
    if (unsupported_) {
        QString text = kUnsupportedNotice + QStringLiteral("\n");
        const int listed = std::min<int>(kListedFailures, static_cast<int>(failedJobs_.size()));
        for (int i = 0; i < listed; ++i)
            text += QStringLiteral("\n") + displayName(host_.jobAt(failedJobs_[static_cast<std::size_t>(i)]));
        const int rest = static_cast<int>(failedJobs_.size()) - listed;
        if (rest > 0) text += QStringLiteral("\nほか %1 件").arg(rest);
        qv::ui::beep();
        qv::ui::showMessage(text);
    }
    qv::ui::beep();
    host_.showStatus(kFinishedStatus);
    release();
}

void BatchRun::abort() {
    qv::ui::beep();
    qv::ui::showMessage(kAbortMessage);
    release();
}

void BatchRun::markFailed(int job) {
    unsupported_ = true;
    if (failedJobs_.empty() || failedJobs_.back() != job) failedJobs_.push_back(job);
}

void BatchRun::showThumbnail() {
    TProgressForm1* form = ProgressForm1;
    const std::string thumb = qv::thumbnailPath(programFolder_);
    // The encoder will not replace an existing picture: a leftover would be shown for
    // this source, or block every later one.
    qv::removeFile(thumb);
    std::error_code ec;
    if (fs::exists(fs::path(thumb), ec)) return;
    if (encoder_.empty()) return;

    const qv::EncoderCommand command = qv::buildThumbnailCommand(record_.SourcePath, programFolder_);
    qv::EncoderProcess maker;
    if (!maker.start(encoder_, command.args)) return;
    if (!maker.waitFor(kThumbnailWaitMs)) {
        // Never read a picture that may still be half written.
        maker.stop();
        qv::removeFile(thumb);
        return;
    }
    if (!fs::exists(fs::path(thumb), ec)) return;
    qv::RgbImage picture;
    const qv::FileResult decoded = qv::decodeJpegFile(thumb, picture);
    if (!decoded) throw std::runtime_error(decoded.message);
    if (form) form->Image1->setPicture(picture);
    qv::removeFile(thumb);
}

BatchRun::PassEnd BatchRun::runPass(int job, int pass, const timespec& sourceTime) {
    TProgressForm1* form = ProgressForm1;
    form->ProgressBar1->setPosition(job);
    form->Label1->setCaption(displayName(record_.SourcePath) + QStringLiteral(" -> ") +
                             displayName(record_.DestPath));
    // Cleared before the repaint, so the last job's picture never stands beside this name.
    form->Image1->clearPicture();
    form->repaint();

    const qv::EncoderCommand command = qv::buildConversionCommand(
        settings_, record_.SourcePath, record_.DestPath, pass, record_.PreviewMode);
    try {
        showThumbnail();
        form->Cancelled = false;
        if (encoder_.empty() || !record_.ProcessInfo.start(encoder_, command.args))
            return PassEnd::EncoderCannotStart;
        // Between slices the progress window's tick and cancel button get their turn.
        QPointer<TProgressForm1> guard(form);
        record_.ProcessInfo.waitInSlices([] { QCoreApplication::processEvents(QEventLoop::AllEvents); });
        const bool cancelled = guard && guard->Cancelled;
        if (cancelled) qv::removeFile(record_.DestPath);
        qv::stampResult(record_.DestPath, sourceTime);
        if (!cancelled && record_.ProcessInfo.exitCode() != 0) markFailed(job);
    } catch (...) {
        markFailed(job);
    }
    return PassEnd::Done;
}

void BatchRun::run() {
    openProgressWindow();
    try {
        settings_ = host_.settingsSnapshot();
        programFolder_ = host_.programFolder();
        encoder_ = qv::resolveEncoder(programFolder_);
        const int passes = settings_.CheckBox1 ? 2 : 1;

        if (settings_.C1_02 == 1) {
            if (settings_.C1_03.empty()) throw AbortRun{};
            std::error_code ec;  // a folder that cannot be made shows up as failed passes
            fs::create_directories(fs::path(qv::stripTrailingSeparators(settings_.C1_03)), ec);
        }

        sources_.emplace(jobs());
        for (int job = 0; job < host_.jobCount(); ++job) {
            for (int pass = 1; pass <= passes; ++pass) {
                const std::string source = host_.jobAt(job);
                const std::optional<timespec> sourceTime = qv::modificationTime(source);
                if (!sourceTime) {
                    markFailed(job);  // gone since it was queued: the others still run
                    break;
                }
                const std::string dest = qv::destinationFor(settings_, source);
                if (dest.empty() || sources_->contains(dest)) {
                    // Never write over, stamp or delete a queued source: this job's own,
                    // or one whose turn is still to come (a.avi and a.mp4 queued for MP4).
                    markFailed(job);
                    break;
                }
                record_.SourcePath = source;
                record_.DestPath = dest;
                record_.QuotedDestPath = "\"" + dest + "\"";
                if (runPass(job, pass, *sourceTime) == PassEnd::EncoderCannotStart) {
                    release();
                    return;
                }
            }
        }
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
    g_running = true;
    struct Reset {
        ~Reset() { g_running = false; }
    } reset;
    BatchRun(host).run();
}

}  // namespace qv::ui
