#include "xlsx/styles.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "xlsx/xml.h"

namespace brelix::xlsx {

namespace {


struct BuiltinFormat {
  int id;
  const char* code;
};
constexpr BuiltinFormat kBuiltinFormats[] = {
    {0, "General"},   {1, "0"},          {2, "0.00"},         {3, "#,##0"},         {4, "#,##0.00"},
    {9, "0%"},        {10, "0.00%"},     {11, "0.00E+00"},    {12, "# ?/?"},        {13, "# ?\?/?\?"},
    {14, "mm-dd-yy"}, {15, "d-mmm-yy"},  {16, "d-mmm"},       {17, "mmm-yy"},       {18, "h:mm AM/PM"},
    {19, "h:mm:ss AM/PM"}, {20, "h:mm"}, {21, "h:mm:ss"},     {22, "m/d/yy h:mm"},  {37, "#,##0 ;(#,##0)"},
    {38, "#,##0 ;[Red](#,##0)"}, {39, "#,##0.00;(#,##0.00)"}, {40, "#,##0.00;[Red](#,##0.00)"},
    {45, "mm:ss"},    {46, "[h]:mm:ss"}, {47, "mmss.0"},      {48, "##0.0E+0"},     {49, "@"},
};
constexpr int kFirstCustomFormat = 164;

// The order the font's children are written in; any order is valid, so comparisons sort by it.
int FontChildRank(std::string_view name) {
  static constexpr std::string_view order[] = {"b",  "i",   "strike", "condense", "extend", "outline", "shadow", "u",
                                               "vertAlign", "sz", "color", "name", "family", "charset", "scheme"};
  for (std::size_t i = 0; i < std::size(order); ++i)
    if (order[i] == name) return static_cast<int>(i);
  return static_cast<int>(std::size(order));
}

// A text that is the same for elements equal by value: attributes sorted, the children of a
// font sorted by their rank, values of colours compared without case.
void AppendCanonical(std::string& out, const pugi::xml_node& node) {
  if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata) {
    AppendEscapedText(out, node.value());
    return;
  }
  if (node.type() != pugi::node_element) return;
  const std::string_view name = LocalName(node.name());
  out += '<';
  out += name;
  std::vector<std::pair<std::string, std::string>> attributes;
  for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
    std::string value = a.value();
    if (LocalName(a.name()) == "rgb")
      for (char& c : value) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    attributes.emplace_back(std::string(LocalName(a.name())), std::move(value));
  }
  std::sort(attributes.begin(), attributes.end());
  for (const auto& [key, value] : attributes) {
    out += ' ';
    out += key;
    out += "=\"";
    AppendEscapedAttribute(out, value);
    out += '"';
  }
  out += '>';
  std::vector<pugi::xml_node> children;
  for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) children.push_back(c);
  if (name == "font")
    std::stable_sort(children.begin(), children.end(), [](const pugi::xml_node& a, const pugi::xml_node& b) {
      return FontChildRank(LocalName(a.name())) < FontChildRank(LocalName(b.name()));
    });
  for (const pugi::xml_node& c : children) AppendCanonical(out, c);
  out += "</>";
}

std::string Canonical(const pugi::xml_node& node) {
  std::string out;
  AppendCanonical(out, node);
  return out;
}

int IntAttribute(const pugi::xml_node& node, const char* name, int fallback = 0) {
  const pugi::xml_attribute a = node.attribute(name);
  return a ? a.as_int(fallback) : fallback;
}

void SetCount(pugi::xml_node section, std::size_t count) {
  pugi::xml_attribute a = section.attribute("count");
  if (!a) a = section.prepend_attribute("count");
  a = static_cast<unsigned>(count);
}

std::string RgbText(Rgb color) {
  char text[16];
  std::snprintf(text, sizeof text, "FF%06X", static_cast<unsigned>(color & 0xFFFFFF));
  return text;
}

