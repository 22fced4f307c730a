#include "run/batch_time_left.h"

#include <cmath>
#include <cstdio>

namespace qv {

BatchTimeLeft::BatchTimeLeft(int jobs, int passes)
    : jobs_(jobs < 0 ? 0 : jobs), passes_(passes < 1 ? 1 : passes) {}

void BatchTimeLeft::progress(int job, double fraction, double seconds) {
    Job& j = seen_[job];
    if (j.ended) return;
    if (std::isfinite(fraction) && fraction > j.fraction) j.fraction = fraction > 1 ? 1 : fraction;
    if (std::isfinite(seconds) && seconds > 0) j.seconds = seconds;
}

void BatchTimeLeft::jobEnded(int job, bool madeResult) {
    Job& j = seen_[job];
    j.ended = true;
    if (madeResult) j.fraction = 1;
}

std::optional<double> BatchTimeLeft::secondsLeft(double elapsed) const {
    double known = 0;
    int knownCount = 0;
    for (const auto& [job, j] : seen_) {
        if (j.seconds > 0) {
            known += j.seconds;
            ++knownCount;
        }
    }
    if (knownCount == 0 || !(elapsed > 0)) return std::nullopt;
    const double mean = known / knownCount;
    double made = 0, left = 0;
    int unseen = jobs_;
    for (const auto& [job, j] : seen_) {
        --unseen;
        const double work = (j.seconds > 0 ? j.seconds : mean) * passes_;
        made += j.fraction * work;
        if (!j.ended) left += (1 - j.fraction) * work;
    }
    if (unseen > 0) left += unseen * mean * passes_;
    if (!(made > 0)) return std::nullopt;
    return left / (made / elapsed);
}

std::string timeLeftText(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
    // Beyond this, no estimate means anything; the text still stays short.
    constexpr double kMost = 99.0 * 3600 + 59 * 60 + 59;
    const long long s = static_cast<long long>(std::ceil(seconds < kMost ? seconds : kMost));
    char buf[32];
    if (s >= 3600)
        std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(buf, sizeof buf, "%lld:%02lld", s / 60, s % 60);
    return buf;
}

}  // namespace qv
