#pragma once
// Reader and writer of the Windows profile format ("[section]" and "key=value"
// lines) that edits the file's byte lines in place. Values are code page 932 on
// disk and UTF-8 here. Lines we do not touch keep every byte they had.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/file_io.h"

namespace qv {

// The longest value that comes back; longer values are cut (never inside a
// double-byte character).
inline constexpr std::size_t kProfileValueMax = 2047;

// Whole number as the profile functions read it: leading blanks, a sign, then
// decimal digits or hexadecimal after "0x", "$" or "x" (either case). Anything
// else, and a number outside the int range, gives `fallback`.
int parseProfileInt(std::string_view text, int fallback);

class ProfileFile {
  public:
    ProfileFile() = default;
    explicit ProfileFile(const std::string& bytes);

    // A missing or unreadable file gives an empty profile; status() tells which.
    static ProfileFile load(const std::string& path);
    FileStatus status() const { return status_; }

    // The value of `key` in the first section named `section`, or nullopt when
    // the section or the key is missing. Names compare without regard to case.
    std::optional<std::string> readString(std::string_view section, std::string_view key) const;
    std::string readString(std::string_view section, std::string_view key,
                           std::string_view fallback) const;
    int readInt(std::string_view section, std::string_view key, int fallback) const;

    // Sets the key: an existing key is rewritten on its own line (keeping the
    // file's spelling of the name), a new key goes after the last key of its
    // section, a new section is appended at the end of the file.
    void writeString(std::string_view section, std::string_view key, std::string_view value);
    void writeInt(std::string_view section, std::string_view key, int value);

    // The file's content as it stands now.
    std::string bytes() const;

    FileResult save(const std::string& path) const;

  private:
    struct Line {
        std::string text;  // without its line break
        std::string eol;   // "\r\n", "\n", "\r" or "" for a last line without one
    };
    struct KeyPos {
        std::size_t line;
        std::string name;   // as spelt in the file
        std::string value;  // raw, after trimming
    };

    // Index of the header line of the first section of that name, or npos.
    std::size_t findSection(const std::string& folded) const;
    // Index one past the last line of the section whose header is at `header`.
    std::size_t sectionEnd(std::size_t header) const;
    std::optional<KeyPos> findKey(std::size_t header, const std::string& foldedKey) const;
    void insertLine(std::size_t at, std::string text);

    std::vector<Line> lines_;
    FileStatus status_ = FileStatus::Ok;
};

}  // namespace qv
