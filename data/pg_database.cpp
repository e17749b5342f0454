#include "data/pg_database.h"

#include <libpq-fe.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string_view>
#include <vector>

#include "platform/text.h"

namespace brelix::data {

using namespace platform;

namespace {

const bool kRegistered = RegisterClass(TPgDatabase::StaticClass());

// Type OIDs of the built-in types (pg_type.oid; fixed across server versions).
enum : Oid {
  kBoolOid = 16,
  kByteaOid = 17,
  kInt8Oid = 20,
  kInt2Oid = 21,
  kInt4Oid = 23,
  kFloat4Oid = 700,
  kFloat8Oid = 701,
  kMoneyOid = 790,
  kDateOid = 1082,
  kTimeOid = 1083,
  kTimestampOid = 1114,
  kTimestampTzOid = 1184,
  kTimeTzOid = 1266,
  kNumericOid = 1700,
};

// Session settings the value conversions below rely on: ISO dates, hex bytea, shortest exact
// floats, money in the C form ("-$1,234.50"), UTF-8 text.
constexpr const char* kSessionSetup =
    "SET client_encoding = 'UTF8'; SET DateStyle = 'ISO, MDY'; SET IntervalStyle = 'postgres'; "
    "SET bytea_output = 'hex'; SET extra_float_digits = 3; SET lc_monetary = 'C'";

constexpr double kMaxSerial = 1e8;
constexpr double kSecondsPerDay = 86400;

std::string Label(const Component& component) {
  return component.Name().empty() ? component.ClassName() : component.Name();
}

struct ResultDeleter {
  void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

// libpq's texts end with a newline and may continue on indented lines; one line reads better
// inside our messages.
std::string OneLine(std::string_view text) {
  std::string out;
  bool blank = false;
  for (char c : text) {
    if (c == '\n' || c == '\r' || c == '\t') {
      blank = true;
      continue;
    }
    if (blank && !out.empty()) out += ' ';
    blank = false;
    out += c;
  }
  return out;
}

// The server's text for a failed result: its message with detail and hint; the position of the
// error when it lies inside the caller's SQL (which starts after `prefix` characters of ours).
std::string ErrorText(const PGresult* result, PGconn* conn, std::size_t prefix = 0) {
  const char* primary = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
  if (!primary) {
    std::string text = OneLine(result ? PQresultErrorMessage(result) : "");
    if (text.empty()) text = OneLine(PQerrorMessage(conn));
    return text.empty() ? "the server gave no result" : text;
  }
  std::string text = primary;
  if (const char* detail = PQresultErrorField(result, PG_DIAG_MESSAGE_DETAIL)) text += " (" + OneLine(detail) + ")";
  if (const char* hint = PQresultErrorField(result, PG_DIAG_MESSAGE_HINT)) text += " Hint: " + OneLine(hint);
  if (const char* position = PQresultErrorField(result, PG_DIAG_STATEMENT_POSITION)) {
    long at = 0;
    std::from_chars(position, position + std::char_traits<char>::length(position), at);
    if (at > static_cast<long>(prefix)) text += " (at character " + std::to_string(at - prefix) + " of the SQL)";
  }
  return text;
}

// ---------------------------------------------------------------------------------------------
// Keeping passwords out of messages

void AddSecret(std::vector<std::string>& secrets, std::string value) {
  if (!value.empty() && std::find(secrets.begin(), secrets.end(), value) == secrets.end())
    secrets.push_back(std::move(value));
}

std::string PercentDecoded(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned value = 0;
    if (text[i] == '%' && i + 2 < text.size() &&
        std::from_chars(text.data() + i + 1, text.data() + i + 3, value, 16).ptr == text.data() + i + 3) {
      out += static_cast<char>(value);
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// Every way the connection string may carry a password: what libpq reads from it, and, for a
// string it cannot read, "password = value" and the password of a URI's user part.
std::vector<std::string> PasswordsIn(const std::string& conninfo) {
  std::vector<std::string> secrets;
  char* error = nullptr;
  if (PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &error)) {
    for (PQconninfoOption* o = options; o->keyword; ++o)
      if (std::string_view(o->keyword) == "password" && o->val) AddSecret(secrets, o->val);
    PQconninfoFree(options);
  }
  if (error) PQfreemem(error);

  const std::string lower = LowerCase(conninfo);
  for (std::size_t at = lower.find("password"); at != std::string::npos; at = lower.find("password", at + 1)) {
    std::size_t i = at + 8;
    while (i < conninfo.size() && conninfo[i] == ' ') ++i;
    if (i >= conninfo.size() || conninfo[i] != '=') continue;
    ++i;
    while (i < conninfo.size() && conninfo[i] == ' ') ++i;
    std::string value;
    if (i < conninfo.size() && conninfo[i] == '\'') {
      for (++i; i < conninfo.size() && conninfo[i] != '\''; ++i) {
        if (conninfo[i] == '\\' && i + 1 < conninfo.size()) ++i;
        value += conninfo[i];
      }
    } else {
      while (i < conninfo.size() && conninfo[i] != ' ' && conninfo[i] != '\t' && conninfo[i] != '\n') value += conninfo[i++];
    }
    AddSecret(secrets, value);
    if (std::size_t amp = value.find('&'); amp != std::string::npos) AddSecret(secrets, value.substr(0, amp));
    AddSecret(secrets, PercentDecoded(value));
  }

  if (std::size_t scheme = conninfo.find("://"); scheme != std::string::npos) {
    const std::size_t start = scheme + 3;
    const std::size_t end = std::min(conninfo.find_first_of("/?", start), conninfo.size());
    const std::string authority = conninfo.substr(start, end - start);
    if (std::size_t at = authority.rfind('@'); at != std::string::npos) {
      const std::string user = authority.substr(0, at);
      if (std::size_t colon = user.find(':'); colon != std::string::npos) {
        AddSecret(secrets, user.substr(colon + 1));
        AddSecret(secrets, PercentDecoded(user.substr(colon + 1)));
      }
    }
  }
  std::sort(secrets.begin(), secrets.end(), [](const auto& a, const auto& b) { return a.size() > b.size(); });
  return secrets;
}

std::string WithoutSecrets(std::string text, const std::vector<std::string>& secrets) {
  for (const std::string& secret : secrets)
    for (std::size_t at = text.find(secret); at != std::string::npos; at = text.find(secret, at + 3))
      text.replace(at, secret.size(), "***");
  return text;
}

// ---------------------------------------------------------------------------------------------
// Parameter values as text

void AppendNumber(std::string& out, std::int64_t value, int width) {
  char digits[24];
  auto [end, error] = std::to_chars(digits, digits + sizeof digits, value);
  (void)error;
  for (auto n = end - digits; n < width; ++n) out += '0';
  out.append(digits, end);
}

// "2026-12-31 15:04:05.250" (milliseconds only when there are some); years before 1 with "BC".
bool IsoDateTime(DateTime value, std::string& out) {
  if (!std::isfinite(value.serial) || std::fabs(value.serial) > kMaxSerial) return false;
  const double whole = std::trunc(value.serial);
  auto day = static_cast<std::int64_t>(whole);
  auto ms = std::llround(std::fabs(value.serial - whole) * kSecondsPerDay * 1000);
  if (ms >= static_cast<std::int64_t>(kSecondsPerDay) * 1000) {
    ms -= static_cast<std::int64_t>(kSecondsPerDay) * 1000;
    ++day;  // the next calendar day on both sides of the epoch
  }
  const DateTimeParts date = DateTime{static_cast<double>(day)}.Decode();
  const bool bc = date.year <= 0;
  out.clear();
  AppendNumber(out, bc ? 1 - date.year : date.year, 4);
  out += '-';
  AppendNumber(out, date.month, 2);
  out += '-';
  AppendNumber(out, date.day, 2);
  out += ' ';
  AppendNumber(out, ms / 3600000, 2);
  out += ':';
  AppendNumber(out, ms / 60000 % 60, 2);
  out += ':';
  AppendNumber(out, ms / 1000 % 60, 2);
  if (ms % 1000) {
    out += '.';
    AppendNumber(out, ms % 1000, 3);
  }
  if (bc) out += " BC";
  return true;
}

std::string FloatText(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-Infinity" : "Infinity";
  char buffer[32];
  auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);  // shortest exact
  (void)error;
  return std::string(buffer, end);
}

// ---------------------------------------------------------------------------------------------
// Values from their text form

FieldType TypeOf(Oid oid) {
  switch (oid) {
    case kBoolOid: return FieldType::Boolean;
    case kInt2Oid:
    case kInt4Oid:
    case kInt8Oid: return FieldType::Integer;
    case kFloat4Oid:
    case kFloat8Oid: return FieldType::Float;
    case kNumericOid:
    case kMoneyOid: return FieldType::Currency;
    case kDateOid: return FieldType::Date;
    case kTimeOid:
    case kTimeTzOid: return FieldType::Time;
    case kTimestampOid:
    case kTimestampTzOid: return FieldType::DateTime;
    case kByteaOid: return FieldType::Blob;
    default: return FieldType::String;
  }
}

class TextReader {
 public:
  explicit TextReader(std::string_view text) : text_(text) {}
  bool AtEnd() const { return i_ == text_.size(); }
  bool Peek(char c) const { return i_ < text_.size() && text_[i_] == c; }
  bool Skip(char c) {
    if (!Peek(c)) return false;
    ++i_;
    return true;
  }
  bool Skip(std::string_view word) {
    if (text_.substr(i_, word.size()) != word) return false;
    i_ += word.size();
    return true;
  }
  bool Number(int& value) {
    auto [end, error] = std::from_chars(text_.data() + i_, text_.data() + text_.size(), value);
    if (error != std::errc()) return false;
    i_ = static_cast<std::size_t>(end - text_.data());
    return true;
  }
  // "HH:MM:SS" with an optional fraction of the seconds.
  bool Time(int& hour, int& minute, double& second) {
    int whole = 0;
    if (!Number(hour) || !Skip(':') || !Number(minute) || !Skip(':') || !Number(whole)) return false;
    second = whole;
    if (Skip('.')) {
      double scale = 0.1;
      const std::size_t start = i_;
      for (; i_ < text_.size() && text_[i_] >= '0' && text_[i_] <= '9'; ++i_, scale /= 10)
        second += (text_[i_] - '0') * scale;
      if (i_ == start) return false;
    }
    return true;
  }
  // A time zone offset: "+01", "-05:30", "+00:00:00". The value keeps the local time shown.
  void SkipOffset() {
    if (!Peek('+') && !Peek('-')) return;
    ++i_;
    while (i_ < text_.size() && ((text_[i_] >= '0' && text_[i_] <= '9') || text_[i_] == ':')) ++i_;
  }

