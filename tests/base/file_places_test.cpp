#include "base/file_places.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>

#include "base/file_io.h"
#include "support/environment_guard.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

using qvtest::EnvironmentGuard;

mode_t modeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

std::string bytesOf(const std::string& path) {
    std::string bytes;
    qv::readWholeFile(path, bytes);
    return bytes;
}

class FilePlaces : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(program_);
        std::ofstream(program_ + "/profile.txt", std::ios::binary) << kShipped;
        EnvironmentGuard::set("XDG_CONFIG_HOME", config_);
        EnvironmentGuard::set("HOME", at("home"));
    }
    void TearDown() override { ::chmod(program_.c_str(), 0755); }
    std::string at(const char* name) const { return folder_.at(name); }
    void makeReadOnly() const { ASSERT_EQ(::chmod(program_.c_str(), 0555), 0); }

    // Code page 932 bytes and no final line break: the copy must keep both.
    const std::string kShipped = "\x83\x76\x83\x8a,MP4,320x240\r\nWeb,FLV";
    EnvironmentGuard env_;
    qvtest::TempFolder folder_{"qv_file_places"};
    const std::string program_ = at("program");
    const std::string config_ = at("config/nested");  // its parents do not exist yet
    const std::string own_ = config_ + "/quorvane";
};

TEST_F(FilePlaces, WritableProgramFolderKeepsEverythingBesideTheProgram) {
    EXPECT_TRUE(qv::folderTakesFiles(program_));
    EXPECT_EQ(qv::settingsFolder(program_), program_);
    EXPECT_EQ(qv::presetFilePath(program_), program_ + "/profile.txt");
    EXPECT_EQ(qv::scratchFolder(program_), program_);
    EXPECT_FALSE(fs::exists(at("config"))) << "nothing is made in the configuration folder";
}

TEST_F(FilePlaces, MissingProgramFolderIsNoInstall) {
    // Its files keep their paths, so that a failed save names them; nothing goes elsewhere.
    const std::string gone = at("gone");
    EXPECT_EQ(qv::settingsFolder(gone), gone);
    EXPECT_EQ(qv::presetFilePath(gone), gone + "/profile.txt");
    EXPECT_EQ(qv::scratchFolder(gone), gone);
    EXPECT_FALSE(fs::exists(at("config")));
}

TEST_F(FilePlaces, ReadOnlyProgramFolderSendsSettingsToTheUsersFolder) {
    makeReadOnly();
    EXPECT_FALSE(qv::folderTakesFiles(program_));
    EXPECT_EQ(qv::settingsFolder(program_), own_);
    EXPECT_TRUE(fs::is_directory(own_));
    EXPECT_EQ(modeOf(own_), 0700u);
    EXPECT_EQ(modeOf(at("config")), 0700u);
}

TEST_F(FilePlaces, PresetsAreCopiedOnFirstUseAndTheUsersCopyKept) {
    makeReadOnly();
    const std::string copy = own_ + "/profile.txt";
    ASSERT_EQ(qv::presetFilePath(program_), copy);
    EXPECT_EQ(bytesOf(copy), kShipped);

    // The user's presets outlive a new shipped file.
    ASSERT_TRUE(qv::replaceFileAtomically(copy, kShipped + "\r\nMine,MP4"));
    ::chmod(program_.c_str(), 0755);
    std::ofstream(program_ + "/profile.txt", std::ios::binary) << "Upgraded,MP4";
    makeReadOnly();
    EXPECT_EQ(qv::presetFilePath(program_), copy);
    EXPECT_EQ(bytesOf(copy), kShipped + "\r\nMine,MP4");
}

TEST_F(FilePlaces, PresetsStayWithTheShippedFileWhenNoCopyCanBeMade) {
    // A configuration folder that would have to be made inside a file.
    std::ofstream(at("plain")) << "x";
    EnvironmentGuard::set("XDG_CONFIG_HOME", at("plain") + "/inside");
    makeReadOnly();
    EXPECT_EQ(qv::presetFilePath(program_), program_ + "/profile.txt");
    EXPECT_EQ(qv::settingsFolder(program_), program_);

    // Nothing shipped: nothing copied, the message names the shipped file.
    EnvironmentGuard::set("XDG_CONFIG_HOME", config_);
    ::chmod(program_.c_str(), 0755);
    fs::remove(program_ + "/profile.txt");
    makeReadOnly();
    EXPECT_EQ(qv::presetFilePath(program_), program_ + "/profile.txt");
    EXPECT_FALSE(fs::exists(own_ + "/profile.txt"));
}

struct ConfigCase {
    const char* name;
    std::optional<std::string> xdgConfigHome;
    std::optional<std::string> home;
    std::string expected;
};
void PrintTo(const ConfigCase& c, std::ostream* os) { *os << c.name; }

class UserConfigFolder : public ::testing::TestWithParam<ConfigCase> {
  protected:
    EnvironmentGuard env_;
};

