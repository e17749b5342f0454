#include "data/sqlite_database.h"

#include <sqlite3.h>

#include <cmath>
#include <cstdio>
#include <system_error>

#include "platform/files.h"
#include "platform/text.h"

namespace brelix::data {

using namespace platform;
namespace fs = std::filesystem;

namespace {

const bool kRegistered = RegisterClass(TSqliteDatabase::StaticClass());

// Julian day number of the serial epoch 1899-12-30 00:00, and the largest julian day SQLite's
// date functions handle (9999-12-31 12:00).
constexpr double kJulianSerialEpoch = 2415018.5;
constexpr double kMaxJulianDay = 5373484.5;
// Days from the serial epoch to 1970-01-01.
constexpr double kUnixSerialEpoch = 25569;
constexpr double kSecondsPerDay = 86400;
// Serials further away are not written as dates (the range Variant shows as dates).
constexpr double kMaxSerial = 1e8;

std::string Label(const Component& component) {
  return component.Name().empty() ? component.ClassName() : component.Name();
}

// The field type a declared column type names, after the type names SQL databases use;
// Unknown for no declared type or one of no known kind (such columns take the type of the
// value in their first row). DATETIME and TIMESTAMP are tested before DATE and TIME, INT
// before the text types, as "BIGINT" or "UNSIGNED INT" are integers.
FieldType DeclaredType(const char* declared) {
  if (!declared || !*declared) return FieldType::Unknown;
  const std::string type = UpperCase(declared);
  auto has = [&](const char* word) { return type.find(word) != std::string::npos; };
  if (has("DATETIME") || has("TIMESTAMP")) return FieldType::DateTime;
  if (has("DATE")) return FieldType::Date;
  if (has("TIME")) return FieldType::Time;
  if (has("BOOL")) return FieldType::Boolean;
  if (has("INT")) return FieldType::Integer;
  if (has("CHAR") || has("CLOB") || has("TEXT") || has("STRING")) return FieldType::String;
  if (has("BLOB") || has("BINARY")) return FieldType::Blob;
  if (has("REAL") || has("FLOA") || has("DOUB")) return FieldType::Float;
  if (has("NUMERIC") || has("DECIMAL") || has("MONEY") || has("CURRENCY")) return FieldType::Currency;
  return FieldType::Unknown;
}

FieldType StorageType(int storage_class) {
  switch (storage_class) {
    case SQLITE_INTEGER: return FieldType::Integer;
    case SQLITE_FLOAT: return FieldType::Float;
    case SQLITE_BLOB: return FieldType::Blob;
    default: return FieldType::String;
  }
}

// A day count that runs on through midnight (1899-12-29 06:00 is -0.75) as a serial, whose
// fraction before the epoch counts forward from midnight (-1.25).
DateTime SerialFromDays(double days) {
  if (days >= 0) return DateTime{days};
  const double whole = std::floor(days);
  return DateTime{whole - (days - whole)};
}

// A date stored as a number: a julian day (what julianday() gives) up to the year 9999,
// otherwise seconds since 1970-01-01 (what unixepoch() and strftime('%s') give). Seconds of the
// first two months of 1970 cannot be told from julian days and read as julian days.
DateTime DateFromNumber(double value) {
  if (value >= 0 && value <= kMaxJulianDay) return SerialFromDays(value - kJulianSerialEpoch);
  return SerialFromDays(value / kSecondsPerDay + kUnixSerialEpoch);
}

bool ReadDigits(const char*& p, const char* end, int count, int& value) {
  if (end - p < count) return false;
  value = 0;
  for (int i = 0; i < count; ++i, ++p) {
    if (*p < '0' || *p > '9') return false;
    value = value * 10 + (*p - '0');
  }
  return true;
}

bool ReadChar(const char*& p, const char* end, char c) {
  if (p == end || *p != c) return false;
  ++p;
  return true;
}

// "HH:MM", "HH:MM:SS" or "HH:MM:SS.fff" (any number of fraction digits).
bool ReadTime(const char*& p, const char* end, int& hour, int& minute, double& second) {
  int s = 0;
  if (!ReadDigits(p, end, 2, hour) || !ReadChar(p, end, ':') || !ReadDigits(p, end, 2, minute)) return false;
  second = 0;
  if (ReadChar(p, end, ':')) {
    if (!ReadDigits(p, end, 2, s)) return false;
    second = s;
    if (ReadChar(p, end, '.')) {
      double scale = 0.1;
      const char* digits = p;
      for (; p != end && *p >= '0' && *p <= '9'; ++p, scale /= 10) second += (*p - '0') * scale;
      if (p == digits) return false;
    }
  }
  return hour < 24 && minute < 60 && second < 60;
}

// The ISO forms SQLite's date functions read and write: "YYYY-MM-DD", followed by a blank or
// "T" and a time, or a time alone; a trailing "Z" (UTC) is allowed. Other text is no date.
bool ParseIsoDateTime(const char* text, std::size_t size, DateTime& out) {
  const char* p = text;
  const char* end = text + size;
  if (end != p && end[-1] == 'Z') --end;
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0;
  double second = 0;
  if (size >= 5 && text[2] == ':') {
    if (!ReadTime(p, end, hour, minute, second)) return false;
  } else {
    if (!ReadDigits(p, end, 4, year) || !ReadChar(p, end, '-') || !ReadDigits(p, end, 2, month) ||
        !ReadChar(p, end, '-') || !ReadDigits(p, end, 2, day))
      return false;
    if (month < 1 || month > 12 || day < 1 || day > 31) return false;
    if (p != end && (*p == ' ' || *p == 'T')) {
      ++p;
      if (!ReadTime(p, end, hour, minute, second)) return false;
    }
  }
  if (p != end) return false;
  out = DateTime::FromDateTime(year, month, day, hour, minute, second);
  return true;
}

// "true"/"false" in any case, for booleans stored as text.
bool ParseBoolean(const char* text, std::size_t size, bool& out) {
  const std::string_view word(text, size);
  if (SameText(word, "true")) {
    out = true;
    return true;
  }
  if (SameText(word, "false")) {
    out = false;
    return true;
  }
  return false;
}

// Puts text into v; a v that holds a text already keeps its buffer, so that a row buffer
// re-used for the next row needs no allocation for texts that fit.
void AssignText(Variant& v, const char* text, std::size_t size) {
  if (v.type() == Variant::Type::String) {
    // The row's variants are not const objects; only the accessor is.
    const_cast<std::string&>(v.AsString()).assign(text, size);
  } else {
    v = Variant(std::string(text, size));
  }
}

// A DateTime as SQLite's date functions write it: "YYYY-MM-DD HH:MM:SS", or "YYYY-MM-DD" at
// midnight.
std::string IsoText(DateTime value) {
  const DateTimeParts t = value.Decode();
  char text[40];
  if (t.hour == 0 && t.minute == 0 && t.second == 0)
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", t.year, t.month, t.day);
  else
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
  return text;
}

class SqliteStatement : public SqlStatement {
 public:
  SqliteStatement(std::shared_ptr<sqlite3> connection, sqlite3_stmt* statement, int parameter_count,
                  std::string database)
      : connection_(std::move(connection)),
        statement_(statement),
        parameter_count_(parameter_count),
        database_(std::move(database)) {}
  ~SqliteStatement() override { sqlite3_finalize(statement_); }
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;

