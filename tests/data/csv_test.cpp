// The CSV dataset: declared types read in the file's fixed forms and shown in the user's
// language, quoting, UTF-8, navigation over a file read record by record, every error naming
// file and line, and the dataset in a form file.

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "data/csv_dataset.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/form_reader.h"
#include "platform/form_writer.h"
#include "platform/locale.h"

using namespace brelix::platform;
using brelix::data::TCsvDataSet;

namespace {

namespace fs = std::filesystem;

// Each test has a folder of its own as the program's folder, removed afterwards; the locale
// goes back to en-US.
class CsvTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = fs::temp_directory_path() / "brelix-csv-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    SetProgramFolder(dir_);
  }
  void TearDown() override {
    SetProgramFolder({});
    SetCurrentLocale("en-US");
    fs::remove_all(dir_);
  }

  void Write(const std::string& name, const std::string& text) const {
    std::ofstream(dir_ / name, std::ios::binary) << text;
  }
  // A dataset "Sales" over sales.csv holding text.
  std::unique_ptr<TCsvDataSet> Csv(const std::string& text, const std::string& types = "", char delimiter = ',') {
    Write("sales.csv", text);
    auto ds = std::make_unique<TCsvDataSet>();
    ds->SetName("Sales");
    ds->SetFileName("sales.csv");
    ds->SetColumnTypes(types);
    ds->SetDelimiter(delimiter);
    return ds;
  }
  // Every record as the text forms of its fields.
  static std::vector<std::vector<std::string>> Texts(TCsvDataSet& ds) {
    std::vector<std::vector<std::string>> rows;
    for (ds.Open(); !ds.Eof(); ds.Next()) {
      auto& row = rows.emplace_back();
      for (std::size_t i = 0; i < ds.FieldCount(); ++i) row.push_back(ds.Fields(i).AsString());
    }
    return rows;
  }
  // The message of the EDatabaseError that opening and reading to the end raises.
  static std::string ReadError(TCsvDataSet& ds) {
    try {
      for (ds.Open(); !ds.Eof(); ds.Next()) {
      }
    } catch (const EDatabaseError& e) {
      return e.Message();
    }
    return "no error";
  }

  fs::path dir_;
};

void ExpectParts(const std::string& message, std::initializer_list<std::string> parts) {
  for (const std::string& part : parts)
    EXPECT_NE(message.find(part), std::string::npos) << message << "\n  lacks: " << part;
}

TEST_F(CsvTest, DeclaredTypesReadTheFileFormsAndShowInTheUsersLanguage) {
  const std::string text =
      "id,amount,paid,day,at,start,name\n"
      "7,1234.5,true,2026-01-05,2026-01-05 14:30:15,09:30,Zoë\n";
  const std::string types =
      "id:Integer; amount:Float; paid:Boolean; day:Date; at:DateTime; start:Time; name:String";
  struct Case {
    const char* field;
    FieldType type;
    Variant value;
    const char* en;
    const char* de;
  } cases[] = {
      {"id", FieldType::Integer, Variant(7), "7", "7"},
      {"amount", FieldType::Float, Variant(1234.5), "1234.5", "1234,5"},
      {"paid", FieldType::Boolean, Variant(true), "True", "True"},
      {"day", FieldType::Date, Variant(DateTime::FromDate(2026, 1, 5)), "1/5/2026", "05.01.2026"},
      {"at", FieldType::DateTime, Variant(DateTime::FromDateTime(2026, 1, 5, 14, 30, 15)), "1/5/2026 14:30:15",
       "05.01.2026 14:30:15"},
      {"start", FieldType::Time, Variant(DateTime::FromDateTime(1899, 12, 30, 9, 30, 0)), "09:30:00", "09:30:00"},
      {"name", FieldType::String, Variant("Zoë"), "Zoë", "Zoë"},
  };
  // The file is read while each language is current: its "." stays the decimal point.
  for (const char* tag : {"en-US", "de-DE"}) {
    SetCurrentLocale(tag);
    auto ds = Csv(text, types);
    ds->Open();
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(tag) + " " + c.field);
      Field& f = ds->FieldByName(c.field);
      EXPECT_EQ(f.DataType(), c.type);
      EXPECT_EQ(f.Value(), c.value);
      EXPECT_EQ(f.AsString(), tag == std::string("en-US") ? c.en : c.de);
    }
  }
}

TEST_F(CsvTest, WithoutDeclaredTypesEveryCellIsText) {
  auto ds = Csv("id,amount\n007,1234.5\n");
  ds->Open();
  EXPECT_EQ(ds->FieldByName("id").DataType(), FieldType::String);
  EXPECT_EQ(ds->FieldByName("id").Value(), Variant("007"));
  EXPECT_EQ(ds->FieldByName("amount").Value(), Variant("1234.5"));
}

