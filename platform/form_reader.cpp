#include "platform/form_reader.h"

#include <fstream>
#include <sstream>

#include "platform/errors.h"
#include "platform/filer.h"
#include "platform/form_syntax.h"
#include "platform/text.h"

namespace brelix::platform {

namespace {

std::string ReadText(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw EFileError("Cannot open file \"" + file.string() + "\"");
  std::ostringstream s;
  s << in.rdbuf();
  if (in.bad()) throw EFileError("Cannot read file \"" + file.string() + "\"");
  return s.str();
}

std::vector<std::string> SplitPath(std::string_view name) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (true) {
    std::size_t dot = name.find('.', start);
    parts.emplace_back(name.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start));
    if (dot == std::string_view::npos) return parts;
    start = dot + 1;
  }
}

std::string Describe(const FormValue& v) {
  switch (v.kind) {
    case FormValue::Kind::Integer: return "integer " + std::to_string(v.integer);
    case FormValue::Kind::Ident: return "'" + v.text + "'";
    case FormValue::Kind::String: return "string '" + v.text + "'";
    default: return FormValue::KindName(v.kind);
  }
}

// Reads one form's tree into components. References to components are collected while reading
// and resolved at the end, when every component of the form exists.
class TreeReader {
 public:
  TreeReader(std::string file, Component& root) : file_(std::move(file)), root_(root) {}

  void ReadObjectBody(const FormObject& node, Component& component);
  void ResolveFixups();

  [[noreturn]] void Fail(SourcePos pos, const std::string& detail) const { throw EFormFileError(file_, pos, detail); }

  void ReadPublished(Persistent& target, const PropertyInfo& p, const FormValue& value);
  void ReadCollection(Collection& collection, const FormValue& value);
  void ReadNamedProperty(Persistent& object, Component& component, const std::string& name, const FormValue& value,
                         SourcePos pos);
  Component& Current() { return *current_; }

 private:
  struct Fixup {
    Persistent* target;
    const PropertyInfo* property;
    std::string name;
    SourcePos pos;
  };
  Component* FindReferenced(const std::string& name) const;
  void ReadChild(const FormObject& node, Component& parent);

  std::string file_;
  Component& root_;
  Component* current_ = nullptr;
  std::vector<Fixup> fixups_;
};

// The filer a component sees while one of its properties is read: it runs the reader of the
// defined property of the wanted name, if the object declares one.
class DefinedPropertyReader : public Filer, public PropertyReader {
 public:
  DefinedPropertyReader(TreeReader& reader, std::string wanted, const FormValue& value, SourcePos pos)
      : reader_(reader), wanted_(std::move(wanted)), value_(value), mark_(pos) {}

  bool Found() const { return found_; }
  SourcePos MarkedPos() const { return mark_; }

  const Persistent* Ancestor() const override { return nullptr; }
  void DefineProperty(std::string_view name, const std::function<void(PropertyReader&)>& read,
                      const std::function<FormValue(PropertyWriter&)>&, bool) override {
    if (found_ || !SameText(name, wanted_)) return;
    found_ = true;
    if (read) read(*this);
  }
  void DefineBinaryProperty(std::string_view name, const std::function<void(std::span<const std::uint8_t>)>& read,
                            const std::function<std::vector<std::uint8_t>()>&, bool) override {
    if (found_ || !SameText(name, wanted_)) return;
    found_ = true;
    if (value_.kind != FormValue::Kind::Binary)
      reader_.Fail(value_.pos, "expected binary data { ... } but found " + Describe(value_));
    if (read) read(value_.bytes);
  }

  const FormValue& Value() const override { return value_; }
  void ReadProperty(Persistent& target, const PropertyInfo& property, const FormValue& value) override {
    mark_ = value.pos;
    reader_.ReadPublished(target, property, value);
  }
  void Mark(SourcePos pos) override { mark_ = pos; }
  Component& ReadingComponent() override { return reader_.Current(); }

 private:
  TreeReader& reader_;
  std::string wanted_;
  const FormValue& value_;
  SourcePos mark_;
  bool found_ = false;
};

