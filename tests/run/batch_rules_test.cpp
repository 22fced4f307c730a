#include "run/batch_rules.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
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
    const ConversionSettings s = container(
        c.containerRow == -2 ? rowOf(CatalogueId::C2_01, "MP4,MPEG4/H.264") : c.containerRow);
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

// Sets an environment variable for one scope (unset when value is null).
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        had_ = std::getenv(name) != nullptr;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (had_)
            ::setenv(name_, old_.c_str(), 1);
        else
            ::unsetenv(name_);
    }

  private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

TEST(Destination, TildeMeansTheHomeFolder) {
    ScopedEnv home("HOME", "/home/u/");
    ConversionSettings s = container(0);
    s.C1_02 = 1;
    const struct {
        const char* folder;
        const char* result;
    } cases[] = {{"~", "/home/u/clip.avi"},
                 {"~/", "/home/u/clip.avi"},
                 {"~/Videos/", "/home/u/Videos/clip.avi"},
                 {"~user/x", "~user/x/clip.avi"},  // another user's folder is not looked up
                 {"a/~/b", "a/~/b/clip.avi"}};
    for (const auto& c : cases) {
        s.C1_03 = c.folder;
        EXPECT_EQ(qv::destinationFor(s, "/v/clip.avi"), c.result) << c.folder;
    }
}

TEST(RunLog, StateFolderOrItsDefault) {
    ScopedEnv home("HOME", "/home/u");
    {
        ScopedEnv state("XDG_STATE_HOME", "/st/");
        EXPECT_EQ(qv::runLogPath(), "/st/quorvane/last-run.log");
    }
    for (const char* unusable : {static_cast<const char*>(nullptr), "", "relative/state"}) {
        ScopedEnv state("XDG_STATE_HOME", unusable);
        EXPECT_EQ(qv::runLogPath(), "/home/u/.local/state/quorvane/last-run.log");
    }
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

TEST_F(BatchFiles, ResultsAreComparedAsFiles) {
    fs::create_directories(at("out"));
    fs::create_directory_symlink(at("out"), at("alias"));
    qv::ResultSet results;
    EXPECT_TRUE(results.claim(at("out/a.avi")));
    EXPECT_FALSE(results.claim(at("out/a.avi")));
    EXPECT_FALSE(results.claim(at("alias/a.avi")));  // the same folder by another name
    EXPECT_FALSE(results.claim(at("out/./a.avi")));
    EXPECT_TRUE(results.claim(at("out/b.avi")));
    EXPECT_TRUE(results.claim(at("missing/a.avi")));
    EXPECT_FALSE(results.claim(at("missing/a.avi")));
}

TEST_F(BatchFiles, PreviousResultComesBackUnchanged) {
    const std::string dest = make("a.avi");
    const timespec t[2] = {{1300000001, 5}, {1300000001, 5}};
    ASSERT_EQ(::utimensat(AT_FDCWD, dest.c_str(), t, 0), 0);
    // A hidden name of the user's own is never taken.
    const std::string users = make(".a.avi.previous");
    qv::PreviousResult previous;
    ASSERT_TRUE(previous.setAside(dest));
    EXPECT_EQ(previous.hiddenPath(), at(".a.avi.previous-2"));
    EXPECT_FALSE(fs::exists(dest));
    std::ofstream(dest) << "partial";
    previous.putBack();
    std::string bytes;
    std::getline(std::ifstream(dest), bytes);
    EXPECT_EQ(bytes, "a.avi");
    const auto when = qv::modificationTime(dest);
    ASSERT_TRUE(when);
    EXPECT_EQ(when->tv_sec, 1300000001);
    EXPECT_EQ(when->tv_nsec, 5);
    EXPECT_FALSE(fs::exists(at(".a.avi.previous-2")));
    std::getline(std::ifstream(users), bytes);
    EXPECT_EQ(bytes, ".a.avi.previous");
}

TEST_F(BatchFiles, PreviousResultGoesOnSuccess) {
    const std::string dest = make("a.avi");
    qv::PreviousResult previous;
    ASSERT_TRUE(previous.setAside(dest));
    const std::string hidden = previous.hiddenPath();
    EXPECT_TRUE(fs::exists(hidden));
    std::ofstream(dest) << "new";
    previous.discard();
    EXPECT_FALSE(fs::exists(hidden));
    EXPECT_TRUE(fs::exists(dest));

    qv::PreviousResult none;  // no earlier result: nothing to do
    EXPECT_TRUE(none.setAside(at("b.avi")));
    EXPECT_EQ(none.hiddenPath(), "");

    // A folder that takes no new names: the job cannot keep its old result safe.
    const std::string locked = make("c.avi");
    fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
    qv::PreviousResult refused;
    std::string why;
    const bool setAside = refused.setAside(locked, &why);
    fs::permissions(dir_, fs::perms::owner_all);
    if (::geteuid() != 0) {
        EXPECT_FALSE(setAside);
        EXPECT_FALSE(why.empty());
        EXPECT_TRUE(fs::exists(locked));
    }
}

TEST_F(BatchFiles, ReportLineIsTheFirstLine) {
    const std::string report = qv::makeReportFile();
    ASSERT_FALSE(report.empty());
    struct stat st {};
    ASSERT_EQ(::stat(report.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(qv::readReportLine(report), "");
    std::ofstream(report) << "入力ファイルを読めません \r\nmore\n";
    EXPECT_EQ(qv::readReportLine(report), "入力ファイルを読めません");
    ::unlink(report.c_str());
    EXPECT_EQ(qv::readReportLine(report), "");
}

TEST_F(BatchFiles, RunLogStartsEmpty) {
    const std::string log = at("state/quorvane/last-run.log");
    ASSERT_TRUE(qv::startRunLog(log));
    std::ofstream(log) << "last run";
    ASSERT_TRUE(qv::startRunLog(log));
    EXPECT_EQ(fs::file_size(log), 0u);
    fs::create_symlink(make("notes.txt"), at("linked.log"));
    EXPECT_FALSE(qv::startRunLog(at("linked.log")));  // never through a link
    EXPECT_EQ(fs::file_size(at("notes.txt")), 9u);
    EXPECT_FALSE(qv::startRunLog(""));
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
