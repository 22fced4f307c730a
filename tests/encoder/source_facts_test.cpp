// What the source says about itself shapes the encoder's line: its date, its rotation, a
// cover picture; and a stream copy the encoder cannot do becomes a conversion of that
// stream alone.
#include <gtest/gtest.h>

#include <algorithm>

#include "probe.h"
#include "rules.h"
#include "translate.h"

namespace {

using Args = std::vector<std::string>;
using namespace qv::adapter;

Args line(const Args& middle, const std::string& dest) {
    Args a = {"-i", "/v/src", "-y", "-flags", "bitexact"};
    a.insert(a.end(), middle.begin(), middle.end());
    a.push_back(dest);
    return a;
}

const Args kCopy = {"-vcodec", "copy", "-sameq", "-acodec", "copy"};

Source source(const std::string& v, const std::string& a) {
    Source s;
    s.known = true;
    s.hasVideo = !v.empty();
    s.videoCodec = v;
    s.hasAudio = !a.empty();
    s.audioCodec = a;
    s.duration = 10;
    return s;
}
Source cover(Source s) {
    s.hasCover = true;
    return s;
}
Source turned(Source s, int degrees) {
    s.rotation = degrees;
    s.width = 640;
    s.height = 360;
    return s;
}
Source at8000(Source s) {
    s.sampleRate = 8000;
    return s;
}
Source dated(Source s) {
    s.creationTime = "2021-05-06T07:08:09.000000Z";
    return s;
}

bool hasRun(const Args& l, const Args& run) {
    return std::search(l.begin(), l.end(), run.begin(), run.end()) != l.end();
}

struct FactCase {
    const char* name;
    Args in;
    Source source;
    Args present = {};  // runs of the encoder's line, two words each
    Args absent = {};   // words that must not be there
};

class SourceFacts : public ::testing::TestWithParam<FactCase> {};

TEST_P(SourceFacts, ShapeTheLine) {
    const FactCase& c = GetParam();
    const Plan plan = planCall(parseCall(c.in), c.source, {});
    ASSERT_EQ(plan.refusal, "");
    // Runs of two words each.
    const Args out = applyPlan(translateArguments(c.in), plan);
    std::string text;
    for (const auto& a : out) text += a + " ";
    for (size_t i = 0; i + 1 < c.present.size(); i += 2)
        EXPECT_TRUE(hasRun(out, {c.present[i], c.present[i + 1]}))
            << c.present[i] << " " << c.present[i + 1] << " in " << text;
    for (const auto& a : c.absent) EXPECT_EQ(std::count(out.begin(), out.end(), a), 0) << a;
}

const Args kSmartphone = {"-s",  "640x360", "-aspect", "16:9",  "-vcodec", "libx264",
                          "-b",  "1024k",   "-r",      "30",    "-acodec", "libfaac",
                          "-ab", "128k",    "-ar",     "44100", "-ac",     "2"};

const FactCase kFacts[] = {
    {"RecordingDateKept",
     line(kCopy, "/o/a.mp4"),
     dated(source("h264", "aac")),
     {"-metadata", "creation_time=2021-05-06T07:08:09.000000Z"}},
    {"AviKeepsTheDateInItsDateField",
     line({"-vcodec", "mpeg4", "-sameq", "-acodec", "mp2"}, "/o/a.avi"),
     dated(source("h264", "aac")),
     {"-metadata", "date=2021-05-06"}},
    {"NoDateNothingAdded", line(kCopy, "/o/a.mp4"), source("h264", "aac"), {}, {"-metadata"}},
    {"PortraitSourceTurnsTheChosenSize",
     line(kSmartphone, "/o/a.mp4"),
     turned(source("h264", "aac"), 90),
     {"-s", "360x640", "-aspect", "9:16"},
     {"640x360", "16:9"}},
    {"UpsideDownSourceKeepsTheChosenSize",
     line(kSmartphone, "/o/a.mp4"),
     turned(source("h264", "aac"), 180),
     {"-s", "640x360"}},
    {"PortraitSourceTurnsTheSizeAfterACrop",
     line({"-s", "640x360", "-vcodec", "mpeg4", "-sameq", "-croptop", "8", "-acodec", "mp2"},
          "/o/a.avi"),
     turned(source("h264", "aac"), 270),
     {"-vf", "crop=iw-0:ih-8:0:8,scale=360:640,scale=trunc(iw/2)*2:trunc(ih/2)*2"}},
    {"PortraitCopyLeftAsItIs",
     line(kCopy, "/o/a.mp4"),
     turned(source("h264", "aac"), 90),
     {},
     {"-s", "-vf"}},
    {"CoverOfASoundFileNeverAPictureTrack",
     line(kSmartphone, "/o/a.mp4"),
     cover(source("", "aac")),
     {"-vn", "/o/a.mp4"}},
    {"CoverCopiedIntoAviLeftOut",
     line(kCopy, "/o/a.avi"),
     cover(source("", "aac")),
     {"-vn", "/o/a.avi"}},
    {"CoverCopiedIntoMp4StaysTheCover",
     line(kCopy, "/o/a.mp4"),
     cover(source("", "aac")),
     {},
     {"-vn", "-map"}},
    {"PictureAndCoverTakesThePicture",
     line(kCopy, "/o/a.mkv"),
     cover(source("h264", "aac")),
     {"-map", "0:V:0?", "-map", "0:a:0?"},
     {"-vn"}},
    {"OneFrameASecondThroughTheFilter",
     line({"-s", "128x96", "-vcodec", "libx264", "-b", "48k", "-r", "1", "-acodec", "libmp3lame"},
          "/o/a.mp4"),
     source("h264", "aac"),
     {"-vf", "fps=1", "-b:v", "48k"},
     {"-r"}},
    {"AacCutIntoAviEncodedWithTheContainersCodec",
     line({"-ss", "00:00:01", "-t", "00:00:02", "-vcodec", "mpeg4", "-sameq", "-acodec", "copy"},
          "/o/a.avi"),
     source("h264", "aac"),
     {"-acodec", "mp2"}},
    {"AacCopiedWholeIntoAviStaysACopy",
     line({"-ss", "00:00:00", "-vcodec", "mpeg4", "-sameq", "-acodec", "copy"}, "/o/a.avi"),
     source("h264", "aac"),
     {"-acodec", "copy"}},
    {"FlvSoundAtAnFlvRate",
     line({"-vcodec", "flv", "-sameq", "-acodec", "libmp3lame"}, "/o/a.flv"),
     at8000(source("h263", "amr_nb")),
     {"-ar", "44100"}},
    {"FlvSoundAtAChosenRateLeftAlone",
     line({"-vcodec", "flv", "-sameq", "-acodec", "libmp3lame", "-ar", "48000"}, "/o/a.flv"),
     at8000(source("h263", "amr_nb")),
     {"-ar", "48000"},
     {"44100"}},
    {"FlvAacAtAnyRate",
     line({"-vcodec", "flv", "-sameq", "-acodec", "libfaac"}, "/o/a.flv"),
     at8000(source("h263", "amr_nb")),
     {},
     {"-ar"}},
    {"UsualRatesStayTheEncodersOwn",
     line(kSmartphone, "/o/a.mp4"),
     source("h264", "aac"),
     {"-r", "30"},
     {"fps=30"}},
};

INSTANTIATE_TEST_SUITE_P(Calls, SourceFacts, ::testing::ValuesIn(kFacts),
                         [](const auto& test) { return std::string(test.param.name); });

// The notes kept between calls carry what the source says about itself; notes of an older
// adapter, without it, make the source be read again.
TEST(SourceFacts, KeptInTheNotes) {
    Source s = turned(dated(cover(source("h264", "aac"))), 270);
    Source back;
    ASSERT_TRUE(sourceFromText(sourceToText(s), back));
    EXPECT_TRUE(back.hasCover);
    EXPECT_EQ(back.rotation, 270);
    EXPECT_EQ(back.creationTime, s.creationTime);
    EXPECT_EQ(back.videoCodec, "h264");
    s.packedSound = true;
    ASSERT_TRUE(sourceFromText(sourceToText(s), back));
    EXPECT_TRUE(back.packedSound);
    ASSERT_TRUE(sourceFromText(sourceToText(source("", "mp3")), back));
    EXPECT_EQ(back.creationTime, "");
    EXPECT_FALSE(sourceFromText("1 1 h264 640 360 0 1 aac 44100 2 10.000", back));
    EXPECT_FALSE(sourceFromText("1 1 h264 640 360 0 1 aac 44100 2 10.000 0 0 -", back));
}

TEST(SourceFacts, EveryConversionReadsTheSourceThumbnailsDoNot) {
    EXPECT_TRUE(readsSource(parseCall(line(kSmartphone, "/o/a.mp4"))));
    EXPECT_FALSE(readsSource(parseCall({"-i", "/v/a.avi", "-f", "image2", "-ss", "5", "-vframes",
                                        "1", "-s", "80x60", "-an", "/p/_thumb.jpg"})));
}

// A phone's packed AMR is read from its frames: the line gets them as a second input, and
// the picture stays the source's.
TEST(SourceFacts, PackedSoundReadFromItsFrames) {
    Source phone = source("h263", "amr_nb");
    phone.packedSound = true;
    const Args in = line(kCopy, "/o/a.3gp");
    const Plan plan = planCall(parseCall(in), phone, {});
    ASSERT_TRUE(plan.unpackSound);
    const Args out = withUnpackedSound(applyPlan(translateArguments(in), plan), "/c/raw.amr");
    EXPECT_TRUE(hasRun(out, {"-i", "/v/src", "-i", "/c/raw.amr"}));
    EXPECT_TRUE(hasRun(out, {"-map", "0:V:0?", "-map", "1:a:0", "/o/a.3gp"}));
    // Without the sound there is nothing to take out.
    EXPECT_FALSE(
        planCall(parseCall(line({"-vcodec", "copy", "-an"}, "/o/a.3gp")), phone, {}).unpackSound);
    // With a cover mapped, the sound's map moves to the frames.
    phone.hasCover = true;
    const Args mapped = withUnpackedSound(
        applyPlan(translateArguments(in), planCall(parseCall(in), phone, {})), "/c/raw.amr");
    EXPECT_TRUE(hasRun(mapped, {"-map", "1:a:0"}));
    EXPECT_EQ(std::count(mapped.begin(), mapped.end(), "-map"), 2);
}

TEST(SourceFacts, ASoundFilesCoverIsItsThumbnail) {
    const Args thumb = {"-i",       "/v/a.m4a", "-f", "image2", "-ss", "5",
                        "-vframes", "1",        "-s", "80x60",  "-an", "/p/_thumb.jpg"};
    EXPECT_EQ(planCall(parseCall(thumb), cover(source("", "aac")), {}).refusal, "");
    EXPECT_NE(planCall(parseCall(thumb), source("", "aac"), {}).refusal, "");
}

struct FallbackCase {
    const char* name;
    Args in;
    Source source;
    std::string error;
    bool unreadable;
    std::string codec;  // "" = no fallback
    bool video;
};

class CopyFallbacks : public ::testing::TestWithParam<FallbackCase> {};

// The encoder's own lines from copies it could not do, as they reach the adapter.
TEST_P(CopyFallbacks, OneStreamEncodedInstead) {
    const FallbackCase& c = GetParam();
    const StreamFallback f = copyFallback(parseCall(c.in), c.source, c.error, c.unreadable);
    EXPECT_EQ(f.codec, c.codec);
    if (c.codec.empty()) return;
    EXPECT_EQ(f.video, c.video);
    EXPECT_FALSE(f.note.empty());
    const Args again = withStreamEncoded(c.in, f);
    EXPECT_TRUE(hasRun(again, {c.video ? "-vcodec" : "-acodec", c.codec}));
    EXPECT_TRUE(hasRun(again, {c.video ? "-acodec" : "-vcodec", "copy"}));
    EXPECT_EQ(again.back(), c.in.back());
}

// Only copies known to end with 0 and an unreadable result are opened to look: opening
// every result would load the libraries for every copy.
TEST(CopyFallbacks, OnlyAc3CopiesIntoMp4AreLookedAt) {
    EXPECT_TRUE(copyMayNotReadBack(parseCall(line(kCopy, "/o/a.mp4")), source("", "ac3")));
    EXPECT_TRUE(copyMayNotReadBack(parseCall(line(kCopy, "/o/a.mov")), source("h264", "eac3")));
    EXPECT_FALSE(copyMayNotReadBack(parseCall(line(kCopy, "/o/a.mkv")), source("", "ac3")));
    EXPECT_FALSE(copyMayNotReadBack(parseCall(line(kCopy, "/o/a.mp4")), source("h264", "aac")));
    EXPECT_FALSE(copyMayNotReadBack(
        parseCall(line({"-vcodec", "copy", "-acodec", "libfaac"}, "/o/a.mp4")), source("", "ac3")));
}

const FallbackCase kFallbacks[] = {
    {"PackedAmrOutOf3gp", line(kCopy, "/o/a.3gp"), source("h263", "amr_nb"),
     "3gp: fatal error, input is not a single packet, implement a AVParser for it\n"
     "av_interleaved_write_frame(): Operation not permitted\n",
     false, "libfaac", false},
    {"Ac3WithoutItsHeaderIntoMp4", line(kCopy, "/o/a.mp4"), source("", "ac3"),
     "mp4: Cannot write moov atom before AC3 packets. Set the delay_moov flag to fix this.\n",
     false, "libfaac", false},
    {"UnreadableCopyRedoesTheSound", line(kCopy, "/o/a.mp4"), source("", "ac3"), "", true,
     "libfaac", false},
    {"PictureWithoutATag", line(kCopy, "/o/a.mp4"), source("h263", "aac"),
     "mp4: Could not find tag for codec h263 in stream #0, codec not currently supported in "
     "container\n",
     false, "libx264", true},
    {"SoundWithoutATagInAvi", line(kCopy, "/o/a.avi"), source("mpeg4", "opus"),
     "avi: Could not find tag for codec opus in stream #1, codec not currently supported in "
     "container\n",
     false, "mp2", false},
    {"OtherFailuresLeftAlone", line(kCopy, "/o/a.mp4"), source("h264", "aac"),
     "No space left on device\n", false, "", false},
    {"EncodedStreamNotTouched",
     line({"-vcodec", "copy", "-sameq", "-acodec", "libfaac"}, "/o/a.3gp"),
     source("h263", "amr_nb"), "3gp: fatal error, input is not a single packet\n", false, "",
     false},
    {"SwfHasNoSoundToGiveIt", line({"-vcodec", "flv", "-acodec", "copy"}, "/o/a.swf"),
     source("h264", "mp3"), "swf: input is not a single packet\n", false, "", false},
};

INSTANTIATE_TEST_SUITE_P(Errors, CopyFallbacks, ::testing::ValuesIn(kFallbacks),
                         [](const auto& test) { return std::string(test.param.name); });

}  // namespace
