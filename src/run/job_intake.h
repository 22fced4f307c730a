#pragma once
// What paths bring to the job list, and the list's order: the window's drops and command
// line and the command-line tool take their jobs through here.
#include <memory>
#include <string>
#include <vector>

namespace qv {

// A path that cannot be queued, and why (UTF-8).
struct NotQueued {
    std::string path;
    std::string reason;
};

struct JobIntake {
    std::vector<std::string> files;  // in the order found; the caller sorts
    std::vector<NotQueued> left;
};

// The files that `path` brings: a file itself, a folder every file below it. A path that
// does not exist is passed over in silence; the file-system root is refused.
void takeJobs(const std::string& path, JobIntake& into);

// One notice line per path left out, sorted by path: "PATH: REASON".
std::vector<std::string> notQueuedLines(std::vector<NotQueued> left);

// The job list's order: the whole path, case-insensitive, in the collation of the user's
// locale (LC_ALL, else LC_MESSAGES, else LANG, as the window's toolkit reads it). Paths are
// bytes; what is not UTF-8 in them compares as replacement characters.
class JobOrder {
  public:
    // An empty locale name reads the environment.
    explicit JobOrder(const std::string& locale = {});
    ~JobOrder();
    JobOrder(const JobOrder&) = delete;
    JobOrder& operator=(const JobOrder&) = delete;

    // <0, 0, >0 as a comes before, with, after b.
    int compare(const std::string& a, const std::string& b) const;
    // Bytes whose plain byte order is this order, for sorting many paths.
    std::string sortKey(const std::string& path) const;

  private:
    struct Collator;
    std::unique_ptr<Collator> collator_;
};

// Sorts in the job list's order; equal paths keep their order.
void sortJobs(std::vector<std::string>& paths, const JobOrder& order);

}  // namespace qv
