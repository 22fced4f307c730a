#include "run/command_line.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "base/path.h"
#include "settings/catalogues.h"
#include "support/catalogue_row.h"
#include "support/full_settings_args.h"

namespace {

using qv::CatalogueId;
using qv::ConversionSettings;

using qvtest::rowOf;

// Every catalogue at its keep-source row, nothing else on.
ConversionSettings keepSource() {
    ConversionSettings s;
    s.C1_02 = 0;
    s.C2_00 = 0;
    s.C2_01 = s.C2_02 = s.C2_03 = s.C2_04 = s.C2_05 = s.C2_06 = 0;
    s.C3_01 = s.C3_02 = s.C3_03 = s.C3_04 = s.C3_05 = s.C3_06 = 0;
    return s;
}

TEST(ConversionCommand, FullSettingsLine) {
    ConversionSettings s = keepSource();
    s.C1_02 = 1;
    s.C1_03 = "D:\\Out";
    s.C2_01 = rowOf(CatalogueId::C2_01, "MP4,MPEG4/H.264");
    s.C2_02 = rowOf(CatalogueId::C2_02, "320x240,QVGA");
    s.C2_03 = rowOf(CatalogueId::C2_03, "4:3");
    s.C2_04 = rowOf(CatalogueId::C2_04, "MPEG4");
    s.C2_05 = rowOf(CatalogueId::C2_05, "768kbps,CBR");
    s.C2_06 = rowOf(CatalogueId::C2_06, "29.97fps");
    s.C2_07_1 = 8;
    s.C3_01 = rowOf(CatalogueId::C3_01, "LIBFAAC,AAC(AdvancedAudio)");
    s.C3_02 = rowOf(CatalogueId::C3_02, "128kbps");
    s.C3_03 = rowOf(CatalogueId::C3_03, "44100Hz,CD音質");
    s.C3_04 = rowOf(CatalogueId::C3_04, "2,ｽﾃﾚｵ");
    s.CheckBox2 = true;
    s.CheckBox5 = true;
    s.C4_01_2 = 1;
    s.C4_01_3 = 30;
    s.C4_01_6 = 45;

    auto cmd = qv::buildConversionCommand(s, "C:\\Video\\clip.avi", "D:\\Out\\clip.mp4", 1, false);
    EXPECT_EQ(cmd.text,
              "-i \"C:\\Video\\clip.avi\" -y -threads 2 -ss 00:01:30 -t 00:00:45 -flags bitexact "
              "-s 320x240 -aspect 4:3 -vcodec mpeg4 -b 768k -r 29.97 -croptop 8 -acodec libfaac "
              "-ab 128k -ar 44100 -ac 2 \"D:\\Out\\clip.mp4\"");
    EXPECT_EQ(cmd.args, qvtest::fullSettingsArgs("C:\\Video\\clip.avi", "D:\\Out\\clip.mp4"));
}

TEST(ConversionCommand, TwoPassPreviewLines) {
    ConversionSettings s = keepSource();
    s.C2_01 = rowOf(CatalogueId::C2_01, "AVI,XviD/MS-MPEG4/etc...");
    s.CheckBox1 = true;
    const std::string src = "C:\\Video\\a.wmv";
    const std::string dst = "C:\\Video\\a.avi";
    EXPECT_EQ(qv::buildConversionCommand(s, src, dst, 1, true).text,
              "-i \"C:\\Video\\a.wmv\" -y -pass 1 -an -flags bitexact -vcodec copy -sameq "
              "-acodec copy -t 00:00:30 \"C:\\Video\\a.avi\"");
    EXPECT_EQ(qv::buildConversionCommand(s, src, dst, 2, true).text,
              "-i \"C:\\Video\\a.wmv\" -y -pass 2 -flags bitexact -vcodec copy -sameq "
              "-acodec copy -t 00:00:30 \"C:\\Video\\a.avi\"");
}

TEST(ThumbnailCommand, OneSmallPictureAtFiveSeconds) {
    const std::string sep(1, qv::kPathSeparator);
    auto cmd = qv::buildThumbnailCommand("C:\\Video\\a.wmv", "C:\\Tools\\Conv");
    EXPECT_EQ(cmd.text,
              "-i \"C:\\Video\\a.wmv\" -f image2 -ss 5 -vframes 1 -s 80x60 -an \"C:\\Tools\\Conv" +
                  sep + "_thumb.jpg\"");
    const std::vector<std::string> args{"-i",       "C:\\Video\\a.wmv",
                                        "-f",       "image2",
                                        "-ss",      "5",
                                        "-vframes", "1",
                                        "-s",       "80x60",
                                        "-an",      "C:\\Tools\\Conv" + sep + "_thumb.jpg"};
    EXPECT_EQ(cmd.args, args);
}

#ifndef _WIN32
TEST(ThumbnailCommand, PathBesideProgram) {
    EXPECT_EQ(qv::thumbnailPath("/opt/qv"), "/opt/qv/_thumb.jpg");
    EXPECT_EQ(qv::thumbnailPath("/"), "/_thumb.jpg");
    EXPECT_EQ(qv::buildThumbnailCommand("/v/a b.mp4", "/").text,
              "-i \"/v/a b.mp4\" -f image2 -ss 5 -vframes 1 -s 80x60 -an \"/_thumb.jpg\"");
}
#endif

struct CommandCase {
    const char* name;
    std::function<void(ConversionSettings&)> set;
    int pass;
    bool preview;
    std::string expected;
};

class ConversionCommandCases : public ::testing::TestWithParam<CommandCase> {};

TEST_P(ConversionCommandCases, GivesExactText) {
    const auto& c = GetParam();
    ConversionSettings s = keepSource();
    c.set(s);
    EXPECT_EQ(qv::buildConversionCommand(s, "/src/a.avi", "/out/a.mp4", c.pass, c.preview).text,
              c.expected);
}

const std::string kSrc = "-i \"/src/a.avi\" -y";
const std::string kDst = " \"/out/a.mp4\"";

INSTANTIATE_TEST_SUITE_P(
    EdgeCases, ConversionCommandCases,
    ::testing::Values(
        CommandCase{"AllKeepSource", [](ConversionSettings&) {}, 1, false,
                    kSrc + " -flags bitexact -vcodec copy -sameq -acodec copy" + kDst},
        CommandCase{"PictureAndSoundDisabled",
                    [](ConversionSettings& s) { s.CheckBox3 = s.CheckBox4 = true; }, 1, false,
                    kSrc + " -flags bitexact -vcodec copy -sameq -acodec copy -vn  -an " + kDst},
        CommandCase{
            "TwoPassNoSoundPass1", [](ConversionSettings& s) { s.CheckBox1 = s.CheckBox4 = true; },
            1, false,
            kSrc + " -pass 1 -an -flags bitexact -vcodec copy -sameq -acodec copy -an " + kDst},
        CommandCase{"TwoPassNoSoundPass2",
                    [](ConversionSettings& s) { s.CheckBox1 = s.CheckBox4 = true; }, 2, false,
                    kSrc + " -pass 2 -flags bitexact -vcodec copy -sameq -acodec copy -an " + kDst},
        CommandCase{"TwoPassRangeInPass1",
                    [](ConversionSettings& s) {
                        s.CheckBox1 = s.CheckBox5 = true;
                        s.C4_01_3 = 10;
                        s.C4_01_5 = 2;
                    },
                    1, false,
                    kSrc +
                        " -pass 1 -an -ss 00:00:10 -t 00:02:00 -flags bitexact -vcodec copy "
                        "-sameq -acodec copy" +
                        kDst},
        CommandCase{"TwoPassNoRangeInPass2",
                    [](ConversionSettings& s) {
                        s.CheckBox1 = s.CheckBox5 = true;
                        s.C4_01_3 = 10;
                        s.C4_01_5 = 2;
                    },
                    2, false,
                    kSrc + " -pass 2 -flags bitexact -vcodec copy -sameq -acodec copy" + kDst},
        CommandCase{
            "PreviewWithRange",
            [](ConversionSettings& s) {
                s.CheckBox5 = true;
                s.C4_01_6 = 45;
            },
            1, true,
            kSrc +
                " -ss 00:00:00 -t 00:00:45 -flags bitexact -vcodec copy -sameq -acodec copy "
                "-t 00:00:30" +
                kDst},
        CommandCase{
            "RangeTwoDigitsAndZeroLength",
            [](ConversionSettings& s) {
                s.CheckBox5 = true;
                s.C4_01_1 = 1;
                s.C4_01_2 = 2;
                s.C4_01_3 = 3;
            },
            1, false,
            kSrc + " -ss 01:02:03 -t 00:00:00 -flags bitexact -vcodec copy -sameq -acodec copy" +
                kDst},
        CommandCase{"RangeOffIgnoresFields", [](ConversionSettings& s) { s.C4_01_1 = 5; }, 1, false,
                    kSrc + " -flags bitexact -vcodec copy -sameq -acodec copy" + kDst},
        CommandCase{"MultiThreaded", [](ConversionSettings& s) { s.CheckBox2 = true; }, 1, false,
                    kSrc + " -threads 2 -flags bitexact -vcodec copy -sameq -acodec copy" + kDst},
        CommandCase{
            "ConstantBitrateKeepsSameq",
            [](ConversionSettings& s) { s.C2_05 = rowOf(CatalogueId::C2_05, "768kbps,CBR"); }, 1,
            false, kSrc + " -flags bitexact -vcodec copy -b 768k -sameq -acodec copy" + kDst},
        CommandCase{
            "QualityLevelKeepsSameq",
            [](ConversionSettings& s) { s.C2_05 = rowOf(CatalogueId::C2_05, "11,VBR(高品質)"); }, 1,
            false, kSrc + " -flags bitexact -vcodec copy -qscale 11 -sameq -acodec copy" + kDst},
        CommandCase{"BitrateAndFrameRateDropSameq",
                    [](ConversionSettings& s) {
                        s.C2_05 = rowOf(CatalogueId::C2_05, "10000kbps,CBR");
                        s.C2_06 = rowOf(CatalogueId::C2_06, "7.5fps");
                    },
                    1, false,
                    kSrc + " -flags bitexact -vcodec copy -b 10000k -r 7.5 -acodec copy" + kDst},
        CommandCase{"FrameRateOnlyKeepsSameq",
                    [](ConversionSettings& s) { s.C2_06 = rowOf(CatalogueId::C2_06, "29.97fps"); },
                    1, false,
                    kSrc + " -flags bitexact -vcodec copy -r 29.97 -sameq -acodec copy" + kDst},
        CommandCase{"CropTopOne", [](ConversionSettings& s) { s.C2_07_1 = 1; }, 1, false,
                    kSrc + " -flags bitexact -vcodec copy -sameq -croptop 1 -acodec copy" + kDst},
        CommandCase{"AllCropsInOrder",
                    [](ConversionSettings& s) {
                        s.C2_07_4 = 4;
                        s.C2_07_3 = 3;
                        s.C2_07_2 = 2;
                        s.C2_07_1 = 1;
                    },
                    1, false,
                    kSrc +
                        " -flags bitexact -vcodec copy -sameq -croptop 1 -cropbottom 2 -cropleft 3 "
                        "-cropright 4 -acodec copy" +
                        kDst},
        CommandCase{"CodecsLowerCase",
                    [](ConversionSettings& s) {
                        s.C2_04 = rowOf(CatalogueId::C2_04, "LIBX264,H.264(AVC)");
                        s.C3_01 = rowOf(CatalogueId::C3_01, "LIBMP3LAME,MP3(MPEG-AudioLayer3)");
                    },
                    1, false,
                    kSrc + " -flags bitexact -vcodec libx264 -sameq -acodec libmp3lame" + kDst},
        CommandCase{"EveryAudioSetting",
                    [](ConversionSettings& s) {
                        s.C3_01 = rowOf(CatalogueId::C3_01, "PCM_S16LE,WAVE-PCM(16bit)");
                        s.C3_02 = rowOf(CatalogueId::C3_02, "128kbps");
                        s.C3_03 = rowOf(CatalogueId::C3_03, "44100Hz,CD音質");
                        s.C3_04 = rowOf(CatalogueId::C3_04, "1,ﾓﾉﾗﾙ");
                        s.C3_05 = rowOf(CatalogueId::C3_05, "516,2.0倍");
                        s.C3_06 = rowOf(CatalogueId::C3_06, "1000,1秒間隔");
                    },
                    1, false,
                    kSrc +
                        " -flags bitexact -vcodec copy -sameq -acodec pcm_s16le -ab 128k -ar 44100 "
                        "-ac 1 -vol 516 -async 1000" +
                        kDst},
        CommandCase{"FrameSizeWithLabel",
                    [](ConversionSettings& s) {
                        s.C2_02 = rowOf(CatalogueId::C2_02, "368x208,<Sony-PSP>");
                    },
                    1, false,
                    kSrc + " -flags bitexact -s 368x208 -vcodec copy -sameq -acodec copy" + kDst},
        CommandCase{"NoRowGivesEmptyValue", [](ConversionSettings& s) { s.C2_02 = -1; }, 1, false,
                    kSrc + " -flags bitexact -s  -vcodec copy -sameq -acodec copy" + kDst},
        CommandCase{"IndexPastLastRowIsNoRow", [](ConversionSettings& s) { s.C2_02 = 43; }, 1,
                    false, kSrc + " -flags bitexact -s  -vcodec copy -sameq -acodec copy" + kDst},
        CommandCase{"BitrateNoRowGivesNothing", [](ConversionSettings& s) { s.C2_05 = -1; }, 1,
                    false, kSrc + " -flags bitexact -vcodec copy -sameq -acodec copy" + kDst},
        CommandCase{"EveryCatalogueNoRow",
                    [](ConversionSettings& s) {
                        s.C2_01 = s.C2_02 = s.C2_03 = s.C2_04 = s.C2_05 = s.C2_06 = -1;
                        s.C3_01 = s.C3_02 = s.C3_03 = s.C3_04 = s.C3_05 = s.C3_06 = -1;
                    },
                    1, false,
                    kSrc +
                        " -flags bitexact -s  -aspect  -vcodec  -r  -acodec  -ab k -ar  -ac  -vol  "
                        "-async " +
                        kDst}),
    [](const auto& test) { return std::string(test.param.name); });

// The text and the list must describe the same call.
TEST(ConversionCommandArgs, EmptyValueIsItsOwnElement) {
    ConversionSettings s = keepSource();
    s.C2_02 = -1;
    s.CheckBox3 = s.CheckBox4 = true;
    auto args = qv::buildConversionCommand(s, "/a", "/b", 1, false).args;
    const std::vector<std::string> expected{"-i",      "/a",   "-y",      "-flags", "bitexact",
                                            "-s",      "",     "-vcodec", "copy",   "-sameq",
                                            "-acodec", "copy", "-vn",     "-an",    "/b"};
    EXPECT_EQ(args, expected);
}

struct PathCase {
    const char* name;
    std::string source;
    std::string dest;
    std::string destArg;  // how the result path reaches the process
};

class ConversionCommandPaths : public ::testing::TestWithParam<PathCase> {};

TEST_P(ConversionCommandPaths, StayOneElementEach) {
    const auto& c = GetParam();
    ConversionSettings s = keepSource();
    s.CheckBox2 = true;
    auto cmd = qv::buildConversionCommand(s, c.source, c.dest, 1, true);
    ASSERT_GE(cmd.args.size(), 3u);
    EXPECT_EQ(cmd.args[0], "-i");
    EXPECT_EQ(cmd.args[1], c.source);
    EXPECT_EQ(cmd.args.back(), c.destArg);
    // Nothing else in the list comes from a path.
    for (std::size_t i = 2; i + 1 < cmd.args.size(); ++i)
        EXPECT_EQ(cmd.args[i].find_first_of(" \"/"), std::string::npos) << cmd.args[i];
    EXPECT_TRUE(cmd.text.starts_with("-i \"" + c.source + "\" -y"));
    EXPECT_TRUE(cmd.text.ends_with(" -t 00:00:30 \"" + c.dest + "\""));
}

INSTANTIATE_TEST_SUITE_P(
    Table, ConversionCommandPaths,
    ::testing::Values(PathCase{"Blanks", "/v/my clip.avi", "/o/my clip.mp4", "/o/my clip.mp4"},
                      PathCase{"DoubleQuotes", "/v/a \"b\" -y.avi", "/o/a\" -an \"x.mp4",
                               "/o/a\" -an \"x.mp4"},
                      PathCase{"LeadingDashes", "-vn.avi", "-y.mp4", "./-y.mp4"},
                      PathCase{"Japanese", "/動画/ｸﾘｯﾌﾟ.avi", "/出力/ｸﾘｯﾌﾟ.mp4", "/出力/ｸﾘｯﾌﾟ.mp4"},
                      PathCase{"Empty", "", "", ""},
                      PathCase{"VeryLong", "/v/" + std::string(20000, 'a') + ".avi",
                               "/o/" + std::string(20000, 'b') + ".mp4",
                               "/o/" + std::string(20000, 'b') + ".mp4"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(ThumbnailCommandArgs, PathsStayWhole) {
    auto cmd = qv::buildThumbnailCommand("-a \"b\".avi", "/p q");
    ASSERT_EQ(cmd.args.size(), 12u);
    EXPECT_EQ(cmd.args[1], "-a \"b\".avi");
    EXPECT_EQ(cmd.args[11], qv::thumbnailPath("/p q"));
}

}  // namespace
