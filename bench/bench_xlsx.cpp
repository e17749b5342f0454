// The spreadsheet engine's costly operations, and beside the save the same sheet written by
// libxlsxwriter as the limit to measure it against:
//
//   bench_xlsx --benchmark_filter=TypedBlock      4,000 x 10 typed texts parsed and written as a block
//   bench_xlsx --benchmark_filter=CopyBlock       a 1,000-row block with formats and a merge copied
//   bench_xlsx --benchmark_filter=CopyRows        single rows with rules, a link and a comment copied
//   bench_xlsx --benchmark_filter=LoadTemplate    opening a ~5 MB workbook and reading its cells
//   bench_xlsx --benchmark_filter=Save            65,535 x 10 numbers, texts and formulas with
//                                                 formats: our save alone, our writing and save,
//                                                 and libxlsxwriter writing the same cells
// bench/xlsx_memory.sh prints the peak memory of the big sheet's save and of its reading.

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <xlsxwriter.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/locale.h"
#include "xlsx/typed_text.h"
#include "xlsx/workbook.h"

namespace {

using namespace brelix::xlsx;
namespace fs = std::filesystem;

constexpr int kBigRows = 65'535;
constexpr int kColumns = 10;

// A folder for the benchmark's files, removed at exit.
const fs::path& Folder() {
  static const struct Holder {
    fs::path path;
    Holder() {
      std::string pattern = brelix::platform::TempFolder() + "brelix-bench-xlsx-XXXXXX";
      if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a folder for the benchmark");
      path = pattern;
    }
    ~Holder() {
      std::error_code ignored;
      fs::remove_all(path, ignored);
    }
  } holder;
  return holder.path;
}

const char* const kCities[] = {"Berlin", "Paris", "Madrid", "Rome", "Vienna", "Prague", "Lisbon", "Dublin"};

// The cells of row r (1-based) of the big sheet: numbers, texts (unique and repeated), a date,
// a percentage and formulas, each column with its format.
struct Formats {
  int bold, date, percent, money;
  explicit Formats(Stylesheet& styles)
      : bold(styles.WithFont(0, {.bold = true})),
        date(styles.WithDateFormat(0, false)),
        percent(styles.WithPercentFormat(0, 1)),
        money(styles.WithNumberFormat(0, "#,##0.00")) {}
};

struct SheetContent {
  std::vector<std::string> texts;     // column 2: one text per row
  std::vector<std::string> formulas;  // columns 7 and 10: two per row

  explicit SheetContent(int rows) {
    texts.reserve(static_cast<std::size_t>(rows));
    formulas.reserve(static_cast<std::size_t>(rows) * 2);
    for (int r = 1; r <= rows; ++r) {
      texts.push_back("Item " + std::to_string(r * 7919 % 1'000'003));
      const std::string n = std::to_string(r);
      formulas.push_back("A" + n + "*C" + n);
      formulas.push_back("SUM(A" + n + ":C" + n + ")");
    }
  }

