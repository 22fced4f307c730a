#include "rules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "base/text.h"
#include "translate.h"

namespace qv::adapter {

namespace {

std::string upperName(const std::string& s) {
    std::string u = s;
    for (char& c : u)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return u;
}

bool isOneOf(std::string_view s, std::initializer_list<std::string_view> list) {
    return std::find(list.begin(), list.end(), s) != list.end();
}

// The codec an encoder of the line produces, named as a probe names it.
std::string codecOfEncoder(const std::string& e) {
    if (e == "libx264") return "h264";
    if (e == "libx265") return "hevc";
    if (e == "libvpx-vp9") return "vp9";
    if (e == "libsvtav1") return "av1";
    if (e == "libopus") return "opus";
    if (e == "libxvid") return "mpeg4";
    if (e == "libtheora") return "theora";
    if (e == "flv") return "flv1";
    if (e == "msmpeg4") return "msmpeg4v3";
    if (e == "libmp3lame") return "mp3";
    if (e == "libvorbis") return "vorbis";
    if (e == "libgsm") return "gsm";
    if (e == "libgsm_ms") return "gsm_ms";
    if (e == "g726") return "adpcm_g726";
    if (e == "libopencore_amrnb") return "amr_nb";
    if (e == "libvo_amrwbenc") return "amr_wb";
    return e;
}

// The codecs a result of each container row holds so that it plays back whole, measured
// on the installed build. A codec not listed is refused before anything is written.
struct Holds {
    std::string_view ext;
    std::initializer_list<std::string_view> video, audio;
};

const Holds kContainers[] = {
    {"avi",
     {"asv1",  "asv2",      "dvvideo",   "ffv1",     "ffvhuff", "flv1",       "h263",
      "h263p", "h264",      "huffyuv",   "jpegls",   "mjpeg",   "mpeg1video", "mpeg2video",
      "mpeg4", "msmpeg4v2", "msmpeg4v3", "rawvideo", "snow",    "wmv1",       "wmv2",
      "zlib",  "zmbv",      "theora",    "vp8"},
     // Its ADPCM and GSM blocks come back half as long again.
     {"aac", "ac3", "adpcm_swf", "flac", "adpcm_g726", "mp2", "mp3", "pcm_alaw", "pcm_mulaw",
      "pcm_s16le", "pcm_s24le", "pcm_s32le", "pcm_u8", "wmav1", "wmav2"}},
    {"mpg", {"mpeg1video", "mpeg2video", "h264"}, {"mp2", "mp3", "ac3", "pcm_s16be"}},
    {"m2p", {"mpeg1video", "mpeg2video", "h264"}, {"mp2", "mp3", "ac3", "pcm_s16be"}},
    {"mp4",
     {"h264", "mpeg4", "mpeg1video", "mpeg2video", "mjpeg", "h263", "hevc", "av1"},
     {"aac", "ac3", "mp2", "mp3", "flac", "opus"}},
    {"3gp", {"h264", "mpeg4", "h263"}, {"aac", "amr_nb", "amr_wb"}},
    {"wmv",
     {"wmv1", "wmv2", "mpeg4", "msmpeg4v2", "msmpeg4v3", "h264", "mpeg1video", "mpeg2video",
      "mjpeg"},
     {"wmav1", "wmav2", "mp3", "mp2", "ac3", "aac", "pcm_s16le", "adpcm_ms", "adpcm_ima_wav",
      "adpcm_yamaha", "gsm_ms", "pcm_alaw", "pcm_mulaw"}},
    {"asf",
     {"wmv1", "wmv2", "mpeg4", "msmpeg4v2", "msmpeg4v3", "h264", "mpeg1video", "mpeg2video",
      "mjpeg"},
     {"wmav1", "wmav2", "mp3", "mp2", "ac3", "aac", "pcm_s16le", "adpcm_ms", "adpcm_ima_wav",
      "adpcm_yamaha", "gsm_ms", "pcm_alaw", "pcm_mulaw"}},
    {"mov",
     {"h264",    "mpeg4",    "svq1", "qtrle",     "mjpeg",     "mpeg1video", "mpeg2video", "h263",
      "dvvideo", "rawvideo", "ffv1", "huffyuv",   "ffvhuff",   "jpegls",     "zlib",       "zmbv",
      "asv1",    "asv2",     "snow", "msmpeg4v2", "msmpeg4v3", "wmv1",       "wmv2",       "flv1"},
     {"aac",          "ac3",       "mp2",       "mp3",       "adpcm_ima_qt", "pcm_alaw",
      "pcm_mulaw",    "pcm_s8",    "pcm_s16be", "pcm_s16le", "pcm_s24be",    "pcm_s24le",
      "pcm_s32be",    "pcm_s32le", "pcm_u8",    "flac",      "adpcm_ms",     "adpcm_ima_wav",
      "adpcm_yamaha", "gsm",       "adpcm_g726"}},
    {"rm", {"rv10", "rv20"}, {"ac3"}},
    {"ogm", {"theora", "vp8"}, {"vorbis", "flac", "opus"}},
    {"flv", {"flv1", "h264", "flashsv"}, {"mp3", "aac", "adpcm_swf", "pcm_s16le", "pcm_u8"}},
    // Its MP3 comes back a tenth longer than it went in.
    {"swf", {"flv1", "flashsv", "mjpeg"}, {}},
    // Matroska holds every codec of the lists and has no row here.
    {"webm", {"vp9", "av1", "vp8"}, {"opus", "vorbis"}},
};

// Encoders of the lists whose result plays in none of the containers, and why.
std::string neverPlayable(const std::string& e) {
    if (e == "h261")
        return "H261 の結果はインストールされた FFmpeg "
               "で読むと必ず最初のフレームでエラーになります";
    if (e == "roqvideo" || e == "roq_dpcm")
        return upperName(e) + " を入れられるのは RoQ 形式だけで、一覧の形式には入れられません";
    if (e == "adpcm_adx" || e == "adpcm_ima_ws" || e == "pcm_s24daud")
        return upperName(e) + " を入れられる形式が一覧にありません";
    if (e == "sonic" || e == "sonicls")
        return upperName(e) + " は一覧の形式に入れると長さが正しく読み戻せません";
    return {};
}

const Holds* containerOf(const std::string& ext) {
    for (const Holds& h : kContainers)
        if (h.ext == ext) return &h;
    return nullptr;
}

bool holds(std::initializer_list<std::string_view> list, const std::string& codec) {
    return isOneOf(codec, list);
}

// Codecs that take only frame sizes divisible by this.
int sizeStep(const std::string& e) {
    if (isOneOf(e, {"asv1", "asv2", "roqvideo", "rv10", "rv20", "svq1"})) return 16;
    if (e == "h263p") return 4;
    if (isOneOf(e, {"ffv1", "jpegls", "rawvideo", "qtrle", "flashsv", "zmbv"})) return 1;
    return 2;
}

bool standardH263Size(const std::string& s) {
    return isOneOf(s, {"128x96", "176x144", "352x288", "704x576", "1408x1152"});
}

// Sound encoders of the list that take one or two channels only (and do not say so to
// the encoder's channel negotiation).
bool atMostStereo(const std::string& e) {
    return isOneOf(e,
                   {"wmav1", "wmav2", "adpcm_swf", "adpcm_ima_qt", "adpcm_ms", "adpcm_yamaha",
                    "adpcm_ima_wav", "adpcm_ima_ws", "adpcm_adx", "sonic", "sonicls", "roq_dpcm"});
}

bool parseQuality(const std::string& s, int& out) {
    if (s.empty() || s.size() > 3 || s.find_first_not_of("0123456789") != std::string::npos)
        return false;
    out = std::atoi(s.c_str());
    return true;
}

std::string seconds(double s) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", s < 0 ? 0.0 : s);
    return buf;
}

// Codecs with a two-pass mode that need a rate rather than a quality for it.
bool rateForTwoPass(const std::string& e) {
    return !isOneOf(e, {"", "copy", "ffv1", "huffyuv", "ffvhuff", "rawvideo", "qtrle", "zlib",
                        "zmbv", "flashsv", "jpegls", "dvvideo", "asv1", "asv2"});
}

// Today's encoders: a quality row becomes a constant-quality encode on the encoder's own
// scale, and each runs at a speed that keeps a preview within a few times MPEG-4's.
struct QualityScale {
    std::string_view encoder;
    int lowest, highest;  // the encoder's CRF range, lower is better
    std::initializer_list<std::string_view> speed;
    // The row read as MPEG-4's quantiser step: six CRF steps double the step, from `lowest`
    // at row 1. Otherwise the rows spread linearly over the whole range.
    bool quantiserStep = false;
};

const QualityScale kQualityScales[] = {
    // 6 + 6*log2(row) gives about MPEG-4's PSNR at that qscale (measured on 720p detail,
    // rows 2 to 31); the whole range gave row 11 a rate x265 codes too slowly for a preview.
    {"libx265", 6, 51, {"-preset", "ultrafast", "-x265-params", "log-level=error"}, true},
    {"libvpx-vp9", 0, 63, {"-deadline", "realtime", "-cpu-used", "8", "-row-mt", "1"}},
    {"libsvtav1", 1, 63, {"-preset", "12"}},
};

const QualityScale* qualityScaleOf(const std::string& e) {
    for (const QualityScale& q : kQualityScales)
        if (q.encoder == e) return &q;
    return nullptr;
}

}  // namespace

