// Reading a whole input file of the tool: a pattern, a scenario, an icon.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <system_error>

namespace iae_tool {

// Larger than any pattern, scenario or icon; a file past it is refused rather than read.
inline constexpr std::uintmax_t kMaxInputBytes = 16u * 1024 * 1024;

// Reads the file into text; on failure returns why ("no such file", "it is a directory", ...)
// and leaves text empty. Only regular files are read: a directory makes the stream throw,
// and a device such as /dev/zero never ends.
inline std::string ReadFileText(const std::filesystem::path& path, std::string& text) {
  text.clear();
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (status.type() == std::filesystem::file_type::not_found) return "no such file";
  if (error) return error.message();
  if (std::filesystem::is_directory(status)) return "it is a directory";
  if (!std::filesystem::is_regular_file(status)) return "not a regular file";
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error) return error.message();
  if (size > kMaxInputBytes) return "larger than " + std::to_string(kMaxInputBytes / (1024 * 1024)) + " MiB";
  std::ifstream in(path, std::ios::binary);
  if (!in) return "cannot be opened";
  try {
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  } catch (const std::exception& failure) {
    text.clear();
    return failure.what();
  }
  if (in.bad()) {
    text.clear();
    return "read error";
  }
  return {};
}

// As ReadFileText, but "-" reads standard input (in) to its end.
inline std::string ReadInputText(const std::string& path, std::istream& in, std::string& text) {
  if (path != "-") return ReadFileText(path, text);
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return in.bad() ? "read error" : "";
}

// How messages name an input: standard input is "<stdin>", as compilers write it.
inline std::string InputName(const std::string& path) { return path == "-" ? "<stdin>" : path; }

}  // namespace iae_tool
