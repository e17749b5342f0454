#include "platform/form_syntax.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <utility>

#include "platform/text.h"

namespace brelix::platform {

namespace {
// A value of one kind with the member that kind uses.
template <class T>
FormValue MakeValue(FormValue::Kind kind, T FormValue::*member, T v) {
  FormValue value;
  value.kind = kind;
  value.*member = std::move(v);
  return value;
}
}  // namespace

FormValue FormValue::Integer(std::int64_t v) { return MakeValue(Kind::Integer, &FormValue::integer, v); }
FormValue FormValue::Float(double v) { return MakeValue(Kind::Float, &FormValue::number, v); }
FormValue FormValue::String(std::string v) { return MakeValue(Kind::String, &FormValue::text, std::move(v)); }
FormValue FormValue::Ident(std::string v) { return MakeValue(Kind::Ident, &FormValue::text, std::move(v)); }
FormValue FormValue::Set(std::vector<std::string> v) { return MakeValue(Kind::Set, &FormValue::set, std::move(v)); }
FormValue FormValue::List(std::vector<FormValue> v) { return MakeValue(Kind::List, &FormValue::list, std::move(v)); }
FormValue FormValue::Collection(std::vector<FormItem> v) {
  return MakeValue(Kind::Collection, &FormValue::items, std::move(v));
}
FormValue FormValue::Binary(std::vector<std::uint8_t> v) {
  return MakeValue(Kind::Binary, &FormValue::bytes, std::move(v));
}

const char* FormValue::KindName(Kind kind) {
  switch (kind) {
    case Kind::Integer: return "integer";
    case Kind::Float: return "float";
    case Kind::String: return "string";
    case Kind::Ident: return "identifier";
    case Kind::Set: return "set";
    case Kind::List: return "list";
    case Kind::Collection: return "collection";
    case Kind::Binary: return "binary value";
  }
  return "value";
}

namespace {

// ---------------------------------------------------------------------------------------------
// Character helpers. Identifiers and keywords are ASCII; quoted text is UTF-8.

bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(unsigned char c) {
  return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}
int HexValue(unsigned char c) {
  if (IsDigit(c)) return c - '0';
  if (c >= 'a') return c - 'a' + 10;
  return c - 'A' + 10;
}
bool IsIdentStart(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsIdentChar(unsigned char c) { return IsIdentStart(c) || IsDigit(c); }

//! ASCII case-insensitive equality; the keywords are ASCII.
bool KeywordIs(std::string_view word, std::string_view keyword) {
  if (word.size() != keyword.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(word[i]);
    if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c - 'A' + 'a');
    if (c != static_cast<unsigned char>(keyword[i])) return false;
  }
  return true;
}

//! The words that open or close an object body and so cannot name a property or an object.
bool IsObjectKeyword(std::string_view word) {
  return KeywordIs(word, "object") || KeywordIs(word, "inherited") || KeywordIs(word, "end");
}

//! A letter or "_" followed by letters, digits or "_", optionally several joined by dots.
bool IsDottedIdentifier(std::string_view s) {
  std::size_t i = 0;
  while (true) {
    if (i >= s.size() || !IsIdentStart(static_cast<unsigned char>(s[i]))) return false;
    while (i < s.size() && IsIdentChar(static_cast<unsigned char>(s[i]))) ++i;
    if (i == s.size()) return true;
    if (s[i] != '.') return false;
    ++i;
  }
}

//! An object or class name: an identifier without dots that is not a keyword.
bool IsPlainName(std::string_view s) {
  return IsDottedIdentifier(s) && s.find('.') == std::string_view::npos && !IsObjectKeyword(s);
}

//! The length of the well-formed UTF-8 sequence at s[i] (1 to 4) and its code point in cp;
//! 0 when the bytes there are not well-formed UTF-8 (overlong forms, surrogates and code points
//! above U+10FFFF included).
std::size_t DecodeUtf8(std::string_view s, std::size_t i, char32_t& cp) {
  auto byte = [&](std::size_t k) -> unsigned char {
    return i + k < s.size() ? static_cast<unsigned char>(s[i + k]) : 0;
  };
  auto cont = [](unsigned char c) { return (c & 0xC0) == 0x80; };
  const unsigned char c0 = byte(0);
  if (i >= s.size()) return 0;
  if (c0 < 0x80) {
    cp = c0;
    return 1;
  }
  if (c0 >= 0xC2 && c0 <= 0xDF) {
    if (!cont(byte(1))) return 0;
    cp = (char32_t(c0 & 0x1F) << 6) | (byte(1) & 0x3F);
    return 2;
  }
  if (c0 >= 0xE0 && c0 <= 0xEF) {
    const unsigned char c1 = byte(1);
    if (!cont(c1) || !cont(byte(2))) return 0;
    if (c0 == 0xE0 && c1 < 0xA0) return 0;  // overlong
    if (c0 == 0xED && c1 > 0x9F) return 0;  // surrogate
    cp = (char32_t(c0 & 0x0F) << 12) | (char32_t(c1 & 0x3F) << 6) | (byte(2) & 0x3F);
    return 3;
  }
  if (c0 >= 0xF0 && c0 <= 0xF4) {
    const unsigned char c1 = byte(1);
    if (!cont(c1) || !cont(byte(2)) || !cont(byte(3))) return 0;
    if (c0 == 0xF0 && c1 < 0x90) return 0;  // overlong
    if (c0 == 0xF4 && c1 > 0x8F) return 0;  // above U+10FFFF
    cp = (char32_t(c0 & 0x07) << 18) | (char32_t(c1 & 0x3F) << 12) |
         (char32_t(byte(2) & 0x3F) << 6) | (byte(3) & 0x3F);
    return 4;
  }
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Lexer: turns the text into tokens, tracking the line and column (columns count code points,
// so they match what an editor shows for UTF-8 text).

enum class TokenKind { End, Ident, Integer, Float, String, Binary, Symbol };

struct Token {
  TokenKind kind = TokenKind::End;
  SourcePos pos;
  std::string text;  //!< Ident and Symbol: as written; Integer, Float: the source; String: decoded
  std::int64_t integer = 0;
  double number = 0;
  std::vector<std::uint8_t> bytes;
};

class Lexer {
 public:
  Lexer(std::string_view text, const std::string& file) : text_(text), file_(file) {
    if (text_.substr(0, 3) == "\xEF\xBB\xBF") i_ = 3;  // byte order mark
  }

  [[noreturn]] void Fail(SourcePos pos, std::string detail) const {
    throw EFormFileError(file_, pos, std::move(detail));
  }

  SourcePos Here() const { return SourcePos{line_, column_}; }
  bool AtEnd() const { return i_ >= text_.size(); }

  void SkipBlanks() {
    while (!AtEnd()) {
      const unsigned char c = Cur();
      if (c != ' ' && c != '\t' && c != '\r' && c != '\n') break;
      Step();
    }
  }

  Token Next() {
    SkipBlanks();
    Token token;
    token.pos = Here();
    if (AtEnd()) return token;
    const unsigned char c = Cur();
    if (IsIdentStart(c)) {
      LexIdent(token);
    } else if (IsDigit(c) || c == '-' || c == '$') {
      LexNumber(token);
    } else if (c == '\'' || c == '#') {
      LexString(token);
    } else if (c == '{') {
      LexBinary(token);
    } else if (c == '=' || c == ':' || c == '[' || c == ']' || c == '(' || c == ')' ||
               c == '<' || c == '>' || c == ',' || c == '+') {
      token.kind = TokenKind::Symbol;
      token.text = std::string(1, static_cast<char>(c));
      Step();
    } else {
      Fail(token.pos, "unexpected character " + DescribeChar());
    }
    return token;
  }

 private:
  unsigned char Cur() const { return static_cast<unsigned char>(text_[i_]); }
  bool CurIs(char c) const { return !AtEnd() && text_[i_] == c; }

  //! Consumes one byte (a CR LF pair as one line break).
  void Step() {
    const unsigned char c = Cur();
    ++i_;
    if (c == '\n' || c == '\r') {
      if (c == '\r' && CurIs('\n')) ++i_;
      ++line_;
      column_ = 1;
    } else if ((c & 0xC0) != 0x80) {
      ++column_;
    }
  }

  //! The character at the cursor for a message: 'x', a #n code for control characters, or the
  //! byte in hex when it does not start a UTF-8 sequence.
  std::string DescribeChar() const {
    const unsigned char c = Cur();
    if (c < 32 || c == 127) return "#" + std::to_string(c);
    char32_t cp = 0;
    const std::size_t length = DecodeUtf8(text_, i_, cp);
    if (length == 0) {
      static const char kHex[] = "0123456789ABCDEF";
      return std::string("byte $") + kHex[c >> 4] + kHex[c & 15];
    }
    return "'" + std::string(text_.substr(i_, length)) + "'";
  }

  void LexIdent(Token& token) {
    token.kind = TokenKind::Ident;
    const std::size_t start = i_;
    while (true) {
      while (!AtEnd() && IsIdentChar(Cur())) Step();
      if (!CurIs('.')) break;
      Step();
      if (AtEnd() || !IsIdentStart(Cur())) Fail(Here(), "expected an identifier after '.'");
    }
    token.text = std::string(text_.substr(start, i_ - start));
  }

  void LexNumber(Token& token) {
    const std::size_t start = i_;
    bool negative = false;
    if (CurIs('-')) {
      negative = true;
      Step();
      if (AtEnd() || !(IsDigit(Cur()) || Cur() == '$')) {
        Fail(token.pos, "expected a number after '-'");
      }
    }
    // The magnitude may reach 2^63 when negative.
    const std::uint64_t limit =
        static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + (negative ? 1 : 0);
    std::uint64_t magnitude = 0;
    bool overflow = false;
    auto accumulate = [&](unsigned base, unsigned digit) {
      if (magnitude > (limit - digit) / base) overflow = true;
      else magnitude = magnitude * base + digit;
    };
    bool is_float = false;
    if (CurIs('$')) {
      Step();
      if (AtEnd() || !IsHexDigit(Cur())) Fail(token.pos, "expected hex digits after '$'");
      while (!AtEnd() && IsHexDigit(Cur())) {
        accumulate(16, static_cast<unsigned>(HexValue(Cur())));
        Step();
      }
    } else {
      while (!AtEnd() && IsDigit(Cur())) {
        accumulate(10, static_cast<unsigned>(Cur() - '0'));
        Step();
      }
      if (CurIs('.')) {
        is_float = true;
        Step();
        if (AtEnd() || !IsDigit(Cur())) Fail(Here(), "expected a digit after '.' in a number");
        while (!AtEnd() && IsDigit(Cur())) Step();
      }
      if (CurIs('E') || CurIs('e')) {
        is_float = true;
        Step();
        if (CurIs('+') || CurIs('-')) Step();
        if (AtEnd() || !IsDigit(Cur())) {
          Fail(Here(), "expected a digit in the exponent of a number");
        }
        while (!AtEnd() && IsDigit(Cur())) Step();
      }
    }
    if (!AtEnd() && (IsIdentChar(Cur()) || Cur() == '.')) {
      Fail(Here(), "unexpected character " + DescribeChar() + " in a number");
    }
    token.text = std::string(text_.substr(start, i_ - start));
    if (is_float) {
      token.kind = TokenKind::Float;
      // from_chars does not take a leading '+' and reads the exponent in either case.
      const char* first = token.text.data();
      const char* last = first + token.text.size();
      const auto [end, error] = std::from_chars(first, last, token.number);
      if (error != std::errc() || end != last) Fail(token.pos, "float out of range: " + token.text);
    } else {
      if (overflow) Fail(token.pos, "integer out of range: " + token.text);
      token.kind = TokenKind::Integer;
      token.integer = negative ? static_cast<std::int64_t>(0 - magnitude)
                               : static_cast<std::int64_t>(magnitude);
    }
  }

  //! Quoted parts and #n character codes written next to each other make one string.
  void LexString(Token& token) {
    token.kind = TokenKind::String;
    while (!AtEnd()) {
      if (Cur() == '\'') {
        LexQuoted(token.text);
      } else if (Cur() == '#') {
        LexCodes(token.text);
      } else {
        break;
      }
    }
  }

  void LexQuoted(std::string& out) {
    const SourcePos quote = Here();
    Step();
    while (true) {
      if (AtEnd() || Cur() == '\n' || Cur() == '\r') Fail(quote, "unterminated string");
      if (Cur() == '\'') {
        Step();
        if (!CurIs('\'')) return;
        out += '\'';
        Step();
        continue;
      }
      char32_t cp = 0;
      const std::size_t length = DecodeUtf8(text_, i_, cp);
      if (length == 0) Fail(Here(), "invalid UTF-8 in a string");
      out.append(text_.substr(i_, length));
      for (std::size_t k = 0; k < length; ++k) Step();
    }
  }

  //! One #n code, or two when they make a UTF-16 surrogate pair (#55357#56832).
  void LexCodes(std::string& out) {
    const SourcePos hash = Here();
    char32_t cp = ReadCode();
    if (cp >= 0xDC00 && cp <= 0xDFFF) Fail(hash, "unpaired surrogate #" + std::to_string(cp));
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      const char32_t high = cp;
      char32_t low = 0;
      if (CurIs('#')) low = ReadCode();
      if (low < 0xDC00 || low > 0xDFFF) Fail(hash, "unpaired surrogate #" + std::to_string(high));
      cp = 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
    }
    AppendUtf8(out, cp);
  }

  char32_t ReadCode() {
    const SourcePos hash = Here();
    Step();  // '#'
    unsigned base = 10;
    if (CurIs('$')) {
      base = 16;
      Step();
    }
    auto digit = [&]() { return base == 16 ? IsHexDigit(Cur()) : IsDigit(Cur()); };
    if (AtEnd() || !digit()) Fail(hash, "expected a character code after '#'");
    std::uint32_t value = 0;
    while (!AtEnd() && digit()) {
      value = value * base + static_cast<std::uint32_t>(HexValue(Cur()));
      if (value > 0x10FFFF) value = 0x110000;  // stays out of range, never overflows
      Step();
    }
    if (value > 0x10FFFF) Fail(hash, "character code out of range");
    return value;
  }

  void LexBinary(Token& token) {
    token.kind = TokenKind::Binary;
    Step();  // '{'
    int high = -1;
    while (true) {
      if (AtEnd()) Fail(token.pos, "unterminated binary value; expected '}'");
      const unsigned char c = Cur();
      if (c == '}') break;
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
        Step();
        continue;
      }
      if (!IsHexDigit(c)) Fail(Here(), "invalid hex digit " + DescribeChar() + " in binary value");
      if (high < 0) {
        high = HexValue(c);
      } else {
        token.bytes.push_back(static_cast<std::uint8_t>(high * 16 + HexValue(c)));
        high = -1;
      }
      Step();
    }
    if (high >= 0) Fail(Here(), "odd number of hex digits in binary value");
    Step();  // '}'
  }

  std::string_view text_;
  const std::string& file_;
  std::size_t i_ = 0;
  int line_ = 1;
  int column_ = 1;
};

// ---------------------------------------------------------------------------------------------
// Parser: recursive descent with one token of lookahead, read only when needed so that the
// check for text after the root object sees the raw text.

class Parser {
 public:
  Parser(std::string_view text, const std::string& file) : lexer_(text, file) {}

