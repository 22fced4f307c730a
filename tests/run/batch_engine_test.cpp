#include "run/batch_engine.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

// Stands in for the encoder; what it does follows the result's name:
//   fail*  says why in the report and exits 2     exit*  exits 3 without a word
//   empty* leaves an empty result                 wait*  waits for the file "go"
//   anything else writes "new".
const char* const kStandIn = R"SH(#!/bin/sh
dir=$(dirname "$0")
for last; do :; done
name=${last##*/}
case "$name" in
  fail*) printf 'x' > "$last"; printf 'no way through\n' > "$QUORVANE_REPORT"; exit 2 ;;
  exit*) exit 3 ;;
  empty*) : > "$last"; exit 0 ;;
  wait*)
    echo $$ > "$dir/pid_$name"
    while [ ! -e "$dir/go" ]; do sleep 0.02; done
    printf 'new' > "$last"; exit 0 ;;
esac
printf 'new' > "$last"
)SH";

std::string readAll(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeAll(const fs::path& p, const std::string& text) { std::ofstream(p) << text; }

// Everything the engine told, and how many jobs ran at once at most.
struct Recorder : qv::BatchObserver {
    std::map<int, qv::JobEnd> ends;
    std::map<int, std::string> reasons;
    std::vector<int> started;
    std::set<int> running;
    std::size_t mostAtOnce = 0;
    bool ended = false;
    qv::BatchSummary summary;

    void jobStarted(int job, const std::string&, const std::string&) override {
        started.push_back(job);
        running.insert(job);
        mostAtOnce = std::max(mostAtOnce, running.size());
    }
    void jobEnded(int job, qv::JobEnd end, const std::string& reason) override {
        EXPECT_EQ(ends.count(job), 0u) << "job " << job << " ended twice";
        ends[job] = end;
        reasons[job] = reason;
        running.erase(job);
    }
    void batchEnded(const qv::BatchSummary& s) override {
        EXPECT_FALSE(ended);
        ended = true;
        summary = s;
    }
};

class BatchEngineTest : public ::testing::Test {
  protected:
    qvtest::TempFolder root_{"qv_engine"};
    fs::path bin_ = root_.path() / "bin", in_ = root_.path() / "in", out_ = root_.path() / "out",
             state_ = root_.path() / "state";

    void SetUp() override {
        for (const fs::path& p : {bin_, in_, out_, state_}) fs::create_directories(p);
        writeAll(bin_ / "ffmpeg", kStandIn);
        ::chmod((bin_ / "ffmpeg").c_str(), 0755);
    }

    // Results go to out/, named as their sources.
    qv::BatchOptions options(int parallel) const {
        qv::BatchOptions o;
        o.settings.C1_02 = 1;
        o.settings.C1_03 = out_.string();
        o.settings.C2_01 = 0;  // the source's own extension
        o.encoder = (bin_ / "ffmpeg").string();
        o.parallel = parallel;
        o.stateFolder = state_.string();
        o.keepLog = false;
        return o;
    }

    std::string source(const std::string& name, const fs::path& folder = {}) const {
        const fs::path p = (folder.empty() ? in_ : folder) / name;
        fs::create_directories(p.parent_path());
        writeAll(p, "SOURCE");
        return p.string();
    }

    // Steps until `pred` holds or the batch ends; a guard against a hang, not a clock.
    template <typename Pred>
    bool stepUntil(qv::BatchEngine& engine, Pred pred) {
        for (int i = 0; i < 2000 && !pred(); ++i)
            if (!engine.step(20)) break;
        return pred();
    }

    // Runs `start` (which makes and runs an engine) in a child process, and kills the child
    // with SIGKILL once the stand-in of result `waitName` is running; the stand-in, left
    // behind in its own group, goes too. False when that stand-in never ran.
    template <typename Start>
    bool killWhileRunning(Start start, const std::string& waitName) {
        const pid_t child = ::fork();
        if (child < 0) return false;
        if (child == 0) {
            start();
            ::_exit(0);
        }
        const fs::path pidFile = bin_ / ("pid_" + waitName);
        for (int i = 0; i < 1000 && !fs::exists(pidFile); ++i) ::usleep(10000);
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        if (!fs::exists(pidFile)) return false;
        const int encoder = std::stoi(readAll(pidFile));
        ::kill(-encoder, SIGKILL);
        ::kill(encoder, SIGKILL);
        return true;
    }

    std::vector<std::string> hiddenIn(const fs::path& folder) const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder)) {
            const std::string n = e.path().filename().string();
            if (n.rfind(".", 0) == 0) names.push_back(n);
        }
        return names;
    }
};

