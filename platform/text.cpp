#include "platform/text.h"

#include <unicode/locid.h>
#include <unicode/stringpiece.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace brelix::platform {

namespace {

bool IsAscii(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

icu::UnicodeString ToUnicode(std::string_view s) {
  // Invalid UTF-8 sequences become U+FFFD.
  return icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())));
}

std::string ToUtf8(const icu::UnicodeString& s) {
  std::string out;
  s.toUTF8String(out);
  return out;
}

// Full case folding, compared in code point order; ASCII texts fold their letters to lower
// case, as the Unicode folding does, so both paths order texts the same way.
int FoldedCompare(std::string_view a, std::string_view b) {
  if (IsAscii(a) && IsAscii(b)) {
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
      const auto ca = static_cast<unsigned char>(AsciiLower(a[i]));
      const auto cb = static_cast<unsigned char>(AsciiLower(b[i]));
      if (ca != cb) return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
  }
  return ToUnicode(a).caseCompare(ToUnicode(b), U_FOLD_CASE_DEFAULT | U_COMPARE_CODE_POINT_ORDER);
}

}  // namespace

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() == b.size()) {
    bool ascii = true;
    for (std::size_t i = 0; i < a.size(); ++i) {
      const char ca = a[i], cb = b[i];
      if (static_cast<unsigned char>(ca) >= 0x80 || static_cast<unsigned char>(cb) >= 0x80) {
        ascii = false;
        break;
      }
      if (AsciiLower(ca) != AsciiLower(cb)) return false;
    }
    if (ascii) return true;
  } else {
    // Leading ASCII letters that differ decide at once, whatever follows.
    if (!a.empty() && !b.empty() && static_cast<unsigned char>(a[0]) < 0x80 && static_cast<unsigned char>(b[0]) < 0x80 &&
        AsciiLower(a[0]) != AsciiLower(b[0]))
      return false;
    if (IsAscii(a) && IsAscii(b)) return false;
  }
  // Texts of different byte lengths can still be equal once folded ("ß" and "ss").
  return FoldedCompare(a, b) == 0;
}

int CompareText(std::string_view a, std::string_view b) {
  const int result = FoldedCompare(a, b);
  return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

std::string UpperCase(std::string_view s) {
  if (IsAscii(s)) {
    std::string out(s);
    for (char& c : out) c = AsciiUpper(c);
    return out;
  }
  return ToUtf8(ToUnicode(s).toUpper(icu::Locale::getRoot()));
}

std::string LowerCase(std::string_view s) {
  if (IsAscii(s)) {
    std::string out(s);
    for (char& c : out) c = AsciiLower(c);
    return out;
  }
  return ToUtf8(ToUnicode(s).toLower(icu::Locale::getRoot()));
}

std::string Trim(std::string_view s) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  std::size_t begin = 0, end = s.size();
  while (begin < end && blank(s[begin])) ++begin;
  while (end > begin && blank(s[end - 1])) --end;
  return std::string(s.substr(begin, end - begin));
}

bool StartsWith(std::string_view s, std::string_view prefix) { return s.starts_with(prefix); }

bool IsIdentifier(std::string_view s) {
  if (s.empty() || !(IsAsciiLetter(s[0]) || s[0] == '_')) return false;
  for (char c : s.substr(1))
    if (!(IsAsciiLetter(c) || IsAsciiDigit(c) || c == '_')) return false;
  return true;
}

void AppendUtf8(std::string& out, char32_t code_point) {
  char32_t cp = code_point;
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace brelix::platform
