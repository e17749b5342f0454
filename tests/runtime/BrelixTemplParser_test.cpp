// The template parser over small templates of the native engine, with in-memory datasets: band
// infos, cell texts for report rows, totals as values and as formulas in the user's language,
// and the errors of bands, cells and fields. The output loop is imitated by hand: the band
// outputs go to SetOutputRow and the records to Accumulate.

#include "runtime/BrelixTemplParser.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "data/mem_dataset.h"
#include "platform/component.h"
#include "platform/locale.h"
#include "runtime/Brelix.h"
#include "runtime/BrelixAutomation.h"
#include "runtime/BrelixBand.h"
#include "runtime/BrelixConsts.h"
#include "tests/support/scoped_locale.h"

namespace brelix {
namespace {

using platform::FieldType;
using platform::Variant;

using testing::ScopedLocale;

using testing::ErrorOf;

// Items rows of the given quantities (a name, the quantity, a price of 1.5).
std::vector<data::TMemDataSet::Row> ItemRows(const std::vector<Variant>& quantities) {
  std::vector<data::TMemDataSet::Row> rows;
  for (const Variant& q : quantities) rows.push_back({Variant("item"), q, Variant(1.5)});
  return rows;
}

std::vector<Variant> Ones(int count) { return std::vector<Variant>(static_cast<std::size_t>(count), Variant(1)); }

// Cell addresses of column C: count rows from first, step apart, joined by separator.
std::string CellsOfC(int first, int step, int count, char separator) {
  std::string text;
  for (int i = 0; i < count; ++i) text += (i ? std::string(1, separator) : "") + "C" + std::to_string(first + i * step);
  return text;
}

// A report Orders (master) / Items (detail) on a data module, its template sheet in a new
// workbook of the native engine, and user fields answered from a map.
class TemplParserTest : public ::testing::Test {
 protected:
  TemplParserTest() : app_(automation::CreateApplication()), sheet_(app_->AddEmpty().Worksheets(1)) {
    module_.SetName("ParserForm");
    report_ = &module_.Create<TBrelix>("Report");
    orders_ = &module_.Create<data::TMemDataSet>("Orders");
    items_ = &module_.Create<data::TMemDataSet>("Items");
    orders_->SetColumns({{"Customer", FieldType::String}, {"Amount", FieldType::Float}});
    items_->SetColumns({{"Name", FieldType::String}, {"Qty", FieldType::Float}, {"Price", FieldType::Float}});
    report_->SetDataSet(orders_);
    report_->SetDetailDataSet(items_);
  }

  void Cell(const char* address, const std::string& text) { sheet_.GetRange(address).SetFormulaLocal(text); }
  TBrelixBand& Band(TBrelixBandType type, const char* range) {
    TBrelixBand& band = report_->Bands().AddBand(type);
    band.SetRange(range);
    return band;
  }
  std::unique_ptr<TBrelixTemplParser> Parse() {
    return std::make_unique<TBrelixTemplParser>(
        *report_, sheet_, [this](platform::Persistent&, const std::string& name, Variant& value) {
          auto it = user_fields_.find(name);
          if (it == user_fields_.end()) throw EBrelixError(BrelixFormat(BrelixConsts::MsgBrelix5, name));
          value = it->second;
        });
  }
  // One output of a detail data band per item record, step rows apart from row on, with the
  // accumulation step of each record; the next free row.
  int OutputItems(TBrelixTemplParser& parser, const TBrelixBand& detail, int row, int step) {
    for (items_->First(); !items_->Eof(); items_->Next()) {
      parser.SetOutputRow(detail, nullptr, row);
      parser.Accumulate(xatDetail);
      row += step;
    }
    return row;
  }
  // The text of a total band's cell output at row, then the output itself and the reset.
  std::string OutputTotal(TBrelixTemplParser& parser, const TBrelixBand& band, const char* cell, int row,
                          const TBrelixBand* header = nullptr) {
    std::string text = parser.GetValue(band, header, BrelixGetRangeRow(cell), BrelixGetRangeColumn(cell), row);
    parser.SetOutputRow(band, header, row);
    parser.ResetAccumulation(band, header);
    return text;
  }