  std::vector<DataSet::Column> Execute(const std::vector<Variant>& values) override {
    Reset();
    if (static_cast<int>(values.size()) != parameter_count_)
      Fail("the statement has " + std::to_string(parameter_count_) + " parameters, " +
           std::to_string(values.size()) + " values were given");
    for (int i = 0; i < parameter_count_; ++i) Bind(i + 1, values[static_cast<std::size_t>(i)]);
    Step();
    if (columns_.empty()) Describe();
    // Columns without a declared type take the type of their first value; once a result had a
    // row that type stays, so that the fields of a re-run detail query stay the same.
    if (!types_settled_ && has_row_) {
      for (std::size_t i = 0; i < columns_.size(); ++i)
        if (types_[i] == FieldType::Unknown)
          columns_[i].type = StorageType(sqlite3_column_type(statement_, static_cast<int>(i)));
      types_settled_ = true;
    }
    return columns_;
  }

  bool Fetch(std::vector<Variant>& row) override {
    if (!has_row_) return false;
    if (row_taken_) {
      Step();
      if (!has_row_) return false;
    }
    row_taken_ = true;
    const int count = static_cast<int>(columns_.size());
    for (int i = 0; i < count; ++i) Read(i, columns_[static_cast<std::size_t>(i)].type, row[static_cast<std::size_t>(i)]);
    return true;
  }

  void Reset() override {
    sqlite3_reset(statement_);
    has_row_ = false;
    row_taken_ = false;
  }

