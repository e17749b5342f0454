#include "runtime/BrelixCopyMngr.h"

#include <algorithm>
#include <cstdio>

#include "runtime/BrelixConsts.h"
#include "runtime/BrelixProc.h"

namespace brelix {

using platform::Assert;

namespace {

//! The longest chain a header search may find: the whole sheet.
constexpr int kMaxChainLen = 65535;

//! A walker's place in band order: a group and the side of it the walk stands at (Down: the
//! header side when walking forward, the footer side when walking backward).
struct BandPos {
  TBrelixCopyGroup* group = nullptr;
  bool down = true;
};

//! A group above the bottom group level without children: its header is followed directly by
//! its footer, which NextByBand and PrevByBand would step over.
bool IsEmptyBranch(const TBrelixCopyGroup& group, int bottom_level) {
  return group.Level() < bottom_level && group.LastChild() == nullptr;
}

BandPos StepForw(BandPos pos, int bottom_level) {
  if (pos.down && IsEmptyBranch(*pos.group, bottom_level)) return {pos.group, false};
  TBrelixCopyGroup* next = pos.group->NextByBand(pos.down);
  return {next, next != nullptr && next->Level() >= pos.group->Level()};
}

BandPos StepBack(BandPos pos, int bottom_level) {
  if (pos.down && IsEmptyBranch(*pos.group, bottom_level)) return {pos.group, false};
  TBrelixCopyGroup* prev = pos.group->PrevByBand(pos.down);
  return {prev, prev != nullptr && prev->Level() >= pos.group->Level()};
}

bool InStep(const BandPos& a, const BandPos& b) { return a.group->Level() == b.group->Level() && a.down == b.down; }

}  // namespace

int HexStrToInt(std::string_view text) {
  std::uint32_t value = 0;
  for (char c : text) {
    std::uint32_t digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<std::uint32_t>(c - '0');
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<std::uint32_t>(c - 'A' + 10);
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<std::uint32_t>(c - 'a' + 10);
    } else {
      throw platform::EConvertError(BrelixFormat(BrelixConsts::MsgCpyMng, 4));
    }
    value = value * 16 + digit;
  }
  return static_cast<int>(value);
}

std::string BrelixCopyActionText(const TBrelixCopyAction& action) {
  char text[16];
  std::snprintf(text, sizeof text, "%04X%04X%04X", unsigned{action.Dest}, unsigned{action.Src},
                unsigned{action.Count});
  return text;
}

TBrelixCopyAction BrelixParseCopyAction(std::string_view text) {
  auto part = [&](std::size_t at) {
    return static_cast<std::uint16_t>(HexStrToInt(text.substr(std::min(at, text.size()), 4)));
  };
  return {part(0), part(4), part(8)};
}

// ---------------------------------------------------------------------------------------------
// TBrelixCopyGroup: navigation

TBrelixCopyGroup::TBrelixCopyGroup(TBrelixCopyManager& manager, int level, int start_row)
    : manager_(manager), level_(level), start_row_(static_cast<std::uint16_t>(start_row)) {}

int TBrelixCopyGroup::BottomLevel() const { return manager_.LevelCount() - 2; }

int TBrelixCopyGroup::RecRows() const { return manager_.RecRows(); }

TBrelixCopyGroup* TBrelixCopyGroup::GetFirstChild() const { return first_child_; }

TBrelixCopyGroup* TBrelixCopyGroup::GetNext() const { return next_sibling_; }

TBrelixCopyGroup* TBrelixCopyGroup::AllPrev() const {
  if (prev_sibling_ != nullptr) return prev_sibling_;
  TBrelixCopyGroup* found = nullptr;
  for (const TBrelixCopyGroup* a = parent_; a != nullptr && a->level_ >= 0 && found == nullptr; a = a->parent_) {
    found = a->prev_sibling_;
  }
  // Down the nearest previous subtree only: a gap there ends the search.
  while (found != nullptr && found->level_ != level_) found = found->last_child_;
  return found;
}

