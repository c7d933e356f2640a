// Recursive descent, one function per grammar rule. Every decision is taken on the next
// tokens only, as the grammar's LL decisions prescribe. Recovery follows the generated
// recognizers: a missing token is assumed present, one extraneous token is dropped, and
// reports are suppressed until the next successful match. Every loop goes round only after
// consuming at least one token, so recovery always makes progress.
#include "pattern/parser.h"

#include <climits>
#include <cstdint>
#include <sstream>
#include <stdexcept>

#include "pattern/lexer.h"

namespace installation_assistant {
namespace {

bool IsCSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// The C library's atol with the 32-bit long of the engine's platform: leading white space
// and a sign are accepted, conversion stops at the first non-digit, and the result
// saturates at the limits of a signed 32-bit number.
std::int32_t Atol32(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsCSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<std::int64_t>(INT32_MAX) + 1) break;  // saturated either way
  }
  if (negative) return value > static_cast<std::int64_t>(INT32_MAX) ? INT32_MIN : static_cast<std::int32_t>(-value);
  return value > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(value);
}

// The literal without its quotes; a backslash stands for the character after it.
std::string DecodeStringLiteral(std::string_view literal) {
  std::string value;
  if (literal.size() < 2) return value;
  const std::string_view body = literal.substr(1, literal.size() - 2);
  value.reserve(body.size());
  for (std::size_t i = 0; i < body.size(); ++i) {
    if (body[i] == '\\' && i + 1 < body.size()) ++i;
    value += body[i];
  }
  return value;
}

// Split at every "." the way line reading with "." as delimiter splits: a trailing "." adds
// no empty part, two adjacent dots give one.
PatternVersion ParseVersionString(const std::string& text) {
  std::vector<std::string> parts;
  std::istringstream stream(text);
  std::string part;
  while (std::getline(stream, part, '.')) parts.push_back(part);
  if (parts.size() != 4) throw std::runtime_error("Unable to parse engine version");
  return PatternVersion{Atol32(parts[0]), Atol32(parts[1]), Atol32(parts[2]), Atol32(parts[3])};
}

bool IsContainerKeyword(TokenType type) {
  switch (type) {
    case TokenType::Window:
    case TokenType::Pane:
    case TokenType::Table:
    case TokenType::DataItem:
    case TokenType::Tree:
    case TokenType::Tab:
    case TokenType::Custom:
    case TokenType::Text:
      return true;
    default:
      return false;
  }
}

bool IsControlKeyword(TokenType type) {
  return type == TokenType::Button || type == TokenType::CheckBox || type == TokenType::RadioButton;
}

bool StartsElement(TokenType type) {
  return IsContainerKeyword(type) || IsControlKeyword(type) || type == TokenType::AnyLevel ||
         type == TokenType::Star;
}

bool StartsOptionalElement(TokenType type) { return type == TokenType::Question || StartsElement(type); }

bool StartsRoot(TokenType type) {
  return type == TokenType::MSAA || type == TokenType::UIAutomation || StartsOptionalElement(type);
}

ElementType TypeOfKeyword(TokenType type) {
  switch (type) {
    case TokenType::AnyLevel: return ElementType::AnyLevel;
    case TokenType::Star: return ElementType::Any;
    case TokenType::Button: return ElementType::Button;
    case TokenType::CheckBox: return ElementType::CheckBox;
    case TokenType::RadioButton: return ElementType::RadioButton;
    case TokenType::Tab: return ElementType::Tab;
    case TokenType::Text: return ElementType::Text;
    case TokenType::Tree: return ElementType::Tree;
    case TokenType::Custom: return ElementType::Custom;
    case TokenType::DataItem: return ElementType::DataItem;
    case TokenType::Window: return ElementType::Window;
    case TokenType::Pane: return ElementType::Pane;
    case TokenType::Table: return ElementType::Table;
    default: return ElementType::Unknown;
  }
}

SourcePosition PositionOf(const Token& token) { return SourcePosition{token.line, token.column}; }

class Parser {
 public:
  Parser(std::string_view text, DiagnosticSink& sink, PatternSource* source)
      : tokens_(Tokenize(text, sink)), sink_(sink), source_(source) {}

  int ErrorCount() const { return errorCount_; }

  // pattern : engineVersion rootItem { rootItem }
  ParsedPattern ParsePatternRule() {
    ParsedPattern result;
    result.engineVersion = ParseEngineVersion();
    std::vector<PatternRoot> roots;
    if (!StartsRoot(LA(1).type)) {
      SyntaxError(LA(1), "expected a root element, found " + DescribeToken(LA(1)));
    } else {
      do {
        PatternRoot root = ParseRootItem();
        if (root.element) roots.push_back(std::move(root));
      } while (StartsRoot(LA(1).type));
    }
    // Text after the last root that cannot begin another root is left unread.
    if (source_ && LA(1).type != TokenType::EndOfInput) source_->unread = Option<SourcePosition>::Some(PositionOf(LA(1)));
    result.pattern = Pattern::Create(std::move(roots));
    return result;
  }

