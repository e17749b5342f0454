#include "platform/component.h"

#include <algorithm>

#include "platform/errors.h"
#include "platform/filer.h"
#include "platform/text.h"

namespace brelix::platform {

std::string MethodTable::Key(std::string_view name) { return UpperCase(name); }

// ---------------------------------------------------------------------------------------------
// Component

const ClassInfo& Component::StaticClass() {
  static const ClassInfo info = [] {
    ClassInfo c("Component", &Persistent::StaticClass());
    return c;
  }();
  return info;
}

Component::~Component() {
  BeginDestroy();
  while (!components_.empty()) DestroyComponent(*components_.back());
  for (Component* target : observed_) std::erase(target->observers_, this);
  observed_.clear();
}

void Component::BeginDestroy() {
  SetStateRecursive(csDestroying, true);
  // Observers may drop their references while this object is still whole.
  auto observers = std::move(observers_);
  observers_.clear();
  for (Component* observer : observers) {
    std::erase(observer->observed_, this);
    observer->Notification(*this, Operation::Remove);
  }
}

void Component::SetName(std::string_view name) {
  if (name == name_) return;
  if (!name.empty() && !IsIdentifier(name))
    throw EComponentError("\"" + std::string(name) + "\" is not a valid component name");
  if (owner_ && !name.empty()) {
    Component* other = owner_->FindComponent(name);
    if (other && other != this)
      throw EComponentError("A component named " + std::string(name) + " already exists");
  }
  name_ = std::string(name);
}

Component& Component::Root() {
  Component* c = this;
  while (c->owner_) c = c->owner_;
  return *c;
}

const Component& Component::Root() const { return const_cast<Component*>(this)->Root(); }

Component* Component::FindComponent(std::string_view name) const {
  if (name.empty()) return nullptr;
  for (const auto& c : components_)
    if (SameText(c->name_, name)) return c.get();
  return nullptr;
}

Component& Component::InsertComponent(std::unique_ptr<Component> component) {
  if (component->owner_) throw EComponentError("Component " + component->name_ + " already has an owner");
  if (!component->name_.empty() && FindComponent(component->name_))
    throw EComponentError("A component named " + component->name_ + " already exists");
  Component& c = *component;
  c.owner_ = this;
  components_.push_back(std::move(component));
  Notification(c, Operation::Insert);
  return c;
}

std::unique_ptr<Component> Component::RemoveComponent(Component& component) {
  auto it = std::find_if(components_.begin(), components_.end(),
                         [&](const auto& p) { return p.get() == &component; });
  if (it == components_.end()) throw EComponentError("Component " + component.name_ + " is not owned here");
  std::unique_ptr<Component> owned = std::move(*it);
  components_.erase(it);
  Notification(component, Operation::Remove);
  owned->owner_ = nullptr;
  return owned;
}

void Component::DestroyComponent(Component& component) {
  component.BeginDestroy();
  std::unique_ptr<Component> owned = RemoveComponent(component);
  owned.reset();
}

void Component::FreeNotification(Component& observer) {
  if (&observer == this) return;
  if (std::find(observers_.begin(), observers_.end(), &observer) == observers_.end()) {
    observers_.push_back(&observer);
    observer.observed_.push_back(this);
  }
}

void Component::RemoveFreeNotification(Component& observer) {
  std::erase(observers_, &observer);
  std::erase(observer.observed_, this);
}

void Component::Notification(Component& component, Operation operation) {
  if (operation == Operation::Remove) {
    std::erase(observers_, &component);
    std::erase(observed_, &component);
  }
  // Copy: a notified component may destroy others.
  std::vector<Component*> children;
  children.reserve(components_.size());
  for (const auto& c : components_) children.push_back(c.get());
  for (Component* child : children)
    if (child != &component) child->Notification(component, operation);
}

void Component::SetStateRecursive(unsigned flag, bool on) {
  state_ = on ? (state_ | flag) : (state_ & ~flag);
  for (const auto& c : components_) c->SetStateRecursive(flag, on);
}

void Component::SetDesigning(bool designing) { SetStateRecursive(csDesigning, designing); }
void Component::SetLoading(bool loading) { SetStateRecursive(csLoading, loading); }

// ---------------------------------------------------------------------------------------------
// DataModule

namespace {
std::vector<DataModule*>& LiveDataModules() {
  static std::vector<DataModule*> modules;
  return modules;
}
const bool kDataModuleRegistered = RegisterClass(DataModule::StaticClass());
}  // namespace

const ClassInfo& DataModule::StaticClass() {
  static const ClassInfo info("TDataModule", &Component::StaticClass(),
                              [] { return std::make_unique<DataModule>(); });
  return info;
}

DataModule::DataModule() { LiveDataModules().push_back(this); }
DataModule::~DataModule() { std::erase(LiveDataModules(), this); }

const std::vector<DataModule*>& DataModules() { return LiveDataModules(); }

DataModule* FindDataModule(std::string_view name) {
  for (DataModule* m : LiveDataModules())
    if (SameText(m->Name(), name)) return m;
  return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Collections

const ClassInfo& CollectionItem::StaticClass() {
  static const ClassInfo info("CollectionItem", &Persistent::StaticClass());
  return info;
}

int CollectionItem::Index() const {
  if (!collection_) return -1;
  for (std::size_t i = 0; i < collection_->Count(); ++i)
    if (&collection_->Item(i) == this) return static_cast<int>(i);
  return -1;
}

std::string CollectionItem::DisplayName() const { return ClassName(); }

Persistent* CollectionItem::GetOwner() const { return collection_; }

std::string CollectionItem::GetNamePath() const {
  if (!collection_) return ClassName();
  return collection_->GetNamePath() + "[" + std::to_string(Index()) + "]";
}

const ClassInfo& Collection::StaticClass() {
  static const ClassInfo info("Collection", &Persistent::StaticClass());
  return info;
}

Collection::Collection(const ClassInfo& item_class, Persistent* owner) : item_class_(item_class), owner_(owner) {}

Collection::~Collection() = default;

CollectionItem& Collection::AddItem() {
  std::unique_ptr<Persistent> created = item_class_.Create();
  auto* item = dynamic_cast<CollectionItem*>(created.get());
  if (!item) throw EConvertError("Class " + item_class_.Name() + " cannot make collection items");
  created.release();
  items_.emplace_back(item);
  item->collection_ = this;
  return *item;
}

void Collection::Delete(std::size_t index) { items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index)); }

