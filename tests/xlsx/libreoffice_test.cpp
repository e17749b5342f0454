// A workbook the engine changed opens in LibreOffice without loss: LibreOffice headless turns
// every sheet of the saved file into CSV, and the values (formulas calculated by LibreOffice)
// are compared with what the engine wrote.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/libreoffice.h"
#include "tests/xlsx/xlsx_test_support.h"
#include "xlsx/workbook.h"

namespace brelix::xlsx {
namespace {

using testing::Fixture;

class LibreOfficeTest : public testing::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    if (!brelix::testing::HaveLibreOffice()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
  }

  // Each sheet of the file as CSV text, by sheet name.
  std::map<std::string, std::string> SheetsAsCsv(const std::filesystem::path& file, const std::vector<std::string>& sheets) {
    std::map<std::string, std::string> csv = brelix::testing::SheetsAsCsv(file, sheets, dir_);
    EXPECT_FALSE(csv.empty()) << "LibreOffice could not convert " << file;
    return csv;
  }

  // The file as LibreOffice reads it, written as a flat OpenDocument spreadsheet.
  std::string AsFlatDocument(const std::filesystem::path& file) {
    const std::string command = "cd '" + dir_.string() + "' && soffice -env:UserInstallation=file://" + dir_.string() +
                                "/profile --headless --convert-to fods --outdir '" + (dir_ / "fods").string() + "' '" +
                                file.string() + "' >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream in(dir_ / "fods" / (file.stem().string() + ".fods"));
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
};

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST_F(LibreOfficeTest, CopiedRulesCommentsAndLinksApplyToTheirNewCells) {
  auto templ = Workbook::Open(Fixture("template.xlsx"));
  auto rules = Workbook::Open(Fixture("rules.xlsx"));
  auto book = Workbook::Create();
  Worksheet& sheet = book->Sheet(0);
  templ->Sheet(0).Copy({1, 1, 4, 4}, sheet, 1, 1);
  rules->Sheet(0).Copy({1, 1, 3, 4}, sheet, 6, 1);
  for (int row = 10; row <= 13; ++row) rules->Sheet(0).Copy({1, 1, 1, 4}, sheet, row, 1);
  sheet.Clear({7, 1, 7, 4});
  book->Save(Path("copied.xlsx"));

  const std::string doc = AsFlatDocument(Path("copied.xlsx"));
  EXPECT_NE(doc.find("calcext:target-range-address=\"Sheet1.B2:Sheet1.B4\""), std::string::npos);
  EXPECT_NE(doc.find("calcext:target-range-address=\"Sheet1.A6:Sheet1.A6 Sheet1.A8:Sheet1.A8 Sheet1.A10:Sheet1.A13\""), std::string::npos);
  EXPECT_NE(doc.find("calcext:value=\"formula-is([.A6]&gt;[.B6])\""), std::string::npos);
  EXPECT_NE(doc.find("table:condition=\"of:is-true-formula([.C6]&gt;[.A6])\""), std::string::npos);
  EXPECT_EQ(Count(doc, "<office:annotation "), 1u);  // the note of A2
  EXPECT_EQ(Count(doc, "xlink:href=\"https://example.org/rules\""), 2u);  // A6 and A10:A13
}

TEST_F(LibreOfficeTest, ChartOfARenamedSheetKeepsItsData) {
  auto book = Workbook::Open(Fixture("template.xlsx"));
  book->Sheet(0).SetName("Q1 Sales");
  book->Save(Path("renamed.xlsx"));
  const std::string doc = AsFlatDocument(Path("renamed.xlsx"));
  EXPECT_NE(doc.find("cell-range-address=\"&apos;Q1 Sales&apos;.B2:&apos;Q1 Sales&apos;.B4\""), std::string::npos);
  EXPECT_NE(doc.find("cell-range-address=\"&apos;Q1 Sales&apos;.A2:&apos;Q1 Sales&apos;.A4\""), std::string::npos);
  EXPECT_EQ(doc.find("Data."), std::string::npos);
}

TEST_F(LibreOfficeTest, ChangedWorkbookOpensWithItsValues) {
  auto book = Workbook::Open(Fixture("template.xlsx"));
  Worksheet& data = book->Sheet(0);
  data.SetValue(2, 2, CellValue::Number(100));
  data.SetFormula(6, 2, "B5*2");
  data.Copy({1, 1, 6, 4}, data, 9, 1);
  data.SetStyle(9, 1, book->Styles().WithFillColor(data.Style(9, 1), 0xFFCC00));
  Worksheet& report = book->AddSheet("Report");
  const std::vector<CellData> row = {CellData::String("x, \"quoted\""), CellData::Formula("SUM(Data!B2:B4)"),
                                     CellData::Boolean(true), CellData::Number(-0.125)};
  report.WriteCells(1, 1, 4, row);
  report.SetValue(2, 1, CellValue::String("line\nbreak"));
  book->Save(Path("changed.xlsx"));

  const auto csv = SheetsAsCsv(Path("changed.xlsx"), {"Data", "Notes", "Report"});
  EXPECT_EQ(csv.at("Data"),
            "Item,Amount,Double,Score\n"
            "Apples,100,200,5\n"
            "Pears,25.5,51,50\n"
            "Plums,7,14,75\n"
            "Total,132.5,Merged note,\n"
            ",265,,\n"
            ",,,\n"
            ",,,\n"
            "Item,Amount,Double,Score\n"
            "Apples,100,200,5\n"
            "Pears,25.5,51,50\n"
            "Plums,7,14,75\n"
            "Total,132.5,Merged note,\n"
            ",265,,\n");
  EXPECT_EQ(csv.at("Notes"), "Untouched sheet,3.25\n");
  EXPECT_EQ(csv.at("Report"), "\"x, \"\"quoted\"\"\",132.5,TRUE,-0.125\n\"line\nbreak\",,,\n");
}

}  // namespace
}  // namespace brelix::xlsx
