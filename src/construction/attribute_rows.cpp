#include "construction/attribute_rows.h"

#include <map>
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

// The attribute key a row of any attribute table belongs to.
std::string AttrKey(xbase::Data4 data) { return ToUpper(Field(data, "attr_key")); }

// A row's key with the values it holds: two rows of one key but other content are
// two definitions (or values) of the same thing.
std::string RowContent(const std::string& table, xbase::Data4 data) {
  if (table == "attributes") return RowKey(table, data) + "|" + Field(data, "name") + "|" + Field(data, "type");
  if (table == "enumvalues") return RowKey(table, data) + "|" + Field(data, "name");
  const xbase::Field4 value = xbase::d4field(data, "attr_value");
  if (value == 0) return RowKey(table, data);
  return RowKey(table, data) + "|" + Trim(xbase::f4type(value) == 'M' ? f4memoStr(value) : f4str(value));
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

std::set<std::string> RowContents(const std::string& table, xbase::Data4 data) {
  std::set<std::string> contents;
  if (data != 0) ForEachLiveRow(data, [&] { contents.insert(RowContent(table, data)); });
  return contents;
}

}  // namespace

std::set<std::string> ClashingAttributes(const std::string& source, const std::string& target) {
  std::set<std::string> clashing;
  for (const char* table : kDefinitionTables) {
    OpenTableFile from(source, table);
    OpenTableFile to(target, table);
    if (from.data == 0 || to.data == 0) continue;
    std::map<std::string, std::string> held;  // key -> content in the target
    ForEachLiveRow(to.data, [&] { held.emplace(RowKey(table, to.data), RowContent(table, to.data)); });
    ForEachLiveRow(from.data, [&] {
      const auto found = held.find(RowKey(table, from.data));
      if (found != held.end() && found->second != RowContent(table, from.data)) clashing.insert(AttrKey(from.data));
    });
  }
  return clashing;
}

namespace {

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
  // Values of an attribute the target defines otherwise would read as the target's:
  // they stay with the old folder.
  const std::set<std::string> clashing = ClashingAttributes(source, target);
  for (const char* table : kValueTables) {
    OpenTableFile from(source, table);
    if (from.data == 0) continue;
    std::vector<long> wanted;
    ForEachLiveRow(from.data, [&] {
      if (OwnerTable(from.data) == owner && owners.count(OwnerID(from.data)) && !clashing.count(AttrKey(from.data))) {
        wanted.push_back(xbase::d4recNo(from.data));
      }
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
      // A target that holds every definition already is not opened for writing; an
      // attribute it defines otherwise gets none of the old one's rows.
      const std::set<std::string> clashing = ClashingAttributes(source, target);
      OpenTableFile held(target, table);
      const std::set<std::string> heldKeys = RowKeys(table, held.data);
      std::vector<long> wanted;
      ForEachLiveRow(from.data, [&] {
        if (!heldKeys.count(RowKey(table, from.data)) && !clashing.count(AttrKey(from.data))) {
          wanted.push_back(xbase::d4recNo(from.data));
        }
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

std::vector<UnplacedAttributeRows> TablesWithUnplacedAttributeRows(const std::string& source,
                                                                   const std::vector<std::string>& targets) {
  std::vector<UnplacedAttributeRows> unplaced;
  std::map<std::string, std::set<std::string>> clashing;  // target -> its clashing keys
  for (const std::string& target : targets) clashing[target] = ClashingAttributes(source, target);
  for (const char* table : {"charattributes", "enumattributes", "memoattributes", "attributes", "enumvalues"}) {
    OpenTableFile from(source, table);
    if (from.data == 0) continue;
    // A row is placed where a target holds it as it is, under a definition that
    // means the same there.
    std::map<std::string, std::set<std::string>> placed;  // target -> row contents
    for (const std::string& target : targets) {
      OpenTableFile to(target, table);
      placed[target] = RowContents(table, to.data);
    }
    UnplacedAttributeRows rows{TableFilePath(source, table, ".dbf"), {}};
    bool all = true;
    ForEachLiveRow(from.data, [&] {
      const std::string content = RowContent(table, from.data);
      bool found = false;
      for (const std::string& target : targets) {
        if (clashing[target].count(AttrKey(from.data))) {
          rows.Clashing.insert(AttrKey(from.data));
        } else {
          found = found || placed[target].count(content) > 0;
        }
      }
      all = all && found;
    });
    if (!all) unplaced.push_back(rows);
  }
  return unplaced;
}

}  // namespace tolvarin
