#include "settings/preset_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "base/cp932.h"
#include "settings/catalogues.h"
#include "settings/column_split.h"
#include "settings/conversion_settings.h"
#include "settings/preset_match.h"

namespace fs = std::filesystem;
using qv::CatalogueId;

namespace {

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// ---------------------------------------------------------------- lines

struct SplitCase {
    const char* name;
    std::string bytes;
    std::vector<std::string> lines;
    bool endsWithBreak;
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.name; }

class PresetSplit : public testing::TestWithParam<SplitCase> {};

TEST_P(PresetSplit, LinesAndFinalBreak) {
    const qv::PresetFile f = qv::parsePresetFile(GetParam().bytes);
    EXPECT_EQ(f.lines, GetParam().lines);
    EXPECT_EQ(f.endsWithBreak, GetParam().endsWithBreak);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PresetSplit,
    testing::Values(SplitCase{"Empty", "", {}, false},
                    SplitCase{"OneLineNoBreak", "a", {"a"}, false},
                    SplitCase{"FinalBreakStartsNoLine", "a\r\n", {"a"}, true},
                    SplitCase{"NoFinalBreak", "a\r\nb", {"a", "b"}, false},
                    SplitCase{"EmptyLineInside", "a\n\nb\n", {"a", "", "b"}, true},
                    SplitCase{"LoneCarriageReturns", "a\rb\r", {"a", "b"}, true},
                    SplitCase{"OnlyABreak", "\r\n", {""}, true},
                    SplitCase{"TwoBreaks", "\r\n\r\n", {"", ""}, true},
                    SplitCase{"CrBeforeCrLf", "a\r\r\nb", {"a", "", "b"}, false},
                    SplitCase{"LfThenCr", "a\n\r", {"a", ""}, true},
                    SplitCase{
                        "NulKept", std::string("a\0b\r\n", 5), {std::string("a\0b", 3)}, true}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(PresetBytes, WrittenWithCrLfAndTheSameFinalBreak) {
    EXPECT_EQ(qv::presetFileBytes({"a", "", "b"}, true), "a\r\n\r\nb\r\n");
    EXPECT_EQ(qv::presetFileBytes({"a", "", "b"}, false), "a\r\n\r\nb");
    EXPECT_EQ(qv::presetFileBytes({"new"}, false), "new");
    EXPECT_EQ(qv::presetFileBytes({}, false), "");
    // What saving does: the lines read, then the new one.
    qv::PresetFile f = qv::parsePresetFile("x\ny\rz");
    f.lines.push_back("new");
    EXPECT_EQ(qv::presetFileBytes(f.lines, f.endsWithBreak), "x\r\ny\r\nz\r\nnew");
}

TEST(PresetLineText, LongLineCutForTheRowButKeptWhole) {
    const std::string longLine(5000, 'a');
    const qv::PresetFile f = qv::parsePresetFile(longLine + "\r\nb\r\n");
    ASSERT_EQ(f.lines.size(), 2u);
    EXPECT_EQ(f.lines[0], longLine);
    EXPECT_EQ(qv::presetRowText(f.lines[0]), std::string(4096, 'a'));
    // A double-byte character across the limit is left out whole.
    EXPECT_EQ(qv::presetRowText(std::string(4095, 'a') + "\x82\xa0z"), std::string(4095, 'a'));
    EXPECT_EQ(qv::presetRowText(std::string(4094, 'a') + "\x82\xa0z"),
              std::string(4094, 'a') + "あ");
}

TEST(PresetLineText, DecodesCp932) {
    EXPECT_EQ(qv::presetRowText("\x8e\xe8\x93\xae,MP4"), "手動,MP4");
    EXPECT_EQ(qv::presetRowText("ok\xff"), "ok\xEF\xBF\xBD");
}

class PresetDisk : public testing::Test {
  protected:
    void SetUp() override {
        std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '_');  // the name of a case of a table
        dir_ = fs::temp_directory_path() / ("qv_preset_" + std::to_string(::getpid()) + "_" + name);
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

TEST_F(PresetDisk, MissingOrFolderCannotBeRead) {
    qv::PresetFile f;
    const qv::FileResult missing = qv::readPresetFile((dir_ / "profile.txt").string(), f);
    EXPECT_EQ(missing.status, qv::FileStatus::Missing);
    EXPECT_FALSE(missing.message.empty());
    fs::create_directory(dir_ / "profile.txt");
    EXPECT_FALSE(qv::readPresetFile((dir_ / "profile.txt").string(), f));
}

TEST_F(PresetDisk, InvalidBytesWrittenBackUnchanged) {
    const fs::path p = dir_ / "profile.txt";
    const std::string raw = std::string("bad\x81\xff\x00,MP4", 10);
    {
        std::ofstream out(p, std::ios::binary);
        out << raw << "\n"
            << "ok";
    }
    qv::PresetFile f;
    ASSERT_TRUE(qv::readPresetFile(p.string(), f));
    f.lines.push_back("new");
    ASSERT_TRUE(qv::writePresetFile(p.string(), f.lines, f.endsWithBreak));
    EXPECT_EQ(readFile(p), raw + "\r\nok\r\nnew");
}

TEST_F(PresetDisk, FailedWriteKeepsTheFolderThere) {
    const fs::path p = dir_ / "profile.txt";
    fs::create_directory(p);
    EXPECT_FALSE(qv::writePresetFile(p.string(), {"a"}, true));
    EXPECT_TRUE(fs::is_directory(p));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), {}), 1);
}

// Saving adds the line to the file as it is now: its bytes stay, line breaks of
// every kind included, and its final line break is kept as it was.
struct AppendCase {
    const char* name;
    std::optional<std::string> onDisk;  // nullopt: the file has gone
    std::string after;
};

void PrintTo(const AppendCase& c, std::ostream* os) { *os << c.name; }

class PresetAppend : public PresetDisk, public testing::WithParamInterface<AppendCase> {};

TEST_P(PresetAppend, NewLineAfterWhatIsThereNow) {
    const AppendCase& c = GetParam();
    const fs::path p = dir_ / "profile.txt";
    if (c.onDisk) std::ofstream(p, std::ios::binary) << *c.onDisk;
    const qv::PresetFile known{{"known"}, true};  // what was read at start
    qv::PresetFile now;
    ASSERT_TRUE(qv::appendPresetLine(p.string(), known, "N,AVI", now));
    EXPECT_EQ(readFile(p), c.after);
    const qv::PresetFile reread = qv::parsePresetFile(c.after);
    EXPECT_EQ(now.lines, reread.lines);
    EXPECT_EQ(now.endsWithBreak, reread.endsWithBreak);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PresetAppend,
    testing::Values(AppendCase{"EndingWithBreak", "known\r\nother\r\n",
                               "known\r\nother\r\nN,AVI\r\n"},
                    AppendCase{"EndingWithoutBreak", "known\nother", "known\nother\r\nN,AVI"},
                    AppendCase{"OtherBreaksKept", "a\rb\n\nc\r", "a\rb\n\nc\rN,AVI\r\n"},
                    AppendCase{"BytesOfOtherLinesKept", std::string("x\x81\xff\0y\r\n", 7),
                               std::string("x\x81\xff\0y\r\nN,AVI\r\n", 14)},
                    AppendCase{"Empty", "", "N,AVI"},
                    AppendCase{"GoneWrittenFromWhatWasRead", std::nullopt, "known\r\nN,AVI\r\n"}),
    [](const auto& test) { return std::string(test.param.name); });

// ---------------------------------------------------------------- matching

struct MatchCase {
    const char* name;
    CatalogueId id;
    std::string text;
    int row;
};

void PrintTo(const MatchCase& c, std::ostream* os) { *os << c.name; }

class PresetMatch : public testing::TestWithParam<MatchCase> {};

TEST_P(PresetMatch, SelectsRow) {
    EXPECT_EQ(qv::presetRowFor(qv::catalogue(GetParam().id), GetParam().text), GetParam().row);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PresetMatch,
    testing::Values(MatchCase{"SizeFirstOfTwoEqualValues", CatalogueId::C2_02, "852x480", 16},
                    MatchCase{"LabelContainedInEarlierRow", CatalogueId::C2_02, "QVGA", 5},
                    MatchCase{"LabelOfLaterRow", CatalogueId::C2_02, "HD480", 27},
                    MatchCase{"PartOfASize", CatalogueId::C2_02, "x1080", 29},
                    MatchCase{"ShortAudioRate", CatalogueId::C3_02, "24kbps", 3},
                    MatchCase{"LongAudioRate", CatalogueId::C3_02, "224kbps", 16},
                    MatchCase{"Container", CatalogueId::C2_01, "MP4", 4},
                    MatchCase{"KeepSource", CatalogueId::C2_01, "自動", 0},
                    MatchCase{"VbrQuality5", CatalogueId::C2_05, "5", 21},
                    MatchCase{"VbrQuality1", CatalogueId::C2_05, "1", 19},
                    MatchCase{"VbrQuality25", CatalogueId::C2_05, "25", 31},
                    MatchCase{"ConstantRate", CatalogueId::C2_05, "256kbps", 8},
                    MatchCase{"RateByLabel", CatalogueId::C2_05, "VBR", 19},
                    MatchCase{"CodecWithoutLabel", CatalogueId::C2_04, "MPEG4", 17},
                    MatchCase{"CodecByLabel", CatalogueId::C2_04, "H.264", 11},
                    MatchCase{"AudioCodecByLabel", CatalogueId::C3_01, "AAC", 1},
                    MatchCase{"Channels", CatalogueId::C3_04, "2", 2},
                    MatchCase{"ValueAndLabel", CatalogueId::C3_03, "44100Hz,CD音質", 8},
                    MatchCase{"Empty", CatalogueId::C2_01, "", -1},
                    MatchCase{"BracketedHeading", CatalogueId::C2_01, "[形式]", -1},
                    MatchCase{"Unknown", CatalogueId::C3_01, "SPEEX", -1},
                    MatchCase{"MatroskaByValue", CatalogueId::C2_01, "MKV", 13},
                    MatchCase{"WebmByLabel", CatalogueId::C2_01, "WebM", 14},
                    MatchCase{"Hevc", CatalogueId::C2_04, "LIBX265", 34},
                    MatchCase{"Vp9ByLabel", CatalogueId::C2_04, "VP9", 35},
                    MatchCase{"Av1ByLabel", CatalogueId::C2_04, "AV1", 36},
                    MatchCase{"OpusByLabel", CatalogueId::C3_01, "Opus", 52},
                    MatchCase{"CaseMatters", CatalogueId::C2_01, "mp4", -1}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(PresetMatchEveryRow, SavedValueSelectsARowOfTheSameValue) {
    for (const qv::ControlEntry& control : qv::kControls) {
        if (!control.catalogue || control.role == qv::ControlRole::DestinationMode) continue;
        const auto rows = qv::catalogue(*control.catalogue);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const std::string value = qv::columnOf(rows[i], 0);
            const int got = qv::presetRowFor(rows, value);
            ASSERT_GE(got, 0) << rows[i];
            EXPECT_EQ(qv::columnOf(rows[static_cast<std::size_t>(got)], 0), value) << rows[i];
            EXPECT_LE(got, static_cast<int>(i)) << rows[i];
        }
    }
}

// Rows appended to a catalogue take no match away from an older row: the old rows'
// texts, columns and some parts of them select the row they selected when the
// catalogue ended at its old length.
TEST(PresetMatchAppendedRows, OldTextsSelectTheirOldRows) {
    struct Grown {
        CatalogueId id;
        std::size_t oldRows;
    };
    const Grown grown[] = {
        {CatalogueId::C2_01, 13}, {CatalogueId::C2_04, 34}, {CatalogueId::C3_01, 52}};
    for (const Grown& g : grown) {
        const auto rows = qv::catalogue(g.id);
        ASSERT_GT(rows.size(), g.oldRows);
        const auto oldRows = rows.first(g.oldRows);
        std::vector<std::string> texts;
        for (std::string_view r : oldRows) {
            texts.emplace_back(r);
            for (const std::string& column : qv::splitColumns(r)) texts.push_back(column);
        }
        for (const char* t : {"H.264", "MPEG4", "AAC", "MP3", "Ogg", "Video", "LIB", "V", "4"})
            texts.emplace_back(t);
        for (const std::string& t : texts)
            EXPECT_EQ(qv::presetRowFor(rows, t), qv::presetRowFor(oldRows, t)) << t;
    }
}

// The presets shipped with the program: each names catalogue values exactly,
// so that applying one selects the rows it was written for.
TEST(ShippedPresets, EveryLineApplies) {
    // The source tree from the environment, else from where this file stands.
    const char* source = std::getenv("QV_SOURCE_DIR");
    const fs::path root =
        source ? fs::path(source) : fs::path(__FILE__).parent_path().parent_path().parent_path();
    const fs::path p = root / "dist" / "profile.txt";
    const std::string bytes = readFile(p);
    ASSERT_FALSE(bytes.empty()) << p;
    const qv::PresetFile f = qv::parsePresetFile(bytes);
    EXPECT_EQ(qv::presetFileBytes(f.lines, f.endsWithBreak), bytes) << "CR LF line ends only";
    const std::array<CatalogueId, 9> drives{
        CatalogueId::C2_01, CatalogueId::C2_02, CatalogueId::C2_04,
        CatalogueId::C2_06, CatalogueId::C2_05, CatalogueId::C3_04,
        CatalogueId::C3_01, CatalogueId::C3_03, CatalogueId::C3_02};
    ASSERT_GE(f.lines.size(), 5u);
    for (const std::string& line : f.lines) {
        const qv::Cp932Decoded decoded = qv::decodeCp932(line);
        ASSERT_EQ(decoded.utf8.find("\xEF\xBF\xBD"), std::string::npos)
            << line;  // every byte decoded
        const auto columns = qv::splitColumns(decoded.utf8);
        ASSERT_EQ(columns.size(), 10u) << decoded.utf8;
        EXPECT_FALSE(columns[0].empty());
        for (std::size_t k = 0; k < drives.size(); ++k) {
            const auto rows = qv::catalogue(drives[k]);
            const int row = qv::presetRowFor(rows, columns[k + 1]);
            ASSERT_GE(row, 0) << decoded.utf8 << " column " << k + 1;
            EXPECT_EQ(qv::columnOf(rows[static_cast<std::size_t>(row)], 0), columns[k + 1])
                << decoded.utf8;
        }
    }
}

}  // namespace
