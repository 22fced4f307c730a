#include "base/file_io.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

std::string contentOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class FileIo : public ::testing::Test {
  protected:
    std::string path(const char* name) const { return folder_.at(name); }
    std::set<std::string> entries() const {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_))
            names.insert(e.path().filename().string());
        return names;
    }
    qvtest::TempFolder folder_{"qv_file_io"};
    const fs::path& dir_ = folder_.path();
};

TEST_F(FileIo, ReadTellsMissingFromUnreadable) {
    std::string bytes = "stale";
    const qv::FileResult missing = qv::readWholeFile(path("none"), bytes);
    EXPECT_EQ(missing.status, qv::FileStatus::Missing);
    EXPECT_FALSE(missing);
    EXPECT_TRUE(bytes.empty());

    const qv::FileResult folder = qv::readWholeFile(dir_.string(), bytes);
    EXPECT_EQ(folder.status, qv::FileStatus::Error);
    EXPECT_FALSE(folder.message.empty());
}

TEST_F(FileIo, ReplaceThenReadGivesTheBytesBack) {
    const std::string bytes("a\r\n\0b\x82\xa0", 7);
    ASSERT_TRUE(qv::replaceFileAtomically(path("f"), bytes));
    std::string back;
    const qv::FileResult read = qv::readWholeFile(path("f"), back);
    ASSERT_TRUE(read) << read.message;
    EXPECT_TRUE(read.message.empty());
    EXPECT_EQ(back, bytes);
}

