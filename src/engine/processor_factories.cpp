#include "engine/processor_factories.h"

#include <stdexcept>
#include <utility>

#include "common/trace.h"
#include "watch/pattern_processor.h"
#include "watch/silent_pattern_processor.h"

namespace installation_assistant::engine {

PatternProcessorFactory MakeRegularProcessorFactory(ProcessorFactoryContext context) {
  return [context = std::move(context)]() -> std::shared_ptr<PatternProcessor> {
    ActionsProcessorParameters parameters;
    parameters.patternId = context.patternId;
    parameters.pattern = context.pattern;
    parameters.version = context.version;
    parameters.service = context.service;
    parameters.reporter = context.reporter;
    parameters.messageWindow = context.messageWindow;
    std::shared_ptr<IPatternActionsProcessor> actions = context.makeActionsProcessor(parameters);
    if (!actions) throw std::logic_error("No actions processor for the pattern");
    auto processor = std::make_shared<PatternProcessor>(context.pattern->GetRoots(), actions, actions,
                                                        MakeMatcherFor(*context.pattern), context.patternId);
    context.results->Add(context.patternId, ResultEntry{context.pattern->IsGeneric(), context.version.ToString(),
                                                        std::make_shared<ActionsProcessorResult>(actions)});
    TRACE(Info) << "PatternProcessor 0x" << processor.get() << " created for pattern #" << context.patternId;
    return processor;
  };
}

SilentPatternProcessorFactory MakeSilentProcessorFactory(ProcessorFactoryContext context) {
  return [context = std::move(context)]() -> std::shared_ptr<SilentPatternProcessor> {
    auto processor =
        std::make_shared<SilentPatternProcessor>(context.patternId, context.pattern->GetRoots(),
                                                 MakeMatcherFor(*context.pattern), context.version.ToString(),
                                                 context.service);
    TRACE(Info) << "PatternProcessor 0x" << processor.get() << " created for pattern #" << context.patternId;
    return processor;
  };
}

}  // namespace installation_assistant::engine
