#include "xlsx/cell_ref.h"

#include <algorithm>

#include "xlsx/errors.h"

namespace brelix::xlsx {

std::string ColumnName(int col) {
  std::string name;
  while (col > 0) {
    const int digit = (col - 1) % 26;
    name.insert(name.begin(), static_cast<char>('A' + digit));
    col = (col - 1) / 26;
  }
  return name;
}

std::string CellName(int row, int col) { return ColumnName(col) + std::to_string(row); }

std::string RangeName(const CellRange& range) {
  std::string name = CellName(range.top, range.left);
  if (range.bottom != range.top || range.right != range.left) name += ":" + CellName(range.bottom, range.right);
  return name;
}

std::optional<int> ParseColumn(std::string_view letters) {
  if (letters.empty() || letters.size() > 3) return std::nullopt;
  int col = 0;
  for (char c : letters) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c < 'A' || c > 'Z') return std::nullopt;
    col = col * 26 + (c - 'A' + 1);
  }
  if (col > kMaxColumns) return std::nullopt;
  return col;
}

std::optional<CellPos> ParseCell(std::string_view text) {
  std::size_t i = 0;
  if (i < text.size() && text[i] == '$') ++i;
  const std::size_t letters_begin = i;
  while (i < text.size() && ((text[i] >= 'A' && text[i] <= 'Z') || (text[i] >= 'a' && text[i] <= 'z'))) ++i;
  const auto col = ParseColumn(text.substr(letters_begin, i - letters_begin));
  if (!col) return std::nullopt;
  if (i < text.size() && text[i] == '$') ++i;
  if (i == text.size() || text.size() - i > 7) return std::nullopt;
  int row = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    row = row * 10 + (text[i] - '0');
  }
  if (row < 1 || row > kMaxRows) return std::nullopt;
  return CellPos{row, *col};
}

std::optional<CellRange> ParseRange(std::string_view text) {
  const auto colon = text.find(':');
  const auto first = ParseCell(text.substr(0, colon));
  if (!first) return std::nullopt;
  CellPos second = *first;
  if (colon != std::string_view::npos) {
    const auto parsed = ParseCell(text.substr(colon + 1));
    if (!parsed) return std::nullopt;
    second = *parsed;
  }
  CellRange range{std::min(first->row, second.row), std::min(first->col, second.col),
                  std::max(first->row, second.row), std::max(first->col, second.col)};
  return range;
}

void CheckCell(int row, int col, std::string_view context) {
  if (row >= 1 && row <= kMaxRows && col >= 1 && col <= kMaxColumns) return;
  throw EXlsxError("Cell row " + std::to_string(row) + ", column " + std::to_string(col) + " in " +
                   std::string(context) + " lies outside the sheet (rows 1 to 1048576, columns 1 to 16384)");
}

void CheckRange(const CellRange& range, std::string_view context) {
  CheckCell(range.top, range.left, context);
  CheckCell(range.bottom, range.right, context);
  if (range.top > range.bottom || range.left > range.right)
    throw EXlsxError("Range with top " + std::to_string(range.top) + ", left " + std::to_string(range.left) +
                     ", bottom " + std::to_string(range.bottom) + ", right " + std::to_string(range.right) + " in " +
                     std::string(context) + " is empty (its end lies before its start)");
}

}  // namespace brelix::xlsx
