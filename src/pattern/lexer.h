// The lexer of the pattern language. It reads bytes, not UTF-8 characters, and ends at the
// end of the view or at the first NUL byte (the host hands a C string).
#pragma once

#include <string_view>
#include <vector>

#include "pattern/diagnostics.h"
#include "pattern/token.h"

namespace installation_assistant {

// The visible tokens of the text (comments and white space dropped), ending with one
// EndOfInput token. A character that begins no token, or a token broken off in the middle,
// is reported to the sink and skipped; the token in progress is dropped and the character
// at which it broke is skipped with it, then lexing goes on.
std::vector<Token> Tokenize(std::string_view text, DiagnosticSink& sink);

}  // namespace installation_assistant
