#include "pattern/lexer.h"

#include <array>
#include <cstdio>
#include <cstring>

namespace installation_assistant {
namespace {

// Built by appending: GCC 12 reports a false -Wrestrict for "'" + std::string(...).
std::string Quoted(std::string_view text) {
  std::string quoted = "'";
  quoted.append(text);
  quoted += '\'';
  return quoted;
}

struct Keyword {
  std::string_view text;
  TokenType type;
};

constexpr std::array<Keyword, 22> kKeywords = {{
    {"AnyLevel", TokenType::AnyLevel},
    {"Button", TokenType::Button},
    {"CheckBox", TokenType::CheckBox},
    {"Custom", TokenType::Custom},
    {"DataItem", TokenType::DataItem},
    {"EngineVersion", TokenType::EngineVersion},
    {"MSAA", TokenType::MSAA},
    {"Pane", TokenType::Pane},
    {"RadioButton", TokenType::RadioButton},
    {"Tab", TokenType::Tab},
    {"Table", TokenType::Table},
    {"Text", TokenType::Text},
    {"Tree", TokenType::Tree},
    {"UIAutomation", TokenType::UIAutomation},
    {"Version", TokenType::Version},
    {"Window", TokenType::Window},
    {"block", TokenType::Block},
    {"id", TokenType::Id},
    {"off", TokenType::Off},
    {"on", TokenType::On},
    {"push", TokenType::Push},
    {"text", TokenType::TextClause},
}};

const Keyword& KeywordOf(TokenType type) {
  for (const Keyword& keyword : kKeywords) {
    if (keyword.type == type) return keyword;
  }
  return kKeywords[0];  // unreachable: every caller passes a keyword type
}

bool IsWhiteSpace(unsigned char c) {
  // Vertical tab (11) is deliberately absent.
  return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

class Lexer {
 public:
  Lexer(std::string_view text, DiagnosticSink& sink) : sink_(sink) {
    const std::size_t nul = text.find('\0');
    text_ = nul == std::string_view::npos ? text : text.substr(0, nul);
  }

  std::vector<Token> Run() {
    std::vector<Token> tokens;
    while (pos_ < text_.size()) {
      const unsigned char c = static_cast<unsigned char>(text_[pos_]);
      if (IsWhiteSpace(c)) {
        Advance(1);
        continue;
      }
      const std::size_t start = pos_;
      const int line = line_;
      const int column = Column();
      TokenType type = TokenType::EndOfInput;
      bool produced = false;
      if (c == '0') {
        Advance(1);
        type = TokenType::Decimal;
        produced = true;
      } else if (c >= '1' && c <= '9') {
        std::size_t end = pos_ + 1;
        while (end < text_.size() && text_[end] >= '0' && text_[end] <= '9') ++end;
        Advance(end - pos_);
        type = TokenType::Decimal;
        produced = true;
      } else if (c == '"') {
        produced = LexString();
        type = TokenType::StringLiteral;
      } else if (c == '/') {
        LexComment();
      } else if (const TokenType punctuation = Punctuation(c); punctuation != TokenType::EndOfInput) {
        Advance(1);
        type = punctuation;
        produced = true;
      } else if (const TokenType keyword = PredictKeyword(); keyword != TokenType::EndOfInput) {
        produced = MatchKeyword(KeywordOf(keyword).text);
        type = keyword;
      } else {
        Error(line, column, "unexpected character '" + EscapeForMessage(text_.substr(pos_, 1)) + "'");
        Advance(1);
      }
      if (produced) tokens.push_back(Token{type, text_.substr(start, pos_ - start), line, column});
    }
    tokens.push_back(Token{TokenType::EndOfInput, std::string_view(), line_, Column()});
    return tokens;
  }

 private:
  static TokenType Punctuation(unsigned char c) {
    switch (c) {
      case '%': return TokenType::Percent;
      case '(': return TokenType::LeftParen;
      case ')': return TokenType::RightParen;
      case '*': return TokenType::Star;
      case ',': return TokenType::Comma;
      case ':': return TokenType::Colon;
      case '=': return TokenType::Equals;
      case '?': return TokenType::Question;
      case '.': return TokenType::Dot;
      case '[': return TokenType::LeftBracket;
      case ']': return TokenType::RightBracket;
      case '{': return TokenType::LeftBrace;
      case '}': return TokenType::RightBrace;
      default: return TokenType::EndOfInput;
    }
  }

  char At(std::size_t offset) const { return pos_ + offset < text_.size() ? text_[pos_ + offset] : '\0'; }

  // Which keyword the next characters begin, decided on the fewest characters that tell the
  // keywords apart: the first, the second for "CheckBox"/"Custom", "Tab"/"Text"/"Tree" and
  // "off"/"on", the fourth for "Tab" against "Table". What follows the decision is matched
  // afterwards, so "Windo" is a broken "Window", not an unknown word.
  TokenType PredictKeyword() const {
    switch (At(0)) {
      case 'A': return TokenType::AnyLevel;
      case 'B': return TokenType::Button;
      case 'C':
        if (At(1) == 'h') return TokenType::CheckBox;
        if (At(1) == 'u') return TokenType::Custom;
        return TokenType::EndOfInput;
      case 'D': return TokenType::DataItem;
      case 'E': return TokenType::EngineVersion;
      case 'M': return TokenType::MSAA;
      case 'P': return TokenType::Pane;
      case 'R': return TokenType::RadioButton;
      case 'T':
        if (At(1) == 'a') {
          if (At(2) != 'b') return TokenType::EndOfInput;
          return At(3) == 'l' ? TokenType::Table : TokenType::Tab;
        }
        if (At(1) == 'e') return TokenType::Text;
        if (At(1) == 'r') return TokenType::Tree;
        return TokenType::EndOfInput;
      case 'U': return TokenType::UIAutomation;
      case 'V': return TokenType::Version;
      case 'W': return TokenType::Window;
      case 'b': return TokenType::Block;
      case 'i': return TokenType::Id;
      case 'o':
        if (At(1) == 'f') return TokenType::Off;
        if (At(1) == 'n') return TokenType::On;
        return TokenType::EndOfInput;
      case 'p': return TokenType::Push;
      case 't': return TokenType::TextClause;
      default: return TokenType::EndOfInput;
    }
  }

  bool MatchKeyword(std::string_view keyword) {
    for (std::size_t i = 0; i < keyword.size(); ++i) {
      if (At(i) != keyword[i] || pos_ + i >= text_.size()) {
        Advance(i);
        BrokenOff(Quoted(keyword), Quoted(std::string_view(&keyword[i], 1)));
        return false;
      }
    }
    Advance(keyword.size());
    return true;
  }

  // A string literal: '"' ( '\' ('"' | '\') | any byte but '"' and '\' )* '"'.
  bool LexString() {
    Advance(1);
    while (pos_ < text_.size()) {
      const char c = text_[pos_];
      if (c == '"') {
        Advance(1);
        return true;
      }
      if (c == '\\') {
        Advance(1);
        if (pos_ < text_.size() && (text_[pos_] == '"' || text_[pos_] == '\\')) {
          Advance(1);
          continue;
        }
        BrokenOff("escape sequence", "'\\\"' or '\\\\'");
        return false;
      }
      Advance(1);
    }
    BrokenOff("string literal", "'\"'");
    return false;
  }

  // "//" up to, not including, the next carriage return or line feed.
  void LexComment() {
    Advance(1);
    if (At(0) != '/' || pos_ >= text_.size()) {
      BrokenOff("comment", "'/'");
      return;
    }
    while (pos_ < text_.size() && text_[pos_] != '\r' && text_[pos_] != '\n') Advance(1);
  }

  // The token in progress breaks off at the current character: report it and skip that
  // character too, the way the generated lexers recover.
  void BrokenOff(const std::string& what, const std::string& expected) {
    const std::string found =
        pos_ < text_.size() ? Quoted(EscapeForMessage(text_.substr(pos_, 1))) : std::string("<EOF>");
    Error(line_, Column(), "broken " + what + ": expected " + expected + ", found " + found);
    if (pos_ < text_.size()) Advance(1);
  }

  void Error(int line, int column, std::string message) {
    sink_.Report(Diagnostic{Diagnostic::Kind::Lexer, line, column, std::move(message)});
  }

  void Advance(std::size_t count) {
    for (std::size_t i = 0; i < count && pos_ < text_.size(); ++i, ++pos_) {
      if (text_[pos_] == '\n') {
        ++line_;
        lineStart_ = pos_ + 1;
      }
    }
  }

  int Column() const { return static_cast<int>(pos_ - lineStart_) + 1; }

  std::string_view text_;
  DiagnosticSink& sink_;
  std::size_t pos_ = 0;
  std::size_t lineStart_ = 0;
  int line_ = 1;
};

}  // namespace

std::string TokenTypeName(TokenType type) {
  switch (type) {
    case TokenType::EndOfInput: return "<EOF>";
    case TokenType::Decimal: return "Decimal";
    case TokenType::Dot: return "'.'";
    case TokenType::StringLiteral: return "StringLiteral";
    case TokenType::Percent: return "'%'";
    case TokenType::LeftParen: return "'('";
    case TokenType::RightParen: return "')'";
    case TokenType::Star: return "'*'";
    case TokenType::Comma: return "','";
    case TokenType::Colon: return "':'";
    case TokenType::Equals: return "'='";
    case TokenType::Question: return "'?'";
    case TokenType::LeftBracket: return "'['";
    case TokenType::RightBracket: return "']'";
    case TokenType::LeftBrace: return "'{'";
    case TokenType::RightBrace: return "'}'";
    default: break;
  }
  for (const Keyword& keyword : kKeywords) {
    if (keyword.type == type) return Quoted(keyword.text);
  }
  return "<invalid>";
}

std::string EscapeForMessage(std::string_view text) {
  std::string result;
  for (const char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte > 0x7E) {
      char buffer[5];
      std::snprintf(buffer, sizeof(buffer), "\\x%02x", byte);
      result += buffer;
    } else {
      result += c;
    }
  }
  return result;
}

std::string DescribeToken(const Token& token) {
  if (token.type == TokenType::EndOfInput) return "<EOF>";
  constexpr std::size_t kLongest = 40;
  std::string shown = EscapeForMessage(token.text.substr(0, kLongest));
  if (token.text.size() > kLongest) shown += "...";
  return "'" + shown + "'";
}

std::vector<Token> Tokenize(std::string_view text, DiagnosticSink& sink) { return Lexer(text, sink).Run(); }

}  // namespace installation_assistant
