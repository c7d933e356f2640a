#include "pattern/pattern_model.h"

#include <sstream>
#include <stdexcept>

namespace installation_assistant {

PatternAction::PatternAction(std::uint32_t index, ActionExecutor executor, std::string name,
                             Option<ClickPoint> clickPoint)
    : index_(index),
      executor_(std::move(executor)),
      isPixelClick_(name == "pixelClick"),
      setsState_(name == "on" || name == "off"),
      name_(std::move(name)),
      clickPoint_(std::move(clickPoint)) {}

ActionResult PatternAction::Execute(const std::shared_ptr<UIElement>& element,
                                    const std::shared_ptr<IActionsProcessor>& processor) const {
  if (!processor) throw std::logic_error("PatternAction executed without an actions processor");
  return executor_(element, processor);
}

std::shared_ptr<PatternAction> MakeStateAction(ElementType control, DesiredState state, std::uint32_t index) {
  using Element = const std::shared_ptr<UIElement>&;
  using Processor = const std::shared_ptr<IActionsProcessor>&;
  // The executors capture nothing: the model never keeps a live element or a processor.
  if (control == ElementType::CheckBox && state == DesiredState::On) {
    return std::make_shared<PatternAction>(
        index, [](Element e, Processor p) { return p->SetCheckBox(e); }, "on", Option<ClickPoint>());
  }
  if (control == ElementType::CheckBox && state == DesiredState::Off) {
    return std::make_shared<PatternAction>(
        index, [](Element e, Processor p) { return p->UnsetCheckBox(e); }, "off", Option<ClickPoint>());
  }
  if (control == ElementType::RadioButton && state == DesiredState::On) {
    return std::make_shared<PatternAction>(
        index, [](Element e, Processor p) { return p->SelectRadioButton(e); }, "on", Option<ClickPoint>());
  }
  if (control == ElementType::Button && state == DesiredState::Push) {
    return std::make_shared<PatternAction>(
        index, [](Element e, Processor p) { return p->PushButton(e); }, "push", Option<ClickPoint>());
  }
  if (control == ElementType::Button && state == DesiredState::Block) {
    return std::make_shared<PatternAction>(
        index, [](Element e, Processor p) { return p->AssignMessageBox(e); }, "block", Option<ClickPoint>());
  }
  throw std::logic_error("No desired state of this kind for " + ElementTypeName(control));
}

Option<StateChecker> MakeStateChecker(ElementType control, DesiredState state) {
  // A control already in the wanted state does not match. An element without the pattern
  // object cannot be that control, so it does not match either.
  if (control == ElementType::CheckBox && (state == DesiredState::On || state == DesiredState::Off)) {
    const bool wantChecked = state == DesiredState::Off;
    return Option<StateChecker>::Some([wantChecked](const std::shared_ptr<UIElement>& element) {
      const Option<bool> checked = element ? element->CheckedAsSeen() : Option<bool>::None();
      return checked.IsSome() && checked.Get() == wantChecked;
    });
  }
  if (control == ElementType::RadioButton && state == DesiredState::On) {
    return Option<StateChecker>::Some([](const std::shared_ptr<UIElement>& element) {
      const Option<bool> selected = element ? element->SelectedAsSeen() : Option<bool>::None();
      return selected.IsSome() && !selected.Get();
    });
  }
  return Option<StateChecker>();
}

std::shared_ptr<PatternAction> MakeClickAction(ClickPoint point) {
  return std::make_shared<PatternAction>(
      kPixelClickIndex,
      [point](const std::shared_ptr<UIElement>& element, const std::shared_ptr<IActionsProcessor>& processor) {
        return processor->PixelClick(element, point.x, point.y, point.isAbsolute);
      },
      "pixelClick", Option<ClickPoint>::Some(point));
}

PatternElement::PatternElement(Option<std::string> id, Option<std::string> text, ElementType type,
                               std::vector<std::shared_ptr<PatternElement>> children,
                               std::vector<std::shared_ptr<PatternAction>> actions, bool optional,
                               std::vector<StateChecker> checkers)
    : id_(std::move(id)),
      text_(std::move(text)),
      type_(type),
      children_(std::move(children)),
      actions_(std::move(actions)),
      optional_(optional),
      checkers_(std::move(checkers)),
      compiledText_(text_.IsSome() ? std::make_shared<const CompiledText>(text_.Get()) : nullptr) {}

std::string PatternElement::Describe() const {
  std::string result = ElementTypeName(type_);
  if (!children_.empty()) {
    result += "{";
    for (const auto& child : children_) result += child->Describe();
    result += "}";
  } else if (IsControlType(type_)) {
    result += "(";
    if (text_) result += "text=\"" + text_.Get() + "\"";
    result += ")";
  } else {
    result += "{}";
  }
  return result;
}

bool PatternElement::AnyNode(const std::function<bool(const PatternElement&)>& visitor) const {
  if (visitor(*this)) return true;
  for (const auto& child : children_) {
    if (child->AnyNode(visitor)) return true;
  }
  return false;
}

std::string PatternRoot::Describe() const {
  return std::string(accessType == UIAccessType::UIAutomation ? "UIAutomation" : "MSAA") + "{" +
         (element ? element->Describe() : std::string()) + "}";
}

Pattern::Pattern(std::vector<PatternRoot> roots) : roots_(std::move(roots)) {}

std::shared_ptr<Pattern> Pattern::Create(std::vector<PatternRoot> roots) {
  return std::shared_ptr<Pattern>(new Pattern(std::move(roots)));
}

std::string Pattern::Describe() const {
  std::ostringstream stream;
  stream << IsGeneric();
  for (const PatternRoot& root : roots_) stream << root.Describe();
  return stream.str();
}

bool Pattern::IsGeneric() const {
  return AnyNode([](const PatternElement& node) {
    return node.GetType() == ElementType::AnyLevel || node.GetType() == ElementType::Any || node.IsOptional();
  });
}

bool Pattern::HasActions() const {
  return AnyNode([](const PatternElement& node) { return !node.GetActions().empty(); });
}

bool Pattern::ContainsBlockAction() const {
  return AnyNode([](const PatternElement& node) {
    for (const auto& action : node.GetActions()) {
      if (action->GetName() == "block") return true;
    }
    return false;
  });
}

bool Pattern::ContainsPixelClick() const {
  return AnyNode([](const PatternElement& node) {
    for (const auto& action : node.GetActions()) {
      if (action->IsPixelClick()) return true;
    }
    return false;
  });
}

bool Pattern::AnyNode(const std::function<bool(const PatternElement&)>& visitor) const {
  for (const PatternRoot& root : roots_) {
    if (root.element && root.element->AnyNode(visitor)) return true;
  }
  return false;
}

}  // namespace installation_assistant
