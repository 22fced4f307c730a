#include "settings/preset_file.h"

#include "settings/cp932.h"
#include "settings/profile_file.h"

namespace qv {

PresetFile parsePresetFile(std::string_view b) {
    PresetFile f;
    std::size_t i = 0;
    while (i < b.size()) {
        const std::size_t end = b.find_first_of("\r\n", i);
        if (end == std::string_view::npos) {
            f.lines.emplace_back(b.substr(i));
            f.endsWithBreak = false;
            return f;
        }
        f.lines.emplace_back(b.substr(i, end - i));
        i = end + ((b[end] == '\r' && end + 1 < b.size() && b[end + 1] == '\n') ? 2 : 1);
    }
    f.endsWithBreak = !f.lines.empty();
    return f;
}

std::string presetFileBytes(const std::vector<std::string>& lines, bool endsWithBreak) {
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        out += lines[i];
        if (i + 1 < lines.size() || endsWithBreak) out += "\r\n";
    }
    return out;
}

bool readPresetFile(const std::string& path, PresetFile& out, std::string* error) {
    std::string bytes;
    std::string reason;
    switch (readWholeFile(path, bytes, &reason)) {
        case FileReadStatus::Ok:
            out = parsePresetFile(bytes);
            return true;
        case FileReadStatus::Missing:
            if (error) *error = "no such file";
            return false;
        case FileReadStatus::Error:
            break;
    }
    if (error) *error = reason;
    return false;
}

bool writePresetFile(const std::string& path, const std::vector<std::string>& lines,
                     bool endsWithBreak, std::string* error) {
    return replaceFileAtomically(path, presetFileBytes(lines, endsWithBreak), error);
}

std::string presetRowText(std::string_view line) {
    std::size_t i = 0;
    while (i < line.size()) {
        const auto n = static_cast<std::size_t>(cp932CharLength(static_cast<unsigned char>(line[i])));
        if (i + n > kPresetLineMax) break;
        i += n;
    }
    if (i > line.size()) i = line.size();
    return decodeCp932(line.substr(0, i)).utf8;
}

}  // namespace qv
