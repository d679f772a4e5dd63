#include "engine/modes/gradebook_rows.h"

#include <algorithm>

#include "core/files.h"
#include "core/paths.h"
#include "data/codebase.h"
#include "data/record_ops.h"
#include "engine/modes/gradebook_profile.h"

namespace tolvarin {
namespace {

bool AllDigits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The row keys an attribute row of the table's row may be stored under.
std::vector<std::string> RowKeys(const std::string& table, const std::string& id) {
  std::vector<std::string> keys{AttributeRowKey(table, id)};
  // Older rows were stored under the plain number; a value that is not a number has
  // no such form (its value 0 would name another row).
  if (AllDigits(id) && PlainNumberText(id) != id) keys.push_back(AttributeRowKey(table, PlainNumberText(id)));
  return keys;
}

}  // namespace

xbase::Data4 OpenAsItIs(const std::string& path) {
  const xbase::Code4 code = Engine().EngineHandle;
  if (code == 0 || !FileExists(path)) return 0;
  const xbase::Data4 data = xbase::d4open(code, FindPath(path));
  if (data == 0) xbase::code4errorCode(code, 0);
  return data;
}

bool PutRecord(xbase::Data4 from, xbase::Data4 to, xbase::Tag4 tag, const std::string& key) {
  if (tag != 0 && SeekTag(to, tag, key)) {
    if (LockCurrentRecord(to) != xbase::kSuccess) return false;
    CopyFieldsByPosition(from, to);
    const bool written = xbase::d4flush(to) == xbase::kSuccess;
    xbase::d4unlock(to);
    return written;
  }
  AppendBlank(to);
  CopyFieldsByPosition(from, to);
  return xbase::d4append(to) == xbase::kSuccess;
}

std::string FindAttributeRows(const AttributeValuesRecord& attributes, const std::string& table,
                              const std::string& id) {
  if (attributes.Data == 0 || attributes.RowTag == 0) return "";
  for (const std::string& key : RowKeys(table, id))
    if (SeekTag(attributes.Data, attributes.RowTag, key)) return key;
  return "";
}

long PutAttributeRows(const AttributeValuesRecord& from, const AttributeValuesRecord& to, const std::string& table,
                       const std::string& id) {
  if (to.Data == 0) return 0;
  const std::string key = FindAttributeRows(from, table, id);
  if (key.empty()) return 0;
  long written = 0;
  // Walks the source on its ROW tag; the target is sought on its own tags only.
  for (bool found = true; found; found = xbase::d4seekNext(from.Data, key) == xbase::kSuccess) {
    if (xbase::d4deleted(from.Data)) continue;
    if (PutRecord(from.Data, to.Data, to.PrimaryKeyTag, key + xbase::f4str(from.Attr_key))) ++written;
  }
  return written;
}

long DeleteAttributeRows(const AttributeValuesRecord& attributes, const std::string& table, const std::string& id) {
  if (attributes.Data == 0 || attributes.RowTag == 0) return 0;
  long deleted = 0;
  for (const std::string& key : RowKeys(table, id)) {
    for (bool found = SeekTag(attributes.Data, attributes.RowTag, key); found;
         found = xbase::d4seekNext(attributes.Data, key) == xbase::kSuccess) {
      if (xbase::d4deleted(attributes.Data) || LockCurrentRecord(attributes.Data) != xbase::kSuccess) continue;
      if (xbase::d4delete(attributes.Data) == xbase::kSuccess) ++deleted;
    }
  }
  return deleted;
}

}  // namespace tolvarin
