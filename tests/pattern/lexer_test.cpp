#include "pattern/lexer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace installation_assistant {
namespace {

using T = TokenType;

struct Lexed {
  std::vector<TokenType> types;  // without the final EndOfInput
  std::vector<Diagnostic> errors;
};

Lexed Lex(std::string_view text) {
  CollectingDiagnosticSink sink;
  const std::vector<Token> tokens = Tokenize(text, sink);
  Lexed result;
  EXPECT_FALSE(tokens.empty());
  EXPECT_EQ(tokens.back().type, T::EndOfInput);
  for (std::size_t i = 0; i + 1 < tokens.size(); ++i) result.types.push_back(tokens[i].type);
  result.errors = sink.Diagnostics();
  for (const Diagnostic& error : result.errors) EXPECT_EQ(error.kind, Diagnostic::Kind::Lexer);
  return result;
}

struct LexCase {
  const char* text;
  std::vector<TokenType> types;
  std::size_t errors;
};

TEST(Lexer, TokensAndErrors) {
  const LexCase cases[] = {
      // Each keyword and sign on its own: the parser's tests (SyntaxDecisions) use them all.
      // Keywords are recognised by their leading characters, whatever follows.
      {"Windows", {T::Window}, 1},
      {"WindowWindow", {T::Window, T::Window}, 0},
      {"Tabx", {T::Tab}, 1},
      {"Tab{", {T::Tab, T::LeftBrace}, 0},
      {"Table{", {T::Table, T::LeftBrace}, 0},
      {"texts", {T::TextClause}, 1},
      // A keyword broken off: the character where it broke is skipped with it.
      {"Windo}", {}, 1},
      {"Tabl{ }", {T::RightBrace}, 1},
      // No keyword begins "Cx" or "Ta}": only the first character is skipped.
      {"C}", {T::RightBrace}, 1},
      {"Ta}", {T::RightBrace}, 2},
      {"ox on", {T::On}, 2},
      {"window", {}, 5},
      // Case matters: "text" and "Text" are different keywords.
      {"Text text", {T::Text, T::TextClause}, 0},
      // Decimal: no sign, no leading zero.
      {"007", {T::Decimal, T::Decimal, T::Decimal}, 0},
      {"1234567890123", {T::Decimal}, 0},
      {"-1", {T::Decimal}, 1},
      // Strings.
      {R"("plain")", {T::StringLiteral}, 0},
      {R"("with \" and \\")", {T::StringLiteral}, 0},
      {"\"line\nbreak\"", {T::StringLiteral}, 0},
      {R"("bad \n")", {}, 2},  // the escape breaks at 'n', then the closing quote opens an endless literal
      {R"("open)", {}, 1},
      // Comments and white space are hidden.
      {"Window // a comment { }\n{}", {T::Window, T::LeftBrace, T::RightBrace}, 0},
      {"Window //", {T::Window}, 0},
      {"Window\r//x\r{", {T::Window, T::LeftBrace}, 0},
      {"/x Window", {T::Window}, 1},
      {" \t\n\f\rWindow \t\n\f\r", {T::Window}, 0},
      // Vertical tab is not white space.
      {"Window\v{", {T::Window, T::LeftBrace}, 1},
      // Bytes of multi-byte characters only pass inside strings.
      {"\"caf\xc3\xa9\"", {T::StringLiteral}, 0},
      {"caf\xc3\xa9", {}, 5},
  };
  for (const LexCase& c : cases) {
    SCOPED_TRACE(c.text);
    const Lexed lexed = Lex(c.text);
    EXPECT_EQ(lexed.types, c.types);
    EXPECT_EQ(lexed.errors.size(), c.errors);
  }
}

TEST(Lexer, EndsAtTheFirstNul) {
  const std::string text("Window\0 garbage \xff", 17);
  const Lexed lexed = Lex(text);
  EXPECT_EQ(lexed.types, std::vector<TokenType>{T::Window});
  EXPECT_TRUE(lexed.errors.empty());
}

// Tokens and errors as "line:column" of their first byte; a line break inside a string still counts.
TEST(Lexer, PositionsAreLineAndColumnOfTheFirstByte) {
  CollectingDiagnosticSink sink;
  std::vector<std::string> at;
  for (const Token& token : Tokenize("EngineVersion\n  // c\n\tWindow \"a\nb\" }", sink)) {
    at.push_back(std::to_string(token.line) + ":" + std::to_string(token.column) + " " + std::string(token.text));
  }
  EXPECT_EQ(at, (std::vector<std::string>{"1:1 EngineVersion", "3:2 Window", "3:9 \"a\nb\"", "4:4 }", "4:5 "}));
  Tokenize("Window\n  Windo }\n\x01", sink);
  std::vector<std::string> errors;
  for (const Diagnostic& error : sink.Diagnostics()) {
    errors.push_back(std::to_string(error.line) + ":" + std::to_string(error.column) + " " + error.message);
  }
  EXPECT_EQ(errors, (std::vector<std::string>{"2:8 broken 'Window': expected 'w', found ' '",
                                              "3:1 unexpected character '\\x01'"}));
}

}  // namespace
}  // namespace installation_assistant
