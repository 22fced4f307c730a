#pragma once
// The thumbnail call made in this process: one small JPEG of the source's picture at the
// call's moment (or near the end of a shorter source), without starting the encoder,
// whose start-up alone costs more than the picture.
#include <csignal>
#include <string>
#include <vector>

#include "rules.h"

namespace qv::adapter {

enum class PictureOutcome {
    Made,     // the picture is in place
    Refused,  // the source has no picture; the reason says so
    Stopped,  // a stop signal came first; nothing was written
    NotHere,  // the encoder has to try (an unusual line, a library or codec missing, ...)
};

// args is the program's line, call what parseCall made of it. What the source holds is
// kept in notesFolder (when not empty) for the conversion calls that follow.
PictureOutcome makePicture(const std::vector<std::string>& args, const Call& call,
                           const std::string& notesFolder, const volatile std::sig_atomic_t& stop,
                           std::string* reason);

}  // namespace qv::adapter
