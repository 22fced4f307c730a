#include "base/path.h"

namespace qv {

std::string fileNameOf(std::string_view path) {
    const auto slash = path.rfind(kPathSeparator);
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string folderOf(std::string_view path) {
    const auto slash = path.rfind(kPathSeparator);
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash + 1));
}

std::string joinPath(std::string_view folder, std::string_view name) {
    std::string out(folder);
    if (out.empty() || out.back() != kPathSeparator) out += kPathSeparator;
    out += name;
    return out;
}

std::string stripTrailingSeparators(std::string_view path) {
#ifdef _WIN32
    // "D:\" becomes "D:"; the batch run adds the separator back before a name.
    while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
#else
    // "/" itself is kept: an empty text would no longer name the root folder.
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
#endif
    return std::string(path);
}

}  // namespace qv
