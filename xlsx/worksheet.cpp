#include "xlsx/worksheet.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "platform/variant.h"
#include "xlsx/errors.h"
#include "xlsx/formula.h"
#include "xlsx/shared_strings.h"
#include "xlsx/sheet_comments.h"
#include "xlsx/sheet_elements.h"
#include "xlsx/styles.h"
#include "xlsx/workbook.h"
#include "xlsx/xml.h"
#include "xlsx/xml_pull.h"

namespace brelix::xlsx {

namespace {

constexpr std::string_view kErrorWords[] = {"#NULL!",  "#DIV/0!",   "#VALUE!",  "#REF!",   "#NAME?",
                                            "#NUM!",   "#N/A",      "#GETTING_DATA", "#SPILL!", "#CALC!",
                                            "#FIELD!", "#BLOCKED!", "#CONNECT!", "#BUSY!", "#UNKNOWN!"};

std::optional<std::uint64_t> ErrorCode(std::string_view word) {
  for (std::size_t i = 0; i < std::size(kErrorWords); ++i)
    if (kErrorWords[i] == word) return i;
  return std::nullopt;
}

// What a cell holds: the value kinds, with strings either in the workbook's shared table or in
// the sheet's own texts (inline strings and formulas' cached texts).
enum Stored : std::uint8_t { kEmpty, kNumber, kShared, kBoolean, kError, kLocal };

enum RowFlags : std::uint8_t {
  kHasHeight = 1,
  kCustomHeight = 2,
  kHidden = 4,
  kCustomFormat = 8,
  kCollapsed = 16,
  kThickTop = 32,
  kThickBottom = 64,
};

enum FormulaKind : std::uint8_t { kNormal, kArray, kDataTable };

constexpr int kDimensionRank = 1;
constexpr int kSheetDataRank = 5;
constexpr int kMergeCellsRank = 14;

double NumberOf(std::uint64_t payload) {
  double d;
  std::memcpy(&d, &payload, sizeof d);
  return d;
}
std::uint64_t PayloadOf(double d) {
  std::uint64_t p;
  std::memcpy(&p, &d, sizeof p);
  return p;
}

void AppendInt(std::string& out, std::int64_t value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

void AppendCellName(std::string& out, int row, int col) {
  char letters[4];
  int n = 0;
  while (col > 0) {
    letters[n++] = static_cast<char>('A' + (col - 1) % 26);
    col = (col - 1) / 26;
  }
  while (n > 0) out += letters[--n];
  AppendInt(out, row);
}

}  // namespace

std::span<const std::string_view> ErrorWords() { return kErrorWords; }

struct Worksheet::Cell {
  std::uint64_t payload = 0;  // kNumber: the double's bits; kShared/kLocal: the index; kBoolean: 0/1; kError: the code
  std::uint32_t formula = 0;  // 0: none; else the index into formulas_ + 1
  std::uint32_t style = 0;
  std::uint16_t col = 0;
  std::uint8_t stored = kEmpty;
};

struct Worksheet::Row {
  int r = 0;
  double height = 0;
  std::uint32_t style = 0;
  std::uint8_t flags = 0;
  std::uint8_t outline = 0;
  std::vector<Cell> cells;  // sorted by column
};

struct Worksheet::FormulaRec {
  std::string text;
  std::string ref;         // kArray, kDataTable: the range the formula fills
  std::string attributes;  // other attributes of <f> as stored (ca="1", dataTable settings)
  std::string cell_metadata;  // the cell's cm attribute: the formula's metadata (dynamic arrays)
  std::uint8_t kind = kNormal;
};

struct Worksheet::LocalText {
  std::string text;
  std::string rich;  // the runs of an inline rich string
};

// ---------------------------------------------------------------------------------------------
// Reading

class Worksheet::Loader {
 public:
  Loader(const Worksheet& sheet) : sheet_(sheet) {}

  void Load(const pugi::xml_node& root) {
    sheet_.root_name_ = root.name();
    for (pugi::xml_attribute a = root.first_attribute(); a; a = a.next_attribute()) {
      sheet_.root_attributes_ += ' ';
      sheet_.root_attributes_ += a.name();
      sheet_.root_attributes_ += "=\"";
      AppendEscapedAttribute(sheet_.root_attributes_, a.value());
      sheet_.root_attributes_ += '"';
    }
    // A prefixed root (x:worksheet): the engine writes its own elements unprefixed, in the
    // main namespace declared as the default.
    if (std::strchr(root.name(), ':') && !root.attribute("xmlns")) {
      for (pugi::xml_attribute a = root.first_attribute(); a; a = a.next_attribute())
        if (std::string_view(a.name()) == "xmlns:" + std::string(root.name(), std::strchr(root.name(), ':'))) {
          sheet_.root_attributes_ += " xmlns=\"";
          AppendEscapedAttribute(sheet_.root_attributes_, a.value());
          sheet_.root_attributes_ += '"';
        }
    }
    pugi::xml_node extras = sheet_.extras_.append_child("extras");
    for (pugi::xml_node child = root.first_child(); child; child = child.next_sibling()) {
      if (child.type() != pugi::node_element) continue;
      const std::string_view name = LocalName(child.name());
      if (name == "sheetData") {
        // Read before (see Worksheet::Load); a part the locating missed has its rows here.
        if (child.first_child()) ReadRows(PrintChildren(child));
      } else if (name == "mergeCells") {
        for (pugi::xml_node m : child.children()) {
          if (LocalName(m.name()) != "mergeCell") continue;
          const auto range = ParseRange(m.attribute("ref").value());
          if (!range) Fail("merged range \"" + std::string(m.attribute("ref").value()) + "\" is not a range");
          if (range->Rows() > 1 || range->Columns() > 1) sheet_.merges_.push_back(*range);
        }
      } else if (name != "dimension") {
        extras.append_copy(child);
        if (name == "sheetFormatPr")
          if (pugi::xml_attribute h = child.attribute("defaultRowHeight")) sheet_.default_row_height_ = h.as_double(15);
      }
    }
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw EXlsxError("Part " + sheet_.part_ + " of \"" + sheet_.Book().FileName() + "\" (sheet \"" + sheet_.name_ +
                     "\"): " + what);
  }

  using Tag = XmlPullReader::Tag;
  using TagKind = XmlPullReader::TagKind;

