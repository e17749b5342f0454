#pragma once
// The dataset abstraction: a cursor over records with named, typed fields; data sources through
// which a detail dataset follows its master's current record.
//
// Drivers give rows forward only (DoFetch). The dataset keeps the last rows it fetched in a small
// window, so that Prior steps back without re-running the query and without holding the whole
// result. After Next has gone past the last record, Eof is true and the fields still show the
// last record.

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/component.h"
#include "platform/errors.h"
#include "platform/variant.h"

namespace brelix::platform {

enum class FieldType { Unknown, String, Integer, Float, Currency, Boolean, Date, Time, DateTime, Blob, Null };
//! "String", "Integer", ... for messages.
const char* FieldTypeName(FieldType type);

//! A failure of a dataset or its database; the message names the component and carries the
//! driver's own text.
class EDatabaseError : public Exception {
 public:
  using Exception::Exception;
};

class DataSet;
class DataSource;

//! One field of a dataset; its value is that of the current record.
class Field {
 public:
  Field(DataSet& dataset, std::string name, FieldType type, std::size_t index)
      : dataset_(dataset), name_(std::move(name)), type_(type), index_(index) {}
  Field(const Field&) = delete;
  Field& operator=(const Field&) = delete;

  const std::string& FieldName() const { return name_; }
  FieldType DataType() const { return type_; }
  std::size_t Index() const { return index_; }
  DataSet& GetDataSet() const { return dataset_; }
  //! The value in the current record; null when the dataset has no record.
  const Variant& Value() const;
  //! The text form in the user's language: decimal separator, floats with up to 15 significant
  //! digits, dates in the short date form, times as hours, minutes and seconds; null gives "".
  std::string AsString() const;
  //! The numeric value; an empty or null field gives 0.
  double AsFloat() const;
  bool IsNull() const { return Value().IsNull() || Value().IsEmpty(); }

 private:
  DataSet& dataset_;
  std::string name_;
  FieldType type_;
  std::size_t index_;
};

class DataSet : public Component {
  BRELIX_PERSISTENT_CLASS
 public:
  //! A column a driver reports when it opens.
  struct Column {
    std::string name;
    FieldType type = FieldType::String;
  };
  //! How many of the last fetched records Prior can step back to without re-running.
  static constexpr std::size_t kWindow = 64;

  DataSet() = default;
  ~DataSet() override;

  bool Active() const { return active_; }
  //! Opens (runs the query, at the first record) or closes the dataset.
  void SetActive(bool active);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }

  //! To the first record (re-reading from the start when the window no longer holds it).
  void First();
  //! To the next record; past the last one Eof becomes true and the last record stays current.
  void Next();
  //! To the record before; at the first one Bof becomes true.
  void Prior();
  bool Eof() const;
  bool Bof() const;
  //! True when the dataset is open and has no record at all.
  bool IsEmpty() const;
  //! The 1-based number of the current record, 0 without one.
  std::int64_t RecNo() const;

  std::size_t FieldCount() const { return fields_.size(); }
  Field& Fields(std::size_t index) const { return *fields_.at(index); }
  //! The field of that name (case-insensitive), or null. Opens a closed dataset's fields only
  //! when it is active.
  Field* FindField(std::string_view name) const;
  //! Like FindField; a missing field raises EDatabaseError naming field and dataset.
  Field& FieldByName(std::string_view name) const;
  std::vector<std::string> FieldNames() const;

  //! Runs the dataset again from its first record (for example after its parameters changed).
  void Refresh();

  //! The value of a field in the current record.
  const Variant& CurrentValue(std::size_t index) const;

 protected:
  //! Opens the source at its first row and tells its columns.
  virtual std::vector<Column> DoOpen() = 0;
  //! The next row of the source into row (sized to the columns); false at its end.
  virtual bool DoFetch(std::vector<Variant>& row) = 0;
  //! Releases what DoOpen acquired (a prepared statement may be kept for the next open).
  virtual void DoClose() = 0;
  //! Called when the current record of a master this dataset follows changed; the default
  //! does nothing. Detail queries re-run (lazily, on their next use).
  virtual void MasterChanged() {}
  //! Marks the dataset to be re-run before its next use.
  void Invalidate() { stale_ = true; }
  //! Raises EDatabaseError "<Name>: <text>".
  [[noreturn]] void Fail(const std::string& text) const;

 private:
  friend class DataSource;
  void Reopen();
  void EnsureFresh() const;
  bool FetchInto();
  void RecordChanged();
  void ResetCursor();

  bool active_ = false;
  mutable bool stale_ = false;
  std::vector<std::unique_ptr<Field>> fields_;
  std::deque<std::vector<Variant>> window_;  //!< the last fetched rows, oldest first
  std::vector<Variant> spare_;               //!< a row buffer to reuse
  std::size_t pos_ = 0;                      //!< current row's place in window_
  std::int64_t first_rec_no_ = 1;            //!< record number of window_.front()
  bool eof_ = true;
  bool bof_ = true;
  bool source_done_ = false;
  std::vector<DataSource*> sources_;         //!< data sources naming this dataset
};

//! Names a dataset, so that detail datasets can follow their master's current record.
class DataSource : public Component {
  BRELIX_PERSISTENT_CLASS
 public:
  ~DataSource() override;
  class DataSet* DataSet() const { return dataset_; }
  void SetDataSet(class DataSet* dataset);
  void Notification(Component& component, Operation operation) override;

  //! Makes detail follow this source's dataset (a detail dataset calls it for its DataSource).
  void AddDetail(class DataSet& detail);
  void RemoveDetail(class DataSet& detail);

 private:
  friend class DataSet;
  void MasterRecordChanged();

  class DataSet* dataset_ = nullptr;
  std::vector<class DataSet*> details_;
};

}  // namespace brelix::platform
