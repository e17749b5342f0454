#pragma once
// The report component: everything that describes one report (template, template sheet, bands,
// master dataset, dictionary, options, sub-report link, events) and the template stored in the
// form file.

#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/component.h"
#include "platform/dataset.h"
#include "platform/event.h"
#include "platform/variant.h"
#include "runtime/BrelixBand.h"
#include "runtime/BrelixDictionary.h"
#include "runtime/BrelixProc.h"

namespace brelix {

namespace automation {
class Application;
class Workbook;
class Worksheet;
}  // namespace automation

class TBrelix;

enum TBrelixOption : std::uint8_t {
  brxoShowProgress = 0,
  brxoTotalsAsFormula = 1,
  brxoVisibleWhenError = 2,
  brxoHourCursor = 3,
};

//! A set of report options, one bit per option ordinal.
class TBrelixOptions {
 public:
  constexpr TBrelixOptions() = default;
  constexpr TBrelixOptions(std::initializer_list<TBrelixOption> options) {
    for (TBrelixOption o : options) bits_ |= Bit(o);
  }
  static constexpr TBrelixOptions FromBits(std::uint8_t bits) {
    TBrelixOptions o;
    o.bits_ = bits & 0x0F;
    return o;
  }
  static constexpr TBrelixOptions All() { return FromBits(0x0F); }

  constexpr std::uint8_t Bits() const { return bits_; }
  constexpr bool Contains(TBrelixOption o) const { return bits_ & Bit(o); }
  constexpr void Include(TBrelixOption o) { bits_ |= Bit(o); }
  constexpr void Exclude(TBrelixOption o) { bits_ &= static_cast<std::uint8_t>(~Bit(o)); }
  friend constexpr bool operator==(TBrelixOptions, TBrelixOptions) = default;

 private:
  static constexpr std::uint8_t Bit(TBrelixOption o) { return static_cast<std::uint8_t>(1u << o); }
  std::uint8_t bits_ = 0;
};

//! (Sender): the platform's notify event.
using TNotifyEvent = platform::Event<void(platform::Component& sender)>;
//! (Sender, Report worksheet, RowCount, ColCount): after each build of the report.
using TBrelixAfterBuildEvent =
    platform::Event<void(TBrelix& sender, automation::Worksheet& report, int row_count, int col_count)>;
//! (Sender, in-out Eof): end of data when the report has no DataSet.
using TBrelixCheckEofEvent = platform::Event<void(TBrelix& sender, bool& eof)>;
//! (Sender, Band, RowInTemplate, RowInReport, ColumnInReport, Report worksheet, CellValue).
using TBrelixFormatCellEvent =
    platform::Event<void(TBrelix& sender, TBrelixBand& band, int row_in_template, int row_in_report,
                         int column_in_report, automation::Worksheet& report, const platform::Variant& cell_value)>;
//! (Sender, Band, RowInTemplate, RowInReport, ColumnInReport, in-out CellValue).
using TBrelixSetCellValueEvent =
    platform::Event<void(TBrelix& sender, TBrelixBand& band, int row_in_template, int row_in_report,
                         int column_in_report, platform::Variant& cell_value)>;
//! (Sender, in-out FileName): names the working copy of a run.
using TBrelixGetReportFileName = platform::Event<void(TBrelix& sender, std::string& file_name)>;

class TBrelix : public platform::Component {
  BRELIX_PERSISTENT_CLASS
 public:
  TBrelix();
  ~TBrelix() override;

  // Published properties
  const std::string& About() const { return about_; }
  void SetAbout(std::string about) { about_ = std::move(about); }
  TBrelixBands& Bands() { return bands_; }
  const TBrelixBands& Bands() const { return bands_; }
  //! Copies the content of the given collection.
  void SetBands(const TBrelixBands& bands) { bands_.Assign(bands); }
  platform::DataSet* DataSet() const { return dataset_; }
  void SetDataSet(platform::DataSet* dataset);
  TBrelixDictionary& Dictionary() { return dictionary_; }
  const TBrelixDictionary& Dictionary() const { return dictionary_; }
  //! Copies the content of the given dictionary.
  void SetDictionary(const TBrelixDictionary& dictionary) { dictionary_.Assign(dictionary); }
  char FieldSign() const { return field_sign_; }
  void SetFieldSign(char sign) { field_sign_ = sign; }
  //! True when a stored template is present.
  bool HasStoredTempl() const { return !stored_templ_.empty(); }
  TBrelixOptions Options() const { return options_; }
  void SetOptions(TBrelixOptions options) { options_ = options; }
  bool StoreInDFM() const { return store_in_dfm_; }
  void SetStoreInDFM(bool store) { store_in_dfm_ = store; }
  TBrelix* SubReport() const { return sub_report_; }
  //! Links the next report of the chain; the report itself is refused (nothing happens).
  void SetSubReport(TBrelix* report);
  const std::string& Template() const { return template_; }
  //! A template name that differs (trimmed) from the current one clears StoreInDFM and TemplSheet.
  void SetTemplate(std::string name);
  const std::string& TemplSheet() const { return templ_sheet_; }
  void SetTemplSheet(std::string sheet) { templ_sheet_ = std::move(sheet); }
  const std::string& Title() const { return title_; }
  void SetTitle(std::string title) { title_ = std::move(title); }
  const std::string& Version() const { return version_; }
  void SetVersion(std::string version) { version_ = std::move(version); }

