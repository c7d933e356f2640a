// Matching cost against an in-memory dialog: what a machine pays per pass on top of
// reading the live tree. The baseline reads every name and child list once, which is the
// least any matcher must do; the other figures are meaningful as ratios to it.
#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "common/trace.h"
#include "pattern/matcher.h"
#include "pattern/parser.h"

namespace {

using namespace installation_assistant;

struct Live {
  ElementType type;
  std::string name;
  std::vector<Live> children;
  bool state = false;  // checked or selected
};

class StateOf final : public CheckBoxPattern, public RadioButtonPattern {
 public:
  explicit StateOf(bool state) : state_(state) {}
  std::shared_ptr<Subscription> SubscribeStateChanges(WinEventHandler) override { return nullptr; }
  PatternActionResult SetCheckBox() override { return {}; }
  PatternActionResult UnsetCheckBox() override { return {}; }
  bool IsChecked() override { return state_; }
  PatternActionResult SelectRadioButton() override { return {}; }
  bool IsSelected() override { return state_; }

 private:
  bool state_;
};

class BenchElement final : public UIElement {
 public:
  BenchElement(const Live& live, std::string path) : UIElement(std::move(path), nullptr, {}, false), live_(live) {}
  static std::shared_ptr<BenchElement> Build(const Live& live, const std::string& path) {
    auto element = std::make_shared<BenchElement>(live, path);
    for (std::size_t i = 0; i < live.children.size(); ++i) {
      element->children_.push_back(
          Build(live.children[i], ChildPath(path, live.children[i].type, static_cast<int>(i))));
    }
    return element;
  }
  ElementType GetType() override { return live_.type; }
  HWND GetWindowHandle() override { return nullptr; }
  Option<std::string> GetName() override { return Option<std::string>::Some(live_.name); }
  RECT GetLocation() override { return {}; }
  RECT GetDPIAwareLocation() override { return {}; }
  std::shared_ptr<Subscription> SubscribeStructureChanges(WinEventHandler) override { return nullptr; }
  std::shared_ptr<CheckBoxPattern> GetCheckBoxPattern() override { return std::make_shared<StateOf>(live_.state); }
  std::shared_ptr<RadioButtonPattern> GetRadioButtonPattern() override {
    return std::make_shared<StateOf>(live_.state);
  }
  std::shared_ptr<PushButtonPattern> GetPushButtonPattern() override { return nullptr; }
  std::vector<std::shared_ptr<UIElement>> GetChildren() override { return {children_.begin(), children_.end()}; }
  void Refresh() override {}
  Option<std::shared_ptr<UIElement>> GetParent() override { return Option<std::shared_ptr<UIElement>>::None(); }
  bool IsEnabled() override { return true; }
  bool IsVisible() override { return true; }

