#pragma once
// The copy manager: records the band outputs of one buffer batch as a tree of groups (the copy
// hierarchy) and, when the batch is flushed, gives the report rows their template formatting
// with few spreadsheet operations: template copies of bands, copies of earlier report rows of
// the same band sequence (chains), and doubling copies for runs of records.
//
// Output is split in two steps so that the work can be checked without a spreadsheet: Plan
// walks the tree and returns the template copies (in walk order) and the copy actions (as
// sorted 12-character texts); Execute carries a plan out on the template and report sheets.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/errors.h"
#include "runtime/BrelixAutomation.h"
#include "runtime/BrelixBand.h"

namespace brelix {

//! Failures of the copy manager that are not internal consistency checks: no level at all
//! (code 1), a band outside the level table (code 3).
class EBrelixCopyManagerError : public platform::Exception {
 public:
  using platform::Exception::Exception;
};

//! The value of a text of hexadecimal digits ("000A" gives 10, "" gives 0). Any other character
//! raises platform::EConvertError with MsgCpyMng and the code 4.
int HexStrToInt(std::string_view text);

//! One copy action: report rows Src .. Src + Count - 1 are copied to the rows from Dest on.
struct TBrelixCopyAction {
  std::uint16_t Dest = 0;
  std::uint16_t Src = 0;
  std::uint16_t Count = 0;
  friend bool operator==(const TBrelixCopyAction&, const TBrelixCopyAction&) = default;
};

//! Dest, Src and Count as three groups of 4 upper-case hexadecimal digits: sorting the texts
//! sorts the actions by destination.
std::string BrelixCopyActionText(const TBrelixCopyAction& action);
//! The action of a 12-character text (HexStrToInt on each group of 4 characters).
TBrelixCopyAction BrelixParseCopyAction(std::string_view text);

//! A band to be copied from the template sheet to a report row.
struct TBrelixTemplCopy {
  const TBrelixBand* Band = nullptr;
  int Row = 0;
  friend bool operator==(const TBrelixTemplCopy&, const TBrelixTemplCopy&) = default;
};

//! What one batch needs: template copies first, in this order, then the copy actions in the
//! order of their (sorted) texts.
struct TBrelixCopyPlan {
  std::vector<TBrelixTemplCopy> TemplCopies;
  std::vector<std::string> Actions;
};

class TBrelixCopyManager;

//! One opening of a level in the report: a title/summary pair, a group, a master record with
//! its details, a list of detail records. The root group has level -1.
class TBrelixCopyGroup {
 public:
  TBrelixCopyGroup(TBrelixCopyManager& manager, int level, int start_row);
  TBrelixCopyGroup(const TBrelixCopyGroup&) = delete;
  TBrelixCopyGroup& operator=(const TBrelixCopyGroup&) = delete;

  int Level() const { return level_; }
  TBrelixCopyGroup* Parent() const { return parent_; }
  TBrelixCopyGroup* PrevSibling() const { return prev_sibling_; }
  TBrelixCopyGroup* LastChild() const { return last_child_; }
  //! Children created (above the bottom group level) or records (bottom groups).
  int Count() const { return count_; }
  //! Report row at which the group's output in the current batch begins.
  int StartRow() const { return start_row_; }
  //! The header rows lie in the batch (or the level has no header band).
  bool HeaderCompleted() const { return header_completed_; }
  //! The group has been closed in the batch.
  bool FooterCompleted() const { return footer_completed_; }
  //! Bottom groups: leading records already covered by a chain that began before the group.
  int PartCount() const { return part_count_; }
  //! Bottom groups: records already produced or scheduled.
  int OutputCount() const { return output_count_; }
  bool HeaderOutputted() const { return header_outputted_; }
  bool FooterOutputted() const { return footer_outputted_; }

  // Navigation in the tree of the current batch; each returns none (null) at the end.
  TBrelixCopyGroup* GetFirstChild() const;
  TBrelixCopyGroup* GetNext() const;
  //! The group of the same level that precedes this one in report order, across parents, as
  //! far back as the nearest previous subtree reaches.
  TBrelixCopyGroup* AllPrev() const;
  //! Forward in band order; Down: the walk stands at the group's header side.
  TBrelixCopyGroup* NextByBand(bool down) const;
  //! Backward in band order; Down: the walk stands at the group's footer side.
  TBrelixCopyGroup* PrevByBand(bool down) const;
  //! The report row just after the group's last row in the batch.
  int GetEndRow() const;

  // Production of the batch (called by TBrelixCopyManager::Plan).
  void Output();
  void OutputHeader();
  void OutputFooter();
  void OutputDetail();
  //! Length in rows of the run from this group's start that has the band sequence of the run
  //! from group's start, at most max_len. stop: no earlier candidate can give a longer run.
  int FindHeaderChain(TBrelixCopyGroup& group, bool& stop, int max_len);
  //! Length in rows of the run ending at this group's end (back of them) that matches the run
  //! ending at group's end, extended into the next sibling's start where the rows allow.
  int FindFooterChain(TBrelixCopyGroup& group, int& back, bool& stop);
  //! Marks the first num rows from the group's start as produced.
  void MarkAsOutputtedForw(int num);
  //! Marks the last num rows before the group's end as produced.
  void MarkAsOutputtedBack(int num);

 private:
  friend class TBrelixCopyManager;

