#pragma once
// The design-time host: what a designer offers to components while they are being designed.
// The designer program installs one; tests install a recording one.

#include <string>

namespace brelix::platform {

class Component;
class Persistent;

enum class MessageBoxKind { Error, Warning, Information };

class DesignHost {
 public:
  virtual ~DesignHost() = default;
  //! Shows a modal message box with a single OK button.
  virtual void ShowMessageBox(const std::string& text, MessageBoxKind kind) = 0;
  //! An object of a form open in the designer came into being (inserted) or went away.
  virtual void ObjectInserted(const Component& root, const Persistent& object) = 0;
  virtual void ObjectRemoved(const Component& root, const Persistent& object) = 0;
};

//! Installs host (null: none) and returns the previous one.
DesignHost* SetDesignHost(DesignHost* host);
DesignHost* CurrentDesignHost();

//! True when the component is open in the designer.
bool IsDesigning(const Component& component);
//! Shows a message box through the design host; without one the text goes to standard error.
void ShowMessageBox(const std::string& text, MessageBoxKind kind = MessageBoxKind::Error);
//! Tells the designer of the form that holds owner about an inserted or removed object; does
//! nothing when owner is null or its form is not being designed.
void NotifyDesigner(const Component* owner, const Persistent& object, bool inserted);

}  // namespace brelix::platform
