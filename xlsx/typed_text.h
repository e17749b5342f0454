#pragma once
// A text as a user types it into a cell, classified the way the spreadsheet does: a formula, a
// number, a date or time, a boolean or plain text.

#include <string>
#include <string_view>

#include "platform/locale.h"

namespace brelix::xlsx {

enum class TypedKind { Empty, Number, Boolean, Text, Formula };

//! The number format a typed number asks for.
enum class FormatHint { None, Percent, Date, Time, DateTime };

struct TypedValue {
  TypedKind kind = TypedKind::Empty;
  double number = 0;     //!< Number: the value; dates and times as serial days
  bool boolean = false;  //!< Boolean: the value
  std::string text;      //!< Text: the text; Formula: the formula in English, without "="
  FormatHint format = FormatHint::None;
};

//! Classifies a typed text in the user's language:
//! - "" is Empty;
//! - "=" followed by anything is a Formula, translated by LocalToEnglish (which throws
//!   EFormulaError for a formula it cannot read); "=" alone is Text;
//! - a leading apostrophe makes the rest Text ("'007" is the text "007");
//! - numbers: a sign, digits with the locale's decimal separator, thousands separators only
//!   between groups of three digits before it, an exponent, and an optional "%" that divides by
//!   100 and hints Percent ("-1.234,5E3" and "12,5%" in de-DE). A separator in any other place
//!   makes the text Text: "12,5" and "1,2345" are Text in en-US, "12.5" is Text in de-DE;
//! - the locale's boolean words, in any case, are Boolean;
//! - dates in ISO form "2026-12-11" or the locale's short date form ("12/11/2026" in en-US,
//!   "11.12.2026" in de-DE; the day and month with one or two digits, the year with four, or
//!   two meaning 1930..2029), each optionally followed by blanks (or "T" after ISO) and a time;
//!   times "14:30" or "14:30:15", optionally with "AM"/"PM". These give the serial as Number
//!   with the hint Date, Time or DateTime. Dates must exist and lie in the years 1900..9999,
//!   hours 0..23 (1..12 with AM/PM), minutes and seconds 0..59;
//! - everything else is Text, as written.
//! Blanks around numbers, dates and booleans are ignored.
TypedValue ParseTypedText(std::string_view text, const platform::Locale& locale);

}  // namespace brelix::xlsx
