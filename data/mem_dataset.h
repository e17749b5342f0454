#pragma once
// A dataset over columns and rows held in memory and set from code: TMemDataSet in form files,
// where it has no published properties (a host fills it after loading the form).

#include <string>
#include <vector>

#include "platform/dataset.h"

namespace brelix::data {

class TMemDataSet : public platform::DataSet {
  BRELIX_PERSISTENT_CLASS
 public:
  using Row = std::vector<platform::Variant>;

  TMemDataSet() = default;
  //! Columns and rows at once; throws as SetColumns and SetRows do.
  explicit TMemDataSet(std::vector<Column> columns, std::vector<Row> rows = {});
  ~TMemDataSet() override;

  //! Replaces the columns and drops every row. Names must be non-empty and unique without
  //! regard to case; a column of type Unknown takes values of any type.
  void SetColumns(std::vector<Column> columns);
  //! Columns of type String with these names.
  void SetColumnNames(const std::vector<std::string>& names);
  const std::vector<Column>& Columns() const { return columns_; }

  //! Appends a row: one value per column, each null, empty or of the column's type (Integer
  //! for Integer; Integer or Float for Float and Currency; Boolean; DateTime for Date, Time and
  //! DateTime; String for String and Blob). Anything else raises EDatabaseError naming the row
  //! and the column, and leaves the rows as they were.
  void AddRow(Row row);
  //! Replaces every row; checked as AddRow does, all or nothing.
  void SetRows(std::vector<Row> rows);
  //! Drops every row; the columns stay.
  void Clear();
  std::size_t RowCount() const { return rows_.size(); }
  const Row& Rows(std::size_t index) const { return rows_.at(index); }

  // Changing columns or rows of an open dataset re-runs it (at its first record) on its next use.

 protected:
  std::vector<Column> DoOpen() override;
  bool DoFetch(std::vector<platform::Variant>& row) override;
  void DoClose() override {}

 private:
  //! Raises EDatabaseError unless row fits the columns; number is its 1-based row number.
  void CheckRow(const Row& row, std::size_t number) const;
  void Changed();

  std::vector<Column> columns_;
  std::vector<Row> rows_;
  std::size_t next_ = 0;
};

}  // namespace brelix::data
