#include "xlsx/workbook.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <set>

#include "platform/text.h"
#include "xlsx/errors.h"
#include "xlsx/formula.h"
#include "xlsx/xml.h"

namespace brelix::xlsx {

namespace {

constexpr const char* kRelationshipsNamespace = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr const char* kStrictRelationshipsNamespace = "http://purl.oclc.org/ooxml/officeDocument/relationships";

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

bool IsWorkbookType(std::string_view type) {
  return type == workbook_type::kWorkbook || type == workbook_type::kTemplate || type == workbook_type::kMacroWorkbook ||
         type == workbook_type::kMacroTemplate;
}

// The main part's content type for a file name, or empty to keep the present one.
std::string_view TypeForExtension(const std::filesystem::path& file) {
  const std::string ext = platform::LowerCase(file.extension().string());
  if (ext == ".xlsx") return workbook_type::kWorkbook;
  if (ext == ".xltx") return workbook_type::kTemplate;
  if (ext == ".xlsm") return workbook_type::kMacroWorkbook;
  if (ext == ".xltm") return workbook_type::kMacroTemplate;
  return {};
}

// The number of characters of a UTF-8 text as the sheet-name limit counts them (UTF-16 units).
std::size_t NameLength(std::string_view name) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    if ((c & 0xC0) != 0x80) n += c >= 0xF0 ? 2 : 1;
  }
  return n;
}

// The sheet name as a formula's sheet prefix writes it: quoted (with doubled apostrophes) unless
// it is a plain word that cannot be read as a cell reference.
std::string SheetPrefix(std::string_view name) {
  bool plain = !name.empty() && !(name.front() >= '0' && name.front() <= '9') && !ParseCell(name);
  for (const char c : name)
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '.'))
      plain = false;
  if (plain) return std::string(name) + "!";
  std::string out = "'";
  for (const char c : name) {
    if (c == '\'') out += '\'';
    out += c;
  }
  return out + "'!";
}

// The sheet name a prefix such as "Data!" or "'My Sheet'!" names; empty for prefixes of other
// workbooks ("[1]Data!") and sheet ranges ("Jan:Dec!").
std::string PrefixSheet(std::string_view prefix) {
  if (prefix.empty() || prefix.back() != '!') return {};
  prefix.remove_suffix(1);
  if (!prefix.empty() && prefix.front() == '[') return {};
  if (prefix.size() >= 2 && prefix.front() == '\'' && prefix.back() == '\'') {
    std::string name;
    for (std::size_t i = 1; i + 1 < prefix.size(); ++i) {
      name += prefix[i];
      if (prefix[i] == '\'' && prefix[i + 1] == '\'') ++i;
    }
    return name;
  }
  if (prefix.find(':') != std::string_view::npos) return {};
  return std::string(prefix);
}

// The formula with references into sheet old_name pointing to new_name; nullopt when it has
// none (or cannot be read, so it is left as it is).
std::optional<std::string> RenameInFormula(std::string_view formula, std::string_view old_name, std::string_view new_name) {
  if (formula.find('!') == std::string_view::npos) return std::nullopt;
  std::vector<FormulaToken> tokens;
  try {
    tokens = TokenizeFormula(formula);
  } catch (const platform::Exception&) {
    return std::nullopt;
  }
  std::string out;
  bool changed = false;
  for (const FormulaToken& t : tokens) {
    if (t.prefix && platform::SameText(PrefixSheet(t.text.substr(0, t.prefix)), old_name)) {
      out += SheetPrefix(new_name);
      out += t.text.substr(t.prefix);
      changed = true;
    } else {
      out += t.text;
    }
  }
  if (!changed) return std::nullopt;
  return out;
}

}  // namespace

Workbook::~Workbook() = default;

std::unique_ptr<Workbook> Workbook::Open(const std::filesystem::path& file) {
  std::unique_ptr<Workbook> book(new Workbook);
  book->file_ = file.string();
  book->source_ = std::make_unique<ZipReader>(file);
  book->Load();
  return book;
}

