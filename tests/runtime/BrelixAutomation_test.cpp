#include "runtime/BrelixAutomation.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/locale.h"
#include "xlsx/workbook.h"
#include "xlsx/zip_package.h"
#include "tests/support/scoped_locale.h"

namespace brelix::automation {
namespace {

namespace fs = std::filesystem;
using platform::Variant;

fs::path Fixture(const std::string& name) { return fs::path(BRELIX_TEST_FIXTURES) / "xlsx" / name; }

using brelix::testing::ScopedLocale;

class AutomationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = fs::temp_directory_path() / "brelix-automation-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    app_ = CreateApplication();
  }
  void TearDown() override {
    SetViewerCommand({});
    app_.reset();
    fs::remove_all(dir_);
  }
  fs::path Path(const std::string& name) const { return dir_ / name; }
  Worksheet& NewSheet() { return app_->AddEmpty().Worksheets(1); }

  fs::path dir_;
  std::unique_ptr<Application> app_;
};

TEST_F(AutomationTest, RangesByAddressAndTheirErrors) {
  Worksheet& sheet = NewSheet();
  EXPECT_EQ(sheet.GetRange("$B$2:c3").Address(), "B2:C3");
  EXPECT_EQ(sheet.GetRange("C3:A1").Address(), "A1:C3");
  EXPECT_EQ(sheet.GetRange("A1:B2,D4").AreasCount(), 2);
  EXPECT_EQ(sheet.GetRange(2, 3, 4, 5).Address(), "C2:E4");
  for (const char* bad : {"A1:", "", "1A", "A0", "XFE1", "A1,,B2"}) {
    try {
      sheet.GetRange(bad);
      ADD_FAILURE() << bad;
    } catch (const EAutomationError& e) {
      EXPECT_NE(std::string(e.Message()).find("Sheet1"), std::string::npos) << e.Message();
    }
  }
  EXPECT_EQ(sheet.UsedRange().Address(), "A1");
  sheet.GetRange("C5").SetFormula("x");
  EXPECT_EQ(sheet.UsedRange().Address(), "A1:C5");
}

TEST_F(AutomationTest, LocalFormulasInGerman) {
  ScopedLocale german("de-DE");
  Worksheet& sheet = NewSheet();
  const Range a1 = sheet.GetRange("A1");
  a1.SetFormula("=SUM(A2:A3)*1.5");
  EXPECT_EQ(a1.FormulaLocal(), "=SUMME(A2:A3)*1,5");
  a1.SetFormulaLocal("=WENN(RUNDEN(B1;0)>1;WAHR;\"x;y\")");
  EXPECT_EQ(a1.Formula(), "=IF(ROUND(B1,0)>1,TRUE,\"x;y\")");
  // A formula put on several cells moves its relative references, as filling does.
  sheet.GetRange("B1:B3").SetFormula("=A1+$A$1");
  EXPECT_EQ(sheet.GetRange("B3").Formula(), "=A3+$A$1");
}

// The block write takes texts as a user types them; reading back gives what the user would see.
TEST_F(AutomationTest, BlockWriteTakesTextsAsTyped) {
  struct Case {
    const char* locale;
    Variant input;
    Variant value;          // what the cell holds
    const char* local;      // FormulaLocal read back
  };
  const platform::DateTime dec11 = platform::DateTime::FromDate(2026, 12, 11);
  const std::vector<Case> cases = {
      {"en-US", "12.5", 12.5, "12.5"},
      {"en-US", "12,5", "12,5", "12,5"},
      {"de-DE", "12,5", 12.5, "12,5"},
      {"de-DE", "-1.234,5E3", -1234500.0, "-1234500"},
      {"en-US", "50%", 0.5, "50%"},
      {"de-DE", "12,5%", 0.125, "12,5%"},
      {"en-US", "'007", "007", "'007"},
      {"en-US", "007", 7.0, "7"},
      {"de-DE", "wahr", true, "WAHR"},
      {"en-US", "2026-12-11", dec11.serial, "12/11/2026"},
      {"de-DE", "11.12.2026", dec11.serial, "11.12.2026"},
      {"en-US", "=1+2", Variant(), "=1+2"},
      {"de-DE", "=RUNDEN(1,5;0)", Variant(), "=RUNDEN(1,5;0)"},
      {"en-US", "Total", "Total", "Total"},
      {"en-US", Variant(3.25), 3.25, "3.25"},
      {"en-US", Variant(std::int64_t{42}), 42.0, "42"},
      {"en-US", Variant(false), false, "FALSE"},
      {"en-US", Variant(dec11), dec11.serial, "12/11/2026"},
  };
  for (const Case& c : cases) {
    ScopedLocale locale(c.locale);
    Worksheet& sheet = NewSheet();
    sheet.GetRange("A1:B1").SetFormulaLocalArray({{c.input, Variant()}, {Variant("ignored")}});
    const std::string what = std::string(c.locale) + " " + c.input.ToString();
    EXPECT_EQ(sheet.GetRange("A1").Value(), c.value) << what;
    EXPECT_EQ(sheet.GetRange("A1").FormulaLocal(), c.local) << what;
    EXPECT_TRUE(sheet.GetRange("A2").Value().IsEmpty()) << "rows beyond the range are ignored";
  }
}

