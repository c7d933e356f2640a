// The element interface: what any check box pattern reports, both backends over the same dialogs with the same
// expectations wherever they behave alike, and MSAA's own elements (UI Automation's are in uia/).
#include "uielement/ui_element.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/subscription.h"
#include "uielement/msaa/msaa_element.h"
#include "uielement/msaa/msaa_test_support.h"
#include "uielement/msaa/msaa_ui_element.h"
#include "uielement/uia/uia_ui_element.h"
#include "watch/engine_thread.h"

namespace installation_assistant {
namespace {

using namespace testing;

// A check box whose reads are scripted: each read may change the box and deliver further
// events before it returns, as the engine thread does while it waits on the installer.
class ScriptedBox final : public CheckBoxPattern {
 public:
  std::shared_ptr<Subscription> SubscribeStateChanges(WinEventHandler handler) override {
    handler_ = std::move(handler);
    if (whileHooking) std::exchange(whileHooking, nullptr)();
    return nullptr;
  }
  PatternActionResult SetCheckBox() override { return {}; }
  PatternActionResult UnsetCheckBox() override { return {}; }
  bool IsChecked() override {
    const bool seen = state;
    if (duringNextRead) std::exchange(duringNextRead, nullptr)();
    return seen;
  }
  void Event() { handler_(EVENT_OBJECT_STATECHANGE, nullptr); }
  // The handler holds the pattern, as a real subscription's registry entry does until the
  // subscription ends; ending it here breaks that cycle.
  void EndSubscription() { handler_ = nullptr; }

  bool state = false;
  std::function<void()> duringNextRead;
  // Runs once the hook is set, before the subscription returns.
  std::function<void()> whileHooking;

