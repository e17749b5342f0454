#include "runtime/BrelixBand.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "data/mem_dataset.h"
#include "platform/component.h"
#include "platform/design_host.h"
#include "platform/errors.h"
#include "runtime/Brelix.h"
#include "runtime/BrelixConsts.h"
#include "runtime/BrelixProc.h"

namespace brelix {
namespace {

using platform::Variant;

// The message of the EBrelixError that action throws; a test failure when it throws none.
std::string BrelixErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EBrelixError& e) {
    return e.what();
  }
  ADD_FAILURE() << "no EBrelixError thrown";
  return {};
}

// Records the message boxes a designer would show; installed for the lifetime of the object.
class RecordingHost : public platform::DesignHost {
 public:
  RecordingHost() : previous_(platform::SetDesignHost(this)) {}
  ~RecordingHost() override { platform::SetDesignHost(previous_); }

  void ShowMessageBox(const std::string& text, platform::MessageBoxKind kind) override {
    boxes.push_back(text);
    kinds.push_back(kind);
  }
  void ObjectInserted(const platform::Component&, const platform::Persistent&) override {}
  void ObjectRemoved(const platform::Component&, const platform::Persistent&) override {}

  std::vector<std::string> boxes;
  std::vector<platform::MessageBoxKind> kinds;

 private:
  platform::DesignHost* previous_;
};

TBrelixGroupHeaderBand& AddHeader(TBrelixBands& bands, std::string range = {}) {
  auto& header = static_cast<TBrelixGroupHeaderBand&>(bands.AddBand(brxbtGroupHeader));
  header.SetRange(std::move(range));
  return header;
}

TBrelixGroupFooterBand& AddFooter(TBrelixBands& bands, std::string range = {}) {
  auto& footer = static_cast<TBrelixGroupFooterBand&>(bands.AddBand(brxbtGroupFooter));
  footer.SetRange(std::move(range));
  return footer;
}

TBrelixBand& AddBand(TBrelixBands& bands, TBrelixBandType type, std::string range = {}) {
  TBrelixBand& band = bands.AddBand(type);
  band.SetRange(std::move(range));
  return band;
}

std::vector<std::string> DisplayNames(const TBrelixBands& bands) {
  std::vector<std::string> names;
  for (int i = 0; i < bands.Count(); ++i) names.push_back(bands.Items(i).DisplayName());
  return names;
}

// ---------------------------------------------------------------------------------------------
// Group numbers and display names

TEST(BrelixBandGroupTest, NumbersNewGroupBandsAfterTheLargest) {
  struct Case {
    int headers;                    // group headers added first (numbered 1, 2, ...)
    std::vector<int> deleted;       // group numbers then deleted
    int expected;                   // number of the next header
  };
  const Case cases[] = {
      {0, {}, 1}, {1, {}, 2}, {2, {2}, 2}, {2, {1}, 3}, {2, {1, 2}, 1}, {3, {2}, 4},
  };
  for (const Case& c : cases) {
    TBrelix report;
    TBrelixBands& bands = report.Bands();
    for (int i = 0; i < c.headers; ++i) AddHeader(bands);
    for (int id : c.deleted)
      for (int i = 0; i < bands.Count(); ++i)
        if (static_cast<TBrelixGroupBand&>(bands.Items(i)).GroupID() == id) bands.Delete(i);
    // Footers are numbered on their own.
    EXPECT_EQ(AddFooter(bands).GroupID(), 1);
    TBrelixGroupHeaderBand& added = AddHeader(bands);
    EXPECT_EQ(added.GroupID(), c.expected) << c.headers << " headers, " << c.deleted.size() << " deleted";
    EXPECT_EQ(added.DisplayName(), "GroupHeader" + std::to_string(c.expected));
  }
}

