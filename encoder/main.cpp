// The program folder's `ffmpeg`: translates the program's command line for the installed
// encoder, starts that encoder as its child and waits for it, so that it can tell why a
// call failed, look at a result before it says done, remove a result it knows to be
// broken, and stop the encoder when the program that started it goes away.
//
// The encoder stays in the adapter's process group: the program's cancel stops the group
// and with it both. Two-pass statistics live in a private folder per result path; the
// adapter removes it after pass 2. Only a stop by SIGKILL leaves the adapter no chance,
// so pass 2 also leaves a small watcher in a session of its own that removes the folder
// once the adapter has ended, however it ended.
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "base/file_io.h"
#include "base/file_places.h"
#include "base/path.h"
#include "base/process.h"
#include "base/progress_channel.h"
#include "base/search_path.h"
#include "base/text.h"
#include "codecs.h"
#include "encoder_progress.h"
#include "failure_reasons.h"
#include "picture.h"
#include "probe.h"
#include "result_check.h"
#include "rules.h"
#include "source_contents.h"
#include "translate.h"

namespace {

// Exit status of the adapter's own refusals (the encoder's failures keep theirs).
constexpr int kRefused = 2;

volatile sig_atomic_t g_child = -1;
volatile sig_atomic_t g_signal = 0;

void onStopSignal(int sig) {
    g_signal = sig;
    if (g_child > 0) ::kill(static_cast<pid_t>(g_child), sig);
}

std::string realPath(const std::string& p) {
    char buf[PATH_MAX];
    return ::realpath(p.c_str(), buf) ? std::string(buf) : std::string();
}

// Real paths of the adapters this call has passed through, so that two copies on
// the search path can never start each other in turn.
constexpr const char* kSeenVariable = "QV_ADAPTERS_SEEN";

bool seenBefore(const std::string& resolved) {
    const char* seen = std::getenv(kSeenVariable);
    if (!seen) return false;
    const std::string list = std::string(":") + seen + ":";
    return list.find(":" + resolved + ":") != std::string::npos;
}

// The first `ffmpeg` on the search path that is not this program (a link to it included)
// nor an adapter this call came through.
std::string findRealEncoder(const std::string& self) {
    return qv::findOnSearchPath("ffmpeg", [&self](const std::string& candidate) {
        const std::string resolved = realPath(candidate);
        return !resolved.empty() && resolved != self && !seenBefore(resolved);
    });
}

// <cache>/<name> for this user alone, <cache> being the user's cache folder; empty when
// it cannot be had.
std::string privateCacheFolder(const char* name) {
    const std::string cache = qv::baseDirectory("XDG_CACHE_HOME", ".cache");
    if (cache.empty()) return {};
    const std::string folder = qv::joinPath(cache, name);
    return qv::ensurePrivateFolder(folder) ? folder : std::string();
}

// The private runtime folder, else the cache folder's quorvane-2pass. Empty when neither
// can be had: then two-pass is refused rather than using a shared folder.
std::string privateBase() {
    const std::string runtime = qv::runtimeFolder();
    return runtime.empty() ? privateCacheFolder("quorvane-2pass") : runtime;
}

// Notes a pass 1 leaves for its pass 2, beside the statistics.
qv::adapter::PassNotes readNotes(const std::string& folder) {
    qv::adapter::PassNotes n;
    std::string bytes;
    if (!qv::readWholeFile(folder + "/notes", bytes, 4096)) return n;
    const auto fields = qv::splitLines(bytes);
    struct stat st {};
    n.present = fields.size() == 3 && ::stat((folder + "/stats-0.log").c_str(), &st) == 0;
    if (n.present) {
        n.rangeStart = fields[0].text;
        n.rangeLength = fields[1].text;
        n.bitRate = fields[2].text;
    }
    return n;
}

void writeNotes(const std::string& folder, const qv::adapter::PassNotes& n) {
    qv::replaceFileAtomically(folder + "/notes",
                              n.rangeStart + "\n" + n.rangeLength + "\n" + n.bitRate + "\n",
                              {.flush = false, .followLink = false, .newFileMode = 0600});
}

// Removes the files in folder; the folder itself too when asked.
void clearFolder(const std::string& folder, bool removeFolder) {
    if (DIR* d = ::opendir(folder.c_str())) {
        std::vector<std::string> names;
        while (dirent* e = ::readdir(d)) {
            std::string name = e->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        ::closedir(d);
        for (const auto& name : names) ::unlink((folder + "/" + name).c_str());
    }
    if (removeFolder) ::rmdir(folder.c_str());
}

std::string absolute(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    char cwd[PATH_MAX];
    return ::getcwd(cwd, sizeof cwd) ? std::string(cwd) + "/" + path : path;
}

// Leaves a process behind, outside the caller's process group, that removes folder once
// the process `pid` (this adapter) has ended.
void cleanUpAfter(pid_t pid, const std::string& folder) {
    const int pidfd = qv::openPidfd(pid);
    pid_t first = ::fork();
    if (first < 0) {
        if (pidfd >= 0) ::close(pidfd);
        return;
    }
    if (first == 0) {
        ::setsid();
        if (::fork() != 0) ::_exit(0);
        // Hold on to nothing of the caller's: no pipe of its stays open because of us.
        int null = ::open("/dev/null", O_RDWR);
        for (int fd = 0; fd < 3 && null >= 0; ++fd) ::dup2(null, fd);
        long maxFd = ::sysconf(_SC_OPEN_MAX);
        for (int fd = 3; fd < (maxFd > 0 && maxFd < 65536 ? maxFd : 65536); ++fd)
            if (fd != pidfd) ::close(fd);
        if (pidfd >= 0) {
            pollfd p{pidfd, POLLIN, 0};
            while (::poll(&p, 1, -1) < 0 && errno == EINTR) {
            }
        } else {
            while (::kill(pid, 0) == 0 || errno == EPERM) ::usleep(200 * 1000);
        }
        clearFolder(folder, true);
        ::_exit(0);
    }
    int status = 0;
    while (::waitpid(first, &status, 0) < 0 && errno == EINTR) {
    }
    if (pidfd >= 0) ::close(pidfd);
}

void writeAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return;
        p += w;
        n -= static_cast<size_t>(w);
    }
}