void TreeReader::ReadObjectBody(const FormObject& node, Component& component) {
  Component* saved = current_;
  current_ = &component;
  for (const FormProperty& prop : node.properties) ReadNamedProperty(component, component, prop.name, prop.value, prop.pos);
  for (const FormObject& child : node.children) ReadChild(child, component);
  current_ = saved;
}

void TreeReader::ReadChild(const FormObject& node, Component& parent) {
  if (node.inherited) {
    Component* existing = parent.FindComponent(node.name);
    if (!existing) Fail(node.pos, "inherited component " + node.name + " does not exist in the ancestor form");
    if (!SameText(existing->ClassName(), node.class_name))
      Fail(node.pos, "inherited component " + node.name + " is a " + existing->ClassName() + ", not a " +
                         node.class_name);
    ReadObjectBody(node, *existing);
    return;
  }
  const ClassInfo* cls = FindClass(node.class_name);
  if (!cls) Fail(node.pos, "unknown class " + node.class_name);
  if (!cls->InheritsFrom(Component::StaticClass()) || !cls->CanCreate())
    Fail(node.pos, "class " + node.class_name + " is not a component that a form can hold");
  if (parent.FindComponent(node.name)) Fail(node.pos, "a component named " + node.name + " already exists");
  if (!IsIdentifier(node.name)) Fail(node.pos, "\"" + node.name + "\" is not a valid component name");
  std::unique_ptr<Persistent> created = cls->Create();
  std::unique_ptr<Component> component(static_cast<Component*>(created.release()));
  component->SetName(node.name);
  if (parent.IsDesigning()) component->SetDesigning(true);
  component->SetLoading(true);
  Component& inserted = parent.InsertComponent(std::move(component));
  ReadObjectBody(node, inserted);
}

void TreeReader::ReadNamedProperty(Persistent& object, Component& component, const std::string& name,
                                   const FormValue& value, SourcePos pos) {
  std::vector<std::string> path = SplitPath(name);
  Persistent* target = &object;
  std::string where = component.Name();
  for (std::size_t i = 0; i + 1 < path.size(); ++i) {
    const PropertyInfo* p = target->Class().FindProperty(path[i]);
    if (!p || p->type != PropertyType::Object)
      Fail(pos, "unknown property " + name + " of " + where + " (" + target->ClassName() + ")");
    target = std::get<Persistent*>(p->get(*target));
    where += "." + p->name;
  }
  const std::string& last = path.back();
  if (const PropertyInfo* p = target->Class().FindProperty(last)) {
    if (p->IsReadOnly() && p->type != PropertyType::Object)
      Fail(pos, "property " + name + " of " + where + " is read-only");
    ReadPublished(*target, *p, value);
    return;
  }
  DefinedPropertyReader filer(*this, last, value, value.pos);
  try {
    target->DefineProperties(filer);
  } catch (const EFormFileError&) {
    throw;
  } catch (const std::exception& e) {
    Fail(filer.MarkedPos(), "error reading " + where + "." + last + ": " + e.what());
  }
  if (!filer.Found()) Fail(pos, "unknown property " + name + " of " + where + " (" + target->ClassName() + ")");
}

