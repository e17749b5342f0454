#include "data/csv_dataset.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/files.h"
#include "platform/text.h"

namespace brelix::data {

using namespace platform;

namespace {

const bool kRegistered = RegisterClass(TCsvDataSet::StaticClass());

struct TypeName {
  const char* name;
  FieldType type;
};
constexpr TypeName kTypeNames[] = {
    {"String", FieldType::String},   {"Integer", FieldType::Integer}, {"Float", FieldType::Float},
    {"Currency", FieldType::Currency}, {"Boolean", FieldType::Boolean}, {"Date", FieldType::Date},
    {"Time", FieldType::Time},       {"DateTime", FieldType::DateTime},
};

std::string KnownTypes() {
  std::string text;
  for (std::size_t i = 0; i < std::size(kTypeNames); ++i) {
    if (i > 0) text += i + 1 == std::size(kTypeNames) ? " and " : ", ";
    text += kTypeNames[i].name;
  }
  return text;
}

// ---------------------------------------------------------------------------------------------
// Cell values. The file's forms are fixed (ISO dates, "." as the decimal point), never those of
// the user's language.

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// n digits at s[at..]; their value, or -1.
int Digits(std::string_view s, std::size_t at, std::size_t n) {
  if (at + n > s.size()) return -1;
  int value = 0;
  for (std::size_t i = at; i < at + n; ++i) {
    if (!IsDigit(s[i])) return -1;
    value = value * 10 + (s[i] - '0');
  }
  return value;
}

// A leading "+" goes; false when it is followed by another sign.
bool DropPlus(std::string_view& s) {
  if (s.empty() || s[0] != '+') return true;
  s.remove_prefix(1);
  return s.empty() || s[0] != '-';
}

std::optional<Variant> ParseInteger(std::string_view s) {
  if (!DropPlus(s)) return std::nullopt;
  std::size_t digits_at = !s.empty() && s[0] == '-' ? 1 : 0;
  if (digits_at == s.size()) return std::nullopt;
  for (std::size_t i = digits_at; i < s.size(); ++i)
    if (!IsDigit(s[i])) return std::nullopt;
  std::int64_t value = 0;
  auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (error != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return Variant(value);
}

std::optional<Variant> ParseFloat(std::string_view s) {
  if (!DropPlus(s)) return std::nullopt;
  // sign, digits with an optional point (at least one digit), an optional exponent
  std::size_t i = !s.empty() && s[0] == '-' ? 1 : 0;
  std::size_t digits = 0;
  while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && IsDigit(s[i])) ++i, ++digits;
  }
  if (digits == 0) return std::nullopt;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t exponent_digits = 0;
    while (i < s.size() && IsDigit(s[i])) ++i, ++exponent_digits;
    if (exponent_digits == 0) return std::nullopt;
  }
  if (i != s.size()) return std::nullopt;
  double value = 0;
  auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (error != std::errc() || end != s.data() + s.size() || !std::isfinite(value)) return std::nullopt;
  return Variant(value);
}

std::optional<Variant> ParseBoolean(std::string_view s) {
  if (s == "1" || SameText(s, "true")) return Variant(true);
  if (s == "0" || SameText(s, "false")) return Variant(false);
  return std::nullopt;
}

// "HH:MM[:SS[.fraction]]" from s[at..] to its end.
bool ParseClock(std::string_view s, std::size_t at, int& hour, int& minute, double& second) {
  hour = Digits(s, at, 2);
  minute = Digits(s, at + 3, 2);
  if (hour < 0 || minute < 0 || s[at + 2] != ':' || hour > 23 || minute > 59) return false;
  second = 0;
  std::size_t i = at + 5;
  if (i == s.size()) return true;
  int whole = Digits(s, i + 1, 2);
  if (s[i] != ':' || whole < 0 || whole > 59) return false;
  second = whole;
  i += 3;
  if (i == s.size()) return true;
  if (s[i] != '.' || i + 1 == s.size()) return false;
  double scale = 0.1;
  for (++i; i < s.size(); ++i, scale /= 10) {
    if (!IsDigit(s[i])) return false;
    second += (s[i] - '0') * scale;
  }
  return true;
}

