// The automation interface on the native xlsx engine: an application holding workbooks opened
// or created in this process. Local texts are read and written in the current locale; the files
// always store the English notation. Handing workbooks over to the user (Visible, UserControl)
// saves what is unsaved to its file and passes the path to a viewer command, if one is set.

#include "runtime/BrelixAutomation.h"

#include <spawn.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <span>
#include <utility>

#include "platform/files.h"
#include "platform/locale.h"
#include "platform/text.h"
#include "xlsx/cell_ref.h"
#include "xlsx/formula.h"
#include "xlsx/typed_text.h"
#include "xlsx/workbook.h"

extern char** environ;

namespace brelix::automation {

namespace {

using platform::Locale;
using platform::Variant;

std::string g_viewer_command;

// Runs an engine operation, turning every failure of the engine into EAutomationError with the
// same text, so that callers meet one kind of error from the interface.
template <class F>
auto Guard(F&& operation) -> decltype(operation()) {
  try {
    return operation();
  } catch (const EAutomationError&) {
    throw;
  } catch (const platform::Exception& e) {
    throw EAutomationError(e.Message());
  }
}

const Locale& EnglishLocale() { return platform::FindLocale("en-US"); }

// The cell a typed value makes: its value, and for a typed date, time or percentage the number
// format it asks for when the cell's present format (style) is General (-1: the format stays).
xlsx::CellData ToCellData(const xlsx::TypedValue& typed, int hint_style) {
  switch (typed.kind) {
    case xlsx::TypedKind::Empty: return xlsx::CellData::Empty();
    case xlsx::TypedKind::Formula: return xlsx::CellData::Formula(typed.text);
    case xlsx::TypedKind::Text: return xlsx::CellData::String(typed.text);
    case xlsx::TypedKind::Boolean: return xlsx::CellData::Boolean(typed.boolean);
    case xlsx::TypedKind::Number: break;
  }
  return xlsx::CellData::Number(typed.number, hint_style);
}

xlsx::CellRange ToXlsx(const CellRect& r) { return {r.top, r.left, r.bottom, r.right}; }

// The colour of a Windows colour value (red in the low byte) as 0xRRGGBB.
xlsx::Rgb ToRgb(int color) {
  const auto c = static_cast<std::uint32_t>(color);
  return ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

xlsx::Underline ToUnderline(int underline) {
  switch (underline) {
    case 2: return xlsx::Underline::Single;
    case -4142: return xlsx::Underline::None;
    case -4119: return xlsx::Underline::Double;
    case 4: return xlsx::Underline::SingleAccounting;
    case 5: return xlsx::Underline::DoubleAccounting;
    default: throw EAutomationError("Unknown underline style " + std::to_string(underline));
  }
}

// True when a number format shows percentages (a "%" outside quoted text and brackets).
bool IsPercentFormat(std::string_view code) {
  bool quoted = false;
  int bracket = 0;
  for (std::size_t i = 0; i < code.size(); ++i) {
    const char c = code[i];
    if (c == '"') quoted = !quoted;
    else if (quoted) continue;
    else if (c == '\\') ++i;
    else if (c == '[') ++bracket;
    else if (c == ']') bracket = std::max(0, bracket - 1);
    else if (c == '%' && bracket == 0) return true;
  }
  return false;
}

bool IsGeneralFormat(std::string_view code) { return platform::SameText(code, "General"); }

// The number of decimals a typed percentage was written with ("12,5%" has one).
int TypedDecimals(std::string_view text, char decimal_separator) {
  const std::size_t pos = text.find(decimal_separator);
  if (pos == std::string_view::npos) return 0;
  int n = 0;
  for (std::size_t i = pos + 1; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) ++n;
  return n;
}

// Runs the viewer command with the file as its only argument, without a shell reading the path.
void RunViewer(const std::string& file) {
  if (g_viewer_command.empty()) return;
  const std::string script = g_viewer_command + " \"$1\"";
  std::vector<std::string> args = {"/bin/sh", "-c", script, "brelix-viewer", file};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv.data(), environ) != 0)
    throw EAutomationError("Cannot start the viewer \"" + g_viewer_command + "\"");
}

class NativeWorkbook;

class NativeWorksheet final : public Worksheet {
 public:
  NativeWorksheet(NativeWorkbook& book, xlsx::Worksheet& sheet) : book_(&book), sheet_(&sheet) {}

