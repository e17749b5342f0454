#include "xlsx/workbook.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <functional>

#include "tests/xlsx/xlsx_test_support.h"
#include "xlsx/errors.h"

namespace brelix::xlsx {
namespace {

using testing::ExpectXlsxError;
using testing::Fixture;
using testing::Parts;
using testing::Repack;
using testing::StoredEntry;

class WorkbookTest : public testing::TempDirTest {};

TEST_F(WorkbookTest, OpensSheetsInTabOrderWithDefinedNames) {
  auto book = Workbook::Open(Fixture("handmade.xlsx"));
  ASSERT_EQ(book->SheetCount(), 2);
  EXPECT_EQ(book->Sheet(0).Name(), "Cells");
  EXPECT_EQ(book->Sheet(1).Name(), "Other Sheet");
  EXPECT_EQ(book->Sheet(1).Part(), "xl/worksheets/sheet2.xml");  // an absolute target
  EXPECT_EQ(book->FindSheet("other sheet"), &book->Sheet(1));
  EXPECT_EQ(book->FindSheet("Missing"), nullptr);
  const auto names = book->DefinedNames();
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[0].name, "Totals");
  EXPECT_EQ(names[0].formula, "Cells!$B$2:$B$4");
  EXPECT_EQ(names[0].local_sheet, -1);
  EXPECT_EQ(names[1].name, "_xlnm.Print_Area");
  EXPECT_EQ(names[1].local_sheet, 0);
}

TEST_F(WorkbookTest, SaveWithoutChangesKeepsEveryPartAsStored) {
  for (const char* fixture : {"template.xlsx", "handmade.xlsx"}) {
    SCOPED_TRACE(fixture);
    const auto out = Path("copy.xlsx");
    auto book = Workbook::Open(Fixture(fixture));
    book->Sheet(0).Value(1, 1);  // reading a sheet does not make it change
    book->Save(out);
    const auto before = Parts(Fixture(fixture));
    EXPECT_EQ(Parts(out), before);
    for (const auto& [name, content] : before) EXPECT_EQ(StoredEntry(out, name), StoredEntry(Fixture(fixture), name)) << name;
  }
}

TEST_F(WorkbookTest, ChangedSheetIsTheOnlyPartRewrittenBesideTheStructure) {
  const auto out = Path("changed.xlsx");
  auto book = Workbook::Open(Fixture("template.xlsx"));
  book->Sheet(0).SetValue(2, 2, CellValue::Number(11));
  book->Save(out);
  const auto before = Parts(Fixture("template.xlsx"));
  const auto after = Parts(out);
  ASSERT_EQ(after.size(), before.size());
  for (const auto& [name, content] : before) {
    ASSERT_TRUE(after.count(name)) << name;
    if (name == "xl/worksheets/sheet1.xml") continue;
    EXPECT_EQ(after.at(name), content) << name;
    EXPECT_EQ(StoredEntry(out, name), StoredEntry(Fixture("template.xlsx"), name)) << name;
  }
  EXPECT_NE(after.at("xl/worksheets/sheet1.xml"), before.at("xl/worksheets/sheet1.xml"));
  auto again = Workbook::Open(out);
  EXPECT_EQ(again->Sheet(0).Value(2, 2), CellValue::Number(11));
}

TEST_F(WorkbookTest, FormulaWrittenByTheEngineAsksForRecalculationAndDropsTheCalcChain) {
  const auto out = Path("formula.xlsx");
  auto book = Workbook::Open(Fixture("handmade.xlsx"));
  book->Sheet(0).SetFormula(10, 1, "=SUM(A2:A3)");
  book->Save(out);
  const auto parts = Parts(out);
  EXPECT_FALSE(parts.count("xl/calcChain.xml"));
  EXPECT_EQ(parts.at("[Content_Types].xml").find("calcChain"), std::string::npos);
  EXPECT_EQ(parts.at("xl/_rels/workbook.xml.rels").find("calcChain"), std::string::npos);
  EXPECT_NE(parts.at("xl/workbook.xml").find("fullCalcOnLoad=\"1\""), std::string::npos);
  EXPECT_NE(parts.at("xl/workbook.xml").find("calcId=\"191029\""), std::string::npos);
  EXPECT_NE(parts.at("xl/worksheets/sheet1.xml").find("<c r=\"A10\"><f>SUM(A2:A3)</f></c>"), std::string::npos);
  EXPECT_EQ(parts.at("xl/worksheets/sheet2.xml"), Parts(Fixture("handmade.xlsx")).at("xl/worksheets/sheet2.xml"));
}

TEST_F(WorkbookTest, TemplateSavedAsWorkbookGetsTheWorkbookContentType) {
  auto book = Workbook::Open(Fixture("template.xltx"));
  EXPECT_EQ(book->Sheet(0).Value(1, 1), CellValue::String("Item"));
  book->Save(Path("report.xlsx"));
  const std::string types = Parts(Path("report.xlsx")).at("[Content_Types].xml");
  EXPECT_NE(types.find(workbook_type::kWorkbook), std::string::npos);
  EXPECT_EQ(types.find(workbook_type::kTemplate), std::string::npos);
  book->Save(Path("again.xltx"));
  EXPECT_NE(Parts(Path("again.xltx")).at("[Content_Types].xml").find(workbook_type::kTemplate), std::string::npos);
}

TEST_F(WorkbookTest, AddedAndRenamedSheetsReadBack) {
  auto book = Workbook::Open(Fixture("template.xlsx"));
  Worksheet& added = book->AddSheet("Report");
  added.SetValue(1, 1, CellValue::String("new"));
  book->Sheet(1).SetName("Renamed");
  book->SetActiveSheet(2);
  book->Save(Path("added.xlsx"));
  auto again = Workbook::Open(Path("added.xlsx"));
  ASSERT_EQ(again->SheetCount(), 3);
  EXPECT_EQ(again->Sheet(1).Name(), "Renamed");
  EXPECT_EQ(again->Sheet(2).Name(), "Report");
  EXPECT_EQ(again->Sheet(2).Value(1, 1), CellValue::String("new"));
  EXPECT_EQ(again->ActiveSheet(), 2);
  EXPECT_EQ(again->Sheet(1).Value(1, 1), CellValue::String("Untouched sheet"));
}

TEST_F(WorkbookTest, ReferencesFollowARenamedSheet) {
  auto book = Workbook::Open(Fixture("template.xlsx"));
  Worksheet& added = book->AddSheet("Sum");
  added.SetFormula(1, 1, "SUM(Data!B2:B4)+'data'!A1+Notes!A1+\"Data!A1\"");
  book->Sheet(0).SetName("Q1 Data");
  EXPECT_EQ(added.Formula(1, 1), "SUM('Q1 Data'!B2:B4)+'Q1 Data'!A1+Notes!A1+\"Data!A1\"");
  book->Save(Path("renamed.xlsx"));
  auto again = Workbook::Open(Path("renamed.xlsx"));
  EXPECT_EQ(again->DefinedNames().at(0).formula, "'Q1 Data'!$B$2:$B$4");
  EXPECT_EQ(again->Sheet(0).Formula(5, 2), "SUM(B2:B4)");
  EXPECT_EQ(Parts(Path("renamed.xlsx")).at("xl/worksheets/sheet2.xml"),
            Parts(Fixture("template.xlsx")).at("xl/worksheets/sheet2.xml"));
  // The chart's data references follow; renamed twice, the second name counts.
  again->Sheet(0).SetName("Sales");
  again->Save(Path("twice.xlsx"));
  const std::string chart = Parts(Path("twice.xlsx")).at("xl/charts/chart1.xml");
  for (const char* ref : {"<c:f>Sales!$B$1</c:f>", "<c:f>Sales!$A$2:$A$4</c:f>", "<c:f>Sales!$B$2:$B$4</c:f>"})
    EXPECT_NE(chart.find(ref), std::string::npos) << ref;
  EXPECT_EQ(chart.find("Data!"), std::string::npos);
  EXPECT_NE(Parts(Path("renamed.xlsx")).at("xl/charts/chart1.xml").find("<c:f>'Q1 Data'!$B$1</c:f>"), std::string::npos);
}

TEST_F(WorkbookTest, NewWorkbookSavesAndReadsBack) {
  auto book = Workbook::Create();
  Worksheet& sheet = book->Sheet(0);
  sheet.SetValue(1, 1, CellValue::String("a & <b>"));
  sheet.SetValue(2, 1, CellValue::Number(0.1));
  sheet.SetFormula(3, 1, "A2*2");
  sheet.SetStyle(2, 1, book->Styles().WithFont(0, {.bold = true}));
  book->Save(Path("new.xlsx"));
  auto again = Workbook::Open(Path("new.xlsx"));
  EXPECT_EQ(again->Sheet(0).Name(), "Sheet1");
  EXPECT_EQ(again->Sheet(0).Value(1, 1), CellValue::String("a & <b>"));
  EXPECT_EQ(again->Sheet(0).Value(2, 1), CellValue::Number(0.1));
  EXPECT_EQ(again->Sheet(0).Formula(3, 1), "A2*2");
  EXPECT_TRUE(again->Styles().Font(again->Sheet(0).Style(2, 1)).bold);
}

TEST_F(WorkbookTest, SavingOverTheOpenedFileKeepsItReadable) {
  const auto file = Path("book.xlsx");
  std::filesystem::copy_file(Fixture("handmade.xlsx"), file);
  ::chmod(file.c_str(), 0640);
  auto book = Workbook::Open(file);
  book->Sheet(0).SetValue(1, 1, CellValue::String("first"));
  book->Save(file);
  // The other sheet is read only now, from the file as it was opened.
  EXPECT_EQ(book->Sheet(1).Value(1, 2), CellValue::Number(42));
  book->Sheet(1).SetValue(2, 1, CellValue::Boolean(true));
  book->Save(file);
  auto again = Workbook::Open(file);
  EXPECT_EQ(again->Sheet(0).Value(1, 1), CellValue::String("first"));
  EXPECT_EQ(again->Sheet(1).Value(1, 2), CellValue::Number(42));
  EXPECT_EQ(again->Sheet(1).Value(2, 1), CellValue::Boolean(true));
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(WorkbookTest, FailedSaveLeavesNoFileBehind) {
  auto book = Workbook::Open(Fixture("template.xlsx"));
  book->Sheet(0).SetValue(1, 1, CellValue::Number(1));
  ExpectXlsxError([&] { book->Save(Path("missing-folder") / "x.xlsx"); }, {"missing-folder"});
  // The whole file is written, then the rename over the target fails: a folder is in the way.
  std::filesystem::create_directory(Path("taken.xlsx"));
  ExpectXlsxError([&] { book->Save(Path("taken.xlsx")); }, {"taken.xlsx"});
  EXPECT_TRUE(std::filesystem::is_directory(Path("taken.xlsx")));
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir_)) names.push_back(entry.path().filename());
  EXPECT_EQ(names, std::vector<std::string>{"taken.xlsx"});
}

