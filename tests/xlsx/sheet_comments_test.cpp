// Comments follow copies and clears of their cells: the comments part and the note shapes of
// the legacy drawing.

#include <gtest/gtest.h>

#include <regex>

#include "tests/xlsx/xlsx_test_support.h"
#include "xlsx/workbook.h"

namespace brelix::xlsx {
namespace {

using testing::Fixture;
using testing::Parts;

// The values of every match of the pattern's first group, in order.
std::vector<std::string> All(const std::string& text, const std::string& pattern) {
  std::vector<std::string> out;
  const std::regex re(pattern);
  for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator(); ++it)
    out.push_back((*it)[1]);
  return out;
}

class SheetCommentsTest : public testing::TempDirTest {};

TEST_F(SheetCommentsTest, CopyWithinTheSheetAddsCommentAndNoteShape) {
  auto book = Workbook::Open(Fixture("template.xlsx"));
  Worksheet& sheet = book->Sheet(0);
  sheet.Copy({1, 1, 4, 4}, sheet, 10, 3);  // A1:D4 to C10: the note of A2 goes to C11
  sheet.Copy({1, 1, 4, 4}, sheet, 10, 3);  // again: nothing doubles
  book->Save(Path("out.xlsx"));
  const auto parts = Parts(Path("out.xlsx"));
  const std::string& comments = parts.at("xl/comments1.xml");
  EXPECT_EQ(All(comments, "<comment ref=\"([A-Z0-9]+)\""), (std::vector<std::string>{"A2", "C11"}));
  EXPECT_EQ(All(comments, "<t xml:space=\"preserve\">([^<]*)</t>"),
            (std::vector<std::string>{"Fresh each week", "Fresh each week"}));
  const std::string& vml = parts.at("xl/drawings/vmlDrawing1.vml");
  EXPECT_EQ(All(vml, "<x:Row>([0-9]+)</x:Row>"), (std::vector<std::string>{"1", "10"}));
  EXPECT_EQ(All(vml, "<x:Column>([0-9]+)</x:Column>"), (std::vector<std::string>{"0", "2"}));
  EXPECT_EQ(All(vml, "<x:Anchor>([^<]*)</x:Anchor>"),
            (std::vector<std::string>{"1, 23, 0, 0, 2, 19, 2, 5", "3, 23, 9, 0, 4, 19, 11, 5"}));
  // The chart and the image stay as they were.
  EXPECT_EQ(parts.at("xl/drawings/drawing1.xml"), Parts(Fixture("template.xlsx")).at("xl/drawings/drawing1.xml"));
}

TEST_F(SheetCommentsTest, CopyIntoAWorkbookWithoutCommentsCreatesTheirParts) {
  auto book = Workbook::Open(Fixture("template.xlsx"));
  auto other = Workbook::Create();
  book->Sheet(0).Copy({2, 1, 2, 4}, other->Sheet(0), 5, 2);  // row 2 to B5
  other->Save(Path("other.xlsx"));
  const auto parts = Parts(Path("other.xlsx"));
  ASSERT_TRUE(parts.count("xl/comments1.xml"));
  ASSERT_TRUE(parts.count("xl/drawings/vmlDrawing1.vml"));
  EXPECT_EQ(All(parts.at("xl/comments1.xml"), "<comment ref=\"([A-Z0-9]+)\""), (std::vector<std::string>{"B5"}));
  EXPECT_EQ(All(parts.at("xl/comments1.xml"), "<author>([^<]*)</author>"), (std::vector<std::string>{"Brelix"}));
  const std::string& vml = parts.at("xl/drawings/vmlDrawing1.vml");
  EXPECT_NE(vml.find("<v:shapetype"), std::string::npos);
  EXPECT_EQ(All(vml, "<x:Row>([0-9]+)</x:Row>"), (std::vector<std::string>{"4"}));
  const std::string& rels = parts.at("xl/worksheets/_rels/sheet1.xml.rels");
  EXPECT_NE(rels.find("relationships/comments\" Target=\"/xl/comments1.xml\""), std::string::npos) << rels;
  EXPECT_NE(rels.find("relationships/vmlDrawing\" Target=\"/xl/drawings/vmlDrawing1.vml\""), std::string::npos) << rels;
  const std::string& types = parts.at("[Content_Types].xml");
  EXPECT_NE(types.find("PartName=\"/xl/comments1.xml\""), std::string::npos) << types;
  EXPECT_NE(types.find("Extension=\"vml\""), std::string::npos) << types;
  auto read = Workbook::Open(Path("other.xlsx"));
  EXPECT_EQ(read->Sheet(0).ElementsXml("legacyDrawing").size(), 1u);
  EXPECT_EQ(read->Sheet(0).Value(5, 2), CellValue::String("Apples"));
}

TEST_F(SheetCommentsTest, ClearRemovesTheCommentsOfItsRangeAndLeavesDrawings) {
  auto book = Workbook::Open(Fixture("template.xlsx"));
  Worksheet& sheet = book->Sheet(0);
  sheet.Clear({1, 2, 6, 4});  // B1:D6 holds no comment
  sheet.Clear({2, 1, 2, 1});  // A2 does
  book->Save(Path("out.xlsx"));
  const auto parts = Parts(Path("out.xlsx"));
  EXPECT_TRUE(All(parts.at("xl/comments1.xml"), "<comment ref=\"([A-Z0-9]+)\"").empty());
  EXPECT_EQ(parts.at("xl/drawings/vmlDrawing1.vml").find("ObjectType=\"Note\""), std::string::npos);
  EXPECT_EQ(parts.at("xl/drawings/drawing1.xml"), Parts(Fixture("template.xlsx")).at("xl/drawings/drawing1.xml"));
  EXPECT_EQ(Workbook::Open(Path("out.xlsx"))->Sheet(0).ElementsXml("drawing").size(), 1u);
}

}  // namespace
}  // namespace brelix::xlsx