 private:
  WinEventHandler handler_;
};

// Runs a script on the box, one character a step: '1' / '0' the box becomes checked / unchecked, 'e' a state event
// arrives; "r(...)" makes the steps in brackets run during the box's next read, "h(...)" once the hook is set.
void RunScript(ScriptedBox& box, const std::string& script) {
  for (std::size_t i = 0; i < script.size(); ++i) {
    if (script[i] == '1' || script[i] == '0') {
      box.state = script[i] == '1';
    } else if (script[i] == 'e') {
      box.Event();
    } else {
      std::size_t end = i + 2;  // past the closing bracket
      for (int open = 1; open > 0; ++end) open += script[end] == '(' ? 1 : script[end] == ')' ? -1 : 0;
      const std::string inner = script.substr(i + 2, end - i - 3);
      (script[i] == 'r' ? box.duringNextRead : box.whileHooking) = [&box, inner] { RunScript(box, inner); };
      i = end - 1;
    }
  }
}

// Events may be for another control, repeat a state, or arrive while the box is read; the engine's own change may race
// with the subscription that it posts to another thread. The host hears each real change once, in order, and ends up
// told the state the box is in.
TEST(SubscribeCheckedChanged, ReportsEachRealChangeOnceAndInventsNone) {
  const struct Case {
    const char* name;
    std::string before, after;  // scripts run before and after subscribing
    std::vector<bool> reported;
  } cases[] = {
      {"another control's event, then the same state twice", "", "e1ee0e", {true, false}},
      {"checked and unchecked before the handler runs", "", "10ee", {}},
      {"unchecked again while the engine reads it", "", "1r(0e)e", {true, false}},
      {"engine's uncheck before the hook took effect, then the user's check", "1h(0)", "1e", {true}},
      {"engine's uncheck, then the user's check during the first read", "1h(0r(1e))", "", {true}},
  };
  for (const Case& c : cases) {
    auto box = std::make_shared<ScriptedBox>();
    RunScript(*box, c.before);
    std::vector<bool> reported;
    box->SubscribeCheckedChanged([&](bool checked) { reported.push_back(checked); });
    RunScript(*box, c.after);
    EXPECT_EQ(reported, c.reported) << c.name;
    box->EndSubscription();
  }
}

// --- Both backends over the setup dialog --------------------------------------------------------------------------

struct Backend {
  const char* name;
  std::shared_ptr<UIElement> (*create)(HWND);
  // Child indices from the root to the element that holds the dialog's controls: MSAA flattens them into the dialog's
  // pane, UI Automation's raw view has them right under the window (the hidden offer too, off screen).
  std::vector<int> container;
  std::vector<int> controls;  // the ids of the controls it holds, in order
};

void PrintTo(const Backend& backend, std::ostream* out) { *out << backend.name; }

const Backend kMSAA{
    "MSAA", &CreateMSAARootElement, {0}, {kIntro, kToolbarOffer, kHomepageOffer, kExpress, kCustom, kNext, kCancel}};
const Backend kUIA{"UIAutomation",
                   &CreateUIAutomationRootElement,
                   {},
                   {kIntro, kToolbarOffer, kHomepageOffer, kExpress, kCustom, kHiddenOffer, kNext, kCancel}};

class BackendTest : public SetupDialogTest, public ::testing::WithParamInterface<Backend> {
 protected:
  void SetUp() override {
    OpenSetupDialog();
    root_ = GetParam().create(dialog_.hwnd);
  }
  bool IsMSAA() const { return GetParam().create == kMSAA.create; }
  std::shared_ptr<UIElement> Container() { return ChildAt(root_, GetParam().container); }
  std::shared_ptr<UIElement> Element(int id) {
    const auto& ids = GetParam().controls;
    const auto at = std::find(ids.begin(), ids.end(), id);
    if (at == ids.end()) ADD_FAILURE() << "control " << id << " is not in the tree";
    return at == ids.end() ? nullptr : ChildAt(Container(), {static_cast<int>(at - ids.begin())});
  }
  // Exactly this trace, if any.
  void ExpectOnlyTrace(TraceLevel level, const wchar_t* text, std::size_t times = 1) {
    EXPECT_EQ(host_.CallsOf(simwin::HostCall::Kind::TraceWrite).size(), text ? times : 0u) << host_.FormatCalls(true);
    if (text) {
      EXPECT_EQ(Traced(level, text), times);
    }
  }
};

INSTANTIATE_TEST_SUITE_P(Backends, BackendTest, ::testing::Values(kMSAA, kUIA),
                         [](const auto& info) { return std::string(info.param.name); });

// Every control the tree keeps is its own window's element in the dialog's tree, enabled, visible unless its window is
// hidden, and located at its window (the window location is the
// dialog's, whatever the element). MSAA cannot convert oleacc's proxies to UI Automation elements for the DPI-aware
// location: it traces that and falls back to the control's own window.
TEST_P(BackendTest, SetupDialogElementsStandForTheirControls) {
  EXPECT_EQ(root_->GetWindowHandle(), dialog_.hwnd);
  EXPECT_EQ(Container()->GetWindowHandle(), dialog_.hwnd);
  ASSERT_EQ(Container()->GetChildren().size(), GetParam().controls.size());
  std::size_t located = 0;
  for (int id : GetParam().controls) {
    SCOPED_TRACE(id);
    auto element = Element(id);
    EXPECT_EQ(element->GetWindowHandle(), dialog_.Control(id));
    EXPECT_EQ(element->GetTreeWindow(), dialog_.hwnd);
    EXPECT_TRUE(element->IsEnabled());
    EXPECT_EQ(element->IsVisible(), id != kHiddenOffer);
    if (id == kHiddenOffer) continue;
    EXPECT_EQ(Edges(element->GetLocation()), Edges(WindowRect(dialog_.Control(id))));
    EXPECT_EQ(Edges(element->GetDPIAwareLocation()), Edges(WindowRect(dialog_.Control(id))));
    EXPECT_EQ(Edges(element->GetWindowLocation()), Edges(WindowRect(dialog_.hwnd)));
    ++located;
  }
  EXPECT_EQ(Traced(TraceLevel::Error,
                   L"MSAAUIElement::GetDPIAwareLocation\tCannot convert IAccessible to UI Automation element80070057"),
            IsMSAA() ? located : 0u)
      << host_.FormatCalls(true);
}

TEST_P(BackendTest, CachesAreDroppedOnlyByRefresh) {
  auto box = Element(kToolbarOffer);
  ASSERT_EQ(box->GetName().Get(), "Install the SpeedBar toolbar");
  const std::size_t children = Container()->GetChildren().size();
  const HWND boxWindow = dialog_.Control(kToolbarOffer);
  const bool checked = simwin::CheckState(boxWindow) == BST_CHECKED;
  installer_.Invoke([&] {
    SetWindowTextW(boxWindow, L"Renamed offer");
    EnableWindow(boxWindow, FALSE);
    SendMessageW(boxWindow, BM_SETCHECK, checked ? BST_UNCHECKED : BST_CHECKED, 0);
    ShowWindow(dialog_.Control(kHiddenOffer), SW_SHOW);
    DestroyWindow(dialog_.Control(kCancel));
  });
  simwin::ResetAccessibilityCallCount();
  EXPECT_EQ(box->GetName().Get(), "Install the SpeedBar toolbar");
  EXPECT_EQ(box->CheckedAsSeen().Get(), checked) << "matching reads the state the look saw";
  EXPECT_EQ(Container()->GetChildren().size(), children);
  EXPECT_EQ(simwin::AccessibilityCallCount(), 0u) << "all from the look";
  EXPECT_FALSE(box->IsEnabled());  // states are read live

  box->Refresh();
  EXPECT_EQ(box->CheckedAsSeen().Get(), !checked);
  EXPECT_EQ(box->GetName().Get(), "Renamed offer");
  EXPECT_EQ(Container()->GetChildren().size(), children) << "the box's refresh leaves its parent alone";
  Container()->Refresh();
  std::vector<std::string> names;
  for (const auto& child : Container()->GetChildren()) names.push_back(child->GetName().GetOr("-"));
  EXPECT_EQ(names, (std::vector<std::string>{"Choose the components to install:", "Renamed offer",
                                             "Make SearchPage my home page", "Express installation",
                                             "Custom installation", "Hidden offer", "Next >"}));
}

TEST_P(BackendTest, ElementOutlivingItsTreeWorksButHasNoParent) {
  auto container = Container();
  auto box = Element(kHomepageOffer);
  EXPECT_TRUE(root_->GetParent().IsNone());
  EXPECT_EQ(box->GetParent().Get(), container);
  EXPECT_EQ(FindWindowHandle(box), dialog_.Control(kHomepageOffer));
  const std::string path = box->GetPath();

  root_.reset();
  container.reset();
  EXPECT_EQ(LogicErrorOf([&] { box->GetParent(); }), "Parent referernce broken.");
  EXPECT_EQ(box->GetPath(), path);
  EXPECT_EQ(box->GetName().Get(), "Make SearchPage my home page");
  EXPECT_TRUE(box->GetCheckBoxPattern()->IsChecked());
}

// A control that already has the wanted state is left alone, and that is no failure (MSAA warns; UI Automation traces
// nothing); selecting clears the group. The patterns read the states live.
TEST_P(BackendTest, ActionsActOnlyWhenNeeded) {
  enum Action { kSet, kUnset, kSelect };
  const struct Case {
    const char* name;
    Action action;
    int id;
    UINT before;
    UINT after;
    const wchar_t* msaaWarning;
  } cases[] = {
      {"set an unchecked box", kSet, kToolbarOffer, BST_UNCHECKED, BST_CHECKED, nullptr},
      {"set a checked box", kSet, kToolbarOffer, BST_CHECKED, BST_CHECKED,
       L"MSAACheckboxPattern::SetCheckBox\talready checked"},
      {"unset a checked box", kUnset, kToolbarOffer, BST_CHECKED, BST_UNCHECKED, nullptr},
      {"unset an unchecked box", kUnset, kToolbarOffer, BST_UNCHECKED, BST_UNCHECKED,
       L"MSAACheckboxPattern::UnsetCheckBox\tNot checked"},
      {"select the selected radio button", kSelect, kExpress, BST_CHECKED, BST_CHECKED,
       L"MSAARadioButtonPattern::SelectRadioButton\tAlready selected"},
      {"select another one", kSelect, kCustom, BST_UNCHECKED, BST_CHECKED, nullptr},
  };
  auto express = Element(kExpress)->GetRadioButtonPattern();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto box = c.action == kSelect ? nullptr : Element(c.id)->GetCheckBoxPattern();
    auto radio = c.action == kSelect ? Element(c.id)->GetRadioButtonPattern() : nullptr;
    auto isOn = [&] { return box ? box->IsChecked() : radio->IsSelected(); };
    const HWND window = dialog_.Control(c.id);
    installer_.Invoke([&] { SendMessageW(window, BM_SETCHECK, c.before, 0); });
    EXPECT_EQ(isOn(), c.before == BST_CHECKED);
    host_.Clear();
    const std::size_t commands = simwin::ReceivedCommands(dialog_.hwnd).size();
    const PatternActionResult result = c.action == kSet     ? box->SetCheckBox()
                                       : c.action == kUnset ? box->UnsetCheckBox()
                                                            : radio->SelectRadioButton();
    EXPECT_FALSE(result.failed);
    EXPECT_FALSE(result.followUp);
    Settle();
    EXPECT_EQ(Check(c.id), c.after);
    EXPECT_EQ(isOn(), c.after == BST_CHECKED);
    EXPECT_EQ(simwin::ReceivedCommands(dialog_.hwnd).size() - commands, c.before == c.after ? 0u : 1u);
    ExpectOnlyTrace(TraceLevel::Warning, IsMSAA() ? c.msaaWarning : nullptr);
  }
  EXPECT_EQ(Check(kExpress), static_cast<UINT>(BST_UNCHECKED));
  EXPECT_FALSE(express->IsSelected());
}

// A three-state box cycles unchecked, checked, indeterminate: unchecking a checked one
// takes two clicks, and an indeterminate one is neither checked nor unchecked.
TEST_P(BackendTest, ThreeStateBoxesEndInTheWantedState) {
  const HWND window = dialog_.Control(kToolbarOffer);
  installer_.Invoke([&] {
    SetWindowLongW(window, GWL_STYLE, (GetWindowLongW(window, GWL_STYLE) & ~BS_TYPEMASK) | BS_AUTO3STATE);
  });
  const struct {
    UINT before;
    bool check;
    UINT after;
  } cases[] = {{BST_CHECKED, false, BST_UNCHECKED},
               {BST_INDETERMINATE, false, BST_UNCHECKED},
               {BST_INDETERMINATE, true, BST_CHECKED}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.before << (c.check ? " set" : " unset"));
    installer_.Invoke([&] { SendMessageW(window, BM_SETCHECK, c.before, 0); });
    root_ = GetParam().create(dialog_.hwnd);
    auto box = Element(kToolbarOffer)->GetCheckBoxPattern();
    EXPECT_EQ(box->IsIndeterminate(), c.before == BST_INDETERMINATE);
    EXPECT_FALSE((c.check ? box->SetCheckBox() : box->UnsetCheckBox()).failed);
    Settle();
    EXPECT_EQ(Check(kToolbarOffer), c.after);
  }
}

