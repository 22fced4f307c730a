#include "settings/profile_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

namespace fs = std::filesystem;
using qv::ProfileFile;

namespace {

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const fs::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary);
    out << bytes;
}

// ---------------------------------------------------------------- reading

struct ReadCase {
    const char* name;
    std::string file;
    const char* section;
    const char* key;
    std::optional<std::string> expected;
};

void PrintTo(const ReadCase& c, std::ostream* os) { *os << c.name; }

class ProfileRead : public testing::TestWithParam<ReadCase> {};

TEST_P(ProfileRead, FindsTheValue) {
    const ReadCase& c = GetParam();
    EXPECT_EQ(ProfileFile(c.file).readString(c.section, c.key), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileRead,
    testing::Values(
        ReadCase{"NamesIgnoreCase", "[set]\r\nm_left=5\r\n", "SET", "M_LEFT", "5"},
        ReadCase{"BlanksAndTabsAroundNamesAndValues", "[ SET ]\r\n \tM_LEFT \t=\t 5 \t\r\n", "SET",
                 "M_LEFT", "5"},
        ReadCase{"BlankInsideValueKept", "[S]\r\nK= a  b \r\n", "S", "K", "a  b"},
        ReadCase{"DoubleQuotesDropped", "[S]\r\nK=\"  a b \"\r\n", "S", "K", "  a b "},
        ReadCase{"SingleQuotesDropped", "[S]\r\nK='x'\r\n", "S", "K", "x"},
        ReadCase{"OnlyOnePairDropped", "[S]\r\nK=\"\"x\"\"\r\n", "S", "K", "\"x\""},
        ReadCase{"UnmatchedQuotesKept", "[S]\r\nK=\"x'\r\n", "S", "K", "\"x'"},
        ReadCase{"LoneQuoteKept", "[S]\r\nK=\"\r\n", "S", "K", "\""},
        ReadCase{"EmptyQuotes", "[S]\r\nK=\"\"\r\n", "S", "K", ""},
        ReadCase{"EmptyValue", "[S]\r\nK=\r\n", "S", "K", ""},
        ReadCase{"KeyWithoutEquals", "[S]\r\nK\r\n", "S", "K", ""},
        ReadCase{"SemicolonLineIsComment", "[S]\r\n;K=1\r\nK=2\r\n", "S", "K", "2"},
        ReadCase{"IndentedSemicolonIsComment", "[S]\r\n  ;K=1\r\n", "S", "K", std::nullopt},
        ReadCase{"HashIsData", "[S]\r\n#K=1\r\n", "S", "#K", "1"},
        ReadCase{"HashInValueIsData", "[S]\r\nK=1 # one\r\n", "S", "K", "1 # one"},
        ReadCase{"SemicolonInValueIsData", "[S]\r\nK=1;2\r\n", "S", "K", "1;2"},
        ReadCase{"FirstKeyWins", "[S]\r\nK=1\r\nk=2\r\n", "S", "K", "1"},
        ReadCase{"SecondCopyOfSectionIgnored", "[A]\r\nX=1\r\n[B]\r\n[a]\r\nX=2\r\nY=3\r\n", "A",
                 "Y", std::nullopt},
        ReadCase{"FirstCopyOfSectionRead", "[A]\r\nX=1\r\n[B]\r\n[a]\r\nX=2\r\n", "A", "X", "1"},
        ReadCase{"KeyOfAnotherSection", "[A]\r\nX=1\r\n[B]\r\nY=2\r\n", "A", "Y", std::nullopt},
        ReadCase{"KeyBeforeAnySection", "X=1\r\n[A]\r\n", "A", "X", std::nullopt},
        ReadCase{"MissingSection", "[A]\r\nX=1\r\n", "B", "X", std::nullopt},
        ReadCase{"LineFeedsOnly", "[A]\nX=1\nY=2", "A", "Y", "2"},
        ReadCase{"CarriageReturnsOnly", "[A]\rX=1\rY=2\r", "A", "Y", "2"},
        ReadCase{"TextAfterSectionBracket", "[A] trailing\r\nX=1\r\n", "A", "X", "1"},
        ReadCase{"Cp932ValueDecoded", "[S]\r\nK=\x83\x65\x83\x58\x83\x67\r\n", "S", "K", "テスト"},
        // 0x5D (']') is the trail byte of the character: the bracket after it closes.
        ReadCase{"BracketAsTrailByte", "[\x83\x5d]\r\nK=1\r\n", "ゾ", "K", "1"},
        // 0x41 ('A') is the trail byte of one character and 0x61 ('a') of another.
        ReadCase{"TrailBytesNotFolded", "[S]\r\n\x83\x41=1\r\n", "S", "ヂ", std::nullopt},
        ReadCase{"DoubleByteNameMatches", "[S]\r\n\x83\x41=1\r\n", "S", "ア", "1"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(ProfileReadLimit, ValueCutAt2047Bytes) {
    const std::string longValue(3000, 'a');
    EXPECT_EQ(ProfileFile("[S]\r\nK=" + longValue + "\r\n").readString("S", "K"),
              std::string(2047, 'a'));
    // A double-byte character that would straddle the limit is left out whole.
    const std::string straddle = std::string(2046, 'a') + "\x82\xa0" + "tail";
    EXPECT_EQ(ProfileFile("[S]\r\nK=" + straddle + "\r\n").readString("S", "K"),
              std::string(2046, 'a'));
    const std::string fits = std::string(2045, 'a') + "\x82\xa0" + "tail";
    EXPECT_EQ(ProfileFile("[S]\r\nK=" + fits + "\r\n").readString("S", "K"),
              std::string(2045, 'a') + "あ");
}

// ---------------------------------------------------------------- integers

struct IntCase {
    const char* text;
    int expected;
};

void PrintTo(const IntCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class ProfileInt : public testing::TestWithParam<IntCase> {};

TEST_P(ProfileInt, Parses) {
    EXPECT_EQ(qv::parseProfileInt(GetParam().text, -77), GetParam().expected)
        << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileInt,
    testing::Values(IntCase{"16", 16}, IntCase{"  16", 16}, IntCase{"\t16", 16}, IntCase{"-5", -5},
                    IntCase{"+7", 7}, IntCase{"-1", -1}, IntCase{"0x10", 16}, IntCase{"0X1f", 31},
                    IntCase{"$10", 16}, IntCase{"x10", 16}, IntCase{"X1A", 26},
                    IntCase{"-0x10", -16}, IntCase{"0x", -77}, IntCase{"0xg", -77},
                    IntCase{"12abc", -77}, IntCase{"007", 7}, IntCase{"", -77}, IntCase{"   ", -77},
                    IntCase{"abc", -77}, IntCase{"-", -77}, IntCase{"$", -77}, IntCase{"x", -77},
                    IntCase{"- 5", -77}, IntCase{"1.5", -77}, IntCase{"16 ", 16},
                    IntCase{"2147483647", INT_MAX}, IntCase{"-2147483648", INT_MIN},
                    IntCase{"99999999999", -77}, IntCase{"-99999999999", -77},
                    IntCase{"0xFFFFFFFFFFFF", -77}));

TEST(ProfileIntKey, MissingEmptyAndNonNumberGiveTheDefault) {
    const ProfileFile f("[S]\r\nE=\r\nN=abc\r\nH=0x10\r\nQ=\"12\"\r\n");
    EXPECT_EQ(f.readInt("S", "Missing", 42), 42);
    EXPECT_EQ(f.readInt("Nowhere", "E", 42), 42);
    EXPECT_EQ(f.readInt("S", "E", 42), 42);
    EXPECT_EQ(f.readInt("S", "N", 42), 42);
    EXPECT_EQ(f.readInt("S", "H", 42), 16);
    EXPECT_EQ(f.readInt("S", "Q", 42), 12);
}

// ---------------------------------------------------------------- writing

struct WriteCase {
    const char* name;
    std::string before;
    const char* section;
    const char* key;
    std::string value;
    std::string after;
};

void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.name; }

class ProfileWrite : public testing::TestWithParam<WriteCase> {};

TEST_P(ProfileWrite, EditsInPlace) {
    const WriteCase& c = GetParam();
    ProfileFile f(c.before);
    f.writeString(c.section, c.key, c.value);
    EXPECT_EQ(f.bytes(), c.after);
    EXPECT_EQ(ProfileFile(f.bytes()).readString(c.section, c.key), c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProfileWrite,
    testing::Values(
        WriteCase{"EmptyFile", "", "SET", "M_LEFT", "20", "[SET]\r\nM_LEFT=20\r\n"},
        WriteCase{"FileCasingKept", "[set]\r\nm_left=5\r\n", "SET", "M_LEFT", "20",
                  "[set]\r\nm_left=20\r\n"},
        WriteCase{"BlanksAroundRewrittenLine", "[S]\r\n  K = 5  \r\nL=1\r\n", "S", "K", "6",
                  "[S]\r\nK=6\r\nL=1\r\n"},
        WriteCase{"UnchangedValueKeepsItsLine", "[S]\r\n  K = 5  \r\n", "S", "K", "5",
                  "[S]\r\n  K = 5  \r\n"},
        WriteCase{"NewKeyAfterLastKey", "[A]\r\nX=1\r\n\r\n; c\r\n[B]\r\nY=2\r\n", "A", "Z", "3",
                  "[A]\r\nX=1\r\nZ=3\r\n\r\n; c\r\n[B]\r\nY=2\r\n"},
        WriteCase{"NewKeyInSectionWithoutKeys", "[A]\r\n; only\r\n[B]\r\n", "A", "X", "1",
                  "[A]\r\nX=1\r\n; only\r\n[B]\r\n"},
        WriteCase{"NewSectionAtEnd", "[A]\r\nX=1\r\n; end\r\n", "B", "Y", "2",
                  "[A]\r\nX=1\r\n; end\r\n[B]\r\nY=2\r\n"},
        WriteCase{"NewSectionAfterLastLineWithoutBreak", "[A]\r\nX=1", "B", "Y", "2",
                  "[A]\r\nX=1\r\n[B]\r\nY=2\r\n"},
        WriteCase{"NewKeyAfterLastLineWithoutBreak", "[A]\r\nX=1", "A", "Y", "2",
                  "[A]\r\nX=1\r\nY=2\r\n"},
        WriteCase{"RewriteKeepsOtherLineEnds", "[A]\nX=1\nY=2\rZ=3", "A", "Y", "5",
                  "[A]\nX=1\nY=5\rZ=3"},
        WriteCase{"FirstCopyOfSectionWritten", "[A]\r\nX=1\r\n[a]\r\nX=2\r\n", "A", "X", "9",
                  "[A]\r\nX=9\r\n[a]\r\nX=2\r\n"},
        WriteCase{"NewKeyGoesIntoFirstCopy", "[A]\r\nX=1\r\n[a]\r\nX=2\r\n", "A", "Y", "9",
                  "[A]\r\nX=1\r\nY=9\r\n[a]\r\nX=2\r\n"},
        WriteCase{"FirstDuplicateKeyWritten", "[A]\r\nX=1\r\nX=2\r\n", "A", "x", "9",
                  "[A]\r\nX=9\r\nX=2\r\n"},
        WriteCase{"CommentedKeyNotWritten", "[A]\r\n;X=1\r\n", "A", "X", "9",
                  "[A]\r\nX=9\r\n;X=1\r\n"},
        WriteCase{"KeyBeforeAnySectionUntouched", "X=1\r\n", "A", "X", "9",
                  "X=1\r\n[A]\r\nX=9\r\n"},
        WriteCase{"BlanksAtEndsQuoted", "", "A", "X", " a ", "[A]\r\nX=\" a \"\r\n"},
        WriteCase{"QuotedLookingValueQuoted", "", "A", "X", "'q'", "[A]\r\nX=\"'q'\"\r\n"},
        WriteCase{"EmptyValue", "[A]\r\nX=1\r\n", "A", "X", "", "[A]\r\nX=\r\n"},
        WriteCase{"Cp932OnDisk", "", "A", "X", "テスト", "[A]\r\nX=\x83\x65\x83\x58\x83\x67\r\n"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(ProfileWriteSafety, LineBreaksInValueCannotAddLines) {
    ProfileFile f("[A]\r\nX=1\r\n");
    f.writeString("A", "X", "a\r\n[B]\nY=2");
    EXPECT_EQ(f.bytes(), "[A]\r\nX=a  [B] Y=2\r\n");
    EXPECT_FALSE(ProfileFile(f.bytes()).readString("B", "Y").has_value());
}

TEST(ProfileWriteSafety, ValueWithoutCp932FormIsKeptWholeAsMarkedUtf8) {
    ProfileFile f;
    f.writeString("A", "X", "caf\u00e9 テ");
    EXPECT_EQ(f.bytes(),
              "[A]\r\nX=\xEF\xBB\xBF"
              "caf\u00e9 テ\r\n");
    f.writeString("A", "Y", "テ");  // what code page 932 holds stays code page 932
    EXPECT_EQ(f.bytes(),
              "[A]\r\nX=\xEF\xBB\xBF"
              "caf\u00e9 テ\r\nY=\x83\x65\r\n");
}

// What is read and written back unchanged keeps its bytes, even those that are no
// code page 932 and read as U+FFFD; a changed text is written as usual.
TEST(ProfileWriteSafety, TextWrittenBackAsReadKeepsItsBytes) {
    for (const std::string& raw :
         {std::string("D:\\\x81\x20movies\xff"), std::string("\xa0\xfd\x80"),
          std::string("\xEF\xBB\xBF\xff\x82"), std::string("\"  x\"")}) {
        const std::string file = "[SET1]\r\nC1_03=" + raw + "\r\n";
        ProfileFile f(file);
        const std::string text = f.readString("SET1", "C1_03", "");
        f.writeString("SET1", "C1_03", text);
        EXPECT_EQ(f.bytes(), file) << text;
        f.writeString("SET1", "C1_03", text + "x");
        EXPECT_NE(f.bytes(), file) << text;
        EXPECT_EQ(ProfileFile(f.bytes()).readString("SET1", "C1_03", ""), text + "x");
    }
}

TEST(ProfileWriteOrder, FromScratchKeepsWriteOrder) {
    ProfileFile f;
    f.writeInt("SET", "M_LEFT", 20);
    f.writeInt("SET", "M_TOP", 20);
    f.writeString("SET1", "C1_03", "/tmp/x");
    f.writeInt("SET1", "C1_02", -1);
    f.writeInt("SET2", "C2_00", -1);
    EXPECT_EQ(f.bytes(),
              "[SET]\r\nM_LEFT=20\r\nM_TOP=20\r\n[SET1]\r\nC1_03=/tmp/"
              "x\r\nC1_02=-1\r\n[SET2]\r\nC2_00=-1\r\n");
}

TEST(ProfileWriteOrder, UnreadBytesSurviveEveryWrite) {
    // A hand-edited file: comments, an unknown section, odd spacing, bytes that
    // are not valid code page 932, a duplicate section and no final break.
    const std::string before =
        "; my settings\r\n[Other]\r\nfoo = \"bar\"\r\n\r\n[SET]\r\nM_LEFT = 5\r\n# note\r\n"
        "junk \xff\xfe\x81\r\n[SET]\r\nM_TOP=99\r\n[Tail]\r\nz=\x82";
    ProfileFile f(before);
    f.writeInt("SET", "M_LEFT", 5);
    f.writeInt("SET", "M_TOP", 7);
    f.writeInt("SET2", "C2_01", 3);
    EXPECT_EQ(f.bytes(),
              "; my settings\r\n[Other]\r\nfoo = \"bar\"\r\n\r\n[SET]\r\nM_LEFT = 5\r\n# note\r\n"
              "junk "
              "\xff\xfe\x81\r\nM_TOP=7\r\n[SET]\r\nM_TOP=99\r\n[Tail]\r\nz=\x82\r\n[SET2]\r\nC2_01="
              "3\r\n");
}

struct RoundTripCase {
    const char* name;
    std::string value;
};

void PrintTo(const RoundTripCase& c, std::ostream* os) { *os << c.name; }

class ProfileRoundTrip : public testing::TestWithParam<RoundTripCase> {};

TEST_P(ProfileRoundTrip, ReadsBackWhatWasWritten) {
    ProfileFile f("[SET1]\r\nC1_03=old\r\n");
    f.writeString("SET1", "C1_03", GetParam().value);
    f.writeString("SET1", "Other", GetParam().value);
    const ProfileFile g(f.bytes());
    EXPECT_EQ(g.readString("SET1", "C1_03"), GetParam().value);
    EXPECT_EQ(g.readString("set1", "other"), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ProfileRoundTrip,
    testing::Values(RoundTripCase{"Plain", "/home/user/Videos"},
                    RoundTripCase{"Japanese", "/ビデオ/ﾌｫﾙﾀﾞ/変換"},
                    RoundTripCase{"NoCp932Form", "/home/u/Vid\u00e9os/\u00fc"},
                    RoundTripCase{"BlanksAtEnds", "  spaced  "},
                    RoundTripCase{"DoubleQuoted", "\"x\""}, RoundTripCase{"SingleQuoted", "'x'"},
                    RoundTripCase{"OneQuote", "\""}, RoundTripCase{"Equals", "a=b=c"},
                    RoundTripCase{"Brackets", "[SET2]"}, RoundTripCase{"Semicolon", ";x"},
                    RoundTripCase{"Empty", ""}, RoundTripCase{"Backslash", "C:\\My Documents\\"}),
    [](const auto& test) { return std::string(test.param.name); });

// ---------------------------------------------------------------- files

class ProfileDisk : public testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("qv_profile_" + std::to_string(::getpid()) + "_" +
                testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    int entries() const {
        return static_cast<int>(std::distance(fs::directory_iterator(dir_), {}));
    }
    fs::path dir_;
};

TEST_F(ProfileDisk, MissingFileIsEmpty) {
    const ProfileFile f = ProfileFile::load((dir_ / "none.ini").string());
    EXPECT_EQ(f.status(), qv::FileStatus::Missing);
    EXPECT_EQ(f.bytes(), "");
}

TEST_F(ProfileDisk, FolderAtThePathIsAnError) {
    fs::create_directory(dir_ / "a.ini");
    EXPECT_EQ(ProfileFile::load((dir_ / "a.ini").string()).status(), qv::FileStatus::Error);
}

TEST_F(ProfileDisk, SaveReplacesTheFileAndLeavesNothingElse) {
    const fs::path p = dir_ / "a.ini";
    writeFile(p, "[S]\nK=1\n");
    ::chmod(p.c_str(), 0640);
    ProfileFile f = ProfileFile::load(p.string());
    ASSERT_EQ(f.status(), qv::FileStatus::Ok);
    f.writeInt("S", "K", 2);
    const qv::FileResult saved = f.save(p.string());
    ASSERT_TRUE(saved) << saved.message;
    EXPECT_EQ(readFile(p), "[S]\nK=2\n");
    EXPECT_EQ(entries(), 1);
    EXPECT_EQ(fs::status(p).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(ProfileDisk, SaveThroughLinkReplacesTheTarget) {
    const fs::path target = dir_ / "real.ini";
    const fs::path link = dir_ / "link.ini";
    writeFile(target, "[S]\r\nK=1\r\n");
    fs::create_symlink(target, link);
    ProfileFile f = ProfileFile::load(link.string());
    f.writeInt("S", "K", 3);
    ASSERT_TRUE(f.save(link.string()));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(readFile(target), "[S]\r\nK=3\r\n");
}

TEST_F(ProfileDisk, FailedSaveKeepsWhatStandsThere) {
    const fs::path p = dir_ / "a.ini";
    fs::create_directory(p);
    writeFile(p / "inside", "keep");
    ProfileFile f;
    f.writeInt("S", "K", 1);
    const qv::FileResult saved = f.save(p.string());
    EXPECT_FALSE(saved);
    EXPECT_FALSE(saved.message.empty());
    EXPECT_TRUE(fs::is_directory(p));
    EXPECT_EQ(readFile(p / "inside"), "keep");
    EXPECT_EQ(entries(), 1);  // no temporary file left behind
}

TEST_F(ProfileDisk, ReadOnlyFileIsNotReplaced) {
    // Write permission is checked by its bits, which hold for root as well.
    const fs::path p = dir_ / "a.ini";
    writeFile(p, "[S]\r\nK=0\r\n");
    fs::permissions(p, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    ProfileFile f = ProfileFile::load(p.string());
    f.writeInt("S", "K", 1);
    const qv::FileResult saved = f.save(p.string());
    EXPECT_FALSE(saved);
    EXPECT_FALSE(saved.message.empty());
    EXPECT_EQ(readFile(p), "[S]\r\nK=0\r\n");
    EXPECT_EQ(entries(), 1);
}

TEST_F(ProfileDisk, SaveIntoMissingFolderFails) {
    ProfileFile f;
    f.writeInt("S", "K", 1);
    EXPECT_FALSE(f.save((dir_ / "no" / "a.ini").string()));
    EXPECT_EQ(entries(), 0);
}

}  // namespace
