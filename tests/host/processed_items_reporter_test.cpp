#include "host/processed_items_reporter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "recording_host.h"

namespace installation_assistant::engine {
namespace {

using simwin::HostCall;
using simwin::RecordingHost;

struct Step {
  int window;
  int count;
  bool operator==(const Step&) const = default;
};

struct ReporterCase {
  const char* name;
  bool notifying;
  std::vector<Step> processed;
  std::vector<Step> expectedItems;
  std::vector<int> expectedTotals;
};

TEST(ProcessedItemsReporterTest, CountsAndTotals) {
  const ReporterCase cases[] = {
      {"direct passes counts, total always 0", false, {{0x10, 2}, {0x20, 3}}, {{0x10, 2}, {0x20, 3}}, {0}},
      {"direct without items", false, {}, {}, {0}},
      // Without a sticker on screen each report starts the shown count afresh.
      {"notifying sums the total", true, {{0x10, 2}, {0x20, 3}, {0x10, 1}}, {{0x10, 2}, {0x20, 3}, {0x10, 1}}, {6}},
      {"notifying without items reports nothing", true, {}, {}, {}},
      {"notifying with a non-positive total reports nothing", true, {{0x10, 2}, {0x10, -3}}, {{0x10, 2}, {0x10, -3}},
       {}},
  };
  for (const ReporterCase& c : cases) {
    RecordingHost host;
    auto service = std::make_shared<ServiceHolder>(host.Service());
    const std::shared_ptr<ProcessedItemsReporter> reporter =
        c.notifying ? std::shared_ptr<ProcessedItemsReporter>(std::make_shared<NotifyingReporter>(service))
                    : std::make_shared<DirectReporter>(service);
    for (const Step& step : c.processed) reporter->ReportProcessed(step.window, step.count);
    reporter->ReportTotal();

    std::vector<Step> items;
    for (const HostCall& call : host.CallsOf(HostCall::Kind::ReportProcessedItems)) {
      items.push_back({call.window, call.count});
    }
    EXPECT_EQ(items, c.expectedItems) << c.name;
    std::vector<int> totals;
    for (const HostCall& call : host.CallsOf(HostCall::Kind::ReportProcessedTotal)) totals.push_back(call.count);
    EXPECT_EQ(totals, c.expectedTotals) << c.name;
  }
}

// Machine threads read the stored data (for message boxes) while the host replaces it:
// every read must see one whole record, never a mix. Run under ThreadSanitizer.
TEST(ProcessedItemsReporterTest, ConcurrentReplaceAndReadSeeWholeRecords) {
  RecordingHost host;
  DirectReporter reporter(std::make_shared<ServiceHolder>(host.Service()));
  auto record = [](int n) {
    NotificationDataCopy data;
    data.title = "title " + std::to_string(n);
    data.okButton = "ok " + std::to_string(n);
    data.icons.push_back({1, n, std::vector<unsigned char>(static_cast<std::size_t>(n % 7 + 1), 0x5A)});
    return data;
  };
  reporter.SetNotificationData(record(0));
  std::atomic<bool> stop{false};
  std::atomic<int> torn{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < 3; ++r) {
    readers.emplace_back([&] {
      while (!stop.load()) {
        const NotificationDataCopy seen = reporter.StoredNotificationData().Get();
        const int n = std::stoi(seen.title.substr(6));
        if (!(seen == record(n))) ++torn;
      }
    });
  }
  for (int n = 1; n <= 2000; ++n) reporter.SetNotificationData(record(n));
  stop = true;
  for (auto& reader : readers) reader.join();
  EXPECT_EQ(torn.load(), 0);
  EXPECT_EQ(reporter.StoredNotificationData().Get(), record(2000));
}

}  // namespace
}  // namespace installation_assistant::engine
