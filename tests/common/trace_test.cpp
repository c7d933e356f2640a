#include "common/trace.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cwchar>
#include <functional>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <tuple>
#include <vector>

#include "common/trace_capture.h"
#include "common/win32_error.h"
#include "installation_assistant/engine.h"
#include "recording_host.h"

namespace installation_assistant {
namespace {

using simwin::HostCall;
using simwin::RecordingHost;
using testing::TraceCapture;

TEST(FunctionNameFieldTest, ShortensToLastTwoComponents) {
  const std::tuple<const char*, int, const wchar_t*> cases[] = {
      {"Engine::AddPatternCore", 12, L"Engine::AddPatternCore\t"},
      {"CreateEngineImpl", 12, L"CreateEngineImpl\t"},
      {"installation_assistant::ActionsProcessor::SetCheckBox", 12, L"ActionsProcessor::SetCheckBox\t"},
      {"installation_assistant::ActionsProcessor::TraceScope::TraceScope", 12, L"TraceScope::TraceScope\t"},
      {"installation_assistant::engine::Engine::Run::<lambda_5e1a>::operator ()", 76,
       L"Engine::Run::lambda_line_76\t"},
      {"Engine::Run::<lambda_1>::operator ()", 79, L"Engine::Run::lambda_line_79\t"},
      {"a::b::c::<lambda_1>::<lambda_2>::operator ()", 3, L"b::c::lambda_line_3\t"},
  };
  for (const auto& [name, line, field] : cases) EXPECT_EQ(FunctionNameField(name, line), field) << name;
}

TEST(FunctionNameFieldTest, NormalizesCompilerSignatures) {
  const std::pair<const char*, const char*> cases[] = {
      {"void installation_assistant::engine::Engine::Run()", "installation_assistant::engine::Engine::Run"},
      {"installation_assistant::ProcessWaiter::~ProcessWaiter()", "installation_assistant::ProcessWaiter::~ProcessWaiter"},
      {"std::function<void()> a::Make(int (*)(int)) const", "a::Make"},
      {"T a::b::Engine::tf(T) [with T = int]", "a::b::Engine::tf"},
      {"int a::Engine::operator()(int)", "a::Engine::operator()"},
      {"a::b::Engine::Run()::<lambda(int)>", "a::b::Engine::Run::<lambda_1>::operator ()"},
      {"a::b::Engine::Make() const::<lambda()>", "a::b::Engine::Make::<lambda_1>::operator ()"},
      {"auto a::Engine::Run()::(anonymous class)::operator()() const", "a::Engine::Run::<lambda_1>::operator ()"},
      {"void {anonymous}::Helper()", "{anonymous}::Helper"},
      {"void (anonymous namespace)::Helper()", "(anonymous namespace)::Helper"},
      {"TraceException", "TraceException"},
  };
  for (const auto& [signature, name] : cases) EXPECT_EQ(NormalizeFunctionName(signature), name) << signature;
}

// Traces written from real code, so that the compiler's own signatures are covered.
namespace sample {
struct Widget {
  int TraceDirect() {
    TRACE(Info) << "direct";
    return __LINE__ - 1;
  }
  int TraceInLambda() {
    int line = 0;
    auto lambda = [&line] {
      TRACE(Info) << "inside";
      line = __LINE__ - 1;
    };
    lambda();
    return line;
  }
};
}  // namespace sample

TEST(TraceTest, RecordsStartWithTheWritingFunction) {
  RecordingHost host;
  TraceCapture capture(host);
  sample::Widget widget;
  widget.TraceDirect();
  const int lambdaLine = widget.TraceInLambda();

  const std::vector<std::wstring> traces = host.Traces();
  ASSERT_EQ(traces.size(), 2u);
  EXPECT_EQ(traces[0], L"Widget::TraceDirect\tdirect");
  EXPECT_EQ(traces[1], L"Widget::TraceInLambda::lambda_line_" + std::to_wstring(lambdaLine) + L"\tinside");
}

// The host's threshold: 0 to 6 are the levels, anything above means all records.
TEST(TraceTest, ThresholdGuardsTheWholeRecord) {
  EXPECT_EQ(MapTraceLevel(6), TraceLevel::Off);
  EXPECT_EQ(MapTraceLevel(7), TraceLevel::All);
  struct Case {
    TraceLevel threshold;
    TraceLevel level;
    bool written;
  };
  const Case cases[] = {
      {TraceLevel::All, TraceLevel::Debug, true},      {TraceLevel::Warning, TraceLevel::Error, true},
      {TraceLevel::Warning, TraceLevel::Warning, true}, {TraceLevel::Warning, TraceLevel::Info, false},
      {TraceLevel::Critical, TraceLevel::Error, false}, {TraceLevel::Off, TraceLevel::Error, false},
  };
  for (const Case& c : cases) {
    RecordingHost host;
    TraceCapture capture(host, c.threshold);
    int evaluated = 0;
    auto part = [&evaluated] {
      ++evaluated;
      return "part";
    };
    switch (c.level) {
      case TraceLevel::Debug: TRACE(Debug) << part(); break;
      case TraceLevel::Info: TRACE(Info) << part(); break;
      case TraceLevel::Warning: TRACE(Warning) << part(); break;
      default: TRACE(Error) << part(); break;
    }
    const auto writes = host.CallsOf(HostCall::Kind::TraceWrite);
    ASSERT_EQ(writes.size(), c.written ? 1u : 0u) << static_cast<int>(c.threshold) << "/" << static_cast<int>(c.level);
    EXPECT_EQ(evaluated, c.written ? 1 : 0);
    if (c.written) {
      EXPECT_EQ(writes[0].level, static_cast<int>(c.level));
    }
  }
}

TEST(TraceTest, FormatsMessageParts) {
  RecordingHost host;
  TraceCapture capture(host);
  TRACE_AS(Info, "F") << "n=" << 42 << " p=0x" << reinterpret_cast<void*>(0xAB) << " h=" << std::hex << 255
                      << " q=" << reinterpret_cast<HWND>(0x1c2) << " " << 255;
  TRACE_AS(Info, "F") << "caf\xC3\xA9 " << std::string("x") << L" wide" << L'!';
  TRACE_AS(Info, "F") << "bad \xFF end";
  const auto traces = host.Traces();
  ASSERT_EQ(traces.size(), 3u);
  // Pointers keep their own format and leave the record's hexadecimal mode alone.
  EXPECT_EQ(traces[0], L"F\tn=42 p=0x000000AB h=ff q=000001C2 ff");
  EXPECT_EQ(traces[1], L"F\tcaf\u00E9 x wide!");
  // Malformed UTF-8 is replaced, not a failure of the whole text.
  EXPECT_EQ(traces[2], L"F\tbad \uFFFD end");
}

TEST(TraceExceptionTest, TracesEachKindUnderItsRow) {
  struct Case {
    std::function<void()> raise;
    std::wstring text;
  };
  const std::vector<Case> cases = {
      {[] { throw std::logic_error("x"); }, L"Logic error: Run: x"},
      {[] { throw std::invalid_argument("bad"); }, L"Logic error: Run: bad"},
      {[] { throw std::runtime_error("Failed to create window"); }, L"Error: Run: Failed to create window"},
      {[] { throw Win32Error(ERROR_INVALID_PARAMETER, "Cannot open process"); },
       L"Error: Run: Cannot open process: The parameter is incorrect."},
      {[] { throw _com_error(E_INVALIDARG); },  // the HRESULT in lower case, then the system's message
       std::wstring(L"COM Error 0x80070057: Run: ") + _com_error(E_INVALIDARG).ErrorMessage()},
      {[] { throw 7; }, L"Unknown error: Run"},
  };
  for (const Case& c : cases) {
    RecordingHost host;
    TraceCapture capture(host);
    try {
      c.raise();
    } catch (...) {
      TraceException("Run");
    }
    const auto writes = host.CallsOf(HostCall::Kind::TraceWrite);
    ASSERT_EQ(writes.size(), 1u) << c.text;
    EXPECT_EQ(writes[0].trace, L"TraceException\t" + c.text);
    EXPECT_EQ(writes[0].level, 4);
  }
}

TEST(TraceScopeTest, TracesEnterAndExitAtDebug) {
  RecordingHost host;
  TraceCapture capture(host);
  { TraceScope scope("SetCheckBox"); }
  const auto writes = host.CallsOf(HostCall::Kind::TraceWrite);
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[0].trace + L"|" + writes[1].trace,
            L"TraceScope::TraceScope\tEnter scope SetCheckBox|TraceScope::~TraceScope\tExit scope SetCheckBox");
  EXPECT_EQ(std::make_pair(writes[0].level, writes[1].level), std::make_pair(1, 1)) << "both at Debug";
}

std::wstring Hex8(HWND window) {
  wchar_t text[32];
  swprintf(text, 32, L"%08X", static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(window)));
  return text;
}

