// The dataset abstraction over a small in-memory source: navigation with the record window,
// Prior at the start and beyond the window, the last record kept at the end of data, and the
// parameters found in SQL texts.

#include <gtest/gtest.h>

#include "data/mem_dataset.h"
#include "data/sql_query.h"
#include "platform/dataset.h"

using namespace brelix::platform;
using brelix::data::ParseSqlParameters;
using brelix::data::TMemDataSet;

namespace {

std::vector<std::vector<Variant>> Numbers(int n) {
  std::vector<std::vector<Variant>> rows;
  for (int i = 1; i <= n; ++i) rows.push_back({Variant(i)});
  return rows;
}

}  // namespace

TEST(DataSet, WalksForwardAndBackAndKeepsTheLastRecordAtTheEnd) {
  TMemDataSet ds({{"n", FieldType::Integer}}, Numbers(3));
  ds.Open();
  Field& n = ds.FieldByName("N");
  EXPECT_TRUE(ds.Bof());
  EXPECT_EQ(n.AsString(), "1");
  ds.Prior();  // at the start: stays, Bof
  EXPECT_TRUE(ds.Bof());
  EXPECT_EQ(n.AsString(), "1");
  ds.Next();
  ds.Next();
  EXPECT_EQ(n.AsString(), "3");
  ds.Next();
  EXPECT_TRUE(ds.Eof());
  EXPECT_EQ(n.AsString(), "3");  // the last record stays current
  ds.Prior();
  EXPECT_FALSE(ds.Eof());
  EXPECT_EQ(n.AsString(), "2");
  ds.Next();
  EXPECT_EQ(n.AsString(), "3");
  ds.First();
  EXPECT_EQ(ds.RecNo(), 1);
}

TEST(DataSet, PriorBeyondTheWindowReadsAgain) {
  const int count = static_cast<int>(DataSet::kWindow) + 10;
  TMemDataSet ds({{"n", FieldType::Integer}}, Numbers(count));
  ds.Open();
  while (!ds.Eof()) ds.Next();
  for (int expected = count - 1; expected >= 1; --expected) {
    ds.Prior();
    ASSERT_EQ(ds.FieldByName("n").AsFloat(), expected);
  }
  ds.First();
  EXPECT_EQ(ds.FieldByName("n").AsString(), "1");
}

TEST(DataSet, AnEmptyResultHasNoRecordAndNullFields) {
  TMemDataSet ds({{"n", FieldType::Integer}});
  ds.Open();
  EXPECT_TRUE(ds.Eof());
  EXPECT_TRUE(ds.Bof());
  EXPECT_TRUE(ds.IsEmpty());
  EXPECT_TRUE(ds.FieldByName("n").IsNull());
  EXPECT_EQ(ds.FieldByName("n").AsFloat(), 0);
  EXPECT_THROW(ds.FieldByName("missing"), EDatabaseError);
}

TEST(SqlParameters, NamesOutsideQuotesCommentsAndCasts) {
  struct Case {
    const char* sql;
    const char* rewritten;
    std::vector<std::string> names;
  } cases[] = {
      {"select * from t where a = :id and b = :Name", "select * from t where a = $1 and b = $2", {"id", "Name"}},
      {"select ':x', \"a:b\" from t where c = :c", "select ':x', \"a:b\" from t where c = $1", {"c"}},
      {"select 'it''s :x' from t", "select 'it''s :x' from t", {}},
      {"select a::text from t where b = :b -- :c\n and d = :d /* :e */",
       "select a::text from t where b = $1 -- :c\n and d = $2 /* :e */", {"b", "d"}},
      {"select '2026-01-01 10:30' from t", "select '2026-01-01 10:30' from t", {}},
      {"select a:b from t", "select a:b from t", {}},
      {"select :x, :x", "select $1, $2", {"x", "x"}},
      {"select 'open", "select 'open", {}},
  };
  for (const Case& c : cases) {
    auto parsed = ParseSqlParameters(c.sql, [](int n) { return "$" + std::to_string(n); });
    EXPECT_EQ(parsed.sql, c.rewritten) << c.sql;
    EXPECT_EQ(parsed.names, c.names) << c.sql;
  }
}
