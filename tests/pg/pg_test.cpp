// The PostgreSQL driver against a real server (the private one scripts/pg-test-server.sh starts
// for the pg fixture): field types and their text forms, navigation, master/detail queries
// sharing one connection, nulls, bound parameters, streaming of large results, errors with the
// server's own text, statements that outlive their connection, and a form file.
//
// Each test has its own connection, so its temporary tables are its own.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "data/pg_database.h"
#include "data/sql_query.h"
#include "platform/component.h"
#include "platform/dataset.h"
#include "platform/form_reader.h"
#include "platform/locale.h"

using namespace brelix::platform;
using brelix::data::TPgDatabase;
using brelix::data::TSqlQuery;

namespace {

// Orders of three customers; order 3 has no items.
const char* const kShop = R"sql(
  set time zone 'UTC';
  create temp table orders (order_no int primary key, customer text, region text);
  insert into orders values (1, 'Müller & Söhne „日本“', 'North'), (2, 'O''Brien', 'North'),
                            (3, 'Zed', 'South'), (4, 'Ånström', 'South');
  create temp table items (order_no int, item text, qty int);
  insert into items values (1, 'Apfel', 3), (1, 'Birne', 1), (2, 'Kiwi', 7), (4, 'Traube', 2);
)sql";

bool InCi() {
  const char* ci = std::getenv("CI");
  return ci && *ci && std::string(ci) != "false" && std::string(ci) != "0";
}

// The connection string of the test server, or "" with the reason in why.
std::string TestConnInfo(std::string& why) {
  const char* file = std::getenv("BRELIX_PG_CONNINFO_FILE");
  if (!file || !*file) {
    why = "BRELIX_PG_CONNINFO_FILE is not set (run the tests through ctest)";
    return "";
  }
  std::ifstream in(file);
  std::string conninfo;
  if (!in || !std::getline(in, conninfo) || conninfo.empty()) {
    why = std::string("no connection string in ") + file + " (scripts/pg-test-server.sh start writes it)";
    return "";
  }
  return conninfo;
}

struct LocaleGuard {
  explicit LocaleGuard(const char* tag) : before(CurrentLocale().tag) { SetCurrentLocale(tag); }
  ~LocaleGuard() { SetCurrentLocale(before); }
  std::string before;
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

// A port on 127.0.0.1 that nothing listens on: one the system just gave out and took back.
int ClosedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    close(fd);
    return 1;
  }
  close(fd);
  return ntohs(address.sin_port);
}

// The resident memory of this process.
long ResidentBytes() {
  long pages = 0, resident = 0;
  std::ifstream("/proc/self/statm") >> pages >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

class PgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    conninfo_ = TestConnInfo(why);
    if (conninfo_.empty()) {
      if (InCi()) FAIL() << "PostgreSQL test server not available: " << why;
      GTEST_SKIP() << "PostgreSQL test server not available: " << why;
    }
    db_.SetConnectionString(conninfo_);
    db_.ExecuteScript(kShop);
  }

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

  // "order_no: item qty, item qty" for every master record, walking master and detail.
  static std::vector<std::string> Walk(DataSet& master, DataSet& detail) {
    std::vector<std::string> lines;
    for (master.First(); !master.Eof(); master.Next()) {
      std::string line = master.FieldByName("order_no").AsString() + ":";
      for (detail.First(); !detail.Eof(); detail.Next())
        line += " " + detail.FieldByName("item").AsString() + " " + detail.FieldByName("qty").AsString();
      lines.push_back(line);
    }
    return lines;
  }

  std::string conninfo_;
  DataModule root_;
  TPgDatabase& db_ = root_.Create<TPgDatabase>("Db");
};

