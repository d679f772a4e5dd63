#include "data/table_registry.h"

#include <map>

#include "core/box_buttons.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/strings.h"
#include "core/system_box.h"
#include "core/terminate.h"
#include "data/codebase.h"
#include "data/database_helper.h"
#include "data/open_table.h"
#include "data/table_catalogue.h"

namespace tolvarin {

namespace {

constexpr const char* kCrLf = "\r\n";

struct Registry {
  std::vector<TableRef> entries{TableRef{}};  // index 0 unused: entries start at 1
  std::map<std::string, int> keys;            // upper-case path -> index
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

bool AlwaysFromRegistry(const std::string& upperName) {
  return upperName == "MATHACTIVITIES" || upperName == "ACTCLASS" || upperName == "QUESPVAL" ||
         upperName == "GBSCHOOLEXAMS";
}

// The registry's key for a table in a folder: the path in upper case, one separator
// between its parts.
std::string RegistryKey(const std::string& folder, const std::string& name) {
  return ToUpper(CollapseBackslashes(JoinPath(folder, name + ".DBF")));
}

}  // namespace

const std::vector<TableRef>& RegistryEntries() { return TheRegistry().entries; }

int RegistryIndexOf(std::string_view filePathKey) {
  const auto& keys = TheRegistry().keys;
  const auto found = keys.find(std::string(filePathKey));
  return found == keys.end() ? -1 : found->second;
}

void ResetRegistry() { TheRegistry() = Registry{}; }

void ResetRegistryKeys() { TheRegistry().keys.clear(); }

void GetTableRef(TableRef& result, std::string_view name, std::string_view dbPath) {
  if (!TableCatalogueInitialised()) InitTableCatalogue();
  const std::string tableName(name);
  const std::string upperName = ToUpper(tableName);
  const std::string path(dbPath);

  if (!AlwaysFromRegistry(upperName) && (path.empty() || SamePath(path, Paths().CoursePath))) {
    const TableRef* header = CatalogueHeader(upperName);
    if (header == nullptr) {
      FacilityMessageBox("Invalid Table", kMbCritical);
      result = TableRef{};
      return;
    }
    result = *header;
    result.TableName = upperName;
    if (result.Data != 0) return;
  }

  const std::string folder =
      !path.empty() ? path : (IsCourseTable(tableName) == 1 ? Paths().CoursePath : Paths().BrandFolder);
  const std::string key = RegistryKey(folder, tableName);
  auto& registry = TheRegistry();
  const int index = RegistryIndexOf(key);
  if (index > 0 && registry.entries[static_cast<std::size_t>(index)].Data != 0) {
    result = registry.entries[static_cast<std::size_t>(index)];
    return;
  }
  // A closed entry stays as it is; the table gets a new one past the end.
  const int newIndex = static_cast<int>(registry.entries.size());

  TableRef entry;
  entry.Data = OpenTable(JoinPath(folder, tableName + ".DBF"), 0, false, false);
  const std::string keyName = TableKeyFieldName(tableName);
  if (!keyName.empty() && entry.Data != 0) {
    entry.KeyTag = xbase::d4tag(entry.Data, keyName);
    if (HasField(entry.Data, keyName)) entry.KeyField = xbase::d4field(entry.Data, keyName);
  }
  entry.Location = IsCourseTable(tableName);
  if (entry.Data != 0) {
    entry.TableName = ToUpper(TableFileTitle(entry));
    entry.FilePath = ToUpper(JoinPath(TableFolder(entry), TableFileTitle(entry)) + ".DBF");
  } else {
    entry.TableName = upperName;
  }

  registry.entries.push_back(entry);
  registry.keys[key] = newIndex;
  result = entry;
}

TableRef GetTableRef(std::string_view name, std::string_view dbPath) {
  TableRef result;
  GetTableRef(result, name, dbPath);
  return result;
}

void CloseTable(xbase::Data4& data) {
  if (data == 0) return;
  const xbase::Data4 closing = data;
  Engine().LastEngineCode = xbase::d4close(closing);
  for (auto& entry : TheRegistry().entries) {
    if (entry.Data == closing) {
      entry.Data = 0;
      entry.FilePath.clear();
    }
  }
  // A catalogue record must not keep a handle that is gone.
  ForgetCatalogueHandle(closing);
  data = 0;
}

bool HasField(xbase::Data4 data, std::string_view name) {
  if (data == 0) return false;
  const std::string upper = ToUpper(std::string(name));
  const int count = xbase::d4numFields(data);
  for (int j = 1; j <= count; ++j)
    if (EqualsNoCase(xbase::f4name(xbase::d4fieldJ(data, j)), upper)) return true;
  return false;
}

bool TagExists(xbase::Data4 data, std::string_view name) {
  if (name.empty()) return false;
  return xbase::d4tag(data, name) != 0;
}

xbase::Field4 GetFieldChecked(const TableRef& ref, std::string_view name) {
  const xbase::Field4 field = ref.Data == 0 ? 0 : xbase::d4field(ref.Data, name);
  if (field != 0) return field;
  FacilityMessageBox(std::string(kNotUpToDateText) + kCrLf + kCrLf + "Table: " + ref.TableName +
                         " does not have the field " + std::string(name) + ".",
                     kMbOkOnly);
  std::string fields = d4fileName(ref.Data) + kCrLf;
  const int count = ref.Data == 0 ? 0 : xbase::d4numFields(ref.Data);
  for (int j = 1; j <= count; ++j) fields += xbase::f4name(xbase::d4fieldJ(ref.Data, j)) + "|";
  FacilityMessageBox(fields, kMbOkOnly);
  Terminate();
}

xbase::Tag4 GetTagChecked(const TableRef& ref, std::string_view name) {
  const xbase::Tag4 tag = ref.Data == 0 ? 0 : xbase::d4tag(ref.Data, name);
  if (tag != 0) return tag;
  FacilityMessageBox(std::string(kNotUpToDateText) + kCrLf + kCrLf + "Table: " + ref.TableName +
                         " does not have the tag " + std::string(name) + ".",
                     kMbOkOnly);
  Terminate();
}

bool FindRecordByKey(std::string_view tableName, std::string_view key) {
  const TableRef ref = GetTableRef(tableName, "");
  return DbHelper().SeekFirst(ref, TableKeyFieldName(tableName), key);
}

std::int16_t QuestAnswerCount() {
  const TableRef ref = GetTableRef("quests", "");
  return HasField(ref.Data, "ANSWER5PCT") ? 5 : 4;
}

}  // namespace tolvarin
