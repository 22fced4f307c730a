#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/catalogues.h"
#include "settings/preset_match.h"
#include "settings/settings_file.h"
#include "support/catalogue_row.h"

namespace {

using qv::CatalogueId;
using qvtest::rowOf;

qv::ConversionSettings read(const std::string& ini, const std::string& startFolder = "/home/u/Doc",
                            int presetRows = 3) {
    return qv::settingsFromFile(qv::ProfileFile(ini), qv::startSettings(startFolder), "/opt/qv",
                                presetRows);
}

TEST(SettingsReading, MissingKeysKeepTheStart) {
    const qv::ConversionSettings s = read("");
    EXPECT_EQ(s.C1_03, "/home/u/Doc");
    EXPECT_EQ(s.C1_02, -1);
    EXPECT_EQ(s.C2_01, -1);
    EXPECT_EQ(s.C2_07_1, 0);
    EXPECT_FALSE(s.CheckBox1);
}

struct ReadCase {
    const char* name;
    const char* ini;
    int qv::ConversionSettings::*field;
    int expected;
};

class SettingsValue : public ::testing::TestWithParam<ReadCase> {};

// What a control would hold after the value is put into it.
TEST_P(SettingsValue, IsHeldAsTheControlHoldsIt) {
    const ReadCase& c = GetParam();
    EXPECT_EQ(read(c.ini).*c.field, c.expected);
}

using S = qv::ConversionSettings;
INSTANTIATE_TEST_SUITE_P(
    Table, SettingsValue,
    ::testing::Values(ReadCase{"RowRead", "[SET2]\nC2_02=3\n", &S::C2_02, 3},
                      ReadCase{"RowPastTheEndIsNone", "[SET2]\nC2_02=9999\n", &S::C2_02, -1},
                      ReadCase{"NegativeRowIsNone", "[SET2]\nC2_02=-5\n", &S::C2_02, -1},
                      ReadCase{"HexadecimalRow", "[SET2]\nC2_02=0x2\n", &S::C2_02, 2},
                      ReadCase{"PresetRowWithinTheList", "[SET2]\nC2_00=2\n", &S::C2_00, 2},
                      ReadCase{"PresetRowPastTheList", "[SET2]\nC2_00=3\n", &S::C2_00, -1},
                      ReadCase{"CropHeldAtItsMaximum", "[SET2]\nC2_07_1=123456\n", &S::C2_07_1,
                               99999},
                      ReadCase{"HoursHeldAt99", "[SET4]\nC4_01_4=100\n", &S::C4_01_4, 99},
                      ReadCase{"MinutesHeldAt59", "[SET4]\nC4_01_2=75\n", &S::C4_01_2, 59},
                      ReadCase{"NegativeValueHeldAt0", "[SET4]\nC4_01_3=-4\n", &S::C4_01_3, 0}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(SettingsReading, FolderRules) {
    EXPECT_EQ(read("[SET1]\nC1_03=/out//\n").C1_03, "/out");
    EXPECT_EQ(read("[SET1]\nC1_03=\n").C1_03, "/opt/qv") << "empty is the program folder";
    EXPECT_TRUE(read("[SET4]\nC4_C1=1\n").CheckBox1);
}

TEST(Presets, ApplyingSetsEveryDrivenControl) {
    qv::ConversionSettings s;
    s.C2_03 = 4;  // not driven: stays
    s.C3_02 = 3;  // driven, empty column: back to keep-source
    qv::applyPreset(s, "携帯用,MP4,320x240,MPEG4,15fps,384kbps,1,,22050Hz,");
    EXPECT_EQ(s.C2_01, rowOf(CatalogueId::C2_01, "MP4,MPEG4/H.264"));
    EXPECT_EQ(s.C2_02, qv::presetRowFor(qv::catalogue(CatalogueId::C2_02), "320x240"));
    EXPECT_GT(s.C2_02, 0);
    EXPECT_EQ(s.C3_01, 0);
    EXPECT_EQ(s.C3_02, 0);
    EXPECT_EQ(s.C2_03, 4);
}

TEST(Presets, FoundByTheirWholeName) {
    // Names in code page 932, as the file holds them: 携帯 is 0x8C 0x67 0x91 0xD1.
    const std::vector<std::string> lines = {"PC,MP4", "\x8c\x67\x91\xd1,3GP",
                                            "\x8c\x67\x91\xd1"
                                            "2,3GP"};
    EXPECT_EQ(qv::findPreset(lines, "携帯"), 1);
    EXPECT_EQ(qv::findPreset(lines, "携帯2"), 2);
    EXPECT_EQ(qv::findPreset(lines, "携"), -1);
    EXPECT_EQ(qv::findPreset(lines, "pc"), -1);
}

}  // namespace
