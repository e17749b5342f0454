#pragma once
// The dataset abstraction: a cursor over records with named, typed fields, and the data source
// through which a detail dataset names its master.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/component.h"
#include "platform/variant.h"

namespace brelix::platform {

enum class FieldType { Unknown, String, Integer, Float, Currency, Boolean, Date, Time, DateTime, Blob, Null };

//! One field of the current record.
class Field {
 public:
  Field(std::string name, FieldType type) : name_(std::move(name)), type_(type) {}
  virtual ~Field() = default;
  const std::string& FieldName() const { return name_; }
  FieldType DataType() const { return type_; }
  //! The value of the field in the current record (null for SQL NULL).
  virtual Variant Value() const = 0;
  //! The text form in the user's language.
  std::string AsString() const { return Value().ToString(); }
  //! The numeric value; an empty or null field gives 0.
  double AsFloat() const { return Value().ToDouble(); }
  bool IsNull() const { return Value().IsNull(); }

 private:
  std::string name_;
  FieldType type_;
};

class DataSet : public Component {
  BRELIX_PERSISTENT_CLASS
 public:
  bool Active() const { return active_; }
  void SetActive(bool active);
  void Open() { SetActive(true); }
  void Close() { SetActive(false); }

  virtual void First() = 0;
  virtual void Next() = 0;
  virtual void Prior() = 0;
  //! True after Next moved past the last record (or when there is none).
  virtual bool Eof() const = 0;

  virtual std::size_t FieldCount() const = 0;
  virtual Field& Fields(std::size_t index) = 0;
  //! The field of that name (case-insensitive), or null.
  Field* FindField(std::string_view name);
  //! Like FindField; a missing field raises Exception naming field and dataset.
  Field& FieldByName(std::string_view name);
  std::vector<std::string> FieldNames();

 protected:
  virtual void DoOpen() = 0;
  virtual void DoClose() = 0;

 private:
  bool active_ = false;
};

//! Names a dataset, so that detail datasets can follow their master's current record.
class DataSource : public Component {
  BRELIX_PERSISTENT_CLASS
 public:
  ~DataSource() override;
  class DataSet* DataSet() const { return dataset_; }
  void SetDataSet(class DataSet* dataset);
  void Notification(Component& component, Operation operation) override;

 private:
  class DataSet* dataset_ = nullptr;
};

}  // namespace brelix::platform
