#include "run/encoder_process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// 'R', 'S', 'Z', ... from /proc/<pid>/stat; 0 when the process is gone entirely.
char processState(int pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line)) return 0;
    size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() ? line[close + 2] : 0;
}

// Polls until pred holds; a hang guard, not a speed check.
template <typename Pred>
bool eventually(Pred pred) {
    for (int i = 0; i < 1000; ++i) {
        if (pred()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return pred();
}

bool goneOrDead(int pid) {
    char s = processState(pid);
    return s == 0 || s == 'Z' || s == 'X';
}

class EncoderProcessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/qv_encproc_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        const char* path = std::getenv("PATH");
        savedPath_ = path ? path : "";
    }
    void TearDown() override {
        setenv("PATH", savedPath_.c_str(), 1);
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }

    fs::path script(const std::string& name, const std::string& body, bool executable = true) {
        fs::path p = dir_ / name;
        fs::create_directories(p.parent_path());
        std::ofstream(p) << "#!/bin/sh\n" << body << "\n";
        chmod(p.c_str(), executable ? 0755 : 0644);
        return p;
    }

    fs::path dir_;
    std::string savedPath_;
};

TEST_F(EncoderProcessTest, ResolvePrefersProgramFolderThenPath) {
    fs::path inProgram = script("program/ffmpeg", "exit 0");
    fs::path onPath1 = script("bin1/ffmpeg", "exit 0");
    fs::path onPath2 = script("bin2/ffmpeg", "exit 0");
    std::string path = (dir_ / "bin1").string() + ":" + (dir_ / "bin2").string();
    setenv("PATH", path.c_str(), 1);

    EXPECT_EQ(qv::resolveEncoder((dir_ / "program").string()), inProgram.string());
    EXPECT_EQ(qv::resolveEncoder((dir_ / "program").string() + "/"), inProgram.string());
    EXPECT_EQ(qv::resolveEncoder((dir_ / "elsewhere").string()), onPath1.string());

    // Not executable in the program folder, or not a file at all: the search path decides.
    chmod(inProgram.c_str(), 0644);
    EXPECT_EQ(qv::resolveEncoder((dir_ / "program").string()), onPath1.string());
    fs::create_directories(dir_ / "dirprog" / "ffmpeg");
    EXPECT_EQ(qv::resolveEncoder((dir_ / "dirprog").string()), onPath1.string());
    chmod(onPath1.c_str(), 0644);
    EXPECT_EQ(qv::resolveEncoder((dir_ / "program").string()), onPath2.string());
}

TEST_F(EncoderProcessTest, ResolveFindsNothingAndNeverTakesTheWorkingFolder) {
    script("cwd/ffmpeg", "exit 0");
    fs::path saved = fs::current_path();
    fs::current_path(dir_ / "cwd");
    std::string path = ":" + (dir_ / "empty").string() + "::";
    setenv("PATH", path.c_str(), 1);
    std::string found = qv::resolveEncoder((dir_ / "noprogram").string());
    fs::current_path(saved);
    EXPECT_EQ(found, "");
}

TEST_F(EncoderProcessTest, StartFailuresAreReported) {
    fs::path notExec = script("plain", "exit 0", false);
    fs::create_directories(dir_ / "folder");
    for (const fs::path& exe : {dir_ / "missing", notExec, dir_ / "folder"}) {
        SCOPED_TRACE(exe.string());
        qv::EncoderProcess p;
        std::string error;
        EXPECT_FALSE(p.start(exe.string(), {}, &error));
        EXPECT_NE(error.find(exe.string()), std::string::npos) << error;
        EXPECT_TRUE(p.waitFor(0));  // ended
        EXPECT_FALSE(p.stop());
    }
    qv::EncoderProcess p;
    std::string error;
    EXPECT_FALSE(p.start("", {}, &error));
    EXPECT_FALSE(error.empty());
}

struct ExitCase {
    const char* name;
    const char* body;
    int exitCode;
};

