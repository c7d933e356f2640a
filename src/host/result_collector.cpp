#include "host/result_collector.h"

#include <stdexcept>
#include <vector>

#include "host/host_records.h"

namespace installation_assistant::engine {

int MatchingResultPriority(int code) {
  static const std::map<int, int> priorities = {
      {kMatchedAllRoots, 3},
      {kMatchedSomeRoots, 2},
      {kNeverMatched, 1},
  };
  const auto found = priorities.find(code);
  if (found == priorities.end()) throw std::logic_error("Unexpected matching result.");
  return found->second;
}

ResultCollector::ResultCollector(std::shared_ptr<ServiceHolder> service) : service_(std::move(service)) {}

void ResultCollector::Add(int patternId, ResultEntry entry) {
  if (!entry.matching) throw std::logic_error("Result entry has no matching result");
  std::lock_guard<std::mutex> lock(mutex_);
  entries_.emplace(patternId, std::move(entry));
}

void ResultCollector::Report() const {
  std::multimap<int, ResultEntry> entries;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    entries = entries_;
  }

  struct Kept {
    int patternId;
    int code;
    const ResultEntry* entry;
  };
  std::vector<Kept> kept;
  for (const auto& [patternId, entry] : entries) {
    const int code = entry.matching->MatchingResult();
    const int priority = MatchingResultPriority(code);
    if (!kept.empty() && kept.back().patternId == patternId) {
      // On equal priority the first processor's result stands.
      if (priority > MatchingResultPriority(kept.back().code)) kept.back() = Kept{patternId, code, &entry};
    } else {
      kept.push_back(Kept{patternId, code, &entry});
    }
  }

  for (const Kept& result : kept) {
    ServiceReportData data;
    data.patternId = result.patternId;
    data.resultCode = result.code;
    data.genericPattern = result.entry->generic ? 1 : 0;
    data.patternVersion = result.entry->version;
    const ServiceReport report = ToServiceReport(data);
    service_->Get()->ReportItem(&report);
  }
}

}  // namespace installation_assistant::engine
