// The report run: from Show to the finished workbook (working copy, engine, template and report
// workbooks, sub-report chain, hand-over or save, clean-up), the output loop that walks the
// data and outputs the bands, and the row buffer that reaches the report sheet in blocks.

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/text.h"
#include "runtime/Brelix.h"
#include "runtime/BrelixAutomation.h"
#include "runtime/BrelixConsts.h"
#include "runtime/BrelixCopyMngr.h"
#include "runtime/BrelixFieldParser.h"
#include "runtime/BrelixSpl.h"
#include "runtime/BrelixTemplParser.h"

namespace brelix {

using namespace BrelixConsts;
using platform::Variant;

namespace {

namespace fs = std::filesystem;

//! Rows held by the row buffer before they are written in one block.
constexpr int kBufferRows = 4000;
//! The progress display is refreshed once per this many output rows.
constexpr int kProgressStep = 50;

// A name relative to the program's folder, trimmed; empty stays empty.
std::string ResolveFileName(const std::string& name) {
  const std::string trimmed(platform::Trim(name));
  if (trimmed.empty()) return trimmed;
  return platform::ResolveProgramPath(trimmed).string();
}

// The message of any failure that reaches the run's clean-up.
std::string MessageOf(const std::exception& e) { return e.what(); }

// ---------------------------------------------------------------------------------------------
// One build of a report sheet: the output state, the template parser, the copy manager and the
// row buffer, alive from the start of MakeReport to its end.

class ReportBuild {
 public:
  ReportBuild(TBrelix& report, automation::Worksheet& templ_sheet, automation::Worksheet& report_sheet)
      : report_(report), templ_(templ_sheet), sheet_(report_sheet) {}

  void MakeReport();
  int RowCount() const { return next_row_ - 1; }
  int ColCount() const { return col_count_; }

 private:
  struct GroupEntry {
    TBrelixGroupHeaderBand* header;
    std::string value;
    TBrelixGroupFooterBand* footer;
  };

  void SetBandsFromTempl();
  void InitBandVars();
  bool OutputReport();
  void OutputBand(const TBrelixBand* band, const TBrelixBand* second);
  void OutputRecord();
  void OutputData();
  void OutputGroupHeaders(std::size_t level);
  void OutputGroupFooters(std::size_t level);
  bool IsData();
  void ResetData();
  void NextData();
  void PriorData();
  bool GroupChanged(GroupEntry& entry);

  void WriteRowValues(const TBrelixBand& band, const TBrelixBand* second, int report_row, int band_cols,
                      int templ_row, int first_templ_col);
  void WriteBufToSheet();
  void ShowRowCount();
  void GetUserFieldValue(platform::Persistent& sender, const std::string& name, Variant& value);
  bool IsFieldOfDataSet(const std::string& field) const;

  TBrelix& report_;
  automation::Worksheet& templ_;
  automation::Worksheet& sheet_;

  int next_row_ = 1;
  int col_count_ = 0;
  std::vector<GroupEntry> groups_;
  const TBrelixBand* master_ = nullptr;
  const TBrelixBand* detail_header_ = nullptr;
  const TBrelixBand* detail_data_ = nullptr;
  const TBrelixBand* detail_footer_ = nullptr;
  std::unique_ptr<TBrelixTemplParser> parser_;
  std::unique_ptr<TBrelixCopyManager> copy_manager_;

