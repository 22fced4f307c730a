#pragma once
// Everything the adapter knows about a codec, one row per codec: the name the program's
// line uses, the installed encoder, and what that encoder needs and gives (frame-size step,
// channels, sample rates, quality scale, two-pass mode, the containers its result plays
// back from whole). Also the codecs a source may bring that no list row makes, so that a
// stream copy is judged by the same rows. Measured on the installed build.
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qv::adapter {

enum class CodecKind { Video, Audio };

// How a quality row (1 best .. 31 worst) reaches the encoder.
enum class QualityMapping {
    Qscale,       // as the encoder's own quantiser (-q:v)
    CrfLinear,    // spread over the CRF range, lower still better
    CrfQuantiser  // read as MPEG-4's quantiser step: six CRF steps double it
};

// What a two-pass job does with the codec.
enum class TwoPassMode {
    None,     // no second pass to speak of (a stream copy, a lossless codec): no rate needed
    Rate,     // both passes at one rate; an automatic one is taken from the source
    Refused,  // the installed encoder keeps no statistics for a second pass
};

using Options = std::initializer_list<std::string_view>;

struct CodecRow {
    std::string_view dialect = {};  // lower-case list value of the program's line; "" = none
    std::string_view encoder = {};  // the installed encoder; "" = only ever copied from a source
    std::string_view codec = {};    // as a probe names it
    CodecKind kind = CodecKind::Video;
    // Containers whose result plays back whole, the one a user would pick first. Matroska
    // holds every codec that plays anywhere and is not listed.
    Options containers = {};
    std::string_view neverPlays = {};   // not empty: refused everywhere, for this reason
    std::string_view replacement = {};  // an encoder that stands in for `encoder` on this build

    // Picture: frame sizes must be divisible by this; the only sizes it takes (none: any);
    // the pixel format it must get; a frame rate it needs when the line has none.
    int sizeStep = 2;
    Options sizes = {};
    std::string_view sizeFilter = {};  // brings any picture to one of `sizes`
    std::string_view pixelFormat = {};
    std::string_view frameRate = {};

    // Sound: most channels (0: any); the only sample rates it takes (none: any); the rate
    // it gets when the line has none; mono unless the line asks otherwise.
    int maxChannels = 0;
    Options sampleRates = {};
    std::string_view sampleRate = {};
    bool mono = false;
    std::string_view channelLayouts = {};  // the layouts its channel mapping takes ("" = any)

    QualityMapping quality = QualityMapping::Qscale;
    int crfLowest = 0, crfHighest = 0;  // the CRF range of a Crf mapping
    Options speed = {};                 // options that keep a preview quick
    Options twoPassSpeed = {};          // in place of `speed` in a two-pass job
    TwoPassMode twoPass = TwoPassMode::Rate;
    bool experimental = false;         // the encoder runs only with -strict -2
    bool bitexactPictureOnly = false;  // Matroska takes -flags bitexact only as the picture's
};

// A container of the list and the codecs a user would pair in it: a stream that cannot go
// in as it is becomes one of these.
struct ContainerRow {
    std::string_view ext = {};
    std::string_view video = {}, audio = {};  // dialect names; "" = it holds none
    bool holdsAll = false;                    // takes every codec (no row lists it)
    // Rates every codec of it takes, AAC aside (none: any); some take others too.
    Options sampleRates = {};
};

std::span<const CodecRow> codecTable();
std::span<const ContainerRow> containerTable();

// The row of a name of the program's line ("libfaac"), of an installed encoder ("aac"), of
// a codec as a probe names it ("aac"); nullptr when there is none.
const CodecRow* codecForDialect(std::string_view dialect);
const CodecRow* codecForEncoder(std::string_view encoder);
const CodecRow* codecNamed(std::string_view codec, CodecKind kind);

const ContainerRow* containerRow(std::string_view ext);

// Whether a result of this container (extension, lower case) plays back whole with a
// stream of the codec (as a probe names it). A container the table does not know takes any.
bool containerHolds(std::string_view ext, CodecKind kind, std::string_view codec);

// The containers that hold the codec (as a probe names it), the one a user would pick
// first; Matroska last unless the codec's own row lists it.
std::vector<std::string> containersHolding(std::string_view codec, CodecKind kind);

// The table as tab-separated lines, one per codec, after a header line; then one line per
// container. For the scripts that measure it.
std::string codecTableText();

}  // namespace qv::adapter
