#pragma once
// Whole-file reading and atomic replacement. Every file operation of the core
// reports its outcome as a FileResult.
#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <utility>

namespace qv {

enum class FileStatus { Ok, Missing, Error };

// The outcome of a file operation: Ok, or what went wrong in words.
struct FileResult {
    FileStatus status = FileStatus::Ok;
    std::string message;  // empty when Ok

    static FileResult success() { return {}; }
    static FileResult missing(std::string why) { return {FileStatus::Missing, std::move(why)}; }
    static FileResult failure(std::string why) { return {FileStatus::Error, std::move(why)}; }
    bool ok() const { return status == FileStatus::Ok; }
    explicit operator bool() const { return ok(); }
};

// Reads a whole regular file. Missing when there is no such file; Error when it
// exists but cannot be read: a folder, a FIFO or a device (never waited on), no
// permission, an I/O error.
// A file larger than `largest` bytes is an Error too (a note that is not one of ours).
FileResult readWholeFile(const std::string& path, std::string& bytes,
                         std::size_t largest = std::numeric_limits<std::size_t>::max());

// Replaces the file at `path` with `bytes` atomically: a temporary file beside it
// is written, flushed to disk and renamed over it. On failure the old file is
// left as it was and the temporary file is removed. Temporary files that an
// earlier replacement of the same file left behind when it was killed are
// removed first; one that a running replacement still writes is left alone.
FileResult replaceFileAtomically(const std::string& path, std::string_view bytes);

// How a replacement goes where the defaults above do not fit.
struct ReplaceOptions {
    // Flushed to disk before the rename. Files that can be made again (a cache, a thumbnail
    // shown once) spare the wait.
    bool flush = true;
    // A link at `path` is followed and the file it names replaced; otherwise the link
    // itself is replaced, so that nothing is ever written through it.
    bool followLink = true;
    // The permission bits of a new file, less the umask; a replaced file keeps its own.
    mode_t newFileMode = 0666;
};
FileResult replaceFileAtomically(const std::string& path, std::string_view bytes,
                                 const ReplaceOptions& options);

// The name a replacement of `path` gives its temporary file, with `unique` (six
// characters) in place of the part that makes it unique.
std::string temporaryFileName(const std::string& path, std::string_view unique);

// Reads the file and replaces it with change(its bytes) atomically, holding an
// exclusive advisory lock (flock) on it meanwhile, so that two processes doing
// this one after the other both see the other's change. A missing file gives
// change(nullptr) and is created. Error when the file is not a regular file, or
// another process keeps it locked for more than a few seconds.
FileResult updateFileLocked(const std::string& path,
                            const std::function<std::string(const std::string* current)>& change);

// The running program's own file, as the platform's bytes; empty when unknown.
std::string executablePath();

}  // namespace qv
