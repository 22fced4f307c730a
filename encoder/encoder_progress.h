#pragma once
// What the installed encoder says of its progress when it is given -progress: blocks of
// key=value lines, each ended by "progress=continue" or, once, "progress=end".
#include <string>
#include <string_view>
#include <vector>

namespace qv::adapter {

struct EncoderProgress {
    double done = 0;   // media seconds of the result made so far
    double speed = 0;  // against real time; 0 when the encoder does not say
    bool end = false;  // the encoder's last report
};

class EncoderProgressReader {
  public:
    // The blocks completed by these bytes, in order.
    std::vector<EncoderProgress> feed(std::string_view bytes);

  private:
    void take(std::string_view line, std::vector<EncoderProgress>& out);
    std::string partial_;
    EncoderProgress current_;
};

// The channel the program named in the environment (base/progress_channel.h), made
// close-on-exec and non-blocking so that a program that does not read can never hold the
// encoder up; the variable goes, so that nothing started later takes it for its own. -1
// when there is none, or the variable names no descriptor open for writing.
int takeProgressChannel();

// Media seconds a conversion is to make: the length the result check expects, else the
// probe's length of the source less the range's start, cut to the range's length, else
// the range's length alone. 0 when none of them is known.
double expectedSeconds(double checkLength, double atMost, double sourceDuration, double start,
                       double length);

}  // namespace qv::adapter