TEST_F(BatchEngineTest, EachFailureHasItsReasonAndTheOthersStillRun) {
    fs::create_directories(in_ / "folder.avi");
    const std::vector<std::string> jobs = {
        source("a.avi"),
        (in_ / "missing.avi").string(),
        (in_ / "folder.avi").string(),
        source("fail.avi"),
        source("exit.avi"),
        source("empty.avi"),
        source("b.avi"),
    };
    writeAll(out_ / "fail.avi", "old");  // given back after the failure
    Recorder r;
    qv::BatchEngine engine(options(3), jobs, r);
    engine.runToEnd();

    ASSERT_TRUE(r.ended);
    EXPECT_EQ(r.summary.end, qv::BatchSummary::End::Finished);
    const std::map<int, std::string> expected = {
        {1, "ファイルが見つかりません"}, {2, "変換元が通常のファイルではありません"},
        {3, "no way through"},           {4, "ffmpeg が終了コード 3 で終了しました"},
        {5, "変換結果が空です"},
    };
    std::map<int, std::string> failures(r.summary.failures.begin(), r.summary.failures.end());
    EXPECT_EQ(failures, expected);
    for (int job : {0, 6}) EXPECT_EQ(r.ends[job], qv::JobEnd::Done) << job;
    EXPECT_EQ(readAll(out_ / "a.avi"), "new");
    EXPECT_EQ(readAll(out_ / "fail.avi"), "old");
    EXPECT_FALSE(fs::exists(out_ / "empty.avi"));
    EXPECT_TRUE(hiddenIn(out_).empty());
    EXPECT_TRUE(fs::is_empty(state_));
}

TEST_F(BatchEngineTest, RunningJobsNeverShareAResultOrWriteOverASource) {
    // Two sources with one result name, and a source whose name is another job's result.
    const fs::path other = root_.path() / "other";
    const std::vector<std::string> jobs = {
        source("wait_x.avi"), source("wait_x.avi", other),
        source("wait_y.avi"), source("z.avi", out_),  // out/z.avi: its own result
        source("q.avi"),
    };
    writeAll(root_.path() / "bin" / "go", "");
    Recorder r;
    qv::BatchEngine engine(options(3), jobs, r);
    engine.runToEnd();

    std::map<int, std::string> failures(r.summary.failures.begin(), r.summary.failures.end());
    EXPECT_EQ(failures, (std::map<int, std::string>{
                            {1, "変換結果が他のファイルの変換結果と同じ名前になります"},
                            {3, "変換結果が元のファイルと同じになります"},
                        }));
    EXPECT_EQ(readAll(out_ / "wait_x.avi"), "new");
    EXPECT_EQ(readAll(out_ / "z.avi"), "SOURCE");
}

TEST_F(BatchEngineTest, AResultThatIsAnotherJobsSourceIsRefused) {
    // in/c.avi goes to out/c.avi, which is queued as a source of its own.
    const std::vector<std::string> jobs = {source("c.avi"), source("c.avi", out_)};
    Recorder r;
    qv::BatchEngine engine(options(2), jobs, r);
    engine.runToEnd();
    ASSERT_EQ(r.summary.failures.size(), 2u);
    EXPECT_EQ(r.summary.failures[0], (std::pair<int, std::string>{
                                         0, "変換結果が他の変換対象ファイルと同じ名前になります"}));
    EXPECT_EQ(readAll(out_ / "c.avi"), "SOURCE");
}

TEST_F(BatchEngineTest, RunsUpToNAtOnce) {
    std::vector<std::string> jobs;
    for (const char* n : {"wait1.avi", "wait2.avi", "wait3.avi", "wait4.avi", "wait5.avi"})
        jobs.push_back(source(n));
    Recorder r;
    qv::BatchEngine engine(options(3), jobs, r);
    ASSERT_TRUE(stepUntil(engine, [&] { return r.running.size() == 3; }));
    EXPECT_EQ(engine.runningCount(), 3);
    writeAll(bin_ / "go", "");
    engine.runToEnd();
    EXPECT_EQ(r.mostAtOnce, 3u);
    EXPECT_EQ(r.ends.size(), 5u);
    for (const auto& [job, end] : r.ends) EXPECT_EQ(end, qv::JobEnd::Done) << job;
}