  // Writes rows [first, last] into the sheet as blocks of up to 1,000 rows.
  void Write(Worksheet& sheet, int first, int last, const Formats& f) const {
    std::vector<CellData> block;
    for (int top = first; top <= last; top += 1000) {
      const int bottom = std::min(last, top + 999);
      block.clear();
      for (int r = top; r <= bottom; ++r) {
        const auto i = static_cast<std::size_t>(r - 1);
        block.push_back(CellData::Number(r));
        block.push_back(CellData::String(texts[i]));
        block.push_back(CellData::Number(r * 1.25, f.money));
        block.push_back(CellData::String(kCities[r % 8]));
        block.push_back(CellData::Number(46000 + r % 3650, f.date));
        block.push_back(CellData::Number((r % 100) / 100.0, f.percent));
        block.push_back(CellData::Formula(formulas[2 * i]));
        block.push_back(CellData::String(kCities[(r + 3) % 8], f.bold));
        block.push_back(CellData::Number(r % 977 - 488.5));
        block.push_back(CellData::Formula(formulas[2 * i + 1]));
      }
      sheet.WriteCells(top, 1, kColumns, block);
    }
  }
};

const SheetContent& BigContent() {
  static const SheetContent content(kBigRows);
  return content;
}

std::unique_ptr<Workbook> BigWorkbook() {
  auto book = Workbook::Create();
  const Formats formats(book->Styles());
  BigContent().Write(book->Sheet(0), 1, kBigRows, formats);
  return book;
}

// ---- block write of typed texts -----------------------------------------------------------

void BM_TypedBlock(benchmark::State& state) {
  constexpr int kRows = 4000;
  const brelix::platform::Locale& locale = brelix::platform::FindLocale("en-US");
  const char* const patterns[] = {"12.5", "hello world", "2026-12-11", "=A1*2", "TRUE", "15%", "-1,234.5", "'007",
                                  "14:30", "text with, comma"};
  std::vector<std::string> typed;
  for (int r = 0; r < kRows; ++r)
    for (int c = 0; c < kColumns; ++c) {
      std::string t = patterns[c];
      if (c == 0 || c == 1) t += std::to_string(r);
      typed.push_back(std::move(t));
    }
  for (auto _ : state) {
    auto book = Workbook::Create();
    Stylesheet& styles = book->Styles();
    const int date = styles.WithDateFormat(0, false), time = styles.WithNumberFormat(0, "h:mm"),
              percent = styles.WithPercentFormat(0, 0);
    std::vector<TypedValue> values;
    values.reserve(typed.size());
    std::vector<CellData> cells;
    cells.reserve(typed.size());
    for (const std::string& t : typed) {
      values.push_back(ParseTypedText(t, locale));
      const TypedValue& v = values.back();
      switch (v.kind) {
        case TypedKind::Empty: cells.push_back(CellData::Empty()); break;
        case TypedKind::Boolean: cells.push_back(CellData::Boolean(v.boolean)); break;
        case TypedKind::Text: cells.push_back(CellData::String(v.text)); break;
        case TypedKind::Formula: cells.push_back(CellData::Formula(v.text)); break;
        case TypedKind::Number: {
          int style = -1;
          if (v.format == FormatHint::Date || v.format == FormatHint::DateTime) style = date;
          if (v.format == FormatHint::Time) style = time;
          if (v.format == FormatHint::Percent) style = percent;
          cells.push_back(CellData::Number(v.number, style));
          break;
        }
      }
    }
    book->Sheet(0).WriteCells(1, 1, kColumns, cells);
    benchmark::DoNotOptimize(book->Sheet(0).UsedRange());
  }
  state.SetItemsProcessed(state.iterations() * kRows * kColumns);
}
BENCHMARK(BM_TypedBlock)->Unit(benchmark::kMillisecond);

// ---- copy of a block ------------------------------------------------------------------------

void BM_CopyBlock(benchmark::State& state) {
  constexpr int kRows = 1000;
  auto book = Workbook::Create();
  Worksheet& templ = book->Sheet(0);
  const Formats formats(book->Styles());
  SheetContent(kRows).Write(templ, 1, kRows, formats);
  templ.Merge({10, 2, 11, 4});
  Worksheet& report = book->AddSheet("Report");
  int row = 1;
  for (auto _ : state) {
    templ.Copy({1, 1, kRows, kColumns}, report, row, 1);
    row = row + kRows > 60'000 ? 1 : row + kRows;
  }
  state.SetItemsProcessed(state.iterations() * kRows * kColumns);
}
BENCHMARK(BM_CopyBlock)->Unit(benchmark::kMillisecond);

// A report's row copies: one template row whose cells carry conditional formats (ten rules),
// a data validation, a hyperlink and a comment, copied row after row into the report sheet,
// where each copy joins the rules of the rows before it.
const fs::path& RulesTemplate() {
  static const fs::path file = [] {
    const fs::path f = Folder() / "rules.xlsx";
    const std::string main = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
    const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    const std::string pkg = "http://schemas.openxmlformats.org/package/2006/relationships";
    std::string rules;
    for (int i = 0; i < 10; ++i)
      rules += "<conditionalFormatting sqref=\"A1:D1\"><cfRule type=\"expression\" dxfId=\"0\" priority=\"" +
               std::to_string(i + 1) + "\"><formula>A1&gt;$E$1*" + std::to_string(i) + "</formula></cfRule></conditionalFormatting>";
    ZipWriter zip(f);
    zip.Add("[Content_Types].xml",
            "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
            "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
            "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
            "<Override PartName=\"/xl/workbook.xml\" ContentType=\"" + std::string(workbook_type::kWorkbook) + "\"/>"
            "<Override PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\"" + std::string(kWorksheetType) + "\"/>"
            "<Override PartName=\"/xl/styles.xml\" ContentType=\"" + std::string(kStylesType) + "\"/>"
            "<Override PartName=\"/xl/comments1.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.comments+xml\"/>"
            "</Types>");
    zip.Add("_rels/.rels", "<Relationships xmlns=\"" + pkg + "\"><Relationship Id=\"rId1\" Type=\"" + rel +
                               "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>");
    zip.Add("xl/workbook.xml", "<workbook xmlns=\"" + main + "\" xmlns:r=\"" + rel +
                                   "\"><sheets><sheet name=\"Template\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>");
    zip.Add("xl/_rels/workbook.xml.rels",
            "<Relationships xmlns=\"" + pkg + "\"><Relationship Id=\"rId1\" Type=\"" + rel +
                "/worksheet\" Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId2\" Type=\"" + rel +
                "/styles\" Target=\"styles.xml\"/></Relationships>");
    zip.Add("xl/styles.xml",
            "<styleSheet xmlns=\"" + main + "\"><fonts count=\"1\"><font><sz val=\"11\"/></font></fonts>"
            "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill><fill><patternFill patternType=\"gray125\"/></fill></fills>"
            "<borders count=\"1\"><border/></borders><cellXfs count=\"1\"><xf/></cellXfs>"
            "<dxfs count=\"1\"><dxf><font><b/></font></dxf></dxfs></styleSheet>");
    zip.Add("xl/worksheets/sheet1.xml",
            "<worksheet xmlns=\"" + main + "\" xmlns:r=\"" + rel + "\"><sheetData><row r=\"1\">"
            "<c r=\"A1\"><v>1</v></c><c r=\"B1\"><v>2</v></c><c r=\"C1\"><v>3</v></c><c r=\"D1\"><f>A1+B1</f></c>"
            "<c r=\"E1\"><v>1.5</v></c></row></sheetData>" + rules +
            "<dataValidations count=\"1\"><dataValidation type=\"custom\" sqref=\"B1\"><formula1>B1&gt;A1</formula1>"
            "</dataValidation></dataValidations><hyperlinks><hyperlink ref=\"C1\" r:id=\"rId1\"/></hyperlinks></worksheet>");
    zip.Add("xl/worksheets/_rels/sheet1.xml.rels",
            "<Relationships xmlns=\"" + pkg + "\"><Relationship Id=\"rId1\" Type=\"" + rel +
                "/hyperlink\" Target=\"https://example.org/\" TargetMode=\"External\"/><Relationship Id=\"rId2\" Type=\"" +
                rel + "/comments\" Target=\"../comments1.xml\"/></Relationships>");
    zip.Add("xl/comments1.xml", "<comments xmlns=\"" + main + "\"><authors><author>bench</author></authors><commentList>"
                                "<comment ref=\"A1\" authorId=\"0\"><text><t>note</t></text></comment></commentList></comments>");
    zip.Commit();
    return f;
  }();
  return file;
}

void BM_CopyRowsWithRules(benchmark::State& state) {
  auto book = Workbook::Open(RulesTemplate());
  Worksheet& templ = book->Sheet(0);
  Worksheet& report = book->AddSheet("Report");
  int row = 1;
  for (auto _ : state) {
    templ.Copy({1, 1, 1, 5}, report, row, 1);
    row = row == 60'000 ? 1 : row + 1;
  }
  state.SetItemsProcessed(state.iterations());
  state.counters["rules_left"] = static_cast<double>(report.ElementsXml("conditionalFormatting").size());
}
BENCHMARK(BM_CopyRowsWithRules)->Unit(benchmark::kMicrosecond);

// ---- load of a template ---------------------------------------------------------------------

const fs::path& TemplateFile() {
  static const fs::path file = [] {
    // About 5 MB: the big sheet's content, twice over in two sheets, with a third of its rows.
    fs::path f = Folder() / "template.xlsx";
    auto book = Workbook::Create();
    const Formats formats(book->Styles());
    BigContent().Write(book->Sheet(0), 1, kBigRows, formats);
    BigContent().Write(book->AddSheet("Second"), 1, kBigRows / 3, formats);
    book->Save(f);
    return f;
  }();
  return file;
}

void BM_LoadTemplate(benchmark::State& state) {
  const fs::path& file = TemplateFile();
  for (auto _ : state) {
    auto book = Workbook::Open(file);
    for (int i = 0; i < book->SheetCount(); ++i) benchmark::DoNotOptimize(book->Sheet(i).UsedRange());
  }
  state.counters["file_MB"] = static_cast<double>(fs::file_size(file)) / 1e6;
}
BENCHMARK(BM_LoadTemplate)->Unit(benchmark::kMillisecond);

// Reading the big sheet alone (for its peak memory, see xlsx_memory.sh).
void BM_LoadBigSheet(benchmark::State& state) {
  static const fs::path file = [] {
    fs::path f = Folder() / "big.xlsx";
    BigWorkbook()->Save(f);
    return f;
  }();
  for (auto _ : state) {
    auto book = Workbook::Open(file);
    benchmark::DoNotOptimize(book->Sheet(0).Value(kBigRows, kColumns));
  }
}
BENCHMARK(BM_LoadBigSheet)->Unit(benchmark::kMillisecond);

// ---- save of the big sheet ------------------------------------------------------------------

void BM_Save(benchmark::State& state) {
  auto book = BigWorkbook();
  const fs::path file = Folder() / "save.xlsx";
  for (auto _ : state) book->Save(file);
  state.counters["file_MB"] = static_cast<double>(fs::file_size(file)) / 1e6;
  state.SetItemsProcessed(state.iterations() * kBigRows * kColumns);
}
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond);

