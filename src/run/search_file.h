#pragma once
// Folder search: every file below a folder, in all the folders below it.
// Paths are byte strings exactly as the file system gives them (any bytes but '/'
// and NUL in a name); nothing here limits their length, not even the system's
// own limit on a path it will open in one piece.
#include <string>
#include <vector>

namespace qv {

// A folder whose entries could not be read, and why.
struct SkippedFolder {
    std::string path;
    int error = 0;  // the errno value of the failed open
};

struct FolderSearch {
    // Every entry that is not a folder (a link to a file and a dangling link count
    // as files), folder by folder, breadth-first from the searched folder; inside
    // one folder in the file system's order.
    std::vector<std::string> files;
    std::vector<SkippedFolder> skipped;
};

// Searches `folder` and every folder below it, links to folders included. Each real
// folder (device and inode) is read once, so a link back to an ancestor ends the
// descent instead of looping. A relative `folder` is taken against the current
// folder and the paths found are full.
FolderSearch searchFolder(const std::string& folder);

}  // namespace qv
