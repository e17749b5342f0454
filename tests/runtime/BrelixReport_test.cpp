// Report runs from end to end: a template written with the native engine, data in memory, Show,
// and the finished workbook read back (and opened by LibreOffice, which calculates the totals).

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "data/mem_dataset.h"
#include "data/sql_query.h"
#include "data/sqlite_database.h"
#include "platform/component.h"
#include "platform/design_host.h"
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

  // Expects LibreOffice, opening the report, to show each line (its totals calculated) in the
  // sheet's CSV text.
  void ExpectLibreOfficeShows(const fs::path& file, const std::string& sheet, const std::vector<std::string>& lines) {
    if (!testing::HaveLibreOffice()) return;
    const std::string csv = testing::SheetsAsCsv(file, {sheet}, dir_)[sheet];
    for (const std::string& line : lines) EXPECT_NE(csv.find(line + "\n"), std::string::npos) << line << " in\n" << csv;
  }

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

  // The totals LibreOffice calculates are the sums and counts of the data.
  ExpectLibreOfficeShows(out, "Report", {"Total A,5,15", "Total B,2,30.5", "Total C,5,510", "Grand total,,555.5"});
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
  ExpectLibreOfficeShows(out, "Report", {"Total B,2,30.5", "Grand total,,555.5"});
}

TEST_F(ReportTest, GroupValuesCompareWithOrWithoutCase) {
  DescribeGroupedReport();
  orders_->AddRow({"abc", "x", 1, 1.0});
  orders_->AddRow({"ABC", "y", 1, 2.0});
  auto& header = static_cast<TBrelixGroupHeaderBand&>(*report_->Bands().GetNotEmptyBand(brxbtGroupHeader));
  for (const bool ignore_case : {true, false}) {
    header.SetCaseInsensitiveCompare(ignore_case);
    const fs::path out = Path(ignore_case ? "insensitive.xlsx" : "sensitive.xlsx");
    report_->Show(out.string());
    auto book = xlsx::Workbook::Open(out);
    std::vector<std::string> rows;
    for (int row = 3; row <= 9; ++row) rows.push_back(Text(book->Sheet(0), row, 1));
    const std::vector<std::string> expected =
        ignore_case ? std::vector<std::string>{"abc", "x", "y", "Total ABC", "Grand total", "", ""}
                    : std::vector<std::string>{"abc", "x", "Total abc", "ABC", "y", "Total ABC", "Grand total"};
    EXPECT_EQ(rows, expected) << ignore_case;
  }
}

TEST_F(ReportTest, EditTemplateHandsTheTemplateToTheViewer) {
  report_->SetTemplate(WriteTemplate({{"#Customer"}}).string());
  report_->SetTemplSheet("notes");
  const fs::path seen = Path("viewer.txt");
  automation::SetViewerCommand("printf %s >'" + seen.string() + "'");
  report_->EditTemplate();
  automation::SetViewerCommand({});
  for (int i = 0; i < 250 && !(fs::exists(seen) && fs::file_size(seen) > 0); ++i) usleep(20000);
  std::ifstream in(seen);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), report_->Template());
  EXPECT_EQ(xlsx::Workbook::Open(report_->Template())->ActiveSheet(), 0) << "an unchanged template is not saved";

  report_->SetTemplate(Path("missing.xlsx").string());
  EXPECT_THROW(report_->EditTemplate(), EBrelixError);
}

// Inside the designer a failing run shows its message once and returns.
TEST_F(ReportTest, AFailingRunInTheDesignerShowsOneMessage) {
  struct Host : platform::DesignHost {
    std::vector<std::string> shown;
    void ShowMessageBox(const std::string& text, platform::MessageBoxKind) override { shown.push_back(text); }
    void ObjectInserted(const platform::Component&, const platform::Persistent&) override {}
    void ObjectRemoved(const platform::Component&, const platform::Persistent&) override {}
  } host;
  platform::DesignHost* previous = platform::SetDesignHost(&host);
  module_->SetDesigning(true);
  report_->SetTemplate(Path("missing.xlsx").string());
  EXPECT_NO_THROW(report_->Show(Path("out.xlsx").string()));
  platform::SetDesignHost(previous);
  EXPECT_EQ(host.shown, std::vector<std::string>{"File \"" + Path("missing.xlsx").string() + "\" does not exist. "});
  EXPECT_FALSE(fs::exists(Path("out.xlsx")));
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
  ExpectLibreOfficeShows(Path("out.xlsx"), "Report", {",Items,12.5"});
}

