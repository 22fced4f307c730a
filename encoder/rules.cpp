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
        if (a == "-aspect") c.aspect = v;
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

bool readsSource(const Call& c) {
    return needsSource(c) || (!c.thumbnail && !c.input.empty() && !c.output.empty());
}

namespace {

// One call's decision, made in named steps; each step that refuses says why in the plan
// and stops the rest.
class Planner {
  public:
    Planner(const Call& c, const Source& s, const PassNotes& notes)
        : c_(c),
          s_(s),
          notes_(notes),
          video_(c.noVideo ? "" : c.videoCodec),
          audio_(c.noAudio ? "" : c.audioCodec),
          videoRow_(rowOf(video_)),
          audioRow_(rowOf(audio_)) {}

    Plan plan() {
        if (c_.output.empty()) return p_;
        if (c_.thumbnail) {
            thumbnail();
            return p_;
        }
        refuse() && fitPicture() && fitSound() && leaveOut() && keepWhatItSays() &&
            twoPassNotes() && range();
        return p_;
    }

  private:
    bool refused(std::string why) {
        p_.refusal = std::move(why);
        return false;
    }
    void add(std::initializer_list<std::string> options) {
        p_.extra.insert(p_.extra.end(), options.begin(), options.end());
    }
    void addOptions(Options options) {
        for (std::string_view o : options) p_.extra.emplace_back(o);
    }
    bool encodes(const std::string& e) const { return !e.empty() && e != "copy"; }

    // The result starts inside the source: a range of this call, or pass 1's for pass 2.
    bool cutsTheStart() const {
        const std::string& start =
            c_.pass == 2 && c_.rangeStart.empty() ? notes_.rangeStart : c_.rangeStart;
        return parseTime(start) > 0;
    }

    void thumbnail() {
        // A sound file with cover art shows its cover.
        if (s_.known && !s_.hasVideo && s_.hasCover) return;
        if (s_.known && !s_.hasVideo) {
            refused("映像のないファイルなのでサムネイルは作れません");
            return;
        }
        // A source shorter than the usual moment gives a frame from near its end.
        if (s_.known && s_.duration > 0 && s_.duration < 5.5) {
            p_.removeOptions = {"-ss"};
            add({"-ss", seconds(s_.duration > 1 ? s_.duration - 0.5 : s_.duration / 2)});
        }
    }

    // A result that would not play is refused before anything is written: a codec that
    // plays nowhere, one the container cannot hold, a source stream a copy cannot put there.
    bool refuse() {
        for (const CodecRow* r : {videoRow_, audioRow_})
            if (r && !r->neverPlays.empty()) return refused(std::string(r->neverPlays));
        const std::string container = upperName(c_.ext);
        if (encodes(video_) &&
            !containerHolds(c_.ext, CodecKind::Video, videoRow_ ? videoRow_->codec : video_))
            return refused(container + " 形式には映像コーデック " + upperName(video_) +
                           " を入れられません");
        if (encodes(audio_) &&
            !containerHolds(c_.ext, CodecKind::Audio, audioRow_ ? audioRow_->codec : audio_))
            return refused(container + " 形式には音声コーデック " + upperName(audio_) +
                           " を入れられません");
        if (s_.known && video_ == "copy" && s_.hasVideo &&
            !containerHolds(c_.ext, CodecKind::Video, s_.videoCodec))
            return refused(container + " 形式には元の映像 (" + s_.videoCodec +
                           ") をそのまま入れられません。映像コーデックを選んでください");
        if (s_.known && audio_ == "copy" && s_.hasAudio &&
            !containerHolds(c_.ext, CodecKind::Audio, s_.audioCodec))
            return refused(container + " 形式には元の音声 (" + s_.audioCodec +
                           ") をそのまま入れられません。音声コーデックを選んでください");
        if (s_.known && video_ == "copy" && s_.videoCodec == "h264" &&
            isOneOf(c_.ext, {"avi", "mpg", "m2p"}))
            add({"-bsf:v", "h264_mp4toannexb"});
        return true;
    }