std::optional<Variant> ParseTime(std::string_view s) {
  int hour, minute;
  double second;
  if (!ParseClock(s, 0, hour, minute, second)) return std::nullopt;
  return Variant(DateTime::FromDateTime(1899, 12, 30, hour, minute, second));
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

std::optional<Variant> ParseDateTime(std::string_view s) {
  const int year = Digits(s, 0, 4), month = Digits(s, 5, 2), day = Digits(s, 8, 2);
  if (year < 0 || month < 1 || month > 12 || day < 1 || s[4] != '-' || s[7] != '-') return std::nullopt;
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (day > kDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0)) return std::nullopt;
  if (s.size() == 10) return Variant(DateTime::FromDate(year, month, day));
  int hour, minute;
  double second;
  if ((s[10] != ' ' && s[10] != 'T') || !ParseClock(s, 11, hour, minute, second)) return std::nullopt;
  return Variant(DateTime::FromDateTime(year, month, day, hour, minute, second));
}

// What a cell of the type must look like, for messages.
std::string Expected(FieldType type) {
  switch (type) {
    case FieldType::Integer: return "an Integer (a whole number such as -42)";
    case FieldType::Float: return "a Float (a number with '.' as the decimal point, such as 1234.5)";
    case FieldType::Currency: return "a Currency (a number with '.' as the decimal point, such as 1234.5)";
    case FieldType::Boolean: return "a Boolean (true, false, 1 or 0)";
    case FieldType::Date: return "a Date (YYYY-MM-DD, optionally followed by HH:MM or HH:MM:SS)";
    case FieldType::DateTime: return "a DateTime (YYYY-MM-DD, optionally followed by HH:MM or HH:MM:SS)";
    case FieldType::Time: return "a Time (HH:MM or HH:MM:SS)";
    default: return std::string("a ") + FieldTypeName(type);
  }
}

// The cell text for a message: at most about 60 bytes, cut between UTF-8 characters.
std::string Shown(const std::string& text) {
  constexpr std::size_t kMax = 60;
  if (text.size() <= kMax) return text;
  std::size_t cut = kMax;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return text.substr(0, cut) + "...";
}

