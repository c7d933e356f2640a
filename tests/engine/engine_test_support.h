// For the engine's tests: the host's engine pointer, fixed matching results, and whole runs
// through the real factories against a recording host and a simulated installer.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/trace_capture.h"
#include "engine/engine.h"
#include "host/result_collector.h"
#include "platform/sim/simwin.h"
#include "recording_host.h"

namespace installation_assistant::engine {

struct ReleaseEngine {
  void operator()(IEngine* engine) const { engine->Release(); }
};
using EnginePtr = std::unique_ptr<IEngine, ReleaseEngine>;

// Stands in for a pattern processor's statistics.
class FixedResult final : public IMatchingResult {
 public:
  explicit FixedResult(int code) : code_(code) {}
  int MatchingResult() const override { return code_; }

 private:
  int code_;
};

class EngineRunFixture : public ::testing::Test {
 protected:
  void TearDown() override {
    testing::TraceCapture::Restore();
    installer_.Exit();
  }

  EnginePtr Create(CreateEngineFunction factory = &CreateEngine2) { return Create(factory, installer_); }
  EnginePtr Create(CreateEngineFunction factory, simwin::Process& installer) {
    return EnginePtr(factory(host_.Service(), static_cast<long>(installer.Id()), 0, host_.Writer()));
  }
  static Engine& Of(const EnginePtr& engine) { return *static_cast<Engine*>(engine.get()); }

  std::vector<simwin::RecordedReport> Reports() const {
    std::vector<simwin::RecordedReport> reports;
    for (const simwin::HostCall& call : host_.CallsOf(simwin::HostCall::Kind::ReportItem)) {
      reports.push_back(call.report);
    }
    return reports;
  }
  std::size_t TraceCount(const std::wstring& text) const { return host_.TracesContaining(text).size(); }

  simwin::RecordingHost host_;
  simwin::Process installer_;
};

}  // namespace installation_assistant::engine
