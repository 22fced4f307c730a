#include "settings/conversion_settings.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using qv::Panel;

struct TintCase {
    const char* name;
    Panel panel;
    int indexOrValue;
    std::uint32_t expected;
};

class TintByIndex : public ::testing::TestWithParam<TintCase> {};

TEST_P(TintByIndex, MarksAnythingButKeepSource) {
    EXPECT_EQ(qv::tintForIndex(GetParam().panel, GetParam().indexOrValue), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, TintByIndex,
                         ::testing::Values(TintCase{"VideoRow0White", Panel::Video, 0, 0xFFFFFF},
                                           TintCase{"VideoRow1Pink", Panel::Video, 1, 0xFFC4FF},
                                           TintCase{"VideoNoRowPink", Panel::Video, -1, 0xFFC4FF},
                                           TintCase{"VideoLastRowPink", Panel::Video, 42, 0xFFC4FF},
                                           TintCase{"AudioRow0White", Panel::Audio, 0, 0xFFFFFF},
                                           TintCase{"AudioRow3Cyan", Panel::Audio, 3, 0xC4FFFF},
                                           TintCase{"AudioNoRowCyan", Panel::Audio, -1, 0xC4FFFF}),
                         [](const auto& info) { return std::string(info.param.name); });

class TintByValue : public ::testing::TestWithParam<TintCase> {};

TEST_P(TintByValue, MarksPositiveValues) {
    EXPECT_EQ(qv::tintForValue(GetParam().panel, GetParam().indexOrValue), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TintByValue,
    ::testing::Values(TintCase{"CropZeroWhite", Panel::Video, 0, 0xFFFFFF},
                      TintCase{"CropOnePink", Panel::Video, 1, 0xFFC4FF},
                      TintCase{"CropNegativeWhite", Panel::Video, -1, 0xFFFFFF},
                      TintCase{"CropMaxPink", Panel::Video, 99999, 0xFFC4FF},
                      TintCase{"RangeZeroWhite", Panel::Options, 0, 0xFFFFFF},
                      TintCase{"RangeOneYellow", Panel::Options, 1, 0xFFFF80},
                      TintCase{"RangeNegativeWhite", Panel::Options, -5, 0xFFFFFF}),
    [](const auto& info) { return std::string(info.param.name); });

// The window definitions give colours with blue in the high byte.
TEST(Tints, MatchTheWindowColourValues) {
    auto asWindowValue = [](std::uint32_t rgb) {
        return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | (rgb >> 16);
    };
    EXPECT_EQ(asWindowValue(qv::kVideoTint), 16762111u);
    EXPECT_EQ(asWindowValue(qv::kAudioTint), 16777156u);
    EXPECT_EQ(asWindowValue(qv::kOptionsTint), 8454143u);
    EXPECT_EQ(asWindowValue(qv::kWhite), 16777215u);
}

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
                         [](const auto& info) { return std::string(info.param.name); });
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
                         [](const auto& info) { return std::string(info.param.name); });
#endif

TEST(JoinPath, OneSeparatorBetweenFolderAndName) {
    const std::string sep(1, qv::kPathSeparator);
    EXPECT_EQ(qv::joinPath("/srv/out", "clip.mp4"), "/srv/out" + sep + "clip.mp4");
    EXPECT_EQ(qv::joinPath(sep, "clip.mp4"), sep + "clip.mp4");
    EXPECT_EQ(qv::joinPath("", "clip.mp4"), sep + "clip.mp4");
}

struct ColumnCase {
    const char* name;
    qv::CatalogueId id;
    int index;
    int column;
    std::string expected;
};

class SelectedColumn : public ::testing::TestWithParam<ColumnCase> {};

TEST_P(SelectedColumn, ReadsRowColumn) {
    const auto& c = GetParam();
    EXPECT_EQ(qv::selectedColumn(c.id, c.index, c.column), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SelectedColumn,
    ::testing::Values(ColumnCase{"Value", qv::CatalogueId::C2_05, 19, 0, "1"},
                      ColumnCase{"Label", qv::CatalogueId::C2_05, 19, 1, "VBR(最高品質)"},
                      ColumnCase{"ValueOnlyRowHasNoLabel", qv::CatalogueId::C2_04, 17, 1, ""},
                      ColumnCase{"LastRow", qv::CatalogueId::C2_02, 42, 0, "512x384"},
                      ColumnCase{"PastLastRow", qv::CatalogueId::C2_02, 43, 0, ""},
                      ColumnCase{"NoRowValue", qv::CatalogueId::C2_02, -1, 0, ""},
                      ColumnCase{"NoRowLabel", qv::CatalogueId::C2_02, -1, 1, ""},
                      ColumnCase{"ColumnPastEnd", qv::CatalogueId::C3_04, 1, 2, ""},
                      ColumnCase{"KeepSource", qv::CatalogueId::C3_06, 0, 0, "自動"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
