#include "cli/json.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace qv::cli {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

void appendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// A JSON string of UTF-8 bytes: quotes, backslashes and control characters escaped.
std::string quoted(std::string_view utf8) {
    std::string out = "\"";
    for (const char ch : utf8) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out.push_back(ch);
                }
        }
    }
    return out + "\"";
}

std::string textValue(std::string_view bytes) {
    if (isUtf8(bytes)) return quoted(bytes);
    return "{\"base64\":\"" + base64(bytes) + "\"}";
}

class Parser {
  public:
    explicit Parser(std::string_view text) : s_(text) {}

    std::optional<JsonValue> document() {
        JsonValue v;
        if (!value(v, 0)) return std::nullopt;
        blanks();
        if (at_ != s_.size()) return std::nullopt;
        return v;
    }

  private:
    void blanks() {
        while (at_ < s_.size() &&
               (s_[at_] == ' ' || s_[at_] == '\t' || s_[at_] == '\n' || s_[at_] == '\r'))
            ++at_;
    }
    bool eat(char c) {
        blanks();
        if (at_ < s_.size() && s_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    bool literal(std::string_view word) {
        if (s_.substr(at_, word.size()) != word) return false;
        at_ += word.size();
        return true;
    }
    bool hex4(std::uint32_t& out) {
        if (at_ + 4 > s_.size()) return false;
        out = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = s_[at_++];
            out <<= 4;
            if (c >= '0' && c <= '9')
                out |= static_cast<std::uint32_t>(c - '0');
            else if (c >= 'a' && c <= 'f')
                out |= static_cast<std::uint32_t>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                out |= static_cast<std::uint32_t>(c - 'A' + 10);
            else
                return false;
        }
        return true;
    }
    bool string(std::string& out) {
        if (!eat('"')) return false;
        while (at_ < s_.size()) {
            const char c = s_[at_++];
            if (c == '"') return true;
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            if (at_ >= s_.size()) return false;
            const char e = s_[at_++];
            switch (e) {
                case '"':
                case '\\':
                case '/':
                    out.push_back(e);
                    break;
                case 'b':
                    out.push_back('\b');
                    break;
                case 'f':
                    out.push_back('\f');
                    break;
                case 'n':
                    out.push_back('\n');
                    break;
                case 'r':
                    out.push_back('\r');
                    break;
                case 't':
                    out.push_back('\t');
                    break;
                case 'u': {
                    std::uint32_t c1 = 0;
                    if (!hex4(c1)) return false;
                    if (c1 >= 0xD800 && c1 < 0xDC00) {
                        std::uint32_t c2 = 0;
                        if (!literal("\\u") || !hex4(c2) || c2 < 0xDC00 || c2 > 0xDFFF)
                            return false;
                        c1 = 0x10000 + ((c1 - 0xD800) << 10) + (c2 - 0xDC00);
                    } else if (c1 >= 0xDC00 && c1 <= 0xDFFF) {
                        return false;
                    }
                    appendUtf8(out, c1);
                    break;
                }
                default:
                    return false;
            }
        }
        return false;
    }
    bool value(JsonValue& v, int depth) {
        if (depth > 16) return false;
        blanks();
        if (at_ >= s_.size()) return false;
        const char c = s_[at_];
        if (c == '"') {
            std::string text;
            if (!string(text)) return false;
            v.value = std::move(text);
            return true;
        }
        if (c == '[') {
            ++at_;
            auto list = std::make_shared<JsonValue::Array>();
            if (!eat(']')) {
                do {
                    JsonValue item;
                    if (!value(item, depth + 1)) return false;
                    list->push_back(std::move(item));
                } while (eat(','));
                if (!eat(']')) return false;
            }
            v.value = std::move(list);
            return true;
        }
        if (c == '{') {
            ++at_;
            auto object = std::make_shared<JsonValue::Object>();
            if (!eat('}')) {
                do {
                    std::string key;
                    JsonValue item;
                    blanks();
                    if (!string(key) || !eat(':') || !value(item, depth + 1)) return false;
                    (*object)[key] = std::move(item);
                } while (eat(','));
                if (!eat('}')) return false;
            }
            v.value = std::move(object);
            return true;
        }
        if (literal("true")) {
            v.value = true;
            return true;
        }
        if (literal("false")) {
            v.value = false;
            return true;
        }
        if (literal("null")) {
            v.value = nullptr;
            return true;
        }
        const std::size_t start = at_;
        while (at_ < s_.size() &&
               (std::string_view("+-.eE0123456789").find(s_[at_]) != std::string_view::npos))
            ++at_;
        if (at_ == start) return false;
        const std::string number(s_.substr(start, at_ - start));
        char* end = nullptr;
        const double d = std::strtod(number.c_str(), &end);
        if (end != number.c_str() + number.size() || !std::isfinite(d)) return false;
        v.value = d;
        return true;
    }

    std::string_view s_;
    std::size_t at_ = 0;
};

}  // namespace