TEST_F(BatchEngineTest, CancelOneStopsOnlyItsJobAndGivesItsResultBack) {
    std::vector<std::string> jobs;
    for (const char* n : {"wait1.avi", "wait2.avi", "wait3.avi", "d.avi"})
        jobs.push_back(source(n));
    writeAll(out_ / "wait2.avi", "old");
    struct stat before {};
    ::stat((out_ / "wait2.avi").c_str(), &before);
    Recorder r;
    qv::BatchEngine engine(options(3), jobs, r);
    ASSERT_TRUE(stepUntil(engine, [&] { return fs::exists(bin_ / "pid_wait2.avi"); }));
    EXPECT_TRUE(engine.cancel(1));
    EXPECT_FALSE(engine.cancel(3)) << "not started yet";
    ASSERT_TRUE(stepUntil(engine, [&] { return r.ends.count(1) == 1; }));
    EXPECT_EQ(r.ends[1], qv::JobEnd::Cancelled);
    writeAll(bin_ / "go", "");
    engine.runToEnd();

    EXPECT_EQ(r.summary.end, qv::BatchSummary::End::Finished);
    EXPECT_TRUE(r.summary.failures.empty());
    for (int job : {0, 2, 3}) EXPECT_EQ(r.ends[job], qv::JobEnd::Done) << job;
    EXPECT_EQ(readAll(out_ / "wait2.avi"), "old");
    struct stat after {};
    ::stat((out_ / "wait2.avi").c_str(), &after);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_TRUE(hiddenIn(out_).empty());
}

TEST_F(BatchEngineTest, CancelAllStopsEveryRunningJobAndStartsNoMore) {
    std::vector<std::string> jobs;
    for (const char* n : {"wait1.avi", "wait2.avi", "wait3.avi", "wait4.avi", "wait5.avi"}) {
        jobs.push_back(source(n));
        writeAll(out_ / n, std::string("old ") + n);
    }
    Recorder r;
    qv::BatchEngine engine(options(3), jobs, r);
    ASSERT_TRUE(stepUntil(engine, [&] { return r.running.size() == 3; }));
    engine.cancelAll();
    engine.runToEnd();

    EXPECT_EQ(r.summary.end, qv::BatchSummary::End::Stopped);
    EXPECT_EQ(r.started, (std::vector<int>{0, 1, 2}));
    for (int job : {0, 1, 2}) EXPECT_EQ(r.ends[job], qv::JobEnd::Cancelled) << job;
    for (const char* n : {"wait1.avi", "wait2.avi", "wait3.avi", "wait4.avi", "wait5.avi"})
        EXPECT_EQ(readAll(out_ / n), std::string("old ") + n);
    EXPECT_TRUE(hiddenIn(out_).empty());
    EXPECT_TRUE(fs::is_empty(state_));
}

TEST_F(BatchEngineTest, AnEncoderThatCannotStartEndsTheBatchAndGivesEverythingBack) {
    std::vector<std::string> jobs = {source("wait1.avi"), source("b.avi")};
    writeAll(out_ / "wait1.avi", "old");
    qv::BatchOptions o = options(2);
    o.encoder = (bin_ / "missing").string();
    Recorder r;
    qv::BatchEngine engine(o, jobs, r);
    engine.runToEnd();
    EXPECT_EQ(r.summary.end, qv::BatchSummary::End::EncoderCannotStart);
    EXPECT_NE(r.summary.startError.find("missing"), std::string::npos);
    EXPECT_EQ(readAll(out_ / "wait1.avi"), "old");
    EXPECT_TRUE(hiddenIn(out_).empty());
}

