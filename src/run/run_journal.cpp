#include "run/run_journal.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string_view>
#include <utility>

#include "base/file_places.h"
#include "base/path.h"

namespace qv {

namespace {

constexpr std::string_view kHeader = "quorvane-journal 1";
constexpr std::string_view kPrefix = "run-";
constexpr std::string_view kSuffix = ".journal";

// The start time of a process in clock ticks after boot (field 22 of /proc/PID/stat);
// 0 when there is no such process. With the id it names one process for the whole boot:
// an id handed on to a new process comes with another start time.
unsigned long long startTimeOf(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return 0;
    // The name in parentheses may hold blanks and parentheses of its own.
    const auto close = line.rfind(')');
    if (close == std::string::npos) return 0;
    std::size_t at = close + 1;
    for (int field = 3; field <= 22; ++field) {
        while (at < line.size() && line[at] == ' ') ++at;
        const std::size_t end = line.find(' ', at);
        if (field == 22) return std::strtoull(line.substr(at, end - at).c_str(), nullptr, 10);
        if (end == std::string::npos) return 0;
        at = end;
    }
    return 0;
}

std::string bootId() {
    std::ifstream file("/proc/sys/kernel/random/boot_id");
    std::string id;
    std::getline(file, id);
    return id;
}

std::string journalName(pid_t pid, unsigned long long start) {
    return std::string(kPrefix) + std::to_string(pid) + "-" + std::to_string(start) +
           std::string(kSuffix);
}

bool parseJournalName(std::string_view name, pid_t& pid, unsigned long long& start) {
    if (!name.starts_with(kPrefix) || !name.ends_with(kSuffix)) return false;
    const std::string middle(
        name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size()));
    const auto dash = middle.find('-');
    if (dash == std::string::npos || dash == 0 || dash + 1 == middle.size()) return false;
    char* end = nullptr;
    const long id = std::strtol(middle.c_str(), &end, 10);
    if (end != middle.c_str() + dash || id <= 0) return false;
    start = std::strtoull(middle.c_str() + dash + 1, &end, 10);
    if (*end != '\0') return false;
    pid = static_cast<pid_t>(id);
    return true;
}

// The program that wrote a journal is still running.
bool ownerRunning(pid_t pid, unsigned long long start, const std::string& boot) {
    if (!boot.empty() && boot != bootId()) return false;           // written before the last boot
    if (start == 0) return ::kill(pid, 0) == 0 || errno == EPERM;  // no /proc to tell by
    return startTimeOf(pid) == start;
}

// Fields are tab-separated: a tab, line break or backslash in a path is escaped.
std::string escaped(std::string_view field) {
    std::string out;
    for (const char c : field) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::vector<std::string> fieldsOf(std::string_view line) {
    std::vector<std::string> fields(1);
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\t') {
            fields.emplace_back();
        } else if (c == '\\' && i + 1 < line.size()) {
            const char next = line[++i];
            fields.back() += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

struct Entry {
    int job = 0;
    std::string result, hidden;
    dev_t device = 0;
    ino_t inode = 0;
    bool finished = false;
    bool ended = false;
};

std::string setAsideLine(const Entry& e) {
    return "set-aside\t" + std::to_string(e.job) + "\t" + escaped(e.result) + "\t" +
           escaped(e.hidden) + "\t" + std::to_string(e.device) + "\t" + std::to_string(e.inode) +
           "\n";
}

std::string headerLine(const std::string& boot) {
    return std::string(kHeader) + "\t" + escaped(boot) + "\n";
}

std::string jobLine(std::string_view kind, int job) {
    return std::string(kind) + "\t" + std::to_string(job) + "\n";
}

// The settings as one line per control of the settings table, so that every field comes back
// exactly as it was.
std::string settingLines(const ConversionSettings& s) {
    std::string out;
    for (const ControlEntry& c : kControls) {
        std::string value;
        if (c.number) value = std::to_string(s.*c.number);
        if (c.flag) value = s.*c.flag ? "1" : "0";
        if (c.text) value = escaped(s.*c.text);
        out += "setting\t" + std::string(c.name) + "\t" + value + "\n";
    }
    return out;
}

void readSetting(ConversionSettings& s, const std::string& name, const std::string& value) {
    for (const ControlEntry& c : kControls) {
        if (c.name != name) continue;
        if (c.number) s.*c.number = std::atoi(value.c_str());
        if (c.flag) s.*c.flag = value == "1";
        if (c.text) s.*c.text = value;
    }
}

enum class JobState { Waiting, Running, Done, Failed, Cancelled };

// A batch as its journal tells it.
struct BatchPart {
    bool present = false;  // the journal was written for a whole batch
    bool ended = false;
    BatchRecord record;
    std::map<int, std::string> sources;
    std::map<int, JobState> states;

    // Jobs neither done, failed nor cancelled, by their number.
    std::vector<std::pair<int, std::string>> remaining() const {
        std::vector<std::pair<int, std::string>> left;
        if (!present || ended) return left;
        for (const auto& [job, source] : sources) {
            const auto it = states.find(job);
            const JobState state = it == states.end() ? JobState::Waiting : it->second;
            if (state == JobState::Waiting || state == JobState::Running)
                left.emplace_back(job, source);
        }
        return left;
    }

    std::string lines() const {
        std::string out = "batch\t" + std::string(record.preview ? "1" : "0") + "\t" +
                          std::to_string(record.parallel) + "\n" + settingLines(record.settings);
        for (const auto& [job, source] : remaining())
            out += "waiting\t" + std::to_string(job) + "\t" + escaped(source) + "\n";
        return out;
    }
};

// The entries of a journal, in the order they were set aside, and its batch. A last line
// without its line break was cut off by the end of its writer: the step it announced never
// came. False for a journal of another version, which this program leaves to its own kind.
bool readEntries(const std::string& bytes, std::vector<Entry>& entries, std::string* boot,
                 BatchPart* batch = nullptr) {
    entries.clear();
    std::map<int, std::size_t> byJob;
    std::size_t at = 0;
    bool first = true;
    while (at < bytes.size()) {
        const std::size_t end = bytes.find('\n', at);
        if (end == std::string::npos) break;
        const std::vector<std::string> f = fieldsOf(std::string_view(bytes).substr(at, end - at));
        at = end + 1;
        if (first) {
            first = false;
            if (f[0] != kHeader) return false;
            if (boot && f.size() > 1) *boot = f[1];
            continue;
        }
        if (batch && f[0] == "batch-ended") batch->ended = true;
        if (f.size() < 2) continue;
        const int job = std::atoi(f[1].c_str());
        if (f[0] == "set-aside" && f.size() >= 6) {
            Entry e;
            e.job = job;
            e.result = f[2];
            e.hidden = f[3];
            e.device = static_cast<dev_t>(std::strtoull(f[4].c_str(), nullptr, 10));
            e.inode = static_cast<ino_t>(std::strtoull(f[5].c_str(), nullptr, 10));
            byJob[job] = entries.size();
            entries.push_back(std::move(e));
            if (batch) batch->states[job] = JobState::Running;
        } else if (const auto it = byJob.find(job);
                   it != byJob.end() && (f[0] == "finished" || f[0] == "ended")) {
            if (f[0] == "finished") entries[it->second].finished = true;
            if (f[0] == "ended") entries[it->second].ended = true;
        } else if (!batch) {
            continue;
        } else if (f[0] == "batch" && f.size() >= 3) {
            batch->present = true;
            batch->record.preview = f[1] == "1";
            batch->record.parallel = std::max(1, std::atoi(f[2].c_str()));
        } else if (f[0] == "setting" && f.size() >= 3) {
            readSetting(batch->record.settings, f[1], f[2]);
        } else if (f[0] == "waiting" && f.size() >= 3) {
            batch->sources[job] = f[2];
        } else if (f[0] == "running") {
            batch->states[job] = JobState::Running;
        } else if (f[0] == "done") {
            batch->states[job] = JobState::Done;
        } else if (f[0] == "failed") {
            batch->states[job] = JobState::Failed;
        } else if (f[0] == "cancelled") {
            batch->states[job] = JobState::Cancelled;
        }
    }
    return true;
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool readAll(int fd, std::string& bytes) {
    bytes.clear();
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

// A new name, or a name gone, lasts through a power cut only once its folder is flushed.
void syncFolder(const std::string& path) {
    const std::string folder = folderOf(path);
    const int fd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

bool sameResult(const std::string& a, const std::string& b) {
    if (a == b) return true;
    if (fileNameOf(a) != fileNameOf(b)) return false;
    struct stat fa {
    }, fb{};
    const std::string folderA = folderOf(a), folderB = folderOf(b);
    return ::stat(folderA.empty() ? "." : folderA.c_str(), &fa) == 0 &&
           ::stat(folderB.empty() ? "." : folderB.c_str(), &fb) == 0 && fa.st_dev == fb.st_dev &&
           fa.st_ino == fb.st_ino;
}

// The hidden copy is still the file that was set aside.
bool stillOurs(const Entry& e, const struct stat& st) {
    return S_ISREG(st.st_mode) && st.st_dev == e.device && st.st_ino == e.inode;
}

// Every journal in the folder, as its path and owner. False when the folder cannot be read
// (one that is not there holds none).
struct JournalFile {
    std::string path;
    pid_t pid;
    unsigned long long start;
};
bool listJournals(const std::string& folder, std::vector<JournalFile>& out) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return errno == ENOENT;
    while (const dirent* e = ::readdir(dir)) {
        JournalFile j{};
        if (parseJournalName(e->d_name, j.pid, j.start)) {
            j.path = joinPath(folder, e->d_name);
            out.push_back(std::move(j));
        }
    }
    ::closedir(dir);
    return true;
}

}  // namespace

// The journal of a program that has ended, locked by this process while it is worked on,
// so that two programs starting at once do not both take it on.
class EndedJournal {
  public:
    ~EndedJournal() {
        if (fd_ >= 0) ::close(fd_);
    }
    // False when its program still runs, another program holds it, or it cannot be read.
    bool open(const JournalFile& file) {
        path_ = file.path;
        fd_ = ::open(path_.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) return false;
        struct stat st {};
        std::string bytes;
        if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) ||
            ::flock(fd_, LOCK_EX | LOCK_NB) != 0 || !readAll(fd_, bytes) ||
            !readEntries(bytes, entries, &boot_, &batch))
            return false;
        return !ownerRunning(file.pid, file.start, boot_);
    }

    // Keeps only `kept` and the batch's jobs still to do: the journal goes when nothing is
    // left.
    void rewrite(const std::vector<Entry>& kept) {
        kept_ = kept;
        const std::string batchLines = batch.remaining().empty() ? std::string() : batch.lines();
        if (kept.empty() && batchLines.empty()) {
            ::unlink(path_.c_str());
            return;
        }
        std::string bytes = headerLine(boot_) + batchLines;
        for (const Entry& e : kept) {
            bytes += setAsideLine(e);
            if (e.finished) bytes += jobLine("finished", e.job);
        }
        if (::ftruncate(fd_, 0) == 0 && ::lseek(fd_, 0, SEEK_SET) == 0 && writeAll(fd_, bytes))
            ::fsync(fd_);
    }

    // The batch is not to be run again.
    void forgetBatch() {
        batch = BatchPart{};
        rewrite(kept_);
    }

    std::vector<Entry> entries;
    BatchPart batch;

  private:
    std::string path_, boot_;
    std::vector<Entry> kept_;
    int fd_ = -1;
};

std::string hiddenNameFor(const std::string& result, int n) {
    std::string name = folderOf(result) + "." + fileNameOf(result) + ".previous";
    if (n > 1) name += "-" + std::to_string(n);
    return name;
}

RunJournal::RunJournal(std::string folder) : folder_(std::move(folder)) {}

RunJournal::~RunJournal() {
    if (open_.empty() && !batch_) close();
    // A job still open, or a batch not ended, keeps the journal for the next start; the lock
    // goes with the descriptor.
    if (fd_ >= 0) ::close(fd_);
}

void RunJournal::close() {
    if (fd_ < 0) return;
    // Removed while still locked: nobody reads a journal half gone. Should the removal not
    // last through a power cut, the journal read again asks for nothing that was not done.
    ::unlink(path_.c_str());
    ::close(fd_);
    fd_ = -1;
    path_.clear();
}

bool RunJournal::open(const std::string& first, std::string* error) {
    const auto failed = [&] {
        if (error) *error = std::strerror(errno);
        return false;
    };
    if (folder_.empty()) {
        if (error) *error = "no state folder";
        return false;
    }
    if (!makeUserFolders(folder_)) return failed();
    const pid_t pid = ::getpid();
    path_ = joinPath(folder_, journalName(pid, startTimeOf(pid)));
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_NOFOLLOW | O_CLOEXEC,
                 0600);
    // The first records come with the header, and the new name is flushed with its folder.
    if (fd_ >= 0 && ::flock(fd_, LOCK_EX) == 0 && writeAll(fd_, headerLine(bootId()) + first) &&
        ::fsync(fd_) == 0) {
        syncFolder(path_);
        return true;
    }
    const int why = errno;
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    ::unlink(path_.c_str());
    path_.clear();
    errno = why;
    return failed();
}

bool RunJournal::append(const std::string& line, bool flush, std::string* error) {
    if (fd_ < 0) return open(line, error);
    if (writeAll(fd_, line) && (!flush || ::fdatasync(fd_) == 0)) return true;
    if (error) *error = std::strerror(errno);
    return false;
}

bool RunJournal::setAside(int job, const std::string& result, const std::string& hidden,
                          dev_t device, ino_t inode, std::string* error) {
    Entry e;
    e.job = job;
    e.result = result;
    e.hidden = hidden;
    e.device = device;
    e.inode = inode;
    if (!append(setAsideLine(e), true, error)) return false;
    open_.insert(job);
    return true;
}

void RunJournal::finished(int job) {
    // Flushed: read without it, the stale copy would go back over the complete new result.
    if (open_.count(job)) append(jobLine("finished", job), true, nullptr);
}

void RunJournal::ended(int job) {
    if (!open_.erase(job)) return;
    // Not flushed: read without it, the journal names a copy that is no longer there.
    if (open_.empty() && !batch_)
        close();  // nothing left to record
    else
        append(jobLine("ended", job), false, nullptr);
}

bool RunJournal::beginBatch(const BatchRecord& batch, const std::vector<std::string>& sources,
                            std::string* error) {
    BatchPart part;
    part.present = true;
    part.record = batch;
    for (std::size_t i = 0; i < sources.size(); ++i) part.sources[static_cast<int>(i)] = sources[i];
    batch_ = append(part.lines(), true, error);
    return batch_;
}

void RunJournal::running(int job) {
    if (batch_) append(jobLine("running", job), false, nullptr);
}
void RunJournal::done(int job) {
    if (batch_) append(jobLine("done", job), false, nullptr);
}
void RunJournal::failed(int job) {
    if (batch_) append(jobLine("failed", job), false, nullptr);
}
void RunJournal::cancelled(int job) {
    if (batch_) append(jobLine("cancelled", job), false, nullptr);
}

void RunJournal::endBatch() {
    if (!batch_) return;
    batch_ = false;
    if (open_.empty())
        close();
    else
        append("batch-ended\n", true, nullptr);  // the copies still hidden stay for the next start
}

AbandonedBatch::AbandonedBatch(std::unique_ptr<EndedJournal> journal)
    : journal_(std::move(journal)) {}
AbandonedBatch::AbandonedBatch(AbandonedBatch&&) noexcept = default;
AbandonedBatch& AbandonedBatch::operator=(AbandonedBatch&&) noexcept = default;
AbandonedBatch::~AbandonedBatch() = default;

void AbandonedBatch::forget() {
    if (journal_) journal_->forgetBatch();
    journal_.reset();
}

Recovery recoverAbandonedResults(const std::string& folder) {
    Recovery recovery;
    std::vector<JournalFile> files;
    if (folder.empty() || !listJournals(folder, files)) return recovery;
    // The batches in the order they were started.
    std::sort(files.begin(), files.end(), [](const JournalFile& a, const JournalFile& b) {
        return a.start != b.start ? a.start < b.start : a.pid < b.pid;
    });
    for (const JournalFile& file : files) {
        auto owned = std::make_unique<EndedJournal>();
        EndedJournal& journal = *owned;
        if (!journal.open(file)) continue;
        std::vector<Entry> kept;
        std::vector<std::string> restored;
        const auto keep = [&](const Entry& e, RestoreProblem problem, int error) {
            recovery.kept.push_back({e.result, e.hidden, problem, error});
            kept.push_back(e);
        };
        for (const Entry& e : journal.entries) {
            if (e.ended) continue;
            struct stat hidden {};
            if (::lstat(e.hidden.c_str(), &hidden) != 0) {
                // Nothing hidden any more (the user took it, or the rename never happened).
                if (errno != ENOENT) keep(e, RestoreProblem::CannotRename, errno);
                continue;
            }
            if (!stillOurs(e, hidden)) {
                keep(e, RestoreProblem::HiddenReplaced, 0);
                continue;
            }
            if (e.finished) {
                // The new result is complete: the old copy is stale.
                if (::unlink(e.hidden.c_str()) != 0 && errno != ENOENT)
                    keep(e, RestoreProblem::CannotDelete, errno);
                continue;
            }
            // Whatever stands at the name is the partial result of the ended job: the rename
            // replaces it in one step. A folder or link there is nothing of ours.
            struct stat there {};
            if (::lstat(e.result.c_str(), &there) == 0 && !S_ISREG(there.st_mode)) {
                keep(e, RestoreProblem::NameTaken, 0);
                continue;
            }
            if (::rename(e.hidden.c_str(), e.result.c_str()) != 0) {
                keep(e, RestoreProblem::CannotRename, errno);
                continue;
            }
            syncFolder(e.result);
            restored.push_back(e.result);
        }
        journal.rewrite(kept);
        const auto remaining = journal.batch.remaining();
        if (remaining.empty()) {
            recovery.restored.insert(recovery.restored.end(), restored.begin(), restored.end());
            continue;
        }
        AbandonedBatch batch(std::move(owned));
        batch.batch = journal.batch.record;
        for (const auto& job : remaining) batch.remaining.push_back(job.second);
        batch.restored = std::move(restored);
        recovery.batches.push_back(std::move(batch));
    }
    return recovery;
}

void dropStaleCopies(const std::string& folder, const std::string& result) {
    std::vector<JournalFile> files;
    if (folder.empty() || !listJournals(folder, files)) return;
    for (const JournalFile& file : files) {
        EndedJournal journal;
        if (!journal.open(file)) continue;  // a running program's copies are its own
        std::vector<Entry> kept;
        for (const Entry& e : journal.entries) {
            if (e.ended) continue;
            struct stat hidden {};
            // Only a copy that is still the file set aside is known to be ours to delete.
            if (!sameResult(e.result, result) || ::lstat(e.hidden.c_str(), &hidden) != 0 ||
                !stillOurs(e, hidden) || ::unlink(e.hidden.c_str()) != 0)
                kept.push_back(e);
        }
        journal.rewrite(kept);
    }
}

}  // namespace qv
