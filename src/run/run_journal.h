#pragma once
// What a batch run has set aside, kept on the disk so that a program that is killed, or
// loses its power, leaves nothing of the user's out of sight: the next start reads the
// record of every program that is no longer running and puts each earlier result back.
#include <sys/types.h>

#include <set>
#include <string>
#include <vector>

namespace qv {

// One file per running program, "run-<pid>-<start time>.journal" in the state folder, held
// locked by its program and there only while a job of it has something set aside. One line
// per record, tab-separated, each appended and flushed to the disk before the step it
// announces:
//   set-aside <job> <result> <hidden name> <device> <inode>   before the result is renamed
//   finished  <job>                                           the new result stands, stamped
//   ended     <job>                                           the hidden copy is gone
// A reader passes over lines of kinds it does not know, so that later records (a job
// waiting, running, failed) can join without confusing an older program.
class RunJournal {
  public:
    // `folder`: where the journals live; empty keeps none (every record then fails).
    explicit RunJournal(std::string folder);
    ~RunJournal();
    RunJournal(const RunJournal&) = delete;
    RunJournal& operator=(const RunJournal&) = delete;

    // Before the regular file `result` (device and inode as given) is renamed to `hidden`.
    // On the disk when it returns true; false, and why, when it could not be made so.
    bool setAside(int job, const std::string& result, const std::string& hidden, dev_t device,
                  ino_t inode, std::string* error = nullptr);
    // The job's new result is complete and stamped: its hidden copy is stale from here on.
    void finished(int job);
    // The job's hidden copy is gone (put back or deleted), or was named to the user.
    void ended(int job);

    // The journal file while a job is open; empty otherwise.
    const std::string& path() const { return path_; }

  private:
    bool append(const std::string& line, std::string* error);
    void close();

    std::string folder_, path_;
    int fd_ = -1;
    std::set<int> open_;  // jobs set aside and not ended
};

// Why a hidden copy could not be dealt with; `error` carries the system's error number.
enum class RestoreProblem {
    HiddenReplaced,  // the hidden name holds another file than the one set aside
    NameTaken,       // the result's name holds a folder, a link or another special file
    CannotRename,    // the hidden copy could not be renamed back
    CannotDelete,    // a finished job's stale copy could not be deleted
};

struct UnrestoredResult {
    std::string result, hidden;
    RestoreProblem problem;
    int error = 0;
};

struct Recovery {
    std::vector<std::string> restored;   // results put back, bytes and date as they were
    std::vector<UnrestoredResult> kept;  // still hidden; their journals keep them
};

// Puts back what programs that are no longer running left set aside: each hidden copy
// returns to its name, replacing the partial result there, unless its job had finished (its
// result is complete: the stale copy is deleted). A live program's journal is never touched.
// What cannot be dealt with stays in its journal, to be tried again at the next start.
Recovery recoverAbandonedResults(const std::string& folder);

// A new result for `result` stands: the hidden copies of it that ended programs left in their
// journals (kept because they could not be put back) are stale, and are deleted with their
// entries. Copies that a running program holds, and files no journal knows of, stay.
void dropStaleCopies(const std::string& folder, const std::string& result);

// The hidden name a result is set aside under: `n` 1 gives ".NAME.previous", later ones
// ".NAME.previous-n".
std::string hiddenNameFor(const std::string& result, int n);
inline constexpr int kHiddenNameTries = 100;

}  // namespace qv
