#pragma once
// Whole-file reading and atomic replacement. Every file operation of the core
// reports its outcome as a FileResult.
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
// exists but cannot be read (a folder, no permission, an I/O error).
FileResult readWholeFile(const std::string& path, std::string& bytes);

// Replaces the file at `path` with `bytes` atomically: a temporary file beside it
// is written, flushed to disk and renamed over it. On failure the old file is
// left as it was and the temporary file is removed.
FileResult replaceFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace qv