int crfForQuality(std::string_view encoder, int quality) {
    const QualityScale* q = qualityScaleOf(std::string(encoder));
    if (!q) return -1;
    quality = std::clamp(quality, 1, 31);
    if (q->quantiserStep) {
        // Past row 12 the curve climbs less than a step a row: each row still takes one more.
        int crf = q->lowest;
        for (int row = 2; row <= quality; ++row)
            crf = std::max(crf + 1, static_cast<int>(std::lround(q->lowest + 6 * std::log2(row))));
        return std::min(crf, q->highest);
    }
    // 1..31 onto the whole range, rounded to the nearest step.
    return q->lowest + ((quality - 1) * (q->highest - q->lowest) + 15) / 30;
}

double parseTime(const std::string& t) {
    if (t.empty()) return -1;
    double total = 0;
    size_t begin = 0;
    int parts = 0;
    for (;;) {
        size_t colon = t.find(':', begin);
        const std::string part =
            t.substr(begin, colon == std::string::npos ? std::string::npos : colon - begin);
        if (part.empty() || part.find_first_not_of("0123456789.") != std::string::npos) return -1;
        total = total * 60 + std::atof(part.c_str());
        if (++parts > 3) return -1;
        if (colon == std::string::npos) break;
        begin = colon + 1;
    }
    return total;
}

