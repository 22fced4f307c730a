#include "rules.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "base/text.h"
#include "codecs.h"
#include "translate.h"

namespace qv::adapter {

namespace {

std::string upperName(const std::string& s) {
    std::string u = s;
    for (char& c : u)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return u;
}

bool isOneOf(std::string_view s, Options list) {
    return std::find(list.begin(), list.end(), s) != list.end();
}

// The row of an encoder of the line; nullptr for "copy", none, or one the table lacks.
const CodecRow* rowOf(const std::string& encoder) {
    return encoder.empty() || encoder == "copy" ? nullptr : codecForEncoder(encoder);
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

std::string joined(Options list, const char* separator, const char* unit = "") {
    std::string s;
    for (std::string_view v : list) {
        if (!s.empty()) s += separator;
        s += std::string(v) + unit;
    }
    return s;
}

bool crfScale(const CodecRow* r) { return r && r->quality != QualityMapping::Qscale; }

// Codecs with a two-pass mode that need a rate rather than a quality for it.
bool rateForTwoPass(const std::string& encoder) {
    if (encoder.empty() || encoder == "copy") return false;
    const CodecRow* r = codecForEncoder(encoder);
    return !r || r->twoPass != TwoPassMode::None;
}

}  // namespace

int crfForQuality(std::string_view encoder, int quality) {
    const CodecRow* q = codecForEncoder(encoder);
    if (!crfScale(q)) return -1;
    quality = std::clamp(quality, 1, 31);
    if (q->quality == QualityMapping::CrfQuantiser) {
        // 6 + 6*log2(row) gives about MPEG-4's PSNR at that qscale (measured on 720p detail,
        // rows 2 to 31); the whole range gave row 11 a rate x265 codes too slowly for a
        // preview. Past row 12 the curve climbs less than a step a row: each row still takes
        // one more.
        int crf = q->crfLowest;
        for (int row = 2; row <= quality; ++row)
            crf =
                std::max(crf + 1, static_cast<int>(std::lround(q->crfLowest + 6 * std::log2(row))));
        return std::min(crf, q->crfHighest);
    }
    // 1..31 onto the whole range, rounded to the nearest step.
    return q->crfLowest + ((quality - 1) * (q->crfHighest - q->crfLowest) + 15) / 30;
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
            // An encoder that gives way to a better one on this build (see the plan).
            const CodecRow* r = codecForDialect(v);
            c.audioCodec =
                r && !r->replacement.empty() ? std::string(r->replacement) : audioCodecName(v);
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
    const ContainerRow* container = containerRow(c.ext);
    if (container && !container->holdsAll) {
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

    const std::string video = c.noVideo ? "" : c.videoCodec;
    const std::string audio = c.noAudio ? "" : c.audioCodec;
    const CodecRow* videoRow = rowOf(video);
    const CodecRow* audioRow = rowOf(audio);
    const std::string container = upperName(c.ext);

    for (const CodecRow* r : {videoRow, audioRow}) {
        if (r && !r->neverPlays.empty()) {
            p.refusal = std::string(r->neverPlays);
            return p;
        }
    }
    {
        if (!video.empty() && video != "copy" &&
            !containerHolds(c.ext, CodecKind::Video, videoRow ? videoRow->codec : video)) {
            p.refusal =
                container + " 形式には映像コーデック " + upperName(video) + " を入れられません";
            return p;
        }
        if (!audio.empty() && audio != "copy" &&
            !containerHolds(c.ext, CodecKind::Audio, audioRow ? audioRow->codec : audio)) {
            p.refusal =
                container + " 形式には音声コーデック " + upperName(audio) + " を入れられません";
            return p;
        }
        if (s.known && video == "copy" && s.hasVideo &&
            !containerHolds(c.ext, CodecKind::Video, s.videoCodec)) {
            p.refusal = container + " 形式には元の映像 (" + s.videoCodec +
                        ") をそのまま入れられません。映像コーデックを選んでください";
            return p;
        }
        if (s.known && audio == "copy" && s.hasAudio &&
            !containerHolds(c.ext, CodecKind::Audio, s.audioCodec)) {
            p.refusal = container + " 形式には元の音声 (" + s.audioCodec +
                        ") をそのまま入れられません。音声コーデックを選んでください";
            return p;
        }
        if (s.known && video == "copy" && s.videoCodec == "h264" &&
            isOneOf(c.ext, {"avi", "mpg", "m2p"}))
            p.extra.insert(p.extra.end(), {"-bsf:v", "h264_mp4toannexb"});
    }

    // Frame sizes and formats the encoders need.
    if (videoRow) {
        const CodecRow* r = videoRow;
        if (r->sizes.size() > 0) {
            if (!c.size.empty() && !isOneOf(c.size, r->sizes)) {
                p.refusal =
                    upperName(video) + " は " + joined(r->sizes, "/") + " の大きさしか扱えません";
                return p;
            }
            if (c.size.empty() || c.hasCrop) p.videoFilter = r->sizeFilter;
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
        } else if (r->sizeStep > 1 && (c.size.empty() || c.hasCrop)) {
            const std::string n = std::to_string(r->sizeStep);
            p.videoFilter = "scale=trunc(iw/" + n + ")*" + n + ":trunc(ih/" + n + ")*" + n;
            // H.263+ writes the pixel shape in bytes: a shape only near square after the
            // rounding would come back as a broken first frame.
            if (video == "h263p") p.videoFilter += ",setsar=r=sar:max=255";
        }
        if (crfScale(r)) {
            // Its real-time mode keeps no statistics for a second pass.
            const Options speed =
                c.pass != 0 && r->twoPassSpeed.size() > 0 ? r->twoPassSpeed : r->speed;
            for (std::string_view o : speed) p.extra.emplace_back(o);
        }
        if (!r->pixelFormat.empty())
            p.extra.insert(p.extra.end(), {"-pix_fmt", std::string(r->pixelFormat)});
        p.bitexactPictureOnly = r->bitexactPictureOnly && isOneOf(c.ext, {"mkv", "webm"});
        if (crfScale(r)) {
            int quality = 0;
            if (parseQuality(c.quality, quality)) {
                p.removeOptions.push_back("-q:v");
                p.extra.insert(p.extra.end(),
                               {"-crf", std::to_string(crfForQuality(video, quality))});
                // Without a rate of its own the encoder would aim at its default rate as a cap.
                if (r->codec == "vp9" && c.bitRate.empty())
                    p.extra.insert(p.extra.end(), {"-b:v", "0"});
            }
            if (c.pass != 0 && r->twoPass == TwoPassMode::Refused) {
                p.refusal = upperName(video) +
                            " は 2パスエンコードに対応していません。2ﾊﾟｽｴﾝｺｰﾄﾞを外してください";
                return p;
            }
        }
        // RealMedia's millisecond clock gives NTSC rates' frames the same time stamp.
        if (!r->frameRate.empty() && c.frameRate.empty())
            p.extra.insert(p.extra.end(), {"-r", std::string(r->frameRate)});
    }

    // Sound the encoders need.
    if (audioRow) {
        const CodecRow* r = audioRow;
        if (r->sampleRates.size() > 0 && !c.sampleRate.empty() &&
            !isOneOf(c.sampleRate, r->sampleRates)) {
            p.refusal = upperName(audio) + " は " + joined(r->sampleRates, "/", "Hz") +
                        " の音声しか扱えません";
            return p;
        }
        if (!r->sampleRate.empty() && c.sampleRate.empty())
            p.extra.insert(p.extra.end(), {"-ar", std::string(r->sampleRate)});
        if (r->mono && c.channels.empty()) p.extra.insert(p.extra.end(), {"-ac", "1"});
        // Five-point-one comes down to stereo; mono stays mono.
        if (c.channels.empty() && r->maxChannels == 2)
            p.audioFilter = "aformat=channel_layouts=mono|stereo";
        // Its surround mapping takes the usual layouts only: 5.1 with side speakers becomes 5.1.
        if (c.channels.empty() && !r->channelLayouts.empty())
            p.audioFilter = "aformat=channel_layouts=" + std::string(r->channelLayouts);
        if (!r->replacement.empty()) p.audioEncoder = std::string(r->replacement);
    }

    // Two-pass: both passes see the same range and the same rate.
    if (c.pass != 0 && !video.empty() && video != "copy") {
        PassNotes use = notes;
        if (c.pass == 1) {
            use.present = true;
            use.rangeStart = c.rangeStart;
            use.rangeLength = c.rangeLength;
            if (c.bitRate.empty() && rateForTwoPass(video) &&
                !(crfScale(videoRow) && !c.quality.empty())) {
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

}  // namespace qv::adapter