// A program killed with jobs in every state: done, failed, running over an earlier result,
// waiting. The next start puts back what was hidden, loses nothing and offers exactly the jobs
// left to do, with the batch's settings.
TEST_F(BatchEngineTest, AKilledBatchLeavesNothingHiddenAndItsRemainingJobs) {
    const std::vector<std::string> jobs = {source("a.avi"), source("fail.avi"),
                                           source("wait_b.avi"), source("c.avi")};
    for (const char* n : {"a.avi", "fail.avi", "wait_b.avi", "c.avi"}) writeAll(out_ / n, "old");
    qv::BatchOptions o = options(1);
    o.preview = true;
    o.settings.CheckBox4 = true;
    ASSERT_TRUE(killWhileRunning(
        [&] {
            Recorder r;
            qv::BatchEngine engine(o, jobs, r);
            engine.runToEnd();
        },
        "wait_b.avi"));

    EXPECT_FALSE(hiddenIn(out_).empty()) << "the running job's earlier result is set aside";
    qv::Recovery recovery = qv::recoverAbandonedResults(state_.string());
    EXPECT_TRUE(recovery.restored.empty());
    EXPECT_TRUE(recovery.kept.empty());
    ASSERT_EQ(recovery.batches.size(), 1u);
    qv::AbandonedBatch& batch = recovery.batches[0];
    EXPECT_EQ(batch.restored, (std::vector<std::string>{(out_ / "wait_b.avi").string()}));
    EXPECT_EQ(batch.remaining, (std::vector<std::string>{jobs[2], jobs[3]}));
    EXPECT_TRUE(batch.batch.settings == o.settings);
    EXPECT_TRUE(batch.batch.preview);
    EXPECT_EQ(batch.batch.parallel, 1);
    EXPECT_EQ(readAll(out_ / "a.avi"), "new");
    EXPECT_EQ(readAll(out_ / "fail.avi"), "old");
    EXPECT_EQ(readAll(out_ / "wait_b.avi"), "old");
    EXPECT_EQ(readAll(out_ / "c.avi"), "old");
    EXPECT_TRUE(hiddenIn(out_).empty());
    batch.forget();
    EXPECT_TRUE(fs::is_empty(state_));
}

// A program told to end from outside (a logout) stops its jobs and puts their earlier results
// back, as a stop does, but keeps the jobs left for the next start to offer.
class EndedFromOutside : public BatchEngineTest, public ::testing::WithParamInterface<bool> {};

TEST_P(EndedFromOutside, KeepsTheJobsLeftForTheNextStart) {
    const bool abandoned = GetParam();  // the process ends under the run, as on a lost display
    const std::vector<std::string> jobs = {source("a.avi"), source("wait1.avi"),
                                           source("wait2.avi"), source("c.avi")};
    writeAll(out_ / "wait1.avi", "old");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        Recorder r;
        qv::BatchEngine engine(options(2), jobs, r);
        if (!stepUntil(engine, [&] { return r.running.size() == 2 && r.ends.size() == 1; }))
            ::_exit(2);
        if (abandoned) {
            engine.abandon();
        } else {
            engine.interrupt();
            engine.runToEnd();
        }
        ::_exit(r.ends.count(1) || abandoned ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(readAll(out_ / "wait1.avi"), "old");
    EXPECT_FALSE(fs::exists(out_ / "wait2.avi"));
    EXPECT_TRUE(hiddenIn(out_).empty());
    qv::Recovery recovery = qv::recoverAbandonedResults(state_.string());
    ASSERT_EQ(recovery.batches.size(), 1u);
    EXPECT_EQ(recovery.batches[0].remaining, (std::vector<std::string>{jobs[1], jobs[2], jobs[3]}));
    EXPECT_TRUE(recovery.batches[0].restored.empty()) << "put back before the program ended";
    recovery.batches[0].forget();
}

INSTANTIATE_TEST_SUITE_P(Ways, EndedFromOutside, ::testing::Values(false, true),
                         [](const auto& test) {
                             return std::string(test.param ? "Abandoned" : "Interrupted");
                         });

// However a batch ends of itself, nothing of it is offered again; while it runs, it is kept.
class NormalEnd : public BatchEngineTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(NormalEnd, LeavesNoJournal) {
    const std::string how = GetParam();
    qv::BatchOptions o = options(2);
    std::vector<std::string> jobs = {source("wait1.avi"), source("b.avi")};
    if (how == "every job failed") jobs = {source("fail1.avi"), source("fail2.avi")};
    if (how == "encoder cannot start") o.encoder = (bin_ / "missing").string();
    if (how == "refused") o.settings.C1_03.clear();
    Recorder r;
    qv::BatchEngine engine(o, jobs, r);
    if (how == "stopped" || how == "finished") {
        ASSERT_TRUE(stepUntil(engine, [&] { return fs::exists(bin_ / "pid_wait1.avi"); }));
        EXPECT_FALSE(fs::is_empty(state_)) << "a running batch is kept";
        if (how == "stopped") engine.cancelAll();
        writeAll(bin_ / "go", "");
    }
    engine.runToEnd();
    ASSERT_TRUE(r.ended);
    EXPECT_TRUE(fs::is_empty(state_));
    EXPECT_TRUE(qv::recoverAbandonedResults(state_.string()).batches.empty());
}

INSTANTIATE_TEST_SUITE_P(Ends, NormalEnd,
                         ::testing::Values("finished", "stopped", "every job failed",
                                           "encoder cannot start", "refused"),
                         [](const auto& test) {
                             std::string name = test.param;
                             std::erase(name, ' ');
                             return name;
                         });

}  // namespace

