#include "platform/form_syntax.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace brelix::platform {
namespace {

// A dump of a tree without positions: equal dumps mean equal trees, and a failing comparison
// shows where they differ. Floats are dumped in hex so that every bit counts (-0.0 included).
std::string Dump(const FormValue& value);

std::string Dump(const std::vector<FormProperty>& properties) {
  std::string out;
  for (const FormProperty& property : properties) {
    out += property.name + "=" + Dump(property.value) + ";";
  }
  return out;
}

std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c < 32 || c == '"' || c == '\\') out += "\\" + std::to_string(c) + "\\";
    else out += static_cast<char>(c);
  }
  return out + "\"";
}

std::string Dump(const FormValue& value) {
  switch (value.kind) {
    case FormValue::Kind::Integer: return "int(" + std::to_string(value.integer) + ")";
    case FormValue::Kind::Float: {
      char buffer[64];
      std::snprintf(buffer, sizeof buffer, "%a", value.number);
      return std::string("float(") + buffer + ")";
    }
    case FormValue::Kind::String: return "str(" + Quote(value.text) + ")";
    case FormValue::Kind::Ident: return "ident(" + value.text + ")";
    case FormValue::Kind::Set: {
      std::string out = "set(";
      for (const std::string& element : value.set) out += element + ",";
      return out + ")";
    }
    case FormValue::Kind::List: {
      std::string out = "list(";
      for (const FormValue& element : value.list) out += Dump(element) + ",";
      return out + ")";
    }
    case FormValue::Kind::Collection: {
      std::string out = "coll(";
      for (const FormItem& item : value.items) {
        out += "item";
        if (item.index) out += "[" + std::to_string(*item.index) + "]";
        out += "{" + Dump(item.properties) + "}";
      }
      return out + ")";
    }
    case FormValue::Kind::Binary: {
      std::string out = "bin(";
      for (std::uint8_t byte : value.bytes) out += std::to_string(byte) + ",";
      return out + ")";
    }
  }
  return "?";
}

std::string Dump(const FormObject& object) {
  std::string out = (object.inherited ? "inherited " : "object ") + object.name + ":" +
                    object.class_name + "{" + Dump(object.properties);
  for (const FormObject& child : object.children) out += Dump(child);
  return out + "}";
}

FormProperty Prop(std::string name, FormValue value) {
  FormProperty property;
  property.name = std::move(name);
  property.value = std::move(value);
  return property;
}

FormItem Item(std::optional<std::int64_t> index, std::vector<FormProperty> properties) {
  FormItem item;
  item.index = index;
  item.properties = std::move(properties);
  return item;
}

FormObject Obj(std::string name, std::string class_name, std::vector<FormProperty> properties,
               std::vector<FormObject> children = {}) {
  FormObject object;
  object.name = std::move(name);
  object.class_name = std::move(class_name);
  object.properties = std::move(properties);
  object.children = std::move(children);
  return object;
}

std::vector<std::uint8_t> Bytes(std::size_t count) {
  std::vector<std::uint8_t> bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(i * 37 + 5);
  return bytes;
}

std::string Repeat(const std::string& piece, std::size_t count) {
  std::string out;
  for (std::size_t i = 0; i < count; ++i) out += piece;
  return out;
}