// The header line of one call in the log: when, and the call as the program made it.
std::string logHeader(const std::vector<std::string>& args) {
    char when[32] = "";
    const time_t now = ::time(nullptr);
    tm t{};
    if (::gmtime_r(&now, &t)) ::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S UTC", &t);
    std::string line = std::string("=== ") + when + " ffmpeg";
    for (const auto& a : args) line += " " + a;
    for (char& c : line)
        if (c == '\n' || c == '\r') c = ' ';
    return line + "\n";
}

// Whatever the environment asks to be told: the log of the encoder's error output and
// the one-line report of why a call failed.
class Outcome {
  public:
    explicit Outcome(const std::vector<std::string>& args) {
        if (const char* log = std::getenv("QUORVANE_LOG"); log && *log) {
            log_ = ::open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600);
            if (log_ >= 0) {
                const std::string header = logHeader(args);
                writeAll(log_, header.data(), header.size());
            }
        }
    }
    ~Outcome() {
        if (log_ >= 0) ::close(log_);
    }
    Outcome(const Outcome&) = delete;
    Outcome& operator=(const Outcome&) = delete;

    // What a reason may name about this call.
    void setFacts(const qv::adapter::CallFacts& facts) { facts_ = facts; }

    // Bytes of the encoder's error output: passed on, logged, and its lines kept.
    void encoderOutput(const char* p, size_t n) {
        writeAll(2, p, n);
        if (log_ >= 0) writeAll(log_, p, n);
        for (size_t i = 0; i < n; ++i) {
            if (p[i] == '\n' || p[i] == '\r') {
                keepLine();
            } else if (partial_.size() < 4096) {
                partial_ += p[i];
            }
        }
    }

    // The adapter's own reason for refusing or failing: said, logged, reported. The system's
    // words on it (detail) are said and logged, not reported.
    void refuse(const std::string& reason, const std::string& detail = {}) {
        const std::string line = "ffmpeg: " + reason + (detail.empty() ? "" : ": " + detail) + "\n";
        writeAll(2, line.data(), line.size());
        if (log_ >= 0) writeAll(log_, line.data(), line.size());
        report(reason);
    }

    // A line for the log alone (the libraries' words on a result that failed its check).
    void logOnly(const std::string& text) {
        if (log_ < 0) return;
        const std::string line = "ffmpeg: " + text + "\n";
        writeAll(log_, line.data(), line.size());
    }

    // The encoder said it could not write the result whole, whatever its status.
    bool writingFailed() const { return qv::adapter::writingFailed(lines_, facts_); }

    // A note of the adapter's for the log only (what it did in the user's stead).
    void note(const std::string& text) {
        const std::string line = "ffmpeg: " + text + "\n";
        if (log_ >= 0) writeAll(log_, line.data(), line.size());
    }

    // The encoder's error lines so far (its last 64 KiB), the lines that name a stream
    // included: the last one is often only what came of them.
    const std::string& errorText() {
        keepLine();
        return errors_;
    }

    // A later try succeeded: the failure reported before no longer holds.
    void withdrawReport() {
        const char* path = std::getenv("QUORVANE_REPORT");
        if (path && *path) ::truncate(path, 0);
    }

    // The encoder failed. The report names the cause its lines show, in the interface's
    // language; its own words stay in the log.
    void encoderFailed(int status, bool stopped) {
        keepLine();
        if (lines_.empty() && !stopped)
            report("エンコーダが異常終了しました (終了コード " + std::to_string(status) + ")");
        else
            report(qv::adapter::reasonForEncoderFailure(lines_, facts_, stopped));
    }

  private:
    void keepLine() {
        std::string l = qv::adapter::encoderLine(partial_);
        partial_.clear();
        if (!l.empty()) {
            errors_ += l + "\n";
            if (errors_.size() > 65536) errors_.erase(0, errors_.size() - 65536);
        }
        if (l.empty()) return;
        // The first lines name the source's trouble, the last ones the result's.
        if (lines_.size() >= kKeptLines) lines_.erase(lines_.begin() + kKeptLines / 2);
        lines_.push_back(l);
    }

    static std::string validUtf8(const std::string& s) {
        std::string out;
        for (size_t i = 0; i < s.size();) {
            const unsigned char c = static_cast<unsigned char>(s[i]);
            size_t len = c < 0x80         ? 1
                         : (c >> 5) == 6  ? 2
                         : (c >> 4) == 14 ? 3
                         : (c >> 3) == 30 ? 4
                                          : 0;
            bool ok = len > 0 && i + len <= s.size() && (len > 1 || c >= 0x20 || c == '\t');
            for (size_t k = 1; ok && k < len; ++k)
                ok = (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
            if (ok) {
                out.append(s, i, len);
                i += len;
            } else {
                out += '?';
                ++i;
            }
        }
        return out;
    }

    void report(const std::string& reason) {
        const char* path = std::getenv("QUORVANE_REPORT");
        if (!path || !*path) return;
        const int fd = ::open(path, O_WRONLY | O_TRUNC | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600);
        if (fd < 0) return;
        const std::string line = validUtf8(reason) + "\n";
        writeAll(fd, line.data(), line.size());
        ::close(fd);
    }

    static constexpr size_t kKeptLines = 200;
    int log_ = -1;
    std::string partial_, errors_;
    std::vector<std::string> lines_;
    qv::adapter::CallFacts facts_;
};

