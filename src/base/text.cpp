#include "base/text.h"

namespace qv {

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowerAscii(std::string s) {
    for (char& c : s) c = lowerAscii(c);
    return s;
}

std::vector<TextLine> splitLines(std::string_view b) {
    std::vector<TextLine> lines;
    std::size_t i = 0;
    while (i < b.size()) {
        const std::size_t end = b.find_first_of("\r\n", i);
        if (end == std::string_view::npos) {
            lines.push_back({b.substr(i), {}});
            break;
        }
        const std::size_t eolLength =
            (b[end] == '\r' && end + 1 < b.size() && b[end + 1] == '\n') ? 2 : 1;
        lines.push_back({b.substr(i, end - i), b.substr(end, eolLength)});
        i = end + eolLength;
    }
    return lines;
}

}  // namespace qv