 private:
  [[noreturn]] void Fail(const std::string& text) const { throw EDatabaseError(database_ + ": " + text); }
  std::string DriverText() const { return sqlite3_errmsg(connection_.get()); }

  void Bind(int number, const Variant& value) {
    int rc = SQLITE_OK;
    switch (value.type()) {
      case Variant::Type::Empty:
      case Variant::Type::Null: rc = sqlite3_bind_null(statement_, number); break;
      case Variant::Type::Boolean: rc = sqlite3_bind_int(statement_, number, value.AsBoolean() ? 1 : 0); break;
      case Variant::Type::Integer: rc = sqlite3_bind_int64(statement_, number, value.AsInteger()); break;
      case Variant::Type::Float: rc = sqlite3_bind_double(statement_, number, value.AsFloat()); break;
      case Variant::Type::String: {
        const std::string& text = value.AsString();
        rc = sqlite3_bind_text64(statement_, number, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
        break;
      }
      case Variant::Type::DateTime: {
        const DateTime date = value.AsDateTime();
        if (std::isfinite(date.serial) && std::fabs(date.serial) <= kMaxSerial) {
          const std::string text = IsoText(date);
          rc = sqlite3_bind_text64(statement_, number, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
        } else {
          rc = sqlite3_bind_double(statement_, number, date.serial);
        }
        break;
      }
    }
    if (rc != SQLITE_OK) Fail("cannot bind parameter " + std::to_string(number) + ": " + DriverText());
  }

  void Step() {
    const int rc = sqlite3_step(statement_);
    row_taken_ = false;
    if (rc == SQLITE_ROW) {
      has_row_ = true;
    } else {
      has_row_ = false;
      if (rc != SQLITE_DONE) {
        std::string text = DriverText();
        sqlite3_reset(statement_);
        Fail("cannot run SQL: " + text);
      }
    }
  }

  void Describe() {
    const int count = sqlite3_column_count(statement_);
    columns_.resize(static_cast<std::size_t>(count));
    types_.resize(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
      const char* name = sqlite3_column_name(statement_, i);
      const auto at = static_cast<std::size_t>(i);
      columns_[at].name = name ? name : "";
      types_[at] = DeclaredType(sqlite3_column_decltype(statement_, i));
      columns_[at].type = types_[at] == FieldType::Unknown ? FieldType::String : types_[at];
    }
  }

  // The value of column i of the current row as a variant of the column's type; a value that
  // does not fit the type (a text in an integer column) keeps its own.
  void Read(int i, FieldType type, Variant& out) {
    switch (sqlite3_column_type(statement_, i)) {
      case SQLITE_NULL:
        out = Variant::MakeNull();
        return;
      case SQLITE_INTEGER: {
        const sqlite3_int64 v = sqlite3_column_int64(statement_, i);
        switch (type) {
          case FieldType::Float:
          case FieldType::Currency: out = static_cast<double>(v); return;
          case FieldType::Boolean: out = v != 0; return;
          case FieldType::Date:
          case FieldType::Time:
          case FieldType::DateTime: out = DateFromNumber(static_cast<double>(v)); return;
          default: out = std::int64_t{v}; return;
        }
      }
      case SQLITE_FLOAT: {
        const double v = sqlite3_column_double(statement_, i);
        switch (type) {
          case FieldType::Boolean: out = v != 0; return;
          case FieldType::Date:
          case FieldType::Time:
          case FieldType::DateTime: out = DateFromNumber(v); return;
          default: out = v; return;
        }
      }
      case SQLITE_TEXT: {
        const char* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, i));
        const auto size = static_cast<std::size_t>(sqlite3_column_bytes(statement_, i));
        if (type == FieldType::Date || type == FieldType::Time || type == FieldType::DateTime) {
          DateTime date;
          if (ParseIsoDateTime(text, size, date)) {
            out = date;
            return;
          }
        } else if (type == FieldType::Boolean) {
          bool b = false;
          if (ParseBoolean(text, size, b)) {
            out = b;
            return;
          }
        }
        AssignText(out, text, size);
        return;
      }
      default: {  // SQLITE_BLOB: the bytes as they are
        const char* bytes = static_cast<const char*>(sqlite3_column_blob(statement_, i));
        const auto size = static_cast<std::size_t>(sqlite3_column_bytes(statement_, i));
        AssignText(out, bytes ? bytes : "", size);
        return;
      }
    }
  }

