#include "libav.h"

#include <dlfcn.h>

#include <cmath>
#include <cstring>

namespace qv::adapter {

namespace {

template <typename F>
bool find(void* handle, const char* name, F& f) {
    f = reinterpret_cast<F>(::dlsym(handle, name));
    return f != nullptr;
}

void* openLibrary(const char* stem, int major) {
    const std::string soname = std::string(stem) + ".so." + std::to_string(major);
    return ::dlopen(soname.c_str(), RTLD_NOW | RTLD_LOCAL);
}

enum class Level { Reading, Checks, Pictures };

// Symbols of libavcodec and libavutil are found through libavformat, which depends on both.
Libav load(Level level) {
    Libav l;
    void* format = openLibrary("libavformat", LIBAVFORMAT_VERSION_MAJOR);
    if (!format) return l;
    l.reads =
        find(format, "avformat_open_input", l.openInput) &&
        find(format, "avformat_find_stream_info", l.findStreamInfo) &&
        find(format, "avformat_close_input", l.closeInput) &&
        find(format, "av_read_frame", l.readFrame) && find(format, "av_seek_frame", l.seekFrame) &&
        find(format, "avcodec_get_name", l.codecName) &&
        find(format, "av_log_set_level", l.setLogLevel) && find(format, "av_dict_get", l.dictGet) &&
        find(format, "av_display_rotation_get", l.displayRotation);
    if (!l.reads || level == Level::Reading) return l;
    l.decodes = find(format, "avcodec_find_decoder", l.findDecoder) &&
                find(format, "avcodec_alloc_context3", l.allocContext) &&
                find(format, "avcodec_free_context", l.freeContext) &&
                find(format, "avcodec_parameters_to_context", l.parametersToContext) &&
                find(format, "avcodec_open2", l.openCodec) &&
                find(format, "avcodec_send_packet", l.sendPacket) &&
                find(format, "avcodec_receive_frame", l.receiveFrame) &&
                find(format, "av_packet_alloc", l.allocPacket) &&
                find(format, "av_packet_free", l.freePacket) &&
                find(format, "av_packet_unref", l.unrefPacket) &&
                find(format, "av_frame_alloc", l.allocFrame) &&
                find(format, "av_frame_free", l.freeFrame) &&
                find(format, "av_frame_unref", l.unrefFrame) &&
                find(format, "av_frame_move_ref", l.moveFrame);
    if (!l.decodes) return l;
    if (level == Level::Checks) {
        l.checks = find(format, "av_packet_clone", l.clonePacket) &&
                   find(format, "avcodec_find_decoder_by_name", l.findDecoderByName) &&
                   find(format, "avcodec_find_encoder_by_name", l.findEncoderByName) &&
                   find(format, "av_log_set_callback", l.setLogCallback);
        return l;
    }
    void* scale = openLibrary("libswscale", LIBSWSCALE_VERSION_MAJOR);
    l.pictures = scale && find(format, "avcodec_find_encoder", l.findEncoder) &&
                 find(format, "avcodec_send_frame", l.sendFrame) &&
                 find(format, "avcodec_receive_packet", l.receivePacket) &&
                 find(format, "av_frame_get_buffer", l.frameBuffer) &&
                 find(scale, "sws_getContext", l.scaler) && find(scale, "sws_scale", l.scale) &&
                 find(scale, "sws_freeContext", l.freeScaler);
    return l;
}

}  // namespace

const Libav& libavForReading() {
    static const Libav lib = load(Level::Reading);
    return lib;
}

const Libav& libavForPictures() {
    static const Libav lib = load(Level::Pictures);
    return lib;
}

const Libav& libavForChecks() {
    static const Libav lib = load(Level::Checks);
    return lib;
}

AVFormatContext* openSource(const Libav& lib, const std::string& path) {
    if (!lib.reads) return nullptr;
    lib.setLogLevel(AV_LOG_QUIET);
    AVFormatContext* fmt = nullptr;
    // A relative name with a colon would be taken for a protocol.
    const std::string url =
        path.find(':') != std::string::npos && path[0] != '/' ? "file:" + path : path;
    if (lib.openInput(&fmt, url.c_str(), nullptr, nullptr) < 0) return nullptr;
    lib.findStreamInfo(fmt, nullptr);
    return fmt;
}

int pictureStream(const AVFormatContext* fmt) {
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        const AVStream* st = fmt->streams[i];
        if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
            !(st->disposition & AV_DISPOSITION_ATTACHED_PIC))
            return static_cast<int>(i);
    }
    return -1;
}

int coverStream(const AVFormatContext* fmt) {
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        const AVStream* st = fmt->streams[i];
        if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
            (st->disposition & AV_DISPOSITION_ATTACHED_PIC))
            return static_cast<int>(i);
    }
    return -1;
}

namespace {

// Degrees the picture is turned clockwise for display (0, 90, 180 or 270).
int rotationOf(const Libav& lib, const AVStream* st) {
    for (int i = 0; i < st->nb_side_data; ++i) {
        const AVPacketSideData& d = st->side_data[i];
        if (d.type != AV_PKT_DATA_DISPLAYMATRIX || d.size < 9 * 4) continue;
        const double turned = -lib.displayRotation(reinterpret_cast<const int32_t*>(d.data));
        if (turned != turned) return 0;  // not a rotation (NaN)
        const int quarter = static_cast<int>(std::lround(turned / 90.0));
        return ((quarter % 4) + 4) % 4 * 90;
    }
    return 0;
}

}  // namespace

Source describeSource(const Libav& lib, const AVFormatContext* fmt) {
    Source s;
    s.known = true;
    const int video = pictureStream(fmt);
    if (video >= 0) {
        const AVCodecParameters* par = fmt->streams[video]->codecpar;
        s.hasVideo = true;
        s.videoCodec = lib.codecName(par->codec_id);
        s.width = par->width;
        s.height = par->height;
        s.videoBitRate = static_cast<long>(par->bit_rate);
        s.rotation = rotationOf(lib, fmt->streams[video]);
    }
    s.hasCover = coverStream(fmt) >= 0;
    if (const AVDictionaryEntry* e = lib.dictGet(fmt->metadata, "creation_time", nullptr, 0);
        e && e->value && *e->value && std::strchr(e->value, ' ') == nullptr)
        s.creationTime = e->value;
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        const AVCodecParameters* par = fmt->streams[i]->codecpar;
        if (par->codec_type != AVMEDIA_TYPE_AUDIO) continue;
        s.hasAudio = true;
        s.audioCodec = lib.codecName(par->codec_id);
        s.sampleRate = par->sample_rate;
        s.channels = par->ch_layout.nb_channels;
        s.packedSound =
            (par->codec_id == AV_CODEC_ID_AMR_NB || par->codec_id == AV_CODEC_ID_AMR_WB) &&
            fmt->iformat && std::strstr(fmt->iformat->name, "mp4") != nullptr;
        break;
    }
    if (fmt->duration > 0) s.duration = static_cast<double>(fmt->duration) / AV_TIME_BASE;
    // Without a rate of its own (Matroska, WebM), the picture gets what the file averages.
    if (s.hasVideo && s.videoBitRate <= 0 && fmt->bit_rate > 0)
        s.videoBitRate = static_cast<long>(fmt->bit_rate);
    return s;
}

}  // namespace qv::adapter
