#include "translate.h"

namespace qv::adapter {
std::vector<std::string> translateArguments(const std::vector<std::string>& args) { return args; }
}  // namespace qv::adapter
