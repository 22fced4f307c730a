#pragma once
// Decoding a file's streams in this process, to look a source or a result over: one
// decoder per stream, and the libraries' own error messages caught while they work.
#include <string>
#include <vector>

#include "libav.h"

namespace qv::adapter {

// While one lives, the libraries' messages of error level and worse are kept here instead
// of being dropped: what `ffmpeg -v error` would print. One at a time.
class ErrorCapture {
  public:
    explicit ErrorCapture(const Libav& lib);
    ~ErrorCapture();
    ErrorCapture(const ErrorCapture&) = delete;
    ErrorCapture& operator=(const ErrorCapture&) = delete;

    // The messages so far, "[name] text" each, in the order they came.
    std::vector<std::string> messages() const;
    size_t count() const;

  private:
    const Libav& lib_;
};

// The decoder of one stream, opened as the encoder would open it.
class StreamDecoder {
  public:
    StreamDecoder(const Libav& lib, const AVStream* stream);
    ~StreamDecoder();
    StreamDecoder(const StreamDecoder&) = delete;
    StreamDecoder& operator=(const StreamDecoder&) = delete;

    // False when the installed build has no decoder for the stream or it would not open.
    bool opened() const { return context_ != nullptr; }
    // Sends one packet (nullptr: the end of the stream) and takes every frame that comes
    // out. False when the decoder refused the packet or failed on a frame.
    bool feed(const AVPacket* packet);
    bool failed() const { return failed_; }
    long frames() const { return frames_; }

  private:
    const Libav& lib_;
    AVCodecContext* context_ = nullptr;
    AVFrame* frame_ = nullptr;
    bool failed_ = false, ended_ = false;
    long frames_ = 0;
};

// A packet's time on its stream's clock in seconds: its presentation time, else its
// decoding time; false when it has neither.
bool packetSeconds(const AVPacket* packet, AVRational timeBase, double& seconds);

}  // namespace qv::adapter
