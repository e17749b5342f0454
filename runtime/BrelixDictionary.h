#pragma once
// The report's dictionary: user fields, each a name with a fixed text value, that template
// cells name like dataset fields and that the report answers before asking datasets.

#include <string>
#include <string_view>

#include "platform/component.h"

namespace brelix {

class TBrelixField : public platform::CollectionItem {
  BRELIX_PERSISTENT_CLASS
 public:
  const std::string& FieldName() const { return field_name_; }
  void SetFieldName(std::string name) { field_name_ = std::move(name); }
  const std::string& ValueAsString() const { return value_; }
  void SetValueAsString(std::string value) { value_ = std::move(value); }

  //! Copies FieldName and ValueAsString of another field.
  void Assign(const platform::Persistent& source) override;
  std::string DisplayName() const override { return field_name_; }

 private:
  std::string field_name_;
  std::string value_;
};

class TBrelixDictionary : public platform::Collection {
  BRELIX_PERSISTENT_CLASS
 public:
  explicit TBrelixDictionary(platform::Persistent* owner);

  //! A new field appended at the end.
  TBrelixField& Add();
  TBrelixField& Items(std::size_t index) const;
  //! Copies the given field's FieldName and ValueAsString into the item at index.
  void SetItems(std::size_t index, const TBrelixField& field);
  //! The first field whose name equals name without regard to case (no trimming), or null.
  TBrelixField* FindField(std::string_view name) const;
  //! Like FindField; a missing field raises EBrelixError (MsgDct).
  TBrelixField& FieldByName(std::string_view name) const;
};

}  // namespace brelix