TEST(BrelixBandGroupTest, DisplayNames) {
  const char* const names[] = {"Title",      "GroupHeader",  "MasterData",  "DetailHeader",
                               "DetailData", "DetailFooter", "GroupFooter", "Summary"};
  TBrelix report;
  for (int type = 0; type < BrelixBandTypeCount; ++type) {
    EXPECT_EQ(BrelixBandTypeName(static_cast<TBrelixBandType>(type)), std::string(names[type]));
    if (type != brxbtGroupHeader && type != brxbtGroupFooter) {
      EXPECT_EQ(report.Bands().AddBand(static_cast<TBrelixBandType>(type)).DisplayName(), names[type]);
    }
  }

  TBrelixBands& bands = report.Bands();
  TBrelixGroupHeaderBand& h1 = AddHeader(bands);
  AddHeader(bands);
  TBrelixGroupHeaderBand& h3 = AddHeader(bands);
  TBrelixGroupFooterBand& footer = AddFooter(bands);
  EXPECT_EQ(footer.DisplayName(), "GroupFooter1");
  EXPECT_EQ(h1.GetFooterBand(), "");

  h3.SetFooter(&footer);
  h1.SetFooter(&footer);
  EXPECT_EQ(footer.DisplayName(), "GroupFooter1 - GH1, 3");  // collection order, not link order
  EXPECT_EQ(h1.GetFooterBand(), "GroupFooter1");
  EXPECT_EQ(h3.GetFooterBand(), "GroupFooter1");
  EXPECT_EQ(footer.GetLastHeaderBand(), &h3);

  // Only the first three digits of a header's number show.
  h1.SetGroupID(1234);
  bands.RearrangeItem(h1);
  EXPECT_EQ(footer.DisplayName(), "GroupFooter1 - GH3, 123");
}

TEST(BrelixBandGroupTest, WritingFooterBandLinksByName) {
  TBrelix report;
  TBrelixBands& bands = report.Bands();
  TBrelixGroupHeaderBand& h1 = AddHeader(bands);
  TBrelixGroupHeaderBand& h2 = AddHeader(bands);
  TBrelixGroupFooterBand& f1 = AddFooter(bands);
  TBrelixGroupFooterBand& f2 = AddFooter(bands);

  h2.SetFooterBand(" groupfooter1 ");
  EXPECT_EQ(h2.Footer(), &f1);
  EXPECT_EQ(f1.DisplayName(), "GroupFooter1 - GH2");
  // The name with its header suffix names no footer; the link stays.
  EXPECT_EQ(BrelixErrorOf([&] { h2.SetFooterBand("GroupFooter1 - GH2"); }), BrelixConsts::MsgBnd);
  EXPECT_EQ(h2.Footer(), &f1);

  h1.SetFooterBand("GROUPFOOTER2");
  EXPECT_EQ(h1.Footer(), &f2);
  EXPECT_EQ(DisplayNames(bands),
            (std::vector<std::string>{"GroupHeader1", "GroupHeader2", "GroupFooter1 - GH2", "GroupFooter2 - GH1"}));

  // Blank unlinks, and the former footer goes back to its sorted place.
  for (const char* blank : {"", "   "}) {
    h2.SetFooterBand(blank);
    EXPECT_EQ(h2.Footer(), nullptr);
    EXPECT_EQ(h2.GetFooterBand(), "");
    EXPECT_EQ(DisplayNames(bands),
              (std::vector<std::string>{"GroupHeader1", "GroupHeader2", "GroupFooter2 - GH1", "GroupFooter1"}))
        << "'" << blank << "'";
  }
}

TEST(BrelixBandGroupTest, FooterThatCannotBeLinkedFailsOrShowsAMessage) {
  struct Case {
    const char* what;
    std::function<void(TBrelixGroupHeaderBand& header, TBrelixGroupFooterBand& foreign)> link;
  };
  const Case cases[] = {
      {"unknown name", [](TBrelixGroupHeaderBand& h, TBrelixGroupFooterBand&) { h.SetFooterBand("GroupFooter9"); }},
      {"footer of another report", [](TBrelixGroupHeaderBand& h, TBrelixGroupFooterBand& f) { h.SetFooter(&f); }},
  };
  for (bool designing : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (designing ? ", designing" : ", running"));
      RecordingHost host;
      TBrelix report, other;
      report.SetDesigning(designing);
      TBrelixGroupHeaderBand& header = AddHeader(report.Bands());
      TBrelixGroupFooterBand& own = AddFooter(report.Bands());
      TBrelixGroupFooterBand& foreign = AddFooter(other.Bands());
      header.SetFooter(&own);

      if (designing) {
        c.link(header, foreign);
        EXPECT_EQ(host.boxes, std::vector<std::string>{BrelixConsts::MsgBnd});
        EXPECT_EQ(host.kinds, std::vector<platform::MessageBoxKind>{platform::MessageBoxKind::Error});
      } else {
        EXPECT_EQ(BrelixErrorOf([&] { c.link(header, foreign); }), BrelixConsts::MsgBnd);
        EXPECT_TRUE(host.boxes.empty());
      }
      EXPECT_EQ(header.Footer(), &own);
      EXPECT_EQ(foreign.DisplayName(), "GroupFooter1");
    }
  }
}

