#include "rules.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "translate.h"

namespace {

using Args = std::vector<std::string>;
using namespace qv::adapter;

Source video(const std::string& v, const std::string& a, double duration = 8) {
    Source s;
    s.known = true;
    s.hasVideo = !v.empty();
    s.videoCodec = v;
    s.hasAudio = !a.empty();
    s.audioCodec = a;
    s.width = 321;
    s.height = 241;
    s.sampleRate = 48000;
    s.channels = 2;
    s.duration = duration;
    s.videoBitRate = 2500000;
    return s;
}

bool hasRun(const Args& line, const Args& run) {
    return std::search(line.begin(), line.end(), run.begin(), run.end()) != line.end();
}

struct PlanCase {
    const char* name;
    Args in;
    Source source;
    PassNotes notes;
    std::string refusal;  // part of the reason; empty: not refused
    Args present = {};    // a run of the encoder's line
    Args absent = {};     // runs that must not be there
};

class PlanRules : public ::testing::TestWithParam<PlanCase> {};

TEST_P(PlanRules, PlayableOrRefused) {
    const PlanCase& c = GetParam();
    const Call call = parseCall(c.in);
    const Plan plan = planCall(call, c.source, c.notes);
    if (!c.refusal.empty()) {
        EXPECT_NE(plan.refusal.find(c.refusal), std::string::npos) << plan.refusal;
        return;
    }
    EXPECT_EQ(plan.refusal, "");
    const Args line = applyPlan(translateArguments(c.in), plan);
    EXPECT_EQ(line.back(), c.in.back());
    for (size_t i = 0; i < c.present.size(); i += 2) {
        EXPECT_TRUE(hasRun(line, {c.present[i], c.present[i + 1]}))
            << c.present[i] << " " << c.present[i + 1];
    }
    for (const auto& a : c.absent) {
        EXPECT_EQ(std::count(line.begin(), line.end(), a), 0) << a;
    }
}

const Args kCopy = {"-vcodec", "copy", "-sameq", "-acodec", "copy"};

Args line(const Args& middle, const std::string& dest) {
    Args a = {"-i", "/v/src", "-y", "-flags", "bitexact"};
    a.insert(a.end(), middle.begin(), middle.end());
    a.push_back(dest);
    return a;
}

PassNotes notes(const std::string& start, const std::string& length, const std::string& rate) {
    return {true, start, length, rate};
}

const PlanCase kPlans[] = {
    {"CopyOfH264IntoRealMediaRefused", line(kCopy, "/o/a.rm"), video("h264", "aac"), {}, "RM"},
    {"CopyOfVorbisIntoAviRefused", line(kCopy, "/o/a.avi"), video("vp8", "vorbis"), {}, "vorbis"},
    {"CopyOfH264IntoProgramStreamGetsAnnexB",
     line(kCopy, "/o/a.mpg"),
     video("h264", "mp2"),
     {},
     "",
     {"-bsf:v", "h264_mp4toannexb"}},
    {"CopyOfMpeg4IntoAviUnchanged",
     line(kCopy, "/o/a.avi"),
     video("mpeg4", "mp3"),
     {},
     "",
     {},
     {"-bsf:v", "-vf"}},
    {"ChosenCodecTheContainerCannotHold",
     line({"-vcodec", "libtheora", "-sameq", "-acodec", "copy"}, "/o/a.mp4"),
     video("h264", "aac"),
     {},
     "LIBTHEORA"},
    {"ChosenSoundTheContainerCannotHold",
     line({"-vcodec", "mpeg4", "-sameq", "-acodec", "pcm_s16be", "-vn"}, "/o/a.flv"),
     {},
     {},
     "PCM_S16BE"},
    {"X264GetsEightBitAndEvenSize",
     line({"-vcodec", "libx264", "-sameq", "-acodec", "aac"}, "/o/a.mp4"),
     {},
     {},
     "",
     {"-pix_fmt", "yuv420p", "-vf", "scale=trunc(iw/2)*2:trunc(ih/2)*2"}},
    {"X264IntoMatroskaBitexactInTheFormItTakes",
     line({"-vcodec", "libx264", "-sameq", "-acodec", "copy"}, "/o/a.mkv"),
     {},
     {},
     "",
     {"-flags:v", "+bitexact", "-fflags", "+bitexact"},
     {"bitexact"}},
    {"EvenSizeAfterTheCrop",
     line({"-vcodec", "mpeg4", "-sameq", "-cropleft", "3", "-acodec", "mp2"}, "/o/a.avi"),
     {},
     {},
     "",
     {"-vf", "crop=iw-3:ih-0:3:0,scale=trunc(iw/2)*2:trunc(ih/2)*2"}},
    {"H263ToAStandardSize",
     line({"-vcodec", "h263", "-sameq", "-acodec", "aac"}, "/o/a.3gp"),
     {},
     {},
     "",
     {"-vf", "scale=w='if(gte(iw,704),704,if(gte(iw,352),352,176))':h=ow*9/11"}},
    {"H263AtAChosenOddSizeRefused",
     line({"-s", "320x240", "-vcodec", "h263", "-sameq", "-acodec", "aac"}, "/o/a.3gp"),
     {},
     {},
     "H263"},
    {"DvGetsItsSizeRateAndFormat",
     line({"-vcodec", "dvvideo", "-sameq", "-an"}, "/o/a.avi"),
     {},
     {},
     "",
     {"-vf", "scale=720:576", "-r", "25", "-pix_fmt", "yuv420p"}},
    {"GsmGetsNarrowbandMono",
     line({"-vcodec", "copy", "-sameq", "-acodec", "libgsm_ms", "-vn"}, "/o/a.asf"),
     {},
     {},
     "",
     {"-ar", "8000", "-ac", "1"}},
    {"GsmAtAChosenCdRateRefused",
     line({"-vcodec", "copy", "-sameq", "-acodec", "libgsm_ms", "-ar", "44100", "-vn"}, "/o/a.asf"),
     {},
     {},
     "8000"},
    {"AdpcmTakesAtMostStereoAfterTheVolume",
     line({"-vcodec", "copy", "-sameq", "-acodec", "adpcm_ms", "-vol", "512", "-vn"}, "/o/a.asf"),
     {},
     {},
     "",
     {"-af", "volume=512/256,aformat=channel_layouts=mono|stereo"}},
    {"AdpcmIntoAviRefused",
     line({"-vcodec", "copy", "-sameq", "-acodec", "adpcm_ms", "-vn"}, "/o/a.avi"),
     {},
     {},
     "ADPCM_MS"},
    {"H261PlaysBackNowhere",
     line({"-vcodec", "h261", "-sameq", "-an"}, "/o/a.avi"),
     {},
     {},
     "H261"},
    {"FlashAdpcmAtAFlashRate",
     line({"-vcodec", "copy", "-sameq", "-acodec", "adpcm_swf", "-vn"}, "/o/a.flv"),
     {},
     {},
     "",
     {"-ar", "44100"}},
    {"VorbisThroughLibvorbis",
     line({"-vcodec", "copy", "-sameq", "-acodec", "vorbis", "-vn"}, "/o/a.ogm"),
     {},
     {},
     "",
     {"-acodec", "libvorbis"}},
    {"PreviewOfAShortRangeIsTheRange",
     line({"-ss", "00:00:01", "-t", "00:00:02", "-vcodec", "mpeg4", "-sameq", "-acodec", "mp2",
           "-t", "00:00:30"},
          "/o/a.avi"),
     {},
     {},
     "",
     {"-ss", "00:00:01", "-t", "2.000"},
     {"00:00:30", "00:00:02"}},
    {"PreviewOfALongRangeIsThirtySeconds",
     line({"-ss", "00:00:01", "-t", "00:05:00", "-vcodec", "mpeg4", "-sameq", "-acodec", "mp2",
           "-t", "00:00:30"},
          "/o/a.avi"),
     {},
     {},
     "",
     {"-t", "30.000"},
     {"00:05:00"}},
    {"SecondPassGetsTheFirstPassRange",
     line({"-pass", "2", "-vcodec", "mpeg4", "-b", "768k", "-acodec", "mp2"}, "/o/a.avi"),
     {},
     notes("00:00:01", "00:00:02", ""),
     "",
     {"-ss", "00:00:01", "-t", "00:00:02"}},
    {"SecondPassPreviewOfTheFirstPassRange",
     line({"-pass", "2", "-vcodec", "mpeg4", "-b", "768k", "-acodec", "mp2", "-t", "00:00:30"},
          "/o/a.avi"),
     {},
     notes("00:00:01", "00:00:02", ""),
     "",
     {"-ss", "00:00:01", "-t", "2.000"},
     {"00:00:30"}},
    {"SecondPassWithoutFirstRefused",
     line({"-pass", "2", "-vcodec", "libx264", "-acodec", "aac"}, "/o/a.mp4"),
     {},
     {},
     "1パス目"},
    {"AutomaticRateTwoPassUsesTheSourceRate",
     line({"-pass", "1", "-an", "-vcodec", "libx264", "-sameq", "-acodec", "aac"}, "/o/a.mp4"),
     video("h264", "aac"),
     {},
     "",
     {"-b:v", "2500k"}},
    {"AutomaticRateSecondPassKeepsTheFirstPassRate",
     line({"-pass", "2", "-vcodec", "libx264", "-qscale", "11", "-sameq", "-acodec", "aac"},
          "/o/a.mp4"),
     {},
     notes("", "", "2500k"),
     "",
     {"-b:v", "2500k"},
     {"-q:v"}},
    {"ThumbnailOfAShortSourceNearItsEnd",
     {"-i", "/v/a.avi", "-f", "image2", "-ss", "5", "-vframes", "1", "-s", "80x60", "-an",
      "/p/_thumb.jpg"},
     video("mpeg4", "mp2", 3),
     {},
     "",
     {"-ss", "2.500"},
     {"5"}},
    {"ThumbnailOfSoundOnlyRefused",
     {"-i", "/v/a.mp3", "-f", "image2", "-ss", "5", "-vframes", "1", "-s", "80x60", "-an",
      "/p/_thumb.jpg"},
     video("", "mp3"),
     {},
     "映像"},
    {"HevcQualityBecomesCrfAtPreviewSpeed",
     line({"-vcodec", "libx265", "-qscale", "11", "-sameq", "-acodec", "libopus"}, "/o/a.mkv"),
     {},
     {},
     "",
     {"-crf", "27", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-flags:v", "+bitexact"},
     {"-q:v", "bitexact"}},
    {"Vp9QualityIsCrfWithoutARateCap",
     line({"-vcodec", "libvpx-vp9", "-qscale", "31", "-sameq", "-acodec", "libopus"}, "/o/a.webm"),
     {},
     {},
     "",
     {"-crf", "63", "-b:v", "0", "-deadline", "realtime", "-cpu-used", "8"},
     {"-q:v"}},
    {"Av1QualityOneIsTheBestCrf",
     line({"-vcodec", "libsvtav1", "-qscale", "1", "-sameq", "-acodec", "libopus"}, "/o/a.mp4"),
     {},
     {},
     "",
     {"-crf", "1", "-preset", "12"},
     {"-q:v"}},
    {"Vp9ConstantRateKeepsTheRate",
     line({"-vcodec", "libvpx-vp9", "-b", "1024k", "-sameq", "-acodec", "libopus"}, "/o/a.webm"),
     {},
     {},
     "",
     {"-b:v", "1024k"},
     {"-crf", "0"}},
    {"HevcIntoAviRefused",
     line({"-vcodec", "libx265", "-sameq", "-acodec", "mp2"}, "/o/a.avi"),
     {},
     {},
     "AVI 形式には映像コーデック LIBX265"},
    {"Vp9IntoMp4Refused",
     line({"-vcodec", "libvpx-vp9", "-sameq", "-acodec", "aac"}, "/o/a.mp4"),
     {},
     {},
     "MP4 形式には映像コーデック LIBVPX-VP9"},
    {"OpusIntoFlvRefused",
     line({"-vcodec", "flv", "-sameq", "-acodec", "libopus"}, "/o/a.flv"),
     {},
     {},
     "FLV 形式には音声コーデック LIBOPUS"},
    {"AacIntoWebmRefused",
     line({"-vcodec", "libvpx-vp9", "-sameq", "-acodec", "libfaac"}, "/o/a.webm"),
     {},
     {},
     "WEBM 形式には音声コーデック AAC"},
    {"CopyOfH264IntoWebmRefused", line(kCopy, "/o/a.webm"), video("h264", "aac"), {}, "WEBM"},
    {"OpusAtACdRateRefused",
     line({"-vcodec", "copy", "-sameq", "-acodec", "libopus", "-ar", "44100", "-vn"}, "/o/a.mkv"),
     {},
     {},
     "48000Hz"},
    {"OpusSurroundInALayoutItsMappingTakes",
     line({"-vcodec", "copy", "-sameq", "-acodec", "libopus", "-vn"}, "/o/a.mkv"),
     {},
     {},
     "",
     {"-af", "aformat=channel_layouts=mono|stereo|3.0|quad|5.0|5.1|6.1|7.1"}},
    {"OpusAtAnOpusRate",
     line({"-vcodec", "copy", "-sameq", "-acodec", "libopus", "-ar", "24000", "-vn"}, "/o/a.webm"),
     {},
     {},
     "",
     {"-ar", "24000"}},
    {"HevcTwoPassRefused",
     line({"-pass", "1", "-an", "-vcodec", "libx265", "-b", "768k"}, "/o/a.mkv"),
     {},
     {},
     "2パス"},
    {"Av1TwoPassRefused",
     line({"-pass", "2", "-vcodec", "libsvtav1", "-b", "768k"}, "/o/a.mkv"),
     {},
     notes("", "", ""),
     "2パス"},
    {"Vp9TwoPassQualityStaysAQuality",
     line({"-pass", "1", "-an", "-vcodec", "libvpx-vp9", "-qscale", "11", "-sameq"}, "/o/a.webm"),
     video("h264", "aac"),
     {},
     "",
     {"-crf", "21", "-b:v", "0", "-deadline", "good"},
     {"2500k", "realtime"}},
};

INSTANTIATE_TEST_SUITE_P(Calls, PlanRules, ::testing::ValuesIn(kPlans),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(PlanRules, OnlyCopiesThumbnailsAndRateChoicesNeedTheSource) {
    EXPECT_TRUE(needsSource(parseCall(line(kCopy, "/o/a.avi"))));
    EXPECT_FALSE(needsSource(
        parseCall(line({"-vcodec", "mpeg4", "-b", "768k", "-acodec", "aac"}, "/o/a.mp4"))));
    EXPECT_FALSE(
        needsSource(parseCall(line({"-vcodec", "copy", "-vn", "-acodec", "mp2"}, "/o/a.avi"))));
    EXPECT_TRUE(needsSource(parseCall(line({"-pass", "1", "-vcodec", "mpeg4"}, "/o/a.avi"))));
    EXPECT_FALSE(needsSource(parseCall(line({"-pass", "2", "-vcodec", "mpeg4"}, "/o/a.avi"))));
}

// Quality rows 1..31 onto each encoder's CRF scale, lower still better: x265 by MPEG-4's
// quantiser step (one step a row once that curve flattens), the others over the whole range.
TEST(PlanRules, QualityRowsOntoEachCrfScale) {
    struct Point {
        const char* encoder;
        int quality, crf;
    };
    const Point points[] = {{"libx265", 1, 6},      {"libx265", 2, 12},     {"libx265", 3, 16},
                            {"libx265", 6, 22},     {"libx265", 11, 27},    {"libx265", 12, 28},
                            {"libx265", 13, 29},    {"libx265", 21, 37},    {"libx265", 31, 47},
                            {"libvpx-vp9", 1, 0},   {"libvpx-vp9", 11, 21}, {"libvpx-vp9", 21, 42},
                            {"libvpx-vp9", 31, 63}, {"libsvtav1", 1, 1},    {"libsvtav1", 11, 22},
                            {"libsvtav1", 21, 42},  {"libsvtav1", 31, 63},  {"libx265", 40, 47},
                            {"libx265", 0, 6},      {"libx264", 11, -1}};
    for (const Point& p : points)
        EXPECT_EQ(crfForQuality(p.encoder, p.quality), p.crf) << p.encoder << " " << p.quality;
    for (const char* e : {"libx265", "libvpx-vp9", "libsvtav1"})
        for (int q = 2; q <= 31; ++q)
            EXPECT_GT(crfForQuality(e, q), crfForQuality(e, q - 1)) << e << " " << q;
}

TEST(PlanRules, TimesInEveryForm) {
    EXPECT_DOUBLE_EQ(parseTime("01:02:03"), 3723);
    EXPECT_DOUBLE_EQ(parseTime("2.5"), 2.5);
    EXPECT_DOUBLE_EQ(parseTime("00:00:30"), 30);
    EXPECT_LT(parseTime(""), 0);
    EXPECT_LT(parseTime("1:x"), 0);
    EXPECT_LT(parseTime("1:2:3:4"), 0);
}

}  // namespace
