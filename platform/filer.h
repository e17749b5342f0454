#pragma once
// The filer: what an object sees of the form reader or writer when it declares the properties
// it stores beside its published ones (DefineProperties).

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/class_info.h"
#include "platform/form_syntax.h"

namespace brelix::platform {

class Component;

//! Handed to the reader of a defined property.
class PropertyReader {
 public:
  virtual ~PropertyReader() = default;
  //! The value the form file holds for the property.
  virtual const FormValue& Value() const = 0;
  //! Reads value into a published property of target, as the form reader does for published
  //! properties (component references and methods are resolved through the form's root).
  virtual void ReadProperty(Persistent& target, const PropertyInfo& property, const FormValue& value) = 0;
  //! Errors thrown after this call are reported at pos.
  virtual void Mark(SourcePos pos) = 0;
  //! The component being read (owner of the object whose property this is).
  virtual Component& ReadingComponent() = 0;
};

//! Handed to the writer of a defined property.
class PropertyWriter {
 public:
  virtual ~PropertyWriter() = default;
  //! The value of a published property of object as the form writer would write it, or nothing
  //! when it is equal to its default (or to the ancestor's value) or not stored.
  virtual std::optional<FormValue> WriteProperty(const Persistent& object, const PropertyInfo& property,
                                                 const Persistent* ancestor) = 0;
};

class Filer {
 public:
  virtual ~Filer() = default;
  //! The same object in the ancestor form while an inherited form is written; null otherwise
  //! (always null while reading).
  virtual const Persistent* Ancestor() const = 0;
  //! Declares a property written by write when has_data, and read by read.
  virtual void DefineProperty(std::string_view name, const std::function<void(PropertyReader&)>& read,
                              const std::function<FormValue(PropertyWriter&)>& write, bool has_data) = 0;
  //! Declares a property of raw bytes.
  virtual void DefineBinaryProperty(std::string_view name,
                                    const std::function<void(std::span<const std::uint8_t>)>& read,
                                    const std::function<std::vector<std::uint8_t>()>& write,
                                    bool has_data) = 0;
};

}  // namespace brelix::platform
