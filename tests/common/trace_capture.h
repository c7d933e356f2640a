// Routes the process-wide trace into a RecordingHost for one test and restores the
// discarding sink afterwards, so that no later trace reaches a destroyed host.
#pragma once

#include <memory>

#include "common/trace.h"
#include "host/trace_writer_adapter.h"
#include "recording_host.h"

namespace installation_assistant::testing {

class TraceCapture {
 public:
  explicit TraceCapture(simwin::RecordingHost& host, TraceLevel threshold = TraceLevel::All) {
    ExchangeTraceSink(std::make_shared<engine::TraceWriterAdapter>(host.Writer()));
    SetTraceThreshold(threshold);
  }
  ~TraceCapture() { Restore(); }
  TraceCapture(const TraceCapture&) = delete;
  TraceCapture& operator=(const TraceCapture&) = delete;

  // Also for tests whose factory calls installed the host's writer themselves.
  static void Restore() {
    ExchangeTraceSink(nullptr);
    SetTraceThreshold(TraceLevel::All);
  }
};

}  // namespace installation_assistant::testing
