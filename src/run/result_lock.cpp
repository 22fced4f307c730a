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
    for (int attempt = 0; attempt < 5; ++attempt) {
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
            return Outcome::Taken;
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
        // Only the holder of the takeover file may remove a stale lock, so that of several
        // takers at once exactly one wins, and a lock made meanwhile is never removed.
        const std::string takeover = path_ + ".takeover";
        const int baton = ::open(takeover.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (baton < 0) {
            if (errno != EEXIST) {
                why_ = std::strerror(errno);
                return Outcome::Error;
            }
            std::string taker;
            Holder takerHolder;
            if (readWholeFile(takeover, taker, 4096) && parse(taker, takerHolder) &&
                stale(takerHolder)) {
                // A taker ended between its two steps: only the user can tell it is safe.
                why_ = takerHolder.host + " " + std::to_string(takerHolder.pid);
                path_ = takeover;
                return Outcome::Stuck;
            }
            ::usleep(10000);  // another taker is at work: its lock is there in a moment
            continue;
        }
        const bool noted = ::write(baton, content_.data(), content_.size()) ==
                           static_cast<ssize_t>(content_.size());
        ::close(baton);
        if (!noted) {
            why_ = std::strerror(errno);
            ::unlink(takeover.c_str());
            return Outcome::Error;
        }
        std::string now;
        const bool same = readWholeFile(path_, now, 4096) && now == content;
        if (same) ::unlink(path_.c_str());
        const int ours =
            same ? ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644) : -1;
        const bool mine = ours >= 0 &&
                          ::write(ours, content_.data(), content_.size()) ==
                              static_cast<ssize_t>(content_.size()) &&
                          ::fsync(ours) == 0;
        if (ours >= 0) ::close(ours);
        if (ours >= 0 && !mine) ::unlink(path_.c_str());
        ::unlink(takeover.c_str());
        if (mine) {
            held_ = true;
            return Outcome::TakenOver;
        }
        // Someone else's lock stands now (or ours could not be written): look at it again.
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