    // Frame sizes, rates and formats the picture's encoder needs.
    bool fitPicture() {
        const CodecRow* r = videoRow_;
        if (!encodes(video_) || !r) return true;
        if (r->codec == "dvvideo") {
            // DV's frame is the television norm's, chosen by the rate.
            const bool ntsc = c_.frameRate == "29.97" || c_.frameRate == "30";
            const std::string size = ntsc ? "720x480" : "720x576";
            if (!c_.size.empty() && c_.size != size)
                return refused("DV は " + size + " の大きさしか扱えません");
            p_.videoFilter = "scale=" + std::string(ntsc ? "720:480" : "720:576");
            if (c_.frameRate.empty()) add({"-r", ntsc ? "30000/1001" : "25"});
            add({"-pix_fmt", ntsc ? "yuv411p" : "yuv420p"});
            return true;
        }
        if (r->sizes.size() > 0) {
            if (!c_.size.empty() && !isOneOf(c_.size, r->sizes))
                return refused(upperName(video_) + " は " + joined(r->sizes, "/") +
                               " の大きさしか扱えません");
            if (c_.size.empty() || c_.hasCrop) p_.videoFilter = r->sizeFilter;
        } else if (r->sizeStep > 1 && (c_.size.empty() || c_.hasCrop)) {
            const std::string n = std::to_string(r->sizeStep);
            p_.videoFilter = "scale=trunc(iw/" + n + ")*" + n + ":trunc(ih/" + n + ")*" + n;
            // H.263+ writes the pixel shape in bytes: a shape only near square after the
            // rounding would come back as a broken first frame.
            if (r->codec == "h263p") p_.videoFilter += ",setsar=r=sar:max=255";
        }
        // Below ten frames a second the encoder's own rate conversion adds frames past the
        // end (a 10 s source at 1 fps came out 12 s long); the filter ends with the source.
        if (const double rate = parseTime(c_.frameRate); rate > 0 && rate < 10) {
            p_.removeOptions.push_back("-r");
            p_.videoFilter += (p_.videoFilter.empty() ? "fps=" : ",fps=") + c_.frameRate;
        }
        if (crfScale(r)) {
            // Its real-time mode keeps no statistics for a second pass.
            if (c_.pass != 0 && r->twoPassSpeed.size() > 0)
                addOptions(r->twoPassSpeed);
            else
                addOptions(r->speed);
        }
        if (!r->pixelFormat.empty()) add({"-pix_fmt", std::string(r->pixelFormat)});
        p_.bitexactPictureOnly = r->bitexactPictureOnly && isOneOf(c_.ext, {"mkv", "webm"});
        int quality = 0;
        if (crfScale(r) && parseQuality(c_.quality, quality)) {
            p_.removeOptions.push_back("-q:v");
            add({"-crf", std::to_string(crfForQuality(video_, quality))});
            // Without a rate of its own the encoder would aim at its default rate as a cap.
            if (r->codec == "vp9" && c_.bitRate.empty()) add({"-b:v", "0"});
        }
        if (c_.pass != 0 && r->twoPass == TwoPassMode::Refused)
            return refused(upperName(video_) +
                           " は 2パスエンコードに対応していません。2ﾊﾟｽｴﾝｺｰﾄﾞを外してください");
        // RealMedia's millisecond clock gives NTSC rates' frames the same time stamp.
        if (!r->frameRate.empty() && c_.frameRate.empty()) add({"-r", std::string(r->frameRate)});
        return true;
    }

    // Sample rates and channels the sound's encoder needs.
    bool fitSound() {
        // AAC copied into AVI from a point inside the source comes back with a first frame
        // that does not decode: the sound is encoded with the container's own codec then.
        if (audio_ == "copy" && s_.known && s_.audioCodec == "aac" && c_.ext == "avi" &&
            cutsTheStart())
            p_.audioEncoder = std::string(containerRow(c_.ext)->audio);
        const CodecRow* r = audioRow_;
        if (!encodes(audio_) || !r) return true;
        if (r->sampleRates.size() > 0 && !c_.sampleRate.empty() &&
            !isOneOf(c_.sampleRate, r->sampleRates))
            return refused(upperName(audio_) + " は " + joined(r->sampleRates, "/", "Hz") +
                           " の音声しか扱えません");
        // A source at a rate the container may not take, with the rate automatic, gets the
        // container's highest (each of its codecs takes that one).
        if (const ContainerRow* container = containerRow(c_.ext);
            container && container->sampleRates.size() > 0 && r->codec != "aac" &&
            c_.sampleRate.empty() && r->sampleRate.empty() && s_.known && s_.sampleRate > 0 &&
            !isOneOf(std::to_string(s_.sampleRate), container->sampleRates))
            add({"-ar", std::string(*(container->sampleRates.end() - 1))});
        if (!r->sampleRate.empty() && c_.sampleRate.empty())
            add({"-ar", std::string(r->sampleRate)});
        if (r->mono && c_.channels.empty()) add({"-ac", "1"});
        // Five-point-one comes down to stereo; mono stays mono.
        if (c_.channels.empty() && r->maxChannels == 2)
            p_.audioFilter = "aformat=channel_layouts=mono|stereo";
        // Its surround mapping takes the usual layouts only: 5.1 with side speakers becomes 5.1.
        if (c_.channels.empty() && !r->channelLayouts.empty())
            p_.audioFilter = "aformat=channel_layouts=" + std::string(r->channelLayouts);
        if (!r->replacement.empty()) p_.audioEncoder = std::string(r->replacement);
        return true;
    }

