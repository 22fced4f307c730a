#pragma once
// Folder search: every entry of a folder, optionally of all folders below it.
// Paths are byte strings exactly as the file system gives them (any bytes but '/'
// and NUL in a name); nothing here limits their length.
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace qv {

struct TSearchFileTime {
    std::chrono::system_clock::time_point value{};
    bool valid = false;  // false when the file system did not give this time
};

// One found entry. Links are described by what they lead to; a dangling link by
// the link itself.
struct TSearchFileData {
    std::string name;       // the entry's own name
    std::string shortName;  // there are no short names here: the name itself
    std::uint64_t size = 0;
    TSearchFileTime lastAccessTime, lastWriteTime;
    bool directory = false;
    bool readOnly = false;  // no write permission for anyone
    bool hidden = false;    // the name begins with a dot
    bool system = false;    // neither a regular file nor a folder (device, pipe, socket)
    bool archive = false;   // a regular file
};

class TSearchFile;
class TSearchDir;

// Continue arrives true; false stops the whole search.
using TFindFileEvent = std::function<void(TSearchFile& sender, const std::string& name,
                                          const TSearchFileData& data, bool& Continue)>;
// Skip leaves the folder's own entries out; IgnoreSubDir keeps the search out of
// the folders below it.
using TFindDirEvent =
    std::function<void(TSearchFile& sender, const std::string& name, const TSearchFileData& data,
                       bool& Skip, bool& IgnoreSubDir)>;
using TSearchDirEvent =
    std::function<void(TSearchDir& sender, const std::string& name, const TSearchFileData& data,
                       bool& IgnoreSubDir, bool& Continue)>;

// Collects BaseDir and the folders below it, breadth-first, base folder first.
// Each real folder (device and inode) is reported once, so a link that leads back
// to an ancestor ends the descent instead of looping.
class TSearchDir {
  public:
    std::string BaseDir;
    TSearchDirEvent OnFind;

    void Search();
    bool busy() const { return busy_; }

  private:
    bool busy_ = false;
    std::deque<std::string> queue_;
    std::set<std::pair<std::uint64_t, std::uint64_t>> seen_;
};

class TSearchFile {
  public:
    TSearchFile();
    TSearchFile(const TSearchFile&) = delete;
    TSearchFile& operator=(const TSearchFile&) = delete;

    std::string Directory;
    bool Recursive = false;
    std::string SearchName;  // empty means "*.*"
    TFindFileEvent OnFind;
    TFindDirEvent OnFindDir;
    // false: OnFind's data holds only the name and the directory and hidden flags,
    // which saves a status call per entry; sizes, times and the other flags stay
    // unset. Folders offered to OnFindDir are always fully described.
    bool ReadDetails = true;

    // True when the search ran to its end; false when it did not run (busy, no
    // OnFind) or OnFind stopped it.
    bool Search();
    bool busy() const { return busy_; }

  private:
    void SearchDirOnFind(TSearchDir& sender, const std::string& name, const TSearchFileData& data,
                         bool& IgnoreSubDir, bool& Continue);

    bool busy_ = false;
    std::vector<std::string> folders_;
    TSearchDir searchDir_;
};

// Name-mask matching as file masks are read there: '*' any run, '?' one
// character, letters of either case alike; a name without a dot is matched as if
// it ended in one, so "*.*" matches every name.
bool matchesFileMask(const std::string& mask, const std::string& name);

// path made absolute against the current folder, otherwise unchanged.
std::string fullPath(const std::string& path);

}  // namespace qv