class EncoderProcessExit : public EncoderProcessTest,
                           public ::testing::WithParamInterface<ExitCase> {};

TEST_P(EncoderProcessExit, ReportsHowItEnded) {
    fs::path exe = script("enc", GetParam().body);
    qv::EncoderProcess p;
    ASSERT_TRUE(p.start(exe.string(), {}));
    EXPECT_TRUE(p.waitFor(20000));
    EXPECT_TRUE(p.waitFor(0));  // ended
    EXPECT_EQ(p.exitCode(), GetParam().exitCode);
    EXPECT_FALSE(p.stop());
}

INSTANTIATE_TEST_SUITE_P(Endings, EncoderProcessExit,
                         ::testing::Values(ExitCase{"Zero", "exit 0", 0},
                                           ExitCase{"Three", "exit 3", 3},
                                           ExitCase{"KilledItself", "kill -9 $$", -1}),
                         [](const auto& test) { return std::string(test.param.name); });

TEST_F(EncoderProcessTest, ArgumentsArriveUnchangedWithoutAShell) {
    fs::path out = dir_ / "args.txt";
    fs::path exe = script(
        "enc", "for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > \"" + out.string() + "\"");
    std::vector<std::string> args = {"-i",    "a \"quoted\" name.avi", "-leading", "", "*",
                                     "$HOME", "x; rm -rf y",           "é"};
    qv::EncoderProcess p;
    ASSERT_TRUE(p.start(exe.string(), args));
    ASSERT_TRUE(p.waitFor(20000));
    std::string expected;
    for (const auto& a : args) expected += "[" + a + "]\n";
    EXPECT_EQ(readFile(out), expected);
}

TEST_F(EncoderProcessTest, EnvironmentChangesReachOnlyTheChild) {
    fs::path out = dir_ / "env.txt";
    fs::path exe = script(
        "enc",
        "printf '%s|%s|%s' \"${QV_SET-unset}\" \"${QV_GONE-unset}\" \"${QV_KEPT-unset}\" > \"" +
            out.string() + "\"");
    setenv("QV_SET", "old", 1);
    setenv("QV_GONE", "here", 1);
    setenv("QV_KEPT", "kept", 1);
    qv::EncoderProcess p;
    ASSERT_TRUE(p.start(exe.string(), {}, nullptr,
                        {{"QV_SET", std::string("new=value")}, {"QV_GONE", std::nullopt}}));
    ASSERT_TRUE(p.waitFor(20000));
    EXPECT_EQ(readFile(out), "new=value|unset|kept");
    EXPECT_STREQ(std::getenv("QV_SET"), "old");
    EXPECT_STREQ(std::getenv("QV_GONE"), "here");
    unsetenv("QV_SET");
    unsetenv("QV_GONE");
    unsetenv("QV_KEPT");
}

TEST_F(EncoderProcessTest, ChildSeesNullStdioOwnGroupAndNoLeakedDescriptors) {
    // A descriptor the caller left inheritable, and a stdin that would block forever if
    // the child read the caller's instead of the null device.
    int leak[2];
    ASSERT_EQ(pipe(leak), 0);
    int blockingIn[2];
    ASSERT_EQ(pipe(blockingIn), 0);
    int savedStdin = dup(0);
    dup2(blockingIn[0], 0);

    fs::path out = dir_ / "probe.txt";
    std::string body =
        "in=$(cat; echo eof)\n"
        "std=$(readlink /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2)\n"
        "leak=closed; [ -e /proc/$$/fd/" +
        std::to_string(leak[1]) +
        " ] && leak=leaked\n"
        "group=sharedGroup; [ \"$(cut -d' ' -f5 /proc/$$/stat)\" = \"$$\" ] && group=ownGroup\n"
        "printf '%s\\n' \"$in\" \"$std\" \"$leak\" \"$group\" > \"" +
        out.string() + "\"";
    fs::path exe = script("probe", body);
    qv::EncoderProcess p;
    bool started = p.start(exe.string(), {});
    dup2(savedStdin, 0);
    close(savedStdin);
    ASSERT_TRUE(started);
    bool ended = p.waitFor(20000);
    if (!ended) p.stop();
    close(blockingIn[0]);
    close(blockingIn[1]);
    close(leak[0]);
    close(leak[1]);
    ASSERT_TRUE(ended) << "the child did not see the end of its input";
    EXPECT_EQ(readFile(out), "eof\n/dev/null\n/dev/null\n/dev/null\nclosed\nownGroup\n");
}

