// Progress inside a file: what a stand-in encoder writes on its channel reaches the observer
// as the job's share done, a two-pass job's passes as halves; an encoder that writes
// garbage, or nothing, changes nothing else.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "run/batch_engine.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

// What it writes on the channel follows the result's name:
//   half*     half of a 4-second call, at twice real time
//   wait*     a quarter, then waits for the file "go" before the rest
//   garbage*  lines that are not reports, one of them endless, then half of it
//   closed*   closes the channel at once
//   anything else writes nothing.
// Without the channel named as descriptor 3 it writes nothing either.
const char* const kStandIn = R"SH(#!/bin/sh
dir=$(dirname "$0")
for last; do :; done
name=${last##*/}
if [ "$QUORVANE_PROGRESS" = 3 ]; then
  case "$name" in
    half*) printf 't 2.000 4.000 2.000\n' >&3 ;;
    wait*)
      printf 't 1 4 1\n' >&3
      while [ ! -e "$dir/go" ]; do sleep 0.02; done
      printf 't 4 4 1\n' >&3 ;;
    garbage*)
      printf 'hello\nt -1 4 1\nt 1 2\n\377\001\n' >&3
      head -c 100000 /dev/zero | tr '\0' 7 >&3
      printf '\nt 2 4 1\nt 3 4' >&3 ;;
    closed*) exec 3>&- ;;
  esac
fi
printf 'new' > "$last"
)SH";

struct Progress : qv::BatchObserver {
    std::map<int, std::vector<qv::JobProgress>> reports;
    std::map<int, qv::JobEnd> ends;
    void jobProgress(int job, const qv::JobProgress& p) override {
        EXPECT_EQ(ends.count(job), 0u) << "progress of an ended job";
        reports[job].push_back(p);
    }
    void jobEnded(int job, qv::JobEnd end, const std::string&) override { ends[job] = end; }
};

// An observer that wants only the share done and the speed.
struct SharesOnly : qv::BatchObserver {
    std::vector<std::pair<double, double>> shares;
    void progress(int, double fraction, double speed) override {
        shares.emplace_back(fraction, speed);
    }
};

class BatchProgressTest : public ::testing::Test {
  protected:
    qvtest::TempFolder root_{"qv_progress"};
    fs::path bin_ = root_.path() / "bin", in_ = root_.path() / "in", out_ = root_.path() / "out";

    void SetUp() override {
        for (const fs::path& p : {bin_, in_, out_}) fs::create_directories(p);
        std::ofstream(bin_ / "ffmpeg") << kStandIn;
        ::chmod((bin_ / "ffmpeg").c_str(), 0755);
    }

    qv::BatchOptions options(bool twoPass, int parallel = 1) const {
        qv::BatchOptions o;
        o.settings.C1_02 = 1;
        o.settings.C1_03 = out_.string();
        o.settings.C2_01 = 0;
        o.settings.CheckBox1 = twoPass;
        o.encoder = (bin_ / "ffmpeg").string();
        o.parallel = parallel;
        o.keepLog = false;
        return o;
    }

    std::vector<std::string> sources(const std::vector<std::string>& names) const {
        std::vector<std::string> paths;
        for (const std::string& n : names) {
            std::ofstream(in_ / n) << "SOURCE";
            paths.push_back((in_ / n).string());
        }
        return paths;
    }
};

struct ShareCase {
    const char* name;
    bool twoPass;
    std::vector<double> fractions;  // of the job, as told
    double seconds, speed;
};

std::ostream& operator<<(std::ostream& os, const ShareCase& c) { return os << c.name; }

class BatchProgressShares : public BatchProgressTest,
                            public ::testing::WithParamInterface<ShareCase> {};

TEST_P(BatchProgressShares, ReachTheObserverWithPassesAsHalves) {
    const ShareCase& c = GetParam();
    Progress seen;
    SharesOnly shares;
    qv::BatchObservers both;
    both.add(seen);
    both.add(shares);
    qv::BatchEngine engine(options(c.twoPass), sources({std::string(c.name) + ".avi"}), both);
    engine.runToEnd();
    ASSERT_EQ(seen.ends.size(), 1u);
    EXPECT_EQ(seen.ends[0], qv::JobEnd::Done);
    const auto& got = seen.reports[0];
    ASSERT_EQ(got.size(), c.fractions.size());
    ASSERT_EQ(shares.shares.size(), c.fractions.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_DOUBLE_EQ(got[i].fraction, c.fractions[i]) << i;
        EXPECT_DOUBLE_EQ(shares.shares[i].first, c.fractions[i]) << i;
        EXPECT_DOUBLE_EQ(shares.shares[i].second, c.speed) << i;
        EXPECT_DOUBLE_EQ(got[i].seconds, c.seconds) << i;
        EXPECT_DOUBLE_EQ(got[i].speed, c.speed) << i;
    }
    EXPECT_TRUE(fs::exists(out_ / (std::string(c.name) + ".avi")));
}

INSTANTIATE_TEST_SUITE_P(Table, BatchProgressShares,
                         ::testing::Values(ShareCase{"half", false, {0.5}, 4, 2},
                                           ShareCase{"half_two_pass", true, {0.25, 0.75}, 4, 2},
                                           // Only the newest report of what has come counts.
                                           ShareCase{"garbage", false, {0.5}, 4, 1},
                                           ShareCase{"garbage_two_pass", true, {0.25, 0.75}, 4, 1},
                                           ShareCase{"silent", false, {}, 0, 0},
                                           ShareCase{"silent_two_pass", true, {}, 0, 0},
                                           ShareCase{"closed", false, {}, 0, 0}),
                         [](const auto& row) { return std::string(row.param.name); });

// A report comes while the encoder still runs, and the job's end is still seen.
TEST_F(BatchProgressTest, ReportsArriveWhileTheEncoderRuns) {
    Progress seen;
    qv::BatchEngine engine(options(false, 2), sources({"wait.avi", "silent.avi"}), seen);
    for (int i = 0; i < 2000 && seen.reports[0].empty(); ++i) ASSERT_TRUE(engine.step(20));
    ASSERT_EQ(seen.reports[0].size(), 1u);
    EXPECT_DOUBLE_EQ(seen.reports[0][0].fraction, 0.25);
    EXPECT_EQ(seen.ends.count(0), 0u);
    std::ofstream(bin_ / "go") << "";
    engine.runToEnd();
    EXPECT_EQ(seen.ends[0], qv::JobEnd::Done);
    EXPECT_EQ(seen.ends[1], qv::JobEnd::Done);
    ASSERT_EQ(seen.reports[0].size(), 2u);
    EXPECT_DOUBLE_EQ(seen.reports[0][1].fraction, 1);
    EXPECT_EQ(seen.reports.count(1) ? seen.reports[1].size() : 0u, 0u);
}

}  // namespace