TEST_F(AutomationTest, EmptyTextKeepsTheFormatAndAnUnreadableFormulaNamesTheCell) {
  Workbook& book = app_->AddEmpty();
  Worksheet& sheet = book.Worksheets(1);
  sheet.GetRange("A1").SetFormula("old");
  sheet.GetRange("A1").SetInteriorColor(0x0000FF);
  sheet.GetRange("A1").SetFormulaLocalArray({{Variant("")}});
  EXPECT_TRUE(sheet.GetRange("A1").Value().IsEmpty());
  book.SaveAs(Path("kept.xlsx").string());
  auto again = xlsx::Workbook::Open(Path("kept.xlsx"));
  EXPECT_EQ(again->Styles().FillColor(again->Sheet(0).Style(1, 1)), xlsx::Rgb{0xFF0000}) << "red in the low byte";

  try {
    sheet.GetRange("B2").SetFormulaLocalArray({{Variant("=SUM(\"x)")}});
    ADD_FAILURE();
  } catch (const EAutomationError& e) {
    EXPECT_NE(std::string(e.Message()).find("B2"), std::string::npos) << e.Message();
  }
}

TEST_F(AutomationTest, CopyFormatsAndRowHeightsAcrossWorkbooks) {
  Worksheet& source = NewSheet();
  source.GetRange("A1").SetFormula("=B1*2");
  source.GetRange("A1:B1").SetFont({.name = "Arial", .size = 14, .bold = true, .underline = 2});
  source.GetRange("A1").SetRowHeight(30);
  Workbook& target_book = app_->AddEmpty();
  Worksheet& target = target_book.Worksheets(1);
  source.GetRange("A1:B1").Copy(target.GetRange("C5"));
  EXPECT_EQ(target.GetRange("C5").Formula(), "=D5*2");
  EXPECT_DOUBLE_EQ(source.GetRange("A1").RowHeight(), 30);
  EXPECT_DOUBLE_EQ(target.GetRange("C5").RowHeight(), 15) << "a copy leaves row heights alone";
  target.GetRange("A5").SetRowHeight(22.5);
  EXPECT_DOUBLE_EQ(target.GetRange("A5").RowHeight(), 22.5);
  target.GetRange("A5").AutoFitRows();
  EXPECT_DOUBLE_EQ(target.GetRange("A5").RowHeight(), 15);

  target_book.SaveAs(Path("copy.xlsx").string());
  auto again = xlsx::Workbook::Open(Path("copy.xlsx"));
  const xlsx::FontInfo font = again->Styles().Font(again->Sheet(0).Style(5, 4));
  EXPECT_EQ(font.name, "Arial");
  EXPECT_DOUBLE_EQ(font.size, 14);
  EXPECT_TRUE(font.bold);
  EXPECT_EQ(font.underline, xlsx::Underline::Single);
  EXPECT_THROW(source.GetRange("A1").SetFont({.underline = 7}), EAutomationError);
}

TEST_F(AutomationTest, WorkbooksOpenSaveAndClose) {
  Workbook& tmpl = app_->Open(Fixture("template.xlsx").string(), {.read_only = true});
  ASSERT_EQ(tmpl.WorksheetCount(), 2);
  EXPECT_EQ(tmpl.Worksheets(2).Name(), "Notes");
  EXPECT_THROW(tmpl.Worksheets(3), EAutomationError);
  EXPECT_THROW(tmpl.SaveAs(Fixture("template.xlsx").string()), EAutomationError) << "read-only";
  Worksheet& added = tmpl.AddWorksheet();
  EXPECT_EQ(added.Name(), "Sheet1");
  added.SetName("Report");
  EXPECT_EQ(tmpl.Worksheets(3).Name(), "Report");

  tmpl.Close(true, Path("saved.xlsx").string());
  EXPECT_EQ(app_->WorkbookCount(), 0);
  auto again = xlsx::Workbook::Open(Path("saved.xlsx"));
  EXPECT_EQ(again->SheetCount(), 3);

  EXPECT_THROW(app_->Open(Path("missing.xlsx").string(), {}), EAutomationError);
  std::ofstream(Path("not-a-zip.xlsx")) << "text";
  EXPECT_THROW(app_->Open(Path("not-a-zip.xlsx").string(), {}), EAutomationError);
}

// A workbook made from a template is a workbook; handing it over saves it to its file and
// passes the file to the viewer.
TEST_F(AutomationTest, HandingOverSavesTheWorkbookAndRunsTheViewer) {
  fs::copy_file(Fixture("template.xltx"), Path("BRE1.tmp"));
  Workbook& report = app_->AddFromTemplate(Path("BRE1.tmp").string());
  report.Worksheets(1).GetRange("A1").SetFormula("filled");
  const fs::path seen = Path("viewer.txt");
  SetViewerCommand("printf %s >'" + seen.string() + "'");
  app_->SetUserControl(true);
  app_->SetVisible(true);  // nothing changed since: no second save, no second viewer
  EXPECT_EQ(report.FullName(), Path("BRE1.tmp").string());

  auto again = xlsx::Workbook::Open(Path("BRE1.tmp"));
  EXPECT_EQ(again->Sheet(0).Value(1, 1).text, "filled");
  xlsx::ZipReader zip(Path("BRE1.tmp"));
  EXPECT_NE(zip.Read("[Content_Types].xml").find("spreadsheetml.sheet.main+xml"), std::string::npos);
  for (int i = 0; i < 250 && !(fs::exists(seen) && fs::file_size(seen) > 0); ++i) usleep(20000);
  std::ifstream in(seen);
  std::string shown((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(shown, Path("BRE1.tmp").string());
}

}  // namespace
}  // namespace brelix::automation
