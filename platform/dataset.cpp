#include "platform/dataset.h"

#include <algorithm>
#include <cstdio>

#include "platform/text.h"

namespace brelix::platform {

namespace {
const bool kDataSourceRegistered = RegisterClass(DataSource::StaticClass());
const Variant kNull = Variant::MakeNull();
}  // namespace

const char* FieldTypeName(FieldType type) {
  switch (type) {
    case FieldType::Unknown: return "Unknown";
    case FieldType::String: return "String";
    case FieldType::Integer: return "Integer";
    case FieldType::Float: return "Float";
    case FieldType::Currency: return "Currency";
    case FieldType::Boolean: return "Boolean";
    case FieldType::Date: return "Date";
    case FieldType::Time: return "Time";
    case FieldType::DateTime: return "DateTime";
    case FieldType::Blob: return "Blob";
    case FieldType::Null: return "Null";
  }
  return "Unknown";
}

// ---------------------------------------------------------------------------------------------
// Field

const Variant& Field::Value() const { return dataset_.CurrentValue(index_); }

std::string Field::AsString() const {
  const Variant& v = Value();
  if (type_ == FieldType::Time && v.type() == Variant::Type::DateTime) {
    DateTimeParts t = v.AsDateTime().Decode();
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return text;
  }
  return v.ToString();
}

double Field::AsFloat() const { return IsNull() ? 0.0 : Value().ToDouble(); }

// ---------------------------------------------------------------------------------------------
// DataSet

const ClassInfo& DataSet::StaticClass() {
  static const ClassInfo info("DataSet", &Component::StaticClass());
  return info;
}

DataSet::~DataSet() {
  for (DataSource* source : sources_) source->dataset_ = nullptr;
}

void DataSet::Fail(const std::string& text) const {
  throw EDatabaseError((Name().empty() ? ClassName() : Name()) + ": " + text);
}

void DataSet::SetActive(bool active) {
  if (active == active_) return;
  if (active) {
    active_ = true;
    try {
      Reopen();
    } catch (...) {
      active_ = false;
      ResetCursor();
      throw;
    }
  } else {
    active_ = false;
    stale_ = false;
    DoClose();
    ResetCursor();
    RecordChanged();
  }
}

void DataSet::ResetCursor() {
  for (auto& row : window_)
    if (spare_.empty()) spare_ = std::move(row);
  window_.clear();
  pos_ = 0;
  first_rec_no_ = 1;
  eof_ = bof_ = true;
  source_done_ = false;
}

void DataSet::Reopen() {
  stale_ = false;
  DoClose();
  ResetCursor();
  std::vector<Column> columns = DoOpen();
  // Fields stay the same objects while the columns keep their names, so that a detail dataset
  // re-run for each master record keeps the fields its users hold.
  bool same = columns.size() == fields_.size();
  for (std::size_t i = 0; same && i < columns.size(); ++i)
    same = columns[i].name == fields_[i]->FieldName() && columns[i].type == fields_[i]->DataType();
  if (!same) {
    fields_.clear();
    for (std::size_t i = 0; i < columns.size(); ++i)
      fields_.push_back(std::make_unique<Field>(*this, columns[i].name, columns[i].type, i));
  }
  bool has_row = FetchInto();
  eof_ = !has_row;
  bof_ = true;
  RecordChanged();
}

bool DataSet::FetchInto() {
  if (source_done_) return false;
  std::vector<Variant> row = std::move(spare_);
  spare_.clear();
  row.resize(fields_.size());
  if (!DoFetch(row)) {
    source_done_ = true;
    spare_ = std::move(row);
    return false;
  }
  window_.push_back(std::move(row));
  if (window_.size() > kWindow) {
    spare_ = std::move(window_.front());
    window_.pop_front();
    ++first_rec_no_;
  }
  pos_ = window_.size() - 1;
  return true;
}

void DataSet::EnsureFresh() const {
  if (stale_ && active_) const_cast<DataSet*>(this)->Reopen();
}

void DataSet::RecordChanged() {
  for (DataSource* source : sources_) source->MasterRecordChanged();
}

void DataSet::First() {
  if (!active_) Fail("the dataset is not open");
  EnsureFresh();
  if (first_rec_no_ == 1 && !window_.empty()) {
    pos_ = 0;
    eof_ = false;
    bof_ = true;
    RecordChanged();
  } else {
    Reopen();
  }
}

void DataSet::Next() {
  if (!active_) Fail("the dataset is not open");
  EnsureFresh();
  if (eof_) return;
  if (pos_ + 1 < window_.size()) {
    ++pos_;
  } else if (!FetchInto()) {
    eof_ = true;
    return;
  }
  bof_ = false;
  RecordChanged();
}

void DataSet::Prior() {
  if (!active_) Fail("the dataset is not open");
  EnsureFresh();
  if (window_.empty()) return;
  if (pos_ > 0) {
    --pos_;
    eof_ = bof_ = false;
    RecordChanged();
    return;
  }
  if (first_rec_no_ == 1) {
    bof_ = true;
    eof_ = false;
    return;
  }
  // Further back than the window reaches: read again from the start up to the record before.
  std::int64_t target = RecNo() - 1;
  Reopen();
  while (RecNo() < target && FetchInto()) {
  }
  eof_ = bof_ = false;
  RecordChanged();
}

bool DataSet::Eof() const {
  EnsureFresh();
  return !active_ || eof_;
}

bool DataSet::Bof() const {
  EnsureFresh();
  return !active_ || bof_;
}

bool DataSet::IsEmpty() const {
  EnsureFresh();
  return window_.empty();
}

std::int64_t DataSet::RecNo() const {
  EnsureFresh();
  return window_.empty() ? 0 : first_rec_no_ + static_cast<std::int64_t>(pos_);
}

void DataSet::Refresh() {
  if (active_) Reopen();
}

const Variant& DataSet::CurrentValue(std::size_t index) const {
  EnsureFresh();
  if (window_.empty()) return kNull;
  return window_[pos_].at(index);
}

Field* DataSet::FindField(std::string_view name) const {
  EnsureFresh();
  // Names are mostly written as the dataset spells them: the exact match is the fast path.
  for (const auto& f : fields_)
    if (f->FieldName() == name) return f.get();
  for (const auto& f : fields_)
    if (SameText(f->FieldName(), name)) return f.get();
  return nullptr;
}

Field& DataSet::FieldByName(std::string_view name) const {
  if (Field* f = FindField(name)) return *f;
  Fail("field '" + std::string(name) + "' not found");
}

std::vector<std::string> DataSet::FieldNames() const {
  EnsureFresh();
  std::vector<std::string> names;
  for (const auto& f : fields_) names.push_back(f->FieldName());
  return names;
}

// ---------------------------------------------------------------------------------------------
// DataSource

const ClassInfo& DataSource::StaticClass() {
  static const ClassInfo info = [] {
    ClassInfo c("TDataSource", &Component::StaticClass(), [] { return std::make_unique<DataSource>(); });
    PropertyList<DataSource>(c).Reference<class DataSet>("DataSet", &DataSource::DataSet, &DataSource::SetDataSet);
    return c;
  }();
  return info;
}

DataSource::~DataSource() {
  SetDataSet(nullptr);
  for (class DataSet* detail : details_) detail->RemoveFreeNotification(*this);
}

void DataSource::SetDataSet(class DataSet* dataset) {
  if (dataset == dataset_) return;
  if (dataset_) {
    std::erase(dataset_->sources_, this);
    dataset_->RemoveFreeNotification(*this);
  }
  dataset_ = dataset;
  if (dataset_) {
    dataset_->sources_.push_back(this);
    dataset_->FreeNotification(*this);
  }
  MasterRecordChanged();
}

void DataSource::AddDetail(class DataSet& detail) {
  if (std::find(details_.begin(), details_.end(), &detail) == details_.end()) details_.push_back(&detail);
  detail.FreeNotification(*this);
}

void DataSource::RemoveDetail(class DataSet& detail) {
  std::erase(details_, &detail);
  detail.RemoveFreeNotification(*this);
}

void DataSource::MasterRecordChanged() {
  for (class DataSet* detail : details_) detail->MasterChanged();
}

void DataSource::Notification(Component& component, Operation operation) {
  Component::Notification(component, operation);
  if (operation != Operation::Remove) return;
  if (&component == static_cast<Component*>(dataset_)) {
    std::erase(dataset_->sources_, this);
    dataset_ = nullptr;
  }
  std::erase_if(details_, [&](class DataSet* d) { return static_cast<Component*>(d) == &component; });
}

}  // namespace brelix::platform
