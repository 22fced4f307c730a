// Go!, preview and play: the batch run over the job list.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QListWidget>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <algorithm>
#include <set>
#include <utility>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "run/command_line.h"
#include "run/encoder_process.h"
#include "run/thumbnail.h"
#include "run/window/progress_form.h"
#include "settings/catalogues.h"
#include "settings/column_split.h"
#include "settings/conversion_settings.h"
#include "ui/app/dialogs.h"
#include "ui/main_window/TMainForm1.h"
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
constexpr int kWaitSliceMs = 60;

// An error outside the guarded part of a pass: the run is given up.
struct AbortRun {};

QString displayName(const std::string& path) {
    const auto slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return QFile::decodeName(QByteArray::fromStdString(name));
}

std::string fileNameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string lowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// The result's extension: the container's own, or the source's (dot included, empty
// when its name has none).
std::string resultExtension(const qv::ConversionSettings& s, const std::string& sourceName) {
    if (s.C2_01 != 0) {
        // No row chosen (-1) counts as chosen, with an empty value.
        const auto rows = qv::catalogue(qv::CatalogueId::C2_01);
        const bool inRange = s.C2_01 > 0 && static_cast<std::size_t>(s.C2_01) < rows.size();
        return "." + lowerAscii(inRange ? qv::columnOf(rows[static_cast<std::size_t>(s.C2_01)], 0)
                                        : std::string());
    }
    const auto dot = sourceName.rfind('.');
    return dot == std::string::npos ? std::string() : sourceName.substr(dot);
}

std::string resultName(const std::string& sourceName, const std::string& extension) {
    const auto dot = sourceName.rfind('.');
    return (dot == std::string::npos ? sourceName : sourceName.substr(0, dot)) + extension;
}

// True when both paths name one existing file, however they are spelt (links, "..",
// hard links included).
// The source's modification time; false when the file is not there to read.
bool modificationTime(const std::string& path, timespec& out) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    out = st.st_mtim;
    return true;
}

// Gives the result the source's time, to the nanosecond; a missing file is left alone.
void stampResult(const std::string& path, const timespec& when) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    const timespec times[2] = {{0, UTIME_OMIT}, when};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

// Removes a file; a folder of that name is never touched.
void removeFile(const std::string& path) {
    std::error_code ec;
    if (fs::is_directory(fs::symlink_status(fs::path(path), ec))) return;
    fs::remove(fs::path(path), ec);
}

// Close requests for the main window wait until the run has ended.
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
    explicit BatchRun(TMainForm1& main) : main_(main) {}

    void run();

private:
    enum class PassEnd { Done, EncoderCannotStart };

    void openProgressWindow();
    void releaseProgressWindow();
    void finish();
    void abort();
    void startFailed();
    // One pass of one job; failures inside only mark the job.
    PassEnd runPass(int job, int pass, const timespec& sourceTime);
    void showThumbnail();
    void markFailed(int job);
    std::string destinationFor(const std::string& source);
    void collectSources();
    bool isSource(const std::string& path) const;

    TMainForm1& main_;
    qv::ConversionSettings settings_;
    std::string encoder_;
    std::string programFolder_;
    bool unsupported_ = false;
    std::vector<int> failedJobs_;
    std::set<std::pair<dev_t, ino_t>> sources_;  // every queued source, as a file
    CloseBlocker closeBlocker_;
};

void BatchRun::collectSources() {
    for (int job = 0; job < main_.jobCount(); ++job) {
        struct stat st {};
        if (::stat(main_.jobAt(job).c_str(), &st) == 0) sources_.emplace(st.st_dev, st.st_ino);
    }
}

// Compared as files, so another name or a link for a source counts as that source.
bool BatchRun::isSource(const std::string& path) const {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && sources_.count({st.st_dev, st.st_ino}) > 0;
}

