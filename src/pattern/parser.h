// The two entry points of the pattern language: the full parse and the header parse.
#pragma once

#include <string_view>
#include <vector>

#include "common/option.h"
#include "pattern/diagnostics.h"
#include "pattern/pattern_model.h"
#include "pattern/pattern_version.h"

namespace installation_assistant {

// The one place where the parser refuses a text the grammar admits: at most this many
// elements on any path from a root element down (the root element is at depth 0, so depths
// 0 to 255 parse). Without a cap a recursive-descent parser overflows its stack on a text of
// many thousands of nested containers; no real dialog comes near 256 levels.
inline constexpr int kMaxNestingDepth = 256;

struct SourcePosition {
  int line = 1;
  int column = 1;
};

// Where the parts of each element were written, for tools that point authors at a line.
struct ElementSource {
  SourcePosition keyword;
  Option<SourcePosition> text;   // the string of the text clause
  Option<SourcePosition> state;  // the desired-state keyword
};

struct PatternSource {
  Option<SourcePosition> version;  // the first token after "EngineVersion ="
  // Every element of every root, depth first, pre-order, roots in order: the order of a walk
  // over the model. Complete only when the parse yields a value.
  std::vector<ElementSource> elements;
  // The first token after the last root when the parse stopped before the end of the text: the engine ignores it
  // and everything after it.
  Option<SourcePosition> unread;
};

// Full parse: no value when the text has a syntax error. Lexer errors are reported but do
// not count. Raises std::runtime_error "Unable to parse engine version" for a version string
// that is not four parts. The text ends at its first NUL byte, as the host's C string does.
Option<ParsedPattern> ParsePattern(std::string_view text, DiagnosticSink& sink, PatternSource* source = nullptr);
Option<ParsedPattern> ParsePattern(std::string_view text);

// Header parse: only the leading "EngineVersion" clause; what follows it is not parsed.
Option<PatternVersion> ParsePatternHeader(std::string_view text, DiagnosticSink& sink);
Option<PatternVersion> ParsePatternHeader(std::string_view text);

}  // namespace installation_assistant
