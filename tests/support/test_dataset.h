#pragma once
// A small dataset over rows held in memory, for tests that need records to walk.

#include <string>
#include <vector>

#include "platform/dataset.h"

namespace brelix::testing {

class TestDataSet : public platform::DataSet {
 public:
  static const platform::ClassInfo& StaticClass() {
    static const platform::ClassInfo info("TTestDataSet", &platform::DataSet::StaticClass(),
                                          [] { return std::make_unique<TestDataSet>(); });
    return info;
  }
  const platform::ClassInfo& Class() const override { return StaticClass(); }

  TestDataSet() = default;
  TestDataSet(std::vector<std::string> columns, std::vector<std::vector<platform::Variant>> rows) {
    SetData(std::move(columns), std::move(rows));
  }
  ~TestDataSet() override { Close(); }
  void SetData(std::vector<std::string> columns, std::vector<std::vector<platform::Variant>> rows) {
    columns_ = std::move(columns);
    rows_ = std::move(rows);
    Refresh();
  }

 protected:
  std::vector<Column> DoOpen() override {
    next_ = 0;
    std::vector<Column> columns;
    for (const auto& name : columns_) columns.push_back({name, platform::FieldType::String});
    return columns;
  }
  bool DoFetch(std::vector<platform::Variant>& row) override {
    if (next_ >= rows_.size()) return false;
    row = rows_[next_++];
    return true;
  }
  void DoClose() override {}

 private:
  std::vector<std::string> columns_;
  std::vector<std::vector<platform::Variant>> rows_;
  std::size_t next_ = 0;
};

}  // namespace brelix::testing