  xlsx::Worksheet& Sheet() const { return *sheet_; }

  std::string Name() const override { return sheet_->Name(); }
  void SetName(const std::string& name) override;
  void Activate() override;
  Range UsedRange() override;
  Range GetRange(const std::string& address) override;

  std::string GetFormula(const CellRect& cell, bool local) override;
  void SetFormula(const CellRect& rect, const std::string& formula, bool local) override;
  void SetFormulaLocalArray(const CellRect& rect, const std::vector<std::vector<Variant>>& values) override;
  void SetValue(const CellRect& rect, const Variant& value) override;
  Variant GetValue(const CellRect& cell) override;
  void Copy(const CellRect& source, Worksheet& destination, const CellRect& dest_rect) override;
  void Clear(const CellRect& rect) override;
  void AutoFitRows(const CellRect& rect) override;
  double GetRowHeight(int row) override;
  void SetRowHeight(const CellRect& rect, double points) override;
  void SetFont(const CellRect& rect, const FontChange& font) override;
  void SetInteriorColor(const CellRect& rect, int color) override;

 private:
  void Changed();
  xlsx::Stylesheet& Styles() const;
  // The constant of a cell as the user reads it: numbers in the locale's notation, dates and
  // percentages as their format shows them, texts that would read as something else after an
  // apostrophe, so that writing the text back gives the same cell.
  std::string ConstantText(int row, int col, const Locale& locale) const;
  // Stores a text typed in the locale, with the number format a typed date or percentage asks
  // for when the cell's format is General.
  void WriteTyped(int row, int col, std::string_view text, const Locale& locale);
  int StyleForHint(int style, xlsx::FormatHint hint, int decimals);
  // StyleForHint for the cell's format and the number a text was typed as (-1 for anything else).
  int TypedStyle(const xlsx::TypedValue& typed, int row, int col, std::string_view text, const Locale& locale);
  // Gives every cell of the rectangle the format change makes of its present format.
  void Restyle(const CellRect& rect, const std::function<int(int)>& change);

  NativeWorkbook* book_;
  xlsx::Worksheet* sheet_;
  std::map<std::pair<int, int>, int> hint_styles_;
};

class NativeApplication;

class NativeWorkbook final : public Workbook {
 public:
  NativeWorkbook(NativeApplication& app, std::unique_ptr<xlsx::Workbook> book, std::string file, bool read_only)
      : app_(&app), book_(std::move(book)), file_(std::move(file)), read_only_(read_only) {}

  xlsx::Workbook& Book() const { return *book_; }
  void MarkChanged() {
    changed_ = true;
    handed_over_ = false;
  }

  int WorksheetCount() override { return static_cast<int>(Sheets().size()); }
  Worksheet& Worksheets(int index) override {
    const std::vector<xlsx::Worksheet*> sheets = Sheets();
    if (index < 1 || index > static_cast<int>(sheets.size()))
      throw EAutomationError("Worksheet " + std::to_string(index) + " does not exist in \"" + Title() + "\"");
    return Wrapper(*sheets[static_cast<std::size_t>(index - 1)]);
  }
  Worksheet& AddWorksheet() override {
    int n = 1;
    while (book_->FindSheet("Sheet" + std::to_string(n))) ++n;
    xlsx::Worksheet& sheet = Guard([&]() -> xlsx::Worksheet& { return book_->AddSheet("Sheet" + std::to_string(n)); });
    book_->SetActiveSheet(book_->IndexOf(sheet));
    MarkChanged();
    return Wrapper(sheet);
  }
  std::string FullName() override { return file_; }
  void SaveAs(const std::string& file_name) override {
    if (file_name.empty()) throw EAutomationError("No file name to save \"" + Title() + "\" under");
    const std::string target = std::filesystem::absolute(file_name).lexically_normal().string();
    if (read_only_ && target == file_)
      throw EAutomationError("\"" + file_ + "\" was opened read-only and cannot be saved under its own name");
    Guard([&] { book_->Save(target); });
    file_ = target;
    read_only_ = false;
    changed_ = false;
  }
  void Close(bool save, const std::string& file_name) override;

