#pragma once
// What the adapter decides about one call before the encoder starts: whether the result
// can play at all (else a reason, in the interface's language), and the parameters the
// installed encoder needs that the program's line does not give.
#include <string>
#include <string_view>
#include <vector>

namespace qv::adapter {

// The program's line, read once.
struct Call {
    std::string input, output, ext;  // ext in lower case
    std::string videoCodec,
        audioCodec;  // encoder names as the encoder knows them; "copy"; "" = none
    bool noVideo = false, noAudio = false, thumbnail = false, hasCrop = false;
    std::string size, aspect, frameRate, sampleRate, channels, bitRate, quality;
    int pass = 0;
    std::string rangeStart, rangeLength;  // the first -ss / -t of the line
    std::string lastLength;               // the last -t (the preview's, when there are two)
    int lengthCount = 0;
};

Call parseCall(const std::vector<std::string>& args);

// What the source holds, as far as a probe found out.
struct Source {
    bool known = false;
    bool hasVideo = false, hasAudio = false;
    std::string videoCodec, audioCodec;  // codec names ("h264", "aac")
    int width = 0, height = 0, sampleRate = 0, channels = 0;
    double duration = 0;       // seconds; 0 when unknown
    long videoBitRate = 0;     // bit/s; 0 when unknown
    bool hasCover = false;     // an attached picture (cover art), not counted as video
    int rotation = 0;          // degrees the picture is turned for display: 0, 90, 180, 270
    std::string creationTime;  // the container's recording date as written ("" = none)
    // AMR sound in an MP4-family file: it may pack several frames a sample, of which the
    // decoder takes the first only and a copy none.
    bool packedSound = false;
};

// Notes kept beside the statistics of a two-pass result between its passes.
struct PassNotes {
    bool present = false;  // pass 1 left them
    std::string rangeStart, rangeLength, bitRate;
};

// True when the decision depends on what the source holds (stream copy into a container
// that takes only some codecs, a thumbnail, a two-pass rate chosen from the source).
bool needsSource(const Call& call);

// True for every conversion call: what the source says about itself (its recording date,
// its rotation, a cover picture) shapes the line even where no refusal depends on it.
bool readsSource(const Call& call);

struct Plan {
    std::string refusal;                     // not empty: the call is refused for this reason
    std::vector<std::string> removeOptions;  // options dropped from the translated line
    std::string videoFilter;                 // appended to the line's -vf chain
    std::string audioFilter;                 // appended to the line's -af chain
    std::vector<std::string> extra;          // options placed before the result path
    std::string audioEncoder;                // replaces the line's sound encoder
    bool bitexactPictureOnly = false;        // -flags bitexact in the form Matroska takes
    PassNotes notesToKeep;                   // pass 1: what pass 2 must see
    // The frame size and aspect as the picture is seen (a portrait source turns the line's
    // landscape ones); they replace the line's -s (and the scale after a crop) and -aspect.
    std::string pictureSize, aspect;
    // The sound is read from its frames, taken out of the source first (withUnpackedSound).
    bool unpackSound = false;
};

Plan planCall(const Call& call, const Source& source, const PassNotes& notes);

// A stream copy the encoder could not do for one stream: that stream is encoded instead,
// with the codec its container is usually given (a list value of the program's line).
struct StreamFallback {
    bool video = false;  // else the sound
    std::string codec;   // list value, such as "libfaac"
    std::string note;    // for the log, in the interface's language
};

// What to do after a call that copies a stream failed with the encoder's error lines (or,
// for a result that exited 0 but does not read back, with `unreadable`): nothing (empty
// codec) unless the lines name a stream the copy could not take.
StreamFallback copyFallback(const Call& call, const Source& source, const std::string& error,
                            bool unreadable = false);

// A copy whose result may end with 0 and still not open (AC-3 copied into the MP4 family
// can leave a sample description of size 0): only such results are opened to look.
bool copyMayNotReadBack(const Call& call, const Source& source);

// The program's line with one stream's "copy" replaced by an encoder.
std::vector<std::string> withStreamEncoded(const std::vector<std::string>& args,
                                           const StreamFallback& fallback);

// The translated line reading its sound from rawSound (the source's AMR frames, taken out
// with the AMR muxer) instead of from the source.
std::vector<std::string> withUnpackedSound(std::vector<std::string> translated,
                                           const std::string& rawSound);

// The translated line with the plan applied.
std::vector<std::string> applyPlan(std::vector<std::string> translated, const Plan& plan);

// The CRF that a quality row (1 best .. 31 worst) gives with one of today's encoders
// (libx265, libvpx-vp9, libsvtav1), lower still better; -1 for any other encoder.
int crfForQuality(std::string_view encoder, int quality);

// "00:01:30" or "5" or "2.5" -> seconds; -1 when it is not a time.
double parseTime(const std::string& t);

// The containers of the lists (extensions, in list order) that hold codec, named as a probe
// names it ("mjpeg"). Failure reasons ask it for a container to suggest.
std::vector<std::string> containersHolding(const std::string& codec);

}  // namespace qv::adapter
