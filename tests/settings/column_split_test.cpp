#include "settings/column_split.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Columns = std::vector<std::string>;

struct SplitCase {
    const char* name;
    std::string row;
    Columns expected;
};

class ColumnSplit : public ::testing::TestWithParam<SplitCase> {};

TEST_P(ColumnSplit, DividesRowAsTheRuleStates) {
    EXPECT_EQ(qv::splitColumns(GetParam().row), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ColumnSplit,
    ::testing::Values(
        SplitCase{"Empty", "", {}}, SplitCase{"OnlyBlanks", " \t\r\n ", {}},
        SplitCase{"ValueOnly", "MPEG4", {"MPEG4"}},
        SplitCase{"ValueAndLabel", "1,VBR(最高品質)", {"1", "VBR(最高品質)"}},
        SplitCase{"HalfWidthKana", "2,ｽﾃﾚｵ", {"2", "ｽﾃﾚｵ"}},
        SplitCase{"LeadingBlanksSkipped", "  \t768kbps,CBR", {"768kbps", "CBR"}},
        SplitCase{"BlankInsideRunEndsColumn", "a b,c", {"a", "b", "c"}},
        SplitCase{"ControlCharEndsColumn",
                  "a\x01"
                  "b",
                  {"a", "b"}},
        SplitCase{"BlanksAroundComma", "a ,  b", {"a", "b"}},
        SplitCase{"CommaAtStart", ",a", {"", "a"}}, SplitCase{"CommaAtEnd", "a,", {"a", ""}},
        // Only a comma that is the very last character adds an empty column.
        SplitCase{"CommaThenBlankAtEnd", "a, ", {"a"}},
        SplitCase{"TwoCommas", "a,,b", {"a", "", "b"}}, SplitCase{"OnlyComma", ",", {"", ""}},
        SplitCase{"OnlyTwoCommas", ",,", {"", "", ""}},
        SplitCase{"QuotedKeepsBlanksAndCommas", "\"a b,c\",d", {"a b,c", "d"}},
        SplitCase{"DoubledQuoteIsOne", "\"say \"\"hi\"\"\",x", {"say \"hi\"", "x"}},
        SplitCase{"EmptyQuoted", "\"\",x", {"", "x"}},
        SplitCase{"QuotedThenTextWithoutComma", "\"ab\"cd", {"ab", "cd"}},
        SplitCase{"QuoteInsideRunIsPlain", "ab\"cd,e", {"ab\"cd", "e"}},
        SplitCase{"UnclosedQuoteTakesRest", "x,\"abc", {"x", "abc"}},
        SplitCase{"UnclosedQuoteAfterDoubled", "\"a\"\"", {"a\""}},
        SplitCase{"LoneQuote", "\"", {""}}, SplitCase{"QuotedAtEndWithComma", "\"a\",", {"a", ""}},
        SplitCase{"DelIsNotABlank",
                  "a\x7f"
                  "b",
                  {"a\x7f"
                   "b"}}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(ColumnOf, ReadsColumnOrEmpty) {
    EXPECT_EQ(qv::columnOf("768kbps,CBR", 0), "768kbps");
    EXPECT_EQ(qv::columnOf("768kbps,CBR", 1), "CBR");
    EXPECT_EQ(qv::columnOf("MPEG4", 1), "");
    EXPECT_EQ(qv::columnOf("", 0), "");
    EXPECT_EQ(qv::columnOf("a,b", -1), "");
}

}  // namespace
