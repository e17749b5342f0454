#include "runtime/BrelixBand.h"

#include <algorithm>

#include "platform/dataset.h"
#include "platform/design_host.h"
#include "platform/filer.h"
#include "platform/text.h"
#include "runtime/Brelix.h"
#include "runtime/BrelixConsts.h"
#include "runtime/BrelixProc.h"

namespace brelix {

using namespace platform;

namespace {

const char* const kBandTypeNames[BrelixBandTypeCount] = {
    "Title", "GroupHeader", "MasterData", "DetailHeader", "DetailData", "DetailFooter", "GroupFooter", "Summary"};

int Sign(int a, int b) { return a > b ? 1 : (a < b ? -1 : 0); }

//! The display name cut before its " - GH" suffix.
std::string WithoutHeaderSuffix(const std::string& name) {
  std::size_t at = name.find(" - GH");
  return at == std::string::npos ? name : name.substr(0, at);
}

}  // namespace

const char* BrelixBandTypeName(TBrelixBandType type) {
  return static_cast<int>(type) < BrelixBandTypeCount ? kBandTypeNames[type] : "";
}

// ---------------------------------------------------------------------------------------------
// TBrelixBand

const ClassInfo& TBrelixBand::StaticClass() {
  static const ClassInfo info = [] {
    ClassInfo c("TBrelixBand", &Persistent::StaticClass());
    PropertyList<TBrelixBand>(c).String("Range", &TBrelixBand::Range, &TBrelixBand::SetRange);
    return c;
  }();
  return info;
}

TBrelixBand::TBrelixBand(TBrelixBands* bands, TBrelixBandType band_type) : bands_(bands), band_type_(band_type) {}

int TBrelixBand::Index() const {
  if (!bands_) return -1;
  for (int i = 0; i < bands_->Count(); ++i)
    if (&bands_->Items(i) == this) return i;
  return -1;
}

bool TBrelixBand::range_blank() const { return Trim(range_).empty(); }

int TBrelixBand::RangeTop() const { return range_blank() ? 0 : BrelixGetRangeRow(BrelixGetRangeFirst(range_)); }
int TBrelixBand::RangeBottom() const { return range_blank() ? 0 : BrelixGetRangeRow(BrelixGetRangeLast(range_)); }
int TBrelixBand::RangeLeft() const { return range_blank() ? 0 : BrelixGetRangeColumn(BrelixGetRangeFirst(range_)); }
int TBrelixBand::RangeRight() const { return range_blank() ? 0 : BrelixGetRangeColumn(BrelixGetRangeLast(range_)); }

std::string TBrelixBand::GetDisplayName() const { return BrelixBandTypeName(band_type_); }

int TBrelixBand::Compare(const TBrelixBand& other) const { return Sign(band_type_, other.band_type_); }

bool TBrelixBand::IsEqual(const TBrelixBand& other) const {
  return band_type_ == other.band_type_ && range_ == other.range_;
}

Persistent* TBrelixBand::GetOwner() const { return bands_; }

std::string TBrelixBand::GetNamePath() const {
  if (!bands_) return ClassName();
  return bands_->GetNamePath() + "." + GetDisplayName();
}

// ---------------------------------------------------------------------------------------------
// TBrelixGroupBand

const ClassInfo& TBrelixGroupBand::StaticClass() {
  static const ClassInfo info("TBrelixGroupBand", &TBrelixBand::StaticClass());
  return info;
}

TBrelixGroupBand::TBrelixGroupBand(TBrelixBands* bands, TBrelixBandType band_type) : TBrelixBand(bands, band_type) {
  group_id_ = GetNextGroupId();
}

int TBrelixGroupBand::GetNextGroupId() const {
  int largest = group_id_;
  if (TBrelixBands* bands = Bands())
    for (int i = 0; i < bands->Count(); ++i) {
      const auto* band = dynamic_cast<const TBrelixGroupBand*>(&bands->Items(i));
      if (band && band->BandType() == BandType()) largest = std::max(largest, band->group_id_);
    }
  return largest + 1;
}

std::string TBrelixGroupBand::GetDisplayName() const {
  return TBrelixBand::GetDisplayName() + std::to_string(group_id_);
}

int TBrelixGroupBand::Compare(const TBrelixBand& other) const {
  int result = TBrelixBand::Compare(other);
  if (result != 0) return result;
  const auto* group = dynamic_cast<const TBrelixGroupBand*>(&other);
  return group ? Sign(group_id_, group->group_id_) : 0;
}

bool TBrelixGroupBand::IsEqual(const TBrelixBand& other) const {
  const auto* group = dynamic_cast<const TBrelixGroupBand*>(&other);
  return TBrelixBand::IsEqual(other) && group && group->group_id_ == group_id_;
}

// ---------------------------------------------------------------------------------------------
// TBrelixGroupHeaderBand

const ClassInfo& TBrelixGroupHeaderBand::StaticClass() {
  static const ClassInfo info = [] {
    ClassInfo c("TBrelixGroupHeaderBand", &TBrelixGroupBand::StaticClass());
    PropertyList<TBrelixGroupHeaderBand> p(c);
    p.Boolean("CaseInsensitiveCompare", &TBrelixGroupHeaderBand::CaseInsensitiveCompare,
              &TBrelixGroupHeaderBand::SetCaseInsensitiveCompare)
        .Default(true);
    p.String("FieldName", &TBrelixGroupHeaderBand::FieldName, &TBrelixGroupHeaderBand::SetFieldName);
    p.String("FooterBand", &TBrelixGroupHeaderBand::GetFooterBand, &TBrelixGroupHeaderBand::SetFooterBand);
    p.Event("OnCalcExpression", &TBrelixGroupHeaderBand::OnCalcExpression);
    return c;
  }();
  return info;
}

TBrelixGroupHeaderBand::TBrelixGroupHeaderBand(TBrelixBands* bands) : TBrelixGroupBand(bands, brxbtGroupHeader) {}

void TBrelixGroupHeaderBand::FooterError(const TBrelixBands* bands) const {
  TBrelix* report = bands ? bands->Report() : nullptr;
  if (!report) return;
  if (IsDesigning(*report))
    ShowMessageBox(BrelixConsts::MsgBnd, MessageBoxKind::Error);
  else
    throw EBrelixError(BrelixConsts::MsgBnd);
}

void TBrelixGroupHeaderBand::SetFooter(TBrelixGroupFooterBand* footer) {
  if (!Bands() || (footer && footer->Bands() != Bands())) {
    FooterError(Bands() ? Bands() : (footer ? footer->Bands() : nullptr));
    return;
  }
  TBrelixGroupFooterBand* old = footer_;
  footer_ = footer;
  if (old) Bands()->RearrangeItem(*old);
  if (footer_) Bands()->RearrangeItem(*footer_);
}

std::string TBrelixGroupHeaderBand::GetFooterBand() const {
  return footer_ ? WithoutHeaderSuffix(footer_->GetDisplayName()) : std::string();
}

void TBrelixGroupHeaderBand::SetFooterBand(const std::string& name) {
  std::string wanted = Trim(name);
  if (wanted.empty()) {
    SetFooter(nullptr);
    return;
  }
  TBrelixBands* bands = Bands();
  if (!bands) return;
  for (int i = 0; i < bands->Count(); ++i) {
    auto* footer = dynamic_cast<TBrelixGroupFooterBand*>(&bands->Items(i));
    if (footer && SameText(WithoutHeaderSuffix(footer->GetDisplayName()), wanted)) {
      SetFooter(footer);
      return;
    }
  }
  // A name that matches no footer is refused also when no report holds the collection.
  TBrelix* report = bands->Report();
  if (report && IsDesigning(*report))
    ShowMessageBox(BrelixConsts::MsgBnd, MessageBoxKind::Error);
  else
    throw EBrelixError(BrelixConsts::MsgBnd);
}

std::string TBrelixGroupHeaderBand::CalcGroupExpr() {
  if (!Trim(field_name_).empty()) {
    TBrelix* report = Bands() ? Bands()->Report() : nullptr;
    DataSet* dataset = report ? report->DataSet() : nullptr;
    if (!dataset) throw EBrelixError(BrelixFormat(BrelixConsts::MsgBrelix7, field_name_, ""));
    return dataset->FieldByName(field_name_).AsString();
  }
  std::string value;
  if (OnCalcExpression) OnCalcExpression(*this, value);
  return value;
}

bool TBrelixGroupHeaderBand::IsEqual(const TBrelixBand& other) const {
  const auto* header = dynamic_cast<const TBrelixGroupHeaderBand*>(&other);
  if (!header || !TBrelixGroupBand::IsEqual(other)) return false;
  // Footers of two collections are the same when they sit at the same place.
  auto footer_index = [](const TBrelixGroupFooterBand* f) { return f ? f->Index() : -1; };
  bool same_footer = Bands() == header->Bands() ? footer_ == header->footer_
                                                : footer_index(footer_) == footer_index(header->footer_);
  return same_footer && field_name_ == header->field_name_ && OnCalcExpression.SameMethod(header->OnCalcExpression);
}

// ---------------------------------------------------------------------------------------------
// TBrelixGroupFooterBand

const ClassInfo& TBrelixGroupFooterBand::StaticClass() {
  static const ClassInfo info("TBrelixGroupFooterBand", &TBrelixGroupBand::StaticClass());
  return info;
}

TBrelixGroupFooterBand::TBrelixGroupFooterBand(TBrelixBands* bands) : TBrelixGroupBand(bands, brxbtGroupFooter) {}

TBrelixGroupHeaderBand* TBrelixGroupFooterBand::GetLastHeaderBand() const {
  TBrelixBands* bands = Bands();
  if (!bands) return nullptr;
  for (int i = bands->Count() - 1; i >= 0; --i) {
    auto* header = dynamic_cast<TBrelixGroupHeaderBand*>(&bands->Items(i));
    if (header && header->Footer() == this) return header;
  }
  return nullptr;
}

std::string TBrelixGroupFooterBand::GetDisplayName() const {
  std::string name = TBrelixGroupBand::GetDisplayName();
  TBrelixBands* bands = Bands();
  if (!bands) return name;
  std::string headers;
  for (int i = 0; i < bands->Count(); ++i) {
    auto* header = dynamic_cast<TBrelixGroupHeaderBand*>(&bands->Items(i));
    if (!header || header->Footer() != this) continue;
    // The header's number: its display name from the 12th character, at most three characters.
    std::string header_name = header->GetDisplayName();
    std::string number = header_name.size() > 11 ? header_name.substr(11, 3) : std::string();
    if (!headers.empty()) headers += ", ";
    headers += number;
  }
  if (!headers.empty()) name += " - GH" + headers;
  return name;
}

int TBrelixGroupFooterBand::Compare(const TBrelixBand& other) const {
  if (&other == this) return 0;
  int result = TBrelixBand::Compare(other);
  if (result != 0) return result;
  const auto* footer = dynamic_cast<const TBrelixGroupFooterBand*>(&other);
  if (!footer) return 0;
  const TBrelixGroupHeaderBand* header = GetLastHeaderBand();
  const TBrelixGroupHeaderBand* other_header = footer->GetLastHeaderBand();
  if (header && other_header) {
    if (other_header->GroupID() < header->GroupID()) return -1;
    if (other_header->GroupID() > header->GroupID()) return 1;
    return Sign(GroupID(), footer->GroupID());
  }
  if (other_header) return 1;
  if (header) return -1;
  return Sign(GroupID(), footer->GroupID());
}

// ---------------------------------------------------------------------------------------------
// TBrelixBands

const ClassInfo& TBrelixBands::StaticClass() {
  static const ClassInfo info("TBrelixBands", &Persistent::StaticClass());
  return info;
}

TBrelixBands::TBrelixBands(Component* owner) : owner_(owner) { NotifyDesigner(owner_, *this, true); }

TBrelixBands::~TBrelixBands() {
  Clear();
  NotifyDesigner(owner_, *this, false);
}

TBrelix* TBrelixBands::Report() const { return dynamic_cast<TBrelix*>(owner_); }

TBrelixBand& TBrelixBands::AddBand(TBrelixBandType band_type) {
  std::unique_ptr<TBrelixBand> band;
  if (band_type == brxbtGroupHeader)
    band = std::make_unique<TBrelixGroupHeaderBand>(this);
  else if (band_type == brxbtGroupFooter)
    band = std::make_unique<TBrelixGroupFooterBand>(this);
  else
    band = std::make_unique<TBrelixBand>(this, band_type);
  return InsertItem(std::move(band));
}

int TBrelixBands::GetBandCount(TBrelixBandType band_type) const {
  return static_cast<int>(std::count_if(items_.begin(), items_.end(),
                                        [&](const auto& b) { return b->BandType() == band_type; }));
}

TBrelixBand* TBrelixBands::GetNotEmptyBand(TBrelixBandType band_type) const {
  for (const auto& b : items_)
    if (b->BandType() == band_type && !b->range_blank()) return b.get();
  return nullptr;
}

TBrelixBand* TBrelixBands::FindItemID(int id) const {
  for (const auto& b : items_)
    if (b->ID() == id) return b.get();
  return nullptr;
}

int TBrelixBands::IndexOf(const TBrelixBand& band) const {
  for (std::size_t i = 0; i < items_.size(); ++i)
    if (items_[i].get() == &band) return static_cast<int>(i);
  return -1;
}

TBrelixBand& TBrelixBands::InsertItem(std::unique_ptr<TBrelixBand> band) {
  auto at = std::find_if(items_.begin(), items_.end(),
                         [&](const auto& b) { return b->BandType() > band->BandType(); });
  TBrelixBand& inserted = **items_.insert(at, std::move(band));
  inserted.bands_ = this;
  inserted.id_ = next_id_++;
  NotifyDesigner(owner_, inserted, true);
  return inserted;
}

std::unique_ptr<TBrelixBand> TBrelixBands::RemoveItem(TBrelixBand& band) {
  int index = IndexOf(band);
  if (index < 0) return nullptr;
  if (auto* footer = dynamic_cast<TBrelixGroupFooterBand*>(&band)) {
    UnlinkHeadersOf(*footer);
  } else if (auto* header = dynamic_cast<TBrelixGroupHeaderBand*>(&band)) {
    header->SetFooter(nullptr);
  }
  index = IndexOf(band);  // unlinking re-sorts footers
  std::unique_ptr<TBrelixBand> removed = std::move(items_[static_cast<std::size_t>(index)]);
  items_.erase(items_.begin() + index);
  removed->bands_ = nullptr;
  NotifyDesigner(owner_, *removed, false);
  return removed;
}

void TBrelixBands::Deleting(TBrelixBand& band) {
  if (auto* footer = dynamic_cast<TBrelixGroupFooterBand*>(&band)) UnlinkHeadersOf(*footer);
}

void TBrelixBands::UnlinkHeadersOf(TBrelixGroupFooterBand& footer) {
  // Collected first: unlinking re-sorts the list.
  std::vector<TBrelixGroupHeaderBand*> headers;
  for (const auto& b : items_)
    if (auto* header = dynamic_cast<TBrelixGroupHeaderBand*>(b.get()); header && header->Footer() == &footer)
      headers.push_back(header);
  for (TBrelixGroupHeaderBand* header : headers) header->SetFooter(nullptr);
}

void TBrelixBands::Delete(int index) {
  TBrelixBand& band = Items(index);
  Deleting(band);
  RemoveItem(band).reset();
}

void TBrelixBands::Clear() {
  while (!items_.empty()) RemoveItem(*items_.back()).reset();
}

void TBrelixBands::RearrangeItem(TBrelixBand& band) {
  int i = IndexOf(band);
  if (i < 0) return;
  auto move_to = [&](int to) {
    std::unique_ptr<TBrelixBand> moving = std::move(items_[static_cast<std::size_t>(i)]);
    items_.erase(items_.begin() + i);
    items_.insert(items_.begin() + to, std::move(moving));
  };
  for (int j = 0; j < i; ++j)
    if (band.Compare(*items_[static_cast<std::size_t>(j)]) < 0) return move_to(j);
  for (int j = Count() - 1; j > i; --j)
    if (band.Compare(*items_[static_cast<std::size_t>(j)]) > 0) return move_to(j);
}

void TBrelixBands::Assign(const Persistent& source) {
  const auto* other = dynamic_cast<const TBrelixBands*>(&source);
  if (!other) {
    Persistent::Assign(source);
    return;
  }
  if (other == this) return;
  Clear();
  // Bands first, then the footer links, which need every footer in place. Links go through the
  // copies in source order, as each SetFooter re-sorts this list.
  std::vector<std::pair<TBrelixGroupHeaderBand*, int>> links;
  std::vector<TBrelixBand*> copies;
  for (const auto& from : other->items_) {
    TBrelixBand& to = AddBand(from->BandType());
    copies.push_back(&to);
    to.SetRange(from->Range());
    if (auto* group = dynamic_cast<TBrelixGroupBand*>(&to))
      group->SetGroupID(static_cast<const TBrelixGroupBand&>(*from).GroupID());
    if (auto* header = dynamic_cast<TBrelixGroupHeaderBand*>(&to)) {
      const auto& from_header = static_cast<const TBrelixGroupHeaderBand&>(*from);
      header->SetCaseInsensitiveCompare(from_header.CaseInsensitiveCompare());
      header->SetFieldName(from_header.FieldName());
      header->OnCalcExpression = from_header.OnCalcExpression;
      if (from_header.Footer()) links.emplace_back(header, from_header.Footer()->Index());
    }
  }
  for (auto [header, footer_index] : links)
    header->SetFooter(static_cast<TBrelixGroupFooterBand*>(copies[static_cast<std::size_t>(footer_index)]));
}

const std::string& TBrelixBands::GetPropName() const {
  if (prop_name_.empty() && owner_) {
    for (const PropertyInfo* p : owner_->Class().Properties()) {
      if (p->type != PropertyType::Object) continue;
      if (std::get<Persistent*>(p->get(*owner_)) == this) {
        prop_name_ = p->name;
        break;
      }
    }
  }
  return prop_name_;
}

Persistent* TBrelixBands::GetOwner() const { return owner_; }

std::string TBrelixBands::GetNamePath() const {
  if (owner_ && !owner_->GetNamePath().empty() && !GetPropName().empty())
    return owner_->GetNamePath() + "." + GetPropName();
  return ClassName();
}

// ---------------------------------------------------------------------------------------------
// Form-file format

bool TBrelixBands::DiffersFrom(const TBrelixBands* ancestor) const {
  if (!ancestor) return !items_.empty();
  if (ancestor->Count() != Count()) return true;
  for (int i = 0; i < Count(); ++i)
    if (!Items(i).IsEqual(ancestor->Items(i))) return true;
  return false;
}

void TBrelixBands::DefineProperties(Filer& filer) {
  bool has_data = DiffersFrom(dynamic_cast<const TBrelixBands*>(filer.Ancestor()));
  auto count_property = [&](const char* name, int& count, int value, bool written) {
    filer.DefineProperty(
        name,
        [&count, name](PropertyReader& reader) {
          const FormValue& v = reader.Value();
          if (v.kind != FormValue::Kind::Integer || v.integer < 0 || v.integer > INT32_MAX)
            throw EBrelixError(std::string(name) + " must be a count of bands");
          count = static_cast<int>(v.integer);
        },
        [value](PropertyWriter&) { return FormValue::Integer(value); }, written);
  };
  int headers = GetBandCount(brxbtGroupHeader), footers = GetBandCount(brxbtGroupFooter);
  count_property("BandCount", band_count_, Count(), has_data);
  count_property("GroupHeaderBandCount", group_header_band_count_, headers, has_data && headers > 0);
  count_property("GroupFooterBandCount", group_footer_band_count_, footers, has_data && footers > 0);
  filer.DefineProperty(
      "Items", [this](PropertyReader& reader) { ReadItems(reader); },
      [this](PropertyWriter& writer) { return WriteItems(writer); }, has_data);
}

FormValue TBrelixBands::WriteItems(PropertyWriter& writer) const {
  const std::string prefix = GetPropName() + ".";
  std::vector<FormItem> items;
  auto write_band = [&](const TBrelixBand& band) {
    FormItem item;
    for (const PropertyInfo* p : band.Class().Properties())
      if (auto value = writer.WriteProperty(band, *p, nullptr))
        item.properties.push_back({prefix + p->name, std::move(*value), {}});
    item.properties.push_back({prefix + "BandType", FormValue::Integer(band.BandType()), {}});
    if (const auto* group = dynamic_cast<const TBrelixGroupBand*>(&band))
      item.properties.push_back({prefix + "GroupID", FormValue::Integer(group->GroupID()), {}});
    items.push_back(std::move(item));
  };
  for (const auto& b : items_)
    if (b->BandType() != brxbtGroupHeader && b->BandType() != brxbtGroupFooter) write_band(*b);
  for (const auto& b : items_)
    if (b->BandType() == brxbtGroupFooter) write_band(*b);
  for (const auto& b : items_)
    if (b->BandType() == brxbtGroupHeader) write_band(*b);
  return FormValue::Collection(std::move(items));
}

void TBrelixBands::ReadItems(PropertyReader& reader) {
  const FormValue& value = reader.Value();
  if (value.kind != FormValue::Kind::Collection)
    throw EBrelixError(BrelixFormat(BrelixConsts::MsgBndUnProp, GetPropName() + ".Items"));
  Clear();
  const int plain_count = band_count_ - group_header_band_count_ - group_footer_band_count_;
  int i = 0;
  for (const FormItem& item : value.items) {
    reader.Mark(item.pos);
    TBrelixBandType type;
    if (i < plain_count)
      type = brxbtTitle;
    else if (i < plain_count + group_footer_band_count_)
      type = brxbtGroupFooter;
    else if (i >= band_count_)
      throw EBrelixError(BrelixConsts::MsgBndMoreBand);
    else
      type = brxbtGroupHeader;
    TBrelixBand& band = AddBand(type);
    for (const FormProperty& prop : item.properties) ReadBandProperty(reader, band, prop);
    RearrangeItem(band);
    ++i;
  }
}

void TBrelixBands::ReadBandProperty(PropertyReader& reader, TBrelixBand& band, const FormProperty& prop) {
  reader.Mark(prop.pos);
  const std::string prefix = GetPropName() + ".";
  if (prefix.size() == 1 || !StartsWith(prop.name, prefix))
    throw EBrelixError(BrelixFormat(BrelixConsts::MsgBndUnProp, prop.name));
  const std::string short_name = prop.name.substr(prefix.size());
  auto read_integer = [&]() {
    reader.Mark(prop.value.pos);
    if (prop.value.kind != FormValue::Kind::Integer || prop.value.integer < INT32_MIN ||
        prop.value.integer > INT32_MAX)
      throw EBrelixError(BrelixFormat(BrelixConsts::MsgBndBadValue, prop.name));
    return static_cast<int>(prop.value.integer);
  };
  if (const PropertyInfo* p = band.Class().FindProperty(short_name)) {
    reader.ReadProperty(band, *p, prop.value);
  } else if (SameText(short_name, "BandType")) {
    int type = read_integer();
    // A plain band object may take any plain role; group bands keep their own type.
    bool group_type = type == brxbtGroupHeader || type == brxbtGroupFooter;
    bool fits = dynamic_cast<TBrelixGroupBand*>(&band) ? type == band.BandType()
                                                        : (type >= 0 && type < BrelixBandTypeCount && !group_type);
    if (!fits) throw EBrelixError(BrelixFormat(BrelixConsts::MsgBndBadType, type, band.GetDisplayName()));
    band.band_type_ = static_cast<TBrelixBandType>(type);
  } else if (auto* group = dynamic_cast<TBrelixGroupBand*>(&band); group && SameText(short_name, "GroupID")) {
    group->SetGroupID(read_integer());
  } else {
    throw EBrelixError(BrelixFormat(BrelixConsts::MsgBndUnProp, prop.name));
  }
}

// ---------------------------------------------------------------------------------------------
// Band pairs

TBrelixBandPairs TBrelixBands::LoadBandsInfo(bool flag) const {
  TBrelixBandPairs pairs;
  auto add = [&](TBrelixBand* a, TBrelixBand* b) {
    if (!a && !b) return;
    pairs.First.push_back(a);
    pairs.FirstRows.push_back(a ? a->RowCount() : 0);
    pairs.Second.push_back(b);
    pairs.SecondRows.push_back(b ? b->RowCount() : 0);
  };
  add(GetNotEmptyBand(brxbtTitle), GetNotEmptyBand(brxbtSummary));
  int max_right = 1, max_width = 1;
  for (const auto& band : items_) {
    if (!band->range_blank()) {
      max_right = std::max(max_right, band->RangeRight());
      max_width = std::max(max_width, band->RangeRight() - band->RangeLeft() + 1);
    }
    auto* header = dynamic_cast<TBrelixGroupHeaderBand*>(band.get());
    if (!header) continue;
    TBrelixBand* a = header->range_blank() ? nullptr : header;
    TBrelixBand* b = header->Footer() && !header->Footer()->range_blank() ? header->Footer() : nullptr;
    if (b && flag) a = header;
    add(a, b);
  }
  auto letters = [](int column) {
    std::string address = BrelixGetRange(1, column);
    return address.substr(0, address.size() - 1);
  };
  pairs.MaxRightCol = letters(max_right);
  pairs.MaxWidthCol = letters(max_width);
  add(GetNotEmptyBand(brxbtMasterData), nullptr);
  add(GetNotEmptyBand(brxbtDetailHeader), GetNotEmptyBand(brxbtDetailFooter));
  add(GetNotEmptyBand(brxbtDetailData), nullptr);
  return pairs;
}

}  // namespace brelix