TEST(DescribeWindowTest, DescribesTopLevelAndChildWindows) {
  HWND parent =
      CreateWindowExW(WS_EX_TOOLWINDOW, L"Static", L"", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(parent, nullptr);
  HWND child = CreateWindowExW(0, L"Static", L"Next >", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, parent, nullptr, nullptr,
                               nullptr);
  ASSERT_NE(child, nullptr);

  EXPECT_EQ(DescribeWindow(parent), L"{ Handle: " + Hex8(parent) +
                                        L", Class: 'Static', Parent: 0x00000000, Text: '', Style: 0x80000000"
                                        L", ExStyle: 0x80 }");
  EXPECT_EQ(DescribeWindow(child), L"{ Handle: " + Hex8(child) + L", Class: 'Static', Parent: 0x" + Hex8(parent) +
                                       L", Text: 'Next >', Style: 0x50000000, ExStyle: 0x0 }");
  DestroyWindow(parent);
}

// Writers and a factory call that swaps the sink run at once; every record reaches
// exactly one host, and every replaced host writer is released exactly once.
TEST(TraceConcurrencyTest, SinkSwapsWhileThreadsWrite) {
  constexpr int kWriters = 4;
  constexpr int kRecordsPerWriter = 300;
  constexpr int kSwaps = 20;
  std::vector<std::unique_ptr<RecordingHost>> hosts;
  for (int i = 0; i <= kSwaps; ++i) hosts.push_back(std::make_unique<RecordingHost>());
  TraceCapture capture(*hosts[0]);

  std::atomic<bool> go{false};
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&go, w] {
      while (!go.load()) std::this_thread::yield();
      for (int i = 0; i < kRecordsPerWriter; ++i) TRACE(Error) << "concurrent record " << w << "/" << i;
    });
  }
  go = true;
  for (int i = 1; i <= kSwaps; ++i) {
    // A null service fails after the new sink is installed: only the swap matters here.
    EXPECT_EQ(CreateEngine2(nullptr, 1, 0, hosts[i]->Writer()), nullptr);
  }
  for (std::thread& writer : writers) writer.join();

  std::size_t delivered = 0;
  for (int i = 0; i <= kSwaps; ++i) {
    delivered += hosts[i]->TracesContaining(L"concurrent record ").size();
    EXPECT_EQ(hosts[i]->Count(HostCall::Kind::TraceRelease), i < kSwaps ? 1u : 0u) << i;
  }
  EXPECT_EQ(delivered, static_cast<std::size_t>(kWriters * kRecordsPerWriter));
}

}  // namespace
}  // namespace installation_assistant