// MSAA makes any pattern and refuses an action on the wrong kind of control with a failed result and an Error trace;
// UI Automation refuses to make a pattern the element does not have, and has no push at all. Only MSAA's push of the
// push button reaches a control: the dialog hears the click.
TEST_P(BackendTest, PatternsActOnlyOnTheirKindOfControl) {
  const struct Case {
    const char* name;
    int id;
    std::function<PatternActionResult(UIElement&)> action;
    const wchar_t* msaaTrace;  // null: MSAA acts
    const char* uiaError;
  } cases[] = {
      {"check a radio button", kExpress, [](UIElement& e) { return e.GetCheckBoxPattern()->SetCheckBox(); },
       L"MSAACheckboxPattern::SetCheckBox\tNot a checkbox", "Not a toggle pattern"},
      {"uncheck a push button", kNext, [](UIElement& e) { return e.GetCheckBoxPattern()->UnsetCheckBox(); },
       L"MSAACheckboxPattern::UnsetCheckBox\tNot a checkbox", "Not a toggle pattern"},
      {"select a check box", kToolbarOffer, [](UIElement& e) { return e.GetRadioButtonPattern()->SelectRadioButton(); },
       L"MSAARadioButtonPattern::SelectRadioButton\tNot a radiobutton", "Not a selection pattern"},
      {"push a check box", kToolbarOffer, [](UIElement& e) { return e.GetPushButtonPattern()->Push(); },
       L"MSAAPushButtonPattern::Push\tNot a pushbutton", "Not implemented"},
      {"push a push button", kNext, [](UIElement& e) { return e.GetPushButtonPattern()->Push(); }, nullptr,
       "Not implemented"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto element = Element(c.id);
    ASSERT_TRUE(element);
    if (!IsMSAA()) {
      EXPECT_EQ(LogicErrorOf([&] { c.action(*element); }), c.uiaError);
      continue;
    }
    host_.Clear();
    PatternActionResult result;
    EXPECT_NO_THROW(result = c.action(*element));
    EXPECT_EQ(result.failed, c.msaaTrace != nullptr);
    EXPECT_FALSE(result.followUp);
    ExpectOnlyTrace(TraceLevel::Error, c.msaaTrace);
  }
  Settle();
  EXPECT_EQ(Check(kToolbarOffer), static_cast<UINT>(BST_CHECKED));
  EXPECT_EQ(Check(kExpress), static_cast<UINT>(BST_CHECKED));
  const auto commands = simwin::ReceivedCommands(dialog_.hwnd);
  ASSERT_EQ(commands.size(), IsMSAA() ? 1u : 0u);
  if (IsMSAA()) {
    EXPECT_EQ(commands[0].id, kNext);
    EXPECT_EQ(commands[0].code, BN_CLICKED);
  }
}

// A failing call or a disabled control gives a failed result, not an exception, and leaves the control as it was.
TEST_P(BackendTest, FailingActionsAreResultsNotExceptions) {
  auto box = Element(kHomepageOffer)->GetCheckBoxPattern();
  auto radio = Element(kCustom)->GetRadioButtonPattern();
  // MSAA acts by the default action and traces its failure; UI Automation by Toggle and Select, silently.
  simwin::InjectAccessibilityFault({IsMSAA() ? "accDoDefaultAction" : "Toggle", E_FAIL});
  simwin::InjectAccessibilityFault({"Select", static_cast<HRESULT>(UIA_E_ELEMENTNOTAVAILABLE)});
  host_.Clear();
  EXPECT_TRUE(box->UnsetCheckBox().failed);
  EXPECT_TRUE(radio->SelectRadioButton().failed);
  ExpectOnlyTrace(
      TraceLevel::Error,
      IsMSAA() ? L"MSAAUIElementWrapper::DoDefaultAction\tFailed to invoke default action: 0x80004005, " : nullptr, 2);
  simwin::ClearAccessibilityFaults();

  simwin::SetEnabled(installer_, dialog_.Control(kHomepageOffer), false);
  EXPECT_TRUE(box->UnsetCheckBox().failed);
  Settle();
  EXPECT_EQ(Check(kHomepageOffer), static_cast<UINT>(BST_CHECKED));
  EXPECT_EQ(Check(kCustom), static_cast<UINT>(BST_UNCHECKED));
  EXPECT_TRUE(simwin::ReceivedCommands(dialog_.hwnd).empty());
}

TEST_P(BackendTest, CheckedChangedReportsOnlyRealChangesOfTheBoxItself) {
  EngineThread engine;
  std::vector<bool> changes;
  auto subscription =
      Element(kToolbarOffer)->GetCheckBoxPattern()->SubscribeCheckedChanged([&](bool c) { changes.push_back(c); });
  ASSERT_TRUE(subscription);
  // Another box of the process changes: a state event, but not this box's.
  for (int id : {kHomepageOffer, kToolbarOffer, kToolbarOffer}) {
    simwin::Click(dialog_.Control(id));
    engine.DrainEventsOf(installer_, dialog_.hwnd);
  }
  EXPECT_EQ(changes, (std::vector<bool>{false, true}));

  subscription.reset();
  engine.DrainPosted();
  simwin::Click(dialog_.Control(kToolbarOffer));
  engine.DrainEventsOf(installer_, dialog_.hwnd);
  EXPECT_EQ(changes.size(), 2u) << "nothing after the subscription ended";
}

simwin::AccNode WideTree(int children, int grandchildren) {
  simwin::AccNode page = Node(ROLE_SYSTEM_CLIENT, L"Page");
  for (int i = 0; i < children; ++i) {
    simwin::AccNode group = Node(ROLE_SYSTEM_PANE, L"Group");
    for (int j = 0; j < grandchildren; ++j) group.children.push_back(Simple(Node(ROLE_SYSTEM_CHECKBUTTON, L"Box")));
    page.children.push_back(std::move(group));
  }
  return page;
}

// Trees served by an installer are untrusted: every walk over them ends, and each bound it hits is warned about once
// per pass.
// A page of 3,000 controls: MSAA reads several objects per control (its window object, the
// frame's parts, its client), but only the kept elements count against the tree's bound.
TEST_P(BackendTest, ThousandsOfControlsAreAllKept) {
  // The walk's time bound is a case of its own (below): here the clock stands still, so that a slow machine (the
  // sanitizers, a loaded CI) cannot make the tree partial.
  simwin::ManualClock frozen;
  simwin::DialogLayout layout;
  layout.title = L"Many options";
  for (int id = 1000; id < 4000; ++id) layout.controls.push_back(Control(L"Button", BS_AUTOCHECKBOX, L"Option", id));
  simwin::Process installer;
  simwin::Dialog dialog = simwin::CreateDialogFromLayout(installer, layout);
  host_.Clear();
  std::size_t boxes = 0;
  std::function<void(const std::shared_ptr<UIElement>&)> count = [&](const auto& element) {
    boxes += element->GetType() == ElementType::CheckBox ? 1 : 0;
    for (const auto& child : element->GetChildren()) count(child);
  };
  count(GetParam().create(dialog.hwnd));
  EXPECT_EQ(boxes, 3000u);
  EXPECT_TRUE(host_.TracesContaining(L"the rest is treated as absent").empty());
  installer.Exit();
}

TEST_P(BackendTest, HostileTreesEndWithOneWarningPerBound) {
  const wchar_t* const deep = L"deeper than 256 levels";
  const wchar_t* const large = L"elements; the rest is treated as absent";
  const simwin::AccNode page = Node(ROLE_SYSTEM_CLIENT, L"Page");
  const struct Case {
    const char* name;
    simwin::AccNode tree;
    // null: no warning, simwin's UI Automation cuts the cycle short itself.
    const wchar_t* msaaWarning;
    const wchar_t* uiaWarning;
    bool phantomChildren = false;  // MSAA's reads of the children a server claims but lacks fail
  } cases[] = {
      {"100000-deep chain", {.name = L"Chain", .chainDepth = 100000}, deep, deep},
      {"self as child", {.name = L"Self", .ancestorAsChild = 0}, deep, nullptr},
      {"flattened self as child",
       WithChildren(page, {{.role = ROLE_SYSTEM_GROUPING, .name = L"Loop", .ancestorAsChild = 0}}), deep, nullptr},
      {"two-element cycle", WithChildren(page, {{.name = L"B", .ancestorAsChild = 1}}), deep, nullptr},
      {"fan-out cycle",
       WithChildren(page, {{.name = L"A", .ancestorAsChild = 1}, {.name = L"B", .ancestorAsChild = 1}}), large,
       nullptr},
      {"two billion children",
       {.name = L"Huge", .children = {Node(ROLE_SYSTEM_CHECKBUTTON, L"Only")}, .reportedChildCount = 0x7FFFFFFF},
       L"reports 2147483647 children; only the first 10000 are read",
       nullptr,
       true},
      // UI Automation counts the title bar, the window's last child.
      {"10001 children", WideTree(10001, 0), L"reports 10001 children; only the first 10000 are read",
       L"reports 10002 children; only the first 10000 are read"},
      {"101 groups of 100", WideTree(101, 100), large, large},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const wchar_t* warning = IsMSAA() ? c.msaaWarning : c.uiaWarning;
    simwin::Process installer;
    simwin::Dialog dialog = simwin::CreateDialogFromLayout(installer, SetupDialogLayout());
    simwin::AttachAccessibleTree(installer, dialog.hwnd, c.tree);
    host_.Clear();
    auto root = GetParam().create(dialog.hwnd);
    // A full descent, as a pattern with AnyLevel makes it.
    long visited = 0;
    int deepest = 0;
    std::function<void(const std::shared_ptr<UIElement>&, int)> descend = [&](const auto& element, int depth) {
      ++visited;
      deepest = std::max(deepest, depth);
      for (const auto& child : element->GetChildren()) descend(child, depth + 1);
    };
    // Reading a phantom child fails; that ends the pass like any failing call.
    EXPECT_EQ(ComErrorOf([&] { descend(root, 0); }) != S_OK, IsMSAA() && c.phantomChildren);
    // MSAA still makes the elements at depth kMaxTreeDepth, without children; UI Automation stops one level above.
    EXPECT_LE(deepest, IsMSAA() ? kMaxTreeDepth : kMaxTreeDepth - 1);
    EXPECT_LE(visited, kMaxElementsPerTree + 1);
    EXPECT_GT(visited, 0);
    if (warning) {
      EXPECT_EQ(host_.TracesContaining(warning).size(), 1u) << host_.FormatCalls(true);
    } else {
      EXPECT_EQ(Traced(TraceLevel::Warning, L""), 0u) << host_.FormatCalls(true);
    }
    if (std::string_view(c.name) == "101 groups of 100") {
      // A second pass over the same window has the whole budget again: it sees as much and warns again, once.
      const long firstVisited = visited;
      visited = 0;
      root->Refresh();
      descend(root, 0);
      EXPECT_EQ(visited, firstVisited);
      EXPECT_EQ(host_.TracesContaining(warning).size(), 2u);
    }
    root.reset();
    installer.Exit();
  }
}

// --- Either backend, cases of its own -----------------------------------------------------------------------------

using EitherBackendTest = SetupDialogTest;

// MSAA: window objects of the controls wrap their own client and vanish, title and scroll bars go with their buttons,
// the group box and the edit are not kept types, invisible elements hide their whole subtree, and flattened elements
// give their place to their children. UI Automation's raw view has no client object to flatten; the indices count the
// skipped children, and skipping drops the subtree. The mnemonic '&' is not part of a name. A page drawn with its own
// UI Automation provider shows its native elements to UI Automation and nothing but its window to MSAA.
TEST_F(EitherBackendTest, TreesKeepTheElementsAUserSees) {
  simwin::DialogLayout scrolling;
  scrolling.title = L"Scrolling";
  scrolling.style = WS_OVERLAPPEDWINDOW | WS_VSCROLL | WS_HSCROLL;
  scrolling.controls = {Control(L"Button", BS_PUSHBUTTON, L"OK", IDOK)};
  const simwin::AccNode invisibleContainers = WithChildren(
      Node(ROLE_SYSTEM_CLIENT, L"Page"),
      {WithChildren(Node(ROLE_SYSTEM_GROUPING, L"Hidden", STATE_SYSTEM_INVISIBLE),
                    {Node(ROLE_SYSTEM_CHECKBUTTON, L"Inside hidden group")}),
       WithChildren(Node(ROLE_SYSTEM_GROUPING, L"Shown"), {Node(ROLE_SYSTEM_CHECKBUTTON, L"Inside shown group")})});
  const simwin::AccNode simpleElements =
      WithChildren(Node(ROLE_SYSTEM_CLIENT, L"Offers"), {Simple(Node(ROLE_SYSTEM_STATICTEXT, L"Label")),
                                                         Simple(Node(ROLE_SYSTEM_GRAPHIC, L"Logo")),  // not kept
                                                         Simple(Node(ROLE_SYSTEM_CHECKBUTTON, L"Offer"))});
  const simwin::AccNode skippedChildren = WithChildren(
      Node(ROLE_SYSTEM_CLIENT, L"Page"),
      {Node(ROLE_SYSTEM_GRAPHIC, L"Logo"),  // Image: not kept
       WithChildren(Node(ROLE_SYSTEM_LIST, L"Offer list"), {Node(ROLE_SYSTEM_STATICTEXT, L"Text inside a list")}),
       Node(ROLE_SYSTEM_CHECKBUTTON, L"Offer"), Simple(Node(ROLE_SYSTEM_PUSHBUTTON, L"Decline"))});
  const struct Case {
    const char* name;
    std::shared_ptr<UIElement> (*create)(HWND);
    simwin::DialogLayout layout;
    std::optional<simwin::AccNode> tree;
    std::vector<std::string> dump;
    std::optional<simwin::UiaNode> automation = std::nullopt;
  } cases[] = {
      // clang-format off
      {"MSAA, setup dialog", &CreateMSAARootElement, SetupDialogLayout(), std::nullopt,
       {"Window 'Setup - Example App'", "Window\\Pane(0) 'Setup - Example App'",
        "Window\\Pane(0)\\Text(0) 'Choose the components to install:'",
        "Window\\Pane(0)\\CheckBox(1) 'Install the SpeedBar toolbar'",
        "Window\\Pane(0)\\CheckBox(2) 'Make SearchPage my home page'",
        "Window\\Pane(0)\\RadioButton(3) 'Express installation'",
        "Window\\Pane(0)\\RadioButton(4) 'Custom installation'",
        "Window\\Pane(0)\\Button(5) 'Next >'", "Window\\Pane(0)\\Button(6) 'Cancel'"}},
      {"MSAA, scroll bars", &CreateMSAARootElement, scrolling, std::nullopt,
       {"Window 'Scrolling'", "Window\\Pane(0) 'Scrolling'", "Window\\Pane(0)\\Button(0) 'OK'"}},
      {"MSAA, invisible containers", &CreateMSAARootElement, SetupDialogLayout(), invisibleContainers,
       {"Window 'Setup - Example App'", "Window\\Pane(0) 'Page'", "Window\\Pane(0)\\CheckBox(0) 'Inside shown group'"}},
      {"MSAA, simple elements", &CreateMSAARootElement, SetupDialogLayout(), simpleElements,
       {"Window 'Setup - Example App'", "Window\\Pane(0) 'Offers'", "Window\\Pane(0)\\Text(0) 'Label'",
        "Window\\Pane(0)\\CheckBox(1) 'Offer'"}},
      {"UI Automation, setup dialog: the group box 1, the edit 6 and the title bar 10 skipped",
       &CreateUIAutomationRootElement, SetupDialogLayout(), std::nullopt,
       {"Window 'Setup - Example App'", "Window\\Text(0) 'Choose the components to install:'",
        "Window\\CheckBox(2) 'Install the SpeedBar toolbar'", "Window\\CheckBox(3) 'Make SearchPage my home page'",
        "Window\\RadioButton(4) 'Express installation'", "Window\\RadioButton(5) 'Custom installation'",
        "Window\\CheckBox(7) 'Hidden offer'", "Window\\Button(8) 'Next >'", "Window\\Button(9) 'Cancel'"}},
      {"UI Automation, skipped children", &CreateUIAutomationRootElement, SetupDialogLayout(), skippedChildren,
       {"Window 'Setup - Example App'", "Window\\CheckBox(2) 'Offer'", "Window\\Button(3) 'Decline'"}},
      {"UI Automation, native provider: the image 1, the group 3 with its radio button and the title bar skipped",
       &CreateUIAutomationRootElement, DrawnDialogLayout(), std::nullopt,
       {"Window 'Sample Partner offer'", "Window\\Text(0) 'Get more with Sample Partner:'",
        "Window\\Pane(2) 'Offers'", "Window\\Pane(2)\\CheckBox(0) 'Install SpeedBar'",
        "Window\\Pane(2)\\CheckBox(1) 'Install Sample Cleaner'", "Window\\Pane(2)\\CheckBox(2) 'Locked offer'",
        "Window\\RadioButton(3) 'Express'", "Window\\RadioButton(4) 'Custom'", "Window\\CheckBox(5) 'Hidden offer'",
        "Window\\Button(6) 'Next'"},
       DrawnOfferTree()},
      {"MSAA, native provider", &CreateMSAARootElement, DrawnDialogLayout(), std::nullopt,
       {"Window 'Sample Partner offer'", "Window\\Pane(0) 'Sample Partner offer'"}, DrawnOfferTree()},
      // clang-format on
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const simwin::Dialog dialog = simwin::CreateDialogFromLayout(installer_, c.layout);
    if (c.tree) simwin::AttachAccessibleTree(installer_, dialog.hwnd, *c.tree);
    if (c.automation) simwin::AttachAutomationTree(installer_, dialog.hwnd, *c.automation);
    host_.Clear();
    EXPECT_EQ(DumpTree(c.create(dialog.hwnd)), c.dump);
    EXPECT_EQ(Traced(TraceLevel::Warning, L"") + Traced(TraceLevel::Error, L""), 0u) << host_.FormatCalls(true);
  }
}

TEST_F(EitherBackendTest, FailingCallsRaiseTheirHresult) {
  OpenSetupDialog();
  const struct Case {
    std::shared_ptr<UIElement> (*create)(HWND);
    const char* method;
    HRESULT hr;
    std::function<void(UIElement&)> use;  // null: creating the root fails
  } cases[] = {
      {&CreateMSAARootElement, "AccessibleObjectFromWindow", E_ACCESSDENIED, nullptr},
      {&CreateMSAARootElement, "AccessibleChildren", RPC_E_DISCONNECTED, [](UIElement& e) { e.GetChildren(); }},
      {&CreateUIAutomationRootElement, "ElementFromHandle", E_ACCESSDENIED, nullptr},
      {&CreateUIAutomationRootElement, "BuildUpdatedCache", RPC_E_DISCONNECTED, nullptr},
      {&CreateUIAutomationRootElement, "get_CurrentControlType", E_FAIL, nullptr},
      {&CreateUIAutomationRootElement, "get_CurrentIsEnabled", E_FAIL, [](UIElement& e) { e.IsEnabled(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.method);
    std::shared_ptr<UIElement> root;
    if (c.use) root = c.create(dialog_.hwnd);
    const int fault = simwin::InjectAccessibilityFault({c.method, c.hr});
    EXPECT_EQ(ComErrorOf([&] { c.use ? c.use(*root) : static_cast<void>(c.create(dialog_.hwnd)); }), c.hr);
    simwin::RemoveAccessibilityFault(fault);
  }
}

// --- MSAA's own elements ------------------------------------------------------------------------------------------

class MSAAElementTest : public SetupDialogTest {
 protected:
  void SetUp() override { OpenSetupDialog(); }
  MSAAUIElement Object(HWND window, LONG objid) {
    ComPtr<IAccessible> object;
    EXPECT_EQ(AccessibleObjectFromWindow(window, static_cast<DWORD>(objid), __uuidof(IAccessible),
                                         reinterpret_cast<void**>(object.Receive())),
              S_OK);
    return MSAAUIElement(std::move(object), CHILDID_SELF, nullptr);
  }
};

// A control's client object hangs below its own window object, which only wraps it; the dialog's client has another
// handle, so the control's own handle stands for it, and the top-level window object runs out of parents. An element
// of a custom tree shares its handle with the kept page above it: that handle cannot stand for it, and its DPI-aware
// location comes from converting it to a UI Automation element directly.
TEST_F(MSAAElementTest, LocationWindowIsTheElementsOwnHandleElseALogicError) {
  const HWND box = dialog_.Control(kToolbarOffer);
  EXPECT_EQ(Object(box, OBJID_CLIENT).LocationWindow(), box);
  EXPECT_EQ(Object(box, OBJID_WINDOW).LocationWindow(), box);
  EXPECT_EQ(Object(dialog_.hwnd, OBJID_WINDOW).LocationWindow(), dialog_.hwnd);

  const RECT drawnAt{140, 160, 260, 180};
  simwin::AttachAccessibleTree(
      installer_, dialog_.hwnd,
      {.name = L"Page",
       .location = RECT{100, 120, 500, 400},
       .children = {{.role = ROLE_SYSTEM_CHECKBUTTON, .name = L"Drawn offer", .location = drawnAt}}});
  MSAAUIElement pageObject = Object(dialog_.hwnd, OBJID_CLIENT);
  ASSERT_EQ(pageObject.RawChildren().size(), 1u);
  MSAAUIElement drawn = pageObject.RawChildren()[0];
  ASSERT_EQ(drawn.Role(), ROLE_SYSTEM_CHECKBUTTON);
  char expected[64];
  std::snprintf(expected, sizeof expected, "Cannot use hwnd %08lX to extract location ",
                static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(dialog_.hwnd)));
  EXPECT_EQ(LogicErrorOf([&] { drawn.LocationWindow(); }), expected);

  root_ = CreateMSAARootElement(dialog_.hwnd);
  auto element = ChildAt(root_, {0, 0});
  ASSERT_EQ(element->GetName().Get(), "Drawn offer");
  EXPECT_EQ(Edges(element->GetDPIAwareLocation()), Edges(drawnAt));
  EXPECT_EQ(Traced(TraceLevel::Error, L"Cannot convert"), 0u);
}

TEST_F(MSAAElementTest, NamesAreCachedIncludingTheirAbsence) {
  simwin::AttachAccessibleTree(installer_, dialog_.hwnd, {.children = {Node(ROLE_SYSTEM_PUSHBUTTON)}});
  MSAAUIElement button = Object(dialog_.hwnd, OBJID_CLIENT).RawChildren()[0];
  for (int read = 0; read < 2; ++read) {
    if (read == 1) simwin::ResetAccessibilityCallCount();
    EXPECT_TRUE(button.Name().IsNone());
    EXPECT_EQ(button.Role(), ROLE_SYSTEM_PUSHBUTTON);
  }
  EXPECT_EQ(simwin::AccessibilityCallCount(), 0u) << "the second reads came from the cache";
}

}  // namespace
}  // namespace installation_assistant
