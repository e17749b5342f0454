#include "platform/variant.h"

#include <charconv>
#include <cmath>
#include <system_error>

#include "platform/errors.h"
#include "platform/text.h"

namespace brelix::platform {

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;
// Days from 1970-01-01 back to the serial epoch 1899-12-30.
constexpr std::int64_t kSerialEpoch = -25569;
// Serials beyond this (some 270,000 years) are not shown as dates.
constexpr double kMaxSerial = 1e8;

bool InDateRange(double serial) { return std::isfinite(serial) && std::fabs(serial) <= kMaxSerial; }

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar; month 1..12, the day
// may lie outside the month and carries over.
std::int64_t DaysFromCivil(std::int64_t year, int month, std::int64_t day) {
  year -= month <= 2;
  const std::int64_t era = FloorDiv(year, 400);
  const std::int64_t yoe = year - era * 400;
  const std::int64_t doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 + (day - 1);
}

void CivilFromDays(std::int64_t days, DateTimeParts& parts) {
  const std::int64_t z = days + 719468;
  const std::int64_t era = FloorDiv(z, 146097);
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  parts.year = static_cast<int>(yoe + era * 400 + (month <= 2));
  parts.month = month;
  parts.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
}

std::int64_t SerialDays(int year, int month, int day) {
  const std::int64_t m0 = std::int64_t{month} - 1;
  const std::int64_t y = year + FloorDiv(m0, 12);
  const int m = static_cast<int>(m0 - FloorDiv(m0, 12) * 12) + 1;
  return DaysFromCivil(y, m, day) - kSerialEpoch;
}

void AppendNumber(std::string& out, int value, int width) {
  std::string digits = std::to_string(value < 0 ? -value : value);
  if (value < 0) out += '-';
  if (static_cast<int>(digits.size()) < width) out.append(width - digits.size(), '0');
  out += digits;
}

// The date in a short date pattern: runs of d, M and y are the day, month and year ("d" and
// "M" without, "dd" and "MM" with a leading zero, "yy" two digits, otherwise the full year);
// every other character is copied.
std::string FormatDate(const DateTimeParts& parts, std::string_view pattern) {
  std::string out;
  for (std::size_t i = 0; i < pattern.size();) {
    const char c = pattern[i];
    std::size_t run = 1;
    while (i + run < pattern.size() && pattern[i + run] == c) ++run;
    if (c == 'd') {
      AppendNumber(out, parts.day, run >= 2 ? 2 : 1);
    } else if (c == 'M') {
      AppendNumber(out, parts.month, run >= 2 ? 2 : 1);
    } else if (c == 'y') {
      if (run == 2) {
        AppendNumber(out, ((parts.year % 100) + 100) % 100, 2);
      } else {
        AppendNumber(out, parts.year, 4);
      }
    } else {
      out.append(run, c);
    }
    i += run;
  }
  return out;
}

const char* TypeName(Variant::Type type) {
  switch (type) {
    case Variant::Type::Empty: return "Empty";
    case Variant::Type::Null: return "Null";
    case Variant::Type::Boolean: return "Boolean";
    case Variant::Type::Integer: return "Integer";
    case Variant::Type::Float: return "Float";
    case Variant::Type::String: return "String";
    case Variant::Type::DateTime: return "DateTime";
  }
  return "?";
}

[[noreturn]] void WrongType(Variant::Type held, Variant::Type wanted) {
  throw EConvertError(std::string("Variant of type ") + TypeName(held) + " is not a " + TypeName(wanted));
}

[[noreturn]] void NotANumber(std::string_view text) {
  throw EConvertError("'" + std::string(text) + "' is not a valid floating point value");
}

// Reads a number written with the locale's decimal separator; see Variant::ToDouble.
double ParseNumber(std::string_view text, const Locale& locale) {
  const std::string trimmed = Trim(text);
  std::string plain;  // the number as from_chars reads it
  std::size_t i = 0;
  auto digits = [&] {
    const std::size_t start = i;
    while (i < trimmed.size() && trimmed[i] >= '0' && trimmed[i] <= '9') plain += trimmed[i++];
    return i - start;
  };
  if (i < trimmed.size() && (trimmed[i] == '+' || trimmed[i] == '-')) {
    if (trimmed[i] == '-') plain += '-';
    ++i;
  }
  std::size_t mantissa = digits();
  if (i < trimmed.size() && trimmed[i] == locale.decimal_separator) {
    plain += '.';
    ++i;
    mantissa += digits();
  }
  if (mantissa == 0) NotANumber(text);
  if (i < trimmed.size() && (trimmed[i] == 'e' || trimmed[i] == 'E')) {
    plain += 'e';
    ++i;
    if (i < trimmed.size() && (trimmed[i] == '+' || trimmed[i] == '-')) plain += trimmed[i++];
    if (digits() == 0) NotANumber(text);
  }
  if (i != trimmed.size()) NotANumber(text);
  double value = 0;
  const auto [end, error] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
  if (error != std::errc() || end != plain.data() + plain.size()) NotANumber(text);
  return value;
}

}  // namespace