  static bool ParseInt(std::string_view text, int& value) {
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
  }

 public:
  // The rows of the cell data, read from the text of <sheetData>'s content without a tree.
  void ReadRows(std::string_view content, std::size_t offset = 0) {
    XmlPullReader in(content, "part " + sheet_.part_ + " of file \"" + sheet_.Book().FileName() + "\"", offset);
    int last_row = 0;
    bool sorted = true;
    for (Tag t = in.Next(); t.kind != TagKind::Done; t = in.Next()) {
      if (t.kind == TagKind::End) continue;
      if (t.name != "row") {
        if (t.kind == TagKind::Start) in.Skip();
        continue;
      }
      Row r;
      bool numbered = false;
      in.Attributes(t, [&](std::string_view n, std::string_view value) {
        if (n == "r") {
          if (!ParseInt(value, r.r) || r.r < 1 || r.r > kMaxRows)
            Fail("row number \"" + std::string(value) + "\" is outside the sheet");
          numbered = true;
        } else if (n == "ht") {
          r.height = std::strtod(std::string(value).c_str(), nullptr);
          r.flags |= kHasHeight;
        } else if (n == "customHeight" && XmlBool(std::string(value).c_str())) {
          r.flags |= kCustomHeight;
        } else if (n == "hidden" && XmlBool(std::string(value).c_str())) {
          r.flags |= kHidden;
        } else if (n == "customFormat" && XmlBool(std::string(value).c_str())) {
          r.flags |= kCustomFormat;
        } else if (n == "s") {
          int style = 0;
          if (ParseInt(value, style) && style > 0) r.style = static_cast<std::uint32_t>(style);
        } else if (n == "collapsed" && XmlBool(std::string(value).c_str())) {
          r.flags |= kCollapsed;
        } else if (n == "thickTop" && XmlBool(std::string(value).c_str())) {
          r.flags |= kThickTop;
        } else if (n == "thickBot" && XmlBool(std::string(value).c_str())) {
          r.flags |= kThickBottom;
        } else if (n == "outlineLevel") {
          int level = 0;
          ParseInt(value, level);
          r.outline = static_cast<std::uint8_t>(std::clamp(level, 0, 7));
        }
      });
      if (!numbered) r.r = last_row + 1;
      if (r.r <= last_row) sorted = false;
      last_row = r.r;
      if (t.kind == TagKind::Start) ReadCells(in, r);
      sheet_.rows_.push_back(std::move(r));
    }
    if (!sorted) {
      std::stable_sort(sheet_.rows_.begin(), sheet_.rows_.end(), [](const Row& a, const Row& b) { return a.r < b.r; });
      // Of rows given twice the later one counts.
      std::vector<Row> unique;
      for (Row& r : sheet_.rows_) {
        if (!unique.empty() && unique.back().r == r.r)
          unique.back() = std::move(r);
        else
          unique.push_back(std::move(r));
      }
      sheet_.rows_ = std::move(unique);
    }
  }

 private:
  // What one <f> holds.
  struct FormulaText {
    std::string text, type, ref, attributes;
    int si = -1;
  };

  void ReadCells(XmlPullReader& in, Row& r) {
    int last_col = 0;
    bool sorted = true;
    std::string type, v, metadata;
    FormulaText f;
    for (Tag t = in.Next();; t = in.Next()) {
      if (t.kind == TagKind::Done) Fail("row " + std::to_string(r.r) + " has no end");
      if (t.kind == TagKind::End) break;
      if (t.name != "c") {
        if (t.kind == TagKind::Start) in.Skip();
        continue;
      }
      Cell cell;
      int col = last_col + 1;
      type.clear();
      metadata.clear();
      in.Attributes(t, [&](std::string_view n, std::string_view value) {
        if (n == "r") {
          const auto pos = ParseCell(value);
          if (!pos) Fail("cell reference \"" + std::string(value) + "\" is not a cell of the sheet");
          if (pos->row != r.r) Fail("cell " + std::string(value) + " stands in row " + std::to_string(r.r));
          col = pos->col;
        } else if (n == "s") {
          int style = 0;
          if (ParseInt(value, style) && style > 0) cell.style = static_cast<std::uint32_t>(style);
        } else if (n == "t") {
          type = value;
        } else if (n == "cm") {
          metadata = value;
        }
      });
      if (col > kMaxColumns) Fail("a cell of row " + std::to_string(r.r) + " lies past the last column");
      if (col <= last_col) sorted = false;
      last_col = col;
      cell.col = static_cast<std::uint16_t>(col);
      bool has_v = false, has_f = false, has_is = false;
      std::string_view is;
      if (t.kind == TagKind::Start) {
        for (Tag k = in.Next(); k.kind != TagKind::End; k = in.Next()) {
          if (k.kind == TagKind::Done) Fail("cell " + CellName(r.r, col) + " has no end");
          const bool start = k.kind == TagKind::Start;
          if (k.name == "v") {
            has_v = true;
            v = start ? in.ReadText() : std::string();
          } else if (k.name == "f") {
            has_f = true;
            f = FormulaText{};
            in.Attributes(k, [&f](std::string_view n, std::string_view value) {
              if (n == "t") {
                f.type = value;
              } else if (n == "ref") {
                f.ref = value;
              } else if (n == "si") {
                if (!ParseInt(value, f.si)) f.si = -1;
              } else {
                f.attributes += ' ';
                f.attributes += n;
                f.attributes += "=\"";
                AppendEscapedAttribute(f.attributes, value);
                f.attributes += '"';
              }
            });
            if (start) f.text = in.ReadText();
          } else if (k.name == "is") {
            has_is = true;
            if (start) in.Skip();
            is = std::string_view(k.begin, static_cast<std::size_t>(in.Position() - k.begin));
          } else if (start) {
            in.Skip();
          }
        }
      }
      if (has_f) {
        ReadFormula(f, r.r, col, cell);
        if (cell.formula && !metadata.empty()) sheet_.formulas_[cell.formula - 1].cell_metadata = metadata;
      }
      ReadValue(type, has_v ? &v : nullptr, has_is ? &is : nullptr, r.r, col, cell);
      r.cells.push_back(cell);
    }
    if (!sorted) {
      std::stable_sort(r.cells.begin(), r.cells.end(), [](const Cell& a, const Cell& b) { return a.col < b.col; });
      r.cells.erase(std::unique(r.cells.begin(), r.cells.end(), [](const Cell& a, const Cell& b) { return a.col == b.col; }),
                    r.cells.end());
    }
  }

