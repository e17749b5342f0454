#include "runtime/BrelixCopyMngr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "runtime/BrelixBand.h"
#include "runtime/BrelixConsts.h"
#include "runtime/BrelixProc.h"

namespace brelix {
namespace {

using automation::CellRect;

// A worksheet that only records the calls the copy manager makes and answers row heights.
class RecordingSheet : public automation::Worksheet {
 public:
  struct Call {
    std::string what;  // "Copy", "AutoFit", "SetHeight"
    CellRect rect;
    const Worksheet* dest = nullptr;
    CellRect dest_rect;
    double points = 0;
    friend bool operator==(const Call&, const Call&) = default;
  };

  std::vector<Call> calls;
  std::map<int, double> heights;

  using automation::Worksheet::GetRange;

  std::string Name() const override { return "Sheet"; }
  void SetName(const std::string&) override {}
  void Activate() override {}
  automation::Range UsedRange() override { return GetRange(1, 1, 1, 1); }
  automation::Range GetRange(const std::string& address) override {
    throw automation::EAutomationError("unexpected address " + address);
  }
  std::string GetFormula(const CellRect&, bool) override { return {}; }
  void SetFormula(const CellRect&, const std::string&, bool) override {}
  void SetFormulaLocalArray(const CellRect&, const std::vector<std::vector<platform::Variant>>&) override {}
  void SetValue(const CellRect&, const platform::Variant&) override {}
  platform::Variant GetValue(const CellRect&) override { return {}; }
  void Copy(const CellRect& source, Worksheet& destination, const CellRect& dest_rect) override {
    calls.push_back({"Copy", source, &destination, dest_rect, 0});
  }
  void Clear(const CellRect&) override {}
  void AutoFitRows(const CellRect& rect) override { calls.push_back({"AutoFit", rect, nullptr, {}, 0}); }
  double GetRowHeight(int row) override {
    auto it = heights.find(row);
    return it == heights.end() ? 15.0 : it->second;
  }
  void SetRowHeight(const CellRect& rect, double points) override {
    calls.push_back({"SetHeight", rect, nullptr, {}, points});
    heights[rect.top] = points;
  }
  void SetFont(const CellRect&, const automation::FontChange&) override {}
  void SetInteriorColor(const CellRect&, int) override {}
};

// A band collection whose bands lie one below the other in the template, columns A to C.
class Template {
 public:
  TBrelixBand& Add(TBrelixBandType type, int rows) {
    TBrelixBand& band = bands.AddBand(type);
    SetRows(band, rows);
    return band;
  }
  // A group header of header_rows rows and, unless footer_rows is 0, its footer.
  TBrelixGroupHeaderBand& AddGroup(int header_rows, int footer_rows) {
    auto& header = static_cast<TBrelixGroupHeaderBand&>(Add(brxbtGroupHeader, header_rows));
    if (footer_rows > 0) header.SetFooter(&static_cast<TBrelixGroupFooterBand&>(Add(brxbtGroupFooter, footer_rows)));
    return header;
  }
  void SetRows(TBrelixBand& band, int rows) {
    if (rows <= 0) return;
    band.SetRange("A" + std::to_string(next_row_) + ":C" + std::to_string(next_row_ + rows - 1));
    next_row_ += rows;
  }

  TBrelixBands bands{nullptr};

 private:
  int next_row_ = 1;
};

std::vector<TBrelixCopyAction> Decoded(const std::vector<std::string>& texts) {
  std::vector<TBrelixCopyAction> actions;
  for (const auto& text : texts) actions.push_back(BrelixParseCopyAction(text));
  return actions;
}

std::string Describe(const std::vector<TBrelixCopyAction>& actions) {
  std::ostringstream out;
  for (const auto& a : actions) out << "(" << a.Dest << "," << a.Src << "," << a.Count << ")";
  return out.str();
}

// Title 2 rows, one grouping level with header and footer of 1 row, master data 1 row,
// summary 1 row: levels 0 title/summary, 1 group (bottom group level), 2 master data.
struct GroupedReport {
  Template t;
  TBrelixBand& title = t.Add(brxbtTitle, 2);
  TBrelixGroupHeaderBand& header = t.AddGroup(1, 1);
  TBrelixBand& master = t.Add(brxbtMasterData, 1);
  TBrelixBand& summary = t.Add(brxbtSummary, 1);
  RecordingSheet templ, report;
  TBrelixCopyManager cm{t.bands, templ, report};