namespace {

struct JobsCase {
    int setting;
    unsigned cores;
    bool multiThreaded;
    int expected;
};

class JobsSetting : public ::testing::TestWithParam<JobsCase> {};

TEST_P(JobsSetting, GivesEncodersAtOnce) {
    const JobsCase& c = GetParam();
    EXPECT_EQ(qv::parallelJobsFor(c.setting, c.cores, c.multiThreaded), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, JobsSetting,
                         ::testing::Values(JobsCase{1, 8, false, 1}, JobsCase{16, 2, false, 16},
                                           JobsCase{17, 8, false, 1}, JobsCase{-1, 8, false, 1},
                                           JobsCase{0, 2, false, 2}, JobsCase{0, 8, true, 4},
                                           JobsCase{0, 1, true, 1}, JobsCase{0, 0, false, 1},
                                           JobsCase{0, 64, false, 16}));

}  // namespace

namespace {

// A planned job runs its own argument lists and gets its planned time, under the same rules
// as a queued one: an earlier result comes back when it fails, a refused job never starts.
TEST_F(BatchEngineTest, PlannedJobsRunAsPlanned) {
    writeAll(out_ / "fail.avi", "OLD");
    std::vector<qv::PlannedJob> jobs(3);
    jobs[0].source = source("a.avi");
    jobs[0].dest = (out_ / "planned.avi").string();
    jobs[0].passes = {{"-pass", "1", jobs[0].dest}, {"-pass", "2", jobs[0].dest}};
    jobs[0].stamp = timespec{1000000000, 123456789};
    jobs[1].source = source("b.avi");
    jobs[1].dest = (out_ / "fail.avi").string();
    jobs[1].passes = {{jobs[1].dest}};
    jobs[2].source = source("c.avi");
    jobs[2].dest = (out_ / "refused.avi").string();
    jobs[2].refused = qv::kOtherResult;
    Recorder seen;
    qv::BatchEngine engine(options(2), jobs, seen);
    engine.runToEnd();
    ASSERT_TRUE(seen.ended);
    EXPECT_EQ(seen.ends[0], qv::JobEnd::Done);
    EXPECT_EQ(readAll(out_ / "planned.avi"), "new");
    struct stat st {};
    ASSERT_EQ(::stat((out_ / "planned.avi").c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
    EXPECT_EQ(st.st_mtim.tv_nsec, 123456789);
    EXPECT_EQ(seen.ends[1], qv::JobEnd::Failed);
    EXPECT_EQ(seen.reasons[1], "no way through");
    EXPECT_EQ(readAll(out_ / "fail.avi"), "OLD");
    EXPECT_EQ(seen.ends[2], qv::JobEnd::Failed);
    EXPECT_EQ(seen.reasons[2], qv::kOtherResult);
    EXPECT_FALSE(fs::exists(out_ / "refused.avi"));
    EXPECT_EQ(std::count(seen.started.begin(), seen.started.end(), 2), 0);
}

// A scheduler's task killed under its line: the earlier result comes back at the next start,
// but nothing is offered to be run again with the window's settings.
TEST_F(BatchEngineTest, AKilledPlannedLineIsPutBackAndNotOffered) {
    writeAll(out_ / "wait_p.avi", "OLD");
    std::vector<qv::PlannedJob> jobs(1);
    jobs[0].source = source("p.avi");
    jobs[0].dest = (out_ / "wait_p.avi").string();
    jobs[0].passes = {{jobs[0].dest}};
    ASSERT_TRUE(killWhileRunning(
        [&] {
            Recorder r;
            qv::BatchEngine engine(options(1), jobs, r);
            engine.runToEnd();
        },
        "wait_p.avi"));

    const qv::Recovery recovery = qv::recoverAbandonedResults(state_.string());
    EXPECT_EQ(recovery.restored, (std::vector<std::string>{jobs[0].dest}));
    EXPECT_TRUE(recovery.batches.empty());
    EXPECT_EQ(readAll(out_ / "wait_p.avi"), "OLD");
    EXPECT_TRUE(hiddenIn(out_).empty());
    EXPECT_TRUE(fs::is_empty(state_));
}

}  // namespace
