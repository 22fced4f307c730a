#include "encoder_progress.h"

#include <fcntl.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "base/progress_channel.h"

namespace qv::adapter {

namespace {

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// The encoder's lines are short; anything longer is not one of its reports.
constexpr std::size_t kMaxLine = 256;

}  // namespace

std::vector<EncoderProgress> EncoderProgressReader::feed(std::string_view bytes) {
    std::vector<EncoderProgress> out;
    while (!bytes.empty()) {
        const std::size_t eol = bytes.find('\n');
        if (partial_.size() < kMaxLine) partial_.append(bytes.substr(0, eol));
        if (eol == std::string_view::npos) break;
        take(partial_, out);
        partial_.clear();
        bytes.remove_prefix(eol + 1);
    }
    return out;
}

void EncoderProgressReader::take(std::string_view line, std::vector<EncoderProgress>& out) {
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) return;
    const std::string_view key = trimmed(line.substr(0, eq));
    const std::string_view value = trimmed(line.substr(eq + 1));
    if (key == "out_time_us") {
        long long us = 0;
        const auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), us);
        // "N/A", and the negative times of the first frames, leave what was known.
        if (ec == std::errc() && ptr == value.data() + value.size() && us >= 0)
            current_.done = static_cast<double>(us) / 1e6;
    } else if (key == "speed") {
        std::string_view number = value;
        if (!number.empty() && number.back() == 'x') number.remove_suffix(1);
        double speed = 0;
        const auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), speed);
        current_.speed = ec == std::errc() && ptr == number.data() + number.size() &&
                                 std::isfinite(speed) && speed >= 0
                             ? speed
                             : 0;
    } else if (key == "progress") {
        current_.end = value == "end";
        out.push_back(current_);
    }
}

int takeProgressChannel() {
    const char* value = std::getenv(kProgressVariable);
    if (!value) return -1;
    char* end = nullptr;
    errno = 0;
    const long fd = std::strtol(value, &end, 10);
    const bool named = *value && end && *end == '\0' && errno == 0 && fd > 2 && fd < 65536;
    ::unsetenv(kProgressVariable);
    if (!named) return -1;
    const int channel = static_cast<int>(fd);
    const int mode = ::fcntl(channel, F_GETFL);
    if (mode < 0 || (mode & O_ACCMODE) == O_RDONLY) return -1;
    ::fcntl(channel, F_SETFD, FD_CLOEXEC);
    ::fcntl(channel, F_SETFL, mode | O_NONBLOCK);
    return channel;
}

double expectedSeconds(double checkLength, double atMost, double sourceDuration, double start,
                       double length) {
    if (checkLength > 0) return checkLength;
    if (sourceDuration > 0) {
        double left = sourceDuration - (start > 0 ? start : 0);
        if (length >= 0 && length < left) left = length;
        if (left > 0) return left;
    }
    if (atMost > 0) return atMost;
    return length > 0 ? length : 0;
}

}  // namespace qv::adapter
