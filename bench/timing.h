#pragma once
// What the benchmarks share: one encoder call timed, and the median of a set of times.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "run/encoder_process.h"

namespace qvbench {

// Wall time of one call in ms, as the batch run starts it. A call that cannot start or
// fails ends the benchmark: its figure would mean nothing.
inline double runTimed(const std::string& exe, const std::vector<std::string>& args) {
    qv::EncoderProcess p;
    const auto t0 = std::chrono::steady_clock::now();
    std::string error;
    if (!p.start(exe, args, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::exit(1);
    }
    p.waitFor(-1);
    const auto t1 = std::chrono::steady_clock::now();
    if (p.exitCode() != 0) {
        std::fprintf(stderr, "%s ended with %d\n", exe.c_str(), p.exitCode());
        std::exit(1);
    }
    return std::chrono::duration<double, std::milli>(t1 - t0).count();
}

inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace qvbench
