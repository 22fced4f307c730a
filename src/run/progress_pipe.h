#pragma once
// One encoder call's progress channel (base/progress_channel.h): the pipe, its write end
// for the child, its read end for the caller's poll loop.
#include <vector>

#include "base/progress_channel.h"

namespace qv {

class ProgressPipe {
  public:
    ProgressPipe() = default;
    ProgressPipe(const ProgressPipe&) = delete;
    ProgressPipe& operator=(const ProgressPipe&) = delete;
    ~ProgressPipe() { close(); }

    // A fresh pipe; false when none can be had (the call then runs without one).
    bool open();
    // For the child alone: hand it over, then drop it here.
    int writeEnd() const { return write_; }
    void dropWriteEnd();
    // Readable when a report has come, or the child is gone; -1 when closed.
    int readEnd() const { return read_; }
    // The reports that have come, without waiting. Once the child has gone (or the pipe
    // fails) the pipe closes itself: a closed pipe must never wake the poll loop again.
    std::vector<ProgressReport> read();
    void close();

  private:
    int read_ = -1, write_ = -1;
    ProgressLineReader reader_;
};

}  // namespace qv
