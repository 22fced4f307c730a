#include "base/progress_channel.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <tuple>
#include <vector>

namespace {

struct ChannelCase {
    const char* name;
    std::vector<std::string> pieces;  // as the pipe delivers them
    std::vector<qv::ProgressReport> reports;
};

std::ostream& operator<<(std::ostream& os, const ChannelCase& c) { return os << c.name; }

class ProgressChannelReading : public ::testing::TestWithParam<ChannelCase> {};

TEST_P(ProgressChannelReading, TakesReportsAndSkipsTheRest) {
    qv::ProgressLineReader reader;
    std::vector<qv::ProgressReport> got;
    for (const std::string& piece : GetParam().pieces)
        for (const qv::ProgressReport& r : reader.feed(piece)) got.push_back(r);
    const auto& want = GetParam().reports;
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_DOUBLE_EQ(got[i].done, want[i].done) << i;
        EXPECT_DOUBLE_EQ(got[i].expected, want[i].expected) << i;
        EXPECT_DOUBLE_EQ(got[i].speed, want[i].speed) << i;
    }
}

const std::string kLong(200, '1');

INSTANTIATE_TEST_SUITE_P(
    Table, ProgressChannelReading,
    ::testing::Values(
        ChannelCase{
            "good", {"t 1.5 60 2.25\nt 3.000 60.000 2.000\n"}, {{1.5, 60, 2.25}, {3, 60, 2}}},
        ChannelCase{"unknownLengthAndSpeed", {"t 12 0 0\n"}, {{12, 0, 0}}},
        ChannelCase{"windowsLineEnd", {"t 1 2 3\r\n"}, {{1, 2, 3}}},
        ChannelCase{"cutAnywhere",
                    {"t 1", "2.5 6", "0 1", ".5\nt 13 60 1.5", "\n"},
                    {{12.5, 60, 1.5}, {13, 60, 1.5}}},
        ChannelCase{"noEndYet", {"t 1 2 3"}, {}},
        ChannelCase{"garbageAround",
                    {"hello\n\n\x01\xff\nt 1 2 3\nt\nt 1 2\nt 1 2 3 4\nx 1 2 3\nT 1 2 3\n"
                     "t  1 2 3\nt 1 2 3 \nt a b c\nt 1e3 2 3\nt 0x1 2 3\nt 1 2 3\n"},
                    {{1, 2, 3}, {1, 2, 3}}},
        ChannelCase{"negativeAndSigned",
                    {"t -1 2 3\nt 1 -2 3\nt 1 2 -3\nt +1 2 3\nt 4 5 6\n"},
                    {{4, 5, 6}}},
        ChannelCase{"hugeOrEndless",
                    {"t 1" + kLong +
                     " 2 3\nt inf 2 3\nt nan 2 3\nt 1 99999999999 3\n"
                     "t 1 2 9999999\nt 7 8 9\n"},
                    {{7, 8, 9}}},
        ChannelCase{"overlongLineInPieces", {"t " + kLong, kLong, " 1 1\nt 2 4 1\n"}, {{2, 4, 1}}},
        ChannelCase{"nothing", {}, {}}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(ProgressChannel, LineReadsBackAsWritten) {
    for (const auto& [done, expected, speed] : std::vector<std::tuple<double, double, double>>{
             {0, 0, 0}, {12.25, 60, 1.5}, {3600.5, 7200, 0.25}}) {
        const std::string line = qv::progressLine(done, expected, speed);
        ASSERT_EQ(line.back(), '\n');
        const auto r = qv::parseProgressLine(std::string_view(line).substr(0, line.size() - 1));
        ASSERT_TRUE(r) << line;
        EXPECT_DOUBLE_EQ(r->done, done);
        EXPECT_DOUBLE_EQ(r->expected, expected);
        EXPECT_DOUBLE_EQ(r->speed, speed);
    }
    // What could not be read as a report is written as 0.
    EXPECT_EQ(qv::progressLine(-1, std::numeric_limits<double>::quiet_NaN(),
                               std::numeric_limits<double>::infinity()),
              "t 0.000 0.000 0.000\n");
}

TEST(ProgressChannel, FractionStaysWithinTheCall) {
    EXPECT_DOUBLE_EQ((qv::ProgressReport{30, 60, 1}.fraction()), 0.5);
    EXPECT_DOUBLE_EQ((qv::ProgressReport{61, 60, 1}.fraction()), 1);
    EXPECT_DOUBLE_EQ((qv::ProgressReport{5, 0, 1}.fraction()), 0);
}

}  // namespace