struct FileState {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{};
};

FileState stateOf(const std::string& path) {
    FileState s;
    struct stat st {};
    if (!path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        s = {true, st.st_dev, st.st_ino, st.st_size, st.st_mtim};
    }
    return s;
}

// The encoder wrote to the result during this call (or made it).
bool writtenSince(const FileState& before, const FileState& now) {
    if (!now.exists) return false;
    if (!before.exists) return true;
    return before.dev != now.dev || before.ino != now.ino || before.size != now.size ||
           before.mtime.tv_sec != now.mtime.tv_sec || before.mtime.tv_nsec != now.mtime.tv_nsec;
}

// Starts the encoder as a child in this process group, its stderr into errWrite and, when
// there is one, its -progress pipe as descriptor 3. The child dies with the adapter,
// however the adapter ends.
pid_t startEncoder(const std::string& encoder, std::vector<std::string>& full, int errWrite,
                   int progressWrite) {
    std::vector<char*> cargs;
    for (auto& a : full) cargs.push_back(a.data());
    cargs.push_back(nullptr);
    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t adapter = ::getpid();
    const pid_t pid = ::fork();
    if (pid != 0) {
        if (null >= 0) ::close(null);
        return pid;
    }
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != adapter) ::_exit(128 + SIGKILL);
    ::signal(SIGPIPE, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    if (null >= 0) ::dup2(null, 0);
    ::dup2(errWrite, 2);
    if (progressWrite == qv::kProgressDescriptor)
        ::fcntl(progressWrite, F_SETFD, 0);
    else if (progressWrite >= 0)
        ::dup2(progressWrite, qv::kProgressDescriptor);
    ::execv(encoder.c_str(), cargs.data());
    const std::string msg =
        "エンコーダを起動できません: " + encoder + ": " + std::strerror(errno) + "\n";
    writeAll(2, msg.data(), msg.size());
    ::_exit(126);
}