TEST(BrelixBandGroupTest, CollectionWithoutReport) {
  TBrelixBands bands(nullptr), other(nullptr);
  TBrelixGroupHeaderBand& header = AddHeader(bands);
  TBrelixGroupFooterBand& own = AddFooter(bands);
  header.SetFooterBand("groupfooter1");
  EXPECT_EQ(header.Footer(), &own);
  EXPECT_EQ(BrelixErrorOf([&] { header.SetFooterBand("GroupFooter2"); }), BrelixConsts::MsgBnd);
  // A foreign footer is left unlinked without a report to complain through.
  header.SetFooter(&AddFooter(other));
  EXPECT_EQ(header.Footer(), &own);
}

TEST(BrelixBandGroupTest, HeaderOutsideACollectionCannotLinkAFooter) {
  TBrelix report;
  TBrelixGroupFooterBand& footer = AddFooter(report.Bands());
  std::unique_ptr<TBrelixBand> removed = report.Bands().RemoveItem(AddHeader(report.Bands()));
  auto& header = static_cast<TBrelixGroupHeaderBand&>(*removed);
  ASSERT_EQ(header.Bands(), nullptr);
  EXPECT_EQ(header.Index(), -1);
  EXPECT_EQ(BrelixErrorOf([&] { header.SetFooter(&footer); }), BrelixConsts::MsgBnd);
  EXPECT_EQ(header.Footer(), nullptr);
  header.SetFooterBand("GroupFooter1");  // nothing to look in
  EXPECT_EQ(header.Footer(), nullptr);
}

TEST(BrelixBandGroupTest, RemovingBandsUnlinksFooters) {
  for (bool by_delete : {true, false}) {
    SCOPED_TRACE(by_delete ? "Delete" : "RemoveItem");
    TBrelix report;
    TBrelixBands& bands = report.Bands();
    TBrelixGroupHeaderBand& h1 = AddHeader(bands);
    TBrelixGroupHeaderBand& h2 = AddHeader(bands);
    TBrelixGroupHeaderBand& h3 = AddHeader(bands);
    TBrelixGroupFooterBand& shared = AddFooter(bands);
    TBrelixGroupFooterBand& other = AddFooter(bands);
    h1.SetFooter(&shared);
    h3.SetFooter(&shared);
    h2.SetFooter(&other);
    ASSERT_EQ(DisplayNames(bands).back(), "GroupFooter2 - GH2");

    auto remove = [&](TBrelixBand& band) {
      if (by_delete)
        bands.Delete(band.Index());
      else
        EXPECT_EQ(bands.RemoveItem(band)->Bands(), nullptr);
    };
    // The header with the higher number goes: the shared footer now follows header 1 and
    // moves behind the footer of header 2.
    remove(h3);
    EXPECT_EQ(DisplayNames(bands), (std::vector<std::string>{"GroupHeader1", "GroupHeader2", "GroupFooter2 - GH2",
                                                              "GroupFooter1 - GH1"}));
    remove(shared);
    EXPECT_EQ(h1.Footer(), nullptr);
    EXPECT_EQ(h1.GetFooterBand(), "");
    EXPECT_EQ(h2.Footer(), &other);
    EXPECT_EQ(bands.Count(), 3);
  }
}

// ---------------------------------------------------------------------------------------------
// Order