TBrelixCopyGroup* TBrelixCopyGroup::NextByBand(bool down) const {
  if (down && last_child_ != nullptr) return GetFirstChild();
  if (TBrelixCopyGroup* next = GetNext()) return next;
  return level_ != 0 ? parent_ : nullptr;
}

TBrelixCopyGroup* TBrelixCopyGroup::PrevByBand(bool down) const {
  if (down && last_child_ != nullptr) return last_child_;
  if (prev_sibling_ != nullptr) return prev_sibling_;
  return level_ != 0 ? parent_ : nullptr;
}

int TBrelixCopyGroup::GetEndRow() const {
  const TBrelixCopyGroup* g = this;
  int footers = 0;
  while (g->GetNext() == nullptr && g->parent_ != nullptr && g->parent_ != manager_.root_.get()) {
    g = g->parent_;
    footers += manager_.FooterRows(g->level_);
  }
  if (const TBrelixCopyGroup* next = g->GetNext()) return next->start_row_ - footers;

  // The open end of the batch: the rows reach to the end of the deepest last descendant.
  int total = 0;
  const TBrelixCopyGroup* d = this;
  for (; d->last_child_ != nullptr; d = d->last_child_) {
    if (d->footer_completed_) total += manager_.FooterRows(d->level_);
  }
  if (d->footer_completed_) total += manager_.FooterRows(d->level_);
  if (d->header_completed_) total += manager_.HeaderRows(d->level_);
  return d->start_row_ + d->count_ * RecRows() + total;
}

// ---------------------------------------------------------------------------------------------
// TBrelixCopyGroup: output

void TBrelixCopyGroup::Output() {
  if (!header_outputted_ && header_completed_) OutputHeader();
  if (!footer_outputted_ && footer_completed_) OutputFooter();
  if (level_ < BottomLevel()) {
    for (TBrelixCopyGroup* child = GetFirstChild(); child != nullptr; child = child->GetNext()) child->Output();
  } else if (output_count_ != count_) {
    OutputDetail();
  }
}

void TBrelixCopyGroup::OutputHeader() {
  TBrelixCopyGroup* best = nullptr;
  int best_len = 0;
  for (TBrelixCopyGroup* p = AllPrev(); p != nullptr; p = p->AllPrev()) {
    bool stop = false;
    const int len = FindHeaderChain(*p, stop, kMaxChainLen);
    if (len > best_len) {
      best_len = len;
      best = p;
    }
    if (stop) break;
  }
  if (best_len > 0) {
    MarkAsOutputtedForw(best_len);
    manager_.AddCopyAction(start_row_, best->start_row_, best_len);
  } else {
    manager_.PlanTemplCopy(manager_.HeaderBand(level_), start_row_);
    header_outputted_ = true;
  }
}

void TBrelixCopyGroup::OutputFooter() {
  TBrelixCopyGroup* best = nullptr;
  int best_len = 0;
  int best_back = 0;
  for (TBrelixCopyGroup* p = AllPrev(); p != nullptr; p = p->AllPrev()) {
    bool stop = false;
    int back = 0;
    const int len = FindFooterChain(*p, back, stop);
    if (len > best_len) {
      best_len = len;
      best_back = back;
      best = p;
    }
    if (stop) break;
  }
  if (best_len > 0) {
    MarkAsOutputtedBack(best_back);
    if (best_len != best_back) GetNext()->MarkAsOutputtedForw(best_len - best_back);
    manager_.AddCopyAction(GetEndRow() - best_back, best->GetEndRow() - best_back, best_len);
  } else {
    manager_.PlanTemplCopy(manager_.FooterBand(level_), GetEndRow() - manager_.FooterRows(level_));
    footer_outputted_ = true;
  }
}