std::string Workbook::ReadPart(std::string_view part) const {
  if (!source_) throw EXlsxError("The new workbook has no stored part " + std::string(part));
  return source_->Read(part);
}

bool Workbook::HasPart(std::string_view part) const {
  return new_parts_.count(std::string(part)) || (source_ && source_->Has(part));
}

std::string Workbook::PartText(std::string_view part) const {
  if (const auto it = new_parts_.find(std::string(part)); it != new_parts_.end()) return it->second;
  return ReadPart(part);
}

void Workbook::PutPart(const std::string& part, std::string content) { new_parts_[part] = std::move(content); }

bool Workbook::PartExists(std::string_view part) const {
  if (source_ && source_->Has(part)) return true;
  for (const auto& [name, content] : new_parts_)
    if (platform::SameText(name, part)) return true;
  for (const auto& sheet : sheets_)
    if (platform::SameText(sheet->Part(), part)) return true;
  return platform::SameText(part, styles_part_) || platform::SameText(part, strings_part_);
}

void Workbook::Load() {
  const ZipReader& zip = *source_;
  const std::string content_types = zip.Find(kContentTypesPart);
  if (content_types.empty())
    throw EXlsxError("File " + Quoted(file_) + " is not a spreadsheet package: it has no " +
                     std::string(kContentTypesPart));
  content_types_.Parse(zip.Read(content_types), file_);

  const std::string package_rels = zip.Find("_rels/.rels");
  if (!package_rels.empty()) package_rels_.Parse(zip.Read(package_rels), file_, package_rels);
  if (const Relationship* main = package_rels_.FindByType(rel_type::kOfficeDocument))
    workbook_part_ = zip.Find(ResolveTarget("", main->target));
  if (workbook_part_.empty())
    throw EXlsxError("File " + Quoted(file_) + " is not a spreadsheet package: it has no workbook part");
  const std::string main_type = content_types_.TypeOf(workbook_part_);
  if (!IsWorkbookType(main_type))
    throw EXlsxError("File " + Quoted(file_) + " is not a spreadsheet: its main part " + workbook_part_ +
                     " has the content type " + Quoted(main_type));

  workbook_buffer_ = zip.Read(workbook_part_);
  ParseXml(workbook_doc_, workbook_buffer_, file_, workbook_part_);
  const std::string rels_part = zip.Find(RelsPartOf(workbook_part_));
  if (!rels_part.empty()) workbook_rels_.Parse(zip.Read(rels_part), file_, rels_part);

  if (const Relationship* styles = workbook_rels_.FindByType(rel_type::kStyles)) {
    styles_part_ = zip.Find(ResolveTarget(workbook_part_, styles->target));
    if (styles_part_.empty())
      throw EXlsxError("Workbook " + Quoted(file_) + " names the styles part " + styles->target + ", which is missing");
    styles_.Parse(zip.Read(styles_part_), file_, styles_part_);
  } else {
    styles_.InitDefault();
  }
  if (const Relationship* strings = workbook_rels_.FindByType(rel_type::kSharedStrings)) {
    strings_part_ = zip.Find(ResolveTarget(workbook_part_, strings->target));
    if (!strings_part_.empty()) strings_.Parse(zip.Read(strings_part_), file_, strings_part_);
  }

  const pugi::xml_node sheets = Child(workbook_doc_.document_element(), "sheets");
  for (pugi::xml_node s : sheets.children()) {
    if (LocalName(s.name()) != "sheet") continue;
    const std::string name = s.attribute("name").value();
    const std::string id = Attribute(s, "id").value();
    const Relationship* rel = workbook_rels_.FindById(id);
    if (!rel)
      throw EXlsxError("Workbook " + Quoted(file_) + ": sheet " + Quoted(name) + " refers to relationship " +
                       Quoted(id) + ", which " + workbook_part_ + " does not have");
    const std::string part = zip.Find(ResolveTarget(workbook_part_, rel->target));
    if (part.empty())
      throw EXlsxError("Workbook " + Quoted(file_) + ": the part " + ResolveTarget(workbook_part_, rel->target) +
                       " of sheet " + Quoted(name) + " is missing");
    const bool is_worksheet = rel->type.size() >= rel_type::kWorksheet.size() &&
                              rel->type.ends_with(rel_type::kWorksheet);
    sheets_.push_back(std::make_unique<Worksheet>(*this, name, part, false, !is_worksheet));
    sheet_rel_ids_.push_back(id);
  }
  if (sheets_.empty()) throw EXlsxError("Workbook " + Quoted(file_) + " has no sheets");
}

