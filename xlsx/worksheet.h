#pragma once
// A worksheet: its cells (value, formula, format), rows (heights), merged ranges and every
// other element of the sheet's part, kept as read. Cells live per row in vectors sorted by
// column, so a sheet of hundreds of thousands of cells stays compact; the part is read on
// first use (the cell data straight from the part's text, only the other elements as a tree)
// and written again, streamed, only when something changed.

#include <pugixml.hpp>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "xlsx/cell_ref.h"
#include "xlsx/relationships.h"
#include "xlsx/sheet_elements.h"
#include "xlsx/zip_package.h"

namespace brelix::xlsx {

class Workbook;

inline constexpr std::string_view kWorksheetType =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml";

enum class CellType : std::uint8_t { Empty, Number, String, Boolean, Error };

//! The value of a cell: a number, a text (shared, inline or rich strings read as their plain
//! text), a boolean or an error word ("#N/A"); a formula's cached result when it has one.
struct CellValue {
  CellType type = CellType::Empty;
  double number = 0;
  bool boolean = false;
  std::string text;  //!< the text, or the error word

  static CellValue Number(double v) { return {CellType::Number, v, false, {}}; }
  static CellValue String(std::string v) { return {CellType::String, 0, false, std::move(v)}; }
  static CellValue Boolean(bool v) { return {CellType::Boolean, 0, v, {}}; }
  //! An error word such as "#DIV/0!"; an unknown word is refused by SetValue.
  static CellValue Error(std::string word) { return {CellType::Error, 0, false, std::move(word)}; }
  friend bool operator==(const CellValue&, const CellValue&) = default;
};

//! One cell of a block for the fast write path (WriteCells). Texts are views: they need to live
//! only for the call.
struct CellData {
  enum class Kind : std::uint8_t { Empty, Number, String, Boolean, Error, Formula };
  Kind kind = Kind::Empty;
  double number = 0;
  bool boolean = false;
  std::string_view text;  //!< String: the text; Error: the word; Formula: English, without "="
  int style = -1;         //!< the cell format; -1 keeps the cell's present format

  static CellData Number(double v, int style = -1) { return {Kind::Number, v, false, {}, style}; }
  static CellData String(std::string_view v, int style = -1) { return {Kind::String, 0, false, v, style}; }
  static CellData Boolean(bool v, int style = -1) { return {Kind::Boolean, 0, v, {}, style}; }
  static CellData Formula(std::string_view v, int style = -1) { return {Kind::Formula, 0, false, v, style}; }
  static CellData Empty(int style = -1) { return {Kind::Empty, 0, false, {}, style}; }
};

//! The error words a cell can hold, in the order of their codes.
std::span<const std::string_view> ErrorWords();

class Worksheet {
 public:
  //! Made by the workbook: a sheet stored in part (read on first use), or a new empty one
  //! (part not in the source).
  Worksheet(Workbook& book, std::string name, std::string part, bool is_new, bool is_chart);
  ~Worksheet();
  Worksheet(const Worksheet&) = delete;
  Worksheet& operator=(const Worksheet&) = delete;

  Workbook& Book() const { return *book_; }
  const std::string& Name() const { return name_; }
  //! Renames the sheet under the rules of sheet names (see Workbook::CheckSheetName).
  void SetName(std::string_view name);
  //! The part holding the sheet, such as "xl/worksheets/sheet1.xml".
  const std::string& Part() const { return part_; }
  //! False for a chart sheet, which has no cells; cell operations on it throw.
  bool HasCells() const { return !is_chart_; }
  //! True when the sheet will be written again on save.
  bool Changed() const { return changed_; }

  // ---- cells -------------------------------------------------------------------------------
  CellValue Value(int row, int col) const;
  //! The cell's formula, English, without "="; empty when it holds a constant.
  std::string Formula(int row, int col) const;
  bool HasFormula(int row, int col) const;
  //! The cell's format (index into the workbook's cell formats); 0 for a cell without one.
  int Style(int row, int col) const;

  //! Stores a constant; removes a formula; keeps the format.
  void SetValue(int row, int col, const CellValue& value);
  //! Stores a formula (English, a leading "=" is dropped) without a cached result, and has the
  //! workbook recalculated when opened; an empty text makes the cell empty. Keeps the format.
  void SetFormula(int row, int col, std::string_view formula);
  void SetStyle(int row, int col, int style);
  void SetStyle(const CellRange& range, int style);
  //! Writes a block row by row from (row, col): cells[i * columns + j] goes to (row + i, col + j).
  //! Writing rows in ascending order below the present ones is the fast case.
  void WriteCells(int row, int col, int columns, std::span<const CellData> cells);
  //! The values of the range, row by row.
  std::vector<CellValue> Values(const CellRange& range) const;

  //! Removes values and formulas, keeps formats.
  void ClearContents(const CellRange& range);
  //! Removes values, formulas and formats of the range, the merged ranges that touch it and the
  //! comments of its cells; conditional formats, data validations (also those in the sheet's
  //! extensions) and hyperlinks lose the part of their area inside the range and go when
  //! nothing is left. Drawings (images, charts) stay.
  void Clear(const CellRange& range);
  //! Copies the range's cells (values, formulas with relative references moved, formats mapped
  //! into the destination's workbook) and the merged ranges lying inside it to the destination
  //! with its top-left cell at (row, col), in this or another sheet of any workbook. The
  //! conditional formats, data validations, comments and hyperlinks of the source cells go
  //! along as a paste takes them: their areas moved, their formulas' relative references moved,
  //! differential formats mapped into the destination's workbook; a copied rule equal to one
  //! already in the destination joins it, adjacent areas becoming one. The destination
  //! rectangle is cleared first, as a paste does. Row heights are not copied (see
  //! CopyRowHeights).
  void Copy(const CellRange& source, Worksheet& destination, int row, int col) const;

