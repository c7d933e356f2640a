// Placeholder until the actions processor lands; replaced by it. It keeps the pattern's
// match count, so the end-of-run results are right, and carries out no action: each one
// is refused (not done), which keeps a machine's queue where it is.
#include <atomic>

#include "actions/pattern_listener.h"
#include "common/trace.h"

namespace installation_assistant {
namespace {

class ActionsProcessorPlaceholder final : public IPatternActionsProcessor {
 public:
  explicit ActionsProcessorPlaceholder(std::shared_ptr<Pattern> pattern) : pattern_(std::move(pattern)) {}

  ActionResult SetCheckBox(const std::shared_ptr<UIElement>& element) override { return Refuse(element); }
  ActionResult UnsetCheckBox(const std::shared_ptr<UIElement>& element) override { return Refuse(element); }
  ActionResult SelectRadioButton(const std::shared_ptr<UIElement>& element) override { return Refuse(element); }
  ActionResult AssignMessageBox(const std::shared_ptr<UIElement>& element) override { return Refuse(element); }
  ActionResult PushButton(const std::shared_ptr<UIElement>& element) override { return Refuse(element); }
  ActionResult PixelClick(const std::shared_ptr<UIElement>& element, std::uint32_t, std::uint32_t, bool) override {
    return Refuse(element);
  }

  void PatternMatched(const std::shared_ptr<UIElement>&) override { ++matches_; }
  void PatternUpdated(const std::shared_ptr<UIElement>&) override {}

  int GetMatchingResult() override {
    const int matches = matches_.load();
    if (matches == 0) return 1;
    return static_cast<std::size_t>(matches) == pattern_->GetRootCount() ? 0 : 3;
  }

 private:
  static ActionResult Refuse(const std::shared_ptr<UIElement>& element) {
    TRACE(Warning) << "No actions processor in this build; action on " << element->GetPath() << " not carried out";
    ActionResult result;
    result.failed = true;
    return result;
  }

  std::shared_ptr<Pattern> pattern_;
  std::atomic<int> matches_{0};
};

}  // namespace

std::shared_ptr<IPatternActionsProcessor> CreateActionsProcessor(const ActionsProcessorParameters& parameters) {
  return std::make_shared<ActionsProcessorPlaceholder>(parameters.pattern);
}

}  // namespace installation_assistant
