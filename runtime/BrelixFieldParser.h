#pragma once
// The cell-text grammar: a template cell's text split into literal pieces and field
// expressions (#Field, #Data.Field, #'Name with blanks', #SUM(Field) ...), and the result text
// assembled once the fields have values.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/errors.h"

namespace brelix {

//! A cell text that the grammar cannot read; carries the message text.
class EBrelixFieldParserError : public platform::Exception {
 public:
  using platform::Exception::Exception;
};

enum TBrelixFieldFunc : std::uint8_t { ffNone = 0, ffSum = 1, ffAvg = 2, ffMax = 3, ffMin = 4, ffCnt = 5 };

//! "SUM", "AVG", "MAX", "MIN", "COUNT"; "" for ffNone.
const char* BrelixFieldFuncName(TBrelixFieldFunc func);

class TBrelixFieldParser {
 public:
  explicit TBrelixFieldParser(char field_sign) : field_sign_(field_sign) {}
  virtual ~TBrelixFieldParser() = default;
  TBrelixFieldParser(const TBrelixFieldParser&) = default;
  TBrelixFieldParser& operator=(const TBrelixFieldParser&) = default;

  //! Copies sign, fields, functions, texts, values and the text of another parser.
  void Assign(const TBrelixFieldParser& source) { *this = source; }

  char FieldSign() const { return field_sign_; }
  const std::string& FieldString() const { return field_string_; }
  //! Stores and parses a cell text; raises EBrelixFieldParserError for a text the grammar
  //! cannot read (the lists then hold what was found before the fault).
  virtual void SetFieldString(std::string_view text);

  int Count() const { return static_cast<int>(fields_.size()); }
  const std::string& Fields(int index) const { return fields_.at(static_cast<std::size_t>(index)); }
  TBrelixFieldFunc Funcs(int index) const { return funcs_.at(static_cast<std::size_t>(index)); }
  void SetFunc(int index, TBrelixFieldFunc func) { funcs_.at(static_cast<std::size_t>(index)) = func; }
  //! The literal piece before field index (index 0 .. Count; piece Count follows the last field).
  const std::string& Texts(int index) const { return texts_.at(static_cast<std::size_t>(index)); }
  int TextCount() const { return static_cast<int>(texts_.size()); }

  //! The value text of a field: what SetValue stored.
  virtual std::string GetValue(int index);
  virtual void SetValue(int index, std::string value);

  //! Texts[0], then each field's value followed by the next piece.
  virtual std::string GetResultString();

 protected:
  void AddText(std::string_view text) { texts_.emplace_back(text); }
  //! Splits a field expression into function and field name and appends both.
  void AddFunc(std::string_view expr);

 private:
  //! Length of the unquoted field expression at the start of s (0: none).
  static std::size_t UnquotedRun(std::string_view s);

  char field_sign_;
  std::vector<std::string> fields_;
  std::string field_string_;
  std::vector<TBrelixFieldFunc> funcs_;
  std::vector<std::string> texts_;
  std::vector<std::string> values_;
};

}  // namespace brelix