Call parseCall(const std::vector<std::string>& args) {
    Call c;
    const int out = outputIndex(args);
    if (out >= 0) c.output = args[static_cast<size_t>(out)];
    size_t slash = c.output.find_last_of('/'), dot = c.output.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        c.ext = lowerAscii(c.output.substr(dot + 1));
    for (size_t i = 0; i < args.size() && static_cast<int>(i) != out; ++i) {
        const std::string& a = args[i];
        if (a == "-vn") c.noVideo = true;
        if (a == "-an") c.noAudio = true;
        if (!takesValue(a) || i + 1 >= args.size()) continue;
        const std::string& v = args[++i];
        if (a == "-i") c.input = v;
        if (a == "-vcodec") c.videoCodec = v;
        if (a == "-acodec") {
            // The experimental native Vorbis encoder gives way to libvorbis (see the plan).
            c.audioCodec = v == "vorbis" ? "libvorbis" : audioCodecName(v);
        }
        if (a == "-s") c.size = v;
        if (a == "-r") c.frameRate = v;
        if (a == "-ar") c.sampleRate = v;
        if (a == "-ac") c.channels = v;
        if (a == "-b" && v != "k") c.bitRate = v;
        if (a == "-qscale") c.quality = v;
        if (a == "-pass") c.pass = v == "1" ? 1 : v == "2" ? 2 : 0;
        if (a == "-f" && v == "image2") c.thumbnail = true;
        if (a == "-ss" && c.rangeStart.empty()) c.rangeStart = v;
        if (a == "-t") {
            if (c.lengthCount++ == 0) c.rangeLength = v;
            c.lastLength = v;
        }
        if (a.rfind("-crop", 0) == 0 && v != "0") c.hasCrop = true;
    }
    return c;
}

