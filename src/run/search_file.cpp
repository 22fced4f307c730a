#include "run/search_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cctype>
#include <filesystem>
#include <memory>
#include <system_error>

#include "base/text.h"

namespace qv {
namespace {

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

// Clears a busy flag however the search ends (a handler may throw).
struct BusyGuard {
    bool& flag;
    explicit BusyGuard(bool& f) : flag(f) { flag = true; }
    ~BusyGuard() { flag = false; }
    BusyGuard(const BusyGuard&) = delete;
    BusyGuard& operator=(const BusyGuard&) = delete;
};

TSearchFileTime toTime(const struct statx_timestamp& ts, bool valid) {
    TSearchFileTime t;
    if (!valid) return t;
    t.value = std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec)));
    t.valid = true;
    return t;
}

// Describes `name` inside the folder `dirFd` (AT_FDCWD: `name` is a path). Links
// are followed; a dangling one is described itself. False when neither works.
bool describe(int dirFd, const char* name, TSearchFileData& data, std::uint64_t* dev = nullptr,
              std::uint64_t* ino = nullptr) {
    struct statx st {};
    const unsigned mask = STATX_BASIC_STATS;
    if (statx(dirFd, name, AT_STATX_SYNC_AS_STAT, mask, &st) != 0 &&
        statx(dirFd, name, AT_STATX_SYNC_AS_STAT | AT_SYMLINK_NOFOLLOW, mask, &st) != 0)
        return false;
    const mode_t mode = st.stx_mode;
    data.size = S_ISDIR(mode) ? 0 : st.stx_size;
    data.lastAccessTime = toTime(st.stx_atime, (st.stx_mask & STATX_ATIME) != 0);
    data.lastWriteTime = toTime(st.stx_mtime, (st.stx_mask & STATX_MTIME) != 0);
    data.directory = S_ISDIR(mode);
    data.readOnly = (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    data.system = !S_ISDIR(mode) && !S_ISREG(mode) && !S_ISLNK(mode);
    data.archive = S_ISREG(mode);
    if (dev) *dev = (std::uint64_t(st.stx_dev_major) << 32) | st.stx_dev_minor;
    if (ino) *ino = st.stx_ino;
    return true;
}

void setName(TSearchFileData& data, std::string name) {
    data.hidden = !name.empty() && name[0] == '.';
    data.shortName = name;
    data.name = std::move(name);
}

// The last component of a folder path, trailing slashes ignored.
std::string lastComponent(const std::string& path) {
    std::size_t end = path.find_last_not_of('/');
    if (end == std::string::npos) return path.empty() ? path : std::string("/");
    std::size_t begin = path.find_last_of('/', end);
    begin = begin == std::string::npos ? 0 : begin + 1;
    return path.substr(begin, end - begin + 1);
}

void withSlash(std::string& folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
}

bool isDot(const char* n) { return n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)); }

// Calls fn(data, dev, ino) for each entry of `folder` other than "." and "..", in
// the order the file system gives them, until fn returns false. A folder that
// cannot be opened gives nothing.
//  dirsOnly: only folders (links to folders included); each is fully described.
//  otherwise, with details false: entries the listing already marks as a folder or
//  a non-folder are not described further (no status call; dev and ino are 0).
template <class Fn>
void enumerate(const std::string& folder, bool dirsOnly, bool details, Fn&& fn) {
    DirHandle dir(opendir(folder.c_str()));
    if (!dir) return;
    const int fd = dirfd(dir.get());
    while (const dirent* e = readdir(dir.get())) {
        const char* n = e->d_name;
        if (isDot(n)) continue;
        const bool known = e->d_type != DT_LNK && e->d_type != DT_UNKNOWN;
        if (dirsOnly && known && e->d_type != DT_DIR) continue;
        TSearchFileData data;
        std::uint64_t dev = 0, ino = 0;
        if (!dirsOnly && !details && known) {
            data.directory = e->d_type == DT_DIR;
        } else {
            if (!describe(fd, n, data, &dev, &ino)) continue;  // vanished meanwhile
            if (dirsOnly && !data.directory) continue;
        }
        setName(data, n);
        if (!fn(data, dev, ino)) return;
    }
}

