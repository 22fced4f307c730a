#include "run/search_file.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using qv::TSearchFile;
using qv::TSearchFileData;

namespace {

class SearchFileTree : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "qv_search_XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        root = tmpl;
    }
    void TearDown() override {
        unlock(root);
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    // Makes every folder of the tree readable again, so that it can be removed.
    static void unlock(const fs::path& folder) {
        chmod(folder.c_str(), 0700);
        std::error_code ec;
        for (auto& e : fs::directory_iterator(folder, ec))
            if (e.is_directory(ec) && !e.is_symlink(ec)) unlock(e.path());
    }
    std::string path(const std::string& rel) const { return root + "/" + rel; }
    void file(const std::string& rel, const std::string& content = "x") {
        fs::create_directories(fs::path(path(rel)).parent_path());
        std::ofstream(path(rel), std::ios::binary) << content;
    }
    void dir(const std::string& rel) { fs::create_directories(path(rel)); }

    struct Found {
        std::vector<std::string> files;  // non-folder entries, in report order
        std::vector<std::string> dirs;   // folder entries, in report order
        std::map<std::string, TSearchFileData> data;
        bool result = false;
    };
    // One recursive search of `folder` as the job list runs it.
    static Found search(const std::string& folder, bool recursive = true,
                        const std::string& mask = "*.*", bool details = true) {
        Found f;
        TSearchFile s;
        s.ReadDetails = details;
        s.Directory = folder;
        s.Recursive = recursive;
        s.SearchName = mask;
        s.OnFind = [&](TSearchFile&, const std::string& name, const TSearchFileData& d, bool&) {
            (d.directory ? f.dirs : f.files).push_back(name);
            f.data[name] = d;
        };
        f.result = s.Search();
        return f;
    }
    static std::vector<std::string> sorted(std::vector<std::string> v) {
        std::sort(v.begin(), v.end());
        return v;
    }

    std::string root;
};

TEST_F(SearchFileTree, FolderTreeGivesEveryFileBelowItAndReportsFoldersAsFolders) {
    file("A.avi");
    file("notes.txt");
    file("sub/c.mpg");
    file(".hidden");
    file("sub/deeper/d.wmv");
    Found f = search(root);
    EXPECT_TRUE(f.result);
    EXPECT_EQ(sorted(f.files), sorted({path(".hidden"), path("A.avi"), path("notes.txt"),
                                       path("sub/c.mpg"), path("sub/deeper/d.wmv")}));
    EXPECT_EQ(sorted(f.dirs), sorted({path("sub"), path("sub/deeper")}));
    EXPECT_TRUE(f.data[path(".hidden")].hidden);
    EXPECT_FALSE(f.data[path("A.avi")].hidden);
}

TEST_F(SearchFileTree, TrailingSlashOnTheFolderIsNotDoubled) {
    file("a.avi");
    Found f = search(root + "/");
    EXPECT_EQ(f.files, std::vector<std::string>{path("a.avi")});
}

TEST_F(SearchFileTree, EmptyFolderGivesNothingAndRunsToItsEnd) {
    dir("empty");
    Found f = search(path("empty"));
    EXPECT_TRUE(f.result);
    EXPECT_TRUE(f.files.empty());
    EXPECT_TRUE(f.dirs.empty());
}

TEST_F(SearchFileTree, MissingFolderOrAFileAsFolderGiveNothing) {
    file("plain.avi");
    for (const std::string& d : {path("missing"), path("plain.avi"), std::string()}) {
        Found f = search(d);
        EXPECT_TRUE(f.files.empty()) << d;
        EXPECT_TRUE(f.dirs.empty()) << d;
        Found g = search(d, false);
        EXPECT_TRUE(g.files.empty()) << d;
    }
}

TEST_F(SearchFileTree, NonRecursiveSearchStaysInTheFolder) {
    file("a.avi");
    file("sub/b.avi");
    Found f = search(root, false);
    EXPECT_TRUE(f.result);
    EXPECT_EQ(f.files, std::vector<std::string>{path("a.avi")});
    EXPECT_EQ(f.dirs, std::vector<std::string>{path("sub")});
}