// A form that uses every kind of value and the cases where the printer changes layout.
FormObject RichForm() {
  const std::vector<FormValue> strings = {
      FormValue::String("select * from orders"), FormValue::String("order by region, order_no")};
  FormObject orders = Obj("Orders", "TSqlQuery",
                          {Prop("Database", FormValue::Ident("Db")),
                           Prop("SQL.Strings", FormValue::List(strings)),
                           Prop("Active", FormValue::Ident("True"))});
  FormObject report = Obj(
      "Report", "TBrelix",
      {Prop("DataSet", FormValue::Ident("Module.Orders")),
       Prop("Options", FormValue::Set({"brxoTotalsAsFormula", "brxoHourCursor"})),
       Prop("Empty", FormValue::Set({})),
       Prop("Dictionary",
            FormValue::Collection(
                {Item(std::nullopt, {Prop("FieldName", FormValue::String("Title")),
                                     Prop("ValueAsString", FormValue::String("Sales 2026"))}),
                 Item(3, {Prop("Nested", FormValue::Collection({Item(-1, {})}))}),
                 Item(std::nullopt, {})})),
       Prop("None", FormValue::Collection({})),
       Prop("XLTemplate", FormValue::Binary(Bytes(70))),
       Prop("NoData", FormValue::Binary({})),
       Prop("OnGetFieldValue", FormValue::Ident("ReportGetFieldValue"))});
  FormObject inherited = Obj("Copy", "TCopy", {});
  inherited.inherited = true;
  return Obj(
      "Sales", "TDataModule",
      {Prop("Count", FormValue::Integer(5)),
       Prop("Min", FormValue::Integer(std::numeric_limits<std::int64_t>::min())),
       Prop("Max", FormValue::Integer(std::numeric_limits<std::int64_t>::max())),
       Prop("Ratio", FormValue::Float(1.5)),
       Prop("Tiny", FormValue::Float(-2.5e-300)),
       Prop("Whole", FormValue::Float(2.0)),
       Prop("Zero", FormValue::Float(-0.0)),
       Prop("Quote", FormValue::String("it's")),
       Prop("Lines", FormValue::String("a\r\nb\t")),
       Prop("Codes", FormValue::String("\r\n")),
       Prop("Nothing", FormValue::String("")),
       Prop("Nul", FormValue::String(std::string("x\0y", 3))),
       Prop("Unicode", FormValue::String("Grüße 😀 日本")),
       Prop("Long", FormValue::String(Repeat("ä'😀#\n", 40))),
       Prop("Mixed", FormValue::List({FormValue::Integer(1), FormValue::Float(0.1),
                                      FormValue::String(Repeat("x", 130)), FormValue::List({}),
                                      FormValue::List({FormValue::Ident("a"),
                                                       FormValue::Binary(Bytes(3))}),
                                      FormValue::Set({"s"}),
                                      FormValue::Collection({Item(0, {})})}))},
      {orders, report, inherited});
}

TEST(FormSyntax, RichFormRoundTrips) {
  const FormObject form = RichForm();
  const std::string text = PrintForm(form);
  const FormObject parsed = ParseForm(text, "rich.form");
  EXPECT_EQ(Dump(parsed), Dump(form));
  EXPECT_EQ(PrintForm(parsed), text);
}

// The layout the printer writes, with every kind of nesting.
const std::string kExample =
    "object Sales: TDataModule\n"
    "  object Orders: TSqlQuery\n"
    "    Database = Db\n"
    "    SQL.Strings = (\n"
    "      'select * from orders'\n"
    "      'order by region, order_no')\n"
    "    Count = 5\n"
    "    Ratio = 1.5\n"
    "    Options = [brxoTotalsAsFormula, brxoHourCursor]\n"
    "    Empty = []\n"
    "  end\n"
    "  object Report: TBrelix\n"
    "    Dictionary = <\n"
    "      item\n"
    "        FieldName = 'Title'\n"
    "        ValueAsString = 'Sales 2026'\n"
    "      end\n"
    "      item [3]\n"
    "        FieldName = 'X'\n"
    "      end>\n"
    "    None = <>\n"
    "    XLTemplate = {\n"
    "      0400000001020304}\n"
    "  end\n"
    "end\n";

// Texts in the printer's layout: each must read and print back unchanged.
TEST(FormSyntax, PrinterLayoutIsAFixedPoint) {
  const std::vector<std::string> texts = {
      kExample,
      "inherited Copy: TSales\nend\n",
      "object A: T\n"
      "  object B: T\n"
      "    L = (\n"
      "      'short'\n"
      "      '" + Repeat("x", 64) + "' +\n"
      "          'y'\n"
      "      <\n"
      "        item [-2]\n"
      "          S = '" + Repeat("é", 64) + "' +\n"
      "              '" + Repeat("é", 64) + "' +\n"
      "              'z'#13#10\n"
      "        end>)\n"
      "  end\n"
      "end\n",
  };
  for (const std::string& text : texts) {
    EXPECT_EQ(PrintForm(ParseForm(text, "layout.form")), text);
  }
}

struct ValueCase {
  std::string text;      // as written after "V = " on a property line indented one level
  FormValue expected;
  bool canonical;        // the printer writes the value exactly like this
};

