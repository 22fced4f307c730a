#include "translate.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "base/text.h"
#include "codecs.h"

namespace qv::adapter {

namespace {

bool parseCount(const std::string& s, long& out) {
    if (s.empty() || s.size() > 9) return false;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && p == s.data() + s.size() && out >= 0;
}

std::string extensionOf(const std::string& path) {
    size_t slash = path.find_last_of('/');
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    return lowerAscii(path.substr(dot + 1));
}

// A relative name such as "a:b.avi" would be read as a protocol, "-" as a pipe.
std::string asFileName(const std::string& p) {
    if (p == "-") return "file:" + p;
    if (!p.empty() && p[0] != '/') {
        size_t colon = p.find(':');
        if (colon != std::string::npos && colon < p.find('/')) return "file:" + p;
    }
    return p;
}

}  // namespace

std::string audioCodecName(const std::string& c) {
    const CodecRow* r = codecForDialect(c);
    return r && r->kind == CodecKind::Audio ? std::string(r->encoder) : c;
}

namespace {

bool experimentalAudio(const std::string& encoder) {
    const CodecRow* r = codecForEncoder(encoder);
    return r && r->experimental;
}

// Containers whose extension the installed build cannot guess a format from.
std::string formatForExtension(const std::string& ext) {
    if (ext == "m2p") return "vob";
    if (ext == "ogm") return "ogg";
    return {};
}

// "320x240" -> "scale=320:240"; empty when it is not a size.
std::string scaleFilter(const std::string& size) {
    size_t x = size.find('x');
    if (x == std::string::npos) return {};
    long w = 0, h = 0;
    if (!parseCount(size.substr(0, x), w) || !parseCount(size.substr(x + 1), h)) return {};
    return "scale=" + std::to_string(w) + ":" + std::to_string(h);
}

bool isEmptyValue(const std::string& option, const std::string& value) {
    // A rate cut from a catalogue row without its unit leaves just the "k".
    if (option == "-b" || option == "-ab") return value.empty() || value == "k";
    return value.empty();
}

}  // namespace

bool takesValue(std::string_view o) {
    static constexpr std::string_view withValue[] = {
        "-i",      "-pass", "-threads", "-ss", "-t",       "-flags",      "-s",        "-aspect",
        "-vcodec", "-b",    "-qscale",  "-r",  "-croptop", "-cropbottom", "-cropleft", "-cropright",
        "-acodec", "-ab",   "-ar",      "-ac", "-vol",     "-async",      "-f",        "-vframes"};
    return std::find(std::begin(withValue), std::end(withValue), o) != std::end(withValue);
}

int outputIndex(const std::vector<std::string>& args) {
    int last = -1;
    for (size_t i = 0; i < args.size(); ++i) {
        if (takesValue(args[i]) && i + 1 < args.size()) {
            ++i;
            continue;
        }
        last = (i + 1 == args.size() && (args[i].empty() || args[i][0] != '-'))
                   ? static_cast<int>(i)
                   : last;
    }
    return last;
}

std::string outputPathOf(const std::vector<std::string>& args) {
    int i = outputIndex(args);
    return i < 0 ? std::string() : args[static_cast<size_t>(i)];
}

int passNumberOf(const std::vector<std::string>& args) {
    int pass = 0;
    for (size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == "-pass") pass = args[i + 1] == "1" ? 1 : args[i + 1] == "2" ? 2 : 0;
        if (takesValue(args[i])) ++i;
    }
    return pass;
}

std::string passLogFolder(const std::string& base, unsigned uid, const std::string& outputPath) {
    std::uint64_t h = 14695981039346656037ull;  // FNV-1a
    for (unsigned char c : outputPath) {
        h ^= c;
        h *= 1099511628211ull;
    }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
    std::string folder = base.empty() ? std::string("/tmp") : base;
    if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (folder != "/") folder += '/';
    return folder + "qv-2pass-" + std::to_string(uid) + "-" + hex;
}

