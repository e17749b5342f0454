#pragma once
// Persistent objects and their published properties.
//
// Every persistent class describes itself with a ClassInfo: its name, its parent class, how to
// create an instance (for classes a form file may name) and its published properties in
// declaration order. Form files, the designer and lookups by property name all work from this
// one description.

#include <any>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace brelix::platform {

class ClassInfo;
class Component;
class Filer;

//! An object that can be stored in a form file and assigned from another of its kind.
class Persistent {
 public:
  Persistent() = default;
  Persistent(const Persistent&) = delete;
  Persistent& operator=(const Persistent&) = delete;
  virtual ~Persistent() = default;

  static const ClassInfo& StaticClass();
  virtual const ClassInfo& Class() const { return StaticClass(); }
  const std::string& ClassName() const;
  //! True when the object's class is cls or derives from it.
  bool InheritsFrom(const ClassInfo& cls) const;

  //! Copies source into this object: by default source.AssignTo(*this), which refuses.
  virtual void Assign(const Persistent& source);
  //! Copies this object into dest; by default raises EConvertError
  //! "Cannot assign a <this class> to a <dest class>.".
  virtual void AssignTo(Persistent& dest) const;
  //! Declares the properties the object stores beside its published ones.
  virtual void DefineProperties(Filer& filer);
  //! The object this one belongs to (for name paths), or null.
  virtual Persistent* GetOwner() const { return nullptr; }
  //! The dotted name that designers and messages use for the object; the class name by default.
  virtual std::string GetNamePath() const;
};

//! The kinds of published properties.
enum class PropertyType { Integer, Float, String, Char, Boolean, Enumeration, Set, Component, Object, Method };

//! A published property value: integers, enumeration ordinals and set bit masks as int64, floats
//! as double, strings, characters (a one-character string) and method names as text, booleans,
//! component references and sub-objects as pointers.
using PropertyValue = std::variant<std::monostate, std::int64_t, double, bool, std::string, Component*, Persistent*>;

//! One published property: its name and type, how to read and write it, its default.
struct PropertyInfo {
  std::string name;
  PropertyType type = PropertyType::Integer;
  //! Element names of an enumeration or set, by ordinal.
  std::vector<std::string> elements;
  //! The class a referenced component must have (Component) or the class of the sub-object
  //! (Object); a function, so that a class may refer to itself.
  const ClassInfo& (*reference_class)() = nullptr;
  const ClassInfo* ReferenceClass() const { return reference_class ? &reference_class() : nullptr; }
  std::function<PropertyValue(const Persistent&)> get;
  //! Empty for read-only properties.
  std::function<void(Persistent&, const PropertyValue&)> set;
  //! Binds a method property to a method by name: method is the registered callable, or null to
  //! clear; a callable of the wrong type raises EConvertError.
  std::function<void(Persistent&, const std::string& name, const std::any* method)> bind_method;
  //! A value equal to the default is not written. Strings, characters, references and methods
  //! default to empty/none; other types without a default are always written.
  std::optional<PropertyValue> default_value;
  //! Whether the property is written at all; empty means always.
  std::function<bool(const Persistent&)> stored;

  bool IsReadOnly() const { return !set && !bind_method; }
  bool IsStored(const Persistent& object) const { return !stored || stored(object); }
  //! The default value that decides whether a value is written, if the property has one.
  std::optional<PropertyValue> EffectiveDefault() const;

  PropertyInfo& Default(PropertyValue value) {
    default_value = std::move(value);
    return *this;
  }
  PropertyInfo& NotStored() {
    stored = [](const Persistent&) { return false; };
    return *this;
  }
};

//! A class of persistent objects: name, parent, factory and published properties.
class ClassInfo {
 public:
  using Factory = std::function<std::unique_ptr<Persistent>()>;

  ClassInfo(std::string name, const ClassInfo* parent, Factory factory = nullptr);
  ClassInfo(ClassInfo&&) = default;
  ClassInfo(const ClassInfo&) = delete;
  ClassInfo& operator=(const ClassInfo&) = delete;

