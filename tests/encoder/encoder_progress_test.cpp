#include "encoder_progress.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using qv::adapter::EncoderProgress;

std::vector<EncoderProgress> readAll(const std::vector<std::string>& pieces) {
    qv::adapter::EncoderProgressReader reader;
    std::vector<EncoderProgress> all;
    for (const std::string& p : pieces)
        for (const EncoderProgress& r : reader.feed(p)) all.push_back(r);
    return all;
}

// The encoder's own blocks, as version 5 writes them: the first has no speed yet, the
// speed is padded, the last one ends the call.
TEST(EncoderProgressReader, ReadsTheEncodersBlocksInAnyPieces) {
    const std::string text =
        "frame=1\nout_time_us=40000\nout_time_ms=40000\nspeed=N/A\nprogress=continue\n"
        "frame=75\nout_time_us=3000000\nspeed=  26x\nprogress=continue\n"
        "out_time_us=6000000\nspeed=1.5x\nprogress=end\n";
    for (std::size_t cut : {std::size_t{0}, std::size_t{1}, std::size_t{7}, std::size_t{40}}) {
        std::vector<std::string> pieces;
        if (cut == 0) {
            pieces = {text};
        } else {
            for (std::size_t i = 0; i < text.size(); i += cut)
                pieces.push_back(text.substr(i, cut));
        }
        const auto r = readAll(pieces);
        ASSERT_EQ(r.size(), 3u) << cut;
        EXPECT_DOUBLE_EQ(r[0].done, 0.04);
        EXPECT_DOUBLE_EQ(r[0].speed, 0);
        EXPECT_FALSE(r[0].end);
        EXPECT_DOUBLE_EQ(r[1].done, 3);
        EXPECT_DOUBLE_EQ(r[1].speed, 26);
        EXPECT_DOUBLE_EQ(r[2].done, 6);
        EXPECT_DOUBLE_EQ(r[2].speed, 1.5);
        EXPECT_TRUE(r[2].end);
    }
}

// Times it cannot use leave the last good one; speeds it cannot read are unknown.
TEST(EncoderProgressReader, KeepsTheLastGoodTime) {
    const auto r =
        readAll({"out_time_us=2000000\nspeed=2x\nprogress=continue\n"
                 "out_time_us=N/A\nspeed=fast\nprogress=continue\n"
                 "out_time_us=-9223372036854775807\nspeed=-1x\nprogress=continue\n"
                 "garbage\n=\nout_time_us=99999999999999999999999\nprogress=continue\n"});
    ASSERT_EQ(r.size(), 4u);
    for (const EncoderProgress& p : r) EXPECT_DOUBLE_EQ(p.done, 2);
    EXPECT_DOUBLE_EQ(r[0].speed, 2);
    EXPECT_DOUBLE_EQ(r[1].speed, 0);
    EXPECT_DOUBLE_EQ(r[2].speed, 0);
}

struct ExpectedCase {
    const char* name;
    double checkLength, atMost, duration, start, length, want;
};

class ExpectedSeconds : public ::testing::TestWithParam<ExpectedCase> {};

TEST_P(ExpectedSeconds, FollowsWhatIsKnown) {
    const ExpectedCase& c = GetParam();
    EXPECT_DOUBLE_EQ(
        qv::adapter::expectedSeconds(c.checkLength, c.atMost, c.duration, c.start, c.length),
        c.want);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ExpectedSeconds,
    ::testing::Values(ExpectedCase{"checkedLength", 5, -1, 60, 1, 5, 5},
                      ExpectedCase{"probeWithRange", -1, 5, 60, 10, 5, 5},
                      ExpectedCase{"probeRangeBeyondTheEnd", -1, 30, 40, 20, 30, 20},
                      ExpectedCase{"probeWhole", -1, -1, 8, 0, -1, 8},
                      ExpectedCase{"previewOfUnknownLength", -1, 30, 0, 0, 30, 30},
                      ExpectedCase{"startBeyondTheEnd", -1, -1, 8, 10, -1, 0},
                      ExpectedCase{"nothingKnown", -1, -1, 0, 0, -1, 0}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