TEST_F(FileIo, FailedReplaceSaysWhyAndLeavesNoTemporaryFile) {
    { std::ofstream(path("f")) << "old"; }
    ::chmod(path("f").c_str(), 0444);
    const qv::FileResult r = qv::replaceFileAtomically(path("f"), "new");
    EXPECT_EQ(r.status, qv::FileStatus::Error);
    EXPECT_NE(r.message.find("read-only"), std::string::npos) << r.message;
    std::string back;
    ASSERT_TRUE(qv::readWholeFile(path("f"), back));
    EXPECT_EQ(back, "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);

    EXPECT_FALSE(qv::replaceFileAtomically(path("no/such/f"), "x"));
}

// A save killed halfway (here by the file size limit) leaves its temporary file
// behind; the next save of the same file removes it, and nothing else.
TEST_F(FileIo, NextSaveRemovesWhatAKilledSaveLeft) {
    ASSERT_TRUE(qv::replaceFileAtomically(path("f"), "old"));
    std::ofstream(path("f.backup")) << "the user's";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit size{4096, 4096}, core{0, 0};
        ::setrlimit(RLIMIT_CORE, &core);
        ::setrlimit(RLIMIT_FSIZE, &size);
        ::signal(SIGXFSZ, SIG_DFL);
        qv::replaceFileAtomically(path("f"), std::string(1 << 20, 'x'));
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;
    ASSERT_EQ(entries().size(), 3u);
    EXPECT_EQ(contentOf(path("f")), "old");

    ASSERT_TRUE(qv::replaceFileAtomically(path("f"), "new"));
    EXPECT_EQ(entries(), (std::set<std::string>{"f", "f.backup"}));
    EXPECT_EQ(contentOf(path("f")), "new");
}

TEST_F(FileIo, SaveLeavesTheTemporaryFileOfASaveStillRunning) {
    const std::string running = qv::temporaryFileName(path("f"), "Run123");
    const int fd = ::open(running.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    EXPECT_TRUE(qv::replaceFileAtomically(path("f"), "new"));
    EXPECT_TRUE(fs::exists(running));
    ::close(fd);
    EXPECT_TRUE(qv::replaceFileAtomically(path("f"), "newer"));
    EXPECT_FALSE(fs::exists(running));
}

// A folder, a FIFO without a writer or a device is refused at once: opening a
// FIFO for reading would otherwise wait for a writer for ever.
class NotARegularFile : public FileIo, public ::testing::WithParamInterface<const char*> {
  protected:
    std::string make() {
        const std::string kind = GetParam();
        if (kind == "device") return "/dev/zero";
        const std::string p = path(kind.c_str());
        if (kind == "folder") fs::create_directory(p);
        if (kind == "fifo") ::mkfifo(p.c_str(), 0600);
        return p;
    }
    // The call's result, or a failure when it waits; a waiting call is set free
    // by a writer, so that the test still ends.
    qv::FileResult withoutWaiting(const std::string& p, std::function<qv::FileResult()> call) {
        auto result = std::async(std::launch::async, std::move(call));
        if (result.wait_for(std::chrono::seconds(3)) == std::future_status::timeout) {
            ADD_FAILURE() << "waited on a " << GetParam();
            const int writer = ::open(p.c_str(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0) ::close(writer);
        }
        return result.get();
    }
};

TEST_P(NotARegularFile, IsUnreadableAtOnce) {
    const std::string p = make();
    std::string bytes;
    const qv::FileResult read = withoutWaiting(p, [&] { return qv::readWholeFile(p, bytes); });
    EXPECT_EQ(read.status, qv::FileStatus::Error);
    EXPECT_FALSE(read.message.empty());
    EXPECT_TRUE(bytes.empty());

    bool changed = false;
    const qv::FileResult update = withoutWaiting(p, [&] {
        return qv::updateFileLocked(p, [&](const std::string*) {
            changed = true;
            return std::string("x");
        });
    });
    EXPECT_EQ(update.status, qv::FileStatus::Error);
    EXPECT_FALSE(changed);
}

INSTANTIATE_TEST_SUITE_P(Kinds, NotARegularFile, ::testing::Values("folder", "fifo", "device"),
                         [](const auto& test) { return std::string(test.param); });

// ---------------------------------------------------------------- updates under the lock

std::string appended(const std::string* current, const std::string& line) {
    return (current ? *current : std::string("missing\n")) + line + "\n";
}

TEST_F(FileIo, UpdatesOfProcessesTakingTurnsAllLand) {
    ASSERT_TRUE(qv::replaceFileAtomically(path("f"), "start\n"));
    constexpr int kChildren = 3, kEach = 20;
    std::vector<pid_t> children;
    for (int c = 0; c < kChildren; ++c) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            bool ok = true;
            for (int i = 0; i < kEach; ++i)
                ok = qv::updateFileLocked(
                         path("f"),
                         [&](const std::string* current) {
                             return appended(current, std::to_string(c) + "." + std::to_string(i));
                         })
                         .ok() &&
                     ok;
            ::_exit(ok ? 0 : 1);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const std::string after = contentOf(path("f"));
    EXPECT_TRUE(after.starts_with("start\n"));
    for (int c = 0; c < kChildren; ++c)
        for (int i = 0; i < kEach; ++i) {
            const std::string line = "\n" + std::to_string(c) + "." + std::to_string(i) + "\n";
            EXPECT_NE(after.find(line), std::string::npos) << line;
        }
    EXPECT_EQ(entries(), std::set<std::string>{"f"});
}

// Another process replaced the file while this one waited for the old file's
// lock: the change is made to the new file.
TEST_F(FileIo, UpdateWaitingForTheLockReadsTheFileThatReplacedIt) {
    ASSERT_TRUE(qv::replaceFileAtomically(path("f"), "old\n"));
    const int held = ::open(path("f").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        ::_exit(qv::updateFileLocked(
                    path("f"),
                    [](const std::string* c) {
                        return appended(c, "child");
                    }).ok()
                    ? 0
                    : 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_TRUE(qv::replaceFileAtomically(path("f"), "replaced\n"));
    ::close(held);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(contentOf(path("f")), "replaced\nchild\n");
}

TEST_F(FileIo, UpdateOfAMissingFileCreatesIt) {
    ASSERT_TRUE(
        qv::updateFileLocked(path("f"), [](const std::string* c) { return appended(c, "new"); }));
    EXPECT_EQ(contentOf(path("f")), "missing\nnew\n");
}

}  // namespace
