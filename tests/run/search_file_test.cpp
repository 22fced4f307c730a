#include "run/search_file.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/deep_path.h"
#include "support/unprivileged.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

class SearchFolderTree : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "qv_search_XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        root = tmpl;
    }
    void TearDown() override { qvtest::removeTree(root); }

    std::string path(const std::string& rel) const { return root + "/" + rel; }
    std::vector<std::string> paths(const std::vector<std::string>& rel) const {
        std::vector<std::string> out;
        for (const std::string& r : rel) out.push_back(path(r));
        return sorted(out);
    }
    void file(const std::string& rel, const std::string& content = "x") {
        fs::create_directories(fs::path(path(rel)).parent_path());
        std::ofstream(path(rel), std::ios::binary) << content;
    }
    void dir(const std::string& rel) { fs::create_directories(path(rel)); }
    void link(const std::string& target, const std::string& rel) {
        fs::create_directories(fs::path(path(rel)).parent_path());
        ASSERT_EQ(symlink(target.c_str(), path(rel).c_str()), 0) << rel;
    }

    std::string root;
};

TEST_F(SearchFolderTree, EveryFileBelowTheFolderLevelByLevelAndNoFolders) {
    file("A.avi");
    file("notes.txt");
    file(".hidden");
    file("sub/c.mpg");
    file("sub/.hid/h.avi");
    file("sub/deeper/d.wmv");
    file("w/v/u/e.avi");
    dir("empty");
    const qv::FolderSearch found = qv::searchFolder(root);
    EXPECT_EQ(sorted(found.files), paths({".hidden", "A.avi", "notes.txt", "sub/c.mpg",
                                          "sub/.hid/h.avi", "sub/deeper/d.wmv", "w/v/u/e.avi"}));
    EXPECT_TRUE(found.skipped.empty());
    auto depth = [](const std::string& p) { return std::count(p.begin(), p.end(), '/'); };
    EXPECT_TRUE(std::is_sorted(
        found.files.begin(), found.files.end(),
        [&](const std::string& a, const std::string& b) { return depth(a) < depth(b); }));
}

TEST_F(SearchFolderTree, TrailingSlashesAndRelativeFoldersGiveFullPaths) {
    file("sub/a.avi");
    EXPECT_EQ(qv::searchFolder(path("sub//")).files, paths({"sub/a.avi"}));
    const fs::path old = fs::current_path();
    fs::current_path(root);
    const qv::FolderSearch relative = qv::searchFolder("sub");
    fs::current_path(old);
    EXPECT_EQ(relative.files, paths({"sub/a.avi"}));
}

// Each real folder once: links back to an ancestor, to the searched folder itself
// and to a folder the search meets anyway end there.
TEST_F(SearchFolderTree, LinksBackIntoTheTreeEndTheDescent) {
    file("top.avi");
    file("a/b/deep.avi");
    link("../..", "a/b/up");
    link(root, "self");
    link("b", "a/sibling");
    const qv::FolderSearch found = qv::searchFolder(root);
    ASSERT_EQ(found.files.size(), 2u) << ::testing::PrintToString(found.files);
    EXPECT_EQ(found.files[0], path("top.avi"));
    EXPECT_TRUE(found.files[1].ends_with("/deep.avi")) << found.files[1];
    EXPECT_TRUE(found.skipped.empty());
}

struct LinkCase {
    const char* label;
    const char* target;  // of tree/link
    std::vector<std::string> expected;
};
void PrintTo(const LinkCase& c, std::ostream* os) { *os << c.label; }

class SearchFolderLinks : public SearchFolderTree,
                          public ::testing::WithParamInterface<LinkCase> {};

