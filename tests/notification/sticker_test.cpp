// The sticker on simwin: its place, its life on a clock the test moves, its icon from a host's bytes, and the
// reporter that shows it, follows its target and takes it away with the engine.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "engine/engine_test_support.h"
#include "host/processed_items_reporter.h"
#include "notification/ico_bytes.h"
#include "notification/sticker.h"
#include "watch/engine_thread.h"

namespace installation_assistant::notification {
namespace {

using testing::CreateInstallerWindow;
using testing::IcoFile;

RECT WindowRect(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return rect;
}

HWND Child(HWND sticker, int index) {
  HWND child = GetWindow(sticker, GW_CHILD);
  for (int i = 0; i < index && child != nullptr; ++i) child = GetWindow(child, GW_HWNDNEXT);
  return child;
}

class StickerTest : public testing::EngineThreadTest {
 protected:
  // Moves simwin's clock one timer period at a time and handles what each tick brings.
  void Tick(int ticks) {
    for (int i = 0; i < ticks; ++i) {
      clock_.Advance(kStickerTickMs);
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
  }
  static int Opacity(HWND sticker) {
    BYTE alpha = 0;
    DWORD flags = 0;
    return GetLayeredWindowAttributes(sticker, nullptr, &alpha, &flags) && (flags & LWA_ALPHA) ? alpha : -1;
  }
  HWND Target(RECT rect) { return CreateInstallerWindow(installer_, {.rect = rect}); }

  simwin::ManualClock clock_;
  StickerClass class_{GetModuleHandleW(nullptr)};
};

// simwin's font model: an 18-pixel cell, 9 pixels a character; the 32-pixel icon makes the row 42 high.
constexpr wchar_t kText[] = L"3 offers declined";  // 17 characters: 153 pixels
constexpr int kWidth = 10 + 32 + 5 + 153 + 10;
constexpr int kHeight = 5 + 32 + 5;

TEST_F(StickerTest, SitsCentredBelowItsTargetUnlessThatLeavesTheWorkArea) {
  simwin::SetMonitor({0, 0, 1920, 1080}, {0, 0, 1920, 1040});
  const auto ico = IcoFile(32, 0xFF3070C0);
  struct Case {
    const char* name;
    RECT target;
    LONG expectedTop;
  };
  const Case cases[] = {
      {"room below", {100, 100, 500, 400}, 405},
      {"near the bottom: inside, 80 above its edge", {100, 700, 500, 1030}, 1030 - kHeight - 80},
      // The comparison is strict: ending exactly on the work area's edge is not room enough.
      {"exactly 5 + h above the edge", {100, 700, 500, 1040 - 5 - kHeight}, 1040 - 5 - kHeight - kHeight - 80},
      {"one pixel more room", {100, 700, 500, 1040 - 5 - kHeight - 1}, 1040 - 5 - kHeight - 1 + 5},
  };
  for (const Case& c : cases) {
    const HWND target = Target(c.target);
    const HWND sticker = CreateNotificationSticker(class_, target, kText, IconFromDirectory(ico.data(), ico.size()));
    ASSERT_NE(sticker, nullptr) << c.name;
    const RECT rect = WindowRect(sticker);
    EXPECT_EQ(rect.left, (c.target.left + c.target.right - kWidth) / 2) << c.name;
    EXPECT_EQ(rect.top, c.expectedTop) << c.name;
    EXPECT_EQ(rect.right - rect.left, kWidth) << c.name;
    EXPECT_EQ(rect.bottom - rect.top, kHeight) << c.name;
    // The icon and the text in a row, each centred in its height.
    EXPECT_EQ(WindowRect(Child(sticker, 0)).left - rect.left, 10) << c.name;
    EXPECT_EQ(WindowRect(Child(sticker, 0)).top - rect.top, 5) << c.name;
    EXPECT_EQ(WindowRect(Child(sticker, 1)).left - rect.left, 47) << c.name;
    EXPECT_EQ(WindowRect(Child(sticker, 1)).top - rect.top, 12) << c.name;
    EXPECT_TRUE(GetWindowLongW(sticker, GWL_EXSTYLE) & WS_EX_LAYERED) << c.name;
    EXPECT_NE(GetForegroundWindow(), sticker) << c.name;
    DestroyWindow(sticker);
  }
}

TEST_F(StickerTest, FadesInStaysFadesOutAndClosesItselfLeavingNothingBehind) {
  const std::size_t gdiObjects = simwin::LiveGdiObjectCount();
  const std::size_t icons = simwin::LiveIconCount();
  const auto ico = IcoFile(16, 0xFF3070C0);
  const HWND sticker = CreateNotificationSticker(class_, Target({100, 100, 500, 400}), kText,
                                                 IconFromDirectory(ico.data(), ico.size()));
  ASSERT_NE(sticker, nullptr);
  EXPECT_TRUE(IsWindowVisible(sticker));
  EXPECT_EQ(Opacity(sticker), -1) << "no opacity before the first tick";
  const struct {
    int ticks;  // since the last row
    int opacity;
  } steps[] = {{1, 17}, {13, 238}, {1, 255}, {150, 255}, {1, 238}, {13, 17}};
  for (const auto& step : steps) {
    Tick(step.ticks);
    ASSERT_TRUE(IsWindow(sticker));
    EXPECT_EQ(Opacity(sticker), step.opacity);
  }
  Tick(1);  // the 180th: 3.6 s
  EXPECT_FALSE(IsWindow(sticker));
  EXPECT_EQ(simwin::LiveGdiObjectCount(), gdiObjects + 1) << "only the class's brush";
  EXPECT_EQ(simwin::LiveIconCount(), icons);
  EXPECT_TRUE(simwin::IsClassRegistered(kStickerClassName));
}

TEST(StickerIcon, OnlyAWellFormedDirectoryWhoseImageLiesWithinTheBytesGivesAnIcon) {
  const auto good = IcoFile(32, 0xFF3070C0);
  auto withCount = [&](int count) {
    auto bytes = good;
    bytes[4] = static_cast<unsigned char>(count);
    return bytes;
  };
  auto withField = [&](std::size_t at, uint32_t value) {
    auto bytes = good;
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
    return bytes;
  };
  struct Case {
    const char* name;
    std::vector<unsigned char> bytes;
    std::size_t size;
    bool icon;
  };
  const Case cases[] = {
      {"an .ico file", good, good.size(), true},
      {"no bytes", {}, 0, false},
      {"a header cut short", good, 5, false},
      {"a cursor directory", withField(2, 2 | 1u << 16), good.size(), false},
      {"no entries", withCount(0), good.size(), false},
      {"more entries than bytes", withCount(4000), good.size(), false},
      {"the image cut short", good, good.size() - 1, false},
      {"the image's offset past the end", withField(6 + 12, 0xFFF0), good.size(), false},
      {"the image's offset inside the directory", withField(6 + 12, 4), good.size(), false},
      {"the image's size past the end", withField(6 + 8, 0x7FFFFFFF), good.size(), false},
  };
  for (const Case& c : cases) {
    const UniqueIcon icon = IconFromDirectory(c.bytes.data(), c.size);
    EXPECT_EQ(icon.Get() != nullptr, c.icon) << c.name;
    if (icon.Get() != nullptr) {
      EXPECT_EQ(simwin::IconPixels(icon.Get())->width, 32) << c.name;
    }
  }
}

using engine::NotifyingReporter;
using engine::ServiceHolder;

// The host of a real service: it shows the sticker with the count it is given, from inside the report callback.
class ShowingHost final : public engine::IService {
 public:
  explicit ShowingHost(simwin::RecordingHost& record) : record_(record) {}
  void SetEngineVersion(const char* version) override { record_.SetEngineVersion(version); }
  void ReportItem(const engine::ServiceReport* report) override { record_.ReportItem(report); }
  void ReportProcessedTotal(int count) override { record_.ReportProcessedTotal(count); }
  void BlockPatternAdded() override { record_.BlockPatternAdded(); }
  void ReportProcessedItems(int window, int count) override {
    record_.ReportProcessedItems(window, count);
    if (show) show(reinterpret_cast<HWND>(static_cast<intptr_t>(window)), std::to_string(count) + " changed");
  }
  std::function<void(HWND, const std::string&)> show;

