// The report component: defaults, the sub-report chain and its master lists, removal of
// referenced components, the Template setter, AssignTo, the stored template, the dictionary.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "data/mem_dataset.h"
#include "platform/design_host.h"
#include "platform/files.h"
#include "runtime/Brelix.h"
#include "runtime/BrelixConsts.h"
#include "runtime/BrelixProc.h"

using namespace brelix;
using namespace brelix::platform;
using brelix::data::TMemDataSet;

namespace {

struct RecordingHost : DesignHost {
  std::vector<std::string> messages;
  DesignHost* previous = SetDesignHost(this);
  ~RecordingHost() override { SetDesignHost(previous); }
  void ShowMessageBox(const std::string& text, MessageBoxKind) override { messages.push_back(text); }
  void ObjectInserted(const Component&, const Persistent&) override {}
  void ObjectRemoved(const Component&, const Persistent&) override {}
};

std::string TempPath(const std::string& name) { return (std::filesystem::temp_directory_path() / name).string(); }

}  // namespace

TEST(TBrelix, ANewReportHasItsDefaults) {
  TBrelix report;
  EXPECT_EQ(report.FieldSign(), '#');
  EXPECT_EQ(report.Options(), TBrelixOptions::All());
  EXPECT_FALSE(report.StoreInDFM());
  EXPECT_EQ(report.Bands().Count(), 0);
  EXPECT_EQ(report.Dictionary().Count(), 0u);
  EXPECT_FALSE(report.HasStoredTempl());
  EXPECT_EQ(report.Version(), "1.60");
}

TEST(TBrelix, SubReportKeepsMasterListsExact) {
  DataModule root;
  auto& a = root.Create<TBrelix>("A");
  auto& b = root.Create<TBrelix>("B");
  auto& c = root.Create<TBrelix>("C");
  a.SetSubReport(&a);
  EXPECT_EQ(a.SubReport(), nullptr);
  a.SetSubReport(&b);
  a.SetSubReport(&c);
  EXPECT_TRUE(b.MasterList().empty());
  EXPECT_EQ(c.MasterList(), std::vector<TBrelix*>{&a});
  b.SetSubReport(&c);
  EXPECT_EQ(c.MasterList(), (std::vector<TBrelix*>{&a, &b}));

  root.DestroyComponent(a);  // a master goes: it leaves c's list
  EXPECT_EQ(c.MasterList(), std::vector<TBrelix*>{&b});
  root.DestroyComponent(c);  // the sub-report goes: b forgets it
  EXPECT_EQ(b.SubReport(), nullptr);
}

TEST(TBrelix, ReferencesToComponentsOfOtherModulesAreClearedOnRemoval) {
  DataModule data, reports;
  auto& ds = data.Create<TMemDataSet>("Orders");
  auto& sub = data.Create<TBrelix>("Sub");
  auto& report = reports.Create<TBrelix>("Report");
  report.SetDataSet(&ds);
  report.SetSubReport(&sub);
  data.DestroyComponent(ds);
  data.DestroyComponent(sub);
  EXPECT_EQ(report.DataSet(), nullptr);
  EXPECT_EQ(report.SubReport(), nullptr);
}

TEST(TBrelix, DestroyingAStandaloneReportLeavesNoDanglingEntries) {
  TBrelix sub;
  {
    TBrelix master;
    master.SetSubReport(&sub);
  }
  EXPECT_TRUE(sub.MasterList().empty());
  auto master = std::make_unique<TBrelix>();
  {
    auto inner = std::make_unique<TBrelix>();
    master->SetSubReport(inner.get());
  }
  EXPECT_EQ(master->SubReport(), nullptr);
}

TEST(TBrelix, TemplateSetterClearsSheetAndStoreFlagOnlyForAnotherName) {
  struct Case {
    const char* from;
    const char* to;
    bool changes;
  } cases[] = {{"sales.xlsx", "  sales.xlsx ", false}, {"sales.xlsx", "Sales.xlsx", true},
               {"sales.xlsx", "other.xlsx", true},     {"", "   ", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.from) + " -> " + c.to);
    TBrelix report;
    report.SetTemplate(c.from);
    report.SetTemplSheet("Sheet1");
    report.SetStoreInDFM(true);
    report.SetTemplate(c.to);
    EXPECT_EQ(report.Template(), c.changes ? c.to : c.from);
    EXPECT_EQ(report.TemplSheet(), c.changes ? "" : "Sheet1");
    EXPECT_EQ(report.StoreInDFM(), !c.changes);
  }
}

TEST(TBrelix, AssignToTakesOverFromTheOtherReport) {
  DataModule root;
  auto& ds = root.Create<TMemDataSet>("Orders");
  auto& backup = root.Create<TBrelix>("Backup");
  auto& report = root.Create<TBrelix>("Report");
  backup.Bands().AddBand(brxbtTitle).SetRange("A1:C1");
  backup.SetDataSet(&ds);
  backup.SetTemplate("a.xlsx");
  backup.SetTemplSheet("S");
  report.SetStoreInDFM(true);
  report.AssignTo(backup);
  EXPECT_EQ(report.Bands().Count(), 1);
  EXPECT_EQ(report.Bands().Items(0).Range(), "A1:C1");
  EXPECT_EQ(report.DataSet(), &ds);
  EXPECT_EQ(report.Template(), "a.xlsx");
  EXPECT_EQ(report.TemplSheet(), "S");
  EXPECT_TRUE(report.StoreInDFM());
  EXPECT_EQ(backup.Template(), "a.xlsx");  // the other one is unchanged
  EXPECT_THROW(report.AssignTo(report.Dictionary()), EConvertError);
}