  const std::string& Name() const { return name_; }
  const ClassInfo* Parent() const { return parent_; }
  bool InheritsFrom(const ClassInfo& other) const;
  //! A new instance, or null for classes that cannot be created by name.
  std::unique_ptr<Persistent> Create() const { return factory_ ? factory_() : nullptr; }
  bool CanCreate() const { return static_cast<bool>(factory_); }

  //! Every published property, those of the parent classes first, in declaration order.
  std::vector<const PropertyInfo*> Properties() const;
  //! The published property of that name (case-insensitive), or null.
  const PropertyInfo* FindProperty(std::string_view name) const;

  PropertyInfo& Add(PropertyInfo property);

 private:
  std::string name_;
  const ClassInfo* parent_;
  Factory factory_;
  std::vector<std::unique_ptr<PropertyInfo>> properties_;
};

//! Makes the class known by name to form files; returns true so it can initialise a static.
bool RegisterClass(const ClassInfo& cls);
//! The registered class of that name (case-insensitive), or null.
const ClassInfo* FindClass(std::string_view name);

//! Reads a published property by name; throws EConvertError naming the property when the
//! object's class has none of that name.
PropertyValue GetPropertyValue(const Persistent& object, std::string_view name);
//! Writes a published property by name; throws EConvertError when it is unknown or read-only.
void SetPropertyValue(Persistent& object, std::string_view name, const PropertyValue& value);

// ---------------------------------------------------------------------------------------------
// Property declarations: typed builders that turn member functions into PropertyInfo entries.

template <class C>
class PropertyList {
 public:
  explicit PropertyList(ClassInfo& info) : info_(info) {}