  // Published events
  TBrelixAfterBuildEvent OnAfterBuild;
  TNotifyEvent OnBeforeBuild;
  TBrelixCheckEofEvent OnDataEof;
  TNotifyEvent OnDataFirst;
  TNotifyEvent OnDataNext;
  TNotifyEvent OnDataPrior;
  TBrelixFormatCellEvent OnFormatCell;
  TBrelixGetFieldValueEvent OnGetFieldValue;
  TBrelixSetCellValueEvent OnSetCellValue;
  TBrelixGetReportFileName OnGetReportFileName;

  //! The reports whose SubReport is this report, in the order they were linked.
  const std::vector<TBrelix*>& MasterList() const { return masters_; }

  //! When other is a report, this report takes over other's bands (copied), DataSet, Template
  //! and TemplSheet (as they are); any other object is refused.
  void AssignTo(platform::Persistent& other) const override;
  void Notification(platform::Component& component, platform::Operation operation) override;
  void DefineProperties(platform::Filer& filer) override;

  //! Reports a failure: a message box while designed, otherwise EBrelixError with the message.
  void RaiseError(const std::string& message) const;

  // Stored template
  //! Reads the content of the form-file property XLTemplate (4-byte little-endian length, then
  //! the bytes). A length larger than the data is refused before anything is allocated.
  void ReadXLTemplate(std::span<const std::uint8_t> content);
  //! The content of XLTemplate for the stored template.
  std::vector<std::uint8_t> WriteXLTemplate() const;
  //! The file's bytes become the stored template; Template is emptied and StoreInDFM set.
  void LoadStoredTemplateFromFile(const std::string& file_name);
  //! Writes the stored template's bytes to the file (nothing for none).
  void SaveStoredTemplateToFile(const std::string& file_name) const;
  //! A new temporary file holding the stored template; empty when StoreInDFM is not set.
  std::string SaveStoredTemplateToTmpFile() const;
  //! Drops the stored template and clears StoreInDFM (nothing without one).
  void FreeStoredTemplate();
  const std::vector<std::uint8_t>& StoredTemplate() const { return stored_templ_; }

  // Report run
  //! Runs the report on the template of GetTemplateFileName. With a report file name the finished
  //! report is saved there; without, it stays in its working copy, handed over to the user.
  void Show(const std::string& report_file_name = {});
  //! Runs the report on the named template file instead of the report's own template.
  void ShowOnTemplate(const std::string& template_file_name, const std::string& report_file_name);
  //! The full name of the template file to use (a temporary copy of the stored template when
  //! StoreInDFM is set); may be empty.
  std::string GetTemplateFileName();
  //! Builds this report (and its sub-report chain) on two open workbooks; used for sub-reports.
  void BuildSheet(automation::Workbook& template_book, automation::Workbook& report_book);
  //! Opens the template for editing and hands it over to the user.
  void EditTemplate();
  //! The file holding the report of the last run: the report file name given to Show, or the
  //! working copy; also after a failed run that kept the partial report. Empty before any run.
  const std::string& ReportFile() const { return report_file_; }

  // Field dataset lookup
  //! The dataset supplying a field named as in a template cell (Field, DataSet.Field or
  //! Form.DataSet.Field), or null for a user field.
  platform::DataSet* FindFieldDataSet(const std::string& name);
  //! The first dataset named in the template range that is a detail of DataSet, or null.
  platform::DataSet* FindDetailDataSetInTempl(const std::string& range);
  //! The detail dataset of the build in progress, or null.
  platform::DataSet* DetailDataSet() const { return detail_dataset_; }
  void SetDetailDataSet(platform::DataSet* dataset) { detail_dataset_ = dataset; }
  //! Empties the field-dataset cache (done at the start of every build).
  void ClearFieldDataSetCache() { field_dataset_cache_.clear(); }

  //! The template sheet and the report sheet of the build in progress (null outside a run).
  automation::Worksheet* TemplateWorksheet() const { return templ_sheet_obj_; }
  automation::Worksheet* ReportWorksheet() const { return report_sheet_obj_; }
  //! Pairs the sheets a build works on; the run does this, tests may too.
  void SetWorksheets(automation::Worksheet* template_sheet, automation::Worksheet* report_sheet) {
    templ_sheet_obj_ = template_sheet;
    report_sheet_obj_ = report_sheet;
  }

 private:
  void Unlink(platform::Component* target);
  //! Raises EBrelixError when the sub-report chain comes back to a report it passed.
  void CheckSubReportChain() const;
  //! Builds this report on its template sheet at position and the report sheet there.
  void BuildPaired(automation::Workbook& template_book, automation::Workbook& report_book, int position);

  std::string about_;
  TBrelixBands bands_;
  platform::DataSet* dataset_ = nullptr;
  TBrelixDictionary dictionary_;
  char field_sign_ = '#';
  TBrelixOptions options_ = TBrelixOptions::All();
  bool store_in_dfm_ = false;
  TBrelix* sub_report_ = nullptr;
  std::string template_;
  std::string templ_sheet_;
  std::string title_;
  std::string version_;
  std::vector<TBrelix*> masters_;
  std::vector<std::uint8_t> stored_templ_;

  // Run state
  std::string report_file_;
  automation::Worksheet* templ_sheet_obj_ = nullptr;
  automation::Worksheet* report_sheet_obj_ = nullptr;
  platform::DataSet* detail_dataset_ = nullptr;
  //! FORM.DATASET (upper case) -> dataset, filled by FindFieldDataSet.
  std::map<std::string, platform::DataSet*> field_dataset_cache_;
};

}  // namespace brelix