std::optional<Rgb> ParseRgb(const pugi::xml_node& color) {
  const char* rgb = color.attribute("rgb").value();
  const std::size_t len = std::strlen(rgb);
  if (len != 6 && len != 8) return std::nullopt;
  unsigned value = 0;
  const auto result = std::from_chars(rgb, rgb + len, value, 16);
  if (result.ptr != rgb + len) return std::nullopt;
  return static_cast<Rgb>(value & 0xFFFFFF);
}

// Sets or removes a child of the font, keeping the order of the children.
pugi::xml_node FontChild(pugi::xml_node font, const char* name) {
  if (pugi::xml_node c = font.child(name)) return c;
  const int rank = FontChildRank(name);
  for (pugi::xml_node c = font.first_child(); c; c = c.next_sibling())
    if (FontChildRank(LocalName(c.name())) > rank) return font.insert_child_before(name, c);
  return font.append_child(name);
}

void SetFontFlag(pugi::xml_node font, const char* name, bool on) {
  if (!on) {
    font.remove_child(name);
    return;
  }
  pugi::xml_node c = FontChild(font, name);
  c.remove_attribute("val");
}

void SetVal(pugi::xml_node node, const char* value) {
  pugi::xml_attribute a = node.attribute("val");
  if (!a) a = node.append_attribute("val");
  a = value;
}

bool FlagOn(const pugi::xml_node& font, const char* name) {
  const pugi::xml_node c = font.child(name);
  return c && XmlBool(c.attribute("val").value(), true);
}

const char* UnderlineText(Underline u) {
  switch (u) {
    case Underline::Single: return "single";
    case Underline::Double: return "double";
    case Underline::SingleAccounting: return "singleAccounting";
    case Underline::DoubleAccounting: return "doubleAccounting";
    case Underline::None: break;
  }
  return "none";
}

}  // namespace

std::string_view BuiltinNumberFormat(int id) {
  for (const BuiltinFormat& f : kBuiltinFormats)
    if (f.id == id) return f.code;
  return {};
}

void Stylesheet::Parse(std::string xml, std::string_view file, std::string_view part) {
  buffer_ = std::move(xml);
  ParseXml(doc_, buffer_, file, part);
  Index();
}

void Stylesheet::InitDefault() {
  static const char kDefault[] =
      "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
      "<fonts count=\"1\"><font><sz val=\"11\"/><color theme=\"1\"/><name val=\"Calibri\"/><family val=\"2\"/>"
      "<scheme val=\"minor\"/></font></fonts>"
      "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill><fill><patternFill patternType=\"gray125\"/>"
      "</fill></fills>"
      "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
      "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs>"
      "<cellXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/></cellXfs>"
      "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles>"
      "<dxfs count=\"0\"/><tableStyles count=\"0\"/></styleSheet>";
  buffer_ = kDefault;
  doc_.load_buffer_inplace(buffer_.data(), buffer_.size());
  Index();
  changed_ = true;
}

void Stylesheet::Index() {
  const pugi::xml_node root = doc_.document_element();
  auto collect = [&root](const char* section, const char* item, std::vector<pugi::xml_node>& list) {
    list.clear();
    for (pugi::xml_node n : Child(root, section).children())
      if (LocalName(n.name()) == item) list.push_back(n);
  };
  collect("fonts", "font", fonts_);
  collect("fills", "fill", fills_);
  collect("borders", "border", borders_);
  collect("cellXfs", "xf", xfs_);
  collect("dxfs", "dxf", dxfs_);
  for (pugi::xml_node f : Child(root, "numFmts").children())
    if (LocalName(f.name()) == "numFmt")
      custom_formats_[IntAttribute(f, "numFmtId", -1)] = f.attribute("formatCode").value();
  auto keys = [](const std::vector<pugi::xml_node>& list, std::unordered_map<std::string, int>& map) {
    map.clear();
    for (std::size_t i = 0; i < list.size(); ++i) map.emplace(Canonical(list[i]), static_cast<int>(i));
  };
  keys(fonts_, font_keys_);
  keys(fills_, fill_keys_);
  keys(borders_, border_keys_);
  keys(xfs_, xf_keys_);
  keys(dxfs_, dxf_keys_);
}