TEST_F(PgTest, FieldsTakeTheirTypeFromTheColumnTypeAndShowInTheUsersLanguage) {
  struct Case {
    const char* expression;
    FieldType type;
    const char* en;
    const char* de;
  } cases[] = {
      {"true", FieldType::Boolean, "True", "True"},
      {"7::int2", FieldType::Integer, "7", "7"},
      {"(-2147483648)::int4", FieldType::Integer, "-2147483648", "-2147483648"},
      {"9007199254740993::int8", FieldType::Integer, "9007199254740993", "9007199254740993"},
      {"0.1::float4", FieldType::Float, "0.1", "0,1"},
      {"1234.5::float8", FieldType::Float, "1234.5", "1234,5"},
      {"1e20::float8", FieldType::Float, "1E+20", "1E+20"},
      {"12345.67::numeric(10, 2)", FieldType::Currency, "12345.67", "12345,67"},
      {"(-1234.5)::money", FieldType::Currency, "-1234.5", "-1234,5"},
      {"date '2026-12-31'", FieldType::Date, "12/31/2026", "31.12.2026"},
      {"date 'infinity'", FieldType::Date, "infinity", "infinity"},  // no serial: the text
      {"time '09:30:05'", FieldType::Time, "09:30:05", "09:30:05"},
      {"timetz '23:59:59+02'", FieldType::Time, "23:59:59", "23:59:59"},
      {"timestamp '2026-12-31 15:04:05'", FieldType::DateTime, "12/31/2026 15:04:05", "31.12.2026 15:04:05"},
      // Shown in the session's time zone (UTC here).
      {"timestamptz '2026-12-31 15:04:05.4+01'", FieldType::DateTime, "12/31/2026 14:04:05", "31.12.2026 14:04:05"},
      {"timestamp '1899-12-29 06:00'", FieldType::DateTime, "12/29/1899 06:00:00", "29.12.1899 06:00:00"},
      {"'\\x414243'::bytea", FieldType::Blob, "ABC", "ABC"},
      {"'Grüße, 日本語 😀'::text", FieldType::String, "Grüße, 日本語 😀", "Grüße, 日本語 😀"},
      {"'ab'::char(4)", FieldType::String, "ab  ", "ab  "},
      {"'ab'::varchar(9)", FieldType::String, "ab", "ab"},
      {"interval '1 day 02:00'", FieldType::String, "1 day 02:00:00", "1 day 02:00:00"},
      {"'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11'::uuid", FieldType::String, "a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11",
       "a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11"},
  };
  std::string sql = "select ";
  for (std::size_t i = 0; i < std::size(cases); ++i)
    sql += (i ? ", " : "") + std::string(cases[i].expression) + " as c" + std::to_string(i);
  TSqlQuery& q = Query("Values", sql);
  q.Open();
  ASSERT_EQ(q.FieldCount(), std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.expression);
    const Field& f = q.Fields(i);
    EXPECT_EQ(FieldTypeName(f.DataType()), std::string(FieldTypeName(c.type)));
    EXPECT_EQ(f.AsString(), c.en);
    LocaleGuard german("de-DE");
    EXPECT_EQ(f.AsString(), c.de);
  }
  EXPECT_EQ(q.Fields(3).Value().AsInteger(), 9007199254740993);
  EXPECT_EQ(q.Fields(5).AsFloat(), 1234.5);
  EXPECT_EQ(q.Fields(9).Value().AsDateTime(), DateTime::FromDate(2026, 12, 31));
  EXPECT_EQ(q.Fields(15).Value().AsDateTime().serial, -1.25);
  EXPECT_EQ(q.Fields(0).Value().AsBoolean(), true);
}

