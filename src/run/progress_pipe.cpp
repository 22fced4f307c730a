#include "run/progress_pipe.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

namespace qv {

bool ProgressPipe::open() {
    close();
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return false;
    // Only the reading side waits for nothing; the child's side is the child's business.
    ::fcntl(fds[0], F_SETFL, ::fcntl(fds[0], F_GETFL) | O_NONBLOCK);
    read_ = fds[0];
    write_ = fds[1];
    reader_ = {};
    return true;
}

void ProgressPipe::dropWriteEnd() {
    if (write_ >= 0) ::close(write_);
    write_ = -1;
}

std::vector<ProgressReport> ProgressPipe::read() {
    std::vector<ProgressReport> reports;
    // A bounded drain: a child that writes without end still lets the loop go on.
    for (int round = 0; read_ >= 0 && round < 16; ++round) {
        char buf[4096];
        const ssize_t got = ::read(read_, buf, sizeof buf);
        if (got > 0) {
            for (const ProgressReport& r :
                 reader_.feed(std::string_view(buf, static_cast<std::size_t>(got))))
                reports.push_back(r);
            continue;
        }
        if (got < 0 && (errno == EINTR)) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
        close();  // the end of the pipe, or a pipe that no longer works
    }
    return reports;
}

void ProgressPipe::close() {
    if (read_ >= 0) ::close(read_);
    read_ = -1;
    dropWriteEnd();
}

}  // namespace qv