  // Saves unsaved changes to the workbook's file (a new temporary file when it has none) and
  // passes the file to the viewer, once per saved state.
  void HandOver() {
    if (handed_over_) return;
    if (file_.empty()) file_ = platform::CreateTempFile(platform::TempFolder());
    if (changed_ && !read_only_) SaveAs(file_);
    handed_over_ = true;
    RunViewer(file_);
  }

 private:
  std::string Title() const { return file_.empty() ? std::string("new workbook") : file_; }
  std::vector<xlsx::Worksheet*> Sheets() const {
    std::vector<xlsx::Worksheet*> sheets;
    for (int i = 0; i < book_->SheetCount(); ++i)
      if (book_->Sheet(i).HasCells()) sheets.push_back(&book_->Sheet(i));
    return sheets;
  }
  NativeWorksheet& Wrapper(xlsx::Worksheet& sheet) {
    std::unique_ptr<NativeWorksheet>& w = wrappers_[&sheet];
    if (!w) w = std::make_unique<NativeWorksheet>(*this, sheet);
    return *w;
  }

  NativeApplication* app_;
  std::unique_ptr<xlsx::Workbook> book_;
  std::string file_;
  bool read_only_;
  bool changed_ = false;
  bool handed_over_ = false;
  std::map<const xlsx::Worksheet*, std::unique_ptr<NativeWorksheet>> wrappers_;
};

class NativeApplication final : public Application {
 public:
  Workbook& Open(const std::string& file_name, const OpenOptions& options) override {
    const std::string file = std::filesystem::absolute(file_name).lexically_normal().string();
    std::unique_ptr<xlsx::Workbook> book = Guard([&] { return xlsx::Workbook::Open(file); });
    return Add(std::move(book), file, options.read_only);
  }
  Workbook& AddFromTemplate(const std::string& file_name) override {
    const std::string file = std::filesystem::absolute(file_name).lexically_normal().string();
    std::unique_ptr<xlsx::Workbook> book = Guard([&] { return xlsx::Workbook::Open(file); });
    book->BecomeWorkbook();
    NativeWorkbook& added = Add(std::move(book), file, false);
    added.MarkChanged();
    return added;
  }
  Workbook& AddEmpty() override {
    NativeWorkbook& added = Add(xlsx::Workbook::Create(), {}, false);
    added.MarkChanged();
    return added;
  }
  int WorkbookCount() override { return static_cast<int>(books_.size()); }

  void SetInteractive(bool on) override { interactive_ = on; }
  void SetVisible(bool on) override {
    visible_ = on;
    if (on) HandOver();
  }
  void SetUserControl(bool on) override {
    user_control_ = on;
    if (on) HandOver();
  }
  void SetDisplayAlerts(bool on) override { display_alerts_ = on; }
  std::string Caption() override { return "Brelix"; }
  void Quit() override { books_.clear(); }

  void Remove(NativeWorkbook& book) {
    std::erase_if(books_, [&](const std::unique_ptr<NativeWorkbook>& b) { return b.get() == &book; });
  }

 private:
  NativeWorkbook& Add(std::unique_ptr<xlsx::Workbook> book, std::string file, bool read_only) {
    books_.push_back(std::make_unique<NativeWorkbook>(*this, std::move(book), std::move(file), read_only));
    return *books_.back();
  }
  void HandOver() {
    for (const auto& book : books_) book->HandOver();
  }

