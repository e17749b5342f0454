#pragma once
// The band model: band items (a role, a range of the template sheet, grouping settings for
// group bands), their display names and order, and the band collection with its own form-file
// format, in which group footers come before the group headers that link them.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/component.h"
#include "platform/event.h"
#include "platform/filer.h"

namespace brelix {

class TBrelix;
class TBrelixBands;

enum TBrelixBandType : std::uint8_t {
  brxbtTitle = 0,
  brxbtGroupHeader = 1,
  brxbtMasterData = 2,
  brxbtDetailHeader = 3,
  brxbtDetailData = 4,
  brxbtDetailFooter = 5,
  brxbtGroupFooter = 6,
  brxbtSummary = 7,
};
inline constexpr int BrelixBandTypeCount = 8;

//! "Title", "GroupHeader", ... "Summary".
const char* BrelixBandTypeName(TBrelixBandType type);

class TBrelixBand : public platform::Persistent {
  BRELIX_PERSISTENT_CLASS
 public:
  TBrelixBand(TBrelixBands* bands, TBrelixBandType band_type);

  TBrelixBands* Bands() const { return bands_; }
  TBrelixBandType BandType() const { return band_type_; }
  int ID() const { return id_; }
  const std::string& Range() const { return range_; }
  //! Stores the text; nothing checks it until a report runs.
  void SetRange(std::string range) { range_ = std::move(range); }

  //! Position in the collection, or -1 without one.
  int Index() const;
  //! Row of the first cell, row of the last cell, column of the first, column of the last cell
  //! of Range; all 0 when Range is blank.
  int RangeTop() const;
  int RangeBottom() const;
  int RangeLeft() const;
  int RangeRight() const;
  //! Number of rows of Range (0 when blank).
  int RowCount() const { return RangeBottom() - RangeTop() + (range_blank() ? 0 : 1); }

  std::string DisplayName() const { return GetDisplayName(); }
  virtual std::string GetDisplayName() const;
  //! -1, 0 or 1: the order the collection keeps its bands in.
  virtual int Compare(const TBrelixBand& other) const;
  //! True when both bands have the same stored settings.
  virtual bool IsEqual(const TBrelixBand& other) const;

  platform::Persistent* GetOwner() const override;
  std::string GetNamePath() const override;

 protected:
  bool range_blank() const;

 private:
  friend class TBrelixBands;
  TBrelixBands* bands_;
  TBrelixBandType band_type_;
  int id_ = 0;
  std::string range_;
};

class TBrelixGroupBand : public TBrelixBand {
  BRELIX_PERSISTENT_CLASS
 public:
  TBrelixGroupBand(TBrelixBands* bands, TBrelixBandType band_type);

  int GroupID() const { return group_id_; }
  void SetGroupID(int id) { group_id_ = id; }
  //! One more than the largest GroupID among the collection's bands of this band's type.
  int GetNextGroupId() const;

  std::string GetDisplayName() const override;
  int Compare(const TBrelixBand& other) const override;
  bool IsEqual(const TBrelixBand& other) const override;

 private:
  int group_id_ = 0;
};

class TBrelixGroupFooterBand;

//! (Sender, in-out GroupValue): computes the group value when the header names no field.
using TBrelixCalcExpressionEvent = platform::Event<void(TBrelixBand& sender, std::string& group_value)>;

class TBrelixGroupHeaderBand : public TBrelixGroupBand {
  BRELIX_PERSISTENT_CLASS
 public:
  explicit TBrelixGroupHeaderBand(TBrelixBands* bands);

  bool CaseInsensitiveCompare() const { return case_insensitive_compare_; }
  void SetCaseInsensitiveCompare(bool value) { case_insensitive_compare_ = value; }
  const std::string& FieldName() const { return field_name_; }
  void SetFieldName(std::string name) { field_name_ = std::move(name); }
  TBrelixGroupFooterBand* Footer() const { return footer_; }
  //! Links a footer of the same collection (or none) and re-sorts the old and the new footer.
  void SetFooter(TBrelixGroupFooterBand* footer);
  //! The linked footer's display name without its " - GH..." suffix; empty without a footer.
  std::string GetFooterBand() const;
  //! Links the footer of that display name (case-insensitive, trimmed); blank unlinks.
  void SetFooterBand(const std::string& name);

  TBrelixCalcExpressionEvent OnCalcExpression;

