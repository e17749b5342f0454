#include "xlsx/xml.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "xlsx/errors.h"

namespace brelix::xlsx {

namespace {

struct StringWriter : pugi::xml_writer {
  std::string& out;
  explicit StringWriter(std::string& o) : out(o) {}
  void write(const void* data, size_t size) override { out.append(static_cast<const char*>(data), size); }
};

constexpr unsigned kPrintFlags = pugi::format_raw | pugi::format_no_declaration;

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// True when text[i..] is "_xHHHH_".
bool IsEscapeAt(std::string_view text, std::size_t i) {
  return i + 7 <= text.size() && text[i] == '_' && text[i + 1] == 'x' && IsHex(text[i + 2]) && IsHex(text[i + 3]) &&
         IsHex(text[i + 4]) && IsHex(text[i + 5]) && text[i + 6] == '_';
}

void AppendHexEscape(std::string& out, unsigned code) {
  static const char digits[] = "0123456789ABCDEF";
  out += "_x";
  for (int shift = 12; shift >= 0; shift -= 4) out += digits[(code >> shift) & 0xF];
  out += '_';
}

}  // namespace

void ParseXml(pugi::xml_document& doc, std::string& buffer, std::string_view file, std::string_view part) {
  const unsigned options = pugi::parse_default | pugi::parse_ws_pcdata_single;
  const pugi::xml_parse_result result = doc.load_buffer_inplace(buffer.data(), buffer.size(), options);
  if (!result)
    throw EXlsxError("Malformed XML in part " + std::string(part) + " of file \"" + std::string(file) +
                     "\" at byte offset " + std::to_string(result.offset) + ": " + result.description());
  if (!doc.document_element())
    throw EXlsxError("Part " + std::string(part) + " of file \"" + std::string(file) + "\" holds no XML element");
}

void AppendEscapedText(std::string& out, std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '_':
        if (IsEscapeAt(text, i)) out += "_x005F";
        out += '_';
        break;
      default:
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
          AppendHexEscape(out, c);
        else
          out += static_cast<char>(c);
    }
  }
}

void AppendEscapedPlain(std::string& out, std::string_view text) {
  for (const char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default:
        if (c >= 0x20 || c == '\t' || c == '\n' || c == '\r') out += ch;
    }
  }
}

void AppendEscapedAttribute(std::string& out, std::string_view text) {
  for (const char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\n': out += "&#10;"; break;
      case '\r': out += "&#13;"; break;
      case '\t': out += "&#9;"; break;
      default:
        if (c >= 0x20) out += ch;  // other control characters cannot appear in XML 1.0
    }
  }
}

std::string DecodeEscapes(std::string_view text) {
  if (text.find("_x") == std::string_view::npos) return std::string(text);
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (IsEscapeAt(text, i)) {
      unsigned code = 0;
      std::from_chars(text.data() + i + 2, text.data() + i + 6, code, 16);
      // Code points are written in UTF-8; a lone surrogate half becomes U+FFFD.
      if (code >= 0xD800 && code <= 0xDFFF) code = 0xFFFD;
      if (code < 0x80) {
        out += static_cast<char>(code);
      } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
      } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
      }
      i += 6;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string PrintNode(const pugi::xml_node& node) {
  std::string out;
  StringWriter writer(out);
  node.print(writer, "", kPrintFlags);
  return out;
}

std::string PrintChildren(const pugi::xml_node& node) {
  std::string out;
  StringWriter writer(out);
  for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) child.print(writer, "", kPrintFlags);
  return out;
}

std::string PrintDocument(const pugi::xml_document& doc) {
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
  StringWriter writer(out);
  for (pugi::xml_node child = doc.first_child(); child; child = child.next_sibling()) {
    if (child.type() == pugi::node_declaration) continue;
    child.print(writer, "", kPrintFlags);
  }
  return out;
}

std::string_view LocalName(const char* name) {
  std::string_view n(name);
  const auto colon = n.find(':');
  return colon == std::string_view::npos ? n : n.substr(colon + 1);
}

pugi::xml_node Child(const pugi::xml_node& node, std::string_view local_name) {
  for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling())
    if (child.type() == pugi::node_element && LocalName(child.name()) == local_name) return child;
  return {};
}

pugi::xml_attribute Attribute(const pugi::xml_node& node, std::string_view local_name) {
  for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute())
    if (LocalName(a.name()) == local_name) return a;
  return {};
}

bool XmlBool(const char* value, bool fallback) {
  if (!value || !*value) return fallback;
  return std::strcmp(value, "1") == 0 || std::strcmp(value, "true") == 0;
}

void AppendNumber(std::string& out, double value) {
  if (!std::isfinite(value)) value = 0;  // the format has no infinities or NaN
  if (value == 0) value = 0;             // no "-0"
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

}  // namespace brelix::xlsx
