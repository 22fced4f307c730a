#include "run/run_journal.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "base/file_io.h"
#include "run/batch_rules.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

std::string bytesOf(const std::string& path) {
    std::string bytes;
    qv::readWholeFile(path, bytes);
    return bytes;
}

void write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

timespec mtimeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mtim : timespec{-1, -1};
}

class Journal : public ::testing::Test {
  protected:
    std::string at(const std::string& name) const { return (folder_.path() / name).string(); }

    // An earlier result of the user's, with a date of its own.
    std::string oldResult(const std::string& name) const {
        const std::string path = at(name);
        write(path, "OLD " + name);
        const timespec t[2] = {{1300000001, 424242}, {1300000001, 424242}};
        ::utimensat(AT_FDCWD, path.c_str(), t, 0);
        return path;
    }

    // Runs `body` in a program of its own that is then killed, as a kill or a power cut ends
    // the real one: its journal stays as it was written.
    void killedProgram(const std::function<void(qv::RunJournal&)>& body) const {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            qv::RunJournal journal(state_);
            body(journal);
            ::raise(SIGKILL);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status));
    }

    // Sets `result` aside as job `job` and writes a partial new result in its place.
    static void setAsidePartly(qv::RunJournal& journal, int job, const std::string& result,
                               bool finished = false) {
        // Never put back or deleted: the kill comes first.
        auto* previous = new qv::PreviousResult(&journal, job);
        if (!previous->setAside(result)) ::_exit(2);
        write(result, finished ? "NEW COMPLETE" : "PARTIAL");
        if (finished) journal.finished(job);
    }

    std::vector<std::string> journals() const {
        std::vector<std::string> names;
        if (fs::exists(state_))
            for (const auto& e : fs::directory_iterator(state_))
                names.push_back(e.path().filename().string());
        return names;
    }

    qvtest::TempFolder folder_{"qv_run_journal"};
    const std::string state_ = at("state/quorvane");
};

TEST_F(Journal, OnTheDiskOnlyWhileAJobHasSomethingSetAside) {
    const std::string result = oldResult("a.avi");
    qv::RunJournal journal(state_);
    {
        qv::PreviousResult previous(&journal, 0);
        ASSERT_TRUE(previous.setAside(result));
        // Named after this program, so that no other takes it for one that has ended.
        const std::string name = fs::path(journal.path()).filename().string();
        EXPECT_EQ(name.rfind("run-" + std::to_string(::getpid()) + "-", 0), 0u) << name;
        EXPECT_EQ(journals(), std::vector<std::string>{name});
        write(result, "NEW");
        ASSERT_TRUE(previous.discard());
    }
    EXPECT_TRUE(journals().empty());
    EXPECT_EQ(journal.path(), "");
    EXPECT_EQ(bytesOf(result), "NEW");
    EXPECT_FALSE(fs::exists(at(".a.avi.previous")));
}

struct KilledCase {
    const char* name;
    bool finished;         // the job had stamped its new result
    const char* meddle;    // what happened to the folder after the kill
    const char* expected;  // bytes at the result's name after the recovery
    bool restored;
    bool kept;  // left in the journal, with a reason
};
void PrintTo(const KilledCase& c, std::ostream* os) { *os << c.name; }

class KilledDuringAJob : public Journal, public ::testing::WithParamInterface<KilledCase> {};