  platform::DataModule module_;
  TBrelix* report_;
  data::TMemDataSet* orders_;
  data::TMemDataSet* items_;
  std::map<std::string, Variant> user_fields_;
  std::unique_ptr<automation::Application> app_;
  automation::Worksheet& sheet_;
};

TEST_F(TemplParserTest, DetailTotalsBecomeFormulasOverTheDetailCellsOfTheirGroup) {
  struct Case {
    const char* name;
    const char* locale;
    bool two_row_detail;
    const char* footer;       // the text of the footer cell C4
    std::vector<int> groups;  // detail records per footer output
    std::string expected;     // the footer's text at its last output
    const char* qty_cell = "C2";
  } cases[] = {
      {"one-row run", "en-US", false, "#SUM(Items.Qty)", {5}, "=SUM(C5:C9)"},
      {"one-row run, German", "de-DE", false, "#SUM(Items.Qty)", {5}, "=SUMME(C5:C9)"},
      {"second group skips the first", "en-US", false, "#SUM(Items.Qty)", {5, 3}, "=SUM(C11:C13)"},
      {"two-row band, semicolons", "de-DE", true, "#SUM(Items.Qty)", {3}, "=SUMME(C5;C7;C9)"},
      {"31 cells in two groups", "en-US", true, "#SUM(Items.Qty)", {31},
       "=SUM(SUM(" + CellsOfC(5, 2, 30, ',') + "),SUM(C65))"},
      {"901 cells: the value", "en-US", true, "#SUM(Items.Qty)", {901}, "901"},
      {"average over 31 cells", "en-US", true, "#AVG(Items.Qty)", {31},
       "=SUM(SUM(" + CellsOfC(5, 2, 30, ',') + "),SUM(C65)) / SUM(COUNT(" + CellsOfC(5, 2, 30, ',') +
           "),COUNT(C65))"},
      {"average over a run", "de-DE", false, "#AVG(Items.Qty)", {4}, "=MITTELWERT(C5:C8)"},
      {"maximum, German", "de-DE", true, "#max(Items.Qty)", {2}, "=MAX(C5;C7)"},
      {"second row of a two-row band", "en-US", true, "#SUM(Items.Qty)", {3}, "=SUM(C6,C8,C10)", "C3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedLocale locale(c.locale);
    report_->Bands().Clear();
    TBrelixBand& detail = Band(brxbtDetailData, c.two_row_detail ? "A2:C3" : "A2:C2");
    TBrelixBand& footer = Band(brxbtDetailFooter, "A4:C4");
    Cell("A2", "#Items.Name");
    for (const char* cell : {"C2", "C3"}) Cell(cell, cell == std::string(c.qty_cell) ? "#Items.Qty" : "");
    Cell("C4", c.footer);
    auto parser = Parse();
    const int step = c.two_row_detail ? 2 : 1;
    int row = 5;
    std::string text;
    for (int records : c.groups) {
      items_->SetRows(ItemRows(Ones(records)));
      row = OutputItems(*parser, detail, row, step);
      text = OutputTotal(*parser, footer, "C4", row++);
    }
    EXPECT_EQ(text, c.expected);
  }
}

TEST_F(TemplParserTest, OuterTotalsUseInnerTotalsOrDataCellsOrTheirValue) {
  // Detail data in row 2, the detail footer in row 3, the summary in row 4, each total in
  // column C; two orders with 2 and 3 items of quantity 1, the footers at rows 4 and 8.
  struct Case {
    const char* name;
    const char* footer;
    const char* summary;
    std::string expected;
  } cases[] = {
      {"counts over inner counts", "#COUNT(Items.Qty)", "#COUNT(Items.Qty)", "=SUM(C4,C8)"},
      {"sums over inner sums", "#SUM(Items.Qty)", "#SUM(Items.Qty)", "=SUM(C4,C8)"},
      {"an average over the data cells", "#AVG(Items.Qty)", "#AVG(Items.Qty)", "=AVERAGE(C2:C3,C5:C7)"},
      {"a count over the data cells", "#SUM(Items.Qty)", "#COUNT(Items.Qty)", "=COUNT(C2:C3,C5:C7)"},
      {"no cell holds the field alone", "#Items.Price", "#SUM(Items.Price)", "7.5"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    report_->Bands().Clear();
    TBrelixBand& detail = Band(brxbtDetailData, "A2:C2");
    TBrelixBand& footer = Band(brxbtDetailFooter, "A3:C3");
    TBrelixBand& summary = Band(brxbtSummary, "A4:C4");
    Cell("B2", "#Items.Price EUR");
    Cell("C2", "#Items.Qty");
    Cell("C3", c.footer);
    Cell("C4", c.summary);
    auto parser = Parse();
    int row = 2;
    for (int records : {2, 3}) {
      items_->SetRows(ItemRows(Ones(records)));
      row = OutputItems(*parser, detail, row, 1);
      OutputTotal(*parser, footer, "C3", row++);
    }
    EXPECT_EQ(OutputTotal(*parser, summary, "C4", row), c.expected);
  }
}

TEST_F(TemplParserTest, RunningValuesRestartAfterEachFooter) {
  report_->SetOptions({brxoShowProgress});  // totals as values
  TBrelixBand& detail = Band(brxbtDetailData, "A2:C2");
  TBrelixBand& footer = Band(brxbtDetailFooter, "A3:E3");
  Cell("C2", "#Items.Qty");
  const char* cells[] = {"A3", "B3", "C3", "D3", "E3"};
  const char* texts[] = {"#SUM(Items.Qty)", "#AVG(Items.Qty)", "#MAX(Items.Qty)", "#MIN(Items.Qty)", "#COUNT(Items.Qty)"};
  for (int i = 0; i < 5; ++i) Cell(cells[i], texts[i]);
  struct Group {
    std::vector<Variant> quantities;
    std::vector<std::string> expected;  // sum, average, maximum, minimum, count
  } groups[] = {
      {{2, 4, 9}, {"15", "5", "9", "2", "3"}},
      {{-7, -3}, {"=-10", "=-5", "=-3", "=-7", "2"}},  // the maximum after a reset is the first value
      {{Variant::MakeNull(), Variant::MakeNull()}, {"0", "0", "0", "0", "2"}},  // empty records count
  };
  auto parser = Parse();
  int row = 1;
  for (const Group& g : groups) {
    items_->SetRows(ItemRows(g.quantities));
    row = OutputItems(*parser, detail, row, 1);
    std::vector<std::string> texts_out;
    for (const char* cell : cells)
      texts_out.push_back(parser->GetValue(footer, nullptr, 3, BrelixGetRangeColumn(cell), row));
    parser->SetOutputRow(footer, nullptr, row);
    parser->ResetAccumulation(footer, nullptr);
    ++row;
    EXPECT_EQ(texts_out, g.expected);
  }
}

TEST_F(TemplParserTest, LoneTotalsGetAnEqualsSignOnlyWhenTheyAreNoNumber) {
  report_->SetOptions({});  // totals as values
  Band(brxbtMasterData, "A1:B1");
  TBrelixBand& summary = Band(brxbtSummary, "A2:B2");
  Cell("A1", "#Orders.Customer");
  Cell("B1", "#Orders.Amount");
  Cell("A2", "#SUM(Orders.Amount)");
  Cell("B2", "Total: #SUM(Orders.Amount)");
  struct Case {
    const char* locale;
    std::vector<double> amounts;
    const char* lone;
    const char* with_text;
  } cases[] = {
      {"en-US", {-2, -3}, "=-5", "Total: -5"},
      {"de-DE", {5, 7.5}, "12,5", "Total: 12,5"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.locale);
    ScopedLocale locale(c.locale);
    std::vector<data::TMemDataSet::Row> rows;
    for (double a : c.amounts) rows.push_back({Variant("x"), Variant(a)});
    orders_->SetRows(rows);
    auto parser = Parse();
    for (orders_->First(); !orders_->Eof(); orders_->Next()) parser->Accumulate(xatMaster);
    EXPECT_EQ(parser->GetValue(summary, nullptr, 2, 1, 9), c.lone);
    EXPECT_EQ(parser->GetValue(summary, nullptr, 2, 2, 9), c.with_text);
  }
}

// With totals as formulas, a total inside plain text is written as its value (a formula text
// there would only be text); a lone total and a total inside a formula cell become formulas.
TEST_F(TemplParserTest, TotalsInsideTextAreValuesAndInsideFormulasFormulas) {
  TBrelixBand& master = Band(brxbtMasterData, "A1:B1");
  TBrelixBand& summary = Band(brxbtSummary, "A2:C2");
  Cell("A1", "#Orders.Customer");
  Cell("B1", "#Orders.Amount");
  Cell("A2", "#SUM(Orders.Amount)");
  Cell("B2", "Total: #SUM(Orders.Amount)");
  Cell("C2", "#=#SUM(Orders.Amount)*2");
  orders_->SetRows({{Variant("x"), Variant(2.5)}, {Variant("y"), Variant(4.0)}});
  auto parser = Parse();
  int row = 1;
  for (orders_->First(); !orders_->Eof(); orders_->Next()) {
    parser->SetOutputRow(master, nullptr, row++);
    parser->Accumulate(xatMaster);
  }
  EXPECT_EQ(parser->GetValue(summary, nullptr, 2, 1, 3), "=SUM(B1:B2)");
  EXPECT_EQ(parser->GetValue(summary, nullptr, 2, 2, 3), "Total: 6.5");
  EXPECT_EQ(parser->GetValue(summary, nullptr, 2, 3, 3), "=SUM(B1:B2)*2");
}

TEST_F(TemplParserTest, CellTextsFollowTheirReportRowsAndColumns) {
  // A band starting in column C: its references move two columns left; rows follow the output.
  TBrelixBand& master = Band(brxbtMasterData, "C5:E5");
  Cell("C5", "=C5*2");
  Cell("D5", "#SUM(Orders.Amount)");  // a total outside a total band is the plain value
  Cell("E5", "#=D5*#Orders.Amount");  // the leading piece of a formula cell moves too
  orders_->SetRows({{Variant("x"), Variant(10)}});
  orders_->Open();
  auto parser = Parse();
  EXPECT_EQ(parser->GetMaxColumn(), 3);
  EXPECT_EQ(parser->GetValue(master, nullptr, 5, 3, 12), "=A12*2");
  EXPECT_EQ(parser->GetValue(master, nullptr, 5, 4, 12), "10");
  EXPECT_EQ(parser->GetValue(master, nullptr, 5, 5, 12), "=B12*10");
  const TBrelixBandInfo& info = parser->GetBandInfos(0);
  EXPECT_EQ(info.CellParserCount(), 2);
  EXPECT_EQ(info.CellParsers(0).Funcs(0), ffNone);
  EXPECT_TRUE(info.AccTypes().Empty());
  EXPECT_FALSE(info.GetHasFields(5, 3));
}

TEST_F(TemplParserTest, RowIntervalsJoinConsecutiveOutputsOfOneRowBands) {
  TBrelixBand& one = Band(brxbtDetailData, "A1:A1");
  TBrelixBand& two = Band(brxbtMasterData, "A2:A3");
  auto parser = Parse();
  for (int row : {5, 6, 7}) parser->SetOutputRow(one, nullptr, row);
  for (int row : {5, 7, 9}) parser->SetOutputRow(two, nullptr, row);
  using RI = TBrelixBandInfo::RowInterval;
  ASSERT_EQ(parser->GetBandCount(), 2);
  EXPECT_EQ(parser->GetBandInfos(0).RowIntervals(), (std::vector<RI>{{5, 2}}));  // detail data first
  EXPECT_EQ(parser->GetBandInfos(1).RowIntervals(), (std::vector<RI>{{5, 0}, {7, 0}, {9, 0}}));
}

TEST_F(TemplParserTest, GroupFootersAnswerPerLinkingHeader) {
  report_->SetDetailDataSet(nullptr);
  auto& outer = static_cast<TBrelixGroupHeaderBand&>(Band(brxbtGroupHeader, "A1:B1"));
  auto& inner = static_cast<TBrelixGroupHeaderBand&>(Band(brxbtGroupHeader, ""));  // blank range
  TBrelixBand& master = Band(brxbtMasterData, "A2:B2");
  auto& footer = static_cast<TBrelixGroupFooterBand&>(Band(brxbtGroupFooter, "A3:B3"));
  outer.SetFooter(&footer);
  inner.SetFooter(&footer);
  Cell("A1", "#Orders.Customer");
  Cell("B2", "#Orders.Amount");
  Cell("B3", "#SUM(Orders.Amount)");
  orders_->SetRows({{Variant("a"), Variant(1)}, {Variant("b"), Variant(2)}});
  auto parser = Parse();

  // The inner header has no band info of its own; the footer has one per header.
  std::vector<std::pair<const TBrelixBand*, const TBrelixBand*>> infos;
  for (int i = 0; i < parser->GetBandCount(); ++i)
    infos.emplace_back(&parser->GetBandInfos(i).Band(), parser->GetBandInfos(i).HeaderBand());
  EXPECT_EQ(infos, (std::vector<std::pair<const TBrelixBand*, const TBrelixBand*>>{
                       {&master, nullptr}, {&footer, &inner}, {&outer, nullptr}, {&footer, &outer}}));
  EXPECT_EQ(ErrorOf<EBrelixTemplParserError>([&] { parser->GetValue(inner, nullptr, 1, 1, 1); }),
            BrelixFormat(BrelixConsts::MsgTPrsNoBand, inner.DisplayName()));
  EXPECT_EQ(ErrorOf<EBrelixTemplParserError>([&] { parser->SetOutputRow(footer, nullptr, 1); }),
            BrelixFormat(BrelixConsts::MsgTPrsNoBand, footer.DisplayName()));

  // Master 1 at row 2, the inner footer at row 3, master 2 at row 4, both footers after it.
  orders_->First();
  parser->SetOutputRow(master, nullptr, 2);
  parser->Accumulate(xatMaster);
  EXPECT_EQ(OutputTotal(*parser, footer, "B3", 3, &inner), "=SUM(B2)");
  orders_->Next();
  parser->SetOutputRow(master, nullptr, 4);
  parser->Accumulate(xatMaster);
  EXPECT_EQ(OutputTotal(*parser, footer, "B3", 5, &inner), "=SUM(B4)");
  // The outer footer adds up the inner footer's sums.
  EXPECT_EQ(OutputTotal(*parser, footer, "B3", 6, &outer), "=SUM(B3,B5)");
}

TEST_F(TemplParserTest, UserFieldTotalsWithoutDetailDataSetAdvancePerMasterRecord) {
  report_->SetDetailDataSet(nullptr);
  report_->SetOptions({});  // totals as values
  TBrelixBand& master = Band(brxbtMasterData, "A1:B1");
  TBrelixBand& summary = Band(brxbtSummary, "A2:B2");
  Cell("A1", "#Orders.Customer");
  Cell("B1", "#Bonus");
  Cell("B2", "#SUM(Bonus)");
  auto parser = Parse();
  const TBrelixCellParser& total = parser->GetBandInfos(1).CellParsers(0);
  EXPECT_EQ(total.GetDataSet(0), nullptr);
  EXPECT_EQ(total.FieldAccType(0), xatMaster);
  for (int bonus : {3, 4}) {
    user_fields_["Bonus"] = Variant(bonus);
    parser->SetOutputRow(master, nullptr, bonus);
    parser->Accumulate(xatMaster);
  }
  EXPECT_EQ(parser->GetValue(summary, nullptr, 2, 2, 5), "7");
}

TEST_F(TemplParserTest, UserFieldTotalsAreDetailTotalsWhereDetailCellsNameThem) {
  TBrelixBand& detail = Band(brxbtDetailData, "A1:A1");
  TBrelixBand& summary = Band(brxbtSummary, "A2:B2");
  Band(brxbtDetailFooter, "A3:A3");
  Cell("A1", "#Bonus");
  Cell("A2", "#SUM(Bonus)");   // named in the detail data band
  Cell("B2", "#SUM(Other)");   // named nowhere inside
  Cell("A3", "#MAX(Bonus)");   // a detail band
  auto parser = Parse();
  const TBrelixBandInfo& summary_info = parser->GetBandInfos(parser->GetBandCount() - 1);
  ASSERT_EQ(&summary_info.Band(), &summary);
  EXPECT_EQ(summary_info.CellParsers(0).FieldAccType(0), xatDetail);
  EXPECT_EQ(summary_info.CellParsers(1).FieldAccType(0), xatMaster);
  EXPECT_EQ(parser->GetBandInfos(1).CellParsers(0).FieldAccType(0), xatDetail);
  user_fields_["Bonus"] = Variant(2);
  parser->SetOutputRow(detail, nullptr, 1);
  parser->Accumulate(xatDetail);
  EXPECT_EQ(parser->GetValue(summary, nullptr, 2, 1, 2), "=SUM(A1)");
}

TEST_F(TemplParserTest, RangeErrorsNameTheBand) {
  auto parser = Parse();
  struct Case {
    const char* range;
    std::string expected;  // the start of the message
  } cases[] = {
      {"C3:A1", BrelixFormat(BrelixConsts::MsgTPrsBadRange, "MasterData", "C3:A1")},
      {"A1:B2,D4", BrelixFormat(BrelixConsts::MsgTPrsMultyAreaRange, "MasterData", "A1:B2,D4", 2)},
      // the spreadsheet's own message follows on a new line
      {"A1:XFE1", BrelixFormat(BrelixConsts::MsgTPrsBadRange, "MasterData", "A1:XFE1") + "\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.range);
    TBrelixBand& band = Band(brxbtMasterData, c.range);
    const std::string message = ErrorOf<EBrelixError>([&] { TBrelixBandInfo(*parser, band, nullptr, 0); });
    EXPECT_EQ(message.substr(0, c.expected.size()), c.expected);
    EXPECT_EQ(message.size() > c.expected.size(), c.range == std::string("A1:XFE1"));
  }
  // A blank range fails before the spreadsheet is asked.
  TBrelixBand& blank = Band(brxbtTitle, " ");
  EXPECT_EQ(ErrorOf<EBrelixTemplParserError>([&] { TBrelixBandInfo(*parser, blank, nullptr, 0); }),
            BrelixFormat(BrelixConsts::MsgTPrsEmptyRange, "Title"));
  // The parser reads the report's bands: a reversed range there ends the construction.
  report_->Bands().Clear();
  Band(brxbtMasterData, "C3:A1");
  EXPECT_EQ(ErrorOf<EBrelixError>([&] { Parse(); }), cases[0].expected);
}

TEST_F(TemplParserTest, CellAndFieldErrorsCarryTheirMessages) {
  TBrelixBand& master = Band(brxbtMasterData, "A1:B1");
  Cell("A1", "#Orders.Customer");
  Cell("B1", "#Nobody");
  auto parser = Parse();
  EXPECT_EQ(ErrorOf<EBrelixTemplParserError>([&] { parser->GetValue(master, nullptr, 1, 3, 1); }),
            BrelixFormat(BrelixConsts::MsgTPrsNoCell, 1, 3));
  EXPECT_EQ(ErrorOf<EBrelixError>([&] { parser->GetValue(master, nullptr, 1, 2, 1); }),
            BrelixFormat(BrelixConsts::MsgBrelix5, "Nobody"));

  Cell("B1", "#Orders.Nope");
  EXPECT_EQ(ErrorOf<EBrelixError>([&] { Parse(); }), BrelixFormat(BrelixConsts::MsgBrelix7, "Orders.Nope", "Orders"));
  Cell("B1", "#'Orders.Amount");
  EXPECT_EQ(ErrorOf<EBrelixFieldParserError>([&] { Parse(); }),
            BrelixFormat(BrelixConsts::MsgFPrsBadStr, "#'Orders.Amount", '#'));
}

TEST_F(TemplParserTest, NativeFunctionNamesComeFromTheProbeCellWhichIsClearedAgain) {
  ScopedLocale german("de-DE");
  Band(brxbtMasterData, "A1:B1");
  Cell("C1", "left over");
  auto parser = Parse();
  EXPECT_EQ(parser->GetFuncName(ffSum), "SUMME");
  EXPECT_EQ(parser->GetFuncName(ffAvg), "MITTELWERT");
  EXPECT_EQ(parser->GetFuncName(ffCnt), "ANZAHL");
  EXPECT_EQ(parser->GetFuncName(ffNone), "");
  EXPECT_EQ(sheet_.GetRange("C1").Formula(), "");
}

}  // namespace
}  // namespace brelix
