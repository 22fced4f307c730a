#include "decoding.h"

#include <cstdio>
#include <mutex>

namespace qv::adapter {

namespace {

// Decoders may report from threads of their own.
std::mutex g_captureLock;
std::vector<std::string>* g_captured = nullptr;
constexpr size_t kMostMessages = 200;

void keepMessage(void* context, int level, const char* format, va_list args) {
    if (level > AV_LOG_ERROR || !format) return;
    char text[1024];
    std::vsnprintf(text, sizeof text, format, args);
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (line.empty()) return;
    // The first member of every context the libraries log from is its class.
    const AVClass* cls = context ? *static_cast<const AVClass* const*>(context) : nullptr;
    if (cls && cls->item_name) line = "[" + std::string(cls->item_name(context)) + "] " + line;
    const std::lock_guard<std::mutex> hold(g_captureLock);
    if (g_captured && g_captured->size() < kMostMessages) g_captured->push_back(line);
}

void dropMessage(void*, int, const char*, va_list) {}

std::vector<std::string> g_messages;

}  // namespace

ErrorCapture::ErrorCapture(const Libav& lib) : lib_(lib) {
    {
        const std::lock_guard<std::mutex> hold(g_captureLock);
        g_messages.clear();
        g_captured = &g_messages;
    }
    lib_.setLogCallback(keepMessage);
}

ErrorCapture::~ErrorCapture() {
    lib_.setLogCallback(dropMessage);
    const std::lock_guard<std::mutex> hold(g_captureLock);
    g_captured = nullptr;
}

std::vector<std::string> ErrorCapture::messages() const {
    const std::lock_guard<std::mutex> hold(g_captureLock);
    return g_messages;
}

size_t ErrorCapture::count() const {
    const std::lock_guard<std::mutex> hold(g_captureLock);
    return g_messages.size();
}

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

bool packetSeconds(const AVPacket* packet, AVRational timeBase, double& seconds) {
    const int64_t t = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
    if (t == AV_NOPTS_VALUE || timeBase.den == 0) return false;
    seconds = static_cast<double>(t) * av_q2d(timeBase);
    return true;
}

}  // namespace qv::adapter
