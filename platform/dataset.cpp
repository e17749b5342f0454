#include "platform/dataset.h"

#include "platform/text.h"

namespace brelix::platform {

namespace {
const bool kDataSourceRegistered = RegisterClass(DataSource::StaticClass());
}

const ClassInfo& DataSet::StaticClass() {
  static const ClassInfo info("DataSet", &Component::StaticClass());
  return info;
}

void DataSet::SetActive(bool active) {
  if (active == active_) return;
  if (active)
    DoOpen();
  else
    DoClose();
  active_ = active;
}

Field* DataSet::FindField(std::string_view name) {
  for (std::size_t i = 0; i < FieldCount(); ++i)
    if (SameText(Fields(i).FieldName(), name)) return &Fields(i);
  return nullptr;
}

Field& DataSet::FieldByName(std::string_view name) {
  if (Field* f = FindField(name)) return *f;
  throw Exception(Name() + ": Field '" + std::string(name) + "' not found");
}

std::vector<std::string> DataSet::FieldNames() {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < FieldCount(); ++i) names.push_back(Fields(i).FieldName());
  return names;
}

const ClassInfo& DataSource::StaticClass() {
  static const ClassInfo info = [] {
    ClassInfo c("TDataSource", &Component::StaticClass(), [] { return std::make_unique<DataSource>(); });
    PropertyList<DataSource>(c).Reference<class DataSet>("DataSet", &DataSource::DataSet, &DataSource::SetDataSet);
    return c;
  }();
  return info;
}

DataSource::~DataSource() { SetDataSet(nullptr); }

void DataSource::SetDataSet(class DataSet* dataset) {
  if (dataset == dataset_) return;
  if (dataset_) dataset_->RemoveFreeNotification(*this);
  dataset_ = dataset;
  if (dataset_) dataset_->FreeNotification(*this);
}

void DataSource::Notification(Component& component, Operation operation) {
  Component::Notification(component, operation);
  if (operation == Operation::Remove && &component == static_cast<Component*>(dataset_)) dataset_ = nullptr;
}

}  // namespace brelix::platform
