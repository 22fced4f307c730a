#include "base/path.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct StripCase {
    const char* name;
    std::string path;
    std::string expected;
};

class StripTrailingSeparators : public ::testing::TestWithParam<StripCase> {};

TEST_P(StripTrailingSeparators, LeavesUsableFolder) {
    EXPECT_EQ(qv::stripTrailingSeparators(GetParam().path), GetParam().expected);
}

#ifdef _WIN32
INSTANTIATE_TEST_SUITE_P(Table, StripTrailingSeparators,
                         ::testing::Values(StripCase{"Empty", "", ""},
                                           StripCase{"NoSeparator", "D:\\Out", "D:\\Out"},
                                           StripCase{"One", "D:\\Out\\", "D:\\Out"},
                                           StripCase{"Several", "D:\\Out\\\\", "D:\\Out"},
                                           StripCase{"DriveRoot", "D:\\", "D:"},
                                           StripCase{"InnerKept", "D:\\a\\b", "D:\\a\\b"}),
                         [](const auto& test) { return std::string(test.param.name); });
#else
INSTANTIATE_TEST_SUITE_P(Table, StripTrailingSeparators,
                         ::testing::Values(StripCase{"Empty", "", ""},
                                           StripCase{"NoSeparator", "/out", "/out"},
                                           StripCase{"One", "/home/u/out/", "/home/u/out"},
                                           StripCase{"Several", "/home/u/out///", "/home/u/out"},
                                           StripCase{"Root", "/", "/"},
                                           StripCase{"RootRepeated", "///", "/"},
                                           StripCase{"InnerKept", "/a//b", "/a//b"},
                                           StripCase{"BackslashIsAName", "/out\\", "/out\\"},
                                           StripCase{"Relative", "out/", "out"},
                                           StripCase{"Japanese", "/home/u/動画/", "/home/u/動画"}),
                         [](const auto& test) { return std::string(test.param.name); });
#endif

TEST(JoinPath, OneSeparatorBetweenFolderAndName) {
    const std::string sep(1, qv::kPathSeparator);
    EXPECT_EQ(qv::joinPath("/srv/out", "clip.mp4"), "/srv/out" + sep + "clip.mp4");
    EXPECT_EQ(qv::joinPath(sep, "clip.mp4"), sep + "clip.mp4");
    EXPECT_EQ(qv::joinPath("", "clip.mp4"), sep + "clip.mp4");
}

TEST(PathParts, NameAndFolderSplitAtTheLastSeparator) {
    struct Case {
        std::string path, name, folder;
    };
    const Case cases[] = {
        {"/v/clip.avi", "clip.avi", "/v/"}, {"clip.avi", "clip.avi", ""},
        {"/clip.avi", "clip.avi", "/"},     {"/v/sub/", "", "/v/sub/"},
        {"/v/動画.mp4", "動画.mp4", "/v/"}, {"", "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(qv::fileNameOf(c.path), c.name) << c.path;
        EXPECT_EQ(qv::folderOf(c.path), c.folder) << c.path;
        EXPECT_EQ(qv::folderOf(c.path) + qv::fileNameOf(c.path), c.path) << c.path;
    }
}

}  // namespace
