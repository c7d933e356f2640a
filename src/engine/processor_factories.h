// The factories through which an accepted pattern gets a fresh processor for every
// machine that needs one.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "actions/pattern_listener.h"
#include "common/message_window.h"
#include "host/processed_items_reporter.h"
#include "host/result_collector.h"
#include "host/service_holder.h"
#include "pattern/pattern_model.h"
#include "watch/regular_pattern_windows_watcher_implementation.h"

namespace installation_assistant::engine {

using ActionsProcessorFactory =
    std::function<std::shared_ptr<IPatternActionsProcessor>(const ActionsProcessorParameters& parameters)>;

struct ProcessorFactoryContext {
  int patternId = 0;
  PatternVersion version;
  std::shared_ptr<Pattern> pattern;
  std::shared_ptr<ServiceHolder> service;
  std::shared_ptr<ProcessedItemsReporter> reporter;
  std::shared_ptr<MessageWindow> messageWindow;
  std::shared_ptr<ResultCollector> results;
  ActionsProcessorFactory makeActionsProcessor;
};

// Each processor gets its own actions processor, registered with the result collector.
PatternProcessorFactory MakeRegularProcessorFactory(ProcessorFactoryContext context);
// Silent processors report their own statistics and are not collected.
SilentPatternProcessorFactory MakeSilentProcessorFactory(ProcessorFactoryContext context);

// The end-of-run result of one processor, read from its actions processor.
class ActionsProcessorResult final : public IMatchingResult {
 public:
  explicit ActionsProcessorResult(std::shared_ptr<IPatternActionsProcessor> processor)
      : processor_(std::move(processor)) {}
  int MatchingResult() const override { return processor_->GetMatchingResult(); }
  std::optional<int> FinalResult() const override { return processor_->FinalMatchingResult(); }

 private:
  std::shared_ptr<IPatternActionsProcessor> processor_;
};

}  // namespace installation_assistant::engine