  std::vector<std::unique_ptr<NativeWorkbook>> books_;
  bool interactive_ = true, visible_ = false, user_control_ = false, display_alerts_ = true;
};

void NativeWorkbook::Close(bool save, const std::string& file_name) {
  if (save) SaveAs(file_name.empty() ? file_ : file_name);
  app_->Remove(*this);  // destroys this workbook
}

// ---- NativeWorksheet ---------------------------------------------------------------------

void NativeWorksheet::Changed() { book_->MarkChanged(); }

xlsx::Stylesheet& NativeWorksheet::Styles() const { return book_->Book().Styles(); }

void NativeWorksheet::SetName(const std::string& name) {
  Guard([&] { book_->Book().RenameSheet(*sheet_, name); });
  Changed();
}

void NativeWorksheet::Activate() { book_->Book().SetActiveSheet(book_->Book().IndexOf(*sheet_)); }

Range NativeWorksheet::UsedRange() {
  const std::optional<xlsx::CellRange> used = Guard([&] { return sheet_->UsedRange(); });
  if (!used) return Range(*this, {CellRect{}});
  return Range(*this, {CellRect{1, 1, used->bottom, used->right}});
}

Range NativeWorksheet::GetRange(const std::string& address) {
  std::vector<CellRect> areas;
  std::string_view rest = address;
  while (true) {
    const std::size_t comma = rest.find(',');
    const std::string part = platform::Trim(rest.substr(0, comma));
    const std::optional<xlsx::CellRange> r = xlsx::ParseRange(part);
    if (!r || part.empty() || part.back() == ':')
      throw EAutomationError("\"" + address + "\" is not a range of cells of sheet \"" + sheet_->Name() + "\"");
    areas.push_back({r->top, r->left, r->bottom, r->right});
    if (comma == std::string_view::npos) break;
    rest = rest.substr(comma + 1);
  }
  return Range(*this, std::move(areas));
}

std::string NativeWorksheet::ConstantText(int row, int col, const Locale& locale) const {
  const xlsx::CellValue v = sheet_->Value(row, col);
  switch (v.type) {
    case xlsx::CellType::Empty: return {};
    case xlsx::CellType::Boolean: return v.boolean ? locale.true_word : locale.false_word;
    case xlsx::CellType::Error: {
      const auto it = locale.error_words.find(v.text);
      return it != locale.error_words.end() ? it->second : v.text;
    }
    case xlsx::CellType::String: {
      const xlsx::TypedKind kind = Guard([&] {
        try {
          return xlsx::ParseTypedText(v.text, locale).kind;
        } catch (const xlsx::EFormulaError&) {
          return xlsx::TypedKind::Formula;
        }
      });
      return kind == xlsx::TypedKind::Text ? v.text : "'" + v.text;
    }
    case xlsx::CellType::Number: break;
  }
  const int style = sheet_->Style(row, col);
  if (Styles().IsDateFormat(style)) return Variant(platform::DateTime{v.number}).ToString(locale);
  if (IsPercentFormat(Styles().NumberFormatCode(style))) return platform::FormatFloat(v.number * 100, locale) + "%";
  return platform::FormatFloat(v.number, locale);
}

std::string NativeWorksheet::GetFormula(const CellRect& cell, bool local) {
  return Guard([&] {
    const Locale& locale = local ? platform::CurrentLocale() : EnglishLocale();
    if (!sheet_->HasFormula(cell.top, cell.left)) return ConstantText(cell.top, cell.left, locale);
    const std::string english = "=" + sheet_->Formula(cell.top, cell.left);
    return local ? xlsx::EnglishToLocal(english, locale) : english;
  });
}

int NativeWorksheet::StyleForHint(int style, xlsx::FormatHint hint, int decimals) {
  if (hint == xlsx::FormatHint::None || !IsGeneralFormat(Styles().NumberFormatCode(style))) return -1;
  const int key = static_cast<int>(hint) * 16 + std::min(decimals, 15);
  auto [it, added] = hint_styles_.try_emplace({style, key}, 0);
  if (added) {
    switch (hint) {
      case xlsx::FormatHint::Date: it->second = Styles().WithDateFormat(style, false); break;
      case xlsx::FormatHint::DateTime: it->second = Styles().WithDateFormat(style, true); break;
      case xlsx::FormatHint::Time: it->second = Styles().WithNumberFormat(style, "h:mm:ss"); break;
      case xlsx::FormatHint::Percent: it->second = Styles().WithPercentFormat(style, decimals); break;
      case xlsx::FormatHint::None: break;
    }
  }
  return it->second;
}

void NativeWorksheet::WriteTyped(int row, int col, std::string_view text, const Locale& locale) {
  const xlsx::TypedValue typed = xlsx::ParseTypedText(text, locale);
  const xlsx::CellData cell = ToCellData(typed, TypedStyle(typed, row, col, text, locale));
  sheet_->WriteCells(row, col, 1, std::span(&cell, 1));
}

int NativeWorksheet::TypedStyle(const xlsx::TypedValue& typed, int row, int col, std::string_view text,
                                const Locale& locale) {
  if (typed.kind != xlsx::TypedKind::Number || typed.format == xlsx::FormatHint::None) return -1;
  return StyleForHint(sheet_->Style(row, col), typed.format, TypedDecimals(text, locale.decimal_separator));
}

void NativeWorksheet::SetFormula(const CellRect& rect, const std::string& formula, bool local) {
  Guard([&] {
    const Locale& locale = local ? platform::CurrentLocale() : EnglishLocale();
    const xlsx::TypedValue typed = xlsx::ParseTypedText(formula, locale);
    for (int row = rect.top; row <= rect.bottom; ++row) {
      for (int col = rect.left; col <= rect.right; ++col) {
        if (typed.kind == xlsx::TypedKind::Formula)
          sheet_->SetFormula(row, col, xlsx::ShiftFormula(typed.text, row - rect.top, col - rect.left));
        else
          WriteTyped(row, col, formula, locale);
      }
    }
  });
  Changed();
}

void NativeWorksheet::SetFormulaLocalArray(const CellRect& rect, const std::vector<std::vector<Variant>>& values) {
  const Locale& locale = platform::CurrentLocale();
  const int rows = std::min(rect.Rows(), static_cast<int>(values.size()));
  const int cols = rect.Columns();
  std::vector<xlsx::TypedValue> typed(static_cast<std::size_t>(cols));
  std::vector<xlsx::CellData> cells(static_cast<std::size_t>(cols));
  const Variant empty;
  Guard([&] {
    for (int i = 0; i < rows; ++i) {
      const std::vector<Variant>& line = values[static_cast<std::size_t>(i)];
      const int row = rect.top + i;
      for (int j = 0; j < cols; ++j) {
        const auto k = static_cast<std::size_t>(j);
        const Variant& v = j < static_cast<int>(line.size()) ? line[k] : empty;
        const int col = rect.left + j;
        xlsx::CellData& cell = cells[k];
        switch (v.type()) {
          case Variant::Type::Empty:
          case Variant::Type::Null: cell = xlsx::CellData::Empty(); break;
          case Variant::Type::Boolean: cell = xlsx::CellData::Boolean(v.AsBoolean()); break;
          case Variant::Type::Integer: cell = xlsx::CellData::Number(static_cast<double>(v.AsInteger())); break;
          case Variant::Type::Float: cell = xlsx::CellData::Number(v.AsFloat()); break;
          case Variant::Type::DateTime: {
            const double serial = v.AsDateTime().serial;
            cell = xlsx::CellData::Number(serial, StyleForHint(sheet_->Style(row, col), serial == static_cast<long long>(serial) ? xlsx::FormatHint::Date : xlsx::FormatHint::DateTime, 0));
            break;
          }
          case Variant::Type::String: {
            try {
              typed[k] = xlsx::ParseTypedText(v.AsString(), locale);
            } catch (const platform::Exception& e) {
              throw EAutomationError(std::string(e.Message()) + " (cell " + xlsx::CellName(row, col) + ")");
            }
            cell = ToCellData(typed[k], TypedStyle(typed[k], row, col, v.AsString(), locale));
            break;
          }
        }
      }
      sheet_->WriteCells(row, rect.left, cols, cells);
    }
  });
  Changed();
}

void NativeWorksheet::SetValue(const CellRect& rect, const Variant& value) {
  if (value.type() == Variant::Type::String) {
    SetFormula(rect, value.AsString(), true);
    return;
  }
  SetFormulaLocalArray(rect, std::vector<std::vector<Variant>>(static_cast<std::size_t>(rect.Rows()),
                                                               std::vector<Variant>(static_cast<std::size_t>(rect.Columns()), value)));
}

Variant NativeWorksheet::GetValue(const CellRect& cell) {
  const xlsx::CellValue v = Guard([&] { return sheet_->Value(cell.top, cell.left); });
  switch (v.type) {
    case xlsx::CellType::Empty: return {};
    case xlsx::CellType::Number: return v.number;
    case xlsx::CellType::Boolean: return v.boolean;
    case xlsx::CellType::String:
    case xlsx::CellType::Error: return v.text;
  }
  return {};
}

void NativeWorksheet::Copy(const CellRect& source, Worksheet& destination, const CellRect& dest_rect) {
  auto* dest = dynamic_cast<NativeWorksheet*>(&destination);
  if (!dest) throw EAutomationError("Cells can only be copied between sheets of the same engine");
  Guard([&] { sheet_->Copy(ToXlsx(source), *dest->sheet_, dest_rect.top, dest_rect.left); });
  dest->Changed();
}

void NativeWorksheet::Clear(const CellRect& rect) {
  Guard([&] { sheet_->Clear(ToXlsx(rect)); });
  Changed();
}

void NativeWorksheet::AutoFitRows(const CellRect& rect) {
  Guard([&] { sheet_->AutoFitRows(rect.top, rect.bottom); });
  Changed();
}

double NativeWorksheet::GetRowHeight(int row) {
  return Guard([&] { return sheet_->RowHeight(row); });
}

void NativeWorksheet::SetRowHeight(const CellRect& rect, double points) {
  Guard([&] { sheet_->SetRowHeight(rect.top, rect.bottom, points); });
  Changed();
}

void NativeWorksheet::Restyle(const CellRect& rect, const std::function<int(int)>& change) {
  Guard([&] {
    xlsx::CheckRange(ToXlsx(rect), "sheet \"" + sheet_->Name() + "\"");
    std::map<int, int> derived;
    for (int row = rect.top; row <= rect.bottom; ++row) {
      for (int col = rect.left; col <= rect.right; ++col) {
        const int style = sheet_->Style(row, col);
        auto [it, added] = derived.try_emplace(style, 0);
        if (added) it->second = change(style);
        sheet_->SetStyle(row, col, it->second);
      }
    }
  });
  Changed();
}

void NativeWorksheet::SetFont(const CellRect& rect, const FontChange& font) {
  xlsx::FontChange change;
  change.name = font.name;
  change.size = font.size;
  if (font.color) change.color = ToRgb(*font.color);
  change.bold = font.bold;
  change.italic = font.italic;
  change.strikethrough = font.strikethrough;
  if (font.underline) change.underline = ToUnderline(*font.underline);
  Restyle(rect, [&](int style) { return Styles().WithFont(style, change); });
}

void NativeWorksheet::SetInteriorColor(const CellRect& rect, int color) {
  Restyle(rect, [&](int style) { return Styles().WithFillColor(style, ToRgb(color)); });
}

}  // namespace

