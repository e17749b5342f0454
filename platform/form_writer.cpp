#include "platform/form_writer.h"

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/filer.h"

namespace brelix::platform {

namespace {

bool SameValue(const FormValue& a, const FormValue& b);

bool SameProperties(const std::vector<FormProperty>& a, const std::vector<FormProperty>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (a[i].name != b[i].name || !SameValue(a[i].value, b[i].value)) return false;
  return true;
}

bool SameValue(const FormValue& a, const FormValue& b) {
  if (a.kind != b.kind) return false;
  switch (a.kind) {
    case FormValue::Kind::Integer: return a.integer == b.integer;
    case FormValue::Kind::Float: return a.number == b.number;
    case FormValue::Kind::String:
    case FormValue::Kind::Ident: return a.text == b.text;
    case FormValue::Kind::Set: return a.set == b.set;
    case FormValue::Kind::Binary: return a.bytes == b.bytes;
    case FormValue::Kind::List:
      if (a.list.size() != b.list.size()) return false;
      for (std::size_t i = 0; i < a.list.size(); ++i)
        if (!SameValue(a.list[i], b.list[i])) return false;
      return true;
    case FormValue::Kind::Collection:
      if (a.items.size() != b.items.size()) return false;
      for (std::size_t i = 0; i < a.items.size(); ++i)
        if (a.items[i].index != b.items[i].index || !SameProperties(a.items[i].properties, b.items[i].properties))
          return false;
      return true;
  }
  return false;
}

class TreeWriter : public PropertyWriter {
 public:
  TreeWriter(const Component& root, const Component* ancestor_root) : root_(root), ancestor_root_(ancestor_root) {}

  FormObject WriteObject(const Component& component, const Component* ancestor, bool is_root);
  void WriteProperties(const Persistent& object, const Persistent* ancestor, const std::string& prefix,
                       std::vector<FormProperty>& out);
  std::optional<FormValue> WriteProperty(const Persistent& object, const PropertyInfo& property,
                                         const Persistent* ancestor) override;

 private:
  FormValue ToFormValue(const PropertyInfo& p, const PropertyValue& v) const;
  FormValue CollectionValue(const Collection& collection);
  //! The name a reference is written with: plain inside root, qualified by its module outside.
  static std::string ReferenceName(const Component* c, const Component* root);
  std::string ReferenceName(const Component* c) const { return ReferenceName(c, &root_); }

  const Component& root_;
  const Component* ancestor_root_;
};

// The filer an object sees while it is written: defined properties with data are appended.
class DefinedPropertyWriter : public Filer {
 public:
  DefinedPropertyWriter(TreeWriter& writer, const Persistent* ancestor, std::string prefix,
                        std::vector<FormProperty>& out)
      : writer_(writer), ancestor_(ancestor), prefix_(std::move(prefix)), out_(out) {}

  const Persistent* Ancestor() const override { return ancestor_; }
  void DefineProperty(std::string_view name, const std::function<void(PropertyReader&)>&,
                      const std::function<FormValue(PropertyWriter&)>& write, bool has_data) override {
    if (has_data && write) out_.push_back({prefix_ + std::string(name), write(writer_), {}});
  }
  void DefineBinaryProperty(std::string_view name, const std::function<void(std::span<const std::uint8_t>)>&,
                            const std::function<std::vector<std::uint8_t>()>& write, bool has_data) override {
    if (has_data && write) out_.push_back({prefix_ + std::string(name), FormValue::Binary(write()), {}});
  }

