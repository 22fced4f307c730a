#pragma once
// The progress channel between the program and an encoder call.
//
// The program hands the call the write end of a pipe as descriptor 3 and names it in the
// environment: QUORVANE_PROGRESS=3. The call writes one line per report, in ASCII:
//
//   t <done> <expected> <speed>\n
//
//   done      media seconds of the result made so far
//   expected  media seconds the call is to make in all; 0 when not known
//   speed     media seconds made per second of real time; 0 when not known
//
// Numbers are plain decimals with a dot ("12.480"), never negative. A call may write
// nothing at all, and the program must not wait for it: the channel only ever adds to what
// the program knows. A reader skips any line it does not understand, whole, and keeps a
// line cut in two by the pipe until its end arrives.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

inline constexpr const char* kProgressVariable = "QUORVANE_PROGRESS";
// The descriptor the call gets the channel on.
inline constexpr int kProgressDescriptor = 3;

struct ProgressReport {
    double done = 0, expected = 0, speed = 0;
    // How much of the call is done, 0..1; 0 while the expected length is not known.
    double fraction() const;
};

// The line for one report. Negative or unreadable numbers are written as 0.
std::string progressLine(double done, double expected, double speed);

// One line without its line break; nothing when it is not a report.
std::optional<ProgressReport> parseProgressLine(std::string_view line);

// Reads the channel's bytes as they come, in pieces of any size.
class ProgressLineReader {
  public:
    // The reports completed by these bytes, in order.
    std::vector<ProgressReport> feed(std::string_view bytes);

    // Longer lines are not reports; they are skipped up to their end.
    static constexpr std::size_t kMaxLine = 128;

  private:
    std::string partial_;
    bool skipping_ = false;
};

}  // namespace qv
