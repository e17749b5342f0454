#pragma once
// The template parser: every cell of every band range of the template sheet is read once when
// a report run starts; constant cells are kept as texts, cells with fields as cell parsers. The
// output loop then asks for the text of each report cell, tells where each band landed, and
// advances the totals, which are written as spreadsheet formulas over the report cells they
// sum (in the user's language) or as their running values.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/class_info.h"
#include "platform/dataset.h"
#include "platform/errors.h"
#include "platform/variant.h"
#include "runtime/BrelixFieldParser.h"
#include "runtime/BrelixProc.h"

namespace brelix {

namespace automation {
class Worksheet;
}  // namespace automation

class TBrelix;
class TBrelixBand;
class TBrelixBandInfo;
struct TBrelixBandPairs;
class TBrelixTemplParser;

//! A band, cell or range the template parser cannot find; carries the message text.
class EBrelixTemplParserError : public platform::Exception {
 public:
  using platform::Exception::Exception;
};

//! How often a total advances: once per master record or once per detail record.
enum TBrelixAccType : std::uint8_t { xatMaster = 0, xatDetail = 1 };

//! A set of accumulation types, one bit per type.
class TBrelixAccTypes {
 public:
  constexpr TBrelixAccTypes() = default;
  constexpr bool Contains(TBrelixAccType t) const { return bits_ & Bit(t); }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr void Include(TBrelixAccType t) { bits_ |= Bit(t); }
  constexpr TBrelixAccTypes& operator|=(TBrelixAccTypes other) {
    bits_ |= other.bits_;
    return *this;
  }
  friend constexpr bool operator==(TBrelixAccTypes, TBrelixAccTypes) = default;

 private:
  static constexpr std::uint8_t Bit(TBrelixAccType t) { return static_cast<std::uint8_t>(1u << t); }
  std::uint8_t bits_ = 0;
};

//! The value callback of the template parser: (Sender, Field, out Value) for fields that belong
//! to no dataset; the handler type of TBrelixGetFieldValueEvent. The sender is the cell parser
//! or the accumulated field asking. It raises when it knows no value.
using TBrelixValueCallback = TBrelixGetFieldValueEvent::Handler;

//! One distinct total of a band: its running value, and the output cells of an inner band that
//! a formula for it can sum.
class TBrelixAccField : public platform::Persistent {
 public:
  TBrelixAccField(TBrelixBandInfo& band_info, TBrelixAccType acc_type, std::string field_name,
                  platform::DataSet* dataset, TBrelixFieldFunc func);

  TBrelixBandInfo& BandInfo() const { return band_info_; }
  TBrelixAccType AccType() const { return acc_type_; }
  //! The dataset field name, or the full name of a user field.
  const std::string& FieldName() const { return field_name_; }
  platform::DataSet* DataSet() const { return dataset_; }
  TBrelixFieldFunc Func() const { return func_; }
  TBrelixFieldFunc FormulaFunc() const { return formula_func_; }
  long double Value() const { return value_; }
  TBrelixBandInfo* FormulaSource() const { return formula_source_; }
  int RowIndex() const { return row_index_; }
  int Skip() const { return skip_; }
  int RowOffset() const { return row_offset_; }
  int Column() const { return column_; }

  //! The formula covers the outputs of source, at row_offset within that band and report column
  //! column, with func as the spreadsheet function.
  void SetFormulaSource(TBrelixBandInfo& source, TBrelixFieldFunc func, int row_offset, int column);

  //! One accumulation step: the field's current value joins the running value.
  void Accumulate();
  //! The formula text over the outputs since the last reset (no "="), or else the running value
  //! in the general number format.
  std::string GetValue() const;
  //! Value back to 0; the next formula starts after every output recorded so far.
  void ResetAccumulation();

 private:
  double CurrentValue();

