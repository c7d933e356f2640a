#pragma once

#include <string>

namespace iae_tool {

struct DemoOptions {
  bool notifications = false;  // CreateEngine instead of CreateEngine2
  unsigned int threshold = 2;  // Info
  bool showTrace = false;
  int installerMilliseconds = 400;
  std::string patternFile;
};

// Runs the engine on simwin against a short simulated installer; prints what the host was told.
int RunDemo(const DemoOptions& options);

}  // namespace iae_tool