// Passes the encoder's progress on to the program's channel, as a share of what the call
// is to make. A report the channel has no room for is dropped: the next one says more.
class ProgressRelay {
  public:
    ProgressRelay(int channel, double expected) : channel_(channel), expected_(expected) {}
    bool wanted() const { return channel_ >= 0; }

    void encoderBytes(const char* p, size_t n) {
        for (const qv::adapter::EncoderProgress& r : reader_.feed(std::string_view(p, n))) {
            // An end as long as the result check would take is all of it, however the last
            // frame's time falls; an end well short of it (a failure) is where it stopped.
            const bool whole =
                r.end && r.done >= expected_ - qv::adapter::lengthTolerance(expected_, 0);
            const double done = whole && r.done < expected_ ? expected_ : r.done;
            const std::string line = qv::progressLine(done, expected_, r.speed);
            while (::write(channel_, line.data(), line.size()) < 0 && errno == EINTR) {
            }
        }
    }
    // A fresh run of the encoder starts from the beginning.
    void restart() { reader_ = {}; }

  private:
    int channel_;
    double expected_;
    qv::adapter::EncoderProgressReader reader_;
};

// Waits for the encoder, passing its error output on. A stop signal that reached the
// adapter has been forwarded to it; if it has not ended half a second later, it is killed.
int awaitEncoder(pid_t pid, int errRead, Outcome& outcome, int progressRead, ProgressRelay* relay) {
    const int pidfd = qv::openPidfd(pid);
    bool pipeOpen = true;
    bool progressOpen = progressRead >= 0 && relay;
    timespec deadline{};
    bool killed = false;
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        if (done < 0 && errno != EINTR) return 1;
        if (g_signal && !killed) {
            timespec now{};
            ::clock_gettime(CLOCK_MONOTONIC, &now);
            if (deadline.tv_sec == 0) {
                deadline = now;
                deadline.tv_nsec += 500'000'000;
                if (deadline.tv_nsec >= 1'000'000'000) {
                    deadline.tv_sec += 1;
                    deadline.tv_nsec -= 1'000'000'000;
                }
            } else if (now.tv_sec > deadline.tv_sec ||
                       (now.tv_sec == deadline.tv_sec && now.tv_nsec >= deadline.tv_nsec)) {
                ::kill(pid, SIGKILL);
                killed = true;
            }
        }
        pollfd fds[3];
        nfds_t n = 0;
        const nfds_t errAt = n;
        if (pipeOpen) fds[n++] = {errRead, POLLIN, 0};
        const nfds_t progressAt = n;
        if (progressOpen) fds[n++] = {progressRead, POLLIN, 0};
        if (pidfd >= 0) fds[n++] = {pidfd, POLLIN, 0};
        const int timeout = g_signal ? 50 : (pidfd >= 0 ? -1 : 50);
        const int r = ::poll(fds, n, timeout);
        if (r < 0 && errno != EINTR) ::usleep(10000);
        if (r > 0 && pipeOpen && (fds[errAt].revents & (POLLIN | POLLHUP | POLLERR))) {
            char buf[4096];
            const ssize_t got = ::read(errRead, buf, sizeof buf);
            if (got > 0)
                outcome.encoderOutput(buf, static_cast<size_t>(got));
            else if (got == 0 || (errno != EINTR && errno != EAGAIN))
                pipeOpen = false;
        }
        if (r > 0 && progressOpen && (fds[progressAt].revents & (POLLIN | POLLHUP | POLLERR))) {
            char buf[4096];
            const ssize_t got = ::read(progressRead, buf, sizeof buf);
            if (got > 0)
                relay->encoderBytes(buf, static_cast<size_t>(got));
            else if (got == 0 || (errno != EINTR && errno != EAGAIN))
                progressOpen = false;
        }
    }
    // What is left in the pipe; whatever the encoder may have left running keeps no hold.
    ::fcntl(errRead, F_SETFL, ::fcntl(errRead, F_GETFL) | O_NONBLOCK);
    char buf[4096];
    for (ssize_t got; pipeOpen && (got = ::read(errRead, buf, sizeof buf)) > 0;)
        outcome.encoderOutput(buf, static_cast<size_t>(got));
    if (progressOpen) {
        ::fcntl(progressRead, F_SETFL, ::fcntl(progressRead, F_GETFL) | O_NONBLOCK);
        for (ssize_t got; (got = ::read(progressRead, buf, sizeof buf)) > 0;)
            relay->encoderBytes(buf, static_cast<size_t>(got));
    }
    if (pidfd >= 0) ::close(pidfd);
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return 1;
}

