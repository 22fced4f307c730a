#pragma once
// Where the program keeps the files it writes. A program folder that takes files (the
// build's program folder, a copied portable folder) keeps everything beside the
// executable. An installed, read-only one sends the settings file and the presets to
// the user's configuration folder, and the thumbnail to a private folder of this process.
#include <string>
#include <string_view>

namespace qv {

// True when files can be made in the folder: it is a folder, some write permission bit
// is set and this user may write there. The bits are looked at too, so that a folder
// made read-only counts as such for the superuser as well.
bool folderTakesFiles(const std::string& folder);

// The user's home folder: $HOME when it is absolute, else the user database's entry for
// this user; empty when neither gives one. Every folder under the home follows this rule.
std::string homeFolder();

// A base directory of the user: $<variable> when it is absolute (a relative one is
// ignored, as the base directory rules ask), else the home folder's `underHome`
// (".cache", ".local/state"); empty when there is no home either.
std::string baseDirectory(const char* variable, std::string_view underHome);

// $XDG_RUNTIME_DIR when it is this user's and private; empty otherwise.
std::string runtimeFolder();

// True when path is a folder (not a link) of this user that nobody else can enter.
bool isPrivateFolder(const std::string& path);

// Makes the folder when missing (and its missing parents, each for this user only) and
// tightens one of this user's own that others could enter. True when it is then private.
bool ensurePrivateFolder(const std::string& path);

// $XDG_CONFIG_HOME/quorvane, else $HOME/.config/quorvane (a relative XDG_CONFIG_HOME is
// ignored, as the base directory rules ask); empty when there is no home either.
std::string userConfigFolder();

// $XDG_STATE_HOME/quorvane, else $HOME/.local/state/quorvane, by the same rules: where the
// program keeps what it needs to know about its own earlier runs. Empty when there is no
// home either.
std::string userStateFolder();

// The user's documents folder, where a results folder is first offered:
// XDG_DOCUMENTS_DIR of the user's folder list (user-dirs.dirs in the configuration base
// directory) when it names one, else the home folder's Documents; empty without a home.
std::string documentsFolder();

// Makes the folder and its missing parents, each new one for this user only; true when
// the folder is there afterwards.
bool makeUserFolders(const std::string& folder);

// Below, a read-only program folder is one that is there and takes no files; any other
// (one that takes files, or one that is gone) keeps its files beside the executable.

// The folder of the settings file: the program folder unless that is read-only, else
// the user's configuration folder, made when missing. Should that fail, the program
// folder, so that reading still works and a failed save is reported on its path.
std::string settingsFolder(const std::string& programFolder);

// The preset file: programFolder/profile.txt unless the program folder is read-only. Else
// the user's copy, made from the shipped file the first time and left alone after that
// (so the user's presets outlive an upgrade); the shipped file when the copy cannot be
// made or there is nothing to copy.
std::string presetFilePath(const std::string& programFolder);

// The folder for short-lived files such as the thumbnail: the program folder unless it
// is read-only, else one private folder for this process (made on the first call, under
// $XDG_RUNTIME_DIR when that is ours, else the temporary folder; removed at exit).
// Empty when no such folder can be made.
std::string scratchFolder(const std::string& programFolder);

// A new folder only this user can enter, with an unpredictable name, under
// $XDG_RUNTIME_DIR when it is this user's and private, else $TMPDIR, else /tmp.
// Empty when it cannot be made.
std::string makePrivateFolder();

}  // namespace qv
