#pragma once
// The preset file: one preset per line, code page 932. Lines are kept as the
// bytes they were read as, so that writing the file back loses nothing.
#include <string>
#include <string_view>
#include <vector>

#include "base/file_io.h"

namespace qv {

// Longest row text a line gives; the rest of a longer line is not shown (but
// stays in the file).
inline constexpr std::size_t kPresetLineMax = 4096;

struct PresetFile {
    std::vector<std::string> lines;  // bytes of each line, without its line break
    bool endsWithBreak = false;      // the last line was followed by a line break
};

// Splits at CR LF, lone CR or lone LF. A break at the very end starts no line;
// empty lines inside the file are lines.
PresetFile parsePresetFile(std::string_view bytes);

// The file's bytes: every line with CR LF after it, except the last when the
// file is to end without a break.
std::string presetFileBytes(const std::vector<std::string>& lines, bool endsWithBreak);

// Reads the file; Missing or Error (with a reason) when it cannot be read.
FileResult readPresetFile(const std::string& path, PresetFile& out);

// Replaces the file atomically with the lines.
FileResult writePresetFile(const std::string& path, const std::vector<std::string>& lines,
                           bool endsWithBreak);

// Saves one more preset line into the file as it is on disk now, under the file's
// lock, so that lines another instance or a text editor added meanwhile stay: the
// file's bytes are kept as they are, the line follows them, and the file ends
// with a line break exactly when it did before. A file that has gone is written
// anew from `known` (the lines read at start) and the line. On success `now`
// holds the lines of the file as saved.
FileResult appendPresetLine(const std::string& path, const PresetFile& known,
                            const std::string& line, PresetFile& now);

// The row text of a line, UTF-8: at most kPresetLineMax bytes of it, never
// cutting a double-byte character.
std::string presetRowText(std::string_view lineBytes);

}  // namespace qv