TEST_F(SearchFileTree, RelativeFolderIsMadeFull) {
    file("sub/a.avi");
    const fs::path old = fs::current_path();
    fs::current_path(root);
    Found rec = search("sub");
    Found flat = search("sub", false);
    fs::current_path(old);
    EXPECT_EQ(rec.files, std::vector<std::string>{path("sub/a.avi")});
    EXPECT_EQ(flat.files, std::vector<std::string>{path("sub/a.avi")});
}

TEST_F(SearchFileTree, LinkBackToAnAncestorEndsAndEachFolderIsSearchedOnce) {
    file("top.avi");
    file("a/b/deep.avi");
    ASSERT_EQ(symlink("../..", path("a/b/up").c_str()), 0);     // back to root
    ASSERT_EQ(symlink(root.c_str(), path("self").c_str()), 0);  // root itself
    ASSERT_EQ(symlink("b", path("a/sibling").c_str()), 0);      // a folder seen anyway
    Found f = search(root);
    EXPECT_TRUE(f.result);
    // deep.avi once, under whichever of its two paths came first
    ASSERT_EQ(f.files.size(), 2u);
    EXPECT_EQ(std::count(f.files.begin(), f.files.end(), path("top.avi")), 1);
    EXPECT_EQ(std::count_if(f.files.begin(), f.files.end(),
                            [](const std::string& s) { return s.ends_with("/deep.avi"); }),
              1);
}

TEST_F(SearchFileTree, LinkedFolderOutsideTheTreeIsFollowed) {
    file("outside/o.avi");
    dir("tree");
    ASSERT_EQ(symlink(path("outside").c_str(), path("tree/link").c_str()), 0);
    Found f = search(path("tree"));
    EXPECT_EQ(f.files, std::vector<std::string>{path("tree/link/o.avi")});
    EXPECT_EQ(f.dirs, std::vector<std::string>{path("tree/link")});
}

TEST_F(SearchFileTree, DanglingLinkIsAnEntryNotAnError) {
    file("a.avi");
    ASSERT_EQ(symlink(path("gone").c_str(), path("dangling").c_str()), 0);
    Found f = search(root);
    EXPECT_TRUE(f.result);
    EXPECT_EQ(sorted(f.files), sorted({path("a.avi"), path("dangling")}));
}

TEST_F(SearchFileTree, NonUtf8NameIsKeptByteForByte) {
    const std::string odd =
        "\xff\xfe\x81\x40"
        "clip.avi";  // not UTF-8
    file(odd, "payload");
    Found f = search(root);
    ASSERT_EQ(f.files.size(), 1u);
    EXPECT_EQ(f.files[0], path(odd));
    EXPECT_EQ(f.data[f.files[0]].name, odd);
    std::ifstream in(f.files[0], std::ios::binary);
    std::string content;
    in >> content;
    EXPECT_EQ(content, "payload");
}

TEST_F(SearchFileTree, LongPathsAreTakenWhole) {
    std::string rel;
    for (int i = 0; i < 12; ++i) rel += std::string(40, char('a' + i)) + "/";
    file(rel + "x.avi");
    Found f = search(root);
    ASSERT_EQ(f.files.size(), 1u);
    EXPECT_EQ(f.files[0], path(rel + "x.avi"));
    EXPECT_GT(f.files[0].size(), 500u);
}