// Work for the encoder's idle moments: a thread of its own at a low priority, joined when
// this ends. Not the lowest: a thread that has not finished when the encoder has is waited
// for, and must not starve behind other programs. Stop signals stay with the main thread,
// whose waits they must break.
constexpr int kSideWorkNice = 10;

class SideWork {
  public:
    explicit SideWork(const std::function<void()>& work) {
        if (!work) return;
        try {
            thread_ = std::thread([work] {
                sigset_t all;
                sigfillset(&all);
                ::pthread_sigmask(SIG_BLOCK, &all, nullptr);
                ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kSideWorkNice);
                work();
            });
        } catch (const std::system_error&) {
            work();
        }
    }
    ~SideWork() {
        if (thread_.joinable()) thread_.join();
    }
    SideWork(const SideWork&) = delete;
    SideWork& operator=(const SideWork&) = delete;

  private:
    std::thread thread_;
};

// Runs the encoder once on a translated line and waits for it. A result it wrote and
// then gave up on does not play: it goes. meanwhile runs beside the encoder, in its idle
// moments. With a relay that the program wants, the encoder reports its progress into a
// pipe of its own, passed on by the relay; without one its line is as it always was.
int runEncoder(const std::string& encoder, const std::vector<std::string>& translated,
               const std::string& output, Outcome& outcome,
               const std::function<void()>& meanwhile = {}, ProgressRelay* relay = nullptr) {
    std::vector<std::string> full = {encoder,    "-hide_banner", "-nostdin",
                                     "-nostats", "-loglevel",    "error"};
    int progressPipe[2] = {-1, -1};
    if (relay && relay->wanted() && ::pipe2(progressPipe, O_CLOEXEC) == 0) {
        relay->restart();
        full.push_back("-progress");
        full.push_back("pipe:" + std::to_string(qv::kProgressDescriptor));
    }
    full.insert(full.end(), translated.begin(), translated.end());
    struct Closer {
        int* fds;
        ~Closer() {
            for (int i = 0; i < 2; ++i)
                if (fds[i] >= 0) ::close(fds[i]);
        }
    } closeProgress{progressPipe};
    int errPipe[2];
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        outcome.refuse("パイプを作れません", std::strerror(errno));
        return kRefused;
    }
    const FileState before = stateOf(output);
    // Signals wait until the child's id is known, so none is lost on the way.
    sigset_t stops, old;
    sigemptyset(&stops);
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&stops, sig);
    ::sigprocmask(SIG_BLOCK, &stops, &old);
    const pid_t child = startEncoder(encoder, full, errPipe[1], progressPipe[1]);
    if (child > 0) g_child = child;
    ::sigprocmask(SIG_SETMASK, &old, nullptr);
    ::close(errPipe[1]);
    if (progressPipe[1] >= 0) ::close(progressPipe[1]);
    progressPipe[1] = -1;
    if (child < 0) {
        ::close(errPipe[0]);
        outcome.refuse("エンコーダを起動できません", std::strerror(errno));
        return kRefused;
    }
    if (g_signal) ::kill(child, g_signal);
    int status = 0;
    {
        const SideWork side(meanwhile);
        status = awaitEncoder(child, errPipe[0], outcome, progressPipe[0], relay);
    }
    ::close(errPipe[0]);
    g_child = -1;
    // It ends with 0 after failing to write the end of a result on a full disk.
    if (status == 0 && outcome.writingFailed()) status = 1;
    if (status != 0) {
        if (writtenSince(before, stateOf(output))) ::unlink(output.c_str());
        outcome.encoderFailed(status, g_signal != 0);
    }
    return status;
}

