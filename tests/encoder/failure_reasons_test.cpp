// The one table from the encoder's messages to the reasons a user reads, fed with what the
// installed encoder really says about inputs and destinations made here for the purpose.
#include "failure_reasons.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace qv::adapter;
using Args = std::vector<std::string>;

const std::string kEncoder = "/usr/bin/ffmpeg";

// Runs the installed encoder as the adapter does (errors only, stdin from the null device)
// and gives its error lines as the adapter keeps them.
std::vector<std::string> encoderLines(const Args& args) {
    Args full = {kEncoder, "-hide_banner", "-nostdin", "-nostats", "-loglevel", "error"};
    full.insert(full.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : full) argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2];
    if (::pipe(out) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 2);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    pid_t pid = -1;
    const int spawned =
        posix_spawn(&pid, kEncoder.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string text;
    char buf[4096];
    for (ssize_t n; spawned == 0 && (n = ::read(out[0], buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<size_t>(n));
    ::close(out[0]);
    int status = 0;
    if (spawned == 0) ::waitpid(pid, &status, 0);
    std::vector<std::string> lines;
    size_t from = 0;
    while (from < text.size()) {
        size_t end = text.find_first_of("\r\n", from);
        if (end == std::string::npos) end = text.size();
        if (std::string l = encoderLine(text.substr(from, end - from)); !l.empty())
            lines.push_back(l);
        from = end + 1;
    }
    return lines;
}

// A folder of crafted inputs, made once for every case.
class Inputs {
  public:
    Inputs() {
        char tmpl[] = "/tmp/qv_reasons_XXXXXX";
        if (::mkdtemp(tmpl)) dir_ = tmpl;
    }
    ~Inputs() {
        std::error_code ec;
        if (!dir_.empty()) fs::remove_all(dir_, ec);
    }
    Inputs(const Inputs&) = delete;
    Inputs& operator=(const Inputs&) = delete;

    std::string at(const std::string& name) const { return dir_ + "/" + name; }

    // name made by the encoder from the given arguments (inputs first), once.
    std::string made(const std::string& name, const Args& args) {
        const std::string p = at(name);
        if (!fs::exists(p)) {
            Args full = {"-y"};
            full.insert(full.end(), args.begin(), args.end());
            full.push_back(p);
            encoderLines(full);
        }
        return p;
    }
    std::string clip(const std::string& name, const std::string& video, const std::string& audio,
                     const Args& codecs) {
        Args a;
        if (!video.empty()) a.insert(a.end(), {"-f", "lavfi", "-i", video});
        if (!audio.empty()) a.insert(a.end(), {"-f", "lavfi", "-i", audio});
        a.insert(a.end(), codecs.begin(), codecs.end());
        a.push_back("-shortest");
        return made(name, a);
    }
    std::string bytes(const std::string& name, const std::string& content) const {
        std::ofstream(at(name), std::ios::binary | std::ios::trunc) << content;
        return at(name);
    }
    std::string read(const std::string& path) const {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

  private:
    std::string dir_;
};

Inputs& inputs() {
    static Inputs in;
    return in;
}

const std::string kPicture = "testsrc=size=160x120:rate=25:duration=2";
const std::string kSound = "sine=sample_rate=44100:duration=2";

// A clip that converts: MPEG-4 and MP2 in AVI.
std::string good() {
    return inputs().clip("good.avi", kPicture, kSound, {"-c:v", "mpeg4", "-c:a", "mp2"});
}

// A folder nobody may create files in: a locked one, or for the superuser (who passes every
// lock) one of the kernel's own ("Permission denied", or "Read-only file system" where it is
// mounted so).
std::string unwritableFolder() {
    const std::string locked = inputs().at("locked");
    fs::create_directories(locked);
    ::chmod(locked.c_str(), 0555);
    return ::geteuid() == 0 ? std::string("/sys/kernel") : locked;
}

struct Situation {
    const char* name;
    std::function<Args()> call;  // makes what it needs; the encoder's arguments
    CallFacts facts;
    Cause cause;
    Limit limit;
    std::vector<std::string> said;  // parts of the reason the user reads
};

CallFacts facts(const std::string& container, const std::string& video = "",
                const std::string& audio = "") {
    CallFacts f;
    f.container = container;
    f.videoEncoder = video;
    f.audioEncoder = audio;
    return f;
}

const Situation kSituations[] = {
    {"header-damaged Matroska",
     [] {
         std::string mkv = inputs().read(
             inputs().clip("good.mkv", kPicture, kSound, {"-c:v", "ffv1", "-c:a", "flac"}));
         for (size_t i = 4; i < 64 && i < mkv.size(); ++i) mkv[i] = '\xff';
         return Args{"-i", inputs().bytes("damaged.mkv", mkv), "-y", inputs().at("o1.avi")};
     },
     facts("avi"),
     Cause::DamagedSource,
     Limit::None,
     {"壊れている"}},
    {"truncated MP4",
     [] {
         const std::string mp4 = inputs().read(
             inputs().clip("good.mp4", kPicture, kSound, {"-c:v", "mpeg4", "-c:a", "aac"}));
         return Args{"-i", inputs().bytes("cut.mp4", mp4.substr(0, mp4.size() / 2)), "-y",
                     inputs().at("o2.avi")};
     },
     facts("avi"),
     Cause::DamagedSource,
     Limit::None,
     {"壊れている"}},
    {"tiny truncated AVI",
     [] {
         const std::string avi = inputs().read(good());
         return Args{"-i", inputs().bytes("cut.avi", avi.substr(0, 5000)), "-y",
                     inputs().at("o3.mp4")};
     },
     facts("mp4"),
     Cause::DamagedSource,
     Limit::None,
     {"動画や音声のファイルではありません"}},
    {"FLV without a frame",
     [] {
         return Args{"-i",
                     inputs().made("empty.flv", {"-f", "lavfi", "-i", kPicture, "-frames:v", "0",
                                                 "-c:v", "flv"}),
                     "-y", inputs().at("o4.avi")};
     },
     facts("avi"),
     Cause::NothingToConvert,
     Limit::None,
     {"変換できる映像も音声も含まれていません"}},
    {"picture disabled on a silent clip",
     [] {
         return Args{"-i",
                     inputs().clip("silent.avi", kPicture, "", {"-c:v", "mpeg4"}),
                     "-y",
                     "-vn",
                     "-acodec",
                     "mp2",
                     inputs().at("o5.avi")};
     },
     facts("avi", "", "mp2"),
     Cause::NothingToConvert,
     Limit::None,
     {"含まれていません"}},
    {"1x1 video without a frame, encoded",
     [] {
         return Args{"-i",
                     inputs().made("noframes.wmv",
                                   {"-f", "lavfi", "-i", "color=size=16x16", "-vf", "scale=1:1",
                                    "-frames:v", "0", "-c:v", "mjpeg", "-f", "asf"}),
                     "-y",
                     "-vcodec",
                     "mpeg4",
                     inputs().at("o6.avi")};
     },
     facts("avi", "mpeg4"),
     Cause::NothingToConvert,
     Limit::None,
     {"含まれていません"}},
    {"Motion JPEG copied into M4A",
     [] {
         return Args{
             "-i",   inputs().clip("mjpeg.avi", kPicture, kSound, {"-c:v", "mjpeg", "-c:a", "aac"}),
             "-y",   "-vcodec",
             "copy", "-acodec",
             "copy", inputs().at("o7.m4a")};
     },
     facts("m4a", "copy", "copy"),
     Cause::ContainerCannotHold,
     Limit::None,
     {"M4A 形式には MJPEG を入れられません", "形式を選ぶか"}},
    {"FLAC copied into MP4",
     [] {
         return Args{"-i",   inputs().clip("sound.flac", "", kSound, {"-c:a", "flac"}),
                     "-y",   "-acodec",
                     "copy", inputs().at("o8.mp4")};
     },
     facts("mp4", "", "copy"),
     Cause::ContainerCannotHold,
     Limit::None,
     {"MP4 形式には FLAC を入れられません"}},
    {"slide show with MP3 into SWF",
     [] {
         return Args{
             "-i",
             inputs().clip("slides.avi", "testsrc=size=160x120:rate=0.2:duration=20",
                           "sine=sample_rate=44100:duration=20", {"-c:v", "mpeg4", "-c:a", "mp2"}),
             "-y",
             "-vcodec",
             "flv",
             "-acodec",
             "libmp3lame",
             "-b:a",
             "320k",
             inputs().at("o9.swf")};
     },
     facts("swf", "flv", "libmp3lame"),
     Cause::ContainerCannotHold,
     Limit::None,
     {"SWF 形式には", "FLV と LIBMP3LAME"}},
    {"H.264 into WebM",
     [] {
         return Args{"-i",       good(),    "-y",
                     "-an",      "-vcodec", "libx264",
                     "-pix_fmt", "yuv420p", inputs().at("o10.webm")};
     },
     facts("webm", "libx264"),
     Cause::ContainerCannotHold,
     Limit::None,
     {"WEBM 形式には LIBX264 を入れられません"}},
    {"H.263+ at 322x242",
     [] {
         return Args{"-i",    good(),    "-y",
                     "-s",    "322x242", "-vcodec",
                     "h263p", "-an",     inputs().at("o11.avi")};
     },
     [] {
         CallFacts f = facts("avi", "h263p");
         f.size = "322x242";
         return f;
     }(),
     Cause::EncoderLimit,
     Limit::FrameSize,
     {"H263P", "322x242", "「ｻｲｽﾞ」"}},
    {"WMV2 at 321x241",
     [] {
         return Args{
             "-i", good(), "-y", "-s", "321x241", "-vcodec", "wmv2", "-an", inputs().at("o12.wmv")};
     },
     facts("wmv", "wmv2"),
     Cause::EncoderLimit,
     Limit::FrameSize,
     {"WMV2", "「ｻｲｽﾞ」"}},
    {"H.264 at 321x241",
     [] {
         return Args{"-i",      good(),    "-y",
                     "-s",      "321x241", "-vcodec",
                     "libx264", "-an",     inputs().at("o13.mp4")};
     },
     facts("mp4", "libx264"),
     Cause::EncoderLimit,
     Limit::FrameSize,
     {"LIBX264", "「ｻｲｽﾞ」"}},
    {"H.263 at 320x240",
     [] {
         return Args{
             "-i", good(), "-y", "-s", "320x240", "-vcodec", "h263", "-an", inputs().at("o14.3gp")};
     },
     facts("3gp", "h263"),
     Cause::EncoderLimit,
     Limit::FrameSize,
     {"H263", "「ｻｲｽﾞ」"}},
    {"MPEG-1 at 12 fps",
     [] {
         return Args{"-i",      good(),       "-y",
                     "-vcodec", "mpeg1video", "-r",
                     "12",      "-an",        inputs().at("o15.mpg")};
     },
     [] {
         CallFacts f = facts("mpg", "mpeg1video");
         f.frameRate = "12";
         return f;
     }(),
     Cause::EncoderLimit,
     Limit::FrameRate,
     {"MPEG1VIDEO", "12fps", "「ﾌﾚｰﾑﾚｰﾄ」"}},
    {"MP2 at 8000 Hz",
     [] {
         return Args{
             "-i", good(), "-y", "-vn", "-acodec", "mp2", "-ar", "8000", inputs().at("o16.avi")};
     },
     [] {
         CallFacts f = facts("avi", "", "mp2");
         f.sampleRate = "8000";
         return f;
     }(),
     Cause::EncoderLimit,
     Limit::SampleRate,
     {"MP2", "8000Hz", "「ｻﾝﾌﾟﾙﾚｰﾄ」"}},
    {"ADPCM_SWF at 48000 Hz",
     [] {
         return Args{"-i",  good(),    "-y",
                     "-vn", "-acodec", "adpcm_swf",
                     "-ar", "48000",   inputs().at("o17.flv")};
     },
     facts("flv", "", "adpcm_swf"),
     Cause::EncoderLimit,
     Limit::SampleRate,
     {"ADPCM_SWF"}},
    {"GSM in stereo",
     [] {
         return Args{"-i",
                     good(),
                     "-y",
                     "-vn",
                     "-acodec",
                     "libgsm",
                     "-ar",
                     "8000",
                     "-ac",
                     "2",
                     inputs().at("o18.mov")};
     },
     facts("mov", "", "libgsm"),
     Cause::EncoderLimit,
     Limit::Channels,
     {"LIBGSM", "「ﾁｬﾝﾈﾙ」"}},
    {"G.726 in stereo",
     [] {
         return Args{"-i",
                     good(),
                     "-y",
                     "-vn",
                     "-acodec",
                     "g726",
                     "-ar",
                     "8000",
                     "-ac",
                     "2",
                     inputs().at("o19.avi")};
     },
     facts("avi", "", "g726"),
     Cause::EncoderLimit,
     Limit::Channels,
     {"G726", "「ﾁｬﾝﾈﾙ」"}},
    {"full disk",
     [] {
         const std::string full = inputs().at("full.avi");
         fs::remove(full);
         fs::create_symlink("/dev/full", full);
         return Args{"-i", good(), "-y", "-c", "copy", full};
     },
     facts("avi", "copy", "copy"),
     Cause::DiskFull,
     Limit::None,
     {"ディスクがいっぱい"}},
    {"folder that cannot be written",
     [] { return Args{"-i", good(), "-y", "-c", "copy", unwritableFolder() + "/o21.avi"}; },
     facts("avi", "copy", "copy"),
     Cause::CannotWrite,
     Limit::None,
     {"フォルダに書き込めません"}},
    {"folder that is not there",
     [] { return Args{"-i", good(), "-y", "-c", "copy", inputs().at("gone/o22.avi")}; },
     facts("avi", "copy", "copy"),
     Cause::CannotWrite,
     Limit::None,
     {"フォルダに書き込めません"}},
};

class EncoderMessages : public ::testing::TestWithParam<Situation> {};

TEST_P(EncoderMessages, BecomeOneJapaneseReason) {
    const Situation& s = GetParam();
    const Args call = s.call();
    CallFacts f = s.facts;
    f.destination = call.back();
    // Some of them end with 0 all the same (a full disk at the end of the result).
    const std::vector<std::string> lines = encoderLines(call);
    ASSERT_FALSE(lines.empty()) << s.name;

    // One line of them shows the cause.
    bool shown = false;
    for (const std::string& l : lines) {
        const EncoderMessage m = classifyEncoderLine(l, f);
        shown = shown || (m.cause == s.cause && m.limit == s.limit);
    }
    std::string all;
    for (const std::string& l : lines) all += l + "\n";
    EXPECT_TRUE(shown) << all;

    const std::string reason = reasonForEncoderFailure(lines, f, false);
    for (const std::string& part : s.said)
        EXPECT_NE(reason.find(part), std::string::npos) << reason << "\n" << all;
    // The encoder's own words stay in the log.
    for (const std::string& l : lines) EXPECT_EQ(reason.find(l), std::string::npos) << reason;
}

INSTANTIATE_TEST_SUITE_P(CraftedInputs, EncoderMessages, ::testing::ValuesIn(kSituations),
                         [](const ::testing::TestParamInfo<Situation>& row) {
                             std::string n;
                             for (const char* c = row.param.name; *c; ++c)
                                 n += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             return n;
                         });

TEST(EncoderMessages, AMissingSourceIsNotTheDestinationsFault) {
    const std::string gone = inputs().at("no_such_source.avi");
    const std::vector<std::string> lines =
        encoderLines({"-i", gone, "-y", "-c", "copy", inputs().at("o23.avi")});
    ASSERT_FALSE(lines.empty());
    CallFacts f = facts("avi", "copy", "copy");
    f.destination = inputs().at("o23.avi");
    EXPECT_EQ(reasonForEncoderFailure(lines, f, false), kEncoderFailedReason);
    // Nor is an encoder that cannot be started.
    EXPECT_EQ(
        reasonForEncoderFailure(
            {"エンコーダを起動できません: /usr/bin/ffmpeg: No such file or directory"}, f, false),
        kEncoderFailedReason);
}

// A container its rules say holds the codec, yet the encoder says it does not: the line is
// about something else (here a cover picture turned into a second picture stream).
TEST(EncoderMessages, ACodecTheContainerHoldsIsNotBlamed) {
    const std::string cover = inputs().made(
        "cover.png", {"-f", "lavfi", "-i", "color=c=red:size=300x300", "-frames:v", "1"});
    const std::string podcast = inputs().made(
        "podcast.m4a", {"-f", "lavfi", "-i", kSound, "-i", cover, "-map", "0", "-map", "1", "-c:a",
                        "aac", "-c:v", "png", "-disposition:v", "attached_pic"});
    const std::vector<std::string> lines =
        encoderLines({"-i", podcast, "-y", "-vcodec", "libx264", "-pix_fmt", "yuv420p", "-acodec",
                      "aac", inputs().at("o24.mp4")});
    bool named = false;
    for (const std::string& l : lines) named = named || classifyEncoderLine(l, {}).codec == "h264";
    ASSERT_TRUE(named) << (lines.empty() ? "" : lines.back());
    EXPECT_EQ(reasonForEncoderFailure(lines, facts("mp4", "libx264", "aac"), false),
              kEncoderFailedReason);
}

TEST(EncoderMessages, TheWorstCauseWinsAndAStopIsAStop) {
    const std::vector<std::string> lines = {"Invalid data found when processing input",
                                            "av_interleaved_write_frame(): No space left on device",
                                            "Conversion failed!"};
    EXPECT_NE(reasonForEncoderFailure(lines, facts("avi"), false).find("ディスクがいっぱい"),
              std::string::npos);
    EXPECT_EQ(reasonForEncoderFailure(lines, facts("avi"), true), kStoppedReason);
    EXPECT_EQ(reasonForEncoderFailure({"Conversion failed!"}, facts("avi"), false),
              kEncoderFailedReason);
}

TEST(EncoderMessages, LinesAreKeptWithoutTheContextAddress) {
    EXPECT_EQ(encoderLine("  [mp4 @ 0x55d1c0] could not write \r"), "mp4: could not write");
    EXPECT_EQ(encoderLine("[in] not a context"), "[in] not a context");
    EXPECT_EQ(encoderLine(" \t "), "");
}

// Every sentence of the fixed set is the interface's language, and says what to do.
TEST(FailureReasons, EverySentenceIsJapanese) {
    std::vector<std::string> all = {kEncoderFailedReason, kStoppedReason};
    for (Nothing n :
         {Nothing::InSource, Nothing::NoSoundLeft, Nothing::NoPictureLeft, Nothing::BothDisabled,
          Nothing::RangeAfterTheEnd, Nothing::EmptyRange, Nothing::TwoPassWithoutPicture})
        all.push_back(nothingToConvertReason(n, 12.5));
    for (Fault f :
         {Fault::WillNotOpen, Fault::Empty, Fault::NoPicture, Fault::NoSound, Fault::ReadingStops,
          Fault::PictureDoesNotDecode, Fault::SoundDoesNotDecode, Fault::TooLong, Fault::TooShort})
        all.push_back(failedCheckReason(f, 12.0, 10.0));
    for (const std::string& s : all) {
        EXPECT_TRUE(std::any_of(s.begin(), s.end(), [](char c) { return c & 0x80; })) << s;
        EXPECT_EQ(s.find('\n'), std::string::npos) << s;
    }
    EXPECT_EQ(nothingToConvertReason(Nothing::InSource), "変換できる映像も音声も含まれていません");
    EXPECT_NE(failedCheckReason(Fault::TooLong, 12.0, 10.0).find("12.0 秒"), std::string::npos);
    EXPECT_NE(nothingToConvertReason(Nothing::RangeAfterTheEnd, 12.5).find("12.5 秒"),
              std::string::npos);
}

}  // namespace
