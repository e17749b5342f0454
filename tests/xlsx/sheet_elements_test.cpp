// Conditional formats, data validations and hyperlinks follow copies and clears of their cells.

#include "xlsx/sheet_elements.h"

#include <gtest/gtest.h>

#include "tests/xlsx/xlsx_test_support.h"
#include "xlsx/workbook.h"

namespace brelix::xlsx {
namespace {

using testing::Fixture;
using testing::Parts;

// The text between "<tag" ... ">" and the next "<", or the value of attribute within each
// element printed by ElementsXml, as small probes of the stored XML.
std::string Between(const std::string& xml, const std::string& open, const std::string& close) {
  const std::size_t at = xml.find(open);
  if (at == std::string::npos) return "<none>";
  const std::size_t from = at + open.size();
  return xml.substr(from, xml.find(close, from) - from);
}

std::string Sqref(const std::string& xml) { return Between(xml, "sqref=\"", "\""); }
std::string XmSqref(const std::string& xml) { return Between(xml, "<xm:sqref>", "<"); }

// The extension elements of a sheet, printed.
std::string Extensions(const Worksheet& sheet) {
  const auto list = sheet.ElementsXml("extLst");
  return list.empty() ? std::string() : list.front();
}

class SheetElementsTest : public testing::TempDirTest {};

TEST(AreaListTest, AddingAnAreaJoinsTheAreasItCompletes) {
  struct Case {
    const char* areas;
    const char* added;
    const char* result;
  };
  const Case cases[] = {
      {"A1:B3", "A4:B4", "A1:B4"},        // below, same columns
      {"A1:B3", "C1:C3", "A1:C3"},        // right, same rows
      {"A1:A3 A5:A9", "A4", "A1:A9"},     // closes a gap: both join
      {"A1:B3", "A4", "A1:B3 A4"},        // not a whole side
      {"B2:C3", "A1:D4", "A1:D4"},        // covers it
      {"A1:D4", "B2", "A1:D4"},           // already covered
      {"A10:A12 C1", "A13", "A10:A13 C1"},  // keeps the place of the joined area
  };
  for (const Case& c : cases) {
    std::vector<CellRange> areas = sheet_elements::ParseAreas(c.areas);
    sheet_elements::AddArea(areas, *ParseRange(c.added));
    EXPECT_EQ(sheet_elements::PrintAreas(areas), c.result) << c.areas << " + " << c.added;
  }
}

TEST_F(SheetElementsTest, CopiedRowsJoinTheRulesOfTheirSource) {
  auto book = Workbook::Open(Fixture("rules.xlsx"));
  Worksheet& sheet = book->Sheet(0);
  for (int row = 10; row <= 13; ++row) sheet.Copy({1, 1, 1, 4}, sheet, row, 1);
  sheet.Copy({1, 1, 1, 4}, sheet, 13, 1);  // again onto a copy: nothing doubles

  const auto formats = sheet.ElementsXml("conditionalFormatting");
  ASSERT_EQ(formats.size(), 1u);
  EXPECT_EQ(Sqref(formats[0]), "A1:A3 A10:A13");
  EXPECT_EQ(Between(formats[0], "<formula>", "<"), "A1&gt;B1");
  const auto validations = sheet.ElementsXml("dataValidations");
  ASSERT_EQ(validations.size(), 1u);
  EXPECT_EQ(Sqref(validations[0]), "C1:C3 C10:C13");
  const std::string ext = Extensions(sheet);
  EXPECT_EQ(XmSqref(ext), "B1:B3 B10:B13");
  EXPECT_EQ(XmSqref(ext.substr(ext.find("dataValidations"))), "D1:D3 D10:D13");
  const std::string links = sheet.ElementsXml("hyperlinks").at(0);
  EXPECT_NE(links.find("<hyperlink ref=\"A1\" r:id=\"rId1\"/>"), std::string::npos) << links;
  EXPECT_NE(links.find("<hyperlink ref=\"A10:A13\" r:id=\"rId2\"/>"), std::string::npos) << links;

  book->Save(Path("out.xlsx"));
  const std::string rels = Parts(Path("out.xlsx")).at("xl/worksheets/_rels/sheet1.xml.rels");
  EXPECT_NE(rels.find("Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/hyperlink\" "
                      "Target=\"https://example.org/rules\" TargetMode=\"External\""),
            std::string::npos)
      << rels;
}

TEST_F(SheetElementsTest, CopyIntoAnotherWorkbookMovesFormulasAndCarriesFormats) {
  auto book = Workbook::Open(Fixture("rules.xlsx"));
  auto other = Workbook::Create();
  book->Sheet(0).Copy({1, 1, 3, 4}, other->Sheet(0), 2, 2);  // A1:D3 to B2
  other->Save(Path("other.xlsx"));
  auto read = Workbook::Open(Path("other.xlsx"));
  const Worksheet& sheet = read->Sheet(0);

  const std::string format = sheet.ElementsXml("conditionalFormatting").at(0);
  EXPECT_EQ(Sqref(format), "B2:B4");
  EXPECT_EQ(Between(format, "<formula>", "<"), "B2&gt;C2");
  EXPECT_EQ(Between(format, "dxfId=\"", "\""), "0");  // the new workbook's first differential format
  EXPECT_NE(Parts(Path("other.xlsx")).at("xl/styles.xml").find("<bgColor rgb=\"FFFFC7CE\"/>"), std::string::npos);
  const std::string validation = sheet.ElementsXml("dataValidations").at(0);
  EXPECT_EQ(Sqref(validation), "D2:D4");
  EXPECT_EQ(Between(validation, "<formula1>", "<"), "D2&gt;B2");
  const std::string ext = Extensions(sheet);
  EXPECT_EQ(XmSqref(ext), "C2:C4");
  EXPECT_EQ(Between(ext, "<xm:f>", "<"), "C2&lt;Lists!$B$1");
  EXPECT_NE(ext.find("<x14:dxf><font><i/></font></x14:dxf>"), std::string::npos) << ext;
  EXPECT_EQ(XmSqref(ext.substr(ext.find("dataValidations"))), "E2:E4");
  const std::string links = sheet.ElementsXml("hyperlinks").at(0);
  EXPECT_NE(links.find("<hyperlink ref=\"B2\" r:id=\"rId1\"/>"), std::string::npos) << links;
  EXPECT_NE(links.find("<hyperlink ref=\"C3\" location=\"Lists!A1\" display=\"to the lists\"/>"), std::string::npos)
      << links;
  EXPECT_NE(Parts(Path("other.xlsx")).at("xl/worksheets/_rels/sheet1.xml.rels").find("https://example.org/rules"),
            std::string::npos);
}

TEST_F(SheetElementsTest, SixtyThousandRowCopiesLeaveOneAreaPerRule) {
  auto book = Workbook::Open(Fixture("rules.xlsx"));
  Worksheet& report = book->AddSheet("Report");
  constexpr int kRows = 60000;
  for (int row = 1; row <= kRows; ++row) book->Sheet(0).Copy({1, 1, 1, 4}, report, row, 1);
  const auto formats = report.ElementsXml("conditionalFormatting");
  ASSERT_EQ(formats.size(), 1u);
  EXPECT_EQ(Sqref(formats[0]), "A1:A60000");
  EXPECT_EQ(Sqref(report.ElementsXml("dataValidations").at(0)), "C1:C60000");
  EXPECT_EQ(XmSqref(Extensions(report)), "B1:B60000");
  const std::string links = report.ElementsXml("hyperlinks").at(0);
  EXPECT_EQ(links, "<hyperlinks><hyperlink ref=\"A1:A60000\" r:id=\"rId1\"/></hyperlinks>");
}

TEST_F(SheetElementsTest, ClearTakesItsRangeOutOfEveryFormOfRule) {
  auto book = Workbook::Open(Fixture("rules.xlsx"));
  Worksheet& sheet = book->Sheet(0);
  sheet.Clear({1, 1, 1, 4});  // row 1: the rules' top-left cells move down
  EXPECT_EQ(Sqref(sheet.ElementsXml("conditionalFormatting").at(0)), "A2:A3");
  EXPECT_EQ(Between(sheet.ElementsXml("conditionalFormatting").at(0), "<formula>", "<"), "A2&gt;B2");
  EXPECT_EQ(Between(sheet.ElementsXml("dataValidations").at(0), "<formula1>", "<"), "C2&gt;A2");
  std::string ext = Extensions(sheet);
  EXPECT_EQ(XmSqref(ext), "B2:B3");
  EXPECT_EQ(Between(ext, "<xm:f>", "<"), "B2&lt;Lists!$B$1");
  EXPECT_EQ(XmSqref(ext.substr(ext.find("dataValidations"))), "D2:D3");
  EXPECT_EQ(sheet.ElementsXml("hyperlinks").at(0), "<hyperlinks><hyperlink ref=\"B2\" location=\"Lists!A1\" display=\"to the lists\"/></hyperlinks>");

  sheet.Clear({2, 2, 3, 4});  // B2:D3: the extension forms lose all their cells
  ext = Extensions(sheet);
  EXPECT_EQ(ext, "") << ext;
  EXPECT_TRUE(sheet.ElementsXml("dataValidations").empty());
  EXPECT_TRUE(sheet.ElementsXml("hyperlinks").empty());
  EXPECT_EQ(Sqref(sheet.ElementsXml("conditionalFormatting").at(0)), "A2:A3");
  book->Save(Path("out.xlsx"));
  EXPECT_EQ(Workbook::Open(Path("out.xlsx"))->Sheet(0).ElementsXml("extLst").size(), 0u);
}

}  // namespace
}  // namespace brelix::xlsx