TEST_P(KilledDuringAJob, NextStartPutsThePreviousResultBack) {
    const KilledCase& c = GetParam();
    const std::string result = oldResult("a.avi");
    const std::string hidden = at(".a.avi.previous");
    killedProgram([&](qv::RunJournal& j) { setAsidePartly(j, 3, result, c.finished); });
    ASSERT_TRUE(fs::exists(hidden));
    const std::string meddle = c.meddle;
    if (meddle == "partial removed") fs::remove(result);
    if (meddle == "hidden taken away") fs::remove(hidden);
    if (meddle == "folder at the name") {
        fs::remove(result);
        fs::create_directory(result);
    }
    if (meddle == "hidden replaced") {  // made first, so that it cannot get the old inode
        write(at("other"), "SOMEONE ELSE'S");
        fs::rename(at("other"), hidden);
    }

    const qv::Recovery first = qv::recoverAbandonedResults(state_);
    EXPECT_EQ(first.restored,
              c.restored ? std::vector<std::string>{result} : std::vector<std::string>{});
    ASSERT_EQ(first.kept.size(), c.kept ? 1u : 0u);
    if (c.kept) {
        EXPECT_EQ(first.kept[0].result, result);
        EXPECT_EQ(first.kept[0].hidden, hidden);
    }
    if (std::string(c.expected).empty())
        EXPECT_TRUE(fs::is_directory(result));
    else
        EXPECT_EQ(bytesOf(result), c.expected);
    if (c.restored) {
        EXPECT_EQ(mtimeOf(result).tv_sec, 1300000001);
        EXPECT_EQ(mtimeOf(result).tv_nsec, 424242);
    }
    EXPECT_EQ(fs::exists(hidden), c.kept);
    // What could not be dealt with is tried again at the next start, and only that.
    EXPECT_EQ(journals().size(), c.kept ? 1u : 0u);
    const qv::Recovery second = qv::recoverAbandonedResults(state_);
    EXPECT_TRUE(second.restored.empty());
    EXPECT_EQ(second.kept.size(), first.kept.size());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KilledDuringAJob,
    ::testing::Values(
        KilledCase{"PartialResultIsReplaced", false, "", "OLD a.avi", true, false},
        KilledCase{"NoPartialResultYet", false, "partial removed", "OLD a.avi", true, false},
        KilledCase{"FinishedJobKeepsItsNewResult", true, "", "NEW COMPLETE", false, false},
        KilledCase{"HiddenCopyTakenAwayByTheUser", false, "hidden taken away", "PARTIAL", false,
                   false},
        KilledCase{"FolderAtTheNameIsNeverTouched", false, "folder at the name", "", false, true},
        KilledCase{"AnotherFileAtTheHiddenName", false, "hidden replaced", "PARTIAL", false, true}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(Journal, RunningProgramsKeepTheirsAndEndedOnesAreTakenOn) {
    const std::string mine = oldResult("mine.avi");
    const std::string killed = oldResult("killed.avi");
    // This program is running: its journal is not for anyone else to act on.
    qv::RunJournal journal(state_);
    qv::PreviousResult previous(&journal, 0);
    ASSERT_TRUE(previous.setAside(mine));
    write(mine, "PARTIAL");
    killedProgram([&](qv::RunJournal& j) { setAsidePartly(j, 0, killed); });
    // The killed program's id handed on to this one: the start time tells them apart.
    std::string theirs;
    for (const std::string& name : journals())
        if (state_ + "/" + name != journal.path()) theirs = name;
    ASSERT_FALSE(theirs.empty());
    const std::string reused = "run-" + std::to_string(::getpid()) + "-1.journal";
    fs::rename(fs::path(state_) / theirs, fs::path(state_) / reused);

    const qv::Recovery recovery = qv::recoverAbandonedResults(state_);
    EXPECT_EQ(recovery.restored, std::vector<std::string>{killed});
    EXPECT_TRUE(recovery.kept.empty());
    EXPECT_EQ(bytesOf(killed), "OLD killed.avi");
    EXPECT_EQ(bytesOf(mine), "PARTIAL");
    EXPECT_EQ(bytesOf(at(".mine.avi.previous")), "OLD mine.avi");
    EXPECT_EQ(journals().size(), 1u);
    ASSERT_TRUE(previous.putBack());
    EXPECT_EQ(bytesOf(mine), "OLD mine.avi");
    EXPECT_TRUE(journals().empty());
}

TEST_F(Journal, CutOffLinesAndRecordsOfLaterKindsArePassedOver) {
    const std::string a = oldResult("a.avi");
    killedProgram([&](qv::RunJournal& j) {
        setAsidePartly(j, 0, a);
        const int fd = ::open(j.path().c_str(), O_WRONLY | O_APPEND);
        const std::string more = "waiting\t1\tb.wmv\nset-aside\t2\t" + at("b.avi") + "\t";
        if (::write(fd, more.data(), more.size()) < 0) ::_exit(2);
        ::close(fd);
    });
    const qv::Recovery recovery = qv::recoverAbandonedResults(state_);
    EXPECT_EQ(recovery.restored, std::vector<std::string>{a});
    EXPECT_TRUE(recovery.kept.empty());
    EXPECT_EQ(bytesOf(a), "OLD a.avi");
    EXPECT_TRUE(journals().empty());
}

TEST_F(Journal, ANewResultTakesTheStaleCopiesWithIt) {
    const std::string a = oldResult("a.avi");
    const std::string other = oldResult("other.avi");
    // A copy that could not be put back (a folder stood at the name), a file of that kind of
    // name that no journal knows of, and a copy that a running program holds.
    killedProgram([&](qv::RunJournal& j) {
        setAsidePartly(j, 0, a);
        setAsidePartly(j, 1, other);
    });
    fs::remove(a);
    fs::create_directory(a);
    ASSERT_EQ(qv::recoverAbandonedResults(state_).kept.size(), 1u);
    EXPECT_EQ(bytesOf(other), "OLD other.avi");
    fs::remove(a);
    write(a, "NEW");
    write(at(".a.avi.previous-7"), "THE USER'S");
    const std::string b = oldResult("b.avi");
    qv::RunJournal journal(state_);
    qv::PreviousResult held(&journal, 0);
    ASSERT_TRUE(held.setAside(b));

    qv::dropStaleCopies(state_, a);
    EXPECT_FALSE(fs::exists(at(".a.avi.previous")));
    EXPECT_EQ(bytesOf(at(".a.avi.previous-7")), "THE USER'S");
    EXPECT_EQ(bytesOf(a), "NEW");
    EXPECT_TRUE(qv::recoverAbandonedResults(state_).kept.empty());
    // A copy that a running program holds stays.
    const std::string heldCopy = held.hiddenPath();
    ASSERT_EQ(fs::path(heldCopy).filename(), ".b.avi.previous");
    qv::dropStaleCopies(state_, b);
    EXPECT_EQ(bytesOf(heldCopy), "OLD b.avi");
    ASSERT_TRUE(held.putBack());
}

// Settings unlike the defaults in every field, the folder text with what a line of the
// journal must carry safely.
qv::ConversionSettings unusualSettings() {
    qv::ConversionSettings s;
    s.C1_02 = 1;
    s.C1_03 = "/tmp/\xe5\x87\xba\xe5\x8a\x9b\tfolder\\with\nbreaks\r\xff";
    int n = 2;
    for (int qv::ConversionSettings::*f :
         {&qv::ConversionSettings::C2_00,   &qv::ConversionSettings::C2_01,
          &qv::ConversionSettings::C2_02,   &qv::ConversionSettings::C2_03,
          &qv::ConversionSettings::C2_04,   &qv::ConversionSettings::C2_05,
          &qv::ConversionSettings::C2_06,   &qv::ConversionSettings::C2_07_1,
          &qv::ConversionSettings::C2_07_2, &qv::ConversionSettings::C2_07_3,
          &qv::ConversionSettings::C2_07_4, &qv::ConversionSettings::C3_01,
          &qv::ConversionSettings::C3_02,   &qv::ConversionSettings::C3_03,
          &qv::ConversionSettings::C3_04,   &qv::ConversionSettings::C3_05,
          &qv::ConversionSettings::C3_06,   &qv::ConversionSettings::C4_01_1,
          &qv::ConversionSettings::C4_01_2, &qv::ConversionSettings::C4_01_3,
          &qv::ConversionSettings::C4_01_4, &qv::ConversionSettings::C4_01_5,
          &qv::ConversionSettings::C4_01_6})
        s.*f = n++;
    s.C2_07_1 = -7;  // read back as written, never as a default
    s.CheckBox1 = s.CheckBox2 = s.CheckBox3 = s.CheckBox4 = s.CheckBox5 = true;
    return s;
}

// A batch of five jobs, each left in another state by a program that was then killed.
TEST_F(Journal, AKilledBatchComesBackWithItsSettingsAndTheJobsLeftToDo) {
    const std::vector<std::string> sources = {at("done.wmv"), at("failed.wmv"), at("cancelled.wmv"),
                                              at("run\tning.wmv"), at("wait\\ing\n.wmv")};
    const std::string running = oldResult("running.avi");
    const qv::BatchRecord batch{unusualSettings(), true, 3};
    killedProgram([&](qv::RunJournal& j) {
        if (!j.beginBatch(batch, sources)) ::_exit(2);
        j.running(0);
        j.done(0);
        j.running(1);
        j.failed(1);
        j.running(2);
        j.cancelled(2);
        setAsidePartly(j, 3, running);
        j.running(3);
    });

    qv::Recovery recovery = qv::recoverAbandonedResults(state_);
    EXPECT_TRUE(recovery.restored.empty()) << "its own restored results go with the batch";
    EXPECT_TRUE(recovery.kept.empty());
    ASSERT_EQ(recovery.batches.size(), 1u);
    const qv::AbandonedBatch& b = recovery.batches[0];
    EXPECT_TRUE(b.batch.settings == batch.settings);
    EXPECT_EQ(b.batch.settings.C1_03, batch.settings.C1_03);
    EXPECT_TRUE(b.batch.preview);
    EXPECT_EQ(b.batch.parallel, 3);
    EXPECT_EQ(b.remaining, (std::vector<std::string>{sources[3], sources[4]}));
    EXPECT_EQ(b.restored, std::vector<std::string>{running});
    EXPECT_EQ(bytesOf(running), "OLD running.avi");
    EXPECT_FALSE(fs::exists(at(".running.avi.previous")));
}

TEST_F(Journal, ABatchIsOfferedUntilItIsForgottenAndToOneProgramAtATime) {
    const std::string a = at("a.wmv"), b = at("b.wmv"), c = at("c.wmv");
    killedProgram([&](qv::RunJournal& j) { j.beginBatch({}, {a, b}); });
    killedProgram([&](qv::RunJournal& j) {
        j.beginBatch({}, {c});
        setAsidePartly(j, 0, oldResult("c.avi"));
    });
    {
        qv::Recovery first = qv::recoverAbandonedResults(state_);
        ASSERT_EQ(first.batches.size(), 2u);
        EXPECT_EQ(first.batches[0].remaining, (std::vector<std::string>{a, b}));
        EXPECT_EQ(first.batches[1].remaining, std::vector<std::string>{c});
        // Another program starting while this one asks its user offers neither.
        EXPECT_TRUE(qv::recoverAbandonedResults(state_).batches.empty());
        first.batches[1].forget();
        // Left without an answer (the program ended first): asked again next time.
    }
    qv::Recovery second = qv::recoverAbandonedResults(state_);
    ASSERT_EQ(second.batches.size(), 1u);
    EXPECT_EQ(second.batches[0].remaining, (std::vector<std::string>{a, b}));
    EXPECT_TRUE(second.batches[0].restored.empty()) << "put back once, at the first start";
    second.batches[0].forget();
    EXPECT_TRUE(journals().empty());
    EXPECT_TRUE(qv::recoverAbandonedResults(state_).batches.empty());
}

// A copy that cannot be put back keeps its journal after the batch is forgotten.
TEST_F(Journal, ForgettingABatchKeepsWhatCouldNotBePutBack) {
    const std::string a = oldResult("a.avi");
    killedProgram([&](qv::RunJournal& j) {
        j.beginBatch({}, {at("a.wmv"), at("b.wmv")});
        setAsidePartly(j, 0, a);
    });
    fs::remove(a);
    fs::create_directory(a);
    {
        qv::Recovery recovery = qv::recoverAbandonedResults(state_);
        ASSERT_EQ(recovery.kept.size(), 1u);
        ASSERT_EQ(recovery.batches.size(), 1u);
        recovery.batches[0].forget();
    }
    EXPECT_EQ(journals().size(), 1u);
    const qv::Recovery again = qv::recoverAbandonedResults(state_);
    EXPECT_EQ(again.kept.size(), 1u);
    EXPECT_TRUE(again.batches.empty());
}

TEST_F(Journal, ANewResultDropsAStaleCopyAndTheBatchIsStillOffered) {
    const std::string a = oldResult("a.avi");
    killedProgram([&](qv::RunJournal& j) {
        j.beginBatch({}, {at("a.wmv"), at("b.wmv")});
        setAsidePartly(j, 0, a);
    });
    fs::remove(a);
    fs::create_directory(a);
    ASSERT_EQ(qv::recoverAbandonedResults(state_).kept.size(), 1u);
    fs::remove(a);
    write(a, "NEW");
    qv::dropStaleCopies(state_, a);
    EXPECT_FALSE(fs::exists(at(".a.avi.previous")));
    qv::Recovery recovery = qv::recoverAbandonedResults(state_);
    EXPECT_TRUE(recovery.kept.empty());
    ASSERT_EQ(recovery.batches.size(), 1u);
    EXPECT_EQ(recovery.batches[0].remaining.size(), 2u);
    recovery.batches[0].forget();
    EXPECT_TRUE(journals().empty());
}

// A journal as the program wrote it before whole batches were kept: set-aside records only.
TEST_F(Journal, AnOlderProgramsJournalIsStillRecovered) {
    const std::string a = oldResult("a.avi"), b = oldResult("b.avi");
    struct stat st {};
    std::string lines = "quorvane-journal 1\t\n";
    int job = 0;
    for (const std::string& result : {a, b}) {
        ASSERT_EQ(::stat(result.c_str(), &st), 0);
        const std::string hidden = at("." + fs::path(result).filename().string() + ".previous");
        fs::rename(result, hidden);
        lines += "set-aside\t" + std::to_string(job++) + "\t" + result + "\t" + hidden + "\t" +
                 std::to_string(st.st_dev) + "\t" + std::to_string(st.st_ino) + "\n";
    }
    write(b, "NEW COMPLETE");
    lines += "finished\t1\n";
    fs::create_directories(state_);
    write(state_ + "/run-999999999-1.journal", lines);  // a program long gone

    const qv::Recovery recovery = qv::recoverAbandonedResults(state_);
    EXPECT_EQ(recovery.restored, std::vector<std::string>{a});
    EXPECT_TRUE(recovery.batches.empty());
    EXPECT_EQ(bytesOf(a), "OLD a.avi");
    EXPECT_EQ(bytesOf(b), "NEW COMPLETE");
    EXPECT_FALSE(fs::exists(at(".a.avi.previous")));
    EXPECT_FALSE(fs::exists(at(".b.avi.previous")));
    EXPECT_TRUE(journals().empty());
}

}  // namespace
