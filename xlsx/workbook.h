#pragma once
// A workbook package (.xlsx, .xlsm, and the templates .xltx, .xltm, opened as workbooks): its
// sheets in tab order, shared strings, styles and defined names. Opening reads the package's
// structure; a sheet's cells are read on first use. Saving writes a new file beside the target
// and renames it over the target; every part the engine did not change is copied byte for byte.

#include <pugixml.hpp>

#include <filesystem>
#include <functional>
#include <optional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "xlsx/content_types.h"
#include "xlsx/relationships.h"
#include "xlsx/shared_strings.h"
#include "xlsx/styles.h"
#include "xlsx/worksheet.h"
#include "xlsx/zip_package.h"

namespace brelix::xlsx {

//! The content types of the workbook's main part by kind of file.
namespace workbook_type {
inline constexpr std::string_view kWorkbook = "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml";
inline constexpr std::string_view kTemplate =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.template.main+xml";
inline constexpr std::string_view kMacroWorkbook = "application/vnd.ms-excel.sheet.macroEnabled.main+xml";
inline constexpr std::string_view kMacroTemplate = "application/vnd.ms-excel.template.macroEnabled.main+xml";
}  // namespace workbook_type

inline constexpr std::string_view kChartType = "application/vnd.openxmlformats-officedocument.drawingml.chart+xml";

struct DefinedName {
  std::string name;
  std::string formula;   //!< as stored: English, without "="
  int local_sheet = -1;  //!< the sheet (0-based) the name belongs to; -1 for the whole workbook
  bool hidden = false;
};

class Workbook {
 public:
  //! Opens the package; throws EXlsxError naming the file when it is not a zip file, has no
  //! workbook part, is not a spreadsheet, or a part of its structure is malformed.
  static std::unique_ptr<Workbook> Open(const std::filesystem::path& file);
  //! A new workbook with one empty sheet named "Sheet1".
  static std::unique_ptr<Workbook> Create();
  ~Workbook();
  Workbook(const Workbook&) = delete;
  Workbook& operator=(const Workbook&) = delete;

  //! The file the workbook was opened from or last saved to; empty for a new one never saved.
  const std::string& FileName() const { return file_; }
  //! Writes the workbook to file (atomically). The extension chooses the kind: .xlsx, .xlsm,
  //! .xltx or .xltm set the main part's content type; any other keeps it. Throws EXlsxError
  //! naming the file when it cannot be written; the file is then as it was.
  void Save(const std::filesystem::path& file);

  //! A workbook opened from a template (.xltx, .xltm) becomes a workbook (.xlsx, .xlsm) of the
  //! same content, as a new workbook based on the template does; other workbooks stay as they are.
  void BecomeWorkbook();

  int SheetCount() const { return static_cast<int>(sheets_.size()); }
  //! The sheet at index (0-based, tab order); throws EXlsxError for an index out of range.
  Worksheet& Sheet(int index) const;
  //! The sheet of that name (without regard to case); nullptr when there is none.
  Worksheet* FindSheet(std::string_view name) const;
  //! The sheet of that name; throws EXlsxError naming the name and the workbook when unknown.
  Worksheet& SheetByName(std::string_view name) const;
  //! The sheet's position in tab order.
  int IndexOf(const Worksheet& sheet) const;
  //! Adds an empty worksheet after the last one; throws as CheckSheetName does.
  Worksheet& AddSheet(std::string_view name);
  //! Renames the sheet; throws as CheckSheetName does. References to it in defined names, in
  //! the formulas of every sheet (the sheets holding such formulas are read and rewritten) and
  //! in the data references of charts follow the new name; those in other parts (pivot caches,
  //! external links) are not rewritten.
  void RenameSheet(Worksheet& sheet, std::string_view name);
  //! Throws EXlsxError telling why when name cannot name a sheet of this workbook (other than
  //! except): empty, longer than 31 characters, holding one of : \ / ? * [ ], starting or
  //! ending with an apostrophe, "History", or the name of another sheet (without regard to case).
  void CheckSheetName(std::string_view name, const Worksheet* except = nullptr) const;

  //! The sheet shown when the workbook is opened (0-based).
  int ActiveSheet() const;
  void SetActiveSheet(int index);

  std::vector<DefinedName> DefinedNames() const;

  Stylesheet& Styles() { return styles_; }
  const Stylesheet& Styles() const { return styles_; }
  SharedStrings& Strings() { return strings_; }
  const SharedStrings& Strings() const { return strings_; }
  //! Makes the workbook recalculate every formula when it is next opened (set when the engine
  //! writes a formula, which it stores without a result).
  void RequestFullCalc();

  //! The unpacked part of the source file (for the sheets' first use).
  std::string ReadPart(std::string_view part) const;

 private:
  friend class Worksheet;
  Workbook() = default;
  //! True when the package has the part: stored in the source or added since.
  bool HasPart(std::string_view part) const;
  //! The part's content: as added since, else as stored in the source.
  std::string PartText(std::string_view part) const;
  //! Stores a part written anew (a sheet's relationships or comments) for saving.
  void PutPart(const std::string& part, std::string content);
  //! Passes the data formulas of every chart part to rename and stores the texts it returns.
  void RenameInCharts(const std::function<std::optional<std::string>(std::string_view)>& rename);
  void Load();
  std::string NewPartName(std::string_view folder, std::string_view stem, std::string_view extension = ".xml") const;
  pugi::xml_node WorkbookChild(const char* name, bool create);
  pugi::xml_node SheetNode(const Worksheet& sheet) const;
  std::string RelationshipPrefix();
  void DropCalcChain();
  bool PartExists(std::string_view part) const;

  std::string file_;
  std::unique_ptr<ZipReader> source_;
  ContentTypes content_types_;
  Relationships package_rels_;
  std::string workbook_part_;
  std::string workbook_buffer_;
  pugi::xml_document workbook_doc_;
  bool workbook_changed_ = false;
  Relationships workbook_rels_;
  Stylesheet styles_;
  std::string styles_part_;
  SharedStrings strings_;
  std::string strings_part_;
  std::vector<std::unique_ptr<Worksheet>> sheets_;
  std::vector<std::string> sheet_rel_ids_;
  std::vector<std::string> dropped_parts_;
  std::map<std::string, std::string> new_parts_;
  bool full_calc_ = false;
};

}  // namespace brelix::xlsx
