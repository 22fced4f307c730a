#include "run/job_intake.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace {

struct OrderCase {
    const char* name;
    const char* locale;
    std::vector<std::string> given, sorted;
};

class JobOrderTable : public ::testing::TestWithParam<OrderCase> {};

// The whole path, case aside, in the locale's collation; equal paths keep their order.
TEST_P(JobOrderTable, SortsAsTheJobList) {
    const OrderCase& c = GetParam();
    const qv::JobOrder order(c.locale);
    std::vector<std::string> paths = c.given;
    qv::sortJobs(paths, order);
    EXPECT_EQ(paths, c.sorted);
    for (std::size_t i = 1; i < c.sorted.size(); ++i)
        EXPECT_LE(order.compare(c.sorted[i - 1], c.sorted[i]), 0) << c.sorted[i];
}

INSTANTIATE_TEST_SUITE_P(Table, JobOrderTable,
                         ::testing::Values(OrderCase{"CaseAsideInTheLocale",
                                                     "en_US",
                                                     {"/v/b.avi", "/v/A.avi", "/v/a.avi"},
                                                     {"/v/A.avi", "/v/a.avi", "/v/b.avi"}},
                                           OrderCase{"CaseAsideInThePlainLocale",
                                                     "C",
                                                     {"/v/b.avi", "/v/A.avi", "/v/C.avi"},
                                                     {"/v/A.avi", "/v/b.avi", "/v/C.avi"}},
                                           OrderCase{"AccentBesideItsLetter",
                                                     "en_US",
                                                     {"/v/f.avi", "/v/\xc3\xa9.avi"},
                                                     {"/v/\xc3\xa9.avi", "/v/f.avi"}},
                                           OrderCase{"DigitsAreNotNumbers",
                                                     "ja_JP",
                                                     {"/v/f9.avi", "/v/f10.avi"},
                                                     {"/v/f10.avi", "/v/f9.avi"}},
                                           OrderCase{"WholePathFolderFirst",
                                                     "en_US",
                                                     {"/v/sub/a.avi", "/v/b.avi"},
                                                     {"/v/b.avi", "/v/sub/a.avi"}},
                                           OrderCase{"NotUtf8StillSorts",
                                                     "en_US",
                                                     {"/v/\x93\xae.avi", "/v/a.avi"},
                                                     {"/v/a.avi", "/v/\x93\xae.avi"}}),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(JobOrder, TheEnvironmentNamesTheLocaleAsTheToolkitReadsIt) {
    const char* saved[3] = {std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG")};
    const std::string keep[3] = {saved[0] ? saved[0] : "", saved[1] ? saved[1] : "",
                                 saved[2] ? saved[2] : ""};
    ::unsetenv("LC_ALL");
    ::setenv("LC_MESSAGES", "en_US.UTF-8", 1);
    ::setenv("LANG", "C", 1);
    // In the C locale é (U+00E9) would follow f; in English it stands beside e.
    EXPECT_LT(qv::JobOrder().compare("\xc3\xa9", "f"), 0);
    ::setenv("LC_ALL", "C.UTF-8", 1);
    EXPECT_GT(qv::JobOrder().compare("\xc3\xa9", "f"), 0);
    const char* names[3] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    for (int i = 0; i < 3; ++i)
        saved[i] ? ::setenv(names[i], keep[i].c_str(), 1) : ::unsetenv(names[i]);
}

TEST(JobIntake, WhatPathsBring) {
    qvtest::TempFolder dir("job_intake");
    std::filesystem::create_directories(dir.path() / "f" / "sub");
    std::ofstream((dir.path() / "f" / "a.avi").string()) << "x";
    std::ofstream((dir.path() / "f" / "sub" / "b.avi").string()) << "x";
    std::ofstream(dir.at("one.avi")) << "x";
    qv::JobIntake taken;
    for (const std::string& p :
         {dir.at("one.avi"), dir.at("f"), dir.at("gone.avi"), std::string("/"), std::string("//")})
        qv::takeJobs(p, taken);
    std::vector<std::string> files = taken.files;
    qv::sortJobs(files, qv::JobOrder("C"));
    EXPECT_EQ(files, (std::vector<std::string>{dir.at("f") + "/a.avi", dir.at("f") + "/sub/b.avi",
                                               dir.at("one.avi")}));
    // The missing path in silence; the root, however spelt, refused with a reason.
    ASSERT_EQ(taken.left.size(), 2u);
    EXPECT_EQ(qv::notQueuedLines(taken.left),
              (std::vector<std::string>{"/: ファイルシステム全体は加えられません",
                                        "//: ファイルシステム全体は加えられません"}));
}

}  // namespace
