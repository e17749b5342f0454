#include "runtime/BrelixProc.h"

#include <cstdint>
#include <utility>

#include "platform/component.h"
#include "platform/dataset.h"
#include "platform/files.h"
#include "platform/text.h"
#include "runtime/BrelixConsts.h"

namespace brelix {

namespace {

// The highest column that one or two letters can name ("ZZ").
constexpr int kMaxLetterColumn = 26 * 26 + 26;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
bool IsLetter(char c) {
  const char u = UpperAscii(c);
  return u >= 'A' && u <= 'Z';
}
int LetterValue(char c) { return UpperAscii(c) - 'A' + 1; }

// Bytes of multi-byte UTF-8 characters are at least 0x80 and so never count.
bool IsTokenChar(char c) { return c == '$' || IsDigit(c) || IsLetter(c); }

// Column letters of a column in 1..kMaxLetterColumn: 1 "A", 26 "Z", 27 "AA", 702 "ZZ".
std::string ColumnLetters(int column) {
  std::string letters;
  const int q = (column - 1) / 26;
  if (q > 0) letters += static_cast<char>('A' + q - 1);
  letters += static_cast<char>('A' + (column - 1) % 26);
  return letters;
}

// One token of a formula (a run of "$", digits and letters) renewed for the shifts, or the
// token unchanged when it is not a cell reference that stays on the sheet after the move.
std::string RenewToken(const std::string& token, int rowShift, int colShift) {
  const std::size_t n = token.size();
  std::size_t k = n;  // index of the last character that is not a digit
  for (std::size_t i = n; i > 0; --i) {
    if (!IsDigit(token[i - 1])) {
      k = i - 1;
      break;
    }
  }
  if (k == n || k + 1 == n) return token;  // a number, or no row digits at the end

  // The row digits; a run beyond the last row (however long) is not a reference.
  const std::string digits = token.substr(k + 1);
  std::int64_t row = 0;
  for (char c : digits) {
    row = row * 10 + (c - '0');
    if (row > BrelixMaxRow) return token;
  }
  if (row < 1) return token;

  std::string rowText;
  std::size_t columnLength = 0;
  if (token[k] == '$') {
    if (k == 0) return token;
    rowText = "$" + digits;
    columnLength = k;
  } else {
    const std::int64_t newRow = row + rowShift;
    if (newRow < 1 || newRow > BrelixMaxRow) return token;
    rowText = std::to_string(newRow);
    columnLength = k + 1;
  }

  const std::string column = token.substr(0, columnLength);
  if (column[0] == '$') {
    // Absolute column: "$" and one letter, or two letters up to "IV"; kept as written.
    bool valid = false;
    if (column.size() == 2) {
      valid = IsLetter(column[1]);
    } else if (column.size() == 3) {
      const char first = UpperAscii(column[1]);
      const char second = UpperAscii(column[2]);
      valid = first >= 'A' && first <= 'I' && IsLetter(second) && (first != 'I' || second <= 'V');
    }
    return valid ? column + rowText : token;
  }

  if (column.size() > 2 || !IsLetter(column[0]) || (column.size() == 2 && !IsLetter(column[1])))
    return token;
  int current = LetterValue(column[0]);
  if (column.size() == 2) current = current * 26 + LetterValue(column[1]);
  if (current > BrelixMaxCol) return token;
  const std::int64_t newColumn = std::int64_t{current} + colShift;
  if (newColumn < 1 || newColumn > BrelixMaxCol) return token;
  return ColumnLetters(static_cast<int>(newColumn)) + rowText;
}

[[noreturn]] void BadField(std::string_view name) {
  throw EBrelixError(BrelixFormat(BrelixConsts::MsgFncBadField, name));
}

}  // namespace

std::string BrelixGetRange(int row, int column) {
  if (row < 1 || column < 1 || column > kMaxLetterColumn) {
    throw EBrelixError(BrelixFormat(BrelixConsts::MsgFncBadRng,
                                    "R" + std::to_string(row) + "C" + std::to_string(column)));
  }
  return ColumnLetters(column) + std::to_string(row);
}

int BrelixGetRangeColumn(std::string_view cell) {
  std::string_view rest = cell;
  if (!rest.empty() && rest[0] == '$') rest.remove_prefix(1);
  // A third letter would name a column that no address of this system has.
  if (rest.empty() || !IsLetter(rest[0]) ||
      (rest.size() > 2 && IsLetter(rest[1]) && IsLetter(rest[2]))) {
    throw EBrelixError(BrelixFormat(BrelixConsts::MsgFncBadRng, cell));
  }
  int column = LetterValue(rest[0]);
  if (rest.size() > 1 && IsLetter(rest[1])) column = column * 26 + LetterValue(rest[1]);
  return column;
}

int BrelixGetRangeRow(std::string_view cell) {
  std::size_t start = 0;
  while (start < cell.size() && !IsDigit(cell[start])) ++start;
  if (start == cell.size()) throw EBrelixError(BrelixFormat(BrelixConsts::MsgFncNoRow, cell));
  std::int64_t row = 0;
  for (std::size_t i = start; i < cell.size(); ++i) {
    if (!IsDigit(cell[i])) throw EBrelixError(BrelixFormat(BrelixConsts::MsgFncBadRng, cell));
    row = row * 10 + (cell[i] - '0');
    if (row > INT32_MAX) throw EBrelixError(BrelixFormat(BrelixConsts::MsgFncBadRng, cell));
  }
  if (row < 1) throw EBrelixError(BrelixFormat(BrelixConsts::MsgFncBadRng, cell));
  return static_cast<int>(row);
}

std::string BrelixGetRangeFirst(std::string_view range) {
  return std::string(range.substr(0, range.find(':')));
}

std::string BrelixGetRangeLast(std::string_view range) {
  const std::size_t colon = range.find(':');
  if (colon == std::string_view::npos || colon + 1 == range.size()) return std::string(range);
  return std::string(range.substr(colon + 1));
}

void BrelixFindStrParts(std::string_view name, std::string& form, std::string& dataset,
                        std::string& field) {
  const std::size_t first = name.find('.');
  if (first == std::string_view::npos) {
    form.clear();
    dataset.clear();
    field = platform::Trim(name);
    return;
  }
  std::string_view formPart;
  std::string_view datasetPart = name.substr(0, first);
  std::string_view fieldPart = name.substr(first + 1);
  const std::size_t second = fieldPart.find('.');
  if (second != std::string_view::npos) {
    formPart = datasetPart;
    datasetPart = fieldPart.substr(0, second);
    fieldPart = fieldPart.substr(second + 1);
    if (fieldPart.find('.') != std::string_view::npos) BadField(name);
  }
  // A stop at the end ("Cust.", "Form1.Cust.") or only blanks after it names no field.
  std::string fieldName = platform::Trim(fieldPart);
  if (fieldName.empty()) BadField(name);
  form = platform::Trim(formPart);
  dataset = platform::Trim(datasetPart);
  field = std::move(fieldName);
}

std::string BrelixRenewCellReferences(std::string_view formula, int rowShift, int colShift,
                                      char fieldSign) {
  const std::string trimmed = platform::Trim(formula);
  const bool isFormula =
      !trimmed.empty() &&
      (trimmed[0] == '=' || (trimmed.size() > 1 && trimmed[0] == fieldSign && trimmed[1] == '='));
  if (!isFormula || (rowShift == 0 && colShift == 0)) return std::string(formula);

  std::string result;
  result.reserve(formula.size() + 8);
  std::string token;
  bool inQuotes = false;
  bool inToken = false;
  for (const char c : formula) {
    if (c == '"') {
      // An opening quote ends a token before it, so the renewed token keeps its place in
      // front of the quoted text.
      if (!inQuotes && inToken) {
        result += RenewToken(token, rowShift, colShift);
        inToken = false;
      }
      inQuotes = !inQuotes;
      result += c;
    } else if (inQuotes) {
      result += c;
    } else if (IsTokenChar(c)) {
      if (!inToken) {
        token.clear();
        inToken = true;
      }
      token += c;
    } else {
      if (inToken) {
        result += RenewToken(token, rowShift, colShift);
        inToken = false;
      }
      result += c;
    }
  }
  if (inToken) result += RenewToken(token, rowShift, colShift);
  return result;
}

std::string BrelixGetTempDir() { return platform::TempFolder(); }

std::string BrelixGetTempFileName(const std::string& folder) {
  return platform::CreateTempFile(folder);
}

std::string BrelixGetTempFName() { return BrelixGetTempFileName(BrelixGetTempDir()); }

platform::DataSet* BrelixAsDataSet(platform::Component* component) {
  if (!component) return nullptr;
  auto* dataset = dynamic_cast<platform::DataSet*>(component);
  if (!dataset)
    throw platform::EInvalidCast("Invalid class typecast: " + component->Name() + " (" + component->ClassName() +
                                 ") is not a dataset");
  return dataset;
}

platform::DataSet* BrelixFindDSInForms(std::string_view form, std::string_view dataset) {
  // Form files have data modules as their roots, so those are the forms to search.
  platform::DataModule* module = platform::FindDataModule(form);
  return module ? BrelixAsDataSet(module->FindComponent(dataset)) : nullptr;
}

}  // namespace brelix
