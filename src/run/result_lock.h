#pragma once
// A claim on a result that holds across processes and machines sharing its folder: the
// file ".NAME.lock" beside the result, made with O_CREAT|O_EXCL (atomic on local file
// systems and on NFS v3 and later), holding "host pid start" of its owner. A lock whose
// owner is a process of this host that has ended is stale and taken over; a lock of
// another host is always honoured, since its process cannot be seen from here: the user
// removes it by hand once that host runs nothing.
#include <string>

namespace qv {

// The lock file of a result: ".NAME.lock" in the result's folder.
std::string resultLockPath(const std::string& result);

// This machine's name as the lock records it.
std::string lockHostName();

class ResultLock {
  public:
    enum class Outcome {
        Taken,          // ours now
        TakenOver,      // ours now, after a stale lock of an ended local process
        HeldHere,       // a running process of this host holds it
        HeldElsewhere,  // another host holds it
        Stuck,          // a process of this host ended while taking a stale lock over:
                        // path() is its ".takeover" file, for the user to remove
        Error           // cannot be made (no folder, no permission); why() says
    };

    ResultLock() = default;
    ~ResultLock() { release(); }
    ResultLock(const ResultLock&) = delete;
    ResultLock& operator=(const ResultLock&) = delete;

    Outcome take(const std::string& result);
    // Removes the lock when it is still ours.
    void release();

    const std::string& path() const { return path_; }
    // The holder ("host pid") when held by another, or the system's words on an error.
    const std::string& why() const { return why_; }

  private:
    std::string path_, content_, why_;
    bool held_ = false;
};

}  // namespace qv
