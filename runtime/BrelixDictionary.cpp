#include "runtime/BrelixDictionary.h"

#include "platform/text.h"
#include "runtime/BrelixConsts.h"
#include "runtime/BrelixProc.h"

namespace brelix {

using namespace platform;

const ClassInfo& TBrelixField::StaticClass() {
  static const ClassInfo info = [] {
    ClassInfo c("TBrelixField", &CollectionItem::StaticClass(), [] { return std::make_unique<TBrelixField>(); });
    PropertyList<TBrelixField> p(c);
    p.String("FieldName", &TBrelixField::FieldName, &TBrelixField::SetFieldName);
    p.String("ValueAsString", &TBrelixField::ValueAsString, &TBrelixField::SetValueAsString);
    return c;
  }();
  return info;
}

void TBrelixField::Assign(const Persistent& source) {
  if (const auto* other = dynamic_cast<const TBrelixField*>(&source)) {
    field_name_ = other->field_name_;
    value_ = other->value_;
    return;
  }
  CollectionItem::Assign(source);
}

const ClassInfo& TBrelixDictionary::StaticClass() {
  static const ClassInfo info("TBrelixDictionary", &Collection::StaticClass());
  return info;
}

TBrelixDictionary::TBrelixDictionary(Persistent* owner) : Collection(TBrelixField::StaticClass(), owner) {}

TBrelixField& TBrelixDictionary::Add() { return static_cast<TBrelixField&>(AddItem()); }

TBrelixField& TBrelixDictionary::Items(std::size_t index) const { return static_cast<TBrelixField&>(Item(index)); }

void TBrelixDictionary::SetItems(std::size_t index, const TBrelixField& field) { Items(index).Assign(field); }

TBrelixField* TBrelixDictionary::FindField(std::string_view name) const {
  for (std::size_t i = 0; i < Count(); ++i)
    if (SameText(Items(i).FieldName(), name)) return &Items(i);
  return nullptr;
}

TBrelixField& TBrelixDictionary::FieldByName(std::string_view name) const {
  if (TBrelixField* field = FindField(name)) return *field;
  throw EBrelixError(BrelixFormat(BrelixConsts::MsgDct, name));
}

}  // namespace brelix