TEST(BrelixBandOrderTest, KeepsTypesInOrderAndFootersReverseToTheirHeaders) {
  TBrelix report;
  TBrelixBands& bands = report.Bands();
  AddBand(bands, brxbtSummary);
  TBrelixGroupFooterBand& footer_a = AddFooter(bands);
  TBrelixGroupFooterBand& footer_b = AddFooter(bands);
  AddBand(bands, brxbtDetailFooter);
  AddBand(bands, brxbtDetailData);
  AddBand(bands, brxbtDetailHeader);
  AddBand(bands, brxbtMasterData);
  TBrelixGroupHeaderBand& h1 = AddHeader(bands);
  TBrelixGroupHeaderBand& h2 = AddHeader(bands);
  AddBand(bands, brxbtTitle);
  h1.SetFooter(&footer_a);
  h2.SetFooter(&footer_b);
  EXPECT_EQ(DisplayNames(bands),
            (std::vector<std::string>{"Title", "GroupHeader1", "GroupHeader2", "MasterData", "DetailHeader",
                                      "DetailData", "DetailFooter", "GroupFooter2 - GH2", "GroupFooter1 - GH1",
                                      "Summary"}));
  for (int i = 0; i < bands.Count(); ++i) EXPECT_EQ(bands.Items(i).Index(), i);

  // Swapping the links swaps the footers; an unlinked footer follows the linked ones.
  h1.SetFooter(&footer_b);
  h2.SetFooter(&footer_a);
  EXPECT_EQ(footer_a.Index(), 7);
  EXPECT_EQ(footer_b.Index(), 8);
  h2.SetFooter(nullptr);
  EXPECT_EQ(footer_b.Index(), 7);
  EXPECT_EQ(footer_a.Index(), 8);
}

TEST(BrelixBandOrderTest, FooterFollowsItsLastLinkingHeader) {
  TBrelix report;
  TBrelixBands& bands = report.Bands();
  TBrelixGroupHeaderBand& h1 = AddHeader(bands);
  TBrelixGroupHeaderBand& h2 = AddHeader(bands);
  TBrelixGroupHeaderBand& h3 = AddHeader(bands);
  TBrelixGroupFooterBand& shared = AddFooter(bands);
  TBrelixGroupFooterBand& single = AddFooter(bands);
  h2.SetFooter(&single);
  h1.SetFooter(&shared);
  EXPECT_EQ(single.Index() + 1, shared.Index());
  h3.SetFooter(&shared);  // header 3, not header 1, now places the shared footer
  EXPECT_EQ(shared.Index() + 1, single.Index());
}

TEST(BrelixBandOrderTest, RearrangeItemMovesABandBothWays) {
  struct Case {
    int header;     // index of the header renumbered
    int group_id;   // its new number
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {0, 5, {"Title", "GroupHeader2", "GroupHeader3", "GroupHeader5", "Summary"}},
      {2, 0, {"Title", "GroupHeader0", "GroupHeader1", "GroupHeader2", "Summary"}},
      {1, 2, {"Title", "GroupHeader1", "GroupHeader2", "GroupHeader3", "Summary"}},
  };
  for (const Case& c : cases) {
    TBrelix report;
    TBrelixBands& bands = report.Bands();
    AddBand(bands, brxbtSummary);
    AddBand(bands, brxbtTitle);
    for (int i = 0; i < 3; ++i) AddHeader(bands);
    auto& header = static_cast<TBrelixGroupHeaderBand&>(bands.Items(c.header + 1));
    header.SetGroupID(c.group_id);
    bands.RearrangeItem(header);
    EXPECT_EQ(DisplayNames(bands), c.expected) << "header " << c.header << " -> " << c.group_id;
  }
}

TEST(BrelixBandOrderTest, FooterIsResortedWhenItsHeaderIsRenumbered) {
  TBrelix report;
  TBrelixBands& bands = report.Bands();
  TBrelixGroupHeaderBand& h1 = AddHeader(bands);
  TBrelixGroupHeaderBand& h2 = AddHeader(bands);
  TBrelixGroupFooterBand& fa = AddFooter(bands);
  TBrelixGroupFooterBand& fb = AddFooter(bands);
  h1.SetFooter(&fa);
  h2.SetFooter(&fb);
  ASSERT_LT(fb.Index(), fa.Index());
  h1.SetGroupID(7);
  bands.RearrangeItem(h1);
  bands.RearrangeItem(fa);
  EXPECT_LT(fa.Index(), fb.Index());
}

