#include "xlsx/sheet_elements.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/errors.h"
#include "xlsx/formula.h"
#include "xlsx/xml.h"

namespace brelix::xlsx::sheet_elements {

namespace {

// The kinds of elements, each with its place in the sheet.
enum Kind : int {
  kFormat,           // <conditionalFormatting sqref> among the sheet's children
  kValidation,       // <dataValidation sqref> in <dataValidations>
  kLink,             // <hyperlink ref> in <hyperlinks>
  kFormat14,         // <x14:conditionalFormatting><xm:sqref> in extLst/ext/x14:conditionalFormattings
  kValidation14,     // <x14:dataValidation><xm:sqref> in extLst/ext/x14:dataValidations
};

constexpr const char* kFormatExtUri = "{78C0D931-6437-407d-A8EE-F0AAD7539E65}";
constexpr const char* kValidationExtUri = "{CCE6A557-97BC-4b89-ADB6-D9C93CAAB3DF}";
constexpr const char* kX14Namespace = "http://schemas.microsoft.com/office/spreadsheetml/2009/9/main";
constexpr const char* kXmNamespace = "http://schemas.microsoft.com/office/excel/2006/main";

// The ranks of the sheet's elements in the order the schema requires.
constexpr std::string_view kElementOrder[] = {
    "sheetPr",       "dimension",        "sheetViews",      "sheetFormatPr",   "cols",         "sheetData",
    "sheetCalcPr",   "sheetProtection",  "protectedRanges", "scenarios",       "autoFilter",   "sortState",
    "dataConsolidate", "customSheetViews", "mergeCells",    "phoneticPr",      "conditionalFormatting",
    "dataValidations", "hyperlinks",     "printOptions",    "pageMargins",     "pageSetup",    "headerFooter",
    "rowBreaks",     "colBreaks",        "customProperties", "cellWatches",    "ignoredErrors", "smartTags",
    "drawing",       "legacyDrawing",    "legacyDrawingHF", "drawingHF",       "picture",      "oleObjects",
    "controls",      "webPublishItems",  "tableParts",      "extLst"};

struct Element {
  Kind kind;
  pugi::xml_node node;
  pugi::xml_node container;
};

bool Extension(Kind kind) { return kind == kFormat14 || kind == kValidation14; }

// Every element of the kinds below the sheet's elements, in document order.
std::vector<Element> Elements(pugi::xml_node extras) {
  std::vector<Element> out;
  auto items = [&out](pugi::xml_node container, std::string_view item, Kind kind) {
    for (pugi::xml_node n = container.first_child(); n; n = n.next_sibling())
      if (n.type() == pugi::node_element && LocalName(n.name()) == item) out.push_back({kind, n, container});
  };
  for (pugi::xml_node child = extras.first_child(); child; child = child.next_sibling()) {
    if (child.type() != pugi::node_element) continue;
    const std::string_view name = LocalName(child.name());
    if (name == "conditionalFormatting") {
      out.push_back({kFormat, child, extras});
    } else if (name == "dataValidations") {
      items(child, "dataValidation", kValidation);
    } else if (name == "hyperlinks") {
      items(child, "hyperlink", kLink);
    } else if (name == "extLst") {
      for (pugi::xml_node ext : child.children())
        for (pugi::xml_node c : ext.children()) {
          if (c.type() != pugi::node_element) continue;
          const std::string_view n = LocalName(c.name());
          if (n == "conditionalFormattings") items(c, "conditionalFormatting", kFormat14);
          else if (n == "dataValidations") items(c, "dataValidation", kValidation14);
        }
    }
  }
  return out;
}

std::vector<CellRange> AreasOf(const pugi::xml_node& node, Kind kind) {
  if (Extension(kind)) return ParseAreas(Child(node, "sqref").text().get());
  return ParseAreas(node.attribute(kind == kLink ? "ref" : "sqref").value());
}

void SetAreas(pugi::xml_node node, Kind kind, const std::vector<CellRange>& areas) {
  const std::string text = PrintAreas(areas);
  if (Extension(kind)) {
    Child(node, "sqref").text().set(text.c_str());
    return;
  }
  node.attribute(kind == kLink ? "ref" : "sqref").set_value(text.c_str());
}

// The top-left corner of the areas: the cell relative references of the element's formulas
// are written for.
CellPos Anchor(const std::vector<CellRange>& areas) {
  CellPos p{kMaxRows, kMaxColumns};
  for (const CellRange& a : areas) {
    p.row = std::min(p.row, a.top);
    p.col = std::min(p.col, a.left);
  }
  return p;
}

bool IsFormulaName(std::string_view name) {
  return name == "formula" || name == "formula1" || name == "formula2" || name == "f";
}

// Moves the relative references of every formula of the element (conditions, validation
// limits, colour scale and data bar values); a formula that cannot be read stays as it is.
void Reanchor(pugi::xml_node node, int row_shift, int col_shift) {
  if (row_shift == 0 && col_shift == 0) return;
  struct Walker : pugi::xml_tree_walker {
    int rows, cols;
    bool for_each(pugi::xml_node& n) override {
      if (n.type() != pugi::node_element || !IsFormulaName(LocalName(n.name()))) return true;
      pugi::xml_text text = n.text();
      if (text.empty() || !*text.get()) return true;
      try {
        text.set(ShiftFormula(text.get(), rows, cols).c_str());
      } catch (const platform::Exception&) {
      }
      return true;
    }
  } walker;
  walker.rows = row_shift;
  walker.cols = col_shift;
  node.traverse(walker);
}

void SetCount(pugi::xml_node container) {
  pugi::xml_attribute count = container.attribute("count");
  if (!count) return;
  int n = 0;
  for (pugi::xml_node c : container.children())
    if (c.type() == pugi::node_element) ++n;
  count = n;
}

bool HasElements(const pugi::xml_node& node) {
  for (pugi::xml_node c : node.children())
    if (c.type() == pugi::node_element) return true;
  return false;
}

// Removes the containers left empty (and extension blocks left empty by that) and sets the
// counts of the others.
void Tidy(pugi::xml_node extras) {
  for (pugi::xml_node child = extras.first_child(); child;) {
    const pugi::xml_node next = child.next_sibling();
    const std::string_view name = LocalName(child.name());
    if (name == "dataValidations" || name == "hyperlinks") {
      if (!HasElements(child)) extras.remove_child(child);
      else SetCount(child);
    } else if (name == "extLst") {
      for (pugi::xml_node ext = child.first_child(); ext;) {
        const pugi::xml_node next_ext = ext.next_sibling();
        bool emptied = false;
        for (pugi::xml_node c = ext.first_child(); c;) {
          const pugi::xml_node next_c = c.next_sibling();
          const std::string_view n = LocalName(c.name());
          if (n == "conditionalFormattings" || n == "dataValidations") {
            if (!HasElements(c)) {
              ext.remove_child(c);
              emptied = true;
            } else {
              SetCount(c);
            }
          }
          c = next_c;
        }
        if (emptied && !HasElements(ext)) child.remove_child(ext);
        ext = next_ext;
      }
      if (!HasElements(child)) extras.remove_child(child);
    }
    child = next;
  }
}


// The sheet's child element with the local name, inserted in the schema's order when missing.
pugi::xml_node RootElement(pugi::xml_node extras, const char* name, bool always_new) {
  if (!always_new)
    if (pugi::xml_node existing = Child(extras, name)) return existing;
  const int mine = ElementRank(name, -1);
  int rank = -1;
  pugi::xml_node after;
  for (pugi::xml_node c = extras.first_child(); c; c = c.next_sibling()) {
    if (c.type() != pugi::node_element) continue;
    rank = ElementRank(LocalName(c.name()), rank);
    if (rank > mine) return extras.insert_child_before(name, c);
  }
  return extras.append_child(name);
}

// The extension container (x14:conditionalFormattings, x14:dataValidations) of the sheet,
// created with its extension block when missing.
pugi::xml_node ExtensionContainer(pugi::xml_node extras, const char* uri, std::string_view local,
                                  const std::string& prefix) {
  pugi::xml_node list = RootElement(extras, "extLst", false);
  pugi::xml_node ext;
  for (pugi::xml_node e : list.children())
    if (LocalName(e.name()) == "ext" && std::strcmp(e.attribute("uri").value(), uri) == 0) ext = e;
  if (!ext) {
    ext = list.append_child("ext");
    ext.append_attribute("uri") = uri;
    ext.append_attribute(("xmlns:" + prefix.substr(0, prefix.size() - 1)).c_str()) = kX14Namespace;
  }
  if (pugi::xml_node c = Child(ext, local)) return c;
  pugi::xml_node c = ext.append_child((prefix + std::string(local)).c_str());
  c.append_attribute("xmlns:xm") = kXmNamespace;
  if (local == "dataValidations") c.append_attribute("count") = 0;
  return c;
}

constexpr const char* kTargetAttribute = "brelix-target";
constexpr const char* kExternalAttribute = "brelix-external";

pugi::xml_attribute RelationshipId(const pugi::xml_node& node) {
  for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute())
    if (std::strchr(a.name(), ':') && LocalName(a.name()) == "id") return a;
  return {};
}

// The cell every element's formulas are written for in its key, far from the sheet's edges.
constexpr CellPos kKeyAnchor{kMaxRows / 2, kMaxColumns / 2};

// The element as compared when joining, the same for equal elements wherever they stand:
// without its areas, priorities and rule ids, its formulas written for one fixed cell, a
// hyperlink's relationship replaced by its target.
std::string Key(const pugi::xml_node& node, Kind kind, const CopyMaps& maps) {
  pugi::xml_document scratch;
  pugi::xml_node copy = scratch.append_copy(node);
  const CellPos anchor = Anchor(AreasOf(node, kind));
  if (Extension(kind)) {
    copy.remove_child(Child(copy, "sqref"));
  } else {
    copy.remove_attribute(kind == kLink ? "ref" : "sqref");
  }
  if (kind == kLink) {
    if (pugi::xml_attribute id = RelationshipId(copy)) {
      const auto [target, external] =
          maps.destination_link ? maps.destination_link(id.value()) : std::pair<std::string, bool>();
      copy.remove_attribute(id);
      if (!target.empty()) {
        copy.append_attribute(kTargetAttribute) = target.c_str();
        copy.append_attribute(kExternalAttribute) = external;
      }
    }
  } else {
    Reanchor(copy, kKeyAnchor.row - anchor.row, kKeyAnchor.col - anchor.col);
  }
  struct Walker : pugi::xml_tree_walker {
    bool for_each(pugi::xml_node& n) override {
      if (n.type() != pugi::node_element) return true;
      for (pugi::xml_attribute a = n.first_attribute(); a;) {
        const pugi::xml_attribute next = a.next_attribute();
        const std::string_view local = LocalName(a.name());
        if (local == "priority" || local == "id") n.remove_attribute(a);
        a = next;
      }
      if (LocalName(n.name()) == "id") n.text().set("");
      return true;
    }
  } walker;
  copy.traverse(walker);
  return std::to_string(static_cast<int>(kind)) + PrintNode(copy);
}

int MaxPriority(pugi::xml_node extras) {
  int max = 0;
  for (const Element& e : Elements(extras)) {
    if (e.kind != kFormat && e.kind != kFormat14) continue;
    for (pugi::xml_node rule : e.node.children())
      if (LocalName(rule.name()) == "cfRule") max = std::max(max, rule.attribute("priority").as_int());
  }
  return max;
}

bool Joinable(const CellRange& a, const CellRange& b, CellRange& joined) {
  if (a.left == b.left && a.right == b.right && (a.bottom + 1 == b.top || b.bottom + 1 == a.top)) {
    joined = {std::min(a.top, b.top), a.left, std::max(a.bottom, b.bottom), a.right};
    return true;
  }
  if (a.top == b.top && a.bottom == b.bottom && (a.right + 1 == b.left || b.right + 1 == a.left)) {
    joined = {a.top, std::min(a.left, b.left), a.bottom, std::max(a.right, b.right)};
    return true;
  }
  return false;
}

}  // namespace

