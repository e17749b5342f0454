#include "xlsx/typed_text.h"

#include <charconv>
#include <system_error>

#include "platform/text.h"
#include "platform/variant.h"
#include "xlsx/formula.h"

namespace brelix::xlsx {

namespace {

using platform::Locale;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// A number as the header describes it; false when the text is not one.
bool ParseNumber(std::string_view s, const Locale& locale, double& value, bool& percent) {
  const std::size_t n = s.size();
  // The number as from_chars reads it; never longer than the text.
  char small[64];
  std::string large;
  char* plain = small;
  if (n > sizeof small) {
    large.resize(n);
    plain = large.data();
  }
  std::size_t out = 0;
  std::size_t i = 0;
  if (s[i] == '+' || s[i] == '-') {
    if (s[i] == '-') plain[out++] = '-';
    ++i;
  }
  std::size_t digits = 0;
  std::size_t run = 0;  // digits since the last thousands separator
  bool grouped = false;
  for (; i < n; ++i) {
    if (IsDigit(s[i])) {
      plain[out++] = s[i];
      ++run;
      ++digits;
      continue;
    }
    if (s[i] != locale.thousand_separator) break;
    if (run == 0 || run > 3 || (grouped && run != 3)) return false;
    grouped = true;
    run = 0;
  }
  if (grouped && run != 3) return false;
  if (i < n && s[i] == locale.decimal_separator) {
    plain[out++] = '.';
    for (++i; i < n && IsDigit(s[i]); ++i) {
      plain[out++] = s[i];
      ++digits;
    }
  }
  if (digits == 0) return false;
  if (i < n && (s[i] == 'e' || s[i] == 'E')) {
    plain[out++] = 'e';
    ++i;
    if (i < n && (s[i] == '+' || s[i] == '-')) plain[out++] = s[i++];
    if (i == n || !IsDigit(s[i])) return false;
    while (i < n && IsDigit(s[i])) plain[out++] = s[i++];
  }
  std::size_t mark = i;
  while (mark < n && s[mark] == ' ') ++mark;
  percent = mark < n && s[mark] == '%';
  if (percent) i = mark + 1;
  if (i != n) return false;
  const auto result = std::from_chars(plain, plain + out, value);
  if (result.ec != std::errc() || result.ptr != plain + out) return false;  // out of range
  if (percent) value /= 100;
  if (value == 0) value = 0;  // no negative zero
  return true;
}

// Reads min..max digits at i; false when there are fewer or more.
bool ReadNumber(std::string_view s, std::size_t& i, std::size_t min, std::size_t max, int& value) {
  std::size_t count = 0;
  value = 0;
  for (; i < s.size() && IsDigit(s[i]); ++i) {
    if (++count > max) return false;
    value = value * 10 + (s[i] - '0');
  }
  return count >= min;
}

// "14:30", "14:30:15", "2:30 PM" as the whole text; the fraction of the day.
bool ParseTime(std::string_view s, double& fraction) {
  std::size_t i = 0;
  int hour = 0, minute = 0, second = 0;
  if (!ReadNumber(s, i, 1, 2, hour) || i == s.size() || s[i] != ':') return false;
  if (!ReadNumber(s, ++i, 1, 2, minute)) return false;
  if (i < s.size() && s[i] == ':' && !ReadNumber(s, ++i, 1, 2, second)) return false;
  while (i < s.size() && s[i] == ' ') ++i;
  if (i < s.size()) {
    if (s.size() - i != 2 || UpperAscii(s[i + 1]) != 'M') return false;
    const char half = UpperAscii(s[i]);
    if ((half != 'A' && half != 'P') || hour < 1 || hour > 12) return false;
    hour = hour % 12 + (half == 'P' ? 12 : 0);
  }
  if (hour > 23 || minute > 59 || second > 59) return false;
  fraction = (hour * 3600 + minute * 60 + second) / 86400.0;
  return true;
}

struct Date {
  int year = 0, month = 0, day = 0;
};

bool IsValid(const Date& d) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (d.year < 1900 || d.year > 9999 || d.month < 1 || d.month > 12 || d.day < 1) return false;
  const bool leap = (d.year % 4 == 0 && d.year % 100 != 0) || d.year % 400 == 0;
  return d.day <= kDays[d.month - 1] + (d.month == 2 && leap);
}

// "2026-12-11" at the start; i is left after it.
bool ParseIsoDate(std::string_view s, std::size_t& i, Date& date) {
  return ReadNumber(s, i, 4, 4, date.year) && i < s.size() && s[i] == '-' && ReadNumber(s, ++i, 1, 2, date.month) &&
         i < s.size() && s[i] == '-' && ReadNumber(s, ++i, 1, 2, date.day);
}

// A date in the locale's short date pattern at the start: the order of its d, M and y runs and
// the separator between them; i is left after it.
bool ParseShortDate(std::string_view s, std::size_t& i, const Locale& locale, Date& date) {
  char order[3];
  int fields = 0;
  char separator = 0;
  char last = 0;
  for (char c : locale.short_date_format) {
    if (c == 'd' || c == 'M' || c == 'y') {
      if (c != last) {
        if (fields == 3) return false;
        order[fields++] = c;
      }
    } else if (!separator) {
      separator = c;
    }
    last = c;
  }
  if (fields != 3 || !separator) return false;
  for (int k = 0; k < 3; ++k) {
    if (k > 0 && (i == s.size() || s[i++] != separator)) return false;
    if (order[k] == 'y') {
      const std::size_t begin = i;
      if (!ReadNumber(s, i, 2, 4, date.year) || i - begin == 3) return false;
      if (i - begin == 2) date.year += date.year < 30 ? 2000 : 1900;
    } else if (!ReadNumber(s, i, 1, 2, order[k] == 'd' ? date.day : date.month)) {
      return false;
    }
  }
  return true;
}

// A date, a time or both as the whole text; the serial and the hint.
bool ParseDateTime(std::string_view s, const Locale& locale, double& serial, FormatHint& hint) {
  double fraction = 0;
  if (ParseTime(s, fraction)) {
    serial = fraction;
    hint = FormatHint::Time;
    return true;
  }
  Date date;
  std::size_t i = 0;
  bool iso = ParseIsoDate(s, i, date);
  if (!iso) {
    i = 0;
    date = {};
    if (!ParseShortDate(s, i, locale, date)) return false;
  }
  if (!IsValid(date)) return false;
  hint = FormatHint::Date;
  if (i < s.size()) {
    if (iso && s[i] == 'T') {
      ++i;
    } else if (s[i] == ' ') {
      while (i < s.size() && s[i] == ' ') ++i;
    } else {
      return false;
    }
    if (!ParseTime(s.substr(i), fraction)) return false;
    hint = FormatHint::DateTime;
  }
  serial = platform::DateTime::FromDate(date.year, date.month, date.day).serial + fraction;
  return true;
}

}  // namespace

