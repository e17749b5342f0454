// Walking SQLite results through the dataset abstraction (TSqliteDatabase, TSqlQuery, Field::
// AsString) beside a plain sqlite3_step loop reading the same columns as text, and a master/
// detail walk both ways. The database is made once per run in a temporary folder.
//
//   bench_dataset --benchmark_filter=Walk            rows of 8 columns, 100,000 and 1,000,000
//   bench_dataset --benchmark_filter='Walk.*/100000' one size only (for peak memory)

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

#include "data/sql_query.h"
#include "data/sqlite_database.h"
#include "platform/component.h"
#include "platform/dataset.h"
#include "platform/files.h"

namespace {

using namespace brelix::platform;
using brelix::data::TSqliteDatabase;
using brelix::data::TSqlQuery;
namespace fs = std::filesystem;

constexpr int kRows = 1'000'000;
// The plain loops open the file as the driver does, so that the figures compare the reading.
constexpr int kOpenFlags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
constexpr int kMasters = 10'000;
constexpr int kDetailsPerMaster = 10;

const std::string kRowsSql = "select id, name, city, qty, price, amount, day, stamp from rows order by id limit ";
const char* const kMasterSql = "select id, name from masters order by id";
const std::string kDetailSql = "select item, qty, price from details where master_id = ";

void Check(sqlite3* db, int rc, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
    throw std::runtime_error(std::string(what) + ": " + sqlite3_errmsg(db));
}

void Exec(sqlite3* db, const char* sql) { Check(db, sqlite3_exec(db, sql, nullptr, nullptr, nullptr), sql); }

// The benchmark database: kRows rows of 8 columns (texts, integers, floats, a date and a date
// with time as ISO text), and masters with kDetailsPerMaster details each.
class BenchDatabase {
 public:
  BenchDatabase() {
    std::string pattern = TempFolder() + "brelix-bench-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a folder in " + TempFolder());
    folder_ = pattern;
    file_ = folder_ / "bench.db";
    sqlite3* db = nullptr;
    Check(db, sqlite3_open(file_.c_str(), &db), "open");
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> guard(db, sqlite3_close);
    Exec(db, "pragma journal_mode = off; pragma synchronous = off; begin");
    Exec(db,
         "create table rows (id integer primary key, name varchar(30), city text, qty integer, price real, "
         "amount numeric, day date, stamp datetime)");
    Fill(db, "insert into rows values (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)", kRows, [](sqlite3_stmt* s, int i) {
      static const char* const cities[] = {"Hamburg", "München", "Köln", "Frankfurt am Main", "Stuttgart"};
      const std::string name = "Customer number " + std::to_string(i);
      char day[16], stamp[24];
      std::snprintf(day, sizeof day, "20%02d-%02d-%02d", i % 30, i % 12 + 1, i % 28 + 1);
      std::snprintf(stamp, sizeof stamp, "20%02d-%02d-%02d %02d:%02d:%02d", i % 30, i % 12 + 1, i % 28 + 1, i % 24,
                    i % 60, (i * 7) % 60);
      sqlite3_bind_int(s, 1, i);
      sqlite3_bind_text(s, 2, name.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(s, 3, cities[i % 5], -1, SQLITE_STATIC);
      sqlite3_bind_int(s, 4, i % 1000);
      sqlite3_bind_double(s, 5, (i % 10000) / 100.0 + 0.01);
      sqlite3_bind_double(s, 6, i * 1.25);
      sqlite3_bind_text(s, 7, day, -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(s, 8, stamp, -1, SQLITE_TRANSIENT);
    });
    Exec(db, "create table masters (id integer primary key, name text)");
    Fill(db, "insert into masters values (?1, ?2)", kMasters, [](sqlite3_stmt* s, int i) {
      const std::string name = "Order " + std::to_string(i);
      sqlite3_bind_int(s, 1, i);
      sqlite3_bind_text(s, 2, name.c_str(), -1, SQLITE_TRANSIENT);
    });
    Exec(db, "create table details (id integer primary key, master_id integer, item text, qty integer, price real)");
    Fill(db, "insert into details values (?1, ?2, ?3, ?4, ?5)", kMasters * kDetailsPerMaster,
         [](sqlite3_stmt* s, int i) {
           const std::string item = "Item " + std::to_string(i % 977);
           sqlite3_bind_int(s, 1, i);
           sqlite3_bind_int(s, 2, i / kDetailsPerMaster);
           sqlite3_bind_text(s, 3, item.c_str(), -1, SQLITE_TRANSIENT);
           sqlite3_bind_int(s, 4, i % 50);
           sqlite3_bind_double(s, 5, (i % 3000) / 10.0);
         });
    Exec(db, "create index details_master on details (master_id, id); commit");
  }
  ~BenchDatabase() {
    std::error_code error;
    fs::remove_all(folder_, error);
  }
  BenchDatabase(const BenchDatabase&) = delete;
  BenchDatabase& operator=(const BenchDatabase&) = delete;

  const fs::path& File() const { return file_; }

 private:
  template <class Bind>
  static void Fill(sqlite3* db, const char* sql, int count, Bind bind) {
    sqlite3_stmt* s = nullptr;
    Check(db, sqlite3_prepare_v2(db, sql, -1, &s, nullptr), sql);
    for (int i = 0; i < count; ++i) {
      bind(s, i);
      Check(db, sqlite3_step(s), sql);
      sqlite3_reset(s);
    }
    sqlite3_finalize(s);
  }

  fs::path folder_;
  fs::path file_;
};

const BenchDatabase& Database() {
  static const BenchDatabase database;
  return database;
}

void SetSql(TSqlQuery& query, const std::string& sql) {
  StringList lines;
  lines.SetText(sql);
  query.SetSQL(lines);
}

// The abstraction: every field of every record as the text the report would write.
void BM_WalkDataSet(benchmark::State& state) {
  DataModule root;
  auto& db = root.Create<TSqliteDatabase>("Db");
  db.SetFileName(Database().File().string());
  auto& query = root.Create<TSqlQuery>("Rows");
  query.SetDatabase(&db);
  SetSql(query, kRowsSql + ":n");
  query.SetParam("n", Variant(static_cast<std::int64_t>(state.range(0))));
  std::int64_t rows = 0;
  for (auto _ : state) {
    query.Close();
    query.Open();
    std::size_t bytes = 0;
    const std::size_t fields = query.FieldCount();
    for (; !query.Eof(); query.Next()) {
      for (std::size_t i = 0; i < fields; ++i) bytes += query.Fields(i).AsString().size();
      ++rows;
    }
    benchmark::DoNotOptimize(bytes);
  }
  state.SetItemsProcessed(rows);
}

// The same rows read by hand: sqlite3_step and sqlite3_column_text for every column.
void BM_WalkPlainSqlite(benchmark::State& state) {
  sqlite3* db = nullptr;
  Check(db, sqlite3_open_v2(Database().File().c_str(), &db, kOpenFlags, nullptr), "open");
  sqlite3_stmt* s = nullptr;
  const std::string sql = kRowsSql + "?1";
  Check(db, sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr), sql.c_str());
  std::int64_t rows = 0;
  for (auto _ : state) {
    sqlite3_reset(s);
    sqlite3_bind_int64(s, 1, state.range(0));
    std::size_t bytes = 0;
    const int columns = sqlite3_column_count(s);
    while (sqlite3_step(s) == SQLITE_ROW) {
      for (int i = 0; i < columns; ++i) {
        const unsigned char* text = sqlite3_column_text(s, i);
        benchmark::DoNotOptimize(text);
        bytes += static_cast<std::size_t>(sqlite3_column_bytes(s, i));
      }
      ++rows;
    }
    benchmark::DoNotOptimize(bytes);
  }
  state.SetItemsProcessed(rows);
  sqlite3_finalize(s);
  sqlite3_close(db);
}

// Masters with their details through a TDataSource: the detail query re-runs for every master.
void BM_MasterDetailDataSet(benchmark::State& state) {
  DataModule root;
  auto& db = root.Create<TSqliteDatabase>("Db");
  db.SetFileName(Database().File().string());
  auto& masters = root.Create<TSqlQuery>("Masters");
  masters.SetDatabase(&db);
  SetSql(masters, kMasterSql);
  auto& source = root.Create<DataSource>("MastersSource");
  source.SetDataSet(&masters);
  auto& details = root.Create<TSqlQuery>("Details");
  details.SetDatabase(&db);
  details.SetDataSource(&source);
  SetSql(details, kDetailSql + ":id order by id");
  std::int64_t rows = 0;
  for (auto _ : state) {
    masters.Close();
    masters.Open();
    details.Open();
    std::size_t bytes = 0;
    for (; !masters.Eof(); masters.Next()) {
      bytes += masters.Fields(0).AsString().size() + masters.Fields(1).AsString().size();
      for (; !details.Eof(); details.Next()) {
        for (std::size_t i = 0; i < details.FieldCount(); ++i) bytes += details.Fields(i).AsString().size();
        ++rows;
      }
    }
    benchmark::DoNotOptimize(bytes);
  }
  state.SetItemsProcessed(rows);
  state.counters["prepared"] = static_cast<double>(db.PreparedCount());
}

void BM_MasterDetailPlainSqlite(benchmark::State& state) {
  sqlite3* db = nullptr;
  Check(db, sqlite3_open_v2(Database().File().c_str(), &db, kOpenFlags, nullptr), "open");
  sqlite3_stmt* master = nullptr;
  sqlite3_stmt* detail = nullptr;
  Check(db, sqlite3_prepare_v2(db, kMasterSql, -1, &master, nullptr), kMasterSql);
  const std::string detail_sql = kDetailSql + "?1 order by id";
  Check(db, sqlite3_prepare_v2(db, detail_sql.c_str(), -1, &detail, nullptr), detail_sql.c_str());
  std::int64_t rows = 0;
  for (auto _ : state) {
    sqlite3_reset(master);
    std::size_t bytes = 0;
    while (sqlite3_step(master) == SQLITE_ROW) {
      bytes += static_cast<std::size_t>(sqlite3_column_bytes(master, 1));
      benchmark::DoNotOptimize(sqlite3_column_text(master, 0));
      sqlite3_reset(detail);
      sqlite3_bind_int64(detail, 1, sqlite3_column_int64(master, 0));
      while (sqlite3_step(detail) == SQLITE_ROW) {
        for (int i = 0; i < 3; ++i) {
          benchmark::DoNotOptimize(sqlite3_column_text(detail, i));
          bytes += static_cast<std::size_t>(sqlite3_column_bytes(detail, i));
        }
        ++rows;
      }
    }
    benchmark::DoNotOptimize(bytes);
  }
  state.SetItemsProcessed(rows);
  sqlite3_finalize(detail);
  sqlite3_finalize(master);
  sqlite3_close(db);
}

BENCHMARK(BM_WalkDataSet)->Arg(100'000)->Arg(kRows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WalkPlainSqlite)->Arg(100'000)->Arg(kRows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MasterDetailDataSet)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MasterDetailPlainSqlite)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Database();  // made before the first measurement
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