int TBrelixCopyGroup::FindDetailSource(int missing, int& src) const {
  int best = 0;
  for (const TBrelixCopyGroup* p = AllPrev(); p != nullptr; p = p->AllPrev()) {
    if (p->count_ <= best) continue;
    src = p->start_row_ + (p->header_completed_ ? manager_.HeaderRows(level_) : 0);
    best = p->count_;
    if (missing <= best) break;
  }
  return best;
}

void TBrelixCopyGroup::OutputDetail() {
  Assert(level_ == BottomLevel(), BrelixConsts::AssCM17);
  if (count_ == 0) return;
  const int rec = RecRows();
  int dest = start_row_ + part_count_ * rec + (header_completed_ ? manager_.HeaderRows(level_) : 0);
  int src = 0;
  int best = FindDetailSource(MissingRecords(), src);
  bool doubling = best == 0;
  if (doubling) {
    // One record from the template; the copies then double the records at src.
    src = dest;
    manager_.PlanTemplCopy(manager_.HeaderBand(level_ + 1), dest);
    manager_.PlanTemplCopy(manager_.FooterBand(level_ + 1), dest + manager_.HeaderRows(level_ + 1));
    dest += rec;
    ++output_count_;
    best = 1;
  }
  const int start = dest;
  while (output_count_ != count_) {
    const int n = std::min(MissingRecords(), best);
    manager_.AddCopyAction(dest, src, n * rec);
    dest += n * rec;
    output_count_ = static_cast<std::uint16_t>(output_count_ + n);
    if (doubling) {
      best *= 2;
    } else if (MissingRecords() > 2 * best) {
      doubling = true;
      src = start;
    }
  }
  part_count_ = 0;
}

int TBrelixCopyGroup::FindHeaderChain(TBrelixCopyGroup& group, bool& stop, int max_len) {
  Assert(group.level_ == level_, BrelixConsts::AssCM7);
  Assert(!header_outputted_, BrelixConsts::AssCM8);
  const int rec = RecRows();
  int result = 0;
  BandPos from{&group, true};
  BandPos to{this, true};
  stop = false;
  while (!stop && InStep(from, to) && from.group != this) {
    TBrelixCopyGroup& f = *from.group;
    TBrelixCopyGroup& t = *to.group;
    const int lvl = f.level_;
    if (lvl == BottomLevel()) {
      Assert(t.header_completed_, BrelixConsts::AssCM9);
      if (!f.header_completed_) break;
      result += manager_.HeaderRows(lvl);
      const int missing = t.MissingRecords();
      int n = missing >= f.count_ ? f.count_ : missing;
      const int fit = std::max(0, (max_len - result) / rec);
      const bool cut = n > fit;
      if (cut) n = fit;
      result += n * rec;
      if (f.count_ == t.count_ && !t.footer_outputted_ && t.footer_completed_ && !cut &&
          manager_.FooterRows(lvl) <= max_len - result) {
        result += manager_.FooterRows(lvl);
      } else {
        stop = n == missing && (!t.footer_completed_ || t.footer_outputted_);
        break;
      }
    } else if (from.down) {
      Assert(t.header_completed_, BrelixConsts::AssCM9);
      if (!f.header_completed_) break;
      result += manager_.HeaderRows(lvl);
    } else {
      Assert(f.footer_completed_, BrelixConsts::AssCM11);
      if (!t.footer_completed_) {
        stop = true;
        break;
      }
      result += manager_.FooterRows(lvl);
    }
    const BandPos next_from = StepForw(from, BottomLevel());
    const BandPos next_to = StepForw(to, BottomLevel());
    const bool ended = next_from.group == nullptr || next_to.group == nullptr;
    if (ended) {
      // A walker without a next group ends the walk. The rows counted so far are a valid
      // chain; when the "Copy to" walker has run out, nothing follows it in the batch, so no
      // other source can give a longer chain.
      stop = next_to.group == nullptr;
    } else {
      from = next_from;
      to = next_to;
      stop = to.down ? to.group->header_outputted_ : to.group->footer_outputted_;
    }
    if (result >= max_len) {
      if (result > max_len) stop = false;
      result = max_len;
      break;
    }
    if (ended) break;
  }
  Assert(result <= max_len, BrelixConsts::AssCM12);
  return result;
}

