#include "platform/locale.h"

#include <cstdlib>
#include <utility>

#include "platform/errors.h"
#include "platform/text.h"

namespace brelix::platform {

namespace {

// The spreadsheet's error words in English; every locale maps each of them.
const char* const kErrorWords[] = {"#NULL!", "#DIV/0!", "#VALUE!", "#REF!", "#NAME?", "#NUM!", "#N/A"};

// English -> German function names. Functions whose name is the same in both languages (MAX,
// MIN, INDEX, TEXT, ABS, MEDIAN, MINUTE, CODE, EXP, LN, LOG, LOG10, PI, SIN, COS, TAN, N, T,
// QUOTIENT, HYPERLINK, MAXA, MINA, DATEDIF, ...) are not listed.
const std::pair<const char*, const char*> kGermanFunctions[] = {
    // Sums, counts and statistics
    {"SUM", "SUMME"},
    {"SUMIF", "SUMMEWENN"},
    {"SUMIFS", "SUMMEWENNS"},
    {"SUMPRODUCT", "SUMMENPRODUKT"},
    {"SUMSQ", "QUADRATESUMME"},
    {"SUBTOTAL", "TEILERGEBNIS"},
    {"PRODUCT", "PRODUKT"},
    {"AVERAGE", "MITTELWERT"},
    {"AVERAGEA", "MITTELWERTA"},
    {"AVERAGEIF", "MITTELWERTWENN"},
    {"AVERAGEIFS", "MITTELWERTWENNS"},
    {"COUNT", "ANZAHL"},
    {"COUNTA", "ANZAHL2"},
    {"COUNTBLANK", "ANZAHLLEEREZELLEN"},
    {"COUNTIF", "ZÄHLENWENN"},
    {"COUNTIFS", "ZÄHLENWENNS"},
    {"MAXIFS", "MAXWENNS"},
    {"MINIFS", "MINWENNS"},
    {"LARGE", "KGRÖSSTE"},
    {"SMALL", "KKLEINSTE"},
    {"RANK", "RANG"},
    {"MODE", "MODALWERT"},
    {"STDEV", "STABW"},
    {"STDEVP", "STABWN"},
    {"VAR", "VARIANZ"},
    {"VARP", "VARIANZEN"},
    {"CORREL", "KORREL"},
    // Arithmetic and rounding
    {"ROUND", "RUNDEN"},
    {"ROUNDUP", "AUFRUNDEN"},
    {"ROUNDDOWN", "ABRUNDEN"},
    {"MROUND", "VRUNDEN"},
    {"INT", "GANZZAHL"},
    {"TRUNC", "KÜRZEN"},
    {"CEILING", "OBERGRENZE"},
    {"FLOOR", "UNTERGRENZE"},
    {"MOD", "REST"},
    {"SQRT", "WURZEL"},
    {"POWER", "POTENZ"},
    {"SIGN", "VORZEICHEN"},
    {"EVEN", "GERADE"},
    {"ODD", "UNGERADE"},
    {"GCD", "GGT"},
    {"LCM", "KGV"},
    {"FACT", "FAKULTÄT"},
    {"RAND", "ZUFALLSZAHL"},
    {"RANDBETWEEN", "ZUFALLSBEREICH"},
    {"RADIANS", "BOGENMASS"},
    {"DEGREES", "GRAD"},
    {"ROMAN", "RÖMISCH"},
    // Logic
    {"IF", "WENN"},
    {"IFS", "WENNS"},
    {"IFERROR", "WENNFEHLER"},
    {"IFNA", "WENNNV"},
    {"SWITCH", "ERSTERWERT"},
    {"AND", "UND"},
    {"OR", "ODER"},
    {"XOR", "XODER"},
    {"NOT", "NICHT"},
    {"TRUE", "WAHR"},
    {"FALSE", "FALSCH"},
    // Information
    {"ISBLANK", "ISTLEER"},
    {"ISERROR", "ISTFEHLER"},
    {"ISERR", "ISTFEHL"},
    {"ISNA", "ISTNV"},
    {"ISNUMBER", "ISTZAHL"},
    {"ISTEXT", "ISTTEXT"},
    {"ISLOGICAL", "ISTLOG"},
    {"ISEVEN", "ISTGERADE"},
    {"ISODD", "ISTUNGERADE"},
    {"NA", "NV"},
    {"TYPE", "TYP"},
    {"ERROR.TYPE", "FEHLER.TYP"},
    // Lookup and reference
    {"VLOOKUP", "SVERWEIS"},
    {"HLOOKUP", "WVERWEIS"},
    {"LOOKUP", "VERWEIS"},
    {"MATCH", "VERGLEICH"},
    {"CHOOSE", "WAHL"},
    {"OFFSET", "BEREICH.VERSCHIEBEN"},
    {"INDIRECT", "INDIREKT"},
    {"ADDRESS", "ADRESSE"},
    {"ROW", "ZEILE"},
    {"ROWS", "ZEILEN"},
    {"COLUMN", "SPALTE"},
    {"COLUMNS", "SPALTEN"},
    {"TRANSPOSE", "MTRANS"},
    // Date and time
    {"TODAY", "HEUTE"},
    {"NOW", "JETZT"},
    {"DATE", "DATUM"},
    {"TIME", "ZEIT"},
    {"YEAR", "JAHR"},
    {"MONTH", "MONAT"},
    {"DAY", "TAG"},
    {"DAYS", "TAGE"},
    {"HOUR", "STUNDE"},
    {"SECOND", "SEKUNDE"},
    {"WEEKDAY", "WOCHENTAG"},
    {"WEEKNUM", "KALENDERWOCHE"},
    {"ISOWEEKNUM", "ISOKALENDERWOCHE"},
    {"EOMONTH", "MONATSENDE"},
    {"EDATE", "EDATUM"},
    {"DATEVALUE", "DATWERT"},
    {"TIMEVALUE", "ZEITWERT"},
    {"NETWORKDAYS", "NETTOARBEITSTAGE"},
    {"WORKDAY", "ARBEITSTAG"},
    {"YEARFRAC", "BRTEILJAHRE"},
    // Text
    {"LEFT", "LINKS"},
    {"RIGHT", "RECHTS"},
    {"MID", "TEIL"},
    {"LEN", "LÄNGE"},
    {"CONCATENATE", "VERKETTEN"},
    {"CONCAT", "TEXTKETTE"},
    {"TEXTJOIN", "TEXTVERKETTEN"},
    {"VALUE", "WERT"},
    {"FIND", "FINDEN"},
    {"SEARCH", "SUCHEN"},
    {"REPLACE", "ERSETZEN"},
    {"SUBSTITUTE", "WECHSELN"},
    {"REPT", "WIEDERHOLEN"},
    {"UPPER", "GROSS"},
    {"LOWER", "KLEIN"},
    {"PROPER", "GROSS2"},
    {"TRIM", "GLÄTTEN"},
    {"CLEAN", "SÄUBERN"},
    {"EXACT", "IDENTISCH"},
    {"CHAR", "ZEICHEN"},
    {"FIXED", "FEST"},
    // Finance
    {"PMT", "RMZ"},
    {"PV", "BW"},
    {"FV", "ZW"},
    {"NPV", "NBW"},
    {"NPER", "ZZR"},
    {"RATE", "ZINS"},
    {"IRR", "IKV"},
};

const std::pair<const char*, const char*> kGermanErrorWords[] = {
    {"#NULL!", "#NULL!"}, {"#DIV/0!", "#DIV/0!"}, {"#VALUE!", "#WERT!"}, {"#REF!", "#BEZUG!"},
    {"#NAME?", "#NAME?"}, {"#NUM!", "#ZAHL!"},    {"#N/A", "#NV"},
};

// Native name (upper case) -> English name, for every locale, built beside the locales.
using ReverseNames = std::map<std::string, std::string, std::less<>>;

struct LocaleEntry {
  Locale locale;
  ReverseNames english_names;
};

LocaleEntry MakeEnglish() {
  LocaleEntry e;
  Locale& l = e.locale;
  l.tag = "en-US";
  l.decimal_separator = '.';
  l.thousand_separator = ',';
  l.list_separator = ',';
  l.short_date_format = "M/d/yyyy";
  l.time_format = "h:mm:ss AM/PM";
  l.true_word = "TRUE";
  l.false_word = "FALSE";
  for (const char* word : kErrorWords) l.error_words[word] = word;
  return e;
}

LocaleEntry MakeGerman() {
  LocaleEntry e;
  Locale& l = e.locale;
  l.tag = "de-DE";
  l.decimal_separator = ',';
  l.thousand_separator = '.';
  l.list_separator = ';';
  l.short_date_format = "dd.MM.yyyy";
  l.time_format = "HH:mm:ss";
  l.true_word = "WAHR";
  l.false_word = "FALSCH";
  for (const auto& [english, native] : kGermanFunctions) {
    l.function_names[english] = native;
    e.english_names[UpperCase(native)] = english;
  }
  for (const auto& [english, native] : kGermanErrorWords) l.error_words[english] = native;
  return e;
}

const LocaleEntry& English() {
  static const LocaleEntry entry = MakeEnglish();
  return entry;
}

const LocaleEntry& German() {
  static const LocaleEntry entry = MakeGerman();
  return entry;
}

const LocaleEntry* EntryOf(const Locale& locale) {
  if (&locale == &English().locale) return &English();
  if (&locale == &German().locale) return &German();
  return nullptr;
}

// The language and region of a POSIX or BCP 47 tag: "de_DE.UTF-8@euro" -> "de-DE".
std::string NormalizeTag(std::string_view tag) {
  const std::size_t end = tag.find_first_of(".@");
  std::string name(tag.substr(0, end));
  for (char& c : name)
    if (c == '_') c = '-';
  return name;
}

const Locale* TryFindLocale(std::string_view tag) {
  const std::string name = NormalizeTag(tag);
  if (name == "C" || name == "POSIX") return &English().locale;
  for (const LocaleEntry* entry : {&English(), &German()}) {
    const std::string& full = entry->locale.tag;
    if (SameText(name, full) || SameText(name, std::string_view(full).substr(0, full.find('-'))))
      return &entry->locale;
  }
  return nullptr;
}

const Locale* current_locale = nullptr;

}  // namespace

std::string Locale::NativeFunctionName(std::string_view english) const {
  if (function_names.empty()) return std::string(english);
  auto it = function_names.find(UpperCase(english));
  return it == function_names.end() ? std::string(english) : it->second;
}

std::string Locale::EnglishFunctionName(std::string_view native) const {
  if (function_names.empty()) return std::string(native);
  const std::string key = UpperCase(native);
  if (const LocaleEntry* entry = EntryOf(*this)) {
    auto it = entry->english_names.find(key);
    return it == entry->english_names.end() ? std::string(native) : it->second;
  }
  // A locale built by the host: search its table.
  for (const auto& [english, name] : function_names)
    if (UpperCase(name) == key) return english;
  return std::string(native);
}

const Locale& FindLocale(std::string_view tag) {
  if (const Locale* locale = TryFindLocale(tag)) return *locale;
  std::string supported;
  for (const std::string& t : SupportedLocales()) supported += (supported.empty() ? "" : ", ") + t;
  throw Exception("Unsupported locale '" + std::string(tag) + "'; supported locales: " + supported);
}

std::vector<std::string> SupportedLocales() { return {English().locale.tag, German().locale.tag}; }

const Locale& LocaleFromEnvironment() {
  for (const char* variable : {"LC_ALL", "LANG"}) {
    const char* value = std::getenv(variable);
    if (!value || !*value) continue;
    if (const Locale* locale = TryFindLocale(value)) return *locale;
  }
  return English().locale;
}

const Locale& CurrentLocale() { return current_locale ? *current_locale : English().locale; }

void SetCurrentLocale(std::string_view tag) { current_locale = &FindLocale(tag); }

}  // namespace brelix::platform
