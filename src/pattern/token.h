// Tokens of the pattern language. The numbers are the token types of the grammar's
// vocabulary; diagnostics name tokens the same way.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace installation_assistant {

enum class TokenType : std::int32_t {
  EndOfInput = -1,
  Decimal = 4,
  Dot = 5,
  // 6 EscapeSequence and 7 SINGLELINE_COMMENT never reach the parser.
  StringLiteral = 8,
  // 9 WS is hidden as well.
  Percent = 10,
  LeftParen = 11,
  RightParen = 12,
  Star = 13,
  Comma = 14,
  Colon = 15,
  Equals = 16,
  Question = 17,
  AnyLevel = 18,
  Button = 19,
  CheckBox = 20,
  Custom = 21,
  DataItem = 22,
  EngineVersion = 23,
  MSAA = 24,
  Pane = 25,
  RadioButton = 26,
  Tab = 27,
  Table = 28,
  Text = 29,
  Tree = 30,
  UIAutomation = 31,
  Version = 32,
  Window = 33,
  LeftBracket = 34,
  RightBracket = 35,
  Block = 36,
  Id = 37,
  Off = 38,
  On = 39,
  Push = 40,
  TextClause = 41,  // "text"
  LeftBrace = 42,
  RightBrace = 43,
};

struct Token {
  TokenType type = TokenType::EndOfInput;
  std::string_view text;  // a view into the pattern text; a string literal keeps its quotes
  int line = 1;
  int column = 1;
};

// The name diagnostics use: "Decimal", "StringLiteral", "<EOF>", or a literal token's text
// in single quotes ("'{'", "'Window'").
std::string TokenTypeName(TokenType type);

// How a token is shown in "found X": its text in single quotes, bytes outside printable
// ASCII written as \xHH; "<EOF>" at the end.
std::string DescribeToken(const Token& token);

// Printable ASCII stays, everything else becomes \xHH.
std::string EscapeForMessage(std::string_view text);

}  // namespace installation_assistant
