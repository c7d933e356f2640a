#include "pattern/diagnostics.h"

#include <cstdio>

namespace installation_assistant {

std::string Diagnostic::ToString() const {
  return std::to_string(line) + ":" + std::to_string(column) + ": " + message;
}

void StdoutDiagnosticSink::Report(const Diagnostic& diagnostic) {
  const std::string text = diagnostic.ToString() + "\n";
  // One call per message, so that lines from parses on different threads do not interleave.
  std::printf("%s", text.c_str());
  std::fflush(stdout);
}

void CollectingDiagnosticSink::Report(const Diagnostic& diagnostic) {
  std::lock_guard<std::mutex> guard(lock_);
  diagnostics_.push_back(diagnostic);
}

std::vector<Diagnostic> CollectingDiagnosticSink::Diagnostics() const {
  std::lock_guard<std::mutex> guard(lock_);
  return diagnostics_;
}

DiagnosticSink& DefaultDiagnosticSink() {
  static StdoutDiagnosticSink sink;
  return sink;
}

}  // namespace installation_assistant