int ElementRank(std::string_view name, int previous) {
  for (std::size_t i = 0; i < std::size(kElementOrder); ++i)
    if (kElementOrder[i] == name) return static_cast<int>(i);
  return previous;
}

pugi::xml_node InsertElement(pugi::xml_node extras, const char* local_name) {
  return RootElement(extras, local_name, true);
}

std::vector<CellRange> ParseAreas(std::string_view text) {
  std::vector<CellRange> areas;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end = std::min(text.find(' ', pos), text.size());
    if (end > pos)
      if (const auto range = ParseRange(text.substr(pos, end - pos))) areas.push_back(*range);
    pos = end + 1;
  }
  return areas;
}

std::string PrintAreas(const std::vector<CellRange>& areas) {
  std::string out;
  for (const CellRange& a : areas) {
    if (!out.empty()) out += ' ';
    out += RangeName(a);
  }
  return out;
}

void AddArea(std::vector<CellRange>& areas, const CellRange& area) {
  CellRange a = area;
  std::size_t at = areas.size();
  for (bool merged = true; merged;) {
    merged = false;
    for (std::size_t i = 0; i < areas.size(); ++i) {
      CellRange joined;
      if (areas[i].Contains(a)) return;
      if (a.Contains(areas[i]) || Joinable(areas[i], a, joined)) {
        if (!a.Contains(areas[i])) a = joined;
        at = std::min(at, i);
        areas.erase(areas.begin() + static_cast<std::ptrdiff_t>(i));
        merged = true;
        break;
      }
    }
  }
  areas.insert(areas.begin() + static_cast<std::ptrdiff_t>(std::min(at, areas.size())), a);
}

