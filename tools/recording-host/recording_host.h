// A host for tests and the demo: an IService and ITraceWriter that records every call
// with copies of its arguments. Safe for concurrent calls from any thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "installation_assistant/engine.h"

namespace simwin {

struct RecordedReport {
  int patternId = 0;
  int resultCode = 0;
  int genericPattern = 0;
  int elementType = 0;
  std::vector<unsigned char> controlData;
  bool controlDataNull = false;
  // nullopt: the engine passed a null pointer (it never should).
  std::optional<std::string> controlPath;
  std::optional<std::string> userAction;
  std::optional<std::string> desiredState;
  std::optional<std::string> patternVersion;
  int reserved1 = 0;
  int reserved2 = 0;
};

struct HostCall {
  enum class Kind {
    SetEngineVersion,
    ReportItem,
    ReportProcessedTotal,
    ReportProcessedItems,
    BlockPatternAdded,
    TraceWrite,
    TraceFlush,
    TraceRelease,
  };

  Kind kind = Kind::SetEngineVersion;
  std::string version;       // SetEngineVersion
  RecordedReport report;     // ReportItem
  int window = 0;            // ReportProcessedItems
  int count = 0;             // ReportProcessedTotal, ReportProcessedItems
  std::wstring trace;        // TraceWrite
  int level = 0;             // TraceWrite
};

const char* KindName(HostCall::Kind kind);

class RecordingHost final : public installation_assistant::engine::IService,
                            public installation_assistant::engine::ITraceWriter {
 public:
  using Calls = std::vector<HostCall>;
  using Clock = std::chrono::steady_clock;

  RecordingHost() = default;
  ~RecordingHost() = default;
  RecordingHost(const RecordingHost&) = delete;
  RecordingHost& operator=(const RecordingHost&) = delete;

  installation_assistant::engine::IService* Service() { return this; }
  installation_assistant::engine::ITraceWriter* Writer() { return this; }

  // IService
  void SetEngineVersion(const char* version) override;
  void ReportItem(const installation_assistant::engine::ServiceReport* report) override;
  void ReportProcessedTotal(int count) override;
  void ReportProcessedItems(int window, int count) override;
  void BlockPatternAdded() override;
  // ITraceWriter
  void Write(const wchar_t* text, int level) override;
  void Flush() override;
  void Release() override;

  // Snapshots.
  Calls AllCalls() const;
  Calls CallsOf(HostCall::Kind kind) const;
  // Service calls only (no trace writer calls), in order.
  Calls ServiceCalls() const;
  std::vector<std::wstring> Traces() const;
  // Traces that contain the text.
  std::vector<std::wstring> TracesContaining(std::wstring_view text) const;
  std::size_t Count(HostCall::Kind kind) const;
  void Clear();

  // Waits until the predicate holds for the calls so far; false on time-out.
  bool WaitFor(const std::function<bool(const Calls&)>& predicate,
               std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
  bool WaitForCall(HostCall::Kind kind, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
  bool WaitForTrace(std::wstring_view text, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

  // One line per call, e.g. "ReportItem patternId=3 resultCode=7 ...".
  static std::string Format(const HostCall& call);
  std::string FormatCalls(bool includeTraces = false) const;

 private:
  void Record(HostCall call);

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  Calls calls_;
};

}  // namespace simwin