TEST_P(SearchFolderLinks, LinkInsideTheTree) {
    file("tree/f.avi");
    file("target.avi");
    file("outside/o.avi");
    link(GetParam().target, "tree/link");
    const qv::FolderSearch found = qv::searchFolder(path("tree"));
    EXPECT_EQ(sorted(found.files), paths(GetParam().expected));
    EXPECT_TRUE(found.skipped.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Links, SearchFolderLinks,
    ::testing::Values(LinkCase{"ToAFile", "../target.avi", {"tree/f.avi", "tree/link"}},
                      LinkCase{"ToAFolderOutside", "../outside", {"tree/f.avi", "tree/link/o.avi"}},
                      LinkCase{"Dangling", "../gone", {"tree/f.avi", "tree/link"}},
                      LinkCase{"ToItself", "link", {"tree/f.avi", "tree/link"}},
                      LinkCase{"ToTheSearchedFolder", ".", {"tree/f.avi"}}),
    [](const auto& c) { return std::string(c.param.label); });

struct NameCase {
    const char* label;
    std::string name;
};
void PrintTo(const NameCase& c, std::ostream* os) { *os << c.label; }

class SearchFolderNames : public SearchFolderTree,
                          public ::testing::WithParamInterface<NameCase> {};

// Odd names, as a folder and as a file in it, come back byte for byte and open.
TEST_P(SearchFolderNames, NameKeepsItsBytes) {
    const std::string& name = GetParam().name;
    file(name + "/" + name, "payload");
    const qv::FolderSearch found = qv::searchFolder(root);
    ASSERT_EQ(found.files, std::vector<std::string>{path(name + "/" + name)});
    std::ifstream in(found.files[0], std::ios::binary);
    std::string content;
    in >> content;
    EXPECT_EQ(content, "payload");
}

INSTANTIATE_TEST_SUITE_P(Names, SearchFolderNames,
                         ::testing::Values(NameCase{"NotUtf8",
                                                    "\xff\xfe\x81\x40"
                                                    "clip.avi"},
                                           NameCase{"LineBreak", "two\nlines.avi"},
                                           NameCase{"WindowsMarks", "a\\b:c*d?e|f\"g<h>.avi"},
                                           NameCase{"Blanks", " lead and trail "},
                                           NameCase{"Longest", std::string(255, 'n')}),
                         [](const auto& c) { return std::string(c.param.label); });

// Deeper than a path the system opens whole: the file is found with its whole path,
// also when the search starts at such a depth.
TEST_F(SearchFolderTree, PathsBeyondTheSystemLimitAreFoundWhole) {
    dir("d");
    const std::string file = qvtest::makeDeepFile(path("d"), 4500);
    ASSERT_FALSE(file.empty());
    ASSERT_GE(file.size(), 4500u);
    const qv::FolderSearch found = qv::searchFolder(root);
    EXPECT_EQ(found.files, std::vector<std::string>{file});
    EXPECT_TRUE(found.skipped.empty());

    const std::string folder = file.substr(0, file.rfind('/'));
    ASSERT_GE(folder.size(), std::size_t(PATH_MAX));
    EXPECT_EQ(qv::searchFolder(folder).files, std::vector<std::string>{file});
}

TEST_F(SearchFolderTree, UnreadableFolderIsReportedAndTheOthersAreSearched) {
    file("open/a.avi");
    file("locked/secret.avi");
    file("locked/below/more.avi");
    file("z/b.avi");
    ASSERT_EQ(chmod(root.c_str(), 0755), 0);
    ASSERT_EQ(chmod(path("locked").c_str(), 0), 0);
    qv::FolderSearch found;
    {
        qvtest::Unprivileged user;
        if (DIR* d = opendir(path("locked").c_str())) {
            closedir(d);
            GTEST_SKIP() << "this process reads folders whatever their mode";
        }
        found = qv::searchFolder(root);
    }
    EXPECT_EQ(sorted(found.files), paths({"open/a.avi", "z/b.avi"}));
    ASSERT_EQ(found.skipped.size(), 1u);
    EXPECT_EQ(found.skipped[0].path, path("locked"));
    EXPECT_EQ(found.skipped[0].error, EACCES);
}

TEST_F(SearchFolderTree, WhatIsNoFolderIsReportedWithItsReason) {
    file("plain.avi");
    const struct {
        std::string folder;
        int error;
    } cases[] = {{path("missing"), ENOENT}, {path("plain.avi"), ENOTDIR}, {"", ENOENT}};
    for (const auto& c : cases) {
        const qv::FolderSearch found = qv::searchFolder(c.folder);
        EXPECT_TRUE(found.files.empty()) << c.folder;
        ASSERT_EQ(found.skipped.size(), 1u) << c.folder;
        EXPECT_EQ(found.skipped[0].path, c.folder);
        EXPECT_EQ(found.skipped[0].error, c.error) << c.folder;
    }
}

}  // namespace
