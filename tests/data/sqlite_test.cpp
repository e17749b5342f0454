// The SQLite driver on a real database file made in a temporary folder: field types and their
// text forms, navigation, master/detail queries, nulls, bound parameters, errors with SQLite's
// own text, statements that outlive their connection, and a form file wiring it all up.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "data/sql_query.h"
#include "data/sqlite_database.h"
#include "platform/component.h"
#include "platform/dataset.h"
#include "platform/files.h"
#include "platform/form_reader.h"
#include "platform/locale.h"

using namespace brelix::platform;
using brelix::data::TSqliteDatabase;
using brelix::data::TSqlQuery;
namespace fs = std::filesystem;

namespace {

// Customers in three regions, their orders (customer 5 has none), and dates, booleans and
// integers stored in the other forms SQLite applications use.
const char* const kShop = R"sql(
  create table customers (id integer primary key, name varchar(40), region text, balance real,
                          credit numeric(10, 2), active boolean, born date, wake time,
                          seen datetime, photo blob, big bigint);
  insert into customers values
    (1, 'Müller & Söhne „日本“', 'North', 1234.5, 12.25, 1, '2026-12-31', '09:30:05',
     '2026-12-31 15:04:05', x'414243', 9007199254740993),
    (2, 'O''Brien', 'North', -0.125, 100, 0, '1999-01-02', '23:59:59', '2000-02-29 00:00:00', null, 0),
    (3, 'Zed', 'South', 1e20, 0.5, 'true', '1900-01-01', '00:00:00', '1899-12-29 06:00:00', x'', -1),
    (4, null, 'South', null, null, null, null, null, null, null, null),
    (5, 'Ohne Bestellung', 'West', 0, 0, 0, '2026-01-01', '12:00:00', '2026-01-01 12:00:00', null, 5);
  create table orders (id integer primary key, customer_id integer, item text, qty integer);
  insert into orders (customer_id, item, qty) values
    (1, 'Apfel', 3), (1, 'Birne', 1), (2, 'Kiwi', 7), (3, 'Pflaume', 2), (4, 'Traube', 1);
  create table stamps (n integer, at datetime, flag boolean, qty integer);
  insert into stamps values
    (1, '2026-12-31 15:04:05', 'true', 'n/a'),
    (2, '2026-12-31T15:04:05Z', 'FALSE', 5),
    (3, julianday('2026-12-31 15:04:05'), 1, 2.5),
    (4, unixepoch('2026-12-31 15:04:05'), 0, -7),
    (5, '2026-12-31 15:04:05.250', 7, 0),
    (6, 'soon', 'maybe', null);
)sql";

// A folder of its own under the temporary folder, removed with everything in it.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = TempFolder() + "brelix-sqlite-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a folder in " + TempFolder());
    path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code error;
    fs::remove_all(path_, error);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

// The database opens existing files only; SQLite reads an empty file as an empty database.
void CreateDatabase(const fs::path& file, const char* sql) {
  std::ofstream(file, std::ios::binary).flush();
  TSqliteDatabase maker;
  maker.SetFileName(file.string());
  maker.ExecuteScript(sql);
}

struct LocaleGuard {
  explicit LocaleGuard(const char* tag) { SetCurrentLocale(tag); }
  ~LocaleGuard() { SetCurrentLocale("en-US"); }
};

// The message of the EDatabaseError that action raises ("" when it raises none).
std::string DatabaseError(const std::function<void()>& action) {
  try {
    action();
  } catch (const EDatabaseError& e) {
    return e.what();
  }
  return "";
}

class SqliteTest : public ::testing::Test {
 protected:
  SqliteTest() {
    CreateDatabase(File(), kShop);
    db_.SetFileName(File().string());
  }

  fs::path File() const { return folder_.Path() / "shop.db"; }

  TSqlQuery& Query(const char* name, const std::string& sql, DataSource* master = nullptr) {
    auto& query = root_.Create<TSqlQuery>(name);
    query.SetDatabase(&db_);
    StringList text;
    text.SetText(sql);
    query.SetSQL(text);
    if (master) query.SetDataSource(master);
    return query;
  }

  DataSource& SourceOf(DataSet& dataset) {
    auto& source = root_.Create<DataSource>(dataset.Name() + "Source");
    source.SetDataSet(&dataset);
    return source;
  }

  // "id: item qty, item qty" for every master record, walking master and detail.
  static std::vector<std::string> Walk(DataSet& master, DataSet& detail) {
    std::vector<std::string> lines;
    for (master.First(); !master.Eof(); master.Next()) {
      std::string line = master.FieldByName("id").AsString() + ":";
      for (detail.First(); !detail.Eof(); detail.Next())
        line += " " + detail.FieldByName("item").AsString() + " " + detail.FieldByName("qty").AsString();
      lines.push_back(line);
    }
    return lines;
  }

