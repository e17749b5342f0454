#pragma once
// Components: named objects with an owner that owns them, removal notification, and a state
// (loading, designing, destroying). Collections hold persistent items. Data modules are the
// root components of form files.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/class_info.h"
#include "platform/event.h"

namespace brelix::platform {

enum class Operation { Insert, Remove };

//! Component state flags.
enum ComponentState : unsigned {
  csLoading = 1u << 0,     //!< its form file is being read
  csDesigning = 1u << 1,   //!< it is open in the designer
  csDestroying = 1u << 2,  //!< it is being destroyed
};

class Component : public Persistent {
  BRELIX_PERSISTENT_CLASS
 public:
  Component() = default;
  ~Component() override;

  const std::string& Name() const { return name_; }
  //! Renames; the name must be empty or an identifier unique (case-insensitively) among the
  //! owner's components, else EComponentError.
  void SetName(std::string_view name);

  Component* Owner() const { return owner_; }
  //! The top of the owner chain (the component itself when it has no owner).
  Component& Root();
  const Component& Root() const;

  std::size_t ComponentCount() const { return components_.size(); }
  Component& Components(std::size_t index) const { return *components_.at(index); }
  //! The owned component of that name (case-insensitive), or null.
  Component* FindComponent(std::string_view name) const;

  //! Takes ownership of component, which must have no owner and a name unique here.
  Component& InsertComponent(std::unique_ptr<Component> component);
  //! Creates a component of class T owned by this one.
  template <class T>
  T& Create(std::string_view name = {}) {
    auto component = std::make_unique<T>();
    component->SetName(name);
    return static_cast<T&>(InsertComponent(std::move(component)));
  }
  //! Gives up ownership of an owned component; the other components are told it was removed.
  std::unique_ptr<Component> RemoveComponent(Component& component);
  //! Destroys an owned component; everybody that referred to it is told first.
  void DestroyComponent(Component& component);

  //! Makes observer receive Notification(*this, Remove) before this component is destroyed.
  //! Use it for references to components that are not owned by the same owner.
  void FreeNotification(Component& observer);
  void RemoveFreeNotification(Component& observer);

  //! Called when component is inserted into or removed from the owner tree, or destroyed.
  //! The base passes the notice to every owned component; overrides call it too.
  virtual void Notification(Component& component, Operation operation);

  unsigned State() const { return state_; }
  bool IsLoading() const { return state_ & csLoading; }
  bool IsDesigning() const { return state_ & csDesigning; }
  bool IsDestroying() const { return state_ & csDestroying; }
  //! Sets or clears the designing state of this component and every owned one.
  void SetDesigning(bool designing);
  //! Sets or clears the loading state of this component and every owned one.
  void SetLoading(bool loading);
  //! Called once after the form file holding the component has been read completely.
  virtual void Loaded() {}

  //! The methods this root component offers to event properties of its form.
  MethodTable& Methods() { return methods_; }
  const MethodTable& Methods() const { return methods_; }

  Persistent* GetOwner() const override { return owner_; }
  std::string GetNamePath() const override { return name_; }

 private:
  void BeginDestroy();
  void SetStateRecursive(unsigned flag, bool on);

  std::string name_;
  Component* owner_ = nullptr;
  std::vector<std::unique_ptr<Component>> components_;
  std::vector<Component*> observers_;  //!< told when this component is destroyed
  std::vector<Component*> observed_;   //!< components whose observer this one is
  unsigned state_ = 0;
  MethodTable methods_;
};

//! The root of a form file: holds datasets, data sources and reports. Every live data module is
//! listed, in creation order, in DataModules().
class DataModule : public Component {
  BRELIX_PERSISTENT_CLASS
 public:
  DataModule();
  ~DataModule() override;
};

//! The live data modules in creation order.
const std::vector<DataModule*>& DataModules();
//! The live data module of that name (case-insensitive), or null.
DataModule* FindDataModule(std::string_view name);

class Collection;

//! An item of a Collection.
class CollectionItem : public Persistent {
  BRELIX_PERSISTENT_CLASS
 public:
  CollectionItem() = default;
  Collection* GetCollection() const { return collection_; }
  //! Position in the collection, or -1.
  int Index() const;
  //! The name the collection editor shows; the class name by default.
  virtual std::string DisplayName() const;
  Persistent* GetOwner() const override;
  std::string GetNamePath() const override;

 private:
  friend class Collection;
  Collection* collection_ = nullptr;
};

//! An ordered list of items of one class, owned by the collection.
class Collection : public Persistent {
  BRELIX_PERSISTENT_CLASS
 public:
  //! item_class must be creatable; owner is the object holding the collection (may be null).
  Collection(const ClassInfo& item_class, Persistent* owner);
  ~Collection() override;

  const ClassInfo& ItemClass() const { return item_class_; }
  std::size_t Count() const { return items_.size(); }
  CollectionItem& Item(std::size_t index) const { return *items_.at(index); }
  //! A new item appended at the end.
  CollectionItem& AddItem();
  void Delete(std::size_t index);
  void Clear();
  //! Replaces the items by copies of the source collection's items (same item class).
  void Assign(const Persistent& source) override;

  Persistent* GetOwner() const override { return owner_; }
  std::string GetNamePath() const override;

 private:
  const ClassInfo& item_class_;
  Persistent* owner_;
  std::vector<std::unique_ptr<CollectionItem>> items_;
};

//! A list of text lines; stored in form files as its "Strings" property.
class StringList : public Persistent {
  BRELIX_PERSISTENT_CLASS
 public:
  StringList() = default;
  std::vector<std::string>& Lines() { return lines_; }
  const std::vector<std::string>& Lines() const { return lines_; }
  //! The lines joined by line feeds.
  std::string Text() const;
  void SetText(std::string_view text);
  void Assign(const Persistent& source) override;
  void DefineProperties(Filer& filer) override;

 private:
  std::vector<std::string> lines_;
};

//! The name path of a sub-object: "<owner path>.<name of the owner's property holding it>",
//! or the object's class name when that cannot be found.
std::string SubObjectNamePath(const Persistent& object, Persistent* owner);

}  // namespace brelix::platform
