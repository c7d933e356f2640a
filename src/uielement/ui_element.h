// One element tree over two accessibility technologies. Matching, the machines, the
// pixel clicks and the actions processor see only what is declared here.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/option.h"
#include "common/subscription.h"
#include "common/text.h"
#include "platform/win32.h"
#include "uielement/element_type.h"

namespace installation_assistant {

struct PatternActionResult {
  // Left empty by both backends; a callable kept for a follow-up step.
  std::function<void()> followUp;
  // True when the action could not be carried out. A control that already has the wanted
  // state is not a failure.
  bool failed = false;
};

class CheckBoxPattern : public std::enable_shared_from_this<CheckBoxPattern> {
 public:
  virtual std::shared_ptr<Subscription> SubscribeStateChanges(WinEventHandler handler) = 0;
  virtual ~CheckBoxPattern() = default;
  virtual PatternActionResult SetCheckBox() = 0;
  virtual PatternActionResult UnsetCheckBox() = 0;
  virtual bool IsChecked() = 0;
  // A three-state box between checked and unchecked: neither of the two.
  virtual bool IsIndeterminate() { return false; }
  // Calls back with each change of this box's own state, once, in order.
  virtual std::shared_ptr<Subscription> SubscribeCheckedChanged(std::function<void(bool)> callback);
};

// Steps a check box (a click, a toggle) until read() shows wanted. A three-state box cycles
// unchecked, checked, indeterminate (BS_AUTO3STATE in Microsoft's button styles; Toggle in its
// control pattern page): one step from checked leaves it indeterminate. Each step is awaited
// (the installer handles it on its own thread) and looked at. A box not changed yet, or gone,
// after a step counts as done: a busy installer may handle it later, and another step could
// undo it. One seen in another state after three steps fails.
PatternActionResult StepCheckBoxUntil(int wanted, const std::function<int()>& read,
                                      const std::function<PatternActionResult()>& step);

class RadioButtonPattern : public std::enable_shared_from_this<RadioButtonPattern> {
 public:
  virtual std::shared_ptr<Subscription> SubscribeStateChanges(WinEventHandler handler) = 0;
  virtual ~RadioButtonPattern() = default;
  virtual PatternActionResult SelectRadioButton() = 0;
  virtual bool IsSelected() = 0;
  virtual std::shared_ptr<Subscription> SubscribeSelectedChanged(std::function<void(bool)> callback);
};

class PushButtonPattern : public std::enable_shared_from_this<PushButtonPattern> {
 public:
  virtual ~PushButtonPattern() = default;
  virtual PatternActionResult Push() = 0;
};

class UIElement : public std::enable_shared_from_this<UIElement> {
 public:
  virtual ~UIElement() = default;

