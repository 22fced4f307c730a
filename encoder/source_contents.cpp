#include "source_contents.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "decoding.h"
#include "failure_reasons.h"
#include "libav.h"
#include "probe.h"
#include "rules.h"
#include "translate.h"

namespace qv::adapter {

namespace {

// How far into a source the first decodable frame is looked for. A source read to its
// end without one holds nothing; one that gives nothing this far is left to the encoder.
constexpr int kPacketsLooked = 2000;

bool isCoverPicture(const AVStream* st) {
    return (st->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0;
}

// A stream's own length, else the container's; 0 when neither is known or the container
// only guessed it from the bit rate.
double streamSeconds(const AVFormatContext* fmt, const AVStream* st) {
    if (fmt->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE) return 0;
    if (st->duration > 0 && st->time_base.den > 0)
        return static_cast<double>(st->duration) * av_q2d(st->time_base);
    return fmt->duration > 0 ? static_cast<double>(fmt->duration) / AV_TIME_BASE : 0;
}

SourceContents inspect(const Libav& lib, AVFormatContext* fmt) {
    SourceContents c;
    c.known = true;
    std::vector<std::unique_ptr<StreamDecoder>> decoders(fmt->nb_streams);
    bool untried = false;  // a stream the installed build cannot decode: it may still be copied
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        const AVStream* st = fmt->streams[i];
        const AVMediaType type = st->codecpar->codec_type;
        if ((type != AVMEDIA_TYPE_VIDEO && type != AVMEDIA_TYPE_AUDIO) || isCoverPicture(st))
            continue;
        const double seconds = streamSeconds(fmt, st);
        const std::string codec = lib.codecName(st->codecpar->codec_id);
        if (type == AVMEDIA_TYPE_VIDEO) {
            if (!c.picture) c.pictureCodec = codec;
            c.picture = true;
            c.pictureSeconds = std::max(c.pictureSeconds, seconds);
        } else {
            if (!c.sound) c.soundCodec = codec;
            c.sound = true;
            c.soundSeconds = std::max(c.soundSeconds, seconds);
        }
        decoders[i] = std::make_unique<StreamDecoder>(lib, st);
        if (!decoders[i]->opened()) untried = true;
    }
    if (!c.picture && !c.sound) {
        c.convertible = false;
        return c;
    }
    if (untried) return c;

    AVPacket* packet = lib.allocPacket();
    if (!packet) return c;
    bool frame = false, ended = false;
    for (int n = 0; n < kPacketsLooked && !frame; ++n) {
        if (lib.readFrame(fmt, packet) < 0) {
            ended = true;
            break;
        }
        const auto index = static_cast<size_t>(packet->stream_index);
        if (index < decoders.size() && decoders[index]) {
            decoders[index]->feed(packet);
            frame = decoders[index]->frames() > 0;
        }
        lib.unrefPacket(packet);
    }
    lib.freePacket(&packet);
    // What the decoders still hold comes out at the end.
    for (auto& d : decoders) {
        if (frame || !ended) break;
        if (!d) continue;
        d->feed(nullptr);
        frame = d->frames() > 0;
    }
    c.convertible = frame || !ended;
    return c;
}

std::string lastValueOf(const std::vector<std::string>& args, size_t end, const char* option) {
    std::string value;
    for (size_t i = 0; i + 1 < end; ++i) {
        if (args[i] == option) value = args[i + 1];
    }
    return value;
}

}  // namespace

std::string contentsToText(const SourceContents& c) {
    char buf[512];
    std::snprintf(buf, sizeof buf, "%d %d %d %d %.3f %.3f %s %s", c.known, c.picture, c.sound,
                  c.convertible, c.pictureSeconds, c.soundSeconds,
                  c.pictureCodec.empty() ? "-" : c.pictureCodec.c_str(),
                  c.soundCodec.empty() ? "-" : c.soundCodec.c_str());
    return buf;
}

bool contentsFromText(const std::string& text, SourceContents& c) {
    int known = 0, picture = 0, sound = 0, convertible = 0;
    char pictureCodec[64] = "", soundCodec[64] = "";
    SourceContents r;
    if (std::sscanf(text.c_str(), "%d %d %d %d %lf %lf %63s %63s", &known, &picture, &sound,
                    &convertible, &r.pictureSeconds, &r.soundSeconds, pictureCodec,
                    soundCodec) != 8)
        return false;
    r.known = known != 0;
    r.picture = picture != 0;
    r.sound = sound != 0;
    r.convertible = convertible != 0;
    r.pictureCodec = std::string(pictureCodec) == "-" ? "" : pictureCodec;
    r.soundCodec = std::string(soundCodec) == "-" ? "" : soundCodec;
    c = r;
    return true;
}

SourceContents readContents(const std::string& path, const std::string& notesFolder) {
    SourceContents c;
    // A pipe or a device would hold the reading up; the encoder may make of it what it can.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return c;
    if (const auto kept = recallNote(path, notesFolder, "contents", "");
        kept && contentsFromText(*kept, c))
        return c;
    const Libav& lib = libavForChecks();
    if (!lib.checks) return c;
    AVFormatContext* fmt = openSource(lib, path);
    if (!fmt) return c;
    c = inspect(lib, fmt);
    lib.closeInput(&fmt);
    keepNote(path, notesFolder, "contents", "", contentsToText(c) + "\n");
    return c;
}

Asked askedOf(const std::vector<std::string>& args) {
    Asked a;
    const int out = outputIndex(args);
    const size_t end = out < 0 ? args.size() : static_cast<size_t>(out);
    for (size_t i = 0; i < end; ++i) {
        if (args[i] == "-vn") a.picture = false;
        if (args[i] == "-an") a.sound = false;
    }
    // The encoder takes the last of an option given twice.
    const double start = parseTime(lastValueOf(args, end, "-ss"));
    if (start > 0) a.start = start;
    a.length = parseTime(lastValueOf(args, end, "-t"));
    a.pass = passNumberOf(args);
    return a;
}

std::string nothingToConvert(const Asked& asked, const SourceContents& source) {
    if (!asked.picture && !asked.sound) return nothingToConvertReason(Nothing::BothDisabled);
    if (asked.length == 0) return nothingToConvertReason(Nothing::EmptyRange);
    if (!source.known) return {};
    if ((!source.picture && !source.sound) || !source.convertible)
        return nothingToConvertReason(Nothing::InSource);
    if (!asked.picture && !source.sound) return nothingToConvertReason(Nothing::NoSoundLeft);
    // Pass 1 leaves the sound out of its own accord.
    if (asked.pass == 1 && !source.picture)
        return nothingToConvertReason(Nothing::TwoPassWithoutPicture);
    if (!asked.sound && !source.picture) return nothingToConvertReason(Nothing::NoPictureLeft);
    // Only what the call keeps counts: the longer of its picture and its sound.
    const double longest =
        std::max(asked.picture ? source.pictureSeconds : 0, asked.sound ? source.soundSeconds : 0);
    if (longest > 0 && asked.start >= longest)
        return nothingToConvertReason(Nothing::RangeAfterTheEnd, longest);
    return {};
}

}  // namespace qv::adapter
