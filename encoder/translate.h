#pragma once
// Turns the argument list of the program's command line into one the installed
// FFmpeg accepts, keeping its meaning.
#include <string>
#include <string_view>
#include <vector>

namespace qv::adapter {

// The translated list (without the program name). When passLogFile is not empty and the
// list runs a pass of a two-pass job, the statistics go to passLogFile (the encoder adds
// "-0.log" and friends); otherwise the pass options are left as they are.
std::vector<std::string> translateArguments(const std::vector<std::string>& args,
                                            const std::string& passLogFile = {});

// The name the installed build uses for a sound encoder of the program's line.
std::string audioCodecName(const std::string& codec);

// True for the options of the program's command line that take a value.
bool takesValue(std::string_view option);

// Index of the result path (the last element when it is not an option's value), or -1.
int outputIndex(const std::vector<std::string>& args);

// The result path: the last element when it is not an option's value; empty otherwise.
std::string outputPathOf(const std::vector<std::string>& args);

// 1 or 2 for a pass of a two-pass job, 0 otherwise.
int passNumberOf(const std::vector<std::string>& args);

// Where the statistics of one result live between its two passes: a folder of its own
// under base, named from a hash of the result path (the same for both passes).
std::string passLogFolder(const std::string& base, unsigned uid, const std::string& outputPath);

}  // namespace qv::adapter
