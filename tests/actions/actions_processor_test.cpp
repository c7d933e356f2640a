#include "actions/actions_processor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/trace_capture.h"
#include "inproc_component.h"
#include "host/processed_items_reporter.h"
#include "host/service_holder.h"
#include "pattern/fake_element.h"
#include "platform/sim/simwin.h"
#include "recording_host.h"
#include "uielement/msaa/msaa_test_support.h"
#include "watch/engine_thread.h"
#include "watch/machines_test_support.h"

namespace installation_assistant {
namespace {

using simwin::HostCall;
using testing::ParseOrFail;

constexpr char kTwoRoots[] =
    "EngineVersion = \"1.5.2.7\"\n"
    "MSAA: Window (text=\"Setup - Example App\") { AnyLevel { CheckBox (text=\".*SpeedBar.*\") { off } } }\n"
    "MSAA: Window (text=\"Setup - Example App\") { AnyLevel { Button (text=\"&Next >\") { push } } }\n";

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::shared_ptr<UIElement> FindByName(const std::shared_ptr<UIElement>& element, const std::string& name) {
  if (element->GetName().GetOr(std::string()) == name) return element;
  for (const auto& child : element->GetChildren()) {
    if (auto found = FindByName(child, name)) return found;
  }
  return nullptr;
}

class ActionsProcessorTest : public testing::EngineThreadTest {
 protected:
  void SetUp() override {
    dialog_ = simwin::CreateDialogFromLayout(installer_, testing::SetupDialogLayout());
    root_ = CreateMSAARootElement(dialog_.hwnd);
  }
  void TearDown() override {
    simwin::ClearAccessibilityFaults();
    root_.reset();
    installer_.Exit();
  }

  std::shared_ptr<ActionsProcessor> Make(const char* pattern = kTwoRoots,
                                         std::shared_ptr<engine::ProcessedItemsReporter> reporter = nullptr) {
    ActionsProcessorParameters parameters;
    parameters.patternId = 17;
    parameters.pattern = ParseOrFail(pattern);
    parameters.version = PatternVersion{1, 5, 2, 7};
    parameters.service = service_;
    parameters.reporter = reporter ? reporter : std::make_shared<engine::DirectReporter>(service_);
    parameters.messageWindow = engine_.Window();
    return std::make_shared<ActionsProcessor>(parameters);
  }
  std::shared_ptr<UIElement> Element(const std::string& name) {
    root_->Refresh();
    std::shared_ptr<UIElement> element = FindByName(root_, name);
    EXPECT_NE(element, nullptr) << name;
    return element;
  }
  // The default action reaches the control through the installer's queue; then the
  // subscription is made on this thread and the control's events reach it.
  void Settle() {
    installer_.Invoke([] {});
    engine_.DrainPosted();
    engine_.DrainEventsOf(installer_, dialog_.hwnd);
  }
  // The user clicks the control; the change event reaches this thread's hooks.
  void UserClicks(int id) {
    simwin::Click(dialog_.Control(id));
    engine_.DrainEventsOf(installer_, dialog_.hwnd);
  }
  std::vector<simwin::RecordedReport> Reports() const {
    std::vector<simwin::RecordedReport> reports;
    for (const HostCall& call : host_.CallsOf(HostCall::Kind::ReportItem)) reports.push_back(call.report);
    return reports;
  }

