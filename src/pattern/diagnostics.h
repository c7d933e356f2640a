// Where the recognizer's complaints go. The engine's default prints them to standard output
// and nowhere else (they never reach the engine trace); tools and tests collect them.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace installation_assistant {

struct Diagnostic {
  enum class Kind {
    Lexer,   // reported, not counted: the remaining tokens decide the parse
    Syntax,  // counted: the parse yields no value
  };
  Kind kind = Kind::Syntax;
  int line = 1;    // 1-based; lines end at line feeds
  int column = 1;  // 1-based, in bytes
  std::string message;

  // "LINE:COLUMN: message"
  std::string ToString() const;
};

class DiagnosticSink {
 public:
  virtual ~DiagnosticSink() = default;
  virtual void Report(const Diagnostic& diagnostic) = 0;
};

// Writes each diagnostic as one line to the process's standard output.
class StdoutDiagnosticSink final : public DiagnosticSink {
 public:
  void Report(const Diagnostic& diagnostic) override;
};

// Keeps every diagnostic, in order. Safe to share between threads.
class CollectingDiagnosticSink final : public DiagnosticSink {
 public:
  void Report(const Diagnostic& diagnostic) override;
  std::vector<Diagnostic> Diagnostics() const;

 private:
  mutable std::mutex lock_;
  std::vector<Diagnostic> diagnostics_;
};

class NullDiagnosticSink final : public DiagnosticSink {
 public:
  void Report(const Diagnostic&) override {}
};

// The sink used by the entry points that take none: a process-wide StdoutDiagnosticSink.
DiagnosticSink& DefaultDiagnosticSink();

}  // namespace installation_assistant
