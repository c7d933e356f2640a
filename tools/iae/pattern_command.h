// "iae pattern describe" and "iae pattern check": the pattern author's view of the parser.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "common/option.h"
#include "pattern_lints.h"

namespace iae_tool {

// Exit codes of describe.
inline constexpr int kDescribeOk = 0;
inline constexpr int kDescribePatternSyntaxError = 1;
inline constexpr int kDescribeHeaderSyntaxError = 2;
inline constexpr int kDescribeVersionException = 3;
inline constexpr int kDescribeUnreadable = 4;

// FILE "-" reads standard input (`in`). The whole file is the pattern text, bytes as they are.
int RunPatternDescribe(const std::string& file, bool headerOnly, std::istream& in, std::ostream& out,
                       std::ostream& err);

// Prints "FILE: ok" or one line per problem; 0 when every file is ok, else 1.
// Exit 0 when no file has an error (warnings are printed but pass, unless warningsAreErrors), 1 otherwise.
int RunPatternCheck(const std::vector<std::string>& files, std::istream& in, std::ostream& out,
                    bool warningsAreErrors = false);

// The full parse as the engine does it, for the other commands: problems gets the first syntax error and its note,
// source where each part was written.
installation_assistant::Option<installation_assistant::ParsedPattern> ParsePatternText(
    const std::string& text, installation_assistant::PatternSource& source, std::vector<Problem>& problems);
// "FILE:LINE:COLUMN: error|warning|note: text"; FILE "-" is "<stdin>".
void PrintProblem(const std::string& file, const Problem& problem, std::ostream& out);

// How describe writes a text field: "-" when absent, else quoted with \ and " escaped and
// bytes outside 0x20..0x7E as \xHH.
std::string QuoteField(const std::string* value);

}  // namespace iae_tool