pugi::xml_node Stylesheet::Section(const char* name) {
  // Sections in the order the schema gives them.
  static constexpr const char* order[] = {"numFmts", "fonts", "fills", "borders", "cellStyleXfs", "cellXfs",
                                          "cellStyles", "dxfs"};
  pugi::xml_node root = doc_.document_element();
  if (pugi::xml_node s = Child(root, name)) return s;
  int rank = 0;
  while (std::strcmp(order[rank], name) != 0) ++rank;
  const std::string prefix = [&root] {
    const std::string_view n = root.name();
    const auto colon = n.find(':');
    return colon == std::string_view::npos ? std::string() : std::string(n.substr(0, colon + 1));
  }();
  const std::string qualified = prefix + name;
  for (pugi::xml_node c = root.first_child(); c; c = c.next_sibling()) {
    const std::string_view local = LocalName(c.name());
    bool later = true;
    for (int r = 0; r <= rank; ++r)
      if (local == order[r]) later = false;
    if (later) return root.insert_child_before(qualified.c_str(), c);
  }
  return root.append_child(qualified.c_str());
}

pugi::xml_node Stylesheet::XfNode(int xf) const {
  if (xf >= 0 && xf < static_cast<int>(xfs_.size())) return xfs_[static_cast<std::size_t>(xf)];
  return xfs_.empty() ? pugi::xml_node() : xfs_.front();
}

pugi::xml_node Stylesheet::Entry(const std::vector<pugi::xml_node>& list, const char* attribute, int xf) const {
  const int id = IntAttribute(XfNode(xf), attribute);
  if (id >= 0 && id < static_cast<int>(list.size())) return list[static_cast<std::size_t>(id)];
  return {};
}

int Stylesheet::FindOrAdd(std::vector<pugi::xml_node>& list, std::unordered_map<std::string, int>& keys,
                          const char* section, const pugi::xml_node& node) {
  std::string key = Canonical(node);
  if (const auto it = keys.find(key); it != keys.end()) return it->second;
  pugi::xml_node s = Section(section);
  pugi::xml_node added = s.append_copy(node);
  const int index = static_cast<int>(list.size());
  list.push_back(added);
  keys.emplace(std::move(key), index);
  SetCount(s, list.size());
  changed_ = true;
  return index;
}

int Stylesheet::AddXf(const pugi::xml_node& xf) { return FindOrAdd(xfs_, xf_keys_, "cellXfs", xf); }

FontInfo Stylesheet::Font(int xf) const {
  FontInfo info;
  const pugi::xml_node font = Entry(fonts_, "fontId", xf);
  if (!font) return info;
  info.name = font.child("name").attribute("val").value();
  if (const pugi::xml_node sz = font.child("sz")) info.size = sz.attribute("val").as_double(11);
  if (const pugi::xml_node color = font.child("color")) info.color = ParseRgb(color);
  info.bold = FlagOn(font, "b");
  info.italic = FlagOn(font, "i");
  info.strikethrough = FlagOn(font, "strike");
  if (const pugi::xml_node u = font.child("u")) {
    const std::string_view v = u.attribute("val").value();
    info.underline = v.empty() || v == "single" ? Underline::Single
                     : v == "double"            ? Underline::Double
                     : v == "singleAccounting"  ? Underline::SingleAccounting
                     : v == "doubleAccounting"  ? Underline::DoubleAccounting
                                                : Underline::None;
  }
  return info;
}

std::string Stylesheet::NumberFormatCode(int xf) const {
  const int id = IntAttribute(XfNode(xf), "numFmtId");
  if (const auto it = custom_formats_.find(id); it != custom_formats_.end()) return it->second;
  const std::string_view builtin = BuiltinNumberFormat(id);
  return builtin.empty() ? "General" : std::string(builtin);
}