  ScratchFolder folder_;
  DataModule root_;
  TSqliteDatabase& db_ = root_.Create<TSqliteDatabase>("Db");
};

TEST_F(SqliteTest, FieldsTakeTheirTypeFromTheDeclaredColumnTypeAndShowInTheUsersLanguage) {
  TSqlQuery& q = Query("Customers",
                       "select id, name, balance, credit, active, born, wake, seen, photo, big, "
                       "id * 2 as twice, balance / 2 as half from customers where id = 1");
  q.Open();
  struct Case {
    const char* field;
    FieldType type;
    const char* en;
    const char* de;
  } cases[] = {
      {"id", FieldType::Integer, "1", "1"},
      {"name", FieldType::String, "Müller & Söhne „日本“", "Müller & Söhne „日本“"},
      {"balance", FieldType::Float, "1234.5", "1234,5"},
      {"credit", FieldType::Currency, "12.25", "12,25"},
      {"active", FieldType::Boolean, "True", "True"},
      {"born", FieldType::Date, "12/31/2026", "31.12.2026"},
      {"wake", FieldType::Time, "09:30:05", "09:30:05"},
      {"seen", FieldType::DateTime, "12/31/2026 15:04:05", "31.12.2026 15:04:05"},
      {"photo", FieldType::Blob, "ABC", "ABC"},
      {"big", FieldType::Integer, "9007199254740993", "9007199254740993"},
      {"twice", FieldType::Integer, "2", "2"},  // an expression: typed by its first value
      {"half", FieldType::Float, "617.25", "617,25"},
  };
  ASSERT_EQ(q.FieldCount(), std::size(cases));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    const Field& f = q.FieldByName(c.field);
    EXPECT_EQ(FieldTypeName(f.DataType()), std::string(FieldTypeName(c.type)));
    EXPECT_EQ(f.AsString(), c.en);
    LocaleGuard german("de-DE");
    EXPECT_EQ(f.AsString(), c.de);
  }
  EXPECT_EQ(q.FieldByName("balance").AsFloat(), 1234.5);
  EXPECT_EQ(q.FieldByName("big").Value().AsInteger(), 9007199254740993);
  EXPECT_EQ(q.FieldByName("born").Value().AsDateTime(), DateTime::FromDate(2026, 12, 31));
}

TEST_F(SqliteTest, ValuesStoredInOtherFormsReadByTheColumnType) {
  TSqlQuery& q = Query("Stamps", "select at, flag, qty from stamps order by n");
  q.Open();
  std::vector<std::string> rows;
  for (; !q.Eof(); q.Next())
    rows.push_back(q.Fields(0).AsString() + " | " + q.Fields(1).AsString() + " | " + q.Fields(2).AsString());
  const std::vector<std::string> expected = {
      "12/31/2026 15:04:05 | True | n/a",   // ISO text; a text in an integer column stays text
      "12/31/2026 15:04:05 | False | 5",    // "T" and "Z"
      "12/31/2026 15:04:05 | True | 2.5",   // a julian day number; a real in an integer column
      "12/31/2026 15:04:05 | False | -7",   // seconds since 1970
      "12/31/2026 15:04:05 | True | 0",     // fractions of seconds; any non-zero number is true
      "soon | maybe | ",                    // no date, no boolean: the text as it is
  };
  EXPECT_EQ(rows, expected);
}

TEST_F(SqliteTest, NullsShowAsEmptyTextAndZero) {
  TSqlQuery& q = Query("Customers", "select * from customers where id = 4");
  q.Open();
  for (std::size_t i = 0; i < q.FieldCount(); ++i) {
    const Field& f = q.Fields(i);
    if (f.FieldName() == "id" || f.FieldName() == "region") continue;
    SCOPED_TRACE(f.FieldName());
    EXPECT_TRUE(f.IsNull());
    EXPECT_EQ(f.AsString(), "");
    EXPECT_EQ(f.AsFloat(), 0);
  }
}

TEST_F(SqliteTest, DatesBeforeTheSerialEpochAndEmptyBlobs) {
  TSqlQuery& q = Query("Customers", "select seen, wake, photo, born from customers where id = 3");
  q.Open();
  EXPECT_EQ(q.FieldByName("seen").Value().AsDateTime().serial, -1.25);
  EXPECT_EQ(q.FieldByName("seen").AsString(), "12/29/1899 06:00:00");
  EXPECT_EQ(q.FieldByName("wake").AsString(), "00:00:00");
  EXPECT_EQ(q.FieldByName("born").AsString(), "1/1/1900");
  EXPECT_FALSE(q.FieldByName("photo").IsNull());
  EXPECT_EQ(q.FieldByName("photo").AsString(), "");
}

