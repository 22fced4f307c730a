#include "settings/preset_file.h"

#include "base/cp932.h"
#include "base/file_io.h"
#include "base/text.h"

namespace qv {

PresetFile parsePresetFile(std::string_view b) {
    PresetFile f;
    const std::vector<TextLine> lines = splitLines(b);
    for (const TextLine& line : lines) f.lines.emplace_back(line.text);
    f.endsWithBreak = !lines.empty() && !lines.back().eol.empty();
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

FileResult readPresetFile(const std::string& path, PresetFile& out) {
    std::string bytes;
    FileResult read = readWholeFile(path, bytes);
    if (read) out = parsePresetFile(bytes);
    return read;
}

FileResult writePresetFile(const std::string& path, const std::vector<std::string>& lines,
                           bool endsWithBreak) {
    return replaceFileAtomically(path, presetFileBytes(lines, endsWithBreak));
}

FileResult appendPresetLine(const std::string& path, const PresetFile& known,
                            const std::string& line, PresetFile& now) {
    std::string written;
    const FileResult result = updateFileLocked(path, [&](const std::string* current) {
        if (!current) {
            std::vector<std::string> lines = known.lines;
            lines.push_back(line);
            written = presetFileBytes(lines, known.endsWithBreak);
        } else {
            const bool endsWithBreak = parsePresetFile(*current).endsWithBreak;
            written = *current;
            if (!written.empty() && !endsWithBreak) written += "\r\n";
            written += line;
            if (endsWithBreak) written += "\r\n";
        }
        return written;
    });
    if (result) now = parsePresetFile(written);
    return result;
}

std::string presetRowText(std::string_view line) {
    return decodeCp932(cp932Prefix(line, kPresetLineMax)).utf8;
}

}  // namespace qv
