// The datasets that template field names lead to: user fields first, named datasets (cached per
// form and dataset), plain names in the master and detail datasets; and the detail dataset of
// the master found in a template range through the links its datasets publish.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "data/mem_dataset.h"
#include "data/sql_query.h"
#include "platform/class_info.h"
#include "platform/component.h"
#include "platform/dataset.h"
#include "runtime/Brelix.h"
#include "runtime/BrelixAutomation.h"
#include "runtime/BrelixConsts.h"
#include "runtime/BrelixProc.h"
#include "tests/support/scoped_locale.h"

namespace brelix {
namespace {

using platform::DataSet;
using platform::FieldType;

// A nested table: linked to its master through the dataset field it publishes, which belongs
// to the master; it also publishes a MasterSource that is a mere text.
class TNestedTable : public data::TMemDataSet {
  BRELIX_PERSISTENT_CLASS
 public:
  platform::Component* DataSetField() const { return field_; }
  void SetDataSetField(platform::Component* field) { field_ = field; }
  const std::string& MasterSource() const { return master_source_; }
  void SetMasterSource(std::string source) { master_source_ = std::move(source); }

 private:
  platform::Component* field_ = nullptr;
  std::string master_source_;
};

const platform::ClassInfo& TNestedTable::StaticClass() {
  static const platform::ClassInfo info = [] {
    platform::ClassInfo c("TNestedTable", &data::TMemDataSet::StaticClass());
    platform::PropertyList<TNestedTable> p(c);
    p.Reference<platform::Component>("DataSetField", &TNestedTable::DataSetField, &TNestedTable::SetDataSetField);
    p.String("MasterSource", &TNestedTable::MasterSource, &TNestedTable::SetMasterSource);
    return c;
  }();
  return info;
}

using testing::ErrorOf;

// A report on a data module with Orders (its DataSet, fields Amount and Customer) and Items
// (its DetailDataSet, field Qty).
class FieldLookupTest : public ::testing::Test {
 protected:
  FieldLookupTest() {
    module_.SetName("LookupForm");
    report_ = &module_.Create<TBrelix>("Report");
    orders_ = &module_.Create<data::TMemDataSet>("Orders");
    items_ = &module_.Create<TNestedTable>("Items");
    orders_->SetColumns({{"Amount", FieldType::Float}, {"Customer", FieldType::String}});
    items_->SetColumns({{"Qty", FieldType::Float}});
    report_->SetDataSet(orders_);
    report_->SetDetailDataSet(items_);
  }