// '*' and '?' wildcard match, ASCII letters case-insensitive. Iterative with one
// backtrack point, so no pathological blow-up on long names.
bool wildMatch(const std::string& mask, const std::string& name) {
    std::size_t m = 0, n = 0, starM = std::string::npos, starN = 0;
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == '*') {
            starM = m++;
            starN = n;
        } else if (m < mask.size() &&
                   (mask[m] == '?' || lowerAscii(mask[m]) == lowerAscii(name[n]))) {
            ++m;
            ++n;
        } else if (starM != std::string::npos) {
            m = starM + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*') ++m;
    return m == mask.size();
}

}  // namespace

bool matchesFileMask(const std::string& mask, const std::string& name) {
    if (wildMatch(mask, name)) return true;
    return name.find('.') == std::string::npos && wildMatch(mask, name + '.');
}

std::string fullPath(const std::string& path) {
    if (path.empty() || path[0] == '/') return path;
    std::error_code ec;
    std::string cwd = std::filesystem::current_path(ec).native();
    if (ec || cwd.empty()) return path;
    withSlash(cwd);
    return cwd + path;
}

void TSearchDir::Search() {
    if (busy_ || !OnFind) return;
    const std::string base = fullPath(BaseDir);
    TSearchFileData data;
    std::uint64_t dev = 0, ino = 0;
    if (base.empty() || !describe(AT_FDCWD, base.c_str(), data, &dev, &ino)) return;
    setName(data, lastComponent(base));

    BusyGuard busy(busy_);
    queue_.clear();
    seen_.clear();
    seen_.insert({dev, ino});

    bool cont = true;
    bool ignoreSubDir = false;
    OnFind(*this, base, data, ignoreSubDir, cont);
    if (!cont) return;
    if (!ignoreSubDir) queue_.push_back(base);

    while (!queue_.empty() && cont) {
        std::string folder = std::move(queue_.front());
        queue_.pop_front();
        withSlash(folder);
        enumerate(folder, true, true,
                  [&](const TSearchFileData& d, std::uint64_t dv, std::uint64_t in) {
                      if (!seen_.insert({dv, in}).second)
                          return true;  // reached again through a link
                      std::string name = folder + d.name;
                      ignoreSubDir = false;
                      OnFind(*this, name, d, ignoreSubDir, cont);
                      if (!cont) return false;
                      if (!ignoreSubDir) queue_.push_back(std::move(name));
                      return true;
                  });
    }
    queue_.clear();
}

TSearchFile::TSearchFile() {
    searchDir_.OnFind = [this](TSearchDir& sender, const std::string& name,
                               const TSearchFileData& data, bool& ignoreSubDir, bool& cont) {
        SearchDirOnFind(sender, name, data, ignoreSubDir, cont);
    };
}

void TSearchFile::SearchDirOnFind(TSearchDir&, const std::string& name, const TSearchFileData& data,
                                  bool& IgnoreSubDir, bool&) {
    bool skip = false;
    if (OnFindDir) OnFindDir(*this, name, data, skip, IgnoreSubDir);
    if (!skip) folders_.push_back(name);
}

bool TSearchFile::Search() {
    if (busy_ || !OnFind) return false;
    BusyGuard busy(busy_);
    folders_.clear();
    bool cont = true;

    if (Recursive) {
        searchDir_.BaseDir = Directory;
        searchDir_.Search();
    } else if (!Directory.empty()) {
        folders_.push_back(fullPath(Directory));
    }

    const std::string mask = SearchName.empty() ? std::string("*.*") : SearchName;
    const bool all = mask == "*.*" || mask == "*";
    std::string name;
    for (std::string& folder : folders_) {
        withSlash(folder);
        enumerate(folder, false, ReadDetails,
                  [&](const TSearchFileData& d, std::uint64_t, std::uint64_t) {
                      if (!all && !matchesFileMask(mask, d.name)) return true;
                      name.assign(folder).append(d.name);
                      OnFind(*this, name, d, cont);
                      return cont;
                  });
        if (!cont) break;
    }
    folders_.clear();
    return cont;
}

}  // namespace qv
