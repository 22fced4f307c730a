#include "run/batch_rules.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "base/file_places.h"
#include "base/path.h"
#include "base/text.h"
#include "settings/catalogues.h"
#include "settings/column_split.h"

namespace qv {

namespace fs = std::filesystem;

std::string resultExtension(const ConversionSettings& s, const std::string& sourceName) {
    if (s.C2_01 != 0) {
        // No row chosen (-1) counts as chosen, with an empty value.
        const auto rows = catalogue(CatalogueId::C2_01);
        const bool inRange = s.C2_01 > 0 && static_cast<std::size_t>(s.C2_01) < rows.size();
        return "." + lowerAscii(inRange ? columnOf(rows[static_cast<std::size_t>(s.C2_01)], 0)
                                        : std::string());
    }
    const auto dot = sourceName.rfind('.');
    return dot == std::string::npos ? std::string() : sourceName.substr(dot);
}

std::string resultName(const std::string& sourceName, const std::string& extension) {
    const auto dot = sourceName.rfind('.');
    return (dot == std::string::npos ? sourceName : sourceName.substr(0, dot)) + extension;
}

std::string expandHome(const std::string& folder) {
    if (folder != "~" && folder.rfind("~/", 0) != 0) return folder;
    const std::string home = homeFolder();
    if (home.empty()) return folder;
    return folder.size() <= 2 ? home : joinPath(stripTrailingSeparators(home), folder.substr(2));
}

std::string destinationFolder(const ConversionSettings& s) {
    return stripTrailingSeparators(expandHome(stripTrailingSeparators(s.C1_03)));
}

std::string destinationFor(const ConversionSettings& s, const std::string& source) {
    const std::string sourceName = fileNameOf(source);
    const std::string name = resultName(sourceName, resultExtension(s, sourceName));
    if (s.C1_02 == 0) return folderOf(source) + name;
    if (s.C1_02 == 1) return joinPath(destinationFolder(s), name);
    return {};
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

bool isNonRegularEntry(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
}

bool ResultSet::claim(const std::string& path) {
    std::string folder = folderOf(path);
    if (folder.empty()) folder = ".";
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) return unresolved_.insert(path).second;
    return files_.insert({{st.st_dev, st.st_ino}, fileNameOf(path)}).second;
}

namespace {

// Renames without ever replacing a file that is already at `to`.
int renameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
    // File systems without the flag: a new link fails when the name is taken.
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return 0;
    }
    return -1;
}

}  // namespace

PreviousResult::~PreviousResult() { putBack(); }

bool PreviousResult::setAside(const std::string& dest, std::string* error) {
    dest_ = dest;
    hidden_.clear();
    struct stat st {};
    if (::lstat(dest.c_str(), &st) != 0) return true;
    int why = EEXIST;
    for (int n = 1; n <= kHiddenNameTries; ++n) {
        const std::string candidate = hiddenNameFor(dest, n);
        struct stat taken {};
        if (::lstat(candidate.c_str(), &taken) == 0) continue;
        // Without a journal the job still runs: only a kill would then leave the copy hidden.
        const bool recorded =
            journal_ && journal_->setAside(job_, dest, candidate, st.st_dev, st.st_ino);
        if (renameNoReplace(dest, candidate) == 0) {
            hidden_ = candidate;
            return true;
        }
        why = errno;
        if (recorded) journal_->ended(job_);
        if (why != EEXIST) break;  // taken meanwhile: the next name
    }
    if (error) *error = std::strerror(why);
    return false;
}

void PreviousResult::ended() {
    hidden_.clear();
    if (journal_) journal_->ended(job_);
}

bool PreviousResult::putBack(std::string* error) {
    if (hidden_.empty()) return true;
    // A folder made meanwhile is never removed; the old result then stays hidden. Any other
    // file at the name is the new result that did not come off: the rename replaces it.
    struct stat st {};
    if (::lstat(dest_.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        if (error) *error = std::strerror(EISDIR);
        return false;
    }
    if (::rename(hidden_.c_str(), dest_.c_str()) != 0) {
        const int why = errno;
        // Gone with its folder: there is nothing left to put back.
        if (why == ENOENT && ::lstat(hidden_.c_str(), &st) != 0) {
            ended();
            return true;
        }
        if (error) *error = std::strerror(why);
        return false;
    }
    ended();
    return true;
}

bool PreviousResult::discard(std::string* error) {
    if (hidden_.empty()) return true;
    if (journal_) journal_->finished(job_);
    if (::unlink(hidden_.c_str()) != 0 && errno != ENOENT) {
        if (error) *error = std::strerror(errno);
        return false;
    }
    ended();
    return true;
}

void PreviousResult::release() {
    if (!hidden_.empty()) ended();
}

SourceSet::SourceSet(const std::vector<std::string>& sources) {
    for (const std::string& path : sources) {
        struct stat st {};
        if (::stat(path.c_str(), &st) == 0) files_.emplace(st.st_dev, st.st_ino);
    }
}

bool SourceSet::contains(const std::string& path) const {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && files_.count({st.st_dev, st.st_ino}) > 0;
}

SourceState sourceState(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return SourceState::Missing;
    return S_ISREG(st.st_mode) ? SourceState::Regular : SourceState::NotRegular;
}

bool folderExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.empty() ? "." : path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<timespec> modificationTime(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return st.st_mtim;
}

void stampResult(const std::string& path, const timespec& when) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
    const timespec times[2] = {{0, UTIME_OMIT}, when};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

std::string runLogPath() {
    const std::string state = userStateFolder();
    return state.empty() ? std::string() : joinPath(state, "last-run.log");
}

bool startRunLog(const std::string& path) {
    if (path.empty()) return false;
    std::error_code ec;
    fs::create_directories(fs::path(folderOf(path)), ec);
    // Never follows a link, and a pipe put there cannot block the run.
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    struct stat st {};
    const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::ftruncate(fd, 0) == 0;
    ::close(fd);
    return ok;
}

std::string makeReportFile() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = joinPath(stripTrailingSeparators(tmp && tmp[0] == '/' ? tmp : "/tmp"),
                                   "quorvane-report-XXXXXX");
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);  // mode 0600
    if (fd < 0) return {};
    ::close(fd);
    return pattern;
}

std::string readReportLine(const std::string& path) {
    constexpr std::size_t kMaxBytes = 400;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return {};
    char buffer[kMaxBytes];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    ::close(fd);
    if (n <= 0) return {};
    std::string line(buffer, static_cast<std::size_t>(n));
    line = line.substr(0, line.find_first_of("\r\n"));
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
    return line;
}

std::int64_t fileSizeOf(const std::string& path) {
    // Non-blocking, so a named pipe in the way cannot stall the progress window's tick.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat st {};
    const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    return ok ? static_cast<std::int64_t>(st.st_size) : -1;
}

void removeFile(const std::string& path) {
    std::error_code ec;
    if (fs::is_directory(fs::symlink_status(fs::path(path), ec))) return;
    fs::remove(fs::path(path), ec);
}

}  // namespace qv
