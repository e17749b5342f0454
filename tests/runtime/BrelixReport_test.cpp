// Report runs from end to end: a template written with the native engine, data in memory, Show,
// and the finished workbook read back (and opened by LibreOffice, which calculates the totals).

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "data/mem_dataset.h"
#include "data/sql_query.h"
#include "data/sqlite_database.h"
#include "platform/component.h"
#include "platform/locale.h"
#include "runtime/Brelix.h"
#include "runtime/BrelixAutomation.h"
#include "runtime/BrelixConsts.h"
#include "tests/support/libreoffice.h"
#include "xlsx/workbook.h"

namespace brelix {
namespace {

namespace fs = std::filesystem;
using data::TMemDataSet;
using platform::DataSet;
using platform::FieldType;
using platform::Variant;

// Cell texts of a template row, from column A.
using TemplateRow = std::vector<std::string>;

class ReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = fs::temp_directory_path() / "brelix-report-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    module_ = std::make_unique<platform::DataModule>();
    module_->SetName("Sales");
    orders_ = &module_->Create<TMemDataSet>("Orders");
    orders_->SetColumns({{"Region", FieldType::String},
                         {"Customer", FieldType::String},
                         {"Qty", FieldType::Integer},
                         {"Amount", FieldType::Float}});
    report_ = &module_->Create<TBrelix>("Report");
    report_->SetDataSet(orders_);
  }
  void TearDown() override {
    module_.reset();
    platform::SetCurrentLocale("en-US");
    fs::remove_all(dir_);
  }

  fs::path Path(const std::string& name) const { return dir_ / name; }

  // Writes a template workbook: the sheet "Report" with the rows given (from row 1), a merged,
  // 30-point title A1:C1, and a sheet "Notes" that the run must leave alone.
  fs::path WriteTemplate(const std::vector<TemplateRow>& rows, const std::string& name = "template.xlsx") {
    auto book = xlsx::Workbook::Create();
    xlsx::Worksheet& sheet = book->Sheet(0);
    sheet.SetName("Report");
    for (std::size_t r = 0; r < rows.size(); ++r)
      for (std::size_t c = 0; c < rows[r].size(); ++c)
        if (!rows[r][c].empty())
          sheet.SetValue(static_cast<int>(r + 1), static_cast<int>(c + 1), xlsx::CellValue::String(rows[r][c]));
    sheet.Merge({1, 1, 1, 3});
    sheet.SetRowHeight(1, 30);
    sheet.SetStyle(1, 1, book->Styles().WithFont(0, {.size = 14, .bold = true}));
    book->AddSheet("Notes").SetValue(1, 1, xlsx::CellValue::String("untouched"));
    const fs::path file = Path(name);
    book->Save(file);
    return file;
  }

  // The grouped report: a two-row title, a group header by region, the record, the group
  // footer with totals, and the summary.
  void DescribeGroupedReport() {
    const fs::path file = WriteTemplate({{"Sales by region"},
                                         {"Customer", "Qty", "Amount"},
                                         {"#Region"},
                                         {"#Customer", "#Qty", "#Amount"},
                                         {"Total #Region", "#COUNT(Amount)", "#SUM(Amount)"},
                                         {"Grand total", "", "#SUM(Amount)"}});
    {
      auto book = xlsx::Workbook::Open(file);
      xlsx::Worksheet& sheet = book->Sheet(0);
      sheet.SetStyle(3, 1, book->Styles().WithFillColor(0, 0xFFFF00));
      sheet.SetStyle(4, 3, book->Styles().WithNumberFormat(0, "0.00"));
      sheet.SetStyle(5, 3, book->Styles().WithFont(book->Styles().WithNumberFormat(0, "0.00"), {.italic = true}));
      sheet.SetRowHeight(3, 20);
      book->Save(file);
    }
    report_->SetTemplate(file.string());
    TBrelixBands& bands = report_->Bands();
    bands.AddBand(brxbtTitle).SetRange("A1:C2");
    auto& header = static_cast<TBrelixGroupHeaderBand&>(bands.AddBand(brxbtGroupHeader));
    header.SetRange("A3:C3");
    header.SetFieldName("Region");
    bands.AddBand(brxbtMasterData).SetRange("A4:C4");
    auto& footer = static_cast<TBrelixGroupFooterBand&>(bands.AddBand(brxbtGroupFooter));
    footer.SetRange("A5:C5");
    header.SetFooter(&footer);
    bands.AddBand(brxbtSummary).SetRange("A6:C6");
  }