TEST(FormSyntax, ValuesDecodeAndPrint) {
  const std::string hex64 = Repeat("0123456789ABCDEF", 4);
  std::vector<std::uint8_t> bytes33;
  for (int i = 0; i < 4; ++i) {
    for (std::uint8_t b : {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}) bytes33.push_back(b);
  }
  bytes33.push_back(0x7F);
  const std::vector<ValueCase> cases = {
      {"5", FormValue::Integer(5), true},
      {"-5", FormValue::Integer(-5), true},
      {"-9223372036854775808", FormValue::Integer(std::numeric_limits<std::int64_t>::min()), true},
      {"9223372036854775807", FormValue::Integer(std::numeric_limits<std::int64_t>::max()), true},
      {"$FF", FormValue::Integer(255), false},
      {"-$1a", FormValue::Integer(-26), false},
      {"1.5", FormValue::Float(1.5), true},
      {"-2.5E-3", FormValue::Float(-2.5e-3), false},
      {"-0.0025", FormValue::Float(-2.5e-3), true},
      {"1E10", FormValue::Float(1e10), true},
      {"1e+10", FormValue::Float(1e10), false},
      {"1.5E-7", FormValue::Float(1.5e-7), true},
      {"2.0", FormValue::Float(2.0), true},
      {"-0.0", FormValue::Float(-0.0), true},
      {"0.1", FormValue::Float(0.1), true},
      {"123456789012.0", FormValue::Float(123456789012.0), true},
      {"5E-324", FormValue::Float(std::numeric_limits<double>::denorm_min()), true},
      {"1.7976931348623157E308", FormValue::Float(std::numeric_limits<double>::max()), true},
      {"''", FormValue::String(""), true},
      {"'it''s'", FormValue::String("it's"), true},
      {"''''", FormValue::String("'"), true},
      {"'a'#13#10'b'", FormValue::String("a\r\nb"), true},
      {"#13#10", FormValue::String("\r\n"), true},
      {"#9'x'", FormValue::String("\tx"), true},
      {"#0", FormValue::String(std::string(1, '\0')), true},
      {"#$41#66", FormValue::String("AB"), false},
      {"#233", FormValue::String("é"), false},
      {"#55357#56832", FormValue::String("😀"), false},
      {"'Grüße 😀 日本'", FormValue::String("Grüße 😀 日本"), true},
      {"'abc' +\n  'def'", FormValue::String("abcdef"), false},
      {"'a' + #13 + 'b'", FormValue::String("a\rb"), false},
      {"'" + Repeat("x", 64) + "'", FormValue::String(Repeat("x", 64)), true},
      {"'" + Repeat("x", 64) + "' +\n      'y'", FormValue::String(Repeat("x", 64) + "y"), true},
      {"'" + Repeat("ä", 64) + "' +\n      '😀'", FormValue::String(Repeat("ä", 64) + "😀"), true},
      {"'" + Repeat("a", 63) + "''' +\n      #13#10",
       FormValue::String(Repeat("a", 63) + "'\r\n"), true},
      {"True", FormValue::Ident("True"), true},
      {"Module.Orders", FormValue::Ident("Module.Orders"), true},
      {"[]", FormValue::Set({}), true},
      {"[a, b]", FormValue::Set({"a", "b"}), true},
      {"[ a ,b ]", FormValue::Set({"a", "b"}), false},
      {"()", FormValue::List({}), true},
      {"(\n    'a'\n    'b')", FormValue::List({FormValue::String("a"), FormValue::String("b")}),
       true},
      {"( 1 -2.5 x [a] ('n') )",
       FormValue::List({FormValue::Integer(1), FormValue::Float(-2.5), FormValue::Ident("x"),
                        FormValue::Set({"a"}), FormValue::List({FormValue::String("n")})}),
       false},
      {"(\n    (\n      1\n      2)\n    3)",
       FormValue::List({FormValue::List({FormValue::Integer(1), FormValue::Integer(2)}),
                        FormValue::Integer(3)}),
       true},
      {"<>", FormValue::Collection({}), true},
      {"<\n    item\n      FieldName = 'Title'\n    end\n    item [3]\n    end>",
       FormValue::Collection({Item(std::nullopt, {Prop("FieldName", FormValue::String("Title"))}),
                              Item(3, {})}),
       true},
      {"<item[-1]X=1 end>", FormValue::Collection({Item(-1, {Prop("X", FormValue::Integer(1))})}),
       false},
      {"{}", FormValue::Binary({}), true},
      {"{\n    0400000001020304}", FormValue::Binary({4, 0, 0, 0, 1, 2, 3, 4}), true},
      {"{ 0A\n 0b \t C\r\n0 }", FormValue::Binary({0x0A, 0x0B, 0xC0}), false},
      {"{" + hex64 + "7F}", FormValue::Binary(bytes33), false},
      {"{\n    " + hex64 + "\n    7F}", FormValue::Binary(bytes33), true},
  };
  for (const ValueCase& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string text = "object A: T\n  V = " + c.text + "\nend\n";
    FormObject form;
    ASSERT_NO_THROW(form = ParseForm(text, "values.form"));
    ASSERT_EQ(form.properties.size(), 1u);
    EXPECT_EQ(Dump(form.properties[0].value), Dump(c.expected));
    const std::string printed = PrintForm(form);
    if (c.canonical) {
      EXPECT_EQ(printed, text);
    }
    EXPECT_EQ(Dump(ParseForm(printed, "values.form")), Dump(form));
  }
}