  void ReadFormula(const FormulaText& f, int row, int col, Cell& cell) {
    FormulaRec rec;
    rec.text = f.text;
    rec.attributes = f.attributes;
    if (f.type == "shared") {
      if (!f.ref.empty()) {
        masters_[f.si] = {row, col, rec.text};
      } else {
        const auto it = masters_.find(f.si);
        if (it == masters_.end()) return;  // no master: the cached value stays, the formula is lost
        try {
          rec.text = ShiftFormula(it->second.text, row - it->second.row, col - it->second.col);
        } catch (const platform::Exception& e) {
          Fail("the shared formula of cell " + CellName(row, col) + " cannot be read: " + e.Message());
        }
      }
    } else if (f.type == "array") {
      rec.kind = kArray;
      rec.ref = f.ref;
    } else if (f.type == "dataTable") {
      rec.kind = kDataTable;
      rec.ref = f.ref;
    }
    if (rec.text.empty() && rec.kind == kNormal) return;
    cell.formula = static_cast<std::uint32_t>(sheet_.formulas_.size() + 1);
    sheet_.formulas_.push_back(std::move(rec));
  }

  // An inline string item (<is> as written): plain text read directly, rich text through a
  // small tree of the item alone.
  void ReadInline(std::string_view item, Cell& cell) {
    XmlPullReader in(item, "part " + sheet_.part_ + " of file \"" + sheet_.Book().FileName() + "\"");
    Tag t = in.Next();
    if (t.kind == TagKind::Empty) {
      StoreLocal({{}, {}}, cell);
      return;
    }
    Tag first = in.Next();
    if (first.kind == TagKind::Start && first.name == "t") {
      std::string text = in.ReadText();
      if (in.Next().kind == TagKind::End) {
        StoreLocal({DecodeEscapes(text), {}}, cell);
        return;
      }
    }
    fragment_buffer_.assign(item);
    pugi::xml_document doc;
    ParseXml(doc, fragment_buffer_, sheet_.Book().FileName(), sheet_.part_);
    const pugi::xml_node is = doc.document_element();
    LocalText text{StringItemText(is), {}};
    if (!IsPlainStringItem(is)) text.rich = PrintChildren(is);
    StoreLocal(std::move(text), cell);
  }

  void ReadValue(std::string_view type, const std::string* v, const std::string_view* is, int row, int col, Cell& cell) {
    if (type == "inlineStr") {
      if (is) ReadInline(*is, cell);
      else if (v) StoreLocal({DecodeEscapes(*v), {}}, cell);
      return;
    }
    if (!v) return;
    const std::string& value = *v;
    if (type.empty() || type == "n") {
      const char* begin = value.data();
      const char* end = value.data() + value.size();
      while (begin < end && *begin == ' ') ++begin;
      if (begin == end) return;  // an empty value: an empty cell
      double number = 0;
      const auto result = std::from_chars(begin, end, number);
      if (result.ec != std::errc() || result.ptr != end)
        Fail("cell " + CellName(row, col) + " holds \"" + value + "\", which is not a number");
      cell.stored = kNumber;
      cell.payload = PayloadOf(number);
    } else if (type == "s") {
      unsigned long index = 0;
      const auto result = std::from_chars(value.data(), value.data() + value.size(), index);
      if (result.ec != std::errc() || result.ptr != value.data() + value.size() || value.empty() ||
          index >= sheet_.Book().Strings().Count())
        Fail("cell " + CellName(row, col) + " refers to shared string \"" + value + "\", which does not exist");
      cell.stored = kShared;
      cell.payload = index;
    } else if (type == "b") {
      cell.stored = kBoolean;
      cell.payload = XmlBool(value.c_str()) ? 1 : 0;
    } else if (type == "e") {
      const auto code = ErrorCode(value);
      if (!code) Fail("cell " + CellName(row, col) + " holds the unknown error \"" + value + "\"");
      cell.stored = kError;
      cell.payload = *code;
    } else if (type == "str") {
      StoreLocal({DecodeEscapes(value), {}}, cell);
    } else if (type == "d") {
      int y = 0, mo = 0, d = 0, h = 0, mi = 0;
      double sec = 0;
      if (std::sscanf(value.c_str(), "%d-%d-%dT%d:%d:%lf", &y, &mo, &d, &h, &mi, &sec) < 3)
        Fail("cell " + CellName(row, col) + " holds \"" + value + "\", which is not a date");
      cell.stored = kNumber;
      cell.payload = PayloadOf(platform::DateTime::FromDateTime(y, mo, d, h, mi, sec).serial);
    } else {
      Fail("cell " + CellName(row, col) + " has the unknown type \"" + std::string(type) + "\"");
    }
  }

  void StoreLocal(LocalText text, Cell& cell) {
    cell.stored = kLocal;
    cell.payload = sheet_.texts_.size();
    sheet_.texts_.push_back(std::move(text));
  }

