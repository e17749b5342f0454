// Reports in form files: a report using every property reads back and writes out the same
// bytes, the band stream reads into sorted, linked bands, inherited forms store only what
// differs, and malformed band or template data fails with the place and a clear message.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/errors.h"
#include "platform/form_reader.h"
#include "platform/form_writer.h"
#include "runtime/Brelix.h"
#include "runtime/BrelixConsts.h"

using namespace brelix;
using namespace brelix::platform;

namespace {

std::string ReadFixture(const std::string& name) {
  std::ifstream in(std::string(BRELIX_TEST_FIXTURES) + "/" + name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

FormLoadOptions ReportMethods() {
  FormLoadOptions o;
  o.methods.Add<TBrelixCalcExpressionEvent>("ReportCalcQuarter", [](TBrelixBand&, std::string& v) { v = "Q1"; });
  o.methods.Add<TBrelixAfterBuildEvent>("ReportAfterBuild", [](TBrelix&, automation::Worksheet&, int, int) {});
  o.methods.Add<TNotifyEvent>("ReportNotify", [](Component&) {});
  o.methods.Add<TBrelixCheckEofEvent>("ReportDataEof", [](TBrelix&, bool& eof) { eof = true; });
  o.methods.Add<TBrelixFormatCellEvent>("ReportFormatCell", [](TBrelix&, TBrelixBand&, int, int, int,
                                                               automation::Worksheet&, const Variant&) {});
  o.methods.Add<TBrelixGetFieldValueEvent>("ReportGetFieldValue", [](Persistent&, const std::string&, Variant&) {});
  o.methods.Add<TBrelixSetCellValueEvent>("ReportSetCellValue", [](TBrelix&, TBrelixBand&, int, int, int, Variant&) {});
  o.methods.Add<TBrelixGetReportFileName>("ReportGetReportFileName", [](TBrelix&, std::string&) {});
  return o;
}

TBrelix& ReportOf(Component& root, const char* name = "Report") {
  return dynamic_cast<TBrelix&>(*root.FindComponent(name));
}

std::vector<std::string> DisplayNames(const TBrelixBands& bands) {
  std::vector<std::string> names;
  for (int i = 0; i < bands.Count(); ++i) names.push_back(bands.Items(i).DisplayName());
  return names;
}

// A report form around the given lines of the report object's body.
std::string ReportForm(const std::string& body) {
  return "object M: TDataModule\n  object Report: TBrelix\n" + body + "  end\nend\n";
}

}  // namespace

TEST(ReportForm, AReportUsingEveryPropertyWritesTheSameBytes) {
  std::string text = ReadFixture("full_report.form");
  auto root = LoadFormText(text, "full_report.form", ReportMethods());
  TBrelix& report = ReportOf(*root);
  EXPECT_EQ(DisplayNames(report.Bands()),
            (std::vector<std::string>{"Title", "GroupHeader1", "GroupHeader2", "MasterData", "DetailHeader",
                                      "DetailData", "DetailFooter", "GroupFooter2 - GH2", "GroupFooter1 - GH1",
                                      "Summary"}));
  EXPECT_EQ(report.DataSet(), root->FindComponent("Orders"));
  EXPECT_EQ(report.SubReport(), root->FindComponent("Detail"));
  EXPECT_EQ(ReportOf(*root, "Detail").MasterList(), std::vector<TBrelix*>{&report});
  EXPECT_EQ(report.Dictionary().Items(1).ValueAsString(), "Große 'Zahlen'");
  EXPECT_EQ(report.FieldSign(), '$');
  EXPECT_TRUE(report.StoreInDFM());
  EXPECT_EQ(report.Template(), "sales.xlsx");
  EXPECT_EQ(report.StoredTemplate().size(), 10u);
  auto& header2 = static_cast<TBrelixGroupHeaderBand&>(report.Bands().Items(2));
  EXPECT_EQ(header2.CalcGroupExpr(), "Q1");
  EXPECT_EQ(WriteForm(*root), text);
}

TEST(ReportForm, TheBandStreamReadsIntoSortedLinkedBands) {
  auto root = LoadFormText(ReportForm("    Bands.BandCount = 4\n"
                                      "    Bands.GroupHeaderBandCount = 1\n"
                                      "    Bands.GroupFooterBandCount = 1\n"
                                      "    Bands.Items = <\n"
                                      "      item [0]\n        Bands.Range = 'A1:E1'\n        Bands.BandType = 0\n      end\n"
                                      "      item [1]\n        Bands.Range = 'A3:E3'\n        Bands.BandType = 2\n      end\n"
                                      "      item\n        Bands.Range = 'A4:E4'\n        Bands.BandType = 6\n"
                                      "        Bands.GroupID = 1\n      end\n"
                                      "      item\n        Bands.Range = 'A2:E2'\n        Bands.FieldName = 'Country'\n"
                                      "        Bands.FooterBand = 'GroupFooter1'\n        Bands.BandType = 1\n"
                                      "        Bands.GroupID = 1\n      end>\n"),
                           "example.form");
  const TBrelixBands& bands = ReportOf(*root).Bands();
  EXPECT_EQ(DisplayNames(bands),
            (std::vector<std::string>{"Title", "GroupHeader1", "MasterData", "GroupFooter1 - GH1"}));
  const auto& header = static_cast<const TBrelixGroupHeaderBand&>(bands.Items(1));
  EXPECT_EQ(header.FieldName(), "Country");
  EXPECT_EQ(header.Footer(), &bands.Items(3));
  EXPECT_EQ(bands.Items(3).Range(), "A4:E4");
}

TEST(ReportForm, AnInheritedFormThatChangesNothingWritesNoBandsAndNoTemplate) {
  std::string text = ReadFixture("full_report.form");
  auto ancestor = LoadFormText(text, "Sales.form", ReportMethods());
  auto same = LoadFormText(text, "Copy.form", ReportMethods());
  std::string written = WriteForm(*same, ancestor.get());
  EXPECT_EQ(written.find("Bands."), std::string::npos) << written;
  EXPECT_EQ(written.find("XLTemplate"), std::string::npos) << written;

  // A descendant that dropped the stored template stores an empty one, which reads as none.
  ReportOf(*same).FreeStoredTemplate();
  written = WriteForm(*same, ancestor.get());
  EXPECT_NE(written.find("XLTemplate = {\n      00000000}"), std::string::npos) << written;
  auto dir = std::filesystem::temp_directory_path() / "brelix_inherited_report";
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "Sales.form") << text;
  std::ofstream(dir / "Copy.form") << written;
  auto reread = LoadForm(dir / "Copy.form", ReportMethods());
  EXPECT_FALSE(ReportOf(*reread).HasStoredTempl());
  EXPECT_EQ(ReportOf(*reread).Bands().Count(), 10);
  std::filesystem::remove_all(dir);
}

TEST(ReportForm, StoredValuesDoNotDependOnTheirOrderInTheFile) {
  auto root = LoadFormText(ReportForm("    StoreInDFM = True\n    TemplSheet = 'Data'\n    Template = 'a.xlsx'\n"),
                           "order.form");
  TBrelix& report = ReportOf(*root);
  EXPECT_TRUE(report.StoreInDFM());
  EXPECT_EQ(report.TemplSheet(), "Data");
  EXPECT_EQ(report.Template(), "a.xlsx");
  report.SetTemplate("b.xlsx");  // after loading the setter's rules apply again
  EXPECT_FALSE(report.StoreInDFM());
  EXPECT_EQ(report.TemplSheet(), "");
}

TEST(ReportForm, NegativeTemplateLengthReadsAsNoStoredTemplate) {
  auto root = LoadFormText(ReportForm("    XLTemplate = {\n      FFFFFFFF0102}\n"), "neg.form");
  EXPECT_FALSE(ReportOf(*root).HasStoredTempl());
}

TEST(ReportForm, MalformedReportsFailWithThePlaceAndTheReason) {
  const std::string band = "      item\n        Bands.Range = 'A1:B1'\n        Bands.BandType = 0\n      end";
  struct Case {
    std::string text;
    int line;
    std::string detail;
  } cases[] = {
      {ReportForm("    Bands.BandCount = 1\n    Bands.Items = <\n" + band + ">\n").substr(0, 90), 0, "end of file"},
      {ReportForm("  object X: TNoSuchClass\n  end\n"), 3, "unknown class TNoSuchClass"},
      {ReportForm("    Colour = 3\n"), 3, "unknown property Colour"},
      {ReportForm("    Bands.BandCount = 1\n    Bands.Items = <\n      item\n        Band.Range = 'A1'\n      end>\n"), 6,
       "Error reading bands. Unknown property name Band.Range."},
      {ReportForm("    Bands.BandCount = 1\n    Bands.Items = <\n      item\n        Bands.Colour = 1\n      end>\n"), 6,
       "Error reading bands. Unknown property name Bands.Colour."},
      {ReportForm("    Bands.BandCount = 1\n    Bands.Items = <\n" + band + "\n" + band + ">\n"), 9,
       BrelixConsts::MsgBndMoreBand},
      {ReportForm("    Bands.Items = <\n" + band + ">\n"), 4, BrelixConsts::MsgBndMoreBand},
      {ReportForm("    Bands.BandCount = 1\n    Bands.Items = <\n      item\n        Bands.BandType = 9\n      end>\n"), 6,
       "Error reading bands. Wrong band type 9"},
      {ReportForm("    Bands.BandCount = 1\n    Bands.Items = <\n      item\n        Bands.BandType = 1\n      end>\n"), 6,
       "Error reading bands. Wrong band type 1"},
      {ReportForm("    Bands.BandCount = 1\n    Bands.GroupHeaderBandCount = 1\n    Bands.Items = <\n      item\n"
                  "        Bands.FooterBand = 'GroupFooter7'\n        Bands.BandType = 1\n      end>\n"),
       7, BrelixConsts::MsgBnd},
      {ReportForm("    XLTemplate = {\n      0500000001}\n"), 3,
       "Error reading the stored template: its length is 5 bytes, but 1 follow."},
      {ReportForm("    XLTemplate = 'abc'\n"), 3, "expected binary data"},
      {ReportForm("    DataSet = Nowhere\n"), 3, "component Nowhere named by DataSet does not exist"},
      {ReportForm("    OnGetFieldValue = ReportGetFieldValue\n"), 3, "method ReportGetFieldValue"},
      {ReportForm("    Options = [brxoFast]\n"), 3, "no element brxoFast"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    try {
      LoadFormText(c.text, "bad.form");
      ADD_FAILURE() << "no error";
    } catch (const EFormFileError& e) {
      if (c.line) {
        EXPECT_EQ(e.Pos().line, c.line) << e.what();
      }
      EXPECT_NE(std::string(e.what()).find(c.detail), std::string::npos) << e.what();
    }
  }
}