TEST_F(CsvTest, CellsReadAsTheirDeclaredType) {
  struct Case {
    const char* type;
    const char* cell;
    std::optional<Variant> value;  // none: the cell is refused
  } cases[] = {
      {"Integer", "-42", Variant(-42)},
      {"Integer", "+42", Variant(42)},
      {"Integer", " 12 ", Variant(12)},
      {"Integer", "9223372036854775807", Variant(std::int64_t{9223372036854775807})},
      {"Integer", "12.5", std::nullopt},
      {"Integer", "99999999999999999999", std::nullopt},
      {"Integer", "+-1", std::nullopt},
      {"Integer", "1 2", std::nullopt},
      {"Float", "-1.5e3", Variant(-1500.0)},
      {"Float", ".5", Variant(0.5)},
      {"Float", "3", Variant(3.0)},
      {"Currency", "19.99", Variant(19.99)},
      {"Float", "12,5", std::nullopt},
      {"Float", "1e", std::nullopt},
      {"Float", "inf", std::nullopt},
      {"Float", "1e999", std::nullopt},
      {"Boolean", "FALSE", Variant(false)},
      {"Boolean", "1", Variant(true)},
      {"Boolean", "0", Variant(false)},
      {"Boolean", "yes", std::nullopt},
      {"Date", "2024-02-29", Variant(DateTime::FromDate(2024, 2, 29))},
      {"Date", "2026-01-05T10:30", Variant(DateTime::FromDateTime(2026, 1, 5, 10, 30, 0))},
      {"DateTime", "2026-01-05 23:59:59.5", Variant(DateTime::FromDateTime(2026, 1, 5, 23, 59, 59.5))},
      {"Date", "2026-02-29", std::nullopt},
      {"Date", "2026-13-01", std::nullopt},
      {"Date", "2026-1-5", std::nullopt},
      {"Date", "05.01.2026", std::nullopt},
      {"DateTime", "2026-01-05 10", std::nullopt},
      {"Time", "23:59:59", Variant(DateTime::FromDateTime(1899, 12, 30, 23, 59, 59))},
      {"Time", "24:00", std::nullopt},
      {"Time", "09:60", std::nullopt},
      {"Time", "9:30", std::nullopt},
      {"Time", "09:30:", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.type) + " '" + c.cell + "'");
    auto ds = Csv(std::string("n,v\n1,\"") + c.cell + "\"\n", std::string("v:") + c.type);
    if (c.value) {
      ds->Open();
      EXPECT_EQ(ds->FieldByName("v").Value(), *c.value);
    } else {
      ExpectParts(ReadError(*ds), {"Sales: sales.csv:2: column 'v': '" + std::string(c.cell) + "' is not a"});
    }
  }
}

TEST_F(CsvTest, EmptyCellsAreNull) {
  auto ds = Csv("i,f,d,s,b\n,\"\", , ,\n", "i:Integer;f:Float;d:Date;b:Boolean");
  ds->Open();
  for (const char* name : {"i", "f", "d", "b"}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(ds->FieldByName(name).IsNull());
    EXPECT_EQ(ds->FieldByName(name).AsString(), "");
    EXPECT_EQ(ds->FieldByName(name).AsFloat(), 0);
  }
  EXPECT_EQ(ds->FieldByName("s").Value(), Variant(" "));  // text keeps its blanks
}