TypedValue ParseTypedText(std::string_view text, const Locale& locale) {
  TypedValue value;
  if (text.empty()) return value;
  if (text[0] == '=' && text.size() > 1) {
    value.kind = TypedKind::Formula;
    value.text = LocalToEnglish(text.substr(1), locale);
    return value;
  }
  if (text[0] == '\'') {
    value.kind = TypedKind::Text;
    value.text = text.substr(1);
    return value;
  }
  const std::string_view trimmed = TrimBlanks(text);
  if (!trimmed.empty()) {
    const char c = trimmed[0];
    bool percent = false;
    if ((IsDigit(c) || c == '+' || c == '-' || c == locale.decimal_separator) &&
        ParseNumber(trimmed, locale, value.number, percent)) {
      value.kind = TypedKind::Number;
      value.format = percent ? FormatHint::Percent : FormatHint::None;
      return value;
    }
    if (IsDigit(c)) {
      if (ParseDateTime(trimmed, locale, value.number, value.format)) {
        value.kind = TypedKind::Number;
        return value;
      }
    } else if (const bool is_true = platform::SameText(trimmed, locale.true_word);
               is_true || platform::SameText(trimmed, locale.false_word)) {
      value.kind = TypedKind::Boolean;
      value.boolean = is_true;
      return value;
    }
  }
  value.number = 0;  // a failed reading may have left a part
  value.format = FormatHint::None;
  value.kind = TypedKind::Text;
  value.text = text;
  return value;
}

}  // namespace brelix::xlsx
