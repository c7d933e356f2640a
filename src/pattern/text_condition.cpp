#include "pattern/text_condition.h"

#include <memory>
#include <mutex>
#include <unordered_map>

#include <boost/regex.hpp>

#include "common/text.h"

namespace installation_assistant {
namespace {

// Every pass tests the same few expressions of the added patterns against every element:
// compiling once is most of the matching cost saved. A compiled expression is only read
// while matching, which Boost allows from any number of threads at once.
constexpr std::size_t kMaxCachedExpressions = 4096;

// Keyed by the pattern's own UTF-8 text: a look-up converts nothing.
std::shared_ptr<const boost::wregex> Compiled(const std::string& expression) {
  static std::mutex lock;
  static std::unordered_map<std::string, std::shared_ptr<const boost::wregex>> cache;
  {
    std::lock_guard<std::mutex> guard(lock);
    if (auto found = cache.find(expression); found != cache.end()) return found->second;
  }
  // An invalid expression raises here every time, as it would uncached.
  auto compiled = std::make_shared<const boost::wregex>(Utf8ToWide(expression), boost::regex_constants::ECMAScript);
  std::lock_guard<std::mutex> guard(lock);
  // Patterns hold a few hundred texts at most; a host that keeps adding new ones only
  // starts the cache over.
  if (cache.size() >= kMaxCachedExpressions) cache.clear();
  cache.emplace(expression, compiled);
  return compiled;
}

}  // namespace

TextMatch MatchWholeText(const std::wstring& expression, const std::wstring& name) {
  return MatchWholeText(WideToUtf8(expression), name);
}

namespace {

TextMatch Run(const boost::wregex& compiled, const std::wstring& name) {
  try {
    return boost::regex_match(name, compiled) ? TextMatch::Matched : TextMatch::NotMatched;
  } catch (const std::runtime_error&) {
    // Boost raises only its complexity ("exceeded predefined bounds") and memory ("Ran out
    // of stack space") limits here; compile errors were raised before.
    return TextMatch::GaveUp;
  }
}

}  // namespace

TextMatch MatchWholeText(const std::string& expression, const std::wstring& name) {
  return Run(*Compiled(expression), name);
}

struct CompiledText::Compiled {
  std::shared_ptr<const boost::wregex> expression;
};

CompiledText::CompiledText(const std::string& expression) {
  try {
    compiled_ = std::make_shared<const Compiled>(Compiled{installation_assistant::Compiled(expression)});
  } catch (...) {
    error_ = std::current_exception();
  }
}

TextMatch CompiledText::MatchWhole(const std::wstring& name) const {
  if (error_) std::rethrow_exception(error_);
  return Run(*compiled_->expression, name);
}

bool IsValidTextCondition(const std::wstring& expression, std::string* error) {
  try {
    boost::wregex compiled(expression, boost::regex_constants::ECMAScript);
    return true;
  } catch (const boost::regex_error& e) {
    if (error != nullptr) *error = e.what();
    return false;
  }
}

}  // namespace installation_assistant
