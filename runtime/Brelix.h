#pragma once
// The report component: everything that describes one report (template, template sheet, bands,
// master dataset, dictionary, options, sub-report link, events) and the template stored in the
// form file.

#include <cstdint>
#include <initializer_list>
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
class Worksheet;
}

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

 private:
  void Unlink(platform::Component* target);

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
};

}  // namespace brelix
