#include "xlsx/worksheet.h"

#include <gtest/gtest.h>

#include "tests/xlsx/xlsx_test_support.h"
#include "xlsx/workbook.h"

namespace brelix::xlsx {
namespace {

using testing::ExpectXlsxError;
using testing::Fixture;
using testing::Parts;

class WorksheetTest : public testing::TempDirTest {
 protected:
  // Saves the book and opens the saved file.
  std::unique_ptr<Workbook> SavedAndReopened(Workbook& book, const std::string& name = "out.xlsx") {
    book.Save(Path(name));
    return Workbook::Open(Path(name));
  }
};

struct Expected {
  const char* cell;
  CellValue value;
  std::string formula;
};

const Expected kHandmadeCells[] = {
    {"A1", CellValue::String("Name"), ""},
    {"B1", CellValue::String(" padded "), ""},
    {"C1", CellValue::String("Bold and plain"), ""},  // runs joined, the phonetic run left out
    {"D1", CellValue::String("inline text"), ""},
    {"E1", CellValue::String("rich inline"), ""},
    {"F1", CellValue::String("Tab\tstop"), ""},
    {"A2", CellValue::Number(1.5), ""},
    {"A3", CellValue::Number(-0.00225), ""},
    {"B2", CellValue::Number(10), ""},
    {"C2", CellValue::Number(16.5), "A2+$B$2*B2"},  // the shared formula's master
    {"D2", CellValue::Number(116), "B2+$B$2*C2"},
    {"C3", CellValue::Number(200), "A3+$B$2*B3"},
    {"D4", CellValue::Number(3300), "B4+$B$2*C4"},
    {"E2", CellValue::Boolean(true), ""},
    {"E3", CellValue::Boolean(false), ""},
    {"F2", CellValue::Error("#DIV/0!"), ""},
    {"F3", CellValue::Error("#N/A"), ""},
    {"E4", CellValue::String("xName"), "\"x\"&A1"},  // a formula's cached text
    {"A6", CellValue::Number(20), "B2:B3*2"},        // an array formula
    {"A7", CellValue::Number(40), ""},
    {"A9", CellValue::Number(60), "SUM(Totals)"},
    {"A5", CellValue{}, ""},
    {"B7", CellValue{}, ""},
};

// Formulas' cached results are expected when cached is set; a rewritten sheet has none.
void ExpectCells(const Worksheet& sheet, std::span<const Expected> cells, bool cached) {
  for (const Expected& e : cells) {
    SCOPED_TRACE(e.cell);
    const auto pos = ParseCell(e.cell);
    ASSERT_TRUE(pos);
    EXPECT_EQ(sheet.Value(pos->row, pos->col), cached || e.formula.empty() ? e.value : CellValue());
    EXPECT_EQ(sheet.Formula(pos->row, pos->col), e.formula);
  }
}

TEST_F(WorksheetTest, ReadsEveryKindOfCell) {
  auto book = Workbook::Open(Fixture("handmade.xlsx"));
  const Worksheet& sheet = book->Sheet(0);
  ExpectCells(sheet, kHandmadeCells, true);
  EXPECT_EQ(sheet.Style(1, 1), 1);
  EXPECT_EQ(sheet.Style(2, 2), 2);
  EXPECT_EQ(sheet.Style(7, 2), 2);  // a cell with a format only
  EXPECT_EQ(sheet.Style(5, 5), 0);
  EXPECT_EQ(sheet.UsedRange(), (CellRange{1, 1, 9, 6}));
  EXPECT_EQ(sheet.MergedRanges(), (std::vector<CellRange>{{6, 2, 7, 3}, {6, 5, 6, 6}}));
  EXPECT_EQ(sheet.ColumnWidth(1), 18.5);
  EXPECT_EQ(sheet.ColumnWidth(3), 9);
  EXPECT_EQ(sheet.ColumnWidth(4), std::nullopt);
}

TEST_F(WorksheetTest, RewrittenSheetReadsBackTheSameAndKeepsWhatItDoesNotModel) {
  auto book = Workbook::Open(Fixture("handmade.xlsx"));
  Worksheet& sheet = book->Sheet(0);
  const char* kept[] = {"sheetPr", "sheetViews", "sheetFormatPr", "cols", "conditionalFormatting", "dataValidations",
                        "hyperlinks", "pageMargins", "extLst"};
  std::vector<std::vector<std::string>> before;
  for (const char* name : kept) before.push_back(sheet.ElementsXml(name));
  sheet.SetValue(9, 2, CellValue::String("changed"));
  auto again = SavedAndReopened(*book);
  const Worksheet& read = again->Sheet(0);
  ExpectCells(read, kHandmadeCells, false);
  EXPECT_EQ(read.Value(9, 2), CellValue::String("changed"));
  for (std::size_t i = 0; i < std::size(kept); ++i) EXPECT_EQ(read.ElementsXml(kept[i]), before[i]) << kept[i];
  EXPECT_EQ(read.MergedRanges(), sheet.MergedRanges());
  for (int row = 1; row <= 9; ++row)
    for (int col = 1; col <= 6; ++col) EXPECT_EQ(read.Style(row, col), sheet.Style(row, col)) << row << "," << col;
  EXPECT_TRUE(read.RowHidden(4));

  // The elements stand in the schema's order; the rich inline string keeps its runs.
  const std::string xml = Parts(Path("out.xlsx")).at("xl/worksheets/sheet1.xml");
  std::size_t last = 0;
  for (const char* tag : {"<sheetPr", "<dimension ref=\"A1:F9\"", "<sheetViews", "<sheetFormatPr", "<cols", "<sheetData",
                          "<mergeCells", "<conditionalFormatting", "<dataValidations", "<hyperlinks", "<pageMargins",
                          "<extLst"}) {
    const std::size_t at = xml.find(tag);
    ASSERT_NE(at, std::string::npos) << tag;
    EXPECT_GT(at, last) << tag;
    last = at;
  }
  EXPECT_NE(xml.find("<is><r><rPr><i/></rPr><t>rich</t></r>"), std::string::npos);
  EXPECT_NE(xml.find("mc:Ignorable=\"ext\""), std::string::npos);
}

TEST_F(WorksheetTest, LibreOfficeSheetKeepsDrawingCommentsAndPageSettings) {
  auto book = Workbook::Open(Fixture("template.xlsx"));
  Worksheet& sheet = book->Sheet(0);
  const char* kept[] = {"drawing", "legacyDrawing", "headerFooter", "pageSetup", "conditionalFormatting", "dataValidations"};
  std::vector<std::vector<std::string>> before;
  for (const char* name : kept) before.push_back(sheet.ElementsXml(name));
  sheet.SetValue(7, 1, CellValue::String("added"));
  auto again = SavedAndReopened(*book);
  for (std::size_t i = 0; i < std::size(kept); ++i) {
    EXPECT_EQ(again->Sheet(0).ElementsXml(kept[i]), before[i]) << kept[i];
    EXPECT_EQ(before[i].size(), 1u) << kept[i];
  }
  EXPECT_EQ(again->Sheet(0).Formula(5, 2), "SUM(B2:B4)");
  EXPECT_EQ(again->Sheet(0).MergedRanges(), (std::vector<CellRange>{{5, 3, 6, 4}}));
  EXPECT_EQ(again->Sheet(0).Value(7, 1), CellValue::String("added"));
}

TEST_F(WorksheetTest, CopyMovesReferencesAndRecreatesMergesOnce) {
  auto book = Workbook::Open(Fixture("handmade.xlsx"));
  Worksheet& sheet = book->Sheet(0);
  const CellRange block{1, 1, 7, 6};
  sheet.Copy(block, sheet, 20, 8);  // to H20
  sheet.Copy(block, sheet, 20, 8);  // again onto itself: nothing doubles
  EXPECT_EQ(sheet.MergedRanges(),
            (std::vector<CellRange>{{6, 2, 7, 3}, {6, 5, 6, 6}, {25, 9, 26, 10}, {25, 12, 25, 13}}));
  EXPECT_EQ(sheet.Formula(21, 10), "H21+$B$2*I21");      // C2 moved to J21
  EXPECT_EQ(sheet.Value(21, 10), CellValue{});          // no cached result for a moved formula
  EXPECT_EQ(sheet.Value(20, 10), CellValue::String("Bold and plain"));
  EXPECT_EQ(sheet.Value(20, 12), CellValue::String("rich inline"));
  EXPECT_EQ(sheet.Value(21, 13), CellValue::Error("#DIV/0!"));
  EXPECT_EQ(sheet.Style(21, 9), 2);
  EXPECT_EQ(sheet.Formula(25, 8), "I21:I22*2");

  // Into another workbook: formats by value, texts (rich ones with their runs), merges.
  auto other = Workbook::Create();
  Worksheet& target = other->Sheet(0);
  sheet.Copy(block, target, 2, 2);
  auto read = SavedAndReopened(*other);
  const Worksheet& copy = read->Sheet(0);
  EXPECT_EQ(copy.Value(2, 2), CellValue::String("Name"));
  EXPECT_EQ(copy.Value(2, 4), CellValue::String("Bold and plain"));
  EXPECT_EQ(copy.Value(3, 3), CellValue::Number(10));
  EXPECT_EQ(copy.Formula(3, 4), "B3+$B$2*C3");
  EXPECT_EQ(copy.MergedRanges(), (std::vector<CellRange>{{7, 3, 8, 4}, {7, 6, 7, 7}}));
  const FontInfo font = read->Styles().Font(copy.Style(2, 2));
  EXPECT_TRUE(font.bold);
  EXPECT_EQ(font.color, Rgb{0xFF0000});
  EXPECT_EQ(read->Styles().NumberFormatCode(copy.Style(3, 3)), "0.000");
  EXPECT_EQ(read->Styles().FillColor(copy.Style(3, 3)), Rgb{0xFFFF00});
  EXPECT_NE(Parts(Path("out.xlsx")).at("xl/sharedStrings.xml").find("<rPh"), std::string::npos);
}

TEST_F(WorksheetTest, OverlappingCopyWithinASheetUsesTheSourceAsItWas) {
  auto book = Workbook::Create();
  Worksheet& sheet = book->Sheet(0);
  for (int row = 1; row <= 3; ++row) sheet.SetValue(row, 1, CellValue::Number(row));
  sheet.Copy({1, 1, 3, 1}, sheet, 2, 1);
  EXPECT_EQ(sheet.Values({1, 1, 4, 1}), (std::vector<CellValue>{CellValue::Number(1), CellValue::Number(1),
                                                                  CellValue::Number(2), CellValue::Number(3)}));
}

TEST_F(WorksheetTest, ClearRemovesCellsMergesAndTrimsAreas) {
  auto book = Workbook::Open(Fixture("handmade.xlsx"));
  Worksheet& sheet = book->Sheet(0);
  sheet.Clear({2, 2, 3, 2});  // B2:B3
  EXPECT_EQ(sheet.Value(2, 2), CellValue{});
  EXPECT_EQ(sheet.Style(2, 2), 0);
  ASSERT_EQ(sheet.ElementsXml("conditionalFormatting").size(), 1u);
  EXPECT_NE(sheet.ElementsXml("conditionalFormatting")[0].find("sqref=\"B4 D6\""), std::string::npos);
  sheet.Clear({1, 1, 1, 1});  // the hyperlink's cell
  EXPECT_TRUE(sheet.ElementsXml("hyperlinks").empty());
  sheet.Clear({3, 1, 3, 1});  // the middle of the validation's area
  ASSERT_EQ(sheet.ElementsXml("dataValidations").size(), 1u);
  EXPECT_NE(sheet.ElementsXml("dataValidations")[0].find("sqref=\"A2 A4\""), std::string::npos);
  sheet.Clear({7, 3, 7, 3});  // one cell of the merged range B6:C7
  EXPECT_EQ(sheet.MergedRanges(), (std::vector<CellRange>{{6, 5, 6, 6}}));
  sheet.ClearContents({2, 1, 4, 6});
  EXPECT_EQ(sheet.Value(2, 3), CellValue{});
  EXPECT_FALSE(sheet.HasFormula(2, 3));
  sheet.Clear({1, 1, 10, 10});
  EXPECT_EQ(sheet.UsedRange(), std::nullopt);
  EXPECT_TRUE(sheet.ElementsXml("conditionalFormatting").empty());
  EXPECT_TRUE(sheet.ElementsXml("dataValidations").empty());
  auto again = SavedAndReopened(*book);
  EXPECT_EQ(again->Sheet(0).UsedRange(), std::nullopt);
  EXPECT_EQ(again->Sheet(1).Value(1, 1), CellValue::String("Name"));  // shared strings kept their places
}

TEST_F(WorksheetTest, RowHeights) {
  auto book = Workbook::Open(Fixture("handmade.xlsx"));
  Worksheet& sheet = book->Sheet(0);
  EXPECT_EQ(sheet.DefaultRowHeight(), 14.5);
  EXPECT_EQ(sheet.RowHeight(1), 20.25);
  EXPECT_TRUE(sheet.HasCustomHeight(1));
  EXPECT_EQ(sheet.RowHeight(2), 14.5);
  EXPECT_FALSE(sheet.HasCustomHeight(2));
  EXPECT_EQ(sheet.RowHeight(100), 14.5);
  sheet.SetRowHeight(2, 3, 30);
  sheet.SetRowHeight(200, 0);
  sheet.CopyRowHeights(1, 2, sheet, 10);  // 20.25 and 30
  for (double bad : {-1.0, 410.0})
    ExpectXlsxError([&] { sheet.SetRowHeight(5, bad); }, {"outside 0 to 409.5 points", "Cells"});
  auto again = SavedAndReopened(*book);
  const Worksheet& read = again->Sheet(0);
  EXPECT_EQ(read.RowHeight(2), 30);
  EXPECT_EQ(read.RowHeight(3), 30);
  EXPECT_EQ(read.RowHeight(200), 0);
  EXPECT_EQ(read.RowHeight(10), 20.25);
  EXPECT_EQ(read.RowHeight(11), 30);
  EXPECT_TRUE(read.HasCustomHeight(11));
  EXPECT_EQ(read.RowHeight(6), 33);
}

TEST_F(WorksheetTest, BlockWriteStoresTypedCellsRowByRow) {
  auto book = Workbook::Create();
  Worksheet& sheet = book->Sheet(0);
  const int bold = book->Styles().WithFont(0, {.bold = true});
  constexpr int kRows = 2000;
  std::vector<CellData> cells;
  std::vector<std::string> texts;
  texts.reserve(kRows);
  for (int r = 0; r < kRows; ++r) texts.push_back("row " + std::to_string(r));
  for (int r = 0; r < kRows; ++r) {
    cells.push_back(CellData::Number(r * 0.5));
    cells.push_back(CellData::String(texts[r], bold));
    cells.push_back(CellData::Boolean(r % 2 == 0));
    cells.push_back(CellData::Empty());
  }
  sheet.WriteCells(2, 1, 4, cells);
  sheet.WriteCells(2, 4, 1, std::vector<CellData>{CellData::Formula("=A2*2"), CellData::Formula("A3*2")});
  auto again = SavedAndReopened(*book);
  const Worksheet& read = again->Sheet(0);
  EXPECT_EQ(read.UsedRange(), (CellRange{2, 1, kRows + 1, 4}));
  EXPECT_EQ(read.Value(kRows + 1, 1), CellValue::Number((kRows - 1) * 0.5));
  EXPECT_EQ(read.Value(3, 2), CellValue::String("row 1"));
  EXPECT_EQ(read.Value(3, 3), CellValue::Boolean(false));
  EXPECT_EQ(read.Formula(2, 4), "A2*2");
  EXPECT_EQ(read.Formula(3, 4), "A3*2");
  EXPECT_EQ(read.Value(4, 4), CellValue{});
  EXPECT_TRUE(again->Styles().Font(read.Style(5, 2)).bold);
  EXPECT_EQ(read.Style(5, 1), 0);
}

}  // namespace
}  // namespace brelix::xlsx

