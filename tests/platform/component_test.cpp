// Components: ownership, names, removal notification across owners, published properties by name.

#include <gtest/gtest.h>

#include "data/mem_dataset.h"
#include "platform/component.h"
#include "platform/dataset.h"
#include "platform/errors.h"

using namespace brelix::platform;
using brelix::data::TMemDataSet;

TEST(Component, OwnerOwnsAndNamesAreUniqueCaseInsensitively) {
  DataModule root;
  auto& a = root.Create<DataSource>("Source");
  EXPECT_EQ(a.Owner(), &root);
  EXPECT_EQ(root.FindComponent("SOURCE"), &a);
  EXPECT_THROW(root.Create<DataSource>("source"), EComponentError);
  EXPECT_THROW(a.SetName("1abc"), EComponentError);
  EXPECT_EQ(root.ComponentCount(), 1u);
  root.DestroyComponent(a);
  EXPECT_EQ(root.ComponentCount(), 0u);
}

TEST(Component, DestroyingADatasetClearsReferencesInTheSameAndInOtherRoots) {
  DataModule data, other;
  auto& ds = data.Create<TMemDataSet>("Orders");
  auto& same = data.Create<DataSource>("Same");
  auto& far = other.Create<DataSource>("Far");
  same.SetDataSet(&ds);
  far.SetDataSet(&ds);
  data.DestroyComponent(ds);
  EXPECT_EQ(same.DataSet(), nullptr);
  EXPECT_EQ(far.DataSet(), nullptr);
}

TEST(Component, AnObserverThatDiesFirstIsNotNotifiedLater) {
  DataModule data;
  auto& ds = data.Create<TMemDataSet>("Orders");
  {
    DataModule other;
    other.Create<DataSource>("Far").SetDataSet(&ds);
  }
  data.DestroyComponent(ds);  // must not touch the destroyed data source
  SUCCEED();
}

TEST(Component, DesigningStateReachesOwnedComponents) {
  DataModule root;
  auto& a = root.Create<DataSource>("A");
  root.SetDesigning(true);
  EXPECT_TRUE(a.IsDesigning());
  root.SetDesigning(false);
  EXPECT_FALSE(a.IsDesigning());
}

TEST(Component, PublishedPropertiesByName) {
  DataModule root;
  auto& ds = root.Create<TMemDataSet>("Orders");
  auto& src = root.Create<DataSource>("Src");
  SetPropertyValue(src, "dataset", PropertyValue(static_cast<Component*>(&ds)));
  EXPECT_EQ(src.DataSet(), &ds);
  EXPECT_EQ(std::get<Component*>(GetPropertyValue(src, "DataSet")), &ds);
  EXPECT_THROW(GetPropertyValue(src, "NoSuch"), EConvertError);
  ASSERT_NE(FindClass("tdatasource"), nullptr);
  EXPECT_EQ(FindClass("TNoSuchClass"), nullptr);
}

TEST(Component, DataModulesAreListedWhileAlive) {
  auto before = DataModules().size();
  {
    DataModule m;
    m.SetName("Listed");
    EXPECT_EQ(FindDataModule("LISTED"), &m);
    EXPECT_EQ(DataModules().size(), before + 1);
  }
  EXPECT_EQ(FindDataModule("Listed"), nullptr);
}
