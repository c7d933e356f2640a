#include "watch/silent_pattern_processor.h"

#include <utility>

#include "common/trace.h"
#include "host/host_records.h"

namespace installation_assistant {
namespace {

int DumpLevel(const std::shared_ptr<UIElement>& element, std::string& dump, int depth) {
  dump += ElementTypeName(element->GetType());
  dump += "(\"";
  dump += element->GetName().GetOr(std::string());
  dump += "\")";
  int count = 1;
  // A served tree may be deeper than any dialog (or endless); the rest counts as absent.
  if (depth >= kMaxDumpDepth) return count;
  const std::vector<std::shared_ptr<UIElement>> children = element->GetChildren();
  if (children.empty()) return count;
  dump += "{";
  for (std::size_t i = 0; i < children.size(); ++i) {
    if (i > 0) dump += ",";
    count += DumpLevel(children[i], dump, depth + 1);
  }
  dump += "}";
  return count;
}

}  // namespace

int DumpSubtree(const std::shared_ptr<UIElement>& element, std::string& dump) { return DumpLevel(element, dump, 0); }

SilentPatternProcessor::SilentPatternProcessor(int patternId, std::vector<PatternRoot> roots,
                                               std::shared_ptr<PatternMatcher> matcher, std::string patternVersion,
                                               std::shared_ptr<engine::ServiceHolder> service)
    : patternId_(patternId),
      roots_(std::move(roots)),
      matcher_(std::move(matcher)),
      patternVersion_(std::move(patternVersion)),
      service_(std::move(service)),
      bestDumps_(roots_.size()),
      bestScores_(roots_.size(), 0) {}

void SilentPatternProcessor::Match(const ElementResolver& resolver) {
  for (std::size_t i = 0; i < roots_.size(); ++i) {
    const Option<std::shared_ptr<UIElement>> element = resolver(Option<PatternRoot>::Some(roots_[i]));
    if (element.IsNone()) continue;
    MatchedList matched;
    if (!matcher_->Match(roots_[i].element, element.Get(), matched)) continue;
    std::string dump;
    const int score = DumpSubtree(element.Get(), dump);
    // Ties keep the earlier dump.
    if (score > bestScores_[i]) {
      bestScores_[i] = score;
      bestDumps_[i] = std::move(dump);
    }
  }
}

void SilentPatternProcessor::FlushStatistics() {
  std::string dumps;
  for (const std::string& dump : bestDumps_) dumps += dump;
  if (dumps.empty()) return;
  TRACE(Debug) << "Sending generic silent pattern matching statistic";
  engine::ServiceReportData data;
  data.patternId = patternId_;
  data.resultCode = 0;
  data.genericPattern = 1;
  data.controlPath = std::move(dumps);
  data.patternVersion = patternVersion_;
  const engine::ServiceReport report = engine::ToServiceReport(data);
  service_->Get()->ReportItem(&report);
}

}  // namespace installation_assistant
