#include "uielement/ui_element.h"

#include <stdexcept>

#include "common/scope_guard.h"
#include "common/trace.h"

namespace installation_assistant {

void UIElement::SeeStateAgain(ElementType control) {
  if (control == ElementType::CheckBox) {
    const std::shared_ptr<CheckBoxPattern> box = GetCheckBoxPattern();
    seenChecked_ = Option<Option<bool>>::Some(box ? Option<bool>::Some(box->IsChecked()) : Option<bool>::None());
  } else if (control == ElementType::RadioButton) {
    const std::shared_ptr<RadioButtonPattern> radio = GetRadioButtonPattern();
    seenSelected_ =
        Option<Option<bool>>::Some(radio ? Option<bool>::Some(radio->IsSelected()) : Option<bool>::None());
  }
}

const std::wstring& UIElement::TreeDescriptionAsSeen() {
  if (seenDescription_.IsNone()) {
    std::wstring description = Utf8ToWide(ElementTypeName(GetType()));
    const std::vector<std::shared_ptr<UIElement>> children = GetChildren();
    if (!children.empty()) {
      description += L"{";
      for (const auto& child : children) description += child->TreeDescriptionAsSeen();
      description += L"}";
    } else {
      description += IsControlType(GetType()) ? L"()" : L"{}";
    }
    seenDescription_ = Option<std::wstring>::Some(std::move(description));
  }
  return seenDescription_.Get();
}

PatternActionResult StepCheckBoxUntil(int wanted, const std::function<int()>& read,
                                      const std::function<PatternActionResult()>& step) {
  constexpr DWORD kSettleMs = 1000;
  constexpr DWORD kPollMs = 5;
  for (int steps = 0; steps < 3; ++steps) {
    const int before = read();
    PatternActionResult result = step();
    if (result.failed) return result;
    int now = before;
    try {
      for (DWORD waited = 0; now == before && waited < kSettleMs; waited += kPollMs) {
        Sleep(kPollMs);
        now = read();
      }
    } catch (...) {
      TRACE(Info) << "Check box gone after a step; taken as done";
      return {};
    }
    if (now == before) {
      TRACE(Info) << "Check box not changed yet after a step; taken as done";
      return {};
    }
    if (now == wanted) return {};
  }
  TRACE(Warning) << "Check box never reached the wanted state";
  PatternActionResult failed;
  failed.failed = true;
  return failed;
}
namespace {

// The state change events of a process come from any of its controls; the callback sees
// only real changes of this one control, each once.
//
// Reading the state waits on the installer's UI thread, and the engine thread handles the
// next event meanwhile: a read started inside that wait would report first and the older
// outer read after it, leaving the last report stale. So an event that arrives during a read
// only asks the running read to look once more when it is done. Handlers run on the engine
// thread only, so the flags need no lock.
struct OwnStateWatch {
  bool lastKnown = false;
  bool reading = false;
  bool readAgain = false;
};

template <typename Pattern, typename ReadState>
std::shared_ptr<Subscription> SubscribeOwnStateChanges(Pattern& pattern, ReadState readState,
                                                       std::function<void(bool)> callback) {
  auto watch = std::make_shared<OwnStateWatch>();
  std::shared_ptr<Pattern> self = std::static_pointer_cast<Pattern>(pattern.shared_from_this());
  // Compares with the last known state and reports a change; looks again while events came
  // in during the read.
  auto readAndReport = [self, watch, readState, callback = std::move(callback)] {
    watch->reading = true;
    ScopeGuard done([&watch] { watch->reading = false; });
    do {
      watch->readAgain = false;
      const bool state = readState(*self);
      if (state == watch->lastKnown) continue;
      watch->lastKnown = state;
      callback(state);
    } while (watch->readAgain);
  };
  // Hook first, then the first read: a change made before the hook was set is part of that
  // first state, and every change after it raises an event that the hook sees. Read before
  // the hook, a change in between would be missed and the next one taken for no change.
  watch->reading = true;
  std::shared_ptr<Subscription> subscription = pattern.SubscribeStateChanges([watch, readAndReport](DWORD, HWND) {
    if (watch->reading) {
      watch->readAgain = true;
      return;
    }
    readAndReport();
  });
  {
    ScopeGuard done([&watch] { watch->reading = false; });
    watch->readAgain = false;
    watch->lastKnown = readState(pattern);
  }
  // An event during the first read may describe a state newer than the one read.
  if (watch->readAgain) readAndReport();
  return subscription;
}

}  // namespace

std::shared_ptr<Subscription> CheckBoxPattern::SubscribeCheckedChanged(std::function<void(bool)> callback) {
  return SubscribeOwnStateChanges(*this, [](CheckBoxPattern& p) { return p.IsChecked(); }, std::move(callback));
}

std::shared_ptr<Subscription> RadioButtonPattern::SubscribeSelectedChanged(std::function<void(bool)> callback) {
  return SubscribeOwnStateChanges(*this, [](RadioButtonPattern& p) { return p.IsSelected(); }, std::move(callback));
}

RECT UIElement::GetWindowLocation() { return CreateMSAARootElement(window_)->GetLocation(); }

HWND FindWindowHandle(const std::shared_ptr<UIElement>& element) {
  std::shared_ptr<UIElement> current = element;
  while (current) {
    if (HWND window = current->GetWindowHandle()) return window;
    Option<std::shared_ptr<UIElement>> parent = current->GetParent();
    if (parent.IsNone()) return nullptr;
    current = parent.Get();
  }
  return nullptr;
}

std::string ChildPath(const std::string& parentPath, ElementType childType, int index) {
  return parentPath + "\\" + ElementTypeName(childType) + "(" + std::to_string(index) + ")";
}

std::shared_ptr<UIElement> CreateRootElement(UIAccessType accessType, HWND window) {
  switch (accessType) {
    case UIAccessType::MSAA:
      return CreateMSAARootElement(window);
    case UIAccessType::UIAutomation:
      return CreateUIAutomationRootElement(window);
  }
  throw std::logic_error("Unknown UIAccessType");
}

}  // namespace installation_assistant
