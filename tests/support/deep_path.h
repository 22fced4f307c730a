#pragma once
// Trees deeper than a path the system opens in one piece (PATH_MAX): made and
// removed one folder at a time, each step relative to the folder before, since
// mkdir and remove on the whole path fail.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace qvtest {

// Folders of long names below `root`, nested until a file named `name` in the
// deepest one has a path of at least `length` bytes; makes that file and returns
// its path. Empty when a step fails.
inline std::string makeDeepFile(const std::string& root, std::size_t length,
                                const std::string& name = "deep.avi") {
    constexpr int kFolder = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    int at = open(root.c_str(), kFolder);
    std::string path = root;
    for (int level = 0; at >= 0 && path.size() + 1 + name.size() < length; ++level) {
        const std::string folder = "level" + std::to_string(level) + std::string(200, 'd');
        const int next = mkdirat(at, folder.c_str(), 0755) == 0 || errno == EEXIST
                             ? openat(at, folder.c_str(), kFolder)
                             : -1;
        close(at);
        at = next;
        path += '/' + folder;
    }
    if (at < 0) return {};
    const int fd = openat(at, name.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    close(at);
    if (fd < 0) return {};
    close(fd);
    return path + '/' + name;
}

// Empties the folder `dirFd`, however deep; links are removed, not followed.
inline void removeBelow(int dirFd) {
    DIR* dir = fdopendir(dup(dirFd));
    if (!dir) return;
    while (const dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == ".." || unlinkat(dirFd, name.c_str(), 0) == 0) continue;
        fchmodat(dirFd, name.c_str(), 0700, 0);  // a folder a test locked
        const int sub =
            openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub < 0) continue;
        removeBelow(sub);
        close(sub);
        unlinkat(dirFd, name.c_str(), AT_REMOVEDIR);
    }
    closedir(dir);
}

// Removes `path` and everything below it, whatever the length of their paths.
inline void removeTree(const std::string& path) {
    if (unlink(path.c_str()) == 0) return;
    chmod(path.c_str(), 0700);
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    removeBelow(fd);
    close(fd);
    rmdir(path.c_str());
}

}  // namespace qvtest