void TreeReader::ReadPublished(Persistent& target, const PropertyInfo& p, const FormValue& value) {
  using K = FormValue::Kind;
  auto expect = [&](bool ok, const char* what) {
    if (!ok) Fail(value.pos, "property " + p.name + " expects " + what + " but found " + Describe(value));
  };
  PropertyValue v;
  switch (p.type) {
    case PropertyType::Integer:
      expect(value.kind == K::Integer, "an integer");
      if (value.integer < INT32_MIN || value.integer > INT32_MAX)
        Fail(value.pos, "property " + p.name + ": " + std::to_string(value.integer) + " is out of range");
      v = value.integer;
      break;
    case PropertyType::Float:
      expect(value.kind == K::Float || value.kind == K::Integer, "a number");
      v = value.kind == K::Float ? value.number : static_cast<double>(value.integer);
      break;
    case PropertyType::String:
      expect(value.kind == K::String, "a string");
      v = value.text;
      break;
    case PropertyType::Char:
      expect(value.kind == K::String && value.text.size() == 1, "a one-character string");
      v = value.text;
      break;
    case PropertyType::Boolean:
      expect(value.kind == K::Ident && (SameText(value.text, "True") || SameText(value.text, "False")),
             "True or False");
      v = SameText(value.text, "True");
      break;
    case PropertyType::Enumeration: {
      expect(value.kind == K::Ident, "an identifier");
      std::int64_t ordinal = -1;
      for (std::size_t i = 0; i < p.elements.size(); ++i)
        if (SameText(p.elements[i], value.text)) ordinal = static_cast<std::int64_t>(i);
      if (ordinal < 0) Fail(value.pos, "property " + p.name + " has no value " + value.text);
      v = ordinal;
      break;
    }
    case PropertyType::Set: {
      expect(value.kind == K::Set, "a set [ ... ]");
      std::int64_t mask = 0;
      for (const std::string& element : value.set) {
        std::size_t i = 0;
        while (i < p.elements.size() && !SameText(p.elements[i], element)) ++i;
        if (i == p.elements.size()) Fail(value.pos, "property " + p.name + " has no element " + element);
        mask |= std::int64_t{1} << i;
      }
      v = mask;
      break;
    }
    case PropertyType::Component:
      expect(value.kind == K::Ident, "a component name");
      if (SameText(value.text, "nil")) {
        v = static_cast<Component*>(nullptr);
        break;
      }
      fixups_.push_back({&target, &p, value.text, value.pos});
      return;
    case PropertyType::Object: {
      auto* sub = std::get<Persistent*>(p.get(target));
      auto* collection = dynamic_cast<Collection*>(sub);
      if (!collection) Fail(value.pos, "property " + p.name + " holds an object; write its properties as " +
                                           p.name + ".Name = value");
      expect(value.kind == K::Collection, "a collection < ... >");
      ReadCollection(*collection, value);
      return;
    }
    case PropertyType::Method: {
      expect(value.kind == K::Ident, "a method name");
      const std::any* method = root_.Methods().Find(value.text);
      if (!method) Fail(value.pos, "method " + value.text + " for " + p.name + " is not provided by the program");
      try {
        p.bind_method(target, value.text, method);
      } catch (const EConvertError& e) {
        Fail(value.pos, e.what());
      }
      return;
    }
  }
  try {
    p.set(target, v);
  } catch (const EFormFileError&) {
    throw;
  } catch (const std::exception& e) {
    Fail(value.pos, "error setting " + p.name + ": " + e.what());
  }
}

void TreeReader::ReadCollection(Collection& collection, const FormValue& value) {
  collection.Clear();
  for (const FormItem& item : value.items) {
    CollectionItem& created = collection.AddItem();
    for (const FormProperty& prop : item.properties)
      ReadNamedProperty(created, Current(), prop.name, prop.value, prop.pos);
  }
}

Component* TreeReader::FindReferenced(const std::string& name) const {
  std::size_t dot = name.find('.');
  if (dot != std::string::npos) {
    std::string module = name.substr(0, dot), rest = name.substr(dot + 1);
    if (SameText(module, root_.Name())) return root_.FindComponent(rest);
    for (DataModule* m : DataModules())
      if (m != &root_ && SameText(m->Name(), module)) return m->FindComponent(rest);
    return nullptr;
  }
  // Components nested in other components are searched too, nearest first.
  std::vector<const Component*> level{&root_};
  while (!level.empty()) {
    std::vector<const Component*> next;
    for (const Component* c : level) {
      if (Component* found = c->FindComponent(name)) return found;
      for (std::size_t i = 0; i < c->ComponentCount(); ++i) next.push_back(&c->Components(i));
    }
    level = std::move(next);
  }
  return nullptr;
}