  TBrelixBandInfo& band_info_;
  TBrelixAccType acc_type_;
  std::string field_name_;
  platform::DataSet* dataset_;
  TBrelixFieldFunc func_;
  TBrelixFieldFunc formula_func_ = ffNone;
  long double value_ = 0;
  TBrelixBandInfo* formula_source_ = nullptr;
  int row_index_ = 0;
  int skip_ = 0;
  int row_offset_ = 0;
  int column_ = 0;
};

//! The parsed form of one template cell that holds fields.
class TBrelixCellParser : public TBrelixFieldParser, public platform::Persistent {
 public:
  //! field_parser has already parsed the cell text at (row, col) of the template.
  TBrelixCellParser(TBrelixBandInfo& band_info, const TBrelixFieldParser& field_parser, int row, int col);

  //! The grammar's copy; from another cell parser also its datasets and accumulation types,
  //! otherwise they are looked up again.
  void Assign(const TBrelixFieldParser& source);
  using platform::Persistent::Assign;
  //! Parses the text and looks up the datasets and accumulation types of its fields.
  void SetFieldString(std::string_view text) override;

  TBrelixBandInfo& GetBandInfo() const { return band_info_; }
  int Row() const { return row_; }
  int Col() const { return col_; }
  int OutputRow() const { return output_row_; }
  TBrelixAccTypes AccTypes() const { return acc_types_; }
  //! The dataset of a field, or null for a user field.
  platform::DataSet* GetDataSet(int index) const { return datasets_.at(static_cast<std::size_t>(index)); }
  //! -1 for a field without a total, else its TBrelixAccType.
  int FieldAccType(int index) const { return field_acc_types_.at(static_cast<std::size_t>(index)); }
  //! The name to look up in the field's dataset (the text after the last full stop), or the
  //! whole name of a user field.
  std::string GetDSFieldName(int index) const;

  //! The text of the cell for an output at report row output_row.
  std::string GetCellValue(int output_row);
  //! The value text of one field: the total, the dataset field's text, or the callback's value.
  std::string GetValue(int index) override;
  //! The pieces (references moved to the output row) and values; a cell holding only a total
  //! whose value is not a number becomes a formula.
  std::string GetResultString() override;

 private:
  void LoadFieldAndAccTypes();

  TBrelixBandInfo& band_info_;
  TBrelixAccTypes acc_types_;
  int col_;
  int output_row_ = 0;
  std::vector<platform::DataSet*> datasets_;
  std::vector<int> field_acc_types_;
  int row_;
};

//! The parsed form of one band (for a group footer: of one header-and-footer combination).
class TBrelixBandInfo {
 public:
  //! A run of report rows at which the band was output: start row and further outputs.
  struct RowInterval {
    int start = 0;
    int further = 0;
    friend bool operator==(const RowInterval&, const RowInterval&) = default;
  };

  //! Reads and parses every cell of the band's range. index: position of the band's pair in
  //! the band-pair list. Throws EBrelixTemplParserError (MsgTPrsEmptyRange) for a blank range,
  //! EBrelixError (MsgTPrsBadRange, MsgTPrsMultyAreaRange) for a range that is not one
  //! rectangle written first cell first, and the errors of the cell texts and their fields.
  TBrelixBandInfo(TBrelixTemplParser& parser, const TBrelixBand& band, const TBrelixBand* header_band, int index);
  ~TBrelixBandInfo();
  TBrelixBandInfo(const TBrelixBandInfo&) = delete;
  TBrelixBandInfo& operator=(const TBrelixBandInfo&) = delete;