int TBrelixCopyGroup::FindFooterChain(TBrelixCopyGroup& group, int& back, bool& stop) {
  Assert(group.level_ == level_, BrelixConsts::AssCM0);
  Assert(!footer_outputted_, BrelixConsts::AssCM1);
  const int rec = RecRows();
  int result = 0;
  BandPos from{&group, true};
  BandPos to{this, true};
  stop = false;
  while (!stop && InStep(from, to) && to.group != &group) {
    TBrelixCopyGroup& f = *from.group;
    TBrelixCopyGroup& t = *to.group;
    const int lvl = f.level_;
    if (lvl == BottomLevel()) {
      Assert(f.footer_completed_, BrelixConsts::AssCM2);
      Assert(t.footer_completed_, BrelixConsts::AssCM3);
      const int missing = t.MissingRecords();
      const int n = missing >= f.count_ ? f.count_ : missing;
      result += manager_.FooterRows(lvl) + n * rec;
      if (f.count_ == t.count_ && !t.header_outputted_ && f.header_completed_) {
        result += manager_.HeaderRows(lvl);
      } else {
        stop = n == missing && t.header_outputted_;
        break;
      }
    } else if (from.down) {
      Assert(f.footer_completed_, BrelixConsts::AssCM2);
      Assert(t.footer_completed_, BrelixConsts::AssCM3);
      result += manager_.FooterRows(lvl);
    } else {
      Assert(t.header_completed_, BrelixConsts::AssCM6);
      if (!f.header_completed_) break;
      result += manager_.HeaderRows(lvl);
    }
    const BandPos next_from = StepBack(from, BottomLevel());
    const BandPos next_to = StepBack(to, BottomLevel());
    if (next_from.group == nullptr || next_to.group == nullptr) {
      // The walk ends at the start of the batch; only a "Copy to" walker that has run out
      // makes the chain the longest possible.
      stop = next_to.group == nullptr;
      break;
    }
    from = next_from;
    to = next_to;
    stop = to.down ? to.group->footer_outputted_ : to.group->header_outputted_;
  }
  back = result;
  return ExtendIntoNext(group, result, stop);
}

int TBrelixCopyGroup::ExtendIntoNext(TBrelixCopyGroup& group, int back, bool& stop) {
  TBrelixCopyGroup* to_next = GetNext();
  if (to_next == nullptr || to_next->header_outputted_) return back;
  TBrelixCopyGroup* from_next = group.GetNext();
  if (from_next == nullptr) {
    stop = false;
    return back;
  }
  // The rows after the source's end must stay above the destination.
  const int gap = GetEndRow() - group.GetEndRow() - back;
  if (gap <= 0) return back;
  bool stop_next = false;
  const int len = to_next->FindHeaderChain(*from_next, stop_next, gap);
  stop = stop && stop_next;
  return back + len;
}

void TBrelixCopyGroup::MarkAsOutputtedForw(int num) {
  const int rec = RecRows();
  for (BandPos pos{this, true}; pos.group != nullptr; pos = StepForw(pos, BottomLevel())) {
    TBrelixCopyGroup& g = *pos.group;
    const int lvl = g.level_;
    if (pos.down) {
      if (manager_.HeaderRows(lvl) > num) break;
      num -= manager_.HeaderRows(lvl);
      g.header_outputted_ = true;
    }
    if (lvl == BottomLevel()) {
      const int k = std::min<int>(g.count_, num / rec);
      num -= k * rec;
      const int output_count = g.output_count_ + k;
      Assert(output_count <= g.count_, BrelixConsts::AssCM15);
      g.output_count_ = static_cast<std::uint16_t>(output_count);
      if (g.count_ > k) {
        g.part_count_ = static_cast<std::uint16_t>(k);
        break;
      }
    }
    if (!pos.down || lvl == BottomLevel()) {
      if (manager_.FooterRows(lvl) > num) break;
      num -= manager_.FooterRows(lvl);
      g.footer_outputted_ = true;
    }
  }
  Assert(num == 0, BrelixConsts::AssCM16);
}