  FormObject Root() {
    const Token& first = Peek();
    if (!(first.kind == TokenKind::Ident &&
          (KeywordIs(first.text, "object") || KeywordIs(first.text, "inherited")))) {
      Expected("'object' or 'inherited'");
    }
    FormObject root = Object(1);
    lexer_.SkipBlanks();
    if (!lexer_.AtEnd()) lexer_.Fail(lexer_.Here(), "text after the end of the root object");
    return root;
  }

 private:
  const Token& Peek() {
    if (!peeked_) {
      token_ = lexer_.Next();
      peeked_ = true;
    }
    return token_;
  }

  Token Take() {
    Peek();
    peeked_ = false;
    return std::move(token_);
  }

  bool PeekSymbol(char symbol) {
    const Token& token = Peek();
    return token.kind == TokenKind::Symbol && token.text[0] == symbol;
  }

  bool PeekKeyword(std::string_view keyword) {
    const Token& token = Peek();
    return token.kind == TokenKind::Ident && KeywordIs(token.text, keyword);
  }

  static std::string Describe(const Token& token) {
    switch (token.kind) {
      case TokenKind::End: return "the end of the file";
      case TokenKind::String: return "a string";
      case TokenKind::Binary: return "a binary value";
      default: break;
    }
    constexpr std::size_t kShown = 40;
    if (token.text.size() > kShown) return "'" + token.text.substr(0, kShown) + "...'";
    return "'" + token.text + "'";
  }

