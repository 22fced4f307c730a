#pragma once
// What a source holds, read with the installed libavformat in this process. The library
// is loaded only when a call needs it; most calls never pay for it.
#include <sys/types.h>

#include <optional>
#include <string>

#include "rules.h"

namespace qv::adapter {

// Probes path. notesFolder, when not empty, is a private folder where the result is kept
// for later calls on the same unchanged file (the thumbnail call comes first for every
// job). error gets a reason when the source cannot be read.
Source probeSource(const std::string& path, const std::string& notesFolder, std::string* error);

// Puts bytes at path in one step, through a hidden temporary file beside it: a reader never
// sees half of them, and a link at path is replaced, not written through. Not flushed to
// disk: what it writes can be made again. A new file gets mode (less the umask).
bool replaceQuickly(const std::string& path, const std::string& bytes, mode_t mode);

// Notes about one unchanged file, kept in a private folder between calls: one per file and
// kind, valid while the file is unchanged and `detail` is the same.
std::optional<std::string> recallNote(const std::string& path, const std::string& folder,
                                      const std::string& kind, const std::string& detail);
void keepNote(const std::string& path, const std::string& folder, const std::string& kind,
              const std::string& detail, const std::string& bytes);

// A result opens and holds a picture when `picture`, sound when `sound` (a copy that the
// encoder ended with 0 can still have written a track nobody can read). True when that
// cannot be told (no library).
bool resultReadsBack(const std::string& path, bool picture, bool sound);

// Keeps what a source holds for later calls, as probeSource does.
void keepSourceNotes(const std::string& path, const std::string& notesFolder, const Source& s);

// One line of text and back, for the notes kept between calls.
std::string sourceToText(const Source& s);
bool sourceFromText(const std::string& text, Source& s);

}  // namespace qv::adapter
