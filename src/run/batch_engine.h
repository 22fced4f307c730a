#pragma once
// The batch run without a window: up to N encoders at once, each job's passes in order, every
// result checked against every other job's source and result, earlier results set aside and
// given back, results dated like their sources. Whoever drives it (the window through its
// event loop, a command line through a blocking loop) calls step(); what happens is told to
// observers.
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "run/batch_plan.h"
#include "run/batch_rules.h"
#include "run/encoder_process.h"
#include "run/run_journal.h"
#include "settings/conversion_settings.h"

namespace qv {

enum class JobEnd {
    Done,
    Failed,     // the reason says why
    Cancelled,  // by the user, or the batch was stopped
    NotStarted  // the encoder could not be started: the batch ends with it
};

// A hidden copy of an earlier result that could be neither deleted nor put back.
struct LeftBehind {
    enum class Kind { NotDeleted, NotPutBack } kind;
    std::string hidden, dest, why;
};

struct BatchSummary {
    enum class End {
        Finished,
        Stopped,             // the whole batch was stopped
        EncoderCannotStart,  // startError says why
        Aborted              // an error outside any one job
    };
    End end = End::Finished;
    std::vector<std::pair<int, std::string>> failures;  // job and reason, in the order they came
    std::vector<LeftBehind> leftBehind;
    std::string startError;
};

// Every call comes from inside step(), cancel() or cancelAll(), on the caller's thread.
class BatchObserver {
  public:
    virtual ~BatchObserver() = default;
    // The job's checks passed and its earlier result is set aside.
    virtual void jobStarted(int /*job*/, const std::string& /*source*/,
                            const std::string& /*dest*/) {}
    // Just before the encoder of a pass starts.
    virtual void passStarting(int /*job*/, int /*pass*/) {}
    virtual void passEnded(int /*job*/, int /*pass*/) {}
    // How much of the job is done, 0..1 (a two-pass job's passes are halves), and the
    // encoder's speed against real time (0 when unknown).
    virtual void progress(int /*job*/, double /*fraction*/, double /*speed*/) {}
    // Reason: UTF-8, for Failed only.
    virtual void jobEnded(int /*job*/, JobEnd /*end*/, const std::string& /*reason*/) {}
    virtual void batchEnded(const BatchSummary& /*summary*/) {}
};

// Passes every event on to each of several observers, in the order they were added.
class BatchObservers : public BatchObserver {
  public:
    void add(BatchObserver& observer) { observers_.push_back(&observer); }
    void jobStarted(int job, const std::string& source, const std::string& dest) override;
    void passStarting(int job, int pass) override;
    void passEnded(int job, int pass) override;
    void progress(int job, double fraction, double speed) override;
    void jobEnded(int job, JobEnd end, const std::string& reason) override;
    void batchEnded(const BatchSummary& summary) override;

  private:
    std::vector<BatchObserver*> observers_;
};

struct BatchOptions {
    ConversionSettings settings;
    std::string encoder;      // resolved by the caller
    bool preview = false;     // the short trial conversion
    int parallel = 1;         // encoders at once, at least 1
    std::string stateFolder;  // the journal's folder; empty keeps none
    bool keepLog = true;      // the encoders' error output in runLogPath()
};

// The JOBS setting: 1 one at a time (the default), 2 to 16, 0 automatic. Anything else reads
// as 1.
inline constexpr int kMaxParallelJobs = 16;
inline int validJobsSetting(int value) {
    return value >= 0 && value <= kMaxParallelJobs ? value : 1;
}

// Encoders at once for a setting of 0: one per core when the encoders use one core each, one
// per two cores when they are told to use several threads themselves; at most 16.
int automaticJobCount(unsigned cores, bool multiThreaded);

// Encoders at once for a JOBS setting on a machine with `cores` cores.
inline int parallelJobsFor(int setting, unsigned cores, bool multiThreaded) {
    const int valid = validJobsSetting(setting);
    return valid == 0 ? automaticJobCount(cores, multiThreaded) : valid;
}

class BatchEngine {
  public:
    BatchEngine(BatchOptions options, std::vector<std::string> sources, BatchObserver& observer);
    // Runs jobs worked out beforehand (planBatch): their results, argument lists and times as
    // planned, a refused job failing with its reason; every other rule as above. The
    // settings in `options` are not read.
    BatchEngine(BatchOptions options, std::vector<PlannedJob> jobs, BatchObserver& observer);
    // Jobs still running are undone as abandon() undoes them.
    ~BatchEngine();
    BatchEngine(const BatchEngine&) = delete;
    BatchEngine& operator=(const BatchEngine&) = delete;

    // Does what is due, waiting at most timeoutMs (-1: until something happens, 0: not at
    // all) for an encoder to end. False once the batch has ended (batchEnded was told).
    bool step(int timeoutMs = 0);
    // The blocking loop of a caller without an event loop.
    void runToEnd() {
        while (step(-1)) {
        }
    }
    // Readable whenever step() has something to do: one descriptor for every encoder.
    int waitDescriptor() const { return epoll_; }
    // step() has work that no descriptor will announce (jobs to start): call it again soon.
    bool hasWorkNow() const;
    // Some encoder has no process descriptor: step() must be called now and then.
    bool needsPolling() const { return polled_ > 0; }
    bool ended() const { return ended_; }

    // Stops the pass under way; its result goes. The job then goes on with its next pass,
    // if it has one, or ends with its earlier result given back. False when the job has no
    // encoder running (not started, or ended).
    bool cancel(int job);
    // Stops every running job and starts no more.
    void cancelAll();
    // The same, when the process is told to end from outside (a logout, a signal): the jobs
    // not done stay in the journal, for the next start to offer.
    void interrupt();
    bool stopRequested() const { return stopAll_; }
    // The process is ending under the engine: every running job is stopped and undone at
    // once, without telling anyone. The jobs not done stay in the journal.
    void abandon();

    const std::string& logPath() const { return log_; }
    int jobCount() const { return static_cast<int>(sources_.size()); }
    int runningCount() const;

  private:
    struct Slot;
    void startJobs();
    // Checks, sets aside and starts job `job`; false when it ended at once.
    bool beginJob(int job);
    void startPass(Slot& slot);
    void endPass(Slot& slot);
    void endJob(Slot& slot, JobEnd end, std::string reason);
    void giveBack(PreviousResult& previous, const std::string& dest);
    void watch(Slot& slot);
    void unwatch(Slot& slot);
    void endBatch(BatchSummary::End end);
    void stopOthers();
    void fail(int job, std::string reason);

    BatchOptions options_;
    std::vector<std::string> sources_;
    BatchObserver& observer_;
    int passes_ = 1;
    std::optional<SourceSet> sourceSet_;
    ResultSet results_;
    RunJournal journal_;
    std::string log_;
    std::vector<std::unique_ptr<Slot>> slots_;
    int next_ = 0;
    int epoll_ = -1;
    int polled_ = 0;
    bool begun_ = false, stopAll_ = false, ended_ = false, interrupted_ = false;
    BatchSummary summary_;
    std::vector<PlannedJob> planned_;  // empty: the jobs come from the settings
    int passCount(int job) const;
};

}  // namespace qv