std::unique_ptr<Workbook> Workbook::Create() {
  std::unique_ptr<Workbook> book(new Workbook);
  book->content_types_.InitEmpty();
  book->workbook_part_ = "xl/workbook.xml";
  book->content_types_.SetOverride(book->workbook_part_, workbook_type::kWorkbook);
  book->package_rels_.Add(rel_type::kOfficeDocument, book->workbook_part_);
  book->workbook_buffer_ =
      "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
      "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
      "<bookViews><workbookView activeTab=\"0\"/></bookViews><sheets/></workbook>";
  book->workbook_doc_.load_buffer_inplace(book->workbook_buffer_.data(), book->workbook_buffer_.size());
  book->workbook_changed_ = true;
  book->styles_.InitDefault();
  book->AddSheet("Sheet1");
  return book;
}

Worksheet& Workbook::Sheet(int index) const {
  if (index < 0 || index >= SheetCount())
    throw EXlsxError("Workbook " + Quoted(file_) + " has no sheet number " + std::to_string(index + 1) + " (it has " +
                     std::to_string(SheetCount()) + ")");
  return *sheets_[static_cast<std::size_t>(index)];
}

Worksheet* Workbook::FindSheet(std::string_view name) const {
  for (const auto& sheet : sheets_)
    if (platform::SameText(sheet->Name(), name)) return sheet.get();
  return nullptr;
}

Worksheet& Workbook::SheetByName(std::string_view name) const {
  if (Worksheet* sheet = FindSheet(name)) return *sheet;
  throw EXlsxError("Workbook " + Quoted(file_) + " has no sheet named " + Quoted(name));
}

int Workbook::IndexOf(const Worksheet& sheet) const {
  for (std::size_t i = 0; i < sheets_.size(); ++i)
    if (sheets_[i].get() == &sheet) return static_cast<int>(i);
  return -1;
}

void Workbook::CheckSheetName(std::string_view name, const Worksheet* except) const {
  auto fail = [&name](const std::string& why) {
    throw EXlsxError("Cannot name a sheet " + Quoted(name) + ": " + why);
  };
  if (name.empty()) fail("a sheet name cannot be empty");
  if (NameLength(name) > 31) fail("a sheet name has at most 31 characters");
  if (const auto bad = name.find_first_of(":\\/?*[]"); bad != std::string_view::npos)
    fail("a sheet name cannot hold the character " + std::string(1, name[bad]));
  if (name.front() == '\'' || name.back() == '\'') fail("a sheet name cannot start or end with an apostrophe");
  if (platform::SameText(name, "History")) fail("the name History is reserved");
  if (const Worksheet* other = FindSheet(name); other && other != except)
    fail("the workbook has a sheet of that name");
}

pugi::xml_node Workbook::WorkbookChild(const char* name, bool create) {
  // The workbook's children in the schema's order, for inserting a missing one.
  static constexpr std::string_view order[] = {
      "fileVersion",  "fileSharing",   "workbookPr",     "workbookProtection", "bookViews",      "sheets",
      "functionGroups", "externalReferences", "definedNames", "calcPr",      "oleSize",        "customWorkbookViews",
      "pivotCaches",  "smartTagPr",    "smartTagTypes",  "webPublishing",      "fileRecoveryPr", "webPublishObjects",
      "extLst"};
  pugi::xml_node root = workbook_doc_.document_element();
  if (pugi::xml_node c = Child(root, name)) return c;
  if (!create) return {};
  const auto rank = [](std::string_view n) {
    for (std::size_t i = 0; i < std::size(order); ++i)
      if (order[i] == n) return static_cast<int>(i);
    return -1;
  };
  const int mine = rank(name);
  const std::string_view root_name = root.name();
  const auto colon = root_name.find(':');
  const std::string qualified =
      (colon == std::string_view::npos ? std::string() : std::string(root_name.substr(0, colon + 1))) + name;
  for (pugi::xml_node c = root.first_child(); c; c = c.next_sibling())
    if (c.type() == pugi::node_element && rank(LocalName(c.name())) > mine)
      return root.insert_child_before(qualified.c_str(), c);
  return root.append_child(qualified.c_str());
}

