#include "settings/profile_file.h"

#include <climits>
#include <cstdint>

#include "base/cp932.h"
#include "base/text.h"

namespace qv {

namespace {

constexpr std::size_t npos = std::string::npos;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

// ASCII letters folded to lower case; double-byte characters copied whole, so
// that a trail byte that looks like a letter is never folded.
std::string fold(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = cp932CharLengthAt(s, i);
        if (n == 1 && s[i] >= 'A' && s[i] <= 'Z')
            out += static_cast<char>(s[i] - 'A' + 'a');
        else
            out.append(s.substr(i, n));
        i += n;
    }
    return out;
}

enum class Kind { Blank, Comment, Section, Key };

struct Parsed {
    Kind kind = Kind::Blank;
    std::string_view name;
    std::string_view value;
};

Parsed parseLine(std::string_view text) {
    const std::string_view t = trim(text);
    Parsed p;
    if (t.empty()) return p;
    if (t.front() == ';') {
        p.kind = Kind::Comment;
        return p;
    }
    if (t.front() == '[') {
        // ']' can be the trail byte of a double-byte character: step by characters.
        std::size_t close = npos;
        for (std::size_t i = 1; i < t.size(); i += cp932CharLengthAt(t, i))
            if (t[i] == ']') close = i;
        p.kind = Kind::Section;
        p.name = trim(t.substr(1, close == npos ? npos : close - 1));
        return p;
    }
    p.kind = Kind::Key;
    const std::size_t eq = t.find('=');  // '=' is never a trail byte
    if (eq == npos) {
        p.name = t;
    } else {
        p.name = trim(t.substr(0, eq));
        p.value = trim(t.substr(eq + 1));
    }
    return p;
}

// Marks a value stored as UTF-8 because code page 932 cannot hold it.
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

bool validUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t n = c < 0x80             ? 1
                              : (c & 0xE0) == 0xC0 ? 2
                              : (c & 0xF0) == 0xE0 ? 3
                              : (c & 0xF8) == 0xF0 ? 4
                                                   : 0;
        if (n == 0 || n > s.size() - i || (n > 1 && c < 0xC2)) return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += n;
    }
    return true;
}

std::string_view unquote(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

// The value as it goes on disk: line breaks would split the line, and blanks at
// either end or a pair of outer quotes would be lost when read; quote those.
std::string diskValue(std::string_view utf8) {
    std::string v;
    if (auto cp932 = encodeCp932(utf8))
        v = std::move(*cp932);
    else  // a folder such as "Vidéos" has no code page 932 form; keep it whole, marked
        v = std::string(kUtf8Mark) + std::string(utf8);
    for (char& c : v)
        if (c == '\r' || c == '\n' || c == '\0') c = ' ';
    const bool needsQuotes =
        !v.empty() && (isBlank(v.front()) || isBlank(v.back()) || unquote(v).size() != v.size());
    return needsQuotes ? "\"" + v + "\"" : v;
}

// The text of an unquoted value as stored.
std::string textOf(std::string_view value) {
    if (value.starts_with(kUtf8Mark) && validUtf8(value.substr(kUtf8Mark.size())))
        return std::string(value.substr(kUtf8Mark.size()));
    return decodeCp932(value).utf8;
}

}  // namespace

