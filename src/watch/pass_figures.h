// Figures of the matching passes per window, for the tools that measure the engine (`iae sim run --stats`, the
// benchmarks). Kept only while a tool asks for them: the engine itself never reads them.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>

#include "platform/win32.h"

namespace installation_assistant {

struct PassFigures {
  std::uint64_t passes = 0;
  std::uint64_t microseconds = 0;
  std::uint64_t longestMicroseconds = 0;
  // Elements the passes' walks kept (a pass on the echo of its machine's own changes walks none anew).
  std::uint64_t elements = 0;
};

// Starts (and empties) or stops the keeping.
void KeepPassFigures(bool keep);
std::map<HWND, PassFigures> TakePassFigures();

// Times one pass on the calling thread and counts the elements its walks keep.
class PassMeter {
 public:
  explicit PassMeter(HWND window);
  ~PassMeter();
  PassMeter(const PassMeter&) = delete;
  PassMeter& operator=(const PassMeter&) = delete;

 private:
  HWND window_;
  bool kept_;
  long elementsBefore_ = 0;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace installation_assistant