  platform::DataModule module_;
  TBrelix* report_;
  data::TMemDataSet* orders_;
  TNestedTable* items_;
};

TEST_F(FieldLookupTest, DictionaryFieldsNeverReachADataSet) {
  report_->Dictionary().Add().SetFieldName("Amount");
  report_->Dictionary().Add().SetFieldName("Orders.Customer");
  EXPECT_EQ(report_->FindFieldDataSet("amount"), nullptr);
  EXPECT_EQ(report_->FindFieldDataSet("ORDERS.customer"), nullptr);
  EXPECT_EQ(report_->FindFieldDataSet("Orders.Amount"), orders_);
}

TEST_F(FieldLookupTest, PlainNamesTryDataSetThenDetailDataSetAndAreNotCached) {
  orders_->Open();  // as the run opens DataSet; a closed dataset shows no fields
  items_->Open();
  struct Case {
    const char* name;
    DataSet* expected;
  } cases[] = {{"Amount", orders_}, {"qty", items_}, {"Bonus", nullptr}};
  for (const Case& c : cases) EXPECT_EQ(report_->FindFieldDataSet(c.name), c.expected) << c.name;

  auto& other = module_.Create<data::TMemDataSet>("Other");
  other.SetColumns({{"Amount", FieldType::Float}});
  other.Open();
  report_->SetDataSet(&other);
  EXPECT_EQ(report_->FindFieldDataSet("Amount"), &other);
  report_->SetDataSet(nullptr);
  report_->SetDetailDataSet(nullptr);
  EXPECT_EQ(report_->FindFieldDataSet("Amount"), nullptr);
}

TEST_F(FieldLookupTest, NamedDataSetsAreOpenedAndCachedUnderFormAndDataSetInAnyCase) {
  ASSERT_FALSE(items_->Active());
  EXPECT_EQ(report_->FindFieldDataSet("LookupForm.Items.Qty"), items_);
  EXPECT_TRUE(items_->Active());

  // Renamed, the dataset is found only through the cache, whatever the case of the name.
  items_->SetName("Lines");
  EXPECT_EQ(report_->FindFieldDataSet("LOOKUPFORM.items.Qty"), items_);
  EXPECT_EQ(report_->FindFieldDataSet("Items.Qty"), nullptr);  // another key
  report_->ClearFieldDataSetCache();
  EXPECT_EQ(report_->FindFieldDataSet("LookupForm.Items.Qty"), nullptr);
  EXPECT_EQ(report_->FindFieldDataSet("LookupForm.Lines.Qty"), items_);
}

TEST_F(FieldLookupTest, FieldsMissingFromANamedDataSetOrNamesOfOtherComponentsFail) {
  for (const char* name : {"Orders.Nope", "LookupForm.Orders.Nope"})
    EXPECT_EQ(ErrorOf<EBrelixError>([&] { report_->FindFieldDataSet(name); }),
              BrelixFormat(BrelixConsts::MsgBrelix7, name, "Orders"));
  EXPECT_FALSE(ErrorOf<platform::EInvalidCast>([&] { report_->FindFieldDataSet("Report.Title"); }).empty());
  EXPECT_EQ(ErrorOf<EBrelixError>([&] { report_->FindFieldDataSet("Orders."); }),
            BrelixFormat(BrelixConsts::MsgFncBadField, "Orders."));
  EXPECT_EQ(report_->FindFieldDataSet("NoForm.Orders.Amount"), nullptr);
}

TEST_F(FieldLookupTest, DetailDataSetInTemplateIsTheFirstLinkedToTheMaster) {
  auto app = automation::CreateApplication();
  automation::Worksheet& sheet = app->AddEmpty().Worksheets(1);
  report_->SetWorksheets(&sheet, nullptr);

  // Items is linked by its dataset field, Lines by its DataSource; Odd's MasterSource is a text
  // and Elsewhere's DataSource names another dataset: both are passed over.
  auto& orders_source = module_.Create<platform::DataSource>("OrdersSource");
  orders_source.SetDataSet(orders_);
  auto& stock = module_.Create<data::TMemDataSet>("Stock");
  auto& stock_source = module_.Create<platform::DataSource>("StockSource");
  stock_source.SetDataSet(&stock);
  items_->SetDataSetField(&orders_->Create<platform::Component>("OrdersItems"));
  auto& lines = module_.Create<data::TSqlQuery>("Lines");
  lines.SetDataSource(&orders_source);
  auto& odd = module_.Create<TNestedTable>("Odd");
  odd.SetMasterSource("OrdersSource");
  auto& elsewhere = module_.Create<data::TSqlQuery>("Elsewhere");
  elsewhere.SetDataSource(&stock_source);

  const char* cells[][3] = {{"#Stock.Qty", "#Odd.Qty", "#Plain"},
                            {"#Elsewhere.Qty and #LookupForm.Items.Qty", "#Lines.Qty", ""}};
  for (int r = 0; r < 2; ++r)
    for (int c = 0; c < 3; ++c) sheet.GetRange(r + 1, c + 1, r + 1, c + 1).SetFormulaLocal(cells[r][c]);

  struct Case {
    const char* range;
    DataSet* expected;
  } cases[] = {{"A1:C2", items_}, {"B2:C2", &lines}, {"A1:C1", nullptr}, {" ", nullptr}};
  for (const Case& c : cases) EXPECT_EQ(report_->FindDetailDataSetInTempl(c.range), c.expected) << c.range;

  report_->SetDataSet(nullptr);
  EXPECT_EQ(report_->FindDetailDataSetInTempl("A1:C2"), nullptr);
  report_->SetDataSet(orders_);
  sheet.GetRange("C1").SetFormulaLocal("#Report.Title");
  EXPECT_FALSE(ErrorOf<platform::EInvalidCast>([&] { report_->FindDetailDataSetInTempl("A1:C1"); }).empty());
}

}  // namespace
}  // namespace brelix