  struct Master {
    int row, col;
    std::string text;
  };
  const Worksheet& sheet_;
  std::unordered_map<int, Master> masters_;
  std::string fragment_buffer_;
};

Worksheet::Worksheet(Workbook& book, std::string name, std::string part, bool is_new, bool is_chart)
    : book_(&book), name_(std::move(name)), part_(std::move(part)), is_chart_(is_chart) {
  if (is_new) {
    loaded_ = true;
    changed_ = true;
    root_attributes_ =
        " xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\""
        " xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";
    pugi::xml_node extras = extras_.append_child("extras");
    pugi::xml_node format = extras.append_child("sheetFormatPr");
    format.append_attribute("defaultRowHeight") = "15";
    pugi::xml_node margins = extras.append_child("pageMargins");
    for (const auto& [key, value] : {std::pair{"left", "0.7"}, {"right", "0.7"}, {"top", "0.75"}, {"bottom", "0.75"},
                                     {"header", "0.3"}, {"footer", "0.3"}})
      margins.append_attribute(key) = value;
  }
}

Worksheet::~Worksheet() = default;

namespace {

// The byte range of the content of the part's <sheetData> element; empty when it has none.
std::pair<std::size_t, std::size_t> SheetDataContent(std::string_view xml) {
  const auto name_char = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.';
  };
  constexpr std::string_view kName = "sheetData";
  for (std::size_t at = xml.find(kName); at != std::string_view::npos; at = xml.find(kName, at + 1)) {
    std::size_t begin = at;
    if (begin > 0 && xml[begin - 1] == ':') {
      --begin;
      while (begin > 0 && name_char(xml[begin - 1])) --begin;
    }
    if (begin == 0 || xml[begin - 1] != '<' || at + kName.size() >= xml.size()) continue;
    const char next = xml[at + kName.size()];
    if (next != '>' && next != '/' && next != ' ' && next != '\t' && next != '\n' && next != '\r') continue;
    const std::size_t gt = xml.find('>', at);
    if (gt == std::string_view::npos || xml[gt - 1] == '/') return {0, 0};
    const std::string close = "</" + std::string(xml.substr(begin, at - begin)) + std::string(kName) + ">";
    const std::size_t end = xml.find(close, gt);
    if (end == std::string_view::npos) return {0, 0};
    return {gt + 1, end};
  }
  return {0, 0};
}

}  // namespace

void Worksheet::Load() const {
  if (loaded_ || is_chart_) return;
  std::string xml = book_->ReadPart(part_);
  // The cell data is read from the text as it stands, and only the rest of the part becomes a
  // tree: a tree of a big sheet's cells would cost many times the cells themselves.
  Loader loader(*this);
  const auto [begin, end] = SheetDataContent(xml);
  if (end > begin) {
    loader.ReadRows(std::string_view(xml).substr(begin, end - begin), begin);
    xml.erase(begin, end - begin);
  }
  pugi::xml_document doc;
  ParseXml(doc, xml, book_->FileName(), part_);
  loader.Load(doc.document_element());
  loaded_ = true;
}

Relationships& Worksheet::Rels() const {
  if (!rels_) {
    rels_ = std::make_unique<Relationships>();
    const std::string part = RelsPartOf(part_);
    if (book_->HasPart(part)) rels_->Parse(book_->PartText(part), book_->FileName(), part);
  }
  return *rels_;
}

std::pair<std::string, bool> Worksheet::LinkTarget(std::string_view id) const {
  if (const Relationship* rel = Rels().FindById(id)) return {rel->target, rel->external};
  return {};
}

void Worksheet::DeclareRelationshipPrefix() {
  // Elements the engine adds name relationships with the prefix r.
  if (root_attributes_.find(" xmlns:r=\"") == std::string::npos)
    root_attributes_ += " xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"";
}

void Worksheet::SaveParts() {
  SaveComments();
  if (rels_ && rels_->Changed()) book_->PutPart(RelsPartOf(part_), rels_->Print());
}

void Worksheet::SetName(std::string_view name) { book_->RenameSheet(*this, name); }

void Worksheet::RequireCells() const {
  if (is_chart_) throw EXlsxError("Sheet \"" + name_ + "\" of \"" + book_->FileName() + "\" is a chart sheet and has no cells");
  Load();
}

void Worksheet::Change() {
  RequireCells();
  changed_ = true;
}

std::string Worksheet::Where(int row, int col) const { return "cell " + CellName(row, col) + " of sheet \"" + name_ + "\""; }

void Worksheet::CheckCellPos(int row, int col) const { CheckCell(row, col, "sheet \"" + name_ + "\""); }

const Worksheet::Row* Worksheet::FindRow(int row) const {
  RequireCells();
  const auto it = std::lower_bound(rows_.begin(), rows_.end(), row, [](const Row& r, int n) { return r.r < n; });
  return it != rows_.end() && it->r == row ? &*it : nullptr;
}

Worksheet::Row& Worksheet::RowAt(int row) {
  if (rows_.empty() || rows_.back().r < row) {
    rows_.emplace_back().r = row;
    return rows_.back();
  }
  const auto it = std::lower_bound(rows_.begin(), rows_.end(), row, [](const Row& r, int n) { return r.r < n; });
  if (it != rows_.end() && it->r == row) return *it;
  const auto added = rows_.emplace(it);
  added->r = row;
  return *added;
}

const Worksheet::Cell* Worksheet::FindCell(int row, int col) const {
  const Row* r = FindRow(row);
  if (!r) return nullptr;
  const auto it = std::lower_bound(r->cells.begin(), r->cells.end(), col, [](const Cell& c, int n) { return c.col < n; });
  return it != r->cells.end() && it->col == col ? &*it : nullptr;
}

Worksheet::Cell& Worksheet::CellAt(int row, int col) {
  Row& r = RowAt(row);
  if (r.cells.empty() || r.cells.back().col < col) {
    r.cells.emplace_back().col = static_cast<std::uint16_t>(col);
    return r.cells.back();
  }
  auto it = std::lower_bound(r.cells.begin(), r.cells.end(), col, [](const Cell& c, int n) { return c.col < n; });
  if (it != r.cells.end() && it->col == col) return *it;
  it = r.cells.emplace(it);
  it->col = static_cast<std::uint16_t>(col);
  return *it;
}

void Worksheet::ReleaseFormula(Cell& cell) {
  if (!cell.formula) return;
  FormulaRec& rec = formulas_[cell.formula - 1];
  rec = FormulaRec{};
  free_formulas_.push_back(cell.formula - 1);
  cell.formula = 0;
}

std::uint32_t Worksheet::StoreFormula(std::string text) {
  if (!free_formulas_.empty()) {
    const std::uint32_t index = free_formulas_.back();
    free_formulas_.pop_back();
    formulas_[index].text = std::move(text);
    return index + 1;
  }
  formulas_.emplace_back().text = std::move(text);
  return static_cast<std::uint32_t>(formulas_.size());
}

void Worksheet::EraseEmptyCells(Row& row) {
  row.cells.erase(std::remove_if(row.cells.begin(), row.cells.end(),
                                 [](const Cell& c) { return c.stored == kEmpty && !c.formula && !c.style; }),
                  row.cells.end());
}

CellValue Worksheet::Value(int row, int col) const {
  CheckCellPos(row, col);
  const Cell* cell = FindCell(row, col);
  if (!cell) return {};
  switch (cell->stored) {
    case kNumber: return CellValue::Number(NumberOf(cell->payload));
    case kShared: return CellValue::String(book_->Strings().Text(static_cast<std::uint32_t>(cell->payload)));
    case kLocal: return CellValue::String(texts_[cell->payload].text);
    case kBoolean: return CellValue::Boolean(cell->payload != 0);
    case kError: return CellValue::Error(std::string(kErrorWords[cell->payload]));
    default: return {};
  }
}

std::vector<CellValue> Worksheet::Values(const CellRange& range) const {
  CheckRange(range, "sheet \"" + name_ + "\"");
  std::vector<CellValue> values;
  values.reserve(static_cast<std::size_t>(range.Rows()) * static_cast<std::size_t>(range.Columns()));
  for (int r = range.top; r <= range.bottom; ++r)
    for (int c = range.left; c <= range.right; ++c) values.push_back(Value(r, c));
  return values;
}

std::string Worksheet::Formula(int row, int col) const {
  CheckCellPos(row, col);
  const Cell* cell = FindCell(row, col);
  return cell && cell->formula ? formulas_[cell->formula - 1].text : std::string();
}

bool Worksheet::HasFormula(int row, int col) const {
  CheckCellPos(row, col);
  const Cell* cell = FindCell(row, col);
  return cell && cell->formula;
}

int Worksheet::Style(int row, int col) const {
  CheckCellPos(row, col);
  if (const Cell* cell = FindCell(row, col)) return static_cast<int>(cell->style);
  if (const Row* r = FindRow(row); r && (r->flags & kCustomFormat)) return static_cast<int>(r->style);
  return 0;
}

void Worksheet::SetCellValue(Cell& cell, const CellValue& value) {
  switch (value.type) {
    case CellType::Empty:
      cell.stored = kEmpty;
      cell.payload = 0;
      break;
    case CellType::Number:
      cell.stored = kNumber;
      cell.payload = PayloadOf(value.number);
      break;
    case CellType::String:
      cell.stored = kShared;
      cell.payload = book_->Strings().Add(value.text);
      break;
    case CellType::Boolean:
      cell.stored = kBoolean;
      cell.payload = value.boolean ? 1 : 0;
      break;
    case CellType::Error: {
      const auto code = ErrorCode(value.text);
      if (!code) throw EXlsxError("\"" + value.text + "\" is not an error value a cell can hold");
      cell.stored = kError;
      cell.payload = *code;
      break;
    }
  }
}

void Worksheet::SetValue(int row, int col, const CellValue& value) {
  CheckCellPos(row, col);
  Change();
  if (value.type == CellType::Error && !ErrorCode(value.text))
    throw EXlsxError("\"" + value.text + "\" for " + Where(row, col) + " is not an error value a cell can hold");
  if (value.type == CellType::Empty && !FindCell(row, col)) return;
  Cell& cell = CellAt(row, col);
  ReleaseFormula(cell);
  SetCellValue(cell, value);
}

void Worksheet::SetFormula(int row, int col, std::string_view formula) {
  CheckCellPos(row, col);
  Change();
  if (!formula.empty() && formula.front() == '=') formula.remove_prefix(1);
  if (formula.empty() && !FindCell(row, col)) return;
  Cell& cell = CellAt(row, col);
  ReleaseFormula(cell);
  cell.stored = kEmpty;
  cell.payload = 0;
  if (formula.empty()) return;
  cell.formula = StoreFormula(std::string(formula));
  book_->RequestFullCalc();
}

void Worksheet::SetStyle(int row, int col, int style) {
  CheckCellPos(row, col);
  Change();
  if (style == 0 && !FindCell(row, col)) return;
  CellAt(row, col).style = static_cast<std::uint32_t>(std::max(style, 0));
}

void Worksheet::SetStyle(const CellRange& range, int style) {
  CheckRange(range, "sheet \"" + name_ + "\"");
  for (int r = range.top; r <= range.bottom; ++r)
    for (int c = range.left; c <= range.right; ++c) SetStyle(r, c, style);
}

void Worksheet::WriteCells(int row, int col, int columns, std::span<const CellData> cells) {
  if (cells.empty()) return;
  if (columns < 1) throw EXlsxError("A block written to sheet \"" + name_ + "\" needs at least one column");
  const int rows = static_cast<int>((cells.size() + static_cast<std::size_t>(columns) - 1) / static_cast<std::size_t>(columns));
  CheckRange({row, col, row + rows - 1, col + std::min<int>(columns, static_cast<int>(cells.size())) - 1},
             "sheet \"" + name_ + "\"");
  Change();
  SharedStrings& strings = book_->Strings();
  bool formulas = false;
  for (int i = 0; i < rows; ++i) {
    Row& r = RowAt(row + i);
    const std::size_t first = static_cast<std::size_t>(i) * static_cast<std::size_t>(columns);
    const std::size_t last = std::min(cells.size(), first + static_cast<std::size_t>(columns));
    for (std::size_t k = first; k < last; ++k) {
      const CellData& data = cells[k];
      const int c = col + static_cast<int>(k - first);
      Cell* cell;
      if (r.cells.empty() || r.cells.back().col < c) {
        if (data.kind == CellData::Kind::Empty && data.style <= 0) continue;
        cell = &r.cells.emplace_back();
        cell->col = static_cast<std::uint16_t>(c);
      } else {
        cell = &CellAt(row + i, c);
        ReleaseFormula(*cell);
      }
      if (data.style >= 0) cell->style = static_cast<std::uint32_t>(data.style);
      cell->payload = 0;
      cell->stored = kEmpty;
      switch (data.kind) {
        case CellData::Kind::Empty: break;
        case CellData::Kind::Number:
          cell->stored = kNumber;
          cell->payload = PayloadOf(data.number);
          break;
        case CellData::Kind::String:
          cell->stored = kShared;
          cell->payload = strings.Add(data.text);
          break;
        case CellData::Kind::Boolean:
          cell->stored = kBoolean;
          cell->payload = data.boolean ? 1 : 0;
          break;
        case CellData::Kind::Error: {
          const auto code = ErrorCode(data.text);
          if (!code)
            throw EXlsxError("\"" + std::string(data.text) + "\" for " + Where(row + i, c) +
                             " is not an error value a cell can hold");
          cell->stored = kError;
          cell->payload = *code;
          break;
        }
        case CellData::Kind::Formula: {
          std::string_view text = data.text;
          if (!text.empty() && text.front() == '=') text.remove_prefix(1);
          if (text.empty()) break;
          cell->formula = StoreFormula(std::string(text));
          formulas = true;
          break;
        }
      }
    }
  }
  if (formulas) book_->RequestFullCalc();
}

void Worksheet::EmptyCells(const CellRange& range, bool keep_style) {
  CheckRange(range, "sheet \"" + name_ + "\"");
  Change();
  for (auto it = std::lower_bound(rows_.begin(), rows_.end(), range.top, [](const Row& r, int n) { return r.r < n; });
       it != rows_.end() && it->r <= range.bottom; ++it) {
    Row& r = *it;
    for (Cell& c : r.cells)
      if (c.col >= range.left && c.col <= range.right) {
        ReleaseFormula(c);
        if (keep_style) {
          c.stored = kEmpty;
          c.payload = 0;
        } else {
          c = Cell{0, 0, 0, c.col, kEmpty};
        }
      }
    EraseEmptyCells(r);
  }
}

void Worksheet::ClearContents(const CellRange& range) { EmptyCells(range, true); }

void Worksheet::Clear(const CellRange& range) {
  EmptyCells(range, false);
  Unmerge(range);
  sheet_elements::Trim(extras_.document_element(), range, &element_index_);
  RemoveComments(range);
}

void Worksheet::Copy(const CellRange& source, Worksheet& destination, int row, int col) const {
  CheckRange(source, "sheet \"" + name_ + "\"");
  const CellRange target{row, col, row + source.Rows() - 1, col + source.Columns() - 1};
  CheckRange(target, "sheet \"" + destination.name_ + "\"");
  RequireCells();
  destination.Change();
  const bool same_book = book_ == destination.book_;
  const int row_shift = row - source.top, col_shift = col - source.left;

  // A snapshot first: source and destination may overlap.
  struct Item {
    int row, col;
    Cell cell;
    FormulaRec formula;
    LocalText text;
  };
  std::vector<Item> items;
  for (auto it = std::lower_bound(rows_.begin(), rows_.end(), source.top, [](const Row& r, int n) { return r.r < n; });
       it != rows_.end() && it->r <= source.bottom; ++it) {
    const Row& r = *it;
    for (const Cell& c : r.cells) {
      if (c.col < source.left || c.col > source.right) continue;
      Item item{r.r + row_shift, c.col + col_shift, c, {}, {}};
      if (c.formula) {
        item.formula = formulas_[c.formula - 1];
        try {
          item.formula.text = ShiftFormula(item.formula.text, row_shift, col_shift);
        } catch (const platform::Exception& e) {
          throw EXlsxError("The formula of " + Where(r.r, c.col) + " cannot be copied: " + e.Message());
        }
        if (!item.formula.ref.empty())
          if (const auto ref = ParseRange(item.formula.ref))
            item.formula.ref = RangeName({ref->top + row_shift, ref->left + col_shift, ref->bottom + row_shift,
                                          ref->right + col_shift});
      }
      if (c.stored == kLocal) item.text = texts_[c.payload];
      items.push_back(std::move(item));
    }
  }
  std::vector<CellRange> merges;
  for (const CellRange& m : merges_)
    if (source.Contains(m)) merges.push_back({m.top + row_shift, m.left + col_shift, m.bottom + row_shift, m.right + col_shift});

  // Conditional formats, validations and hyperlinks of the source cells go along.
  sheet_elements::CopyMaps maps;
  if (!same_book)
    maps.dxf = [&destination, this](int dxf) { return destination.book_->Styles().ImportDxf(book_->Styles(), dxf); };
  maps.source_link = [this](std::string_view id) { return LinkTarget(id); };
  maps.destination_link = [&destination](std::string_view id) { return destination.LinkTarget(id); };
  maps.add_link = [&destination](const std::string& link, bool external) {
    return destination.Rels().Add(rel_type::kHyperlink, link, external);
  };
  sheet_elements::Clipboard clipboard;
  clipboard.Collect(extras_.document_element(), source, row_shift, col_shift, maps);
  CommentClip comments;
  CollectComments(source, comments);

  destination.Clear(target);
  if (!clipboard.Empty()) {
    destination.DeclareRelationshipPrefix();
    clipboard.Paste(destination.extras_.document_element(), maps, destination.element_index_);
  }
  destination.PasteComments(comments, row_shift, col_shift);
  std::unordered_map<std::uint32_t, std::uint32_t> styles;
  bool formulas = false;
  for (Item& item : items) {
    Cell& cell = destination.CellAt(item.row, item.col);
    cell.stored = item.cell.stored;
    cell.payload = item.cell.payload;
    cell.style = item.cell.style;
    if (!same_book) {
      if (cell.style) {
        auto it = styles.find(cell.style);
        if (it == styles.end())
          it = styles.emplace(cell.style, destination.book_->Styles().Import(book_->Styles(), static_cast<int>(cell.style)))
                   .first;
        cell.style = it->second;
      }
      if (cell.stored == kShared) {
        const auto index = static_cast<std::uint32_t>(item.cell.payload);
        const std::string_view rich = book_->Strings().RichXml(index);
        cell.payload = rich.empty() ? destination.book_->Strings().Add(book_->Strings().Text(index))
                                    : destination.book_->Strings().AddRich(book_->Strings().Text(index), std::string(rich));
      }
    }
    if (cell.stored == kLocal) {
      cell.payload = destination.texts_.size();
      destination.texts_.push_back(std::move(item.text));
    }
    if (item.cell.formula) {
      // The copied formula computes something else: no cached result.
      if (cell.stored != kEmpty && item.formula.kind == kNormal) {
        cell.stored = kEmpty;
        cell.payload = 0;
      }
      cell.formula = destination.StoreFormula(std::move(item.formula.text));
      FormulaRec& rec = destination.formulas_[cell.formula - 1];
      rec.ref = std::move(item.formula.ref);
      rec.attributes = std::move(item.formula.attributes);
      rec.cell_metadata = std::move(item.formula.cell_metadata);
      rec.kind = item.formula.kind;
      formulas = true;
    }
  }
  for (const CellRange& m : merges) destination.merges_.push_back(m);
  if (formulas) destination.book_->RequestFullCalc();
}

double Worksheet::DefaultRowHeight() const {
  RequireCells();
  return default_row_height_;
}

double Worksheet::RowHeight(int row) const {
  CheckCellPos(row, 1);
  const Row* r = FindRow(row);
  return r && (r->flags & kHasHeight) ? r->height : default_row_height_;
}

bool Worksheet::HasCustomHeight(int row) const {
  CheckCellPos(row, 1);
  const Row* r = FindRow(row);
  return r && (r->flags & kHasHeight) && (r->flags & kCustomHeight);
}

bool Worksheet::RowHidden(int row) const {
  CheckCellPos(row, 1);
  const Row* r = FindRow(row);
  return r && (r->flags & kHidden);
}

void Worksheet::SetRowHeight(int first_row, int last_row, double points) {
  CheckRange({first_row, 1, last_row, 1}, "sheet \"" + name_ + "\"");
  if (!(points >= 0 && points <= 409.5))
    throw EXlsxError("Row height " + platform::FormatFloat(points) + " for sheet \"" + name_ +
                     "\" is outside 0 to 409.5 points");
  Change();
  for (int row = first_row; row <= last_row; ++row) {
    Row& r = RowAt(row);
    r.height = points;
    r.flags |= kHasHeight | kCustomHeight;
  }
}

void Worksheet::AutoFitRows(int first_row, int last_row) {
  CheckRange({first_row, 1, last_row, 1}, "sheet \"" + name_ + "\"");
  RequireCells();
  auto it = std::lower_bound(rows_.begin(), rows_.end(), first_row, [](const Row& r, int n) { return r.r < n; });
  for (; it != rows_.end() && it->r <= last_row; ++it) {
    if (!(it->flags & kHasHeight)) continue;
    Change();
    it->flags = static_cast<std::uint8_t>(it->flags & ~(kHasHeight | kCustomHeight));
  }
}

void Worksheet::CopyRowHeights(int first_row, int count, Worksheet& destination, int dest_row) const {
  if (count <= 0) return;
  CheckRange({first_row, 1, first_row + count - 1, 1}, "sheet \"" + name_ + "\"");
  CheckRange({dest_row, 1, dest_row + count - 1, 1}, "sheet \"" + destination.name_ + "\"");
  RequireCells();
  destination.Change();
  std::vector<std::pair<double, std::uint8_t>> heights;
  for (int i = 0; i < count; ++i) {
    const Row* r = FindRow(first_row + i);
    heights.emplace_back(r ? r->height : 0, r ? static_cast<std::uint8_t>(r->flags & (kHasHeight | kCustomHeight)) : 0);
  }
  for (int i = 0; i < count; ++i) {
    const auto [height, flags] = heights[static_cast<std::size_t>(i)];
    if (!flags && !destination.FindRow(dest_row + i)) continue;
    Row& r = destination.RowAt(dest_row + i);
    r.height = height;
    r.flags = static_cast<std::uint8_t>((r.flags & ~(kHasHeight | kCustomHeight)) | flags);
  }
}

std::optional<double> Worksheet::ColumnWidth(int col) const {
  CheckCellPos(1, col);
  RequireCells();
  for (pugi::xml_node cols : extras_.document_element().children()) {
    if (LocalName(cols.name()) != "cols") continue;
    for (pugi::xml_node c : cols.children())
      if (col >= c.attribute("min").as_int() && col <= c.attribute("max").as_int() && c.attribute("width"))
        return c.attribute("width").as_double();
  }
  return std::nullopt;
}

std::optional<CellRange> Worksheet::UsedRange() const {
  RequireCells();
  std::optional<CellRange> used;
  for (const Row& r : rows_) {
    if (r.cells.empty()) continue;
    const int left = r.cells.front().col, right = r.cells.back().col;
    if (!used) {
      used = CellRange{r.r, left, r.r, right};
    } else {
      used->bottom = r.r;
      used->left = std::min(used->left, left);
      used->right = std::max(used->right, right);
    }
  }
  return used;
}

const std::vector<CellRange>& Worksheet::MergedRanges() const {
  RequireCells();
  return merges_;
}

void Worksheet::Merge(const CellRange& range) {
  CheckRange(range, "sheet \"" + name_ + "\"");
  Change();
  if (range.Rows() == 1 && range.Columns() == 1) return;
  if (range.top <= MergesBottom())
    for (const CellRange& m : merges_)
      if (m.Intersects(range))
        throw EXlsxError("Cannot merge " + RangeName(range) + " in sheet \"" + name_ + "\": it overlaps the merged range " +
                         RangeName(m));
  merges_.push_back(range);
}

int Worksheet::MergesBottom() const {
  for (; merges_scanned_ < merges_.size(); ++merges_scanned_)
    merges_bottom_ = std::max(merges_bottom_, merges_[merges_scanned_].bottom);
  return merges_bottom_;
}

void Worksheet::Unmerge(const CellRange& range) {
  CheckRange(range, "sheet \"" + name_ + "\"");
  Change();
  // Rows written below every merged range, as a report grows, need no search.
  if (range.top > MergesBottom()) return;
  merges_scanned_ = 0;
  merges_bottom_ = 0;
  merges_.erase(std::remove_if(merges_.begin(), merges_.end(), [&range](const CellRange& m) { return m.Intersects(range); }),
                merges_.end());
}

void Worksheet::RewriteFormulas(const std::function<std::optional<std::string>(std::string_view)>& rename) {
  if (is_chart_) return;
  Load();
  for (FormulaRec& f : formulas_) {
    if (f.text.empty()) continue;
    if (auto text = rename(f.text)) {
      f.text = std::move(*text);
      changed_ = true;
    }
  }
}

std::vector<std::string> Worksheet::ElementsXml(std::string_view local_name) const {
  RequireCells();
  std::vector<std::string> out;
  for (pugi::xml_node node : extras_.document_element().children())
    if (LocalName(node.name()) == local_name) out.push_back(PrintNode(node));
  return out;
}

// ---------------------------------------------------------------------------------------------
// Writing

class Worksheet::Printer {
 public:
  explicit Printer(const Worksheet& sheet) : sheet_(sheet) {}

