#include "run/result_lock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>
#include <sstream>

#include "base/file_io.h"
#include "base/path.h"

namespace qv {

namespace {

// The start time of a process (clock ticks since boot), so that a pid used again by
// another process does not pass for the lock's owner; empty when there is no such process.
std::string processStart(long pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return {};
    const auto close = line.rfind(')');
    if (close == std::string::npos) return {};
    std::istringstream fields(line.substr(close + 2));
    std::string field;
    // Field 22 of the line; the text after the name starts at field 3.
    for (int i = 3; i <= 22 && fields >> field; ++i) {
    }
    return field;
}

std::string ownContent() {
    const long pid = static_cast<long>(::getpid());
    return lockHostName() + " " + std::to_string(pid) + " " + processStart(pid) + "\n";
}

struct Holder {
    std::string host, start;
    long pid = 0;
};

bool parse(const std::string& content, Holder& h) {
    std::istringstream in(content);
    return static_cast<bool>(in >> h.host >> h.pid) && (in >> h.start, true);
}

// True when the holder is a process of this host that has ended.
bool stale(const Holder& h) {
    if (h.host != lockHostName() || h.pid <= 0) return false;
    if (::kill(static_cast<pid_t>(h.pid), 0) != 0 && errno == ESRCH) return true;
    const std::string start = processStart(h.pid);
    return !h.start.empty() && !start.empty() && start != h.start;
}

}  // namespace

std::string resultLockPath(const std::string& result) {
    return folderOf(result) + "." + fileNameOf(result) + ".lock";
}

std::string lockHostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
    return name;
}

ResultLock::Outcome ResultLock::take(const std::string& result) {
    release();
    path_ = resultLockPath(result);
    content_ = ownContent();
    bool tookOver = false;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            const bool written = ::write(fd, content_.data(), content_.size()) ==
                                 static_cast<ssize_t>(content_.size());
            const bool synced = ::fsync(fd) == 0;
            ::close(fd);
            if (!written || !synced) {
                why_ = std::strerror(errno);
                ::unlink(path_.c_str());
                return Outcome::Error;
            }
            held_ = true;
            return tookOver ? Outcome::TakenOver : Outcome::Taken;
        }
        if (errno != EEXIST) {
            why_ = std::strerror(errno);
            return Outcome::Error;
        }
        std::string content;
        if (!readWholeFile(path_, content, 4096)) continue;  // gone meanwhile: try again
        Holder holder;
        const bool known = parse(content, holder);
        why_ = known ? holder.host + " " + std::to_string(holder.pid) : content;
        if (!known || !stale(holder))
            return known && holder.host != lockHostName() ? Outcome::HeldElsewhere
                                                          : Outcome::HeldHere;
        // Moved aside under a name of our own first: of several takers only one moves it.
        const std::string aside = path_ + ".stale." + std::to_string(::getpid());
        if (::rename(path_.c_str(), aside.c_str()) != 0) continue;
        std::string moved;
        if (readWholeFile(aside, moved, 4096) && moved != content) {
            // A fresh lock came in between: it goes back, unless another came meanwhile.
            static_cast<void>(::link(aside.c_str(), path_.c_str()));
            ::unlink(aside.c_str());
            return Outcome::HeldHere;
        }
        ::unlink(aside.c_str());
        tookOver = true;
    }
    why_ = std::strerror(EEXIST);
    return Outcome::HeldHere;
}

void ResultLock::release() {
    if (!held_) return;
    held_ = false;
    std::string content;
    if (readWholeFile(path_, content, 4096) && content == content_) ::unlink(path_.c_str());
}

}  // namespace qv