// The cells written and saved: what a report does, and what libxlsxwriter's figure covers.
void BM_WriteAndSave(benchmark::State& state) {
  const fs::path file = Folder() / "write-save.xlsx";
  BigContent();
  for (auto _ : state) BigWorkbook()->Save(file);
  state.counters["file_MB"] = static_cast<double>(fs::file_size(file)) / 1e6;
  state.SetItemsProcessed(state.iterations() * kBigRows * kColumns);
}
BENCHMARK(BM_WriteAndSave)->Unit(benchmark::kMillisecond);

void BM_SaveLibxlsxwriter(benchmark::State& state) {
  const SheetContent& content = BigContent();
  const std::string file = (Folder() / "libxlsxwriter.xlsx").string();
  for (auto _ : state) {
    lxw_workbook* book = workbook_new(file.c_str());
    lxw_worksheet* sheet = workbook_add_worksheet(book, nullptr);
    lxw_format* bold = workbook_add_format(book);
    format_set_bold(bold);
    lxw_format* date = workbook_add_format(book);
    format_set_num_format_index(date, 14);
    lxw_format* percent = workbook_add_format(book);
    format_set_num_format(percent, "0.0%");
    lxw_format* money = workbook_add_format(book);
    format_set_num_format(money, "#,##0.00");
    const std::string eq = "=";
    std::string formula;
    for (int r = 1; r <= kBigRows; ++r) {
      const auto i = static_cast<std::size_t>(r - 1);
      const lxw_row_t row = static_cast<lxw_row_t>(r - 1);
      worksheet_write_number(sheet, row, 0, r, nullptr);
      worksheet_write_string(sheet, row, 1, content.texts[i].c_str(), nullptr);
      worksheet_write_number(sheet, row, 2, r * 1.25, money);
      worksheet_write_string(sheet, row, 3, kCities[r % 8], nullptr);
      worksheet_write_number(sheet, row, 4, 46000 + r % 3650, date);
      worksheet_write_number(sheet, row, 5, (r % 100) / 100.0, percent);
      formula = eq + content.formulas[2 * i];
      worksheet_write_formula(sheet, row, 6, formula.c_str(), nullptr);
      worksheet_write_string(sheet, row, 7, kCities[(r + 3) % 8], bold);
      worksheet_write_number(sheet, row, 8, r % 977 - 488.5, nullptr);
      formula = eq + content.formulas[2 * i + 1];
      worksheet_write_formula(sheet, row, 9, formula.c_str(), nullptr);
    }
    if (workbook_close(book) != LXW_NO_ERROR) state.SkipWithError("libxlsxwriter could not write the workbook");
  }
  state.counters["file_MB"] = static_cast<double>(fs::file_size(file)) / 1e6;
  state.SetItemsProcessed(state.iterations() * kBigRows * kColumns);
}
BENCHMARK(BM_SaveLibxlsxwriter)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
