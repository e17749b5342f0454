#include "xlsx/content_types.h"

#include "xlsx/xml.h"

namespace brelix::xlsx {

namespace {

constexpr const char* kNamespace = "http://schemas.openxmlformats.org/package/2006/content-types";

bool SameAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string Absolute(std::string_view part) {
  return part.empty() || part.front() != '/' ? "/" + std::string(part) : std::string(part);
}

}  // namespace

void ContentTypes::Parse(std::string xml, std::string_view file) {
  buffer_ = std::move(xml);
  ParseXml(doc_, buffer_, file, kContentTypesPart);
}

void ContentTypes::InitEmpty() {
  doc_.reset();
  pugi::xml_node types = doc_.append_child("Types");
  types.append_attribute("xmlns") = kNamespace;
  changed_ = true;
  EnsureDefault("rels", "application/vnd.openxmlformats-package.relationships+xml");
  EnsureDefault("xml", "application/xml");
}

pugi::xml_node ContentTypes::FindOverride(std::string_view part) const {
  const std::string name = Absolute(part);
  for (pugi::xml_node o : doc_.document_element().children())
    if (LocalName(o.name()) == "Override" && SameAscii(o.attribute("PartName").value(), name)) return o;
  return {};
}

std::string ContentTypes::TypeOf(std::string_view part) const {
  if (pugi::xml_node o = FindOverride(part)) return o.attribute("ContentType").value();
  const auto dot = part.rfind('.');
  if (dot == std::string_view::npos) return {};
  const std::string_view ext = part.substr(dot + 1);
  for (pugi::xml_node d : doc_.document_element().children())
    if (LocalName(d.name()) == "Default" && SameAscii(d.attribute("Extension").value(), ext))
      return d.attribute("ContentType").value();
  return {};
}

void ContentTypes::SetOverride(std::string_view part, std::string_view type) {
  pugi::xml_node o = FindOverride(part);
  if (o && std::string_view(o.attribute("ContentType").value()) == type) return;
  if (!o) {
    o = doc_.document_element().append_child("Override");
    o.append_attribute("PartName") = Absolute(part).c_str();
    o.append_attribute("ContentType");
  }
  o.attribute("ContentType") = std::string(type).c_str();
  changed_ = true;
}

void ContentTypes::RemoveOverride(std::string_view part) {
  if (pugi::xml_node o = FindOverride(part)) {
    doc_.document_element().remove_child(o);
    changed_ = true;
  }
}

void ContentTypes::EnsureDefault(std::string_view extension, std::string_view type) {
  pugi::xml_node root = doc_.document_element();
  for (pugi::xml_node d : root.children())
    if (LocalName(d.name()) == "Default" && SameAscii(d.attribute("Extension").value(), extension)) return;
  // Defaults come before overrides.
  pugi::xml_node first_override;
  for (pugi::xml_node c : root.children())
    if (LocalName(c.name()) == "Override") {
      first_override = c;
      break;
    }
  pugi::xml_node d = first_override ? root.insert_child_before("Default", first_override) : root.append_child("Default");
  d.append_attribute("Extension") = std::string(extension).c_str();
  d.append_attribute("ContentType") = std::string(type).c_str();
  changed_ = true;
}

std::string ContentTypes::Print() const { return PrintDocument(doc_); }

}  // namespace brelix::xlsx