  // The row buffer: values, and per buffered row the band and template row it came from.
  std::vector<std::vector<Variant>> values_;
  std::vector<std::pair<const TBrelixBand*, int>> row_origin_;
  int buffered_ = 0;
  int first_row_ = 1;
  int progress_block_ = 0;
};

void ReportBuild::MakeReport() {
  TBrelixBands& bands = report_.Bands();
  const bool from_template = bands.Count() == 0;
  if (from_template) SetBandsFromTempl();
  struct BandsCleanup {
    TBrelixBands& bands;
    bool clear;
    ~BandsCleanup() {
      if (clear) bands.Clear();
    }
  } cleanup{bands, from_template};

  next_row_ = 1;
  progress_block_ = 0;
  InitBandVars();
  parser_ = std::make_unique<TBrelixTemplParser>(
      report_, templ_, [this](platform::Persistent& sender, const std::string& name, Variant& value) {
        GetUserFieldValue(sender, name, value);
      });
  col_count_ = parser_->GetMaxColumn();
  sheet_.UsedRange().Clear();
  values_.assign(kBufferRows, std::vector<Variant>(static_cast<std::size_t>(col_count_)));
  row_origin_.assign(kBufferRows, {nullptr, 0});
  buffered_ = 0;
  first_row_ = 1;
  copy_manager_ = std::make_unique<TBrelixCopyManager>(bands, templ_, sheet_);
  if (report_.Options().Contains(brxoShowProgress))
    BrelixSplDoWork([this] { return OutputReport(); }, report_.Title());
  else
    OutputReport();
  values_.clear();
  row_origin_.clear();
}

// True when a field of a template cell belongs to the report's DataSet: a plain name the
// dataset has, or a name whose first part is the dataset's component name.
bool ReportBuild::IsFieldOfDataSet(const std::string& field) const {
  platform::DataSet* dataset = report_.DataSet();
  const std::size_t dot = field.find('.');
  if (dot == std::string::npos) return dataset->FindField(field) != nullptr;
  return platform::SameText(field.substr(0, dot), dataset->Name());
}

void ReportBuild::SetBandsFromTempl() {
  const std::string last = BrelixGetRangeLast(templ_.UsedRange().Address());
  const int max_col = BrelixGetRangeColumn(last);
  int max_row = BrelixGetRangeRow(last);
  if (max_col == 0 || max_row == 0) return;
  platform::DataSet* dataset = report_.DataSet();
  if (dataset && !dataset->Active()) dataset->Open();

  TBrelixFieldParser parser(report_.FieldSign());
  int first_data = 0, last_data = 0, totals_row = 0, last_non_empty = 0, empty_rows = 0;
  for (int row = 1; row <= max_row; ++row) {
    bool non_empty = false;
    int empty_cells = 0;
    for (int col = 1; col <= max_col && empty_cells < 5; ++col) {
      const std::string text = templ_.GetRange(row, col, row, col).Formula();
      if (text.empty()) {
        ++empty_cells;
        continue;
      }
      non_empty = true;
      empty_cells = 0;
      if (!dataset) continue;
      parser.SetFieldString(text);
      bool decided = false;
      for (int i = 0; i < parser.Count() && !decided; ++i) {
        if (!IsFieldOfDataSet(parser.Fields(i))) continue;
        decided = true;
        if (parser.Funcs(i) != ffNone) {
          totals_row = row;
        } else {
          if (first_data == 0) first_data = row;
          last_data = row;
        }
      }
      if (decided) break;
    }
    if (non_empty) {
      empty_rows = 0;
      last_non_empty = row;
    } else {
      ++empty_rows;
    }
    if (empty_rows >= 5 || totals_row != 0) break;
  }
  if (totals_row != 0) max_row = last_non_empty;
  if (last_non_empty == 0) return;

  TBrelixBands& bands = report_.Bands();
  auto add = [&](TBrelixBandType type, int top, int bottom) {
    bands.AddBand(type).SetRange(BrelixGetRange(top, 1) + ":" + BrelixGetRange(bottom, max_col));
  };
  if (!dataset) {
    add(brxbtTitle, 1, last_non_empty);
    return;
  }
  const int n = max_row;
  int title_end = 0;
  if (first_data != 0) title_end = first_data - 1;
  else if (totals_row == 0) title_end = n;
  else if (totals_row > 1) title_end = totals_row - 1;
  if (title_end > 0) add(brxbtTitle, 1, title_end);
  if (first_data != 0) add(brxbtMasterData, first_data, last_data);
  int summary_start = 0;
  if (first_data != 0 && last_data < n) summary_start = last_data + 1;
  else if (totals_row != 0) summary_start = totals_row;
  if (summary_start != 0) add(brxbtSummary, summary_start, n);
}

void ReportBuild::InitBandVars() {
  TBrelixBands& bands = report_.Bands();
  groups_.clear();
  for (int i = 0; i < bands.Count(); ++i) {
    auto* header = dynamic_cast<TBrelixGroupHeaderBand*>(&bands.Items(i));
    if (!header || header->BandType() != brxbtGroupHeader) continue;
    TBrelixGroupFooterBand* footer = header->Footer();
    const bool footer_used = footer && !platform::Trim(footer->Range()).empty();
    if (platform::Trim(header->Range()).empty() && !footer_used) continue;
    groups_.push_back({header, {}, footer});
  }
  master_ = bands.GetNotEmptyBand(brxbtMasterData);
  detail_header_ = bands.GetNotEmptyBand(brxbtDetailHeader);
  detail_footer_ = bands.GetNotEmptyBand(brxbtDetailFooter);
  detail_data_ = bands.GetNotEmptyBand(brxbtDetailData);
  platform::DataSet* detail = nullptr;
  for (const TBrelixBand* band : {detail_header_, detail_footer_, detail_data_})
    if (!detail && band) detail = report_.FindDetailDataSetInTempl(band->Range());
  report_.SetDetailDataSet(detail);
}

// ---- data navigation ------------------------------------------------------------------------

void ReportBuild::ResetData() {
  if (platform::DataSet* dataset = report_.DataSet()) dataset->First();
  else if (report_.OnDataFirst) report_.OnDataFirst(report_);
}

void ReportBuild::NextData() {
  if (platform::DataSet* dataset = report_.DataSet()) dataset->Next();
  else if (report_.OnDataNext) report_.OnDataNext(report_);
}

void ReportBuild::PriorData() {
  if (platform::DataSet* dataset = report_.DataSet()) dataset->Prior();
  else if (report_.OnDataPrior) report_.OnDataPrior(report_);
}

bool ReportBuild::IsData() {
  if (platform::DataSet* dataset = report_.DataSet()) return !dataset->Eof();
  if (!report_.OnDataEof || !report_.OnDataNext || !report_.OnDataPrior) return false;
  bool eof = true;
  report_.OnDataEof(report_, eof);
  return !eof;
}

// ---- the walk ---------------------------------------------------------------------------------

void ReportBuild::OutputBand(const TBrelixBand* band, const TBrelixBand* second) {
  if (!band || platform::Trim(band->Range()).empty()) return;
  const int first_row = band->RangeTop();
  const int first_col = band->RangeLeft();
  const int rows = band->RangeBottom() - first_row + 1;
  const int cols = band->RangeRight() - first_col + 1;
  if (first_row_ + buffered_ + rows > BrelixMaxRow) throw EBrelixError(MsgBrelix6);
  copy_manager_->AddBand(*band, second);
  for (int i = 0; i < rows; ++i) WriteRowValues(*band, second, next_row_ + i, cols, first_row + i, first_col);
  parser_->SetOutputRow(*band, second, next_row_);
  next_row_ += rows;
  const TBrelixBandType type = band->BandType();
  if (type == brxbtDetailFooter || type == brxbtGroupFooter || type == brxbtSummary)
    parser_->ResetAccumulation(*band, second);
}

void ReportBuild::OutputData() {
  OutputBand(master_, nullptr);
  parser_->Accumulate(xatMaster);
  platform::DataSet* detail = report_.DetailDataSet();
  if (!detail) return;
  if (!detail->Active()) detail->Open();
  detail->First();
  if (detail->Eof()) return;
  OutputBand(detail_header_, nullptr);
  while (!detail->Eof()) {
    OutputBand(detail_data_, nullptr);
    if (BrelixSplIsStop()) return;
    ShowRowCount();
    parser_->Accumulate(xatDetail);
    detail->Next();
  }
  OutputBand(detail_footer_, nullptr);
}

void ReportBuild::OutputGroupHeaders(std::size_t level) {
  for (std::size_t i = level; i < groups_.size(); ++i) {
    groups_[i].value = groups_[i].header->CalcGroupExpr();
    OutputBand(groups_[i].header, nullptr);
  }
  OutputData();
  NextData();
}

void ReportBuild::OutputGroupFooters(std::size_t level) {
  for (std::size_t i = groups_.size(); i-- > level;)
    if (groups_[i].footer) OutputBand(groups_[i].footer, groups_[i].header);
}

bool ReportBuild::GroupChanged(GroupEntry& entry) {
  const std::string value = entry.header->CalcGroupExpr();
  if (entry.header->CaseInsensitiveCompare()) return !platform::SameText(value, entry.value);
  return value != entry.value;
}

void ReportBuild::OutputRecord() {
  for (std::size_t level = 0; level < groups_.size(); ++level) {
    if (!GroupChanged(groups_[level])) continue;
    PriorData();
    OutputGroupFooters(level);
    NextData();
    OutputGroupHeaders(level);
    return;
  }
  OutputData();
  NextData();
}

bool ReportBuild::OutputReport() {
  TBrelixBands& bands = report_.Bands();
  OutputBand(bands.GetNotEmptyBand(brxbtTitle), nullptr);
  if (BrelixSplIsStop()) return false;
  ResetData();
  if (IsData()) {
    OutputGroupHeaders(0);
    if (BrelixSplIsStop()) return false;
    while (IsData()) {
      OutputRecord();
      if (BrelixSplIsStop()) return false;
      ShowRowCount();
    }
    OutputGroupFooters(0);
    if (BrelixSplIsStop()) return false;
  }
  OutputBand(bands.GetNotEmptyBand(brxbtSummary), nullptr);
  if (!BrelixSplIsStop()) WriteBufToSheet();
  return !BrelixSplIsStop();
}

// ---- the row buffer ---------------------------------------------------------------------------

void ReportBuild::WriteRowValues(const TBrelixBand& band, const TBrelixBand* second, int report_row, int band_cols,
                                 int templ_row, int first_templ_col) {
  if (buffered_ == kBufferRows) WriteBufToSheet();
  if (BrelixSplIsStop()) return;
  const auto r = static_cast<std::size_t>(buffered_++);
  std::vector<Variant>& row = values_[r];
  auto& mutable_band = const_cast<TBrelixBand&>(band);
  for (int c = 1; c <= col_count_; ++c) {
    Variant value;
    if (c <= band_cols) {
      std::string text = parser_->GetValue(band, second, templ_row, first_templ_col + c - 1, report_row);
      if (!text.empty()) value = Variant(std::move(text));
    }
    if (report_.OnSetCellValue) {
      report_.OnSetCellValue(report_, mutable_band, templ_row, report_row, c, value);
      if (value.type() == Variant::Type::String && value.AsString().empty()) value = Variant();
    }
    row[static_cast<std::size_t>(c - 1)] = std::move(value);
  }
  row_origin_[r] = {&band, templ_row};
}

void ReportBuild::WriteBufToSheet() {
  if (buffered_ == 0) return;
  if (first_row_ + buffered_ > BrelixMaxRow) throw EBrelixError(MsgBrelix6);
  BrelixSplSetRecCount(next_row_ - 1);
  BrelixSplSetStatus(SplStatusCopying);
  copy_manager_->Output();
  BrelixSplSetRecCount(next_row_ - 1);
  if (BrelixSplIsStop()) return;

  const int last_row = first_row_ + buffered_ - 1;
  BrelixSplSetStatus(SplStatusWriting);
  if (col_count_ > 0) {
    try {
      sheet_.GetRange(first_row_, 1, last_row, col_count_).SetFormulaLocalArray(values_);
    } catch (const platform::Exception& e) {
      throw EBrelixError(BrelixFormat(MsgBrelix4, e.Message()));
    }
  }
  BrelixSplSetRecCount(next_row_ - 1);
  if (BrelixSplIsStop()) return;

  if (report_.OnFormatCell) {
    // The handler sees each value as text; values that are texts already are passed as they are.
    const Variant empty_text{std::string()};
    Variant converted;
    for (int r = 0; r < buffered_; ++r) {
      const auto [band, templ_row] = row_origin_[static_cast<std::size_t>(r)];
      const std::vector<Variant>& row = values_[static_cast<std::size_t>(r)];
      for (int c = 1; c <= col_count_; ++c) {
        const Variant& value = row[static_cast<std::size_t>(c - 1)];
        const Variant* text = &value;
        if (value.IsEmpty()) {
          text = &empty_text;
        } else if (value.type() != Variant::Type::String) {
          converted = Variant(value.ToString());
          text = &converted;
        }
        report_.OnFormatCell(report_, const_cast<TBrelixBand&>(*band), templ_row, first_row_ + r, c, sheet_, *text);
      }
    }
  }
  first_row_ += buffered_;
  buffered_ = 0;
  BrelixSplSetStatus(SplStatusWork);
  BrelixSplSetRecCount(next_row_ - 1);
}

void ReportBuild::ShowRowCount() {
  const int block = (next_row_ - 1) / kProgressStep;
  if (block <= progress_block_) return;
  progress_block_ = block;
  BrelixSplSetRecCount(next_row_ - 1);
}

void ReportBuild::GetUserFieldValue(platform::Persistent&, const std::string& name, Variant& value) {
  value = Variant();
  if (const TBrelixField* field = report_.Dictionary().FindField(name)) {
    value = Variant(field->ValueAsString());
    return;
  }
  if (report_.OnGetFieldValue) report_.OnGetFieldValue(report_, name, value);
  if (value.IsEmpty()) throw EBrelixError(BrelixFormat(MsgBrelix5, name));
}

// The position of the last sheet of that name (without regard to case); 0 for none.
int FindSheetPosition(automation::Workbook& book, const std::string& name) {
  if (name.empty()) return 0;
  for (int i = book.WorksheetCount(); i >= 1; --i)
    if (platform::SameText(book.Worksheets(i).Name(), name)) return i;
  return 0;
}

// The position of the report's template sheet: the last sheet named TemplSheet, else 1.
int FindTemplSheet(const TBrelix& report, automation::Workbook& book) {
  const int position = FindSheetPosition(book, report.TemplSheet());
  return position > 0 ? position : 1;
}

// Removes a file the run made, if it is there; a file that cannot be removed stays.
void RemoveQuietly(const std::string& file) {
  std::error_code ignored;
  fs::remove(file, ignored);
}

// The name of the working copy in the temporary folder.
std::string WorkingCopyName(TBrelix& report, bool has_report_file) {
  if (has_report_file || !report.OnGetReportFileName) return BrelixGetTempFName();
  std::string name;
  report.OnGetReportFileName(report, name);
  name = std::string(platform::Trim(name));
  if (name.empty()) return BrelixGetTempFName();
  if (fs::path(name).extension().empty() && name.back() != '.') name += ".xlsx";
  return BrelixGetTempDir() + name;
}

// Runs cleanup when the scope ends, normally or by an exception.
template <class F>
class Finally {
 public:
  explicit Finally(F f) : f_(std::move(f)) {}
  ~Finally() { f_(); }
  Finally(const Finally&) = delete;
  Finally& operator=(const Finally&) = delete;

