#include "uielement/ui_element.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace installation_assistant {
namespace {

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

TEST(SubscribeCheckedChanged, ReportsOnlyRealChangesOfTheBox) {
  auto box = std::make_shared<ScriptedBox>();
  struct End {
    ScriptedBox& box;
    ~End() { box.EndSubscription(); }
  } end{*box};
  std::vector<bool> reported;
  box->SubscribeCheckedChanged([&](bool checked) { reported.push_back(checked); });

  box->Event();  // another control of the process changed: nothing to report
  box->state = true;
  box->Event();
  box->Event();  // the same state again
  box->state = false;
  box->Event();
  EXPECT_EQ(reported, (std::vector<bool>{true, false}));
}

TEST(SubscribeCheckedChanged, UserChecksAndUnchecksBeforeTheHandlerRuns) {
  auto box = std::make_shared<ScriptedBox>();
  struct End {
    ScriptedBox& box;
    ~End() { box.EndSubscription(); }
  } end{*box};
  std::vector<bool> reported;
  box->SubscribeCheckedChanged([&](bool checked) { reported.push_back(checked); });
  box->state = true;
  box->state = false;
  box->Event();
  box->Event();
  EXPECT_TRUE(reported.empty());
}

TEST(SubscribeCheckedChanged, AnEventDuringAReadNeverLeavesAStaleLastReport) {
  auto box = std::make_shared<ScriptedBox>();
  struct End {
    ScriptedBox& box;
    ~End() { box.EndSubscription(); }
  } end{*box};
  std::vector<bool> reported;
  box->SubscribeCheckedChanged([&](bool checked) { reported.push_back(checked); });

  // The user checks the box; while the engine reads it, the user unchecks it again and that
  // event is handled inside the wait.
  box->state = true;
  box->duringNextRead = [&] {
    box->state = false;
    box->Event();
  };
  box->Event();
  ASSERT_FALSE(reported.empty());
  EXPECT_EQ(reported.back(), box->state) << "the host must be told the state the box is in";
  EXPECT_EQ(reported, (std::vector<bool>{true, false}));
}

// The engine's own change races with the subscription that it posts to another thread.
TEST(SubscribeCheckedChanged, ChangesAroundTheSubscriptionAreNeitherLostNorInvented) {
  struct Case {
    const char* name;
    // What happens while the hook is being set: a change whose event nobody sees, or one
    // whose event arrives during the first read.
    bool eventDuringFirstRead;
    std::vector<bool> reported;
  };
  const Case cases[] = {
      {"change before the hook took effect, then the user's", false, {true}},
      {"change whose event comes during the first read", true, {true}},
  };
  for (const Case& c : cases) {
    auto box = std::make_shared<ScriptedBox>();
    struct End {
      ScriptedBox& box;
      ~End() { box.EndSubscription(); }
    } end{*box};
    box->state = true;
    box->whileHooking = [&] {
      box->state = false;  // the engine's uncheck lands now
      if (c.eventDuringFirstRead) {
        box->duringNextRead = [&] {
          box->state = true;  // the user is quicker than the first read's answer
          box->Event();
        };
      }
    };
    std::vector<bool> reported;
    box->SubscribeCheckedChanged([&](bool checked) { reported.push_back(checked); });
    if (!c.eventDuringFirstRead) {
      box->state = true;  // the user wants the offer after all
      box->Event();
    }
    EXPECT_EQ(reported, c.reported) << c.name;
  }
}

TEST(SubscribeCheckedChanged, APatternNotOwnedBySharedPointerRaises) {
  ScriptedBox box;
  EXPECT_THROW(box.SubscribeCheckedChanged([](bool) {}), std::bad_weak_ptr);
}

}  // namespace
}  // namespace installation_assistant
