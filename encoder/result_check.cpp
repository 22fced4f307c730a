#include "result_check.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <memory>

#include "decoding.h"
#include "libav.h"

namespace qv::adapter {

namespace {

// The first and the last this many seconds of every stream are decoded.
constexpr double kWindow = 1.0;

// What reading one stream of the result found.
struct Track {
    const AVStream* stream = nullptr;
    bool picture = false, sound = false, cover = false;
    long packets = 0;
    bool timed = false;
    double first = 0, last = 0;  // seconds on the stream's clock: earliest start, latest end
    double newest = 0;           // time of the latest packet read
    std::unique_ptr<StreamDecoder> head;
    bool headDone = false;
    bool broken = false;  // a decoder refused a packet, failed, or said something
    // From a key packet on, the packets that cover the last second read so far.
    std::deque<AVPacket*> tail;
};

struct Reading {
    const Libav& lib;
    const ErrorCapture& errors;
    AVFormatContext* fmt = nullptr;
    std::vector<Track> tracks;
    size_t decoderMessages = 0;  // of the captured ones: said while decoding

    Reading(const Libav& l, const ErrorCapture& e) : lib(l), errors(e) {}
    ~Reading() {
        for (Track& t : tracks)
            for (AVPacket* p : t.tail) lib.freePacket(&p);
        if (fmt) lib.closeInput(&fmt);
    }
    Reading(const Reading&) = delete;
    Reading& operator=(const Reading&) = delete;

