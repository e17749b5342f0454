#pragma once
// The PostgreSQL database: TPgDatabase in form files. It connects with a libpq connection string
// (ConnectionString: "host=... port=... dbname=... user=..." or a postgresql:// URI) and prepares
// the statements of the queries on it.
//
// Queries read their rows through server-side cursors, a batch at a time, so that a large result
// is never held in memory and a detail query can run while its master is still being read on
// the same connection. Cursors need a transaction: when none is open, the first query opens one
// and the last query to finish ends it.

#include <cstdint>
#include <memory>
#include <string>

#include "data/sql_query.h"

namespace brelix::data {

struct PgConnection;

class TPgDatabase : public SqlDatabase {
  BRELIX_PERSISTENT_CLASS
 public:
  TPgDatabase() = default;
  ~TPgDatabase() override;

  const std::string& ConnectionString() const { return connection_string_; }
  //! Sets the libpq connection string; a connected database disconnects first.
  void SetConnectionString(const std::string& connection_string);

  //! "$1", "$2", ...
  std::string Placeholder(int number) const override;

  //! Runs SQL statements without parameters (separated by ";"), connecting first when needed:
  //! creating tables, filling them, setting options. A failure raises EDatabaseError with the
  //! server's text.
  void ExecuteScript(const std::string& sql);

  //! How many statements this database has prepared so far; queries re-use theirs, so this
  //! shows whether a detail query prepared once for all master records.
  std::int64_t PreparedCount() const { return prepared_count_; }

  //! Rows a query asks the server for at a time.
  static constexpr int kFetchRows = 500;

 protected:
  void DoConnect() override;
  void DoDisconnect() override;
  std::unique_ptr<SqlStatement> DoPrepare(const std::string& sql, int parameter_count) override;

 private:
  std::string connection_string_;
  //! The open connection; statements share it, so it closes when the last of them is gone.
  std::shared_ptr<PgConnection> connection_;
  std::int64_t prepared_count_ = 0;
};

}  // namespace brelix::data
