#include "cli/json.h"

#include <gtest/gtest.h>

#include <string>

#include "cli/plan_line.h"

namespace {

using qv::cli::JsonObject;
using qv::cli::parseJson;

struct TextCase {
    const char* name;
    std::string bytes;
    std::string written;  // the member's value as written
};

class JsonText : public ::testing::TestWithParam<TextCase> {};

// Every text comes back byte for byte, whatever it holds.
TEST_P(JsonText, IsWrittenAsExpectedAndReadBackWhole) {
    const TextCase& c = GetParam();
    const std::string line = JsonObject().text("t", c.bytes).line();
    EXPECT_EQ(line, "{\"t\":" + c.written + "}");
    const auto parsed = parseJson(line);
    ASSERT_TRUE(parsed);
    ASSERT_TRUE(parsed->member("t"));
    EXPECT_EQ(parsed->member("t")->bytes(), c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Table, JsonText,
    ::testing::Values(TextCase{"Plain", "/v/a b.avi", "\"/v/a b.avi\""},
                      TextCase{"QuoteAndBackslash", "a\"b\\c", "\"a\\\"b\\\\c\""},
                      TextCase{"ControlCharacters", std::string("a\nb\tc\x01\x7f", 8),
                               "\"a\\nb\\tc\\u0001\\u007f\\u0000\""},
                      TextCase{"Japanese", "動画/ｻﾝﾌﾟﾙ.mp4", "\"動画/ｻﾝﾌﾟﾙ.mp4\""},
                      // Shift-JIS bytes of a name made on another system: no UTF-8, so exact bytes.
                      TextCase{"NotUtf8", "/v/\x93\xae\x89\xe6.avi",
                               "{\"base64\":\"L3Yvk66J5i5hdmk=\"}"},
                      TextCase{"LoneContinuationByte", "\x80", "{\"base64\":\"gA==\"}"},
                      TextCase{"Overlong", "\xc0\xaf", "{\"base64\":\"wK8=\"}"},
                      TextCase{"Surrogate", "\xed\xa0\x80", "{\"base64\":\"7aCA\"}"},
                      TextCase{"CutShort", "\xe5\x8b", "{\"base64\":\"5Ys=\"}"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(JsonRead, EscapesOfOtherWritersAreUnderstood) {
    const auto v = parseJson(R"({"t":"\u00e9\ud83d\ude00\/"})");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->member("t")->bytes(), "é😀/");
}

TEST(JsonRead, MalformedTextIsRefused) {
    for (const char* bad :
         {"", "{", "{\"a\":}", "{\"a\":1,}", "{\"a\":\"\\ud800\"}", "{\"a\":\"x\"} trailing",
          "[1,2", "{\"a\":\"\x01\"}", "{\"a\":{\"base64\":\"!!!!\"}}"}) {
        const auto v = parseJson(bad);
        const bool refused = !v || !v->member("a") || !v->member("a")->bytes();
        EXPECT_TRUE(refused) << bad;
    }
}

TEST(PlanLine, RoundTripKeepsEveryByte) {
    qv::cli::PlanLine line;
    line.index = 7;
    line.job.source = "/v/\x93\xae.wmv";
    line.job.dest = "/out/\x93\xae.mp4";
    line.job.passes = {{"-i", "/v/\x93\xae.wmv", "-pass", "1", "-an", ""},
                       {"-i", "/v/\x93\xae.wmv", "-pass", "2", "/out/\x93\xae.mp4"}};
    line.job.stamp = timespec{1797003797, 556253251};
    line.makeFolder = "/out";
    std::string error;
    const auto back = qv::cli::parsePlanLine(qv::cli::planLineText(line), &error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(back->index, 7);
    EXPECT_EQ(back->job.source, line.job.source);
    EXPECT_EQ(back->job.dest, line.job.dest);
    EXPECT_EQ(back->job.passes, line.job.passes);
    ASSERT_TRUE(back->job.stamp);
    EXPECT_EQ(back->job.stamp->tv_sec, 1797003797);
    EXPECT_EQ(back->job.stamp->tv_nsec, 556253251);
    EXPECT_EQ(back->makeFolder, "/out");
    EXPECT_TRUE(back->job.refused.empty());
}

TEST(PlanLine, LinesThatAreNoJobsAreRefused) {
    for (const char* bad : {"", "not json", "{}", R"({"index":0,"source":"/a","result":"/b"})",
                            R"({"index":0,"source":"/a","result":"/b","passes":[]})",
                            R"({"index":0,"source":"","result":"/b","passes":[["-i"]]})",
                            R"({"index":0,"source":"/a","result":"/b","passes":[[1]]})",
                            R"({"index":0,"source":"/a","result":"/b","passes":["-i"]})"}) {
        std::string error;
        EXPECT_FALSE(qv::cli::parsePlanLine(bad, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

}  // namespace