 private:
  simwin::RecordingHost& record_;
};

class StickerReporterTest : public StickerTest {
 protected:
  std::vector<int> ShownCounts() const {
    std::vector<int> counts;
    for (const auto& call : host_.CallsOf(simwin::HostCall::Kind::ReportProcessedItems)) counts.push_back(call.count);
    return counts;
  }

  ShowingHost showing_{host_};
  std::shared_ptr<NotifyingReporter> reporter_ = std::make_shared<NotifyingReporter>(
      std::make_shared<ServiceHolder>(&showing_), nullptr, GetModuleHandleW(nullptr));
};

TEST_F(StickerReporterTest, ANewStickerClosesTheOldOneAndTheCountRunsOnWhileOneShows) {
  const HWND target = Target({100, 100, 500, 400});
  const int window = static_cast<int>(reinterpret_cast<intptr_t>(target));
  reporter_->ReportProcessed(window, 2);
  reporter_->ShowNotification(target, "2 changed", engine_.Window());
  const HWND first = reporter_->StickerWindow();
  ASSERT_NE(first, nullptr);
  reporter_->ReportProcessed(window, 3);
  reporter_->ShowNotification(target, "5 changed", engine_.Window());
  const HWND second = reporter_->StickerWindow();
  EXPECT_FALSE(IsWindow(first));
  ASSERT_NE(second, nullptr);
  Tick(180);
  EXPECT_FALSE(IsWindow(second));
  reporter_->ReportProcessed(window, 1);
  EXPECT_EQ(ShownCounts(), (std::vector<int>{2, 5, 1}));
  reporter_->Close();
  EXPECT_FALSE(simwin::IsClassRegistered(kStickerClassName));
}

// A machine thread reports while the engine thread waits for that machine (as in AddPattern or the end of a run);
// the host shows the sticker from its callback. The sticker's making must not wait for the engine thread.
TEST_F(StickerReporterTest, AHostShowingTheStickerFromItsReportCallbackDoesNotWaitForTheEngineThread) {
  const HWND target = Target({100, 100, 500, 400});
  showing_.show = [this](HWND window, const std::string& text) {
    reporter_->ShowNotification(window, text, engine_.Window());
  };
  auto machine = [&] {
    reporter_->ReportProcessed(static_cast<int>(reinterpret_cast<intptr_t>(target)), 2);
    reporter_->ReportProcessed(static_cast<int>(reinterpret_cast<intptr_t>(target)), 1);
  };
  std::thread thread(machine);
  std::future<void> joined = std::async(std::launch::async, [&thread] { thread.join(); });
  const bool returned = joined.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
  // A sent sticker waits for this thread: let it through to end the test.
  for (MSG message; joined.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready;) {
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }
  EXPECT_TRUE(returned) << "the machine waited for the engine thread";
  // The second report counts the sticker asked for by the first, though it is not made yet.
  EXPECT_EQ(ShownCounts(), (std::vector<int>{2, 3}));
  engine_.DrainPosted();
  const HWND sticker = reporter_->StickerWindow();
  ASSERT_NE(sticker, nullptr);
  EXPECT_EQ(FindWindowW(kStickerClassName, nullptr), sticker) << "the first sticker was closed by the second";
  reporter_->Close();
}

TEST_F(StickerReporterTest, FollowsItsTargetAndGoesWithIt) {
  const HWND target = Target({100, 100, 500, 400});
  reporter_->ShowNotification(target, "1 changed", engine_.Window());
  const HWND sticker = reporter_->StickerWindow();
  ASSERT_NE(sticker, nullptr);
  auto act = [&](std::function<void()> work) {
    installer_.Invoke(std::move(work));
    engine_.DrainEventsOf(installer_, target);
    engine_.DrainPosted();
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  };
  act([&] { SetWindowPos(target, nullptr, 300, 200, 400, 300, SWP_NOZORDER | SWP_NOACTIVATE); });
  EXPECT_EQ(WindowRect(sticker).top, 505);
  const RECT moved = WindowRect(sticker);
  EXPECT_EQ(moved.left, (300 + 700 - (moved.right - moved.left)) / 2);
  act([&] { ShowWindow(target, SW_HIDE); });
  EXPECT_FALSE(IsWindowVisible(sticker));
  act([&] { ShowWindow(target, SW_SHOWNA); });
  EXPECT_TRUE(IsWindowVisible(sticker));
  EXPECT_NE(GetForegroundWindow(), sticker);
  act([&] { DestroyWindow(target); });
  EXPECT_FALSE(IsWindow(sticker));
}

// The sticker's window procedure is this module's: after Release nothing of it may remain.
TEST(StickerEngineTest, ReleaseTakesTheStickerAwayAndOnlyTheNotifyingEngineShowsOne) {
  for (const bool notifying : {true, false}) {
    simwin::RecordingHost host;
    simwin::Process installer;
    const HWND target = CreateInstallerWindow(installer);
    engine::IEngine* engine = (notifying ? &::CreateEngine : &::CreateEngine2)(host.Service(),
                                                                  static_cast<long>(installer.Id()), 0, host.Writer());
    ASSERT_NE(engine, nullptr);
    engine->ShowNotification(target, "1 changed");
    const HWND sticker = FindWindowW(kStickerClassName, nullptr);
    EXPECT_EQ(sticker != nullptr, notifying);
    engine->Release();
    testing::TraceCapture::Restore();  // the engine made this host the trace sink
    EXPECT_FALSE(IsWindow(sticker));
    EXPECT_FALSE(simwin::IsClassRegistered(kStickerClassName));
  }
}

}  // namespace
}  // namespace installation_assistant::notification
