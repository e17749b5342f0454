#include "platform/variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "platform/errors.h"

namespace brelix::platform {
namespace {

const Locale& En() { return FindLocale("en-US"); }
const Locale& De() { return FindLocale("de-DE"); }

TEST(VariantTest, FormatFloatInBothLocales) {
  struct Case {
    double value;
    const char* en;
    const char* de;
  };
  const Case cases[] = {
      {0.0, "0", "0"},
      {-0.0, "0", "0"},
      {12.5, "12.5", "12,5"},
      {-1234.5, "-1234.5", "-1234,5"},
      {0.1 + 0.2, "0.3", "0,3"},
      {1.0 / 3, "0.333333333333333", "0,333333333333333"},
      {2.0 / 3, "0.666666666666667", "0,666666666666667"},
      {100.0, "100", "100"},
      {123456789012345.6, "123456789012346", "123456789012346"},
      {1e15, "1E+15", "1E+15"},
      {1e20, "1E+20", "1E+20"},
      {-2.5e-7, "-2.5E-07", "-2,5E-07"},
      {1e-7, "1E-07", "1E-07"},
      {0.0001, "0.0001", "0,0001"},
      {std::numeric_limits<double>::infinity(), "INF", "INF"},
      {-std::numeric_limits<double>::infinity(), "-INF", "-INF"},
      {std::nan(""), "NAN", "NAN"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatFloat(c.value, En()), c.en);
    EXPECT_EQ(FormatFloat(c.value, De()), c.de);
  }
}

TEST(VariantTest, DateSerials) {
  struct Case {
    DateTime date;
    double serial;
  };
  const Case cases[] = {
      {DateTime::FromDate(1899, 12, 30), 0},
      {DateTime::FromDate(1900, 1, 1), 2},
      {DateTime::FromDate(1900, 3, 1), 61},
      {DateTime::FromDate(2000, 2, 29), 36585},
      {DateTime::FromDate(2026, 12, 31), 46387},
      {DateTime::FromDate(1800, 1, 1), -36522},
      {DateTime::FromDate(2024, 13, 1), 45658},   // January 2025
      {DateTime::FromDate(2024, 3, 0), 45351},    // February 29th
      {DateTime::FromDate(2025, -1, 1), 45597},   // November 2024
      {DateTime::FromDateTime(2026, 12, 31, 12, 0, 0), 46387.5},
      {DateTime::FromDateTime(2026, 12, 31, 18, 0, 0), 46387.75},
      {DateTime::FromDateTime(1899, 12, 29, 6, 0, 0), -1.25},
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(c.date.serial, c.serial);
}

TEST(VariantTest, DecodeIsTheInverseOfFromDateTime) {
  const DateTimeParts parts[] = {
      {1899, 12, 30, 0, 0, 0}, {1900, 2, 28, 23, 59, 59}, {2000, 2, 29, 12, 30, 1},
      {2026, 12, 31, 15, 4, 5}, {1800, 1, 1, 6, 0, 0},     {1600, 3, 1, 0, 0, 1},
  };
  for (const DateTimeParts& p : parts) {
    const DateTime dt = DateTime::FromDateTime(p.year, p.month, p.day, p.hour, p.minute, p.second);
    EXPECT_EQ(dt.Decode(), p) << dt.serial;
  }
  // Half a second before midnight rounds into the next day.
  EXPECT_EQ(DateTime::FromDateTime(2026, 12, 31, 23, 59, 59.6).Decode(), (DateTimeParts{2027, 1, 1, 0, 0, 0}));
}

TEST(VariantTest, ToStringInBothLocales) {
  struct Case {
    Variant value;
    const char* en;
    const char* de;
  };
  const Case cases[] = {
      {Variant(), "", ""},
      {Variant::MakeNull(), "", ""},
      {Variant(true), "True", "True"},
      {Variant(false), "False", "False"},
      {Variant(-42), "-42", "-42"},
      {Variant(std::int64_t{9007199254740993}), "9007199254740993", "9007199254740993"},
      {Variant(12.5), "12.5", "12,5"},
      {Variant("1.5 text"), "1.5 text", "1.5 text"},
      {Variant(DateTime::FromDate(2026, 12, 31)), "12/31/2026", "31.12.2026"},
      {Variant(DateTime::FromDate(2026, 1, 5)), "1/5/2026", "05.01.2026"},
      {Variant(DateTime::FromDateTime(2026, 12, 31, 15, 4, 5)), "12/31/2026 15:04:05", "31.12.2026 15:04:05"},
      {Variant(DateTime::FromDateTime(2026, 3, 7, 9, 30, 0)), "3/7/2026 09:30:00", "07.03.2026 09:30:00"},
      {Variant(DateTime::FromDateTime(2026, 3, 7, 0, 0, 0.2)), "3/7/2026", "07.03.2026"},
      {Variant(DateTime{1e300}), "1E+300", "1E+300"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.value.ToString(En()), c.en);
    EXPECT_EQ(c.value.ToString(De()), c.de);
  }
}

TEST(VariantTest, ToStringUsesCurrentLocaleByDefault) {
  const std::string before = CurrentLocale().tag;
  SetCurrentLocale("de-DE");
  EXPECT_EQ(Variant(0.5).ToString(), "0,5");
  EXPECT_DOUBLE_EQ(Variant("0,5").ToDouble(), 0.5);
  SetCurrentLocale(before);
}

TEST(VariantTest, ToDoubleReadsNumbersInTheLocale) {
  struct Case {
    Variant value;
    double en;  // NAN: not readable in that locale
    double de;
  };
  const double bad = std::nan("");
  const Case cases[] = {
      {Variant(), 0, 0},
      {Variant::MakeNull(), 0, 0},
      {Variant(true), 1, 1},
      {Variant(7), 7, 7},
      {Variant(2.25), 2.25, 2.25},
      {Variant(DateTime{46387.5}), 46387.5, 46387.5},
      {Variant("12.5"), 12.5, bad},
      {Variant("12,5"), bad, 12.5},
      {Variant(" -1e3\t"), -1000, -1000},
      {Variant("+.5"), 0.5, bad},
      {Variant("5."), 5, bad},
      {Variant("-1,5E-2"), bad, -0.015},
      {Variant("1,234.5"), bad, bad},  // no thousands separators
      {Variant(""), bad, bad},
      {Variant("abc"), bad, bad},
      {Variant("1e"), bad, bad},
      {Variant("--1"), bad, bad},
      {Variant("."), bad, bad},
      {Variant("inf"), bad, bad},
      {Variant("nan"), bad, bad},
      {Variant("0x10"), bad, bad},
      {Variant("1e999"), bad, bad},
  };
  for (const Case& c : cases) {
    for (const auto& [locale, expected] : {std::pair{&En(), c.en}, std::pair{&De(), c.de}}) {
      const std::string shown = c.value.ToString(*locale) + " in " + locale->tag;
      if (std::isnan(expected)) {
        try {
          c.value.ToDouble(*locale);
          ADD_FAILURE() << "no error for " << shown;
        } catch (const EConvertError& e) {
          EXPECT_NE(std::string(e.Message()).find("'" + c.value.AsString() + "'"), std::string::npos) << e.Message();
        }
      } else {
        EXPECT_DOUBLE_EQ(c.value.ToDouble(*locale), expected) << shown;
      }
    }
  }
}

TEST(VariantTest, TypedAccessorsRefuseOtherTypes) {
  const Variant values[] = {Variant(), Variant::MakeNull(), Variant(true), Variant(3),
                            Variant(1.5), Variant("x"), Variant(DateTime{2})};
  for (const Variant& v : values) {
    const auto t = v.type();
    if (t == Variant::Type::Boolean) EXPECT_TRUE(v.AsBoolean()); else EXPECT_THROW(v.AsBoolean(), EConvertError);
    if (t == Variant::Type::Integer) EXPECT_EQ(v.AsInteger(), 3); else EXPECT_THROW(v.AsInteger(), EConvertError);
    if (t == Variant::Type::Float) EXPECT_EQ(v.AsFloat(), 1.5); else EXPECT_THROW(v.AsFloat(), EConvertError);
    if (t == Variant::Type::String) EXPECT_EQ(v.AsString(), "x"); else EXPECT_THROW(v.AsString(), EConvertError);
    if (t == Variant::Type::DateTime) EXPECT_EQ(v.AsDateTime(), DateTime{2});
    else EXPECT_THROW(v.AsDateTime(), EConvertError);
  }
}

}  // namespace
}  // namespace brelix::platform