  // header : engineVersion
  PatternVersion ParseHeaderRule() { return ParseEngineVersion(); }

 private:
  const Token& LA(std::size_t k) const {
    const std::size_t index = position_ + k - 1;
    return index < tokens_.size() ? tokens_[index] : tokens_.back();
  }

  const Token& Consume() {
    const Token& token = LA(1);
    if (position_ + 1 < tokens_.size()) ++position_;
    errorRecovery_ = false;
    return token;
  }

  void SyntaxError(const Token& at, std::string message) {
    if (errorRecovery_) return;  // one report per error, not one per cascade
    errorRecovery_ = true;
    ++errorCount_;
    sink_.Report(Diagnostic{Diagnostic::Kind::Syntax, at.line, at.column, std::move(message)});
  }

  // The token if it is next. One extraneous token before it is dropped; a missing token is
  // assumed present (nullptr is returned and the parse goes on as if it had been there).
  const Token* Expect(TokenType type) {
    if (LA(1).type == type) return &Consume();
    const std::string message = "expected " + TokenTypeName(type) + ", found " + DescribeToken(LA(1));
    if (LA(2).type == type) {
      SyntaxError(LA(1), message);
      position_++;
      return &Consume();
    }
    SyntaxError(LA(1), message);
    return nullptr;
  }

  // engineVersion : 'EngineVersion' '=' ( string | version )
  PatternVersion ParseEngineVersion() {
    Expect(TokenType::EngineVersion);
    Expect(TokenType::Equals);
    if (source_) source_->version = Option<SourcePosition>::Some(PositionOf(LA(1)));
    if (LA(1).type == TokenType::StringLiteral) {
      const Option<std::string> text = ParseString();
      return ParseVersionString(text.Get());
    }
    return ParseVersion();
  }

  // version : uint '.' uint '.' uint '.' uint
  PatternVersion ParseVersion() {
    PatternVersion version;
    version.major = ParseUint();
    Expect(TokenType::Dot);
    version.minor = ParseUint();
    Expect(TokenType::Dot);
    version.build = ParseUint();
    Expect(TokenType::Dot);
    version.revision = ParseUint();
    return version;
  }

  // rootItem : accessType ':' element | optionalElement
  // accessType : 'MSAA' | 'UIAutomation'
  PatternRoot ParseRootItem() {
    PatternRoot root;
    if (LA(1).type == TokenType::MSAA || LA(1).type == TokenType::UIAutomation) {
      root.accessType = Consume().type == TokenType::UIAutomation ? UIAccessType::UIAutomation : UIAccessType::MSAA;
      Expect(TokenType::Colon);
      root.element = ParseElement(0, false);
    } else {
      root.element = ParseOptionalElement(0);
    }
    return root;
  }

  // optionalElement : [ '?' ] element
  std::shared_ptr<PatternElement> ParseOptionalElement(int depth) {
    bool optional = false;
    if (LA(1).type == TokenType::Question) {
      Consume();
      optional = true;
    }
    return ParseElement(depth, optional);
  }

  // element : container | 'AnyLevel' children | '*' | control
  std::shared_ptr<PatternElement> ParseElement(int depth, bool optional) {
    if (depth >= kMaxNestingDepth) {
      RefuseTooDeep();
      return nullptr;
    }
    const TokenType type = LA(1).type;
    if (!StartsElement(type)) {
      SyntaxError(LA(1), "expected an element, found " + DescribeToken(LA(1)));
      return nullptr;
    }
    std::size_t sourceIndex = 0;
    if (source_) {
      sourceIndex = source_->elements.size();
      source_->elements.push_back(ElementSource{PositionOf(LA(1)), Option<SourcePosition>(), Option<SourcePosition>()});
    }
    if (IsContainerKeyword(type)) return ParseContainer(depth, optional, sourceIndex);
    if (IsControlKeyword(type)) return ParseControl(optional, sourceIndex);
    Consume();
    if (type == TokenType::AnyLevel) {
      return std::make_shared<PatternElement>(Option<std::string>(), Option<std::string>(), ElementType::AnyLevel,
                                              ParseChildren(depth), std::vector<std::shared_ptr<PatternAction>>(),
                                              optional, std::vector<StateChecker>());
    }
    return std::make_shared<PatternElement>(Option<std::string>(), Option<std::string>(), ElementType::Any,
                                            std::vector<std::shared_ptr<PatternElement>>(),
                                            std::vector<std::shared_ptr<PatternAction>>(), optional,
                                            std::vector<StateChecker>());
  }

