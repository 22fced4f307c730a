#include "base/file_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "base/path.h"

namespace qv {

namespace {

// How long a save waits for another process that holds the file's lock.
constexpr auto kLockPatience = std::chrono::seconds(5);
constexpr std::string_view kTemporaryMark = ".save-";
constexpr std::size_t kUniqueLength = 6;

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Opens a file for reading without ever waiting: O_NONBLOCK keeps open() itself
// from blocking on a FIFO without a writer or on a device. Anything but a regular
// file is refused here, before a read could wait.
FileResult openRegularFile(const std::string& path, int& fd, struct stat& st) {
    fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return FileResult::missing("no such file");
        return FileResult::failure(std::strerror(errno));
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        fd = -1;
        return FileResult::failure("not a regular file");
    }
    return FileResult::success();
}

FileResult readAll(int fd, std::size_t sizeHint, std::string& bytes) {
    bytes.clear();
    bytes.reserve(sizeHint);
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) return FileResult::success();
        if (n < 0) {
            if (errno == EINTR) continue;
            bytes.clear();
            return FileResult::failure(std::strerror(errno));
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

// Removes the temporary files of earlier replacements of `target` that were
// killed before their rename. A replacement holds a lock on its temporary file
// until the rename, so one whose lock can be taken has no writer any more.
void removeLeftoverTemporaryFiles(const std::string& target) {
    const std::string folder = folderOf(target);
    const std::string prefix = fileNameOf(temporaryFileName(target, {}));
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.size() != prefix.size() + kUniqueLength || !name.starts_with(prefix)) continue;
        const std::string path = folder + std::string(name);
        const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat opened {
        }, named{};
        if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::lstat(path.c_str(), &named) == 0 &&
            sameFile(opened, named))
            ::unlink(path.c_str());
        ::close(fd);
    }
    ::closedir(dir);
}

// Creates the temporary file for `target` and locks it. A cleaner of another
// process may have removed it between its creation and the lock: then another
// is made.
int createLockedTemporaryFile(const std::string& target, std::string& tmp) {
    for (int attempt = 0; attempt < 10; ++attempt) {
        tmp = temporaryFileName(target, "XXXXXX");
        const int fd = ::mkstemp(tmp.data());
        if (fd < 0) return -1;
        struct stat opened {
        }, named{};
        if (::flock(fd, LOCK_EX) == 0 && ::fstat(fd, &opened) == 0 &&
            ::lstat(tmp.c_str(), &named) == 0 && sameFile(opened, named))
            return fd;
        ::close(fd);
    }
    errno = EAGAIN;
    return -1;
}

}  // namespace

FileResult readWholeFile(const std::string& path, std::string& bytes, std::size_t largest) {
    bytes.clear();
    int fd = -1;
    struct stat st {};
    FileResult opened = openRegularFile(path, fd, st);
    if (!opened) return opened;
    if (static_cast<std::size_t>(st.st_size) > largest) {
        ::close(fd);
        return FileResult::failure("the file is too large");
    }
    FileResult read = readAll(fd, static_cast<std::size_t>(st.st_size), bytes);
    ::close(fd);
    return read;
}

std::string temporaryFileName(const std::string& path, std::string_view unique) {
    return folderOf(path) + "." + fileNameOf(path) + std::string(kTemporaryMark) +
           std::string(unique);
}

FileResult replaceFileAtomically(const std::string& path, std::string_view bytes) {
    return replaceFileAtomically(path, bytes, ReplaceOptions{});
}

FileResult replaceFileAtomically(const std::string& path, std::string_view bytes,
                                 const ReplaceOptions& options) {
    auto fail = [](const char* what) {
        return FileResult::failure(std::string(what) + ": " + std::strerror(errno));
    };
    // A link is followed, so that the file it names is replaced, not the link.
    std::string target = path;
    struct stat st {};
    const bool link = ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
    if (link && options.followLink) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    // A file the user made read-only stays as it is, even though the folder would
    // let a rename replace it.
    const bool replacesFile =
        !(link && !options.followLink) && ::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    if (replacesFile && ((st.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0)) {
        errno = EACCES;
        return fail("the file is read-only");
    }
    removeLeftoverTemporaryFiles(target);
    std::string tmp;
    const int fd = createLockedTemporaryFile(target, tmp);
    if (fd < 0) return fail("cannot create a temporary file");
    auto abandon = [&](const char* what) {
        const int saved = errno;
        ::unlink(tmp.c_str());
        ::close(fd);
        errno = saved;
        return fail(what);
    };
    mode_t mode;
    if (replacesFile && ::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = options.newFileMode & ~mask;
    }
    ::fchmod(fd, mode);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return abandon("cannot write");
        }
        done += static_cast<std::size_t>(n);
    }
    if (options.flush && ::fsync(fd) != 0) return abandon("cannot flush");
    // Renamed while still open and locked, so that no cleaner takes it for a leftover.
    if (::rename(tmp.c_str(), target.c_str()) != 0) return abandon("cannot replace the file");
    ::close(fd);
    if (!options.flush) return FileResult::success();
    const std::size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? "."
                            : slash == 0               ? "/"
                                                       : target.substr(0, slash);
    const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return FileResult::success();
}

FileResult updateFileLocked(const std::string& path,
                            const std::function<std::string(const std::string* current)>& change) {
    const auto deadline = std::chrono::steady_clock::now() + kLockPatience;
    for (;;) {
        int fd = -1;
        struct stat opened {};
        const FileResult open = openRegularFile(path, fd, opened);
        if (open.status == FileStatus::Missing) return replaceFileAtomically(path, change(nullptr));
        if (!open) return open;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
            ::close(fd);
            if (std::chrono::steady_clock::now() > deadline)
                return FileResult::failure("the file is locked by another program");
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        // Another process may have replaced the file while this one waited for the
        // lock of the old one: then the new file is read and locked instead.
        struct stat named {};
        if (::stat(path.c_str(), &named) != 0 || !sameFile(opened, named)) {
            ::close(fd);
            if (std::chrono::steady_clock::now() > deadline)
                return FileResult::failure("the file keeps being replaced");
            continue;
        }
        std::string bytes;
        FileResult result = readAll(fd, static_cast<std::size_t>(opened.st_size), bytes);
        if (result) result = replaceFileAtomically(path, change(&bytes));
        ::close(fd);  // the lock ends once the new file is in place
        return result;
    }
}

std::string executablePath() {
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) return {};
        if (static_cast<std::size_t>(n) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(n));
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace qv
