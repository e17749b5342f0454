#include "data/mem_dataset.h"

#include "platform/text.h"

namespace brelix::data {

using namespace platform;

namespace {
const bool kRegistered = RegisterClass(TMemDataSet::StaticClass());

bool Fits(FieldType column, const Variant& value) {
  using T = Variant::Type;
  const T type = value.type();
  if (type == T::Null || type == T::Empty) return true;
  switch (column) {
    case FieldType::Unknown: return true;
    case FieldType::String:
    case FieldType::Blob: return type == T::String;
    case FieldType::Integer: return type == T::Integer;
    case FieldType::Float:
    case FieldType::Currency: return type == T::Integer || type == T::Float;
    case FieldType::Boolean: return type == T::Boolean;
    case FieldType::Date:
    case FieldType::Time:
    case FieldType::DateTime: return type == T::DateTime;
    case FieldType::Null: return false;
  }
  return false;
}

std::string Count(std::size_t n, const char* noun) {
  return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

const char* ValueTypeName(const Variant& value) {
  switch (value.type()) {
    case Variant::Type::Boolean: return "Boolean";
    case Variant::Type::Integer: return "Integer";
    case Variant::Type::Float: return "Float";
    case Variant::Type::String: return "String";
    case Variant::Type::DateTime: return "DateTime";
    case Variant::Type::Empty:
    case Variant::Type::Null: break;
  }
  return "Null";
}
}  // namespace

const ClassInfo& TMemDataSet::StaticClass() {
  static const ClassInfo info("TMemDataSet", &DataSet::StaticClass(), [] { return std::make_unique<TMemDataSet>(); });
  return info;
}

TMemDataSet::TMemDataSet(std::vector<Column> columns, std::vector<Row> rows) {
  SetColumns(std::move(columns));
  SetRows(std::move(rows));
}

TMemDataSet::~TMemDataSet() { Close(); }

void TMemDataSet::SetColumns(std::vector<Column> columns) {
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].name.empty()) Fail("column " + std::to_string(i + 1) + " has no name");
    for (std::size_t j = 0; j < i; ++j)
      if (SameText(columns[j].name, columns[i].name))
        Fail("column name '" + columns[i].name + "' is used twice (columns " + std::to_string(j + 1) + " and " +
             std::to_string(i + 1) + ")");
  }
  columns_ = std::move(columns);
  rows_.clear();
  Changed();
}

void TMemDataSet::SetColumnNames(const std::vector<std::string>& names) {
  std::vector<Column> columns;
  for (const std::string& name : names) columns.push_back({name, FieldType::String});
  SetColumns(std::move(columns));
}

void TMemDataSet::CheckRow(const Row& row, std::size_t number) const {
  if (row.size() != columns_.size())
    Fail("row " + std::to_string(number) + " has " + Count(row.size(), "value") + ", but the dataset has " +
         Count(columns_.size(), "column"));
  for (std::size_t i = 0; i < row.size(); ++i)
    if (!Fits(columns_[i].type, row[i]))
      Fail("row " + std::to_string(number) + ", column '" + columns_[i].name + "' (" +
           FieldTypeName(columns_[i].type) + "): cannot hold the " + ValueTypeName(row[i]) + " '" +
           row[i].ToString() + "'");
}

void TMemDataSet::AddRow(Row row) {
  CheckRow(row, rows_.size() + 1);
  rows_.push_back(std::move(row));
  Changed();
}

void TMemDataSet::SetRows(std::vector<Row> rows) {
  for (std::size_t i = 0; i < rows.size(); ++i) CheckRow(rows[i], i + 1);
  rows_ = std::move(rows);
  Changed();
}

void TMemDataSet::Clear() {
  rows_.clear();
  Changed();
}

void TMemDataSet::Changed() {
  if (Active()) Invalidate();
}

std::vector<DataSet::Column> TMemDataSet::DoOpen() {
  next_ = 0;
  return columns_;
}

bool TMemDataSet::DoFetch(std::vector<Variant>& row) {
  if (next_ >= rows_.size()) return false;
  row = rows_[next_++];
  return true;
}

}  // namespace brelix::data
