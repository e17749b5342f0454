#include "platform/class_info.h"

#include <map>

#include "platform/errors.h"
#include "platform/filer.h"
#include "platform/text.h"

namespace brelix::platform {

// ---------------------------------------------------------------------------------------------
// Persistent

const ClassInfo& Persistent::StaticClass() {
  static const ClassInfo info("Persistent", nullptr);
  return info;
}

const std::string& Persistent::ClassName() const { return Class().Name(); }

bool Persistent::InheritsFrom(const ClassInfo& cls) const { return Class().InheritsFrom(cls); }

void Persistent::Assign(const Persistent& source) { source.AssignTo(*this); }

void Persistent::AssignTo(Persistent& dest) const {
  throw EConvertError("Cannot assign a " + ClassName() + " to a " + dest.ClassName() + ".");
}

void Persistent::DefineProperties(Filer&) {}

std::string Persistent::GetNamePath() const { return ClassName(); }

// ---------------------------------------------------------------------------------------------
// PropertyInfo and ClassInfo

std::optional<PropertyValue> PropertyInfo::EffectiveDefault() const {
  if (default_value) return default_value;
  switch (type) {
    case PropertyType::String:
    case PropertyType::Char:
    case PropertyType::Method:
      return PropertyValue(std::string());
    case PropertyType::Component:
      return PropertyValue(static_cast<Component*>(nullptr));
    default:
      return std::nullopt;
  }
}

ClassInfo::ClassInfo(std::string name, const ClassInfo* parent, Factory factory)
    : name_(std::move(name)), parent_(parent), factory_(std::move(factory)) {}

bool ClassInfo::InheritsFrom(const ClassInfo& other) const {
  for (const ClassInfo* c = this; c; c = c->parent_)
    if (c == &other) return true;
  return false;
}

std::vector<const PropertyInfo*> ClassInfo::Properties() const {
  std::vector<const PropertyInfo*> result = parent_ ? parent_->Properties() : std::vector<const PropertyInfo*>{};
  for (const auto& p : properties_) result.push_back(p.get());
  return result;
}

const PropertyInfo* ClassInfo::FindProperty(std::string_view name) const {
  for (const ClassInfo* c = this; c; c = c->parent_)
    for (const auto& p : c->properties_)
      if (SameText(p->name, name)) return p.get();
  return nullptr;
}

PropertyInfo& ClassInfo::Add(PropertyInfo property) {
  properties_.push_back(std::make_unique<PropertyInfo>(std::move(property)));
  return *properties_.back();
}

// ---------------------------------------------------------------------------------------------
// Class registry

namespace {
std::map<std::string, const ClassInfo*, std::less<>>& Registry() {
  static std::map<std::string, const ClassInfo*, std::less<>> registry;
  return registry;
}
}  // namespace

bool RegisterClass(const ClassInfo& cls) {
  Registry()[UpperCase(cls.Name())] = &cls;
  return true;
}

const ClassInfo* FindClass(std::string_view name) {
  auto it = Registry().find(UpperCase(name));
  return it == Registry().end() ? nullptr : it->second;
}

// ---------------------------------------------------------------------------------------------
// Properties by name

PropertyValue GetPropertyValue(const Persistent& object, std::string_view name) {
  const PropertyInfo* p = object.Class().FindProperty(name);
  if (!p) throw EConvertError("Property " + std::string(name) + " does not exist in " + object.ClassName());
  return p->get(object);
}

void SetPropertyValue(Persistent& object, std::string_view name, const PropertyValue& value) {
  const PropertyInfo* p = object.Class().FindProperty(name);
  if (!p) throw EConvertError("Property " + std::string(name) + " does not exist in " + object.ClassName());
  if (!p->set) throw EConvertError("Property " + p->name + " of " + object.ClassName() + " is read-only");
  p->set(object, value);
}

}  // namespace brelix::platform
