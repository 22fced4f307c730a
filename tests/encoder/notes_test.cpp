#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>

#include "probe.h"

namespace {

using namespace qv::adapter;

class Notes : public testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/qv_notes_XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
        folder_ = dir_ + "/notes";
        ASSERT_EQ(::mkdir(folder_.c_str(), 0700), 0);
    }
    void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

    std::string write(const std::string& name, const std::string& bytes) {
        const std::string p = dir_ + "/" + name;
        std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
        return p;
    }
    static void age(const std::string& path, time_t seconds) {
        const timespec times[2] = {{::time(nullptr) - seconds, 0}, {::time(nullptr) - seconds, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }
    static bool exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }
    // The note file kept for a source: the one whose name ends in the source's inode.
    std::string noteOf(const std::string& source) const {
        struct stat st {};
        if (::stat(source.c_str(), &st) != 0) return {};
        const std::string tail = "-" + std::to_string(st.st_ino);
        std::string found;
        if (DIR* d = ::opendir(folder_.c_str())) {
            while (const dirent* e = ::readdir(d)) {
                const std::string name = e->d_name;
                if (name.size() > tail.size() &&
                    name.compare(name.size() - tail.size(), tail.size(), tail) == 0)
                    found = folder_ + "/" + name;
            }
            ::closedir(d);
        }
        return found;
    }

    std::string dir_, folder_;
};

TEST_F(Notes, HoldWhileTheFileAndTheDetailAreTheSame) {
    const std::string source = write("a.avi", "first content");
    keepNote(source, folder_, "picture", "at 5", std::string("JPEG\0\n bytes", 12));
    EXPECT_EQ(recallNote(source, folder_, "picture", "at 5"), std::string("JPEG\0\n bytes", 12));
    EXPECT_EQ(recallNote(source, folder_, "picture", "at 6"), std::nullopt);
    EXPECT_EQ(recallNote(source, folder_, "source", "at 5"), std::nullopt);
    // Rewritten in place (same file, other size and date): the note no longer holds.
    write("a.avi", "other content, longer");
    EXPECT_EQ(recallNote(source, folder_, "picture", "at 5"), std::nullopt);
    EXPECT_EQ(recallNote(dir_ + "/gone.avi", folder_, "picture", "at 5"), std::nullopt);
}

TEST_F(Notes, LongUnusedOnesGoLookedForOnceADay) {
    const std::string a = write("a.avi", "a"), b = write("b.avi", "b"), c = write("c.avi", "c");
    keepNote(a, folder_, "picture", "", "old");
    keepNote(b, folder_, "picture", "", "recent");
    // a's note made long ago, b's a week ago.
    const std::string aNote = noteOf(a), bNote = noteOf(b);
    ASSERT_TRUE(exists(aNote) && exists(bNote));
    age(aNote, 40 * 24 * 3600);
    age(bNote, 7 * 24 * 3600);
    // Looked for a day ago at the latest: not again yet.
    keepNote(c, folder_, "picture", "", "new");
    EXPECT_TRUE(exists(aNote));
    age(folder_ + "/.pruned", 25 * 3600);
    keepNote(c, folder_, "picture", "", "new");
    EXPECT_FALSE(exists(aNote));
    EXPECT_TRUE(exists(bNote));
    EXPECT_EQ(recallNote(c, folder_, "picture", ""), std::string("new"));
}

}  // namespace