namespace {

// The parts of area outside cut: up to four rectangles.
void Subtract(const CellRange& area, const CellRange& cut, std::vector<CellRange>& out) {
  if (!area.Intersects(cut)) {
    out.push_back(area);
    return;
  }
  if (area.top < cut.top) out.push_back({area.top, area.left, cut.top - 1, area.right});
  if (area.bottom > cut.bottom) out.push_back({cut.bottom + 1, area.left, area.bottom, area.right});
  const int top = std::max(area.top, cut.top), bottom = std::min(area.bottom, cut.bottom);
  if (area.left < cut.left) out.push_back({top, area.left, bottom, cut.left - 1});
  if (area.right > cut.right) out.push_back({top, cut.right + 1, bottom, area.right});
}

}  // namespace

void Trim(pugi::xml_node extras, const CellRange& range, ElementIndex* index) {
  bool touched_any = false;
  for (Element& e : Elements(extras)) {
    const std::vector<CellRange> areas = AreasOf(e.node, e.kind);
    if (std::none_of(areas.begin(), areas.end(), [&range](const CellRange& a) { return a.Intersects(range); })) continue;
    touched_any = true;
    std::vector<CellRange> left;
    for (const CellRange& a : areas) Subtract(a, range, left);
    if (left.empty()) {
      if (index) index->Forget(e.node);
      e.container.remove_child(e.node);
      continue;
    }
    if (e.kind == kLink) {
      // A hyperlink covers one rectangle: the rest of it becomes hyperlinks of its own.
      for (std::size_t i = left.size() - 1; i >= 1; --i)
        e.container.insert_copy_after(e.node, e.node).attribute("ref").set_value(RangeName(left[i]).c_str());
      left.resize(1);
    }
    const CellPos before = Anchor(areas), after = Anchor(left);
    SetAreas(e.node, e.kind, left);
    Reanchor(e.node, after.row - before.row, after.col - before.col);
  }
  if (touched_any) Tidy(extras);
}

