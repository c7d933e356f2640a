// A pattern that never acts: it remembers the largest match of each root and sends it to
// the host as statistics when its machine shuts down.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/service_holder.h"
#include "pattern/matcher.h"
#include "pattern/pattern_model.h"
#include "watch/pattern_processor.h"

namespace installation_assistant {

// Used by one silent machine only, under that machine's lock.
class SilentPatternProcessor {
 public:
  SilentPatternProcessor(int patternId, std::vector<PatternRoot> roots, std::shared_ptr<PatternMatcher> matcher,
                         std::string patternVersion, std::shared_ptr<engine::ServiceHolder> service);

  // Tries every root; a root's dump is replaced only by a strictly larger subtree.
  void Match(const ElementResolver& resolver);
  // Sends one record when any root has matched; nothing otherwise.
  void FlushStatistics();

 private:
  int patternId_;
  std::vector<PatternRoot> roots_;
  std::shared_ptr<PatternMatcher> matcher_;
  std::string patternVersion_;
  std::shared_ptr<engine::ServiceHolder> service_;
  std::vector<std::string> bestDumps_;
  std::vector<int> bestScores_;
};

// The number of elements of the subtree and its dump: type name and name of each element,
// children in braces, in order. Elements deeper than kMaxDumpDepth are left out.
inline constexpr int kMaxDumpDepth = 256;
int DumpSubtree(const std::shared_ptr<UIElement>& element, std::string& dump);

}  // namespace installation_assistant
