#pragma once
// The encoder arguments of a job with every kind of setting in use (threads, range,
// size, aspect, codecs, rates, crop): what the command builder makes of it and what
// the adapter gets to translate.
#include <string>
#include <vector>

namespace qvtest {

inline std::vector<std::string> fullSettingsArgs(const std::string& source,
                                                 const std::string& dest) {
    return {"-i",       source,     "-y",      "-threads", "2",    "-ss",     "00:01:30",
            "-t",       "00:00:45", "-flags",  "bitexact", "-s",   "320x240", "-aspect",
            "4:3",      "-vcodec",  "mpeg4",   "-b",       "768k", "-r",      "29.97",
            "-croptop", "8",        "-acodec", "libfaac",  "-ab",  "128k",    "-ar",
            "44100",    "-ac",      "2",       dest};
}

}  // namespace qvtest
