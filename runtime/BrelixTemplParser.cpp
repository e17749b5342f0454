#include "runtime/BrelixTemplParser.h"

#include <algorithm>

#include "platform/locale.h"
#include "platform/text.h"
#include "runtime/Brelix.h"
#include "runtime/BrelixAutomation.h"
#include "runtime/BrelixBand.h"
#include "runtime/BrelixConsts.h"

namespace brelix {

namespace {

// At most this many arguments stand in one function call, and this many groups in a formula.
constexpr std::size_t kMaxArgs = 30;
// Longer formula texts are not written; the value is written instead.
constexpr std::size_t kMaxFormulaLength = 1023;
// Stands for a function name in the argument groups until the name is known.
constexpr std::string_view kFuncPlaceholder = "####";

// The English spreadsheet function of each total function, by ordinal.
const char* const kEnglishFuncNames[] = {"", "SUM", "AVERAGE", "MAX", "MIN", "COUNT"};

std::string Join(const std::vector<std::string>& items, char separator) {
  std::string text;
  for (const std::string& item : items) {
    if (!text.empty()) text += separator;
    text += item;
  }
  return text;
}

std::string ReplaceAll(std::string text, std::string_view from, const std::string& to) {
  for (std::size_t p = text.find(from); p != std::string::npos; p = text.find(from, p + to.size()))
    text.replace(p, from.size(), to);
  return text;
}

std::string Call(std::string_view name, const std::string& arguments) {
  return std::string(name) + "(" + arguments + ")";
}

// The arguments in calls of 30 each, the function of each call a placeholder, joined by the
// separator; empty when more than 30 calls would be needed.
std::string ArgumentGroups(const std::vector<std::string>& args, char separator) {
  std::vector<std::string> groups;
  for (std::size_t g = 0; g < args.size(); g += kMaxArgs) {
    const auto first = args.begin() + static_cast<std::ptrdiff_t>(g);
    const auto last = args.begin() + static_cast<std::ptrdiff_t>(std::min(args.size(), g + kMaxArgs));
    groups.push_back(Call(kFuncPlaceholder, Join(std::vector<std::string>(first, last), separator)));
  }
  return groups.size() > kMaxArgs ? std::string() : Join(groups, separator);
}

// The function that a formula over cells holding cell_func uses for a total of total_func;
// ffNone when no formula can serve (an average is never built from inner totals).
TBrelixFieldFunc CombineFuncs(TBrelixFieldFunc cell_func, TBrelixFieldFunc total_func) {
  if (cell_func == ffNone) return total_func;
  if (cell_func == ffCnt && total_func == ffCnt) return ffSum;  // counts of inner groups add up
  if (total_func == ffAvg || cell_func != total_func) return ffNone;
  return total_func;
}

bool IsTotalBandType(TBrelixBandType type) {
  return type == brxbtDetailFooter || type == brxbtGroupFooter || type == brxbtSummary;
}

bool IsDetailBandType(TBrelixBandType type) { return type == brxbtDetailData || type == brxbtDetailFooter; }

// True when the cell holds exactly one field and no literal text around it.
bool IsLoneField(const TBrelixCellParser& cell) {
  if (cell.Count() != 1) return false;
  for (int i = 0; i < cell.TextCount(); ++i)
    if (!cell.Texts(i).empty()) return false;
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TBrelixAccField

TBrelixAccField::TBrelixAccField(TBrelixBandInfo& band_info, TBrelixAccType acc_type, std::string field_name,
                                 platform::DataSet* dataset, TBrelixFieldFunc func)
    : band_info_(band_info), acc_type_(acc_type), field_name_(std::move(field_name)), dataset_(dataset), func_(func) {}

void TBrelixAccField::SetFormulaSource(TBrelixBandInfo& source, TBrelixFieldFunc func, int row_offset, int column) {
  formula_source_ = &source;
  formula_func_ = func;
  row_offset_ = row_offset;
  column_ = column;
}

double TBrelixAccField::CurrentValue() {
  if (dataset_) return dataset_->FieldByName(field_name_).AsFloat();
  platform::Variant value;
  band_info_.Parser().GetFieldValue(*this, field_name_, value);
  return value.ToDouble();
}

void TBrelixAccField::Accumulate() {
  const std::int32_t n = acc_type_ == xatDetail ? band_info_.DetailCount() : band_info_.MasterCount();
  const double v = func_ == ffCnt ? 0 : CurrentValue();
  switch (func_) {
    case ffSum: value_ += v; break;
    case ffAvg: value_ = (v + (n - 1) * value_) / n; break;  // running mean
    case ffMax:
      if (value_ < v || n == 1) value_ = v;
      break;
    case ffMin:
      if (value_ > v || n == 1) value_ = v;
      break;
    case ffCnt: value_ = n; break;
    case ffNone: break;
  }
}

std::string TBrelixAccField::GetValue() const {
  if (formula_source_) {
    std::string formula = formula_source_->GetBandRangeFormula(row_offset_, column_, formula_func_, row_index_, skip_);
    if (!formula.empty()) return formula;
  }
  return platform::FormatFloat(static_cast<double>(value_));
}

void TBrelixAccField::ResetAccumulation() {
  if (formula_source_ && !formula_source_->RowIntervals().empty()) {
    const auto& intervals = formula_source_->RowIntervals();
    row_index_ = static_cast<int>(intervals.size()) - 1;
    skip_ = intervals.back().further + 1;  // also outputs that later extend this run stay out
  }
  value_ = 0;
}

// ---------------------------------------------------------------------------------------------
// TBrelixCellParser

TBrelixCellParser::TBrelixCellParser(TBrelixBandInfo& band_info, const TBrelixFieldParser& field_parser, int row,
                                     int col)
    : TBrelixFieldParser(band_info.Parser().Owner().FieldSign()), band_info_(band_info), col_(col), row_(row) {
  Assign(field_parser);
}

void TBrelixCellParser::Assign(const TBrelixFieldParser& source) {
  TBrelixFieldParser::Assign(source);
  if (const auto* cell = dynamic_cast<const TBrelixCellParser*>(&source)) {
    datasets_ = cell->datasets_;
    field_acc_types_ = cell->field_acc_types_;
    acc_types_ = cell->acc_types_;
    row_ = cell->row_;
    col_ = cell->col_;
  } else {
    LoadFieldAndAccTypes();
  }
}

void TBrelixCellParser::SetFieldString(std::string_view text) {
  TBrelixFieldParser::SetFieldString(text);
  LoadFieldAndAccTypes();
}

std::string TBrelixCellParser::GetDSFieldName(int index) const {
  const std::string& name = Fields(index);
  if (!GetDataSet(index)) return name;
  const std::size_t dot = name.rfind('.');
  return platform::Trim(dot == std::string::npos ? std::string_view(name) : std::string_view(name).substr(dot + 1));
}

void TBrelixCellParser::LoadFieldAndAccTypes() {
  TBrelix& report = band_info_.Parser().Owner();
  const bool total_band = band_info_.IsTotalBand();
  const bool detail_band = band_info_.IsDetailBand();
  datasets_.assign(static_cast<std::size_t>(Count()), nullptr);
  field_acc_types_.assign(static_cast<std::size_t>(Count()), -1);
  acc_types_ = {};
  for (int i = 0; i < Count(); ++i) {
    platform::DataSet* dataset = report.FindFieldDataSet(Fields(i));
    datasets_[static_cast<std::size_t>(i)] = dataset;
    if (Funcs(i) == ffNone) continue;
    if (!total_band) {
      SetFunc(i, ffNone);  // a total outside a total band is output as a plain value
      continue;
    }
    // A user field has no dataset: comparing it with a missing DetailDataSet must not make
    // every such total a detail total, which would never advance in a report without details.
    const bool of_detail_dataset = dataset && dataset == report.DetailDataSet();
    const TBrelixAccType acc_type =
        of_detail_dataset || detail_band || band_info_.Parser().FindFieldInDetailData(dataset, Fields(i))
            ? xatDetail
            : xatMaster;
    field_acc_types_[static_cast<std::size_t>(i)] = acc_type;
    acc_types_.Include(acc_type);
  }
}

std::string TBrelixCellParser::GetCellValue(int output_row) {
  output_row_ = output_row;
  return GetResultString();
}

std::string TBrelixCellParser::GetValue(int index) {
  if (Funcs(index) != ffNone) {
    const auto acc_type = static_cast<TBrelixAccType>(FieldAccType(index));
    // A total inside plain text ("Total: #SUM(Amount)") is written as its value: a formula
    // text there would be shown as text. Lone totals and totals inside formulas may be formulas.
    const bool formula_allowed = IsLoneField(*this) || platform::Trim(Texts(0)).starts_with('=');
    if (!formula_allowed) {
      if (const TBrelixAccField* field = band_info_.FindAccField(GetDSFieldName(index), GetDataSet(index), Funcs(index), acc_type))
        return platform::FormatFloat(static_cast<double>(field->Value()));
    }
    return band_info_.GetAccFieldValue(GetDSFieldName(index), GetDataSet(index), Funcs(index), acc_type);
  }
  if (platform::DataSet* dataset = GetDataSet(index)) return dataset->FieldByName(GetDSFieldName(index)).AsString();
  platform::Variant value;
  band_info_.Parser().GetFieldValue(*this, Fields(index), value);
  return value.ToString();
}

std::string TBrelixCellParser::GetResultString() {
  const int row_shift = output_row_ - row_;
  const char sign = FieldSign();
  std::string result;
  for (int i = 0; i < Count(); ++i) {
    result += BrelixRenewCellReferences(Texts(i), row_shift, 0, sign);
    result += GetValue(i);
  }
  result += BrelixRenewCellReferences(Texts(Count()), row_shift, 0, sign);
  // A cell holding only a total: a formula text such as SUM(C5:C9) becomes a formula, a number
  // (also a negative one, which then is written as "=-5") stays as it is typed.
  if (IsLoneField(*this) && Funcs(0) != ffNone) {
    const std::string trimmed = platform::Trim(result);
    const char first = trimmed.empty() ? '0' : trimmed[0];
    if (!(first >= '0' && first <= '9') && first != platform::CurrentLocale().decimal_separator)
      result.insert(0, "=");
  }
  return result;
}

// ---------------------------------------------------------------------------------------------
// TBrelixBandInfo

TBrelixBandInfo::TBrelixBandInfo(TBrelixTemplParser& parser, const TBrelixBand& band, const TBrelixBand* header_band,
                                 int index)
    : row_count_(0), index_(index), band_(band), parser_(parser), header_band_(header_band) {
  const std::string& range = band.Range();
  const std::string name = band.DisplayName();
  if (platform::Trim(range).empty())
    throw EBrelixTemplParserError(BrelixFormat(BrelixConsts::MsgTPrsEmptyRange, name));
  const std::string first = BrelixGetRangeFirst(range);
  const std::string last = BrelixGetRangeLast(range);
  int areas = 0;
  try {
    areas = parser.Sheet().GetRange(first + ":" + last).AreasCount();
  } catch (const automation::EAutomationError& e) {
    throw EBrelixError(BrelixFormat(BrelixConsts::MsgTPrsBadRange, name, range) + "\r\n" + e.what());
  }
  if (areas != 1) throw EBrelixError(BrelixFormat(BrelixConsts::MsgTPrsMultyAreaRange, name, range, areas));
  const int c1 = BrelixGetRangeColumn(first), r1 = BrelixGetRangeRow(first);
  const int c2 = BrelixGetRangeColumn(last), r2 = BrelixGetRangeRow(last);
  if (c1 > c2 || r1 > r2) throw EBrelixError(BrelixFormat(BrelixConsts::MsgTPrsBadRange, name, range));
  row_count_ = r2 - r1 + 1;
  col_count_ = c2 - c1 + 1;
  ReadCells(r1, c1, r2, c2);
}

TBrelixBandInfo::~TBrelixBandInfo() = default;

void TBrelixBandInfo::ReadCells(int r1, int c1, int r2, int c2) {
  const char sign = parser_.Owner().FieldSign();
  TBrelixFieldParser field_parser(sign);
  for (int r = r1; r <= r2; ++r) {
    for (int c = c1; c <= c2; ++c) {
      std::string text = parser_.Sheet().GetRange(r, c, r, c).FormulaLocal();
      // The band's first column is written to report column 1.
      if (c1 != 1) text = BrelixRenewCellReferences(text, 0, 1 - c1, sign);
      field_parser.SetFieldString(text);
      AddCell(field_parser, r, c);
    }
  }
}

void TBrelixBandInfo::AddCell(TBrelixFieldParser& field_parser, int row, int col) {
  if (field_parser.Count() == 0) {
    AddCellStrValue(field_parser.GetResultString(), row, col);
    return;
  }
  auto cell = std::make_unique<TBrelixCellParser>(*this, field_parser, row, col);
  TBrelixCellParser& added = *cell;
  cell_index_[Key(row, col)] = cell_parsers_.size();
  cell_parsers_.push_back(std::move(cell));
  if (!added.AccTypes().Empty()) {
    acc_types_ |= added.AccTypes();
    AddAccFields(added);
  }
}

bool TBrelixBandInfo::IsTotalBand() const { return IsTotalBandType(band_.BandType()); }

bool TBrelixBandInfo::IsDetailBand() const { return IsDetailBandType(band_.BandType()); }

bool TBrelixBandInfo::IsDataBandOf(TBrelixAccType acc_type) const {
  return band_.BandType() == (acc_type == xatMaster ? brxbtMasterData : brxbtDetailData);
}

std::string TBrelixBandInfo::GetValue(int row, int col, int output_row) {
  const std::uint32_t key = Key(row, col);
  if (auto it = const_index_.find(key); it != const_index_.end())
    return BrelixRenewCellReferences(constants_[it->second].text, output_row - row, 0, parser_.Owner().FieldSign());
  if (auto it = cell_index_.find(key); it != cell_index_.end())
    return cell_parsers_[it->second]->GetCellValue(output_row);
  throw EBrelixTemplParserError(BrelixFormat(BrelixConsts::MsgTPrsNoCell, row, col));
}

bool TBrelixBandInfo::GetHasFields(int row, int col) const { return cell_index_.contains(Key(row, col)); }

void TBrelixBandInfo::AddCellStrValue(std::string text, int row, int col) {
  const_index_[Key(row, col)] = constants_.size();
  constants_.push_back({row, col, std::move(text)});
}

void TBrelixBandInfo::SetRowInterval(int row) {
  if (!row_intervals_.empty()) {
    RowInterval& last = row_intervals_.back();
    if (row == last.start + last.further + 1) {
      ++last.further;
      return;
    }
  }
  row_intervals_.push_back({row, 0});
}

void TBrelixBandInfo::Accumulate(TBrelixAccType acc_type) {
  ++(acc_type == xatDetail ? detail_count_ : master_count_);
  if (!acc_types_.Contains(acc_type)) return;
  for (const auto& field : acc_fields_)
    if (field->AccType() == acc_type) field->Accumulate();
}

void TBrelixBandInfo::ResetAccumulation() {
  master_count_ = 0;
  detail_count_ = 0;
  if (acc_types_.Empty()) return;
  for (const auto& field : acc_fields_) field->ResetAccumulation();
}

void TBrelixBandInfo::AddAccFields(TBrelixCellParser& cell) {
  const bool as_formula = parser_.Owner().Options().Contains(brxoTotalsAsFormula);
  for (int i = 0; i < cell.Count(); ++i) {
    if (cell.FieldAccType(i) < 0) continue;
    const std::string name = cell.GetDSFieldName(i);
    platform::DataSet* dataset = cell.GetDataSet(i);
    const TBrelixFieldFunc func = cell.Funcs(i);
    const auto acc_type = static_cast<TBrelixAccType>(cell.FieldAccType(i));
    if (FindAccField(name, dataset, func, acc_type)) continue;
    auto& field = *acc_fields_.emplace_back(std::make_unique<TBrelixAccField>(*this, acc_type, name, dataset, func));
    TBrelixTemplParser::SumSource source;
    if (as_formula && parser_.FindDetailForSumFields(name, dataset, index_, acc_type, func, source)) {
      const TBrelixBand& inner = source.band_info->Band();
      field.SetFormulaSource(*source.band_info, source.formula_func, source.cell->Row() - inner.RangeTop(),
                             source.cell->Col() - inner.RangeLeft() + 1);
    }
  }
}

TBrelixAccField* TBrelixBandInfo::FindAccField(std::string_view name, const platform::DataSet* dataset, TBrelixFieldFunc func,
                                               TBrelixAccType) const {
  for (const auto& field : acc_fields_)
    if (field->DataSet() == dataset && field->Func() == func && platform::SameText(field->FieldName(), name))
      return field.get();
  return nullptr;
}

std::string TBrelixBandInfo::GetAccFieldValue(std::string_view name, const platform::DataSet* dataset, TBrelixFieldFunc func,
                                              TBrelixAccType acc_type) const {
  const TBrelixAccField* field = FindAccField(name, dataset, func, acc_type);
  if (!field) throw EBrelixError(BrelixFormat(BrelixConsts::MsgTPrsInternalNoField, name));
  return field->GetValue();
}

std::vector<std::string> TBrelixBandInfo::FormulaArguments(int row_offset, int col, int row_idx, int skip) const {
  std::vector<std::string> args;
  for (std::size_t i = static_cast<std::size_t>(row_idx); i < row_intervals_.size(); ++i) {
    int start = row_intervals_[i].start;
    int further = row_intervals_[i].further;
    if (i == static_cast<std::size_t>(row_idx)) {
      if (skip > further) continue;
      start += skip * row_count_;
      further -= skip;
    }
    args.push_back(BrelixGetRange(start + row_offset, col));
    if (further > 0 && row_count_ == 1) {
      args.back() += ":" + BrelixGetRange(start + further, col);  // a run of a one-row band
    } else {
      for (int k = 1; k <= further; ++k) args.push_back(BrelixGetRange(start + k * row_count_ + row_offset, col));
    }
  }
  return args;
}

std::string TBrelixBandInfo::GetBandRangeFormula(int row_offset, int col, TBrelixFieldFunc func, int row_idx,
                                                 int skip) const {
  if (row_intervals_.empty()) return {};
  platform::Assert(row_idx >= 0 && static_cast<std::size_t>(row_idx) < row_intervals_.size(), BrelixConsts::AssTP0);
  const std::vector<std::string> args = FormulaArguments(row_offset, col, row_idx, skip);
  // No output since the last reset: an empty call is no formula, the value is written instead.
  if (args.empty()) return {};

  const char separator = platform::CurrentLocale().list_separator;
  std::string formula;
  if (args.size() <= kMaxArgs) {
    formula = Call(parser_.GetFuncName(func), Join(args, separator));
  } else {
    const std::string outer = ArgumentGroups(args, separator);
    if (outer.empty()) return {};
    const std::string sum = parser_.GetFuncName(ffSum);
    if (func == ffAvg) {
      formula = Call(sum, ReplaceAll(outer, kFuncPlaceholder, sum)) + " / " +
                Call(sum, ReplaceAll(outer, kFuncPlaceholder, parser_.GetFuncName(ffCnt)));
    } else {
      const std::string name = parser_.GetFuncName(func);
      formula = Call(func == ffCnt ? sum : name, ReplaceAll(outer, kFuncPlaceholder, name));
    }
  }
  return formula.size() > kMaxFormulaLength ? std::string() : formula;
}

// ---------------------------------------------------------------------------------------------
// TBrelixTemplParser

TBrelixTemplParser::TBrelixTemplParser(TBrelix& owner, automation::Worksheet& sheet, TBrelixValueCallback on_get_value)
    : owner_(owner), sheet_(sheet), on_get_value_(std::move(on_get_value)) {
  const TBrelixBandPairs pairs = owner_.Bands().LoadBandsInfo(true);
  AddFuncNames(BrelixGetRange(1, BrelixGetRangeColumn(pairs.MaxRightCol) + 1));
  CreateBandInfos(pairs);
}

TBrelixTemplParser::~TBrelixTemplParser() = default;

void TBrelixTemplParser::CreateBandInfos(const TBrelixBandPairs& pairs) {
  // From the innermost pair (detail data) outwards, so that a band's inner bands are parsed
  // before it and its totals can find their cells.
  for (std::size_t k = pairs.Count(); k-- > 0;) {
    const TBrelixBand* first = pairs.First[k];
    const TBrelixBand* second = pairs.Second[k];
    const int index = static_cast<int>(k);
    if (first && !platform::Trim(first->Range()).empty())
      band_infos_.push_back(std::make_unique<TBrelixBandInfo>(*this, *first, nullptr, index));
    if (second) {
      const TBrelixBand* header = second->BandType() == brxbtGroupFooter ? first : nullptr;
      band_infos_.push_back(std::make_unique<TBrelixBandInfo>(*this, *second, header, index));
    }
  }
}

void TBrelixTemplParser::GetFieldValue(platform::Persistent& sender, const std::string& name,
                                       platform::Variant& value) const {
  if (on_get_value_) on_get_value_(sender, name, value);
}

TBrelixBandInfo* TBrelixTemplParser::FindBandInfo(const TBrelixBand& band, const TBrelixBand* header_band) const {
  for (const auto& info : band_infos_)
    if (&info->Band() == &band && info->HeaderBand() == header_band) return info.get();
  return nullptr;
}

TBrelixBandInfo& TBrelixTemplParser::BandInfoOf(const TBrelixBand& band, const TBrelixBand* header_band) const {
  TBrelixBandInfo* info = FindBandInfo(band, header_band);
  if (!info) throw EBrelixTemplParserError(BrelixFormat(BrelixConsts::MsgTPrsNoBand, band.DisplayName()));
  return *info;
}

std::string TBrelixTemplParser::GetValue(const TBrelixBand& band, const TBrelixBand* header_band, int row, int col,
                                         int output_row) {
  return BandInfoOf(band, header_band).GetValue(row, col, output_row);
}

void TBrelixTemplParser::SetOutputRow(const TBrelixBand& band, const TBrelixBand* header_band, int row) {
  BandInfoOf(band, header_band).SetRowInterval(row);
}

int TBrelixTemplParser::GetMaxColumn() const {
  int columns = 0;
  for (const auto& info : band_infos_) columns = std::max(columns, info->ColCount());
  return columns;
}

bool TBrelixTemplParser::FindFieldInDetailData(const platform::DataSet* dataset, std::string_view name) const {
  for (const auto& info : band_infos_) {
    if (!info->IsDetailBand()) continue;
    const bool footer = info->Band().BandType() == brxbtDetailFooter;
    for (int c = 0; c < info->CellParserCount(); ++c) {
      const TBrelixCellParser& cell = info->CellParsers(c);
      for (int i = 0; i < cell.Count(); ++i)
        if (cell.GetDataSet(i) == dataset && (!footer || cell.Funcs(i) != ffNone) &&
            platform::SameText(cell.GetDSFieldName(i), name))
          return true;
    }
  }
  return false;
}

void TBrelixTemplParser::Accumulate(TBrelixAccType acc_type) {
  for (const auto& info : band_infos_) info->Accumulate(acc_type);
}

void TBrelixTemplParser::ResetAccumulation(const TBrelixBand& band, const TBrelixBand* header_band) {
  BandInfoOf(band, header_band).ResetAccumulation();
}

bool TBrelixTemplParser::FindDetailForSumFields(std::string_view name, const platform::DataSet* dataset, int index,
                                                TBrelixAccType acc_type, TBrelixFieldFunc func,
                                                SumSource& result) const {
  // From the outermost pair inwards; only bands inside the asking band's level qualify.
  for (auto it = band_infos_.rbegin(); it != band_infos_.rend(); ++it) {
    TBrelixBandInfo& info = **it;
    const bool total = info.IsTotalBand() && info.AccTypes().Contains(acc_type);
    const bool data = info.IsDataBandOf(acc_type);
    if (info.Index() <= index || !(total || data) || (func == ffAvg && !data)) continue;
    for (int c = 0; c < info.CellParserCount(); ++c) {
      TBrelixCellParser& cell = info.CellParsers(c);
      if (!IsLoneField(cell) || cell.GetDataSet(0) != dataset || !platform::SameText(cell.GetDSFieldName(0), name))
        continue;
      if (info.IsTotalBand() && cell.Funcs(0) == ffNone) continue;
      const TBrelixFieldFunc formula_func = CombineFuncs(cell.Funcs(0), func);
      if (formula_func == ffNone) continue;
      result = {&info, &cell, formula_func};
      return true;
    }
  }
  return false;
}

void TBrelixTemplParser::AddFuncNames(const std::string& cell) {
  const automation::Range probe = sheet_.GetRange(cell);
  probe.Clear();
  try {
    for (int f = ffSum; f <= ffCnt; ++f) {
      const std::string english = kEnglishFuncNames[f];
      probe.SetFormula("=" + english + "(A2)");
      const std::string local = probe.FormulaLocal();
      const std::size_t open = local.find('(');
      if (open != std::string::npos && open > 1) func_names_.emplace_back(english, local.substr(1, open - 1));
    }
  } catch (...) {
    try {
      probe.Clear();
    } catch (...) {  // the first failure is the one to report
    }
    throw;
  }
  probe.Clear();
}

std::string TBrelixTemplParser::GetFuncName(TBrelixFieldFunc func) const {
  if (func == ffNone) return {};
  const std::string english = func <= ffCnt ? kEnglishFuncNames[func] : "";
  for (const auto& [name, native] : func_names_)
    if (name == english) return native;
  throw EBrelixError(BrelixFormat(BrelixConsts::MsgTPrsNoFunc, english));
}

}  // namespace brelix