  //! Fails at the lookahead token: "expected X but found Y", or at the end of the file
  //! "unexpected end of file; expected X" (at_end names what was missing there, default X).
  [[noreturn]] void Expected(const std::string& what, const std::string& at_end = {}) {
    const Token& token = Peek();
    if (token.kind == TokenKind::End) {
      lexer_.Fail(token.pos,
                  "unexpected end of file; expected " + (at_end.empty() ? what : at_end));
    }
    lexer_.Fail(token.pos, "expected " + what + " but found " + Describe(token));
  }

  void CheckDepth(int depth, SourcePos pos) {
    if (depth > kMaxFormDepth) {
      lexer_.Fail(pos, "nesting deeper than " + std::to_string(kMaxFormDepth) + " levels");
    }
  }

  bool PeekPlainName() {
    const Token& token = Peek();
    return token.kind == TokenKind::Ident && IsPlainName(token.text);
  }

  //! An object whose keyword is the lookahead token.
  FormObject Object(int depth) {
    Token keyword = Take();
    CheckDepth(depth, keyword.pos);
    FormObject object;
    object.pos = keyword.pos;
    object.inherited = KeywordIs(keyword.text, "inherited");
    if (!PeekPlainName()) {
      Expected(object.inherited ? "an identifier after 'inherited'"
                                : "an identifier after 'object'");
    }
    object.name = Take().text;
    if (!PeekSymbol(':')) Expected("':' after the object name");
    Take();
    if (!PeekPlainName()) Expected("a class name after ':'");
    object.class_name = Take().text;
    while (true) {
      if (PeekKeyword("end")) {
        Take();
        return object;
      }
      if (PeekKeyword("object") || PeekKeyword("inherited")) {
        object.children.push_back(Object(depth + 1));
        continue;
      }
      // Properties come before the child objects.
      if (Peek().kind != TokenKind::Ident || !object.children.empty()) {
        Expected(object.children.empty() ? "a property name, 'object', 'inherited' or 'end'"
                                         : "'object', 'inherited' or 'end'",
                 "'end'");
      }
      object.properties.push_back(Property(depth));
    }
  }

