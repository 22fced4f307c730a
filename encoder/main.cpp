// The program folder's `ffmpeg`: translates the program's command line for the installed
// encoder and becomes that encoder (exec), so the process the batch run waits for and
// stops is the encoder itself.
//
// Two-pass statistics live in a folder of their own per result path (under
// $XDG_RUNTIME_DIR, else /tmp), never in the caller's working folder. Since exec leaves
// nobody behind to clean up, pass 1 first removes whatever an earlier, interrupted job left
// there, and pass 2 leaves a small watcher in a session of its own (so stopping the
// encoder's process group does not reach it): it waits for the encoder to end, however it
// ends, and then removes the folder.
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/process.h"
#include "base/search_path.h"
#include "translate.h"

namespace {

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

bool ownedFolder(const std::string& p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid();
}

// Removes the statistics files in folder; the folder itself too when asked.
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

std::string statsFolderFor(const std::string& output) {
    std::string abs = output;
    if (abs.empty() || abs[0] != '/') {
        char cwd[PATH_MAX];
        if (::getcwd(cwd, sizeof cwd)) abs = std::string(cwd) + "/" + output;
    }
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string base = runtime && *runtime && ownedFolder(runtime) ? runtime : "/tmp";
    return qv::adapter::passLogFolder(base, ::getuid(), abs);
}

// Leaves a process behind that removes folder once the process `pid` (this one, soon the
// encoder) has ended.
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

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);

    std::string self = realPath("/proc/self/exe");
    if (self.empty()) self = realPath(argv[0]);
    const std::string encoder = findRealEncoder(self);
    if (encoder.empty()) {
        std::fprintf(stderr,
                     "ffmpeg: the installed FFmpeg encoder is missing (no other ffmpeg on PATH)\n");
        return 127;
    }

    std::string passLog, folder;
    const int pass = qv::adapter::passNumberOf(args);
    const std::string output = qv::adapter::outputPathOf(args);
    if (pass != 0 && !output.empty()) {
        folder = statsFolderFor(output);
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
            std::fprintf(stderr, "ffmpeg: cannot create %s: %s\n", folder.c_str(),
                         std::strerror(errno));
            return 1;
        }
        if (!ownedFolder(folder)) {
            std::fprintf(stderr, "ffmpeg: %s is not a folder of this user\n", folder.c_str());
            return 1;
        }
        if (pass == 1) clearFolder(folder, false);
        passLog = folder + "/stats";
    }

    std::vector<std::string> translated = qv::adapter::translateArguments(args, passLog);
    std::vector<std::string> full = {encoder,    "-hide_banner", "-nostdin",
                                     "-nostats", "-loglevel",    "error"};
    full.insert(full.end(), translated.begin(), translated.end());
    std::vector<char*> cargs;
    for (auto& a : full) cargs.push_back(a.data());
    cargs.push_back(nullptr);

    const char* seen = std::getenv(kSeenVariable);
    const std::string seenNow = seen && *seen ? std::string(seen) + ":" + self : self;
    ::setenv(kSeenVariable, seenNow.c_str(), 1);
    if (pass == 2 && !folder.empty()) cleanUpAfter(::getpid(), folder);
    ::execv(encoder.c_str(), cargs.data());
    std::fprintf(stderr, "ffmpeg: cannot start %s: %s\n", encoder.c_str(), std::strerror(errno));
    if (pass == 2 && !folder.empty()) clearFolder(folder, true);
    return 126;
}