 private:
  std::string_view text_;
  std::size_t i_ = 0;
};

// The ISO forms of date, time, timestamp and their zoned variants: "2026-12-31",
// "2026-12-31 15:04:05.5+01", "15:04:05", "0044-03-15 BC". Infinite dates are no DateTime.
bool ParseDateTime(std::string_view text, FieldType type, DateTime& out) {
  TextReader in(text);
  int year = 1899, month = 12, day = 30, hour = 0, minute = 0;
  double second = 0;
  if (type == FieldType::Time) {
    if (!in.Time(hour, minute, second)) return false;
    in.SkipOffset();
  } else {
    if (!in.Number(year) || !in.Skip('-') || !in.Number(month) || !in.Skip('-') || !in.Number(day)) return false;
    if (in.Skip(' ') && !in.Peek('B')) {
      if (!in.Time(hour, minute, second)) return false;
      in.SkipOffset();
      in.Skip(' ');
    }
    if (in.Skip("BC")) year = 1 - year;
  }
  if (!in.AtEnd() || month < 1 || month > 12 || day < 1 || day > 31) return false;
  out = DateTime::FromDateTime(year, month, day, hour, minute, second);
  return true;
}

bool ParseDouble(std::string_view text, double& out) {
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
  return error == std::errc() && end == text.data() + text.size();
}

// numeric as a double; money in its C form with the currency sign and thousands separators.
bool ParseCurrency(std::string_view text, double& out) {
  if (ParseDouble(text, out)) return true;
  std::string plain;
  for (char c : text)
    if ((c >= '0' && c <= '9') || c == '.' || c == '-') plain += c;
  return !plain.empty() && ParseDouble(plain, out);
}

// "\x0102..." into its bytes.
bool ParseBytea(std::string_view text, std::string& out) {
  if (text.substr(0, 2) != "\\x" || text.size() % 2 != 0) return false;
  out.clear();
  out.reserve(text.size() / 2 - 1);
  for (std::size_t i = 2; i < text.size(); i += 2) {
    unsigned byte = 0;
    if (std::from_chars(text.data() + i, text.data() + i + 2, byte, 16).ptr != text.data() + i + 2) return false;
    out += static_cast<char>(byte);
  }
  return true;
}

// A value of the server's text form; text that does not read as its type stays text
// ("infinity" for a date, "NaN" kept as a double).
Variant ValueOf(std::string_view text, FieldType type) {
  switch (type) {
    case FieldType::Boolean:
      if (text == "t" || text == "true") return Variant(true);
      if (text == "f" || text == "false") return Variant(false);
      break;
    case FieldType::Integer: {
      std::int64_t value = 0;
      auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
      if (error == std::errc() && end == text.data() + text.size()) return Variant(value);
      break;
    }
    case FieldType::Float: {
      double value = 0;
      if (ParseDouble(text, value)) return Variant(value);
      break;
    }
    case FieldType::Currency: {
      double value = 0;
      if (ParseCurrency(text, value)) return Variant(value);
      break;
    }
    case FieldType::Date:
    case FieldType::Time:
    case FieldType::DateTime: {
      DateTime value;
      if (ParseDateTime(text, type, value)) return Variant(value);
      break;
    }
    case FieldType::Blob: {
      std::string bytes;
      if (ParseBytea(text, bytes)) return Variant(std::move(bytes));
      break;
    }
    default:
      break;
  }
  return Variant(std::string(text));
}

// The first word of a statement, past blanks, comments and opening parentheses, in lower case.
std::string FirstWord(std::string_view sql) {
  std::size_t i = 0;
  while (i < sql.size()) {
    const char c = sql[i];
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '(') {
      ++i;
    } else if (sql.substr(i, 2) == "--") {
      i = sql.find('\n', i);
      if (i == std::string_view::npos) return {};
    } else if (sql.substr(i, 2) == "/*") {
      i = sql.find("*/", i + 2);
      if (i == std::string_view::npos) return {};
      i += 2;
    } else {
      break;
    }
  }
  std::size_t end = i;
  while (end < sql.size() && ((sql[end] >= 'a' && sql[end] <= 'z') || (sql[end] >= 'A' && sql[end] <= 'Z'))) ++end;
  return LowerCase(sql.substr(i, end - i));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The shared connection

struct PgConnection {
  PgConnection(PGconn* c, std::string l) : conn(c), label(std::move(l)) {}
  PgConnection(const PgConnection&) = delete;
  PgConnection& operator=(const PgConnection&) = delete;
  ~PgConnection() { PQfinish(conn); }

