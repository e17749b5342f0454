// The in-memory dataset: rows checked against the columns' width and types, all or nothing, and
// changes to an open dataset seen on its next use.

#include <gtest/gtest.h>

#include <functional>

#include "data/mem_dataset.h"
#include "platform/errors.h"

using namespace brelix::platform;
using brelix::data::TMemDataSet;

namespace {

std::vector<DataSet::Column> Columns() {
  return {{"n", FieldType::Integer},   {"amount", FieldType::Float}, {"ok", FieldType::Boolean},
          {"day", FieldType::Date},    {"name", FieldType::String},  {"any", FieldType::Unknown}};
}

std::string ErrorOf(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const EDatabaseError& e) {
    return e.Message();
  }
  return "no error";
}

TEST(TMemDataSet, HoldsRowsOfTheColumnsTypes) {
  TMemDataSet ds(Columns());
  ds.SetName("Orders");
  const Variant day(DateTime::FromDate(2026, 1, 5));
  ds.AddRow({Variant(1), Variant(2.5), Variant(true), day, Variant("Zoë"), Variant("x")});
  ds.AddRow({Variant(2), Variant(3), Variant::MakeNull(), Variant(), Variant::MakeNull(), Variant(7)});
  ds.Open();
  EXPECT_EQ(ds.FieldByName("day").DataType(), FieldType::Date);
  EXPECT_EQ(ds.FieldByName("day").Value(), day);
  EXPECT_EQ(ds.FieldByName("name").AsString(), "Zoë");
  ds.Next();
  EXPECT_EQ(ds.FieldByName("amount").AsFloat(), 3);  // an Integer in a Float column
  EXPECT_TRUE(ds.FieldByName("ok").IsNull());
  EXPECT_TRUE(ds.FieldByName("day").IsNull());
  EXPECT_EQ(ds.FieldByName("any").AsString(), "7");
}

TEST(TMemDataSet, RefusesRowsThatDoNotFit) {
  struct Case {
    TMemDataSet::Row row;
    const char* part;
  } cases[] = {
      {{Variant(1), Variant(2.5)}, "Orders: row 2 has 2 values, but the dataset has 6 columns"},
      {{Variant("12"), Variant(), Variant(), Variant(), Variant(), Variant()},
       "Orders: row 2, column 'n' (Integer): cannot hold the String '12'"},
      {{Variant(1.5), Variant(), Variant(), Variant(), Variant(), Variant()}, "column 'n' (Integer)"},
      {{Variant(), Variant(), Variant(1), Variant(), Variant(), Variant()}, "column 'ok' (Boolean)"},
      {{Variant(), Variant(), Variant(), Variant("2026-01-05"), Variant(), Variant()}, "column 'day' (Date)"},
      {{Variant(), Variant(), Variant(), Variant(), Variant(5), Variant()}, "column 'name' (String)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.part);
    TMemDataSet ds(Columns(), {{Variant(1), Variant(), Variant(), Variant(), Variant(), Variant()}});
    ds.SetName("Orders");
    const std::string message = ErrorOf([&] { ds.AddRow(c.row); });
    EXPECT_NE(message.find(c.part), std::string::npos) << message;
    EXPECT_EQ(ds.RowCount(), 1u);
    // SetRows takes all the rows or none.
    EXPECT_NE(ErrorOf([&] { ds.SetRows({ds.Rows(0), c.row}); }).find("row 2"), std::string::npos);
    EXPECT_EQ(ds.RowCount(), 1u);
  }
}

TEST(TMemDataSet, RefusesColumnsWithoutAUniqueName) {
  TMemDataSet ds({{"a"}});
  EXPECT_NE(ErrorOf([&] { ds.SetColumns({{"id"}, {""}}); }).find("column 2 has no name"), std::string::npos);
  EXPECT_NE(ErrorOf([&] { ds.SetColumnNames({"id", "name", "ID"}); }).find("'ID' is used twice (columns 1 and 3)"),
            std::string::npos);
  EXPECT_EQ(ds.Columns().size(), 1u);
}

TEST(TMemDataSet, ChangesToAnOpenDatasetShowOnItsNextUse) {
  TMemDataSet ds({{"n", FieldType::Integer}}, {{Variant(1)}});
  ds.Open();
  ds.Next();
  EXPECT_TRUE(ds.Eof());
  ds.AddRow({Variant(2)});  // runs again from the first record
  EXPECT_FALSE(ds.Eof());
  EXPECT_EQ(ds.RecNo(), 1);
  ds.Next();
  EXPECT_EQ(ds.FieldByName("n").AsString(), "2");
  ds.Clear();
  EXPECT_TRUE(ds.IsEmpty());
  ds.SetColumnNames({"a", "b"});
  EXPECT_EQ(ds.FieldNames(), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(ds.Active());
}

}  // namespace
