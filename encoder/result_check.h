#pragma once
// A finished result looked at before the call says it is done: it opens, holds the kinds
// of stream the call asked for, reads to its end, lasts as long as asked, and the first
// and the last second of every stream decode without an error. Cheap next to the
// conversion: every packet is read, but only those two seconds are decoded.
#include <csignal>
#include <string>
#include <vector>

#include "failure_reasons.h"
#include "source_contents.h"

namespace qv::adapter {

// What the result must be.
struct Expectation {
    bool picture = false, sound = false;  // streams it must hold
    double length = -1;                   // seconds; -1 when unknown
    double atMost = -1;                   // when only an upper bound is known (a range
                                          // of a source of unknown length); -1 when none
};

// From what the line asks and what the source holds.
Expectation expectationOf(const Asked& asked, const SourceContents& source);

struct CheckResult {
    bool checked = false;  // false: the libraries are missing, or a stop came first
    bool stopped = false;  // a stop signal came during the check
    bool good = true;
    Fault fault = Fault::WillNotOpen;
    double seconds = 0;                 // the length found
    double wanted = 0;                  // the length asked for (or its bound)
    std::vector<std::string> messages;  // the libraries' own words, for the log
};

CheckResult checkResult(const std::string& path, const Expectation& expected,
                        const volatile std::sig_atomic_t& stop);

// Gets the look at a result ready while the encoder writes it: loads the libraries and
// opens once the decoders of what the result will hold, which set up their tables the
// first time. Encoders as the line names them ("libx264", "copy", "" for none); a copy
// holds the source's codec.
void prepareToLook(const std::string& videoEncoder, const std::string& audioEncoder,
                   const SourceContents& source);

// The largest difference from the length asked that still counts as that length: 5 %,
// half a second or one frame, whichever is largest.
double lengthTolerance(double wanted, double frameSeconds);

}  // namespace qv::adapter
