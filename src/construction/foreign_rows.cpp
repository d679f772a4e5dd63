#include "construction/foreign_rows.h"

#include <set>
#include <vector>

#include "construction/attribute_rows.h"

#include "construction/blank_tables.h"
#include "construction/construction_run.h"
#include "construction/install_set.h"
#include "construction/schema.h"
#include "construction/table_swap.h"
#include "core/files.h"
#include "core/paths.h"
#include "core/strings.h"
#include "data/codebase.h"
#include "data/open_table.h"
#include "data/record_ops.h"

namespace tolvarin {
namespace {

std::string FieldText(xbase::Data4 table, const std::string& field) {
  const xbase::Field4 handle = xbase::d4field(table, field);
  return handle == 0 ? "" : Trim(f4str(handle));
}

std::string KeptKeysName(const std::string& source, const std::string& name) {
  return NormalizePath(source) + "|" + ToLower(name);
}

std::set<std::string>& KeptKeysOf(const std::string& source, const std::string& name) {
  auto& all = Construction().KeptKeys;
  const std::string key = KeptKeysName(source, name);
  for (auto& [which, keys] : all) {
    if (which == key) return keys;
  }
  all.emplace_back(key, std::set<std::string>{});
  return all.back().second;
}

// The course a classes or sessions row belongs to; old numbers go through the
// edition's slot table in pass 0.
int RowCourse(xbase::Data4 table, int pass) {
  const xbase::Field4 field = xbase::d4field(table, "course");
  if (field == 0) return -1;
  const int course = static_cast<int>(xbase::f4long(field));
  return pass == 0 ? GetCourseSlot(course) : course;
}

void CopyImages(const std::string& source, const std::string& target) {
  for (const char* pattern : kImagePatterns) {
    CopyFilesByPattern(JoinPath(FindPath(source), pattern), FindPath(target), true, false);
  }
}

// Whether a row of a split table belongs in the target: classes and sessions by
// their course, the others by the course their parent row was kept in.
bool RowBelongsTo(xbase::Data4 table, const std::string& lower, int pass, const std::string& target,
                  int targetCourse) {
  if (lower == "classes" || lower == "sessions") return targetCourse >= 0 && RowCourse(table, pass) == targetCourse;
  if (lower == "students") return SamePath(ReadFieldMapped(table, "class_id"), target);
  if (lower == "sesquests") return SamePath(ReadFieldMapped(table, "session_id"), target);
  return SamePath(ReadFieldMapped(table, "sesques_id"), target);
}

// Notes a kept row of a split table: its key for the completeness check, and for
// a parent table the folder its children follow it to.
void RecordKeptRow(xbase::Data4 table, const TableDef& def, const std::string& lower, std::set<std::string>& kept,
                   const std::string& target) {
  kept.insert(GetTagValue(def, table, ""));
  if (lower == "classes") ReadFieldToList(table, "class_id", target);
  if (lower == "sessions") ReadFieldToList(table, "session_id", target);
  if (lower == "sesquests") ReadFieldToList(table, "sesques_id", target);
}

// A row's texts over the given fields; user identifiers are left out, since they
// may be remapped on the way.
std::string ComparedText(xbase::Data4 table, const std::vector<std::string>& fields) {
  std::string text;
  for (const std::string& name : fields) {
    const xbase::Field4 field = xbase::d4field(table, name);
    text += Trim(xbase::f4type(field) == 'M' ? f4memoStr(field) : f4str(field));
    text += '\x1f';
  }
  return text;
}

}  // namespace

bool SplitsRowsByCourse(const std::string& name, int pass) {
  if (pass != 0 && pass != 3) return false;
  const std::string lower = ToLower(name);
  return lower == "classes" || lower == "students" || lower == "sessions" || lower == "sesquests" ||
         lower == "sesresults";
}

bool AllRowsKept(const std::string& source, const std::string& name, int pass) {
  if (!SplitsRowsByCourse(name, pass)) return true;
  const std::string path = TableFilePath(source, name, ".dbf");
  if (!FileExists(path)) return true;
  xbase::Data4 table = OpenForUpgrade(path);
  if (table == 0) return false;
  const TableDef def = GetTableDef(name);
  const std::set<std::string>& kept = KeptKeysOf(source, name);
  bool all = true;
  xbase::d4tagSelect(table, 0);
  for (int rc = xbase::d4top(table); rc == xbase::kSuccess && all; rc = xbase::d4skip(table, 1)) {
    if (xbase::d4deleted(table)) continue;
    all = kept.count(GetTagValue(def, table, "")) > 0;
  }
  CloseTable(table);
  return all;
}

void ReadFieldToList(xbase::Data4 table, const std::string& fieldName, const std::string& targetFolder) {
  Construction().KeptRows.push_back({ToLower(fieldName), FieldText(table, fieldName), targetFolder});
}

std::string LookupListValue(const std::string& fieldName, const std::string& value) {
  const std::string field = ToLower(fieldName);
  std::string folder;
  for (const KeptRow& row : Construction().KeptRows) {
    if (row.FieldName == field && row.Value == value) folder = row.TargetFolder;
  }
  return folder;
}

std::string ReadFieldMapped(xbase::Data4 table, const std::string& fieldName) {
  return LookupListValue(fieldName, FieldText(table, fieldName));
}

void CopyAttributeRows(const AttributeValuesRecord& source, const AttributeValuesRecord& target,
                       const std::string& tableName, const std::string& identifier) {
  if (source.Data == 0 || target.Data == 0 || source.RowTag == 0) return;
  const std::string key = PadRight(tableName, 20) + PadRight(identifier, 40);
  CopyMatchingRows(RowSource{source.Data, source.RowTag}, RowDestination{target.Data, 0}, key, "");
}

bool RemoveForeignRows(const std::string& source, const std::string& target, const std::string& name, int pass,
                       int, const std::string& fileName) {
  const std::string file = fileName.empty() ? name : fileName;
  const std::string path = TableFilePath(target, file, ".dbf");
  xbase::Data4 table = OpenForUpgrade(path);
  if (table == 0) return false;
  bool written = true;

  const std::string lower = ToLower(name);
  const bool split = SplitsRowsByCourse(name, pass);
  const TableDef def = GetTableDef(name);
  const int targetCourse = GetCourseID(target);
  std::set<std::string>& kept = KeptKeysOf(source, name);
  ConstructionState& state = Construction();

  xbase::d4tagSelect(table, 0);
  for (int rc = xbase::d4top(table); rc == xbase::kSuccess; rc = xbase::d4skip(table, 1)) {
    if (xbase::d4deleted(table)) continue;
    if (split) {
      if (!RowBelongsTo(table, lower, pass, target, targetCourse)) {
        Engine().LastEngineCode = xbase::d4delete(table);
        written = written && Engine().LastEngineCode == xbase::kSuccess;
        ++state.DeletedRows;
        continue;
      }
      RecordKeptRow(table, def, lower, kept, target);
    } else if (lower == "users" && (pass == 0 || pass == 3)) {
      const std::int32_t number = pass == 0 ? Edition().Group : GetAreaID(source);
      written = AddUserPermission(table, target, FieldText(table, "user_id"), number) && written;
    }
  }
  // Images travel with the questions; the source keeps its copies until the
  // question table has reached every target.
  if (lower == "quests") CopyImages(source, target);
  if (state.DeletedRows > 0) {
    Engine().LastEngineCode = xbase::d4pack(table);
    written = written && Engine().LastEngineCode == xbase::kSuccess;
    state.DeletedRows = 0;
  }
  CloseTable(table);
  // The attribute rows of the old rows that stayed come along (whatever is refused
  // keeps the old folder: see TablesWithUnplacedAttributeRows).
  const std::set<long> staying = RowIdentifiers(target, file, name);
  std::set<long> owners;
  for (const long id : RowIdentifiers(source, name, name)) {
    if (staying.count(id)) owners.insert(id);
  }
  CarryAttributeRows(source, target, name, owners);
  return written;
}

bool TargetHoldsItsRows(xbase::Data4 oldTable, const std::string& source, const std::string& target,
                        const std::string& name, int pass) {
  const std::string path = TableFilePath(target, name, ".dbf");
  xbase::Data4 table = OpenForUpgrade(path);
  if (table == 0) return false;
  std::vector<std::string> fields;
  for (int j = 1; j <= xbase::d4numFields(oldTable); ++j) {
    const std::string field = ToLower(Trim(f4name(xbase::d4fieldJ(oldTable, j))));
    if (field != "user_id" && xbase::d4field(table, field) != 0) fields.push_back(field);
  }
  std::multiset<std::string> held;
  xbase::d4tagSelect(table, 0);
  for (int rc = xbase::d4top(table); rc == xbase::kSuccess; rc = xbase::d4skip(table, 1)) {
    if (!xbase::d4deleted(table)) held.insert(ComparedText(table, fields));
  }

  const std::string lower = ToLower(name);
  const bool split = SplitsRowsByCourse(name, pass);
  const TableDef def = GetTableDef(name);
  const int targetCourse = GetCourseID(target);
  std::vector<long> belonging;
  bool all = true;
  xbase::d4tagSelect(oldTable, 0);
  for (int rc = xbase::d4top(oldTable); rc == xbase::kSuccess && all; rc = xbase::d4skip(oldTable, 1)) {
    if (xbase::d4deleted(oldTable)) continue;
    if (split && !RowBelongsTo(oldTable, lower, pass, target, targetCourse)) continue;
    const auto found = held.find(ComparedText(oldTable, fields));
    if (found == held.end()) {
      all = false;
    } else {
      held.erase(found);
      belonging.push_back(xbase::d4recNo(oldTable));
    }
  }
  CloseTable(table);
  if (!all) return false;
  std::set<std::string>& kept = KeptKeysOf(source, name);
  std::set<long> owners;
  const xbase::Field4 idField = def.KeyField.empty() ? 0 : xbase::d4field(oldTable, def.KeyField);
  for (const long record : belonging) {
    xbase::d4go(oldTable, record);
    if (split) RecordKeptRow(oldTable, def, lower, kept, target);
    if (idField != 0) owners.insert(TextValue(Trim(f4str(idField))));
  }
  CarryAttributeRows(source, target, name, owners);
  return true;
}

}  // namespace tolvarin