TEST_F(SqliteTest, NavigationWithPriorAtTheStartAndAtAGroupBreak) {
  TSqlQuery& q = Query("Customers", "select id, region from customers order by region, id");
  q.Open();
  Field& id = q.FieldByName("id");
  Field& region = q.FieldByName("region");
  EXPECT_TRUE(q.Bof());
  q.Prior();
  EXPECT_TRUE(q.Bof());
  EXPECT_EQ(id.AsString(), "1");
  // Walk to the first record of the next region, look back at the end of the last group.
  std::string previous = region.AsString();
  while (!q.Eof() && region.AsString() == previous) q.Next();
  EXPECT_EQ(id.AsString(), "3");
  q.Prior();
  EXPECT_EQ(region.AsString(), "North");
  EXPECT_EQ(id.AsString(), "2");
  q.Next();
  EXPECT_EQ(id.AsString(), "3");
  EXPECT_EQ(q.RecNo(), 3);
  while (!q.Eof()) q.Next();
  EXPECT_EQ(id.AsString(), "5");  // the last record stays current
  EXPECT_EQ(q.RecNo(), 5);
  q.First();
  EXPECT_EQ(id.AsString(), "1");
  EXPECT_FALSE(q.IsEmpty());
}

TEST_F(SqliteTest, DetailQueriesFollowTheMasterAndReuseTheirStatement) {
  TSqlQuery& customers = Query("Customers", "select id, name from customers order by id");
  TSqlQuery& orders =
      Query("Orders", "select item, qty from orders where customer_id = :ID order by id", &SourceOf(customers));
  customers.Open();
  orders.Open();
  const std::vector<std::string> expected = {"1: Apfel 3 Birne 1", "2: Kiwi 7", "3: Pflaume 2", "4: Traube 1", "5:"};
  EXPECT_EQ(Walk(customers, orders), expected);
  EXPECT_TRUE(orders.IsEmpty());  // customer 5 has no orders
  EXPECT_TRUE(orders.Eof());
  EXPECT_TRUE(orders.FieldByName("item").IsNull());
  EXPECT_EQ(Walk(customers, orders), expected);
  EXPECT_EQ(db_.PreparedCount(), 2);  // one statement for the master, one for every detail run
}

TEST_F(SqliteTest, AMasterWithoutRecordsLeavesTheDetailEmpty) {
  TSqlQuery& customers = Query("Customers", "select id from customers where id < 0");
  TSqlQuery& orders = Query("Orders", "select item, qty from orders where customer_id = :id", &SourceOf(customers));
  customers.Open();
  orders.Open();
  EXPECT_TRUE(customers.IsEmpty());
  EXPECT_TRUE(orders.IsEmpty());
  EXPECT_TRUE(orders.Eof());
  EXPECT_TRUE(Walk(customers, orders).empty());
}

