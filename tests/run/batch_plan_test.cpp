#include "run/batch_plan.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "run/batch_rules.h"
#include "run/command_line.h"
#include "settings/catalogues.h"
#include "support/catalogue_row.h"
#include "support/temp_folder.h"

namespace {

using qv::CatalogueId;
using qvtest::rowOf;

void touch(const std::string& path) { std::ofstream(path) << "x"; }

qv::ConversionSettings toMp4(bool twoPass) {
    qv::ConversionSettings s;
    s.C1_02 = 0;
    s.C2_01 = rowOf(CatalogueId::C2_01, "MP4,MPEG4/H.264");
    s.CheckBox1 = twoPass;
    return s;
}

// Each pass is the command the engine builds for it, and the time is the source's.
TEST(BatchPlan, PassesAreTheEnginesCommands) {
    qvtest::TempFolder dir("batch_plan_passes");
    const std::string a = dir.at("a.wmv");
    touch(a);
    for (const bool preview : {false, true}) {
        const qv::ConversionSettings s = toMp4(true);
        const qv::BatchPlan plan = qv::planBatch(s, {a}, preview);
        ASSERT_EQ(plan.jobs.size(), 1u);
        const qv::PlannedJob& job = plan.jobs[0];
        EXPECT_TRUE(job.refused.empty());
        EXPECT_EQ(job.dest, dir.at("a.mp4"));
        ASSERT_EQ(job.passes.size(), 2u);
        for (int pass = 1; pass <= 2; ++pass)
            EXPECT_EQ(job.passes[static_cast<std::size_t>(pass - 1)],
                      qv::buildConversionCommand(s, a, job.dest, pass, preview).args);
        ASSERT_TRUE(job.stamp);
        EXPECT_EQ(job.stamp->tv_sec, qv::modificationTime(a)->tv_sec);
        EXPECT_EQ(job.stamp->tv_nsec, qv::modificationTime(a)->tv_nsec);
    }
}

// The checks between the jobs of one batch, with the engine's reasons, in its order.
TEST(BatchPlan, RefusesWhatTheEngineWouldRefuse) {
    qvtest::TempFolder dir("batch_plan_refusals");
    for (const char* name : {"a.avi", "a.wmv", "b.mp4", "c.wmv", "d.wmv"}) touch(dir.at(name));
    std::filesystem::create_directory(dir.at("d.mp4"));
    qv::ConversionSettings s = toMp4(false);
    const std::vector<std::string> sources = {dir.at("a.avi"), dir.at("a.wmv"), dir.at("b.mp4"),
                                              dir.at("c.wmv"), dir.at("d.wmv"), dir.at("gone.wmv")};
    // a.avi and a.wmv both make a.mp4; b.mp4 would be its own result.
    const qv::BatchPlan plan = qv::planBatch(s, sources, false);
    ASSERT_EQ(plan.jobs.size(), sources.size());
    const std::vector<std::string> reasons = {"", qv::kOtherResult, qv::kSameAsSource,
                                              "", qv::kNotRegular,  qv::kSourceMissing};
    for (std::size_t i = 0; i < sources.size(); ++i) {
        EXPECT_EQ(plan.jobs[i].refused, reasons[i]) << sources[i];
        EXPECT_EQ(plan.jobs[i].passes.empty(), !reasons[i].empty()) << sources[i];
    }
    // A result that is a later job's source.
    touch(dir.at("e.wmv"));
    touch(dir.at("e.mp4"));
    const qv::BatchPlan second = qv::planBatch(s, {dir.at("e.wmv"), dir.at("e.mp4")}, false);
    EXPECT_EQ(second.jobs[0].refused, qv::kOtherSource);
    // Nothing was touched: the would-be results are not there.
    EXPECT_FALSE(std::filesystem::exists(dir.at("a.mp4")));
    EXPECT_FALSE(std::filesystem::exists(dir.at("c.mp4")));
}

TEST(BatchPlan, NoDestinationIsNoPlan) {
    qvtest::TempFolder dir("batch_plan_no_destination");
    touch(dir.at("a.wmv"));
    qv::ConversionSettings noMode = toMp4(false);
    noMode.C1_02 = -1;
    qv::ConversionSettings noFolder = toMp4(false);
    noFolder.C1_02 = 1;
    for (const qv::ConversionSettings& s : {noMode, noFolder}) {
        const qv::BatchPlan plan = qv::planBatch(s, {dir.at("a.wmv")}, false);
        EXPECT_TRUE(plan.noDestination);
        EXPECT_TRUE(plan.jobs.empty());
    }
}

}  // namespace
