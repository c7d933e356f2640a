// One Machine and one SilentMachine per window; every pattern's factory is replayed to
// every machine, whichever came first.
#pragma once

#include <memory>
#include <vector>

#include "common/message_window.h"
#include "watch/machine.h"
#include "watch/windows_watcher_implementation.h"

namespace installation_assistant {

class RegularPatternWindowsWatcherImplementation final : public WindowsWatcherImplementation {
 public:
  explicit RegularPatternWindowsWatcherImplementation(std::shared_ptr<MessageWindow> messageWindow);

  void AddPattern(SilentPatternProcessorFactory factory) override;
  void AddPattern(PatternProcessorFactory factory, bool silent) override;
  void AddPattern(std::shared_ptr<Pattern> pixelClickPattern) override;
  bool OnNewWindow(HWND window) override;
  void DropClosedWindows() override;
  void ShutdownMachines() override;

  std::vector<std::shared_ptr<Machine>> Machines() const { return machines_; }
  std::vector<std::shared_ptr<SilentMachine>> SilentMachines() const { return silentMachines_; }

 private:
  struct RegularFactory {
    PatternProcessorFactory factory;
    bool silent;
  };

  std::shared_ptr<MessageWindow> messageWindow_;
  std::vector<std::shared_ptr<Machine>> machines_;
  std::vector<std::shared_ptr<SilentMachine>> silentMachines_;
  std::vector<RegularFactory> regularFactories_;
  std::vector<SilentPatternProcessorFactory> silentFactories_;
};

// Builds a fresh, refreshed snapshot of the window through the root's access type.
ElementResolver MakeElementResolver(HWND window);

}  // namespace installation_assistant
