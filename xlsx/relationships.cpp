#include "xlsx/relationships.h"

#include <pugixml.hpp>

#include <set>

#include "xlsx/xml.h"

namespace brelix::xlsx {

void Relationships::Parse(std::string xml, std::string_view file, std::string_view part) {
  pugi::xml_document doc;
  ParseXml(doc, xml, file, part);
  for (pugi::xml_node r : doc.document_element().children()) {
    if (LocalName(r.name()) != "Relationship") continue;
    Relationship rel;
    rel.id = r.attribute("Id").value();
    rel.type = r.attribute("Type").value();
    rel.target = r.attribute("Target").value();
    rel.external = std::string_view(r.attribute("TargetMode").value()) == "External";
    list_.push_back(std::move(rel));
  }
}

const Relationship* Relationships::FindById(std::string_view id) const {
  for (const Relationship& r : list_)
    if (r.id == id) return &r;
  return nullptr;
}

const Relationship* Relationships::FindByType(std::string_view suffix) const {
  for (const Relationship& r : list_)
    if (r.type.size() >= suffix.size() && std::string_view(r.type).substr(r.type.size() - suffix.size()) == suffix)
      return &r;
  return nullptr;
}

std::string Relationships::Add(std::string_view type_suffix, std::string_view target, bool external) {
  std::set<std::string> ids;
  for (const Relationship& r : list_) ids.insert(r.id);
  std::string id;
  for (std::size_t n = list_.size() + 1;; ++n) {
    id = "rId" + std::to_string(n);
    if (!ids.count(id)) break;
  }
  list_.push_back({id, std::string(rel_type::kPrefix) + std::string(type_suffix), std::string(target), external});
  changed_ = true;
  return id;
}

void Relationships::Remove(std::string_view id) {
  for (auto it = list_.begin(); it != list_.end(); ++it)
    if (it->id == id) {
      list_.erase(it);
      changed_ = true;
      return;
    }
}

std::string Relationships::Print() const {
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
  for (const Relationship& r : list_) {
    out += "<Relationship Id=\"";
    AppendEscapedAttribute(out, r.id);
    out += "\" Type=\"";
    AppendEscapedAttribute(out, r.type);
    out += "\" Target=\"";
    AppendEscapedAttribute(out, r.target);
    out += r.external ? "\" TargetMode=\"External\"/>" : "\"/>";
  }
  out += "</Relationships>";
  return out;
}

std::string RelsPartOf(std::string_view part) {
  const auto slash = part.rfind('/');
  if (slash == std::string_view::npos) return "_rels/" + std::string(part) + ".rels";
  return std::string(part.substr(0, slash + 1)) + "_rels/" + std::string(part.substr(slash + 1)) + ".rels";
}

std::string ResolveTarget(std::string_view source_part, std::string_view target) {
  std::vector<std::string> segments;
  auto push_path = [&segments](std::string_view path) {
    std::size_t start = 0;
    while (start <= path.size()) {
      const auto end = std::min(path.find('/', start), path.size());
      const std::string_view seg = path.substr(start, end - start);
      if (seg == "..") {
        if (!segments.empty()) segments.pop_back();
      } else if (!seg.empty() && seg != ".") {
        segments.emplace_back(seg);
      }
      start = end + 1;
    }
  };
  if (target.empty() || target.front() != '/') {
    const auto slash = source_part.rfind('/');
    if (slash != std::string_view::npos) push_path(source_part.substr(0, slash));
  }
  push_path(target);
  std::string out;
  for (const std::string& s : segments) {
    if (!out.empty()) out += '/';
    out += s;
  }
  return out;
}

std::string RelativeTarget(std::string_view source_part, std::string_view target_part) {
  const auto slash = source_part.rfind('/');
  const std::string folder = slash == std::string_view::npos ? "" : std::string(source_part.substr(0, slash + 1));
  if (!folder.empty() && target_part.substr(0, folder.size()) == folder) return std::string(target_part.substr(folder.size()));
  return "/" + std::string(target_part);
}

}  // namespace brelix::xlsx