  const TBrelixBand& footer() const { return *header.Footer(); }
  void Group(int records) {
    cm.AddBand(header, nullptr);
    for (int i = 0; i < records; ++i) cm.AddBand(master, nullptr);
    cm.AddBand(footer(), &header);
  }
  void Build(std::initializer_list<int> groups) {
    cm.AddBand(title, nullptr);
    for (int records : groups) Group(records);
    cm.AddBand(summary, nullptr);
  }
};

// ---------------------------------------------------------------------------------------------
// Action texts

TEST(BrelixCopyMngrTest, ActionTextsAreFixedWidthHexAndReadBack) {
  EXPECT_EQ(BrelixCopyActionText({10, 3, 3}), "000A00030003");
  EXPECT_EQ(BrelixCopyActionText({65535, 4096, 1}), "FFFF10000001");
  EXPECT_EQ(BrelixParseCopyAction("000A00030003"), (TBrelixCopyAction{10, 3, 3}));
  struct Case {
    const char* text;
    int value;
  };
  for (const Case& c : {Case{"", 0}, Case{"0", 0}, Case{"ff", 255}, Case{"FfFf", 65535}, Case{"1a2B", 0x1A2B}}) {
    EXPECT_EQ(HexStrToInt(c.text), c.value) << c.text;
  }
  for (const char* bad : {"12G4", " 1", "-1", "0x1"}) {
    try {
      HexStrToInt(bad);
      ADD_FAILURE() << bad;
    } catch (const platform::EConvertError& e) {
      EXPECT_STREQ(e.what(), "TBrelix\\TBrelixCopyManager internal error 4. ");
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Level table

TEST(BrelixCopyMngrTest, LevelTableFollowsTheBandPairs) {
  Template t;
  TBrelixBand& title = t.Add(brxbtTitle, 2);
  TBrelixGroupHeaderBand& g1 = t.AddGroup(1, 3);
  TBrelixGroupHeaderBand& blank_header = t.AddGroup(0, 1);  // empty header: only its footer
  TBrelixBand& df = t.Add(brxbtDetailFooter, 2);
  TBrelixBand& dd = t.Add(brxbtDetailData, 1);
  dd.SetRange("B20:F20");  // the widest band: 5 columns
  RecordingSheet templ, report;
  TBrelixCopyManager cm(t.bands, templ, report);

  ASSERT_EQ(cm.LevelCount(), 5);
  EXPECT_EQ(cm.HeaderBand(0), &title);
  EXPECT_EQ(cm.FooterBand(0), nullptr);
  EXPECT_EQ(cm.HeaderBand(1), &g1);
  EXPECT_EQ(cm.FooterRows(1), 3);
  EXPECT_EQ(cm.HeaderBand(2), nullptr);
  EXPECT_EQ(cm.FooterBand(2), blank_header.Footer());
  EXPECT_EQ(cm.HeaderBand(3), nullptr);  // no detail header beside the detail footer
  EXPECT_EQ(cm.FooterBand(3), &df);
  EXPECT_EQ(cm.HeaderBand(4), &dd);
  EXPECT_EQ(cm.HeaderRows(0), 2);
  EXPECT_EQ(cm.HeaderRows(-1), 0);
  EXPECT_EQ(cm.RecRows(), 1);
  EXPECT_EQ(cm.WidthColumn(), "E");
}

TEST(BrelixCopyMngrTest, UserErrorsCarryTheirCodes) {
  RecordingSheet templ, report;
  Template empty;
  empty.bands.AddBand(brxbtMasterData);  // no range
  try {
    TBrelixCopyManager cm(empty.bands, templ, report);
    ADD_FAILURE() << "no level";
  } catch (const EBrelixCopyManagerError& e) {
    EXPECT_STREQ(e.what(), "TBrelix\\TBrelixCopyManager internal error 1. ");
  }

  // A group footer is placed by its header; a header with an empty range is not in the table.
  Template t;
  TBrelixGroupHeaderBand& blank_header = t.AddGroup(0, 1);
  TBrelixBand& master = t.Add(brxbtMasterData, 1);
  TBrelixCopyManager cm(t.bands, templ, report);
  cm.AddBand(master, nullptr);
  try {
    cm.AddBand(*blank_header.Footer(), &blank_header);
    ADD_FAILURE() << "footer without level";
  } catch (const EBrelixCopyManagerError& e) {
    EXPECT_STREQ(e.what(), "TBrelix\\TBrelixCopyManager internal error 3. ");
  }
}

// ---------------------------------------------------------------------------------------------
// The tree built by AddBand

TEST(BrelixCopyMngrTest, TreeOfTwoGroupsUnderTitleAndSummary) {
  GroupedReport r;
  r.Build({3, 3});
  EXPECT_EQ(r.cm.Row(), 1 + 2 + 5 + 5 + 1);
  TBrelixCopyGroup* t = r.cm.Root().LastChild();
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->PrevSibling(), nullptr);
  EXPECT_EQ(t->Level(), 0);
  EXPECT_EQ(t->StartRow(), 1);
  EXPECT_EQ(t->Count(), 2);
  EXPECT_TRUE(t->HeaderCompleted() && t->FooterCompleted());
  TBrelixCopyGroup* first = t->GetFirstChild();
  TBrelixCopyGroup* second = t->LastChild();
  ASSERT_EQ(first->GetNext(), second);
  EXPECT_EQ(second->GetNext(), nullptr);
  for (TBrelixCopyGroup* g : {first, second}) {
    EXPECT_EQ(g->Level(), 1);
    EXPECT_EQ(g->Count(), 3);
    EXPECT_EQ(g->LastChild(), nullptr);
    EXPECT_TRUE(g->HeaderCompleted() && g->FooterCompleted());
  }
  EXPECT_EQ(first->StartRow(), 3);
  EXPECT_EQ(second->StartRow(), 8);
  EXPECT_EQ(first->GetEndRow(), 8);
  EXPECT_EQ(second->GetEndRow(), 13);
  EXPECT_EQ(t->GetEndRow(), 14);
  EXPECT_EQ(second->AllPrev(), first);
  EXPECT_EQ(first->AllPrev(), nullptr);
  // Band order: title side of T, its groups, back up to T.
  EXPECT_EQ(t->NextByBand(true), first);
  EXPECT_EQ(second->NextByBand(true), t);
  EXPECT_EQ(t->NextByBand(false), nullptr);
  EXPECT_EQ(t->PrevByBand(true), second);
  EXPECT_EQ(first->PrevByBand(true), t);
}

TEST(BrelixCopyMngrTest, FooterFirstInBatchClosesAGroupOpenedEarlier) {
  GroupedReport r;
  r.cm.AddBand(r.title, nullptr);
  r.cm.AddBand(r.header, nullptr);
  r.cm.AddBand(r.master, nullptr);
  r.cm.AddBand(r.master, nullptr);
  r.cm.Plan();
  EXPECT_EQ(r.cm.Root().LastChild(), nullptr);
  EXPECT_EQ(r.cm.Root().StartRow(), 6);

  r.cm.AddBand(r.footer(), &r.header);
  TBrelixCopyGroup* t = r.cm.Root().LastChild();
  ASSERT_NE(t, nullptr);
  TBrelixCopyGroup* g = t->LastChild();
  ASSERT_NE(g, nullptr);
  EXPECT_FALSE(t->HeaderCompleted());
  EXPECT_FALSE(g->HeaderCompleted());
  EXPECT_TRUE(g->FooterCompleted());
  EXPECT_EQ(g->Count(), 0);
  EXPECT_EQ(g->StartRow(), 6);
  EXPECT_EQ(g->GetEndRow(), 7);
  r.cm.AddBand(r.summary, nullptr);
  const TBrelixCopyPlan plan = r.cm.Plan();
  EXPECT_EQ(plan.TemplCopies, (std::vector<TBrelixTemplCopy>{{&r.summary, 7}, {&r.footer(), 6}}));
  EXPECT_TRUE(plan.Actions.empty());
}

TEST(BrelixCopyMngrTest, DetailFooterWithoutDetailHeaderOpensCompletedGroups) {
  Template t;
  TBrelixBand& master = t.Add(brxbtMasterData, 1);
  TBrelixBand& detail = t.Add(brxbtDetailData, 1);
  TBrelixBand& footer = t.Add(brxbtDetailFooter, 1);
  RecordingSheet templ, report;
  TBrelixCopyManager cm(t.bands, templ, report);
  for (int m = 0; m < 2; ++m) {
    cm.AddBand(master, nullptr);
    for (int d = 0; d < 3; ++d) cm.AddBand(detail, nullptr);
    cm.AddBand(footer, nullptr);
  }
  TBrelixCopyGroup* second = cm.Root().LastChild();
  ASSERT_NE(second, nullptr);
  TBrelixCopyGroup* first = second->PrevSibling();
  ASSERT_NE(first, nullptr);
  for (TBrelixCopyGroup* m : {first, second}) {
    TBrelixCopyGroup* details = m->LastChild();
    ASSERT_NE(details, nullptr);
    EXPECT_EQ(details->Level(), 1);
    EXPECT_TRUE(details->HeaderCompleted());
    EXPECT_TRUE(details->FooterCompleted());
    EXPECT_EQ(details->Count(), 3);
  }
  // The second master record with its details is one copy of the first.
  const TBrelixCopyPlan plan = cm.Plan();
  EXPECT_EQ(Describe(Decoded(plan.Actions)), "(3,2,1)(4,2,1)(6,1,5)");
}

TEST(BrelixCopyMngrTest, AllPrevStopsAtTheNearestPreviousSubtree) {
  // Master records with and without details: the detail-level group of the third master has
  // no previous group, although the first master has one.
  Template t;
  TBrelixBand& master = t.Add(brxbtMasterData, 1);
  TBrelixBand& dh = t.Add(brxbtDetailHeader, 1);
  TBrelixBand& dd = t.Add(brxbtDetailData, 1);
  RecordingSheet templ, report;
  TBrelixCopyManager cm(t.bands, templ, report);
  for (int details : {2, 0, 2}) {
    cm.AddBand(master, nullptr);
    if (details == 0) continue;
    cm.AddBand(dh, nullptr);
    for (int d = 0; d < details; ++d) cm.AddBand(dd, nullptr);
  }
  TBrelixCopyGroup* third = cm.Root().LastChild();
  TBrelixCopyGroup* second = third->PrevSibling();
  TBrelixCopyGroup* first = second->PrevSibling();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->AllPrev(), nullptr);
  EXPECT_EQ(third->AllPrev(), second);
  EXPECT_EQ(first->LastChild()->AllPrev(), nullptr);
  EXPECT_EQ(third->LastChild()->AllPrev(), nullptr);
  EXPECT_EQ(second->LastChild(), nullptr);
}

// ---------------------------------------------------------------------------------------------
// Plans of a batch

TEST(BrelixCopyMngrTest, WorkedExampleOfThreeGroups) {
  GroupedReport r;
  r.Build({5, 2, 5});
  EXPECT_EQ(r.cm.Row(), 22);
  const TBrelixCopyPlan plan = r.cm.Plan();
  EXPECT_EQ(plan.TemplCopies, (std::vector<TBrelixTemplCopy>{
                                  {&r.title, 1}, {&r.summary, 21}, {&r.header, 3}, {&r.footer(), 9}, {&r.master, 4}}));
  EXPECT_EQ(plan.Actions, (std::vector<std::string>{"000500040001", "000600040002", "000800040001", "000A00030003",
                                                    "000D00090004", "001100060004"}));
}

TEST(BrelixCopyMngrTest, GroupsOfEqualShapeAreCopiedWhole) {
  struct Case {
    std::vector<int> groups;
    std::string actions;
  };
  const Case cases[] = {
      {{5, 5, 2}, "(5,4,1)(6,4,2)(8,4,1)(10,3,7)(17,10,3)(20,16,1)"},
      {{3, 3}, "(5,4,1)(6,4,1)(8,3,5)"},
      {{1}, ""},
  };
  for (const Case& c : cases) {
    GroupedReport r;
    r.cm.AddBand(r.title, nullptr);
    for (int n : c.groups) r.Group(n);
    r.cm.AddBand(r.summary, nullptr);
    EXPECT_EQ(Describe(Decoded(r.cm.Plan().Actions)), c.actions) << c.groups.size();
  }
}

TEST(BrelixCopyMngrTest, MasterDataOnlyDoublesItsRecords) {
  Template t;
  TBrelixBand& master = t.Add(brxbtMasterData, 1);
  RecordingSheet templ, report;
  TBrelixCopyManager cm(t.bands, templ, report);
  for (int i = 0; i < 7; ++i) cm.AddBand(master, nullptr);
  EXPECT_EQ(cm.Root().Count(), 7);
  EXPECT_EQ(cm.Root().LastChild(), nullptr);
  const TBrelixCopyPlan plan = cm.Plan();
  EXPECT_EQ(plan.TemplCopies, (std::vector<TBrelixTemplCopy>{{&master, 1}}));
  EXPECT_EQ(Describe(Decoded(plan.Actions)), "(2,1,1)(3,1,2)(5,1,3)");
  // The next batch starts where this one ended.
  cm.AddBand(master, nullptr);
  EXPECT_EQ(cm.Plan().TemplCopies, (std::vector<TBrelixTemplCopy>{{&master, 8}}));
}

TEST(BrelixCopyMngrTest, RecordWithHeaderAndFooterBandsIsOneTemplateCopyEach) {
  // Detail header and footer without detail data: one record is both bands.
  Template t;
  TBrelixBand& dh = t.Add(brxbtDetailHeader, 2);
  TBrelixBand& df = t.Add(brxbtDetailFooter, 1);
  RecordingSheet templ, report;
  TBrelixCopyManager cm(t.bands, templ, report);
  cm.AddBand(dh, nullptr);
  cm.AddBand(df, nullptr);
  EXPECT_EQ(cm.Root().Count(), 1);
  const TBrelixCopyPlan plan = cm.Plan();
  EXPECT_EQ(plan.TemplCopies, (std::vector<TBrelixTemplCopy>{{&dh, 1}, {&df, 3}}));
  EXPECT_TRUE(plan.Actions.empty());
}

TEST(BrelixCopyMngrTest, BottomGroupContinuingFromThePreviousBatch) {
  GroupedReport r;
  r.cm.AddBand(r.title, nullptr);
  r.cm.AddBand(r.header, nullptr);
  r.cm.AddBand(r.master, nullptr);
  r.cm.Plan();
  for (int i = 0; i < 4; ++i) r.cm.AddBand(r.master, nullptr);
  r.cm.AddBand(r.footer(), &r.header);
  TBrelixCopyGroup* g = r.cm.Root().LastChild()->LastChild();
  EXPECT_FALSE(g->HeaderCompleted());
  EXPECT_EQ(g->StartRow(), 5);
  const TBrelixCopyPlan plan = r.cm.Plan();
  EXPECT_EQ(plan.TemplCopies, (std::vector<TBrelixTemplCopy>{{&r.footer(), 9}, {&r.master, 5}}));
  EXPECT_EQ(Describe(Decoded(plan.Actions)), "(6,5,1)(7,5,2)");
}

// ---------------------------------------------------------------------------------------------
// Band sequences the walks must not step over

TEST(BrelixCopyMngrTest, RecordCutByAFlushIsCopiedInItsParts) {
  // Detail header and footer without detail data form the record; a flush may fall between.
  Template t;
  TBrelixBand& dh = t.Add(brxbtDetailHeader, 2);
  TBrelixBand& df = t.Add(brxbtDetailFooter, 1);
  RecordingSheet templ, report;
  TBrelixCopyManager cm(t.bands, templ, report);
  cm.AddBand(dh, nullptr);
  cm.AddBand(df, nullptr);
  cm.AddBand(dh, nullptr);  // rows 4-5, its footer comes in the next batch
  EXPECT_EQ(cm.Plan().TemplCopies, (std::vector<TBrelixTemplCopy>{{&dh, 4}, {&dh, 1}, {&df, 3}}));
  cm.AddBand(df, nullptr);  // row 6
  cm.AddBand(dh, nullptr);
  cm.AddBand(df, nullptr);
  const TBrelixCopyPlan plan = cm.Plan();
  EXPECT_EQ(plan.TemplCopies, (std::vector<TBrelixTemplCopy>{{&df, 6}, {&dh, 7}, {&df, 9}}));
  EXPECT_TRUE(plan.Actions.empty());
}

TEST(BrelixCopyMngrTest, RecordsAfterAFooterFirstInBatchOpenANewGroup) {
  // No master data band: the details of consecutive master records follow each other directly.
  Template t;
  TBrelixGroupHeaderBand& gh = t.AddGroup(1, 1);
  TBrelixBand& dd = t.Add(brxbtDetailData, 1);
  TBrelixBand& df = t.Add(brxbtDetailFooter, 1);
  RecordingSheet templ, report;
  TBrelixCopyManager cm(t.bands, templ, report);
  cm.AddBand(gh, nullptr);
  cm.AddBand(dd, nullptr);
  cm.AddBand(dd, nullptr);
  cm.Plan();
  cm.AddBand(df, nullptr);  // row 4 closes the details begun in the first batch
  cm.AddBand(dd, nullptr);
  cm.AddBand(dd, nullptr);
  cm.AddBand(df, nullptr);
  cm.AddBand(*gh.Footer(), &gh);
  TBrelixCopyGroup& group = *cm.Root().LastChild();
  ASSERT_EQ(group.Count(), 2);
  EXPECT_EQ(group.GetFirstChild()->Count(), 0);
  EXPECT_TRUE(group.GetFirstChild()->FooterCompleted());
  EXPECT_EQ(group.LastChild()->Count(), 2);
  EXPECT_EQ(group.LastChild()->StartRow(), 5);
  const TBrelixCopyPlan plan = cm.Plan();
  EXPECT_EQ(plan.TemplCopies, (std::vector<TBrelixTemplCopy>{{gh.Footer(), 8}, {&df, 4}, {&dd, 5}}));
  EXPECT_EQ(Describe(Decoded(plan.Actions)), "(6,5,1)(7,4,1)");
}

TEST(BrelixCopyMngrTest, GroupsWithoutChildrenKeepTheirFootersInChains) {
  // Groups whose master records have no details: header and footer with nothing between.
  Template t;
  TBrelixGroupHeaderBand& gh = t.AddGroup(1, 2);
  t.Add(brxbtDetailHeader, 1);
  t.Add(brxbtDetailData, 1);
  t.Add(brxbtDetailFooter, 1);
  RecordingSheet templ, report;
  TBrelixCopyManager cm(t.bands, templ, report);
  for (int g = 0; g < 4; ++g) {
    cm.AddBand(gh, nullptr);
    cm.AddBand(*gh.Footer(), &gh);
  }
  const TBrelixCopyPlan plan = cm.Plan();
  EXPECT_EQ(plan.TemplCopies, (std::vector<TBrelixTemplCopy>{{&gh, 1}, {gh.Footer(), 2}}));
  EXPECT_EQ(Describe(Decoded(plan.Actions)), "(4,1,3)(7,1,6)");
}

TEST(BrelixCopyMngrTest, ChainEndsWithTheLastGroupOfTheBatch) {
  // No title or summary: the groups lie on level 0 and the second one ends the batch, so the
  // "Copy to" walker has no next group after it.
  Template t;
  TBrelixGroupHeaderBand& gh = t.AddGroup(1, 1);
  TBrelixBand& master = t.Add(brxbtMasterData, 1);
  RecordingSheet templ, report;
  TBrelixCopyManager cm(t.bands, templ, report);
  for (int g = 0; g < 3; ++g) {
    cm.AddBand(gh, nullptr);
    cm.AddBand(master, nullptr);
    cm.AddBand(master, nullptr);
    cm.AddBand(*gh.Footer(), &gh);
  }
  TBrelixCopyGroup& last = *cm.Root().LastChild();
  bool stop = false;
  EXPECT_EQ(last.FindHeaderChain(*last.PrevSibling(), stop, 65535), 4);
  EXPECT_TRUE(stop);
  const TBrelixCopyPlan plan = cm.Plan();
  EXPECT_EQ(plan.TemplCopies, (std::vector<TBrelixTemplCopy>{{&gh, 1}, {gh.Footer(), 4}, {&master, 2}}));
  EXPECT_EQ(Describe(Decoded(plan.Actions)), "(3,2,1)(5,1,4)(9,5,4)");
}

// ---------------------------------------------------------------------------------------------
// Execution against a worksheet

TEST(BrelixCopyMngrTest, ExecuteCarriesThePlanOutOnTheSheets) {
  GroupedReport r;
  r.templ.heights[2] = 30;   // the title's second row
  r.templ.heights[4] = 30;   // the group footer's row
  r.report.heights[6] = 30;  // where the first footer lands: already as high
  r.report.heights[8] = 40;  // a record row made by a copy action gets its source row's height
  r.Build({2, 2});
  const TBrelixCopyPlan plan = r.cm.Plan();
  std::map<int, double> heights = r.report.heights;
  auto height = [&](int row) { return heights.count(row) ? heights[row] : 15.0; };
  r.cm.Execute(plan);

  using Call = RecordingSheet::Call;
  std::vector<Call> templ_expected, report_expected;
  for (const TBrelixTemplCopy& c : plan.TemplCopies) {
    const TBrelixBand& b = *c.Band;
    templ_expected.push_back({"Copy", {b.RangeTop(), 1, b.RangeBottom(), 3}, &r.report, {c.Row, 1, c.Row, 1}, 0});
    for (int i = 0; i < b.RowCount(); ++i) {
      const CellRect row{c.Row + i, 1, c.Row + i, 1};
      report_expected.push_back({"AutoFit", row, nullptr, {}, 0});
      const double h = r.templ.GetRowHeight(b.RangeTop() + i);
      if (h != height(c.Row + i)) report_expected.push_back({"SetHeight", row, nullptr, {}, h});
      heights[c.Row + i] = h;
    }
  }
  for (const TBrelixCopyAction& a : Decoded(plan.Actions)) {
    report_expected.push_back(
        {"Copy", {a.Src, 1, a.Src + a.Count - 1, 3}, &r.report, {a.Dest, 1, a.Dest, 1}, 0});
    for (int i = 0; i < a.Count; ++i) {
      const double h = height(a.Src + i);
      if (h != height(a.Dest + i)) report_expected.push_back({"SetHeight", {a.Dest + i, 1, a.Dest + i, 1}, nullptr, {}, h});
      heights[a.Dest + i] = h;
    }
  }
  EXPECT_EQ(r.templ.calls, templ_expected);
  EXPECT_EQ(r.report.calls, report_expected);
  EXPECT_EQ(r.report.heights[2], 30);
  EXPECT_EQ(r.report.heights[8], 15) << "a record row takes the height of the record row it copies";
  EXPECT_EQ(r.report.GetRowHeight(10), 30) << "the second footer, made by a copy action, is as high as the first";
  EXPECT_FALSE(plan.Actions.empty());
}


// ---------------------------------------------------------------------------------------------
// Random reports: the template copies and copy actions of every batch produce each report row
// exactly once, with the band row the output loop put there.

// A random template: which bands exist and how many rows each has (0: none).
struct Shape {
  int title = 0, summary = 0, master = 0, detail_header = 0, detail_data = 0, detail_footer = 0;
  std::vector<std::pair<int, int>> groups;  // header rows (at least 1), footer rows

  std::string Text() const {
    std::ostringstream out;
    out << "title " << title << " summary " << summary << " groups";
    for (const auto& [h, f] : groups) out << " " << h << "/" << f;
    out << " master " << master << " detail " << detail_header << "/" << detail_data << "/" << detail_footer;
    return out.str();
  }
};

struct BandOutput {
  const TBrelixBand* band;
  const TBrelixBand* paired;
};

class RandomReport {
 public:
  explicit RandomReport(std::mt19937& rng, int max_rows = 20000) : rng_(rng) {
    do {
      shape_ = RandomShape();
    } while (!AnyBand());
    title_ = AddIf(brxbtTitle, shape_.title);
    for (const auto& [h, f] : shape_.groups) headers_.push_back(&t_.AddGroup(h, f));
    master_ = AddIf(brxbtMasterData, shape_.master);
    dh_ = AddIf(brxbtDetailHeader, shape_.detail_header);
    dd_ = AddIf(brxbtDetailData, shape_.detail_data);
    df_ = AddIf(brxbtDetailFooter, shape_.detail_footer);
    summary_ = AddIf(brxbtSummary, shape_.summary);
    do {
      outputs_.clear();
      rows_ = 0;
      Emit(title_, nullptr);
      EmitGroups(0);
      Emit(summary_, nullptr);
    } while (rows_ > max_rows);
  }

  const TBrelixBands& Bands() const { return t_.bands; }
  const std::vector<BandOutput>& Outputs() const { return outputs_; }
  const Shape& GetShape() const { return shape_; }

 private:
  int Draw(int low, int high) {
    const int top = rng_() % 4 == 0 ? high : std::min(high, low + 3);
    return std::uniform_int_distribution<int>(low, top)(rng_);
  }
  int Rows(int chance_of_none_in_4) { return static_cast<int>(rng_() % 4) < chance_of_none_in_4 ? 0 : Draw(1, 3); }
  Shape RandomShape() {
    Shape s;
    s.title = Rows(2);
    s.summary = Rows(2);
    for (int g = Draw(0, 3); g > 0; --g) s.groups.emplace_back(Draw(1, 3), Rows(2));
    s.master = Rows(1);
    s.detail_header = Rows(2);
    s.detail_data = Rows(1);
    s.detail_footer = Rows(2);
    return s;
  }
  bool AnyBand() const {
    return shape_.title || shape_.summary || !shape_.groups.empty() || shape_.master || shape_.detail_header ||
           shape_.detail_data || shape_.detail_footer;
  }
  const TBrelixBand* AddIf(TBrelixBandType type, int rows) { return rows > 0 ? &t_.Add(type, rows) : nullptr; }
  void Emit(const TBrelixBand* band, const TBrelixBand* paired) {
    if (band == nullptr) return;
    outputs_.push_back({band, paired});
    rows_ += band->RowCount();
  }
  void EmitGroups(std::size_t level) {
    if (level == headers_.size()) {
      for (int m = Draw(level == 0 ? 0 : 1, 50); m > 0; --m) EmitMaster();
      return;
    }
    for (int g = Draw(level == 0 ? 0 : 1, 3); g > 0; --g) {
      Emit(headers_[level], nullptr);
      EmitGroups(level + 1);
      Emit(headers_[level]->Footer(), headers_[level]);
    }
  }
  void EmitMaster() {
    Emit(master_, nullptr);
    const int details = Draw(0, 50);
    if (details == 0) return;  // an empty detail dataset outputs no detail header or footer
    Emit(dh_, nullptr);
    for (int d = 0; d < details; ++d) Emit(dd_, nullptr);
    Emit(df_, nullptr);
  }

  std::mt19937& rng_;
  Shape shape_;
  Template t_;
  const TBrelixBand *title_, *master_, *dh_, *dd_, *df_, *summary_;
  std::vector<TBrelixGroupHeaderBand*> headers_;
  std::vector<BandOutput> outputs_;
  int rows_ = 0;
};

// The report sheet as band rows: what each row should carry and what the plans put there.
class SheetModel {
 public:
  // A band row as a number: the band's first template row plus the row within the band.
  static int Key(const TBrelixBand& band, int i) { return band.RangeTop() + i; }

  void Expect(const TBrelixBand& band) {
    for (int i = 0; i < band.RowCount(); ++i) expected_.push_back(Key(band, i));
  }

  // Applies one batch's plan (rows first .. expected end) and checks it.
  ::testing::AssertionResult Apply(const TBrelixCopyPlan& plan) {
    const int first = batch_end_;
    batch_end_ = static_cast<int>(expected_.size()) + 1;
    actual_.resize(expected_.size() + 1, 0);
    for (const TBrelixTemplCopy& c : plan.TemplCopies) {
      for (int i = 0; i < c.Band->RowCount(); ++i) {
        if (auto r = Write(c.Row + i, Key(*c.Band, i), first); !r) return r << " (template copy)";
      }
    }
    for (const std::string& text : plan.Actions) {
      const TBrelixCopyAction a = BrelixParseCopyAction(text);
      if (a.Count == 0 || a.Src < 1 || a.Src + a.Count > a.Dest) {
        return ::testing::AssertionFailure() << "action " << text << " does not lie above its destination";
      }
      for (int i = 0; i < a.Count; ++i) {
        const int value = actual_[a.Src + i];
        if (value != expected_[a.Dest + i - 1]) {
          return ::testing::AssertionFailure() << "action " << text << ": source row " << a.Src + i
                                               << " carries " << value << ", row " << a.Dest + i << " needs "
                                               << expected_[a.Dest + i - 1];
        }
        if (auto r = Write(a.Dest + i, value, first); !r) return r << " (action " << text << ")";
      }
    }
    for (int row = first; row < batch_end_; ++row) {
      if (actual_[row] == 0) return ::testing::AssertionFailure() << "row " << row << " not produced";
    }
    return ::testing::AssertionSuccess();
  }

 private:
  ::testing::AssertionResult Write(int row, int value, int first) {
    if (row < first || row >= batch_end_) {
      return ::testing::AssertionFailure() << "row " << row << " outside the batch " << first << ".." << batch_end_ - 1;
    }
    if (actual_[row] != 0) return ::testing::AssertionFailure() << "row " << row << " produced twice";
    if (value != expected_[row - 1]) {
      return ::testing::AssertionFailure() << "row " << row << " gets " << value << ", needs " << expected_[row - 1];
    }
    actual_[row] = value;
    return ::testing::AssertionSuccess();
  }

  std::vector<int> expected_;  // by row - 1
  std::vector<int> actual_;    // by row; 0: not produced
  int batch_end_ = 1;
};

std::string Describe(const TBrelixCopyPlan& plan) {
  std::ostringstream out;
  out << "templ";
  for (const auto& c : plan.TemplCopies) out << " " << c.Band->RangeTop() << "@" << c.Row;
  out << " actions " << Describe(Decoded(plan.Actions));
  return out.str();
}

::testing::AssertionResult RunRandomReport(std::mt19937& rng, double cut_chance) {
  RandomReport report(rng);
  RecordingSheet templ, sheet;
  SheetModel model;
  std::bernoulli_distribution cut(cut_chance);
  std::ostringstream trace;
  try {
    TBrelixCopyManager cm(report.Bands(), templ, sheet);
    const auto& outputs = report.Outputs();
    for (std::size_t i = 0; i < outputs.size(); ++i) {
      if (i > 0 && cut(rng)) {
        trace << " |";
        const TBrelixCopyPlan plan = cm.Plan();
        if (auto r = model.Apply(plan); !r) {
          return r << "\n" << report.GetShape().Text() << "\n" << trace.str() << "\n" << Describe(plan);
        }
      }
      trace << " " << int{outputs[i].band->BandType()} << ":" << outputs[i].band->RangeTop();
      cm.AddBand(*outputs[i].band, outputs[i].paired);
      model.Expect(*outputs[i].band);
    }
    const TBrelixCopyPlan plan = cm.Plan();
    if (auto r = model.Apply(plan); !r) {
      return r << "\n" << report.GetShape().Text() << "\n" << trace.str() << "\n" << Describe(plan);
    }
  } catch (const platform::Exception& e) {
    return ::testing::AssertionFailure() << e.what() << "\n" << report.GetShape().Text() << "\n" << trace.str();
  }
  return ::testing::AssertionSuccess();
}

TEST(BrelixCopyMngrTest, RandomReportsProduceEveryRowOnceFromMatchingRows) {
  std::mt19937 rng(20240611);
  const double cut_chances[] = {0.0, 0.01, 0.05, 0.2, 0.6};
  for (int n = 0; n < 1500; ++n) {
    const double chance = cut_chances[n % 5];
    ASSERT_TRUE(RunRandomReport(rng, chance)) << "report " << n;
  }
}

}  // namespace
}  // namespace brelix