std::string Cells(std::size_t n) { return std::to_string(n) + (n == 1 ? " cell" : " cells"); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// The record reader: buffered, forward only, checking UTF-8 as the bytes go by.

class TCsvDataSet::Reader {
 public:
  //! Takes over file, an open stream of path.
  Reader(const TCsvDataSet& owner, std::FILE* file, std::filesystem::path path, char delimiter)
      : owner_(owner), file_(file), path_(std::move(path)), delimiter_(delimiter), buffer_(64 * 1024) {
    Fill();
    if (end_ >= 3 && std::memcmp(buffer_.data(), "\xEF\xBB\xBF", 3) == 0) pos_ = 3;
  }

  //! The line the last record read starts on.
  int RecordLine() const { return record_line_; }

  //! The next record that is not an empty line, each cell with the line it starts on; false at
  //! the end of the file.
  bool Next(std::vector<std::string>& cells, std::vector<int>& lines) {
    cells.clear();
    lines.clear();
    int c;
    while ((c = Peek()) == '\r' || c == '\n') LineBreak();
    if (c < 0) return false;
    record_line_ = line_;
    for (;;) {
      std::string& cell = cells.emplace_back();
      lines.push_back(line_);
      if (Peek() == '"') {
        Get();
        const int open_line = line_;
        for (;;) {
          c = Peek();
          if (c < 0) owner_.FailAt(open_line, "the quoted cell " + std::to_string(cells.size()) + " is not closed");
          if (c == '"') {
            Get();
            if (Peek() != '"') break;
            Get();
            cell += '"';
          } else if (c == '\r' || c == '\n') {
            LineBreak();
            cell += '\n';
          } else {
            cell += static_cast<char>(Get());
          }
        }
        c = Peek();
        if (c >= 0 && c != delimiter_ && c != '\r' && c != '\n')
          owner_.FailAt(line_, "text after the closing quote of cell " + std::to_string(cells.size()) +
                                   " (a quote inside a quoted cell is written as \"\")");
      } else {
        while ((c = Peek()) >= 0 && c != delimiter_ && c != '\r' && c != '\n') cell += static_cast<char>(Get());
      }
      if (c == delimiter_) {
        Get();
        continue;
      }
      if (c >= 0) LineBreak();
      return true;
    }
  }

 private:
  int Peek() {
    if (pos_ == end_ && !Fill()) {
      if (pending_ > 0) owner_.FailAt(line_, "invalid UTF-8 at the end of the file");
      return -1;
    }
    return static_cast<unsigned char>(buffer_[pos_]);
  }

  //! Consumes the next byte (there is one: Peek said so), checking that it continues valid UTF-8.
  int Get() {
    const auto b = static_cast<unsigned char>(buffer_[pos_++]);
    if (pending_ > 0) {
      if (b < low_ || b > high_) InvalidUtf8(lead_, " starts an invalid sequence");
      low_ = 0x80;
      high_ = 0xBF;
      --pending_;
    } else if (b >= 0x80) {
      lead_ = b;
      low_ = 0x80;
      high_ = 0xBF;
      if (b >= 0xC2 && b <= 0xDF) {
        pending_ = 1;
      } else if (b >= 0xE0 && b <= 0xEF) {
        pending_ = 2;
        if (b == 0xE0) low_ = 0xA0;   // no overlong forms
        if (b == 0xED) high_ = 0x9F;  // no surrogates
      } else if (b >= 0xF0 && b <= 0xF4) {
        pending_ = 3;
        if (b == 0xF0) low_ = 0x90;
        if (b == 0xF4) high_ = 0x8F;  // nothing past U+10FFFF
      } else {
        InvalidUtf8(b, "");
      }
    }
    return b;
  }

  [[noreturn]] void InvalidUtf8(unsigned char b, const char* what) const {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", b);
    owner_.FailAt(line_, std::string("invalid UTF-8 (byte ") + text + what + "); the file must be saved as UTF-8");
  }

  //! Consumes CR LF, LF or CR.
  void LineBreak() {
    if (Get() == '\r' && Peek() == '\n') Get();
    ++line_;
  }

  bool Fill() {
    pos_ = 0;
    end_ = std::fread(buffer_.data(), 1, buffer_.size(), file_.get());
    if (end_ == 0 && std::ferror(file_.get()))
      owner_.Fail("cannot read \"" + path_.string() + "\": " + std::strerror(errno));
    return end_ > 0;
  }

  struct CloseFile {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };

  const TCsvDataSet& owner_;
  std::unique_ptr<std::FILE, CloseFile> file_;
  std::filesystem::path path_;
  char delimiter_;
  std::vector<char> buffer_;
  std::size_t pos_ = 0, end_ = 0;
  int line_ = 1;
  int record_line_ = 1;
  int pending_ = 0;  // continuation bytes still due
  unsigned char lead_ = 0;  // the first byte of the sequence they continue
  unsigned char low_ = 0x80, high_ = 0xBF;  // the range of the next continuation byte
};

// ---------------------------------------------------------------------------------------------
// TCsvDataSet

const ClassInfo& TCsvDataSet::StaticClass() {
  static const ClassInfo info = [] {
    ClassInfo c("TCsvDataSet", &DataSet::StaticClass(), [] { return std::make_unique<TCsvDataSet>(); });
    PropertyList<TCsvDataSet> p(c);
    p.String("FileName", &TCsvDataSet::FileName, &TCsvDataSet::SetFileName);
    p.Char("Delimiter", &TCsvDataSet::Delimiter, &TCsvDataSet::SetDelimiter).Default(std::string(","));
    p.String("ColumnTypes", &TCsvDataSet::ColumnTypes, &TCsvDataSet::SetColumnTypes);
    return c;
  }();
  return info;
}

TCsvDataSet::TCsvDataSet() = default;

TCsvDataSet::~TCsvDataSet() { Close(); }

void TCsvDataSet::SetFileName(const std::string& file_name) {
  Close();
  file_name_ = file_name;
}

void TCsvDataSet::SetDelimiter(char delimiter) {
  const auto b = static_cast<unsigned char>(delimiter);
  if (b == 0 || b >= 0x80 || delimiter == '"' || delimiter == '\r' || delimiter == '\n')
    Fail("Delimiter must be an ASCII character other than a double quote, CR or LF");
  Close();
  delimiter_ = delimiter;
}

void TCsvDataSet::SetColumnTypes(const std::string& column_types) {
  std::vector<Declared> declared = ParseColumnTypes(column_types);
  Close();
  column_types_ = column_types;
  declared_ = std::move(declared);
}

std::vector<TCsvDataSet::Declared> TCsvDataSet::ParseColumnTypes(const std::string& text) const {
  std::vector<Declared> declared;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(';', start);
    if (end == std::string::npos) end = text.size();
    const std::string entry = Trim(std::string_view(text).substr(start, end - start));
    start = end + 1;
    if (entry.empty()) continue;
    const std::size_t colon = entry.find(':');
    if (colon == std::string::npos)
      Fail("ColumnTypes: '" + entry + "' is not of the form column:Type");
    Declared d{Trim(std::string_view(entry).substr(0, colon)), FieldType::Unknown};
    const std::string type = Trim(std::string_view(entry).substr(colon + 1));
    if (d.column.empty()) Fail("ColumnTypes: '" + entry + "' names no column");
    for (const TypeName& t : kTypeNames)
      if (SameText(type, t.name)) d.type = t.type;
    if (d.type == FieldType::Unknown)
      Fail("ColumnTypes: unknown type '" + type + "' for column '" + d.column + "'; the types are " + KnownTypes());
    for (const Declared& other : declared)
      if (SameText(other.column, d.column)) Fail("ColumnTypes: column '" + d.column + "' is declared twice");
    declared.push_back(std::move(d));
  }
  return declared;
}