  TBrelixTemplParser& Parser() const { return parser_; }
  const TBrelixBand& Band() const { return band_; }
  const TBrelixBand* HeaderBand() const { return header_band_; }
  int Index() const { return index_; }
  int RowCount() const { return row_count_; }
  int ColCount() const { return col_count_; }
  TBrelixAccTypes AccTypes() const { return acc_types_; }
  const std::vector<RowInterval>& RowIntervals() const { return row_intervals_; }
  std::int32_t MasterCount() const { return master_count_; }
  std::int32_t DetailCount() const { return detail_count_; }
  int CellParserCount() const { return static_cast<int>(cell_parsers_.size()); }
  TBrelixCellParser& CellParsers(int index) const { return *cell_parsers_.at(static_cast<std::size_t>(index)); }
  int AccFieldCount() const { return static_cast<int>(acc_fields_.size()); }
  TBrelixAccField& AccFields(int index) const { return *acc_fields_.at(static_cast<std::size_t>(index)); }

  //! Detail footer, group footer or summary.
  bool IsTotalBand() const;
  //! Detail data or detail footer.
  bool IsDetailBand() const;
  //! Master data for xatMaster, detail data for xatDetail.
  bool IsDataBandOf(TBrelixAccType acc_type) const;

  //! The text for template cell (row, col) output at report row output_row. Throws
  //! EBrelixTemplParserError (MsgTPrsNoCell) for a cell outside the band.
  std::string GetValue(int row, int col, int output_row);
  //! True when the template cell holds fields.
  bool GetHasFields(int row, int col) const;
  void AddCellStrValue(std::string text, int row, int col);
  int CellStrValueCount() const { return static_cast<int>(constants_.size()); }
  const std::string& GetCellStrValue(int index) const { return constants_.at(static_cast<std::size_t>(index)).text; }

  //! Records an output of the band whose first row is report row row.
  void SetRowInterval(int row);

  void Accumulate(TBrelixAccType acc_type);
  void ResetAccumulation();
  //! Registers the totals of a cell (once per cell that has totals).
  void AddAccFields(TBrelixCellParser& cell);
  //! The total of that dataset and function whose field name equals name without regard to
  //! case; the accumulation type takes no part. Null when there is none.
  TBrelixAccField* FindAccField(std::string_view name, const platform::DataSet* dataset, TBrelixFieldFunc func,
                                TBrelixAccType acc_type) const;
  //! FindAccField's value; EBrelixError (MsgTPrsInternalNoField) when it was never registered.
  std::string GetAccFieldValue(std::string_view name, const platform::DataSet* dataset, TBrelixFieldFunc func,
                               TBrelixAccType acc_type) const;
  //! The formula text (no "=") over the outputs of this band from interval row_idx on, leaving
  //! out the first skip outputs of that interval, at row_offset within the band and report
  //! column col; empty when no formula can be built.
  std::string GetBandRangeFormula(int row_offset, int col, TBrelixFieldFunc func, int row_idx, int skip) const;

 private:
  struct ConstCell {
    int row;
    int col;
    std::string text;
  };
  static std::uint32_t Key(int row, int col) {
    return (static_cast<std::uint32_t>(row) << 16) | (static_cast<std::uint32_t>(col) & 0xFFFFu);
  }
  void ReadCells(int r1, int c1, int r2, int c2);
  //! The cell addresses (or ranges, for runs of a one-row band) a formula covers.
  std::vector<std::string> FormulaArguments(int row_offset, int col, int row_idx, int skip) const;
  void AddCell(TBrelixFieldParser& field_parser, int row, int col);

  std::vector<std::unique_ptr<TBrelixAccField>> acc_fields_;
  int row_count_;
  std::vector<std::unique_ptr<TBrelixCellParser>> cell_parsers_;
  std::vector<ConstCell> constants_;
  std::map<std::uint32_t, std::size_t> cell_index_;   //!< key -> index into cell_parsers_
  std::map<std::uint32_t, std::size_t> const_index_;  //!< key -> index into constants_
  int index_;
  int col_count_ = 0;
  TBrelixAccTypes acc_types_;
  const TBrelixBand& band_;
  TBrelixTemplParser& parser_;
  const TBrelixBand* header_band_;
  std::vector<RowInterval> row_intervals_;
  std::int32_t master_count_ = 0;
  std::int32_t detail_count_ = 0;
};

//! The parsed template of one report run. A band output is named by the pair (band, header
//! band): the linking group header for a group footer, null for every other band.
class TBrelixTemplParser {
 public:
  //! Reads the bands of owner's band collection from sheet (the template worksheet, which must
  //! outlive the parser) and learns the native function names in a probe cell right of every
  //! band. on_get_value answers user fields.
  TBrelixTemplParser(TBrelix& owner, automation::Worksheet& sheet, TBrelixValueCallback on_get_value);
  ~TBrelixTemplParser();
  TBrelixTemplParser(const TBrelixTemplParser&) = delete;
  TBrelixTemplParser& operator=(const TBrelixTemplParser&) = delete;