// What a reason may name about the call.
qv::adapter::CallFacts factsOf(const qv::adapter::Call& call,
                               const qv::adapter::SourceContents& source) {
    qv::adapter::CallFacts f;
    f.destination = call.output;
    f.container = call.ext;
    f.videoEncoder = call.noVideo ? "" : call.videoCodec;
    f.audioEncoder = call.noAudio ? "" : call.audioCodec;
    f.videoCodec = source.pictureCodec;
    f.audioCodec = source.soundCodec;
    f.size = call.size;
    f.frameRate = call.frameRate;
    f.sampleRate = call.sampleRate;
    f.channels = call.channels;
    return f;
}

// Looks at a finished result before the call says it is done. One that fails the look
// goes (the caller puts back what was there before), and the report says what was wrong.
int lookAtResult(const std::string& output, const qv::adapter::Expectation& expected,
                 Outcome& outcome) {
    const qv::adapter::CheckResult r = qv::adapter::checkResult(output, expected, g_signal);
    if (r.stopped) {
        outcome.refuse(qv::adapter::kStoppedReason);
        return 128 + g_signal;
    }
    if (!r.checked || r.good) return 0;
    for (const std::string& m : r.messages) outcome.logOnly(m);
    ::unlink(output.c_str());
    outcome.refuse(qv::adapter::failedCheckReason(r.fault, r.seconds, r.wanted));
    return kRefused;
}

// A file of this call's own, removed when the call ends.
struct TemporaryFile {
    std::string path;
    explicit TemporaryFile(std::string p) : path(std::move(p)) {}
    ~TemporaryFile() {
        if (!path.empty()) ::unlink(path.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
};

// The source's AMR frames in a file of their own: the AMR muxer writes a packed sample's
// frames one after another, and its demuxer reads them back one a packet. Empty when that
// cannot be done; the call then reads the source as it is.
std::string unpackSound(const std::string& encoder, const std::vector<std::string>& translated,
                        Outcome& outcome) {
    const auto input = std::find(translated.begin(), translated.end(), "-i");
    const std::string folder = privateCacheFolder("quorvane-sources");
    if (input == translated.end() || input + 1 == translated.end() || folder.empty()) return {};
    const std::string raw = folder + "/.qv-sound-" + std::to_string(::getpid()) + ".amr";
    const int status = runEncoder(
        encoder, {"-i", *(input + 1), "-map", "0:a:0", "-c:a", "copy", "-f", "amr", "-y", raw}, raw,
        outcome);
    if (status == 0) return raw;
    ::unlink(raw.c_str());
    outcome.withdrawReport();
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    // Taken before anything opens a file (which could get the number the variable names),
    // and so that nothing this call starts inherits it.
    const int progressChannel = qv::adapter::takeProgressChannel();
    std::vector<std::string> args(argv + 1, argv + argc);
    // For the scripts that measure what the encoder can do; the program never asks for it.
    if (args.size() == 1 && args[0] == "--codec-table") {
        const std::string table = qv::adapter::codecTableText();
        return std::fwrite(table.data(), 1, table.size(), stdout) == table.size() ? 0 : 1;
    }

    // The program that started us may die at any moment; then so do we (and the encoder
    // with us). One that died before we got here is seen at once.
    const pid_t parent = ::getppid();
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (parent == 1 || ::getppid() != parent) return 128 + SIGTERM;
    struct sigaction stop {};
    stop.sa_handler = onStopSignal;
    sigemptyset(&stop.sa_mask);
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &stop, nullptr);
    ::signal(SIGPIPE, SIG_IGN);

    Outcome outcome(args);

    std::string self = realPath("/proc/self/exe");
    if (self.empty()) self = realPath(argv[0]);
    const std::string encoder = findRealEncoder(self);
    if (encoder.empty()) {
        outcome.refuse(
            "インストールされた FFmpeg が見つかりません (PATH に他の ffmpeg がありません)");
        return 127;
    }

    std::string passLog, folder;
    const int pass = qv::adapter::passNumberOf(args);
    const std::string output = qv::adapter::outputPathOf(args);
    if (pass != 0 && !output.empty()) {
        const std::string base = privateBase();
        if (base.empty()) {
            outcome.refuse("2パスの統計を置く自分専用のフォルダを用意できません");
            return kRefused;
        }
        folder = qv::adapter::passLogFolder(base, ::getuid(), absolute(output));
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
            outcome.refuse("2パスの統計フォルダを作れません: " + folder, std::strerror(errno));
            return kRefused;
        }
        // Inside a private base, a folder of ours with looser bits is ours alone all the same.
        if (!qv::ensurePrivateFolder(folder)) {
            outcome.refuse("2パスの統計フォルダがこのユーザー専用ではありません: " + folder);
            return kRefused;
        }
        if (pass == 1) clearFolder(folder, false);
        passLog = folder + "/stats";
    }