  bool Next(std::string& out) {
    switch (phase_) {
      case 0:
        Head(out);
        phase_ = 1;
        return true;
      case 1:
        while (row_ < sheet_.rows_.size() && out.size() < 256 * 1024) PrintRow(out, sheet_.rows_[row_++]);
        if (row_ == sheet_.rows_.size()) {
          out += "</sheetData>";
          phase_ = 2;
        }
        return true;
      case 2:
        Tail(out);
        phase_ = 3;
        return true;
      default:
        return false;
    }
  }

 private:
  void Head(std::string& out) {
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<";
    out += sheet_.root_name_;
    out += sheet_.root_attributes_;
    out += '>';
    int rank = -1;
    bool dimension = false;
    for (node_ = sheet_.extras_.document_element().first_child(); node_; node_ = node_.next_sibling()) {
      rank = sheet_elements::ElementRank(LocalName(node_.name()), rank);
      if (rank >= kSheetDataRank) break;
      if (rank > kDimensionRank && !dimension) {
        Dimension(out);
        dimension = true;
      }
      out += PrintNode(node_);
    }
    if (!dimension) Dimension(out);
    rank_ = rank;
    out += "<sheetData>";
  }

  void Dimension(std::string& out) const {
    const auto used = sheet_.UsedRange();
    out += "<dimension ref=\"";
    out += used ? RangeName(*used) : std::string("A1");
    out += "\"/>";
  }

