// Splitting one fuzz input into the pieces a target needs. Plain C++ (no libFuzzer header), so that the same
// targets build with GCC for the corpus replays.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace iae_fuzz {

// Reads from the front; past the end every read gives zero or empty, so that any input is usable.
class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size) : rest_(reinterpret_cast<const char*>(data), size) {}

  std::uint8_t Byte() {
    if (rest_.empty()) return 0;
    const auto value = static_cast<std::uint8_t>(rest_.front());
    rest_.remove_prefix(1);
    return value;
  }
  int Int() {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = (value << 8) | Byte();
    return static_cast<int>(value);
  }
  // Up to the next NUL (dropped) or the end: a C string field can hold nothing else.
  std::string Field() {
    const std::size_t end = rest_.find('\0');
    std::string field(rest_.substr(0, end));
    rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
    return field;
  }
  std::string_view Rest() {
    const std::string_view rest = rest_;
    rest_ = {};
    return rest;
  }

 private:
  std::string_view rest_;
};

}  // namespace iae_fuzz
