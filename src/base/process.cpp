#include "base/process.h"

#ifdef __linux__
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace qv {

int openPidfd(int pid) {
#if defined(__linux__) && defined(SYS_pidfd_open)
    // pidfd_open descriptors are close-on-exec by definition.
    const long fd = ::syscall(SYS_pidfd_open, pid, 0);
    return fd >= 0 ? static_cast<int>(fd) : -1;
#else
    (void)pid;
    return -1;
#endif
}

}  // namespace qv