TEST_F(PgTest, NullsKeepTheirColumnTypeAndShowAsEmptyTextAndZero) {
  TSqlQuery& q = Query("Nulls", "select null::int as i, null::text as t, null::date as d, null::bool as b, "
                                "null::numeric as n, null::bytea as x");
  q.Open();
  const FieldType types[] = {FieldType::Integer, FieldType::String, FieldType::Date,
                             FieldType::Boolean, FieldType::Currency, FieldType::Blob};
  ASSERT_EQ(q.FieldCount(), std::size(types));
  for (std::size_t i = 0; i < q.FieldCount(); ++i) {
    const Field& f = q.Fields(i);
    SCOPED_TRACE(f.FieldName());
    EXPECT_EQ(f.DataType(), types[i]);
    EXPECT_TRUE(f.IsNull());
    EXPECT_EQ(f.AsString(), "");
    EXPECT_EQ(f.AsFloat(), 0);
  }
}

TEST_F(PgTest, NavigationWithPriorAtTheStartAndAtAGroupBreak) {
  TSqlQuery& q = Query("Orders", "select order_no, region from orders order by region, order_no");
  q.Open();
  Field& no = q.FieldByName("order_no");
  Field& region = q.FieldByName("region");
  EXPECT_TRUE(q.Bof());
  q.Prior();
  EXPECT_TRUE(q.Bof());
  EXPECT_EQ(no.AsString(), "1");
  const std::string first_region = region.AsString();
  while (!q.Eof() && region.AsString() == first_region) q.Next();
  EXPECT_EQ(no.AsString(), "3");
  q.Prior();  // back across the group break
  EXPECT_EQ(region.AsString(), "North");
  EXPECT_EQ(no.AsString(), "2");
  q.Next();
  EXPECT_EQ(no.AsString(), "3");
  EXPECT_EQ(q.RecNo(), 3);
  while (!q.Eof()) q.Next();
  EXPECT_EQ(no.AsString(), "4");  // the last record stays current
  q.First();
  EXPECT_EQ(no.AsString(), "1");
}

TEST_F(PgTest, DetailQueriesFollowTheMasterAndReuseTheirStatement) {
  TSqlQuery& orders = Query("Orders", "select order_no, customer from orders order by order_no");
  TSqlQuery& items =
      Query("Items", "select item, qty from items where order_no = :Order_No order by item", &SourceOf(orders));
  orders.Open();
  items.Open();
  const std::vector<std::string> expected = {"1: Apfel 3 Birne 1", "2: Kiwi 7", "3:", "4: Traube 2"};
  EXPECT_EQ(Walk(orders, items), expected);
  EXPECT_EQ(Walk(orders, items), expected);
  orders.First();
  orders.Next();
  orders.Next();  // order 3 has no items
  EXPECT_TRUE(items.IsEmpty());
  EXPECT_TRUE(items.Eof());
  EXPECT_TRUE(items.FieldByName("item").IsNull());
  EXPECT_EQ(db_.PreparedCount(), 2);  // one statement for the master, one for every detail run
}

TEST_F(PgTest, DetailsRunWhileALargeMasterIsStillBeingRead) {
  // The master spans several fetches; every detail run shares the master's connection.
  TSqlQuery& numbers = Query("Numbers", "select n as order_no from generate_series(1, 1100) n");
  TSqlQuery& parts = Query("Parts", "select m as item, :order_no::int * m as qty from generate_series(1, :order_no % 3) m",
                           &SourceOf(numbers));
  numbers.Open();
  parts.Open();
  std::int64_t masters = 0, details = 0, sum = 0;
  for (; !numbers.Eof(); numbers.Next(), ++masters)
    for (parts.First(); !parts.Eof(); parts.Next(), ++details) sum += parts.FieldByName("qty").Value().AsInteger();
  EXPECT_EQ(masters, 1100);
  EXPECT_EQ(details, 1101);  // n % 3 rows for each n: 0 for every third
  std::int64_t expected_sum = 0;
  for (int n = 1; n <= 1100; ++n)
    for (int m = 1; m <= n % 3; ++m) expected_sum += n * m;
  EXPECT_EQ(sum, expected_sum);
  EXPECT_EQ(db_.PreparedCount(), 2);
}