  bool Usable() const { return PQstatus(conn) == CONNECTION_OK; }
  [[noreturn]] void Fail(const std::string& text) const { throw EDatabaseError(label + ": " + text); }
  //! Runs a statement without parameters and checks that it succeeded.
  void Run(const char* sql) const {
    Result result(PQexec(conn, sql));
    if (PQresultStatus(result.get()) != PGRES_COMMAND_OK)
      Fail("cannot run " + std::string(sql) + ": " + ErrorText(result.get(), conn));
  }
  //! Runs a statement whose failure is of no interest (cleaning up).
  void RunQuietly(const char* sql) const noexcept { PQclear(PQexec(conn, sql)); }

  //! Counts the cursors open now; the transaction begun for them ends with the last.
  void CursorOpened() { ++open_cursors; }
  void CursorClosed() {
    if (open_cursors > 0) --open_cursors;
    EndOwnTransactionWhenUnused();
  }
  void EndOwnTransactionWhenUnused() {
    if (open_cursors > 0 || !own_transaction) return;
    own_transaction = false;
    if (!Usable()) return;
    const PGTransactionStatusType status = PQtransactionStatus(conn);
    if (status == PQTRANS_INTRANS) RunQuietly("COMMIT");
    else if (status == PQTRANS_INERROR) RunQuietly("ROLLBACK");
  }