TEST(TBrelix, RaiseErrorShowsAMessageWhileDesignedAndThrowsOtherwise) {
  RecordingHost host;
  TBrelix report;
  EXPECT_THROW(report.RaiseError("boom"), EBrelixError);
  report.SetDesigning(true);
  report.RaiseError("boom");
  EXPECT_EQ(host.messages, std::vector<std::string>{"boom"});
}

TEST(StoredTemplate, LoadSaveAndFree) {
  std::string source = TempPath("brelix_stored_source.bin"), empty = TempPath("brelix_stored_empty.bin");
  std::ofstream(source, std::ios::binary) << "PK\x03\x04 template bytes";
  std::ofstream(empty, std::ios::binary).flush();

  TBrelix report;
  report.SetTemplate("old.xlsx");
  report.LoadStoredTemplateFromFile(source);
  EXPECT_TRUE(report.StoreInDFM());
  EXPECT_TRUE(report.HasStoredTempl());
  EXPECT_EQ(report.Template(), "");
  std::string tmp = report.SaveStoredTemplateToTmpFile();
  EXPECT_EQ(std::filesystem::path(tmp).extension(), ".tmp");
  EXPECT_EQ(ReadFileBytes(tmp), ReadFileBytes(source));
  std::filesystem::remove(tmp);

  report.SetStoreInDFM(false);
  EXPECT_EQ(report.SaveStoredTemplateToTmpFile(), "");  // only with StoreInDFM
  report.FreeStoredTemplate();
  EXPECT_FALSE(report.HasStoredTempl());
  report.SetStoreInDFM(true);
  report.FreeStoredTemplate();  // nothing to free: the flag stays
  EXPECT_TRUE(report.StoreInDFM());

  report.LoadStoredTemplateFromFile(empty);
  EXPECT_TRUE(report.StoreInDFM());
  EXPECT_FALSE(report.HasStoredTempl());
  try {
    report.SaveStoredTemplateToTmpFile();
    ADD_FAILURE();
  } catch (const EBrelixError& e) {
    EXPECT_STREQ(e.what(), BrelixConsts::MsgBrelix1);
  }
  EXPECT_THROW(report.LoadStoredTemplateFromFile(TempPath("brelix_no_such_file.bin")), EFileError);
  std::filesystem::remove(source);
  std::filesystem::remove(empty);
}

TEST(StoredTemplate, PropertyContent) {
  struct Case {
    std::vector<std::uint8_t> content;
    std::vector<std::uint8_t> stored;  // what the report holds afterwards
    bool fails;
  } cases[] = {
      {{3, 0, 0, 0, 'a', 'b', 'c'}, {'a', 'b', 'c'}, false},
      {{0, 0, 0, 0}, {}, false},
      {{0xFF, 0xFF, 0xFF, 0xFF, 'x'}, {}, false},  // negative length: no template, nothing more read
      {{0xFF, 0xFF, 0xFF, 0x7F, 'x'}, {}, true},   // claims 2 GiB: refused, nothing allocated
      {{4, 0, 0, 0, 'a'}, {}, true},
      {{1, 0}, {}, true},
  };
  for (const Case& c : cases) {
    TBrelix report;
    report.ReadXLTemplate(std::vector<std::uint8_t>{2, 0, 0, 0, 'o', 'k'});
    if (c.fails) {
      EXPECT_THROW(report.ReadXLTemplate(c.content), EBrelixError);
    } else {
      report.ReadXLTemplate(c.content);
    }
    EXPECT_EQ(report.StoredTemplate(), c.stored);
  }
  TBrelix report;
  report.ReadXLTemplate(std::vector<std::uint8_t>{2, 0, 0, 0, 'o', 'k'});
  EXPECT_EQ(report.WriteXLTemplate(), (std::vector<std::uint8_t>{2, 0, 0, 0, 'o', 'k'}));
}

TEST(StoredTemplate, ADamagedTemplateInTheDesignerIsReportedAndDropped) {
  RecordingHost host;
  TBrelix report;
  report.SetDesigning(true);
  report.ReadXLTemplate(std::vector<std::uint8_t>{9, 0, 0, 0, 'a'});
  EXPECT_FALSE(report.HasStoredTempl());
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0], BrelixFormat(BrelixConsts::MsgTemplRead, 9, 1));
}

TEST(TBrelixDictionary, FindsTheFirstFieldWithoutRegardToCase) {
  TBrelix report;
  auto& dict = report.Dictionary();
  dict.Add().SetFieldName("Total");
  dict.Add().SetFieldName("TOTAL");
  dict.Add().SetFieldName("Straße");
  EXPECT_EQ(dict.FindField("total"), &dict.Items(0));
  EXPECT_EQ(dict.FindField("STRASSE"), &dict.Items(2));
  EXPECT_EQ(dict.FindField("Total "), nullptr);
  TBrelixDictionary empty(nullptr);
  EXPECT_EQ(empty.FindField("Total"), nullptr);
  try {
    dict.FieldByName("Missing");
    ADD_FAILURE();
  } catch (const EBrelixError& e) {
    EXPECT_STREQ(e.what(), "The field \"Missing\" is not found in the dictionary. ");
  }
  TBrelix other;
  dict.Items(0).SetValueAsString("42");
  other.SetDictionary(dict);
  ASSERT_EQ(other.Dictionary().Count(), 3u);
  EXPECT_EQ(other.Dictionary().Items(0).ValueAsString(), "42");
  EXPECT_NE(&other.Dictionary().Items(0), &dict.Items(0));
}