  int BottomLevel() const;
  int RecRows() const;
  int MissingRecords() const { return count_ - output_count_; }
  //! Copy source of an earlier group's records for OutputDetail: its first row and count.
  int FindDetailSource(int missing, int& src) const;
  int ExtendIntoNext(TBrelixCopyGroup& group, int back, bool& stop);

  TBrelixCopyManager& manager_;
  int level_;
  TBrelixCopyGroup* parent_ = nullptr;
  TBrelixCopyGroup* prev_sibling_ = nullptr;
  TBrelixCopyGroup* last_child_ = nullptr;
  // The forward links, kept beside the backward ones so that stepping forward costs no search.
  TBrelixCopyGroup* first_child_ = nullptr;
  TBrelixCopyGroup* next_sibling_ = nullptr;
  std::uint16_t count_ = 0;
  std::uint16_t start_row_;
  bool header_completed_ = false;
  bool footer_completed_ = false;
  std::uint16_t part_count_ = 0;
  std::uint16_t output_count_ = 0;
  bool header_outputted_ = false;
  bool footer_outputted_ = false;
};

//! Records every band output of a batch (AddBand) and produces the batch's band ranges in the
//! report sheet (Output). One manager serves one report run.
class TBrelixCopyManager {
 public:
  //! Takes the level table from bands.LoadBandsInfo(false). Throws EBrelixCopyManagerError
  //! (code 1) when no band has a range. Both sheets must outlive the manager.
  TBrelixCopyManager(const TBrelixBands& bands, automation::Worksheet& templ_sheet,
                     automation::Worksheet& report_sheet);
  TBrelixCopyManager(const TBrelixCopyManager&) = delete;
  TBrelixCopyManager& operator=(const TBrelixCopyManager&) = delete;
  ~TBrelixCopyManager();

  //! Announces a band output whose range is not empty, before its rows are written. paired is
  //! the group header band for a group footer band, else null.
  void AddBand(const TBrelixBand& band, const TBrelixBand* paired);
  //! The level of the band (of paired, when given). Throws EBrelixCopyManagerError (code 3).
  int GetHierarchy(const TBrelixBand& band, const TBrelixBand* paired) const;
  //! A new group starting at the current row, owned by the manager.
  TBrelixCopyGroup& CreateCopyGroup(int level);
  //! The chain of groups below group down to level (to level - 1 for the record level).
  TBrelixCopyGroup& CreateChildren(TBrelixCopyGroup& group, int level);

  //! Plan, then Execute on the two sheets.
  void Output();
  //! Walks the tree of the batch, returns what it needs and resets the tree for the next batch.
  TBrelixCopyPlan Plan();
  //! Template copies in order, then the copy actions in order.
  void Execute(const TBrelixCopyPlan& plan);

  //! Appends the action's text to the pending actions of the batch.
  void AddCopyAction(int dest, int src, int count);
  //! Copies report rows src .. src + count - 1, columns A to WidthColumn, and their heights to
  //! row dest.
  void DoCopyAction(int dest, int src, int count);
  //! Copies the band's template range to column A of the report row and sets the row heights;
  //! nothing for a null band.
  void CopyFromTempl(const TBrelixBand* band, int row);

  int LevelCount() const { return static_cast<int>(header_bands_.size()); }
  //! Level table entries; none and 0 outside 0 .. LevelCount - 1 (the root's level -1).
  const TBrelixBand* HeaderBand(int level) const;
  const TBrelixBand* FooterBand(int level) const;
  int HeaderRows(int level) const;
  int FooterRows(int level) const;
  //! Rows of one record of the record level (at least 1).
  int RecRows() const;
  const std::string& WidthColumn() const { return width_column_; }

  TBrelixCopyGroup& Root() { return *root_; }
  TBrelixCopyGroup& Current() { return *current_; }
  //! Next free report row.
  int Row() const { return row_; }
  const std::vector<std::string>& Actions() const { return actions_; }

 private:
  friend class TBrelixCopyGroup;

  int RecordLevel() const { return LevelCount() - 1; }
  void AddRecord(const TBrelixBand& band, int level);
  void OpenLevel(int level, bool is_header);
  void CloseTo(int level, bool is_header);
  //! Takes an incomplete record at the end of the batch out of the tree (see AddRecord).
  void DetachOpenRecord();
  void PlanTemplCopy(const TBrelixBand* band, int row);
  void ResetBatch();

  std::vector<const TBrelixBand*> header_bands_;
  std::vector<const TBrelixBand*> footer_bands_;
  std::vector<int> header_rows_;
  std::vector<int> footer_rows_;
  std::string width_column_;
  int width_col_ = 1;

  std::vector<std::unique_ptr<TBrelixCopyGroup>> groups_;
  std::unique_ptr<TBrelixCopyGroup> root_;
  TBrelixCopyGroup* current_ = nullptr;
  bool groups_created_ = false;
  int row_ = 1;
  //! Bottom group whose last record's header lies in the batch while its footer does not yet.
  TBrelixCopyGroup* open_record_group_ = nullptr;
  int open_record_row_ = 0;

  std::vector<std::string> actions_;
  std::vector<TBrelixTemplCopy> templ_copies_;
  automation::Worksheet& templ_sheet_;
  automation::Worksheet& report_sheet_;
};

}  // namespace brelix