pugi::xml_node Workbook::SheetNode(const Worksheet& sheet) const {
  const int index = IndexOf(sheet);
  const std::string& id = sheet_rel_ids_[static_cast<std::size_t>(index)];
  for (pugi::xml_node s : Child(workbook_doc_.document_element(), "sheets").children())
    if (LocalName(s.name()) == "sheet" && id == Attribute(s, "id").value()) return s;
  return {};
}

std::string Workbook::RelationshipPrefix() {
  pugi::xml_node root = workbook_doc_.document_element();
  for (pugi::xml_attribute a = root.first_attribute(); a; a = a.next_attribute()) {
    const std::string_view n = a.name();
    if (n.starts_with("xmlns:") && (std::strcmp(a.value(), kRelationshipsNamespace) == 0 ||
                                    std::strcmp(a.value(), kStrictRelationshipsNamespace) == 0))
      return std::string(n.substr(6));
  }
  root.append_attribute("xmlns:r") = kRelationshipsNamespace;
  return "r";
}

std::string Workbook::NewPartName(std::string_view folder, std::string_view stem, std::string_view extension) const {
  for (int n = 1;; ++n) {
    const std::string part = std::string(folder) + std::string(stem) + std::to_string(n) + std::string(extension);
    if (!PartExists(part)) return part;
  }
}

Worksheet& Workbook::AddSheet(std::string_view name) {
  CheckSheetName(name);
  const std::string folder = [this] {
    const auto slash = workbook_part_.rfind('/');
    return slash == std::string::npos ? std::string() : workbook_part_.substr(0, slash + 1);
  }();
  const std::string part = NewPartName(folder + "worksheets/", "sheet");
  const std::string id = workbook_rels_.Add(rel_type::kWorksheet, RelativeTarget(workbook_part_, part));
  content_types_.SetOverride(part, kWorksheetType);
  int sheet_id = 0;
  pugi::xml_node sheets = WorkbookChild("sheets", true);
  for (pugi::xml_node s : sheets.children()) sheet_id = std::max(sheet_id, s.attribute("sheetId").as_int());
  const std::string prefix = RelationshipPrefix();
  const std::string_view sheets_name = sheets.name();
  const auto colon = sheets_name.find(':');
  const std::string element = (colon == std::string_view::npos ? std::string() : std::string(sheets_name.substr(0, colon + 1))) + "sheet";
  pugi::xml_node s = sheets.append_child(element.c_str());
  s.append_attribute("name") = std::string(name).c_str();
  s.append_attribute("sheetId") = sheet_id + 1;
  s.append_attribute((prefix + ":id").c_str()) = id.c_str();
  workbook_changed_ = true;
  sheets_.push_back(std::make_unique<Worksheet>(*this, std::string(name), part, true, false));
  sheet_rel_ids_.push_back(id);
  return *sheets_.back();
}

void Workbook::RenameSheet(Worksheet& sheet, std::string_view name) {
  if (sheet.Name() == name) return;
  CheckSheetName(name, &sheet);
  SheetNode(sheet).attribute("name") = std::string(name).c_str();
  workbook_changed_ = true;
  const std::string old_name = sheet.name_;
  sheet.name_ = std::string(name);
  // References to the sheet follow it: in defined names and in the formulas of every sheet.
  const auto rename = [&](std::string_view formula) { return RenameInFormula(formula, old_name, name); };
  for (pugi::xml_node n : Child(workbook_doc_.document_element(), "definedNames").children())
    if (LocalName(n.name()) == "definedName")
      if (auto text = rename(n.text().get())) n.text().set(text->c_str());
  for (const auto& s : sheets_) s->RewriteFormulas(rename);
  RenameInCharts(rename);
}

