#pragma once
// Code page 932 (Shift-JIS) at the file boundary. Inside the program every text is UTF-8.
#include <optional>
#include <string>
#include <string_view>

namespace qv {

struct Cp932Decoded {
    std::string utf8;     // the text; undecodable bytes appear as U+FFFD
    bool exact = true;    // false when some byte could not be decoded
};

// Decodes CP932 bytes. Never fails; see Cp932Decoded::exact.
Cp932Decoded decodeCp932(std::string_view bytes);

// Encodes UTF-8 as CP932; nullopt when a character has no CP932 form.
std::optional<std::string> encodeCp932(std::string_view utf8);

// Byte length of the CP932 character that starts with `lead` (1 or 2).
int cp932CharLength(unsigned char lead);

}  // namespace qv
