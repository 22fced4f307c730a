#pragma once
// Path texts as the platform's bytes: splitting and joining, no file-system access.
#include <string>
#include <string_view>

namespace qv {

// The separator used when a folder and a name are joined.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// The last component: everything after the last separator (the whole path when none).
std::string fileNameOf(std::string_view path);

// The folder part with its trailing separator; empty when the path has no separator.
std::string folderOf(std::string_view path);

// folder + separator + name; a folder that already ends in the separator (a root
// folder) gets no second one. An empty folder gives separator + name.
std::string joinPath(std::string_view folder, std::string_view name);

// The folder with every trailing separator removed. A root folder ("/" here,
// "D:\" on Windows) stays usable as a destination.
std::string stripTrailingSeparators(std::string_view path);

}  // namespace qv
