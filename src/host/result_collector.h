// Collects one result entry per pattern processor and reports one result per pattern
// when the run ends.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "host/service_holder.h"

namespace installation_assistant::engine {

// Result codes of a pattern's matching at the end of the run.
enum MatchingResultCode : int {
  kMatchedAllRoots = 0,
  kNeverMatched = 1,
  kMatchedSomeRoots = 3,
};

// What a pattern processor's statistics answer when the run ends.
class IMatchingResult {
 public:
  virtual ~IMatchingResult() = default;
  // One of MatchingResultCode.
  virtual int MatchingResult() const = 0;
  // The result once it can change no more (its window is gone), read without calling the host; else nothing.
  virtual std::optional<int> FinalResult() const { return std::nullopt; }
};

struct ResultEntry {
  bool generic = false;
  std::string version;
  std::shared_ptr<const IMatchingResult> matching;
};

// Higher wins when one pattern has several processors; throws std::logic_error
// "Unexpected matching result." for a code that is not a matching result.
int MatchingResultPriority(int code);

class ResultCollector {
 public:
  explicit ResultCollector(std::shared_ptr<ServiceHolder> service);

  // Entries whose result is final are folded into one per pattern, so that a long run with many windows keeps
  // what each pattern needs, not every window's processor.
  void Add(int patternId, ResultEntry entry);
  std::size_t EntryCount() const;
  // One ReportItem per pattern id, in increasing id; no lock is held while the host runs.
  void Report() const;

 private:
  std::shared_ptr<ServiceHolder> service_;
  mutable std::mutex mutex_;
  std::multimap<int, ResultEntry> entries_;
};

}  // namespace installation_assistant::engine