void BatchRun::openProgressWindow() {
    auto* form = new TProgressForm1(&main_);
    ProgressForm1 = form;
    form->ProgressBar1->setMax(main_.jobCount());
    form->ProgressBar1->setPosition(0);
    form->show();
    form->Timer1->start();
    main_.installEventFilter(&closeBlocker_);
    main_.setEnabled(false);
}

void BatchRun::releaseProgressWindow() {
    if (TProgressForm1* form = ProgressForm1) {
        form->Timer1->stop();
        form->hide();
        form->deleteLater();
    }
    ProgressForm1 = nullptr;
}

void BatchRun::finish() {
    if (unsupported_) {
        QString text = kUnsupportedNotice + QStringLiteral("\n");
        const int listed = std::min<int>(kListedFailures, static_cast<int>(failedJobs_.size()));
        for (int i = 0; i < listed; ++i)
            text += QStringLiteral("\n") + displayName(main_.jobAt(failedJobs_[static_cast<std::size_t>(i)]));
        const int rest = static_cast<int>(failedJobs_.size()) - listed;
        if (rest > 0) text += QStringLiteral("\nほか %1 件").arg(rest);
        qv::ui::beep();
        qv::ui::showMessage(text);
    }
    qv::ui::beep();
    main_.ShadowLabel1->setCaption(kFinishedStatus);
    releaseProgressWindow();
    main_.PreviewMode = false;
    main_.removeEventFilter(&closeBlocker_);
    main_.setEnabled(true);
}

void BatchRun::abort() {
    qv::ui::beep();
    qv::ui::showMessage(kAbortMessage);
    releaseProgressWindow();
    main_.PreviewMode = false;
    main_.removeEventFilter(&closeBlocker_);
    main_.setEnabled(true);
}

void BatchRun::startFailed() {
    releaseProgressWindow();
    main_.PreviewMode = false;
    main_.removeEventFilter(&closeBlocker_);
    main_.setEnabled(true);
}

void BatchRun::markFailed(int job) {
    unsupported_ = true;
    if (failedJobs_.empty() || failedJobs_.back() != job) failedJobs_.push_back(job);
}

// Empty when the mode has no row chosen: writing to the previous job's result would
// overwrite it with another file.
std::string BatchRun::destinationFor(const std::string& source) {
    const std::string sourceName = fileNameOf(source);
    const std::string name = resultName(sourceName, resultExtension(settings_, sourceName));
    if (settings_.C1_02 == 0) return folderOf(source) + name;
    if (settings_.C1_02 == 1) {
        std::string folder = qv::stripTrailingSeparators(settings_.C1_03);
        if (folder.empty() || folder.back() != '/') folder += '/';
        return folder + name;
    }
    return {};
}

void BatchRun::showThumbnail() {
    TProgressForm1* form = ProgressForm1;
    const std::string thumb = qv::thumbnailPath(programFolder_);
    // The encoder will not replace an existing picture: a leftover would be shown for
    // this source, or block every later one.
    removeFile(thumb);
    std::error_code ec;
    if (fs::exists(fs::path(thumb), ec)) return;
    if (encoder_.empty()) return;

    const qv::EncoderCommand command = qv::buildThumbnailCommand(main_.SourcePath, programFolder_);
    qv::EncoderProcess maker;
    if (!maker.start(encoder_, command.args)) return;
    if (!maker.waitFor(kThumbnailWaitMs)) {
        // Never read a picture that may still be half written.
        maker.stop();
        removeFile(thumb);
        return;
    }
    if (!fs::exists(fs::path(thumb), ec)) return;
    qv::RgbImage picture;
    std::string error;
    if (!qv::decodeJpegFile(thumb, picture, &error)) throw std::runtime_error(error);
    if (form) form->Image1->setPicture(picture);
    removeFile(thumb);
}

