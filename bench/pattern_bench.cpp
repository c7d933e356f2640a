// Parsing cost of patterns: the host adds every pattern once, so this bounds start-up work.
#include <benchmark/benchmark.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "pattern/parser.h"

namespace {

using namespace installation_assistant;

std::string ReadExample(const std::string& name) {
  std::ifstream file(std::string(IAE_PATTERN_EXAMPLES) + "/" + name, std::ios::binary);
  if (!file) throw std::runtime_error("missing example " + name);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// A pattern of many dialogs: each root is a small wizard page like the example's.
std::string ManyRoots(int count) {
  std::string text = "EngineVersion = 1.5.0.0\n";
  for (int i = 0; i < count; ++i) {
    const std::string n = std::to_string(i);
    text += (i % 2 ? "UIAutomation: " : "") + std::string("Window (text=\"Setup ") + n + "\") {\n" +
            "    ?CheckBox (text=\"Install option " + n + "\") { off }\n" +
            "    AnyLevel { RadioButton (id=\"" + n + "\") { on (1) } }\n" +
            "    Button (id=\"12324\" text=\"Next >\") { push (2) }\n" + "    Pane [50%,90%] { * }\n}\n";
  }
  return text;
}

void ParseOrFail(benchmark::State& state, const std::string& text) {
  NullDiagnosticSink sink;
  for (auto _ : state) {
    Option<ParsedPattern> parsed = ParsePattern(text, sink);
    if (!parsed) {
      state.SkipWithError("the benchmark pattern does not parse");
      break;
    }
    benchmark::DoNotOptimize(parsed);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
}

void BM_ParseExamplePattern(benchmark::State& state) { ParseOrFail(state, ReadExample("setup_wizard.pattern")); }
BENCHMARK(BM_ParseExamplePattern);

void BM_ParseHeaderOfExample(benchmark::State& state) {
  const std::string text = ReadExample("setup_wizard.pattern");
  NullDiagnosticSink sink;
  for (auto _ : state) benchmark::DoNotOptimize(ParsePatternHeader(text, sink));
}
BENCHMARK(BM_ParseHeaderOfExample);

void BM_Parse200Roots(benchmark::State& state) { ParseOrFail(state, ManyRoots(200)); }
BENCHMARK(BM_Parse200Roots);

void BM_DescribeExample(benchmark::State& state) {
  NullDiagnosticSink sink;
  const auto parsed = ParsePattern(ReadExample("setup_wizard.pattern"), sink);
  for (auto _ : state) benchmark::DoNotOptimize(parsed.Get().pattern->Describe());
}
BENCHMARK(BM_DescribeExample);

}  // namespace

BENCHMARK_MAIN();