  //! A property whose name is the lookahead token; depth is that of its object or item.
  FormProperty Property(int depth) {
    Token name = Take();
    FormProperty property;
    property.name = std::move(name.text);
    property.pos = name.pos;
    if (!PeekSymbol('=')) Expected("'='");
    Take();
    property.value = Value(depth);
    return property;
  }

  //! The keywords of an object body are no identifier values, so that "X =" followed by "end"
  //! reports the missing value instead of reading on past the object's end.
  bool PeekValueStart() {
    const Token& token = Peek();
    switch (token.kind) {
      case TokenKind::End: return false;
      case TokenKind::Ident: return !IsObjectKeyword(token.text);
      case TokenKind::Symbol:
        return token.text[0] == '[' || token.text[0] == '(' || token.text[0] == '<';
      default: return true;
    }
  }

  FormValue Value(int depth) {
    if (!PeekValueStart()) Expected("a value");
    Token token = Take();
    FormValue value;
    switch (token.kind) {
      case TokenKind::Integer: value = FormValue::Integer(token.integer); break;
      case TokenKind::Float: value = FormValue::Float(token.number); break;
      case TokenKind::Ident: value = FormValue::Ident(std::move(token.text)); break;
      case TokenKind::Binary: value = FormValue::Binary(std::move(token.bytes)); break;
      case TokenKind::String:
        value = FormValue::String(std::move(token.text));
        while (PeekSymbol('+')) {
          Take();
          if (Peek().kind != TokenKind::String) Expected("a string after '+'");
          value.text += Take().text;
        }
        break;
      default:
        if (token.text[0] == '[') value = Set();
        else if (token.text[0] == '(') value = List(depth + 1, token.pos);
        else value = Collection(depth + 1, token.pos);
        break;
    }
    value.pos = token.pos;
    return value;
  }