  std::shared_ptr<engine::ServiceHolder> service_ = std::make_shared<engine::ServiceHolder>(host_.Service());
  simwin::Dialog dialog_;
  std::shared_ptr<UIElement> root_;
};

const char kToolbar[] = "Install the SpeedBar toolbar";
const char kExpress[] = "Express installation";
const char kCustom[] = "Custom installation";

TEST_F(ActionsProcessorTest, StateActionsLookFirstAndActOnlyWhenNeeded) {
  struct Case {
    const char* name;
    const char* element;
    int id;
    ActionResult (ActionsProcessor::*operation)(const std::shared_ptr<UIElement>&);
    UINT before;
    UINT after;
    const char* trace;  // after the element's path
    std::size_t subscriptions;
  };
  const Case cases[] = {
      {"uncheck a checked box", kToolbar, testing::kToolbarOffer, &ActionsProcessor::UnsetCheckBox, BST_CHECKED,
       BST_UNCHECKED, ") unchecked", 1},
      {"uncheck an unchecked box", kToolbar, testing::kToolbarOffer, &ActionsProcessor::UnsetCheckBox,
       BST_UNCHECKED, BST_UNCHECKED, ") already unchecked", 0},
      {"check an unchecked box", kToolbar, testing::kToolbarOffer, &ActionsProcessor::SetCheckBox, BST_UNCHECKED,
       BST_CHECKED, ") checked", 1},
      {"check a checked box", kToolbar, testing::kToolbarOffer, &ActionsProcessor::SetCheckBox, BST_CHECKED,
       BST_CHECKED, ") already checked", 0},
      {"select a radio", kCustom, testing::kCustom, &ActionsProcessor::SelectRadioButton, BST_UNCHECKED,
       BST_CHECKED, ") selected", 1},
      {"select a selected radio", kExpress, testing::kExpress, &ActionsProcessor::SelectRadioButton, BST_CHECKED,
       BST_CHECKED, ") already selected", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    host_.Clear();
    installer_.Invoke([&] { SendMessageW(dialog_.Control(c.id), BM_SETCHECK, c.before, 0); });
    auto processor = Make();
    const std::shared_ptr<UIElement> element = Element(c.element);
    const std::string kind = element->GetType() == ElementType::CheckBox ? "CheckBox(" : "RadioButton(";
    const ActionResult result = ((*processor).*(c.operation))(element);
    Settle();
    EXPECT_FALSE(result.failed);
    EXPECT_EQ(simwin::CheckState(dialog_.Control(c.id)), c.after);
    EXPECT_EQ(TraceCount(Wide(kind + element->GetPath() + c.trace)), 1u);
    // Done counts as executed whether or not the control had to change.
    EXPECT_EQ(processor->ExecutedCount(), 1);
    EXPECT_EQ(processor->SubscriptionCount(), c.subscriptions);
    EXPECT_TRUE(Reports().empty());
  }
}

TEST_F(ActionsProcessorTest, UserChangesAfterTheEngineAreReportedAndItsOwnEchoIsNot) {
  auto processor = Make();
  processor->PatternMatched(root_);  // the pattern's first root matched on an earlier page,
  processor->PatternMatched(root_);  // this box belongs to its second
  ASSERT_FALSE(processor->UnsetCheckBox(Element(kToolbar)).failed);
  // Whether the box's own event reaches the new subscription depends on which thread runs
  // first; either way it is not the user's and is not reported.
  Settle();
  EXPECT_TRUE(Reports().empty());

  UserClicks(testing::kToolbarOffer);  // the user wants the offer after all
  UserClicks(testing::kToolbarOffer);  // and changes their mind again
  const std::string report = "ReportItem patternId=17 resultCode=4 genericPattern=1 elementType=5 "
                             "controlData=\"Install the SpeedBar toolbar\" "
                             "controlPath=\"Pattern(1)\\\\Window\\\\Pane(0)\\\\CheckBox(1)\" userAction=\"";
  EXPECT_EQ(host_.FormatCalls(), report + "checked\" desiredState=\"unchecked\" patternVersion=\"1.5.2.7\"\n" + report +
                                     "unchecked\" desiredState=\"unchecked\" patternVersion=\"1.5.2.7\"\n");
}

TEST_F(ActionsProcessorTest, RadioChangesReportSelectedAsTheWantedState) {
  auto processor = Make();
  ASSERT_FALSE(processor->SelectRadioButton(Element(kCustom)).failed);
  Settle();
  UserClicks(testing::kExpress);  // deselects Custom
  const auto reports = Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].elementType, static_cast<int>(ElementType::RadioButton));
  EXPECT_EQ(reports[0].userAction, "unselected");
  EXPECT_EQ(reports[0].desiredState, "selected");
}

TEST_F(ActionsProcessorTest, ChangesOfAnInvisibleControlOrAfterTheProcessorIsGoneAreNotReported) {
  auto processor = Make();
  ASSERT_FALSE(processor->UnsetCheckBox(Element(kToolbar)).failed);
  Settle();
  HWND box = dialog_.Control(testing::kToolbarOffer);
  installer_.Invoke([box] { ShowWindow(box, SW_HIDE); });
  UserClicks(testing::kToolbarOffer);
  EXPECT_TRUE(Reports().empty());

  installer_.Invoke([box] { ShowWindow(box, SW_SHOW); });
  processor.reset();
  UserClicks(testing::kToolbarOffer);
  EXPECT_TRUE(Reports().empty());
}

// A block puts a message box on the button through the installer's component; the
// user's answer comes back as code 5. Two boxes still unanswered end with the processor.
TEST_F(ActionsProcessorTest, ABlockSendsItsRequestAndTheAnswerIsReported) {
  std::mutex lock;
  std::vector<inproc::MessageBoxRequest> received;
  inproc::Component component([&](const inproc::MessageBoxRequest& r) {
    std::lock_guard<std::mutex> guard(lock);
    received.push_back(r);
  });
  installer_.Invoke([&] { ASSERT_TRUE(component.Start()); });
  auto connection = std::make_shared<InprocConnection>(InprocConnectionName(installer_.Id()), installer_.Id());
  auto reporter = std::make_shared<engine::NotifyingReporter>(service_, connection);
  engine::NotificationDataCopy data;
  data.title = "Installation assistant";
  data.description = "Install the toolbar?";
  data.okButton = "Yes";
  data.cancelButton = "No";
  data.icons.push_back({1, 0, {'i', 'c', 'o'}});
  reporter->SetNotificationData(data);
  auto processor = Make(kTwoRoots, reporter);
  const std::shared_ptr<UIElement> next = Element("Next >");
  for (int box = 0; box < 3; ++box) EXPECT_FALSE(processor->AssignMessageBox(next).failed);
  ASSERT_TRUE(testing::PumpUntil([&] {
    std::lock_guard<std::mutex> guard(lock);
    return received.size() == 3;
  }));
  const inproc::MessageBoxRequest first = received[0];
  ASSERT_TRUE(first.valid) << first.line;
  EXPECT_EQ(first.button, static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(dialog_.Control(testing::kNext))));
  EXPECT_EQ(first.title + "|" + first.description + "|" + first.okText + "|" + first.cancelText + "|" + first.iconBase64,
            "Installation assistant|Install the toolbar?|Yes|No|aWNv");
  EXPECT_NE(first.eventName, received[1].eventName);
  EXPECT_TRUE(simwin::ReceivedCommands(dialog_.hwnd).empty());  // the button itself is left alone

