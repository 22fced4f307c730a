#pragma once
// The batch run's rules that need no window: where a result goes, what it is
// called, which files it must never touch, and its time stamp.
#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "run/run_journal.h"
#include "settings/conversion_settings.h"

namespace qv {

// The result's extension: the container's own, lower case, or the source's (dot
// included, empty when its name has none).
std::string resultExtension(const ConversionSettings& s, const std::string& sourceName);

// The source's name with its extension swapped for `extension`.
std::string resultName(const std::string& sourceName, const std::string& extension);

// A folder text of "~" or one starting with "~/" names the home folder.
std::string expandHome(const std::string& folder);

// The destination folder of the folder mode, with no trailing separator and "~" expanded.
std::string destinationFolder(const ConversionSettings& s);

// Where the result of `source` goes; empty when the destination mode has no row
// chosen: writing to the previous job's result would overwrite it with another file.
std::string destinationFor(const ConversionSettings& s, const std::string& source);

// True when both paths name one existing file (another name or a link counts).
bool sameFile(const std::string& a, const std::string& b);

// True when something is at path that is not a regular file: a link, folder, device, pipe.
bool isNonRegularEntry(const std::string& path);

// The results of one run, each as its folder (device and inode) and name, so that
// another spelling of a folder counts as the same one.
class ResultSet {
  public:
    // False when an earlier job of the run already writes this result.
    bool claim(const std::string& path);

  private:
    std::set<std::pair<std::pair<dev_t, ino_t>, std::string>> files_;
    std::set<std::string> unresolved_;
};

// An earlier result, moved to a hidden name in its own folder while a new one is made,
// so that a failed or cancelled job gives it back unchanged. With a journal, the hidden
// name is recorded before the move, so that a program killed meanwhile has it put back
// by the next start.
class PreviousResult {
  public:
    PreviousResult() = default;
    // Records every set-aside in `journal` as job `job` first.
    PreviousResult(RunJournal* journal, int job) : journal_(journal), job_(job) {}
    // One still hidden comes back: the old result is the one the user had.
    ~PreviousResult();
    PreviousResult(const PreviousResult&) = delete;
    PreviousResult& operator=(const PreviousResult&) = delete;

    // Moves the regular file at dest aside; nothing to do (true) when there is none.
    // False, and the reason, when it cannot be moved.
    bool setAside(const std::string& dest, std::string* error = nullptr);
    // Puts it back at its name, bytes and date as they were, in place of whatever file
    // is there now (never of a folder). False, and why, when it stays hidden.
    bool putBack(std::string* error = nullptr);
    // The new result stands, stamped: recorded, then the old one is deleted. False, and
    // why, when it stays.
    bool discard(std::string* error = nullptr);
    // The hidden copy that could not be dealt with was named to the user: no longer this
    // job's to handle.
    void release();
    // The hidden name it is kept under; empty when nothing is set aside.
    const std::string& hiddenPath() const { return hidden_; }

  private:
    void ended();

    RunJournal* journal_ = nullptr;
    int job_ = 0;
    std::string dest_, hidden_;
};

// Every queued source as a file (device and inode), so that another name or a
// link for a source counts as that source.
class SourceSet {
  public:
    explicit SourceSet(const std::vector<std::string>& sources);
    // True when `path` is one of the sources: this job's own, or one still to come.
    bool contains(const std::string& path) const;

  private:
    std::set<std::pair<dev_t, ino_t>> files_;
};

// What is at a source's name when its turn comes.
enum class SourceState { Regular, Missing, NotRegular };
// A link counts as what it leads to.
SourceState sourceState(const std::string& path);

// True when path names a folder (a link to one counts).
bool folderExists(const std::string& path);

// The modification time of a regular file; nullopt when it is not there to read.
std::optional<timespec> modificationTime(const std::string& path);

// Gives the result the source's time, to the nanosecond; a missing file is left alone.
void stampResult(const std::string& path, const timespec& when);

// Where the encoder's error output of the last run is kept:
// $XDG_STATE_HOME/quorvane/last-run.log, or ~/.local/state/quorvane/last-run.log.
std::string runLogPath();

// Makes the log's folder and empties the log for a new run; false when it cannot.
bool startRunLog(const std::string& path);

// A new empty file of this user's only, for the encoder to say why a pass failed;
// empty when none can be made.
std::string makeReportFile();

// The first line of a report file (at most a few hundred bytes, line break removed);
// empty when there is none.
std::string readReportLine(const std::string& path);

// Size in bytes of the regular file at path, or -1 when it cannot be opened. 64-bit,
// so files of 2 GiB and more are shown as they are.
std::int64_t fileSizeOf(const std::string& path);

// Removes a file; a folder of that name is never touched.
void removeFile(const std::string& path);

}  // namespace qv