TEST_F(CsvTest, Quoting) {
  struct Case {
    const char* name;
    char delimiter;
    std::string text;
    std::vector<std::vector<std::string>> rows;
  } cases[] = {
      {"delimiter inside quotes", ',', "a,b\n\"x,y\",z\n", {{"x,y", "z"}}},
      {"doubled quotes", ',', "a,b\n\"say \"\"hi\"\"\",\"\"\"\"\n", {{"say \"hi\"", "\""}}},
      {"line breaks inside quotes become LF", ',', "a,b\r\n\"one\r\ntwo\nthree\",z\r\n", {{"one\ntwo\nthree", "z"}}},
      {"CRLF records", ',', "a,b\r\n1,2\r\n3,4\r\n", {{"1", "2"}, {"3", "4"}}},
      {"no line break at the end", ',', "a,b\n1,2", {{"1", "2"}}},
      {"lone CR", ',', "a,b\r1,2\r3,4", {{"1", "2"}, {"3", "4"}}},
      {"empty lines are skipped", ',', "\na,b\n\n1,2\n\r\n\n", {{"1", "2"}}},
      {"a quote inside an unquoted cell stays", ',', "a,b\n5\" pipe,z\n", {{"5\" pipe", "z"}}},
      {"empty quoted cell", ',', "a,b\n\"\",z\n", {{"", "z"}}},
      {"empty cells", ',', "a,b\n,\n", {{"", ""}}},
      {"byte order mark", ',', "\xEF\xBB\xBF" "a,b\n1,2\n", {{"1", "2"}}},
      {"semicolons", ';', "a;b\n1,5;\"x;y\"\n", {{"1,5", "x;y"}}},
      {"tabs", '\t', "a\tb\n1 2\t3,4\n", {{"1 2", "3,4"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto ds = Csv(c.text, "", c.delimiter);
    EXPECT_EQ(Texts(*ds), c.rows);
    EXPECT_EQ(ds->FieldNames(), (std::vector<std::string>{"a", "b"}));
  }
}

TEST_F(CsvTest, Utf8TextsAndNames) {
  auto ds = Csv("Straße,Name\nHauptstraße 5,Zürich ✓ 日本語\n");
  ds->Open();
  EXPECT_EQ(ds->FieldByName("STRASSE").AsString(), "Hauptstraße 5");
  EXPECT_EQ(ds->FieldByName("name").AsString(), "Zürich ✓ 日本語");
}

TEST_F(CsvTest, NavigatesForwardAndBackAcrossAGroupBreak) {
  auto ds = Csv("region,amount\nNorth,10\nNorth,20\nSouth,5\nSouth,7\n", "amount:Integer");
  ds->Open();
  Field& region = ds->FieldByName("region");
  Field& amount = ds->FieldByName("amount");
  ds->Prior();  // at the start: stays on the first record
  EXPECT_TRUE(ds->Bof());
  EXPECT_EQ(ds->RecNo(), 1);
  EXPECT_EQ(amount.AsString(), "10");

  // Walk to the first record of the next group, look back at the group's last one, return.
  std::string group = region.AsString();
  while (!ds->Eof() && region.AsString() == group) ds->Next();
  EXPECT_EQ(ds->RecNo(), 3);
  EXPECT_EQ(region.AsString(), "South");
  ds->Prior();
  EXPECT_EQ(region.AsString(), "North");
  EXPECT_EQ(amount.AsString(), "20");
  ds->Next();
  EXPECT_EQ(amount.AsString(), "5");

  ds->Next();
  ds->Next();
  EXPECT_TRUE(ds->Eof());
  EXPECT_EQ(amount.AsString(), "7");  // the last record stays current
  ds->First();
  EXPECT_EQ(amount.AsString(), "10");
}

TEST_F(CsvTest, PriorBeyondTheWindowReadsTheFileAgain) {
  const int count = static_cast<int>(TCsvDataSet::kWindow) + 10;
  std::string text = "n\n";
  for (int i = 1; i <= count; ++i) text += std::to_string(i) + "\n";
  auto ds = Csv(text, "n:Integer");
  ds->Open();
  while (!ds->Eof()) ds->Next();
  for (int expected = count - 1; expected >= 1; --expected) {
    ds->Prior();
    ASSERT_EQ(ds->FieldByName("n").Value(), Variant(expected));
  }
}

TEST_F(CsvTest, RecordsAreReadAsTheCursorMoves) {
  // A broken record further down does not stop the first ones from being read.
  auto ds = Csv("a,b\n1,2\n3,4\n5\n");
  ds->Open();
  ds->Next();
  EXPECT_EQ(ds->FieldByName("a").AsString(), "3");
  EXPECT_THROW(ds->Next(), EDatabaseError);
  EXPECT_EQ(ds->FieldByName("a").AsString(), "3");
  EXPECT_THROW(ds->Next(), EDatabaseError);  // and it stays broken
  ds->First();
  EXPECT_EQ(ds->FieldByName("a").AsString(), "1");
}

TEST_F(CsvTest, ErrorsNameFileAndLine) {
  struct Case {
    const char* name;
    const char* text;
    const char* types;
    std::vector<std::string> parts;
  } cases[] = {
      {"empty file", "", "", {"sales.csv:1:", "empty"}},
      {"duplicate column", "id,name,ID\n", "", {"sales.csv:1:", "'ID' twice"}},
      {"column without a name", "id,,name\n", "", {"sales.csv:1:", "column 2", "no name"}},
      {"too many cells", "a,b,c,d\n1,2,3,4\n1,2,3,4\n1,2,3,4\n1,2,3,4\n1,2,3,4\n1,2,3,4,5\n", "",
       {"Sales: sales.csv:7: 5 cells, but the header has 4"}},
      {"too few cells", "a,b\n1\n", "", {"sales.csv:2: 1 cell, but the header has 2"}},
      {"lines counted inside quotes", "a,b\n\"x\ny\",1\n1,2,3\n", "", {"sales.csv:4: 3 cells"}},
      {"invalid UTF-8", "a\nok\nt\xE9t\xE9\n", "", {"sales.csv:3:", "UTF-8 (byte 0xE9 starts an invalid sequence)"}},
      {"overlong UTF-8", "a\n\xC0\xAF\n", "", {"sales.csv:2:", "UTF-8"}},
      {"UTF-8 cut by a line break", "a\n\xC3\nx\n", "", {"sales.csv:2:", "UTF-8"}},
      {"UTF-8 cut by the end", "a,b\n1,\xE2\x9C", "", {"sales.csv:2:", "UTF-8 at the end of the file"}},
      {"unclosed quote", "a,b\n1,\"open\n2,3\n", "", {"sales.csv:2:", "not closed"}},
      {"text after a closing quote", "a,b\n\"x\"y,1\n", "", {"sales.csv:2:", "after the closing quote"}},
      {"cell not of its type", "id,amount\n1,12.5\n2,\"12,5\"\n", "amount:Float",
       {"sales.csv:3:", "column 'amount'", "'12,5'", "'.' as the decimal point"}},
      {"declared column missing", "id\n1\n", "id:Integer;total:Float", {"sales.csv:1:", "'total'"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto ds = Csv(c.text, c.types);
    const std::string message = ReadError(*ds);
    for (const std::string& part : c.parts) ExpectParts(message, {part});
    EXPECT_TRUE(message.starts_with("Sales: ")) << message;
  }
}

TEST_F(CsvTest, AMissingFileIsNamedByItsFullPath) {
  TCsvDataSet ds;
  ds.SetFileName("sub/../missing.csv");
  ExpectParts(ReadError(ds), {"TCsvDataSet: cannot open \"" + (dir_ / "missing.csv").string() + "\"",
                              "No such file"});
  ds.SetFileName("");
  ExpectParts(ReadError(ds), {"FileName is not set"});
}

TEST_F(CsvTest, BadSettingsAreRefusedWhenSet) {
  struct Case {
    const char* types;
    const char* part;  // null: accepted
  } cases[] = {
      {" id : integer ; ; Name:STRING;", nullptr},
      {"id:Number", "unknown type 'Number' for column 'id'; the types are String, Integer"},
      {"id", "'id' is not of the form column:Type"},
      {":Integer", "':Integer' names no column"},
      {"id:Integer;ID:Float", "column 'ID' is declared twice"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.types);
    TCsvDataSet ds;
    ds.SetColumnTypes("x:Integer");
    if (!c.part) {
      ds.SetColumnTypes(c.types);
      EXPECT_EQ(ds.ColumnTypes(), c.types);
      continue;
    }
    try {
      ds.SetColumnTypes(c.types);
      ADD_FAILURE() << "accepted";
    } catch (const EDatabaseError& e) {
      ExpectParts(e.Message(), {std::string("ColumnTypes: ") + c.part});
    }
    EXPECT_EQ(ds.ColumnTypes(), "x:Integer");  // the old value stays
  }
  TCsvDataSet ds;
  for (char bad : {'"', '\n', '\r', '\0'}) EXPECT_THROW(ds.SetDelimiter(bad), EDatabaseError) << int(bad);
  EXPECT_EQ(ds.Delimiter(), ',');
}

TEST_F(CsvTest, FormFilesNameTheFileRelativeToTheProgramFolder) {
  Write("orders.csv", "region;amount\nNorth;1.5\n");
  const std::string form =
      "object Sales: TDataModule\n"
      "  object Orders: TCsvDataSet\n"
      "    FileName = 'orders.csv'\n"
      "    Delimiter = ';'\n"
      "    ColumnTypes = 'amount:Float'\n"
      "  end\n"
      "  object Plain: TCsvDataSet\n"
      "    FileName = 'orders.csv'\n"
      "  end\n"
      "end\n";
  auto root = LoadFormText(form, "sales.form");
  auto* orders = dynamic_cast<TCsvDataSet*>(root->FindComponent("Orders"));
  ASSERT_NE(orders, nullptr);
  orders->Open();
  EXPECT_EQ(orders->FieldByName("amount").Value(), Variant(1.5));
  EXPECT_EQ(orders->FieldByName("region").AsString(), "North");
  EXPECT_EQ(WriteForm(*root), form);  // the default delimiter is not written

  try {
    LoadFormText("object Sales: TDataModule\n  object Orders: TCsvDataSet\n    ColumnTypes = 'a:Text'\n  end\nend\n",
                 "sales.form");
    ADD_FAILURE() << "loaded";
  } catch (const EFormFileError& e) {
    ExpectParts(e.Message(), {"sales.form:3:", "unknown type 'Text'"});
  }
}

}  // namespace