TEST(FormSyntax, BinaryLinesHoldSixtyFourDigits) {
  const std::string printed =
      PrintForm(Obj("A", "T", {Prop("B", FormValue::Binary(std::vector<std::uint8_t>(33, 0xAB)))}));
  EXPECT_EQ(printed, "object A: T\n  B = {\n    " + Repeat("AB", 32) + "\n    AB}\nend\n");
}

TEST(FormSyntax, PositionsPointAtTheTokens) {
  const FormObject form = ParseForm(
      "object A: T\n"
      "  P = (\n"
      "    5)\n"
      "  C = <\n"
      "    item\n"
      "      Q = 'x'\n"
      "    end>\n"
      "  object B: T\n"
      "  end\n"
      "end\n",
      "pos.form");
  auto at = [](SourcePos pos) {
    return std::to_string(pos.line) + ":" + std::to_string(pos.column);
  };
  EXPECT_EQ(at(form.pos), "1:1");
  EXPECT_EQ(at(form.properties[0].pos), "2:3");
  EXPECT_EQ(at(form.properties[0].value.pos), "2:7");
  EXPECT_EQ(at(form.properties[0].value.list[0].pos), "3:5");
  EXPECT_EQ(at(form.properties[1].value.items[0].pos), "5:5");
  EXPECT_EQ(at(form.properties[1].value.items[0].properties[0].value.pos), "6:11");
  EXPECT_EQ(at(form.children[0].pos), "8:3");
}

struct ErrorCase {
  std::string text;
  int line;
  int column;
  std::string detail;  // a part of the message
};

void ExpectFormError(const std::string& text, int line, int column, const std::string& detail) {
  try {
    ParseForm(text, "bad.form");
    ADD_FAILURE() << "no error";
  } catch (const EFormFileError& error) {
    EXPECT_EQ(error.File(), "bad.form");
    EXPECT_EQ(error.Pos().line, line) << error.what();
    EXPECT_EQ(error.Pos().column, column) << error.what();
    EXPECT_NE(error.Detail().find(detail), std::string::npos) << error.what();
  }
}

