#include "xlsx/shared_strings.h"

#include <memory>

#include "xlsx/xml.h"

namespace brelix::xlsx {

namespace {

void AppendItemText(std::string& out, const pugi::xml_node& node) {
  for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
    if (child.type() != pugi::node_element) continue;
    const std::string_view name = LocalName(child.name());
    if (name == "t")
      out += DecodeEscapes(child.text().get());
    else if (name == "r")
      AppendItemText(out, child);
  }
}

}  // namespace

std::string StringItemText(const pugi::xml_node& item) {
  std::string out;
  AppendItemText(out, item);
  return out;
}

bool IsPlainStringItem(const pugi::xml_node& item) {
  pugi::xml_node first;
  for (pugi::xml_node child = item.first_child(); child; child = child.next_sibling()) {
    if (child.type() != pugi::node_element) continue;
    if (first || LocalName(child.name()) != "t") return false;
    first = child;
  }
  return true;
}

void AppendTextElement(std::string& out, std::string_view text) {
  const bool preserve = !text.empty() && (text.front() == ' ' || text.back() == ' ' || text.front() == '\t' ||
                                          text.back() == '\t' || text.find('\n') != std::string_view::npos);
  out += preserve ? "<t xml:space=\"preserve\">" : "<t>";
  AppendEscapedText(out, text);
  out += "</t>";
}

void SharedStrings::Parse(std::string xml, std::string_view file, std::string_view part) {
  pugi::xml_document doc;
  ParseXml(doc, xml, file, part);
  const pugi::xml_node root = doc.document_element();
  for (pugi::xml_attribute a = root.first_attribute(); a; a = a.next_attribute()) {
    const std::string_view name = a.name();
    if (name == "count" || name == "uniqueCount") continue;
    root_attributes_ += ' ';
    root_attributes_ += name;
    root_attributes_ += "=\"";
    AppendEscapedAttribute(root_attributes_, a.value());
    root_attributes_ += '"';
  }
  for (pugi::xml_node si = root.first_child(); si; si = si.next_sibling()) {
    if (si.type() != pugi::node_element || LocalName(si.name()) != "si") continue;
    const auto index = static_cast<std::uint32_t>(texts_.size());
    texts_.push_back(StringItemText(si));
    if (!IsPlainStringItem(si)) rich_.emplace(index, PrintChildren(si));
  }
}

const std::string& SharedStrings::Text(std::uint32_t index) const {
  static const std::string empty;
  return index < texts_.size() ? texts_[index] : empty;
}

std::string_view SharedStrings::RichXml(std::uint32_t index) const {
  const auto it = rich_.find(index);
  return it == rich_.end() ? std::string_view() : std::string_view(it->second);
}

void SharedStrings::BuildIndex() {
  if (indexed_) return;
  plain_index_.reserve(texts_.size());
  for (std::uint32_t i = 0; i < texts_.size(); ++i) {
    if (const auto it = rich_.find(i); it != rich_.end())
      rich_index_.emplace(it->second, i);
    else
      plain_index_.emplace(texts_[i], i);  // the first of equal entries wins
  }
  indexed_ = true;
}

std::uint32_t SharedStrings::Add(std::string_view text) {
  BuildIndex();
  if (const auto it = plain_index_.find(text); it != plain_index_.end()) return it->second;
  const auto index = static_cast<std::uint32_t>(texts_.size());
  texts_.emplace_back(text);
  plain_index_.emplace(texts_.back(), index);
  changed_ = true;
  return index;
}

std::uint32_t SharedStrings::AddRich(std::string_view text, std::string runs_xml) {
  BuildIndex();
  if (const auto it = rich_index_.find(runs_xml); it != rich_index_.end()) return it->second;
  const auto index = static_cast<std::uint32_t>(texts_.size());
  texts_.emplace_back(text);
  rich_index_.emplace(runs_xml, index);
  rich_.emplace(index, std::move(runs_xml));
  changed_ = true;
  return index;
}

ChunkProducer SharedStrings::Writer() const {
  auto next = std::make_shared<std::int64_t>(-1);
  return [this, next](std::string& out) {
    const auto count = static_cast<std::int64_t>(texts_.size());
    if (*next > count) return false;
    if (*next < 0) {
      out += "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<sst";
      out += root_attributes_.empty()
                 ? std::string(" xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"")
                 : root_attributes_;
      out += " uniqueCount=\"" + std::to_string(count) + "\">";
      *next = 0;
      return true;
    }
    for (int n = 0; n < 4096 && *next < count; ++n, ++*next) {
      const auto i = static_cast<std::uint32_t>(*next);
      out += "<si>";
      if (const auto it = rich_.find(i); it != rich_.end())
        out += it->second;
      else
        AppendTextElement(out, texts_[i]);
      out += "</si>";
    }
    if (*next == count) {
      out += "</sst>";
      ++*next;
    }
    return true;
  };
}

}  // namespace brelix::xlsx