  // Too deep to descend: report it and skip, without recursion, to the brace that closes
  // the enclosing element, so that the enclosing rules finish normally.
  void RefuseTooDeep() {
    const std::string message = "elements nested deeper than " + std::to_string(kMaxNestingDepth) +
                                " levels are not supported, found " + DescribeToken(LA(1));
    errorRecovery_ = false;
    SyntaxError(LA(1), message);
    int open = 0;
    while (LA(1).type != TokenType::EndOfInput) {
      if (LA(1).type == TokenType::LeftBrace) {
        ++open;
      } else if (LA(1).type == TokenType::RightBrace) {
        if (open == 0) break;
        --open;
      }
      ++position_;
    }
  }

  // container : containerKeyword [ '(' 'text' '=' string ')' ] [ pointList ] children
  // containerKeyword : 'Window' | 'Pane' | 'Table' | 'DataItem' | 'Tree' | 'Tab' | 'Custom' | 'Text'
  std::shared_ptr<PatternElement> ParseContainer(int depth, bool optional, std::size_t sourceIndex) {
    const ElementType type = TypeOfKeyword(Consume().type);
    Option<std::string> text;
    if (LA(1).type == TokenType::LeftParen) {
      Consume();
      Expect(TokenType::TextClause);
      Expect(TokenType::Equals);
      if (source_) source_->elements[sourceIndex].text = Option<SourcePosition>::Some(PositionOf(LA(1)));
      Option<std::string> value = ParseString();
      Expect(TokenType::RightParen);
      // An empty text clause on a container is no condition at all.
      if (value && !value.Get().empty()) text = std::move(value);
    }
    std::vector<std::shared_ptr<PatternAction>> actions;
    if (LA(1).type == TokenType::LeftBracket) {
      for (const ClickPoint& point : ParsePointList()) actions.push_back(MakeClickAction(point));
    }
    std::vector<std::shared_ptr<PatternElement>> children = ParseChildren(depth);
    return std::make_shared<PatternElement>(Option<std::string>(), std::move(text), type, std::move(children),
                                            std::move(actions), optional, std::vector<StateChecker>());
  }

  // children : '{' { optionalElement } '}'
  std::vector<std::shared_ptr<PatternElement>> ParseChildren(int depth) {
    std::vector<std::shared_ptr<PatternElement>> children;
    Expect(TokenType::LeftBrace);
    while (StartsOptionalElement(LA(1).type)) {
      std::shared_ptr<PatternElement> child = ParseOptionalElement(depth + 1);
      if (child) children.push_back(std::move(child));
    }
    Expect(TokenType::RightBrace);
    return children;
  }

  // control : 'Button' controlProperties [ '{' ( 'push' | 'block' ) index '}' ]
  //         | 'CheckBox' controlProperties [ '{' ( 'on' | 'off' ) index '}' ]
  //         | 'RadioButton' controlProperties [ '{' 'on' index '}' ]
  std::shared_ptr<PatternElement> ParseControl(bool optional, std::size_t sourceIndex) {
    const ElementType type = TypeOfKeyword(Consume().type);
    Option<std::string> id;
    Option<std::string> text;
    std::vector<ClickPoint> points;
    ParseControlProperties(id, text, points, sourceIndex);

    std::vector<std::shared_ptr<PatternAction>> actions;
    std::vector<StateChecker> checkers;
    if (LA(1).type == TokenType::LeftBrace) {
      Consume();
      const Token& stateToken = LA(1);
      Option<DesiredState> state = StateFor(type, stateToken.type);
      if (state) {
        Consume();
        if (source_) source_->elements[sourceIndex].state = Option<SourcePosition>::Some(PositionOf(stateToken));
      } else {
        const char* expected = type == ElementType::Button     ? "'push' or 'block'"
                               : type == ElementType::CheckBox ? "'on' or 'off'"
                                                               : "'on'";
        SyntaxError(LA(1), std::string("expected ") + expected + ", found " + DescribeToken(LA(1)));
      }
      const std::uint32_t index = ParseIndex();
      Expect(TokenType::RightBrace);
      if (state) {
        actions.push_back(MakeStateAction(type, state.Get(), index));
        Option<StateChecker> checker = MakeStateChecker(type, state.Get());
        if (checker) checkers.push_back(std::move(checker.Get()));
      }
    }
    // The desired state runs before the clicks.
    for (const ClickPoint& point : points) actions.push_back(MakeClickAction(point));
    return std::make_shared<PatternElement>(std::move(id), std::move(text), type,
                                            std::vector<std::shared_ptr<PatternElement>>(), std::move(actions),
                                            optional, std::move(checkers));
  }

