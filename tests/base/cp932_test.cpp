#include "base/cp932.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD";  // U+FFFD: a byte that could not be decoded

// Characters that both directions must agree on, as Windows code page 932 maps them.
struct RoundTripCase {
    const char* name;
    std::string utf8;
    std::string cp932;
};

class Cp932RoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(Cp932RoundTrip, EncodesAndDecodes) {
    const auto& c = GetParam();
    auto encoded = qv::encodeCp932(c.utf8);
    ASSERT_TRUE(encoded.has_value());
    EXPECT_EQ(*encoded, c.cp932);
    auto decoded = qv::decodeCp932(c.cp932);
    EXPECT_EQ(decoded.utf8.find(kReplacement), std::string::npos);
    EXPECT_EQ(decoded.utf8, c.utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Cp932RoundTrip,
    ::testing::Values(
        RoundTripCase{"Empty", "", ""}, RoundTripCase{"Ascii", "C4_01_1=12", "C4_01_1=12"},
        RoundTripCase{"BackslashStaysBackslash", "D:\\Out\\", "D:\\Out\\"},
        RoundTripCase{"TildeStaysTilde", "~", "~"},
        RoundTripCase{"HalfWidthKatakanaStayHalfWidth", "ｽﾃﾚｵ", "\xBD\xC3\xDA\xB5"},
        RoundTripCase{"HalfWidthRangeEnds", "\xEF\xBD\xA1\xEF\xBE\x9F",
                      "\xA1\xDF"},  // U+FF61 U+FF9F
        RoundTripCase{"Kanji", "手動", "\x8E\xE8\x93\xAE"},
        RoundTripCase{"FullWidthTilde", "\xEF\xBD\x9E", "\x81\x60"},  // U+FF5E
        RoundTripCase{"FullWidthMinus", "\xEF\xBC\x8D", "\x81\x7C"},  // U+FF0D
        RoundTripCase{"FullWidthNot", "\xEF\xBF\xA2", "\x81\xCA"},    // U+FFE2
        RoundTripCase{"ParallelTo", "\xE2\x88\xA5", "\x81\x61"},      // U+2225
        RoundTripCase{"NecExtension", "\xE2\x91\xA0", "\x87\x40"},    // U+2460 circled one
        RoundTripCase{"IbmExtension", "\xE2\x85\xB0", "\xFA\x40"},    // U+2170 small roman one
        RoundTripCase{"NulInside", std::string("a\0b", 3), std::string("a\0b", 3)}),
    [](const auto& test) { return std::string(test.param.name); });

// Characters that have a CP932 form only by the Windows best-fit table.
TEST(Cp932Encode, BestFitCharactersAsWindows) {
    EXPECT_EQ(qv::encodeCp932("\xC2\xAC"), std::string("\x81\xCA"));      // U+00AC not sign
    EXPECT_EQ(qv::encodeCp932("\xE3\x80\x9C"), std::string("\x81\x60"));  // U+301C wave dash
    EXPECT_EQ(qv::encodeCp932("\xE2\x88\x92"), std::string("\x81\x7C"));  // U+2212 minus
}

struct NoFormCase {
    const char* name;
    std::string utf8;
};

class Cp932NoForm : public ::testing::TestWithParam<NoFormCase> {};

TEST_P(Cp932NoForm, GivesNothing) { EXPECT_FALSE(qv::encodeCp932(GetParam().utf8).has_value()); }

INSTANTIATE_TEST_SUITE_P(Table, Cp932NoForm,
                         ::testing::Values(NoFormCase{"Emoji", "a\xF0\x9F\x98\x80"},
                                           NoFormCase{"Hangul", "\xED\x95\x9C"},
                                           NoFormCase{"EuroSign", "\xE2\x82\xAC"},
                                           NoFormCase{"BrokenUtf8",
                                                      "a\xFF"
                                                      "b"},
                                           NoFormCase{"TruncatedUtf8", "a\xE6\x89"}),
                         [](const auto& test) { return std::string(test.param.name); });

struct BadBytesCase {
    const char* name;
    std::string bytes;
    std::string utf8;
};

class Cp932BadBytes : public ::testing::TestWithParam<BadBytesCase> {};

TEST_P(Cp932BadBytes, BecomeReplacementCharacters) {
    auto decoded = qv::decodeCp932(GetParam().bytes);
    EXPECT_NE(decoded.utf8.find(kReplacement), std::string::npos);
    EXPECT_EQ(decoded.utf8, GetParam().utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Cp932BadBytes,
    ::testing::Values(
        BadBytesCase{"StrayByte",
                     "a\x80"
                     "b",
                     "a\xEF\xBF\xBD"
                     "b"},
        BadBytesCase{"LeadByteAtEnd", "ab\x81", "ab\xEF\xBF\xBD"},
        BadBytesCase{"LeadByteBeforeBlank", "\x81 x", "\xEF\xBF\xBD x"},
        BadBytesCase{"UnassignedPairIsOneCharacter",
                     "a\x85\x40"
                     "b",
                     "a\xEF\xBF\xBD"
                     "b"},
        BadBytesCase{"SeveralBadBytes", "\xFD\xFE\xFF", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        BadBytesCase{"GoodTextAfterBadByteSurvives", "\xA0\x8E\xE8\x93\xAE", "\xEF\xBF\xBD手動"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(Cp932Decode, LongTextIsWhole) {
    std::string bytes;
    std::string utf8;
    for (int i = 0; i < 5000; ++i) {
        bytes += "\x8E\xE8\xB1";
        utf8 += "手ｱ";
    }
    auto decoded = qv::decodeCp932(bytes);
    EXPECT_EQ(decoded.utf8.find(kReplacement), std::string::npos);
    EXPECT_EQ(decoded.utf8, utf8);
    EXPECT_EQ(qv::encodeCp932(utf8), bytes);
}

struct LengthCase {
    unsigned lead;
    int length;
};

class Cp932CharLength : public ::testing::TestWithParam<LengthCase> {};

TEST_P(Cp932CharLength, OfLeadByte) {
    EXPECT_EQ(qv::cp932CharLength(static_cast<unsigned char>(GetParam().lead)), GetParam().length);
}

INSTANTIATE_TEST_SUITE_P(Table, Cp932CharLength,
                         ::testing::Values(LengthCase{0x00, 1}, LengthCase{0x5C, 1},
                                           LengthCase{0x7F, 1}, LengthCase{0x80, 1},
                                           LengthCase{0x81, 2}, LengthCase{0x9F, 2},
                                           LengthCase{0xA0, 1}, LengthCase{0xA1, 1},
                                           LengthCase{0xDF, 1}, LengthCase{0xE0, 2},
                                           LengthCase{0xFC, 2}, LengthCase{0xFD, 1},
                                           LengthCase{0xFF, 1}));

}  // namespace