 private:
  TreeWriter& writer_;
  const Persistent* ancestor_;
  std::string prefix_;
  std::vector<FormProperty>& out_;
};

std::string TreeWriter::ReferenceName(const Component* c, const Component* root) {
  if (!c) return {};
  if (&c->Root() == root || !c->Owner()) return c->Name();
  return c->Root().Name() + "." + c->Name();
}

FormValue TreeWriter::ToFormValue(const PropertyInfo& p, const PropertyValue& v) const {
  switch (p.type) {
    case PropertyType::Integer: return FormValue::Integer(std::get<std::int64_t>(v));
    case PropertyType::Float: return FormValue::Float(std::get<double>(v));
    case PropertyType::String:
    case PropertyType::Char: return FormValue::String(std::get<std::string>(v));
    case PropertyType::Boolean: return FormValue::Ident(std::get<bool>(v) ? "True" : "False");
    case PropertyType::Enumeration: {
      auto ordinal = static_cast<std::size_t>(std::get<std::int64_t>(v));
      return FormValue::Ident(ordinal < p.elements.size() ? p.elements[ordinal] : std::to_string(ordinal));
    }
    case PropertyType::Set: {
      std::vector<std::string> elements;
      auto mask = std::get<std::int64_t>(v);
      for (std::size_t i = 0; i < p.elements.size(); ++i)
        if (mask & (std::int64_t{1} << i)) elements.push_back(p.elements[i]);
      return FormValue::Set(std::move(elements));
    }
    case PropertyType::Component: return FormValue::Ident(ReferenceName(std::get<Component*>(v)));
    case PropertyType::Method: return FormValue::Ident(std::get<std::string>(v));
    case PropertyType::Object: break;
  }
  throw EConvertError("property " + p.name + " cannot be written as a value");
}

FormValue TreeWriter::CollectionValue(const Collection& collection) {
  std::vector<FormItem> items;
  for (std::size_t i = 0; i < collection.Count(); ++i) {
    FormItem item;
    WriteProperties(collection.Item(i), nullptr, "", item.properties);
    items.push_back(std::move(item));
  }
  return FormValue::Collection(std::move(items));
}

std::optional<FormValue> TreeWriter::WriteProperty(const Persistent& object, const PropertyInfo& p,
                                                   const Persistent* ancestor) {
  if (!p.IsStored(object) || p.IsReadOnly()) return std::nullopt;
  PropertyValue v = p.get(object);
  if (ancestor) {
    PropertyValue a = p.get(*ancestor);
    if (p.type == PropertyType::Component) {
      if (ReferenceName(std::get<Component*>(v)) == ReferenceName(std::get<Component*>(a), ancestor_root_))
        return std::nullopt;
    } else if (v == a) {
      return std::nullopt;
    }
  } else if (auto d = p.EffectiveDefault(); d && v == *d) {
    return std::nullopt;
  }
  if (p.type == PropertyType::Method && std::get<std::string>(v).empty()) return std::nullopt;
  return ToFormValue(p, v);
}

void TreeWriter::WriteProperties(const Persistent& object, const Persistent* ancestor, const std::string& prefix,
                                 std::vector<FormProperty>& out) {
  for (const PropertyInfo* p : object.Class().Properties()) {
    if (!p->IsStored(object)) continue;
    if (p->type == PropertyType::Object) {
      const auto* sub = std::get<Persistent*>(p->get(object));
      const Persistent* ancestor_sub = ancestor ? std::get<Persistent*>(p->get(*ancestor)) : nullptr;
      if (!sub) continue;
      if (const auto* collection = dynamic_cast<const Collection*>(sub)) {
        FormValue value = CollectionValue(*collection);
        bool write = true;
        if (const auto* ancestor_collection = dynamic_cast<const Collection*>(ancestor_sub))
          write = !SameValue(value, CollectionValue(*ancestor_collection));
        else
          write = collection->Count() > 0;
        if (write) out.push_back({prefix + p->name, std::move(value), {}});
      } else {
        WriteProperties(*sub, ancestor_sub, prefix + p->name + ".", out);
      }
      continue;
    }
    if (auto value = WriteProperty(object, *p, ancestor)) out.push_back({prefix + p->name, std::move(*value), {}});
  }
  DefinedPropertyWriter filer(*this, ancestor, prefix, out);
  const_cast<Persistent&>(object).DefineProperties(filer);
}

FormObject TreeWriter::WriteObject(const Component& component, const Component* ancestor, bool is_root) {
  FormObject node;
  node.inherited = ancestor != nullptr;
  node.name = component.Name();
  node.class_name = is_root && ancestor ? "T" + ancestor->Name() : component.ClassName();
  WriteProperties(component, ancestor, "", node.properties);
  for (std::size_t i = 0; i < component.ComponentCount(); ++i) {
    const Component& child = component.Components(i);
    if (child.Name().empty()) continue;
    const Component* child_ancestor = ancestor ? ancestor->FindComponent(child.Name()) : nullptr;
    if (child_ancestor && child_ancestor->ClassName() != child.ClassName()) child_ancestor = nullptr;
    node.children.push_back(WriteObject(child, child_ancestor, false));
  }
  return node;
}

}  // namespace

FormObject WriteFormObject(const Component& root, const Component* ancestor) {
  TreeWriter writer(root, ancestor);
  return writer.WriteObject(root, ancestor, true);
}

std::string WriteForm(const Component& root, const Component* ancestor) {
  return PrintForm(WriteFormObject(root, ancestor));
}

void SaveForm(const std::filesystem::path& file, const Component& root, const Component* ancestor) {
  WriteFileAtomically(file, WriteForm(root, ancestor));
}

}  // namespace brelix::platform
