// The process-wide trace's way out to the host's ITraceWriter.
#pragma once

#include <memory>
#include <string>

#include "common/trace.h"
#include "installation_assistant/engine.h"

namespace installation_assistant::engine {

// The host's writer, released exactly once when its last owner lets go.
struct ReleaseTraceWriter {
  void operator()(ITraceWriter* writer) const noexcept { writer->Release(); }
};
using UniqueTraceWriter = std::unique_ptr<ITraceWriter, ReleaseTraceWriter>;

// Hands records to the host's writer; owns the writer.
class TraceWriterAdapter final : public TraceSink {
 public:
  explicit TraceWriterAdapter(ITraceWriter* writer) : writer_(writer) {}

  void Write(const std::wstring& text, TraceLevel level) override {
    writer_->Write(text.c_str(), static_cast<int>(MapTraceLevel(static_cast<unsigned int>(level))));
  }
  void Flush() override { writer_->Flush(); }

 private:
  UniqueTraceWriter writer_;
};

}  // namespace installation_assistant::engine
