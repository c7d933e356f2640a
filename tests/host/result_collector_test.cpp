#include "host/result_collector.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "common/raised.h"
#include "engine/engine_test_support.h"

namespace installation_assistant::engine {
namespace {

using simwin::HostCall;
using simwin::RecordingHost;

ResultEntry Entry(int code, const char* version, bool generic = false) {
  return ResultEntry{generic, version, std::make_shared<FixedResult>(code)};
}

TEST(ResultCollectorTest, ReportsOneResultPerPatternInIdOrder) {
  RecordingHost host;
  ResultCollector collector(std::make_shared<ServiceHolder>(host.Service()));
  // Pattern 9: a later, strictly better result wins.
  collector.Add(9, Entry(kNeverMatched, "9.0.0.1"));
  collector.Add(9, Entry(kMatchedSomeRoots, "9.0.0.2"));
  collector.Add(9, Entry(kNeverMatched, "9.0.0.3"));
  // Pattern 2: equal priority keeps the first.
  collector.Add(2, Entry(kMatchedSomeRoots, "2.0.0.1", true));
  collector.Add(2, Entry(kMatchedSomeRoots, "2.0.0.2"));
  // Pattern 5: the best comes last.
  collector.Add(5, Entry(kNeverMatched, "5.0.0.1"));
  collector.Add(5, Entry(kMatchedSomeRoots, "5.0.0.2"));
  collector.Add(5, Entry(kMatchedAllRoots, "5.0.0.3", true));
  collector.Report();

  EXPECT_EQ(host.FormatCalls(),
            "ReportItem patternId=2 resultCode=3 genericPattern=1 elementType=0 controlData=null controlPath=\"\" "
            "userAction=\"\" desiredState=\"\" patternVersion=\"2.0.0.1\"\n"
            "ReportItem patternId=5 resultCode=0 genericPattern=1 elementType=0 controlData=null controlPath=\"\" "
            "userAction=\"\" desiredState=\"\" patternVersion=\"5.0.0.3\"\n"
            "ReportItem patternId=9 resultCode=3 genericPattern=0 elementType=0 controlData=null controlPath=\"\" "
            "userAction=\"\" desiredState=\"\" patternVersion=\"9.0.0.2\"\n");
}

// The best result is found by priority: all roots, then some, then none.
TEST(ResultCollectorTest, UnexpectedCodeStopsTheReport) {
  for (int code : {2, 4, -1}) {
    RecordingHost host;
    ResultCollector collector(std::make_shared<ServiceHolder>(host.Service()));
    collector.Add(1, Entry(code, "1.0.0.0"));
    EXPECT_EQ(testing::LogicErrorOf([&] { collector.Report(); }), "Unexpected matching result.") << code;
    EXPECT_EQ(host.Count(HostCall::Kind::ReportItem), 0u);
  }
}

// New windows and late AddPattern calls add entries from other threads while the run ends
// and reports: nothing is lost or reported twice, and the walk never sees a half-made entry.
// Run under ThreadSanitizer.
TEST(ResultCollectorTest, EntriesAddedWhileReportingAreSafe) {
  RecordingHost host;
  ResultCollector collector(std::make_shared<ServiceHolder>(host.Service()));
  constexpr int kPatterns = 50;
  std::vector<std::thread> adders;
  for (int t = 0; t < 4; ++t) {
    adders.emplace_back([&collector, t] {
      for (int id = 0; id < kPatterns; ++id) collector.Add(id, Entry(t == 0 ? kMatchedAllRoots : kNeverMatched, "1.5.0.0"));
    });
  }
  for (int i = 0; i < 20; ++i) collector.Report();
  for (auto& adder : adders) adder.join();

  host.Clear();
  collector.Report();
  const auto reports = host.CallsOf(HostCall::Kind::ReportItem);
  ASSERT_EQ(reports.size(), static_cast<std::size_t>(kPatterns));
  for (int id = 0; id < kPatterns; ++id) {
    EXPECT_EQ(reports[static_cast<std::size_t>(id)].report.patternId, id);
    EXPECT_EQ(reports[static_cast<std::size_t>(id)].report.resultCode, kMatchedAllRoots);  // the best code wins
  }
}

}  // namespace
}  // namespace installation_assistant::engine