// The one descriptor handed over arrives as 3, whatever its number here (3 included, which
// a copy onto itself would leave close-on-exec); nothing else comes with it.
class EncoderProcessHandOver : public EncoderProcessTest,
                               public ::testing::WithParamInterface<bool> {};

TEST_P(EncoderProcessHandOver, OnlyTheHandedDescriptorArrivesAsThree) {
    const bool atThree = GetParam();
    int channel[2];
    ASSERT_EQ(pipe2(channel, O_CLOEXEC), 0);
    int other[2];
    ASSERT_EQ(pipe(other), 0);  // inheritable: must still not leak
    int saved3 = -1;
    int writeEnd = channel[1];
    if (atThree) {
        saved3 = fcntl(3, F_DUPFD_CLOEXEC, 100);  // whatever 3 is now stays ours
        ASSERT_EQ(dup3(channel[1], 3, O_CLOEXEC), 3);
        writeEnd = 3;
    }
    fs::path exe = script("hand", "echo over >&3; [ -e /proc/$$/fd/" + std::to_string(other[1]) +
                                      " ] && echo leaked >&3; exit 0");
    qv::EncoderProcess p;
    const bool started = p.start(exe.string(), {}, nullptr, {}, writeEnd);
    if (atThree) {
        if (saved3 >= 0) {
            dup3(saved3, 3, O_CLOEXEC);
            close(saved3);
        } else {
            close(3);
        }
    }
    close(channel[1]);
    close(other[1]);
    ASSERT_TRUE(started);
    ASSERT_TRUE(p.waitFor(20000));
    char buf[64] = {};
    const ssize_t got = read(channel[0], buf, sizeof buf - 1);
    close(channel[0]);
    close(other[0]);
    EXPECT_EQ(std::string(buf, got > 0 ? static_cast<size_t>(got) : 0), "over\n");
}

INSTANTIATE_TEST_SUITE_P(Numbers, EncoderProcessHandOver, ::testing::Bool());

TEST_F(EncoderProcessTest, WaitInSlicesCallsBackUntilTheEnd) {
    fs::path exe = script("enc", "sleep 0.3; exit 3");
    qv::EncoderProcess p;
    ASSERT_TRUE(p.start(exe.string(), {}));
    int slices = 0;
    p.waitInSlices([&] { ++slices; });
    EXPECT_GE(slices, 1);
    EXPECT_TRUE(p.waitFor(0));  // ended
    EXPECT_EQ(p.exitCode(), 3);
}

TEST_F(EncoderProcessTest, StopFromBetweenSlicesEndsTheWait) {
    fs::path exe = script("enc", "exec sleep 30");
    qv::EncoderProcess p;
    ASSERT_TRUE(p.start(exe.string(), {}));
    int slices = 0;
    bool stopped = false;
    p.waitInSlices([&] {
        if (++slices == 2) stopped = qv::stopProcessById(p.pid());
        if (slices > 1000) p.stop();  // guard: never hang the suite
    });
    EXPECT_EQ(slices, 2);
    EXPECT_TRUE(stopped);
    EXPECT_EQ(p.exitCode(), -1);
}

