#pragma once
// Finding a program on the search path, for the program and the encoder adapter.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "base/path.h"

namespace qv {

inline bool isExecutableFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
}

// The first executable `name` in a folder of PATH that `accept` takes. An empty entry
// would mean the working folder; a program is never taken from there.
template <class Accept>
std::string findOnSearchPath(const std::string& name, Accept accept) {
    const char* env = std::getenv("PATH");
    const std::string path = env ? env : "/usr/local/bin:/usr/bin:/bin";
    for (std::size_t begin = 0; begin <= path.size();) {
        std::size_t end = path.find(':', begin);
        if (end == std::string::npos) end = path.size();
        const std::string dir = path.substr(begin, end - begin);
        begin = end + 1;
        if (dir.empty()) continue;
        std::string candidate = joinPath(dir, name);
        if (isExecutableFile(candidate) && accept(candidate)) return candidate;
    }
    return {};
}

}  // namespace qv
