#include "host/result_collector.h"

#include <optional>
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

namespace {

class FoldedResult final : public IMatchingResult {
 public:
  explicit FoldedResult(int code) : code_(code) {}
  int MatchingResult() const override { return code_; }
  std::optional<int> FinalResult() const override { return code_; }

 private:
  int code_;
};

}  // namespace

void ResultCollector::Add(int patternId, ResultEntry entry) {
  if (!entry.matching) throw std::logic_error("Result entry has no matching result");
  std::lock_guard<std::mutex> lock(mutex_);
  // One pattern's entries differ only in their code, and only the best code is reported: its final ones fold into
  // one whenever it gets another (each new window gives every pattern one). Only this pattern's: a window with many
  // patterns adds them all at once.
  std::optional<ResultEntry> folded;
  const auto [begin, end] = entries_.equal_range(patternId);
  for (auto it = begin; it != end;) {
    const std::optional<int> code = it->second.matching->FinalResult();
    if (!code) {
      ++it;
      continue;
    }
    if (!folded.has_value()) {
      folded = it->second;
      folded->matching = std::make_shared<FoldedResult>(*code);
    } else if (MatchingResultPriority(*code) > MatchingResultPriority(folded->matching->MatchingResult())) {
      folded->matching = std::make_shared<FoldedResult>(*code);
    }
    it = entries_.erase(it);
  }
  if (folded.has_value()) entries_.emplace(patternId, std::move(*folded));
  entries_.emplace(patternId, std::move(entry));
}

std::size_t ResultCollector::EntryCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return entries_.size();
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