int parseProfileInt(std::string_view s, int fallback) {
    std::size_t i = 0;
    while (i < s.size() && isBlank(s[i])) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    auto digit = [](char c, int base) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (base == 16 && c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (base == 16 && c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    int base = 10;
    const auto hexAt = [&](std::size_t k) { return k < s.size() && digit(s[k], 16) >= 0; };
    if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X') && hexAt(i + 2)) {
        base = 16;
        i += 2;
    } else if (i < s.size() && (s[i] == '$' || s[i] == 'x' || s[i] == 'X')) {
        base = 16;
        ++i;
    }
    std::int64_t value = 0;
    bool any = false;
    for (; i < s.size(); ++i) {
        const int d = digit(s[i], base);
        if (d < 0) break;
        any = true;
        value = value * base + d;
        if (value > std::int64_t{INT_MAX} + 1) return fallback;
    }
    // Only a whole number counts: "12abc", "1.5" or a bare prefix keep the default.
    while (i < s.size() && isBlank(s[i])) ++i;
    if (!any || i != s.size()) return fallback;
    if (negative) value = -value;
    if (value > INT_MAX || value < INT_MIN) return fallback;
    return static_cast<int>(value);
}

ProfileFile::ProfileFile(const std::string& bytes) {
    for (const TextLine& line : splitLines(bytes))
        lines_.push_back({std::string(line.text), std::string(line.eol)});
}

ProfileFile ProfileFile::load(const std::string& path) {
    std::string bytes;
    const FileResult read = readWholeFile(path, bytes);
    ProfileFile profile(read.ok() ? bytes : std::string());
    profile.status_ = read.status;
    return profile;
}

std::size_t ProfileFile::findSection(const std::string& folded) const {
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        const Parsed p = parseLine(lines_[i].text);
        if (p.kind == Kind::Section && fold(p.name) == folded) return i;
    }
    return npos;
}

std::size_t ProfileFile::sectionEnd(std::size_t header) const {
    std::size_t i = header + 1;
    while (i < lines_.size() && parseLine(lines_[i].text).kind != Kind::Section) ++i;
    return i;
}

std::optional<ProfileFile::KeyPos> ProfileFile::findKey(std::size_t header,
                                                        const std::string& foldedKey) const {
    const std::size_t end = sectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        const Parsed p = parseLine(lines_[i].text);
        if (p.kind == Kind::Key && fold(p.name) == foldedKey)
            return KeyPos{i, std::string(p.name), std::string(p.value)};
    }
    return std::nullopt;
}

std::optional<std::string> ProfileFile::readString(std::string_view section,
                                                   std::string_view key) const {
    const std::size_t header = findSection(fold(encodeCp932Replacing(section)));
    if (header == npos) return std::nullopt;
    const auto found = findKey(header, fold(encodeCp932Replacing(key)));
    if (!found) return std::nullopt;
    return textOf(cp932Prefix(unquote(found->value), kProfileValueMax));
}

std::string ProfileFile::readString(std::string_view section, std::string_view key,
                                    std::string_view fallback) const {
    auto v = readString(section, key);
    return v ? *v : std::string(fallback);
}

int ProfileFile::readInt(std::string_view section, std::string_view key, int fallback) const {
    const auto v = readString(section, key);
    return v ? parseProfileInt(*v, fallback) : fallback;
}

void ProfileFile::insertLine(std::size_t at, std::string text) {
    if (at > 0 && lines_[at - 1].eol.empty()) lines_[at - 1].eol = "\r\n";
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), Line{std::move(text), "\r\n"});
}

void ProfileFile::writeString(std::string_view section, std::string_view key,
                              std::string_view value) {
    const std::string sectionName = encodeCp932Replacing(section);
    const std::string keyName = encodeCp932Replacing(key);
    const std::string v = diskValue(value);
    const std::size_t header = findSection(fold(sectionName));
    if (header == npos) {
        insertLine(lines_.size(), "[" + sectionName + "]");
        insertLine(lines_.size(), keyName + "=" + v);
        return;
    }
    if (const auto found = findKey(header, fold(keyName))) {
        // An unchanged value keeps the line exactly as it was written, even when its
        // bytes are no valid code page 932 and read as U+FFFD.
        if (found->value != v && textOf(unquote(found->value)) != value)
            lines_[found->line].text = found->name + "=" + v;
        return;
    }
    std::size_t at = header + 1;
    const std::size_t end = sectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i)
        if (parseLine(lines_[i].text).kind == Kind::Key) at = i + 1;
    insertLine(at, keyName + "=" + v);
}

void ProfileFile::writeInt(std::string_view section, std::string_view key, int value) {
    writeString(section, key, std::to_string(value));
}

std::string ProfileFile::bytes() const {
    std::string out;
    for (const Line& l : lines_) {
        out += l.text;
        out += l.eol;
    }
    return out;
}

FileResult ProfileFile::save(const std::string& path) const {
    return replaceFileAtomically(path, bytes());
}

}  // namespace qv
