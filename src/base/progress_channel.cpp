#include "base/progress_channel.h"

#include <charconv>
#include <cmath>

namespace qv {

namespace {

// Beyond these a number is taken for garbage: no medium lasts a year, no encoder runs a
// million times faster than real time.
constexpr double kMaxSeconds = 365.0 * 24 * 3600;
constexpr double kMaxSpeed = 1e6;

bool readNumber(std::string_view text, double limit, double& value) {
    if (text.empty() || text.front() == '-' || text.front() == '+') return false;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
    return ec == std::errc() && ptr == end && std::isfinite(value) && value >= 0 && value <= limit;
}

void appendNumber(std::string& out, double value) {
    if (!std::isfinite(value) || value < 0) value = 0;
    char buf[64];
    const auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 3);
    out.append(buf, ec == std::errc() ? ptr : buf);
    if (ec != std::errc()) out += '0';
}

}  // namespace

double ProgressReport::fraction() const {
    if (!(expected > 0)) return 0;
    const double f = done / expected;
    return f < 0 ? 0 : (f > 1 ? 1 : f);
}

std::string progressLine(double done, double expected, double speed) {
    std::string line = "t ";
    appendNumber(line, done);
    line += ' ';
    appendNumber(line, expected);
    line += ' ';
    appendNumber(line, speed);
    line += '\n';
    return line;
}

std::optional<ProgressReport> parseProgressLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    // Exactly four fields, one space between each two.
    std::string_view fields[4];
    std::size_t count = 0;
    bool more = true;
    while (more && count < 4) {
        const std::size_t space = line.find(' ');
        fields[count++] = line.substr(0, space);
        more = space != std::string_view::npos;
        if (more) line.remove_prefix(space + 1);
    }
    if (more || count != 4 || fields[0] != "t") return std::nullopt;
    ProgressReport r;
    if (!readNumber(fields[1], kMaxSeconds, r.done) ||
        !readNumber(fields[2], kMaxSeconds, r.expected) ||
        !readNumber(fields[3], kMaxSpeed, r.speed))
        return std::nullopt;
    return r;
}

std::vector<ProgressReport> ProgressLineReader::feed(std::string_view bytes) {
    std::vector<ProgressReport> reports;
    while (!bytes.empty()) {
        const std::size_t eol = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, eol);
        if (!skipping_) {
            if (partial_.size() + piece.size() > kMaxLine) {
                partial_.clear();
                skipping_ = true;
            } else {
                partial_.append(piece);
            }
        }
        if (eol == std::string_view::npos) break;
        if (!skipping_)
            if (auto r = parseProgressLine(partial_)) reports.push_back(*r);
        partial_.clear();
        skipping_ = false;
        bytes.remove_prefix(eol + 1);
    }
    return reports;
}

}  // namespace qv