TEST_F(PgTest, AMasterWithoutRecordsLeavesTheDetailEmpty) {
  TSqlQuery& orders = Query("Orders", "select order_no from orders where order_no < 0");
  TSqlQuery& items = Query("Items", "select item, qty from items where order_no = :order_no", &SourceOf(orders));
  orders.Open();
  items.Open();
  EXPECT_TRUE(orders.IsEmpty());
  EXPECT_TRUE(items.IsEmpty());
  EXPECT_TRUE(Walk(orders, items).empty());
}

TEST_F(PgTest, ParametersAreBoundNotPastedInEveryLanguage) {
  struct Case {
    const char* sql;
    Variant value;
    const char* result;  // the first field of the first row, as text; "" for no row
  } cases[] = {
      {"select :p::text", "O'Brien'; drop table orders; --", "O'Brien'; drop table orders; --"},
      {"select customer from orders where customer = :p", "O'Brien", "O'Brien"},
      {"select customer from orders where customer = :p", "x' or '1'='1", ""},
      {"select order_no from orders where customer = :p", "Müller & Söhne „日本“", "1"},
      {"select :p::text = 'Grüße, 日本語 😀'", "Grüße, 日本語 😀", "True"},
      {"select :p::int8 + 1", Variant(std::int64_t{9007199254740992}), "9007199254740993"},
      {"select :p::float8 = 0.30000000000000004", 0.1 + 0.2, "True"},  // full precision, a point
      {"select :p::float8 = 'Infinity'", HUGE_VAL, "True"},
      {"select :p::numeric = 1234.5", 1234.5, "True"},
      {"select not :p::bool", false, "True"},
      {"select :p::date = date '1999-01-02'", DateTime::FromDate(1999, 1, 2), "True"},
      {"select :p::timestamp = timestamp '2026-12-31 15:04:05.25'", DateTime::FromDateTime(2026, 12, 31, 15, 4, 5.25),
       "True"},
      {"select :p::timestamp = timestamp '1899-12-29 06:00'", DateTime{-1.25}, "True"},
      {"select :p::time = time '06:00'", DateTime{0.25}, "True"},
      {"select :p::int is null", Variant::MakeNull(), "True"},
      {"select ':p' || :p::text || '::int'", "x", ":px::int"},  // quoted text is no parameter
      {"select count(*) from orders where region = :p::text::varchar(5) or order_no = :p::int", "2", "1"},
  };
  for (const char* tag : {"en-US", "de-DE"}) {
    LocaleGuard locale(tag);
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(tag) + ": " + c.sql);
      TSqlQuery query;
      query.SetDatabase(&db_);
      StringList text;
      text.SetText(c.sql);
      query.SetSQL(text);
      query.SetParam("P", c.value);
      query.Open();
      EXPECT_EQ(query.IsEmpty() ? "" : query.Fields(0).AsString(), c.result);
    }
  }
  TSqlQuery& orders = Query("Orders", "select count(*) as n from orders");
  orders.Open();
  EXPECT_EQ(orders.FieldByName("n").AsString(), "4");  // nothing was dropped
}

TEST_F(PgTest, LargeResultsStreamWithoutBeingHeld) {
  const long before = ResidentBytes();
  long peak = before;
  TSqlQuery& q = Query("Big", "select n, repeat('x', 200) as pad from generate_series(1, 200000) n");
  q.Open();
  std::int64_t count = 0, sum = 0;
  for (; !q.Eof(); q.Next()) {
    ++count;
    sum += q.Fields(0).Value().AsInteger();
    if (count % 10000 == 0) peak = std::max(peak, ResidentBytes());
  }
  EXPECT_EQ(count, 200000);
  EXPECT_EQ(sum, std::int64_t{200000} * 200001 / 2);
  EXPECT_EQ(q.Fields(1).AsString().size(), 200u);
#if !defined(__SANITIZE_ADDRESS__)
  // Held whole, the rows would take some 50 MB; streamed, a fetch at a time.
  EXPECT_LT(peak - before, 16L << 20) << "resident memory grew while walking the rows";
#endif

  // Closing a result before its end leaves the connection ready for the next query.
  q.Close();
  q.Open();
  q.Next();
  EXPECT_EQ(q.Fields(0).AsString(), "2");
  q.Close();
  TSqlQuery& orders = Query("Orders", "select count(*) as n from orders");
  orders.Open();
  EXPECT_EQ(orders.FieldByName("n").AsString(), "4");
}

