#pragma once
// The installed FFmpeg libraries, opened by name the first time a call needs them (most
// calls never do), and the few entry points the adapter uses. Only their headers are
// used at build time.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <cstdarg>
#include <string>

#include "rules.h"

namespace qv::adapter {

struct Libav {
    // Reading a source (libavformat and what it brings with it).
    int (*openInput)(AVFormatContext**, const char*, const AVInputFormat*,
                     AVDictionary**) = nullptr;
    int (*findStreamInfo)(AVFormatContext*, AVDictionary**) = nullptr;
    void (*closeInput)(AVFormatContext**) = nullptr;
    int (*readFrame)(AVFormatContext*, AVPacket*) = nullptr;
    int (*seekFrame)(AVFormatContext*, int, int64_t, int) = nullptr;
    const char* (*codecName)(enum AVCodecID) = nullptr;
    void (*setLogLevel)(int) = nullptr;
    AVDictionaryEntry* (*dictGet)(const AVDictionary*, const char*, const AVDictionaryEntry*,
                                  int) = nullptr;
    double (*displayRotation)(const int32_t matrix[9]) = nullptr;
    bool reads = false;

    // Decoding (libavcodec).
    const AVCodec* (*findDecoder)(enum AVCodecID) = nullptr;
    AVCodecContext* (*allocContext)(const AVCodec*) = nullptr;
    void (*freeContext)(AVCodecContext**) = nullptr;
    int (*parametersToContext)(AVCodecContext*, const AVCodecParameters*) = nullptr;
    int (*openCodec)(AVCodecContext*, const AVCodec*, AVDictionary**) = nullptr;
    int (*sendPacket)(AVCodecContext*, const AVPacket*) = nullptr;
    int (*receiveFrame)(AVCodecContext*, AVFrame*) = nullptr;
    AVPacket* (*allocPacket)() = nullptr;
    void (*freePacket)(AVPacket**) = nullptr;
    void (*unrefPacket)(AVPacket*) = nullptr;
    AVFrame* (*allocFrame)() = nullptr;
    void (*freeFrame)(AVFrame**) = nullptr;
    void (*unrefFrame)(AVFrame*) = nullptr;
    void (*moveFrame)(AVFrame*, AVFrame*) = nullptr;
    bool decodes = false;

    // Looking a file over: packets kept for later, the libraries' own messages, and the
    // decoders of codecs known by name.
    AVPacket* (*clonePacket)(const AVPacket*) = nullptr;
    const AVCodec* (*findDecoderByName)(const char*) = nullptr;
    const AVCodec* (*findEncoderByName)(const char*) = nullptr;
    void (*setLogCallback)(void (*)(void*, int, const char*, va_list)) = nullptr;
    bool checks = false;

    // Writing one picture as a JPEG (libavcodec, libswscale).
    const AVCodec* (*findEncoder)(enum AVCodecID) = nullptr;
    int (*sendFrame)(AVCodecContext*, const AVFrame*) = nullptr;
    int (*receivePacket)(AVCodecContext*, AVPacket*) = nullptr;
    int (*frameBuffer)(AVFrame*, int) = nullptr;
    SwsContext* (*scaler)(int, int, enum AVPixelFormat, int, int, enum AVPixelFormat, int,
                          SwsFilter*, SwsFilter*, const double*) = nullptr;
    int (*scale)(SwsContext*, const uint8_t* const[], const int[], int, int, uint8_t* const[],
                 const int[]) = nullptr;
    void (*freeScaler)(SwsContext*) = nullptr;
    bool pictures = false;
};

// libavformat only; `reads` tells whether it could be loaded.
const Libav& libavForReading();
// Also libavcodec's and libswscale's entry points; `pictures` tells whether they are there.
const Libav& libavForPictures();
// libavformat and libavcodec's decoders; `checks` tells whether they are there.
const Libav& libavForChecks();

// Opens path for reading with its stream facts found; nullptr when it cannot be read.
AVFormatContext* openSource(const Libav& lib, const std::string& path);

// What an open source holds.
Source describeSource(const Libav& lib, const AVFormatContext* fmt);

// The first video stream that is not a cover picture; -1 when there is none.
int pictureStream(const AVFormatContext* fmt);

// The first cover picture (an attached picture); -1 when there is none.
int coverStream(const AVFormatContext* fmt);

}  // namespace qv::adapter
