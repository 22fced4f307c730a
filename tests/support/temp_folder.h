#pragma once
// A fresh folder of its own for one core test, removed afterwards (write
// permission given back first, so a test may take it away).
#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace qvtest {

class TempFolder {
  public:
    explicit TempFolder(const std::string& tag)
        : path_(std::filesystem::temp_directory_path() / (tag + "_" + std::to_string(::getpid()))) {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string at(const char* name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

}  // namespace qvtest
