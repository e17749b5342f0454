#include "runtime/Brelix.h"

#include <algorithm>
#include <limits>

#include "platform/design_host.h"
#include "platform/files.h"
#include "platform/filer.h"
#include "platform/text.h"
#include "runtime/BrelixConsts.h"
#include "runtime/BrelixProc.h"

namespace brelix {

using namespace platform;

namespace {

const char* const kAboutText = "Brelix: spreadsheet reports from templates and data";
const char* const kVersionText = "1.60";

const bool kRegistered = RegisterClass(TBrelix::StaticClass());

std::vector<std::string> OptionNames() {
  return {"brxoShowProgress", "brxoTotalsAsFormula", "brxoVisibleWhenError", "brxoHourCursor"};
}

}  // namespace

const ClassInfo& TBrelix::StaticClass() {
  static const ClassInfo info = [] {
    ClassInfo c("TBrelix", &Component::StaticClass(), [] { return std::make_unique<TBrelix>(); });
    PropertyList<TBrelix> p(c);
    p.String("About", &TBrelix::About, &TBrelix::SetAbout).Default(std::string(kAboutText));
    p.Object<TBrelixBands>("Bands", [](const TBrelix& r) -> const TBrelixBands& { return r.Bands(); },
                           &TBrelix::SetBands);
    p.Reference<platform::DataSet>("DataSet", &TBrelix::DataSet, &TBrelix::SetDataSet);
    p.Object<TBrelixDictionary>(
        "Dictionary", [](const TBrelix& r) -> const TBrelixDictionary& { return r.Dictionary(); },
        &TBrelix::SetDictionary);
    p.Char("FieldSign", &TBrelix::FieldSign, &TBrelix::SetFieldSign).Default(std::string("#"));
    p.ReadOnlyBoolean("HasStoredTempl", &TBrelix::HasStoredTempl).NotStored();
    p.Set("Options", OptionNames(), [](const TBrelix& r) { return r.Options().Bits(); },
          [](TBrelix& r, unsigned bits) { r.SetOptions(TBrelixOptions::FromBits(static_cast<std::uint8_t>(bits))); })
        .Default(std::int64_t{TBrelixOptions::All().Bits()});
    p.Boolean("StoreInDFM", &TBrelix::StoreInDFM, &TBrelix::SetStoreInDFM).Default(false);
    p.Reference<TBrelix>("SubReport", &TBrelix::SubReport, &TBrelix::SetSubReport);
    p.String("Template", &TBrelix::Template, &TBrelix::SetTemplate);
    p.String("TemplSheet", &TBrelix::TemplSheet, &TBrelix::SetTemplSheet);
    p.String("Title", &TBrelix::Title, &TBrelix::SetTitle);
    p.String("_Version", &TBrelix::Version, &TBrelix::SetVersion).Default(std::string(kVersionText));
    p.Event("OnAfterBuild", &TBrelix::OnAfterBuild);
    p.Event("OnBeforeBuild", &TBrelix::OnBeforeBuild);
    p.Event("OnDataEof", &TBrelix::OnDataEof);
    p.Event("OnDataFirst", &TBrelix::OnDataFirst);
    p.Event("OnDataNext", &TBrelix::OnDataNext);
    p.Event("OnDataPrior", &TBrelix::OnDataPrior);
    p.Event("OnFormatCell", &TBrelix::OnFormatCell);
    p.Event("OnGetFieldValue", &TBrelix::OnGetFieldValue);
    p.Event("OnSetCellValue", &TBrelix::OnSetCellValue);
    p.Event("OnGetReportFileName", &TBrelix::OnGetReportFileName);
    return c;
  }();
  return info;
}

TBrelix::TBrelix() : about_(kAboutText), bands_(this), dictionary_(this), version_(kVersionText) {}

TBrelix::~TBrelix() {
  // Masters still naming this report as their sub-report forget it, and this report leaves the
  // master list of its own sub-report.
  for (TBrelix* master : std::vector<TBrelix*>(masters_)) {
    master->sub_report_ = nullptr;
    RemoveFreeNotification(*master);
  }
  masters_.clear();
  SetSubReport(nullptr);
  SetDataSet(nullptr);
}

void TBrelix::Unlink(Component* target) {
  if (!target) return;
  if (target != static_cast<Component*>(dataset_) && target != static_cast<Component*>(sub_report_))
    target->RemoveFreeNotification(*this);
}

void TBrelix::SetDataSet(platform::DataSet* dataset) {
  if (dataset == dataset_) return;
  Component* old = dataset_;
  dataset_ = dataset;
  Unlink(old);
  if (dataset_) dataset_->FreeNotification(*this);
}

void TBrelix::SetSubReport(TBrelix* report) {
  if (report == sub_report_ || report == this) return;
  TBrelix* old = sub_report_;
  if (old) std::erase(old->masters_, this);
  if (report && std::find(report->masters_.begin(), report->masters_.end(), this) == report->masters_.end())
    report->masters_.push_back(this);
  sub_report_ = report;
  Unlink(old);
  if (sub_report_) sub_report_->FreeNotification(*this);
}

void TBrelix::SetTemplate(std::string name) {
  // While a form file is read the stored values are taken as they are, whatever their order.
  if (IsLoading()) {
    template_ = std::move(name);
    return;
  }
  if (Trim(name) == Trim(template_)) return;
  store_in_dfm_ = false;
  template_ = std::move(name);
  templ_sheet_.clear();
}

void TBrelix::AssignTo(Persistent& other) const {
  auto* source = dynamic_cast<TBrelix*>(&other);
  if (!source) {
    Component::AssignTo(other);
    return;
  }
  // This report takes over from the other one (the wizard restores a report from its backup so).
  auto& self = const_cast<TBrelix&>(*this);
  self.bands_.Assign(source->bands_);
  self.SetDataSet(source->dataset_);
  self.template_ = source->template_;
  self.templ_sheet_ = source->templ_sheet_;
}

void TBrelix::Notification(Component& component, Operation operation) {
  Component::Notification(component, operation);
  if (operation != Operation::Remove) return;
  if (&component == static_cast<Component*>(dataset_)) SetDataSet(nullptr);
  if (&component == static_cast<Component*>(sub_report_)) SetSubReport(nullptr);
  std::erase_if(masters_, [&](TBrelix* m) { return static_cast<Component*>(m) == &component; });
}

void TBrelix::RaiseError(const std::string& message) const {
  if (platform::IsDesigning(*this)) {
    ShowMessageBox(message, MessageBoxKind::Error);
    return;
  }
  throw EBrelixError(message);
}

// ---------------------------------------------------------------------------------------------
// Stored template

void TBrelix::DefineProperties(Filer& filer) {
  bool has_data;
  if (const auto* ancestor = dynamic_cast<const TBrelix*>(filer.Ancestor()))
    has_data = ancestor->stored_templ_ != stored_templ_;
  else
    has_data = HasStoredTempl();
  filer.DefineBinaryProperty(
      "XLTemplate", [this](std::span<const std::uint8_t> content) { ReadXLTemplate(content); },
      [this] { return WriteXLTemplate(); }, has_data);
}

void TBrelix::ReadXLTemplate(std::span<const std::uint8_t> content) {
  stored_templ_.clear();
  std::int64_t length = -1;
  if (content.size() >= 4) {
    length = static_cast<std::int32_t>(std::uint32_t{content[0]} | std::uint32_t{content[1]} << 8 |
                                       std::uint32_t{content[2]} << 16 | std::uint32_t{content[3]} << 24);
    if (length <= 0) return;
  }
  std::size_t available = content.size() >= 4 ? content.size() - 4 : 0;
  // The length is checked against the data before anything is allocated for it.
  if (length < 0 || static_cast<std::uint64_t>(length) > available) {
    RaiseError(BrelixFormat(BrelixConsts::MsgTemplRead, content.size() >= 4 ? length : std::int64_t{4},
                            static_cast<std::int64_t>(content.size() >= 4 ? available : content.size())));
    return;
  }
  stored_templ_.assign(content.begin() + 4, content.begin() + 4 + length);
}

std::vector<std::uint8_t> TBrelix::WriteXLTemplate() const {
  auto n = static_cast<std::uint32_t>(stored_templ_.size());
  std::vector<std::uint8_t> content(4 + stored_templ_.size());
  for (int i = 0; i < 4; ++i) content[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(n >> (8 * i));
  std::copy(stored_templ_.begin(), stored_templ_.end(), content.begin() + 4);
  return content;
}

void TBrelix::LoadStoredTemplateFromFile(const std::string& file_name) {
  FreeStoredTemplate();
  std::vector<std::uint8_t> bytes = ReadFileBytes(file_name);
  if (bytes.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
    throw EFileError("File \"" + file_name + "\" is too large to be stored as a template");
  stored_templ_ = std::move(bytes);
  template_.clear();
  store_in_dfm_ = true;
}

void TBrelix::SaveStoredTemplateToFile(const std::string& file_name) const {
  WriteFileBytes(file_name, stored_templ_.data(), stored_templ_.size());
}

std::string TBrelix::SaveStoredTemplateToTmpFile() const {
  if (!store_in_dfm_) return {};
  if (!HasStoredTempl()) throw EBrelixError(BrelixConsts::MsgBrelix1);
  std::string file_name = BrelixGetTempFName();
  SaveStoredTemplateToFile(file_name);
  return file_name;
}

void TBrelix::FreeStoredTemplate() {
  if (!HasStoredTempl()) return;
  store_in_dfm_ = false;
  stored_templ_.clear();
  stored_templ_.shrink_to_fit();
}

}  // namespace brelix