 private:
  Live live_;
  std::vector<std::shared_ptr<BenchElement>> children_;
};

// A setup wizard's options page of 200 elements: an offer box, a content pane of option
// groups (texts, boxes, radio buttons), and the wizard's buttons.
Live RealisticDialog() {
  Live content{ElementType::Pane, "", {}};
  for (int group = 0; content.children.size() < 39; ++group) {
    const std::string n = std::to_string(group);
    Live pane{ElementType::Pane, "", {}};
    pane.children.push_back({ElementType::Text, "Option group " + n, {}});
    pane.children.push_back({ElementType::CheckBox, "Create shortcut " + n, {}, true});
    pane.children.push_back({ElementType::RadioButton, "Typical " + n, {}, true});
    pane.children.push_back({ElementType::RadioButton, "Custom " + n, {}, false});
    content.children.push_back(std::move(pane));
  }
  Live window{ElementType::Window, "Setup", {}};
  window.children.push_back({ElementType::CheckBox, "Install the toolbar", {}, true});
  window.children.push_back(std::move(content));
  window.children.push_back({ElementType::Button, "Next >", {}});
  return window;
}

std::size_t Count(const Live& live) {
  std::size_t total = 1;
  for (const Live& child : live.children) total += Count(child);
  return total;
}

// The exact pattern that describes the dialog node for node: the worst case for exact
// matching, which then visits everything.
std::string ExactPatternOf(const Live& live) {
  const std::string name = "\"" + live.name + "\"";
  switch (live.type) {
    case ElementType::CheckBox:
      return "CheckBox (text=" + name + ")";
    case ElementType::RadioButton:
      return "RadioButton (text=" + name + ")";
    case ElementType::Button:
      return "Button (text=" + name + ")";
    case ElementType::Text:
      return "Text (text=" + name + ") { }";
    default: {
      std::string text = ElementTypeName(live.type) + (live.name.empty() ? "" : " (text=" + name + ")") + " {";
      for (const Live& child : live.children) text += " " + ExactPatternOf(child);
      return text + " }";
    }
  }
}

std::shared_ptr<PatternElement> FirstRoot(const std::string& text) {
  Option<ParsedPattern> parsed = ParsePattern(text);
  if (!parsed) throw std::runtime_error("benchmark pattern does not parse");
  return parsed.Get().pattern->GetRoots().at(0).element;
}

std::string ReadExample(const std::string& name) {
  std::ifstream file(std::string(IAE_PATTERN_EXAMPLES) + "/" + name, std::ios::binary);
  if (!file) throw std::runtime_error("missing example " + name);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// Machines trace at Info in a typical host, but the description of the live tree then
// dominates; the figures here are the matching itself.
struct QuietTrace {
  QuietTrace() { SetTraceThreshold(TraceLevel::Error); }
};
const QuietTrace quiet;

void ReadAll(const std::shared_ptr<UIElement>& element, std::size_t& names) {
  names += element->GetName().Get().size();
  for (const auto& child : element->GetChildren()) ReadAll(child, names);
}

void BM_Baseline_ReadTree(benchmark::State& state) {
  auto live = BenchElement::Build(RealisticDialog(), "Window");
  for (auto _ : state) {
    std::size_t names = 0;
    ReadAll(live, names);
    benchmark::DoNotOptimize(names);
  }
  state.counters["elements"] = static_cast<double>(Count(RealisticDialog()));
}
BENCHMARK(BM_Baseline_ReadTree);

void BM_Exact_FullDialog(benchmark::State& state) {
  const Live dialog = RealisticDialog();
  auto live = BenchElement::Build(dialog, "Window");
  auto pattern = FirstRoot("EngineVersion = 1.5.0.0\n" + ExactPatternOf(dialog));
  ExactMatcher matcher;
  for (auto _ : state) {
    MatchedList matched;
    if (!matcher.Match(pattern, live, matched)) state.SkipWithError("exact pattern did not match");
    benchmark::DoNotOptimize(matched.data());
  }
}
BENCHMARK(BM_Exact_FullDialog);

void BM_Generic_ExamplePattern(benchmark::State& state) {
  auto live = BenchElement::Build(RealisticDialog(), "Window");
  auto pattern = FirstRoot(ReadExample("setup_wizard.pattern"));
  GenericMatcher matcher;
  for (auto _ : state) {
    MatchedList matched;
    if (!matcher.Match(pattern, live, matched)) state.SkipWithError("example pattern did not match");
    benchmark::DoNotOptimize(matched.data());
  }
}
BENCHMARK(BM_Generic_ExamplePattern);

// Failing searches over a flat page of N siblings (A at 10 %, B at 50 %, no C): each as a
// ratio to reading the same page once (BM_Baseline_ReadSiblings/N). Without the search's
// memory of failed ranges these were exponential in the nesting.
Live Siblings(int count) {
  Live window{ElementType::Window, "Setup", {}};
  for (int i = 0; i < count; ++i) {
    const char* name = i == count / 10 ? "A" : i == count / 2 ? "B" : "x";
    window.children.push_back({ElementType::Button, name, {}});
  }
  return window;
}

void BM_Baseline_ReadSiblings(benchmark::State& state) {
  auto live = BenchElement::Build(Siblings(static_cast<int>(state.range(0))), "Window");
  for (auto _ : state) {
    std::size_t names = 0;
    ReadAll(live, names);
    benchmark::DoNotOptimize(names);
  }
}
BENCHMARK(BM_Baseline_ReadSiblings)->Arg(100)->Arg(1000);

void FailingSearch(benchmark::State& state, const char* body) {
  auto live = BenchElement::Build(Siblings(static_cast<int>(state.range(0))), "Window");
  auto pattern = FirstRoot(std::string("EngineVersion = 1.5.0.0\n") + body);
  GenericMatcher matcher;
  for (auto _ : state) {
    MatchBounds bounds(~std::uint64_t{0});
    MatchedList matched;
    if (matcher.Match(pattern, live, matched)) state.SkipWithError("must not match");
    state.counters["steps"] = static_cast<double>(bounds.NodeTests());
  }
}

void BM_Generic_StarsFail(benchmark::State& state) {
  FailingSearch(state, "Window { * Button (text=\"A\") * Button (text=\"B\") * Button (text=\"C\") }");
}
BENCHMARK(BM_Generic_StarsFail)->Arg(100)->Arg(1000);

void BM_Generic_NestedAnyLevelFail(benchmark::State& state) {
  FailingSearch(state, "Window { AnyLevel { AnyLevel { AnyLevel { Button (text=\"C\") } } } }");
}
BENCHMARK(BM_Generic_NestedAnyLevelFail)->Arg(100)->Arg(1000);

}  // namespace

BENCHMARK_MAIN();