  TBrelix& Owner() const { return owner_; }
  automation::Worksheet& Sheet() const { return sheet_; }
  //! Calls the value callback (value stays empty without one).
  void GetFieldValue(platform::Persistent& sender, const std::string& name, platform::Variant& value) const;

  //! The text to write for template cell (row, col) of a band output at report row
  //! output_row. Throws EBrelixTemplParserError: MsgTPrsNoBand, MsgTPrsNoCell.
  std::string GetValue(const TBrelixBand& band, const TBrelixBand* header_band, int row, int col, int output_row);
  //! Records an output of the band whose first row landed at report row row (MsgTPrsNoBand).
  void SetOutputRow(const TBrelixBand& band, const TBrelixBand* header_band, int row);
  int GetBandCount() const { return static_cast<int>(band_infos_.size()); }
  TBrelixBandInfo& GetBandInfos(int index) const { return *band_infos_.at(static_cast<std::size_t>(index)); }
  //! The largest column count of all band infos (0 without any): the width of the report rows.
  int GetMaxColumn() const;
  //! True when a detail data cell, or a total of a detail footer, names a field of dataset
  //! whose dataset field name equals name without regard to case.
  bool FindFieldInDetailData(const platform::DataSet* dataset, std::string_view name) const;

  //! Every band info takes one accumulation step of that type.
  void Accumulate(TBrelixAccType acc_type);
  //! The totals of that band output go back to 0 (MsgTPrsNoBand).
  void ResetAccumulation(const TBrelixBand& band, const TBrelixBand* header_band);

  //! The result of FindDetailForSumFields.
  struct SumSource {
    TBrelixBandInfo* band_info = nullptr;
    TBrelixCellParser* cell = nullptr;
    TBrelixFieldFunc formula_func = ffNone;
  };
  //! Looks for the cell of a band inside level index whose outputs a formula for the total
  //! (name, dataset, acc_type, func) can cover; true when one was found.
  bool FindDetailForSumFields(std::string_view name, const platform::DataSet* dataset, int index,
                              TBrelixAccType acc_type, TBrelixFieldFunc func, SumSource& result) const;

  //! Learns the native names of SUM, AVERAGE, MAX, MIN and COUNT in the probe cell, which is
  //! cleared before and after.
  void AddFuncNames(const std::string& cell);
  //! The native spreadsheet function name for a total function; empty for ffNone. Throws
  //! EBrelixError (MsgTPrsNoFunc) when it was not learned.
  std::string GetFuncName(TBrelixFieldFunc func) const;

 private:
  TBrelixBandInfo* FindBandInfo(const TBrelixBand& band, const TBrelixBand* header_band) const;
  TBrelixBandInfo& BandInfoOf(const TBrelixBand& band, const TBrelixBand* header_band) const;
  void CreateBandInfos(const TBrelixBandPairs& pairs);

  std::vector<std::unique_ptr<TBrelixBandInfo>> band_infos_;
  std::vector<std::pair<std::string, std::string>> func_names_;  //!< English -> native
  TBrelix& owner_;
  automation::Worksheet& sheet_;
  TBrelixValueCallback on_get_value_;
};

}  // namespace brelix
