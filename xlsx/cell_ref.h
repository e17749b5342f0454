#pragma once
// A1-style cell addresses: column letters, cell references and rectangles, 1-based.

#include <optional>
#include <string>
#include <string_view>

namespace brelix::xlsx {

inline constexpr int kMaxRows = 1048576;
inline constexpr int kMaxColumns = 16384;

//! A rectangle of cells, 1-based and inclusive.
struct CellRange {
  int top = 1, left = 1, bottom = 1, right = 1;
  int Rows() const { return bottom - top + 1; }
  int Columns() const { return right - left + 1; }
  bool Contains(int row, int col) const { return row >= top && row <= bottom && col >= left && col <= right; }
  bool Contains(const CellRange& r) const {
    return r.top >= top && r.bottom <= bottom && r.left >= left && r.right <= right;
  }
  bool Intersects(const CellRange& r) const {
    return r.top <= bottom && r.bottom >= top && r.left <= right && r.right >= left;
  }
  friend bool operator==(const CellRange&, const CellRange&) = default;
};

//! "A" for 1, "Z" for 26, "AA" for 27, up to "XFD" for 16384.
std::string ColumnName(int col);
//! "B3" for row 3, column 2.
std::string CellName(int row, int col);
//! "A1:C3", or "B2" for one cell.
std::string RangeName(const CellRange& range);
//! The column of letters such as "AB" (case-insensitive); nullopt when not a column in range.
std::optional<int> ParseColumn(std::string_view letters);

struct CellPos {
  int row = 0, col = 0;
  friend bool operator==(const CellPos&, const CellPos&) = default;
};
//! A cell reference such as "B3" or "$B$3"; nullopt when malformed or outside the sheet.
std::optional<CellPos> ParseCell(std::string_view text);
//! "A1:C3", "$A$1:$C$3" or one cell "B2" (normalised so top <= bottom, left <= right);
//! nullopt when malformed or outside the sheet.
std::optional<CellRange> ParseRange(std::string_view text);

//! Throws EXlsxError naming the cell and what it is for (context, e.g. the sheet's name) when
//! row or column lies outside the sheet (rows 1..1048576, columns 1..16384).
void CheckCell(int row, int col, std::string_view context);
void CheckRange(const CellRange& range, std::string_view context);

}  // namespace brelix::xlsx