  void Tail(std::string& out) {
    bool merges = false;
    int rank = rank_;
    for (; node_; node_ = node_.next_sibling()) {
      rank = sheet_elements::ElementRank(LocalName(node_.name()), rank);
      if (rank > kMergeCellsRank && !merges) {
        Merges(out);
        merges = true;
      }
      out += PrintNode(node_);
    }
    if (!merges) Merges(out);
    out += "</";
    out += sheet_.root_name_;
    out += '>';
  }

  void Merges(std::string& out) const {
    if (sheet_.merges_.empty()) return;
    out += "<mergeCells count=\"";
    AppendInt(out, static_cast<std::int64_t>(sheet_.merges_.size()));
    out += "\">";
    for (const CellRange& m : sheet_.merges_) {
      out += "<mergeCell ref=\"";
      out += RangeName(m);
      out += "\"/>";
    }
    out += "</mergeCells>";
  }

  void PrintRow(std::string& out, const Row& r) const {
    if (r.cells.empty() && !r.flags && !r.outline) return;
    out += "<row r=\"";
    AppendInt(out, r.r);
    out += '"';
    if (r.flags & kCustomFormat) {
      out += " s=\"";
      AppendInt(out, r.style);
      out += "\" customFormat=\"1\"";
    }
    if (r.flags & kHasHeight) {
      out += " ht=\"";
      AppendNumber(out, r.height);
      out += '"';
      if (r.flags & kCustomHeight) out += " customHeight=\"1\"";
    }
    if (r.flags & kHidden) out += " hidden=\"1\"";
    if (r.outline) {
      out += " outlineLevel=\"";
      AppendInt(out, r.outline);
      out += '"';
    }
    if (r.flags & kCollapsed) out += " collapsed=\"1\"";
    if (r.flags & kThickTop) out += " thickTop=\"1\"";
    if (r.flags & kThickBottom) out += " thickBot=\"1\"";
    if (r.cells.empty()) {
      out += "/>";
      return;
    }
    out += '>';
    for (const Cell& c : r.cells) PrintCell(out, r.r, c);
    out += "</row>";
  }