TEST_F(EncoderProcessTest, StopEndsTheWholeGroup) {
    fs::path childPid = dir_ / "child.pid";
    fs::path exe = script("enc", "sleep 30 & echo $! > \"" + childPid.string() + "\"; wait");
    qv::EncoderProcess p;
    ASSERT_TRUE(p.start(exe.string(), {}));
    ASSERT_TRUE(eventually([&] { return readFile(childPid).find('\n') != std::string::npos; }));
    int child = std::stoi(readFile(childPid));
    ASSERT_FALSE(goneOrDead(child));

    EXPECT_TRUE(p.stop());
    EXPECT_TRUE(p.waitFor(0));  // ended
    EXPECT_EQ(p.exitCode(), -1);
    EXPECT_TRUE(goneOrDead(p.pid()));
    EXPECT_TRUE(eventually([&] { return goneOrDead(child); }))
        << "the encoder's own child survived";
    EXPECT_FALSE(p.stop()) << "a second stop must not succeed";
}

TEST_F(EncoderProcessTest, StopOfAnEndedButUncollectedProcessFails) {
    fs::path exe = script("enc", "exit 3");
    qv::EncoderProcess p;
    ASSERT_TRUE(p.start(exe.string(), {}));
    // Wait for the zombie without collecting it, as a pass that just completed looks.
    ASSERT_TRUE(eventually([&] { return processState(p.pid()) == 'Z'; }));
    EXPECT_FALSE(p.stop());
    EXPECT_EQ(p.exitCode(), 3);
}

TEST_F(EncoderProcessTest, StopByIdOnlyReachesLiveProcessesOfOurs) {
    EXPECT_FALSE(qv::stopProcessById(getpid()));  // exists, but is not one of ours
    EXPECT_FALSE(qv::stopProcessById(-1));
    EXPECT_FALSE(qv::stopProcessById(0));

    fs::path quick = script("quick", "exit 0");
    qv::EncoderProcess ended;
    ASSERT_TRUE(ended.start(quick.string(), {}));
    ASSERT_TRUE(eventually([&] { return processState(ended.pid()) == 'Z'; }));
    EXPECT_FALSE(qv::stopProcessById(ended.pid()));

    fs::path slow = script("slow", "exec sleep 30");
    int pid = -1;
    {
        qv::EncoderProcess running;
        ASSERT_TRUE(running.start(slow.string(), {}));
        pid = running.pid();
        EXPECT_TRUE(qv::stopProcessById(pid));
        EXPECT_TRUE(running.waitFor(0));  // ended
        EXPECT_FALSE(qv::stopProcessById(pid));
    }
    {
        qv::EncoderProcess other;
        ASSERT_TRUE(other.start(slow.string(), {}));
        pid = other.pid();
    }
    // Its object is gone: the id no longer reaches it (it is still running, left alone).
    EXPECT_FALSE(qv::stopProcessById(pid));
    kill(pid, SIGKILL);
}

TEST_F(EncoderProcessTest, DestructorLeavesItRunningAndItIsCollectedLater) {
    fs::path exe = script("enc", "exec sleep 30");
    int pid = -1;
    {
        qv::EncoderProcess p;
        ASSERT_TRUE(p.start(exe.string(), {}));
        pid = p.pid();
    }
    char state = processState(pid);
    EXPECT_TRUE(state != 0 && state != 'Z') << "the destructor must not wait for or kill it";
    kill(pid, SIGKILL);
    EXPECT_TRUE(eventually([&] { return processState(pid) == 0; })) << "left behind as a zombie";
}

TEST_F(EncoderProcessTest, StartAgainAfterTheEnd) {
    fs::path exe = script("enc", "exit \"$1\"");
    qv::EncoderProcess p;
    ASSERT_TRUE(p.start(exe.string(), {"4"}));
    ASSERT_TRUE(p.waitFor(20000));
    int first = p.pid();
    ASSERT_TRUE(p.start(exe.string(), {"5"}));
    ASSERT_TRUE(p.waitFor(20000));
    EXPECT_EQ(p.exitCode(), 5);
    EXPECT_FALSE(qv::stopProcessById(first));
}

}  // namespace
