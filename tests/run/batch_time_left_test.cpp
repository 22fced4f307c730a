#include "run/batch_time_left.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

TEST(BatchTimeLeft, NothingUntilMediaTimeIsMadeAndALengthKnown) {
    qv::BatchTimeLeft t(3, 1);
    EXPECT_FALSE(t.secondsLeft(5));
    t.progress(0, 0, 60);  // a length, nothing made yet
    EXPECT_FALSE(t.secondsLeft(5));
    qv::BatchTimeLeft unknown(3, 1);
    unknown.progress(0, 0.5, 0);  // made, but no length known
    EXPECT_FALSE(unknown.secondsLeft(5));
}

struct LeftCase {
    const char* name;
    int jobs, passes;
    // Reports (job, fraction, seconds) and ends (job, made) in order, then the elapsed time.
    std::vector<std::tuple<int, double, double>> reports;
    std::vector<std::pair<int, bool>> ends;
    double elapsed, want;
};

std::ostream& operator<<(std::ostream& os, const LeftCase& c) { return os << c.name; }

class BatchTimeLeftCases : public ::testing::TestWithParam<LeftCase> {};

TEST_P(BatchTimeLeftCases, EstimatesTheWholeBatch) {
    const LeftCase& c = GetParam();
    qv::BatchTimeLeft t(c.jobs, c.passes);
    for (const auto& [job, fraction, seconds] : c.reports) t.progress(job, fraction, seconds);
    for (const auto& [job, made] : c.ends) t.jobEnded(job, made);
    const auto left = t.secondsLeft(c.elapsed);
    ASSERT_TRUE(left);
    EXPECT_NEAR(*left, c.want, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(
    Table, BatchTimeLeftCases,
    ::testing::Values(
        // 30 of 60 media seconds in 10 s: 3 a second; the rest of it and two more like it.
        LeftCase{"firstJobHalfDone", 3, 1, {{0, 0.5, 60}}, {}, 10, (30 + 120) / 3.0},
        // A two-pass job makes its media time twice.
        LeftCase{"twoPassesCountTwice", 1, 2, {{0, 0.25, 60}}, {}, 10, 90 / 3.0},
        // Jobs not started are taken to be as long as the mean of those known (20 s).
        LeftCase{"unstartedAtTheMean", 3, 1, {{0, 1, 10}, {1, 0.5, 30}}, {{0, true}}, 25, 35},
        // Two at once make media time twice as fast: the batch's rate, not a job's.
        LeftCase{"severalAtOnce", 4, 1, {{0, 0.5, 60}, {1, 0.5, 60}}, {}, 30, (60 + 120) / 2.0},
        // A job that failed halfway counts as far as it came, and has nothing left.
        LeftCase{"failedAsFarAsItCame", 2, 1, {{0, 0.25, 40}}, {{0, false}}, 10, 40},
        // Reports never go back, and a job that ended reports no more.
        LeftCase{"neverBackwards", 2, 1, {{0, 0.5, 20}, {0, 0.2, 20}, {1, 0.5, 20}}, {}, 10, 10}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(BatchTimeLeft, TextOfTheTimeLeft) {
    const std::pair<double, const char*> cases[] = {
        {0, "0:00"},
        {0.2, "0:01"},
        {59, "0:59"},
        {205, "3:25"},
        {3599, "59:59"},
        {3599.5, "1:00:00"},
        {3723, "1:02:03"},
        {-5, "0:00"},
        {std::nan(""), "0:00"},
        {1e12, "99:59:59"},
        {std::numeric_limits<double>::infinity(), "0:00"}};
    for (const auto& [seconds, text] : cases) EXPECT_EQ(qv::timeLeftText(seconds), text) << seconds;
}

}  // namespace
