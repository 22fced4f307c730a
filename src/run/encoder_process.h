#pragma once
// The one place that starts, waits for and stops child processes.
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qv {

// The encoder to start: `ffmpeg` in the program folder first, then the search path.
// Empty when there is none.
std::string resolveEncoder(const std::string& programFolder);

// Variables to set (a value) or remove (none) in a child's environment; the rest is
// the caller's own.
using EnvironmentChanges = std::vector<std::pair<std::string, std::optional<std::string>>>;

// The number a descriptor handed to a child has there (the first after stderr).
inline constexpr int kHandedDescriptor = 3;

// How long a wait for a process lasts before the caller gets its turn again.
inline constexpr int kWaitSliceMs = 60;

class EncoderProcess {
  public:
    EncoderProcess() = default;
    EncoderProcess(const EncoderProcess&) = delete;
    EncoderProcess& operator=(const EncoderProcess&) = delete;
    ~EncoderProcess();  // a process still running is left running, but reaped when it ends

    // Starts exe with args (no shell), stdin from the null device, no inherited
    // descriptors, in a process group of its own. False and a message on failure.
    // handOver, when not -1, is the one descriptor the child does get, as kHandedDescriptor.
    bool start(const std::string& exe, const std::vector<std::string>& args,
               std::string* error = nullptr, const EnvironmentChanges& environment = {},
               int handOver = -1);

    // Waits at most timeoutMs; true once the process has ended.
    bool waitFor(int timeoutMs);

    // Waits until the end in slices of sliceMs, calling between() after each slice.
    void waitInSlices(const std::function<void()>& between, int sliceMs = kWaitSliceMs);

    int pid() const { return pid_; }
    // Readable once the process has ended; -1 when the system gives none or it is collected.
    int descriptor() const { return pidfd_; }
    // Exit code, or -1 when it ended by a signal or has not ended.
    int exitCode() const { return exitCode_; }
    // The signal that ended it; 0 when it exited by itself or has not ended.
    int termSignal() const { return termSignal_; }

    // Stops the process and its group. False when it had already ended or could not be stopped.
    bool stop();

  private:
    // Collects the exit status without blocking; true once the process has ended.
    bool reap(bool block);

    int pid_ = -1;
    bool ended_ = true;
    int exitCode_ = -1;
    int termSignal_ = 0;  // the signal that ended it, 0 when it exited
    int pidfd_ = -1;      // Linux: lets waitFor sleep in poll() instead of polling
};

// Stops the running EncoderProcess with this id (the cancel button knows only the id).
// False when no such process is running.
bool stopProcessById(int pid);

}  // namespace qv
