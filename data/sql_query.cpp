#include "data/sql_query.h"

#include <algorithm>

#include "platform/text.h"

namespace brelix::data {

using namespace platform;

namespace {
const bool kRegistered = RegisterClass(TSqlQuery::StaticClass());

bool IsNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}
}  // namespace

// ---------------------------------------------------------------------------------------------
// SqlDatabase

const ClassInfo& SqlDatabase::StaticClass() {
  static const ClassInfo info("SqlDatabase", &Component::StaticClass());
  return info;
}

void SqlDatabase::Fail(const std::string& text) const {
  throw EDatabaseError((Name().empty() ? ClassName() : Name()) + ": " + text);
}

void SqlDatabase::SetConnected(bool connected) {
  if (connected == connected_) return;
  if (connected) {
    DoConnect();
    ++generation_;
  } else {
    DoDisconnect();
  }
  connected_ = connected;
}

void SqlDatabase::DisconnectQuietly() noexcept {
  if (!connected_) return;
  connected_ = false;
  try {
    DoDisconnect();
  } catch (...) {
  }
}

std::unique_ptr<SqlStatement> SqlDatabase::Prepare(const std::string& sql, int parameter_count) {
  SetConnected(true);
  return DoPrepare(sql, parameter_count);
}

// ---------------------------------------------------------------------------------------------
// Parameters

ParsedSql ParseSqlParameters(std::string_view sql, const std::function<std::string(int)>& placeholder) {
  ParsedSql parsed;
  parsed.sql.reserve(sql.size());
  std::size_t i = 0;
  auto copy_until = [&](std::string_view end) {
    std::size_t at = sql.find(end, i);
    std::size_t stop = at == std::string_view::npos ? sql.size() : at + end.size();
    parsed.sql.append(sql.substr(i, stop - i));
    i = stop;
  };
  while (i < sql.size()) {
    char c = sql[i];
    if (c == '\'' || c == '"') {
      // Quoted text; a doubled quote stays inside it.
      std::size_t j = i + 1;
      while (j < sql.size()) {
        if (sql[j] == c) {
          if (j + 1 < sql.size() && sql[j + 1] == c) {
            j += 2;
            continue;
          }
          break;
        }
        ++j;
      }
      std::size_t stop = std::min(j + 1, sql.size());
      parsed.sql.append(sql.substr(i, stop - i));
      i = stop;
    } else if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
      copy_until("\n");
    } else if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
      copy_until("*/");
    } else if (c == ':' && i + 1 < sql.size() && sql[i + 1] == ':') {
      parsed.sql.append("::");
      i += 2;
    } else if (c == ':' && i + 1 < sql.size() && IsNameChar(sql[i + 1]) &&
               !(i > 0 && IsNameChar(sql[i - 1]))) {
      std::size_t j = i + 1;
      while (j < sql.size() && IsNameChar(sql[j])) ++j;
      parsed.names.emplace_back(sql.substr(i + 1, j - i - 1));
      parsed.sql += placeholder(static_cast<int>(parsed.names.size()));
      i = j;
    } else {
      parsed.sql += c;
      ++i;
    }
  }
  return parsed;
}

// ---------------------------------------------------------------------------------------------
// TSqlQuery

const ClassInfo& TSqlQuery::StaticClass() {
  static const ClassInfo info = [] {
    ClassInfo c("TSqlQuery", &DataSet::StaticClass(), [] { return std::make_unique<TSqlQuery>(); });
    PropertyList<TSqlQuery> p(c);
    p.Reference<SqlDatabase>("Database", &TSqlQuery::Database, &TSqlQuery::SetDatabase);
    p.Object<StringList>("SQL", [](const TSqlQuery& q) -> const StringList& { return q.SQL(); }, &TSqlQuery::SetSQL);
    p.Reference<platform::DataSource>("DataSource", &TSqlQuery::DataSource, &TSqlQuery::SetDataSource);
    return c;
  }();
  return info;
}

TSqlQuery::TSqlQuery() = default;

TSqlQuery::~TSqlQuery() {
  Close();
  SetDataSource(nullptr);
  SetDatabase(nullptr);
}