// ---- Range -------------------------------------------------------------------------------

std::string Range::Address() const {
  std::string text;
  for (const CellRect& r : areas_) {
    if (!text.empty()) text += ',';
    text += xlsx::RangeName(ToXlsx(r));
  }
  return text;
}

std::string Range::Formula() const { return sheet_->GetFormula(Rect(), false); }
void Range::SetFormula(const std::string& formula) const { sheet_->SetFormula(Rect(), formula, false); }
std::string Range::FormulaLocal() const { return sheet_->GetFormula(Rect(), true); }
void Range::SetFormulaLocal(const std::string& formula) const { sheet_->SetFormula(Rect(), formula, true); }
void Range::SetFormulaLocalArray(const std::vector<std::vector<platform::Variant>>& values) const {
  sheet_->SetFormulaLocalArray(Rect(), values);
}
void Range::SetValue(const platform::Variant& value) const { sheet_->SetValue(Rect(), value); }
platform::Variant Range::Value() const { return sheet_->GetValue(Rect()); }
void Range::Copy(const Range& destination) const {
  const CellRect& d = destination.Rect();
  const CellRect& s = Rect();
  sheet_->Copy(s, destination.Sheet(), {d.top, d.left, d.top + s.Rows() - 1, d.left + s.Columns() - 1});
}
void Range::Clear() const { sheet_->Clear(Rect()); }
void Range::AutoFitRows() const { sheet_->AutoFitRows(Rect()); }
double Range::RowHeight() const { return sheet_->GetRowHeight(Rect().top); }
void Range::SetRowHeight(double points) const { sheet_->SetRowHeight(Rect(), points); }
void Range::SetFont(const FontChange& font) const { sheet_->SetFont(Rect(), font); }
void Range::SetInteriorColor(int color) const { sheet_->SetInteriorColor(Rect(), color); }

std::unique_ptr<Application> CreateApplication() { return std::make_unique<NativeApplication>(); }

void SetViewerCommand(std::string command) { g_viewer_command = std::move(command); }

}  // namespace brelix::automation
