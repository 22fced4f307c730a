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

#include "settings/conversion_settings.h"

namespace qv {

// The result's extension: the container's own, lower case, or the source's (dot
// included, empty when its name has none).
std::string resultExtension(const ConversionSettings& s, const std::string& sourceName);

// The source's name with its extension swapped for `extension`.
std::string resultName(const std::string& sourceName, const std::string& extension);

// Where the result of `source` goes; empty when the destination mode has no row
// chosen: writing to the previous job's result would overwrite it with another file.
std::string destinationFor(const ConversionSettings& s, const std::string& source);

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

// The modification time of a regular file; nullopt when it is not there to read.
std::optional<timespec> modificationTime(const std::string& path);

// Gives the result the source's time, to the nanosecond; a missing file is left alone.
void stampResult(const std::string& path, const timespec& when);

// Size in bytes of the regular file at path, or -1 when it cannot be opened. 64-bit,
// so files of 2 GiB and more are shown as they are.
std::int64_t fileSizeOf(const std::string& path);

// Removes a file; a folder of that name is never touched.
void removeFile(const std::string& path);

}  // namespace qv