TEST_F(ReportTest, SubReportBuildsItsOwnSheetOfTheSameWorkbook) {
  DescribeGroupedReport();
  FillOrders();
  {
    auto book = xlsx::Workbook::Open(report_->Template());
    xlsx::Worksheet& customers = book->AddSheet("Customers");
    customers.SetValue(1, 1, xlsx::CellValue::String("Customers"));
    customers.SetValue(2, 1, xlsx::CellValue::String("#Name"));
    customers.SetValue(2, 2, xlsx::CellValue::String("#Amount"));
    customers.SetValue(3, 2, xlsx::CellValue::String("#SUM(Amount)"));
    book->Save(report_->Template());
  }
  auto& clients = module_->Create<TMemDataSet>("Clients");
  clients.SetColumns({{"Name", FieldType::String}, {"Amount", FieldType::Float}});
  clients.AddRow({"x", 1.5});
  clients.AddRow({"y", 2.0});
  auto& sub = module_->Create<TBrelix>("ClientList");
  sub.SetDataSet(&clients);
  sub.SetTemplSheet("customers");
  sub.Bands().AddBand(brxbtTitle).SetRange("A1:B1");
  sub.Bands().AddBand(brxbtMasterData).SetRange("A2:B2");
  sub.Bands().AddBand(brxbtSummary).SetRange("A3:B3");
  report_->SetSubReport(&sub);
  const fs::path out = Path("out.xlsx");
  report_->Show(out.string());

  auto book = xlsx::Workbook::Open(out);
  EXPECT_EQ(book->Sheet(0).Formula(21, 3), "SUM(C9,C13,C20)");
  const xlsx::Worksheet& second = book->Sheet(2);
  EXPECT_EQ(Text(second, 2, 1), "x");
  EXPECT_EQ(Text(second, 3, 1), "y");
  EXPECT_EQ(second.Formula(4, 2), "SUM(B2:B3)");
  EXPECT_EQ(book->ActiveSheet(), 2) << "the last report of the chain is the active sheet";
  ExpectLibreOfficeShows(out, "Customers", {"y,2", ",3.5"});

  report_->SetSubReport(&*report_);  // refused: a report is not its own sub-report
  sub.SetSubReport(report_);
  try {
    report_->Show(Path("cycle.xlsx").string());
    ADD_FAILURE();
  } catch (const EBrelixError& e) {
    EXPECT_STREQ(e.Message(), "The sub-report chain of Report comes back to Report. ");
  }
  EXPECT_FALSE(fs::exists(Path("cycle.xlsx")));
  sub.SetSubReport(nullptr);
}

// A one-row record band and a summary: rows 1 .. n records, n + 1 the summary.
class ListReportTest : public ReportTest {
 protected:
  void DescribeList() {
    report_->SetTemplate(WriteTemplate({{"#Customer", "#Amount"}, {"Total", "#SUM(Amount)"}}).string());
    report_->Bands().AddBand(brxbtMasterData).SetRange("A1:B1");
    report_->Bands().AddBand(brxbtSummary).SetRange("A2:B2");
  }
  void AddOrders(int n) {
    std::vector<TMemDataSet::Row> rows;
    for (int i = 1; i <= n; ++i) rows.push_back({"R", "c" + std::to_string(i), 1, static_cast<double>(i)});
    orders_->SetRows(std::move(rows));
  }
};