void Workbook::RenameInCharts(const std::function<std::optional<std::string>(std::string_view)>& rename) {
  // Charts name their data by formulas (<c:f>) in their own parts.
  std::vector<std::string> parts;
  if (source_)
    for (const std::string& part : source_->Names())
      if (content_types_.TypeOf(part) == kChartType) parts.push_back(part);
  for (const auto& [part, content] : new_parts_)
    if (content_types_.TypeOf(part) == kChartType && (!source_ || !source_->Has(part))) parts.push_back(part);
  for (const std::string& part : parts) {
    std::string xml = PartText(part);
    if (xml.find("!") == std::string::npos) continue;
    pugi::xml_document doc;
    ParseXml(doc, xml, file_, part);
    struct Walker : pugi::xml_tree_walker {
      const std::function<std::optional<std::string>(std::string_view)>* rename;
      bool changed = false;
      bool for_each(pugi::xml_node& n) override {
        if (n.type() != pugi::node_element || LocalName(n.name()) != "f") return true;
        if (auto text = (*rename)(n.text().get())) {
          n.text().set(text->c_str());
          changed = true;
        }
        return true;
      }
    } walker;
    walker.rename = &rename;
    doc.traverse(walker);
    if (walker.changed) PutPart(part, PrintDocument(doc));
  }
}

int Workbook::ActiveSheet() const {
  const pugi::xml_node views = Child(workbook_doc_.document_element(), "bookViews");
  const int tab = Child(views, "workbookView").attribute("activeTab").as_int(0);
  return std::clamp(tab, 0, SheetCount() - 1);
}

void Workbook::SetActiveSheet(int index) {
  Sheet(index);  // checks the index
  if (index == ActiveSheet()) return;
  pugi::xml_node views = WorkbookChild("bookViews", true);
  pugi::xml_node view = Child(views, "workbookView");
  if (!view) view = views.append_child("workbookView");
  if (!view.attribute("activeTab")) view.append_attribute("activeTab");
  view.attribute("activeTab") = index;
  // The first visible tab must not lie after the active one.
  if (pugi::xml_attribute first = view.attribute("firstSheet"); first && first.as_int() > index) first = index;
  workbook_changed_ = true;
}

std::vector<DefinedName> Workbook::DefinedNames() const {
  std::vector<DefinedName> names;
  for (pugi::xml_node n : Child(workbook_doc_.document_element(), "definedNames").children()) {
    if (LocalName(n.name()) != "definedName") continue;
    DefinedName d;
    d.name = n.attribute("name").value();
    d.formula = n.text().get();
    if (pugi::xml_attribute local = n.attribute("localSheetId")) d.local_sheet = local.as_int(-1);
    d.hidden = XmlBool(n.attribute("hidden").value());
    names.push_back(std::move(d));
  }
  return names;
}

void Workbook::RequestFullCalc() { full_calc_ = true; }

void Workbook::DropCalcChain() {
  // The calculation chain lists the formula cells; once a sheet is rewritten it may name cells
  // that hold none, which readers treat as damage. It is optional and rebuilt by the reader.
  const Relationship* chain = workbook_rels_.FindByType(rel_type::kCalcChain);
  if (!chain) return;
  const std::string part = ResolveTarget(workbook_part_, chain->target);
  dropped_parts_.push_back(part);
  content_types_.RemoveOverride(part);
  workbook_rels_.Remove(std::string(chain->id));
}

void Workbook::BecomeWorkbook() {
  const std::string type = content_types_.TypeOf(workbook_part_);
  if (type == workbook_type::kTemplate) content_types_.SetOverride(workbook_part_, workbook_type::kWorkbook);
  if (type == workbook_type::kMacroTemplate) content_types_.SetOverride(workbook_part_, workbook_type::kMacroWorkbook);
}