  template <class G, class S>
  PropertyInfo& String(std::string name, G get, S set) {
    return Typed<std::string>(std::move(name), PropertyType::String, get, set);
  }
  template <class G, class S>
  PropertyInfo& Integer(std::string name, G get, S set) {
    PropertyInfo p = Base(std::move(name), PropertyType::Integer);
    p.get = [get](const Persistent& o) -> PropertyValue { return std::int64_t{std::invoke(get, Self(o))}; };
    p.set = [set](Persistent& o, const PropertyValue& v) {
      std::invoke(set, Self(o), static_cast<int>(std::get<std::int64_t>(v)));
    };
    return info_.Add(std::move(p));
  }
  template <class G, class S>
  PropertyInfo& Float(std::string name, G get, S set) {
    return Typed<double>(std::move(name), PropertyType::Float, get, set);
  }
  template <class G, class S>
  PropertyInfo& Boolean(std::string name, G get, S set) {
    return Typed<bool>(std::move(name), PropertyType::Boolean, get, set);
  }
  //! A read-only boolean (set is not given).
  template <class G>
  PropertyInfo& ReadOnlyBoolean(std::string name, G get) {
    PropertyInfo p = Base(std::move(name), PropertyType::Boolean);
    p.get = [get](const Persistent& o) -> PropertyValue { return bool{std::invoke(get, Self(o))}; };
    return info_.Add(std::move(p));
  }
  template <class G, class S>
  PropertyInfo& Char(std::string name, G get, S set) {
    PropertyInfo p = Base(std::move(name), PropertyType::Char);
    p.get = [get](const Persistent& o) -> PropertyValue { return std::string(1, std::invoke(get, Self(o))); };
    p.set = [set](Persistent& o, const PropertyValue& v) {
      const auto& s = std::get<std::string>(v);
      std::invoke(set, Self(o), s.empty() ? '\0' : s[0]);
    };
    return info_.Add(std::move(p));
  }
  //! An enumeration whose C++ type E converts to and from its ordinal.
  template <class E, class G, class S>
  PropertyInfo& Enumeration(std::string name, std::vector<std::string> elements, G get, S set) {
    PropertyInfo p = Base(std::move(name), PropertyType::Enumeration);
    p.elements = std::move(elements);
    p.get = [get](const Persistent& o) -> PropertyValue {
      return static_cast<std::int64_t>(std::invoke(get, Self(o)));
    };
    p.set = [set](Persistent& o, const PropertyValue& v) {
      std::invoke(set, Self(o), static_cast<E>(std::get<std::int64_t>(v)));
    };
    return info_.Add(std::move(p));
  }
  //! A set stored as a bit mask (bit n for the element of ordinal n).
  template <class G, class S>
  PropertyInfo& Set(std::string name, std::vector<std::string> elements, G get, S set) {
    PropertyInfo p = Base(std::move(name), PropertyType::Set);
    p.elements = std::move(elements);
    p.get = [get](const Persistent& o) -> PropertyValue {
      return static_cast<std::int64_t>(std::invoke(get, Self(o)));
    };
    p.set = [set](Persistent& o, const PropertyValue& v) {
      std::invoke(set, Self(o), static_cast<unsigned>(std::get<std::int64_t>(v)));
    };
    return info_.Add(std::move(p));
  }
  //! A reference to a component of class T (or derived), owned elsewhere.
  template <class T, class G, class S>
  PropertyInfo& Reference(std::string name, G get, S set) {
    PropertyInfo p = Base(std::move(name), PropertyType::Component);
    p.reference_class = &T::StaticClass;
    p.get = [get](const Persistent& o) -> PropertyValue {
      return static_cast<Component*>(std::invoke(get, Self(o)));
    };
    p.set = [set](Persistent& o, const PropertyValue& v) {
      std::invoke(set, Self(o), dynamic_cast<T*>(std::get<Component*>(v)));
    };
    return info_.Add(std::move(p));
  }
  //! A sub-object of class T owned by the object; set (may be null) assigns its content.
  template <class T, class G, class S>
  PropertyInfo& Object(std::string name, G get, S set) {
    PropertyInfo p = Base(std::move(name), PropertyType::Object);
    p.reference_class = &T::StaticClass;
    p.get = [get](const Persistent& o) -> PropertyValue {
      return static_cast<Persistent*>(const_cast<T*>(&std::invoke(get, Self(o))));
    };
    if constexpr (!std::is_same_v<S, std::nullptr_t>) {
      p.set = [set](Persistent& o, const PropertyValue& v) {
        std::invoke(set, Self(o), dynamic_cast<const T&>(*std::get<Persistent*>(v)));
      };
    }
    return info_.Add(std::move(p));
  }
  //! An event member of type Event<...>; stored as the name of the method it is bound to.
  template <class E>
  PropertyInfo& Event(std::string name, E C::*member) {
    PropertyInfo p = Base(std::move(name), PropertyType::Method);
    p.get = [member](const Persistent& o) -> PropertyValue { return (Self(o).*member).MethodName(); };
    std::string event_name = p.name;
    p.bind_method = [member, event_name](Persistent& o, const std::string& method_name, const std::any* method) {
      auto& event = static_cast<C&>(o).*member;
      if (!method) {
        event.Clear();
        return;
      }
      event.Bind(method_name, *method, event_name);
    };
    return info_.Add(std::move(p));
  }

 private:
  static const C& Self(const Persistent& o) { return static_cast<const C&>(o); }
  static C& Self(Persistent& o) { return static_cast<C&>(o); }
  static PropertyInfo Base(std::string name, PropertyType type) {
    PropertyInfo p;
    p.name = std::move(name);
    p.type = type;
    return p;
  }
  template <class V, class G, class S>
  PropertyInfo& Typed(std::string name, PropertyType type, G get, S set) {
    PropertyInfo p = Base(std::move(name), type);
    p.get = [get](const Persistent& o) -> PropertyValue { return V(std::invoke(get, Self(o))); };
    p.set = [set](Persistent& o, const PropertyValue& v) { std::invoke(set, Self(o), std::get<V>(v)); };
    return info_.Add(std::move(p));
  }

  ClassInfo& info_;
};

}  // namespace brelix::platform

//! Declares the class description of a persistent class; define StaticClass() in the .cpp.
#define BRELIX_PERSISTENT_CLASS                                     \
 public:                                                            \
  static const ::brelix::platform::ClassInfo& StaticClass();        \
  const ::brelix::platform::ClassInfo& Class() const override { return StaticClass(); }
