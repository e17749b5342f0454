#pragma once
// The text form format as a syntax tree: ParseForm turns a form file's text into a FormObject,
// PrintForm turns one back into text. Nothing here knows about components; form_reader and
// form_writer map the tree to and from objects.
//
//   object Sales: TDataModule            inherited Sales2: TSales
//     Name.Path = value                    ...
//     object Child: TClass ... end       end
//   end
//
// Values: integers (-5), floats (1.5, 2.5E-3), strings ('it''s', #13#10 codes, 'a' + 'b'),
// identifiers (True, brxoShowProgress, Orders, Module.Orders), sets [a, b], lists ( v v ),
// collections < item [index] Name = value ... end ... >, binary data { hex digits }.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/errors.h"

namespace brelix::platform {

struct FormProperty;

//! The deepest nesting ParseForm accepts and PrintForm writes: the root object is level 1, and
//! every child object, list, collection and collection item opens one more level.
inline constexpr int kMaxFormDepth = 256;

//! One item of a collection value: an optional index and its properties.
struct FormItem {
  std::optional<std::int64_t> index;
  std::vector<FormProperty> properties;
  SourcePos pos;
};

struct FormValue {
  enum class Kind { Integer, Float, String, Ident, Set, List, Collection, Binary };
  Kind kind = Kind::Integer;
  SourcePos pos;
  std::int64_t integer = 0;              //!< Integer
  double number = 0;                     //!< Float
  std::string text;                      //!< String (UTF-8, codes decoded), Ident
  std::vector<std::string> set;          //!< Set: the element identifiers in order
  std::vector<FormValue> list;           //!< List
  std::vector<FormItem> items;           //!< Collection
  std::vector<std::uint8_t> bytes;       //!< Binary

  static FormValue Integer(std::int64_t v);
  static FormValue Float(double v);
  static FormValue String(std::string v);
  static FormValue Ident(std::string v);
  static FormValue Set(std::vector<std::string> v);
  static FormValue List(std::vector<FormValue> v);
  static FormValue Collection(std::vector<FormItem> v);
  static FormValue Binary(std::vector<std::uint8_t> v);
  //! "integer", "string", "identifier", ... for messages.
  static const char* KindName(Kind kind);
};

struct FormProperty {
  std::string name;  //!< as written, dotted path included ("SQL.Strings")
  FormValue value;
  SourcePos pos;     //!< of the name
};

struct FormObject {
  bool inherited = false;  //!< "inherited" instead of "object"
  std::string name;
  std::string class_name;
  std::vector<FormProperty> properties;
  std::vector<FormObject> children;
  SourcePos pos;           //!< of the keyword
};

//! Parses one root object; file names the text in error messages. Throws EFormFileError with
//! the line and column of the offending token and what was expected there ("expected '=' but
//! found 'end'", "unterminated string", "unexpected end of file; expected 'end'", text after
//! the root object).
FormObject ParseForm(std::string_view text, const std::string& file);

//! The text of a form: two blanks of indentation per level, strings quoted with '' for quotes
//! and #n codes for control characters, strings longer than 64 characters cut into 64-character
//! pieces joined by " +" at line ends, lists and collections one element per line, binary data
//! as upper-case hex in lines of 64 digits. ParseForm(PrintForm(o)) gives o back (positions
//! aside) and PrintForm(ParseForm(PrintForm(o))) == PrintForm(o). Throws EFormFileError (with
//! no place) for a tree that has no text form: a name that is not an identifier or is a keyword,
//! a string that is not valid UTF-8, an infinite or NaN float, nesting deeper than kMaxFormDepth.
std::string PrintForm(const FormObject& root);

}  // namespace brelix::platform
