// The cell-text grammar: literal pieces, fields, functions and the result text, as one table of
// worked examples, plus the texts it refuses with their messages.

#include <gtest/gtest.h>

#include "runtime/BrelixConsts.h"
#include "runtime/BrelixFieldParser.h"

using namespace brelix;

TEST(TBrelixFieldParser, SplitsCellTextsIntoPiecesAndFields) {
  struct Case {
    const char* text;
    std::vector<std::string> texts;
    std::vector<std::string> fields;
    std::vector<TBrelixFieldFunc> funcs;
    const char* result;  // every value "v"
  } cases[] = {
      {"Total: #Amount EUR", {"Total: ", " EUR"}, {"Amount"}, {ffNone}, "Total: v EUR"},
      {"#Customers.Name", {"", ""}, {"Customers.Name"}, {ffNone}, "v"},
      {"#SUM(Orders.Amount)", {"", ""}, {"Orders.Amount"}, {ffSum}, "v"},
      {"#count(Items.Qty)", {"", ""}, {"Items.Qty"}, {ffCnt}, "v"},
      {"#sUm(A)", {"", ""}, {"A"}, {ffSum}, "v"},
      {"#=#Price*#Qty", {"=", "*", ""}, {"Price", "Qty"}, {ffNone, ffNone}, "=v*v"},
      {"=#Price", {"=", ""}, {"Price"}, {ffNone}, "=v"},
      {"(#Price)", {"(", ")"}, {"Price"}, {ffNone}, "(v)"},
      {"#A1,#B_2.", {"", ",", ""}, {"A1", "B_2."}, {ffNone, ffNone}, "v,v"},
      {"#'Unit Price' x #'max(Stock.On Hand)'", {"", " x ", ""}, {"Unit Price", "Stock.On Hand"}, {ffNone, ffMax},
       "v x v"},
      {"#\"Unit Price\" x #\"max(Stock.On Hand)\"", {"", " x ", ""}, {"Unit Price", "Stock.On Hand"},
       {ffNone, ffMax}, "v x v"},
      {"##1 and 50#", {"#1 and 50", ""}, {}, {}, "#1 and 50"},
      {"#SUM(Amount))", {"", ")"}, {"Amount"}, {ffSum}, "v)"},
      {"#SUM(A(B))", {"", ""}, {"A(B)"}, {ffSum}, "v"},
      {"plain text", {"plain text"}, {}, {}, "plain text"},
      {"#=", {"="}, {}, {}, "="},
      {"###A", {"#", ""}, {"A"}, {ffNone}, "#v"},
      {"x #A", {"x ", ""}, {"A"}, {ffNone}, "x v"},
      {"#A #'", {"", " ", ""}, {"A"}, {ffNone}, "v "},  // the dropped sign leaves an empty piece
      {"#Straße", {"", "ße"}, {"Stra"}, {ffNone}, "vße"},  // a letter outside A-Z ends the run
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TBrelixFieldParser parser('#');
    parser.SetFieldString(c.text);
    std::vector<std::string> texts, fields;
    std::vector<TBrelixFieldFunc> funcs;
    for (int i = 0; i < parser.TextCount(); ++i) texts.push_back(parser.Texts(i));
    for (int i = 0; i < parser.Count(); ++i) {
      fields.push_back(parser.Fields(i));
      funcs.push_back(parser.Funcs(i));
      parser.SetValue(i, "v");
    }
    EXPECT_EQ(texts, c.texts);
    EXPECT_EQ(fields, c.fields);
    EXPECT_EQ(funcs, c.funcs);
    EXPECT_EQ(parser.GetResultString(), c.result);
    EXPECT_EQ(parser.FieldString(), c.text);
  }
}

TEST(TBrelixFieldParser, RefusesTextsWhoseFieldCannotBeRead) {
  struct Case {
    const char* text;
    std::string message;
  } cases[] = {
      {"#SUM(Amount", BrelixFormat(BrelixConsts::MsgFPrsBadField, "SUM(Amount")},
      {"#SUM(Orders Amount)", BrelixFormat(BrelixConsts::MsgFPrsBadField, "SUM(Orders")},
      {"#TOTAL(Amount)", BrelixFormat(BrelixConsts::MsgFPrsBadFunc, "TOTAL(Amount)")},
      {"# 5", BrelixFormat(BrelixConsts::MsgFPrsBadStr, "# 5", "#")},
      {"#1st", BrelixFormat(BrelixConsts::MsgFPrsBadStr, "#1st", "#")},
      {"#'Name", BrelixFormat(BrelixConsts::MsgFPrsBadStr, "#'Name", "#")},
      {"#''", BrelixFormat(BrelixConsts::MsgFPrsBadStr, "#''", "#")},
      {"#=# x", BrelixFormat(BrelixConsts::MsgFPrsBadStr, "#=# x", "#")},
  };
  for (const Case& c : cases) {
    TBrelixFieldParser parser('#');
    try {
      parser.SetFieldString(c.text);
      ADD_FAILURE() << c.text << ": no error";
    } catch (const EBrelixFieldParserError& e) {
      EXPECT_EQ(e.what(), c.message) << c.text;
    }
  }
}

TEST(TBrelixFieldParser, AnotherFieldSign) {
  TBrelixFieldParser parser('$');
  parser.SetFieldString("#A $B $$C");
  ASSERT_EQ(parser.Count(), 1);
  EXPECT_EQ(parser.Fields(0), "B");
  EXPECT_EQ(parser.Texts(1), " $C");
}
