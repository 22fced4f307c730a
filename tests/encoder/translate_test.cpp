#include "translate.h"

#include <gtest/gtest.h>

#include "support/full_settings_args.h"

namespace {

using Args = std::vector<std::string>;
using qv::adapter::translateArguments;

struct TranslateCase {
    const char* name;
    Args in;
    Args out;
    std::string passLog = {};
};

class TranslateArguments : public ::testing::TestWithParam<TranslateCase> {};

TEST_P(TranslateArguments, GivesWhatTheInstalledEncoderAccepts) {
    EXPECT_EQ(translateArguments(GetParam().in, GetParam().passLog), GetParam().out);
}

const TranslateCase kCases[] = {
    {"FullSettings",
     qvtest::fullSettingsArgs("/video/clip.avi", "/out/clip.mp4"),
     {"-i",
      "/video/clip.avi",
      "-y",
      "-threads",
      "2",
      "-ss",
      "00:01:30",
      "-t",
      "00:00:45",
      "-flags",
      "bitexact",
      "-aspect",
      "4:3",
      "-vcodec",
      "mpeg4",
      "-b:v",
      "768k",
      "-r",
      "29.97",
      "-acodec",
      "aac",
      "-b:a",
      "128k",
      "-ar",
      "44100",
      "-ac",
      "2",
      "-vf",
      "crop=iw-0:ih-8:0:8,scale=320:240",
      "/out/clip.mp4"}},
    {"AllAutomaticTwoPassPreview",
     {"-i", "/video/a.wmv", "-y", "-pass", "1", "-an", "-flags", "bitexact", "-vcodec", "copy",
      "-sameq", "-acodec", "copy", "-t", "00:00:30", "/video/a.avi"},
     {"-i", "/video/a.wmv", "-y", "-pass", "1", "-an", "-flags", "bitexact", "-vcodec", "copy",
      "-acodec", "copy", "-t", "00:00:30", "/video/a.avi"}},
    {"PassStatisticsGoWhereTheyAreKept",
     {"-i", "/v/a.wmv", "-y", "-pass", "2", "-flags", "bitexact", "-vcodec", "mpeg4", "-sameq",
      "-acodec", "copy", "/v/a.avi"},
     {"-i", "/v/a.wmv", "-y", "-pass", "2", "-passlogfile", "/run/x/stats", "-flags", "bitexact",
      "-vcodec", "mpeg4", "-acodec", "copy", "/v/a.avi"},
     "/run/x/stats"},
    {"CataloguesWithoutASelectedRowAddNothing",
     {"-i",      "/v/a.avi", "-y",     "-flags", "bitexact", "-s", "",    "-aspect",
      "",        "-vcodec",  "",       "-b",     "k",        "-r", "",    "-sameq",
      "-acodec", "",         "-ab",    "k",      "-ar",      "",   "-ac", "",
      "-vol",    "",         "-async", "",       "/v/b.avi"},
     {"-i", "/v/a.avi", "-y", "-flags", "bitexact", "/v/b.avi"}},
    {"SizeWithoutCropStaysAnOption",
     {"-i", "/v/a.avi", "-s", "320x240", "-vcodec", "copy", "/v/b.avi"},
     {"-i", "/v/a.avi", "-s", "320x240", "-vcodec", "copy", "/v/b.avi"}},
    {"FourSidesMakeOneCrop",
     {"-i", "/v/a.avi", "-vcodec", "mpeg4", "-croptop", "1", "-cropbottom", "2", "-cropleft", "3",
      "-cropright", "4", "-acodec", "copy", "/v/b.avi"},
     {"-i", "/v/a.avi", "-vcodec", "mpeg4", "-acodec", "copy", "-vf", "crop=iw-7:ih-3:3:1",
      "/v/b.avi"}},
    {"CropWithStreamCopyIsNotTurnedIntoAReencode",
     {"-i", "/v/a.avi", "-vcodec", "copy", "-cropleft", "16", "/v/b.avi"},
     {"-i", "/v/a.avi", "-vcodec", "copy", "-vf", "crop=iw-16:ih-0:16:0", "/v/b.avi"}},
    {"CropThatIsNoNumberFailsAsBefore",
     {"-i", "/v/a.avi", "-croptop", "x", "/v/b.avi"},
     {"-i", "/v/a.avi", "-croptop", "x", "/v/b.avi"}},
    {"VolumeAndSyncBecomeAudioFilters",
     {"-i", "/v/a.avi", "-acodec", "mp2", "-vol", "516", "-async", "100", "-vn", "/v/b.mpg"},
     {"-i", "/v/a.avi", "-acodec", "mp2", "-vn", "-af", "volume=516/256,aresample=async=100",
      "/v/b.mpg"}},
    {"VolumeThatIsNoNumberPassesThrough",
     {"-i", "/v/a.avi", "-vol", "loud", "/v/b.avi"},
     {"-i", "/v/a.avi", "-vol", "loud", "/v/b.avi"}},
    {"QualityLevelPerStream",
     {"-i", "/v/a.avi", "-vcodec", "mpeg4", "-qscale", "11", "-sameq", "/v/b.avi"},
     {"-i", "/v/a.avi", "-vcodec", "mpeg4", "-q:v", "11", "/v/b.avi"}},
    {"VorbisIsAllowedAndStereo",
     {"-i", "/v/a.avi", "-acodec", "vorbis", "/v/b.ogm"},
     {"-i", "/v/a.avi", "-acodec", "vorbis", "-strict", "-2", "-ac", "2", "-f", "ogg", "/v/b.ogm"}},
    {"VorbisKeepsTheChosenChannels",
     {"-i", "/v/a.avi", "-acodec", "vorbis", "-ac", "1", "/v/b.avi"},
     {"-i", "/v/a.avi", "-acodec", "vorbis", "-ac", "1", "-strict", "-2", "/v/b.avi"}},
    {"SonicIsAllowed",
     {"-i", "/v/a.avi", "-acodec", "sonicls", "/v/b.avi"},
     {"-i", "/v/a.avi", "-acodec", "sonicls", "-strict", "-2", "/v/b.avi"}},
    {"AmrUnderItsCurrentName",
     {"-i", "/v/a.avi", "-acodec", "libamr_wb", "/v/b.3gp"},
     {"-i", "/v/a.avi", "-acodec", "libvo_amrwbenc", "/v/b.3gp"}},
    {"ProgramStreamNamedExplicitly",
     {"-i", "/v/a.avi", "-vcodec", "mpeg2video", "/v/b.M2P"},
     {"-i", "/v/a.avi", "-vcodec", "mpeg2video", "-f", "vob", "/v/b.M2P"}},
    {"ThreeGpGetsAnAudioEncoderItHas",
     {"-i", "/v/a.avi", "-vcodec", "h263", "-acodec", "", "/v/b.3gp"},
     {"-i", "/v/a.avi", "-vcodec", "h263", "-acodec", "aac", "/v/b.3gp"}},
    {"ThreeGpWithoutSoundGetsNone",
     {"-i", "/v/a.avi", "-acodec", "", "-an", "-an", "/v/b.3gp"},
     {"-i", "/v/a.avi", "-an", "-an", "/v/b.3gp"}},
    {"Thumbnail",
     {"-i", "/v/a.wmv", "-f", "image2", "-ss", "5", "-vframes", "1", "-s", "80x60", "-an",
      "/prog/_thumb.jpg"},
     {"-i", "/v/a.wmv", "-f", "image2", "-update", "1", "-y", "-ss", "5", "-frames:v", "1", "-s",
      "80x60", "-an", "/prog/_thumb.jpg"}},
    {"PathsThatLookLikeOptionsStayPaths",
     {"-i", "-sameq", "-y", "-vcodec", "copy", "./-croptop"},
     {"-i", "-sameq", "-y", "-vcodec", "copy", "./-croptop"}},
    {"RelativeNamesAreNeverProtocolsOrPipes",
     {"-i", "-", "-y", "concat:a.avi"},
     {"-i", "file:-", "-y", "file:concat:a.avi"}},
    {"UnknownOptionsPassThrough",
     {"-i", "/v/a.avi", "-map", "0", "-foo", "/v/b.avi"},
     {"-i", "/v/a.avi", "-map", "0", "-foo", "/v/b.avi"}},
    {"NoResultPath", {"-version"}, {"-version"}},
};

INSTANTIATE_TEST_SUITE_P(Lines, TranslateArguments, ::testing::ValuesIn(kCases),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(TranslateParsing, FindsResultAndPass) {
    const Args pass2 = {"-i", "/v/a.wmv", "-y", "-pass", "2", "-t", "00:00:30", "/v/a b.avi"};
    EXPECT_EQ(qv::adapter::outputPathOf(pass2), "/v/a b.avi");
    EXPECT_EQ(qv::adapter::passNumberOf(pass2), 2);
    EXPECT_EQ(qv::adapter::passNumberOf({"-i", "/v/a", "-pass", "1", "-an", "/v/b"}), 1);
    EXPECT_EQ(qv::adapter::passNumberOf({"-i", "-pass", "/v/b"}), 0);  // a source named -pass
    EXPECT_EQ(qv::adapter::outputPathOf({"-i", "/v/a", "-vn "}), "");
    EXPECT_EQ(qv::adapter::outputPathOf({"-i", "/v/a"}), "");
}

TEST(TranslateParsing, OneStatisticsFolderPerResult) {
    using qv::adapter::passLogFolder;
    const std::string a = passLogFolder("/run/user/1000", 1000, "/v/a.avi");
    EXPECT_EQ(a, passLogFolder("/run/user/1000/", 1000, "/v/a.avi"));
    EXPECT_EQ(a.rfind("/run/user/1000/qv-2pass-1000-", 0), 0u) << a;
    EXPECT_NE(a, passLogFolder("/run/user/1000", 1000, "/v/b.avi"));
    EXPECT_NE(a, passLogFolder("/run/user/1000", 1001, "/v/a.avi"));
    EXPECT_EQ(passLogFolder("", 0, "/x").rfind("/tmp/qv-2pass-0-", 0), 0u);
    EXPECT_EQ(a.find('/', std::string("/run/user/1000/").size()), std::string::npos);
}

}  // namespace