  static Option<DesiredState> StateFor(ElementType control, TokenType token) {
    switch (control) {
      case ElementType::Button:
        if (token == TokenType::Push) return Option<DesiredState>::Some(DesiredState::Push);
        if (token == TokenType::Block) return Option<DesiredState>::Some(DesiredState::Block);
        break;
      case ElementType::CheckBox:
        if (token == TokenType::On) return Option<DesiredState>::Some(DesiredState::On);
        if (token == TokenType::Off) return Option<DesiredState>::Some(DesiredState::Off);
        break;
      case ElementType::RadioButton:
        if (token == TokenType::On) return Option<DesiredState>::Some(DesiredState::On);
        break;
      default:
        break;
    }
    return Option<DesiredState>();
  }

  // controlProperties : [ pointList ] '(' [ 'id' '=' string ] [ 'text' '=' string ] ')'
  void ParseControlProperties(Option<std::string>& id, Option<std::string>& text, std::vector<ClickPoint>& points,
                              std::size_t sourceIndex) {
    if (LA(1).type == TokenType::LeftBracket) points = ParsePointList();
    Expect(TokenType::LeftParen);
    if (LA(1).type == TokenType::Id) {
      Consume();
      Expect(TokenType::Equals);
      id = ParseString();
    }
    if (LA(1).type == TokenType::TextClause) {
      Consume();
      Expect(TokenType::Equals);
      if (source_) source_->elements[sourceIndex].text = Option<SourcePosition>::Some(PositionOf(LA(1)));
      // On a control an empty string is a present, empty condition.
      text = ParseString();
    }
    Expect(TokenType::RightParen);
  }

  // index : [ '(' uint ')' ]
  std::uint32_t ParseIndex() {
    if (LA(1).type != TokenType::LeftParen) return kDefaultActionIndex;
    Consume();
    const std::int32_t value = ParseUint();
    Expect(TokenType::RightParen);
    return static_cast<std::uint32_t>(value);
  }

  // pointList : point { point } | percentPoint { percentPoint }
  // The first point fixes the form: '[' uint ',' is plain, '[' uint '%' is percent.
  std::vector<ClickPoint> ParsePointList() {
    const bool percent = LA(3).type == TokenType::Percent;
    std::vector<ClickPoint> points;
    do {
      points.push_back(percent ? ParsePercentPoint() : ParsePoint());
    } while (LA(1).type == TokenType::LeftBracket);
    return points;
  }

  // point : '[' uint ',' uint ']'
  ClickPoint ParsePoint() {
    ClickPoint point;
    Expect(TokenType::LeftBracket);
    point.x = static_cast<std::uint32_t>(ParseUint());
    Expect(TokenType::Comma);
    point.y = static_cast<std::uint32_t>(ParseUint());
    Expect(TokenType::RightBracket);
    point.isAbsolute = true;
    return point;
  }

  // percentPoint : '[' uint '%' ',' uint '%' ']'
  ClickPoint ParsePercentPoint() {
    ClickPoint point;
    Expect(TokenType::LeftBracket);
    point.x = static_cast<std::uint32_t>(ParseUint());
    Expect(TokenType::Percent);
    Expect(TokenType::Comma);
    point.y = static_cast<std::uint32_t>(ParseUint());
    Expect(TokenType::Percent);
    Expect(TokenType::RightBracket);
    point.isAbsolute = false;
    return point;
  }

  // string : StringLiteral
  Option<std::string> ParseString() {
    const Token* token = Expect(TokenType::StringLiteral);
    if (!token) return Option<std::string>();
    return Option<std::string>::Some(DecodeStringLiteral(token->text));
  }

  // uint : Decimal
  std::int32_t ParseUint() {
    const Token* token = Expect(TokenType::Decimal);
    return token ? Atol32(token->text) : 0;
  }

  const std::vector<Token> tokens_;
  DiagnosticSink& sink_;
  PatternSource* const source_;
  std::size_t position_ = 0;
  bool errorRecovery_ = false;
  int errorCount_ = 0;
};

}  // namespace

Option<ParsedPattern> ParsePattern(std::string_view text, DiagnosticSink& sink, PatternSource* source) {
  if (source) *source = PatternSource();
  Parser parser(text, sink, source);
  ParsedPattern result = parser.ParsePatternRule();
  if (parser.ErrorCount() > 0) return Option<ParsedPattern>();
  return Option<ParsedPattern>::Some(std::move(result));
}

Option<ParsedPattern> ParsePattern(std::string_view text) { return ParsePattern(text, DefaultDiagnosticSink()); }

Option<PatternVersion> ParsePatternHeader(std::string_view text, DiagnosticSink& sink) {
  Parser parser(text, sink, nullptr);
  const PatternVersion version = parser.ParseHeaderRule();
  if (parser.ErrorCount() > 0) return Option<PatternVersion>();
  return Option<PatternVersion>::Some(version);
}

Option<PatternVersion> ParsePatternHeader(std::string_view text) {
  return ParsePatternHeader(text, DefaultDiagnosticSink());
}

}  // namespace installation_assistant