TEST(FormSyntax, MalformedTextsFailAtTheOffendingToken) {
  const std::vector<ErrorCase> cases = {
      {"", 1, 1, "unexpected end of file; expected 'object' or 'inherited'"},
      {"X = 1", 1, 1, "expected 'object' or 'inherited' but found 'X'"},
      {"object : T\nend\n", 1, 8, "expected an identifier after 'object' but found ':'"},
      {"inherited 5: T\nend\n", 1, 11, "expected an identifier after 'inherited' but found '5'"},
      {"object A\n  X = 1\nend\n", 2, 3, "expected ':' after the object name but found 'X'"},
      {"object A:\nend\n", 2, 1, "expected a class name after ':' but found 'end'"},
      {"object A: T\n  X\nend\n", 3, 1, "expected '=' but found 'end'"},
      {"object A: T\n  X 5\nend\n", 2, 5, "expected '=' but found '5'"},
      {"object A: T\n  X = 1\n", 3, 1, "unexpected end of file; expected 'end'"},
      {"object A: T\n  X =\nend", 3, 1, "expected a value but found 'end'"},
      {"object A: T\n  L = ( 1 object )\nend\n", 2, 11,
       "expected a value or ')' but found 'object'"},
      {"object A: T\n  X =", 2, 6, "unexpected end of file; expected a value"},
      {"object A: T\n  = 1\nend\n", 2, 3,
       "expected a property name, 'object', 'inherited' or 'end' but found '='"},
      {"object A: T\n  object B: T\n  end\n  X = 1\nend\n", 4, 3,
       "expected 'object', 'inherited' or 'end' but found 'X'"},
      {"object A: T\nend\nx", 3, 1, "text after the end of the root object"},
      {"object A: T\nend\n%", 3, 1, "text after the end of the root object"},
      {"object A: T\n  S = 'abc\nend\n", 2, 7, "unterminated string"},
      {"object A: T\n  S = 'abc", 2, 7, "unterminated string"},
      {"object A: T\n  S = 'a' +\nend\n", 3, 1, "expected a string after '+' but found 'end'"},
      {"object A: T\n  S = #\nend\n", 2, 7, "expected a character code after '#'"},
      {"object A: T\n  S = #1114112\nend\n", 2, 7, "character code out of range"},
      {"object A: T\n  S = #55357'x'\nend\n", 2, 7, "unpaired surrogate #55357"},
      {"object A: T\n  S = '\xC3('\nend\n", 2, 8, "invalid UTF-8 in a string"},
      {"object A: T\n  S = 'ää' %\nend\n", 2, 12, "unexpected character '%'"},
      {"object A: T\r\n  X\r\nend\r\n", 3, 1, "expected '=' but found 'end'"},
      {"object A: T\n  X = \x01\nend\n", 2, 7, "unexpected character #1"},
      {"object A: T\n  X = 9223372036854775808\nend\n", 2, 7, "integer out of range"},
      {"object A: T\n  X = -9223372036854775809\nend\n", 2, 7, "integer out of range"},
      {"object A: T\n  X = 1E999\nend\n", 2, 7, "float out of range"},
      {"object A: T\n  X = 1.\nend\n", 2, 9, "expected a digit after '.'"},
      {"object A: T\n  X = 1E\nend\n", 2, 9, "expected a digit in the exponent"},
      {"object A: T\n  X = 12ab\nend\n", 2, 9, "unexpected character 'a' in a number"},
      {"object A: T\n  X = - 1\nend\n", 2, 7, "expected a number after '-'"},
      {"object A: T\n  X = Module.\nend\n", 2, 14, "expected an identifier after '.'"},
      {"object A: T\n  B = {\n    0G}\nend\n", 3, 6, "invalid hex digit 'G' in binary value"},
      {"object A: T\n  B = {ABC}\nend\n", 2, 11, "odd number of hex digits in binary value"},
      {"object A: T\n  B = {00", 2, 7, "unterminated binary value"},
      {"object A: T\n  E = [a b]\nend\n", 2, 10, "expected ',' or ']' but found 'b'"},
      {"object A: T\n  E = [a,]\nend\n", 2, 10, "expected an identifier in the set but found ']'"},
      {"object A: T\n  E = [a", 2, 9, "unexpected end of file; expected ']'"},
      {"object A: T\n  L = ( 1 = )\nend\n", 2, 11, "expected a value or ')' but found '='"},
      {"object A: T\n  L = ( 1", 2, 10, "unexpected end of file; expected ')'"},
      {"object A: T\n  C = < X = 1 >\nend\n", 2, 9, "expected 'item' or '>' but found 'X'"},
      {"object A: T\n  C = <item [x] end>\nend\n", 2, 14,
       "expected an item index after '[' but found 'x'"},
      {"object A: T\n  C = <item [1 end>\nend\n", 2, 16, "expected ']' after the item index"},
      {"object A: T\n  C = <item 5 end>\nend\n", 2, 13,
       "expected a property name or 'end' but found '5'"},
      {"object A: T\n  C = <item\n", 3, 1, "unexpected end of file; expected 'end'"},
      {"object A: T\n  C = <item end\n", 3, 1, "unexpected end of file; expected '>'"},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.text);
    ExpectFormError(c.text, c.line, c.column, c.detail);
  }
}

