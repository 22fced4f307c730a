#include "run/result_lock.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/file_io.h"
#include "support/temp_folder.h"

namespace {

using Outcome = qv::ResultLock::Outcome;

std::string read(const std::string& path) {
    std::string bytes;
    return qv::readWholeFile(path, bytes) ? bytes : std::string("(none)");
}

void write(const std::string& path, const std::string& bytes) { std::ofstream(path) << bytes; }

// The pid of a process of this host that has ended.
long endedPid() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

TEST(ResultLock, LivesBesideTheResultAsAHiddenFile) {
    EXPECT_EQ(qv::resultLockPath("/out/clip.mp4"), "/out/.clip.mp4.lock");
}

TEST(ResultLock, IsTakenOnceAndGoesWithItsRelease) {
    qvtest::TempFolder dir("result_lock_once");
    const std::string result = dir.at("clip.mp4");
    {
        qv::ResultLock first;
        ASSERT_EQ(first.take(result), Outcome::Taken);
        const std::string content = read(first.path());
        std::istringstream fields(content);
        std::string host;
        long pid = 0;
        fields >> host >> pid;
        EXPECT_EQ(host, qv::lockHostName());
        EXPECT_EQ(pid, ::getpid());
        // A second claim, even by this same process, is refused while the first holds it.
        qv::ResultLock second;
        EXPECT_EQ(second.take(result), Outcome::HeldHere);
        EXPECT_EQ(read(first.path()), content) << "a refused claim left the lock alone";
    }
    EXPECT_EQ(read(qv::resultLockPath(result)), "(none)");
}

struct HolderCase {
    const char* name;
    bool otherHost;
    bool ended;
    Outcome outcome;
};

class LockHolder : public ::testing::TestWithParam<HolderCase> {};

// Only the lock of an ended process of this host may be taken; another host's is honoured
// whatever its pid says here.
TEST_P(LockHolder, DecidesWhetherTheLockMayBeTaken) {
    const HolderCase& c = GetParam();
    qvtest::TempFolder dir("result_lock_holder");
    const std::string result = dir.at("clip.mp4");
    const std::string host = c.otherHost ? qv::lockHostName() + "-elsewhere" : qv::lockHostName();
    const long pid = c.ended ? endedPid() : static_cast<long>(::getppid());
    const std::string stale = host + " " + std::to_string(pid) + " \n";
    write(qv::resultLockPath(result), stale);
    qv::ResultLock lock;
    EXPECT_EQ(lock.take(result), c.outcome);
    if (c.outcome == Outcome::TakenOver) {
        EXPECT_NE(read(lock.path()), stale);
        lock.release();
        EXPECT_EQ(read(qv::resultLockPath(result)), "(none)");
    } else {
        EXPECT_EQ(read(lock.path()), stale);
        EXPECT_NE(lock.why().find(host), std::string::npos) << lock.why();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, LockHolder,
    ::testing::Values(HolderCase{"EndedLocalProcess", false, true, Outcome::TakenOver},
                      HolderCase{"RunningLocalProcess", false, false, Outcome::HeldHere},
                      HolderCase{"OtherHostEvenWithADeadPid", true, true, Outcome::HeldElsewhere},
                      HolderCase{"OtherHostRunning", true, false, Outcome::HeldElsewhere}),
    [](const auto& test) { return std::string(test.param.name); });

// Several tasks of one plan line at once over a lock left by a crash: exactly one may write.
TEST(ResultLock, ManyTakersOfOneStaleLockLeaveExactlyOneHolder) {
    qvtest::TempFolder dir("result_lock_takers");
    const std::string result = dir.at("clip.mp4");
    constexpr int kTakers = 6;
    for (int round = 0; round < 40; ++round) {
        write(qv::resultLockPath(result),
              qv::lockHostName() + " " + std::to_string(endedPid()) + " \n");
        int go[2], told[2], done[2];
        ASSERT_EQ(::pipe(go), 0);
        ASSERT_EQ(::pipe(told), 0);
        ASSERT_EQ(::pipe(done), 0);
        std::vector<pid_t> takers;
        for (int i = 0; i < kTakers; ++i) {
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                char c;
                ::close(go[1]);
                ::close(done[1]);
                static_cast<void>(::read(go[0], &c, 1));  // all start together
                qv::ResultLock lock;
                const Outcome got = lock.take(result);
                const char said = got == Outcome::Taken || got == Outcome::TakenOver ? 'Y' : 'n';
                static_cast<void>(::write(told[1], &said, 1));
                static_cast<void>(::read(done[0], &c, 1));  // a holder holds until all have tried
                ::_exit(0);
            }
            takers.push_back(child);
        }
        ::close(go[0]);
        ::close(go[1]);
        int holders = 0;
        for (int i = 0; i < kTakers; ++i) {
            char c = 0;
            ASSERT_EQ(::read(told[0], &c, 1), 1);
            holders += c == 'Y' ? 1 : 0;
        }
        ::close(done[1]);
        for (const pid_t t : takers) ::waitpid(t, nullptr, 0);
        for (const int fd : {told[0], told[1], done[0]}) ::close(fd);
        ASSERT_EQ(holders, 1) << "round " << round;
        EXPECT_EQ(read(qv::resultLockPath(result) + ".takeover"), "(none)");
    }
}

// A taker that ended between removing a stale lock and making its own leaves its takeover
// file: nobody can tell from here whether that is safe, so the user is asked to remove it.
TEST(ResultLock, ATakerThatEndedHalfwayIsNamedNotGuessedAt) {
    qvtest::TempFolder dir("result_lock_stuck");
    const std::string result = dir.at("clip.mp4");
    const std::string stale = qv::lockHostName() + " " + std::to_string(endedPid()) + " \n";
    write(qv::resultLockPath(result), stale);
    write(qv::resultLockPath(result) + ".takeover", stale);
    qv::ResultLock lock;
    EXPECT_EQ(lock.take(result), Outcome::Stuck);
    EXPECT_EQ(lock.path(), qv::resultLockPath(result) + ".takeover");
    EXPECT_EQ(read(qv::resultLockPath(result)), stale);
    EXPECT_EQ(read(lock.path()), stale);
}

TEST(ResultLock, AReleaseLeavesAnotherOwnersLockAlone) {
    qvtest::TempFolder dir("result_lock_other_owner");
    const std::string result = dir.at("clip.mp4");
    qv::ResultLock lock;
    ASSERT_EQ(lock.take(result), Outcome::Taken);
    // Someone cleared it by hand and another node claimed it since.
    write(lock.path(), "node7 4242 1\n");
    lock.release();
    EXPECT_EQ(read(qv::resultLockPath(result)), "node7 4242 1\n");
}

TEST(ResultLock, AFolderThatIsNotThereIsAnError) {
    qvtest::TempFolder dir("result_lock_no_folder");
    qv::ResultLock lock;
    EXPECT_EQ(lock.take(dir.at("gone/clip.mp4")), Outcome::Error);
    EXPECT_FALSE(lock.why().empty());
}

}  // namespace
