#include "data/database_helper.h"

#include <string>

#include "core/array_list.h"
#include "data/codebase.h"
#include "data/record_ops.h"
#include "data/table_registry.h"

namespace tolvarin {
namespace {

bool SameWalk(const SeekFrame& frame, const TableRef& ref, xbase::Tag4 tag, std::string_view key) {
  return frame.Table.Data == ref.Data && frame.Tag == tag && frame.Key == key;
}

std::string FieldText(xbase::Field4 field) { return Trim(tolvarin::f4str(field)); }

}  // namespace

DatabaseHelper& DbHelper() {
  static DatabaseHelper helper;
  return helper;
}

void DatabaseHelper::PopFrame() {
  if (count_ == 0) return;
  frames_[static_cast<std::size_t>(count_ - 1)] = SeekFrame{};
  --count_;
  // The pending mark always belongs to the top frame; once that frame is gone the
  // mark must not pop the walk beneath it.
  pending_ = 0;
}

void DatabaseHelper::DropPending() {
  if (pending_ != 0) PopFrame();
}

void DatabaseHelper::EndSeek() { PopFrame(); }

void DatabaseHelper::RecordPosition() {
  if (count_ == 0) return;
  SeekFrame& top = frames_[static_cast<std::size_t>(count_ - 1)];
  top.SavedRecNo = static_cast<std::int32_t>(xbase::d4recNo(top.Table.Data));
}

void DatabaseHelper::RestorePosition() {
  DropPending();
  if (count_ == 0) return;
  SeekFrame& top = frames_[static_cast<std::size_t>(count_ - 1)];
  // The walk goes on from the restored row.
  if (GoRecord(top.Table.Data, top.SavedRecNo) == 0) top.RecNo = top.SavedRecNo;
}

std::string DatabaseHelper::CurrentID() const {
  if (count_ == 0) return "";
  const SeekFrame& top = frames_[static_cast<std::size_t>(count_ - 1)];
  if (top.Table.KeyField == 0) return "";
  return tolvarin::f4str(top.Table.KeyField);
}

bool DatabaseHelper::SeekNext(const TableRef& ref, xbase::Tag4 tag, std::string_view key) {
  return Walk(ref, tag, key, false);
}

bool DatabaseHelper::Walk(const TableRef& ref, xbase::Tag4 tag, std::string_view key, bool fresh) {
  DropPending();
  if (ref.Data == 0) return false;

  if (fresh || count_ == 0 || !SameWalk(frames_[static_cast<std::size_t>(count_ - 1)], ref, tag, key)) {
    // Past the deepest nesting there is no frame to walk on; the walk finds nothing
    // rather than overwrite the walks beneath it.
    if (count_ >= kMaxFrames) return false;
    ++count_;
    SeekFrame& frame = frames_[static_cast<std::size_t>(count_ - 1)];
    frame = SeekFrame{};
    frame.Table = ref;
    frame.Tag = tag;
    frame.Key = std::string(key);
  }

  SeekFrame& top = frames_[static_cast<std::size_t>(count_ - 1)];
  const xbase::Data4 data = top.Table.Data;
  const bool byKey = !top.Key.empty() && top.Tag != 0;
  int code;
  if (top.Started == 0) {
    top.Started = 1;
    xbase::d4tagSelect(data, top.Tag);
    code = byKey ? xbase::d4seek(data, top.Key) : xbase::d4top(data);
  } else {
    // An inner walk may have moved the table or chosen another order: stand on this
    // walk's own row again, in its own order, before moving on.
    if (xbase::d4tagSelected(data) != top.Tag || xbase::d4recNo(data) != top.RecNo) {
      xbase::d4tagSelect(data, top.Tag);
      if (top.RecNo > 0) xbase::d4go(data, top.RecNo);
    }
    code = byKey ? xbase::d4seekNext(data, top.Key) : xbase::d4skip(data, 1);
  }
  Engine().LastEngineCode = code;
  if (code != xbase::kSuccess) {
    PopFrame();
    return false;
  }
  top.RecNo = static_cast<std::int32_t>(xbase::d4recNo(data));
  return true;
}

bool DatabaseHelper::SeekNextByTagName(const TableRef& ref, std::string_view tagName, std::string_view key) {
  if (ref.Data == 0) return false;
  const xbase::Tag4 tag = tagName.empty() ? 0 : GetTagChecked(ref, tagName);
  return SeekNext(ref, tag, key);
}

bool DatabaseHelper::SeekFirst(const TableRef& ref, std::string_view tagName, std::string_view key) {
  DropPending();
  if (ref.Data == 0) return false;
  const xbase::Tag4 tag = tagName.empty() ? 0 : GetTagChecked(ref, tagName);
  // Always a walk of its own, even when the caller is walking the same key.
  const bool found = Walk(ref, tag, key, true);
  if (found) pending_ = 1;
  return found;
}

bool DatabaseHelper::SeekFieldValue(const TableRef& ref, std::string_view fieldName, std::string_view value) {
  DropPending();
  if (ref.Data == 0) return false;
  const xbase::Field4 field = GetFieldChecked(ref, fieldName);
  bool more = Walk(ref, 0, "", true);
  while (more) {
    if (FieldText(field) == value) {
      pending_ = 1;
      return true;
    }
    more = SeekNext(ref, 0, "");
  }
  return false;
}

LongArray DatabaseHelper::SeekIDs(const TableRef& ref, std::string_view tagName, std::string_view key,
                                  std::string_view fieldName, std::int16_t lowerBound) {
  if (ref.Data == 0) return LongArray{};
  const xbase::Tag4 tag = tagName.empty() ? 0 : GetTagChecked(ref, tagName);
  const xbase::Field4 field = GetFieldChecked(ref, fieldName);
  return CollectIDs(ref, tag, key, field, lowerBound);
}

LongArray DatabaseHelper::CollectIDs(const TableRef& ref, xbase::Tag4 tag, std::string_view key,
                                     xbase::Field4 field, std::int16_t lowerBound) {
  ArrayList list;
  if (lowerBound != 0) list.Reset(lowerBound);
  bool more = Walk(ref, tag, key, true);
  while (more) {
    list.AddItem(static_cast<std::int32_t>(xbase::f4long(field)));
    more = SeekNext(ref, tag, key);
  }
  return list.ToArray();
}

std::vector<std::string> DatabaseHelper::SeekValues(const TableRef& ref, std::string_view tagName,
                                                    std::string_view key, std::string_view fieldName) {
  if (ref.Data == 0) return {};
  const xbase::Tag4 tag = tagName.empty() ? 0 : GetTagChecked(ref, tagName);
  const xbase::Field4 field = GetFieldChecked(ref, fieldName);
  return CollectValues(ref, tag, key, field);
}

std::vector<std::string> DatabaseHelper::CollectValues(const TableRef& ref, xbase::Tag4 tag, std::string_view key,
                                                       xbase::Field4 field) {
  std::vector<std::string> values;
  bool more = Walk(ref, tag, key, true);
  while (more) {
    values.push_back(tolvarin::f4str(field));
    more = SeekNext(ref, tag, key);
  }
  return values;
}

TableRef DatabaseHelper::ResolveTable(std::string_view table, std::string_view folder) const {
  if (table.empty()) {
    if (count_ == 0) return TableRef{};
    return frames_[static_cast<std::size_t>(count_ - 1)].Table;
  }
  TableRef ref;
  GetTableRef(ref, table, folder);
  return ref;
}

xbase::Field4 DatabaseHelper::ResolveField(std::string_view field, std::string_view table, std::string_view folder,
                                           xbase::Data4& data) const {
  const TableRef ref = ResolveTable(table, folder);
  data = ref.Data;
  if (ref.Data == 0) return 0;
  return GetFieldChecked(ref, field);
}

std::string DatabaseHelper::FieldValStr(std::string_view field, std::string_view table, std::string_view folder) {
  xbase::Data4 data = 0;
  const xbase::Field4 handle = ResolveField(field, table, folder, data);
  return handle == 0 ? std::string() : FieldText(handle);
}

std::string DatabaseHelper::FieldValMemoStr(std::string_view field, std::string_view table,
                                            std::string_view folder) {
  xbase::Data4 data = 0;
  const xbase::Field4 handle = ResolveField(field, table, folder, data);
  return handle == 0 ? std::string() : Trim(tolvarin::f4memoStr(handle));
}

std::string DatabaseHelper::FieldValAsString(std::string_view field, std::string_view table,
                                             std::string_view folder) {
  xbase::Data4 data = 0;
  const xbase::Field4 handle = ResolveField(field, table, folder, data);
  if (handle == 0) return "";
  const FieldContent value = FieldValue(handle);
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  if (const auto* number = std::get_if<std::int32_t>(&value)) return std::to_string(*number);
  return "";
}

std::int32_t DatabaseHelper::FieldValLng(std::string_view field, std::string_view table, std::string_view folder) {
  xbase::Data4 data = 0;
  const xbase::Field4 handle = ResolveField(field, table, folder, data);
  return handle == 0 ? 0 : static_cast<std::int32_t>(xbase::f4long(handle));
}

bool DatabaseHelper::FieldValB(std::string_view field, std::string_view table, std::string_view folder) {
  xbase::Data4 data = 0;
  const xbase::Field4 handle = ResolveField(field, table, folder, data);
  return handle != 0 && xbase::f4true(handle);
}

void DatabaseHelper::SetFieldLng(std::string_view field, std::string_view table, std::int32_t value,
                                 std::string_view folder) {
  xbase::Data4 data = 0;
  const xbase::Field4 handle = ResolveField(field, table, folder, data);
  if (handle == 0 || xbase::f4long(handle) == value) return;
  if (LockCurrentRecord(data) != 0) return;
  Engine().LastEngineCode = xbase::f4assignLong(handle, value);
}

void DatabaseHelper::SetFieldStr(std::string_view field, std::string_view table, std::string_view value,
                                 std::string_view folder) {
  xbase::Data4 data = 0;
  const xbase::Field4 handle = ResolveField(field, table, folder, data);
  if (handle == 0 || FieldText(handle) == value) return;
  if (LockCurrentRecord(data) != 0) return;
  Engine().LastEngineCode = tolvarin::f4assign(handle, std::string(value));
}

void DatabaseHelper::SetFieldMemoStr(std::string_view field, std::string_view table, std::string_view value) {
  xbase::Data4 data = 0;
  const xbase::Field4 handle = ResolveField(field, table, "", data);
  if (handle == 0 || Trim(tolvarin::f4memoStr(handle)) == value) return;
  if (LockCurrentRecord(data) != 0) return;
  Engine().LastEngineCode = xbase::f4memoAssign(handle, value);
}

void DatabaseHelper::SetFieldValB(std::string_view field, std::string_view table, bool value) {
  xbase::Data4 data = 0;
  const xbase::Field4 handle = ResolveField(field, table, "", data);
  if (handle == 0 || xbase::f4true(handle) == value) return;
  if (LockCurrentRecord(data) != 0) return;
  Engine().LastEngineCode = tolvarin::f4assign(handle, value ? "T" : "F");
}

void DatabaseHelper::SetFieldChar(std::string_view field, std::string_view table, int charCode) {
  xbase::Data4 data = 0;
  const xbase::Field4 handle = ResolveField(field, table, "", data);
  if (handle == 0) return;
  if (LockCurrentRecord(data) != 0) return;
  Engine().LastEngineCode = tolvarin::f4assign(handle, std::string(1, static_cast<char>(charCode)));
}

}  // namespace tolvarin
