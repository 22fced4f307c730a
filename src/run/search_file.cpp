#include "run/search_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <system_error>
#include <utility>

namespace qv {
namespace {

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

// Opens a folder however long its path: a path the system refuses whole is opened
// a piece at a time, each piece relative to the folder before it, so deep trees
// are searched to their end. -1 with errno set when it cannot.
int openFolder(const std::string& path) {
    if (path.size() < PATH_MAX) return open(path.c_str(), kFolderFlags);
    int at = AT_FDCWD;
    std::size_t begin = 0;
    while (begin != std::string::npos) {
        std::size_t end = path.size();
        if (end - begin >= PATH_MAX) {
            end = path.rfind('/', begin + PATH_MAX - 1);
            if (end == std::string::npos || end <= begin) {  // one name longer than any path
                if (at != AT_FDCWD) close(at);
                errno = ENAMETOOLONG;
                return -1;
            }
        }
        const int fd = openat(at, path.substr(begin, end - begin).c_str(), kFolderFlags);
        const int error = errno;
        if (at != AT_FDCWD) close(at);
        if (fd < 0) {
            errno = error;
            return -1;
        }
        at = fd;
        begin = path.find_first_not_of('/', end);
    }
    return at;
}

// The folder made absolute against the current folder, without trailing slashes.
std::string fullFolder(std::string path) {
    if (!path.empty() && path[0] != '/') {
        std::error_code ec;
        std::string cwd = std::filesystem::current_path(ec).native();
        if (!ec && !cwd.empty()) path = cwd + (cwd.back() == '/' ? "" : "/") + path;
    }
    const std::size_t last = path.find_last_not_of('/');
    if (last != std::string::npos) path.erase(last + 1);
    return path;
}

bool isDot(const char* n) { return n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)); }

// Whether the entry `e` of the folder `dirFd` leads to a folder. Only links and
// entries the listing does not classify cost a status call. Empty when the entry
// vanished meanwhile.
std::optional<bool> leadsToFolder(int dirFd, const dirent& e) {
    if (e.d_type != DT_LNK && e.d_type != DT_UNKNOWN) return e.d_type == DT_DIR;
    struct stat st {};
    if (fstatat(dirFd, e.d_name, &st, 0) == 0) return S_ISDIR(st.st_mode);
    // a dangling link, or one in a loop, is an entry of its own
    if (fstatat(dirFd, e.d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) return false;
    return std::nullopt;
}

}  // namespace

FolderSearch searchFolder(const std::string& folder) {
    FolderSearch found;
    std::set<std::pair<dev_t, ino_t>> seen;
    std::deque<std::string> queue{fullFolder(folder)};
    while (!queue.empty()) {
        const std::string current = std::move(queue.front());
        queue.pop_front();
        const int fd = openFolder(current);
        if (fd < 0) {
            found.skipped.push_back({current, errno});
            continue;
        }
        struct stat st {};
        if (fstat(fd, &st) != 0 || !seen.insert({st.st_dev, st.st_ino}).second) {
            close(fd);  // reached again through a link
            continue;
        }
        DirHandle dir(fdopendir(fd));
        if (!dir) {
            found.skipped.push_back({current, errno});
            close(fd);
            continue;
        }
        const std::string prefix = current.back() == '/' ? current : current + '/';
        errno = 0;
        while (const dirent* e = readdir(dir.get())) {
            const std::optional<bool> isFolder =
                isDot(e->d_name) ? std::nullopt : leadsToFolder(fd, *e);
            if (isFolder && *isFolder)
                queue.push_back(prefix + e->d_name);
            else if (isFolder)
                found.files.push_back(prefix + e->d_name);
            errno = 0;  // only readdir's own failure counts below
        }
        if (errno != 0) found.skipped.push_back({current, errno});
    }
    return found;
}

}  // namespace qv
