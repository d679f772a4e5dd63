#include "construction/attribute_rows.h"

#include <set>

#include "construction/construction_run.h"
#include "construction/schema.h"
#include "construction/table_swap.h"
#include "core/files.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/strings.h"
#include "data/codebase.h"
#include "data/open_table.h"
#include "data/record_ops.h"

namespace tolvarin {
namespace {

constexpr const char* kValueTables[] = {"charattributes", "enumattributes", "memoattributes"};
constexpr const char* kDefinitionTables[] = {"attributes", "enumvalues"};

std::string Field(xbase::Data4 table, const char* name) {
  const xbase::Field4 field = xbase::d4field(table, name);
  return field == 0 ? "" : Trim(f4str(field));
}

std::string OwnerTable(xbase::Data4 values) { return ToLower(Field(values, "table_name")); }
long OwnerID(xbase::Data4 values) { return TextValue(Field(values, "table_id")); }

// What makes a row the same row whatever the form its owner was written in.
std::string RowKey(const std::string& table, xbase::Data4 data) {
  if (table == "attributes") return ToUpper(Field(data, "attr_key"));
  if (table == "enumvalues") return ToUpper(Field(data, "attr_key")) + "|" + Field(data, "attr_value");
  return OwnerTable(data) + "|" + std::to_string(OwnerID(data)) + "|" + ToUpper(Field(data, "attr_key"));
}

// An open table that closes itself.
struct OpenTableFile {
  xbase::Data4 data = 0;
  explicit OpenTableFile(const std::string& folder, const std::string& name) {
    if (TableFileExists(folder, name)) data = OpenForUpgrade(TableFilePath(folder, name, ".dbf"));
  }
  ~OpenTableFile() {
    if (data != 0) CloseTable(data);
  }
  OpenTableFile(const OpenTableFile&) = delete;
  OpenTableFile& operator=(const OpenTableFile&) = delete;
};

template <typename Visit>
void ForEachLiveRow(xbase::Data4 data, Visit visit) {
  xbase::d4tagSelect(data, 0);
  for (int rc = xbase::d4top(data); rc == xbase::kSuccess; rc = xbase::d4skip(data, 1)) {
    if (!xbase::d4deleted(data)) visit();
  }
}

std::set<std::string> RowKeys(const std::string& table, xbase::Data4 data) {
  std::set<std::string> keys;
  if (data != 0) ForEachLiveRow(data, [&] { keys.insert(RowKey(table, data)); });
  return keys;
}

// The target's table, laid in from the blank copy when the target has none yet.
xbase::Data4 OpenTargetTable(const std::string& target, const std::string& table) {
  if (!TableFileExists(target, table) &&
      !PlaceBlankTable(JoinPath(Paths().DatabasesRoot, "Blank"), target, table)) {
    return 0;
  }
  return OpenForUpgrade(TableFilePath(target, table, ".dbf"));
}

// Appends the source's current row to the target unless its key is there.
bool CopyRow(xbase::Data4 from, xbase::Data4 to, std::set<std::string>& present, const std::string& key) {
  if (!present.insert(key).second) return true;
  AppendBlank(to);
  for (int j = 1; j <= xbase::d4numFields(from); ++j) {
    const xbase::Field4 source = xbase::d4fieldJ(from, j);
    const xbase::Field4 destination = xbase::d4field(to, Trim(f4name(source)));
    if (destination != 0) CopyFieldValue(destination, source);
  }
  const int appended = xbase::d4append(to);
  Engine().LastEngineCode = appended;
  return appended == xbase::kSuccess;
}

}  // namespace

bool CarryAttributeRows(const std::string& source, const std::string& target, const std::string& ownerTable,
                        const std::set<long>& owners) {
  const std::string owner = ToLower(ownerTable);
  if (owners.empty() || owner.find("attributes") != std::string::npos || owner == "enumvalues") return true;
  bool ok = true;
  bool carried = false;
  for (const char* table : kValueTables) {
    OpenTableFile from(source, table);
    if (from.data == 0) continue;
    std::vector<long> wanted;
    ForEachLiveRow(from.data, [&] {
      if (OwnerTable(from.data) == owner && owners.count(OwnerID(from.data))) wanted.push_back(xbase::d4recNo(from.data));
    });
    if (wanted.empty()) continue;
    xbase::Data4 to = OpenTargetTable(target, table);
    if (to == 0) return false;
    std::set<std::string> present = RowKeys(table, to);
    for (const long record : wanted) {
      xbase::d4go(from.data, record);
      ok = CopyRow(from.data, to, present, RowKey(table, from.data)) && ok;
    }
    carried = true;
    CloseTable(to);
  }
  // The definitions go wherever values went: a value means nothing without them.
  return carried ? CarryAttributeDefinitions(source, {target}) && ok : ok;
}

bool CarryAttributeDefinitions(const std::string& source, const std::vector<std::string>& targets) {
  bool ok = true;
  for (const char* table : kDefinitionTables) {
    OpenTableFile from(source, table);
    if (from.data == 0) continue;
    for (const std::string& target : targets) {
      if (target.empty() || !FolderExists(target)) continue;
      // A target that holds every definition already is not opened for writing.
      OpenTableFile held(target, table);
      const std::set<std::string> heldKeys = RowKeys(table, held.data);
      std::vector<long> wanted;
      ForEachLiveRow(from.data, [&] {
        if (!heldKeys.count(RowKey(table, from.data))) wanted.push_back(xbase::d4recNo(from.data));
      });
      if (wanted.empty()) continue;
      if (held.data != 0) {
        CloseTable(held.data);
        held.data = 0;
      }
      xbase::Data4 to = OpenTargetTable(target, table);
      if (to == 0) {
        ok = false;
        continue;
      }
      std::set<std::string> present = RowKeys(table, to);
      for (const long record : wanted) {
        xbase::d4go(from.data, record);
        ok = CopyRow(from.data, to, present, RowKey(table, from.data)) && ok;
      }
      CloseTable(to);
    }
  }
  return ok;
}

std::set<long> RowIdentifiers(const std::string& folder, const std::string& fileName, const std::string& table) {
  std::set<long> ids;
  const std::string idField = GetTableDef(table).KeyField;
  OpenTableFile rows(folder, fileName);
  if (rows.data == 0 || idField.empty() || xbase::d4field(rows.data, idField) == 0) return ids;
  ForEachLiveRow(rows.data, [&] { ids.insert(TextValue(Field(rows.data, idField.c_str()))); });
  return ids;
}

std::vector<std::string> TablesWithUnplacedAttributeRows(const std::string& source,
                                                         const std::vector<std::string>& targets) {
  std::vector<std::string> unplaced;
  for (const char* table : {"charattributes", "enumattributes", "memoattributes", "attributes", "enumvalues"}) {
    OpenTableFile from(source, table);
    if (from.data == 0) continue;
    std::set<std::string> placed;
    for (const std::string& target : targets) {
      OpenTableFile to(target, table);
      const std::set<std::string> keys = RowKeys(table, to.data);
      placed.insert(keys.begin(), keys.end());
    }
    bool all = true;
    ForEachLiveRow(from.data, [&] { all = all && placed.count(RowKey(table, from.data)) > 0; });
    if (!all) unplaced.push_back(TableFilePath(source, table, ".dbf"));
  }
  return unplaced;
}

}  // namespace tolvarin