TEST_F(PgTest, RowsArriveBeforeALaterRowFails) {
  // A result read at once would fail on open; a streamed one fails where the bad row comes.
  TSqlQuery& q = Query("Q", "select 1000 / (1600 - n) as r from generate_series(1, 2000) n");
  q.Open();
  std::int64_t read = 1;
  const std::string message = DatabaseError([&] {
    for (; !q.Eof(); q.Next()) ++read;
  });
  EXPECT_NE(message.find("division by zero"), std::string::npos) << message;
  EXPECT_GE(read, TPgDatabase::kFetchRows);
  EXPECT_LT(read, 1600);
  q.Close();
  TSqlQuery& orders = Query("Orders", "select count(*) as n from orders");
  orders.Open();  // the failed transaction is gone
  EXPECT_EQ(orders.FieldByName("n").AsString(), "4");
}

TEST_F(PgTest, StatementsThatAreNoQueriesRunAtOnce) {
  TSqlQuery& insert = Query("Insert", "insert into items values (:no, :item, 1) returning item, qty");
  insert.SetParam("no", 9);
  insert.SetParam("item", "Quitte");
  insert.Open();
  EXPECT_EQ(insert.FieldByName("item").AsString(), "Quitte");
  insert.Close();
  TSqlQuery& show = Query("Show", "show DateStyle");
  show.Open();
  EXPECT_EQ(show.Fields(0).AsString(), "ISO, MDY");
}

TEST_F(PgTest, ErrorsNameTheComponentsAndCarryTheServersText) {
  const std::string closed = "host=127.0.0.1 port=" + std::to_string(ClosedPort()) + " password=Sesame123 connect_timeout=5";
  const std::string wrong_password = conninfo_ + " password=NotTheRightOne";
  struct Case {
    const char* what;
    std::function<void()> action;
    std::vector<std::string> parts;
    std::string secret = {};  // must not show
  } cases[] = {
      {"closed port",
       [&] {
         db_.SetConnectionString(closed);
         db_.SetConnected(true);
       },
       {"Db: cannot connect: ", "127.0.0.1", "Connection refused"},
       "Sesame123"},
      {"wrong password",
       [&] {
         db_.SetConnectionString(wrong_password);
         db_.SetConnected(true);
       },
       {"Db: cannot connect: ", "password authentication failed"},
       "NotTheRightOne"},
      {"unreadable connection string",
       [&] {
         db_.SetConnectionString("host=127.0.0.1 password=Sesame123 sslmode=Sesame123");
         db_.SetConnected(true);
       },
       {"Db: cannot connect: ", "sslmode"},
       "Sesame123"},
      {"connection string of a query",
       [&] {
         db_.SetConnectionString(closed);
         Query("Q", "select 1").Open();
       },
       {"Q: Db: cannot connect: ", "Connection refused"},
       "Sesame123"},
      {"unknown table", [&] { Query("Q", "select * from nowhere").Open(); },
       {"Q: Db: cannot prepare SQL: relation \"nowhere\" does not exist (at character 15 of the SQL)"}},
      {"syntax", [&] { Query("Q", "selec 1").Open(); },
       {"Q: Db: cannot prepare SQL: syntax error at or near \"selec\" (at character 1 of the SQL)"}},
      {"two statements", [&] { Query("Q", "select 1; select 2").Open(); },
       {"Q: Db: cannot prepare SQL: cannot insert multiple commands into a prepared statement"}},
      {"bad parameter value",
       [&] {
         TSqlQuery& q = Query("Q", "select :n::int");
         q.SetParam("n", "abc");
         q.Open();
       },
       {"Q: Db: cannot run SQL: invalid input syntax for type integer: \"abc\""}},
      {"detail parameter without a master field",
       [&] {
         TSqlQuery& orders = Query("Orders", "select order_no from orders");
         orders.Open();
         Query("Items", "select * from items where order_no = :order", &SourceOf(orders)).Open();
       },
       {"Items: parameter :order has no field of that name in the master Orders"}},
      {"script", [&] { db_.ExecuteScript("insert into nowhere values (1)"); },
       {"Db: cannot run SQL: relation \"nowhere\" does not exist"}},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string message = DatabaseError(c.action);
    ASSERT_FALSE(message.empty());
    for (const std::string& part : c.parts) EXPECT_NE(message.find(part), std::string::npos) << message;
    if (!c.secret.empty()) {
      EXPECT_EQ(message.find(c.secret), std::string::npos) << message;
    }
    // Leave a working database and no queries for the next case.
    while (root_.ComponentCount() > 1) root_.DestroyComponent(root_.Components(1));
    db_.SetConnectionString(conninfo_);
    if (!db_.Connected()) db_.ExecuteScript(kShop);  // a new session: its tables again
    TSqlQuery& check = Query("Check", "select 1 as one");
    check.Open();
    EXPECT_EQ(check.FieldByName("one").AsString(), "1");
    root_.DestroyComponent(check);
  }
}