DateTime DateTime::FromDate(int year, int month, int day) {
  return DateTime{static_cast<double>(SerialDays(year, month, day))};
}

DateTime DateTime::FromDateTime(int year, int month, int day, int hour, int minute, double second) {
  const auto days = static_cast<double>(SerialDays(year, month, day));
  const double time = (hour * 3600.0 + minute * 60.0 + second) / kSecondsPerDay;
  return DateTime{days < 0 ? days - time : days + time};
}

DateTimeParts DateTime::Decode() const {
  DateTimeParts parts;
  if (!InDateRange(serial)) return parts;
  const double whole = std::trunc(serial);
  auto days = static_cast<std::int64_t>(whole);
  auto seconds = std::llround(std::fabs(serial - whole) * kSecondsPerDay);
  if (seconds >= kSecondsPerDay) {
    seconds -= kSecondsPerDay;
    days += serial < 0 ? -1 : 1;
  }
  CivilFromDays(days + kSerialEpoch, parts);
  parts.hour = static_cast<int>(seconds / 3600);
  parts.minute = static_cast<int>(seconds / 60 % 60);
  parts.second = static_cast<int>(seconds % 60);
  return parts;
}

std::string Variant::ToString(const Locale& locale) const {
  switch (type()) {
    case Type::Empty:
    case Type::Null:
      return {};
    case Type::Boolean:
      return std::get<bool>(value_) ? "True" : "False";
    case Type::Integer:
      return std::to_string(std::get<std::int64_t>(value_));
    case Type::Float:
      return FormatFloat(std::get<double>(value_), locale);
    case Type::String:
      return std::get<std::string>(value_);
    case Type::DateTime: {
      const DateTime value = std::get<DateTime>(value_);
      if (!InDateRange(value.serial)) return FormatFloat(value.serial, locale);
      const DateTimeParts parts = value.Decode();
      std::string out = FormatDate(parts, locale.short_date_format);
      if (parts.hour != 0 || parts.minute != 0 || parts.second != 0) {
        out += ' ';
        AppendNumber(out, parts.hour, 2);
        out += ':';
        AppendNumber(out, parts.minute, 2);
        out += ':';
        AppendNumber(out, parts.second, 2);
      }
      return out;
    }
  }
  return {};
}

double Variant::ToDouble(const Locale& locale) const {
  switch (type()) {
    case Type::Empty:
    case Type::Null:
      return 0;
    case Type::Boolean:
      return std::get<bool>(value_) ? 1 : 0;
    case Type::Integer:
      return static_cast<double>(std::get<std::int64_t>(value_));
    case Type::Float:
      return std::get<double>(value_);
    case Type::String:
      return ParseNumber(std::get<std::string>(value_), locale);
    case Type::DateTime:
      return std::get<DateTime>(value_).serial;
  }
  return 0;
}

bool Variant::AsBoolean() const {
  if (type() != Type::Boolean) WrongType(type(), Type::Boolean);
  return std::get<bool>(value_);
}

std::int64_t Variant::AsInteger() const {
  if (type() != Type::Integer) WrongType(type(), Type::Integer);
  return std::get<std::int64_t>(value_);
}

double Variant::AsFloat() const {
  if (type() != Type::Float) WrongType(type(), Type::Float);
  return std::get<double>(value_);
}

const std::string& Variant::AsString() const {
  if (type() != Type::String) WrongType(type(), Type::String);
  return std::get<std::string>(value_);
}

DateTime Variant::AsDateTime() const {
  if (type() != Type::DateTime) WrongType(type(), Type::DateTime);
  return std::get<DateTime>(value_);
}

std::string FormatFloat(double value, const Locale& locale) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) return "0";  // also -0
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
  std::string out(buffer, result.ptr);
  for (char& c : out) {
    if (c == '.') c = locale.decimal_separator;
    else if (c == 'e') c = 'E';
  }
  return out;
}

}  // namespace brelix::platform
