#include "picture.h"

#include <cstdio>

#include "libav.h"
#include "probe.h"

namespace qv::adapter {

namespace {

// Only the line the program makes for a thumbnail is made here; anything else goes to
// the encoder, which knows every option.
bool plainThumbnailLine(const std::vector<std::string>& args) {
    bool input = false, output = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool last = i + 1 == args.size();
        if (a == "-an" || a == "-y") continue;
        if (!last && (a == "-i" || a == "-ss" || a == "-s" || a == "-f" || a == "-vframes")) {
            const std::string& v = args[++i];
            if (a == "-i") input = true;
            if (a == "-f" && v != "image2") return false;
            if (a == "-vframes" && v != "1") return false;
            continue;
        }
        if (!last || a.empty() || a[0] == '-') return false;
        output = true;
    }
    return input && output;
}

bool parseSize(const std::string& s, int& w, int& h) {
    char tail = 0;
    if (std::sscanf(s.c_str(), "%dx%d%c", &w, &h, &tail) != 2) return false;
    return w > 0 && h > 0 && w <= 4096 && h <= 4096;
}

// Everything a picture needs, released in one place whatever way the work ends.
struct Work {
    const Libav& lib;
    AVFormatContext* fmt = nullptr;
    AVCodecContext* decoder = nullptr;
    AVCodecContext* encoder = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    AVFrame* chosen = nullptr;
    AVFrame* small = nullptr;
    SwsContext* scaler = nullptr;

    explicit Work(const Libav& l) : lib(l) {}
    ~Work() {
        if (scaler) lib.freeScaler(scaler);
        lib.freeFrame(&small);
        lib.freeFrame(&chosen);
        lib.freeFrame(&frame);
        lib.freePacket(&packet);
        lib.freeContext(&encoder);
        lib.freeContext(&decoder);
        if (fmt) lib.closeInput(&fmt);
    }
    Work(const Work&) = delete;
    Work& operator=(const Work&) = delete;
};

double secondsOf(const AVFrame* f, AVRational timeBase) {
    const int64_t t =
        f->best_effort_timestamp != AV_NOPTS_VALUE ? f->best_effort_timestamp : f->pts;
    return t == AV_NOPTS_VALUE ? -1 : static_cast<double>(t) * av_q2d(timeBase);
}

// Decodes from where the reading stands to the first frame at or after `at` (seconds on
// the stream's clock); a source that ends before gives its last frame.
bool decodeUpTo(Work& w, int stream, double at, const volatile std::sig_atomic_t& stop) {
    const Libav& lib = w.lib;
    const AVRational timeBase = w.fmt->streams[stream]->time_base;
    bool have = false;
    auto takeFrames = [&]() {
        while (lib.receiveFrame(w.decoder, w.frame) >= 0) {
            lib.unrefFrame(w.chosen);
            lib.moveFrame(w.chosen, w.frame);
            have = true;
            if (secondsOf(w.chosen, timeBase) >= at - 1e-6) return true;
        }
        return false;
    };
    while (!stop) {
        const int got = lib.readFrame(w.fmt, w.packet);
        if (got < 0) break;
        const bool ours = w.packet->stream_index == stream;
        if (ours) lib.sendPacket(w.decoder, w.packet);
        lib.unrefPacket(w.packet);
        if (ours && takeFrames()) return true;
    }
    if (stop) return false;
    lib.sendPacket(w.decoder, nullptr);
    takeFrames();
    return have;
}

bool encodeJpeg(Work& w, int width, int height, std::string& bytes) {
    const Libav& lib = w.lib;
    const AVFrame* f = w.chosen;
    w.scaler = lib.scaler(f->width, f->height, static_cast<AVPixelFormat>(f->format), width, height,
                          AV_PIX_FMT_YUVJ420P, SWS_BICUBIC, nullptr, nullptr, nullptr);
    w.small = lib.allocFrame();
    if (!w.scaler || !w.small) return false;
    w.small->format = AV_PIX_FMT_YUVJ420P;
    w.small->width = width;
    w.small->height = height;
    if (lib.frameBuffer(w.small, 0) < 0) return false;
    lib.scale(w.scaler, f->data, f->linesize, 0, f->height, w.small->data, w.small->linesize);

    const AVCodec* jpeg = lib.findEncoder(AV_CODEC_ID_MJPEG);
    if (!jpeg || !(w.encoder = lib.allocContext(jpeg))) return false;
    w.encoder->width = width;
    w.encoder->height = height;
    w.encoder->pix_fmt = AV_PIX_FMT_YUVJ420P;
    w.encoder->time_base = AVRational{1, 25};
    w.encoder->flags |= AV_CODEC_FLAG_QSCALE;
    w.encoder->global_quality = FF_QP2LAMBDA * 3;
    if (lib.openCodec(w.encoder, jpeg, nullptr) < 0) return false;
    w.small->pts = 0;
    w.small->quality = w.encoder->global_quality;
    if (lib.sendFrame(w.encoder, w.small) < 0 || lib.sendFrame(w.encoder, nullptr) < 0)
        return false;
    if (lib.receivePacket(w.encoder, w.packet) < 0) return false;
    bytes.assign(reinterpret_cast<const char*>(w.packet->data),
                 static_cast<size_t>(w.packet->size));
    lib.unrefPacket(w.packet);
    return !bytes.empty();
}

}  // namespace

