#pragma once
// Variants: the values that travel between datasets, events and cells.

#include <cstdint>
#include <string>
#include <variant>

#include "platform/locale.h"

namespace brelix::platform {

//! A date and time as days since 1899-12-30 (the fraction is the time of day), as spreadsheets
//! count serial dates.
struct DateTime {
  double serial = 0;
  friend bool operator==(const DateTime&, const DateTime&) = default;
  static DateTime FromDate(int year, int month, int day);
  static DateTime FromDateTime(int year, int month, int day, int hour, int minute, double second);
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
  //! the short date form (with the time when it is not midnight); empty and null give "".
  std::string ToString(const Locale& locale = CurrentLocale()) const;
  //! The numeric value: empty and null give 0; a text is read as a number in the locale (an
  //! unreadable text throws EConvertError naming it).
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
//! decimal separator, exponent form only for very large or small magnitudes ("1E+20").
std::string FormatFloat(double value, const Locale& locale = CurrentLocale());

}  // namespace brelix::platform
