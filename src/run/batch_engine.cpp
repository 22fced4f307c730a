#include "run/batch_engine.h"

#include <fcntl.h>
#include <sys/epoll.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "base/path.h"
#include "run/command_line.h"

namespace qv {

namespace {

// Why a job failed, one per job in the end notice.
const std::string kEmptyResult = "変換結果が空です";
const std::string kDestinationGone = "保存先のフォルダがなくなりました";
const std::string kCannotSetAside = "前の変換結果を退避できません";
const std::string kUnknownError = "原因が特定できないエラーが生じました";

// Jobs begun in one step at most, so that a long row of jobs that fail their checks at once
// still lets a window answer between steps.
constexpr int kJobsPerStep = 32;
// How often an encoder without a process descriptor is looked at.
constexpr int kPollMs = 20;

}  // namespace

int automaticJobCount(unsigned cores, bool multiThreaded) {
    int n = static_cast<int>(cores == 0 ? 1 : cores);
    if (multiThreaded) n /= 2;
    return n < 1 ? 1 : (n > kMaxParallelJobs ? kMaxParallelJobs : n);
}

struct BatchEngine::Slot {
    int job = -1;  // -1: free
    std::string source, dest, report;
    timespec sourceTime{};
    int pass = 0;
    bool cancelled = false;
    bool polled = false;
    int waitFd = -1;
    std::unique_ptr<PreviousResult> previous;
    EncoderProcess process;
};

void BatchObservers::jobStarted(int job, const std::string& source, const std::string& dest) {
    for (BatchObserver* o : observers_) o->jobStarted(job, source, dest);
}
void BatchObservers::passStarting(int job, int pass) {
    for (BatchObserver* o : observers_) o->passStarting(job, pass);
}
void BatchObservers::passEnded(int job, int pass) {
    for (BatchObserver* o : observers_) o->passEnded(job, pass);
}
void BatchObservers::progress(int job, double fraction, double speed) {
    for (BatchObserver* o : observers_) o->progress(job, fraction, speed);
}
void BatchObservers::jobEnded(int job, JobEnd end, const std::string& reason) {
    for (BatchObserver* o : observers_) o->jobEnded(job, end, reason);
}
void BatchObservers::batchEnded(const BatchSummary& summary) {
    for (BatchObserver* o : observers_) o->batchEnded(summary);
}

BatchEngine::BatchEngine(BatchOptions options, std::vector<std::string> sources,
                         BatchObserver& observer)
    : options_(std::move(options)),
      sources_(std::move(sources)),
      observer_(observer),
      journal_(options_.stateFolder) {
    const int n = options_.parallel < 1 ? 1 : options_.parallel;
    for (int i = 0; i < n; ++i) slots_.push_back(std::make_unique<Slot>());
    epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
}

BatchEngine::BatchEngine(BatchOptions options, std::vector<PlannedJob> jobs,
                         BatchObserver& observer)
    : BatchEngine(std::move(options), std::vector<std::string>{}, observer) {
    options_.settings = ConversionSettings{};  // every job says where it goes
    for (const PlannedJob& job : jobs) sources_.push_back(job.source);
    planned_ = std::move(jobs);
}

int BatchEngine::passCount(int job) const {
    return planned_.empty()
               ? passes_
               : static_cast<int>(planned_[static_cast<std::size_t>(job)].passes.size());
}

BatchEngine::~BatchEngine() {
    if (!ended_ && runningCount() > 0) abandon();
    for (auto& slot : slots_)
        if (slot->waitFd >= 0) ::close(slot->waitFd);
    if (epoll_ >= 0) ::close(epoll_);
}

int BatchEngine::runningCount() const {
    int n = 0;
    for (const auto& slot : slots_) n += slot->job >= 0 ? 1 : 0;
    return n;
}

bool BatchEngine::hasWorkNow() const {
    if (ended_) return false;
    if (!begun_) return true;
    return !stopAll_ && next_ < jobCount() && runningCount() < static_cast<int>(slots_.size());
}

bool BatchEngine::step(int timeoutMs) {
    if (ended_) return false;
    try {
        if (!begun_) {
            begun_ = true;
            passes_ = options_.settings.CheckBox1 ? 2 : 1;
            if (options_.settings.C1_02 == 1) {
                if (options_.settings.C1_03.empty()) {
                    endBatch(BatchSummary::End::Aborted);
                    return false;
                }
                std::error_code ec;  // a folder that cannot be made shows up as failed passes
                std::filesystem::create_directories(
                    std::filesystem::path(destinationFolder(options_.settings)), ec);
            }
            if (options_.keepLog) {
                log_ = runLogPath();
                if (!startRunLog(log_)) log_.clear();
            }
            sourceSet_.emplace(sources_);
            // What is still to do survives a kill; without a state folder the run goes on. A
            // planned line belongs to its scheduler, which runs it again: its journal keeps
            // only what was set aside, so that no start offers it with settings it never had.
            if (planned_.empty())
                journal_.beginBatch(
                    {options_.settings, options_.preview, static_cast<int>(slots_.size())},
                    sources_);
        }
        startJobs();
        if (ended_) return false;

        int wait = hasWorkNow() ? 0 : timeoutMs;
        if (polled_ > 0 && (wait < 0 || wait > kPollMs)) wait = kPollMs;
        if (wait != 0 && runningCount() > 0 && epoll_ >= 0) {
            epoll_event events[8];
            while (::epoll_wait(epoll_, events, 8, wait) < 0 && errno == EINTR) {
            }
        }
        for (auto& slot : slots_) {
            if (ended_) return false;
            if (slot->job >= 0 && slot->process.waitFor(0)) endPass(*slot);
        }
        if (ended_) return false;
        startJobs();
        if (!ended_ && runningCount() == 0 && (stopAll_ || next_ >= jobCount()))
            endBatch(stopAll_ ? BatchSummary::End::Stopped : BatchSummary::End::Finished);
    } catch (...) {
        stopOthers();
        if (!ended_) endBatch(BatchSummary::End::Aborted);
    }
    return !ended_;
}

void BatchEngine::startJobs() {
    int begun = 0;
    while (!ended_ && !stopAll_ && next_ < jobCount() &&
           runningCount() < static_cast<int>(slots_.size()) && begun < kJobsPerStep) {
        beginJob(next_++);
        ++begun;
    }
}

void BatchEngine::fail(int job, std::string reason) {
    journal_.failed(job);
    summary_.failures.emplace_back(job, reason);
    observer_.jobEnded(job, JobEnd::Failed, reason);
}

bool BatchEngine::beginJob(int job) {
    const std::string& source = sources_[static_cast<std::size_t>(job)];
    const PlannedJob* plan = planned_.empty() ? nullptr : &planned_[static_cast<std::size_t>(job)];
    if (plan && (!plan->refused.empty() || plan->passes.empty())) {
        fail(job, plan->refused.empty() ? kUnknownError : plan->refused);
        return false;
    }
    const std::optional<timespec> sourceTime = modificationTime(source);
    if (!sourceTime) {
        // Gone since it was queued, or something else stands at its name: the others still run.
        fail(job,
             sourceState(source) == SourceState::NotRegular ? kSourceNotRegular : kSourceMissing);
        return false;
    }
    const std::string dest = plan ? plan->dest : destinationFor(options_.settings, source);
    if (dest.empty()) {
        // Refused before the run; never guessed.
        stopOthers();
        endBatch(BatchSummary::End::Aborted);
        return false;
    }
    // Never write over, stamp or delete a queued source (this job's own, or any other,
    // whether done, running or still to come), through a link, or onto another job's result.
    if (sameFile(dest, source)) {
        fail(job, kSameAsSource);
        return false;
    }
    if (sourceSet_->contains(dest)) {
        fail(job, kOtherSource);
        return false;
    }
    if (isNonRegularEntry(dest)) {
        fail(job, kNotRegular);
        return false;
    }
    if (!results_.claim(dest)) {
        fail(job, kOtherResult);
        return false;
    }
    auto previous = std::make_unique<PreviousResult>(&journal_, job);
    std::string why;
    if (!previous->setAside(dest, &why)) {
        fail(job, kCannotSetAside + " (" + why + ")");
        return false;
    }
    Slot* target = nullptr;
    for (auto& slot : slots_)
        if (!target && slot->job < 0) target = slot.get();
    Slot& slot = *target;
    slot.job = job;
    slot.source = source;
    slot.dest = dest;
    slot.sourceTime = plan && plan->stamp ? *plan->stamp : *sourceTime;
    slot.pass = 1;
    slot.previous = std::move(previous);
    journal_.running(job);
    observer_.jobStarted(job, source, dest);
    startPass(slot);
    return slot.job == job;
}

void BatchEngine::startPass(Slot& slot) {
    slot.cancelled = false;
    EncoderCommand command;
    try {
        if (planned_.empty())
            command = buildConversionCommand(options_.settings, slot.source, slot.dest, slot.pass,
                                             options_.preview);
        else
            command.args = planned_[static_cast<std::size_t>(slot.job)]
                               .passes[static_cast<std::size_t>(slot.pass - 1)];
    } catch (...) {
        endJob(slot, JobEnd::Failed, kUnknownError);
        return;
    }
    observer_.passStarting(slot.job, slot.pass);
    slot.report = makeReportFile();
    const EnvironmentChanges environment{
        {"QUORVANE_REPORT",
         slot.report.empty() ? std::nullopt : std::optional<std::string>(slot.report)},
        {"QUORVANE_LOG", log_.empty() ? std::nullopt : std::optional<std::string>(log_)}};
    std::string error;
    if (!slot.process.start(options_.encoder, command.args, &error, environment)) {
        if (!slot.report.empty()) ::unlink(slot.report.c_str());
        slot.report.clear();
        observer_.passEnded(slot.job, slot.pass);
        summary_.startError = error;
        endJob(slot, JobEnd::NotStarted, {});
        // Every later job would fail the same way: the batch ends here, saying why.
        stopOthers();
        endBatch(BatchSummary::End::EncoderCannotStart);
        return;
    }
    watch(slot);
}

void BatchEngine::endPass(Slot& slot) {
    unwatch(slot);
    observer_.passEnded(slot.job, slot.pass);
    std::string reason;
    JobEnd end = JobEnd::Done;
    const EncoderProcess& p = slot.process;
    if (slot.cancelled) {
        removeFile(slot.dest);
        end = JobEnd::Cancelled;
    } else if (p.exitCode() != 0) {
        const std::string line = readReportLine(slot.report);
        const int code = p.exitCode() >= 0 ? p.exitCode() : 128 + p.termSignal();
        reason =
            line.empty() ? "ffmpeg が終了コード " + std::to_string(code) + " で終了しました" : line;
        end = JobEnd::Failed;
    }
    if (!slot.report.empty()) ::unlink(slot.report.c_str());
    slot.report.clear();
    // Cancel stops the pass under way: a job with a pass still to come goes on with it,
    // unless the whole batch is stopping.
    if (end == JobEnd::Cancelled && slot.pass < passCount(slot.job) && !stopAll_)
        end = JobEnd::Done;
    if (end == JobEnd::Done && slot.pass < passCount(slot.job)) {
        // Stopping the batch cancels a job whose last pass is still to come.
        if (stopAll_) {
            end = JobEnd::Cancelled;
        } else {
            ++slot.pass;
            startPass(slot);
            return;
        }
    }
    endJob(slot, end, reason);
}

void BatchEngine::endJob(Slot& slot, JobEnd end, std::string reason) {
    const std::string& dest = slot.dest;
    PreviousResult& previous = *slot.previous;
    if (end == JobEnd::Done && fileSizeOf(dest) <= 0) {
        end = JobEnd::Failed;
        reason = kEmptyResult;
    }
    // A folder removed under the job is why, whatever the encoder made of it.
    if (end == JobEnd::Failed && !folderExists(folderOf(dest))) reason = kDestinationGone;
    switch (end) {
        case JobEnd::Done: {
            stampResult(dest, slot.sourceTime);
            const std::string hidden = previous.hiddenPath();
            std::string why;
            if (!previous.discard(&why)) {
                summary_.leftBehind.push_back({LeftBehind::Kind::NotDeleted, hidden, dest, why});
                previous.release();
            }
            // Copies of this result that a killed program left hidden are stale now.
            if (!options_.stateFolder.empty()) dropStaleCopies(options_.stateFolder, dest);
            break;
        }
        case JobEnd::Failed:
            summary_.failures.emplace_back(slot.job, reason);
            giveBack(previous, dest);
            break;
        case JobEnd::Cancelled:
        case JobEnd::NotStarted:
            giveBack(previous, dest);
            break;
    }
    const int job = slot.job;
    if (end == JobEnd::Done) journal_.done(job);
    if (end == JobEnd::Failed) journal_.failed(job);
    if (end == JobEnd::Cancelled && !interrupted_) journal_.cancelled(job);
    slot.previous.reset();
    slot.job = -1;
    observer_.jobEnded(job, end, end == JobEnd::Failed ? reason : std::string());
}

void BatchEngine::giveBack(PreviousResult& previous, const std::string& dest) {
    const std::string hidden = previous.hiddenPath();
    std::string why;
    if (previous.putBack(&why)) {
        if (hidden.empty()) removeFile(dest);  // else replaced by the previous one
        return;
    }
    // A broken result would pass for a good one: it goes even when the old one cannot return.
    removeFile(dest);
    summary_.leftBehind.push_back({LeftBehind::Kind::NotPutBack, hidden, dest, why});
    previous.release();
}

void BatchEngine::watch(Slot& slot) {
    slot.waitFd = -1;
    slot.polled = false;
    if (const int fd = slot.process.descriptor(); fd >= 0 && epoll_ >= 0) {
        // A copy of its own: the process closes its descriptor once it has collected the end.
        slot.waitFd = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = slot.waitFd;
        if (slot.waitFd >= 0 && ::epoll_ctl(epoll_, EPOLL_CTL_ADD, slot.waitFd, &event) != 0) {
            ::close(slot.waitFd);
            slot.waitFd = -1;
        }
    }
    if (slot.waitFd < 0) {
        slot.polled = true;
        ++polled_;
    }
}

void BatchEngine::unwatch(Slot& slot) {
    if (slot.waitFd >= 0) {
        ::epoll_ctl(epoll_, EPOLL_CTL_DEL, slot.waitFd, nullptr);
        ::close(slot.waitFd);
        slot.waitFd = -1;
    }
    if (slot.polled) {
        slot.polled = false;
        --polled_;
    }
}

bool BatchEngine::cancel(int job) {
    for (auto& slot : slots_) {
        if (slot->job != job || job < 0) continue;
        if (!slot->process.stop()) return false;
        slot->cancelled = true;
        return true;
    }
    return false;
}

void BatchEngine::cancelAll() {
    stopAll_ = true;
    for (auto& slot : slots_)
        if (slot->job >= 0 && slot->process.stop()) slot->cancelled = true;
}

void BatchEngine::interrupt() {
    interrupted_ = true;
    cancelAll();
}

void BatchEngine::stopOthers() {
    for (auto& slot : slots_) {
        if (slot->job < 0) continue;
        slot->process.stop();
        slot->cancelled = true;
        endPass(*slot);
    }
}

void BatchEngine::abandon() {
    for (auto& slot : slots_) {
        if (slot->job < 0) continue;
        slot->process.stop();
        const bool hadPrevious = !slot->previous->hiddenPath().empty();
        // A copy that cannot return now stays in the journal, for the next start.
        if (!slot->previous->putBack() || !hadPrevious) removeFile(slot->dest);
        if (!slot->report.empty()) ::unlink(slot->report.c_str());
        slot->report.clear();
    }
    ended_ = true;
}

void BatchEngine::endBatch(BatchSummary::End end) {
    if (ended_) return;
    ended_ = true;
    summary_.end = end;
    // Before anyone is told: a program killed during the end notice has nothing left to do.
    if (!interrupted_) journal_.endBatch();
    observer_.batchEnded(summary_);
}

}  // namespace qv