PictureOutcome makePicture(const std::vector<std::string>& args, const Call& call,
                           const std::string& notesFolder, const volatile std::sig_atomic_t& stop,
                           std::string* reason) {
    int width = 0, height = 0;
    const double usual = call.rangeStart.empty() ? 0 : parseTime(call.rangeStart);
    if (!plainThumbnailLine(args) || !parseSize(call.size, width, height) || usual < 0)
        return PictureOutcome::NotHere;
    // The same picture again (the next pass, the run after a preview) is the one kept.
    const std::string detail = "picture at " + call.rangeStart + " size " + call.size;
    if (const auto kept = recallNote(call.input, notesFolder, "picture", detail);
        kept && !kept->empty())
        if (replaceQuickly(call.output, *kept, 0666)) return PictureOutcome::Made;
    const Libav& lib = libavForPictures();
    if (!lib.pictures) return PictureOutcome::NotHere;

    Work w(lib);
    if (!(w.fmt = openSource(lib, call.input))) return PictureOutcome::NotHere;
    const Source source = describeSource(lib, w.fmt);
    keepSourceNotes(call.input, notesFolder, source);
    // The moment follows the encoder's rules: the line's, or near the end of a shorter source.
    const Plan plan = planCall(call, source, {});
    if (!plan.refusal.empty()) {
        if (reason) *reason = plan.refusal;
        return PictureOutcome::Refused;
    }
    double at = usual;
    for (size_t i = 0; i + 1 < plan.extra.size(); ++i)
        if (plan.extra[i] == "-ss") at = parseTime(plan.extra[i + 1]);

    // A sound file's cover art stands in for the picture it lacks: its one frame.
    int stream = pictureStream(w.fmt);
    const bool cover = stream < 0 && (stream = coverStream(w.fmt)) >= 0;
    const AVStream* st = stream >= 0 ? w.fmt->streams[stream] : nullptr;
    const AVCodec* codec = st ? lib.findDecoder(st->codecpar->codec_id) : nullptr;
    if (!codec || !(w.decoder = lib.allocContext(codec)) ||
        lib.parametersToContext(w.decoder, st->codecpar) < 0)
        return PictureOutcome::NotHere;
    w.decoder->thread_count = 1;  // one picture: threads would cost more than they give
    if (lib.openCodec(w.decoder, codec, nullptr) < 0) return PictureOutcome::NotHere;
    w.packet = lib.allocPacket();
    w.frame = lib.allocFrame();
    w.chosen = lib.allocFrame();
    if (!w.packet || !w.frame || !w.chosen) return PictureOutcome::NotHere;

    // The encoder counts the moment from the start of the file, not of the stream.
    const double fileStart = w.fmt->start_time != AV_NOPTS_VALUE
                                 ? static_cast<double>(w.fmt->start_time) / AV_TIME_BASE
                                 : 0;
    if (at > 0 && !cover)
        w.lib.seekFrame(w.fmt, -1, static_cast<int64_t>((fileStart + at) * AV_TIME_BASE),
                        AVSEEK_FLAG_BACKWARD);
    const bool decoded = decodeUpTo(w, stream, cover ? -1e9 : fileStart + at, stop);
    if (stop) return PictureOutcome::Stopped;
    std::string bytes;
    if (!decoded || !encodeJpeg(w, width, height, bytes) || stop) {
        return stop ? PictureOutcome::Stopped : PictureOutcome::NotHere;
    }
    keepNote(call.input, notesFolder, "picture", detail, bytes);
    return replaceQuickly(call.output, bytes, 0666) ? PictureOutcome::Made
                                                    : PictureOutcome::NotHere;
}

}  // namespace qv::adapter
