// What the windows watcher delegates to: which windows get machines and which patterns
// those machines run. Every call is made under the watcher's lock.
#pragma once

#include <functional>
#include <memory>

#include "pattern/pattern_model.h"
#include "platform/win32.h"
#include "watch/pattern_processor.h"
#include "watch/silent_pattern_processor.h"

namespace installation_assistant {

// Each call makes a fresh processor for one machine.
using PatternProcessorFactory = std::function<std::shared_ptr<PatternProcessor>()>;
using SilentPatternProcessorFactory = std::function<std::shared_ptr<SilentPatternProcessor>()>;

class WindowsWatcherImplementation {
 public:
  virtual ~WindowsWatcherImplementation() = default;
  virtual void AddPattern(SilentPatternProcessorFactory factory) = 0;
  virtual void AddPattern(PatternProcessorFactory factory, bool silent) = 0;
  // Pixel-click patterns: no pattern is dispatched this way.
  virtual void AddPattern(std::shared_ptr<Pattern> pixelClickPattern) = 0;
  // True when the window was new to the strategy and something was built for it.
  virtual bool OnNewWindow(HWND window) = 0;
  virtual void DropClosedWindows() = 0;
  virtual void ShutdownMachines() = 0;
};

// After shutdown: everything is accepted and nothing happens.
class StoppedWindowsWatcherImplementation final : public WindowsWatcherImplementation {
 public:
  void AddPattern(SilentPatternProcessorFactory) override {}
  void AddPattern(PatternProcessorFactory, bool) override {}
  void AddPattern(std::shared_ptr<Pattern>) override {}
  bool OnNewWindow(HWND) override { return false; }
  void DropClosedWindows() override {}
  void ShutdownMachines() override {}
};

}  // namespace installation_assistant