bool isUtf8(std::string_view b) {
    std::size_t i = 0;
    while (i < b.size()) {
        const auto c = static_cast<unsigned char>(b[i]);
        int n = 0;
        std::uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            n = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + static_cast<std::size_t>(n) >= b.size()) return false;
        for (int k = 1; k <= n; ++k) {
            const auto d = static_cast<unsigned char>(b[i + static_cast<std::size_t>(k)]);
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3F);
        }
        if ((n == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
            (n == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
            return false;
        i += static_cast<std::size_t>(n) + 1;
    }
    return true;
}

std::string base64(std::string_view bytes) {
    std::string out;
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const std::uint32_t v = (static_cast<unsigned char>(bytes[i]) << 16) |
                                (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                                static_cast<unsigned char>(bytes[i + 2]);
        for (int s = 18; s >= 0; s -= 6) out.push_back(kAlphabet[(v >> s) & 0x3F]);
    }
    if (i < bytes.size()) {
        std::uint32_t v = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out.push_back(kAlphabet[(v >> 18) & 0x3F]);
        out.push_back(kAlphabet[(v >> 12) & 0x3F]);
        out.push_back(i + 1 < bytes.size() ? kAlphabet[(v >> 6) & 0x3F] : '=');
        out.push_back('=');
    }
    return out;
}

std::optional<std::string> fromBase64(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    std::string out;
    std::uint32_t v = 0;
    int bits = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '=') {
            if (i + 2 < text.size()) return std::nullopt;
            break;
        }
        const char* p = std::char_traits<char>::find(kAlphabet, 64, c);
        if (!p) return std::nullopt;
        v = (v << 6) | static_cast<std::uint32_t>(p - kAlphabet);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<char>((v >> bits) & 0xFF));
        }
    }
    return out;
}

void JsonObject::name(std::string_view n) {
    if (!body_.empty()) body_ += ",";
    body_ += quoted(n) + ":";
}

JsonObject& JsonObject::text(std::string_view n, std::string_view bytes) {
    name(n);
    body_ += textValue(bytes);
    return *this;
}

JsonObject& JsonObject::number(std::string_view n, std::int64_t value) {
    name(n);
    body_ += std::to_string(value);
    return *this;
}

JsonObject& JsonObject::real(std::string_view n, double value) {
    name(n);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.4g", std::isfinite(value) ? value : 0.0);
    body_ += buf;
    return *this;
}

JsonObject& JsonObject::boolean(std::string_view n, bool value) {
    name(n);
    body_ += value ? "true" : "false";
    return *this;
}

JsonObject& JsonObject::texts(std::string_view n, const std::vector<std::string>& list) {
    name(n);
    body_ += "[";
    for (std::size_t i = 0; i < list.size(); ++i) body_ += (i ? "," : "") + textValue(list[i]);
    body_ += "]";
    return *this;
}

JsonObject& JsonObject::textLists(std::string_view n,
                                  const std::vector<std::vector<std::string>>& lists) {
    name(n);
    body_ += "[";
    for (std::size_t i = 0; i < lists.size(); ++i) {
        body_ += i ? ",[" : "[";
        for (std::size_t k = 0; k < lists[i].size(); ++k)
            body_ += (k ? "," : "") + textValue(lists[i][k]);
        body_ += "]";
    }
    body_ += "]";
    return *this;
}

const JsonValue* JsonValue::member(const std::string& n) const {
    const auto* object = std::get_if<std::shared_ptr<Object>>(&value);
    if (!object) return nullptr;
    const auto found = (*object)->find(n);
    return found == (*object)->end() ? nullptr : &found->second;
}

std::optional<std::string> JsonValue::bytes() const {
    if (const auto* s = std::get_if<std::string>(&value)) return *s;
    if (const JsonValue* b = member("base64"))
        if (const auto* s = std::get_if<std::string>(&b->value)) return fromBase64(*s);
    return std::nullopt;
}

std::optional<double> JsonValue::number() const {
    if (const auto* d = std::get_if<double>(&value)) return *d;
    return std::nullopt;
}

const JsonValue::Array* JsonValue::array() const {
    const auto* a = std::get_if<std::shared_ptr<Array>>(&value);
    return a ? a->get() : nullptr;
}

std::optional<JsonValue> parseJson(std::string_view text) { return Parser(text).document(); }

}  // namespace qv::cli
