#include "run/batch_rules.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

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
        return "." + lowerAscii(inRange ? columnOf(rows[static_cast<std::size_t>(s.C2_01)], 0) : std::string());
    }
    const auto dot = sourceName.rfind('.');
    return dot == std::string::npos ? std::string() : sourceName.substr(dot);
}

std::string resultName(const std::string& sourceName, const std::string& extension) {
    const auto dot = sourceName.rfind('.');
    return (dot == std::string::npos ? sourceName : sourceName.substr(0, dot)) + extension;
}

std::string destinationFor(const ConversionSettings& s, const std::string& source) {
    const std::string sourceName = fileNameOf(source);
    const std::string name = resultName(sourceName, resultExtension(s, sourceName));
    if (s.C1_02 == 0) return folderOf(source) + name;
    if (s.C1_02 == 1) return joinPath(stripTrailingSeparators(s.C1_03), name);
    return {};
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
