// For tests of the watcher, the machines and pattern intake: a recording actions processor,
// installer dialogs with an offer check box, and waits that pump the test thread (the engine
// thread) while other threads work.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "actions/pattern_listener.h"
#include "pattern/parser.h"
#include "platform/sim/simwin.h"
#include "platform/win32.h"

namespace installation_assistant::testing {

struct RecordedAction {
  std::string operation;
  std::string path;
  std::string name;
  HWND window = nullptr;
};

class RecordingActionsProcessor final : public IPatternActionsProcessor {
 public:
  // act: carry the state changes out on the control, as the real processor would.
  RecordingActionsProcessor(std::shared_ptr<Pattern> pattern, bool act) : pattern_(std::move(pattern)), act_(act) {}

  ActionResult SetCheckBox(const std::shared_ptr<UIElement>& element) override {
    Record("SetCheckBox", element);
    return act_ ? element->GetCheckBoxPattern()->SetCheckBox() : ActionResult{};
  }
  ActionResult UnsetCheckBox(const std::shared_ptr<UIElement>& element) override {
    Record("UnsetCheckBox", element);
    return act_ ? element->GetCheckBoxPattern()->UnsetCheckBox() : ActionResult{};
  }
  ActionResult SelectRadioButton(const std::shared_ptr<UIElement>& element) override {
    Record("SelectRadioButton", element);
    return act_ ? element->GetRadioButtonPattern()->SelectRadioButton() : ActionResult{};
  }
  ActionResult AssignMessageBox(const std::shared_ptr<UIElement>& element) override {
    Record("AssignMessageBox", element);
    return {};
  }
  ActionResult PushButton(const std::shared_ptr<UIElement>& element) override {
    Record("PushButton", element);
    return act_ ? element->GetPushButtonPattern()->Push() : ActionResult{};
  }
  ActionResult PixelClick(const std::shared_ptr<UIElement>& element, std::uint32_t x, std::uint32_t y,
                          bool isAbsolute) override {
    Record("PixelClick " + std::to_string(x) + " " + std::to_string(y) + (isAbsolute ? " abs" : " pct"), element);
    return {};
  }
  void PatternMatched(const std::shared_ptr<UIElement>&) override { ++matches_; }
  void PatternUpdated(const std::shared_ptr<UIElement>&) override { ++updates_; }
  int GetMatchingResult() override {
    if (matches_ == 0) return 1;
    return static_cast<std::size_t>(matches_.load()) == pattern_->GetRootCount() ? 0 : 3;
  }

  std::vector<RecordedAction> Actions() const {
    std::lock_guard<std::mutex> guard(lock_);
    return actions_;
  }
  int Matches() const { return matches_; }
  int Updates() const { return updates_; }

 private:
  void Record(std::string operation, const std::shared_ptr<UIElement>& element) {
    std::lock_guard<std::mutex> guard(lock_);
    actions_.push_back(
        RecordedAction{std::move(operation), element->GetPath(), element->GetName().GetOr(std::string()), element->GetTreeWindow()});
  }

  std::shared_ptr<Pattern> pattern_;
  bool act_;
  mutable std::mutex lock_;
  std::vector<RecordedAction> actions_;
  std::atomic<int> matches_{0};
  std::atomic<int> updates_{0};
};

// Every actions processor made for the engine or a test factory, by pattern id.
class Recorders {
 public:
  explicit Recorders(bool act = true) : act_(act) {}

  std::shared_ptr<IPatternActionsProcessor> Make(const ActionsProcessorParameters& parameters) {
    auto recorder = std::make_shared<RecordingActionsProcessor>(parameters.pattern, act_);
    std::lock_guard<std::mutex> guard(lock_);
    made_.emplace_back(parameters.patternId, recorder);
    return recorder;
  }
  std::vector<std::shared_ptr<RecordingActionsProcessor>> Of(int patternId) const {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<std::shared_ptr<RecordingActionsProcessor>> found;
    for (const auto& [id, recorder] : made_) {
      if (id == patternId) found.push_back(recorder);
    }
    return found;
  }
  std::vector<RecordedAction> ActionsOf(int patternId) const {
    std::vector<RecordedAction> all;
    for (const auto& recorder : Of(patternId)) {
      for (RecordedAction& action : recorder->Actions()) all.push_back(std::move(action));
    }
    return all;
  }
  std::size_t Count() const {
    std::lock_guard<std::mutex> guard(lock_);
    return made_.size();
  }

 private:
  bool act_;
  mutable std::mutex lock_;
  std::vector<std::pair<int, std::shared_ptr<RecordingActionsProcessor>>> made_;
};

inline std::shared_ptr<Pattern> ParseOrFail(const std::string& text) {
  Option<ParsedPattern> parsed = ParsePattern(text);
  if (parsed.IsNone()) throw std::logic_error("test pattern does not parse: " + text);
  return parsed.Get().pattern;
}

// Pumps this thread's messages (hooks and posted work of the engine thread) until done
// holds. False if it never does within a generous bound, so a broken build fails rather
// than hangs; nothing here measures time.
inline bool PumpUntil(const std::function<bool()>& done, std::chrono::seconds bound = std::chrono::seconds(60)) {
  const auto giveUp = std::chrono::steady_clock::now() + bound;
  MSG message;
  for (;;) {
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) continue;
      DispatchMessageW(&message);
    }
    if (done()) return true;
    if (std::chrono::steady_clock::now() > giveUp) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

enum : int { kOfferBox = 201, kOtherBox = 202, kNextButton = 203 };

// A setup page with a checked offer, a second box and a Next button: in MSAA,
// Window\Pane(0)\CheckBox(0), CheckBox(1), Button(2).
inline simwin::DialogLayout OfferPage(const wchar_t* title = L"Setup", bool visible = true, bool offerEnabled = true) {
  simwin::DialogLayout layout{.title = title, .visible = visible};
  layout.controls = {
      {.style = BS_AUTOCHECKBOX, .text = L"Install the toolbar", .id = kOfferBox, .rect = {10, 10, 200, 30},
       .check = BST_CHECKED, .enabled = offerEnabled},
      {.style = BS_AUTOCHECKBOX, .text = L"Make it my home page", .id = kOtherBox, .rect = {10, 40, 200, 60},
       .check = BST_CHECKED},
      {.style = BS_PUSHBUTTON, .text = L"Next >", .id = kNextButton, .rect = {10, 80, 90, 104}},
  };
  return layout;
}

// Unchecks the offer of OfferPage.
inline constexpr char kUncheckOfferPattern[] =
    "EngineVersion = \"1.5.0.0\"\n"
    "MSAA: Window (text=\"Setup\") { AnyLevel { CheckBox (text=\"Install the toolbar\") { off } } }\n";

}  // namespace installation_assistant::testing
