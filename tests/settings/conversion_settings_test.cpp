#include "settings/conversion_settings.h"

#include <gtest/gtest.h>

#include <string>

#include "base/palette.h"

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
                         [](const auto& test) { return std::string(test.param.name); });

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
    [](const auto& test) { return std::string(test.param.name); });

// The window definitions give colours with blue in the high byte.
TEST(Tints, MatchTheWindowColourValues) {
    auto asWindowValue = [](std::uint32_t rgb) {
        return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | (rgb >> 16);
    };
    EXPECT_EQ(asWindowValue(qv::palette::kVideoTint), 16762111u);
    EXPECT_EQ(asWindowValue(qv::palette::kAudioTint), 16777156u);
    EXPECT_EQ(asWindowValue(qv::palette::kOptionsTint), 8454143u);
    EXPECT_EQ(asWindowValue(qv::palette::kWhite), 16777215u);
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
    [](const auto& test) { return std::string(test.param.name); });

}  // namespace
