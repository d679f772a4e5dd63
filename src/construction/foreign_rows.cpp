#include "construction/foreign_rows.h"

#include <set>

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

// The three attribute tables of a folder; the source's are opened only when they
// exist, so that reading an old folder creates nothing in it.
struct AttributeTables {
  AttributeValuesRecord Char, Enum, Memo;

  void Open(const std::string& folder, bool onlyExisting) {
    if (!onlyExisting || TableFileExists(folder, "charattributes")) OpenCharAttributesTable(folder, Char);
    if (!onlyExisting || TableFileExists(folder, "enumattributes")) OpenEnumAttributesTable(folder, Enum);
    if (!onlyExisting || TableFileExists(folder, "memoattributes")) OpenMemoAttributesTable(folder, Memo);
  }
  void Close() {
    CloseTableRecord(Char);
    CloseTableRecord(Enum);
    CloseTableRecord(Memo);
  }
};

void CopyAllAttributeRows(const AttributeTables& from, const AttributeTables& to, const std::string& tableName,
                          const std::string& identifier) {
  CopyAttributeRows(from.Char, to.Char, tableName, identifier);
  CopyAttributeRows(from.Enum, to.Enum, tableName, identifier);
  CopyAttributeRows(from.Memo, to.Memo, tableName, identifier);
}

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

void RemoveForeignRows(const std::string& source, const std::string& target, const std::string& name, int pass,
                       int, const std::string& fileName) {
  const std::string path = TableFilePath(target, fileName.empty() ? name : fileName, ".dbf");
  xbase::Data4 table = OpenForUpgrade(path);
  if (table == 0) return;
  AttributeTables from, to;
  from.Open(source, true);
  to.Open(target, false);

  const std::string lower = ToLower(name);
  const bool split = SplitsRowsByCourse(name, pass);
  const TableDef def = GetTableDef(name);
  const int targetCourse = GetCourseID(target);
  std::set<std::string>& kept = KeptKeysOf(source, name);
  ConstructionState& state = Construction();

  xbase::d4tagSelect(table, 0);
  for (int rc = xbase::d4top(table); rc == xbase::kSuccess; rc = xbase::d4skip(table, 1)) {
    if (xbase::d4deleted(table)) continue;
    bool keep = true;
    if (split) {
      if (lower == "classes" || lower == "sessions") {
        keep = targetCourse >= 0 && RowCourse(table, pass) == targetCourse;
      } else if (lower == "students") {
        keep = SamePath(ReadFieldMapped(table, "class_id"), target);
      } else if (lower == "sesquests") {
        keep = SamePath(ReadFieldMapped(table, "session_id"), target);
      } else {
        keep = SamePath(ReadFieldMapped(table, "sesques_id"), target);
      }
      if (!keep) {
        xbase::d4delete(table);
        ++state.DeletedRows;
        continue;
      }
      kept.insert(GetTagValue(def, table, ""));
      if (lower == "classes") ReadFieldToList(table, "class_id", target);
      if (lower == "sessions") ReadFieldToList(table, "session_id", target);
      if (lower == "sesquests") ReadFieldToList(table, "sesques_id", target);
      if (lower == "classes") CopyAllAttributeRows(from, to, "classes", FieldText(table, "class_id"));
      if (lower == "students") CopyAllAttributeRows(from, to, "students", FieldText(table, "student_id"));
      if (lower == "sessions") CopyAllAttributeRows(from, to, "sessions", FieldText(table, "session_id"));
    } else if (lower == "exams") {
      CopyAllAttributeRows(from, to, "exams", FieldText(table, "exam_id"));
    } else if (lower == "users" && (pass == 0 || pass == 3)) {
      const std::int32_t number = pass == 0 ? Edition().Group : GetAreaID(source);
      AddUserPermission(table, target, FieldText(table, "user_id"), number);
    }
  }
  // Images travel with the questions; the source keeps its copies until the
  // question table has reached every target.
  if (lower == "quests") CopyImages(source, target);
  if (state.DeletedRows > 0) {
    Engine().LastEngineCode = xbase::d4pack(table);
    state.DeletedRows = 0;
  }
  from.Close();
  to.Close();
  CloseTable(table);
}

}  // namespace tolvarin
