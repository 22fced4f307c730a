#pragma once
// Byte-text helpers every layer shares.
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// ASCII letters folded to lower case, byte by byte: UTF-8 text keeps every other
// character, but code page 932 bytes need their own folding (trail bytes look like letters).
char lowerAscii(char c);
std::string lowerAscii(std::string s);

// One line of a byte text and the break that ended it.
struct TextLine {
    std::string_view text;  // without its line break
    std::string_view eol;   // "\r\n", "\n", "\r" or "" for a last line without one
};

// Splits at CR LF, lone CR or lone LF. A break at the very end starts no line;
// empty lines inside the text are lines.
std::vector<TextLine> splitLines(std::string_view bytes);

}  // namespace qv