  std::shared_ptr<sqlite3> connection_;
  sqlite3_stmt* statement_;
  int parameter_count_;
  std::string database_;  //!< the database component's name, for messages
  std::vector<DataSet::Column> columns_;
  std::vector<FieldType> types_;  //!< the declared types; Unknown where the first value decides
  bool types_settled_ = false;
  bool has_row_ = false;    //!< the statement stands on a row
  bool row_taken_ = false;  //!< that row went to Fetch already
};

}  // namespace

const ClassInfo& TSqliteDatabase::StaticClass() {
  static const ClassInfo info = [] {
    ClassInfo c("TSqliteDatabase", &SqlDatabase::StaticClass(), [] { return std::make_unique<TSqliteDatabase>(); });
    PropertyList<TSqliteDatabase>(c).String("FileName", &TSqliteDatabase::FileName, &TSqliteDatabase::SetFileName);
    return c;
  }();
  return info;
}

TSqliteDatabase::~TSqliteDatabase() { DisconnectQuietly(); }

void TSqliteDatabase::SetFileName(const std::string& file_name) {
  if (file_name == file_name_) return;
  SetConnected(false);
  file_name_ = file_name;
}

fs::path TSqliteDatabase::FullPath() const { return ResolveProgramPath(file_name_).lexically_normal(); }

std::string TSqliteDatabase::Placeholder(int number) const { return "?" + std::to_string(number); }

void TSqliteDatabase::DoConnect() {
  if (file_name_.empty()) Fail("no FileName is set");
  const fs::path path = FullPath();
  // SQLite would create a missing file; a report reading an empty new database would only show
  // the mistake later as "no such table".
  std::error_code error;
  if (!fs::exists(path, error)) Fail("the database file '" + path.string() + "' does not exist");
  sqlite3* raw = nullptr;
  // NOMUTEX: a connection serves the components of one data module, which one thread uses at
  // a time; SQLite's own per-call locking would cost about a sixth of reading a row.
  const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  std::shared_ptr<sqlite3> connection(raw, [](sqlite3* db) { sqlite3_close_v2(db); });
  auto fail = [&](int code) {
    Fail("cannot open the database file '" + path.string() + "': " + (raw ? sqlite3_errmsg(raw) : sqlite3_errstr(code)));
  };
  if (rc != SQLITE_OK) fail(rc);
  // Reads the file's header now, so that a file that is no database fails here, naming the file.
  if (const int check = sqlite3_exec(raw, "PRAGMA schema_version", nullptr, nullptr, nullptr); check != SQLITE_OK)
    fail(check);
  // Wait for a writer holding the file instead of failing at once.
  sqlite3_busy_timeout(raw, 5000);
  connection_ = std::move(connection);
}

void TSqliteDatabase::DoDisconnect() { connection_.reset(); }

void TSqliteDatabase::ExecuteScript(const std::string& sql) {
  SetConnected(true);
  char* message = nullptr;
  const int rc = sqlite3_exec(connection_.get(), sql.c_str(), nullptr, nullptr, &message);
  if (rc != SQLITE_OK) {
    std::string text = message ? message : sqlite3_errmsg(connection_.get());
    sqlite3_free(message);
    Fail("cannot run SQL: " + text);
  }
}

std::unique_ptr<SqlStatement> TSqliteDatabase::DoPrepare(const std::string& sql, int parameter_count) {
  if (!connection_) Fail("the database is not connected");
  sqlite3* db = connection_.get();
  sqlite3_stmt* raw = nullptr;
  const char* tail = nullptr;
  int rc = sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &raw, &tail);
  if (rc != SQLITE_OK) {
    std::string text = sqlite3_errmsg(db);
    sqlite3_finalize(raw);
    Fail("cannot prepare SQL: " + text);
  }
  if (!raw) Fail("the SQL text holds no statement");
  auto statement = std::make_unique<SqliteStatement>(connection_, raw, parameter_count, Label(*this));
  // SQLite prepares the first statement only; a second one would silently not run.
  const char* end = sql.data() + sql.size();
  if (tail && tail < end) {
    sqlite3_stmt* next = nullptr;
    rc = sqlite3_prepare_v2(db, tail, static_cast<int>(end - tail), &next, nullptr);
    sqlite3_finalize(next);
    if (rc != SQLITE_OK || next) Fail("the SQL text holds more than one statement");
  }
  if (sqlite3_bind_parameter_count(raw) != parameter_count)
    Fail("the SQL text has placeholders of its own (?, @name or $name); name its parameters as :name");
  ++prepared_count_;
  return statement;
}

}  // namespace brelix::data