void Clipboard::Collect(pugi::xml_node source_extras, const CellRange& source, int row_shift, int col_shift,
                        const CopyMaps& maps) {
  for (const Element& e : Elements(source_extras)) {
    const std::vector<CellRange> areas = AreasOf(e.node, e.kind);
    std::vector<CellRange> moved;
    for (const CellRange& a : areas) {
      if (!a.Intersects(source)) continue;
      AddArea(moved, {std::max(a.top, source.top) + row_shift, std::max(a.left, source.left) + col_shift,
                      std::min(a.bottom, source.bottom) + row_shift, std::min(a.right, source.right) + col_shift});
    }
    if (moved.empty()) continue;
    pugi::xml_node copy = scratch_.append_copy(e.node);
    const CellPos from = Anchor(areas), to = Anchor(moved);
    SetAreas(copy, e.kind, moved);
    Reanchor(copy, to.row - from.row, to.col - from.col);
    if (e.kind == kFormat && maps.dxf)
      for (pugi::xml_node rule : copy.children())
        if (pugi::xml_attribute dxf = rule.attribute("dxfId"); dxf && LocalName(rule.name()) == "cfRule") {
          if (const int mapped = maps.dxf(dxf.as_int()); mapped >= 0) dxf = mapped;
          else rule.remove_attribute(dxf);
        }
    if (e.kind == kLink)
      if (pugi::xml_attribute id = RelationshipId(copy)) {
        const auto [target, external] = maps.source_link ? maps.source_link(id.value()) : std::pair<std::string, bool>();
        copy.remove_attribute(id);
        if (!target.empty()) {
          copy.append_attribute(kTargetAttribute) = target.c_str();
          copy.append_attribute(kExternalAttribute) = external;
        }
      }
    std::string prefix;
    if (const char* colon = std::strchr(e.node.name(), ':')) prefix.assign(e.node.name(), colon + 1);
    pieces_.push_back({e.kind, copy, prefix});
  }
}