void TreeReader::ResolveFixups() {
  for (const Fixup& f : fixups_) {
    Component* referenced = FindReferenced(f.name);
    if (!referenced) Fail(f.pos, "component " + f.name + " named by " + f.property->name + " does not exist");
    const ClassInfo* needed = f.property->ReferenceClass();
    if (needed && !referenced->InheritsFrom(*needed))
      Fail(f.pos, "component " + f.name + " is a " + referenced->ClassName() + "; " + f.property->name +
                      " needs a " + needed->Name());
    try {
      f.property->set(*f.target, PropertyValue(referenced));
    } catch (const std::exception& e) {
      Fail(f.pos, "error setting " + f.property->name + ": " + e.what());
    }
  }
  fixups_.clear();
}

void CallLoaded(Component& c) {
  for (std::size_t i = 0; i < c.ComponentCount(); ++i) CallLoaded(c.Components(i));
  c.Loaded();
}

std::filesystem::path DefaultAncestorFile(const std::string& class_name, const std::filesystem::path& descendant) {
  std::string base = class_name.size() > 1 && (class_name[0] == 'T' || class_name[0] == 't') ? class_name.substr(1)
                                                                                              : class_name;
  return descendant.parent_path() / (base + descendant.extension().string());
}

std::unique_ptr<Component> LoadTree(const FormObject& tree, const std::filesystem::path& file,
                                    const FormLoadOptions& options, int depth) {
  std::unique_ptr<Component> root;
  if (tree.inherited) {
    if (depth > 32) throw EFormFileError(file.string(), tree.pos, "ancestor forms nest too deeply");
    std::filesystem::path ancestor = options.ancestor_file ? options.ancestor_file(tree.class_name, file)
                                                           : DefaultAncestorFile(tree.class_name, file);
    if (!std::filesystem::exists(ancestor))
      throw EFormFileError(file.string(), tree.pos,
                           "the ancestor form " + tree.class_name + " was not found (" + ancestor.string() + ")");
    FormObject ancestor_tree = ParseForm(ReadText(ancestor), ancestor.string());
    root = LoadTree(ancestor_tree, ancestor, options, depth + 1);
  } else {
    const ClassInfo* cls = FindClass(tree.class_name);
    if (!cls) throw EFormFileError(file.string(), tree.pos, "unknown class " + tree.class_name);
    if (!cls->InheritsFrom(Component::StaticClass()) || !cls->CanCreate())
      throw EFormFileError(file.string(), tree.pos, "class " + tree.class_name + " cannot be the root of a form");
    std::unique_ptr<Persistent> created = cls->Create();
    root.reset(static_cast<Component*>(created.release()));
    root->Methods().Merge(options.methods);
  }
  if (!IsIdentifier(tree.name))
    throw EFormFileError(file.string(), tree.pos, "\"" + tree.name + "\" is not a valid component name");
  root->SetName(tree.name);
  if (options.designing) root->SetDesigning(true);
  root->SetLoading(true);
  TreeReader reader(file.string(), *root);
  reader.ReadObjectBody(tree, *root);
  reader.ResolveFixups();
  return root;
}

// Components hear that their form is complete once, after the whole chain of ancestors and the
// form itself have been read.
std::unique_ptr<Component> FinishLoading(std::unique_ptr<Component> root, const std::filesystem::path& file,
                                         SourcePos pos) {
  root->SetLoading(false);
  try {
    CallLoaded(*root);
  } catch (const EFormFileError&) {
    throw;
  } catch (const std::exception& e) {
    throw EFormFileError(file.string(), pos, e.what());
  }
  return root;
}

}  // namespace

std::unique_ptr<Component> LoadFormText(std::string_view text, const std::filesystem::path& file_name,
                                        const FormLoadOptions& options) {
  FormObject tree = ParseForm(text, file_name.string());
  return FinishLoading(LoadTree(tree, file_name, options, 0), file_name, tree.pos);
}

std::unique_ptr<Component> LoadForm(const std::filesystem::path& file, const FormLoadOptions& options) {
  return LoadFormText(ReadText(file), file, options);
}

}  // namespace brelix::platform
