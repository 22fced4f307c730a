#pragma once
// What a batch run has set aside and what it has still to do, kept on the disk so that a
// program that is killed, or loses its power, leaves nothing of the user's out of sight and
// no batch forgotten: the next start reads the record of every program that is no longer
// running, puts each earlier result back and offers the jobs that were left to do.
#include <sys/types.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "settings/conversion_settings.h"

namespace qv {

// How a batch runs its jobs: enough to run the ones left over the same way.
struct BatchRecord {
    ConversionSettings settings;
    bool preview = false;
    int parallel = 1;
};

// One file per running program, "run-<pid>-<start time>.journal" in the state folder, held
// locked by its program: for a whole batch from its start to its end, otherwise only while a
// job has something set aside. One line per record, tab-separated, appended as things happen:
//   batch     <preview 0/1> <at once>                    the batch's start, then
//   setting   <control> <value>                          one per setting control, then
//   waiting   <job> <source>                             one per job; all flushed together
//   running   <job>                                      the job has begun
//   set-aside <job> <result> <hidden name> <device> <inode>   flushed before the rename
//   finished  <job>                                      flushed: the new result stands
//   ended     <job>                                      the hidden copy is gone
//   done / failed / cancelled <job>                      how the job ended
//   batch-ended                                          nothing of the batch is to be run again
// Only set-aside and finished protect a file and wait for the disk; a lost later record
// leaves at worst a job to be offered again. A reader passes over lines of kinds it does not
// know: a program that knows only the set-aside records still puts results back.
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

    // Before the first job: the batch and every job as waiting. From here the journal stays
    // until endBatch(). On the disk when it returns true; false, and why, when it could not be.
    bool beginBatch(const BatchRecord& batch, const std::vector<std::string>& sources,
                    std::string* error = nullptr);
    void running(int job);
    void done(int job);
    void failed(int job);
    void cancelled(int job);
    // The batch ended as its run meant it to (finished, stopped, refused): nothing of it is to
    // be run again. The journal goes unless a hidden copy is still recorded in it. Without
    // this call, the journal of a batch outlives this object.
    void endBatch();

    // The journal file while a job is open; empty otherwise.
    const std::string& path() const { return path_; }

  private:
    // `flush`: on the disk before it returns.
    bool append(const std::string& line, bool flush, std::string* error);
    bool open(const std::string& first, std::string* error);
    void close();

    std::string folder_, path_;
    int fd_ = -1;
    bool batch_ = false;  // a batch is under way: the journal stays between jobs
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

class EndedJournal;

// A batch that a program no longer running left with jobs to do. Its journal stays locked by
// this object, so that no other program starting meanwhile offers the same jobs, and stays on
// the disk until forget(): a program ended before the user has chosen asks again next time.
class AbandonedBatch {
  public:
    explicit AbandonedBatch(std::unique_ptr<EndedJournal> journal);
    AbandonedBatch(AbandonedBatch&&) noexcept;
    AbandonedBatch& operator=(AbandonedBatch&&) noexcept;
    ~AbandonedBatch();

    BatchRecord batch;
    // The sources of the jobs that were waiting or running (not done, failed or cancelled), in
    // their order in the batch.
    std::vector<std::string> remaining;
    // The earlier results of its running jobs, put back.
    std::vector<std::string> restored;

    // Nothing of it is to be run again (declined, or taken over by a new batch): the journal
    // keeps only the hidden copies that could not be dealt with, and goes when there are none.
    void forget();

  private:
    std::unique_ptr<EndedJournal> journal_;
};

struct Recovery {
    // Results put back that belong to no batch left to do (an older program's journal).
    std::vector<std::string> restored;    // bytes and date as they were
    std::vector<UnrestoredResult> kept;   // still hidden; their journals keep them
    std::vector<AbandonedBatch> batches;  // in the order they were started
};

// Puts back what programs that are no longer running left set aside: each hidden copy
// returns to its name, replacing the partial result there, unless its job had finished (its
// result is complete: the stale copy is deleted). A live program's journal is never touched.
// What cannot be dealt with stays in its journal, to be tried again at the next start. A
// batch with jobs left to do comes back in `batches`, with the results of its own running
// jobs that were put back.
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
