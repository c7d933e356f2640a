// What a parsed pattern means: roots of element trees, the desired states of their controls
// and the clicks to make. Built once by the parser and immutable afterwards, so any thread
// may read it; everything is shared through std::shared_ptr.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/option.h"
#include "pattern/actions_interface.h"
#include "pattern/pattern_version.h"
#include "pattern/text_condition.h"
#include "uielement/element_type.h"
#include "uielement/ui_element.h"

namespace installation_assistant {

// Index of a desired state written without a number, and of every click: clicks run last.
inline constexpr std::uint32_t kDefaultActionIndex = 65535;
inline constexpr std::uint32_t kPixelClickIndex = 2147483647;

struct ClickPoint {
  std::uint32_t x = 0;
  std::uint32_t y = 0;
  bool isAbsolute = true;  // pixels; false: percent of the element's size

  friend bool operator==(const ClickPoint&, const ClickPoint&) = default;
};

// A predicate the live element must pass before its node counts as matched.
using StateChecker = std::function<bool(const std::shared_ptr<UIElement>&)>;

using ActionExecutor =
    std::function<ActionResult(const std::shared_ptr<UIElement>&, const std::shared_ptr<IActionsProcessor>&)>;

class PatternAction {
 public:
  PatternAction(std::uint32_t index, ActionExecutor executor, std::string name, Option<ClickPoint> clickPoint);

  // The order key; compare as signed 32-bit numbers when sorting a match's actions.
  std::uint32_t GetIndex() const { return index_; }
  const std::string& GetName() const { return name_; }
  bool IsPixelClick() const { return isPixelClick_; }
  // Checks or unchecks a check box, selects a radio button: changes that control's state and nothing else that the
  // matching reads.
  bool SetsState() const { return setsState_; }
  // The point a click captured; empty for desired states. For descriptions only.
  const Option<ClickPoint>& GetClickPoint() const { return clickPoint_; }
  // Calls the one actions-processor operation of this action and returns its result.
  ActionResult Execute(const std::shared_ptr<UIElement>& element,
                       const std::shared_ptr<IActionsProcessor>& processor) const;

 private:
  const std::uint32_t index_;
  const ActionExecutor executor_;
  const bool isPixelClick_;
  const bool setsState_;
  const std::string name_;
  const Option<ClickPoint> clickPoint_;
};

enum class DesiredState { On, Off, Push, Block };

// The action of a desired state on a control of the given type, and its checker when it has
// one (check boxes and radio buttons match only while not yet in the wanted state).
std::shared_ptr<PatternAction> MakeStateAction(ElementType control, DesiredState state, std::uint32_t index);
Option<StateChecker> MakeStateChecker(ElementType control, DesiredState state);
std::shared_ptr<PatternAction> MakeClickAction(ClickPoint point);

class PatternElement {
 public:
  PatternElement(Option<std::string> id, Option<std::string> text, ElementType type,
                 std::vector<std::shared_ptr<PatternElement>> children,
                 std::vector<std::shared_ptr<PatternAction>> actions, bool optional, std::vector<StateChecker> checkers);

  const Option<std::string>& GetId() const { return id_; }
  // UTF-8 regular expression for the element's name.
  const Option<std::string>& GetText() const { return text_; }
  ElementType GetType() const { return type_; }
  const std::vector<std::shared_ptr<PatternElement>>& GetChildren() const { return children_; }
  const std::vector<std::shared_ptr<PatternAction>>& GetActions() const { return actions_; }
  bool IsOptional() const { return optional_; }
  const std::vector<StateChecker>& GetCheckers() const { return checkers_; }
  // The text, compiled once; null without a text.
  const CompiledText* GetCompiledText() const { return compiledText_.get(); }
  std::size_t GetCheckerCount() const { return checkers_.size(); }

  // Type name, then "{children}", or for a control "(text="...")", or "{}".
  std::string Describe() const;

  // Pre-order walk of this subtree; stops and returns true as soon as the visitor does.
  bool AnyNode(const std::function<bool(const PatternElement&)>& visitor) const;

 private:
  const Option<std::string> id_;
  const Option<std::string> text_;
  const ElementType type_;
  const std::vector<std::shared_ptr<PatternElement>> children_;
  const std::vector<std::shared_ptr<PatternAction>> actions_;
  const bool optional_;
  const std::vector<StateChecker> checkers_;
  const std::shared_ptr<const CompiledText> compiledText_;
};

struct PatternRoot {
  std::shared_ptr<PatternElement> element;
  UIAccessType accessType = UIAccessType::MSAA;

  // "MSAA{...}" or "UIAutomation{...}" around the element's description.
  std::string Describe() const;
};

class Pattern : public std::enable_shared_from_this<Pattern> {
 public:
  static std::shared_ptr<Pattern> Create(std::vector<PatternRoot> roots);
  virtual ~Pattern() = default;
  Pattern(const Pattern&) = delete;
  Pattern& operator=(const Pattern&) = delete;

  // IsGeneric as 1 or 0, then every root's description.
  virtual std::string Describe() const;
  // Some node anywhere is AnyLevel, Any, or optional.
  virtual bool IsGeneric() const;

  std::vector<PatternRoot> GetRoots() const { return roots_; }
  std::size_t GetRootCount() const { return roots_.size(); }

  bool HasActions() const;
  bool ContainsBlockAction() const;
  bool ContainsPixelClick() const;

 protected:
  explicit Pattern(std::vector<PatternRoot> roots);

 private:
  bool AnyNode(const std::function<bool(const PatternElement&)>& visitor) const;

  const std::vector<PatternRoot> roots_;
};

struct ParsedPattern {
  PatternVersion engineVersion;
  std::shared_ptr<Pattern> pattern;
};

}  // namespace installation_assistant