// ---------------------------------------------------------------------------------------------
// Collection queries

TEST(BrelixBandsTest, FindItemIdSurvivesDeletionsAndNeverReusesIds) {
  TBrelix report;
  TBrelixBands& bands = report.Bands();
  TBrelixBand& title = AddBand(bands, brxbtTitle);
  TBrelixBand& master = AddBand(bands, brxbtMasterData);
  TBrelixBand& summary = AddBand(bands, brxbtSummary);
  EXPECT_EQ(title.ID(), 0);
  EXPECT_EQ(master.ID(), 1);
  EXPECT_EQ(summary.ID(), 2);

  bands.Delete(title.Index());
  EXPECT_EQ(bands.FindItemID(0), nullptr);
  EXPECT_EQ(bands.FindItemID(2), &summary);
  EXPECT_EQ(bands.FindItemID(1), &master);
  EXPECT_EQ(AddBand(bands, brxbtTitle).ID(), 3);

  bands.Clear();
  EXPECT_EQ(bands.Count(), 0);
  EXPECT_EQ(bands.FindItemID(3), nullptr);
  TBrelixBand& again = AddBand(bands, brxbtTitle);
  EXPECT_EQ(again.ID(), 4);
  EXPECT_EQ(bands.FindItemID(4), &again);
}

TEST(BrelixBandsTest, GetNotEmptyBandSkipsBlankRanges) {
  TBrelix report;
  TBrelixBands& bands = report.Bands();
  EXPECT_EQ(bands.GetNotEmptyBand(brxbtTitle), nullptr);
  AddBand(bands, brxbtTitle, "  ");
  AddBand(bands, brxbtSummary, "A9");
  EXPECT_EQ(bands.GetNotEmptyBand(brxbtTitle), nullptr);
  TBrelixBand& second = AddBand(bands, brxbtTitle, "A2:C2");
  AddBand(bands, brxbtTitle, "A3:C3");
  EXPECT_EQ(bands.GetNotEmptyBand(brxbtTitle), &second);
  EXPECT_EQ(bands.GetBandCount(brxbtTitle), 3);
  EXPECT_EQ(bands.GetBandCount(brxbtMasterData), 0);
}

TEST(BrelixBandsTest, RangeBounds) {
  struct Case {
    const char* range;
    int top, bottom, left, right, rows;
  };
  const Case cases[] = {
      {"", 0, 0, 0, 0, 0},          {"   ", 0, 0, 0, 0, 0},         {"B3:D7", 3, 7, 2, 4, 5},
      {"A5", 5, 5, 1, 1, 1},        {"$AA$10:AB12", 10, 12, 27, 28, 3},
  };
  TBrelix report;
  TBrelixBand& band = report.Bands().AddBand(brxbtMasterData);
  for (const Case& c : cases) {
    band.SetRange(c.range);
    EXPECT_EQ(band.RangeTop(), c.top) << c.range;
    EXPECT_EQ(band.RangeBottom(), c.bottom) << c.range;
    EXPECT_EQ(band.RangeLeft(), c.left) << c.range;
    EXPECT_EQ(band.RangeRight(), c.right) << c.range;
    EXPECT_EQ(band.RowCount(), c.rows) << c.range;
  }
}

