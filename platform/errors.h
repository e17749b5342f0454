#pragma once
// Exception classes of the platform core. Every error of the system derives from Exception and
// carries a message text; form-file errors also carry the place (file, line, column).

#include <stdexcept>
#include <string>

namespace brelix::platform {

//! Base class of every error the system raises.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
  const char* Message() const noexcept { return what(); }
};

//! An assignment between objects of kinds that cannot be assigned ("Cannot assign a X to a Y.").
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

//! A text that does not convert to a number.
class EIntegerConversionError : public Exception {
 public:
  using Exception::Exception;
};

//! A failed operating-system request (file, folder); the message holds the system's text.
class EOSError : public Exception {
 public:
  using Exception::Exception;
};

//! A file that cannot be opened, created, read or written; the message names the file.
class EFileError : public Exception {
 public:
  using Exception::Exception;
};

//! A component or object of the wrong class where a certain class is needed.
class EInvalidCast : public Exception {
 public:
  using Exception::Exception;
};

//! A component name that is not an identifier or is already used in its owner.
class EComponentError : public Exception {
 public:
  using Exception::Exception;
};

//! An internal consistency check that failed; the message names class, method and condition.
class EAssertionFailed : public Exception {
 public:
  using Exception::Exception;
};

//! Raises EAssertionFailed with the message when the condition does not hold.
inline void Assert(bool condition, const char* message) {
  if (!condition) throw EAssertionFailed(message);
}

//! A position in a form file: 1-based line and column; 0 when unknown.
struct SourcePos {
  int line = 0;
  int column = 0;
};

//! A malformed form file or one that names unknown things. what() is "file:line:column: detail".
class EFormFileError : public Exception {
 public:
  EFormFileError(std::string file, SourcePos pos, std::string detail);
  const std::string& File() const noexcept { return file_; }
  SourcePos Pos() const noexcept { return pos_; }
  //! The text without the place.
  const std::string& Detail() const noexcept { return detail_; }

 private:
  std::string file_;
  SourcePos pos_;
  std::string detail_;
};

}  // namespace brelix::platform
