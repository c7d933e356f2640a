// What the windows watcher delegates to: one Machine and one SilentMachine per window; every
// pattern's factory is replayed to every machine, whichever came first. Every call is made
// under the watcher's lock.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "common/message_window.h"
#include "pattern/pattern_model.h"
#include "platform/win32.h"
#include "watch/machine.h"
#include "watch/pattern_processor.h"
#include "watch/silent_pattern_processor.h"

namespace installation_assistant {

// Each call makes a fresh processor for one machine.
using PatternProcessorFactory = std::function<std::shared_ptr<PatternProcessor>()>;
using SilentPatternProcessorFactory = std::function<std::shared_ptr<SilentPatternProcessor>()>;

class RegularPatternWindowsWatcherImplementation final {
 public:
  explicit RegularPatternWindowsWatcherImplementation(std::shared_ptr<MessageWindow> messageWindow);

  void AddPattern(SilentPatternProcessorFactory factory);
  void AddPattern(PatternProcessorFactory factory, bool silent);
  // Which machines the window still lacks.
  struct Needs {
    bool machine = false;
    bool silentMachine = false;
    bool Any() const { return machine || silentMachine; }
  };
  Needs NeedsOf(HWND window) const;
  // Given to every machine made from now on (MachineBase::SetWindowGoneHandler).
  void SetWindowGoneHandler(std::function<void()> handler) { windowGone_ = std::move(handler); }
  // Builds what the window lacks from roots made beforehand (CreateMSAARootElement, a call into
  // the window, so made outside the watcher's lock); true when something was built.
  bool OnNewWindow(HWND window, std::shared_ptr<UIElement> root, std::shared_ptr<UIElement> silentRoot);
  void DropClosedWindows();
  // Stops every machine, then waits for them together, at most kMachineShutdownWaitMs in all.
  void ShutdownMachines();

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
  std::function<void()> windowGone_;
};

// Builds a fresh, refreshed snapshot of the window through the root's access type.
ElementResolver MakeElementResolver(HWND window);

}  // namespace installation_assistant