TEST_F(ListReportTest, RowsCrossingAFlushAndTheCellEvents) {
  DescribeList();
  AddOrders(4001);
  int formatted = 0;
  std::string text_of_row_4001;
  report_->OnSetCellValue.Set([](TBrelix&, TBrelixBand&, int, int row, int col, Variant& value) {
    if (row == 2 && col == 2) value = Variant(0);    // 0 is written as 0
    if (row == 3 && col == 2) value = Variant("");   // an empty text leaves the cell empty
  });
  report_->OnFormatCell.Set([&](TBrelix&, TBrelixBand&, int, int row, int col, automation::Worksheet&, const Variant& v) {
    ++formatted;
    if (row == 4001 && col == 2) text_of_row_4001 = v.AsString();
  });
  int rows_seen = 0, cols_seen = 0;
  report_->OnAfterBuild.Set([&](TBrelix&, automation::Worksheet&, int rows, int cols) {
    rows_seen = rows;
    cols_seen = cols;
  });
  const fs::path out = Path("out.xlsx");
  report_->Show(out.string());
  EXPECT_EQ(formatted, 4002 * 2);
  EXPECT_EQ(text_of_row_4001, "4001");
  EXPECT_EQ(rows_seen, 4002);
  EXPECT_EQ(cols_seen, 2);

  auto book = xlsx::Workbook::Open(out);
  const xlsx::Worksheet& sheet = book->Sheet(0);
  EXPECT_EQ(sheet.Value(2, 2), xlsx::CellValue::Number(0));
  EXPECT_EQ(sheet.Value(3, 2).type, xlsx::CellType::Empty);
  EXPECT_EQ(Text(sheet, 4000, 1), "c4000");
  EXPECT_EQ(Text(sheet, 4001, 1), "c4001") << "the 4001st row starts the second block";
  EXPECT_EQ(sheet.Formula(4002, 2), "SUM(B1:B4001)");
  ExpectLibreOfficeShows(out, "Report", {"c4001,4001", "Total,8005996"});
}

TEST_F(ListReportTest, ABandReachingTheLastRowFailsAndLeavesTheTargetAlone) {
  DescribeList();
  AddOrders(65534);  // the records fill rows 1 .. 65534; the summary would reach row 65535
  const fs::path out = Path("out.xlsx");
  std::ofstream(out) << "previous report";
  report_->SetOptions({brxoTotalsAsFormula});
  try {
    report_->Show(out.string());
    ADD_FAILURE();
  } catch (const EBrelixError& e) {
    EXPECT_STREQ(e.Message(), BrelixConsts::MsgBrelix6);
  }
  std::ifstream in(out);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), "previous report");
  EXPECT_TRUE(report_->ReportFile().empty());
}

// The runs below use a temporary folder of their own, to see what a run leaves there.
class TempFolderReportTest : public ListReportTest {
 protected:
  void SetUp() override {
    ListReportTest::SetUp();
    fs::create_directory(Path("tmp"));
    setenv("TMPDIR", Path("tmp").c_str(), 1);
  }
  void TearDown() override {
    unsetenv("TMPDIR");
    ListReportTest::TearDown();
  }
  std::vector<std::string> TempFiles() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(Path("tmp"))) names.push_back(e.path().filename().string());
    return names;
  }
};

TEST_F(TempFolderReportTest, StoredTemplateAndWorkingCopyAreGoneAfterASavedReport) {
  DescribeList();
  AddOrders(3);
  report_->LoadStoredTemplateFromFile(report_->Template());
  ASSERT_TRUE(report_->StoreInDFM());
  report_->Show(Path("out.xlsx").string());
  EXPECT_EQ(TempFiles(), std::vector<std::string>{});
  auto book = xlsx::Workbook::Open(Path("out.xlsx"));
  EXPECT_EQ(book->Sheet(0).Formula(4, 2), "SUM(B1:B3)");
}

