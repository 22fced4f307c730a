// What the source says about itself: read once, kept in the notes between calls.
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
Source dated(Source s) {
    s.creationTime = "2021-05-06T07:08:09.000000Z";
    return s;
}

const Args kSmartphone = {"-s",  "640x360", "-aspect", "16:9",  "-vcodec", "libx264",
                          "-b",  "1024k",   "-r",      "30",    "-acodec", "libfaac",
                          "-ab", "128k",    "-ar",     "44100", "-ac",     "2"};

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
    ASSERT_TRUE(sourceFromText(sourceToText(source("", "mp3")), back));
    EXPECT_EQ(back.creationTime, "");
    EXPECT_FALSE(sourceFromText("1 1 h264 640 360 0 1 aac 44100 2 10.000", back));
}

TEST(SourceFacts, EveryConversionReadsTheSourceThumbnailsDoNot) {
    EXPECT_TRUE(readsSource(parseCall(line(kSmartphone, "/o/a.mp4"))));
    EXPECT_FALSE(readsSource(parseCall({"-i", "/v/a.avi", "-f", "image2", "-ss", "5", "-vframes",
                                        "1", "-s", "80x60", "-an", "/p/_thumb.jpg"})));
}

}  // namespace
