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
  void SetData(std::vector<std::string> columns, std::vector<std::vector<platform::Variant>> rows) {
    rows_ = std::move(rows);
    fields_.clear();
    for (std::size_t i = 0; i < columns.size(); ++i) fields_.push_back(std::make_unique<TestField>(*this, columns[i], i));
  }

  void First() override { row_ = 0; }
  void Next() override { if (row_ < rows_.size()) ++row_; }
  void Prior() override { if (row_ > 0) --row_; }
  bool Eof() const override { return row_ >= rows_.size(); }
  std::size_t FieldCount() const override { return fields_.size(); }
  platform::Field& Fields(std::size_t index) override { return *fields_.at(index); }

 protected:
  void DoOpen() override { row_ = 0; }
  void DoClose() override {}

 private:
  class TestField : public platform::Field {
   public:
    TestField(const TestDataSet& owner, std::string name, std::size_t column)
        : Field(std::move(name), platform::FieldType::String), owner_(owner), column_(column) {}
    platform::Variant Value() const override {
      if (owner_.rows_.empty()) return platform::Variant::MakeNull();
      std::size_t row = owner_.row_ < owner_.rows_.size() ? owner_.row_ : owner_.rows_.size() - 1;
      return owner_.rows_[row].at(column_);
    }

   private:
    const TestDataSet& owner_;
    std::size_t column_;
  };

  std::vector<std::vector<platform::Variant>> rows_;
  std::vector<std::unique_ptr<TestField>> fields_;
  std::size_t row_ = 0;
};

}  // namespace brelix::testing