TEST(BrelixBandsTest, IsEqualComparesStoredSettings) {
  using Handler = TBrelixCalcExpressionEvent::Handler;
  const Handler nothing = [](TBrelixBand&, std::string&) {};
  struct Case {
    const char* what;
    std::function<void(TBrelixGroupHeaderBand&)> change;
    bool equal;
  };
  const Case cases[] = {
      {"nothing", [](auto&) {}, true},
      {"CaseInsensitiveCompare", [](auto& h) { h.SetCaseInsensitiveCompare(false); }, true},
      {"Range", [](auto& h) { h.SetRange("A2:E3"); }, false},
      {"Range letter case", [](auto& h) { h.SetRange("a2:e2"); }, false},
      {"FieldName letter case", [](auto& h) { h.SetFieldName("country"); }, false},
      {"GroupID", [](auto& h) { h.SetGroupID(2); }, false},
      {"no footer", [](auto& h) { h.SetFooter(nullptr); }, false},
      {"handler assigned", [&](auto& h) { h.OnCalcExpression.Set(nothing, "GroupValue"); }, false},
  };
  auto build = [](TBrelixBands& bands) -> TBrelixGroupHeaderBand& {
    TBrelixGroupHeaderBand& header = AddHeader(bands, "A2:E2");
    header.SetFieldName("Country");
    TBrelixGroupFooterBand& footer = AddFooter(bands, "A4:E4");
    header.SetFooter(&footer);
    return header;
  };
  for (const Case& c : cases) {
    TBrelix left, right;
    TBrelixGroupHeaderBand& a = build(left.Bands());
    TBrelixGroupHeaderBand& b = build(right.Bands());
    c.change(b);
    EXPECT_EQ(a.IsEqual(b), c.equal) << c.what;
    EXPECT_EQ(b.IsEqual(a), c.equal) << c.what;
  }

  // Handlers count as the same when bound to the same method, whatever the callable.
  TBrelix left, right;
  TBrelixGroupHeaderBand& a = build(left.Bands());
  TBrelixGroupHeaderBand& b = build(right.Bands());
  a.OnCalcExpression.Set(nothing, "GroupValue");
  b.OnCalcExpression.Set([](TBrelixBand&, std::string& v) { v = "other"; }, "GroupValue");
  EXPECT_TRUE(a.IsEqual(b));
  b.OnCalcExpression.Set(nothing, "OtherValue");
  EXPECT_FALSE(a.IsEqual(b));

  TBrelix report;
  TBrelixBand& title = AddBand(report.Bands(), brxbtTitle, "A1");
  TBrelixBand& summary = AddBand(report.Bands(), brxbtSummary, "A1");
  TBrelixBand& title2 = AddBand(report.Bands(), brxbtTitle, "A1");
  EXPECT_FALSE(title.IsEqual(summary));
  EXPECT_TRUE(title.IsEqual(title2));
  EXPECT_FALSE(title.IsEqual(AddHeader(report.Bands(), "A1")));
}

TEST(BrelixBandsTest, AssignCopiesEverySetting) {
  TBrelix report;
  TBrelixBands& source = report.Bands();
  AddBand(source, brxbtTitle, "A1:E1");
  TBrelixGroupHeaderBand& h1 = AddHeader(source, "A2:E2");
  TBrelixGroupHeaderBand& h2 = AddHeader(source, "A3:E3");
  TBrelixGroupHeaderBand& h3 = AddHeader(source, "A4:E4");
  TBrelixGroupFooterBand& fa = AddFooter(source, "A8:E8");
  TBrelixGroupFooterBand& fb = AddFooter(source, "A7:E7");
  AddFooter(source, "A9:E9");
  AddBand(source, brxbtMasterData, "A5:E5");
  AddBand(source, brxbtSummary, "A10:E10");
  h1.SetFieldName("Country");
  h1.SetCaseInsensitiveCompare(false);
  h2.OnCalcExpression.Set([](TBrelixBand&, std::string& v) { v = "computed"; }, "GroupValue");
  h3.SetGroupID(12);
  h1.SetFooter(&fa);
  h2.SetFooter(&fb);
  h3.SetFooter(&fa);

  TBrelixBands copy(nullptr);
  AddBand(copy, brxbtDetailData, "Z1");  // replaced by the copy
  copy.Assign(source);

  ASSERT_EQ(copy.Count(), source.Count());
  EXPECT_EQ(DisplayNames(copy), DisplayNames(source));
  for (int i = 0; i < copy.Count(); ++i) {
    const TBrelixBand& from = source.Items(i);
    const TBrelixBand& to = copy.Items(i);
    EXPECT_EQ(to.Bands(), &copy);
    EXPECT_TRUE(to.IsEqual(from)) << from.DisplayName();
    EXPECT_EQ(to.Range(), from.Range()) << from.DisplayName();
    if (const auto* header = dynamic_cast<const TBrelixGroupHeaderBand*>(&from)) {
      const auto& copied = dynamic_cast<const TBrelixGroupHeaderBand&>(to);
      EXPECT_EQ(copied.CaseInsensitiveCompare(), header->CaseInsensitiveCompare()) << from.DisplayName();
      EXPECT_EQ(copied.FieldName(), header->FieldName()) << from.DisplayName();
      EXPECT_EQ(copied.GetFooterBand(), header->GetFooterBand()) << from.DisplayName();
      ASSERT_NE(copied.Footer(), nullptr);
      EXPECT_EQ(copied.Footer()->Bands(), &copy);
      EXPECT_EQ(copied.Footer()->Range(), header->Footer()->Range()) << from.DisplayName();
    }
  }
  auto& copied_h2 = static_cast<TBrelixGroupHeaderBand&>(copy.Items(h2.Index()));
  EXPECT_EQ(copied_h2.CalcGroupExpr(), "computed");

  EXPECT_THROW(copy.Assign(report.Dictionary()), platform::EConvertError);
}