  PGconn* conn;
  std::string label;      //!< the database component's name, for messages
  std::int64_t next_id = 0;
  int open_cursors = 0;
  bool own_transaction = false;
};

namespace {

// ---------------------------------------------------------------------------------------------
// Statements

class PgStatement final : public SqlStatement {
 public:
  PgStatement(std::shared_ptr<PgConnection> connection, std::string name, std::string cursor,
              int parameter_count, std::size_t prefix)
      : connection_(std::move(connection)),
        name_(std::move(name)),
        cursor_(std::move(cursor)),
        parameter_count_(parameter_count),
        prefix_(prefix) {}

  ~PgStatement() override {
    Reset();
    // The last owner of a connection closes it, which drops its statements anyway.
    if (connection_.use_count() > 1 && connection_->Usable() &&
        PQtransactionStatus(connection_->conn) != PQTRANS_INERROR)
      connection_->RunQuietly(("DEALLOCATE " + name_).c_str());
  }

  std::vector<DataSet::Column> Execute(const std::vector<Variant>& values) override {
    Reset();
    if (static_cast<int>(values.size()) != parameter_count_)
      connection_->Fail("the statement has " + std::to_string(parameter_count_) + " parameters, but " +
                        std::to_string(values.size()) + " values were given");
    if (!connection_->Usable()) connection_->Fail("the connection is lost: " + OneLine(PQerrorMessage(connection_->conn)));
    std::vector<std::string> texts(values.size());
    std::vector<const char*> pointers(values.size(), nullptr);
    for (std::size_t i = 0; i < values.size(); ++i)
      if (ParameterText(values[i], static_cast<int>(i) + 1, texts[i])) pointers[i] = texts[i].c_str();

    PGconn* conn = connection_->conn;
    if (cursor_.empty()) {
      // Not a query a cursor can read (INSERT ... RETURNING, SHOW): its rows come at once.
      Result result(PQexecPrepared(conn, name_.c_str(), parameter_count_, pointers.data(), nullptr, nullptr, 0));
      const ExecStatusType status = PQresultStatus(result.get());
      if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK)
        connection_->Fail("cannot run SQL: " + ErrorText(result.get(), conn));
      batch_ = std::move(result);
      done_ = true;
      return Columns();
    }