std::vector<std::string> translateArguments(const std::vector<std::string>& args,
                                            const std::string& passLogFile) {
    const int out = outputIndex(args);
    const size_t n = args.size();

    // What the whole line asks for, before anything is written.
    long crop[4] = {0, 0, 0, 0};  // top, bottom, left, right
    bool cropValid = true, anyCrop = false, hasChannels = false, hasAudioCodec = false,
         noAudio = false, hasFormat = false;
    std::string size, audioCodec;
    std::vector<std::string> audioFilters;
    for (size_t i = 0; i < n; ++i) {
        const std::string& a = args[i];
        if (static_cast<int>(i) == out) break;
        if (a == "-an") noAudio = true;
        if (!takesValue(a) || i + 1 >= n) continue;
        const std::string& v = args[++i];
        static constexpr std::string_view sides[] = {"-croptop", "-cropbottom", "-cropleft",
                                                     "-cropright"};
        for (int s = 0; s < 4; ++s) {
            if (a == sides[s]) {
                long c = 0;
                if (parseCount(v, c))
                    crop[s] = c;
                else
                    cropValid = false;
                anyCrop = true;
            }
        }
        if (a == "-s" && !v.empty()) size = v;
        if (a == "-ac" && !v.empty()) hasChannels = true;
        if (a == "-f" && !v.empty()) hasFormat = true;
        if (a == "-acodec" && !v.empty()) {
            hasAudioCodec = true;
            audioCodec = audioCodecName(v);
        }
        long number = 0;
        if (a == "-vol" && parseCount(v, number)) audioFilters.push_back("volume=" + v + "/256");
        if (a == "-async" && parseCount(v, number)) audioFilters.push_back("aresample=async=" + v);
    }
    // The four sides become one crop, applied before the scaling that -s asks for.
    std::string videoFilter;
    bool sizeInFilter = false;
    if (anyCrop && cropValid) {
        videoFilter = "crop=iw-" + std::to_string(crop[2] + crop[3]) + ":ih-" +
                      std::to_string(crop[0] + crop[1]) + ":" + std::to_string(crop[2]) + ":" +
                      std::to_string(crop[0]);
        std::string scale = scaleFilter(size);
        if (!scale.empty()) {
            videoFilter += "," + scale;
            sizeInFilter = true;
        }
    }

    std::vector<std::string> result;
    result.reserve(n + 8);
    for (size_t i = 0; i < n; ++i) {
        const std::string& a = args[i];
        if (static_cast<int>(i) == out) {
            if (!videoFilter.empty()) result.insert(result.end(), {"-vf", videoFilter});
            if (!audioFilters.empty()) {
                std::string chain;
                for (const auto& f : audioFilters) chain += (chain.empty() ? "" : ",") + f;
                result.insert(result.end(), {"-af", chain});
            }
            if (experimentalAudio(audioCodec)) result.insert(result.end(), {"-strict", "-2"});
            // The installed encoder of this name takes two channels only.
            if (audioCodec == "vorbis" && !hasChannels) result.insert(result.end(), {"-ac", "2"});
            const std::string ext = extensionOf(a);
            // Its default sound encoder for .3gp is one this build lacks.
            if (ext == "3gp" && !hasAudioCodec && !noAudio)
                result.insert(result.end(), {"-acodec", "aac"});
            const std::string format = formatForExtension(ext);
            if (!format.empty() && !hasFormat) result.insert(result.end(), {"-f", format});
            result.push_back(asFileName(a));
            continue;
        }
        if (a == "-sameq") continue;  // gone: the encoders' own defaults stand in for it
        if (!takesValue(a) || i + 1 >= n) {
            result.push_back(a);
            continue;
        }
        const std::string& v = args[++i];
        if (isEmptyValue(a, v)) continue;  // a catalogue without a selected row
        if (a == "-i") {
            result.insert(result.end(), {a, asFileName(v)});
        } else if (a == "-croptop" || a == "-cropbottom" || a == "-cropleft" || a == "-cropright") {
            if (!cropValid) result.insert(result.end(), {a, v});  // not a number: let it fail
        } else if (a == "-s") {
            if (!sizeInFilter) result.insert(result.end(), {a, v});
        } else if (a == "-b") {
            result.insert(result.end(), {"-b:v", v});
        } else if (a == "-qscale") {
            result.insert(result.end(), {"-q:v", v});
        } else if (a == "-ab") {
            result.insert(result.end(), {"-b:a", v});
        } else if (a == "-acodec") {
            result.insert(result.end(), {a, audioCodecName(v)});
        } else if (a == "-vol" || a == "-async") {
            long number = 0;
            if (!parseCount(v, number)) result.insert(result.end(), {a, v});
        } else if (a == "-vframes") {
            result.insert(result.end(), {"-frames:v", v});
        } else if (a == "-pass") {
            result.insert(result.end(), {a, v});
            if (!passLogFile.empty() && (v == "1" || v == "2"))
                result.insert(result.end(), {"-passlogfile", passLogFile});
        } else if (a == "-f" && v == "image2") {
            // One picture: the name is never a numbering pattern, and the last one is replaced.
            result.insert(result.end(), {a, v, "-update", "1", "-y"});
        } else {
            result.insert(result.end(), {a, v});
        }
    }
    return result;
}

}  // namespace qv::adapter
