#pragma once
// Root reads every folder whatever its mode. While one of these lives, the calling
// thread's file access is checked as an ordinary user's (nobody), so a folder with
// mode 000 is unreadable to it even when the tests run as root. The folders on the
// way must be open to others (0755) for anything to be reached at all.
#include <sys/fsuid.h>
#include <unistd.h>

namespace qvtest {

class Unprivileged {
  public:
    Unprivileged() : wasRoot_(geteuid() == 0) {
        if (!wasRoot_) return;
        setfsgid(kNobody);
        setfsuid(kNobody);
    }
    ~Unprivileged() {
        if (!wasRoot_) return;
        setfsuid(0);
        setfsgid(0);
    }
    Unprivileged(const Unprivileged&) = delete;
    Unprivileged& operator=(const Unprivileged&) = delete;

  private:
    static constexpr unsigned kNobody = 65534;
    bool wasRoot_;
};

}  // namespace qvtest