void TSqlQuery::SetDatabase(SqlDatabase* database) {
  if (database == database_) return;
  Close();
  Unprepare();
  if (database_) database_->RemoveFreeNotification(*this);
  database_ = database;
  if (database_) database_->FreeNotification(*this);
}

void TSqlQuery::SetSQL(const StringList& sql) {
  Close();
  sql_.Assign(sql);
}

void TSqlQuery::SetDataSource(platform::DataSource* source) {
  if (source == data_source_) return;
  if (data_source_) {
    data_source_->RemoveDetail(*this);
    data_source_->RemoveFreeNotification(*this);
  }
  data_source_ = source;
  if (data_source_) {
    data_source_->AddDetail(*this);
    data_source_->FreeNotification(*this);
  }
  Invalidate();
}

void TSqlQuery::Notification(Component& component, Operation operation) {
  DataSet::Notification(component, operation);
  if (operation != Operation::Remove) return;
  if (&component == static_cast<Component*>(database_)) {
    Close();
    Unprepare();
    database_ = nullptr;
  }
  if (&component == static_cast<Component*>(data_source_)) data_source_ = nullptr;
}

void TSqlQuery::Unprepare() { statement_.reset(); }

const ParsedSql& TSqlQuery::Parsed() {
  std::string text = sql_.Text();
  if (!parsed_ || text != parsed_text_) {
    if (!database_) Fail("no database is set");
    SqlDatabase* db = database_;
    parsed_ = std::make_unique<ParsedSql>(ParseSqlParameters(text, [db](int n) { return db->Placeholder(n); }));
    parsed_text_ = std::move(text);
    Unprepare();
  }
  return *parsed_;
}

std::vector<std::string> TSqlQuery::ParamNames() {
  std::vector<std::string> names;
  for (const std::string& n : Parsed().names)
    if (std::none_of(names.begin(), names.end(), [&](const std::string& m) { return SameText(m, n); }))
      names.push_back(n);
  return names;
}

void TSqlQuery::SetParam(std::string_view name, Variant value) {
  std::vector<std::string> names = ParamNames();
  if (std::none_of(names.begin(), names.end(), [&](const std::string& n) { return SameText(n, name); }))
    Fail("the SQL has no parameter :" + std::string(name));
  for (auto& [n, v] : param_values_)
    if (SameText(n, name)) {
      v = std::move(value);
      return;
    }
  param_values_.emplace_back(std::string(name), std::move(value));
}

std::vector<Variant> TSqlQuery::ParameterValues() {
  const ParsedSql& parsed = Parsed();
  std::vector<Variant> values;
  values.reserve(parsed.names.size());
  DataSet* master = data_source_ ? data_source_->DataSet() : nullptr;
  for (const std::string& name : parsed.names) {
    auto set = std::find_if(param_values_.begin(), param_values_.end(),
                            [&](const auto& p) { return SameText(p.first, name); });
    if (set != param_values_.end()) {
      values.push_back(set->second);
    } else if (master) {
      Field* field = master->FindField(name);
      if (!field) Fail("parameter :" + name + " has no field of that name in the master " + master->Name());
      values.push_back(field->Value());
    } else {
      Fail("parameter :" + name + " has no value and the query has no master");
    }
  }
  return values;
}

std::vector<DataSet::Column> TSqlQuery::DoOpen() {
  if (!database_) Fail("no database is set");
  std::vector<Variant> values = ParameterValues();
  try {
    if (!statement_ || statement_generation_ != database_->Generation() || !database_->Connected()) {
      statement_.reset();
      statement_ = database_->Prepare(parsed_->sql, static_cast<int>(parsed_->names.size()));
      statement_generation_ = database_->Generation();
    }
    return statement_->Execute(values);
  } catch (const EDatabaseError& e) {
    Fail(e.what());
  }
}

bool TSqlQuery::DoFetch(std::vector<Variant>& row) { return statement_ && statement_->Fetch(row); }

void TSqlQuery::DoClose() {
  if (statement_) statement_->Reset();
}

}  // namespace brelix::data