    const qv::adapter::Call call = qv::adapter::parseCall(args);
    // A conversion with nothing to convert is refused before anything is written: first
    // by what the line asks, then once more by what the encoder is handed (the range a
    // pass 2 takes over from its pass 1).
    const bool conversion = !call.thumbnail && !call.input.empty() && !call.output.empty();
    qv::adapter::SourceContents contents;
    if (conversion)
        contents = qv::adapter::readContents(call.input, privateCacheFolder("quorvane-sources"));
    outcome.setFacts(factsOf(call, contents));
    auto nothingToConvert = [&](const qv::adapter::Asked& asked) {
        const std::string why =
            conversion ? qv::adapter::nothingToConvert(asked, contents) : std::string();
        if (why.empty()) return false;
        outcome.refuse(why);
        if (!folder.empty()) clearFolder(folder, true);
        return true;
    };
    if (nothingToConvert(qv::adapter::askedOf(args))) return kRefused;

    qv::adapter::Source source;
    if (qv::adapter::readsSource(call)) {
        std::string why;
        source = qv::adapter::probeSource(call.input, privateCacheFolder("quorvane-sources"), &why);
    }
    const qv::adapter::PassNotes notes =
        pass == 2 && !folder.empty() ? readNotes(folder) : qv::adapter::PassNotes{};
    const qv::adapter::Plan plan = qv::adapter::planCall(call, source, notes);
    if (!plan.refusal.empty()) {
        outcome.refuse(plan.refusal);
        if (!folder.empty()) clearFolder(folder, true);
        return kRefused;
    }
    if (pass == 1 && !folder.empty() && plan.notesToKeep.present)
        writeNotes(folder, plan.notesToKeep);
    std::vector<std::string> translated =
        qv::adapter::applyPlan(qv::adapter::translateArguments(args, passLog), plan);
    const qv::adapter::Asked asked = qv::adapter::askedOf(translated);
    if (nothingToConvert(asked)) return kRefused;

    const char* seen = std::getenv(kSeenVariable);
    const std::string seenNow = seen && *seen ? std::string(seen) + ":" + self : self;
    ::setenv(kSeenVariable, seenNow.c_str(), 1);
    if (pass == 2 && !folder.empty()) cleanUpAfter(::getpid(), folder);

