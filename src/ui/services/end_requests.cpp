#include "ui/services/end_requests.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <cstdlib>
#include <utility>
#include <vector>

#include "ui/services/dialogs.h"

namespace qv::ui {

namespace {

int g_signalPipe[2] = {-1, -1};

// Async-signal-safe: one byte into the pipe, errno as it was.
void onEndSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

struct ForcedExitWork {
    int id;
    std::function<void()> work;
};

struct ForcedExitList {
    std::vector<ForcedExitWork> work;
    int nextId = 1;
};

ForcedExitList& forcedExitList() {
    static ForcedExitList* list = new ForcedExitList;  // never destroyed: exit() may need it
    return *list;
}

void runForcedExitWork() {
    // Taken out first: whatever happens, no work runs twice.
    std::vector<ForcedExitWork> work;
    work.swap(forcedExitList().work);
    if (work.empty()) return;
    setUnattended(true);
    for (auto it = work.rbegin(); it != work.rend(); ++it) {
        try {
            it->work();
        } catch (...) {
            // The process is ending: what is left of the work still gets its turn.
        }
    }
}

}  // namespace

EndRequests& EndRequests::instance() {
    static EndRequests* requests = new EndRequests;  // lives as long as the process
    return *requests;
}

void EndRequests::watchSignals() {
    if (notifier_ || ::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(g_signalPipe[0], bytes, sizeof bytes) > 0) {
        }
        request();
    });
    struct sigaction action {};
    action.sa_handler = onEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int sig : {SIGTERM, SIGHUP, SIGINT}) {
        struct sigaction old {};
        if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        ::sigaction(sig, &action, nullptr);
    }
}

void EndRequests::request() {
    if (ending_) return;  // one end is enough
    ending_ = true;
    setUnattended(true);
    closeOpenBoxes();
    emit endRequested();
}

AtForcedExit::AtForcedExit(std::function<void()> work) {
    ForcedExitList& list = forcedExitList();
    id_ = list.nextId++;
    list.work.push_back({id_, std::move(work)});
    // exit() destroys statics in the reverse order of their making, interleaved with what
    // atexit() registered: registered anew with each work, the first call comes after
    // everything that was there when the newest work was. Later calls find nothing to do.
    std::atexit(runForcedExitWork);
}

AtForcedExit::~AtForcedExit() {
    std::vector<ForcedExitWork>& work = forcedExitList().work;
    for (auto it = work.begin(); it != work.end(); ++it)
        if (it->id == id_) {
            work.erase(it);
            break;
        }
}

}  // namespace qv::ui