    // Streams the result cannot hold as the source has them: a cover picture never becomes
    // a picture track of its own (only MP4 keeps it as the cover of a copy), and the real
    // picture and the sound are taken, not a data or chapter track or a cover.
    bool leaveOut() {
        // Packed AMR is read from its frames, taken out of the source first.
        p_.unpackSound = s_.known && s_.packedSound && !c_.noAudio && !audio_.empty();
        if (!s_.known || !s_.hasCover) return true;
        if (!s_.hasVideo) {
            if (!c_.noVideo && !(video_ == "copy" && c_.ext == "mp4")) add({"-vn"});
            return true;
        }
        add({"-map", "0:V:0?", "-map", "0:a:0?"});
        return true;
    }

    // What the source says about itself: its recording date (the encoder drops it unless
    // told), and its rotation: a portrait source keeps a chosen landscape size upright.
    bool keepWhatItSays() {
        if (!s_.known) return true;
        if (!s_.creationTime.empty()) {
            add({"-metadata", "creation_time=" + s_.creationTime});
            // AVI keeps a date only, in its creation-date field.
            if (c_.ext == "avi") add({"-metadata", "date=" + s_.creationTime.substr(0, 10)});
        }
        const bool quarterTurn = s_.rotation == 90 || s_.rotation == 270;
        const CodecRow* r = videoRow_;
        if (!quarterTurn || !r || r->sizes.size() > 0 || r->codec == "dvvideo") return true;
        if (const size_t x = c_.size.find('x'); x != std::string::npos)
            p_.pictureSize = c_.size.substr(x + 1) + "x" + c_.size.substr(0, x);
        if (const size_t colon = c_.aspect.find(':'); colon != std::string::npos)
            p_.aspect = c_.aspect.substr(colon + 1) + ":" + c_.aspect.substr(0, colon);
        return true;
    }

    // Two-pass: both passes see the same range and the same rate.
    bool twoPassNotes() {
        if (c_.pass == 0 || !encodes(video_)) return true;
        PassNotes use = notes_;
        if (c_.pass == 1) {
            use.present = true;
            use.rangeStart = c_.rangeStart;
            use.rangeLength = c_.rangeLength;
            if (c_.bitRate.empty() && rateForTwoPass(video_) &&
                !(crfScale(videoRow_) && !c_.quality.empty())) {
                long rate = s_.videoBitRate > 0 ? s_.videoBitRate : 1000000;
                rate = std::clamp(rate, 100000L, 20000000L);
                use.bitRate = std::to_string(rate / 1000) + "k";
            }
            p_.notesToKeep = use;
        } else if (!notes_.present) {
            return refused("2パス目の前に1パス目の記録がありません。1パス目からやり直してください");
        } else if (c_.rangeStart.empty() && !notes_.rangeStart.empty()) {
            add({"-ss", notes_.rangeStart});
        }
        if (c_.pass == 2 && c_.rangeStart.empty() && !notes_.rangeLength.empty() &&
            c_.lengthCount == 0)
            add({"-t", notes_.rangeLength});
        if (!use.bitRate.empty() && c_.bitRate.empty()) {
            p_.removeOptions.push_back("-q:v");
            add({"-b:v", use.bitRate});
        }
        return true;
    }

    // A preview of a range is the shorter of the two; the later -t would win otherwise.
    bool range() {
        std::string rangeLength = c_.rangeLength;
        if (c_.pass == 2 && c_.rangeStart.empty() && notes_.present)
            rangeLength = notes_.rangeLength;
        if (c_.lengthCount >= 2 || (c_.lengthCount == 1 && rangeLength != c_.rangeLength)) {
            const double a = parseTime(rangeLength), b = parseTime(c_.lastLength);
            if (a >= 0 && b >= 0) {
                p_.removeOptions.push_back("-t");
                add({"-t", seconds(std::min(a, b))});
            }
        }
        return true;
    }

    const Call& c_;
    const Source& s_;
    const PassNotes& notes_;
    const std::string video_, audio_;  // the line's encoders, "" where a stream is off
    const CodecRow* videoRow_;
    const CodecRow* audioRow_;
    Plan p_;
};

}  // namespace

Plan planCall(const Call& c, const Source& s, const PassNotes& notes) {
    return Planner(c, s, notes).plan();
}