TEST_F(SearchFileTree, EntryDataDescribesTheEntry) {
    file("five.bin", "12345");
    dir("folder");
    struct timeval times[2] = {{1000000000, 0}, {1100000000, 0}};
    ASSERT_EQ(utimes(path("five.bin").c_str(), times), 0);
    ASSERT_EQ(chmod(path("five.bin").c_str(), 0444), 0);
    Found f = search(root, false);
    const TSearchFileData& d = f.data[path("five.bin")];
    EXPECT_EQ(d.name, "five.bin");
    EXPECT_EQ(d.shortName, "five.bin");
    EXPECT_EQ(d.size, 5u);
    EXPECT_FALSE(d.directory);
    EXPECT_TRUE(d.readOnly);
    EXPECT_TRUE(d.archive);
    EXPECT_FALSE(d.system);
    ASSERT_TRUE(d.lastWriteTime.valid);
    EXPECT_EQ(std::chrono::system_clock::to_time_t(d.lastWriteTime.value), 1100000000);
    ASSERT_TRUE(d.lastAccessTime.valid);
    EXPECT_EQ(std::chrono::system_clock::to_time_t(d.lastAccessTime.value), 1000000000);
    EXPECT_TRUE(f.data[path("folder")].directory);
    EXPECT_FALSE(f.data[path("folder")].readOnly);
}

TEST_F(SearchFileTree, WithoutDetailsEntriesAreClassifiedAlike) {
    file("a.avi", "12345");
    file(".hidden");
    file("sub/b.avi");
    file("outside/o.avi");
    dir("tree");
    ASSERT_EQ(symlink(path("outside").c_str(), path("tree/linked").c_str()), 0);
    ASSERT_EQ(symlink(path("gone").c_str(), path("tree/dangling").c_str()), 0);
    ASSERT_EQ(symlink(path("a.avi").c_str(), path("tree/file-link").c_str()), 0);
    Found full = search(root, true, "*.*", true);
    Found lean = search(root, true, "*.*", false);
    EXPECT_EQ(sorted(lean.files), sorted(full.files));
    EXPECT_EQ(sorted(lean.dirs), sorted(full.dirs));
    EXPECT_EQ(full.files.size(), 6u);  // the linked folder is "outside", searched once
    EXPECT_TRUE(lean.data[path(".hidden")].hidden);
    EXPECT_EQ(lean.data[path("a.avi")].name, "a.avi");
    EXPECT_EQ(full.data[path("a.avi")].size, 5u);
}

TEST_F(SearchFileTree, ContinueFalseStopsTheWholeSearch) {
    for (int i = 0; i < 5; ++i) file("d" + std::to_string(i) + "/f.avi");
    TSearchFile s;
    s.Directory = root;
    s.Recursive = true;
    int calls = 0;
    s.OnFind = [&](TSearchFile&, const std::string&, const TSearchFileData& d, bool& cont) {
        EXPECT_TRUE(cont);
        ++calls;
        if (!d.directory) cont = false;
    };
    EXPECT_FALSE(s.Search());
    // root's five folders first, then the first folder's file ends it
    EXPECT_EQ(calls, 6);
    EXPECT_FALSE(s.busy());
    // a later search runs afresh
    s.OnFind = [&](TSearchFile&, const std::string&, const TSearchFileData&, bool&) { ++calls; };
    calls = 0;
    EXPECT_TRUE(s.Search());
    EXPECT_EQ(calls, 10);
}

TEST_F(SearchFileTree, BusySearchAndMissingHandlerDoNotRun) {
    file("a.avi");
    TSearchFile s;
    s.Directory = root;
    EXPECT_FALSE(s.Search());  // no OnFind
    bool inner = true, busyInside = false;
    s.OnFind = [&](TSearchFile& sender, const std::string&, const TSearchFileData&, bool&) {
        busyInside = sender.busy();
        inner = sender.Search();
    };
    EXPECT_TRUE(s.Search());
    EXPECT_TRUE(busyInside);
    EXPECT_FALSE(inner);
    EXPECT_FALSE(s.busy());
}

