// Gives the core tests the program and source folders when ctest did not.
#include <cstdlib>

namespace {
const bool g_envSet = [] {
    setenv("QV_PROGRAM_DIR", QV_PROGRAM_DIR_DEFAULT, 0);
    setenv("QV_SOURCE_DIR", QV_SOURCE_DIR_DEFAULT, 0);
    return true;
}();
}  // namespace