void TBrelixCopyGroup::MarkAsOutputtedBack(int num) {
  const int rec = RecRows();
  for (BandPos pos{this, true}; pos.group != nullptr; pos = StepBack(pos, BottomLevel())) {
    TBrelixCopyGroup& g = *pos.group;
    const int lvl = g.level_;
    if (pos.down) {
      if (manager_.FooterRows(lvl) > num) break;
      num -= manager_.FooterRows(lvl);
      g.footer_outputted_ = true;
    }
    if (lvl == BottomLevel()) {
      const int k = std::min<int>(g.count_, num / rec);
      num -= k * rec;
      const int output_count = g.output_count_ + k;
      Assert(output_count <= g.count_, BrelixConsts::AssCM13);
      g.output_count_ = static_cast<std::uint16_t>(output_count);
      // The records covered are the last ones, so the leading count stays.
      if (g.count_ > k) break;
    }
    if (!pos.down || lvl == BottomLevel()) {
      if (manager_.HeaderRows(lvl) > num) break;
      num -= manager_.HeaderRows(lvl);
      g.header_outputted_ = true;
    }
  }
  Assert(num == 0, BrelixConsts::AssCM14);
}

// ---------------------------------------------------------------------------------------------
// TBrelixCopyManager

TBrelixCopyManager::TBrelixCopyManager(const TBrelixBands& bands, automation::Worksheet& templ_sheet,
                                       automation::Worksheet& report_sheet)
    : root_(std::make_unique<TBrelixCopyGroup>(*this, -1, 1)),
      templ_sheet_(templ_sheet),
      report_sheet_(report_sheet) {
  current_ = root_.get();
  TBrelixBandPairs pairs = bands.LoadBandsInfo(false);
  header_bands_.assign(pairs.First.begin(), pairs.First.end());
  footer_bands_.assign(pairs.Second.begin(), pairs.Second.end());
  header_rows_ = std::move(pairs.FirstRows);
  footer_rows_ = std::move(pairs.SecondRows);
  width_column_ = pairs.MaxWidthCol;
  width_col_ = BrelixGetRangeColumn(width_column_);
  if (LevelCount() == 0) throw EBrelixCopyManagerError(BrelixFormat(BrelixConsts::MsgCpyMng, 1));
}

TBrelixCopyManager::~TBrelixCopyManager() = default;

const TBrelixBand* TBrelixCopyManager::HeaderBand(int level) const {
  return level >= 0 && level < LevelCount() ? header_bands_[static_cast<std::size_t>(level)] : nullptr;
}

const TBrelixBand* TBrelixCopyManager::FooterBand(int level) const {
  return level >= 0 && level < LevelCount() ? footer_bands_[static_cast<std::size_t>(level)] : nullptr;
}

int TBrelixCopyManager::HeaderRows(int level) const {
  return level >= 0 && level < LevelCount() ? header_rows_[static_cast<std::size_t>(level)] : 0;
}

int TBrelixCopyManager::FooterRows(int level) const {
  return level >= 0 && level < LevelCount() ? footer_rows_[static_cast<std::size_t>(level)] : 0;
}

int TBrelixCopyManager::RecRows() const {
  return std::max(1, HeaderRows(RecordLevel()) + FooterRows(RecordLevel()));
}

int TBrelixCopyManager::GetHierarchy(const TBrelixBand& band, const TBrelixBand* paired) const {
  const TBrelixBand* wanted = paired != nullptr ? paired : &band;
  for (int level = 0; level < LevelCount(); ++level) {
    if (HeaderBand(level) == wanted || FooterBand(level) == wanted) return level;
  }
  throw EBrelixCopyManagerError(BrelixFormat(BrelixConsts::MsgCpyMng, 3));
}

