#include "platform/locale.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <set>
#include <string>

#include "platform/errors.h"
#include "platform/text.h"
#include "tests/support/scoped_env.h"

namespace brelix::platform {
namespace {

using brelix::testing::ScopedEnv;


TEST(LocaleTest, FindLocaleAcceptsTagForms) {
  struct Case {
    const char* tag;
    const char* found;
  };
  const Case cases[] = {
      {"de-DE", "de-DE"}, {"de_DE", "de-DE"},       {"de_DE.UTF-8", "de-DE"}, {"de_DE@euro", "de-DE"},
      {"DE-de", "de-DE"}, {"de", "de-DE"},          {"en", "en-US"},          {"en-US", "en-US"},
      {"en_US.UTF-8", "en-US"}, {"C", "en-US"},     {"POSIX", "en-US"},       {"C.UTF-8", "en-US"},
  };
  for (const Case& c : cases) EXPECT_EQ(FindLocale(c.tag).tag, c.found) << c.tag;
}

TEST(LocaleTest, UnknownTagNamesTagAndSupportedOnes) {
  for (const char* tag : {"", "fr-FR", "xx", "de-AT", "german"}) {
    try {
      FindLocale(tag);
      ADD_FAILURE() << "no error for '" << tag << "'";
    } catch (const Exception& e) {
      const std::string message = e.Message();
      EXPECT_NE(message.find("'" + std::string(tag) + "'"), std::string::npos) << message;
      EXPECT_NE(message.find("en-US"), std::string::npos) << message;
      EXPECT_NE(message.find("de-DE"), std::string::npos) << message;
    }
  }
}

TEST(LocaleTest, SeparatorsAndWords) {
  const Locale& en = FindLocale("en-US");
  const Locale& de = FindLocale("de-DE");
  EXPECT_EQ(std::string() + en.decimal_separator + en.thousand_separator + en.list_separator, ".,,");
  EXPECT_EQ(std::string() + de.decimal_separator + de.thousand_separator + de.list_separator, ",.;");
  EXPECT_EQ(en.short_date_format, "M/d/yyyy");
  EXPECT_EQ(de.short_date_format, "dd.MM.yyyy");
  EXPECT_EQ(en.true_word + "/" + en.false_word, "TRUE/FALSE");
  EXPECT_EQ(de.true_word + "/" + de.false_word, "WAHR/FALSCH");

  const std::pair<const char*, const char*> errors[] = {
      {"#VALUE!", "#WERT!"}, {"#REF!", "#BEZUG!"}, {"#NAME?", "#NAME?"}, {"#NUM!", "#ZAHL!"},
      {"#N/A", "#NV"},       {"#DIV/0!", "#DIV/0!"}, {"#NULL!", "#NULL!"},
  };
  for (const auto& [english, german] : errors) {
    EXPECT_EQ(de.error_words.at(english), german);
    EXPECT_EQ(en.error_words.at(english), english);
  }
  EXPECT_EQ(de.error_words.size(), std::size(errors));
}

TEST(LocaleTest, FunctionNamesBothWaysIgnoringCase) {
  const Locale& de = FindLocale("de-DE");
  struct Case {
    const char* english;
    const char* native;
  };
  const Case cases[] = {
      {"SUM", "SUMME"},         {"COUNTA", "ANZAHL2"},      {"COUNTIF", "ZÄHLENWENN"},
      {"VLOOKUP", "SVERWEIS"},  {"LEN", "LÄNGE"},           {"TRIM", "GLÄTTEN"},
      {"IFERROR", "WENNFEHLER"}, {"SUBTOTAL", "TEILERGEBNIS"}, {"INT", "GANZZAHL"},
      {"MATCH", "VERGLEICH"},   {"TRUE", "WAHR"},           {"STDEV", "STABW"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(de.NativeFunctionName(c.english), c.native);
    EXPECT_EQ(de.NativeFunctionName(LowerCase(c.english)), c.native);
    EXPECT_EQ(de.EnglishFunctionName(c.native), c.english);
    EXPECT_EQ(de.EnglishFunctionName(LowerCase(c.native)), c.english);
  }
  // Names the language keeps, and unknown ones, come back as given.
  for (const char* same : {"MAX", "min", "Index", "MEDIAN", "NoSuchFunction"}) {
    EXPECT_EQ(de.NativeFunctionName(same), same);
    EXPECT_EQ(de.EnglishFunctionName(same), same);
  }
  EXPECT_EQ(FindLocale("en-US").NativeFunctionName("Sum"), "Sum");
}

// A formula translated to German and back must give the English text again, so no native
// name may stand for two functions or be the English name of another one.
TEST(LocaleTest, FunctionNameTableTranslatesBackUniquely) {
  const Locale& de = FindLocale("de-DE");
  EXPECT_GE(de.function_names.size(), 80u);
  std::set<std::string> natives;
  for (const auto& [english, native] : de.function_names) {
    EXPECT_EQ(english, UpperCase(english));
    EXPECT_EQ(native, UpperCase(native));
    EXPECT_NE(english, native) << "same names are not listed";
    EXPECT_TRUE(natives.insert(native).second) << native << " is listed twice";
    EXPECT_EQ(de.function_names.count(native), 0u) << native << " is also an English name";
    EXPECT_EQ(de.EnglishFunctionName(native), english);
  }
}

TEST(LocaleTest, LocaleFromEnvironment) {
  struct Case {
    const char* lc_all;
    const char* lang;
    const char* found;
  };
  const Case cases[] = {
      {nullptr, nullptr, "en-US"},      {nullptr, "de_DE.UTF-8", "de-DE"}, {"de_DE", "en_US", "de-DE"},
      {"C", "de_DE.UTF-8", "en-US"},    {"", "de_DE", "de-DE"},            {"fr_FR", "de_DE", "de-DE"},
      {"fr_FR.UTF-8", nullptr, "en-US"},
  };
  for (const Case& c : cases) {
    ScopedEnv lc_all("LC_ALL", c.lc_all);
    ScopedEnv lang("LANG", c.lang);
    EXPECT_EQ(LocaleFromEnvironment().tag, c.found)
        << (c.lc_all ? c.lc_all : "-") << " / " << (c.lang ? c.lang : "-");
  }
}

TEST(LocaleTest, CurrentLocaleChangesOnlyOnSupportedTags) {
  const std::string before = CurrentLocale().tag;
  SetCurrentLocale("de_DE.UTF-8");
  EXPECT_EQ(CurrentLocale().tag, "de-DE");
  EXPECT_THROW(SetCurrentLocale("fr-FR"), Exception);
  EXPECT_EQ(CurrentLocale().tag, "de-DE");
  SetCurrentLocale(before);
  EXPECT_EQ(CurrentLocale().tag, before);
}

}  // namespace
}  // namespace brelix::platform