  ASSERT_TRUE(inproc::Answer(first));
  ASSERT_TRUE(testing::PumpUntil([&] { return !Reports().empty(); }));
  const auto reports = Reports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].resultCode, kMessageBoxAnswered);
  EXPECT_EQ(reports[0].controlPath, "Pattern(0)\\" + next->GetPath());
  processor.reset();  // two waiters still wait: both end
  EXPECT_EQ(Reports().size(), 1u);
}

// A block that cannot be placed (no channel, no notification data) does not hold up the
// window: the action counts as done, so the queue goes on, and the host hears of it.
TEST_F(ActionsProcessorTest, ABlockThatCannotBePlacedDoesNotHoldTheQueue) {
  auto withoutData = std::make_shared<engine::NotifyingReporter>(
      service_, std::make_shared<InprocConnection>(InprocConnectionName(installer_.Id()), installer_.Id()));
  const std::pair<std::shared_ptr<engine::ProcessedItemsReporter>, const wchar_t*> cases[] = {
      {withoutData, L"Option.Get called for None()."},
      {std::make_shared<engine::DirectReporter>(service_), L"No in-process connection"},
  };
  for (const auto& [reporter, why] : cases) {
    host_.Clear();
    auto processor = Make(kTwoRoots, reporter);
    EXPECT_FALSE(processor->AssignMessageBox(Element("Next >")).failed);
    const auto reports = Reports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].resultCode, kActionFailed);
    EXPECT_EQ(processor->ExecutedCount(), 0);
    EXPECT_EQ(TraceCount(why), 1u);
  }
}

// A core that raises, retried on every pass by the machine: the host hears of it once per
// queued action, not once per pass.
TEST_F(ActionsProcessorTest, ARaisingCoreIsReportedOncePerQueuedAction) {
  auto processor = Make();
  const std::shared_ptr<UIElement> box = Element(kToolbar);
  simwin::AccessibilityFault fault;
  fault.method = "get_accState";
  const int faults = simwin::InjectAccessibilityFault(fault);
  for (int pass = 0; pass < 50; ++pass) {
    const ActionResult result = processor->UnsetCheckBox(box);
    EXPECT_TRUE(result.failed);
    EXPECT_FALSE(result.followUp);
  }
  EXPECT_EQ(Reports().size(), 1u);
  EXPECT_EQ(testing::CountTraces(host_, TraceLevel::Error, L"MakeAction"), 1u);
  // A new match queues the action anew.
  processor->PatternMatched(root_);
  EXPECT_TRUE(processor->UnsetCheckBox(box).failed);
  EXPECT_EQ(Reports().size(), 2u);
  simwin::RemoveAccessibilityFault(faults);
  ASSERT_FALSE(processor->UnsetCheckBox(box).failed);
  for (const auto& report : Reports()) EXPECT_EQ(report.resultCode, 2);
}