TEST_F(TempFolderReportTest, AFailedRunKeepsThePartialReportOnlyWhenAskedTo) {
  DescribeList();
  AddOrders(3);
  report_->Bands().AddBand(brxbtTitle).SetRange("A1:B1");
  {
    auto book = xlsx::Workbook::Open(report_->Template());
    book->Sheet(0).SetValue(1, 3, xlsx::CellValue::String("#Nobody"));  // a user field nobody answers
    book->Save(report_->Template());
  }
  report_->Bands().Items(0).SetRange("A1:C1");
  for (const bool keep : {false, true}) {
    report_->SetOptions(keep ? TBrelixOptions{brxoVisibleWhenError} : TBrelixOptions{});
    try {
      report_->Show();
      ADD_FAILURE();
    } catch (const EBrelixError& e) {
      EXPECT_STREQ(e.Message(), "Field \"Nobody\" not found in tables. ");
    }
    if (keep) {
      ASSERT_FALSE(report_->ReportFile().empty());
      EXPECT_TRUE(fs::exists(report_->ReportFile()));
      EXPECT_EQ(TempFiles().size(), 1u);
    } else {
      EXPECT_TRUE(report_->ReportFile().empty());
      EXPECT_EQ(TempFiles(), std::vector<std::string>{}) << "nothing is left behind";
    }
  }
  try {
    report_->ShowOnTemplate(Path("missing.xlsx").string(), {});
    ADD_FAILURE();
  } catch (const EBrelixError& e) {
    EXPECT_EQ(e.Message(), "File \"" + Path("missing.xlsx").string() + "\" does not exist. ");
  }
}

// Without a DataSet the records come from the data events; values from the dictionary and the
// field event.
TEST_F(ReportTest, DataEventsDictionaryAndFieldEventWithoutADataSet) {
  report_->SetDataSet(nullptr);
  report_->SetTemplate(WriteTemplate({{"#Company"}, {"#Name", "#Qty"}, {"Total", "#SUM(Qty)"}}).string());
  report_->Bands().AddBand(brxbtTitle).SetRange("A1:B1");
  report_->Bands().AddBand(brxbtMasterData).SetRange("A2:B2");
  report_->Bands().AddBand(brxbtSummary).SetRange("A3:B3");
  TBrelixField& company = report_->Dictionary().Add();
  company.SetFieldName("company");
  company.SetValueAsString("ACME");
  const std::vector<std::pair<std::string, int>> records = {{"x", 2}, {"y", 4}, {"z", 9}};
  std::size_t at = 0;
  std::vector<std::string> asked;
  report_->OnDataFirst.Set([&](platform::Component&) { at = 0; });
  report_->OnDataNext.Set([&](platform::Component&) { ++at; });
  report_->OnDataPrior.Set([&](platform::Component&) { --at; });
  report_->OnDataEof.Set([&](TBrelix&, bool& eof) { eof = at >= records.size(); });
  report_->OnGetFieldValue.Set([&](platform::Persistent&, const std::string& name, Variant& value) {
    asked.push_back(name);
    if (name == "Name") value = records[at].first;
    if (name == "Qty") value = records[at].second;
  });
  bool before = false;
  report_->OnBeforeBuild.Set([&](platform::Component&) { before = true; });
  report_->Show(Path("out.xlsx").string());
  EXPECT_TRUE(before);
  EXPECT_EQ(std::count(asked.begin(), asked.end(), "Company"), 0) << "the dictionary answers first";

  auto book = xlsx::Workbook::Open(Path("out.xlsx"));
  const xlsx::Worksheet& sheet = book->Sheet(0);
  EXPECT_EQ(Text(sheet, 1, 1), "ACME");
  EXPECT_EQ(Text(sheet, 4, 1), "z");
  EXPECT_EQ(Text(sheet, 4, 2), "9");
  EXPECT_EQ(sheet.Formula(5, 2), "SUM(B2:B4)") << "a total over a user field sums the record rows " << Text(sheet, 5, 2);

  ExpectLibreOfficeShows(Path("out.xlsx"), "Report", {"Total,15"});

  // Without OnDataPrior there are no records: only the title and the summary.
  report_->OnDataPrior = {};
  report_->Show(Path("empty.xlsx").string());
  auto empty = xlsx::Workbook::Open(Path("empty.xlsx"));
  EXPECT_EQ(Text(empty->Sheet(0), 2, 1), "Total");
}

}  // namespace
}  // namespace brelix
