#pragma once
// Test helpers shared by the suites: the user's language for one scope, and the message of an
// expected exception.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/locale.h"

namespace brelix::testing {

//! Sets the user's language for the lifetime of the object and restores the previous one.
class ScopedLocale {
 public:
  explicit ScopedLocale(const char* tag) : old_(platform::CurrentLocale().tag) { platform::SetCurrentLocale(tag); }
  ~ScopedLocale() { platform::SetCurrentLocale(old_); }
  ScopedLocale(const ScopedLocale&) = delete;
  ScopedLocale& operator=(const ScopedLocale&) = delete;

 private:
  std::string old_;
};

//! The message of the exception of type E that action throws; a test failure when it throws none.
template <class E>
std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const E& e) {
    return e.what();
  }
  ADD_FAILURE() << "no exception of the expected type thrown";
  return {};
}

}  // namespace brelix::testing