TEST_P(UserConfigFolder, FollowsTheBaseDirectoryRules) {
    const ConfigCase& c = GetParam();
    EnvironmentGuard::set("XDG_CONFIG_HOME", c.xdgConfigHome);
    EnvironmentGuard::set("HOME", c.home);
    EXPECT_EQ(qv::userConfigFolder(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UserConfigFolder,
    ::testing::Values(ConfigCase{"XdgSet", "/x/conf", "/home/u", "/x/conf/quorvane"},
                      ConfigCase{"XdgTrailingSlash", "/x/conf/", "/home/u", "/x/conf/quorvane"},
                      ConfigCase{"XdgUnset", std::nullopt, "/home/u", "/home/u/.config/quorvane"},
                      ConfigCase{"XdgEmpty", "", "/home/u/", "/home/u/.config/quorvane"},
                      ConfigCase{"XdgRelativeIgnored", "conf", "/home/u",
                                 "/home/u/.config/quorvane"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(UserStateFolder, FollowsTheSameRulesAsTheConfigurationFolder) {
    EnvironmentGuard env;
    EnvironmentGuard::set("HOME", "/home/u");
    EnvironmentGuard::set("XDG_STATE_HOME", "/x/state/");
    EXPECT_EQ(qv::userStateFolder(), "/x/state/quorvane");
    EnvironmentGuard::set("XDG_STATE_HOME", "state");
    EXPECT_EQ(qv::userStateFolder(), "/home/u/.local/state/quorvane");
    EnvironmentGuard::set("XDG_STATE_HOME", std::nullopt);
    EXPECT_EQ(qv::userStateFolder(), "/home/u/.local/state/quorvane");
}

struct ModeCase {
    const char* name;
    bool makeFolder;
    mode_t mode;
    bool takesFiles;
};
void PrintTo(const ModeCase& c, std::ostream* os) { *os << c.name; }

class FolderTakesFiles : public ::testing::TestWithParam<ModeCase> {
  protected:
    qvtest::TempFolder folder_{"qv_folder_takes_files"};
};

TEST_P(FolderTakesFiles, LooksAtTheWriteBits) {
    const ModeCase& c = GetParam();
    const std::string path = folder_.at("f");
    if (c.makeFolder) {
        fs::create_directory(path);
    } else {
        std::ofstream(path) << "x";
    }
    ::chmod(path.c_str(), c.mode);
    EXPECT_EQ(qv::folderTakesFiles(path), c.takesFiles);
    ::chmod(path.c_str(), 0755);
    EXPECT_FALSE(qv::folderTakesFiles(folder_.at("missing")));
}

INSTANTIATE_TEST_SUITE_P(Cases, FolderTakesFiles,
                         ::testing::Values(ModeCase{"Writable", true, 0755, true},
                                           ModeCase{"OwnerOnly", true, 0700, true},
                                           ModeCase{"ReadOnly", true, 0555, false},
                                           ModeCase{"NoWriteNoEntry", true, 0444, false},
                                           ModeCase{"AFile", false, 0644, false}),
                         [](const auto& test) { return std::string(test.param.name); });

class PrivateFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(runtime_);
        fs::create_directories(tmp_);
        ::chmod(runtime_.c_str(), 0700);
        EnvironmentGuard::set("XDG_RUNTIME_DIR", runtime_);
        EnvironmentGuard::set("TMPDIR", tmp_);
    }
    std::string parentOf(const std::string& made) const {
        return made.empty() ? "(none made)" : fs::path(made).parent_path().string();
    }
    EnvironmentGuard env_;
    qvtest::TempFolder folder_{"qv_private_folder"};
    const std::string runtime_ = folder_.at("runtime");
    const std::string tmp_ = folder_.at("tmp");
};

TEST_F(PrivateFolder, GoesUnderTheRuntimeFolderOnlyWhenThatIsPrivate) {
    const std::string first = qv::makePrivateFolder();
    const std::string second = qv::makePrivateFolder();
    EXPECT_EQ(parentOf(first), runtime_);
    EXPECT_NE(first, second) << "every folder has a name of its own";
    EXPECT_EQ(modeOf(first), 0700u);

    ::chmod(runtime_.c_str(), 0755);  // others may look in: not a runtime folder
    EXPECT_EQ(parentOf(qv::makePrivateFolder()), tmp_);
    EnvironmentGuard::set("XDG_RUNTIME_DIR", std::string("relative"));
    EXPECT_EQ(parentOf(qv::makePrivateFolder()), tmp_);
    EnvironmentGuard::set("XDG_RUNTIME_DIR", std::nullopt);
    EnvironmentGuard::set("TMPDIR", tmp_ + "/missing");
    const std::string inTmp = qv::makePrivateFolder();
    EXPECT_EQ(parentOf(inTmp), "/tmp");
    fs::remove(inTmp);
}

TEST_F(PrivateFolder, ScratchFolderOfAReadOnlyProgramIsOneAndGoesAtExit) {
    const std::string program = folder_.at("program");
    fs::create_directories(program);
    ::chmod(program.c_str(), 0555);
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const std::string first = qv::scratchFolder(program);
        const bool same = qv::scratchFolder(program) == first;
        std::ofstream(first + "/_thumb.jpg") << "left behind";
        const std::string report = (same ? "1" : "0") + first;
        (void)!::write(out[1], report.data(), report.size());
        std::exit(0);  // runs the static destructors, as the program's end does
    }
    ::close(out[1]);
    std::string report;
    char buffer[512];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, std::size_t(n));
    ::close(out[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::chmod(program.c_str(), 0755);
    ASSERT_FALSE(report.empty());
    EXPECT_EQ(report[0], '1') << "one folder for the whole process";
    const std::string made = report.substr(1);
    EXPECT_EQ(parentOf(made), runtime_);
    EXPECT_FALSE(fs::exists(made)) << made << " is still there";
}

}  // namespace