  void PrintCell(std::string& out, int row, const Cell& c) const {
    out += "<c r=\"";
    AppendCellName(out, row, c.col);
    out += '"';
    if (c.style) {
      out += " s=\"";
      AppendInt(out, c.style);
      out += '"';
    }
    // A formula goes out without its cached result: other cells of the workbook may have
    // changed, and a reader that trusts cached results would show stale ones.
    if (c.formula) {
      const FormulaRec& f = sheet_.formulas_[c.formula - 1];
      if (!f.cell_metadata.empty()) {
        out += " cm=\"";
        AppendEscapedAttribute(out, f.cell_metadata);
        out += '"';
      }
      out += '>';
      PrintFormula(out, f);
      out += "</c>";
      return;
    }
    switch (c.stored) {
      case kShared: out += " t=\"s\""; break;
      case kLocal: out += " t=\"inlineStr\""; break;
      case kBoolean: out += " t=\"b\""; break;
      case kError: out += " t=\"e\""; break;
      default: break;
    }
    if (c.stored == kEmpty) {
      out += "/>";
      return;
    }
    out += '>';
    switch (c.stored) {
      case kNumber:
        out += "<v>";
        AppendNumber(out, NumberOf(c.payload));
        out += "</v>";
        break;
      case kShared:
        out += "<v>";
        AppendInt(out, static_cast<std::int64_t>(c.payload));
        out += "</v>";
        break;
      case kLocal: {
        const LocalText& t = sheet_.texts_[c.payload];
        out += "<is>";
        if (t.rich.empty())
          AppendTextElement(out, t.text);
        else
          out += t.rich;
        out += "</is>";
        break;
      }
      case kBoolean: out += c.payload ? "<v>1</v>" : "<v>0</v>"; break;
      case kError:
        out += "<v>";
        AppendEscapedText(out, kErrorWords[c.payload]);
        out += "</v>";
        break;
      default: break;
    }
    out += "</c>";
  }

  static void PrintFormula(std::string& out, const FormulaRec& f) {
    out += "<f";
    if (f.kind != kNormal) {
      out += f.kind == kArray ? " t=\"array\" ref=\"" : " t=\"dataTable\" ref=\"";
      AppendEscapedAttribute(out, f.ref);
      out += '"';
    }
    out += f.attributes;
    if (f.text.empty()) {
      out += "/>";
      return;
    }
    out += '>';
    AppendEscapedPlain(out, f.text);
    out += "</f>";
  }

  const Worksheet& sheet_;
  int phase_ = 0;
  std::size_t row_ = 0;
  pugi::xml_node node_;
  int rank_ = -1;
};

ChunkProducer Worksheet::Writer() const {
  RequireCells();
  auto printer = std::make_shared<Printer>(*this);
  return [printer](std::string& out) { return printer->Next(out); };
}

}  // namespace brelix::xlsx
