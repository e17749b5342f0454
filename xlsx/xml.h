#pragma once
// XML helpers shared by the package parts: parsing a part with an error that names it, escaping
// text and attribute values, printing an element back, and the _xHHHH_ escapes the format uses
// for characters XML cannot hold.

#include <pugixml.hpp>

#include <string>
#include <string_view>

namespace brelix::xlsx {

//! Parses the part's XML in place (the buffer must outlive the document). Throws EXlsxError
//! naming the file, the part, the byte offset and the parser's description when malformed or
//! when the document has no root element.
void ParseXml(pugi::xml_document& doc, std::string& buffer, std::string_view file, std::string_view part);

//! Appends text escaped for element content (&, <, >) to out; characters XML 1.0 cannot carry
//! and literal "_xHHHH_" sequences are written as _xHHHH_ escapes.
void AppendEscapedText(std::string& out, std::string_view text);
//! Appends text escaped for element content without _xHHHH_ escapes (formulas); characters
//! XML 1.0 cannot carry are left out.
void AppendEscapedPlain(std::string& out, std::string_view text);
//! Appends text escaped for a double-quoted attribute value to out.
void AppendEscapedAttribute(std::string& out, std::string_view text);
//! The text with _xHHHH_ escapes decoded.
std::string DecodeEscapes(std::string_view text);

//! The element with its attributes and children, without indentation.
std::string PrintNode(const pugi::xml_node& node);
//! The children of the element, printed one after another without indentation.
std::string PrintChildren(const pugi::xml_node& node);
//! The document with its XML declaration (standalone="yes"), without indentation.
std::string PrintDocument(const pugi::xml_document& doc);

//! The local name of an element or attribute: "x14ac:dyDescent" gives "dyDescent".
std::string_view LocalName(const char* name);
//! The first child element with the local name, ignoring its namespace prefix.
pugi::xml_node Child(const pugi::xml_node& node, std::string_view local_name);
//! The attribute with the local name, ignoring its namespace prefix.
pugi::xml_attribute Attribute(const pugi::xml_node& node, std::string_view local_name);

//! "1", "true" give true, "0", "false" and anything else false; an empty value gives fallback.
bool XmlBool(const char* value, bool fallback = false);

//! Appends the shortest text that reads back as the same double ("0.1", "1e+20"); infinities
//! and NaN, which the format cannot hold, are written as 0.
void AppendNumber(std::string& out, double value);

}  // namespace brelix::xlsx