TEST(BrelixBandsTest, NamePaths) {
  platform::DataModule root;
  root.SetName("Form1");
  auto& report = root.Create<TBrelix>("Report1");
  AddHeader(report.Bands());
  TBrelixGroupHeaderBand& h2 = AddHeader(report.Bands());
  EXPECT_EQ(report.Bands().GetNamePath(), "Report1.Bands");
  EXPECT_EQ(h2.GetNamePath(), "Report1.Bands.GroupHeader2");
  EXPECT_EQ(report.Bands().GetOwner(), &report);
  EXPECT_EQ(h2.GetOwner(), &report.Bands());

  std::unique_ptr<TBrelixBand> removed = report.Bands().RemoveItem(h2);
  EXPECT_EQ(removed->GetNamePath(), "TBrelixGroupHeaderBand");
  EXPECT_EQ(removed->GetOwner(), nullptr);

  TBrelix unnamed;
  EXPECT_EQ(AddBand(unnamed.Bands(), brxbtTitle).GetNamePath(), "TBrelixBands.Title");
}

// ---------------------------------------------------------------------------------------------
// Band pairs

TEST(BrelixBandPairsTest, PairsInOrderWithRowCounts) {
  TBrelix report;
  TBrelixBands& bands = report.Bands();
  TBrelixBand& detail_data = AddBand(bands, brxbtDetailData, "A6");
  TBrelixBand& detail_footer = AddBand(bands, brxbtDetailFooter, "A7:C8");
  TBrelixBand& detail_header = AddBand(bands, brxbtDetailHeader, "A5");
  TBrelixBand& master = AddBand(bands, brxbtMasterData, "A4:C4");
  AddBand(bands, brxbtSummary, " ");
  TBrelixBand& summary = AddBand(bands, brxbtSummary, "A12:C14");
  TBrelixBand& title = AddBand(bands, brxbtTitle, "A1:C1");
  TBrelixGroupHeaderBand& h1 = AddHeader(bands, "A2");
  TBrelixGroupHeaderBand& h2 = AddHeader(bands, "A3");
  AddHeader(bands);  // blank, no footer: no pair
  TBrelixGroupFooterBand& f1 = AddFooter(bands, "A10:C11");
  h1.SetFooter(&f1);

  TBrelixBandPairs pairs = bands.LoadBandsInfo(true);
  const std::vector<TBrelixBand*> first = {&title, &h1, &h2, &master, &detail_header, &detail_data};
  const std::vector<TBrelixBand*> second = {&summary, &f1, nullptr, nullptr, &detail_footer, nullptr};
  EXPECT_EQ(pairs.First, first);
  EXPECT_EQ(pairs.Second, second);
  EXPECT_EQ(pairs.FirstRows, (std::vector<int>{1, 1, 1, 1, 1, 1}));
  EXPECT_EQ(pairs.SecondRows, (std::vector<int>{3, 2, 0, 0, 2, 0}));
  EXPECT_EQ(pairs.Count(), 6u);

  TBrelix empty;
  TBrelixBandPairs none = empty.Bands().LoadBandsInfo(true);
  EXPECT_EQ(none.Count(), 0u);
  EXPECT_TRUE(none.Second.empty() && none.FirstRows.empty() && none.SecondRows.empty());
}

