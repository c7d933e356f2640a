// The engine version a pattern was written for.
#pragma once

#include <cstdint>
#include <string>

namespace installation_assistant {

struct PatternVersion {
  std::int32_t major = 0;
  std::int32_t minor = 0;
  std::int32_t build = 0;
  std::int32_t revision = 0;

  // The four numbers in decimal joined by ".", e.g. "1.5.0.0".
  std::string ToString() const;

  friend bool operator==(const PatternVersion&, const PatternVersion&) = default;
};

// The highest (major, minor) this engine runs; build and revision are not compared.
inline constexpr std::int32_t kSupportedPatternMajor = 1;
inline constexpr std::int32_t kSupportedPatternMinor = 5;

bool IsSupportedPatternVersion(const PatternVersion& version);

}  // namespace installation_assistant
