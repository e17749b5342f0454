#pragma once
// Formula texts: a tokenizer, the translation between the English notation the files store and
// the notation the user types in their language, and the moving of relative references when a
// formula is copied to another cell.
//
// The two notations:
//   English (files)  SUM(A1,A2)*1.5    IF(A1>0,TRUE,FALSE)    #VALUE!    {1,2;3,4}
//   de-DE (typed)    SUMME(A1;A2)*1,5  WENN(A1>0;WAHR;FALSCH) #WERT!     {1.2;3.4}
// Numbers use the locale's decimal separator and never a thousands separator; function
// arguments (and the union operator) are separated by the locale's list separator.
// Array constants separate rows by ";" in every language and columns by "," - except where ","
// is the decimal separator, where columns are separated by "." (de-DE {1,5.2;3.4} is English
// {1.5,2;3,4}).

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/errors.h"
#include "platform/locale.h"

namespace brelix::xlsx {

//! A formula text that cannot be read: an unterminated string, sheet name or bracket, or a
//! character that would change its meaning in the other notation. The text names the formula
//! and the position (0-based) of the fault.
class EFormulaError : public platform::Exception {
 public:
  using platform::Exception::Exception;
};

enum class FormulaTokenKind : unsigned char {
  Number,      //!< 12, 1.5, .5, 1.5E+3 (in the notation's decimal separator)
  String,      //!< "text" with "" for a quote, quotes included
  //! A1, $A$1, A1:B2, A:C, $1:$3, optionally after a sheet prefix: Sheet1!, 'My Sheet'!,
  //! [1]Sheet1! (kept as written), Jan:Dec!
  Reference,
  Function,    //!< a name directly followed by "(" (the "(" is the next token)
  Name,        //!< any other name: defined names, table references Table1[Column], Sheet1!Name
  Boolean,     //!< TRUE/FALSE or the locale's words, any case
  Error,       //!< #VALUE! etc. or the locale's words, any case, optionally after a sheet prefix
  Operator,    //!< + - * / ^ & = <> <= >= < > % : ! @ # and every other single character
  Open,        //!< (
  Close,       //!< )
  Separator,   //!< the list separator outside array constants
  ArrayOpen,   //!< {
  ArrayClose,  //!< }
  ArrayColumnSeparator,
  ArrayRowSeparator,
  Whitespace,  //!< a run of blanks, tabs and line breaks
};

struct FormulaToken {
  FormulaTokenKind kind = FormulaTokenKind::Operator;
  std::string_view text;  //!< a view into the formula
  //! Reference, Name and Error: the length of the sheet prefix at the start of text, "!"
  //! included; 0 without one.
  std::size_t prefix = 0;
};

//! Splits a formula into tokens without allocating; the tokens' texts put together give the
//! formula again. A leading "=" is an Operator token.
class FormulaTokenizer {
 public:
  //! Reads the English notation of the files (no locale) or the notation the user of the locale
  //! types. The formula and the locale must outlive the tokenizer.
  explicit FormulaTokenizer(std::string_view formula, const platform::Locale* locale = nullptr);
  //! The next token; false at the end. Throws EFormulaError for an unterminated string, quoted
  //! sheet name or bracket.
  bool Next(FormulaToken& token);

 private:
  bool ScanPrefixed(std::size_t start, FormulaToken& token);
  std::size_t EndOfWord(std::size_t pos) const;
  std::size_t EndOfErrorWord(std::size_t pos) const;
  bool Emit(FormulaToken& token, FormulaTokenKind kind, std::size_t start, std::size_t end,
            std::size_t prefix = 0);
  [[noreturn]] void Fail(std::size_t pos, const char* what) const;

  std::string_view formula_;
  const platform::Locale* locale_;
  std::size_t pos_ = 0;
  int array_depth_ = 0;
  char decimal_separator_;
  char list_separator_;
  char array_column_separator_;
};

//! All tokens of a formula; see FormulaTokenizer.
std::vector<FormulaToken> TokenizeFormula(std::string_view formula, const platform::Locale* locale = nullptr);

//! The formula the user typed in their language in the English notation of the files: function
//! names (only names followed by "("), separators, decimal separators in numbers, booleans and
//! error words translated, everything else (strings, sheet names, references, other names,
//! blanks) as written. A leading "=" stays as given. Names and words are recognised without
//! regard to case and written as the other language spells them; in a language whose notation
//! is the English one the text comes back as it is (once it has been read). Throws EFormulaError for an unreadable
//! formula or a character that has no place in the target notation (de-DE "1.5").
std::string LocalToEnglish(std::string_view local_formula, const platform::Locale& locale);
//! The reverse of LocalToEnglish: an English formula as the user of the locale reads it.
std::string EnglishToLocal(std::string_view english_formula, const platform::Locale& locale);

//! The English formula as copy and paste writes it row_shift rows below and col_shift columns
//! right of its cell: the relative parts of every reference (also of ranges, whole columns and
//! rows, and references into other sheets) move, parts with "$" stay. A reference that would
//! leave the sheet (rows 1..1048576, columns 1..16384) becomes #REF!, after its sheet prefix if
//! it has one (Sheet2!#REF!). Strings, names and functions are not touched; moved references
//! are written in upper case. Throws EFormulaError as the tokenizer does; with both shifts 0
//! the formula comes back as it is.
std::string ShiftFormula(std::string_view english_formula, int row_shift, int col_shift);

}  // namespace brelix::xlsx
