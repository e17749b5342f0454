#pragma once
// The SQL query shared by every database driver: a dataset over the result of its SQL text on a
// database component, with ":name" parameters that are bound (never pasted into the text) from
// set values or, for a detail query, from the master's current record.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/component.h"
#include "platform/dataset.h"

namespace brelix::data {

//! A prepared statement of a driver. Parameters are numbered from 1 in the order the SQL text
//! names them.
class SqlStatement {
 public:
  virtual ~SqlStatement() = default;
  //! Binds every parameter (values.size() == the statement's parameter count) and runs the
  //! statement; returns the result's columns. Throws EDatabaseError with the driver's text.
  virtual std::vector<platform::DataSet::Column> Execute(const std::vector<platform::Variant>& values) = 0;
  //! The next row of the result into row; false at its end.
  virtual bool Fetch(std::vector<platform::Variant>& row) = 0;
  //! Ends reading the current result; the statement stays prepared for the next Execute.
  virtual void Reset() = 0;
};

//! A database connection component; drivers derive from it.
class SqlDatabase : public platform::Component {
  BRELIX_PERSISTENT_CLASS
 public:
  bool Connected() const { return connected_; }
  //! Connects (or disconnects); a failure raises EDatabaseError naming the database and carrying
  //! the driver's text.
  void SetConnected(bool connected);
  //! Prepares a statement whose parameters were already turned into the driver's placeholders
  //! (see Placeholder); connects first when needed.
  std::unique_ptr<SqlStatement> Prepare(const std::string& sql, int parameter_count);
  //! The text that stands for the 1-based parameter number in this driver's SQL ("?1", "$1").
  virtual std::string Placeholder(int number) const = 0;
  //! Grows with every new connection: statements prepared under an older one are dropped.
  int Generation() const { return generation_; }

 protected:
  virtual void DoConnect() = 0;
  virtual void DoDisconnect() = 0;
  virtual std::unique_ptr<SqlStatement> DoPrepare(const std::string& sql, int parameter_count) = 0;
  //! Drivers call it in their destructors. Statements hold their own reference to the
  //! connection, so a statement that outlives the connection component stays safe to destroy.
  void DisconnectQuietly() noexcept;
  [[noreturn]] void Fail(const std::string& text) const;

 private:
  bool connected_ = false;
  int generation_ = 0;
};

//! SQL text with its ":name" parameters replaced by placeholders.
struct ParsedSql {
  std::string sql;                 //!< the text for the driver
  std::vector<std::string> names;  //!< parameter name of each placeholder, in order
};
//! Finds the ":name" parameters of sql outside quoted strings ('...'), quoted names ("..."),
//! comments (-- to the line end, /* ... */) and PostgreSQL's "::" casts, and replaces each by
//! placeholder(number).
ParsedSql ParseSqlParameters(std::string_view sql, const std::function<std::string(int)>& placeholder);

//! A query on a database: TSqlQuery in form files.
class TSqlQuery : public platform::DataSet {
  BRELIX_PERSISTENT_CLASS
 public:
  TSqlQuery();
  ~TSqlQuery() override;

  SqlDatabase* Database() const { return database_; }
  void SetDatabase(SqlDatabase* database);
  platform::StringList& SQL() { return sql_; }
  const platform::StringList& SQL() const { return sql_; }
  void SetSQL(const platform::StringList& sql);
  //! The master whose current record gives the parameters their values, or null.
  platform::DataSource* DataSource() const { return data_source_; }
  void SetDataSource(platform::DataSource* source);

  //! The parameter names of the SQL text, in order, each once.
  std::vector<std::string> ParamNames();
  //! Sets a parameter's value (case-insensitive name) for queries without a master; the value
  //! is used at the next open. An unknown name raises EDatabaseError.
  void SetParam(std::string_view name, platform::Variant value);

  void Notification(platform::Component& component, platform::Operation operation) override;

 protected:
  std::vector<Column> DoOpen() override;
  bool DoFetch(std::vector<platform::Variant>& row) override;
  void DoClose() override;
  void MasterChanged() override { Invalidate(); }

 private:
  void Unprepare();
  const ParsedSql& Parsed();
  std::vector<platform::Variant> ParameterValues();

  SqlDatabase* database_ = nullptr;
  platform::StringList sql_;
  platform::DataSource* data_source_ = nullptr;
  std::vector<std::pair<std::string, platform::Variant>> param_values_;
  std::unique_ptr<ParsedSql> parsed_;
  std::string parsed_text_;
  std::unique_ptr<SqlStatement> statement_;
  int statement_generation_ = 0;
};

}  // namespace brelix::data
