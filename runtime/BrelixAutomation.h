#pragma once
// The spreadsheet automation interface: the only way the report engine reaches spreadsheets.
// An application holds workbooks, a workbook holds worksheets, and a Range is a cheap handle on
// one or more rectangles of a worksheet whose operations the worksheet carries out. The native
// xlsx engine stands behind it (CreateApplication); another engine could take its place.
//
// Every operation may fail with EAutomationError carrying a text.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/errors.h"
#include "platform/variant.h"

namespace brelix::automation {

class EAutomationError : public platform::Exception {
 public:
  using platform::Exception::Exception;
};

//! A rectangle of cells, 1-based and inclusive.
struct CellRect {
  int top = 1, left = 1, bottom = 1, right = 1;
  int Rows() const { return bottom - top + 1; }
  int Columns() const { return right - left + 1; }
  friend bool operator==(const CellRect&, const CellRect&) = default;
};

class Worksheet;

//! Font settings; unset members stay as they are.
struct FontChange {
  std::optional<std::string> name = {};
  std::optional<double> size = {};
  std::optional<int> color = {};  //!< Windows colour value: red in the low byte
  std::optional<bool> bold = {}, italic = {}, strikethrough = {};
  std::optional<int> underline = {};  //!< 2 single, -4142 none
};

//! One or more rectangles of a worksheet. Operations on several areas act on the first
//! (AreasCount tells how many there are).
class Range {
 public:
  Range(Worksheet& sheet, std::vector<CellRect> areas) : sheet_(&sheet), areas_(std::move(areas)) {}

  Worksheet& Sheet() const { return *sheet_; }
  const CellRect& Rect() const { return areas_.front(); }
  int AreasCount() const { return static_cast<int>(areas_.size()); }
  //! "A1:C3" (no "$"), "A1" for one cell.
  std::string Address() const;

  //! The formula text as written, English syntax; the value's text for a constant cell.
  std::string Formula() const;
  void SetFormula(const std::string& formula) const;
  //! The formula text in the user's language (native function names, separators).
  std::string FormulaLocal() const;
  void SetFormulaLocal(const std::string& formula) const;
  //! Writes a block from the top-left cell: each text is taken as the user would type it in
  //! the user's language; non-text variants are stored as their type. Rows and columns beyond
  //! the range are ignored.
  void SetFormulaLocalArray(const std::vector<std::vector<platform::Variant>>& values) const;
  //! Stores the value as typed text.
  void SetValue(const platform::Variant& value) const;
  //! The value of the top-left cell (a formula's cached result, if any).
  platform::Variant Value() const;

  //! Copies contents, formulas (references moved) and formats to the destination's top-left cell.
  void Copy(const Range& destination) const;
  //! Removes contents and formats.
  void Clear() const;

  void AutoFitRows() const;
  //! The height of the first row in points.
  double RowHeight() const;
  void SetRowHeight(double points) const;

  void SetFont(const FontChange& font) const;
  //! Interior colour, Windows colour value.
  void SetInteriorColor(int color) const;

 private:
  Worksheet* sheet_;
  std::vector<CellRect> areas_;
};

class Worksheet {
 public:
  virtual ~Worksheet() = default;
  virtual std::string Name() const = 0;
  virtual void SetName(const std::string& name) = 0;
  virtual void Activate() = 0;
  //! The rectangle from A1 to the last used cell.
  virtual Range UsedRange() = 0;
  //! The range of an address such as "A1:C3", "B2" or "A1:B2,D4" (several areas); a bad text
  //! raises EAutomationError naming it.
  virtual Range GetRange(const std::string& address) = 0;
  Range GetRange(int top, int left, int bottom, int right) { return Range(*this, {{top, left, bottom, right}}); }

  // What Range hands over to the worksheet.
  virtual std::string GetFormula(const CellRect& cell, bool local) = 0;
  virtual void SetFormula(const CellRect& rect, const std::string& formula, bool local) = 0;
  virtual void SetFormulaLocalArray(const CellRect& rect, const std::vector<std::vector<platform::Variant>>& values) = 0;
  virtual void SetValue(const CellRect& rect, const platform::Variant& value) = 0;
  virtual platform::Variant GetValue(const CellRect& cell) = 0;
  virtual void Copy(const CellRect& source, Worksheet& destination, const CellRect& dest_rect) = 0;
  virtual void Clear(const CellRect& rect) = 0;
  virtual void AutoFitRows(const CellRect& rect) = 0;
  virtual double GetRowHeight(int row) = 0;
  virtual void SetRowHeight(const CellRect& rect, double points) = 0;
  virtual void SetFont(const CellRect& rect, const FontChange& font) = 0;
  virtual void SetInteriorColor(const CellRect& rect, int color) = 0;
};

class Workbook {
 public:
  virtual ~Workbook() = default;
  virtual int WorksheetCount() = 0;
  //! 1-based, in tab order.
  virtual Worksheet& Worksheets(int index) = 0;
  virtual Worksheet& AddWorksheet() = 0;
  //! The file the workbook was opened from or saved to.
  virtual std::string FullName() = 0;
  virtual void SaveAs(const std::string& file_name) = 0;
  //! Closes the workbook, saving it first under file_name (or its own name) when save is set.
  //! The workbook is gone afterwards; references to it and its sheets must not be used.
  virtual void Close(bool save, const std::string& file_name = {}) = 0;
};

struct OpenOptions {
  bool read_only = true;
};

class Application {
 public:
  virtual ~Application() = default;
  virtual Workbook& Open(const std::string& file_name, const OpenOptions& options) = 0;
  //! A new workbook with the template file's sheets, formats and names.
  virtual Workbook& AddFromTemplate(const std::string& file_name) = 0;
  //! A new empty workbook; it becomes the active one.
  virtual Workbook& AddEmpty() = 0;
  virtual int WorkbookCount() = 0;

  virtual void SetInteractive(bool on) = 0;
  virtual void SetVisible(bool on) = 0;
  virtual void SetUserControl(bool on) = 0;
  virtual void SetDisplayAlerts(bool on) = 0;
  virtual std::string Caption() = 0;
  virtual void Quit() = 0;
};

//! A new application of the native engine, invisible, with no workbooks. Making it visible or
//! giving the user control hands its workbooks over: unsaved ones are saved to their files (a
//! new temporary file for a workbook that has none) and each file is passed to the viewer
//! command, if one is set.
std::unique_ptr<Application> CreateApplication();

//! The command that shows a workbook handed over to the user, run as `command "file"` by the
//! shell without waiting for it; empty (the default) shows nothing.
void SetViewerCommand(std::string command);

}  // namespace brelix::automation
