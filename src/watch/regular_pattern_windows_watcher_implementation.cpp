#include "watch/regular_pattern_windows_watcher_implementation.h"

#include <algorithm>
#include <utility>

#include "common/trace.h"

namespace installation_assistant {

ElementResolver MakeElementResolver(HWND window) {
  return [window](const Option<PatternRoot>& root) -> Option<std::shared_ptr<UIElement>> {
    if (root.IsNone()) return Option<std::shared_ptr<UIElement>>::None();
    // A new root is a fresh snapshot: UI Automation builds its cache as it makes it, MSAA reads on demand. A
    // refresh on top would build UI Automation's whole cache a second time.
    TRACE(Debug) << "UpdateSnapshot started";
    std::shared_ptr<UIElement> element = CreateRootElement(root.Get().accessType, window);
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

RegularPatternWindowsWatcherImplementation::Needs RegularPatternWindowsWatcherImplementation::NeedsOf(
    HWND window) const {
  const auto hasWindow = [window](const auto& machine) { return machine->Window() == window; };
  Needs needs;
  needs.machine = std::none_of(machines_.begin(), machines_.end(), hasWindow);
  needs.silentMachine = std::none_of(silentMachines_.begin(), silentMachines_.end(), hasWindow);
  return needs;
}

bool RegularPatternWindowsWatcherImplementation::OnNewWindow(HWND window, std::shared_ptr<UIElement> root,
                                                             std::shared_ptr<UIElement> silentRoot) {
  const Needs needs = NeedsOf(window);
  const bool needsMachine = needs.machine && root != nullptr;
  const bool needsSilentMachine = needs.silentMachine && silentRoot != nullptr;

  if (needsMachine) {
    std::shared_ptr<Machine> machine =
        Machine::Create(window, std::move(root), MakeElementResolver(window), messageWindow_);
    machine->SetWindowGoneHandler(windowGone_);
    std::vector<Machine::Entry> entries;
    for (const RegularFactory& entry : regularFactories_) entries.push_back({entry.factory(), entry.silent});
    machine->AddPatterns(std::move(entries));
    machines_.push_back(std::move(machine));
    TRACE(Info) << "Machine created.";
  }
  if (needsSilentMachine) {
    std::shared_ptr<SilentMachine> machine =
        SilentMachine::Create(window, std::move(silentRoot), MakeElementResolver(window), messageWindow_);
    machine->SetWindowGoneHandler(windowGone_);
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
  std::vector<std::shared_ptr<MachineBase>> all(machines_.begin(), machines_.end());
  all.insert(all.end(), silentMachines_.begin(), silentMachines_.end());
  for (const std::shared_ptr<MachineBase>& machine : all) machine->BeginShutdown();
  const DWORD start = GetTickCount();
  for (const std::shared_ptr<MachineBase>& machine : all) {
    const DWORD elapsed = GetTickCount() - start;
    machine->FinishShutdown(elapsed >= kMachineShutdownWaitMs ? 0 : kMachineShutdownWaitMs - elapsed);
  }
}

}  // namespace installation_assistant
