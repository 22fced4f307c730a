#include "codecs.h"

#include <algorithm>

namespace qv::adapter {

namespace {

// One row per codec of the lists, in their order, then the codecs only a source brings.
// The containers were measured on the installed build: a result of each plays back whole
// (decodes without an error, as long as its source). A container not in a row is refused
// before anything is written.
// clang-format off
const CodecRow kCodecs[] = {
    // Picture.
    {.dialect = "asv1", .encoder = "asv1", .codec = "asv1", .kind = CodecKind::Video, .containers = {"avi", "mov"}, .sizeStep = 16, .twoPass = TwoPassMode::None},
    {.dialect = "asv2", .encoder = "asv2", .codec = "asv2", .kind = CodecKind::Video, .containers = {"avi", "mov"}, .sizeStep = 16, .twoPass = TwoPassMode::None},
    {.dialect = "dvvideo", .encoder = "dvvideo", .codec = "dvvideo", .kind = CodecKind::Video, .containers = {"avi", "mov"}, .twoPass = TwoPassMode::None},
    {.dialect = "ffv1", .encoder = "ffv1", .codec = "ffv1", .kind = CodecKind::Video, .containers = {"avi", "mov"}, .sizeStep = 1, .twoPass = TwoPassMode::None},
    {.dialect = "ffvhuff", .encoder = "ffvhuff", .codec = "ffvhuff", .kind = CodecKind::Video, .containers = {"avi", "mov"}, .twoPass = TwoPassMode::None},
    {.dialect = "flashsv", .encoder = "flashsv", .codec = "flashsv", .kind = CodecKind::Video, .containers = {"flv", "swf"}, .sizeStep = 1, .twoPass = TwoPassMode::None},
    {.dialect = "flv", .encoder = "flv", .codec = "flv1", .kind = CodecKind::Video, .containers = {"flv", "avi", "mov", "swf"}},
    {.dialect = "h261", .encoder = "h261", .codec = "h261", .kind = CodecKind::Video, .containers = {}, .neverPlays = "H261 の結果はインストールされた FFmpeg で読むと必ず最初のフレームでエラーになります", .sizes = {"176x144", "352x288"}, .sizeFilter = "scale=w='if(gte(iw,352),352,176)':h=ow*9/11"},
    {.dialect = "h263", .encoder = "h263", .codec = "h263", .kind = CodecKind::Video, .containers = {"3gp", "avi", "mp4", "mov"}, .sizes = {"128x96", "176x144", "352x288", "704x576", "1408x1152"}, .sizeFilter = "scale=w='if(gte(iw,704),704,if(gte(iw,352),352,176))':h=ow*9/11"},
    {.dialect = "h263p", .encoder = "h263p", .codec = "h263p", .kind = CodecKind::Video, .containers = {"avi"}, .sizeStep = 4},
    {.dialect = "libx264", .encoder = "libx264", .codec = "h264", .kind = CodecKind::Video, .containers = {"mp4", "avi", "mpg", "m2p", "3gp", "wmv", "asf", "mov", "flv"}, .pixelFormat = "yuv420p", .bitexactPictureOnly = true},
    {.dialect = "huffyuv", .encoder = "huffyuv", .codec = "huffyuv", .kind = CodecKind::Video, .containers = {"avi", "mov"}, .twoPass = TwoPassMode::None},
    {.dialect = "jpegls", .encoder = "jpegls", .codec = "jpegls", .kind = CodecKind::Video, .containers = {"avi", "mov"}, .sizeStep = 1, .twoPass = TwoPassMode::None},
    {.dialect = "mjpeg", .encoder = "mjpeg", .codec = "mjpeg", .kind = CodecKind::Video, .containers = {"avi", "mp4", "wmv", "asf", "mov", "swf"}},
    {.dialect = "mpeg1video", .encoder = "mpeg1video", .codec = "mpeg1video", .kind = CodecKind::Video, .containers = {"mpg", "avi", "m2p", "mp4", "wmv", "asf", "mov"}},
    {.dialect = "mpeg2video", .encoder = "mpeg2video", .codec = "mpeg2video", .kind = CodecKind::Video, .containers = {"m2p", "avi", "mpg", "mp4", "wmv", "asf", "mov"}},
    {.dialect = "mpeg4", .encoder = "mpeg4", .codec = "mpeg4", .kind = CodecKind::Video, .containers = {"avi", "mp4", "3gp", "wmv", "asf", "mov"}},
    {.dialect = "msmpeg4", .encoder = "msmpeg4", .codec = "msmpeg4v3", .kind = CodecKind::Video, .containers = {"wmv", "avi", "asf", "mov"}},
    {.dialect = "msmpeg4v1", .encoder = "msmpeg4v1", .codec = "msmpeg4v1", .kind = CodecKind::Video, .containers = {}},
    {.dialect = "msmpeg4v2", .encoder = "msmpeg4v2", .codec = "msmpeg4v2", .kind = CodecKind::Video, .containers = {"wmv", "avi", "asf", "mov"}},
    {.dialect = "qtrle", .encoder = "qtrle", .codec = "qtrle", .kind = CodecKind::Video, .containers = {"mov"}, .sizeStep = 1, .twoPass = TwoPassMode::None},
    {.dialect = "rawvideo", .encoder = "rawvideo", .codec = "rawvideo", .kind = CodecKind::Video, .containers = {"avi", "mov"}, .sizeStep = 1, .twoPass = TwoPassMode::None},
    {.dialect = "roqvideo", .encoder = "roqvideo", .codec = "roq", .kind = CodecKind::Video, .containers = {}, .neverPlays = "ROQVIDEO を入れられるのは RoQ 形式だけで、一覧の形式には入れられません", .sizeStep = 16},
    {.dialect = "rv10", .encoder = "rv10", .codec = "rv10", .kind = CodecKind::Video, .containers = {"rm"}, .sizeStep = 16, .frameRate = "25"},
    {.dialect = "rv20", .encoder = "rv20", .codec = "rv20", .kind = CodecKind::Video, .containers = {"rm"}, .sizeStep = 16, .frameRate = "25"},
    {.dialect = "snow", .encoder = "snow", .codec = "snow", .kind = CodecKind::Video, .containers = {"avi", "mov"}},
    {.dialect = "svq1", .encoder = "svq1", .codec = "svq1", .kind = CodecKind::Video, .containers = {"mov"}, .sizeStep = 16},
    {.dialect = "libtheora", .encoder = "libtheora", .codec = "theora", .kind = CodecKind::Video, .containers = {"ogm", "avi"}},
    {.dialect = "wmv1", .encoder = "wmv1", .codec = "wmv1", .kind = CodecKind::Video, .containers = {"wmv", "avi", "asf", "mov"}},
    {.dialect = "wmv2", .encoder = "wmv2", .codec = "wmv2", .kind = CodecKind::Video, .containers = {"wmv", "avi", "asf", "mov"}},
    {.dialect = "libxvid", .encoder = "libxvid", .codec = "mpeg4", .kind = CodecKind::Video, .containers = {"avi", "mp4", "3gp", "wmv", "asf", "mov"}},
    // Its decoder pads each row of three-byte pixels to four bytes: a width of 322 comes
    // back "Decoded size differs".
    {.dialect = "zlib", .encoder = "zlib", .codec = "zlib", .kind = CodecKind::Video, .containers = {"avi", "mov"}, .sizeStep = 4, .pixelFormat = "bgr24", .twoPass = TwoPassMode::None},
    {.dialect = "zmbv", .encoder = "zmbv", .codec = "zmbv", .kind = CodecKind::Video, .containers = {"avi", "mov"}, .sizeStep = 1, .twoPass = TwoPassMode::None},
    {.dialect = "libx265", .encoder = "libx265", .codec = "hevc", .kind = CodecKind::Video, .containers = {"mp4"}, .pixelFormat = "yuv420p", .quality = QualityMapping::CrfQuantiser, .crfLowest = 6, .crfHighest = 51, .speed = {"-preset", "ultrafast", "-x265-params", "log-level=error"}, .twoPass = TwoPassMode::Refused, .bitexactPictureOnly = true},
    {.dialect = "libvpx-vp9", .encoder = "libvpx-vp9", .codec = "vp9", .kind = CodecKind::Video, .containers = {"webm"}, .pixelFormat = "yuv420p", .quality = QualityMapping::CrfLinear, .crfLowest = 0, .crfHighest = 63, .speed = {"-deadline", "realtime", "-cpu-used", "8", "-row-mt", "1"}, .twoPassSpeed = {"-deadline", "good", "-cpu-used", "5", "-row-mt", "1"}, .bitexactPictureOnly = true},
    {.dialect = "libsvtav1", .encoder = "libsvtav1", .codec = "av1", .kind = CodecKind::Video, .containers = {"mkv", "mp4", "webm"}, .pixelFormat = "yuv420p", .quality = QualityMapping::CrfLinear, .crfLowest = 1, .crfHighest = 63, .speed = {"-preset", "12"}, .twoPass = TwoPassMode::Refused, .bitexactPictureOnly = true},
    {.dialect = "", .encoder = "", .codec = "vp8", .kind = CodecKind::Video, .containers = {"webm", "avi", "ogm"}, .twoPass = TwoPassMode::None},
    // Sound. ADPCM and GSM blocks come back from AVI half as long again (ADPCM_SWF's at any
    // rate, its header's length wrong too), G.726 from AVI with time stamps that run to
    // hours, and FLAC from AVI does not decode: those rows lack it. MP4 takes FLAC only as an
    // experiment ("add '-strict -2'"), MOV not at all ("flac only supported in MP4").
    {.dialect = "libfaac", .encoder = "aac", .codec = "aac", .kind = CodecKind::Audio, .containers = {"mp4", "avi", "3gp", "wmv", "asf", "mov", "flv"}},
    {.dialect = "ac3", .encoder = "ac3", .codec = "ac3", .kind = CodecKind::Audio, .containers = {"avi", "mpg", "m2p", "mp4", "wmv", "asf", "mov", "rm"}},
    {.dialect = "adpcm_4xm", .encoder = "adpcm_4xm", .codec = "adpcm_4xm", .kind = CodecKind::Audio, .containers = {}},
    {.dialect = "adpcm_adx", .encoder = "adpcm_adx", .codec = "adpcm_adx", .kind = CodecKind::Audio, .containers = {}, .neverPlays = "ADPCM_ADX を入れられる形式が一覧にありません", .maxChannels = 2},
    {.dialect = "adpcm_ct", .encoder = "adpcm_ct", .codec = "adpcm_ct", .kind = CodecKind::Audio, .containers = {}},
    {.dialect = "adpcm_ea", .encoder = "adpcm_ea", .codec = "adpcm_ea", .kind = CodecKind::Audio, .containers = {}},
    {.dialect = "adpcm_ima_dk3", .encoder = "adpcm_ima_dk3", .codec = "adpcm_ima_dk3", .kind = CodecKind::Audio, .containers = {}},
    {.dialect = "adpcm_ima_dk4", .encoder = "adpcm_ima_dk4", .codec = "adpcm_ima_dk4", .kind = CodecKind::Audio, .containers = {}},
    {.dialect = "adpcm_ima_qt", .encoder = "adpcm_ima_qt", .codec = "adpcm_ima_qt", .kind = CodecKind::Audio, .containers = {"mov"}, .maxChannels = 2},
    {.dialect = "adpcm_ima_smjpeg", .encoder = "adpcm_ima_smjpeg", .codec = "adpcm_ima_smjpeg", .kind = CodecKind::Audio, .containers = {}},
    {.dialect = "adpcm_ima_wav", .encoder = "adpcm_ima_wav", .codec = "adpcm_ima_wav", .kind = CodecKind::Audio, .containers = {"asf", "wmv", "mov"}, .maxChannels = 2},
    {.dialect = "adpcm_ima_ws", .encoder = "adpcm_ima_ws", .codec = "adpcm_ima_ws", .kind = CodecKind::Audio, .containers = {}, .neverPlays = "ADPCM_IMA_WS を入れられる形式が一覧にありません", .maxChannels = 2},
    {.dialect = "adpcm_ms", .encoder = "adpcm_ms", .codec = "adpcm_ms", .kind = CodecKind::Audio, .containers = {"asf", "wmv", "mov"}, .maxChannels = 2},
    {.dialect = "adpcm_sbpro_2", .encoder = "adpcm_sbpro_2", .codec = "adpcm_sbpro_2", .kind = CodecKind::Audio, .containers = {}},
    {.dialect = "adpcm_sbpro_3", .encoder = "adpcm_sbpro_3", .codec = "adpcm_sbpro_3", .kind = CodecKind::Audio, .containers = {}},
    {.dialect = "adpcm_sbpro_4", .encoder = "adpcm_sbpro_4", .codec = "adpcm_sbpro_4", .kind = CodecKind::Audio, .containers = {}},
    {.dialect = "adpcm_swf", .encoder = "adpcm_swf", .codec = "adpcm_swf", .kind = CodecKind::Audio, .containers = {"flv"}, .maxChannels = 2, .sampleRate = "44100"},
    {.dialect = "adpcm_xa", .encoder = "adpcm_xa", .codec = "adpcm_xa", .kind = CodecKind::Audio, .containers = {}},
    {.dialect = "adpcm_yamaha", .encoder = "adpcm_yamaha", .codec = "adpcm_yamaha", .kind = CodecKind::Audio, .containers = {"asf", "wmv", "mov"}, .maxChannels = 2},
    {.dialect = "libamr_nb", .encoder = "libopencore_amrnb", .codec = "amr_nb", .kind = CodecKind::Audio, .containers = {"3gp"}},
    {.dialect = "libamr_wb", .encoder = "libvo_amrwbenc", .codec = "amr_wb", .kind = CodecKind::Audio, .containers = {"3gp"}},
    {.dialect = "flac", .encoder = "flac", .codec = "flac", .kind = CodecKind::Audio, .containers = {"ogm"}},
    {.dialect = "g726", .encoder = "g726", .codec = "adpcm_g726", .kind = CodecKind::Audio, .containers = {"mov"}, .sampleRates = {"8000"}, .sampleRate = "8000", .mono = true},
    {.dialect = "libgsm", .encoder = "libgsm", .codec = "gsm", .kind = CodecKind::Audio, .containers = {"mov"}, .sampleRates = {"8000"}, .sampleRate = "8000", .mono = true},
    {.dialect = "libgsm_ms", .encoder = "libgsm_ms", .codec = "gsm_ms", .kind = CodecKind::Audio, .containers = {"asf", "wmv"}, .sampleRates = {"8000"}, .sampleRate = "8000", .mono = true},
    {.dialect = "mp2", .encoder = "mp2", .codec = "mp2", .kind = CodecKind::Audio, .containers = {"avi", "mpg", "m2p", "mp4", "wmv", "asf", "mov"}},
    {.dialect = "libmp3lame", .encoder = "libmp3lame", .codec = "mp3", .kind = CodecKind::Audio, .containers = {"avi", "mpg", "m2p", "mp4", "wmv", "asf", "mov", "flv"}},
    {.dialect = "pcm_alaw", .encoder = "pcm_alaw", .codec = "pcm_alaw", .kind = CodecKind::Audio, .containers = {"avi", "wmv", "asf", "mov"}},
    {.dialect = "pcm_mulaw", .encoder = "pcm_mulaw", .codec = "pcm_mulaw", .kind = CodecKind::Audio, .containers = {"avi", "wmv", "asf", "mov"}},
    {.dialect = "pcm_s8", .encoder = "pcm_s8", .codec = "pcm_s8", .kind = CodecKind::Audio, .containers = {"mov"}},
    {.dialect = "pcm_s16be", .encoder = "pcm_s16be", .codec = "pcm_s16be", .kind = CodecKind::Audio, .containers = {"mov", "mpg", "m2p"}},
    {.dialect = "pcm_s16le", .encoder = "pcm_s16le", .codec = "pcm_s16le", .kind = CodecKind::Audio, .containers = {"avi", "wmv", "asf", "mov", "flv"}},
    {.dialect = "pcm_s24be", .encoder = "pcm_s24be", .codec = "pcm_s24be", .kind = CodecKind::Audio, .containers = {"mov"}},
    {.dialect = "pcm_s24daud", .encoder = "pcm_s24daud", .codec = "pcm_s24daud", .kind = CodecKind::Audio, .containers = {}, .neverPlays = "PCM_S24DAUD を入れられる形式が一覧にありません"},
    {.dialect = "pcm_s24le", .encoder = "pcm_s24le", .codec = "pcm_s24le", .kind = CodecKind::Audio, .containers = {"avi", "mov"}},
    {.dialect = "pcm_s32be", .encoder = "pcm_s32be", .codec = "pcm_s32be", .kind = CodecKind::Audio, .containers = {"mov"}},
    {.dialect = "pcm_s32le", .encoder = "pcm_s32le", .codec = "pcm_s32le", .kind = CodecKind::Audio, .containers = {"avi", "mov"}},
    {.dialect = "pcm_u8", .encoder = "pcm_u8", .codec = "pcm_u8", .kind = CodecKind::Audio, .containers = {"avi", "mov", "flv"}},
    {.dialect = "pcm_u16be", .encoder = "pcm_u16be", .codec = "pcm_u16be", .kind = CodecKind::Audio, .containers = {}},
    {.dialect = "pcm_u16le", .encoder = "pcm_u16le", .codec = "pcm_u16le", .kind = CodecKind::Audio, .containers = {}},
    {.dialect = "pcm_u24be", .encoder = "pcm_u24be", .codec = "pcm_u24be", .kind = CodecKind::Audio, .containers = {}},
    {.dialect = "pcm_u24le", .encoder = "pcm_u24le", .codec = "pcm_u24le", .kind = CodecKind::Audio, .containers = {}},
    {.dialect = "pcm_u32be", .encoder = "pcm_u32be", .codec = "pcm_u32be", .kind = CodecKind::Audio, .containers = {}},
    {.dialect = "pcm_u32le", .encoder = "pcm_u32le", .codec = "pcm_u32le", .kind = CodecKind::Audio, .containers = {}},
    {.dialect = "pcm_zork", .encoder = "pcm_zork", .codec = "pcm_zork", .kind = CodecKind::Audio, .containers = {}},
    {.dialect = "roq_dpcm", .encoder = "roq_dpcm", .codec = "roq_dpcm", .kind = CodecKind::Audio, .containers = {}, .neverPlays = "ROQ_DPCM を入れられるのは RoQ 形式だけで、一覧の形式には入れられません", .maxChannels = 2, .sampleRate = "22050"},
    {.dialect = "sonic", .encoder = "sonic", .codec = "sonic", .kind = CodecKind::Audio, .containers = {}, .neverPlays = "SONIC は一覧の形式に入れると長さが正しく読み戻せません", .maxChannels = 2, .experimental = true},
    {.dialect = "sonicls", .encoder = "sonicls", .codec = "sonicls", .kind = CodecKind::Audio, .containers = {}, .neverPlays = "SONICLS は一覧の形式に入れると長さが正しく読み戻せません", .maxChannels = 2, .experimental = true},
    {.dialect = "vorbis", .encoder = "vorbis", .codec = "vorbis", .kind = CodecKind::Audio, .containers = {"ogm", "webm"}, .replacement = "libvorbis", .experimental = true},
    {.dialect = "wmav1", .encoder = "wmav1", .codec = "wmav1", .kind = CodecKind::Audio, .containers = {"wmv", "avi", "asf"}, .maxChannels = 2},
    {.dialect = "wmav2", .encoder = "wmav2", .codec = "wmav2", .kind = CodecKind::Audio, .containers = {"wmv", "avi", "asf"}, .maxChannels = 2},
    {.dialect = "libopus", .encoder = "libopus", .codec = "opus", .kind = CodecKind::Audio, .containers = {"webm", "mp4", "ogm"}, .sampleRates = {"8000", "12000", "16000", "24000", "48000"}, .channelLayouts = "mono|stereo|3.0|quad|5.0|5.1|6.1|7.1"},
};

// What a user would pair in each container; a stream that cannot go in as it is becomes one
// of these. Matroska holds every codec that plays anywhere.
const ContainerRow kContainers[] = {
    {"avi", "mpeg4", "mp2"},
    {"mpg", "mpeg1video", "mp2"},
    {"m2p", "mpeg2video", "mp2"},
    {"mp4", "libx264", "libfaac"},
    {"3gp", "mpeg4", "libfaac"},
    {"wmv", "wmv2", "wmav2"},
    {"asf", "msmpeg4", "wmav2"},
    {"mov", "mpeg4", "libfaac"},
    {"rm", "rv20", "ac3"},
    {"ogm", "libtheora", "vorbis"},
    // Its header has two bits for the rate of any sound but AAC (MP3 also takes 48 kHz, PCM
    // 5.5, 8 and 16 kHz; MP3 at 8 kHz is "not compatible with flv").
    {"flv", "flv", "libmp3lame", false, {"11025", "22050", "44100"}},
    // Its MP3 comes back a tenth longer than it went in.
    {"swf", "flv", ""},
    {"mkv", "libx264", "libopus", true},
    {"webm", "libvpx-vp9", "libopus"},
};
// clang-format on

const char* kindName(CodecKind k) { return k == CodecKind::Video ? "video" : "audio"; }

const char* qualityName(QualityMapping q) {
    switch (q) {
        case QualityMapping::Qscale:
            return "qscale";
        case QualityMapping::CrfLinear:
            return "crf";
        case QualityMapping::CrfQuantiser:
            return "crf-quantiser";
    }
    return "";
}

const char* twoPassName(TwoPassMode m) {
    switch (m) {
        case TwoPassMode::None:
            return "none";
        case TwoPassMode::Rate:
            return "rate";
        case TwoPassMode::Refused:
            return "refused";
    }
    return "";
}

std::string joined(Options list, const char* separator) {
    std::string s;
    for (std::string_view v : list) {
        if (!s.empty()) s += separator;
        s += v;
    }
    return s;
}

bool listed(Options list, std::string_view v) {
    return std::find(list.begin(), list.end(), v) != list.end();
}

}  // namespace

std::span<const CodecRow> codecTable() { return kCodecs; }
std::span<const ContainerRow> containerTable() { return kContainers; }

const CodecRow* codecForDialect(std::string_view dialect) {
    if (dialect.empty()) return nullptr;
    for (const CodecRow& r : kCodecs)
        if (r.dialect == dialect) return &r;
    return nullptr;
}

const CodecRow* codecForEncoder(std::string_view encoder) {
    if (encoder.empty()) return nullptr;
    for (const CodecRow& r : kCodecs)
        if (r.encoder == encoder || r.replacement == encoder) return &r;
    return nullptr;
}

const CodecRow* codecNamed(std::string_view codec, CodecKind kind) {
    for (const CodecRow& r : kCodecs)
        if (r.kind == kind && r.codec == codec) return &r;
    return nullptr;
}

const ContainerRow* containerRow(std::string_view ext) {
    for (const ContainerRow& c : kContainers)
        if (c.ext == ext) return &c;
    return nullptr;
}

bool containerHolds(std::string_view ext, CodecKind kind, std::string_view codec) {
    const ContainerRow* c = containerRow(ext);
    if (!c || c->holdsAll) return true;
    const CodecRow* r = codecNamed(codec, kind);
    return r && listed(r->containers, ext);
}

std::vector<std::string> containersHolding(std::string_view codec, CodecKind kind) {
    std::vector<std::string> list;
    const CodecRow* r = codecNamed(codec, kind);
    if (!r || !r->neverPlays.empty() || r->containers.size() == 0) return list;
    for (std::string_view ext : r->containers) list.emplace_back(ext);
    for (const ContainerRow& c : kContainers)
        if (c.holdsAll && !listed(r->containers, c.ext)) list.emplace_back(c.ext);
    return list;
}

std::string codecTableText() {
    std::string t =
        "kind\tdialect\tencoder\tcodec\tcontainers\tsize_step\tsizes\tpixel_format\t"
        "max_channels\tsample_rates\tquality\ttwo_pass\tnever_plays\n";
    for (const CodecRow& r : kCodecs) {
        const std::vector<std::string> holders = containersHolding(r.codec, r.kind);
        std::string containers;
        for (const std::string& c : holders) containers += (containers.empty() ? "" : ",") + c;
        t += std::string(kindName(r.kind)) + "\t" + std::string(r.dialect) + "\t" +
             std::string(r.encoder) + "\t" + std::string(r.codec) + "\t" + containers + "\t" +
             std::to_string(r.sizeStep) + "\t" + joined(r.sizes, ",") + "\t" +
             std::string(r.pixelFormat) + "\t" + std::to_string(r.maxChannels) + "\t" +
             joined(r.sampleRates, ",") + "\t" + qualityName(r.quality) + "\t" +
             twoPassName(r.twoPass) + "\t" + std::string(r.neverPlays) + "\n";
    }
    t += "container\text\tvideo\taudio\tholds_all\n";
    for (const ContainerRow& c : kContainers)
        t += "container\t" + std::string(c.ext) + "\t" + std::string(c.video) + "\t" +
             std::string(c.audio) + "\t" + (c.holdsAll ? "1" : "0") + "\n";
    return t;
}

}  // namespace qv::adapter