TEST_F(ActionsProcessorTest, PatternUpdatedReportsTheExecutedCountOnce) {
  auto processor = Make();
  processor->PatternUpdated(root_);
  EXPECT_EQ(host_.Count(HostCall::Kind::ReportProcessedItems), 0u);
  ASSERT_FALSE(processor->UnsetCheckBox(Element(kToolbar)).failed);
  ASSERT_FALSE(processor->SelectRadioButton(Element(kCustom)).failed);
  processor->PatternUpdated(root_);
  processor->PatternUpdated(root_);
  const auto calls = host_.CallsOf(HostCall::Kind::ReportProcessedItems);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].window, static_cast<int>(reinterpret_cast<std::intptr_t>(dialog_.hwnd)));
  EXPECT_EQ(calls[0].count, 2);
  EXPECT_EQ(TraceCount(L"Have 0 changes  to report"), 2u);
  Settle();
}

// Installer windows subclassed to record the messages they handle, with the lParam split as a mouse message's.
struct Message {
  HWND window;
  UINT message;
  WPARAM wParam;
  int x;
  int y;
  friend bool operator==(const Message&, const Message&) = default;
};

std::mutex gMessagesLock;
std::map<HWND, WNDPROC> gPrevious;
std::vector<Message> gMessages;

LRESULT CALLBACK RecordMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WNDPROC previous;
  {
    std::lock_guard<std::mutex> guard(gMessagesLock);
    gMessages.push_back({window, message, wParam, static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))});
    previous = gPrevious[window];
  }
  return CallWindowProcW(previous, window, message, wParam, lParam);
}

void RecordMessagesOf(simwin::Process& installer, const std::vector<HWND>& windows) {
  installer.Invoke([&] {
    std::lock_guard<std::mutex> guard(gMessagesLock);
    gMessages.clear();
    for (HWND window : windows) {
      gPrevious[window] = reinterpret_cast<WNDPROC>(
          SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RecordMessage)));
    }
  });
}

// The recorded messages of these kinds; the record starts afresh.
std::vector<Message> TakeMessages(std::initializer_list<UINT> kinds) {
  std::lock_guard<std::mutex> guard(gMessagesLock);
  std::vector<Message> taken;
  for (const Message& m : std::exchange(gMessages, {})) {
    if (std::find(kinds.begin(), kinds.end(), m.message) != kinds.end()) taken.push_back(m);
  }
  return taken;
}

// Before changing a check box the installer is asked to activate the page the tree was built for, not the control
// (a control's DefWindowProc would take the focus from the page's dialog manager).
TEST_F(ActionsProcessorTest, CheckBoxActionsActivateThePageTheTreeWasBuiltFor) {
  RecordMessagesOf(installer_, {dialog_.hwnd, dialog_.Control(testing::kToolbarOffer)});
  auto processor = Make();
  ASSERT_FALSE(processor->UnsetCheckBox(Element(kToolbar)).failed);
  ASSERT_FALSE(processor->SetCheckBox(Element(kToolbar)).failed);
  Settle();
  std::vector<HWND> clickActivated;
  for (const Message& m : TakeMessages({WM_ACTIVATE})) {
    if (LOWORD(m.wParam) == WA_CLICKACTIVE) clickActivated.push_back(m.window);
  }
  EXPECT_EQ(clickActivated, (std::vector<HWND>{dialog_.hwnd, dialog_.hwnd}));
}

// A pane of the given size on the target window.
std::shared_ptr<UIElement> ClickTarget(HWND window, RECT location) {
  return testing::FakeElement::Build({ElementType::Pane, std::nullopt, {}, std::nullopt, std::nullopt, location},
                                     window);
}

