#include "xlsx/formula.h"

#include <charconv>
#include <cstdint>

#include "platform/text.h"
#include "xlsx/cell_ref.h"

namespace brelix::xlsx {

namespace {

using platform::Locale;
constexpr std::size_t npos = std::string_view::npos;

// The error words of the English notation; every locale maps the first seven.
constexpr std::string_view kEnglishErrorWords[] = {"#NULL!", "#DIV/0!", "#VALUE!", "#REF!",  "#NAME?",
                                                   "#NUM!",  "#N/A",    "#SPILL!", "#CALC!", "#GETTING_DATA"};
constexpr std::string_view kRefError = "#REF!";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
// Names start with a letter, "_" or "\"; bytes of UTF-8 sequences count as letters.
bool IsWordStart(char c) { return IsLetter(c) || c == '_' || c == '\\' || static_cast<unsigned char>(c) >= 0x80; }
bool IsWordChar(char c) { return IsWordStart(c) || IsDigit(c) || c == '.' || c == '?'; }
char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  return true;
}

bool StartsWithAscii(std::string_view s, std::size_t pos, std::string_view word) {
  return s.size() - pos >= word.size() && SameAscii(s.substr(pos, word.size()), word);
}

// See the header: "." separates the columns of array constants where "," is the decimal point.
char ArrayColumnSeparatorFor(char decimal_separator) { return decimal_separator == ',' ? '.' : ','; }
constexpr char kArrayRowSeparator = ';';

// One end of a reference: a column or a row, with or without "$".
struct AddressPart {
  int value = 0;
  bool absolute = false;
};

enum class AreaKind { Cell, Columns, Rows };

// The address of a Reference token after its sheet prefix. A single cell has equal ends.
struct Area {
  AreaKind kind = AreaKind::Cell;
  bool range = false;
  AddressPart col[2], row[2];
};

std::size_t ScanColumn(std::string_view s, std::size_t p, AddressPart& part) {
  part.absolute = p < s.size() && s[p] == '$';
  if (part.absolute) ++p;
  int value = 0;
  std::size_t letters = 0;
  for (; p < s.size() && IsLetter(s[p]); ++p) {
    if (++letters > 3) return npos;
    value = value * 26 + (UpperAscii(s[p]) - 'A' + 1);
  }
  if (letters == 0 || value > kMaxColumns) return npos;
  part.value = value;
  return p;
}

std::size_t ScanRow(std::string_view s, std::size_t p, AddressPart& part) {
  part.absolute = p < s.size() && s[p] == '$';
  if (part.absolute) ++p;
  int value = 0;
  std::size_t digits = 0;
  for (; p < s.size() && IsDigit(s[p]); ++p) {
    if (++digits > 7) return npos;
    value = value * 10 + (s[p] - '0');
  }
  if (digits == 0 || value < 1 || value > kMaxRows) return npos;
  part.value = value;
  return p;
}

// A reference ends where no name, function call or further address part goes on.
bool EndsReference(std::string_view s, std::size_t p) {
  return p >= s.size() || (!IsWordChar(s[p]) && s[p] != '(' && s[p] != '$');
}

// Reads A1, A1:B2, A:C or 1:3 (each part optionally with "$") at p; the end, or npos.
std::size_t ScanArea(std::string_view s, std::size_t p, Area& area) {
  AddressPart col, row;
  std::size_t end = ScanColumn(s, p, col);
  if (end != npos) {
    const std::size_t cell_end = ScanRow(s, end, row);
    if (cell_end != npos) {
      area = Area{AreaKind::Cell, false, {col, col}, {row, row}};
      if (cell_end < s.size() && s[cell_end] == ':') {
        AddressPart col2, row2;
        std::size_t last = ScanColumn(s, cell_end + 1, col2);
        if (last != npos) last = ScanRow(s, last, row2);
        if (last != npos && EndsReference(s, last)) {
          area.range = true;
          area.col[1] = col2;
          area.row[1] = row2;
          return last;
        }
      }
      return EndsReference(s, cell_end) ? cell_end : npos;
    }
    if (end < s.size() && s[end] == ':') {
      AddressPart col2;
      const std::size_t last = ScanColumn(s, end + 1, col2);
      if (last != npos && EndsReference(s, last)) {
        area = Area{AreaKind::Columns, true, {col, col2}, {}};
        return last;
      }
    }
    return npos;
  }
  end = ScanRow(s, p, row);
  if (end != npos && end < s.size() && s[end] == ':') {
    AddressPart row2;
    const std::size_t last = ScanRow(s, end + 1, row2);
    if (last != npos && EndsReference(s, last)) {
      area = Area{AreaKind::Rows, true, {}, {row, row2}};
      return last;
    }
  }
  return npos;
}

// The end of a word that may name a sheet without quotes.
std::size_t EndOfSheetWord(std::string_view s, std::size_t p) {
  while (p < s.size() && IsWordChar(s[p])) ++p;
  return p;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Tokenizer

FormulaTokenizer::FormulaTokenizer(std::string_view formula, const Locale* locale)
    : formula_(formula),
      locale_(locale),
      decimal_separator_(locale ? locale->decimal_separator : '.'),
      list_separator_(locale ? locale->list_separator : ','),
      array_column_separator_(ArrayColumnSeparatorFor(decimal_separator_)) {}

void FormulaTokenizer::Fail(std::size_t pos, const char* what) const {
  throw EFormulaError("Formula '" + std::string(formula_) + "': " + what + " at position " + std::to_string(pos));
}

bool FormulaTokenizer::Emit(FormulaToken& token, FormulaTokenKind kind, std::size_t start, std::size_t end,
                            std::size_t prefix) {
  token.kind = kind;
  token.text = formula_.substr(start, end - start);
  token.prefix = prefix;
  pos_ = end;
  return true;
}

std::size_t FormulaTokenizer::EndOfWord(std::size_t pos) const {
  while (pos < formula_.size() && IsWordChar(formula_[pos]) &&
         !(array_depth_ > 0 && formula_[pos] == array_column_separator_))
    ++pos;
  return pos;
}

std::size_t FormulaTokenizer::EndOfErrorWord(std::size_t pos) const {
  std::size_t best = 0;
  auto match = [&](std::string_view word) {
    if (word.size() > best && StartsWithAscii(formula_, pos, word)) best = word.size();
  };
  if (locale_) {
    for (const auto& entry : locale_->error_words) match(entry.second);
  } else {
    for (std::string_view word : kEnglishErrorWords) match(word);
  }
  return best ? pos + best : 0;
}

namespace {

// The end of a text in quote characters starting at pos, where two quotes stand for one; npos
// when it does not end.
std::size_t EndOfQuoted(std::string_view s, std::size_t pos) {
  const char quote = s[pos];
  for (std::size_t i = pos + 1; i < s.size(); ++i) {
    if (s[i] != quote) continue;
    if (i + 1 < s.size() && s[i + 1] == quote) {
      ++i;
      continue;
    }
    return i + 1;
  }
  return npos;
}

// The end of nested brackets starting at pos; npos when they do not close.
std::size_t EndOfBrackets(std::string_view s, std::size_t pos) {
  int depth = 0;
  for (std::size_t i = pos; i < s.size(); ++i) {
    if (s[i] == '[') ++depth;
    if (s[i] == ']' && --depth == 0) return i + 1;
  }
  return npos;
}

}  // namespace

// A sheet prefix with what follows it, or a reference without one, at start.
bool FormulaTokenizer::ScanPrefixed(std::size_t start, FormulaToken& token) {
  const std::string_view s = formula_;
  std::size_t prefix_end = 0;
  std::size_t q = start;
  if (s[q] == '[') {
    q = EndOfBrackets(s, q);
    if (q == npos) Fail(start, "'[' without ']'");
  }
  if (q < s.size() && s[q] == '\'') {
    q = EndOfQuoted(s, q);
    if (q == npos) Fail(start, "sheet name without closing apostrophe");
  } else if (q < s.size() && IsWordStart(s[q])) {
    q = EndOfSheetWord(s, q);
    if (q + 1 < s.size() && s[q] == ':' && IsWordStart(s[q + 1])) q = EndOfSheetWord(s, q + 1);  // Jan:Dec!
  }
  if (q < s.size() && q > start && s[q] == '!') prefix_end = q + 1;

  const std::size_t address = prefix_end ? prefix_end : start;
  const std::size_t prefix = address - start;
  Area area;
  if (const std::size_t end = ScanArea(s, address, area); end != npos)
    return Emit(token, FormulaTokenKind::Reference, start, end, prefix);
  if (!prefix_end) return false;
  if (const std::size_t end = EndOfErrorWord(address))
    return Emit(token, FormulaTokenKind::Error, start, end, prefix);
  const std::size_t end = address < s.size() && IsWordStart(s[address]) ? EndOfWord(address) : address;
  return Emit(token, FormulaTokenKind::Name, start, end, prefix);
}

bool FormulaTokenizer::Next(FormulaToken& token) {
  const std::string_view s = formula_;
  const std::size_t n = s.size();
  if (pos_ >= n) return false;
  const std::size_t start = pos_;
  const char c = s[start];
  using K = FormulaTokenKind;

  if (IsBlank(c)) {
    std::size_t end = start + 1;
    while (end < n && IsBlank(s[end])) ++end;
    return Emit(token, K::Whitespace, start, end);
  }
  switch (c) {
    case '"': {
      const std::size_t end = EndOfQuoted(s, start);
      if (end == npos) Fail(start, "string without closing quote");
      return Emit(token, K::String, start, end);
    }
    case '(':
      return Emit(token, K::Open, start, start + 1);
    case ')':
      return Emit(token, K::Close, start, start + 1);
    case '{':
      ++array_depth_;
      return Emit(token, K::ArrayOpen, start, start + 1);
    case '}':
      if (array_depth_ > 0) --array_depth_;
      return Emit(token, K::ArrayClose, start, start + 1);
    case '#': {
      const std::size_t end = EndOfErrorWord(start);
      return Emit(token, end ? K::Error : K::Operator, start, end ? end : start + 1);
    }
    default:
      break;
  }
  if (array_depth_ > 0) {
    if (c == array_column_separator_) return Emit(token, K::ArrayColumnSeparator, start, start + 1);
    if (c == kArrayRowSeparator) return Emit(token, K::ArrayRowSeparator, start, start + 1);
  } else {
    if (c == list_separator_) return Emit(token, K::Separator, start, start + 1);
    // Array constants hold no references.
    if ((c == '$' || c == '\'' || c == '[' || IsWordStart(c) || IsDigit(c)) && ScanPrefixed(start, token))
      return true;
  }
  if (IsDigit(c) || (c == decimal_separator_ && start + 1 < n && IsDigit(s[start + 1]))) {
    std::size_t end = start;
    while (end < n && IsDigit(s[end])) ++end;
    if (end < n && s[end] == decimal_separator_) {
      ++end;
      while (end < n && IsDigit(s[end])) ++end;
    }
    if (end < n && (s[end] == 'E' || s[end] == 'e')) {
      std::size_t exponent = end + 1;
      if (exponent < n && (s[exponent] == '+' || s[exponent] == '-')) ++exponent;
      if (exponent < n && IsDigit(s[exponent])) {
        while (exponent < n && IsDigit(s[exponent])) ++exponent;
        end = exponent;
      }
    }
    return Emit(token, K::Number, start, end);
  }
  if (IsWordStart(c)) {
    std::size_t end = EndOfWord(start);
    if (end < n && s[end] == '(') return Emit(token, K::Function, start, end);
    const std::string_view word = s.substr(start, end - start);
    const std::string_view true_word = locale_ ? std::string_view(locale_->true_word) : "TRUE";
    const std::string_view false_word = locale_ ? std::string_view(locale_->false_word) : "FALSE";
    if (platform::SameText(word, true_word) || platform::SameText(word, false_word))
      return Emit(token, K::Boolean, start, end);
    if (end < n && s[end] == '[') {  // Table1[Column]
      end = EndOfBrackets(s, end);
      if (end == npos) Fail(start, "'[' without ']'");
    }
    return Emit(token, K::Name, start, end);
  }
  if (c == '\'' || c == '[') {  // a quoted name or a table reference without its table
    const std::size_t end = c == '\'' ? EndOfQuoted(s, start) : EndOfBrackets(s, start);
    if (end == npos) Fail(start, c == '\'' ? "sheet name without closing apostrophe" : "'[' without ']'");
    return Emit(token, K::Name, start, end);
  }
  const char after = start + 1 < n ? s[start + 1] : '\0';
  if ((c == '<' && (after == '=' || after == '>')) || (c == '>' && after == '='))
    return Emit(token, K::Operator, start, start + 2);
  return Emit(token, K::Operator, start, start + 1);
}

std::vector<FormulaToken> TokenizeFormula(std::string_view formula, const Locale* locale) {
  std::vector<FormulaToken> tokens;
  FormulaTokenizer tokenizer(formula, locale);
  FormulaToken token;
  while (tokenizer.Next(token)) tokens.push_back(token);
  return tokens;
}

// ---------------------------------------------------------------------------------------------
// Translation

namespace {

struct Separators {
  char decimal, list, array_column, array_row;
};

Separators EnglishSeparators() { return {'.', ',', ',', kArrayRowSeparator}; }

Separators LocalSeparators(const Locale& locale) {
  return {locale.decimal_separator, locale.list_separator, ArrayColumnSeparatorFor(locale.decimal_separator),
          kArrayRowSeparator};
}

// True when the locale writes formulas as the files do, so that nothing needs translating.
bool HasEnglishNotation(const Locale& locale) {
  if (locale.decimal_separator != '.' || locale.list_separator != ',' || !locale.function_names.empty() ||
      locale.true_word != "TRUE" || locale.false_word != "FALSE")
    return false;
  for (const auto& [english, native] : locale.error_words)
    if (english != native) return false;
  return true;
}

bool HasLowerOrNonAscii(std::string_view s) {
  for (char c : s)
    if ((c >= 'a' && c <= 'z') || static_cast<unsigned char>(c) >= 0x80) return true;
  return false;
}

void AppendFunctionName(std::string& out, std::string_view name, const Locale& locale, bool to_english) {
  if (to_english) {
    out += locale.EnglishFunctionName(name);
    return;
  }
  if (auto it = locale.function_names.find(name); it != locale.function_names.end()) {
    out += it->second;
  } else if (HasLowerOrNonAscii(name)) {
    out += locale.NativeFunctionName(name);
  } else {
    out += name;
  }
}

void AppendErrorWord(std::string& out, std::string_view word, const Locale& locale, bool to_english) {
  for (const auto& [english, native] : locale.error_words) {
    if (SameAscii(word, to_english ? native : english)) {
      out += to_english ? english : native;
      return;
    }
  }
  out += word;
}

[[noreturn]] void Unexpected(std::string_view formula, std::string_view token, std::size_t offset) {
  const std::size_t pos = static_cast<std::size_t>(token.data() - formula.data()) + offset;
  throw EFormulaError("Formula '" + std::string(formula) + "': unexpected '" + std::string(1, formula[pos]) +
                      "' at position " + std::to_string(pos));
}

// Array constants hold no names; one with a "." would split in de-DE {1.2}.
void CheckOutsideArray(std::string_view formula, std::string_view name, const Separators& to, int array_depth) {
  if (array_depth == 0) return;
  if (const std::size_t pos = name.find(to.array_column); pos != npos) Unexpected(formula, name, pos);
}

std::string Translate(std::string_view formula, const Locale& locale, bool to_english) {
  if (HasEnglishNotation(locale)) {
    // Nothing to translate; a typed formula is still read once, so that an unreadable one is
    // refused here as in every other language.
    if (to_english) {
      FormulaTokenizer tokenizer(formula, &locale);
      for (FormulaToken token; tokenizer.Next(token);) {
      }
    }
    return std::string(formula);
  }
  const Separators from = to_english ? LocalSeparators(locale) : EnglishSeparators();
  const Separators to = to_english ? EnglishSeparators() : LocalSeparators(locale);
  std::string out;
  out.reserve(formula.size() + formula.size() / 4 + 8);
  FormulaTokenizer tokenizer(formula, to_english ? &locale : nullptr);
  FormulaToken token;
  int array_depth = 0;
  while (tokenizer.Next(token)) {
    switch (token.kind) {
      case FormulaTokenKind::Number:
        for (char c : token.text) out += c == from.decimal ? to.decimal : c;
        break;
      case FormulaTokenKind::Separator:
        out += to.list;
        break;
      case FormulaTokenKind::ArrayOpen:
        ++array_depth;
        out += token.text;
        break;
      case FormulaTokenKind::ArrayClose:
        if (array_depth > 0) --array_depth;
        out += token.text;
        break;
      case FormulaTokenKind::ArrayColumnSeparator:
        out += to.array_column;
        break;
      case FormulaTokenKind::ArrayRowSeparator:
        out += to.array_row;
        break;
      case FormulaTokenKind::Function:
        CheckOutsideArray(formula, token.text, to, array_depth);
        AppendFunctionName(out, token.text, locale, to_english);
        break;
      case FormulaTokenKind::Boolean: {
        const bool value = platform::SameText(token.text, to_english ? std::string_view(locale.true_word) : "TRUE");
        if (to_english) {
          out += value ? "TRUE" : "FALSE";
        } else {
          out += value ? locale.true_word : locale.false_word;
        }
        break;
      }
      case FormulaTokenKind::Error:
        out += token.text.substr(0, token.prefix);
        AppendErrorWord(out, token.text.substr(token.prefix), locale, to_english);
        break;
      case FormulaTokenKind::Operator: {
        // A character the source notation does not know would become a separator.
        const char c = token.text[0];
        if (token.text.size() == 1 &&
            (c == to.list || c == to.decimal || (array_depth > 0 && (c == to.array_column || c == to.array_row))))
          Unexpected(formula, token.text, 0);
        out += token.text;
        break;
      }
      case FormulaTokenKind::Name:
        CheckOutsideArray(formula, token.text, to, array_depth);
        out += token.text;
        break;
      default:
        out += token.text;
        break;
    }
  }
  return out;
}

}  // namespace

std::string LocalToEnglish(std::string_view local_formula, const Locale& locale) {
  return Translate(local_formula, locale, true);
}

std::string EnglishToLocal(std::string_view english_formula, const Locale& locale) {
  return Translate(english_formula, locale, false);
}

// ---------------------------------------------------------------------------------------------
// Moving references

namespace {

bool Move(AddressPart& part, int shift, int last) {
  if (part.absolute) return true;
  const std::int64_t value = std::int64_t{part.value} + shift;
  if (value < 1 || value > last) return false;
  part.value = static_cast<int>(value);
  return true;
}

void AppendColumn(std::string& out, const AddressPart& part) {
  if (part.absolute) out += '$';
  char letters[3];
  int n = 0;
  for (int col = part.value; col > 0; col = (col - 1) / 26) letters[n++] = static_cast<char>('A' + (col - 1) % 26);
  while (n > 0) out += letters[--n];
}

void AppendRow(std::string& out, const AddressPart& part) {
  if (part.absolute) out += '$';
  char digits[8];
  const auto result = std::to_chars(digits, digits + sizeof digits, part.value);
  out.append(digits, result.ptr);
}

void AppendShifted(std::string& out, std::string_view address, int row_shift, int col_shift) {
  Area area;
  ScanArea(address, 0, area);  // the tokenizer has read it already
  const int ends = area.range ? 2 : 1;
  bool inside = true;
  for (int i = 0; i < ends; ++i) {
    if (area.kind != AreaKind::Rows) inside = Move(area.col[i], col_shift, kMaxColumns) && inside;
    if (area.kind != AreaKind::Columns) inside = Move(area.row[i], row_shift, kMaxRows) && inside;
  }
  if (!inside) {
    out += kRefError;
    return;
  }
  for (int i = 0; i < ends; ++i) {
    if (i > 0) out += ':';
    if (area.kind != AreaKind::Rows) AppendColumn(out, area.col[i]);
    if (area.kind != AreaKind::Columns) AppendRow(out, area.row[i]);
  }
}

}  // namespace

std::string ShiftFormula(std::string_view english_formula, int row_shift, int col_shift) {
  if (row_shift == 0 && col_shift == 0) return std::string(english_formula);
  std::string out;
  out.reserve(english_formula.size() + 16);
  FormulaTokenizer tokenizer(english_formula);
  FormulaToken token;
  while (tokenizer.Next(token)) {
    if (token.kind != FormulaTokenKind::Reference) {
      out += token.text;
      continue;
    }
    out += token.text.substr(0, token.prefix);
    AppendShifted(out, token.text.substr(token.prefix), row_shift, col_shift);
  }
  return out;
}

}  // namespace brelix::xlsx
