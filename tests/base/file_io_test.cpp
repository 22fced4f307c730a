#include "base/file_io.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

class FileIo : public ::testing::Test {
protected:
    std::string path(const char* name) const { return folder_.at(name); }
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
    {
        std::ofstream(path("f")) << "old";
    }
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

}  // namespace
