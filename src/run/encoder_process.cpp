#include "run/encoder_process.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "base/path.h"
#include "base/process.h"
#include "base/search_path.h"

extern char** environ;

namespace qv {

namespace {

// Live processes by id, for the cancel button that only knows the id. Made before main, so
// that they are still there for work that exit() runs (stopping the encoder when the
// display is lost).
std::mutex g_registryMutex;
std::map<int, EncoderProcess*> g_registry;
std::mutex& registryMutex() { return g_registryMutex; }
std::map<int, EncoderProcess*>& registry() { return g_registry; }

// Closes every descriptor from `first` on in the child, whatever its close-on-exec flag.
void closeInheritedDescriptors(posix_spawn_file_actions_t* actions, int first) {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    posix_spawn_file_actions_addclosefrom_np(actions, first);
#else
    std::vector<int> fds;
    if (DIR* d = ::opendir("/dev/fd")) {
        while (dirent* e = ::readdir(d)) {
            char* end = nullptr;
            long fd = std::strtol(e->d_name, &end, 10);
            if (end != e->d_name && *end == '\0' && fd >= first)
                fds.push_back(static_cast<int>(fd));
        }
        ::closedir(d);
    }
    for (int fd : fds) {
        int flags = ::fcntl(fd, F_GETFD);
        if (flags >= 0 && !(flags & FD_CLOEXEC)) posix_spawn_file_actions_addclose(actions, fd);
    }
#endif
}

}  // namespace

std::string resolveEncoder(const std::string& programFolder) {
    const std::string name = "ffmpeg";
    if (!programFolder.empty()) {
        std::string local = joinPath(programFolder, name);
        if (isExecutableFile(local)) return local;
    }
    return findOnSearchPath(name, [](const std::string&) { return true; });
}

EncoderProcess::~EncoderProcess() {
    {
        std::lock_guard<std::mutex> lock(registryMutex());
        auto it = registry().find(pid_);
        if (it != registry().end() && it->second == this) registry().erase(it);
    }
    if (pidfd_ >= 0) {
        ::close(pidfd_);
        pidfd_ = -1;  // reap() below must not close the number again
    }
    if (!ended_ && !reap(false)) {
        // Left running: someone must still collect it when it ends, without making us wait.
        int pid = pid_;
        try {
            std::thread([pid] {
                int status = 0;
                while (::waitpid(pid, &status, 0) == -1 && errno == EINTR) {
                }
            }).detach();
        } catch (...) {
        }
    }
}

bool EncoderProcess::start(const std::string& exe, const std::vector<std::string>& args,
                           std::string* error, const EnvironmentChanges& environment,
                           int handOver) {
    auto fail = [&](const std::string& message) {
        if (error) *error = message;
        return false;
    };
    if (!ended_ && !reap(false)) return fail("a process is still running: " + std::to_string(pid_));
    if (exe.empty()) return fail("no encoder to start");
    struct stat st {};
    if (::stat(exe.c_str(), &st) != 0) return fail(exe + ": " + std::strerror(errno));
    if (!S_ISREG(st.st_mode) || ::access(exe.c_str(), X_OK) != 0)
        return fail(exe + ": not an executable file");

    std::vector<char*> argv;
    argv.reserve(args.size() + 2);
    argv.push_back(const_cast<char*>(exe.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    std::vector<std::string> envStrings;
    std::vector<char*> envp;
    if (!environment.empty()) {
        for (char** e = environ; e && *e; ++e) {
            const std::string entry = *e;
            const std::string name = entry.substr(0, entry.find('='));
            bool changed = false;
            for (const auto& change : environment) changed = changed || change.first == name;
            if (!changed) envStrings.push_back(entry);
        }
        for (const auto& change : environment)
            if (change.second) envStrings.push_back(change.first + "=" + *change.second);
        for (std::string& entry : envStrings) envp.push_back(entry.data());
        envp.push_back(nullptr);
    }

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    // The handed descriptor is copied into its place before the rest go; a copy of its own
    // above that place first, so that the copy is never a no-op that keeps close-on-exec.
    int handed = -1;
    if (handOver >= 0) {
        handed = ::fcntl(handOver, F_DUPFD_CLOEXEC, kHandedDescriptor + 1);
        if (handed < 0) {
            posix_spawn_file_actions_destroy(&actions);
            posix_spawnattr_destroy(&attr);
            return fail(std::string("cannot hand a descriptor over: ") + std::strerror(errno));
        }
        posix_spawn_file_actions_adddup2(&actions, handed, kHandedDescriptor);
    }
    closeInheritedDescriptors(&actions, handed >= 0 ? kHandedDescriptor + 1 : 3);

    // Own process group, so a stop reaches whatever the encoder started; signals as a
    // fresh process has them, whatever the caller ignores or blocks.
    sigset_t defaults, mask;
    sigfillset(&defaults);
    sigdelset(&defaults, SIGKILL);
    sigdelset(&defaults, SIGSTOP);
    sigemptyset(&mask);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setsigmask(&attr, &mask);
    posix_spawnattr_setflags(
        &attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    pid_t pid = -1;
    int rc = ::posix_spawn(&pid, exe.c_str(), &actions, &attr, argv.data(),
                           environment.empty() ? environ : envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (handed >= 0) ::close(handed);
    if (rc != 0) return fail(exe + ": " + std::strerror(rc));

    if (pidfd_ >= 0) ::close(pidfd_);
    pidfd_ = -1;
    pid_ = pid;
    ended_ = false;
    exitCode_ = -1;
    termSignal_ = 0;
    pidfd_ = openPidfd(pid);
    {
        std::lock_guard<std::mutex> lock(registryMutex());
        registry()[pid_] = this;
    }
    return true;
}

bool EncoderProcess::reap(bool block) {
    if (ended_) return true;
    int status = 0;
    pid_t r;
    do {
        r = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
    } while (r == -1 && errno == EINTR);
    if (r == 0) return false;
    ended_ = true;
    {
        // Its id may be reused from now on: stopping by id must not reach anything else.
        std::lock_guard<std::mutex> lock(registryMutex());
        auto it = registry().find(pid_);
        if (it != registry().end() && it->second == this) registry().erase(it);
    }
    if (r == pid_ && WIFEXITED(status)) {
        exitCode_ = WEXITSTATUS(status);
    } else {
        // Ended by a signal, or collected by someone else (ECHILD): no exit code to report.
        exitCode_ = -1;
        termSignal_ = (r == pid_ && WIFSIGNALED(status)) ? WTERMSIG(status) : 0;
    }
    if (pidfd_ >= 0) {
        ::close(pidfd_);
        pidfd_ = -1;
    }
    return true;
}

bool EncoderProcess::waitFor(int timeoutMs) {
    if (reap(false)) return true;
    using Clock = std::chrono::steady_clock;
    const bool forever = timeoutMs < 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(forever ? 0 : timeoutMs);
    for (;;) {
        int left = -1;
        if (!forever) {
            auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                          .count();
            if (ms <= 0) return reap(false);
            left = static_cast<int>(ms);
        }
        if (pidfd_ >= 0) {
            pollfd p{pidfd_, POLLIN, 0};
            int r = ::poll(&p, 1, left);
            if (r < 0 && errno != EINTR) {
                // Should not happen; fall back to polling the status.
                ::close(pidfd_);
                pidfd_ = -1;
            }
        } else {
            int step = (left < 0 || left > 5) ? 5 : left;
            ::usleep(static_cast<useconds_t>(step) * 1000);
        }
        if (reap(false)) return true;
    }
}

void EncoderProcess::waitInSlices(const std::function<void()>& between, int sliceMs) {
    if (sliceMs <= 0) sliceMs = kWaitSliceMs;
    while (!waitFor(sliceMs)) {
        if (between) between();
    }
}

bool EncoderProcess::stop() {
    // An ended child not yet collected is a zombie that kill() still "succeeds" on:
    // collect first, so a pass that completed is never reported as stopped.
    if (reap(false)) return false;
    if (::kill(-pid_, SIGKILL) != 0 && ::kill(pid_, SIGKILL) != 0) return false;
    reap(true);
    // It may have exited by itself between the check and the signal.
    return termSignal_ == SIGKILL;
}

bool stopProcessById(int pid) {
    EncoderProcess* p = nullptr;
    {
        std::lock_guard<std::mutex> lock(registryMutex());
        auto it = registry().find(pid);
        if (it != registry().end()) p = it->second;
    }
    return p && p->stop();
}

}  // namespace qv