  //! The elements after '[' up to and with ']'.
  FormValue Set() {
    std::vector<std::string> elements;
    if (PeekSymbol(']')) {
      Take();
      return FormValue::Set(std::move(elements));
    }
    while (true) {
      if (Peek().kind != TokenKind::Ident) Expected("an identifier in the set", "']'");
      elements.push_back(Take().text);
      if (PeekSymbol(']')) break;
      if (!PeekSymbol(',')) Expected("',' or ']'", "']'");
      Take();
    }
    Take();
    return FormValue::Set(std::move(elements));
  }

  //! The values after '(' up to and with ')'.
  FormValue List(int depth, SourcePos open) {
    CheckDepth(depth, open);
    std::vector<FormValue> elements;
    while (!PeekSymbol(')')) {
      if (!PeekValueStart()) Expected("a value or ')'", "')'");
      elements.push_back(Value(depth));
    }
    Take();
    return FormValue::List(std::move(elements));
  }

  //! The items after '<' up to and with '>'.
  FormValue Collection(int depth, SourcePos open) {
    CheckDepth(depth, open);
    std::vector<FormItem> items;
    while (!PeekSymbol('>')) {
      if (!PeekKeyword("item")) Expected("'item' or '>'", "'>'");
      items.push_back(Item(depth + 1));
    }
    Take();
    return FormValue::Collection(std::move(items));
  }