    if (PQtransactionStatus(conn) == PQTRANS_IDLE) {
      connection_->Run("BEGIN");
      connection_->own_transaction = true;
    }
    Result declared(PQexecPrepared(conn, name_.c_str(), parameter_count_, pointers.data(), nullptr, nullptr, 0));
    if (PQresultStatus(declared.get()) != PGRES_COMMAND_OK) {
      const std::string text = "cannot run SQL: " + ErrorText(declared.get(), conn, prefix_);
      connection_->EndOwnTransactionWhenUnused();
      connection_->Fail(text);
    }
    open_ = true;
    connection_->CursorOpened();
    try {
      FetchBatch();
    } catch (...) {
      Reset();
      throw;
    }
    return Columns();
  }

  bool Fetch(std::vector<Variant>& row) override {
    while (true) {
      if (batch_ && next_row_ < PQntuples(batch_.get())) {
        PGresult* r = batch_.get();
        for (std::size_t c = 0; c < types_.size() && c < row.size(); ++c) {
          const int column = static_cast<int>(c);
          if (PQgetisnull(r, next_row_, column)) {
            row[c] = Variant::MakeNull();
          } else {
            row[c] = ValueOf(std::string_view(PQgetvalue(r, next_row_, column),
                                              static_cast<std::size_t>(PQgetlength(r, next_row_, column))),
                             types_[c]);
          }
        }
        ++next_row_;
        return true;
      }
      if (done_ || !open_) return false;
      FetchBatch();
    }
  }

  void Reset() override {
    batch_.reset();
    next_row_ = 0;
    done_ = false;
    types_.clear();
    CloseCursor();
  }

 private:
  void FetchBatch() {
    const std::string fetch = "FETCH FORWARD " + std::to_string(TPgDatabase::kFetchRows) + " FROM " + cursor_;
    batch_.reset();
    next_row_ = 0;
    Result result(PQexec(connection_->conn, fetch.c_str()));
    if (PQresultStatus(result.get()) != PGRES_TUPLES_OK)
      connection_->Fail("cannot run SQL: " + ErrorText(result.get(), connection_->conn));
    batch_ = std::move(result);
    // The cursor stays open until Reset: the transaction it keeps open gives a master and its
    // details one view of the data.
    if (PQntuples(batch_.get()) < TPgDatabase::kFetchRows) done_ = true;
  }

  void CloseCursor() noexcept {
    if (!open_) return;
    open_ = false;
    if (connection_->Usable() && PQtransactionStatus(connection_->conn) == PQTRANS_INTRANS)
      connection_->RunQuietly(("CLOSE " + cursor_).c_str());
    connection_->CursorClosed();
  }

  std::vector<DataSet::Column> Columns() {
    std::vector<DataSet::Column> columns;
    const int count = PQnfields(batch_.get());
    types_.clear();
    for (int c = 0; c < count; ++c) {
      const FieldType type = TypeOf(PQftype(batch_.get(), c));
      columns.push_back({PQfname(batch_.get(), c), type});
      types_.push_back(type);
    }
    return columns;
  }