TBrelixCopyGroup& TBrelixCopyManager::CreateCopyGroup(int level) {
  groups_.push_back(std::make_unique<TBrelixCopyGroup>(*this, level, row_));
  return *groups_.back();
}

TBrelixCopyGroup& TBrelixCopyManager::CreateChildren(TBrelixCopyGroup& group, int level) {
  const int deepest = level == RecordLevel() ? level - 1 : level;
  TBrelixCopyGroup* parent = &group;
  for (int l = group.level_ + 1; l <= deepest; ++l) {
    ++parent->count_;
    TBrelixCopyGroup& child = CreateCopyGroup(l);
    child.parent_ = parent;
    child.prev_sibling_ = parent->last_child_;
    if (parent->last_child_ != nullptr) {
      parent->last_child_->next_sibling_ = &child;
    } else {
      parent->first_child_ = &child;
    }
    // The first groups of a batch stand for groups opened in an earlier batch.
    child.header_completed_ = groups_created_ || HeaderBand(l) == nullptr;
    child.footer_completed_ = false;
    parent->last_child_ = &child;
    parent = &child;
  }
  groups_created_ = true;
  return *parent;
}

void TBrelixCopyManager::AddBand(const TBrelixBand& band, const TBrelixBand* paired) {
  const int level = GetHierarchy(band, paired);
  const bool is_header = band.BandType() <= brxbtDetailData;
  if (level == RecordLevel()) {
    AddRecord(band, level);
  } else if (current_->level_ < level) {
    OpenLevel(level, is_header);
  } else {
    CloseTo(level, is_header);
  }
  row_ += is_header ? HeaderRows(level) : FooterRows(level);
}

void TBrelixCopyManager::AddRecord(const TBrelixBand& band, int level) {
  // A record of two bands may be cut by a flush between its header and its footer. Its part in
  // a batch is then not a whole record, so it stays out of the tree and is copied from the
  // template on its own: the footer here, the header when the batch is planned.
  const bool two_bands = HeaderBand(level) != nullptr && FooterBand(level) != nullptr;
  if (two_bands && &band == FooterBand(level)) {
    if (open_record_group_ == nullptr) {
      // The first band of the batch: what follows starts below it.
      PlanTemplCopy(&band, row_);
      root_->start_row_ = static_cast<std::uint16_t>(row_ + FooterRows(level));
    }
    open_record_group_ = nullptr;
    return;
  }
  if (current_->level_ + 1 != level) {
    current_ = &CreateChildren(*current_, level - 1);
    current_->count_ = 1;
  } else {
    ++current_->count_;
  }
  if (two_bands) {
    open_record_group_ = current_;
    open_record_row_ = row_;
  }
}

void TBrelixCopyManager::OpenLevel(int level, bool is_header) {
  const bool groups_created = groups_created_;
  current_ = &CreateChildren(*current_, level);
  if (is_header) {
    if (!groups_created) current_->header_completed_ = true;
    return;
  }
  // A footer that opens its level closes the group at once (as the first band of a batch it
  // closes a group opened in an earlier batch); the next band falls into the parent, as after
  // any other footer.
  current_->footer_completed_ = true;
  current_ = current_->parent_;
}

void TBrelixCopyManager::CloseTo(int level, bool is_header) {
  while (current_->level_ != level - 1) {
    current_->footer_completed_ = true;
    current_ = current_->parent_;
  }
  if (is_header) current_ = &CreateChildren(*current_, level);
}

void TBrelixCopyManager::DetachOpenRecord() {
  if (open_record_group_ == nullptr) return;
  --open_record_group_->count_;
  PlanTemplCopy(HeaderBand(RecordLevel()), open_record_row_);
  open_record_group_ = nullptr;
}