bool Stylesheet::IsDateFormat(int xf) const {
  const int id = IntAttribute(XfNode(xf), "numFmtId");
  if (!custom_formats_.count(id)) return (id >= 14 && id <= 22) || (id >= 45 && id <= 47);
  // A custom code shows a date or time when a date or time letter stands outside quotes,
  // escapes and brackets other than elapsed-time ones ([h], [mm], [ss]).
  const std::string& code = custom_formats_.at(id);
  for (std::size_t i = 0; i < code.size(); ++i) {
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(code[i])));
    if (c == '"') {
      i = code.find('"', i + 1);
      if (i == std::string::npos) break;
    } else if (c == '\\' || c == '_' || c == '*') {
      ++i;
    } else if (c == '[') {
      const auto end = code.find(']', i);
      if (end == std::string::npos) break;
      const std::string inner = code.substr(i + 1, end - i - 1);
      if (!inner.empty() && std::strchr("hHmMsS", inner[0]) && inner.find_first_not_of("hHmMsS") == std::string::npos)
        return true;
      i = end;
    } else if (c == ';') {
      break;  // the first section decides
    } else if (std::strchr("dmyhs", c)) {
      return true;
    }
  }
  return false;
}

std::optional<Rgb> Stylesheet::FillColor(int xf) const {
  const pugi::xml_node fill = Entry(fills_, "fillId", xf);
  const pugi::xml_node pattern = fill.child("patternFill");
  if (std::string_view(pattern.attribute("patternType").value()) != "solid") return std::nullopt;
  return ParseRgb(pattern.child("fgColor"));
}

int Stylesheet::WithFont(int xf, const FontChange& change) {
  pugi::xml_document scratch;
  pugi::xml_node font = Entry(fonts_, "fontId", xf);
  font = font ? scratch.append_copy(font) : scratch.append_child("font");
  if (change.bold) SetFontFlag(font, "b", *change.bold);
  if (change.italic) SetFontFlag(font, "i", *change.italic);
  if (change.strikethrough) SetFontFlag(font, "strike", *change.strikethrough);
  if (change.underline) {
    if (*change.underline == Underline::None) {
      font.remove_child("u");
    } else {
      pugi::xml_node u = FontChild(font, "u");
      if (*change.underline == Underline::Single)
        u.remove_attribute("val");
      else
        SetVal(u, UnderlineText(*change.underline));
    }
  }
  if (change.size) {
    std::string text;
    AppendNumber(text, *change.size);
    SetVal(FontChild(font, "sz"), text.c_str());
  }
  if (change.color) {
    pugi::xml_node color = FontChild(font, "color");
    while (color.first_attribute()) color.remove_attribute(color.first_attribute());
    color.append_attribute("rgb") = RgbText(*change.color).c_str();
  }
  if (change.name) {
    SetVal(FontChild(font, "name"), change.name->c_str());
    // A scheme font follows the theme's fonts and would override the name.
    font.remove_child("scheme");
  }
  const int font_id = FindOrAdd(fonts_, font_keys_, "fonts", font);
  pugi::xml_node x = scratch.append_copy(XfNode(xf));
  if (!x) x = scratch.append_child("xf");
  x.remove_attribute("fontId");
  x.append_attribute("fontId") = font_id;
  if (!x.attribute("applyFont")) x.append_attribute("applyFont");
  x.attribute("applyFont") = "1";
  return AddXf(x);
}