void ElementIndex::Put(const std::string& key, const pugi::xml_node& node) {
  by_key_[key] = node;
  key_of_[node.internal_object()] = key;
}

void ElementIndex::Forget(const pugi::xml_node& node) {
  const auto it = key_of_.find(node.internal_object());
  if (it == key_of_.end()) return;
  if (const auto at = by_key_.find(it->second); at != by_key_.end() && at->second == node) by_key_.erase(at);
  key_of_.erase(it);
}

void Clipboard::Paste(pugi::xml_node extras, const CopyMaps& maps, ElementIndex& index) {
  if (!index.built_) {
    for (const Element& e : Elements(extras)) index.Put(Key(e.node, e.kind, maps), e.node);
    index.built_ = true;
  }
  int priority = -1;
  for (const Piece& piece : pieces_) {
    const Kind kind = static_cast<Kind>(piece.kind);
    const std::vector<CellRange> areas = AreasOf(piece.node, kind);
    const std::string key = Key(piece.node, kind, maps);
    bool joined = false;
    if (const auto it = index.by_key_.find(key); it != index.by_key_.end()) {
      pugi::xml_node e = it->second;
      std::vector<CellRange> there = AreasOf(e, kind);
      if (kind == kLink) {
        // Hyperlinks join when their cells form one rectangle.
        CellRange rect;
        if (there.size() == 1 && Joinable(there[0], areas[0], rect)) {
          SetAreas(e, kind, {rect});
          joined = true;
        }
      } else if (!there.empty()) {
        // Equal rules join; the formulas are written for the joined areas' top-left cell.
        const CellPos at = Anchor(there);
        for (const CellRange& a : areas) AddArea(there, a);
        const CellPos now = Anchor(there);
        SetAreas(e, kind, there);
        Reanchor(e, now.row - at.row, now.col - at.col);
        joined = true;
      }
    }
    if (joined) continue;

    pugi::xml_node added;
    switch (kind) {
      case kFormat: {
        pugi::xml_node place = RootElement(extras, "conditionalFormatting", true);
        added = extras.insert_copy_after(piece.node, place);
        extras.remove_child(place);
        break;
      }
      case kValidation: {
        pugi::xml_node container = RootElement(extras, "dataValidations", false);
        if (!container.attribute("count")) container.append_attribute("count") = 0;
        added = container.append_copy(piece.node);
        SetCount(container);
        break;
      }
      case kLink: {
        added = RootElement(extras, "hyperlinks", false).append_copy(piece.node);
        if (pugi::xml_attribute target = added.attribute(kTargetAttribute)) {
          const std::string id = maps.add_link ? maps.add_link(target.value(), added.attribute(kExternalAttribute).as_bool())
                                               : std::string();
          if (!id.empty()) added.append_attribute("r:id") = id.c_str();
          added.remove_attribute(kTargetAttribute);
          added.remove_attribute(kExternalAttribute);
        }
        break;
      }
      case kFormat14:
      case kValidation14: {
        const bool format = kind == kFormat14;
        pugi::xml_node container =
            ExtensionContainer(extras, format ? kFormatExtUri : kValidationExtUri,
                               format ? "conditionalFormattings" : "dataValidations", piece.prefix.empty() ? "x14:" : piece.prefix);
        added = container.append_copy(piece.node);
        SetCount(container);
        break;
      }
    }
    index.Put(key, added);
    if (kind == kFormat || kind == kFormat14) {
      // A new rule is applied after those already there.
      if (priority < 0) priority = MaxPriority(extras);
      for (pugi::xml_node rule : added.children())
        if (LocalName(rule.name()) == "cfRule")
          if (pugi::xml_attribute p = rule.attribute("priority")) p = ++priority;
    }
  }
}

}  // namespace brelix::xlsx::sheet_elements