namespace brelix::xlsx {
namespace {

// The cell data is read from the part's text without a tree: every well-formed spelling of it
// reads the same.
TEST_F(WorksheetTest, CellDataReadsTheSameInEveryWellFormedSpelling) {
  const std::string sheet =
      "<?xml version=\"1.0\"?>\n<x:worksheet xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
      "<x:sheetData>\n  <!-- a comment between rows -->\n"
      "  <x:row r='1' ht='20' customHeight='1'>"
      "<x:c r='A1' t='inlineStr'><x:is><x:t>a &amp; b &lt;c&gt; &#228;&#x20AC;</x:t></x:is></x:c>"
      "<x:c r=\"B1\" t=\"str\"><x:f>\"x\"&amp;\"y\"</x:f><x:v><![CDATA[x<y>]]></x:v></x:c>"
      "<x:c r=\"C1\"><x:extLst><x:ext uri=\"{0}\"><x:v>9</x:v></x:ext></x:extLst><x:v>1.5</x:v></x:c>"
      "<?pi between cells?><x:c r=\"D1\" t=\"inlineStr\"><x:is><x:r><x:t>rich</x:t></x:r><x:r><x:t> runs</x:t></x:r></x:is></x:c>"
      "<x:c r=\"E1\" t=\"inlineStr\"><x:is><x:t>line\r\nend</x:t></x:is></x:c>"
      "</x:row>\n"
      "  <x:row><x:c><x:v>2</x:v></x:c><x:c s=\"1\"/></x:row>\n"
      "</x:sheetData><x:pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" footer=\"0.3\"/>"
      "</x:worksheet>";
  testing::Repack(Fixture("handmade.xlsx"), Path("spellings.xlsx"), {{"xl/worksheets/sheet2.xml", sheet}});
  auto book = Workbook::Open(Path("spellings.xlsx"));
  const Worksheet& read = book->Sheet(1);
  EXPECT_EQ(read.Value(1, 1), CellValue::String("a & b <c> \xC3\xA4\xE2\x82\xAC"));
  EXPECT_EQ(read.Formula(1, 2), "\"x\"&\"y\"");
  EXPECT_EQ(read.Value(1, 2), CellValue::String("x<y>"));
  EXPECT_EQ(read.Value(1, 3), CellValue::Number(1.5));
  EXPECT_EQ(read.Value(1, 4), CellValue::String("rich runs"));
  EXPECT_EQ(read.Value(1, 5), CellValue::String("line\nend"));
  EXPECT_EQ(read.RowHeight(1), 20);
  EXPECT_EQ(read.Value(2, 1), CellValue::Number(2));
  EXPECT_EQ(read.Style(2, 2), 1);
  EXPECT_EQ(read.ElementsXml("pageMargins").size(), 1u);

  // Written again, the rich inline string keeps its runs.
  book->Sheet(1).SetValue(3, 1, CellValue::Number(3));
  book->Save(Path("again.xlsx"));
  EXPECT_NE(Parts(Path("again.xlsx")).at("xl/worksheets/sheet2.xml").find("<x:r><x:t>rich</x:t></x:r>"), std::string::npos);
  EXPECT_EQ(Workbook::Open(Path("again.xlsx"))->Sheet(1).Value(1, 4), CellValue::String("rich runs"));
}

}  // namespace
}  // namespace brelix::xlsx
