// The user's folders by one rule for every part of the program (the adapter's cache and
// statistics folders, the settings, the run's log, a "~" destination), and the replacement
// the adapter's notes and thumbnails use.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "base/file_io.h"
#include "base/file_places.h"
#include "support/environment_guard.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

using Variables = qvtest::EnvironmentGuard;

std::string databaseHome() {
    const passwd* pw = ::getpwuid(::geteuid());
    return pw && pw->pw_dir ? pw->pw_dir : "";
}

struct HomeCase {
    const char* name;
    std::optional<std::string> home, cache;
    std::string expected;  // "<db>" stands for the user database's home
};

class BaseDirectories : public ::testing::TestWithParam<HomeCase> {
  protected:
    Variables env_;
};

// A relative or missing HOME falls back to the user database, as for the settings: before,
// the adapter's cache gave up and a "~" destination took a relative HOME as it was.
TEST_P(BaseDirectories, OneRuleForTheHomeAndItsFolders) {
    const HomeCase& c = GetParam();
    Variables::set("HOME", c.home);
    Variables::set("XDG_CACHE_HOME", c.cache);
    std::string expected = c.expected;
    if (expected.rfind("<db>", 0) == 0) {
        if (databaseHome().empty()) GTEST_SKIP() << "no home in the user database";
        expected = databaseHome() + expected.substr(4);
    }
    EXPECT_EQ(qv::baseDirectory("XDG_CACHE_HOME", ".cache"), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BaseDirectories,
    ::testing::Values(HomeCase{"VariableSet", "/home/u", "/c/", "/c"},
                      HomeCase{"VariableUnset", "/home/u", std::nullopt, "/home/u/.cache"},
                      HomeCase{"RelativeVariableIgnored", "/home/u/", "cache", "/home/u/.cache"},
                      HomeCase{"RelativeHomeIgnored", "u", std::nullopt, "<db>/.cache"},
                      HomeCase{"NoHome", std::nullopt, std::nullopt, "<db>/.cache"}),
    [](const auto& test) { return std::string(test.param.name); });

class PrivateFolders : public ::testing::Test {
  protected:
    static mode_t modeOf(const std::string& p) {
        struct stat st {};
        return ::lstat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
    }
    Variables env_;
    qvtest::TempFolder folder_{"qv_user_folders"};
};

TEST_F(PrivateFolders, MadeWithTheirParentsAndTightened) {
    const std::string deep = folder_.at("a/b/c");
    ASSERT_TRUE(qv::ensurePrivateFolder(deep));
    EXPECT_EQ(modeOf(deep), 0700u);
    EXPECT_EQ(modeOf(folder_.at("a")), 0700u);
    // One of ours that others could enter is closed; its other bits stay ours.
    ASSERT_EQ(::chmod(deep.c_str(), 0755), 0);
    EXPECT_FALSE(qv::isPrivateFolder(deep));
    EXPECT_TRUE(qv::ensurePrivateFolder(deep));
    EXPECT_EQ(modeOf(deep), 0700u);
    // A link to a private folder is no private folder: it could be pointed elsewhere.
    fs::create_symlink(deep, folder_.at("link"));
    EXPECT_FALSE(qv::isPrivateFolder(folder_.at("link")));
    EXPECT_FALSE(qv::ensurePrivateFolder(folder_.at("link")));
    // A file where the folder should be.
    ASSERT_TRUE(qv::replaceFileAtomically(folder_.at("file"), "x"));
    EXPECT_FALSE(qv::ensurePrivateFolder(folder_.at("file")));
}

TEST_F(PrivateFolders, RuntimeFolderOnlyWhenPrivate) {
    const std::string runtime = folder_.at("run");
    ASSERT_TRUE(qv::ensurePrivateFolder(runtime));
    Variables::set("XDG_RUNTIME_DIR", runtime);
    EXPECT_EQ(qv::runtimeFolder(), runtime);
    ASSERT_EQ(::chmod(runtime.c_str(), 0777), 0);
    EXPECT_EQ(qv::runtimeFolder(), "");
    Variables::set("XDG_RUNTIME_DIR", std::string("run"));
    EXPECT_EQ(qv::runtimeFolder(), "");
}

class QuickReplace : public ::testing::Test {
  protected:
    std::string path(const char* name) const { return folder_.at(name); }
    static std::string read(const std::string& p) {
        std::string bytes;
        qv::readWholeFile(p, bytes);
        return bytes;
    }
    qvtest::TempFolder folder_{"qv_quick_replace"};
};

// The adapter's notes and thumbnails: a link at the path is replaced, never written
// through, and a new file gets the bits asked for.
TEST_F(QuickReplace, LinkReplacedNotWrittenThrough) {
    ASSERT_TRUE(qv::replaceFileAtomically(path("target"), "theirs"));
    fs::create_symlink(path("target"), path("note"));
    const qv::ReplaceOptions own{.flush = false, .followLink = false, .newFileMode = 0600};
    ASSERT_TRUE(qv::replaceFileAtomically(path("note"), "ours", own));
    EXPECT_EQ(read(path("target")), "theirs");
    EXPECT_FALSE(fs::is_symlink(path("note")));
    EXPECT_EQ(read(path("note")), "ours");
    struct stat st {};
    ASSERT_EQ(::stat(path("note").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // Nothing left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_.path()), fs::directory_iterator()), 2);
}

TEST_F(QuickReplace, ReadRefusesWhatIsTooLarge) {
    ASSERT_TRUE(qv::replaceFileAtomically(path("f"), std::string(100, 'x')));
    std::string bytes = "old";
    EXPECT_FALSE(qv::readWholeFile(path("f"), bytes, 99));
    EXPECT_TRUE(bytes.empty());
    EXPECT_TRUE(qv::readWholeFile(path("f"), bytes, 100));
    EXPECT_EQ(bytes.size(), 100u);
}

}  // namespace