  FormItem Item(int depth) {
    Token keyword = Take();
    CheckDepth(depth, keyword.pos);
    FormItem item;
    item.pos = keyword.pos;
    if (PeekSymbol('[')) {
      Take();
      if (Peek().kind != TokenKind::Integer) Expected("an item index after '['");
      item.index = Take().integer;
      if (!PeekSymbol(']')) Expected("']' after the item index");
      Take();
    }
    while (!PeekKeyword("end")) {
      if (Peek().kind != TokenKind::Ident) Expected("a property name or 'end'", "'end'");
      item.properties.push_back(Property(depth));
    }
    Take();
    return item;
  }

  Lexer lexer_;
  Token token_;
  bool peeked_ = false;
};

// ---------------------------------------------------------------------------------------------
// Printer.

constexpr std::size_t kStringPiece = 64;  // code points per string piece
constexpr std::size_t kBinaryLine = 32;   // bytes (64 hex digits) per line

class Printer {
 public:
  std::string Print(const FormObject& root) {
    Object(root, 0, 1);
    return std::move(out_);
  }

 private:
  [[noreturn]] static void Fail(std::string detail) {
    throw EFormFileError(std::string(), SourcePos{}, std::move(detail));
  }

  static void CheckDepth(int depth) {
    if (depth > kMaxFormDepth) {
      Fail("cannot write a form nested deeper than " + std::to_string(kMaxFormDepth) + " levels");
    }
  }

  static void CheckIdent(const std::string& text, const char* what) {
    if (!IsDottedIdentifier(text)) Fail(std::string("cannot write ") + what + " '" + text + "'");
  }

  void Indent(int level) { out_.append(static_cast<std::size_t>(level) * 2, ' '); }

  void Object(const FormObject& object, int level, int depth) {
    CheckDepth(depth);
    if (!IsPlainName(object.name)) Fail("cannot write the object name '" + object.name + "'");
    if (!IsPlainName(object.class_name)) {
      Fail("cannot write the class name '" + object.class_name + "'");
    }
    Indent(level);
    out_ += object.inherited ? "inherited " : "object ";
    out_ += object.name;
    out_ += ": ";
    out_ += object.class_name;
    out_ += '\n';
    for (const FormProperty& property : object.properties) Property(property, level + 1, depth);
    for (const FormObject& child : object.children) Object(child, level + 1, depth + 1);
    Indent(level);
    out_ += "end\n";
  }

  void Property(const FormProperty& property, int level, int depth) {
    if (!IsDottedIdentifier(property.name) || IsObjectKeyword(property.name)) {
      Fail("cannot write the property name '" + property.name + "'");
    }
    Indent(level);
    out_ += property.name;
    out_ += " = ";
    Value(property.value, level, depth);
    out_ += '\n';
  }