bool needsSource(const Call& c) {
    if (c.output.empty() || c.input.empty()) return false;
    if (c.thumbnail) return false;  // asked only when the usual moment gives no picture
    const Holds* h = containerOf(c.ext);
    if (h) {
        if (!c.noVideo && c.videoCodec == "copy") return true;
        if (!c.noAudio && c.audioCodec == "copy") return true;
    }
    // A two-pass rate taken from the source is chosen in pass 1 and kept for pass 2.
    return c.pass == 1 && c.bitRate.empty() && rateForTwoPass(c.videoCodec);
}

Plan planCall(const Call& c, const Source& s, const PassNotes& notes) {
    Plan p;
    if (c.output.empty()) return p;

    if (c.thumbnail) {
        if (s.known && !s.hasVideo) {
            p.refusal = "映像のないファイルなのでサムネイルは作れません";
            return p;
        }
        // A source shorter than the usual moment gives a frame from near its end.
        if (s.known && s.duration > 0 && s.duration < 5.5) {
            p.removeOptions = {"-ss"};
            p.extra = {"-ss", seconds(s.duration > 1 ? s.duration - 0.5 : s.duration / 2)};
        }
        return p;
    }

    const Holds* h = containerOf(c.ext);
    const std::string video = c.noVideo ? "" : c.videoCodec;
    const std::string audio = c.noAudio ? "" : c.audioCodec;
    const std::string container = upperName(c.ext);

    for (const std::string& e : {video, audio}) {
        if (std::string why = neverPlayable(e); !why.empty()) {
            p.refusal = why;
            return p;
        }
    }
    if (h) {
        if (!video.empty() && video != "copy" && !holds(h->video, codecOfEncoder(video))) {
            p.refusal =
                container + " 形式には映像コーデック " + upperName(video) + " を入れられません";
            return p;
        }
        if (!audio.empty() && audio != "copy" && !holds(h->audio, codecOfEncoder(audio))) {
            p.refusal =
                container + " 形式には音声コーデック " + upperName(audio) + " を入れられません";
            return p;
        }
        if (s.known && video == "copy" && s.hasVideo && !holds(h->video, s.videoCodec)) {
            p.refusal = container + " 形式には元の映像 (" + s.videoCodec +
                        ") をそのまま入れられません。映像コーデックを選んでください";
            return p;
        }
        if (s.known && audio == "copy" && s.hasAudio && !holds(h->audio, s.audioCodec)) {
            p.refusal = container + " 形式には元の音声 (" + s.audioCodec +
                        ") をそのまま入れられません。音声コーデックを選んでください";
            return p;
        }
        if (s.known && video == "copy" && s.videoCodec == "h264" &&
            isOneOf(c.ext, {"avi", "mpg", "m2p"}))
            p.extra.insert(p.extra.end(), {"-bsf:v", "h264_mp4toannexb"});
    }

    // Frame sizes and formats the encoders need.
    if (!video.empty() && video != "copy") {
        if (video == "h261" || video == "h263") {
            const bool h261 = video == "h261";
            if (!c.size.empty() &&
                !(h261 ? isOneOf(c.size, {"176x144", "352x288"}) : standardH263Size(c.size))) {
                p.refusal =
                    upperName(video) + " は " +
                    (h261 ? "176x144 か 352x288" : "128x96/176x144/352x288/704x576/1408x1152") +
                    " の大きさしか扱えません";
                return p;
            }
            if (c.size.empty() || c.hasCrop)
                p.videoFilter =
                    h261 ? "scale=w='if(gte(iw,352),352,176)':h=ow*9/11"
                         : "scale=w='if(gte(iw,704),704,if(gte(iw,352),352,176))':h=ow*9/11";
        } else if (video == "dvvideo") {
            const bool ntsc = c.frameRate == "29.97" || c.frameRate == "30";
            const std::string size = ntsc ? "720x480" : "720x576";
            if (!c.size.empty() && c.size != size) {
                p.refusal = "DV は " + size + " の大きさしか扱えません";
                return p;
            }
            p.videoFilter = "scale=" + std::string(ntsc ? "720:480" : "720:576");
            if (c.frameRate.empty())
                p.extra.insert(p.extra.end(), {"-r", ntsc ? "30000/1001" : "25"});
            p.extra.insert(p.extra.end(), {"-pix_fmt", ntsc ? "yuv411p" : "yuv420p"});
        } else if (const int step = sizeStep(video); step > 1 && (c.size.empty() || c.hasCrop)) {
            const std::string n = std::to_string(step);
            p.videoFilter = "scale=trunc(iw/" + n + ")*" + n + ":trunc(ih/" + n + ")*" + n;
            // H.263+ writes the pixel shape in bytes: a shape only near square after the
            // rounding would come back as a broken first frame.
            if (video == "h263p") p.videoFilter += ",setsar=r=sar:max=255";
        }
        if (video == "libx264") {
            p.extra.insert(p.extra.end(), {"-pix_fmt", "yuv420p"});
            p.bitexactPictureOnly = isOneOf(c.ext, {"mkv", "webm"});
        }
        if (const QualityScale* q = qualityScaleOf(video)) {
            // Its real-time mode keeps no statistics for a second pass.
            if (video == "libvpx-vp9" && c.pass != 0)
                p.extra.insert(p.extra.end(),
                               {"-deadline", "good", "-cpu-used", "5", "-row-mt", "1"});
            else
                p.extra.insert(p.extra.end(), q->speed.begin(), q->speed.end());
            p.extra.insert(p.extra.end(), {"-pix_fmt", "yuv420p"});
            p.bitexactPictureOnly = isOneOf(c.ext, {"mkv", "webm"});
            int quality = 0;
            if (parseQuality(c.quality, quality)) {
                p.removeOptions.push_back("-q:v");
                p.extra.insert(p.extra.end(),
                               {"-crf", std::to_string(crfForQuality(video, quality))});
                // Without a rate of its own the encoder would aim at its default rate as a cap.
                if (video == "libvpx-vp9" && c.bitRate.empty())
                    p.extra.insert(p.extra.end(), {"-b:v", "0"});
            }
            if (c.pass != 0 && video != "libvpx-vp9") {
                p.refusal = upperName(video) +
                            " は 2パスエンコードに対応していません。2ﾊﾟｽｴﾝｺｰﾄﾞを外してください";
                return p;
            }
        }
        if (video == "zlib") p.extra.insert(p.extra.end(), {"-pix_fmt", "bgr24"});
        // RealMedia's millisecond clock gives NTSC rates' frames the same time stamp.
        if ((video == "rv10" || video == "rv20") && c.frameRate.empty())
            p.extra.insert(p.extra.end(), {"-r", "25"});
    }

    // Sound the encoders need.
    if (!audio.empty() && audio != "copy") {
        if (isOneOf(audio, {"libgsm", "libgsm_ms", "g726"})) {
            if (!c.sampleRate.empty() && c.sampleRate != "8000") {
                p.refusal = upperName(audio) + " は 8000Hz の音声しか扱えません";
                return p;
            }
            if (c.sampleRate.empty()) p.extra.insert(p.extra.end(), {"-ar", "8000"});
            if (c.channels.empty()) p.extra.insert(p.extra.end(), {"-ac", "1"});
        } else if (audio == "adpcm_swf" && c.sampleRate.empty()) {
            p.extra.insert(p.extra.end(), {"-ar", "44100"});
        } else if (audio == "libopus" && !c.sampleRate.empty() &&
                   !isOneOf(c.sampleRate, {"8000", "12000", "16000", "24000", "48000"})) {
            p.refusal = "LIBOPUS は 8000Hz/16000Hz/24000Hz/48000Hz の音声しか扱えません";
            return p;
        } else if (audio == "roq_dpcm" && c.sampleRate.empty()) {
            p.extra.insert(p.extra.end(), {"-ar", "22050"});
        }
        // Five-point-one comes down to stereo; mono stays mono.
        if (c.channels.empty() && atMostStereo(audio))
            p.audioFilter = "aformat=channel_layouts=mono|stereo";
        // Its surround mapping takes the usual layouts only: 5.1 with side speakers becomes 5.1.
        if (c.channels.empty() && audio == "libopus")
            p.audioFilter = "aformat=channel_layouts=mono|stereo|3.0|quad|5.0|5.1|6.1|7.1";
        if (audio == "libvorbis") p.audioEncoder = "libvorbis";
    }

    // Two-pass: both passes see the same range and the same rate.
    if (c.pass != 0 && !video.empty() && video != "copy") {
        PassNotes use = notes;
        if (c.pass == 1) {
            use.present = true;
            use.rangeStart = c.rangeStart;
            use.rangeLength = c.rangeLength;
            if (c.bitRate.empty() && rateForTwoPass(video) &&
                !(qualityScaleOf(video) && !c.quality.empty())) {
                long rate = s.videoBitRate > 0 ? s.videoBitRate : 1000000;
                rate = std::clamp(rate, 100000L, 20000000L);
                use.bitRate = std::to_string(rate / 1000) + "k";
            }
            p.notesToKeep = use;
        } else if (!notes.present) {
            p.refusal = "2パス目の前に1パス目の記録がありません。1パス目からやり直してください";
            return p;
        } else if (c.rangeStart.empty() && !notes.rangeStart.empty()) {
            p.extra.insert(p.extra.end(), {"-ss", notes.rangeStart});
        }
        if (c.pass == 2 && c.rangeStart.empty() && !notes.rangeLength.empty() && c.lengthCount == 0)
            p.extra.insert(p.extra.end(), {"-t", notes.rangeLength});
        if (!use.bitRate.empty() && c.bitRate.empty()) {
            p.removeOptions.push_back("-q:v");
            p.extra.insert(p.extra.end(), {"-b:v", use.bitRate});
        }
    }

    // A preview of a range is the shorter of the two; the later -t would win otherwise.
    std::string rangeLength = c.rangeLength;
    if (c.pass == 2 && c.rangeStart.empty() && notes.present) rangeLength = notes.rangeLength;
    if (c.lengthCount >= 2 || (c.lengthCount == 1 && rangeLength != c.rangeLength)) {
        double a = parseTime(rangeLength), b = parseTime(c.lastLength);
        if (a >= 0 && b >= 0) {
            p.removeOptions.push_back("-t");
            p.extra.insert(p.extra.end(), {"-t", seconds(std::min(a, b))});
        }
    }
    return p;
}

