#include "base/file_places.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "base/file_io.h"
#include "base/path.h"

namespace qv {

namespace {

constexpr const char* kOwnFolderName = "quorvane";

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

bool isAbsolute(const std::string& path) { return !path.empty() && path[0] == '/'; }

bool isFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Makes the folder and its missing parents, each new one for this user only.
bool makeFolders(const std::string& path) {
    if (isFolder(path)) return true;
    const std::string parent = stripTrailingSeparators(folderOf(stripTrailingSeparators(path)));
    if (!parent.empty() && parent != path && !makeFolders(parent)) return false;
    return ::mkdir(path.c_str(), 0700) == 0 || (errno == EEXIST && isFolder(path));
}

void removeFolder(const std::string& folder) {
    if (DIR* d = ::opendir(folder.c_str())) {
        std::vector<std::string> names;
        while (dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        ::closedir(d);
        for (const std::string& name : names) ::unlink(joinPath(folder, name).c_str());
    }
    ::rmdir(folder.c_str());
}

// This process's private folder, removed with what is left in it when the process ends.
class ProcessFolder {
  public:
    ProcessFolder() : path_(makePrivateFolder()) {}
    ~ProcessFolder() {
        if (!path_.empty()) removeFolder(path_);
    }
    ProcessFolder(const ProcessFolder&) = delete;
    ProcessFolder& operator=(const ProcessFolder&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// A program folder that is there but takes no files. One that is gone is no install:
// its files stay where they were, and a save reports its failure on their path.
bool readOnlyFolder(const std::string& folder) {
    return isFolder(folder) && !folderTakesFiles(folder);
}

}  // namespace

std::string documentsFolder() {
    const std::string home = homeFolder();
    if (home.empty()) return {};
    const std::string config = baseDirectory("XDG_CONFIG_HOME", ".config");
    std::string bytes;
    if (!config.empty() && readWholeFile(joinPath(config, "user-dirs.dirs"), bytes, 1 << 16)) {
        // Lines of the form XDG_DOCUMENTS_DIR="$HOME/Docs" or an absolute path.
        const std::string key = "XDG_DOCUMENTS_DIR=\"";
        std::size_t at = 0;
        while (at < bytes.size()) {
            std::size_t end = bytes.find('\n', at);
            if (end == std::string::npos) end = bytes.size();
            std::string line = bytes.substr(at, end - at);
            at = end + 1;
            if (!line.starts_with(key) || line.size() < key.size() + 1 || line.back() != '"')
                continue;
            std::string value = line.substr(key.size(), line.size() - key.size() - 1);
            if (value.starts_with("$HOME")) value = home + value.substr(5);
            if (isAbsolute(value)) return stripTrailingSeparators(value);
        }
    }
    return joinPath(home, "Documents");
}

std::string homeFolder() {
    const std::string home = environment("HOME");
    if (isAbsolute(home)) return home;
    const passwd* pw = ::getpwuid(::geteuid());
    const std::string own = pw && pw->pw_dir ? pw->pw_dir : "";
    return isAbsolute(own) ? own : std::string();
}

std::string baseDirectory(const char* variable, std::string_view underHome) {
    const std::string base = environment(variable);
    if (isAbsolute(base)) return stripTrailingSeparators(base);
    const std::string home = homeFolder();
    if (home.empty()) return {};
    return joinPath(stripTrailingSeparators(home), underHome);
}

std::string runtimeFolder() {
    const std::string runtime = environment("XDG_RUNTIME_DIR");
    return isAbsolute(runtime) && isPrivateFolder(runtime) ? runtime : std::string();
}

bool isPrivateFolder(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & 077) == 0;
}

bool ensurePrivateFolder(const std::string& path) {
    if (!makeFolders(path)) return false;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
        (st.st_mode & 077) != 0)
        ::chmod(path.c_str(), st.st_mode & 0700);
    return isPrivateFolder(path);
}

bool folderTakesFiles(const std::string& folder) {
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & 0222) != 0 &&
           ::access(folder.c_str(), W_OK | X_OK) == 0;
}

namespace {

// base/quorvane, or empty when there is no base.
std::string ownFolderIn(const std::string& base) {
    return base.empty() ? base : joinPath(base, kOwnFolderName);
}

}  // namespace

std::string userConfigFolder() { return ownFolderIn(baseDirectory("XDG_CONFIG_HOME", ".config")); }

std::string userStateFolder() {
    return ownFolderIn(baseDirectory("XDG_STATE_HOME", ".local/state"));
}

bool makeUserFolders(const std::string& folder) { return makeFolders(folder); }

std::string settingsFolder(const std::string& programFolder) {
    if (!readOnlyFolder(programFolder)) return programFolder;
    const std::string own = userConfigFolder();
    return !own.empty() && makeFolders(own) ? own : programFolder;
}

std::string presetFilePath(const std::string& programFolder) {
    const std::string shipped = joinPath(programFolder, "profile.txt");
    if (!readOnlyFolder(programFolder)) return shipped;
    const std::string own = userConfigFolder();
    if (own.empty()) return shipped;
    const std::string copy = joinPath(own, "profile.txt");
    struct stat st {};
    if (::lstat(copy.c_str(), &st) == 0) return copy;  // the user's, whatever it holds now
    std::string bytes;
    if (!readWholeFile(shipped, bytes)) return shipped;
    if (!makeFolders(own) || !replaceFileAtomically(copy, bytes)) return shipped;
    return copy;
}

std::string scratchFolder(const std::string& programFolder) {
    if (!readOnlyFolder(programFolder)) return programFolder;
    static const ProcessFolder folder;
    return folder.path();
}

std::string makePrivateFolder() {
    std::string base = runtimeFolder();
    if (base.empty()) {
        base = environment("TMPDIR");
        if (!isAbsolute(base) || !isFolder(base)) base = "/tmp";
    }
    std::string path = joinPath(stripTrailingSeparators(base), "quorvane-XXXXXX");
    return ::mkdtemp(path.data()) ? path : std::string();
}

}  // namespace qv