BatchRun::PassEnd BatchRun::runPass(int job, int pass, const timespec& sourceTime) {
    TProgressForm1* form = ProgressForm1;
    form->ProgressBar1->setPosition(job);
    form->Label1->setCaption(displayName(main_.SourcePath) + QStringLiteral(" -> ") +
                             displayName(main_.DestPath));
    // Cleared before the repaint, so the last job's picture never stands beside this name.
    form->Image1->clearPicture();
    form->repaint();

    const qv::EncoderCommand command = qv::buildConversionCommand(
        settings_, main_.SourcePath, main_.DestPath, pass, main_.PreviewMode);
    try {
        showThumbnail();
        form->Cancelled = false;
        if (encoder_.empty() || !main_.ProcessInfo.start(encoder_, command.args))
            return PassEnd::EncoderCannotStart;
        // Between slices the progress window's tick and cancel button get their turn.
        QPointer<TProgressForm1> guard(form);
        main_.ProcessInfo.waitInSlices([] { QCoreApplication::processEvents(QEventLoop::AllEvents); },
                                       kWaitSliceMs);
        const bool cancelled = guard && guard->Cancelled;
        if (cancelled) removeFile(main_.DestPath);
        stampResult(main_.DestPath, sourceTime);
        if (!cancelled && main_.ProcessInfo.exitCode() != 0) markFailed(job);
    } catch (...) {
        markFailed(job);
    }
    return PassEnd::Done;
}

void BatchRun::run() {
    openProgressWindow();
    try {
        settings_ = main_.settings();
        programFolder_ = QFile::encodeName(main_.ProgramFolder).toStdString();
        encoder_ = qv::resolveEncoder(programFolder_);
        const int passes = settings_.CheckBox1 ? 2 : 1;

        if (settings_.C1_02 == 1) {
            if (settings_.C1_03.empty()) throw AbortRun{};
            std::error_code ec;  // a folder that cannot be made shows up as failed passes
            fs::create_directories(fs::path(qv::stripTrailingSeparators(settings_.C1_03)), ec);
        }

        collectSources();
        for (int job = 0; job < main_.jobCount(); ++job) {
            for (int pass = 1; pass <= passes; ++pass) {
                const std::string source = main_.jobAt(job);
                timespec sourceTime{};
                if (!modificationTime(source, sourceTime)) {
                    markFailed(job);  // gone since it was queued: the others still run
                    break;
                }
                const std::string dest = destinationFor(source);
                if (dest.empty() || isSource(dest)) {
                    // Never write over, stamp or delete a queued source: this job's own,
                    // or one whose turn is still to come (a.avi and a.mp4 queued for MP4).
                    markFailed(job);
                    break;
                }
                main_.SourcePath = source;
                main_.DestPath = dest;
                main_.QuotedDestPath = "\"" + dest + "\"";
                if (runPass(job, pass, sourceTime) == PassEnd::EncoderCannotStart) {
                    startFailed();
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

void TMainForm1::CButton10Click() {
    // The window is disabled during a run; this also covers a call from code.
    if (g_running || jobCount() <= 0) return;
    g_running = true;
    struct Reset {
        ~Reset() { g_running = false; }
    } reset;
    BatchRun(*this).run();
}

void TMainForm1::CButton14Click() {
    if (g_running) return;
    PreviewMode = true;
    CButton10Click();
    PreviewMode = false;  // also when the list was empty and nothing ran
}

void TMainForm1::CButton13Click() {
    if (!ListBox1) return;
    for (const QListWidgetItem* item : ListBox1->selectedItems()) {
        const int row = ListBox1->row(item);
        if (row < 0 || row >= jobCount()) continue;
        const QByteArray bytes = QByteArray::fromStdString(jobAt(row));
        const QString path = QFile::decodeName(bytes);
        if (QFile::encodeName(path) == bytes) {
            qv::ui::openWithDesktop(path);
        } else {
            // A name that is not valid text goes as a file address, byte for byte.
            const QByteArray absolute =
                QByteArray::fromStdString(std::filesystem::absolute(jobAt(row)).string());
            qv::ui::openWithDesktop(QString::fromLatin1("file://" + absolute.toPercentEncoding("/")));
        }
    }
}
