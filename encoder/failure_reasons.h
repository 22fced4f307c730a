#pragma once
// Why a call failed, as the user reads it: one sentence in the interface's language from
// a fixed set of causes, each saying what to do where there is something to do. The
// encoder's own lines go to the log only; one table maps them to these causes.
#include <string>
#include <string_view>
#include <vector>

namespace qv::adapter {

enum class Cause {
    DamagedSource,        // the source is damaged, or is not a video or sound file
    NothingToConvert,     // the source, or what the call keeps of it, holds nothing to convert
    ContainerCannotHold,  // the result's container cannot hold a codec of the call
    EncoderLimit,         // an encoder cannot take the frame size, frame rate, sample rate
                          // or channel count
    DiskFull,             // the destination's disk is full
    CannotWrite,          // the destination folder cannot be written
    Stopped,              // the conversion was stopped
    ResultFailedCheck,    // the result was written, but does not play as asked
    Other,                // anything else; the encoder's words are in the log
};

enum class Limit { None, FrameSize, FrameRate, SampleRate, Channels };

// What one error line of the encoder tells, by the table.
struct EncoderMessage {
    Cause cause = Cause::Other;
    Limit limit = Limit::None;
    std::string codec;    // the codec the line names ("mjpeg"), when it names one
    std::string speaker;  // who said it ("h263p" of "h263p: ..."), when it is a name
};

// A line of the encoder's error output as the adapter keeps it: "[mp4 @ 0x55d1...] text"
// becomes "mp4: text", blanks trimmed.
std::string encoderLine(const std::string& raw);

struct CallFacts;

// line as encoderLine gives it. A cause that lies with the destination is taken only from a
// line that names the destination (any line, when call does not give it).
EncoderMessage classifyEncoderLine(std::string_view line, const CallFacts& call);

// The facts of a call that a sentence names.
struct CallFacts {
    std::string destination;                 // the path the encoder writes
    std::string container;                   // the result's extension, lower case ("mp4")
    std::string videoEncoder, audioEncoder;  // as the encoder knows them; "copy"; "" none
    std::string videoCodec, audioCodec;      // what the source holds ("h264"), when known
    std::string size, frameRate, sampleRate, channels;  // as the line asks; "" automatic
};

// The reason for a failed encoder run, from its error lines (oldest first): the first cause
// of the table that any line shows, else the general sentence.
std::string reasonForEncoderFailure(const std::vector<std::string>& lines, const CallFacts& call,
                                    bool stopped);

// True when a line tells that the result could not be written whole (a full disk, a
// folder that takes no files): the encoder may end with 0 all the same.
bool writingFailed(const std::vector<std::string>& lines, const CallFacts& call);

// Why a call has nothing to convert.
enum class Nothing {
    InSource,               // no picture or sound stream decodes
    NoSoundLeft,            // the picture is disabled and the source has no sound
    NoPictureLeft,          // the sound is disabled and the source has no picture
    BothDisabled,           // picture and sound are both disabled
    RangeAfterTheEnd,       // the range starts after the source ends
    EmptyRange,             // the range is 0 seconds long
    TwoPassWithoutPicture,  // pass 1 of two-pass gathers picture statistics; there is no picture
};
std::string nothingToConvertReason(Nothing why, double sourceSeconds = 0);

// What the look at a finished result found wrong with it.
enum class Fault {
    WillNotOpen,
    Empty,  // neither picture nor sound
    NoPicture,
    NoSound,
    ReadingStops,  // a packet does not demux
    PictureDoesNotDecode,
    SoundDoesNotDecode,
    TooLong,
    TooShort,
};
std::string failedCheckReason(Fault fault, double seconds = 0, double wanted = 0);

// A container of the lists, other than `except`, that holds codec (named as a probe names
// it, "mjpeg"); empty when there is none. Answered from the adapter's container rules.
std::string containerHolding(const std::string& codec, const std::string& except);

// "ffmpeg がエラーで終了しました（詳しくはログ）"
extern const char* const kEncoderFailedReason;
// The conversion was stopped.
extern const char* const kStoppedReason;

}  // namespace qv::adapter