// A package whose central directory declares a size far beyond what the engine reads.
std::string WithHugeDeclaredSize(const std::filesystem::path& file, const std::string& entry) {
  std::ifstream in(file, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (std::size_t pos = bytes.find("PK\x01\x02"); pos != std::string::npos; pos = bytes.find("PK\x01\x02", pos + 4)) {
    const auto u16 = [&](std::size_t at) { return static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8; };
    const std::size_t name_length = static_cast<std::size_t>(u16(pos + 28));
    if (bytes.compare(pos + 46, name_length, entry) != 0) continue;
    for (int i = 0; i < 4; ++i) bytes[pos + 24 + static_cast<std::size_t>(i)] = static_cast<char>(i < 3 ? 0xFF : 0xF0);
  }
  return bytes;
}

TEST_F(WorkbookTest, BadInputIsRefusedWithTheFileAndThePlace) {
  const auto write = [this](const std::string& name, const std::string& bytes) {
    std::ofstream(Path(name), std::ios::binary) << bytes;
    return Path(name);
  };
  const auto not_zip = write("text.xlsx", "just some text");
  const auto no_workbook = Path("no-workbook.xlsx");
  Repack(Fixture("handmade.xlsx"), no_workbook,
         {{"_rels/.rels", std::string("<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"/>")}});
  const auto bad_workbook = Path("bad-workbook.xlsx");
  Repack(Fixture("handmade.xlsx"), bad_workbook, {{"xl/workbook.xml", std::string("<workbook><sheets></workbook>")}});
  const auto bad_sheet = Path("bad-sheet.xlsx");
  Repack(Fixture("handmade.xlsx"), bad_sheet,
         {{"xl/worksheets/sheet1.xml", std::string("<worksheet><sheetData><row r=\"1\"><c r=\"A1\"></row></sheetData></worksheet>")}});
  const auto bad_string = Path("bad-string.xlsx");
  Repack(Fixture("handmade.xlsx"), bad_string,
         {{"xl/worksheets/sheet2.xml", std::string("<worksheet><sheetData><row r=\"1\"><c r=\"A1\" t=\"s\"><v>99</v></c></row></sheetData></worksheet>")}});
  const auto bad_cell = Path("bad-cell.xlsx");
  Repack(Fixture("handmade.xlsx"), bad_cell,
         {{"xl/worksheets/sheet2.xml", std::string("<worksheet><sheetData><row r=\"1\"><c r=\"XFE1\"><v>1</v></c></row></sheetData></worksheet>")}});
  const auto no_sheet_part = Path("no-sheet-part.xlsx");
  Repack(Fixture("handmade.xlsx"), no_sheet_part, {{"xl/worksheets/sheet2.xml", std::nullopt}});
  const auto huge = write("huge.xlsx", WithHugeDeclaredSize(Fixture("handmade.xlsx"), "xl/worksheets/sheet2.xml"));

  struct Case {
    const char* what;
    std::function<void()> fn;
    std::initializer_list<std::string> parts;
  };
  const Case cases[] = {
      {"missing file", [&] { Workbook::Open(Path("none.xlsx")); }, {"Cannot open workbook", "none.xlsx"}},
      {"not a zip", [&] { Workbook::Open(not_zip); }, {"text.xlsx", "not a zip file"}},
      {"no workbook part", [&] { Workbook::Open(no_workbook); }, {"no-workbook.xlsx", "has no workbook part"}},
      {"malformed workbook", [&] { Workbook::Open(bad_workbook); }, {"Malformed XML", "xl/workbook.xml", "bad-workbook.xlsx", "offset"}},
      {"malformed sheet", [&] { Workbook::Open(bad_sheet)->Sheet(0).Value(1, 1); },
       {"Malformed XML", "xl/worksheets/sheet1.xml", "offset", "mismatch"}},
      {"missing shared string", [&] { Workbook::Open(bad_string)->Sheet(1).UsedRange(); },
       {"xl/worksheets/sheet2.xml", "Other Sheet", "A1", "shared string \"99\""}},
      {"cell past the last column", [&] { Workbook::Open(bad_cell)->Sheet(1).UsedRange(); }, {"\"XFE1\"", "Other Sheet"}},
      {"missing sheet part", [&] { Workbook::Open(no_sheet_part); }, {"xl/worksheets/sheet2.xml", "Other Sheet", "missing"}},
      {"huge declared size", [&] { Workbook::Open(huge)->Sheet(1).Value(1, 1); }, {"xl/worksheets/sheet2.xml", "declares"}},
      {"unknown sheet", [] { Workbook::Open(Fixture("handmade.xlsx"))->SheetByName("Nope"); }, {"no sheet named \"Nope\""}},
      {"sheet index", [] { Workbook::Open(Fixture("handmade.xlsx"))->Sheet(2); }, {"no sheet number 3"}},
      {"row 0", [] { Workbook::Open(Fixture("handmade.xlsx"))->Sheet(0).Value(0, 1); }, {"outside the sheet", "Cells"}},
      {"row past the end", [] { Workbook::Open(Fixture("handmade.xlsx"))->Sheet(0).SetValue(1048577, 1, CellValue::Number(1)); },
       {"row 1048577", "outside the sheet"}},
      {"column past the end", [] { Workbook::Open(Fixture("handmade.xlsx"))->Sheet(0).Formula(1, 16385); },
       {"column 16385", "outside the sheet"}},
      {"unknown error word", [] { Workbook::Open(Fixture("handmade.xlsx"))->Sheet(0).SetValue(1, 1, CellValue::Error("#OOPS")); },
       {"#OOPS", "A1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ExpectXlsxError(c.fn, c.parts);
  }
}

TEST_F(WorkbookTest, SheetNamesFollowTheRules) {
  auto book = Workbook::Open(Fixture("template.xlsx"));
  const struct {
    std::string name;
    const char* why;
  } bad[] = {
      {"", "empty"},
      {std::string(32, 'x'), "31 characters"},
      {"a:b", ":"},
      {"a/b", "/"},
      {"a[1]", "["},
      {"q?", "?"},
      {"'quoted", "apostrophe"},
      {"history", "reserved"},
      {"notes", "has a sheet of that name"},
  };
  for (const auto& b : bad) {
    SCOPED_TRACE(b.name);
    ExpectXlsxError([&] { book->AddSheet(b.name); }, {b.why});
    ExpectXlsxError([&] { book->Sheet(0).SetName(b.name); }, {b.why});
  }
  book->Sheet(1).SetName("NOTES");  // a sheet may change the case of its own name
  EXPECT_EQ(book->Sheet(1).Name(), "NOTES");
  EXPECT_NO_THROW(book->AddSheet(std::string(31, 'x')));
  EXPECT_NO_THROW(book->AddSheet("Äpfel & Birnen (2026)"));
}

}  // namespace
}  // namespace brelix::xlsx
