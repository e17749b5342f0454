#include "xlsx/styles.h"

#include <gtest/gtest.h>

#include "tests/xlsx/xlsx_test_support.h"
#include "xlsx/workbook.h"

namespace brelix::xlsx {
namespace {

using testing::Fixture;

TEST(StylesTest, DerivedFormatsReuseIdenticalEntries) {
  auto book = Workbook::Open(Fixture("handmade.xlsx"));
  Stylesheet& styles = book->Styles();
  const int count = styles.XfCount();
  // Format 1 is format 0 with a bold red font; format 2 has the yellow fill and "0.000".
  EXPECT_EQ(styles.WithFont(0, {.color = 0xFF0000, .bold = true}), 1);
  EXPECT_EQ(styles.WithNumberFormat(0, "0.000"), styles.WithNumberFormat(0, "0.000"));
  EXPECT_EQ(styles.XfCount(), count + 1);
  EXPECT_FALSE(styles.Print().find("numFmtId=\"165\"") != std::string::npos);  // "0.000" is id 164
  const int italic = styles.WithFont(2, {.italic = true});
  EXPECT_EQ(styles.WithFont(2, {.italic = true}), italic);
  EXPECT_EQ(styles.NumberFormatCode(italic), "0.000");   // the rest of the format stays
  EXPECT_EQ(styles.FillColor(italic), Rgb{0xFFFF00});
  EXPECT_TRUE(styles.Font(italic).italic);
  EXPECT_FALSE(styles.Font(italic).bold);
  EXPECT_FALSE(styles.Font(styles.WithFont(1, {.bold = false})).bold);
}

TEST(StylesTest, FontChangesReadBack) {
  auto book = Workbook::Create();
  Stylesheet& styles = book->Styles();
  const int xf = styles.WithFont(0, {.name = "Arial", .size = 14.5, .color = 0x336699, .bold = true, .italic = true,
                                     .strikethrough = true, .underline = Underline::Double});
  const FontInfo font = styles.Font(xf);
  EXPECT_EQ(font.name, "Arial");
  EXPECT_EQ(font.size, 14.5);
  EXPECT_EQ(font.color, Rgb{0x336699});
  EXPECT_TRUE(font.bold && font.italic && font.strikethrough);
  EXPECT_EQ(font.underline, Underline::Double);
  EXPECT_EQ(styles.Font(styles.WithFont(xf, {.underline = Underline::None})).underline, Underline::None);
  const int filled = styles.WithFillColor(xf, 0x00FF00);
  EXPECT_EQ(styles.FillColor(filled), Rgb{0x00FF00});
  EXPECT_EQ(styles.Font(filled).name, "Arial");
}

TEST(StylesTest, NumberFormatsForTypedInput) {
  auto book = Workbook::Create();
  Stylesheet& styles = book->Styles();
  const struct {
    int xf;
    std::string code;
    bool date;
  } cases[] = {
      {styles.WithDateFormat(0, false), "mm-dd-yy", true},
      {styles.WithDateFormat(0, true), "m/d/yy h:mm", true},
      {styles.WithPercentFormat(0, 0), "0%", false},
      {styles.WithPercentFormat(0, 2), "0.00%", false},
      {styles.WithPercentFormat(0, 3), "0.000%", false},
      {styles.WithNumberFormat(0, "dd.mm.yyyy"), "dd.mm.yyyy", true},
      {styles.WithNumberFormat(0, "[h]:mm"), "[h]:mm", true},
      {styles.WithNumberFormat(0, "\"d\"0.00"), "\"d\"0.00", false},
      {styles.WithNumberFormat(0, "[Red]0.0"), "[Red]0.0", false},
      {0, "General", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(styles.NumberFormatCode(c.xf), c.code);
    EXPECT_EQ(styles.IsDateFormat(c.xf), c.date);
  }
  EXPECT_EQ(styles.NumberFormatId("0.00%"), 10);
  EXPECT_EQ(styles.NumberFormatId("0.000%"), 164);
  EXPECT_EQ(styles.NumberFormatId("dd.mm.yyyy"), 165);
}

TEST(StylesTest, ImportMapsAFormatByValue) {
  auto source = Workbook::Open(Fixture("handmade.xlsx"));
  auto target = Workbook::Create();
  const int xf = target->Styles().Import(source->Styles(), 2);
  EXPECT_EQ(target->Styles().Import(source->Styles(), 2), xf);
  EXPECT_EQ(target->Styles().NumberFormatCode(xf), "0.000");
  EXPECT_EQ(target->Styles().FillColor(xf), Rgb{0xFFFF00});
  EXPECT_NE(target->Styles().Print().find("<left style=\"thin\">"), std::string::npos);
  EXPECT_EQ(target->Styles().Import(source->Styles(), 0), 0);  // equal to the new book's own default
}

}  // namespace
}  // namespace brelix::xlsx