void Workbook::Save(const std::filesystem::path& file) {
  // Bring the structure parts up to date with the changes.
  for (const auto& sheet : sheets_) sheet->SaveParts();
  const std::string_view type = TypeForExtension(file);
  if (!type.empty()) content_types_.SetOverride(workbook_part_, type);
  const bool sheets_changed =
      std::any_of(sheets_.begin(), sheets_.end(), [](const auto& s) { return s->Changed(); });
  if (sheets_changed) DropCalcChain();
  if (full_calc_) {
    pugi::xml_node calc = WorkbookChild("calcPr", true);
    if (!XmlBool(calc.attribute("fullCalcOnLoad").value())) {
      if (!calc.attribute("fullCalcOnLoad")) calc.append_attribute("fullCalcOnLoad");
      calc.attribute("fullCalcOnLoad") = "1";
      workbook_changed_ = true;
    }
  }
  const std::string folder = [this] {
    const auto slash = workbook_part_.rfind('/');
    return slash == std::string::npos ? std::string() : workbook_part_.substr(0, slash + 1);
  }();
  if (styles_.Changed() && styles_part_.empty()) {
    styles_part_ = folder + "styles.xml";
    workbook_rels_.Add(rel_type::kStyles, RelativeTarget(workbook_part_, styles_part_));
    content_types_.SetOverride(styles_part_, kStylesType);
  }
  if (strings_.Changed() && strings_part_.empty()) {
    strings_part_ = folder + "sharedStrings.xml";
    workbook_rels_.Add(rel_type::kSharedStrings, RelativeTarget(workbook_part_, strings_part_));
    content_types_.SetOverride(strings_part_, kSharedStringsType);
  }

  // The parts written anew, by name: small ones as one buffer, sheets and the string table
  // streamed.
  struct NewPart {
    std::string content;
    ChunkProducer producer;
  };
  std::map<std::string, NewPart> rewritten;
  std::vector<std::string> order;  // in the order they are added
  auto put = [&](const std::string& part, NewPart content) {
    if (!rewritten.count(part)) order.push_back(part);
    rewritten[part] = std::move(content);
  };
  if (content_types_.Changed()) put(std::string(kContentTypesPart), {content_types_.Print(), {}});
  if (package_rels_.Changed()) put("_rels/.rels", {package_rels_.Print(), {}});
  if (workbook_changed_) put(workbook_part_, {PrintDocument(workbook_doc_), {}});
  if (workbook_rels_.Changed()) put(RelsPartOf(workbook_part_), {workbook_rels_.Print(), {}});
  if (styles_.Changed()) put(styles_part_, {styles_.Print(), {}});
  if (strings_.Changed()) put(strings_part_, {{}, strings_.Writer()});
  for (const auto& sheet : sheets_)
    if (sheet->Changed()) put(sheet->Part(), {{}, sheet->Writer()});
  for (const auto& [part, content] : new_parts_) put(part, {content, {}});

  ZipWriter writer(file);
  std::set<std::string> done;
  auto emit = [&](const std::string& part) {
    auto it = rewritten.find(part);
    if (it == rewritten.end())
      it = std::find_if(rewritten.begin(), rewritten.end(),
                        [&part](const auto& entry) { return platform::SameText(entry.first, part); });
    if (it != rewritten.end()) {
      if (!done.insert(it->first).second) return;
      if (it->second.producer)
        writer.AddStream(it->first, std::move(it->second.producer));
      else
        writer.Add(it->first, std::move(it->second.content));
      return;
    }
    if (std::any_of(dropped_parts_.begin(), dropped_parts_.end(),
                    [&part](const std::string& d) { return platform::SameText(d, part); }))
      return;
    writer.CopyRaw(*source_, part);
  };
  if (source_) {
    for (const std::string& part : source_->Names()) emit(part);
  }
  for (const std::string& part : order)
    if (!done.count(part)) emit(part);
  writer.Commit();
  file_ = file.string();
}

}  // namespace brelix::xlsx