TEST(BrelixBandPairsTest, HeaderWithBlankRangeDependsOnFlag) {
  TBrelix report;
  TBrelixBands& bands = report.Bands();
  TBrelixGroupHeaderBand& blank = AddHeader(bands, "  ");
  TBrelixGroupHeaderBand& ranged = AddHeader(bands, "A3");
  TBrelixGroupFooterBand& footer = AddFooter(bands, "A5:B6");
  TBrelixGroupFooterBand& blank_footer = AddFooter(bands);
  blank.SetFooter(&footer);
  ranged.SetFooter(&blank_footer);

  struct Case {
    bool flag;
    TBrelixBand* first;
  };
  for (const Case& c : {Case{true, &blank}, Case{false, nullptr}}) {
    TBrelixBandPairs pairs = bands.LoadBandsInfo(c.flag);
    ASSERT_EQ(pairs.Count(), 2u) << c.flag;
    EXPECT_EQ(pairs.First[0], c.first) << c.flag;
    EXPECT_EQ(pairs.Second[0], &footer) << c.flag;
    EXPECT_EQ(pairs.FirstRows[0], 0) << c.flag;
    EXPECT_EQ(pairs.SecondRows[0], 2) << c.flag;
    // A footer with a blank range counts as none.
    EXPECT_EQ(pairs.First[1], &ranged) << c.flag;
    EXPECT_EQ(pairs.Second[1], nullptr) << c.flag;
  }
}

TEST(BrelixBandPairsTest, MaxColumns) {
  struct Case {
    std::vector<const char*> ranges;
    const char* right;
    const char* width;
  };
  const Case cases[] = {
      {{"A1:C1", "B3:F4"}, "F", "E"},
      {{}, "A", "A"},
      {{"  "}, "A", "A"},
      {{"Z1:AB2", "C3"}, "AB", "C"},
  };
  for (const Case& c : cases) {
    TBrelix report;
    for (const char* range : c.ranges) AddBand(report.Bands(), brxbtMasterData, range);
    TBrelixBandPairs pairs = report.Bands().LoadBandsInfo(false);
    EXPECT_EQ(pairs.MaxRightCol, c.right) << c.ranges.size() << " ranges";
    EXPECT_EQ(pairs.MaxWidthCol, c.width) << c.ranges.size() << " ranges";
  }
}

// ---------------------------------------------------------------------------------------------
// Group values

TEST(BrelixBandGroupValueTest, FieldThenHandlerThenEmpty) {
  struct Case {
    const char* field_name;
    bool handler;
    const char* expected;
    bool calls_handler;
  };
  const Case cases[] = {
      {"Country", true, "Spain", false},
      {"Country", false, "Spain", false},
      {"  ", true, "x", true},
      {"", false, "", false},
  };
  for (const Case& c : cases) {
    data::TMemDataSet ds({{"Country"}, {"City"}}, {{Variant("Spain"), Variant("Madrid")}});
    TBrelix report;
    report.SetDataSet(&ds);
    ds.Open();
    TBrelixGroupHeaderBand& header = AddHeader(report.Bands());
    header.SetFieldName(c.field_name);
    TBrelixBand* sender = nullptr;
    if (c.handler)
      header.OnCalcExpression.Set([&](TBrelixBand& band, std::string& v) {
        sender = &band;
        v = "x";
      });
    EXPECT_EQ(header.CalcGroupExpr(), c.expected) << "'" << c.field_name << "' " << c.handler;
    EXPECT_EQ(sender, c.calls_handler ? &header : nullptr) << "'" << c.field_name << "' " << c.handler;
  }
}

TEST(BrelixBandGroupValueTest, FollowsTheCurrentRecord) {
  data::TMemDataSet ds({{"Country"}}, {{Variant("Spain")}, {Variant("France")}});
  TBrelix report;
  report.SetDataSet(&ds);
  ds.Open();
  TBrelixGroupHeaderBand& header = AddHeader(report.Bands());
  header.SetFieldName("Country");
  EXPECT_EQ(header.CalcGroupExpr(), "Spain");
  ds.Next();
  EXPECT_EQ(header.CalcGroupExpr(), "France");
}

}  // namespace
}  // namespace brelix
