// A folder of the test's own in the temporary folder, removed with all it holds.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace iae_tool {

class TempDir {
 public:
  TempDir()
      : path_(std::filesystem::temp_directory_path() /
              ("iae-test-" + std::to_string(::getpid()) + "-" + std::to_string(++made_))) {
    std::filesystem::create_directories(path_);
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  const std::filesystem::path& path() const { return path_; }

  // The file with its folders; its path.
  std::filesystem::path Write(const std::string& name, const std::string& text) const {
    std::filesystem::create_directories((path_ / name).parent_path());
    std::ofstream(path_ / name, std::ios::binary) << text;
    return path_ / name;
  }

 private:
  static inline int made_ = 0;
  std::filesystem::path path_;
};

}  // namespace iae_tool
