#pragma once
// A dataset over a CSV file: TCsvDataSet in form files.
//
// The file is UTF-8 (a leading byte order mark is skipped) and is read record by record as the
// dataset moves forward, never as a whole; Prior works through the dataset's window of recent
// records. Its first record names the columns: names are trimmed, must not be empty and must
// differ without regard to case.
//
// Records follow RFC 4180: cells are separated by Delimiter, records end at CRLF, LF or a lone
// CR. A cell that starts with a double quote is quoted: it ends at the next lone quote, "" in it
// stands for one quote, and delimiters and line breaks inside it are part of the text (every line
// break in a quoted cell becomes LF). Only the delimiter, a line break or the end of the file may
// follow the closing quote. A quote inside an unquoted cell is kept as it is. Empty lines are
// skipped; every other record needs exactly as many cells as the header.
//
// Without declared types every column is a String. ColumnTypes declares some or all of them:
//
//     ColumnTypes = 'id:Integer; amount:Float; day:Date; name:String'
//
// entries "column:Type" separated by ";", blanks around names allowed, column names as in the
// header (without regard to case) and types without regard to case, one of
//   String    the text as it is in the cell
//   Integer   optional sign and digits: "-42"
//   Float     optional sign, digits with "." as the decimal point whatever the user's language,
//             optional exponent: "1234.5", "-1.5e3" (Currency is read the same way)
//   Boolean   true, false, 1 or 0 (without regard to case)
//   Date      "YYYY-MM-DD", optionally followed by a blank or "T" and a time as below
//   DateTime  the same as Date
//   Time      "HH:MM" or "HH:MM:SS", seconds optionally with a fraction (".250")
// Blanks around a typed value are ignored. An empty cell is null in every column, and so is a cell
// of blanks in a typed one.
//
// Errors raise EDatabaseError "<dataset>: <file>:<line>: <what>", the file as FileName names it:
// a cell that does not read as its column's type (naming the column and the text), a record with
// the wrong number of cells, invalid UTF-8, an unclosed quote, a bad header. A file that cannot be
// opened is named by its full path.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/dataset.h"

namespace brelix::data {

class TCsvDataSet : public platform::DataSet {
  BRELIX_PERSISTENT_CLASS
 public:
  TCsvDataSet();
  ~TCsvDataSet() override;

  //! The file; a relative name is resolved against the program's folder when the dataset opens.
  const std::string& FileName() const { return file_name_; }
  void SetFileName(const std::string& file_name);
  //! The cell separator, ',' by default: any ASCII character but a double quote, CR or LF.
  char Delimiter() const { return delimiter_; }
  void SetDelimiter(char delimiter);
  //! Declared column types (see above); checked when set, the column names when the dataset
  //! opens.
  const std::string& ColumnTypes() const { return column_types_; }
  void SetColumnTypes(const std::string& column_types);

  //! The file the dataset reads: FileName resolved against the program's folder.
  std::filesystem::path FullFileName() const;

  // Changing a property closes the dataset.

 protected:
  std::vector<Column> DoOpen() override;
  bool DoFetch(std::vector<platform::Variant>& row) override;
  void DoClose() override;

 private:
  struct Declared {
    std::string column;
    platform::FieldType type;
  };
  class Reader;

  //! Reads the declarations of text; a malformed one raises EDatabaseError.
  std::vector<Declared> ParseColumnTypes(const std::string& text) const;
  platform::Variant CellValue(std::size_t column, const std::string& text, int line) const;
  [[noreturn]] void FailAt(int line, const std::string& text) const;

  std::string file_name_;
  char delimiter_ = ',';
  std::string column_types_;
  std::vector<Declared> declared_;
  std::unique_ptr<Reader> reader_;
  std::vector<Column> columns_;  //!< of the open file
  std::vector<std::string> cells_;
  std::vector<int> cell_lines_;
  std::string error_;  //!< what stopped reading the open file, raised again on the next fetch
};

}  // namespace brelix::data