    if (call.thumbnail) {
        const std::string notesFolder = privateCacheFolder("quorvane-sources");
        std::string why;
        switch (qv::adapter::makePicture(args, call, notesFolder, g_signal, &why)) {
            case qv::adapter::PictureOutcome::Made:
                return 0;
            case qv::adapter::PictureOutcome::Refused:
                outcome.refuse(why);
                return kRefused;
            case qv::adapter::PictureOutcome::Stopped:
                return 128 + g_signal;
            case qv::adapter::PictureOutcome::NotHere:
                break;
        }
        // The encoder, then: the picture at the usual moment first; only when there is
        // none does the source decide. Either way the source's notes are then left for the
        // conversion calls that follow.
        const FileState before = stateOf(output);
        const int first = runEncoder(encoder, translated, output, outcome);
        if ((first == 0 && writtenSince(before, stateOf(output))) || g_signal) {
            if (first == 0) qv::adapter::probeSource(call.input, notesFolder, nullptr);
            return first;
        }
        const qv::adapter::Source s = qv::adapter::probeSource(call.input, notesFolder, nullptr);
        const qv::adapter::Plan again = qv::adapter::planCall(call, s, {});
        if (!again.refusal.empty()) {
            outcome.refuse(again.refusal);
            return kRefused;
        }
        if (again.extra.empty()) return first;
        return runEncoder(encoder,
                          qv::adapter::applyPlan(qv::adapter::translateArguments(args), again),
                          output, outcome);
    }

    // Packed AMR sound is taken out of the source into its own frames first.
    const TemporaryFile rawSound(plan.unpackSound ? unpackSound(encoder, translated, outcome)
                                                  : std::string());
    if (!rawSound.path.empty())
        translated = qv::adapter::withUnpackedSound(translated, rawSound.path);

    const FileState before = stateOf(output);
    // Pass 1 only gathers statistics; pass 2 writes the result.
    const bool look = conversion && pass != 1;
    const qv::adapter::Expectation expected = qv::adapter::expectationOf(asked, contents);
    ProgressRelay relay(progressChannel,
                        qv::adapter::expectedSeconds(expected.length, expected.atMost,
                                                     source.duration, asked.start, asked.length));
    // The look at the result gets ready beside the encoder, in its idle moments.
    int status = runEncoder(
        encoder, translated, output, outcome,
        [&] {
            if (!look) return;
            const std::string sound =
                plan.audioEncoder.empty() ? call.audioCodec : plan.audioEncoder;
            qv::adapter::prepareToLook(call.noVideo ? "" : call.videoCodec,
                                       call.noAudio ? "" : sound, contents);
        },
        &relay);
    // A stream copy the encoder could not do (or did into a result that does not read back)
    // for one stream: that stream is encoded instead, once.
    const bool videoCopied = !call.noVideo && call.videoCodec == "copy" && source.hasVideo;
    const bool audioCopied = !call.noAudio && call.audioCodec == "copy" && source.hasAudio;
    const bool copies = videoCopied || audioCopied;
    const bool unreadable = status == 0 && pass == 0 &&
                            qv::adapter::copyMayNotReadBack(call, source) &&
                            !qv::adapter::resultReadsBack(output, videoCopied, audioCopied);
    if ((status != 0 || unreadable) && !g_signal && copies) {
        const qv::adapter::StreamFallback fallback =
            qv::adapter::copyFallback(call, source, outcome.errorText(), unreadable);
        const std::vector<std::string> again = qv::adapter::withStreamEncoded(args, fallback);
        const qv::adapter::Plan replan =
            qv::adapter::planCall(qv::adapter::parseCall(again), source, notes);
        if (!fallback.codec.empty() && replan.refusal.empty()) {
            outcome.note(fallback.note);
            if (unreadable) ::unlink(output.c_str());
            std::vector<std::string> line =
                qv::adapter::applyPlan(qv::adapter::translateArguments(again), replan);
            if (replan.unpackSound && !rawSound.path.empty())
                line = qv::adapter::withUnpackedSound(line, rawSound.path);
            status = runEncoder(encoder, line, output, outcome, {}, &relay);
            if (status == 0) outcome.withdrawReport();
        } else if (unreadable) {
            ::unlink(output.c_str());
            outcome.refuse("コピーした結果が読めません");
            status = kRefused;
        }
    }
    if (status == 0 && look && writtenSince(before, stateOf(output)))
        status = lookAtResult(output, qv::adapter::expectationOf(asked, contents), outcome);
    if (status != 0) {
        if (!folder.empty()) clearFolder(folder, true);
    } else if (pass == 2 && !folder.empty()) {
        clearFolder(folder, true);
    }
    return status;
}
