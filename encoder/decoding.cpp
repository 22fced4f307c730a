#include "decoding.h"

namespace qv::adapter {

StreamDecoder::StreamDecoder(const Libav& lib, const AVStream* stream) : lib_(lib) {
    const AVCodec* codec = lib.findDecoder(stream->codecpar->codec_id);
    if (!codec) return;
    AVCodecContext* c = lib.allocContext(codec);
    if (!c) return;
    c->pkt_timebase = stream->time_base;
    if (lib.parametersToContext(c, stream->codecpar) < 0 || lib.openCodec(c, codec, nullptr) < 0) {
        lib.freeContext(&c);
        return;
    }
    frame_ = lib.allocFrame();
    if (!frame_) {
        lib.freeContext(&c);
        return;
    }
    context_ = c;
}

StreamDecoder::~StreamDecoder() {
    lib_.freeFrame(&frame_);
    lib_.freeContext(&context_);
}

bool StreamDecoder::feed(const AVPacket* packet) {
    if (!context_ || ended_) return true;
    if (!packet) ended_ = true;
    bool ok = lib_.sendPacket(context_, packet) >= 0;
    for (;;) {
        const int r = lib_.receiveFrame(context_, frame_);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) break;
        if (r < 0) {
            ok = false;
            break;
        }
        ++frames_;
        lib_.unrefFrame(frame_);
    }
    failed_ = failed_ || !ok;
    return ok;
}

}  // namespace qv::adapter
