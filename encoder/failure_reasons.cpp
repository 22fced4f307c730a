#include "failure_reasons.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "rules.h"

namespace qv::adapter {

const char* const kEncoderFailedReason = "ffmpeg がエラーで終了しました（詳しくはログ）";
const char* const kStoppedReason = "変換を中止しました";

namespace {

struct MessageRule {
    std::string_view text;  // a part of the encoder's line
    Cause cause;
    Limit limit = Limit::None;
    bool aboutDestination = false;  // said of the destination: "out.avi: Permission denied"
};

// "Could not find tag for codec X in stream #0, codec not currently supported in container"
constexpr std::string_view kTagMissing = "codec not currently supported in container";

// The encoder's lines and what they mean, in order of precedence: the first row that
// any line of a failed run shows is the cause. Writing the result comes first (a full
// disk is the reason whatever else went wrong before it), the source last.

constexpr MessageRule kEncoderMessages[] = {
    {"No space left on device", Cause::DiskFull},
    {"Permission denied", Cause::CannotWrite, Limit::None, true},
    {"Read-only file system", Cause::CannotWrite, Limit::None, true},
    {"No such file or directory", Cause::CannotWrite, Limit::None, true},

    {kTagMissing, Cause::ContainerCannotHold},
    {" support is experimental, add '-strict -2'", Cause::ContainerCannotHold},
    // A muxer that refuses a stream's packets (SWF's sound beside a slow picture, AMR out of
    // a phone's 3GP) returns -1, which reads as this.
    {"av_interleaved_write_frame(): Operation not permitted", Cause::ContainerCannotHold},
    {"Only VP8 or VP9 or AV1 video and Vorbis or Opus audio", Cause::ContainerCannotHold},

    {"must be a multiple of", Cause::EncoderLimit, Limit::FrameSize},
    {"must be multiple of", Cause::EncoderLimit, Limit::FrameSize},
    {"not divisible by", Cause::EncoderLimit, Limit::FrameSize},
    {"is not valid for the H.263 codec", Cause::EncoderLimit, Limit::FrameSize},
    {"MPEG-1/2 does not support", Cause::EncoderLimit, Limit::FrameRate},
    {"Specified sample rate", Cause::EncoderLimit, Limit::SampleRate},
    {"Sample rate must be", Cause::EncoderLimit, Limit::SampleRate},
    {"Specified channel layout", Cause::EncoderLimit, Limit::Channels},
    {"Only mono is supported", Cause::EncoderLimit, Limit::Channels},

    {"Invalid data found when processing input", Cause::DamagedSource},
    {"moov atom not found", Cause::DamagedSource},
    {"EBML header parsing failed", Cause::DamagedSource},

    {"could not find codec parameters", Cause::NothingToConvert},
    {"does not contain any stream", Cause::NothingToConvert},
    {"Cannot determine format of input stream", Cause::NothingToConvert},
};

std::string upperName(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// The word after `before` up to the next blank: "for codec mjpeg in" -> "mjpeg".
std::string wordAfter(std::string_view line, std::string_view before) {
    const size_t at = line.find(before);
    if (at == std::string_view::npos) return {};
    const size_t from = at + before.size();
    const size_t end = line.find(' ', from);
    return std::string(line.substr(from, end == std::string_view::npos ? end : end - from));
}

// "h263p" of "h263p: width and ...", when that is a name rather than a path.
std::string speakerOf(std::string_view line) {
    const size_t colon = line.find(": ");
    if (colon == std::string_view::npos || colon == 0) return {};
    const std::string_view name = line.substr(0, colon);
    if (name.find_first_of(" /\\") != std::string_view::npos) return {};
    return std::string(name);
}

std::string containerName(const std::string& ext) {
    return ext.empty() ? std::string("この") : upperName(ext) + " ";
}

// "MP4 形式には MJPEG を入れられません。AVI 形式を選ぶか、別のコーデックを選んで下さい";
// for a copied stream, "元の音声 (AMR_NB) をそのまま入れられません" and so on.
std::string cannotHold(const CallFacts& call, const std::string& codec, const char* copied) {
    const std::string container = containerName(call.container) + "形式には";
    if (codec.empty()) {
        std::string pair;
        for (const std::string& e : {call.videoEncoder, call.audioEncoder})
            if (!e.empty() && e != "copy") pair += (pair.empty() ? "" : " と ") + upperName(e);
        if (pair.empty())
            return container +
                   "元のファイルの映像と音声をそのまま入れられません。"
                   "映像と音声のコーデックを選んで下さい";
        if (pair.find(" と ") == std::string::npos)
            return container + " " + pair + " を入れられません。別の形式かコーデックを選んで下さい";
        return container + "この組み合わせ (" + pair +
               ") を入れられません。別の形式かコーデックを選んで下さい";
    }
    const std::string other = containerHolding(codec, call.container);
    const std::string otherChoice =
        other.empty() ? std::string() : upperName(other) + " 形式を選ぶか、";
    if (copied)
        return container + "元の" + copied + " (" + upperName(codec) +
               ") をそのまま入れられません。" + otherChoice + copied + "コーデックを選んで下さい";
    return container + " " + upperName(codec) + " を入れられません。" + otherChoice +
           "別のコーデックを選んで下さい";
}

std::string limitReason(const EncoderMessage& m, const CallFacts& call) {
    const bool picture = m.limit == Limit::FrameSize || m.limit == Limit::FrameRate;
    std::string who = m.speaker;
    if (who.empty()) who = picture ? call.videoEncoder : call.audioEncoder;
    who = who.empty() ? std::string("このエンコーダ") : upperName(who);
    switch (m.limit) {
        case Limit::FrameSize:
            return who + " はこの映像の大きさ" +
                   (call.size.empty() ? std::string() : " (" + call.size + ")") +
                   "を扱えません。「ｻｲｽﾞ」で別の大きさを選んで下さい";
        case Limit::FrameRate:
            return who + " はこのﾌﾚｰﾑﾚｰﾄ" +
                   (call.frameRate.empty() ? std::string() : " (" + call.frameRate + "fps)") +
                   "を扱えません。「ﾌﾚｰﾑﾚｰﾄ」で別の値を選んで下さい";
        case Limit::SampleRate:
            return who + " はこのｻﾝﾌﾟﾙﾚｰﾄ" +
                   (call.sampleRate.empty() ? std::string() : " (" + call.sampleRate + "Hz)") +
                   "を扱えません。「ｻﾝﾌﾟﾙﾚｰﾄ」で別の値を選んで下さい";
        case Limit::Channels:
        case Limit::None:
            break;
    }
    return who + " はこのﾁｬﾝﾈﾙ数" +
           (call.channels.empty() ? std::string() : " (" + call.channels + ")") +
           "を扱えません。「ﾁｬﾝﾈﾙ」で " + (call.channels == "2" ? "1" : "1 か 2") +
           " を選んで下さい";
}

std::string seconds(double s) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", s);
    return buf;
}

}  // namespace

std::string encoderLine(const std::string& raw) {
    const size_t b = raw.find_first_not_of(" \t\r\n"), e = raw.find_last_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    std::string l = raw.substr(b, e - b + 1);
    if (l[0] == '[') {
        const size_t at = l.find(" @ 0x"), close = l.find("] ");
        if (at != std::string::npos && close != std::string::npos && at < close)
            l = l.substr(1, at - 1) + ": " + l.substr(close + 2);
    }
    return l;
}

namespace {

// The first row of the table the line shows; -1 for none.
int ruleOf(std::string_view line, std::string_view destination) {
    // The encoder names a file as it was handed it, "file:" before a name with a colon.
    const std::string_view named = line.substr(0, 5) == "file:" ? line.substr(5) : line;
    const bool aboutDestination =
        destination.empty() || named.substr(0, destination.size()) == destination;
    for (size_t i = 0; i < std::size(kEncoderMessages); ++i) {
        const MessageRule& rule = kEncoderMessages[i];
        if (line.find(rule.text) == std::string_view::npos) continue;
        if (rule.aboutDestination && !aboutDestination) continue;
        return static_cast<int>(i);
    }
    return -1;
}

}  // namespace

EncoderMessage classifyEncoderLine(std::string_view line, const CallFacts& call) {
    EncoderMessage m;
    const int rule = ruleOf(line, call.destination);
    if (rule < 0) return m;
    m.cause = kEncoderMessages[rule].cause;
    m.limit = kEncoderMessages[rule].limit;
    m.speaker = speakerOf(line);
    if (m.cause == Cause::ContainerCannotHold) {
        m.codec = wordAfter(line, "for codec ");
        // "flac in MP4 support is experimental": the codec comes first.
        if (m.codec.empty() && line.find(" support is experimental") != std::string::npos) {
            const std::string_view text = line.substr(m.speaker.empty() ? 0 : m.speaker.size() + 2);
            m.codec = std::string(text.substr(0, text.find(' ')));
        }
    }
    return m;
}

std::string reasonForEncoderFailure(const std::vector<std::string>& lines, const CallFacts& call,
                                    bool stopped) {
    if (stopped) return kStoppedReason;
    // The table's order decides between lines, not the order the lines came in.
    int best = -1;
    const std::string* bestLine = nullptr;
    for (const std::string& l : lines) {
        const int rule = ruleOf(l, call.destination);
        if (rule >= 0 && (best < 0 || rule < best)) {
            best = rule;
            bestLine = &l;
        }
    }
    if (best < 0) return kEncoderFailedReason;
    const EncoderMessage m = classifyEncoderLine(*bestLine, call);
    switch (m.cause) {
        case Cause::DamagedSource:
            return "元のファイルが壊れているか、動画や音声のファイルではありません。"
                   "元のファイルが再生できるか確かめて下さい";
        case Cause::NothingToConvert:
            return nothingToConvertReason(Nothing::InSource);
        case Cause::ContainerCannotHold: {
            if (!m.codec.empty()) {
                const std::vector<std::string> holding = containersHolding(m.codec);
                // No tag for a codec its rules say the container holds: the line is about
                // something else (a cover picture made a second picture stream).
                const bool tagOnly = kEncoderMessages[best].text == kTagMissing;
                if (tagOnly &&
                    std::find(holding.begin(), holding.end(), call.container) != holding.end())
                    return kEncoderFailedReason;
                return cannotHold(call, m.codec, nullptr);
            }
            // A line that names no codec is about a copied stream.
            if (call.audioEncoder == "copy" && !call.audioCodec.empty())
                return cannotHold(call, call.audioCodec, "音声");
            if (call.videoEncoder == "copy" && !call.videoCodec.empty())
                return cannotHold(call, call.videoCodec, "映像");
            return cannotHold(call, {}, nullptr);
        }
        case Cause::EncoderLimit:
            return limitReason(m, call);
        case Cause::DiskFull:
            return "保存先のディスクがいっぱいです。空きを作ってから、もう一度お試し下さい";
        case Cause::CannotWrite:
            return "保存先のフォルダに書き込めません。書き込めるフォルダを保存先に選んで下さい";
        case Cause::Stopped:
            return kStoppedReason;
        case Cause::ResultFailedCheck:
        case Cause::Other:
            break;
    }
    return kEncoderFailedReason;
}

bool writingFailed(const std::vector<std::string>& lines, const CallFacts& call) {
    for (const std::string& l : lines) {
        const Cause c = classifyEncoderLine(l, call).cause;
        if (c == Cause::DiskFull || c == Cause::CannotWrite) return true;
    }
    return false;
}

std::string nothingToConvertReason(Nothing why, double sourceSeconds) {
    switch (why) {
        case Nothing::InSource:
            break;
        case Nothing::NoSoundLeft:
            return "動画像を無効にする設定ですが、元のファイルには音声がありません。"
                   "「動画像を無効にする」を外して下さい";
        case Nothing::NoPictureLeft:
            return "音声を無効にする設定ですが、元のファイルには映像がありません。"
                   "「音声を無効にする」を外して下さい";
        case Nothing::BothDisabled:
            return "動画像と音声の両方を無効にすると、変換するものがありません。"
                   "どちらかのチェックを外して下さい";
        case Nothing::TwoPassWithoutPicture:
            return "2ﾊﾟｽｴﾝｺｰﾄﾞは映像のあるファイルにしか使えません。"
                   "「2ﾊﾟｽｴﾝｺｰﾄﾞ」を外して下さい";
        case Nothing::EmptyRange:
            return "変換範囲の長さが 0 秒です。変換範囲を指定し直して下さい";
        case Nothing::RangeAfterTheEnd:
            return "変換範囲の開始位置が元のファイルの長さ (" + seconds(sourceSeconds) +
                   " 秒) を超えています。変換範囲を指定し直して下さい";
    }
    return "変換できる映像も音声も含まれていません";
}

std::string failedCheckReason(Fault fault, double got, double wanted) {
    const std::string checked = "変換結果を確かめたところ、";
    const std::string retry = "。別の形式かコーデックを選んで下さい";
    switch (fault) {
        case Fault::WillNotOpen:
            return checked + "ファイルとして開けませんでした" + retry;
        case Fault::Empty:
            return checked + "映像も音声も入っていませんでした" + retry;
        case Fault::NoPicture:
            return checked + "映像が入っていませんでした" + retry;
        case Fault::NoSound:
            return checked + "音声が入っていませんでした" + retry;
        case Fault::ReadingStops:
            return checked + "途中から読めませんでした" + retry;
        case Fault::PictureDoesNotDecode:
            return checked + "映像がデコードできませんでした" + retry;
        case Fault::SoundDoesNotDecode:
            return checked + "音声がデコードできませんでした" + retry;
        case Fault::TooLong:
            return checked + "長さが " + seconds(got) + " 秒で、求めた " + seconds(wanted) +
                   " 秒より長くなっていました" + retry;
        case Fault::TooShort:
            break;
    }
    return checked + "長さが " + seconds(got) + " 秒で、求めた " + seconds(wanted) +
           " 秒より短くなっていました。元のファイルが途中で切れていないか確かめて下さい";
}

std::string containerHolding(const std::string& codec, const std::string& except) {
    for (const std::string& ext : containersHolding(codec))
        if (ext != except) return ext;
    return {};
}

}  // namespace qv::adapter