 private:
  F f_;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// TBrelix: the run

std::string TBrelix::GetTemplateFileName() {
  try {
    if (store_in_dfm_) return SaveStoredTemplateToTmpFile();
    return ResolveFileName(template_);
  } catch (const std::exception& e) {
    RaiseError(MessageOf(e));
  }
  return {};
}

void TBrelix::Show(const std::string& report_file_name) { ShowOnTemplate(GetTemplateFileName(), report_file_name); }

// Builds this report on its template sheet and the report sheet at the same position; the
// report workbook is made by make_report_book when it does not exist yet.
void TBrelix::BuildPaired(automation::Workbook& template_book, automation::Workbook& report_book, int position) {
  automation::Worksheet& report_sheet = report_book.Worksheets(position);
  report_sheet.Activate();
  automation::Worksheet& templ_sheet = template_book.Worksheets(position);
  SetWorksheets(&templ_sheet, &report_sheet);
  if (dataset_) {
    dataset_->Open();
    dataset_->First();
  }
  ReportBuild build(*this, templ_sheet, report_sheet);
  build.MakeReport();
  if (OnAfterBuild) OnAfterBuild(*this, report_sheet, build.RowCount(), build.ColCount());
}

void TBrelix::CheckSubReportChain() const {
  std::set<const TBrelix*> seen = {this};
  for (const TBrelix* r = sub_report_; r; r = r->sub_report_)
    if (!seen.insert(r).second) throw EBrelixError(BrelixFormat(MsgSubReportCycle, Name(), r->Name()));
}

void TBrelix::ShowOnTemplate(const std::string& template_file_name, const std::string& report_file_name) {
  const std::string report_file = ResolveFileName(report_file_name);
  std::unique_ptr<automation::Application> app;
  automation::Workbook* report_book = nullptr;
  std::string working_copy;
  Finally release([this] { SetWorksheets(nullptr, nullptr); });
  try {
    CheckSubReportChain();
    const std::string templ(platform::Trim(template_file_name));
    if (templ.empty() || !fs::is_regular_file(templ)) throw EBrelixError(BrelixFormat(MsgBrelix2, template_file_name));
    working_copy = WorkingCopyName(*this, !report_file.empty());
    try {
      platform::CopyFile(templ, working_copy);
    } catch (const platform::Exception&) {
      throw EBrelixError(BrelixFormat(MsgBrelix3, working_copy));
    }
    try {
      app = automation::CreateApplication();
    } catch (const std::exception& e) {
      throw EBrelixError(BrelixFormat(MsgBrelix8, MessageOf(e)));
    }
    app->SetInteractive(false);
    {
      Finally interactive([&] { app->SetInteractive(true); });
      automation::Workbook* template_book = nullptr;
      try {
        template_book = &app->Open(templ, {.read_only = true});
      } catch (const std::exception& e) {
        throw EBrelixError(BrelixFormat(MsgBrelix10, templ, MessageOf(e)));
      }
      Finally close_template([&] {
        template_book->Close(false);
        if (store_in_dfm_ && platform::SameText(fs::path(templ).extension().string(), ".TMP")) RemoveQuietly(templ);
      });
      const int position = FindTemplSheet(*this, *template_book);
      ClearFieldDataSetCache();
      if (OnBeforeBuild) OnBeforeBuild(*this);
      report_book = &app->AddFromTemplate(working_copy);
      BuildPaired(*template_book, *report_book, position);
      if (sub_report_) sub_report_->BuildSheet(*template_book, *report_book);
    }
    if (!report_file.empty()) {
      report_book->Close(true, report_file);
      report_book = nullptr;
      app->Quit();
      report_file_ = report_file;
      // The report lives under its own name now; its working copy has served its purpose.
      RemoveQuietly(working_copy);
    } else {
      app->SetUserControl(true);
      app->SetVisible(true);
      report_file_ = report_book->FullName();
    }
  } catch (const std::exception& e) {
    const std::string message = MessageOf(e);
    report_file_.clear();
    if (app) {
      if (options_.Contains(brxoVisibleWhenError)) {
        try {
          app->SetUserControl(true);
          app->SetVisible(true);
          if (report_book) report_file_ = report_book->FullName();
        } catch (const std::exception&) {
          // The partial report cannot be kept; the failure that got here is the one to report.
        }
      } else {
        if (report_book) report_book->Close(false);
        app->Quit();
      }
    }
    if (report_file_.empty() && !working_copy.empty()) RemoveQuietly(working_copy);
    RaiseError(message);
  }
}

void TBrelix::BuildSheet(automation::Workbook& template_book, automation::Workbook& report_book) {
  Finally release([this] { SetWorksheets(nullptr, nullptr); });
  try {
    const int position = FindTemplSheet(*this, template_book);
    ClearFieldDataSetCache();
    if (OnBeforeBuild) OnBeforeBuild(*this);
    BuildPaired(template_book, report_book, position);
    if (sub_report_) sub_report_->BuildSheet(template_book, report_book);
  } catch (const std::exception& e) {
    RaiseError(MessageOf(e));
  }
}

void TBrelix::EditTemplate() {
  const std::string file = GetTemplateFileName();
  if (platform::Trim(file).empty() || !fs::is_regular_file(file)) throw EBrelixError(BrelixFormat(MsgBrelix2, file));
  std::unique_ptr<automation::Application> app;
  try {
    app = automation::CreateApplication();
  } catch (const std::exception& e) {
    throw EBrelixError(BrelixFormat(MsgBrelix8, MessageOf(e)));
  }
  automation::Workbook& book = app->Open(file, {.read_only = false});
  Finally show([&] {
    try {
      app->SetVisible(true);
    } catch (const std::exception&) {
      // Showing is the last step; a failure to show leaves the file as it is.
    }
  });
  if (const int position = FindSheetPosition(book, templ_sheet_)) book.Worksheets(position).Activate();
}

}  // namespace brelix
