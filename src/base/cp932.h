#pragma once
// Code page 932 (Shift-JIS) at the file boundary. Inside the program every text is UTF-8.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qv {

struct Cp932Decoded {
    std::string utf8;  // the text; undecodable bytes appear as U+FFFD
};

// Decodes CP932 bytes. Never fails.
Cp932Decoded decodeCp932(std::string_view bytes);

// Encodes UTF-8 as CP932; nullopt when a character has no CP932 form.
std::optional<std::string> encodeCp932(std::string_view utf8);

// UTF-8 to code page 932; a character that has no code page 932 form becomes "?".
std::string encodeCp932Replacing(std::string_view utf8);

// Byte length of the CP932 character that starts with `lead` (1 or 2).
int cp932CharLength(unsigned char lead);

// Byte length of the CP932 character at bytes[i], never reaching past the end.
std::size_t cp932CharLengthAt(std::string_view bytes, std::size_t i);

// The longest prefix of at most `maxBytes` bytes that never cuts a double-byte character.
std::string_view cp932Prefix(std::string_view bytes, std::size_t maxBytes);

}  // namespace qv