  // Groups A (5 records), B (2) and C (5).
  void FillOrders() {
    for (int i = 1; i <= 5; ++i) orders_->AddRow({"A", "a" + std::to_string(i), i, static_cast<double>(i)});
    orders_->AddRow({"B", "b1", 1, 10.0});
    orders_->AddRow({"B", "b2", 2, 20.5});
    for (int i = 0; i < 5; ++i) orders_->AddRow({"C", "c" + std::to_string(i), i, 100.0 + i});
  }

  std::unique_ptr<platform::DataModule> module_;
  TMemDataSet* orders_ = nullptr;
  TBrelix* report_ = nullptr;
  fs::path dir_;
};

std::string Text(const xlsx::Worksheet& sheet, int row, int col) {
  const xlsx::CellValue v = sheet.Value(row, col);
  return v.type == xlsx::CellType::Number ? platform::FormatFloat(v.number) : v.text;
}

TEST_F(ReportTest, GroupedReportHasItsBandsValuesFormulasAndFormats) {
  DescribeGroupedReport();
  FillOrders();
  const fs::path out = Path("out.xlsx");
  report_->Show(out.string());
  EXPECT_EQ(report_->ReportFile(), out.string());

  auto book = xlsx::Workbook::Open(out);
  const xlsx::Worksheet& sheet = book->Sheet(0);
  // Rows: title 1-2; A: header 3, records 4-8, footer 9; B: 10, 11-12, 13; C: 14, 15-19, 20; summary 21.
  EXPECT_EQ(Text(sheet, 1, 1), "Sales by region");
  EXPECT_EQ(Text(sheet, 3, 1), "A");
  EXPECT_EQ(Text(sheet, 10, 1), "B");
  EXPECT_EQ(Text(sheet, 12, 1), "b2");
  EXPECT_EQ(Text(sheet, 12, 3), "20.5");
  EXPECT_EQ(Text(sheet, 13, 1), "Total B");
  EXPECT_EQ(sheet.Formula(9, 3), "SUM(C4:C8)");
  EXPECT_EQ(sheet.Formula(9, 2), "COUNT(C4:C8)");
  EXPECT_EQ(sheet.Formula(13, 3), "SUM(C11:C12)");
  EXPECT_EQ(sheet.Formula(20, 3), "SUM(C15:C19)");
  EXPECT_EQ(sheet.Formula(21, 3), "SUM(C9,C13,C20)");
  EXPECT_TRUE(sheet.Value(22, 1).type == xlsx::CellType::Empty);

  // Every report row carries the formats and the height of its band's template row (the
  // report workbook is made from the template, so equal formats have equal indexes).
  auto templ = xlsx::Workbook::Open(report_->Template());
  const std::vector<int> templ_rows = {1, 2, 3, 4, 4, 4, 4, 4, 5, 3, 4, 4, 5, 3, 4, 4, 4, 4, 4, 5, 6};
  for (std::size_t i = 0; i < templ_rows.size(); ++i) {
    const int row = static_cast<int>(i) + 1;
    for (int col = 1; col <= 3; ++col)
      EXPECT_EQ(sheet.Style(row, col), templ->Sheet(0).Style(templ_rows[i], col)) << "row " << row << " col " << col;
    EXPECT_DOUBLE_EQ(sheet.RowHeight(row), templ->Sheet(0).RowHeight(templ_rows[i])) << "row " << row;
  }
  // The formats themselves, the merged title, the other sheet.
  for (int row : {3, 10, 14}) EXPECT_EQ(book->Styles().FillColor(sheet.Style(row, 1)), xlsx::Rgb{0xFFFF00}) << row;
  for (int row : {4, 8, 11, 19}) EXPECT_EQ(book->Styles().NumberFormatCode(sheet.Style(row, 3)), "0.00") << row;
  EXPECT_TRUE(book->Styles().Font(sheet.Style(1, 1)).bold);
  ASSERT_EQ(sheet.MergedRanges().size(), 1u);
  EXPECT_EQ(sheet.MergedRanges()[0], (xlsx::CellRange{1, 1, 1, 3}));
  EXPECT_DOUBLE_EQ(sheet.RowHeight(1), 30);
  EXPECT_EQ(Text(book->Sheet(1), 1, 1), "untouched");

  if (!testing::HaveLibreOffice()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
  const std::string csv = testing::SheetsAsCsv(out, {"Report"}, dir_)["Report"];
  // The totals LibreOffice calculates are the sums and counts of the data.
  EXPECT_NE(csv.find("Total A,5,15\n"), std::string::npos) << csv;
  EXPECT_NE(csv.find("Total B,2,30.5\n"), std::string::npos) << csv;
  EXPECT_NE(csv.find("Total C,5,510\n"), std::string::npos) << csv;
  EXPECT_NE(csv.find("Grand total,,555.5\n"), std::string::npos) << csv;
}

TEST_F(ReportTest, GermanReportWritesLocalTextsAndStoresEnglishFormulas) {
  platform::SetCurrentLocale("de-DE");
  DescribeGroupedReport();
  FillOrders();
  const fs::path out = Path("de.xlsx");
  report_->Show(out.string());
  auto book = xlsx::Workbook::Open(out);
  const xlsx::Worksheet& sheet = book->Sheet(0);
  EXPECT_EQ(sheet.Value(12, 3), xlsx::CellValue::Number(20.5)) << "\"20,5\" typed in de-DE is a number";
  EXPECT_EQ(sheet.Formula(13, 3), "SUM(C11:C12)");
  EXPECT_EQ(sheet.Formula(21, 3), "SUM(C9,C13,C20)");
}

TEST_F(ReportTest, WithoutAFileNameTheReportStaysInItsWorkingCopy) {
  DescribeGroupedReport();
  FillOrders();
  std::string asked;
  report_->OnGetReportFileName.Set([&](TBrelix&, std::string& name) { name = "  Sales-" + dir_.filename().string() + " "; });
  report_->Show();
  const fs::path kept = report_->ReportFile();
  EXPECT_EQ(kept.filename().string(), "Sales-" + dir_.filename().string() + ".xlsx");
  ASSERT_TRUE(fs::exists(kept));
  auto book = xlsx::Workbook::Open(kept);
  EXPECT_EQ(book->Sheet(0).Formula(21, 3), "SUM(C9,C13,C20)");
  fs::remove(kept);
}

TEST_F(ReportTest, TemplateWithoutBandsIsDescribedFromItsCells) {
  report_->SetTemplate(WriteTemplate({{"Orders"}, {"Customer", "Amount"}, {"#Customer", "#Amount"}, {}, {"Total", "#SUM(Amount)"}})
                           .string());
  FillOrders();
  const fs::path out = Path("out.xlsx");
  report_->Show(out.string());
  EXPECT_EQ(report_->Bands().Count(), 0) << "bands found in the template do not stay";
  auto book = xlsx::Workbook::Open(out);
  const xlsx::Worksheet& sheet = book->Sheet(0);
  EXPECT_EQ(Text(sheet, 2, 1), "Customer");
  EXPECT_EQ(Text(sheet, 3, 1), "a1");
  EXPECT_EQ(Text(sheet, 14, 1), "c4");
  EXPECT_EQ(sheet.Formula(16, 2), "SUM(B3:B14)") << "the summary runs from the row after the data to the totals";
}

TEST_F(ReportTest, MasterDetailWithTwoGroupLevelsAndAnEmptyDetail) {
  std::ofstream(Path("shop.db")).flush();  // the database opens existing files only
  auto& db = module_->Create<data::TSqliteDatabase>("Db");
  db.SetFileName(Path("shop.db").string());
  db.ExecuteScript(
      "create table orders (id integer, region text, customer text, amount real);"
      "insert into orders values (1, 'N', 'abc', 1), (2, 'N', 'ABC', 2), (3, 'S', 'abc', 3);"
      "create table items (order_id integer, item text, price real);"
      "insert into items values (2, 'x', 5), (2, 'y', 7.5);");
  auto query = [&](const char* name, const char* sql) -> data::TSqlQuery& {
    auto& q = module_->Create<data::TSqlQuery>(name);
    q.SetDatabase(&db);
    platform::StringList text;
    text.SetText(sql);
    q.SetSQL(text);
    return q;
  };
  auto& master = query("Master", "select id, region as Region, customer as Customer, amount as Amount from orders order by id");
  auto& source = module_->Create<platform::DataSource>("MasterSource");
  source.SetDataSet(&master);
  query("Items", "select item as Item, price as Price from items where order_id = :id").SetDataSource(&source);
  report_->SetDataSet(&master);

  report_->SetTemplate(WriteTemplate({{"Orders"},
                                      {"#Region"},
                                      {"#Customer"},
                                      {"#Customer", "#Amount"},
                                      {"", "Item", "Price"},
                                      {"", "#Items.Item", "#Items.Price"},
                                      {"", "Items", "#SUM(Items.Price)"},
                                      {"end #Customer"},
                                      {"end #Region"}})
                           .string());
  TBrelixBands& bands = report_->Bands();
  bands.AddBand(brxbtTitle).SetRange("A1:C1");
  auto& outer = static_cast<TBrelixGroupHeaderBand&>(bands.AddBand(brxbtGroupHeader));
  outer.SetRange("A2:C2");
  outer.SetFieldName("Region");
  auto& inner = static_cast<TBrelixGroupHeaderBand&>(bands.AddBand(brxbtGroupHeader));
  inner.SetRange("A3:C3");
  inner.SetFieldName("Customer");
  inner.SetCaseInsensitiveCompare(true);
  bands.AddBand(brxbtMasterData).SetRange("A4:C4");
  bands.AddBand(brxbtDetailHeader).SetRange("A5:C5");
  bands.AddBand(brxbtDetailData).SetRange("A6:C6");
  bands.AddBand(brxbtDetailFooter).SetRange("A7:C7");
  auto& inner_footer = static_cast<TBrelixGroupFooterBand&>(bands.AddBand(brxbtGroupFooter));
  inner_footer.SetRange("A8:C8");
  inner.SetFooter(&inner_footer);
  auto& outer_footer = static_cast<TBrelixGroupFooterBand&>(bands.AddBand(brxbtGroupFooter));
  outer_footer.SetRange("A9:C9");
  outer.SetFooter(&outer_footer);
  report_->Show(Path("out.xlsx").string());

  auto book = xlsx::Workbook::Open(Path("out.xlsx"));
  const xlsx::Worksheet& sheet = book->Sheet(0);
  std::vector<std::string> rows;
  for (int row = 1; row <= 17; ++row) rows.push_back(Text(sheet, row, 1) + "|" + Text(sheet, row, 2));
  // Order 1 has no items: no detail header or footer. "ABC" continues the group of "abc".
  EXPECT_EQ(rows, (std::vector<std::string>{"Orders|", "N|", "abc|", "abc|1", "ABC|2", "|Item", "|x", "|y", "|Items",
                                            "end ABC|", "end N|", "S|", "abc|", "abc|3", "end abc|", "end S|", "|"}));
  EXPECT_EQ(sheet.Formula(9, 3), "SUM(C7:C8)");
}

}  // namespace
}  // namespace brelix