  //! The group value of the current record: the text of FieldName in the report's DataSet, else
  //! what OnCalcExpression gives, else the empty text.
  std::string CalcGroupExpr();

  bool IsEqual(const TBrelixBand& other) const override;

 private:
  //! Reports a footer that cannot be linked: a message box while designing, else EBrelixError.
  void FooterError(const TBrelixBands* bands) const;

  bool case_insensitive_compare_ = true;
  std::string field_name_;
  TBrelixGroupFooterBand* footer_ = nullptr;
};

class TBrelixGroupFooterBand : public TBrelixGroupBand {
  BRELIX_PERSISTENT_CLASS
 public:
  explicit TBrelixGroupFooterBand(TBrelixBands* bands);

  //! The header with the highest index that links this footer, or null.
  TBrelixGroupHeaderBand* GetLastHeaderBand() const;
  std::string GetDisplayName() const override;
  int Compare(const TBrelixBand& other) const override;
};

//! Band pairs of LoadBandsInfo: parallel lists of (first band, second band) with their row
//! counts; the position of a pair tells which bands lie inside which.
struct TBrelixBandPairs {
  std::vector<TBrelixBand*> First;
  std::vector<TBrelixBand*> Second;
  std::vector<int> FirstRows;
  std::vector<int> SecondRows;
  std::string MaxRightCol;  //!< column letters of the rightmost last cell of any band
  std::string MaxWidthCol;  //!< column letters of the widest band's width as a column number

  std::size_t Count() const { return First.size(); }
};

class TBrelixBands : public platform::Persistent {
  BRELIX_PERSISTENT_CLASS
 public:
  //! owner: the report holding the collection (may be null).
  explicit TBrelixBands(platform::Component* owner);
  ~TBrelixBands() override;

  //! A new band of the type (a group header or footer object for those types), inserted after
  //! every band of the same or a lower type.
  TBrelixBand& AddBand(TBrelixBandType band_type);
  int Count() const { return static_cast<int>(items_.size()); }
  TBrelixBand& Items(int index) const { return *items_.at(static_cast<std::size_t>(index)); }
  int GetBandCount(TBrelixBandType band_type) const;
  //! The first band of the type whose Range is not blank, or null.
  TBrelixBand* GetNotEmptyBand(TBrelixBandType band_type) const;
  //! The band that received this ID on insertion, or null.
  TBrelixBand* FindItemID(int id) const;

  //! Takes a band into the collection at its type's place and gives it the next ID.
  TBrelixBand& InsertItem(std::unique_ptr<TBrelixBand> band);
  //! Takes a band out of the collection (unlinking footers) and hands it back.
  std::unique_ptr<TBrelixBand> RemoveItem(TBrelixBand& band);
  //! Called before the band at an index is destroyed by Delete.
  virtual void Deleting(TBrelixBand& band);
  void Delete(int index);
  void Clear();
  //! Moves a band to its sorted place.
  void RearrangeItem(TBrelixBand& band);

  //! Replaces the bands by copies of the source collection's bands.
  void Assign(const platform::Persistent& source) override;
  void DefineProperties(platform::Filer& filer) override;

  platform::Component* Owner() const { return owner_; }
  //! The report holding the collection, or null.
  TBrelix* Report() const;
  //! The name of the owner's property holding this collection ("Bands").
  const std::string& GetPropName() const;
  platform::Persistent* GetOwner() const override;
  std::string GetNamePath() const override;

  //! The band pairs (see TBrelixBandPairs). With flag set, a header whose own range is blank is
  //! still paired with its footer.
  TBrelixBandPairs LoadBandsInfo(bool flag) const;

 private:
  int IndexOf(const TBrelixBand& band) const;
  void UnlinkHeadersOf(TBrelixGroupFooterBand& footer);
  bool DiffersFrom(const TBrelixBands* ancestor) const;
  void ReadItems(platform::PropertyReader& reader);
  platform::FormValue WriteItems(platform::PropertyWriter& writer) const;
  void ReadBandProperty(platform::PropertyReader& reader, TBrelixBand& band, const platform::FormProperty& prop);

  std::vector<std::unique_ptr<TBrelixBand>> items_;
  int next_id_ = 0;
  mutable std::string prop_name_;
  platform::Component* owner_;
  int band_count_ = 0;
  int group_header_band_count_ = 0;
  int group_footer_band_count_ = 0;
};

}  // namespace brelix