void Collection::Clear() { items_.clear(); }

void Collection::Assign(const Persistent& source) {
  const auto* other = dynamic_cast<const Collection*>(&source);
  if (!other || !other->item_class_.InheritsFrom(item_class_)) {
    Persistent::Assign(source);
    return;
  }
  if (other == this) return;
  Clear();
  for (const auto& item : other->items_) AddItem().Assign(*item);
}

std::string Collection::GetNamePath() const { return SubObjectNamePath(*this, owner_); }

// ---------------------------------------------------------------------------------------------
// StringList

namespace {
const bool kStringListRegistered = RegisterClass(StringList::StaticClass());
}

const ClassInfo& StringList::StaticClass() {
  static const ClassInfo info("TStringList", &Persistent::StaticClass(),
                              [] { return std::make_unique<StringList>(); });
  return info;
}

std::string StringList::Text() const {
  std::string text;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (i) text += '\n';
    text += lines_[i];
  }
  return text;
}

void StringList::SetText(std::string_view text) {
  lines_.clear();
  if (text.empty()) return;
  std::size_t start = 0;
  while (true) {
    std::size_t end = text.find('\n', start);
    std::string_view line = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines_.emplace_back(line);
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
}

void StringList::Assign(const Persistent& source) {
  if (const auto* other = dynamic_cast<const StringList*>(&source)) {
    lines_ = other->lines_;
    return;
  }
  Persistent::Assign(source);
}

void StringList::DefineProperties(Filer& filer) {
  const auto* ancestor = dynamic_cast<const StringList*>(filer.Ancestor());
  bool has_data = ancestor ? ancestor->lines_ != lines_ : !lines_.empty();
  filer.DefineProperty(
      "Strings",
      [this](PropertyReader& reader) {
        const FormValue& value = reader.Value();
        if (value.kind != FormValue::Kind::List) throw EConvertError("expected a list of strings");
        std::vector<std::string> lines;
        for (const FormValue& v : value.list) {
          reader.Mark(v.pos);
          if (v.kind != FormValue::Kind::String)
            throw EConvertError(std::string("expected a string but found ") + FormValue::KindName(v.kind));
          lines.push_back(v.text);
        }
        lines_ = std::move(lines);
      },
      [this](PropertyWriter&) {
        std::vector<FormValue> list;
        for (const auto& line : lines_) list.push_back(FormValue::String(line));
        return FormValue::List(std::move(list));
      },
      has_data);
}

// ---------------------------------------------------------------------------------------------

std::string SubObjectNamePath(const Persistent& object, Persistent* owner) {
  if (!owner) return object.ClassName();
  std::string owner_path = owner->GetNamePath();
  if (owner_path.empty()) return object.ClassName();
  for (const PropertyInfo* p : owner->Class().Properties()) {
    if (p->type != PropertyType::Object) continue;
    PropertyValue v = p->get(*owner);
    if (std::get<Persistent*>(v) == &object) return owner_path + "." + p->name;
  }
  return object.ClassName();
}

}  // namespace brelix::platform
