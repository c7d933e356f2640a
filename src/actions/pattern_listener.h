// The side of a pattern's actions processor that the machines and the engine talk to: told
// of every match and of the end of every action list, asked for the pattern's result when
// the run ends.
#pragma once

#include <memory>
#include <optional>

#include "pattern/actions_interface.h"
#include "pattern/pattern_model.h"
#include "pattern/pattern_version.h"
#include "uielement/ui_element.h"

namespace installation_assistant {

class MessageWindow;
namespace engine {
class ServiceHolder;
class ProcessedItemsReporter;
}  // namespace engine

class IPatternListener {
 public:
  virtual ~IPatternListener() = default;
  // A pattern root matched; element is the live root it matched against.
  virtual void PatternMatched(const std::shared_ptr<UIElement>& element) = 0;
  // An action list has run; rootElement is the window it ran on.
  virtual void PatternUpdated(const std::shared_ptr<UIElement>& rootElement) = 0;
  // The matched window is gone: nothing of it is watched any more. The result stays asked for until the run ends.
  virtual void WindowClosed() {}
};

// One per pattern processor.
class IPatternActionsProcessor : public IActionsProcessor, public IPatternListener {
 public:
  // The end-of-run result code: 0 all roots matched, 3 some, 1 none.
  virtual int GetMatchingResult() = 0;
  // The same, once the window is gone and it can change no more; read without tracing.
  virtual std::optional<int> FinalMatchingResult() const { return std::nullopt; }
};

struct ActionsProcessorParameters {
  int patternId = 0;
  std::shared_ptr<Pattern> pattern;
  PatternVersion version;
  std::shared_ptr<engine::ServiceHolder> service;
  std::shared_ptr<engine::ProcessedItemsReporter> reporter;
  std::shared_ptr<MessageWindow> messageWindow;
};

std::shared_ptr<IPatternActionsProcessor> CreateActionsProcessor(const ActionsProcessorParameters& parameters);

}  // namespace installation_assistant