StreamFallback copyFallback(const Call& c, const Source& s, const std::string& error,
                            bool unreadable) {
    StreamFallback f;
    const bool videoCopied = !c.noVideo && c.videoCodec == "copy";
    const bool audioCopied = !c.noAudio && c.audioCodec == "copy";
    if (c.thumbnail || c.pass != 0 || (!videoCopied && !audioCopied)) return f;
    // Which stream the encoder's line (or the unreadable result) points at.
    enum { None, Video, Audio } culprit = None;
    const auto says = [&error](std::string_view text) {
        return error.find(text) != std::string::npos;
    };
    if (says("input is not a single packet") || says("before AC3 packets") || says("stsd")) {
        culprit = Audio;  // AMR packed several frames a sample; AC-3 without its header
    } else if (const size_t at = error.find("Could not find tag for codec ");
               at != std::string::npos) {
        const std::string rest = error.substr(at + 29);
        const std::string codec = rest.substr(0, rest.find(' '));
        if (s.known && codec == s.audioCodec) culprit = Audio;
        if (s.known && codec == s.videoCodec) culprit = Video;
    } else if (unreadable) {
        culprit = audioCopied ? Audio : Video;
    }
    if ((culprit == Audio && !audioCopied) || (culprit == Video && !videoCopied)) return f;
    const ContainerRow* container = containerRow(c.ext);
    if (culprit == None || !container) return f;
    f.video = culprit == Video;
    f.codec = std::string(f.video ? container->video : container->audio);
    if (f.codec.empty()) return f;
    const std::string was = f.video ? s.videoCodec : s.audioCodec;
    f.note = std::string(f.video ? "映像" : "音声") + (was.empty() ? "" : " (" + was + ")") +
             " をそのまま " + upperName(c.ext) + " 形式に入れられないため、" + upperName(f.codec) +
             " に変換します";
    return f;
}

bool copyMayNotReadBack(const Call& c, const Source& s) {
    return !c.noAudio && c.audioCodec == "copy" && s.known &&
           isOneOf(s.audioCodec, {"ac3", "eac3"}) && isOneOf(c.ext, {"mp4", "mov", "3gp"});
}

std::vector<std::string> withStreamEncoded(const std::vector<std::string>& args,
                                           const StreamFallback& f) {
    std::vector<std::string> line = args;
    const int out = outputIndex(line);
    const std::string option = f.video ? "-vcodec" : "-acodec";
    for (size_t i = 0; i + 1 < line.size() && static_cast<int>(i) != out; ++i) {
        if (line[i] == option && line[i + 1] == "copy") line[i + 1] = f.codec;
        if (takesValue(line[i])) ++i;
    }
    return line;
}

std::vector<std::string> withUnpackedSound(std::vector<std::string> line,
                                           const std::string& rawSound) {
    if (line.empty()) return line;
    const auto input = std::find(line.begin(), line.end(), "-i");
    if (input == line.end() || input + 1 == line.end()) return line;
    line.insert(input + 2, {"-i", rawSound});
    bool mapped = false;
    for (size_t i = 0; i + 1 < line.size(); ++i) {
        if (line[i] != "-map") continue;
        mapped = true;
        if (line[i + 1] == "0:a:0?") line[i + 1] = "1:a:0";
    }
    if (!mapped) line.insert(line.end() - 1, {"-map", "0:V:0?", "-map", "1:a:0"});
    return line;
}

namespace {

// The scale a crop ends with ("crop=...,scale=640:360") at the plan's turned size.
std::string turnedScale(const std::string& chain, const Plan& plan) {
    const size_t at = chain.rfind(",scale=");
    const size_t x = plan.pictureSize.find('x');
    if (plan.pictureSize.empty() || at == std::string::npos || x == std::string::npos ||
        chain.find_first_not_of("0123456789:", at + 7) != std::string::npos)
        return chain;
    return chain.substr(0, at) + ",scale=" + plan.pictureSize.substr(0, x) + ":" +
           plan.pictureSize.substr(x + 1);
}

}  // namespace

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
        if (a == "-s" && i + 1 < line.size() && !plan.pictureSize.empty()) {
            result.insert(result.end(), {a, plan.pictureSize});
            ++i;
            continue;
        }
        if (a == "-aspect" && i + 1 < line.size() && !plan.aspect.empty()) {
            result.insert(result.end(), {a, plan.aspect});
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
        if (a == "-vf" && hasValue) {
            std::string chain = turnedScale(line[i + 1], plan);
            if (!filterDone) chain += "," + plan.videoFilter;
            result.insert(result.end(), {a, chain});
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
    // The codec table knows the containers; a name is a picture's or a sound's codec.
    std::vector<std::string> found = qv::adapter::containersHolding(codec, CodecKind::Video);
    if (found.empty()) found = qv::adapter::containersHolding(codec, CodecKind::Audio);
    return found;
}

}  // namespace qv::adapter
