#include "base/cp932.h"

#include <iconv.h>

#include <cerrno>
#include <cstddef>
#include <mutex>
#include <stdexcept>

namespace qv {

namespace {

// One converter per direction; iconv_open is too slow to run per line.
class Converter {
  public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    enum class Stop { Done, Invalid, Incomplete };

    // Converts as much of [in, in+left) as it can, appending to out; advances in/left.
    Stop run(const char*& in, std::size_t& left, std::string& out) {
        char buffer[1024];
        while (left > 0) {
            char* src = const_cast<char*>(in);
            char* dst = buffer;
            std::size_t room = sizeof buffer;
            const std::size_t rc = iconv(cd_, &src, &left, &dst, &room);
            out.append(buffer, static_cast<std::size_t>(dst - buffer));
            in = src;
            if (rc != static_cast<std::size_t>(-1)) continue;
            if (errno == E2BIG) continue;
            return errno == EINVAL ? Stop::Incomplete : Stop::Invalid;
        }
        return Stop::Done;
    }

    void reset() { iconv(cd_, nullptr, nullptr, nullptr, nullptr); }

  private:
    iconv_t cd_;
};

// Made on first use and kept to the very end of the process, so that work done inside
// exit() (the settings written when the display connection is lost) still converts: by
// then the thread's own objects are gone, and so may be statics made after that work was
// registered. Shared by all threads, one at a time.
std::mutex& converterMutex() {
    static std::mutex* m = new std::mutex;
    return *m;
}

Converter& decoder() {
    static Converter* c = new Converter("UTF-8", "CP932");
    return *c;
}

Converter& encoder() {
    static Converter* c = new Converter("CP932", "UTF-8");
    return *c;
}

bool isTrailByte(unsigned char c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC); }

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// Byte length of the UTF-8 sequence that starts with `c`; 1 for a stray byte.
std::size_t utf8Length(unsigned char c) {
    if (c < 0x80) return 1;
    if ((c & 0xE0) == 0xC0) return 2;
    if ((c & 0xF0) == 0xE0) return 3;
    if ((c & 0xF8) == 0xF0) return 4;
    return 1;
}

}  // namespace

Cp932Decoded decodeCp932(std::string_view bytes) {
    Cp932Decoded result;
    result.utf8.reserve(bytes.size() * 3 / 2);
    const std::lock_guard<std::mutex> lock(converterMutex());
    Converter& conv = decoder();
    conv.reset();
    const char* in = bytes.data();
    std::size_t left = bytes.size();
    while (conv.run(in, left, result.utf8) != Converter::Stop::Done) {
        // A lead byte with a fitting trail byte is one unmapped character; anything
        // else is a single stray byte. Either way it becomes one U+FFFD.
        const auto lead = static_cast<unsigned char>(in[0]);
        std::size_t skip = 1;
        if (left >= 2 && cp932CharLength(lead) == 2 &&
            isTrailByte(static_cast<unsigned char>(in[1])))
            skip = 2;
        result.utf8 += kReplacement;
        in += skip;
        left -= skip;
        conv.reset();
    }
    return result;
}

std::optional<std::string> encodeCp932(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    const std::lock_guard<std::mutex> lock(converterMutex());
    Converter& conv = encoder();
    conv.reset();
    const char* in = utf8.data();
    std::size_t left = utf8.size();
    if (conv.run(in, left, out) != Converter::Stop::Done) return std::nullopt;
    return out;
}

int cp932CharLength(unsigned char lead) {
    return ((lead >= 0x81 && lead <= 0x9F) || (lead >= 0xE0 && lead <= 0xFC)) ? 2 : 1;
}

std::size_t cp932CharLengthAt(std::string_view s, std::size_t i) {
    const auto n = static_cast<std::size_t>(cp932CharLength(static_cast<unsigned char>(s[i])));
    return n > s.size() - i ? s.size() - i : n;
}

std::string_view cp932Prefix(std::string_view s, std::size_t maxBytes) {
    std::size_t i = 0;
    while (i < s.size()) {
        const std::size_t n = cp932CharLengthAt(s, i);
        if (i + n > maxBytes) break;
        i += n;
    }
    return s.substr(0, i);
}

std::string encodeCp932Replacing(std::string_view utf8) {
    if (auto whole = encodeCp932(utf8)) return *whole;
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        std::size_t n = utf8Length(static_cast<unsigned char>(utf8[i]));
        if (n > utf8.size() - i) n = utf8.size() - i;
        auto one = encodeCp932(utf8.substr(i, n));
        out += one ? *one : std::string("?");
        i += n;
    }
    return out;
}

}  // namespace qv
