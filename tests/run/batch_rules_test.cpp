#include "run/batch_rules.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "settings/catalogues.h"
#include "support/catalogue_row.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using qv::CatalogueId;
using qv::ConversionSettings;

using qvtest::rowOf;

ConversionSettings container(int row) {
    ConversionSettings s;
    s.C1_02 = 0;
    s.C2_01 = row;
    return s;
}

struct NameCase {
    const char* name;
    int containerRow;  // -2: the MP4 row
    std::string source;
    std::string extension;
    std::string result;
};

class ResultName : public ::testing::TestWithParam<NameCase> {};

TEST_P(ResultName, SwapsTheExtension) {
    const NameCase& c = GetParam();
    const ConversionSettings s = container(c.containerRow == -2 ? rowOf(CatalogueId::C2_01, "MP4,MPEG4/H.264") : c.containerRow);
    EXPECT_EQ(qv::resultExtension(s, c.source), c.extension);
    EXPECT_EQ(qv::resultName(c.source, c.extension), c.result);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ResultName,
    ::testing::Values(NameCase{"ContainerLowerCase", -2, "clip.AVI", ".mp4", "clip.mp4"},
                      NameCase{"KeepSourceKeepsItsExtension", 0, "clip.AVI", ".AVI", "clip.AVI"},
                      NameCase{"KeepSourceWithoutExtension", 0, "clip", "", "clip"},
                      NameCase{"OnlyTheLastDotCounts", -2, "a.b.avi", ".mp4", "a.b.mp4"},
                      NameCase{"NoExtensionGetsOne", -2, "clip", ".mp4", "clip.mp4"},
                      NameCase{"NoRowIsAnEmptyValue", -1, "clip.avi", ".", "clip."},
                      NameCase{"RowPastTheEndIsAnEmptyValue", 999, "clip.avi", ".", "clip."}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(Destination, BesideTheSourceOrInTheFolder) {
    ConversionSettings s = container(rowOf(CatalogueId::C2_01, "MP4,MPEG4/H.264"));
    EXPECT_EQ(qv::destinationFor(s, "/v/clip.avi"), "/v/clip.mp4");
    EXPECT_EQ(qv::destinationFor(s, "clip.avi"), "clip.mp4");
    s.C1_02 = 1;
    s.C1_03 = "/out//";
    EXPECT_EQ(qv::destinationFor(s, "/v/clip.avi"), "/out/clip.mp4");
    s.C1_03 = "/";
    EXPECT_EQ(qv::destinationFor(s, "/v/clip.avi"), "/clip.mp4");
    // No mode chosen: no destination, so no earlier result is written over.
    s.C1_02 = -1;
    EXPECT_EQ(qv::destinationFor(s, "/v/clip.avi"), "");
}

class BatchFiles : public ::testing::Test {
protected:
    std::string make(const char* name) const {
        const std::string p = at(name);
        std::ofstream(p) << name;
        return p;
    }
    std::string at(const char* name) const { return folder_.at(name); }
    qvtest::TempFolder folder_{"qv_batch_rules"};
    const fs::path& dir_ = folder_.path();
};

TEST_F(BatchFiles, SourcesAreKnownByAnyName) {
    const std::string a = make("a.avi");
    const std::string b = make("b.mp4");
    const std::string other = make("c.mp4");
    fs::create_symlink(a, at("link.mp4"));
    fs::create_hard_link(b, at("hard.mp4"));
    const qv::SourceSet sources({a, b, at("gone.avi")});
    EXPECT_TRUE(sources.contains(a));
    EXPECT_TRUE(sources.contains((dir_ / "." / "a.avi").string()));
    EXPECT_TRUE(sources.contains(at("link.mp4")));
    EXPECT_TRUE(sources.contains(at("hard.mp4")));
    EXPECT_FALSE(sources.contains(other));
    EXPECT_FALSE(sources.contains(at("gone.avi")));  // not there: nothing to protect
    EXPECT_FALSE(sources.contains(at("new.mp4")));
}

TEST_F(BatchFiles, StampCarriesTheNanoseconds) {
    const std::string source = make("a.avi");
    const std::string result = make("a.mp4");
    const timespec t[2] = {{1600000001, 123456789}, {1600000001, 123456789}};
    ASSERT_EQ(::utimensat(AT_FDCWD, source.c_str(), t, 0), 0);
    const auto when = qv::modificationTime(source);
    ASSERT_TRUE(when);
    EXPECT_EQ(when->tv_sec, 1600000001);
    EXPECT_EQ(when->tv_nsec, 123456789);
    qv::stampResult(result, *when);
    const auto stamped = qv::modificationTime(result);
    ASSERT_TRUE(stamped);
    EXPECT_EQ(stamped->tv_sec, 1600000001);
    EXPECT_EQ(stamped->tv_nsec, 123456789);

    EXPECT_FALSE(qv::modificationTime(at("none")));
    EXPECT_FALSE(qv::modificationTime(dir_.string()));  // a folder is no source
    qv::stampResult(at("none"), *when);                 // a missing result stays missing
    EXPECT_FALSE(fs::exists(at("none")));
}

TEST_F(BatchFiles, SizeOnlyOfRegularFiles) {
    EXPECT_EQ(qv::fileSizeOf(make("abc")), 3);
    {
        std::ofstream big(at("big"), std::ios::binary);
        big.seekp((std::int64_t{3} << 30) - 1);  // 3 GiB, sparse
        big.put('x');
    }
    EXPECT_EQ(qv::fileSizeOf(at("big")), std::int64_t{3} << 30);
    EXPECT_EQ(qv::fileSizeOf(at("none")), -1);
    EXPECT_EQ(qv::fileSizeOf(""), -1);
    EXPECT_EQ(qv::fileSizeOf(dir_.string()), -1);
    ASSERT_EQ(::mkfifo(at("pipe").c_str(), 0600), 0);
    EXPECT_EQ(qv::fileSizeOf(at("pipe")), -1);  // and no wait for a writer: the tick never stalls
}

TEST_F(BatchFiles, RemoveFileNeverTakesAFolder) {
    const std::string file = make("a.mp4");
    fs::create_directories(at("b.mp4"));
    qv::removeFile(file);
    qv::removeFile(at("b.mp4"));
    qv::removeFile(at("none"));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_TRUE(fs::is_directory(at("b.mp4")));
}

}  // namespace
