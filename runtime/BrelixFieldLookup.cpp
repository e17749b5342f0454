// The lookups that turn field names of template cells into datasets: the dataset supplying a
// field (cached per form and dataset name for one build) and the detail dataset of the report's
// DataSet named in a template range.

#include <variant>

#include "platform/component.h"
#include "platform/dataset.h"
#include "platform/text.h"
#include "runtime/Brelix.h"
#include "runtime/BrelixAutomation.h"
#include "runtime/BrelixConsts.h"
#include "runtime/BrelixFieldParser.h"
#include "runtime/BrelixProc.h"

namespace brelix {

using platform::Component;

namespace {

// The dataset that form and dataset name: the data module's own component with a form name,
// else the component of the report's owner; null without a dataset name or an owner.
platform::DataSet* FindNamedDataSet(const Component& report, const std::string& form, const std::string& dataset) {
  if (!form.empty()) return BrelixFindDSInForms(form, dataset);
  if (dataset.empty() || !report.Owner()) return nullptr;
  return BrelixAsDataSet(report.Owner()->FindComponent(dataset));
}

// The component a published reference property of that name holds; null when the class has no
// such property or it is of another kind.
Component* ReferenceProperty(const platform::DataSet& dataset, std::string_view name) {
  const platform::PropertyInfo* prop = dataset.Class().FindProperty(name);
  if (!prop || prop->type != platform::PropertyType::Component || !prop->get) return nullptr;
  const platform::PropertyValue value = prop->get(dataset);
  const auto* component = std::get_if<Component*>(&value);
  return component ? *component : nullptr;
}

// True when a data-source property of that name ("MasterSource", "DataSource") names master.
bool LinkedBySource(const platform::DataSet& dataset, std::string_view name, const platform::DataSet& master) {
  const auto* source = dynamic_cast<const platform::DataSource*>(ReferenceProperty(dataset, name));
  return source && source->DataSet() == &master;
}

// True when the dataset field that "DataSetField" names belongs to master: a nested dataset's
// field is an object owned by the dataset holding it.
bool LinkedByDataSetField(const platform::DataSet& dataset, const platform::DataSet& master) {
  const Component* field = ReferenceProperty(dataset, "DataSetField");
  return field && field->GetOwner() == &master;
}

bool IsDetailOf(const platform::DataSet& dataset, const platform::DataSet& master) {
  return LinkedBySource(dataset, "MasterSource", master) || LinkedBySource(dataset, "DataSource", master) ||
         LinkedByDataSetField(dataset, master);
}

}  // namespace

platform::DataSet* TBrelix::FindFieldDataSet(const std::string& name) {
  if (dictionary_.FindField(name)) return nullptr;
  std::string form, dataset_name, field;
  BrelixFindStrParts(name, form, dataset_name, field);
  const std::string key = platform::UpperCase(form + "." + dataset_name);

  platform::DataSet* found = nullptr;
  if (auto it = field_dataset_cache_.find(key); it != field_dataset_cache_.end()) {
    found = it->second;
  } else if ((found = FindNamedDataSet(*this, form, dataset_name))) {
    field_dataset_cache_[key] = found;
  } else if (dataset_ && dataset_->FindField(name)) {
    found = dataset_;
  } else if (detail_dataset_ && detail_dataset_->FindField(name)) {
    found = detail_dataset_;
  }
  if (!found) return nullptr;

  if (!found->Active()) found->Open();
  if (!found->FindField(field))
    throw EBrelixError(BrelixFormat(BrelixConsts::MsgBrelix7, name, found->Name()));
  return found;
}

platform::DataSet* TBrelix::FindDetailDataSetInTempl(const std::string& range) {
  if (!dataset_ || platform::Trim(range).empty() || !templ_sheet_obj_) return nullptr;
  const std::string first = BrelixGetRangeFirst(range);
  const std::string last = BrelixGetRangeLast(range);
  const int r1 = BrelixGetRangeRow(first), c1 = BrelixGetRangeColumn(first);
  const int r2 = BrelixGetRangeRow(last), c2 = BrelixGetRangeColumn(last);
  TBrelixFieldParser parser(field_sign_);
  for (int r = r1; r <= r2; ++r) {
    for (int c = c1; c <= c2; ++c) {
      parser.SetFieldString(templ_sheet_obj_->GetRange(r, c, r, c).Formula());
      for (int i = 0; i < parser.Count(); ++i) {
        std::string form, dataset_name, field;
        BrelixFindStrParts(parser.Fields(i), form, dataset_name, field);
        platform::DataSet* candidate = FindNamedDataSet(*this, form, dataset_name);
        if (candidate && IsDetailOf(*candidate, *dataset_)) return candidate;
      }
    }
  }
  return nullptr;
}

}  // namespace brelix