TEST_F(ActionsProcessorTest, PixelClicksLandWhereThePointSays) {
  // A frameless 200 x 100 window at (300, 200).
  const HWND target =
      testing::CreateInstallerWindow(installer_, {.style = WS_POPUP | WS_VISIBLE, .rect = {300, 200, 500, 300}});
  ASSERT_NE(target, nullptr);
  RecordMessagesOf(installer_, {target});
  // What a left click at the point sends, in client coordinates.
  auto clickAt = [target](int x, int y) {
    return std::vector<Message>{{target, WM_LBUTTONDOWN, MK_LBUTTON, x, y}, {target, WM_LBUTTONUP, 0, x, y}};
  };
  struct Case {
    const char* name;
    RECT location;
    std::uint32_t x;
    std::uint32_t y;
    bool isAbsolute;
    std::vector<Message> expected;  // empty: too small
  };
  const Case cases[] = {
      {"percent of 200 x 100", {300, 200, 500, 300}, 50, 50, false, clickAt(100, 50)},
      {"percent truncates", {0, 0, 3, 3}, 50, 50, false, clickAt(1, 1)},
      {"percent on the far edge", {0, 0, 200, 100}, 100, 100, false, clickAt(200, 100)},
      {"percent past the edge", {0, 0, 200, 100}, 101, 10, false, {}},
      {"percent on zero width", {10, 10, 10, 110}, 0, 0, false, {}},
      {"pixels", {300, 200, 500, 300}, 30, 40, true, clickAt(30, 40)},
      {"pixels on the edge", {300, 200, 500, 300}, 200, 100, true, clickAt(200, 100)},
      {"pixels past the edge", {300, 200, 500, 300}, 201, 0, true, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    host_.Clear();
    auto processor = Make();
    const ActionResult result = processor->PixelClick(ClickTarget(target, c.location), c.x, c.y, c.isAbsolute);
    installer_.Invoke([] {});  // posted clicks are handled by now
    EXPECT_FALSE(result.failed);
    EXPECT_EQ(TakeMessages({WM_LBUTTONDOWN, WM_LBUTTONUP}), c.expected);
    EXPECT_EQ(processor->ExecutedCount(), c.expected.empty() ? 0 : 1);
    EXPECT_EQ(TraceCount(L" is too small to click on it"), c.expected.empty() ? 1u : 0u);
  }
}

// Which of its controls a click in the page's client coordinates falls on, as a custom-drawn page finds it: each
// control's screen rectangle mapped into the page's client area, the topmost first.
int ControlAt(HWND page, POINT at) {
  for (HWND control = GetWindow(page, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&r), 2);
    if (IsWindowVisible(control) && at.x >= r.left && at.x < r.right && at.y >= r.top && at.y < r.bottom) {
      return GetWindowLongW(control, GWLP_ID);
    }
  }
  return 0;
}

// The setup dialog has a caption, so its client area does not start at its corner: a click the pattern places in the
// dialog lands, in its client coordinates, on the control the dialog shows there, and the engine sees that control
// below the caption.
TEST_F(ActionsProcessorTest, PixelClicksOnACaptionedDialogLandOnTheControlShownThere) {
  RecordMessagesOf(installer_, {dialog_.hwnd});
  const RECT dialog = testing::WindowRect(dialog_.hwnd);
  const RECT box = Element(kToolbar)->GetDPIAwareLocation();
  EXPECT_EQ(box.left, dialog.left + GetSystemMetrics(SM_CXFIXEDFRAME) + 10);
  EXPECT_EQ(box.top, dialog.top + GetSystemMetrics(SM_CYFIXEDFRAME) + GetSystemMetrics(SM_CYCAPTION) + 70);
  struct Case {
    const char* name;
    std::uint32_t x;
    std::uint32_t y;
    bool isAbsolute;
    int control;
  };
  // The dialog is 400 x 300; its check boxes and radio buttons are 290 x 24 at x 10 and y 70, 100, 130, ...
  const Case cases[] = {
      {"pixels just inside the first box", 12, 72, true, testing::kToolbarOffer},
      {"pixels on the second box's top edge", 150, 100, true, testing::kHomepageOffer},
      {"percent of the dialog's size", 50, 50, false, testing::kExpress},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Make()->PixelClick(root_, c.x, c.y, c.isAbsolute);
    installer_.Invoke([] {});
    std::vector<int> hits;
    for (const Message& m : TakeMessages({WM_LBUTTONDOWN})) hits.push_back(ControlAt(m.window, {m.x, m.y}));
    EXPECT_EQ(hits, std::vector<int>{c.control});
  }
}

}  // namespace
}  // namespace installation_assistant
