#pragma once
// How the gradebook modes read and write rows: tables opened as they are, the one
// way a row is written (over the row with the same key, else as a new row), and the
// character attributes of a row (charattributes rows keyed by table name and key
// value).
#include <string>

#include "data/table_records.h"
#include "platform/xbase/xbase.h"

namespace tolvarin {

// Opens a table as it is: no repair, no creation. 0 when it does not open.
xbase::Data4 OpenAsItIs(const std::string& path);

// A table handle that is closed when it goes.
class OpenData {
 public:
  explicit OpenData(xbase::Data4 data) : data_(data) {}
  ~OpenData() { Close(); }
  OpenData(const OpenData&) = delete;
  OpenData& operator=(const OpenData&) = delete;
  xbase::Data4 get() const { return data_; }
  void Close() {
    if (data_ != 0) xbase::d4close(data_);
    data_ = 0;
  }

 private:
  xbase::Data4 data_;
};

// Copies the current record of from over the record of to that has the key on tag,
// or appends it when there is none. True when the row was written.
bool PutRecord(xbase::Data4 from, xbase::Data4 to, xbase::Tag4 tag, const std::string& key);

// The row key under which the attribute rows of the table's row with that key value
// are stored: AttributeRowKey of the value as given, or, when none is stored so and
// the value is a number, of its number without leading zeros. "" when neither is.
std::string FindAttributeRows(const AttributeValuesRecord& attributes, const std::string& table,
                              const std::string& id);

// Copies every attribute row of the row from one attribute table into another,
// over the row with the same attr_key when there is one. The number of rows written.
long PutAttributeRows(const AttributeValuesRecord& from, const AttributeValuesRecord& to, const std::string& table,
                       const std::string& id);

// Marks every attribute row of the row deleted, under either key form. The count.
long DeleteAttributeRows(const AttributeValuesRecord& attributes, const std::string& table, const std::string& id);

}  // namespace tolvarin
