#include "xlsx/typed_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "xlsx/formula.h"

namespace brelix::xlsx {
namespace {

using platform::FindLocale;

constexpr double kDec11 = 46367;  // 2026-12-11
constexpr double k1430 = 14.5 / 24;
constexpr double k143015 = (14 * 3600 + 30 * 60 + 15) / 86400.0;

struct NumberCase {
  const char* locale;
  const char* text;
  double number;
  FormatHint format;
};

TEST(TypedTextTest, Numbers) {
  const NumberCase cases[] = {
      {"en-US", "42", 42, FormatHint::None},
      {"en-US", " -1.5 ", -1.5, FormatHint::None},
      {"en-US", "+.5", 0.5, FormatHint::None},
      {"en-US", "5.", 5, FormatHint::None},
      {"en-US", "-0", 0, FormatHint::None},
      {"en-US", "007", 7, FormatHint::None},
      {"en-US", "1.5e3", 1500, FormatHint::None},
      {"en-US", "2E-2", 0.02, FormatHint::None},
      {"en-US", "1,234", 1234, FormatHint::None},
      {"en-US", "-1,234,567.25", -1234567.25, FormatHint::None},
      {"en-US", "12.5%", 0.125, FormatHint::Percent},
      {"en-US", "1,000 %", 10, FormatHint::Percent},
      {"de-DE", "1,5", 1.5, FormatHint::None},
      {"de-DE", "1,5E3", 1500, FormatHint::None},
      {"de-DE", ",25", 0.25, FormatHint::None},
      {"de-DE", "-1.234,5", -1234.5, FormatHint::None},
      {"de-DE", "1.234", 1234, FormatHint::None},
      {"de-DE", "12,5%", 0.125, FormatHint::Percent},
      {"de-DE", "123456789012345678901234567890", 1.2345678901234568e29, FormatHint::None},
      // Dates and times.
      {"en-US", "2026-12-11", kDec11, FormatHint::Date},
      {"de-DE", "2026-12-11", kDec11, FormatHint::Date},
      {"en-US", "12/11/2026", kDec11, FormatHint::Date},
      {"en-US", "1/2/2026", 46024, FormatHint::Date},
      {"de-DE", "11.12.2026", kDec11, FormatHint::Date},
      {"de-DE", "11.12.26", kDec11, FormatHint::Date},
      {"de-DE", "1.1.30", 10959, FormatHint::Date},  // 1930-01-01
      {"de-DE", "29.02.2024", 45351, FormatHint::Date},
      {"en-US", "14:30", k1430, FormatHint::Time},
      {"de-DE", "14:30:15", k143015, FormatHint::Time},
      {"en-US", "2:30 PM", k1430, FormatHint::Time},
      {"en-US", "12:00 am", 0, FormatHint::Time},
      {"en-US", "12:30PM", 12.5 / 24, FormatHint::Time},
      {"en-US", "2026-12-11 14:30", kDec11 + k1430, FormatHint::DateTime},
      {"en-US", "2026-12-11T14:30:15", kDec11 + k143015, FormatHint::DateTime},
      {"en-US", "12/11/2026 2:30 PM", kDec11 + k1430, FormatHint::DateTime},
      {"de-DE", "11.12.2026  14:30:15", kDec11 + k143015, FormatHint::DateTime},
  };
  for (const NumberCase& c : cases) {
    const TypedValue v = ParseTypedText(c.text, FindLocale(c.locale));
    EXPECT_EQ(v.kind, TypedKind::Number) << c.locale << " " << c.text << " -> " << v.text;
    EXPECT_DOUBLE_EQ(v.number, c.number) << c.locale << " " << c.text;
    EXPECT_EQ(v.format, c.format) << c.locale << " " << c.text;
  }
  EXPECT_FALSE(std::signbit(ParseTypedText("-0", FindLocale("en-US")).number));
}

TEST(TypedTextTest, TextsThatAlmostLookLikeValues) {
  struct Case {
    const char* locale;
    const char* text;
  };
  const Case cases[] = {
      // A thousands separator out of place: "12,5" is no number in en-US, "12.5" none in de-DE.
      {"en-US", "12,5"}, {"en-US", "1,2345"}, {"en-US", "1234,567"}, {"en-US", ",5"}, {"en-US", "1,"},
      {"en-US", "1,234,56"}, {"en-US", "1.2.3"}, {"de-DE", "12.5"}, {"de-DE", "1.2.3"}, {"de-DE", "1.234.5"},
      {"en-US", "1e"}, {"en-US", "E5"}, {"en-US", "1e+"}, {"en-US", "1E400"}, {"en-US", "--5"},
      {"en-US", "5-"}, {"en-US", "1 2"}, {"en-US", "%"}, {"en-US", "-"}, {"en-US", "12%%"},
      {"en-US", "Inf"}, {"en-US", "nan"}, {"en-US", "0x10"}, {"en-US", "   "}, {"en-US", "Customer no. 12"},
      // Dates that do not exist or are written in the other locale's form.
      {"de-DE", "31.02.2026"}, {"de-DE", "29.02.2023"}, {"en-US", "2026-13-01"}, {"en-US", "2026-00-10"},
      {"en-US", "1899-12-31"}, {"en-US", "11.12.2026"}, {"de-DE", "12/11/2026"}, {"en-US", "12/11/202"},
      {"en-US", "12/11"}, {"en-US", "12/11/2026 25:00"}, {"en-US", "2026-12-11 14"}, {"en-US", "2026-12-11X14:30"},
      {"de-DE", "11.12.2026T14:30"},
      // Times out of range.
      {"en-US", "24:00"}, {"en-US", "14:60"}, {"en-US", "14:30:60"}, {"en-US", "13:00 PM"}, {"en-US", "0:30 AM"},
      {"en-US", "14:30 XM"}, {"en-US", "123:00"}, {"en-US", "14:"},
      // Booleans of the other language.
      {"de-DE", "TRUE"}, {"en-US", "WAHR"}, {"en-US", "TRUE1"},
  };
  for (const Case& c : cases) {
    const TypedValue v = ParseTypedText(c.text, FindLocale(c.locale));
    EXPECT_EQ(v.kind, TypedKind::Text) << c.locale << " " << c.text << " -> " << v.number;
    EXPECT_EQ(v.text, c.text) << c.locale;
    EXPECT_EQ(v.format, FormatHint::None) << c.locale << " " << c.text;
  }
}

TEST(TypedTextTest, FormulasBooleansApostropheEmpty) {
  struct Case {
    const char* locale;
    const char* text;
    TypedKind kind;
    const char* value;  // text or formula; "1"/"0" for booleans
  };
  const Case cases[] = {
      {"de-DE", "=SUMME(A1;A2)*1,5", TypedKind::Formula, "SUM(A1,A2)*1.5"},
      {"de-DE", "=WENN(A1>0;WAHR;\"a;b\")", TypedKind::Formula, "IF(A1>0,TRUE,\"a;b\")"},
      {"en-US", "=sum(A1,A2)", TypedKind::Formula, "sum(A1,A2)"},
      {"en-US", "==A1", TypedKind::Formula, "=A1"},
      {"en-US", "=", TypedKind::Text, "="},
      {"en-US", " =A1", TypedKind::Text, " =A1"},
      {"en-US", "'007", TypedKind::Text, "007"},
      {"de-DE", "'=SUMME(A1)", TypedKind::Text, "=SUMME(A1)"},
      {"en-US", "'", TypedKind::Text, ""},
      {"en-US", "''", TypedKind::Text, "'"},
      {"en-US", "TRUE", TypedKind::Boolean, "1"},
      {"en-US", " false ", TypedKind::Boolean, "0"},
      {"de-DE", "wahr", TypedKind::Boolean, "1"},
      {"de-DE", "Falsch", TypedKind::Boolean, "0"},
      {"en-US", "", TypedKind::Empty, ""},
      {"en-US", "Hello, world", TypedKind::Text, "Hello, world"},
      {"de-DE", " Straße 1 ", TypedKind::Text, " Straße 1 "},
  };
  for (const Case& c : cases) {
    const TypedValue v = ParseTypedText(c.text, FindLocale(c.locale));
    EXPECT_EQ(v.kind, c.kind) << c.locale << " " << c.text;
    if (c.kind == TypedKind::Boolean) {
      EXPECT_EQ(v.boolean, std::string(c.value) == "1") << c.text;
    } else {
      EXPECT_EQ(v.text, c.value) << c.text;
    }
  }
}

TEST(TypedTextTest, UnreadableFormulaThrows) {
  EXPECT_THROW(ParseTypedText("=SUMME(\"abc", FindLocale("de-DE")), EFormulaError);
  EXPECT_THROW(ParseTypedText("=SUMME(1.5)", FindLocale("de-DE")), EFormulaError);
}

}  // namespace
}  // namespace brelix::xlsx