TEST_F(SearchFileTree, ThrowingHandlerLeavesTheSearchReusable) {
    file("a.avi");
    TSearchFile s;
    s.Directory = root;
    s.Recursive = true;
    s.OnFind = [](TSearchFile&, const std::string&, const TSearchFileData&, bool&) {
        throw std::runtime_error("handler");
    };
    EXPECT_THROW(s.Search(), std::runtime_error);
    EXPECT_FALSE(s.busy());
    int calls = 0;
    s.OnFind = [&](TSearchFile&, const std::string&, const TSearchFileData&, bool&) { ++calls; };
    EXPECT_TRUE(s.Search());
    EXPECT_EQ(calls, 1);
}

// The folders in the order they are collected, as OnFindDir sees them.
TEST_F(SearchFileTree, FoldersAreCollectedBreadthFirstBaseFirst) {
    file("x/y/z/f.avi");
    file("x/y2/f.avi");
    file("w/v/f.avi");
    file("u/f.avi");
    TSearchFile s;
    s.Directory = root;
    s.Recursive = true;
    std::vector<std::string> collected;
    std::vector<std::string> filesInOrder;
    s.OnFindDir = [&](TSearchFile& sender, const std::string& name, const TSearchFileData& d,
                      bool& skip, bool& ignore) {
        EXPECT_TRUE(sender.busy());
        EXPECT_TRUE(d.directory);
        EXPECT_FALSE(skip);
        EXPECT_FALSE(ignore);
        collected.push_back(name);
    };
    s.OnFind = [&](TSearchFile&, const std::string& name, const TSearchFileData& d, bool&) {
        if (!d.directory) filesInOrder.push_back(name);
    };
    ASSERT_TRUE(s.Search());
    ASSERT_EQ(collected.size(), 8u);
    EXPECT_EQ(collected[0], root);
    auto depth = [&](const std::string& p) { return std::count(p.begin(), p.end(), '/'); };
    for (std::size_t i = 1; i < collected.size(); ++i)
        EXPECT_LE(depth(collected[i - 1]), depth(collected[i])) << collected[i];
    // files are reported folder by folder in the same order
    for (std::size_t i = 1; i < filesInOrder.size(); ++i)
        EXPECT_LE(depth(filesInOrder[i - 1]), depth(filesInOrder[i])) << filesInOrder[i];
}

TEST_F(SearchFileTree, SkipLeavesOutOwnEntriesAndIgnoreSubDirStopsTheDescent) {
    file("skipped/own.avi");
    file("skipped/below/kept.avi");
    file("ignored/own.avi");
    file("ignored/below/lost.avi");
    TSearchFile s;
    s.Directory = root;
    s.Recursive = true;
    std::vector<std::string> found;
    s.OnFindDir = [&](TSearchFile&, const std::string& name, const TSearchFileData&, bool& skip,
                      bool& ignore) {
        if (name == path("skipped")) skip = true;
        if (name == path("ignored")) ignore = true;
    };
    s.OnFind = [&](TSearchFile&, const std::string& name, const TSearchFileData& d, bool&) {
        if (!d.directory) found.push_back(name);
    };
    EXPECT_TRUE(s.Search());
    EXPECT_EQ(sorted(found), sorted({path("skipped/below/kept.avi"), path("ignored/own.avi")}));
}

TEST_F(SearchFileTree, CollectorReportsBaseFolderAndCanBeStopped) {
    file("a/b/f.avi");
    qv::TSearchDir d;
    d.BaseDir = root;
    std::vector<std::string> names;
    d.OnFind = [&](qv::TSearchDir& sender, const std::string& name, const TSearchFileData& data,
                   bool& ignore, bool& cont) {
        EXPECT_TRUE(sender.busy());
        EXPECT_FALSE(ignore);
        names.push_back(name);
        if (name == root) {
            EXPECT_EQ(data.name, fs::path(root).filename().string());
        }
        if (name == path("a")) cont = false;
    };
    d.Search();
    EXPECT_EQ(names, (std::vector<std::string>{root, path("a")}));
    EXPECT_FALSE(d.busy());
    names.clear();
    d.BaseDir = path("missing");
    d.Search();
    EXPECT_TRUE(names.empty());
}

