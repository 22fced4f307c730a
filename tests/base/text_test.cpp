#include "base/text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(LowerAscii, FoldsOnlyAsciiLetters) {
    EXPECT_EQ(qv::lowerAscii(std::string("MP4-Xvid_9")), "mp4-xvid_9");
    // UTF-8 sequences are left as they are: all their bytes lie above ASCII.
    EXPECT_EQ(qv::lowerAscii(std::string("動画.AVI")), "動画.avi");
    EXPECT_EQ(qv::lowerAscii(std::string("ÀÉ")), "ÀÉ");
    EXPECT_EQ(qv::lowerAscii('@'), '@');
    EXPECT_EQ(qv::lowerAscii('['), '[');
}

struct LineCase {
    const char* name;
    std::string bytes;
    std::vector<std::pair<std::string, std::string>> lines;  // text, break
};

class SplitLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(SplitLines, KeepsEachLinesBreak) {
    const auto got = qv::splitLines(GetParam().bytes);
    ASSERT_EQ(got.size(), GetParam().lines.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].text, GetParam().lines[i].first) << i;
        EXPECT_EQ(got[i].eol, GetParam().lines[i].second) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SplitLines,
    ::testing::Values(
        LineCase{"Empty", "", {}}, LineCase{"NoBreak", "a", {{"a", ""}}},
        LineCase{"FinalBreakStartsNoLine", "a\r\n", {{"a", "\r\n"}}},
        LineCase{
            "MixedBreaks", "a\r\nb\nc\rd", {{"a", "\r\n"}, {"b", "\n"}, {"c", "\r"}, {"d", ""}}},
        LineCase{"LfCrIsTwoBreaks", "a\n\rb", {{"a", "\n"}, {"", "\r"}, {"b", ""}}},
        LineCase{"EmptyLinesInside", "\r\n\r\nx", {{"", "\r\n"}, {"", "\r\n"}, {"x", ""}}}),
    [](const auto& test) { return std::string(test.param.name); });

}  // namespace