  // ---- rows and columns --------------------------------------------------------------------
  //! The row's height in points: its own height, else the sheet's default.
  double RowHeight(int row) const;
  //! True when the row has a height of its own.
  bool HasCustomHeight(int row) const;
  //! Sets the height of the rows in points (0 to 409.5); throws EXlsxError otherwise.
  void SetRowHeight(int first_row, int last_row, double points);
  void SetRowHeight(int row, double points) { SetRowHeight(row, row, points); }
  //! Drops the rows' own heights, so that the spreadsheet program fits them to their contents.
  void AutoFitRows(int first_row, int last_row);
  //! Sets the heights of count rows from dest_row to those of this sheet's rows from
  //! first_row (rows without a height of their own get none).
  void CopyRowHeights(int first_row, int count, Worksheet& destination, int dest_row) const;
  //! The sheet's default row height (sheetFormatPr), 15 points when it gives none.
  double DefaultRowHeight() const;
  bool RowHidden(int row) const;
  //! The column's width in characters when the sheet's column settings give one.
  std::optional<double> ColumnWidth(int col) const;

  //! The rectangle from the first to the last cell held (values or formats); nullopt when empty.
  std::optional<CellRange> UsedRange() const;

  // ---- merged ranges -----------------------------------------------------------------------
  const std::vector<CellRange>& MergedRanges() const;
  //! Merges the range; throws EXlsxError when it overlaps a merged range.
  void Merge(const CellRange& range);
  //! Removes the merged ranges that touch the range.
  void Unmerge(const CellRange& range);

  // ---- the elements the engine does not model ---------------------------------------------
  //! The stored elements of the sheet with the local name (such as "conditionalFormatting"),
  //! printed, in document order.
  std::vector<std::string> ElementsXml(std::string_view local_name) const;

  // ---- used by the workbook ----------------------------------------------------------------
  //! Passes each formula of the sheet to rewrite and stores the text it returns (nullopt keeps
  //! the formula); used to follow a renamed sheet.
  void RewriteFormulas(const std::function<std::optional<std::string>(std::string_view)>& rename);
  //! Streams the sheet's part.
  ChunkProducer Writer() const;
  //! Reads the part when it was not read yet (done on first use by every operation).
  void Load() const;

 private:
  friend class Workbook;
  struct Cell;
  struct Row;
  struct FormulaRec;
  struct LocalText;
  struct CommentParts;
  class Loader;
  class Printer;

  void Change();
  void RequireCells() const;
  void CheckCellPos(int row, int col) const;
  const Row* FindRow(int row) const;
  Row& RowAt(int row);
  const Cell* FindCell(int row, int col) const;
  Cell& CellAt(int row, int col);
  void ReleaseFormula(Cell& cell);
  void SetCellValue(Cell& cell, const CellValue& value);
  std::uint32_t StoreFormula(std::string text);
  void EraseEmptyCells(Row& row);
  // Empties every cell of range; keep_style leaves the cells' formats in place.
  void EmptyCells(const CellRange& range, bool keep_style);
  std::string Where(int row, int col) const;
  int MergesBottom() const;
  //! The relationships of the sheet's part, read on first use.
  Relationships& Rels() const;
  //! The target of the sheet's relationship and whether it is external; empty when unknown.
  std::pair<std::string, bool> LinkTarget(std::string_view id) const;
  void DeclareRelationshipPrefix();
  //! Hands the changed parts that belong to the sheet (its relationships, its comments) to the
  //! workbook for saving.
  void SaveParts();
  // The comments (sheet_comments.cpp).
  CommentParts& Comments() const;
  bool MayHaveComments() const;
  void CollectComments(const CellRange& range, struct CommentClip& clip) const;
  void RemoveComments(const CellRange& range);
  void PasteComments(const CommentClip& clip, int row_shift, int col_shift);
  void SaveComments();

  Workbook* book_;
  std::string name_;
  std::string part_;
  bool is_chart_;
  bool changed_ = false;
  mutable bool loaded_ = false;

  // The loaded state (mutable: read on first use, also through const access).
  mutable std::vector<Row> rows_;
  mutable std::vector<FormulaRec> formulas_;
  mutable std::vector<std::uint32_t> free_formulas_;
  mutable std::vector<LocalText> texts_;
  mutable std::vector<CellRange> merges_;
  // The lowest row of the merged ranges, kept up to date as ranges are appended.
  mutable std::size_t merges_scanned_ = 0;
  mutable int merges_bottom_ = 0;
  mutable double default_row_height_ = 15;
  // The root element's name and attributes, and the elements not modelled, in document order,
  // as children of extras_'s root.
  mutable std::string root_name_ = "worksheet";
  mutable std::string root_attributes_;
  mutable pugi::xml_document extras_;
  mutable std::unique_ptr<Relationships> rels_;
  mutable std::unique_ptr<CommentParts> comments_;
  sheet_elements::ElementIndex element_index_;
};

}  // namespace brelix::xlsx
