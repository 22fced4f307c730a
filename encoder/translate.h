#pragma once
// Turns the argument list of the program's command line into one the installed
// FFmpeg accepts, keeping its meaning.
#include <string>
#include <vector>

namespace qv::adapter {

std::vector<std::string> translateArguments(const std::vector<std::string>& args);

}  // namespace qv::adapter
