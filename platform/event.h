#pragma once
// Events: callables whose first argument is the sender. An event bound from a form file also
// knows the name of the method it is bound to, so that the form can be written back.

#include <any>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "platform/errors.h"

namespace brelix::platform {

template <class Signature>
class Event;

template <class R, class... Args>
class Event<R(Args...)> {
 public:
  using Handler = std::function<R(Args...)>;

  Event() = default;
  Event(Handler handler, std::string method_name = {})
      : handler_(std::move(handler)), method_name_(std::move(method_name)) {}

  explicit operator bool() const { return static_cast<bool>(handler_); }
  R operator()(Args... args) const { return handler_(std::forward<Args>(args)...); }

  //! The name of the method the event is bound to; empty when unbound or set from code unnamed.
  const std::string& MethodName() const { return method_name_; }
  void Set(Handler handler, std::string method_name = {}) {
    handler_ = std::move(handler);
    method_name_ = std::move(method_name);
  }
  void Clear() { Set(nullptr); }
  //! Binds to a registered method; raises EConvertError when its type is not this event's.
  void Bind(const std::string& method_name, const std::any& method, const std::string& event_name) {
    const Handler* handler = std::any_cast<Handler>(&method);
    if (!handler)
      throw EConvertError("Method " + method_name + " does not match the type of event " + event_name);
    Set(*handler, method_name);
  }
  //! True when both events are unbound, or bound to the same named method.
  bool SameMethod(const Event& other) const {
    if (!handler_ || !other.handler_) return !handler_ && !other.handler_;
    return !method_name_.empty() && method_name_ == other.method_name_;
  }

 private:
  Handler handler_;
  std::string method_name_;
};

//! The methods a host offers to the event properties of a form, by name (case-insensitive).
class MethodTable {
 public:
  //! Registers a handler for events of type E (an Event<...>) under name.
  template <class E>
  void Add(std::string name, typename E::Handler handler) {
    methods_[Key(name)] = std::any(std::move(handler));
  }
  //! The registered callable, or null.
  const std::any* Find(std::string_view name) const {
    auto it = methods_.find(Key(name));
    return it == methods_.end() ? nullptr : &it->second;
  }
  bool Empty() const { return methods_.empty(); }
  void Merge(const MethodTable& other) {
    for (const auto& [k, v] : other.methods_) methods_[k] = v;
  }

 private:
  static std::string Key(std::string_view name);
  std::map<std::string, std::any, std::less<>> methods_;
};

}  // namespace brelix::platform