std::vector<std::string> applyPlan(std::vector<std::string> line, const Plan& plan) {
    if (line.empty()) return line;
    std::string output = line.back();
    line.pop_back();
    std::vector<std::string> result;
    result.reserve(line.size() + plan.extra.size() + 2);
    bool filterDone = plan.videoFilter.empty(), audioFilterDone = plan.audioFilter.empty();
    for (size_t i = 0; i < line.size(); ++i) {
        const std::string& a = line[i];
        if (a == "-i" && i + 1 < line.size()) {
            result.insert(result.end(), {a, line[++i]});
            continue;
        }
        if (a == "-flags" && i + 1 < line.size() && line[i + 1] == "bitexact" &&
            plan.bitexactPictureOnly) {
            result.insert(result.end(), {"-flags:v", "+bitexact", "-fflags", "+bitexact"});
            ++i;
            continue;
        }
        if (a == "-acodec" && i + 1 < line.size() && !plan.audioEncoder.empty()) {
            result.insert(result.end(), {a, plan.audioEncoder});
            ++i;
            continue;
        }
        const bool hasValue = i + 1 < line.size() && !a.empty() && a[0] == '-';
        if (hasValue &&
            std::find(plan.removeOptions.begin(), plan.removeOptions.end(), a) !=
                plan.removeOptions.end() &&
            a != "-i") {
            ++i;
            continue;
        }
        if (a == "-af" && hasValue && !audioFilterDone) {
            result.insert(result.end(), {a, line[i + 1] + "," + plan.audioFilter});
            audioFilterDone = true;
            ++i;
            continue;
        }
        if (a == "-vf" && hasValue && !filterDone) {
            result.insert(result.end(), {a, line[i + 1] + "," + plan.videoFilter});
            filterDone = true;
            ++i;
            continue;
        }
        result.push_back(a);
    }
    if (!filterDone) result.insert(result.end(), {"-vf", plan.videoFilter});
    if (!audioFilterDone) result.insert(result.end(), {"-af", plan.audioFilter});
    result.insert(result.end(), plan.extra.begin(), plan.extra.end());
    result.push_back(output);
    return result;
}

std::vector<std::string> containersHolding(const std::string& codec) {
    std::vector<std::string> found;
    for (const Holds& h : kContainers)
        if (holds(h.video, codec) || holds(h.audio, codec)) found.emplace_back(h.ext);
    // Matroska holds every codec of the lists.
    if (!found.empty()) found.emplace_back("mkv");
    return found;
}

}  // namespace qv::adapter
