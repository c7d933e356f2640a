// The name condition of a pattern node: an ECMAScript regular expression that must match
// the whole name, case-sensitively, over the platform's wide characters.
//
// Names come from the installer, so the matcher must not recurse per character: the
// standard library's does, and a long name then overflows the stack of the thread and
// ends the host process. Boost.Regex matches with a heap-allocated state stack and gives
// up with an error past a complexity or memory bound, which makes the outcome explicit.
#pragma once

#include <exception>
#include <memory>
#include <string>

namespace installation_assistant {

enum class TextMatch { Matched, NotMatched, GaveUp };

// Compiles the expression (an invalid one raises boost::regex_error, a std::runtime_error)
// and matches it against the whole name. GaveUp: the matcher hit its complexity or memory
// bound; the caller treats it as not matched.
TextMatch MatchWholeText(const std::wstring& expression, const std::wstring& name);
// The same for the UTF-8 expression a pattern holds: the matcher's path, which converts it only to compile it.
TextMatch MatchWholeText(const std::string& expression, const std::wstring& name);

// A pattern node's text, compiled when the node is made: a pass tests it against every name of the node's type, on
// as many threads as there are windows, and a test then only runs it.
class CompiledText {
 public:
  explicit CompiledText(const std::string& expression);
  // As MatchWholeText; an expression that does not compile raises its error on every call.
  TextMatch MatchWhole(const std::wstring& name) const;

 private:
  struct Compiled;
  std::shared_ptr<const Compiled> compiled_;
  std::exception_ptr error_;
};

// True when the expression compiles with the grammar the matcher uses; otherwise the
// compiler's message goes to error.
bool IsValidTextCondition(const std::wstring& expression, std::string* error = nullptr);

}  // namespace installation_assistant
