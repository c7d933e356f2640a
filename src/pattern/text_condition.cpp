#include "pattern/text_condition.h"

#include <boost/regex.hpp>

namespace installation_assistant {

TextMatch MatchWholeText(const std::wstring& expression, const std::wstring& name) {
  const boost::wregex compiled(expression, boost::regex_constants::ECMAScript);
  try {
    return boost::regex_match(name, compiled) ? TextMatch::Matched : TextMatch::NotMatched;
  } catch (const std::runtime_error&) {
    // Boost raises only its complexity ("exceeded predefined bounds") and memory ("Ran out
    // of stack space") limits here; compile errors were raised above.
    return TextMatch::GaveUp;
  }
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
