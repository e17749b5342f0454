#pragma once
// Variants: the values that travel between datasets, events and cells.

#include <cstdint>
#include <string>
#include <variant>

#include "platform/locale.h"

namespace brelix::platform {

//! The calendar fields of a DateTime (proleptic Gregorian calendar), seconds rounded.
struct DateTimeParts {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0;
  friend bool operator==(const DateTimeParts&, const DateTimeParts&) = default;
};

//! A date and time as days since 1899-12-30 (the fraction is the time of day), as spreadsheets
//! count serial dates. Before that day the fraction still counts forward from midnight:
//! -1.25 is 1899-12-29 06:00.
struct DateTime {
  double serial = 0;
  friend bool operator==(const DateTime&, const DateTime&) = default;
  //! Months and days out of range carry over as in the spreadsheet's DATE function
  //! (month 13 of 2024 is January 2025, day 0 is the last day of the month before).
  static DateTime FromDate(int year, int month, int day);
  static DateTime FromDateTime(int year, int month, int day, int hour, int minute, double second);
  //! The calendar fields; the time rounded to whole seconds (which may carry into the next day).
  //! Serials that are not finite or lie more than 1E+8 days away give the default fields, and
  //! Variant::ToString shows them as numbers.
  DateTimeParts Decode() const;
};

class Variant {
 public:
  struct Empty {
    friend bool operator==(Empty, Empty) { return true; }
  };
  struct Null {
    friend bool operator==(Null, Null) { return true; }
  };
  enum class Type { Empty, Null, Boolean, Integer, Float, String, DateTime };

  Variant() = default;
  Variant(bool v) : value_(v) {}
  Variant(int v) : value_(std::int64_t{v}) {}
  Variant(std::int64_t v) : value_(v) {}
  Variant(double v) : value_(v) {}
  Variant(std::string v) : value_(std::move(v)) {}
  Variant(const char* v) : value_(std::string(v)) {}
  Variant(DateTime v) : value_(v) {}
  static Variant MakeNull() { Variant v; v.value_ = Null{}; return v; }

  Type type() const { return static_cast<Type>(value_.index()); }
  bool IsEmpty() const { return type() == Type::Empty; }
  bool IsNull() const { return type() == Type::Null; }

  //! The text form in the locale: integers in decimal, floats in the general format with up to
  //! 15 significant digits and the locale's decimal separator, booleans "True"/"False", dates in
  //! the short date form, followed by a blank and the time as 24-hour "HH:mm:ss" when the time
  //! (rounded to seconds) is not midnight ("12/31/2026 15:04:05", "31.12.2026 09:30:00");
  //! empty and null give "".
  std::string ToString(const Locale& locale = CurrentLocale()) const;
  //! The numeric value: empty and null give 0, booleans 1 or 0, dates their serial; a text is
  //! read as a number in the locale: blanks around it, a sign, digits with the locale's decimal
  //! separator (no thousands separators) and an exponent ("-1,5E3" in de-DE). An unreadable
  //! text throws EConvertError naming it.
  double ToDouble(const Locale& locale = CurrentLocale()) const;
  //! Typed access; throws EConvertError when the variant holds another type.
  bool AsBoolean() const;
  std::int64_t AsInteger() const;
  double AsFloat() const;
  const std::string& AsString() const;
  DateTime AsDateTime() const;

  friend bool operator==(const Variant&, const Variant&) = default;

 private:
  std::variant<Empty, Null, bool, std::int64_t, double, std::string, DateTime> value_;
};

//! A float in the general format: up to 15 significant digits, no trailing zeros, the locale's
//! decimal separator, exponent form only for very large or small magnitudes: from 1E+15 up and
//! below 1E-04 ("1E+20", "1E-07"). Infinities and NaN give "INF", "-INF" and "NAN".
std::string FormatFloat(double value, const Locale& locale = CurrentLocale());

}  // namespace brelix::platform
