#pragma once
// How a batch behaves towards the desktop: the machine stays awake while it runs,
// and a long batch that ends unseen says so in a desktop notification.
//
// Both talk to the desktop over D-Bus and are skipped without a word when there is
// no bus, no such service or the call fails. Neither waits for an answer on the
// event loop's thread: calls are sent asynchronously and time out after a second.
// The bus addresses are Qt's usual ones, so DBUS_SYSTEM_BUS_ADDRESS and
// DBUS_SESSION_BUS_ADDRESS point them elsewhere (tests use private buses).
#include <chrono>
#include <memory>

namespace qv::ui {

// Keeps the machine from sleeping, and from suspending when idle, for as long as it
// lives: construct it when a batch starts, destroy it when the batch ends.
//
// It asks logind on the system bus for a blocking "sleep:idle" lock; logind
// answers with a file descriptor that holds the lock until it is closed. The
// answer arrives through the event loop; the destructor closes the descriptor,
// and one that arrives after the destructor ran is closed on arrival.
class SleepInhibitor {
  public:
    SleepInhibitor();
    ~SleepInhibitor();
    SleepInhibitor(const SleepInhibitor&) = delete;
    SleepInhibitor& operator=(const SleepInhibitor&) = delete;

    // True once logind has granted the lock.
    bool isHeld() const;

  private:
    struct Lock;
    std::shared_ptr<Lock> lock_;
};

// A batch must have taken longer than this for its end to be announced.
inline constexpr std::chrono::seconds kBatchEndNoticeAfter{30};

// Call once when a batch ends. When it took longer than kBatchEndNoticeAfter and
// the user was not looking at the program (windowActive false: the main window,
// or the progress window in front of it, did not have the focus), sends one
// desktop notification over the session bus saying how many files were converted
// and how many failed. True when the notification was handed to the bus; false
// when none was due or there is no session bus.
bool notifyBatchEnd(int converted, int failed, std::chrono::milliseconds elapsed,
                    bool windowActive);

}  // namespace qv::ui