TEST(FormSyntax, NestingIsLimited) {
  // Objects: the root is level 1, so kMaxFormDepth - 1 nested children are allowed.
  auto objects = [](int levels) {
    std::string text;
    for (int i = 0; i < levels; ++i) text += "object A: T\n";
    for (int i = 0; i < levels; ++i) text += "end\n";
    return text;
  };
  EXPECT_NO_THROW(ParseForm(objects(kMaxFormDepth), "deep.form"));
  ExpectFormError(objects(kMaxFormDepth + 1), kMaxFormDepth + 1, 1,
                  "nesting deeper than 256 levels");

  auto lists = [](int count) {
    return "object A: T\n  V = " + Repeat("(", count) + Repeat(")", count) + "\nend\n";
  };
  const FormObject deepest = ParseForm(lists(kMaxFormDepth - 1), "deep.form");
  EXPECT_EQ(PrintForm(ParseForm(PrintForm(deepest), "deep.form")), PrintForm(deepest));
  ExpectFormError(lists(kMaxFormDepth), 2, 7 + kMaxFormDepth - 1, "nesting deeper than");

  // Hostile input far beyond the limit fails quickly without exhausting the stack.
  ExpectFormError(lists(1000000), 2, 7 + kMaxFormDepth - 1, "nesting deeper than");
  ExpectFormError(objects(100000), kMaxFormDepth + 1, 1, "nesting deeper than");
  ExpectFormError("object A: T\n  V = " + Repeat("<item V = ", 100000), 2,
                  8 + 10 * (kMaxFormDepth / 2 - 1), "nesting deeper than");
}

TEST(FormSyntax, EveryTruncationAndCorruptionFailsCleanly) {
  const std::string text = PrintForm(RichForm());
  // Every cut before the root's "end" is complete leaves the form unfinished.
  for (std::size_t length = 0; length + 1 < text.size(); ++length) {
    try {
      ParseForm(text.substr(0, length), "cut.form");
      ADD_FAILURE() << "no error for a cut at " << length;
    } catch (const EFormFileError& error) {
      EXPECT_GE(error.Pos().line, 1);
      EXPECT_GE(error.Pos().column, 1);
    }
  }
  // A corrupted byte anywhere either still reads or raises EFormFileError; nothing else.
  for (std::size_t i = 0; i < kExample.size(); ++i) {
    for (char c : {'\'', '#', '(', '<', '{', '[', '+', '\0', '\xFF'}) {
      std::string corrupted = kExample;
      corrupted[i] = c;
      try {
        ParseForm(corrupted, "corrupt.form");
      } catch (const EFormFileError&) {
      }
    }
  }
}

TEST(FormSyntax, PrinterRejectsTreesWithoutATextForm) {
  const std::vector<std::pair<std::string, std::function<void(FormObject&)>>> cases = {
      {"empty object name", [](FormObject& o) { o.name.clear(); }},
      {"dotted object name", [](FormObject& o) { o.name = "A.B"; }},
      {"keyword class name", [](FormObject& o) { o.class_name = "end"; }},
      {"keyword property name", [](FormObject& o) { o.properties[0].name = "Object"; }},
      {"property name with a blank", [](FormObject& o) { o.properties[0].name = "A B"; }},
      {"bad identifier value",
       [](FormObject& o) { o.properties[0].value = FormValue::Ident("1x"); }},
      {"keyword value", [](FormObject& o) { o.properties[0].value = FormValue::Ident("End"); }},
      {"bad set element", [](FormObject& o) { o.properties[0].value = FormValue::Set({"a", ""}); }},
      {"invalid UTF-8", [](FormObject& o) { o.properties[0].value = FormValue::String("a\xC3"); }},
      {"NaN", [](FormObject& o) { o.properties[0].value = FormValue::Float(std::nan("")); }},
      {"infinity",
       [](FormObject& o) {
         o.properties[0].value = FormValue::Float(std::numeric_limits<double>::infinity());
       }},
      {"too deep",
       [](FormObject& o) {
         FormValue value = FormValue::List({});
         for (int i = 0; i < kMaxFormDepth; ++i) value = FormValue::List({value});
         o.properties[0].value = value;
       }},
  };
  for (const auto& [name, spoil] : cases) {
    SCOPED_TRACE(name);
    FormObject form = Obj("A", "T", {Prop("P", FormValue::Integer(1))});
    spoil(form);
    EXPECT_THROW(PrintForm(form), EFormFileError);
  }
}

}  // namespace
}  // namespace brelix::platform