int Stylesheet::WithFillColor(int xf, Rgb color) {
  pugi::xml_document scratch;
  pugi::xml_node fill = scratch.append_child("fill");
  pugi::xml_node pattern = fill.append_child("patternFill");
  pattern.append_attribute("patternType") = "solid";
  pattern.append_child("fgColor").append_attribute("rgb") = RgbText(color).c_str();
  pattern.append_child("bgColor").append_attribute("indexed") = "64";
  const int fill_id = FindOrAdd(fills_, fill_keys_, "fills", fill);
  pugi::xml_node x = scratch.append_copy(XfNode(xf));
  if (!x) x = scratch.append_child("xf");
  x.remove_attribute("fillId");
  x.append_attribute("fillId") = fill_id;
  if (!x.attribute("applyFill")) x.append_attribute("applyFill");
  x.attribute("applyFill") = "1";
  return AddXf(x);
}

int Stylesheet::NumberFormatId(std::string_view code) {
  for (const auto& [id, c] : custom_formats_)
    if (c == code) return id;
  for (const BuiltinFormat& f : kBuiltinFormats)
    if (code == f.code) return f.id;
  int id = kFirstCustomFormat;
  if (!custom_formats_.empty()) id = std::max(id, custom_formats_.rbegin()->first + 1);
  pugi::xml_node section = Section("numFmts");
  pugi::xml_node f = section.append_child("numFmt");
  f.append_attribute("numFmtId") = id;
  f.append_attribute("formatCode") = std::string(code).c_str();
  custom_formats_[id] = std::string(code);
  SetCount(section, custom_formats_.size());
  changed_ = true;
  return id;
}

int Stylesheet::WithNumberFormat(int xf, std::string_view code) {
  const int id = NumberFormatId(code);
  pugi::xml_document scratch;
  pugi::xml_node x = scratch.append_copy(XfNode(xf));
  if (!x) x = scratch.append_child("xf");
  x.remove_attribute("numFmtId");
  x.append_attribute("numFmtId") = id;
  if (!x.attribute("applyNumberFormat")) x.append_attribute("applyNumberFormat");
  x.attribute("applyNumberFormat") = "1";
  return AddXf(x);
}

int Stylesheet::WithDateFormat(int xf, bool with_time) {
  return WithNumberFormat(xf, BuiltinNumberFormat(with_time ? 22 : 14));
}

int Stylesheet::WithPercentFormat(int xf, int decimals) {
  std::string code = "0";
  if (decimals > 0) code += "." + std::string(static_cast<std::size_t>(std::min(decimals, 30)), '0');
  return WithNumberFormat(xf, code + "%");
}

int Stylesheet::Import(const Stylesheet& other, int xf) {
  pugi::xml_document scratch;
  pugi::xml_node x = scratch.append_copy(other.XfNode(xf));
  if (!x) return 0;
  auto map_entry = [&](const std::vector<pugi::xml_node>& from, std::vector<pugi::xml_node>& to,
                       std::unordered_map<std::string, int>& keys, const char* section, const char* attribute) {
    const pugi::xml_node entry = other.Entry(from, attribute, xf);
    if (!entry) return;
    x.attribute(attribute) = FindOrAdd(to, keys, section, entry);
  };
  map_entry(other.fonts_, fonts_, font_keys_, "fonts", "fontId");
  map_entry(other.fills_, fills_, fill_keys_, "fills", "fillId");
  map_entry(other.borders_, borders_, border_keys_, "borders", "borderId");
  if (pugi::xml_attribute id = x.attribute("numFmtId")) {
    const int from = id.as_int();
    if (other.custom_formats_.count(from)) id = NumberFormatId(other.custom_formats_.at(from));
  }
  // Named cell styles are not carried across; the copy is based on the normal style.
  if (pugi::xml_attribute style = x.attribute("xfId")) style = 0;
  return AddXf(x);
}

int Stylesheet::ImportDxf(const Stylesheet& other, int dxf) {
  if (dxf < 0 || dxf >= static_cast<int>(other.dxfs_.size())) return -1;
  // A differential format carries its font, fill, border and number format itself.
  return FindOrAdd(dxfs_, dxf_keys_, "dxfs", other.dxfs_[static_cast<std::size_t>(dxf)]);
}

std::string Stylesheet::Print() const { return PrintDocument(doc_); }

}  // namespace brelix::xlsx