  //! Writes a value that starts on a line indented by level; lines it continues on are
  //! indented deeper. Writes no line break after the value.
  void Value(const FormValue& value, int level, int depth) {
    switch (value.kind) {
      case FormValue::Kind::Integer: out_ += std::to_string(value.integer); return;
      case FormValue::Kind::Float: FloatText(value.number); return;
      case FormValue::Kind::String: StringText(value.text, level); return;
      case FormValue::Kind::Ident:
        CheckIdent(value.text, "the identifier");
        if (IsObjectKeyword(value.text)) {
          Fail("cannot write the keyword '" + value.text + "' as a value");
        }
        out_ += value.text;
        return;
      case FormValue::Kind::Set:
        out_ += '[';
        for (std::size_t i = 0; i < value.set.size(); ++i) {
          CheckIdent(value.set[i], "the set element");
          if (i > 0) out_ += ", ";
          out_ += value.set[i];
        }
        out_ += ']';
        return;
      case FormValue::Kind::List:
        CheckDepth(depth + 1);
        out_ += '(';
        for (const FormValue& element : value.list) {
          out_ += '\n';
          Indent(level + 1);
          Value(element, level + 1, depth + 1);
        }
        out_ += ')';
        return;
      case FormValue::Kind::Collection:
        CheckDepth(depth + 1);
        out_ += '<';
        for (const FormItem& item : value.items) {
          CheckDepth(depth + 2);
          out_ += '\n';
          Indent(level + 1);
          out_ += "item";
          if (item.index) out_ += " [" + std::to_string(*item.index) + "]";
          out_ += '\n';
          for (const FormProperty& property : item.properties) {
            Property(property, level + 2, depth + 2);
          }
          Indent(level + 1);
          out_ += "end";
        }
        out_ += '>';
        return;
      case FormValue::Kind::Binary: {
        static const char kHex[] = "0123456789ABCDEF";
        out_ += '{';
        for (std::size_t i = 0; i < value.bytes.size(); ++i) {
          if (i % kBinaryLine == 0) {
            out_ += '\n';
            Indent(level + 1);
          }
          out_ += kHex[value.bytes[i] >> 4];
          out_ += kHex[value.bytes[i] & 15];
        }
        out_ += '}';
        return;
      }
    }
    Fail("cannot write a value of unknown kind");
  }

  //! The shortest text that reads back to the same double, with an upper-case E and no '+' or
  //! leading zeros in the exponent, and ".0" added when it would otherwise read as an integer.
  void FloatText(double number) {
    if (!std::isfinite(number)) Fail("cannot write an infinite or NaN float");
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
    std::string text(buffer, result.ptr);
    const std::size_t e = text.find('e');
    if (e == std::string::npos) {
      if (text.find('.') == std::string::npos) text += ".0";
      out_ += text;
      return;
    }
    out_.append(text, 0, e);
    out_ += 'E';
    std::size_t i = e + 1;
    if (text[i] == '+') {
      ++i;
    } else if (text[i] == '-') {
      out_ += '-';
      ++i;
    }
    while (i + 1 < text.size() && text[i] == '0') ++i;
    out_.append(text, i, std::string::npos);
  }

  //! A string in pieces of kStringPiece code points joined by " +" line ends; the pieces after
  //! the first are indented two levels deeper than the line the value starts on.
  void StringText(const std::string& text, int level) {
    if (text.empty()) {
      out_ += "''";
      return;
    }
    std::size_t i = 0;
    bool first = true;
    while (i < text.size()) {
      if (!first) {
        out_ += " +\n";
        Indent(level + 2);
      }
      first = false;
      bool quoted = false;
      for (std::size_t count = 0; count < kStringPiece && i < text.size(); ++count) {
        char32_t cp = 0;
        const std::size_t length = DecodeUtf8(text, i, cp);
        if (length == 0) Fail("cannot write a string that is not valid UTF-8");
        if (cp < 32) {
          if (quoted) out_ += '\'';
          quoted = false;
          out_ += '#';
          out_ += std::to_string(static_cast<unsigned>(cp));
        } else {
          if (!quoted) out_ += '\'';
          quoted = true;
          if (cp == '\'') out_ += "''";
          else out_.append(text, i, length);
        }
        i += length;
      }
      if (quoted) out_ += '\'';
    }
  }

  std::string out_;
};

}  // namespace

FormObject ParseForm(std::string_view text, const std::string& file) {
  return Parser(text, file).Root();
}

std::string PrintForm(const FormObject& root) { return Printer().Print(root); }

}  // namespace brelix::platform
