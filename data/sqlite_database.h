#pragma once
// The SQLite database: TSqliteDatabase in form files. It opens an existing database file
// (FileName, relative names resolved against the program's folder) and prepares the statements
// of the queries on it.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "data/sql_query.h"

struct sqlite3;

namespace brelix::data {

class TSqliteDatabase : public SqlDatabase {
  BRELIX_PERSISTENT_CLASS
 public:
  TSqliteDatabase() = default;
  ~TSqliteDatabase() override;

  const std::string& FileName() const { return file_name_; }
  //! Sets the database file; a connected database disconnects first.
  void SetFileName(const std::string& file_name);
  //! The file the database opens: FileName resolved against the program's folder.
  std::filesystem::path FullPath() const;

  //! "?1", "?2", ...
  std::string Placeholder(int number) const override;

  //! Runs SQL statements that return no rows (separated by ";"), connecting first when needed:
  //! creating tables, filling them, setting pragmas. A failure raises EDatabaseError with
  //! SQLite's text.
  void ExecuteScript(const std::string& sql);

  //! How many statements this database has prepared so far; queries re-use theirs, so this
  //! shows whether a detail query prepared once for all master records.
  std::int64_t PreparedCount() const { return prepared_count_; }

 protected:
  void DoConnect() override;
  void DoDisconnect() override;
  std::unique_ptr<SqlStatement> DoPrepare(const std::string& sql, int parameter_count) override;

 private:
  std::string file_name_;
  //! The open connection; statements share it, so it closes when the last of them is gone.
  std::shared_ptr<sqlite3> connection_;
  std::int64_t prepared_count_ = 0;
};

}  // namespace brelix::data
