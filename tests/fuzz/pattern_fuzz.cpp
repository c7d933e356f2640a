// Fuzzes both entry points of the pattern parser with the same bytes a host could pass.
// scripts/fuzz.sh builds and runs it (with pattern.dict: the keywords and punctuation); corpus/pattern seeds it.
//
// Beyond crashes, leaks and hangs it checks what must hold for every input: both entry points
// raise the version exception together and with its one message, a text that parses fully
// also has a readable header with the same version, every diagnostic has a position, and the
// model keeps its invariants.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string_view>

#include "pattern/parser.h"

namespace {

using namespace installation_assistant;

class CheckingSink final : public DiagnosticSink {
 public:
  void Report(const Diagnostic& diagnostic) override {
    if (diagnostic.line < 1 || diagnostic.column < 1 || diagnostic.message.empty()) std::abort();
  }
};

bool IsControl(ElementType type) {
  return type == ElementType::Button || type == ElementType::CheckBox || type == ElementType::RadioButton;
}

void CheckNode(const PatternElement& node, int depth) {
  if (depth >= kMaxNestingDepth) std::abort();
  const auto children = node.GetChildren();
  const auto actions = node.GetActions();
  if (node.GetId() && !IsControl(node.GetType())) std::abort();
  if (node.GetCheckerCount() > 1 || (node.GetCheckerCount() == 1 && !IsControl(node.GetType()))) std::abort();
  if (IsControl(node.GetType()) && !children.empty()) std::abort();
  if (node.GetType() == ElementType::Any && (node.GetText() || !children.empty() || !actions.empty())) std::abort();
  if (node.GetType() == ElementType::AnyLevel && (node.GetText() || !actions.empty())) std::abort();
  if (!IsControl(node.GetType()) && node.GetText() && node.GetText().Get().empty()) std::abort();
  std::size_t states = 0;
  for (const auto& action : actions) {
    if (action->IsPixelClick() != (action->GetName() == "pixelClick")) std::abort();
    if (action->IsPixelClick() != static_cast<bool>(action->GetClickPoint())) std::abort();
    if (action->IsPixelClick() && action->GetIndex() != kPixelClickIndex) std::abort();
    if (!action->IsPixelClick()) {
      if (states++ > 0 || action != actions.front()) std::abort();  // at most one, and first
    }
  }
  for (const auto& child : children) CheckNode(*child, depth + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  CheckingSink sink;

  // Raising is allowed with the version exception's one message only.
  const auto raised = [](const auto& parse) {
    try {
      parse();
    } catch (const std::runtime_error& error) {
      if (std::strcmp(error.what(), "Unable to parse engine version") != 0) std::abort();
      return true;
    }
    return false;
  };
  Option<PatternVersion> header;
  Option<ParsedPattern> parsed;
  if (raised([&] { header = ParsePatternHeader(text, sink); }) != raised([&] { parsed = ParsePattern(text, sink); })) {
    std::abort();
  }
  if (!parsed) return 0;

  if (!header || !(header.Get() == parsed.Get().engineVersion)) std::abort();
  const auto& pattern = *parsed.Get().pattern;
  if (pattern.GetRootCount() == 0) std::abort();
  for (const auto& root : pattern.GetRoots()) CheckNode(*root.element, 0);
  const std::string description = pattern.Describe();
  if (description.empty() || description[0] != (pattern.IsGeneric() ? '1' : '0')) std::abort();
  if (pattern.ContainsBlockAction() && !pattern.HasActions()) std::abort();
  if (pattern.ContainsPixelClick() && !pattern.HasActions()) std::abort();
  return 0;
}