std::filesystem::path TCsvDataSet::FullFileName() const {
  return ResolveProgramPath(file_name_).lexically_normal();
}

void TCsvDataSet::FailAt(int line, const std::string& text) const {
  Fail(file_name_ + ":" + std::to_string(line) + ": " + text);
}

std::vector<DataSet::Column> TCsvDataSet::DoOpen() {
  if (Trim(file_name_).empty()) Fail("FileName is not set");
  const std::filesystem::path path = FullFileName();
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) Fail("cannot open \"" + path.string() + "\": " + std::strerror(errno));
  error_.clear();
  reader_ = std::make_unique<Reader>(*this, file, path, delimiter_);
  try {
    if (!reader_->Next(cells_, cell_lines_)) FailAt(1, "the file is empty; its first line must name the columns");
    const int line = reader_->RecordLine();
    std::vector<Column> columns;
    for (std::size_t i = 0; i < cells_.size(); ++i) {
      Column column{Trim(cells_[i]), FieldType::String};
      if (column.name.empty()) FailAt(line, "column " + std::to_string(i + 1) + " of the header has no name");
      for (std::size_t j = 0; j < i; ++j)
        if (SameText(columns[j].name, column.name))
          FailAt(line, "the header names column '" + column.name + "' twice (columns " + std::to_string(j + 1) +
                           " and " + std::to_string(i + 1) + ")");
      columns.push_back(std::move(column));
    }
    for (const Declared& d : declared_) {
      Column* found = nullptr;
      for (Column& column : columns)
        if (SameText(column.name, d.column)) found = &column;
      if (!found) FailAt(line, "ColumnTypes names column '" + d.column + "', which the header does not have");
      found->type = d.type;
    }
    columns_ = columns;
    return columns;
  } catch (...) {
    reader_.reset();
    throw;
  }
}

bool TCsvDataSet::DoFetch(std::vector<Variant>& row) {
  if (!reader_) {
    if (!error_.empty()) throw EDatabaseError(error_);
    return false;
  }
  try {
    if (!reader_->Next(cells_, cell_lines_)) {
      reader_.reset();
      return false;
    }
    if (cells_.size() != columns_.size())
      FailAt(reader_->RecordLine(), Cells(cells_.size()) + ", but the header has " + std::to_string(columns_.size()));
    for (std::size_t i = 0; i < cells_.size(); ++i) row[i] = CellValue(i, cells_[i], cell_lines_[i]);
    return true;
  } catch (const EDatabaseError& e) {
    // The rest of the file is not read: what follows a broken record cannot be trusted.
    error_ = e.what();
    reader_.reset();
    throw;
  }
}

void TCsvDataSet::DoClose() {
  reader_.reset();
  error_.clear();
}

Variant TCsvDataSet::CellValue(std::size_t column, const std::string& text, int line) const {
  const FieldType type = columns_[column].type;
  if (type == FieldType::String) return text.empty() ? Variant::MakeNull() : Variant(text);
  const std::string value = Trim(text);
  if (value.empty()) return Variant::MakeNull();
  std::optional<Variant> parsed;
  switch (type) {
    case FieldType::Integer: parsed = ParseInteger(value); break;
    case FieldType::Float:
    case FieldType::Currency: parsed = ParseFloat(value); break;
    case FieldType::Boolean: parsed = ParseBoolean(value); break;
    case FieldType::Date:
    case FieldType::DateTime: parsed = ParseDateTime(value); break;
    case FieldType::Time: parsed = ParseTime(value); break;
    default: parsed = Variant(text); break;
  }
  if (!parsed)
    FailAt(line, "column '" + columns_[column].name + "': '" + Shown(text) + "' is not " + Expected(type));
  return *std::move(parsed);
}

}  // namespace brelix::data
