#pragma once
// The little JSON the tool writes and reads: one object per line. Texts are bytes; one that
// is not UTF-8 (a file name can be anything but '/' and NUL) is written as the object
// {"base64": "..."} holding its exact bytes, and read back from either form.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace qv::cli {

// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool isUtf8(std::string_view bytes);

std::string base64(std::string_view bytes);
std::optional<std::string> fromBase64(std::string_view text);

// One object, its members in the order they are added.
class JsonObject {
  public:
    JsonObject& text(std::string_view name, std::string_view bytes);
    JsonObject& number(std::string_view name, std::int64_t value);
    JsonObject& real(std::string_view name, double value);
    JsonObject& boolean(std::string_view name, bool value);
    JsonObject& texts(std::string_view name, const std::vector<std::string>& list);
    JsonObject& textLists(std::string_view name,
                          const std::vector<std::vector<std::string>>& lists);
    // The object on one line, without a line break.
    std::string line() const { return "{" + body_ + "}"; }

  private:
    void name(std::string_view n);
    std::string body_;
};

// A parsed value.
struct JsonValue {
    using Array = std::vector<JsonValue>;
    using Object = std::map<std::string, JsonValue>;
    std::variant<std::nullptr_t, bool, double, std::string, std::shared_ptr<Array>,
                 std::shared_ptr<Object>>
        value;

    const JsonValue* member(const std::string& name) const;
    // A text, or the bytes of a {"base64": ...} object.
    std::optional<std::string> bytes() const;
    std::optional<double> number() const;
    const Array* array() const;
};

// Parses one JSON text; nullopt when it is not well-formed.
std::optional<JsonValue> parseJson(std::string_view text);

}  // namespace qv::cli
