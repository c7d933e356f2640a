#include "watch/regular_pattern_windows_watcher_implementation.h"

#include <algorithm>
#include <utility>

#include "common/trace.h"

namespace installation_assistant {

ElementResolver MakeElementResolver(HWND window) {
  return [window](const Option<PatternRoot>& root) -> Option<std::shared_ptr<UIElement>> {
    if (root.IsNone()) return Option<std::shared_ptr<UIElement>>::None();
    std::shared_ptr<UIElement> element = CreateRootElement(root.Get().accessType, window);
    TRACE(Debug) << "UpdateSnapshot started";
    element->Refresh();
    TRACE(Debug) << "UpdateSnapshot finished";
    return Option<std::shared_ptr<UIElement>>::Some(std::move(element));
  };
}

RegularPatternWindowsWatcherImplementation::RegularPatternWindowsWatcherImplementation(
    std::shared_ptr<MessageWindow> messageWindow)
    : messageWindow_(std::move(messageWindow)) {}

void RegularPatternWindowsWatcherImplementation::AddPattern(SilentPatternProcessorFactory factory) {
  silentFactories_.push_back(factory);
  for (const std::shared_ptr<SilentMachine>& machine : silentMachines_) machine->AddPattern(factory());
}

void RegularPatternWindowsWatcherImplementation::AddPattern(PatternProcessorFactory factory, bool silent) {
  regularFactories_.push_back(RegularFactory{factory, silent});
  for (const std::shared_ptr<Machine>& machine : machines_) machine->AddPattern(factory(), silent);
}

bool RegularPatternWindowsWatcherImplementation::OnNewWindow(HWND window) {
  const auto hasWindow = [window](const auto& machine) { return machine->Window() == window; };
  const bool needsMachine = std::none_of(machines_.begin(), machines_.end(), hasWindow);
  const bool needsSilentMachine = std::none_of(silentMachines_.begin(), silentMachines_.end(), hasWindow);

  if (needsMachine) {
    std::shared_ptr<Machine> machine =
        Machine::Create(window, CreateMSAARootElement(window), MakeElementResolver(window), messageWindow_);
    std::vector<Machine::Entry> entries;
    for (const RegularFactory& entry : regularFactories_) entries.push_back({entry.factory(), entry.silent});
    machine->AddPatterns(std::move(entries));
    machines_.push_back(std::move(machine));
    TRACE(Info) << "Machine created.";
  }
  if (needsSilentMachine) {
    std::shared_ptr<SilentMachine> machine =
        SilentMachine::Create(window, CreateMSAARootElement(window), MakeElementResolver(window), messageWindow_);
    std::vector<std::shared_ptr<SilentPatternProcessor>> processors;
    for (const SilentPatternProcessorFactory& factory : silentFactories_) processors.push_back(factory());
    machine->AddPatterns(std::move(processors));
    silentMachines_.push_back(std::move(machine));
    TRACE(Info) << "Silent machine created.";
  }
  return needsMachine || needsSilentMachine;
}

namespace {

template <typename MachinePointer>
void DropClosed(std::vector<MachinePointer>& machines) {
  // One look per machine: a window that closes during the walk waits for the next pass
  // rather than being dropped without its shutdown.
  std::erase_if(machines, [](const MachinePointer& machine) {
    if (IsWindow(machine->Window())) return false;
    machine->Shutdown();
    return true;
  });
}

}  // namespace

void RegularPatternWindowsWatcherImplementation::DropClosedWindows() {
  DropClosed(machines_);
  DropClosed(silentMachines_);
}

void RegularPatternWindowsWatcherImplementation::ShutdownMachines() {
  for (const std::shared_ptr<Machine>& machine : machines_) machine->Shutdown();
  for (const std::shared_ptr<SilentMachine>& machine : silentMachines_) machine->Shutdown();
}

}  // namespace installation_assistant