TEST_F(SqliteTest, ParametersAreBoundNotPasted) {
  struct Case {
    const char* sql;
    Variant value;
    const char* first;  // the first field of the first row; "" for no row
  } cases[] = {
      {"select name from customers where name = :p", "O'Brien", "O'Brien"},
      {"select name from customers where name = :p", "x' or '1'='1", ""},
      {"select name from customers where name = :p", "Müller & Söhne „日本“", "Müller & Söhne „日本“"},
      {"select name from customers where id = :p", Variant(std::int64_t{2}), "O'Brien"},
      {"select name from customers where balance > :p", 1e19, "Zed"},
      {"select name from customers where active = :p", false, "O'Brien"},
      {"select name from customers where born = :p", DateTime::FromDate(1999, 1, 2), "O'Brien"},
      {"select name from customers where seen = :p", DateTime::FromDateTime(2026, 12, 31, 15, 4, 5), "Müller & Söhne „日本“"},
      {"select count(*) from customers where name is :p", Variant::MakeNull(), "1"},
      {"select count(*) from customers where name = ':p' or id = :p", Variant(std::int64_t{5}), "1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    TSqlQuery query;
    query.SetDatabase(&db_);
    StringList text;
    text.SetText(c.sql);
    query.SetSQL(text);
    query.SetParam("P", c.value);
    query.Open();
    EXPECT_EQ(query.IsEmpty() ? "" : query.Fields(0).AsString(), c.first);
  }
}

TEST_F(SqliteTest, ErrorsNameTheComponentsAndCarrySqlitesText) {
  std::ofstream(folder_.Path() / "notes.db") << "these are notes, not a database\n";
  struct Case {
    const char* what;
    std::function<void()> action;
    std::vector<std::string> parts;
  } cases[] = {
      {"missing file",
       [&] {
         db_.SetFileName("missing.db");
         db_.SetConnected(true);
       },
       {"Db: ", (ProgramFolder() / "missing.db").string(), "does not exist"}},
      {"no database", [&] { db_.SetFileName((folder_.Path() / "notes.db").string()); db_.SetConnected(true); },
       {"Db: ", (folder_.Path() / "notes.db").string(), "file is not a database"}},
      {"no file name", [&] { db_.SetFileName(""); db_.SetConnected(true); }, {"Db: no FileName is set"}},
      {"unknown table", [&] { Query("Q", "select * from nowhere").Open(); },
       {"Q: Db: cannot prepare SQL: no such table: nowhere"}},
      {"syntax", [&] { Query("Q", "selec 1").Open(); }, {"Q: Db: cannot prepare SQL: ", "near \"selec\": syntax error"}},
      {"failing step", [&] { Query("Q", "select abs(-9223372036854775807 - 1)").Open(); },
       {"Q: Db: cannot run SQL: integer overflow"}},
      {"two statements", [&] { Query("Q", "select 1; select 2").Open(); }, {"Q: Db: ", "more than one statement"}},
      {"own placeholders", [&] { Query("Q", "select * from customers where id = ?").Open(); },
       {"Q: Db: ", "placeholders of its own"}},
      {"detail parameter without a master field",
       [&] {
         TSqlQuery& customers = Query("Customers", "select id from customers");
         customers.Open();
         Query("Orders", "select * from orders where customer_id = :customer", &SourceOf(customers)).Open();
       },
       {"Orders: parameter :customer has no field of that name in the master Customers"}},
      {"script", [&] { db_.ExecuteScript("insert into nowhere values (1)"); },
       {"Db: cannot run SQL: no such table: nowhere"}},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string message = DatabaseError(c.action);
    ASSERT_FALSE(message.empty());
    for (const std::string& part : c.parts) EXPECT_NE(message.find(part), std::string::npos) << message;
    // Leave a working database and no queries for the next case.
    while (root_.ComponentCount() > 1) root_.DestroyComponent(root_.Components(1));
    db_.SetFileName(File().string());
  }
  EXPECT_FALSE(fs::exists(ProgramFolder() / "missing.db"));  // a missing file is not created
}

TEST_F(SqliteTest, StatementsOutliveTheirConnection) {
  TSqlQuery& q = Query("Customers", "select id from customers order by id");
  q.Open();
  db_.SetConnected(false);
  q.Next();
  EXPECT_EQ(q.FieldByName("id").AsString(), "2");  // the open result still reads
  q.Refresh();                                     // reconnects and prepares again
  EXPECT_TRUE(db_.Connected());
  EXPECT_EQ(db_.PreparedCount(), 2);
  EXPECT_EQ(q.FieldByName("id").AsString(), "1");
  root_.DestroyComponent(db_);
  EXPECT_FALSE(q.Active());
  EXPECT_NE(DatabaseError([&] { q.Open(); }).find("no database"), std::string::npos);
}

TEST_F(SqliteTest, AFormFileWiresDatabaseQueriesAndDataSource) {
  const char* form = R"(object Shop: TDataModule
  object Db: TSqliteDatabase
    FileName = 'shop.db'
  end
  object Customers: TSqlQuery
    Database = Db
    SQL.Strings = (
      'select id, name from customers'
      'where region <> ''West'''
      'order by id')
  end
  object CustomersSource: TDataSource
    DataSet = Customers
  end
  object Orders: TSqlQuery
    Database = Db
    DataSource = CustomersSource
    SQL.Strings = (
      'select item, qty from orders where customer_id = :id order by id')
  end
end
)";
  SetProgramFolder(folder_.Path());
  struct RestoreFolder {
    ~RestoreFolder() { SetProgramFolder({}); }
  } restore;
  std::unique_ptr<Component> shop = LoadFormText(form, folder_.Path() / "shop.form");
  auto& db = dynamic_cast<TSqliteDatabase&>(*shop->FindComponent("Db"));
  EXPECT_EQ(db.FileName(), "shop.db");
  EXPECT_EQ(db.FullPath(), File());
  auto& customers = dynamic_cast<TSqlQuery&>(*shop->FindComponent("Customers"));
  auto& orders = dynamic_cast<TSqlQuery&>(*shop->FindComponent("Orders"));
  customers.Open();
  orders.Open();
  const std::vector<std::string> expected = {"1: Apfel 3 Birne 1", "2: Kiwi 7", "3: Pflaume 2", "4: Traube 1"};
  EXPECT_EQ(Walk(customers, orders), expected);
}

}  // namespace