  virtual ElementType GetType() = 0;
  // The window the accessibility layer reports for this element (0 when none); not the
  // tree's top-level window.
  virtual HWND GetWindowHandle() = 0;
  // UTF-8; empty when the element has no name.
  virtual Option<std::string> GetName() = 0;
  // The window this element alone stands for (a control with a window of its own): every event about that window
  // is about this element. 0 when it has none, or shares its container's.
  virtual HWND GetOwnWindowHandle() { return nullptr; }
  virtual RECT GetLocation() = 0;
  virtual RECT GetDPIAwareLocation() = 0;
  virtual std::shared_ptr<Subscription> SubscribeStructureChanges(WinEventHandler handler) = 0;
  virtual std::shared_ptr<CheckBoxPattern> GetCheckBoxPattern() = 0;
  virtual std::shared_ptr<RadioButtonPattern> GetRadioButtonPattern() = 0;
  virtual std::shared_ptr<PushButtonPattern> GetPushButtonPattern() = 0;
  // Children of the kept types, in the accessibility layer's order (a copy of the list).
  virtual std::vector<std::shared_ptr<UIElement>> GetChildren() = 0;
  // Drops the caches, so that the next reads see the live state.
  virtual void Refresh() = 0;
  // Empty at the root; raises "Parent referernce broken." when the parent is gone.
  virtual Option<std::shared_ptr<UIElement>> GetParent() = 0;
  virtual bool IsEnabled() = 0;
  virtual bool IsVisible() = 0;
  // Location of the tree's top-level window, read through MSAA whatever the backend.
  virtual RECT GetWindowLocation();
  // Whether the check box is checked (the radio button selected) as this tree saw it: read once, for matching,
  // which works on one look at the window per pass; the actions read the live state through the patterns. None
  // when the element has no such pattern.
  // Defined here: the pattern model's state checkers call them, and it builds without the backends.
  Option<bool> CheckedAsSeen() {
    if (seenChecked_.IsNone()) seenChecked_ = Option<Option<bool>>::Some(ReadChecked());
    return seenChecked_.Get();
  }
  Option<bool> SelectedAsSeen() {
    if (seenSelected_.IsNone()) seenSelected_ = Option<Option<bool>>::Some(ReadSelected());
    return seenSelected_.Get();
  }
  // This engine has just set the control's state: the state as this look saw it is read again, live.
  void SeeStateAgain(ElementType control);
  // The name as the text conditions compare it, converted once per look rather than once per pattern node.
  const Option<std::wstring>& WideNameAsSeen() {
    if (seenWideName_.IsNone()) {
      const Option<std::string> name = GetName();
      seenWideName_ = Option<Option<std::wstring>>::Some(
          name.IsSome() ? Option<std::wstring>::Some(Utf8ToWide(name.Get())) : Option<std::wstring>::None());
    }
    return seenWideName_.Get();
  }
  // The tree below as the matching traces show it: type names with children in braces, "()" for a childless
  // control, "{}" otherwise. Every pattern's trace shows the same look, so it is built once per look, in the
  // trace's own characters.
  const std::wstring& TreeDescriptionAsSeen();

  // Where the element sits in its tree, e.g. "Window\Pane(0)\Button(3)".
  std::string GetPath() const { return path_; }
  // The top-level window the tree was built for.
  HWND GetTreeWindow() const { return window_; }

 protected:
  UIElement(std::string path, HWND window, std::weak_ptr<UIElement> parent, bool hasParent)
      : path_(std::move(path)), window_(window), parent_(std::move(parent)), hasParent_(hasParent) {}

  // For backends: the parent as the tree holds it (empty at the root).
  const std::weak_ptr<UIElement>& ParentReference() const { return parent_; }
  bool HasParent() const { return hasParent_; }
  // From Refresh: the next reads look again.
  void ForgetSeenStates() {
    seenChecked_ = {};
    seenSelected_ = {};
    seenWideName_ = {};
    seenDescription_ = {};
  }
  // How the states as seen are read: through the patterns, unless a backend has them at hand.
  virtual Option<bool> ReadChecked() {
    const std::shared_ptr<CheckBoxPattern> box = GetCheckBoxPattern();
    return box ? Option<bool>::Some(box->IsChecked()) : Option<bool>::None();
  }
  virtual Option<bool> ReadSelected() {
    const std::shared_ptr<RadioButtonPattern> radio = GetRadioButtonPattern();
    return radio ? Option<bool>::Some(radio->IsSelected()) : Option<bool>::None();
  }

 private:
  const std::string path_;
  const HWND window_;
  const std::weak_ptr<UIElement> parent_;
  const bool hasParent_;
  Option<Option<bool>> seenChecked_;
  Option<Option<bool>> seenSelected_;
  Option<Option<std::wstring>> seenWideName_;
  Option<std::wstring> seenDescription_;
};

// The element's own window handle, else its nearest ancestor's, else 0.
HWND FindWindowHandle(const std::shared_ptr<UIElement>& element);

// The path of a child: parent path + "\" + type name + "(" + index + ")".
std::string ChildPath(const std::string& parentPath, ElementType childType, int index);

// Root elements of a top-level window; raise _com_error when the window cannot be reached.
std::shared_ptr<UIElement> CreateMSAARootElement(HWND window);
std::shared_ptr<UIElement> CreateUIAutomationRootElement(HWND window);
// "Unknown UIAccessType" (std::logic_error) for any other value.
std::shared_ptr<UIElement> CreateRootElement(UIAccessType accessType, HWND window);

}  // namespace installation_assistant
