#pragma once
// The user's language: separators, date form and the spreadsheet's native function names.
// The host chooses it (the command line by --locale or LC_ALL/LANG); en-US is the default.

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace brelix::platform {

struct Locale {
  std::string tag;                 //!< "en-US", "de-DE"
  char decimal_separator = '.';    //!< "," in de-DE
  char thousand_separator = ',';   //!< "." in de-DE
  char list_separator = ',';       //!< ";" in de-DE: separates function arguments in local formulas
  std::string short_date_format;   //!< "M/d/yyyy" in en-US, "dd.MM.yyyy" in de-DE
  std::string time_format;         //!< "h:mm:ss AM/PM" style pattern in en-US, "HH:mm:ss" in de-DE
  //! English function name (upper case) -> native name, e.g. "SUM" -> "SUMME". Names missing
  //! here are the same in both languages.
  std::map<std::string, std::string, std::less<>> function_names;
  std::string true_word = "TRUE";  //!< "WAHR" in de-DE
  std::string false_word = "FALSE";  //!< "FALSCH" in de-DE
  //! English error word -> native word, e.g. "#DIV/0!" stays, "#VALUE!" -> "#WERT!".
  std::map<std::string, std::string, std::less<>> error_words;

  //! The native name of an English function name (case-insensitive); the name itself when the
  //! language keeps it.
  std::string NativeFunctionName(std::string_view english) const;
  //! The English name of a native function name (case-insensitive); the name itself when unknown.
  std::string EnglishFunctionName(std::string_view native) const;
};

//! The locale of a tag such as "de-DE", "de_DE.UTF-8" or "de" (case-insensitive; "C" and
//! "POSIX" give en-US); throws Exception naming the tag and the supported ones when it is not
//! supported.
const Locale& FindLocale(std::string_view tag);
//! Every supported tag, in a stable order.
std::vector<std::string> SupportedLocales();
//! The locale taken from LC_ALL, then LANG; en-US when neither names a supported one.
const Locale& LocaleFromEnvironment();

//! The user's language of this process (en-US until the host sets another).
const Locale& CurrentLocale();
//! Makes the locale of the tag the user's language; throws as FindLocale does.
void SetCurrentLocale(std::string_view tag);

}  // namespace brelix::platform