  // The text of a parameter; false for SQL NULL.
  bool ParameterText(const Variant& value, int number, std::string& out) const {
    switch (value.type()) {
      case Variant::Type::Empty:
      case Variant::Type::Null:
        return false;
      case Variant::Type::Boolean:
        out = value.AsBoolean() ? "true" : "false";
        return true;
      case Variant::Type::Integer:
        out = std::to_string(value.AsInteger());
        return true;
      case Variant::Type::Float:
        out = FloatText(value.AsFloat());
        return true;
      case Variant::Type::String:
        out = value.AsString();
        if (out.find('\0') != std::string::npos)
          connection_->Fail("parameter $" + std::to_string(number) + " holds a text with a NUL character");
        return true;
      case Variant::Type::DateTime:
        if (!IsoDateTime(value.AsDateTime(), out))
          connection_->Fail("parameter $" + std::to_string(number) + " holds a date out of range (" +
                            FloatText(value.AsDateTime().serial) + ")");
        return true;
    }
    return false;
  }

  std::shared_ptr<PgConnection> connection_;
  std::string name_;    //!< of the prepared statement
  std::string cursor_;  //!< empty for statements that are not read through a cursor
  int parameter_count_;
  std::size_t prefix_;  //!< characters before the caller's SQL in the prepared text
  Result batch_;        //!< the rows fetched last
  int next_row_ = 0;
  bool open_ = false;   //!< the cursor is open on the server
  bool done_ = false;   //!< no rows beyond batch_
  std::vector<FieldType> types_;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// TPgDatabase

const ClassInfo& TPgDatabase::StaticClass() {
  static const ClassInfo info = [] {
    ClassInfo c("TPgDatabase", &SqlDatabase::StaticClass(), [] { return std::make_unique<TPgDatabase>(); });
    PropertyList<TPgDatabase>(c).String("ConnectionString", &TPgDatabase::ConnectionString,
                                        &TPgDatabase::SetConnectionString);
    return c;
  }();
  return info;
}

TPgDatabase::~TPgDatabase() { DisconnectQuietly(); }

void TPgDatabase::SetConnectionString(const std::string& connection_string) {
  if (connection_string == connection_string_) return;
  SetConnected(false);
  connection_string_ = connection_string;
}

std::string TPgDatabase::Placeholder(int number) const { return "$" + std::to_string(number); }

void TPgDatabase::DoConnect() {
  PGconn* conn = PQconnectdb(connection_string_.c_str());
  if (!conn) Fail("out of memory while connecting");
  auto connection = std::make_shared<PgConnection>(conn, Label(*this));
  if (PQstatus(conn) != CONNECTION_OK)
    Fail("cannot connect: " + WithoutSecrets(OneLine(PQerrorMessage(conn)), PasswordsIn(connection_string_)));
  PQsetNoticeProcessor(conn, [](void*, const char*) {}, nullptr);
  Result setup(PQexec(conn, kSessionSetup));
  if (PQresultStatus(setup.get()) != PGRES_COMMAND_OK) Fail("cannot set up the session: " + ErrorText(setup.get(), conn));
  connection_ = std::move(connection);
}

void TPgDatabase::DoDisconnect() { connection_.reset(); }

std::unique_ptr<SqlStatement> TPgDatabase::DoPrepare(const std::string& sql, int parameter_count) {
  if (!connection_) Fail("not connected");
  connection_->label = Label(*this);
  const std::int64_t id = ++connection_->next_id;
  const std::string name = "brelix_s" + std::to_string(id);
  const std::string word = FirstWord(sql);
  const bool cursor = word == "select" || word == "with" || word == "values" || word == "table";
  const std::string cursor_name = cursor ? "brelix_c" + std::to_string(id) : std::string();
  const std::string prefix = cursor ? "DECLARE " + cursor_name + " NO SCROLL CURSOR FOR " : std::string();
  Result prepared(PQprepare(connection_->conn, name.c_str(), (prefix + sql).c_str(), parameter_count, nullptr));
  if (PQresultStatus(prepared.get()) != PGRES_COMMAND_OK)
    Fail("cannot prepare SQL: " + ErrorText(prepared.get(), connection_->conn, prefix.size()));
  ++prepared_count_;
  return std::make_unique<PgStatement>(connection_, name, cursor_name, parameter_count, prefix.size());
}

void TPgDatabase::ExecuteScript(const std::string& sql) {
  SetConnected(true);
  Result result(PQexec(connection_->conn, sql.c_str()));
  const ExecStatusType status = PQresultStatus(result.get());
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
    Fail("cannot run SQL: " + ErrorText(result.get(), connection_->conn));
}

}  // namespace brelix::data
