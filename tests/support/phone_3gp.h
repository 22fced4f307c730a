#pragma once
// A 3GP as phones write it: H.263 picture and AMR-NB sound with several AMR frames in each
// sound sample. The installed encoder writes one frame a sample and cannot copy such sound
// ("input is not a single packet"), so the file is put together here, box by box.
#include <cstdint>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace qvtest {

namespace phone3gp {

using Bytes = std::string;

inline Bytes u32(uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
            static_cast<char>(v)};
}
inline Bytes u16(uint32_t v) { return {static_cast<char>(v >> 8), static_cast<char>(v)}; }
inline Bytes box(const char* type, const Bytes& payload) {
    return u32(static_cast<uint32_t>(8 + payload.size())) + type + payload;
}
inline Bytes fullBox(const char* type, uint32_t flags, const Bytes& payload) {
    return box(type, u32(flags) + payload);
}
inline Bytes matrix() {
    return u32(0x10000) + u32(0) + u32(0) + u32(0) + u32(0x10000) + u32(0) + u32(0) + u32(0) +
           u32(0x40000000);
}

// The frames of a raw H.263 stream: each starts at a picture start code.
inline std::vector<Bytes> h263Frames(const Bytes& stream) {
    std::vector<size_t> starts;
    for (size_t i = 0; i + 2 < stream.size(); ++i)
        if (stream[i] == 0 && stream[i + 1] == 0 &&
            (static_cast<unsigned char>(stream[i + 2]) & 0xFC) == 0x80)
            starts.push_back(i);
    std::vector<Bytes> frames;
    for (size_t k = 0; k < starts.size(); ++k)
        frames.push_back(stream.substr(
            starts[k], (k + 1 < starts.size() ? starts[k + 1] : stream.size()) - starts[k]));
    return frames;
}

struct Track {
    uint32_t id, timescale, delta;  // delta: the length of one sample
    std::vector<Bytes> samples;
    Bytes handler, handlerName, mediaHeader, sampleEntry;
    uint32_t width = 0, height = 0;
};

inline Bytes trak(const Track& t, uint32_t chunkOffset) {
    const uint32_t count = static_cast<uint32_t>(t.samples.size());
    const uint32_t ms = static_cast<uint32_t>(uint64_t(count) * t.delta * 1000 / t.timescale);
    const Bytes tkhd = fullBox("tkhd", 7,
                               u32(0) + u32(0) + u32(t.id) + u32(0) + u32(ms) + Bytes(8, '\0') +
                                   u16(0) + u16(0) + u16(t.handler == "soun" ? 0x100 : 0) + u16(0) +
                                   matrix() + u32(t.width << 16) + u32(t.height << 16));
    const Bytes mdhd =
        fullBox("mdhd", 0,
                u32(0) + u32(0) + u32(t.timescale) + u32(count * t.delta) + u16(0x55c4) + u16(0));
    const Bytes hdlr =
        fullBox("hdlr", 0, u32(0) + t.handler + Bytes(12, '\0') + t.handlerName + Bytes(1, '\0'));
    const Bytes dinf = box("dinf", fullBox("dref", 0, u32(1) + fullBox("url ", 1, {})));
    Bytes sizes;
    for (const Bytes& s : t.samples) sizes += u32(static_cast<uint32_t>(s.size()));
    const Bytes stbl = box("stbl", fullBox("stsd", 0, u32(1) + t.sampleEntry) +
                                       fullBox("stts", 0, u32(1) + u32(count) + u32(t.delta)) +
                                       fullBox("stsc", 0, u32(1) + u32(1) + u32(count) + u32(1)) +
                                       fullBox("stsz", 0, u32(0) + u32(count) + sizes) +
                                       fullBox("stco", 0, u32(1) + u32(chunkOffset)));
    return box("trak", tkhd + box("mdia", mdhd + hdlr + box("minf", t.mediaHeader + dinf + stbl)));
}

}  // namespace phone3gp

// Writes the 3GP: the frames of a raw H.263 stream (as `ffmpeg -f h263` writes it) at fps,
// and AMR-NB sound of the same length, ten 20 ms frames (12.2 kbit/s, any bits decode) a
// sample. False when nothing could be written.
inline bool writePhone3gp(const std::string& path, const std::string& h263Stream, int width,
                          int height, int fps) {
    using namespace phone3gp;
    Track video{1,
                static_cast<uint32_t>(fps) * 1000,
                1000,
                h263Frames(h263Stream),
                "vide",
                "VideoHandler",
                fullBox("vmhd", 1, Bytes(8, '\0')),
                {}};
    video.width = static_cast<uint32_t>(width);
    video.height = static_cast<uint32_t>(height);
    if (video.samples.empty()) return false;
    video.sampleEntry = box("s263", Bytes(6, '\0') + u16(1) + Bytes(16, '\0') + u16(video.width) +
                                        u16(video.height) + u32(0x480000) + u32(0x480000) + u32(0) +
                                        u16(1) + Bytes(32, '\0') + u16(0x18) + u16(0xFFFF) +
                                        box("d263", Bytes("FFMP") + '\0' + '\x0a' + '\0'));

    constexpr int kFramesPerSample = 10;
    const size_t amrFrames = video.samples.size() * 50 / static_cast<size_t>(fps);
    std::mt19937 bits(7);
    Track sound{2,      8000,           160 * kFramesPerSample,     {},
                "soun", "SoundHandler", fullBox("smhd", 0, u32(0)), {}};
    for (size_t f = 0; f < amrFrames; f += kFramesPerSample) {
        Bytes sample;
        for (int k = 0; k < kFramesPerSample; ++k) {
            sample += '\x3c';  // mode 7 (12.2 kbit/s), quality bit set
            for (int b = 0; b < 31; ++b) sample += static_cast<char>(bits() & 0xFF);
        }
        sound.samples.push_back(sample);
    }
    sound.sampleEntry = box("samr", Bytes(6, '\0') + u16(1) + Bytes(8, '\0') + u16(1) + u16(16) +
                                        u32(0) + u32(8000u << 16) +
                                        box("damr", Bytes("FFMP") + '\0' + u16(0x81FF) + '\0' +
                                                        static_cast<char>(kFramesPerSample)));

    const Bytes ftyp = box("ftyp", Bytes("3gp6") + u32(0x100) + "3gp6isom");
    Bytes videoData, soundData;
    for (const Bytes& s : video.samples) videoData += s;
    for (const Bytes& s : sound.samples) soundData += s;
    const uint32_t videoAt = static_cast<uint32_t>(ftyp.size() + 8);
    const uint32_t soundAt = static_cast<uint32_t>(videoAt + videoData.size());
    const uint32_t ms =
        static_cast<uint32_t>(video.samples.size() * 1000 / static_cast<size_t>(fps));
    const Bytes mvhd = fullBox("mvhd", 0,
                               u32(0) + u32(0) + u32(1000) + u32(ms) + u32(0x10000) + u16(0x100) +
                                   Bytes(10, '\0') + matrix() + Bytes(24, '\0') + u32(3));
    const Bytes file = ftyp + box("mdat", videoData + soundData) +
                       box("moov", mvhd + trak(video, videoAt) + trak(sound, soundAt));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(file.data(), static_cast<std::streamsize>(file.size()));
    return static_cast<bool>(out);
}

}  // namespace qvtest