void TBrelixCopyManager::PlanTemplCopy(const TBrelixBand* band, int row) {
  if (band != nullptr) templ_copies_.push_back({band, row});
}

void TBrelixCopyManager::AddCopyAction(int dest, int src, int count) {
  actions_.push_back(BrelixCopyActionText({static_cast<std::uint16_t>(dest), static_cast<std::uint16_t>(src),
                                           static_cast<std::uint16_t>(count)}));
}

TBrelixCopyPlan TBrelixCopyManager::Plan() {
  DetachOpenRecord();
  TBrelixCopyGroup& root = *root_;
  if (root.last_child_ == nullptr) {
    if (root.header_completed_ || root.footer_completed_ || root.count_ > 0) root.OutputDetail();
  } else {
    for (TBrelixCopyGroup* child = root.GetFirstChild(); child != nullptr; child = child->GetNext()) child->Output();
  }
  std::sort(actions_.begin(), actions_.end());
  TBrelixCopyPlan plan{std::move(templ_copies_), std::move(actions_)};
  ResetBatch();
  return plan;
}

void TBrelixCopyManager::ResetBatch() {
  TBrelixCopyGroup& root = *root_;
  root.start_row_ = static_cast<std::uint16_t>(row_);
  root.last_child_ = root.first_child_ = nullptr;
  root.prev_sibling_ = root.next_sibling_ = nullptr;
  root.count_ = 0;
  root.part_count_ = 0;
  root.output_count_ = 0;
  root.header_completed_ = root.footer_completed_ = false;
  root.header_outputted_ = root.footer_outputted_ = false;
  current_ = &root;
  groups_created_ = false;
  actions_.clear();
  templ_copies_.clear();
}

void TBrelixCopyManager::Output() { Execute(Plan()); }

void TBrelixCopyManager::Execute(const TBrelixCopyPlan& plan) {
  for (const TBrelixTemplCopy& copy : plan.TemplCopies) CopyFromTempl(copy.Band, copy.Row);
  for (const std::string& text : plan.Actions) {
    const TBrelixCopyAction action = BrelixParseCopyAction(text);
    DoCopyAction(action.Dest, action.Src, action.Count);
  }
}

void TBrelixCopyManager::DoCopyAction(int dest, int src, int count) {
  const automation::Range source = report_sheet_.GetRange(src, 1, src + count - 1, width_col_);
  const automation::Range target = report_sheet_.GetRange(dest, 1, dest, 1);
  source.Sheet().Copy(source.Rect(), target.Sheet(), target.Rect());
  // The copied rows are the same bands as their source, so they get the source rows' heights
  // too; a copy of cells alone would leave a band of a taller template row at the default height.
  for (int i = 0; i < count; ++i) {
    const double height = report_sheet_.GetRowHeight(src + i);
    if (height != report_sheet_.GetRowHeight(dest + i))
      report_sheet_.SetRowHeight(report_sheet_.GetRange(dest + i, 1, dest + i, 1).Rect(), height);
  }
}

void TBrelixCopyManager::CopyFromTempl(const TBrelixBand* band, int row) {
  if (band == nullptr) return;
  const int first_row = band->RangeTop();
  const int last_row = band->RangeBottom();
  const automation::Range source = templ_sheet_.GetRange(first_row, band->RangeLeft(), last_row, band->RangeRight());
  const automation::Range target = report_sheet_.GetRange(row, 1, row, 1);
  source.Sheet().Copy(source.Rect(), target.Sheet(), target.Rect());
  for (int i = 0; i <= last_row - first_row; ++i) {
    const automation::Range report_row = report_sheet_.GetRange(row + i, 1, row + i, 1);
    report_sheet_.AutoFitRows(report_row.Rect());
    const double templ_height = templ_sheet_.GetRowHeight(first_row + i);
    if (templ_height != report_sheet_.GetRowHeight(row + i)) report_sheet_.SetRowHeight(report_row.Rect(), templ_height);
  }
}

}  // namespace brelix
