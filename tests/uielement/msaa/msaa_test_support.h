// Shared by the tests of both backends: a simulated installer with a setup dialog, COM for the test thread, a text
// form of element trees for comparing whole trees at once, and what an action raises.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "common/handles.h"
#include "common/raised.h"
#include "common/trace_capture.h"
#include "platform/sim/simwin.h"
#include "uielement/ui_element.h"

namespace installation_assistant::testing {

enum ControlId : int { kIntro = 100, kOffers, kToolbarOffer, kHomepageOffer, kExpress, kCustom, kFolder, kHiddenOffer };
constexpr int kNext = IDOK, kCancel = IDCANCEL;

inline simwin::ControlLayout Control(const wchar_t* className, DWORD style, const wchar_t* text, int id,
                                     UINT check = BST_UNCHECKED, bool visible = true) {
  return {.className = className,
          .style = style,
          .text = text,
          .id = id,
          .rect = RECT{10, 10 + 30 * (id % 100), 300, 34 + 30 * (id % 100)},
          .check = check,
          .visible = visible};
}

inline simwin::AccNode Node(LONG role, std::wstring name = {}, LONG state = STATE_SYSTEM_NORMAL) {
  return {.role = role, .name = std::move(name), .state = state};
}

inline simwin::AccNode WithChildren(simwin::AccNode node, std::vector<simwin::AccNode> children) {
  node.children = std::move(children);
  return node;
}

inline simwin::AccNode Simple(simwin::AccNode node) {
  node.simple = true;
  return node;
}

// What a bundling installer's options page looks like.
inline simwin::DialogLayout SetupDialogLayout() {
  simwin::DialogLayout layout;
  layout.title = L"Setup - Example App";
  layout.controls = {
      Control(L"Static", SS_LEFT, L"Choose the components to install:", kIntro),
      Control(L"Button", BS_GROUPBOX, L"Optional offers", kOffers),
      Control(L"Button", BS_AUTOCHECKBOX | WS_TABSTOP, L"Install the &SpeedBar toolbar", kToolbarOffer, BST_CHECKED),
      Control(L"Button", BS_AUTOCHECKBOX | WS_TABSTOP, L"Make SearchPage my home page", kHomepageOffer, BST_CHECKED),
      Control(L"Button", BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP, L"&Express installation", kExpress, BST_CHECKED),
      Control(L"Button", BS_AUTORADIOBUTTON, L"&Custom installation", kCustom),
      Control(L"Edit", ES_LEFT | WS_GROUP, L"C:\\Program Files\\Example App", kFolder),
      Control(L"Button", BS_AUTOCHECKBOX, L"Hidden offer", kHiddenOffer, BST_CHECKED, false),
      Control(L"Button", BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP, L"&Next >", kNext),
      Control(L"Button", BS_PUSHBUTTON | WS_TABSTOP, L"Cancel", kCancel),
  };
  return layout;
}

// A custom-drawn offer page that serves its own UI Automation provider: the page's window is a dialog without child
// windows. Keys name the elements for simwin's driving API.
inline simwin::DialogLayout DrawnDialogLayout() {
  simwin::DialogLayout layout;
  layout.title = L"Sample Partner offer";
  return layout;
}
inline const RECT kSpeedBarBounds{120, 150, 480, 170};
inline simwin::UiaNode DrawnOfferTree() {
  auto box = [](const wchar_t* key, const wchar_t* name, ToggleState state) {
    return simwin::UiaNode{.key = key, .controlType = UIA_CheckBoxControlTypeId, .name = name, .toggle = state};
  };
  auto radio = [](const wchar_t* key, const wchar_t* name, bool selected) {
    return simwin::UiaNode{.key = key, .controlType = UIA_RadioButtonControlTypeId, .name = name, .selected = selected};
  };
  simwin::UiaNode speedbar = box(L"speedbar", L"Install SpeedBar", ToggleState_On);
  speedbar.bounds = kSpeedBarBounds;
  simwin::UiaNode cleaner = box(L"cleaner", L"Install Sample Cleaner", ToggleState_Indeterminate);
  cleaner.threeState = true;
  simwin::UiaNode locked = box(L"locked", L"Locked offer", ToggleState_On);
  locked.enabled = false;
  simwin::UiaNode hidden = box(L"hidden", L"Hidden offer", ToggleState_On);
  hidden.offscreen = true;
  return {.children = {
              {.controlType = UIA_TextControlTypeId, .name = L"Get more with Sample Partner:"},
              {.controlType = UIA_ImageControlTypeId, .name = L"Logo"},
              {.controlType = UIA_PaneControlTypeId,
               .name = L"Offers",
               .children = {speedbar, cleaner, locked,
                            {.controlType = UIA_GroupControlTypeId,
                             .name = L"Edition",
                             .children = {radio(L"inside", L"Inside a group", false)}}}},
              radio(L"express", L"Express", true),
              radio(L"custom", L"Custom", false),
              hidden,
              {.key = L"next", .controlType = UIA_ButtonControlTypeId, .name = L"Next", .invoke = true},
          }};
}

// Trace records at exactly this level that contain the text.
inline std::size_t CountTraces(const simwin::RecordingHost& host, TraceLevel level, std::wstring_view text) {
  std::size_t count = 0;
  for (const auto& call : host.CallsOf(simwin::HostCall::Kind::TraceWrite)) {
    if (call.level == static_cast<int>(level) && call.trace.find(text) != std::wstring::npos) ++count;
  }
  return count;
}

// One line per element, depth first: path, then the name in quotes (or "-").
inline std::vector<std::string> DumpTree(const std::shared_ptr<UIElement>& root) {
  std::vector<std::string> lines;
  std::function<void(const std::shared_ptr<UIElement>&)> dump = [&](const auto& element) {
    Option<std::string> name = element->GetName();
    lines.push_back(element->GetPath() + " " + (name.IsSome() ? "'" + name.Get() + "'" : "-"));
    for (const auto& child : element->GetChildren()) dump(child);
  };
  dump(root);
  return lines;
}

// The child at the end of a path of child indices.
inline std::shared_ptr<UIElement> ChildAt(std::shared_ptr<UIElement> element, const std::vector<int>& indices) {
  for (int index : indices) {
    auto children = element->GetChildren();
    if (index >= static_cast<int>(children.size())) {
      ADD_FAILURE() << element->GetPath() << " has no child " << index;
      return nullptr;
    }
    element = children[static_cast<std::size_t>(index)];
  }
  return element;
}

inline RECT WindowRect(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return rect;
}
inline auto Edges(const RECT& r) { return std::make_tuple(r.left, r.top, r.right, r.bottom); }

class SetupDialogTest : public ::testing::Test {
 protected:
  void TearDown() override {
    simwin::ClearAccessibilityFaults();
    root_.reset();
    installer_.Exit();
    // Nothing the backend took from the accessibility layer is still held.
    EXPECT_EQ(simwin::LiveBstrCount(), 0);
  }

  simwin::Dialog OpenSetupDialog(simwin::DialogLayout layout = SetupDialogLayout()) {
    dialog_ = simwin::CreateDialogFromLayout(installer_, layout);
    return dialog_;
  }
  // After this, everything the installer's UI thread was asked to do has been done.
  void Settle() {
    installer_.Invoke([] {});
  }
  UINT Check(int id) const { return simwin::CheckState(dialog_.Control(id)); }
  std::size_t Traced(TraceLevel level, const wchar_t* text) const { return CountTraces(host_, level, text); }

  simwin::RecordingHost host_;
  TraceCapture capture_{host_};
  ComInitialization com_{COINIT_MULTITHREADED};
  simwin::Process installer_;
  simwin::Dialog dialog_;
  std::shared_ptr<UIElement> root_;
};

}  // namespace installation_assistant::testing