TEST_F(SearchFileTree, MaskSelectsFilesAndFoldersAlike) {
    file("a.avi");
    file("B.AVI");
    file("c.mpg");
    file("noext");
    dir("folder.avi");
    Found avi = search(root, false, "*.avi");
    EXPECT_EQ(sorted(avi.files), sorted({path("a.avi"), path("B.AVI")}));
    EXPECT_EQ(avi.dirs, std::vector<std::string>{path("folder.avi")});
    Found all = search(root, false, "");
    EXPECT_EQ(all.files.size(), 4u);  // "noext" included
    EXPECT_EQ(all.dirs.size(), 1u);
}

// A folder that cannot be read gives nothing; the folders beside it still count.
// Root reads every folder whatever its mode, so as root the search runs in a child
// that has given up root.
TEST_F(SearchFileTree, UnreadableFolderContributesNothingAndTheSearchGoesOn) {
    file("open/a.avi");
    file("locked/secret.avi");
    file("z/b.avi");
    ASSERT_EQ(chmod(path("locked").c_str(), 0), 0);
    std::vector<std::string> expected = sorted({path("open/a.avi"), path("z/b.avi")});

    if (geteuid() != 0) {
        Found f = search(root);
        EXPECT_TRUE(f.result);
        EXPECT_EQ(sorted(f.files), expected);
        return;
    }
    // let an unprivileged user walk the tree
    for (auto& p : fs::recursive_directory_iterator(root))
        if (p.path() != path("locked")) chmod(p.path().c_str(), p.is_directory() ? 0755 : 0644);
    chmod(root.c_str(), 0755);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(fds[0]);
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
        if (opendir(path("locked").c_str()) != nullptr) _exit(3);  // still privileged
        Found f = search(root);
        std::string out;
        for (const std::string& s : f.files) out += s + '\n';
        if (write(fds[1], out.data(), out.size()) != ssize_t(out.size())) _exit(4);
        _exit(f.result ? 0 : 5);
    }
    close(fds[1]);
    std::string out;
    char buf[4096];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, std::size_t(n));
    close(fds[0]);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0) << "child failed at step " << WEXITSTATUS(status);
    std::vector<std::string> files;
    for (std::size_t b = 0, e; (e = out.find('\n', b)) != std::string::npos; b = e + 1)
        files.push_back(out.substr(b, e - b));
    EXPECT_EQ(sorted(files), expected);
}

struct MaskCase {
    std::string mask;
    std::string name;
    bool matches;
};

class SearchFileMask : public ::testing::TestWithParam<MaskCase> {};

TEST_P(SearchFileMask, Matches) {
    const MaskCase& c = GetParam();
    EXPECT_EQ(qv::matchesFileMask(c.mask, c.name), c.matches) << c.mask << " vs " << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Masks, SearchFileMask,
    ::testing::Values(MaskCase{"*.*", "a.avi", true}, MaskCase{"*.*", "README", true},
                      MaskCase{"*.*", ".bashrc", true}, MaskCase{"*.*", "a.b.c", true},
                      MaskCase{"*", "README", true}, MaskCase{"*.avi", "clip.avi", true},
                      MaskCase{"*.avi", "CLIP.AVI", true}, MaskCase{"*.avi", "clip.avix", false},
                      MaskCase{"*.avi", "avi", false}, MaskCase{"*.avi", "clip.mpg", false},
                      MaskCase{"a?c.*", "abc.txt", true}, MaskCase{"a?c.*", "abc", true},
                      MaskCase{"a?c.*", "ac.txt", false}, MaskCase{"*.", "noext", true},
                      MaskCase{"*.", "a.b", false}, MaskCase{"a*b*c", "aXbYbZc", true},
                      MaskCase{"a*b*c", "aXbYbZ", false}, MaskCase{"\xff*", "\xff\xfe.avi", true},
                      MaskCase{"*.avi", std::string(5000, 'a'), false},
                      MaskCase{"*a*a*a*a*b", std::string(3000, 'a'), false}));

}  // namespace