    // Feeds a decoder; a message the libraries gave meanwhile counts against the stream.
    // A decoder started in the middle of a stream (`midway`) is forgiven what it says
    // before its first frame: references before its start are not there.
    void feed(Track& t, StreamDecoder& d, const AVPacket* p, bool midway = false) {
        const size_t before = errors.count();
        const bool first = d.frames() == 0;
        const bool fed = d.feed(p);
        const size_t said = errors.count() - before;
        decoderMessages += said;
        if (midway && first) return;
        if (!fed || said > 0) t.broken = true;
    }
    // Said while opening or reading, not while decoding.
    size_t readingMessages() const { return errors.count() - decoderMessages; }
};

bool isKey(const AVPacket* p) { return (p->flags & AV_PKT_FLAG_KEY) != 0; }

// Drops what the last second no longer needs: everything before the latest key packet
// that lies at least a second before the newest packet.
void trimTail(const Libav& lib, Track& t) {
    const AVRational tb = t.stream->time_base;
    for (;;) {
        size_t next = 1;
        while (next < t.tail.size() && !isKey(t.tail[next])) ++next;
        double at = 0;
        if (next >= t.tail.size() || !packetSeconds(t.tail[next], tb, at) ||
            at > t.newest - kWindow)
            return;
        for (size_t i = 0; i < next; ++i) {
            lib.freePacket(&t.tail.front());
            t.tail.pop_front();
        }
    }
}

void readPacket(Reading& r, Track& t, AVPacket* p) {
    // An empty packet stands for a dropped frame in AVI: the encoder passes over it in a
    // picture stream, but a sound decoder refuses it (and so does the encoder).
    if (p->size == 0 && t.picture) return;
    ++t.packets;
    double at = 0;
    const bool timed = packetSeconds(p, t.stream->time_base, at);
    if (timed) {
        // Ogg's last packet may carry a negative length read as a huge unsigned one.
        const bool sane = p->duration > 0 && p->duration < (int64_t{1} << 31);
        const double end =
            at + (sane ? static_cast<double>(p->duration) * av_q2d(t.stream->time_base) : 0);
        if (!t.timed) {
            t.first = at;
            t.last = end;
        }
        t.timed = true;
        t.first = std::min(t.first, at);
        t.last = std::max(t.last, end);
        t.newest = at;
    }
    if (!t.head) return;
    if (!t.headDone) {
        if (timed && at >= t.first + kWindow) {
            r.feed(t, *t.head, nullptr);
            t.headDone = true;
        } else {
            r.feed(t, *t.head, p);
        }
    }
    if (AVPacket* kept = r.lib.clonePacket(p)) {
        t.tail.push_back(kept);
        trimTail(r.lib, t);
    }
}

double frameSeconds(const AVStream* st) {
    for (AVRational rate : {st->avg_frame_rate, st->r_frame_rate})
        if (rate.num > 0 && rate.den > 0) return av_q2d(av_inv_q(rate));
    return 0;
}

CheckResult failed(CheckResult r, Fault fault) {
    r.good = false;
    r.fault = fault;
    return r;
}

}  // namespace

double lengthTolerance(double wanted, double frame) {
    return std::max({wanted * 0.05, 0.5, frame});
}

Expectation expectationOf(const Asked& asked, const SourceContents& source) {
    Expectation e;
    if (!source.known) {
        e.atMost = asked.length;
        return e;
    }
    e.picture = asked.picture && source.picture;
    e.sound = asked.sound && source.sound;
    double longest = -1;
    bool unknown = false;
    for (const auto& [kept, seconds] :
         {std::pair{e.picture, source.pictureSeconds}, std::pair{e.sound, source.soundSeconds}}) {
        if (!kept) continue;
        if (seconds <= 0) {
            unknown = true;
            continue;
        }
        const double left = std::max(0.0, seconds - asked.start);
        longest = std::max(longest, asked.length >= 0 ? std::min(asked.length, left) : left);
    }
    if (!unknown && longest >= 0)
        e.length = longest;
    else
        e.atMost = asked.length;
    return e;
}

CheckResult checkResult(const std::string& path, const Expectation& expected,
                        const volatile std::sig_atomic_t& stop) {
    CheckResult result;
    const Libav& lib = libavForChecks();
    if (!lib.checks) return result;
    ErrorCapture errors(lib);
    Reading r(lib, errors);
    result.checked = true;
    auto withMessages = [&errors](CheckResult c) {
        c.messages = errors.messages();
        return c;
    };

    r.fmt = openSource(lib, path);
    if (!r.fmt) return withMessages(failed(result, Fault::WillNotOpen));
    for (unsigned i = 0; i < r.fmt->nb_streams; ++i) {
        // Every packet, as the encoder reads them: the default drops empty ones in AVI.
        r.fmt->streams[i]->discard = AVDISCARD_NONE;
        Track t;
        t.stream = r.fmt->streams[i];
        const AVMediaType type = t.stream->codecpar->codec_type;
        t.cover = (t.stream->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0;
        t.picture = type == AVMEDIA_TYPE_VIDEO;
        t.sound = type == AVMEDIA_TYPE_AUDIO;
        if (t.picture || t.sound) t.head = std::make_unique<StreamDecoder>(lib, t.stream);
        r.tracks.push_back(std::move(t));
    }

    AVPacket* packet = lib.allocPacket();
    if (!packet) return result;
    int read = 0;
    long count = 0;
    while ((read = lib.readFrame(r.fmt, packet)) >= 0) {
        const auto index = static_cast<size_t>(packet->stream_index);
        if (index < r.tracks.size()) readPacket(r, r.tracks[index], packet);
        lib.unrefPacket(packet);
        if ((++count & 255) == 0 && stop) break;
    }
    lib.freePacket(&packet);
    if (stop) {
        result.checked = false;
        result.stopped = true;
        return result;
    }
    const bool readToTheEnd = read == AVERROR_EOF;

    // The head of every stream that ended within its first second, then the last second.
    for (Track& t : r.tracks) {
        if (!t.head || !t.head->opened()) continue;
        if (!t.headDone) {
            r.feed(t, *t.head, nullptr);
            continue;
        }
        StreamDecoder last(lib, t.stream);
        for (const AVPacket* p : t.tail) r.feed(t, last, p, true);
        r.feed(t, last, nullptr, true);
        if (last.frames() == 0) t.broken = true;
    }

    // What the result holds, and how long: the longest of its picture and sound streams, as
    // the file gives it to players (from its header, or guessed from its bit rate). A data
    // stream (chapters) may run on past them in the source as well. Without a length of its
    // own, a stream counts with the file's; without that, with its packets' span (the packet
    // times of some sound codecs in AVI are counted in another unit, so never before).
    bool anyPicture = false, anySound = false;
    double first = 0, last = 0, frame = 0, longest = 0;
    bool timed = false, untold = false;
    for (const Track& t : r.tracks) {
        if (!t.picture && !t.sound) continue;
        if (t.packets > 0 && !t.cover) {
            anyPicture = anyPicture || t.picture;
            anySound = anySound || t.sound;
        }
        if (t.picture && !t.cover && frame == 0) frame = frameSeconds(t.stream);
        if (t.cover) continue;
        if (t.stream->duration > 0 && t.stream->time_base.den > 0)
            longest = std::max(
                longest, static_cast<double>(t.stream->duration) * av_q2d(t.stream->time_base));
        else
            untold = true;
        if (!t.timed) continue;
        first = timed ? std::min(first, t.first) : t.first;
        last = timed ? std::max(last, t.last) : t.last;
        timed = true;
    }
    if (untold && r.fmt->duration > 0)
        longest = std::max(longest, static_cast<double>(r.fmt->duration) / AV_TIME_BASE);
    result.seconds = longest > 0 ? longest : timed ? last - first : 0;

    if (expected.picture && !anyPicture) return withMessages(failed(result, Fault::NoPicture));
    if (expected.sound && !anySound) return withMessages(failed(result, Fault::NoSound));
    if (!anyPicture && !anySound) return withMessages(failed(result, Fault::Empty));
    if (!readToTheEnd || r.readingMessages() > 0)
        return withMessages(failed(result, Fault::ReadingStops));
    for (const Track& t : r.tracks) {
        if (!t.head) continue;
        // Nothing decoded, or a decoder said something: `ffmpeg -v error` would show it.
        if (!t.head->opened() || t.packets == 0 || t.broken || t.head->frames() == 0)
            return withMessages(failed(
                result, t.picture ? Fault::PictureDoesNotDecode : Fault::SoundDoesNotDecode));
    }
    if (expected.length >= 0) {
        result.wanted = expected.length;
        const double off = result.seconds - expected.length;
        if (std::abs(off) > lengthTolerance(expected.length, frame))
            return withMessages(failed(result, off > 0 ? Fault::TooLong : Fault::TooShort));
    } else if (expected.atMost >= 0) {
        result.wanted = expected.atMost;
        if (result.seconds > expected.atMost + lengthTolerance(expected.atMost, frame))
            return withMessages(failed(result, Fault::TooLong));
    }
    return withMessages(result);
}

void prepareToLook(const std::string& videoEncoder, const std::string& audioEncoder,
                   const SourceContents& source) {
    const Libav& lib = libavForChecks();
    if (!lib.checks) return;
    lib.setLogLevel(AV_LOG_QUIET);
    const std::pair<const std::string&, const std::string&> streams[] = {
        {videoEncoder, source.pictureCodec}, {audioEncoder, source.soundCodec}};
    for (const auto& [encoder, copied] : streams) {
        const AVCodec* decoder = nullptr;
        if (encoder == "copy") {
            decoder = copied.empty() ? nullptr : lib.findDecoderByName(copied.c_str());
        } else if (!encoder.empty()) {
            const AVCodec* e = lib.findEncoderByName(encoder.c_str());
            decoder = e ? lib.findDecoder(e->id) : nullptr;
        }
        if (!decoder) continue;
        AVCodecContext* c = lib.allocContext(decoder);
        // Whether it opens without the stream's parameters or not, its tables are made.
        if (c) lib.openCodec(c, decoder, nullptr);
        lib.freeContext(&c);
    }
}

}  // namespace qv::adapter
