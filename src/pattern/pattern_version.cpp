#include "pattern/pattern_version.h"

namespace installation_assistant {

std::string PatternVersion::ToString() const {
  return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(build) + "." +
         std::to_string(revision);
}

bool IsSupportedPatternVersion(const PatternVersion& version) {
  if (version.major != kSupportedPatternMajor) return version.major < kSupportedPatternMajor;
  return version.minor <= kSupportedPatternMinor;
}

}  // namespace installation_assistant