TEST_F(PgTest, StatementsOutliveTheirConnection) {
  TSqlQuery& q = Query("Numbers", "select n from generate_series(1, 3) n");
  q.Open();
  db_.SetConnected(false);
  q.Next();
  EXPECT_EQ(q.FieldByName("n").AsString(), "2");  // the open result still reads
  q.Refresh();                                    // reconnects and prepares again
  EXPECT_TRUE(db_.Connected());
  EXPECT_EQ(db_.PreparedCount(), 2);
  EXPECT_EQ(q.FieldByName("n").AsString(), "1");
  root_.DestroyComponent(db_);
  EXPECT_FALSE(q.Active());
  EXPECT_NE(DatabaseError([&] { q.Open(); }).find("no database"), std::string::npos);
}

TEST_F(PgTest, AFormFileWiresDatabaseQueriesAndDataSource) {
  std::string quoted;
  for (char c : conninfo_) quoted += c == '\'' ? std::string("''") : std::string(1, c);
  const std::string form = R"(object Shop: TDataModule
  object Db: TPgDatabase
    ConnectionString = ')" + quoted + R"('
  end
  object Orders: TSqlQuery
    Database = Db
    SQL.Strings = (
      'select n as order_no from generate_series(1, 3) n'
      'where n <> 2')
  end
  object OrdersSource: TDataSource
    DataSet = Orders
  end
  object Items: TSqlQuery
    Database = Db
    DataSource = OrdersSource
    SQL.Strings = (
      'select ''part'' || m as item, m::int as qty from generate_series(1, :order_no) m')
  end
end
)";
  std::unique_ptr<Component> shop = LoadFormText(form, "shop.form");
  auto& db = dynamic_cast<TPgDatabase&>(*shop->FindComponent("Db"));
  EXPECT_EQ(db.ConnectionString(), conninfo_);
  auto& orders = dynamic_cast<TSqlQuery&>(*shop->FindComponent("Orders"));
  auto& items = dynamic_cast<TSqlQuery&>(*shop->FindComponent("Items"));
  orders.Open();
  items.Open();
  const std::vector<std::string> expected = {"1: part1 1", "3: part1 1 part2 2 part3 3"};
  EXPECT_EQ(Walk(orders, items), expected);
}

}  // namespace
