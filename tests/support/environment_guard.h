#pragma once
// The variables that decide where the program keeps its files, set per test and put back
// afterwards.
#include <array>
#include <cstdlib>
#include <optional>
#include <string>

namespace qvtest {

class EnvironmentGuard {
  public:
    EnvironmentGuard() {
        for (std::size_t i = 0; i < kNames.size(); ++i)
            if (const char* v = std::getenv(kNames[i])) saved_[i] = v;
    }
    ~EnvironmentGuard() {
        for (std::size_t i = 0; i < kNames.size(); ++i) set(kNames[i], saved_[i]);
    }
    EnvironmentGuard(const EnvironmentGuard&) = delete;
    EnvironmentGuard& operator=(const EnvironmentGuard&) = delete;

    static void set(const char* name, const std::optional<std::string>& value) {
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }

  private:
    static constexpr std::array<const char*, 6> kNames = {
        "HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR", "TMPDIR"};
    std::array<std::optional<std::string>, kNames.size()> saved_;
};

}  // namespace qvtest
