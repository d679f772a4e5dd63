#include "construction/table_rebuild.h"

#include <set>
#include <utility>
#include <vector>

#include "construction/blank_tables.h"
#include "construction/construction_run.h"
#include "construction/foreign_rows.h"
#include "construction/install_set.h"
#include "construction/schema.h"
#include "construction/table_swap.h"
#include "core/files.h"
#include "core/paths.h"
#include "core/progress.h"
#include "core/settings.h"
#include "core/strings.h"
#include "data/codebase.h"
#include "data/id_ranges.h"
#include "data/open_table.h"
#include "data/record_ops.h"
#include "data/table_registry.h"

namespace tolvarin {
namespace {

constexpr const char* kExtensions[] = {".dbf", ".cdx", ".fpt"};

std::string BlankFolder() { return JoinPath(Paths().DatabasesRoot, "Blank"); }

// The folder above a folder path (with or without its trailing "/").
std::string ParentFolder(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return GetFolderOfPath(folder);
}

// Opens an existing table silently (repaired when it must be); 0 when it is missing
// or cannot be opened. Never creates one.
xbase::Data4 OpenExisting(const std::string& folder, const std::string& name) {
  return OpenForUpgrade(TableFilePath(folder, name, ".dbf"));
}

// The record count of an existing table; -1 when it cannot be opened.
long CountRecords(const std::string& folder, const std::string& name) {
  xbase::Data4 data = OpenExisting(folder, name);
  if (data == 0) return -1;
  const long count = xbase::d4recCount(data);
  CloseTable(data);
  return count;
}

// Copies a table's files under another name (the memo file when there is one).
bool CopyTableAs(const std::string& fromFolder, const std::string& name, const std::string& toFolder,
                 const std::string& newName) {
  for (const char* extension : kExtensions) {
    const std::string source = TableFilePath(fromFolder, name, extension);
    const std::string target = TableFilePath(toFolder, newName, extension);
    if (FileExists(target)) DeleteFile(target);
    if (!FileExists(source)) continue;
    CopyFileReplace(source, target);
    if (!FileExists(target)) return false;
  }
  return FileExists(TableFilePath(toFolder, newName, ".dbf"));
}

long LiveRows(xbase::Data4 table) {
  long count = 0;
  xbase::d4tagSelect(table, 0);
  for (int rc = xbase::d4top(table); rc == xbase::kSuccess; rc = xbase::d4skip(table, 1)) {
    if (!xbase::d4deleted(table)) ++count;
  }
  return count;
}

bool IsMergedTable(const std::string& name) {
  const std::string lower = ToLower(name);
  return lower == "printopt" || lower == "users";
}

// The text of the current record over the given fields, for comparing whole rows.
std::string RowText(const std::vector<xbase::Field4>& fields) {
  std::string text;
  for (const xbase::Field4 field : fields) {
    text += Trim(xbase::f4type(field) == 'M' ? f4memoStr(field) : f4str(field));
    text += '\x1f';
  }
  return text;
}

std::multiset<std::string> RowTexts(xbase::Data4 table, const std::vector<xbase::Field4>& fields) {
  std::multiset<std::string> texts;
  xbase::d4tagSelect(table, 0);
  for (int rc = xbase::d4top(table); rc == xbase::kSuccess; rc = xbase::d4skip(table, 1)) {
    if (!xbase::d4deleted(table)) texts.insert(RowText(fields));
  }
  return texts;
}

// True when no two live rows of the table share a key text of the table's key tag.
bool KeyNamesOneRow(const TableDef& def, xbase::Data4 table) {
  if (def.KeyField.empty()) return true;
  std::set<std::string> keys;
  xbase::d4tagSelect(table, 0);
  for (int rc = xbase::d4top(table); rc == xbase::kSuccess; rc = xbase::d4skip(table, 1)) {
    if (xbase::d4deleted(table)) continue;
    const std::string key = GetTagValue(def, table, "");
    if (TextValue(key) > 0 && !keys.insert(key).second) return false;
  }
  return true;
}

RebuildResult Fail(const std::string& path, const std::string& why) {
  LogConstructionError(path + " (" + why + ")");
  return RebuildResult::Failed;
}

}  // namespace

std::string GetKeyFieldName(const std::string& name) { return GetTableDef(name).KeyField; }
std::string GetSecondKeyFieldName(const std::string& name) { return GetTableDef(name).Key2Field; }

std::string GetTableSource(const std::string& name, const std::string& source, int pass, int) {
  const ConstructionState& state = Construction();
  const bool users = EqualsNoCase(name, "users");
  const bool brandHasUsers = FileExists(TableFilePath(Paths().BrandFolder, "users", ".dbf"));
  if (state.InstallSetAbsent) {
    if (users && pass == kPassAreas && brandHasUsers) return Paths().BrandFolder;
    return BlankFolder();
  }
  if (users && brandHasUsers) return Paths().BrandFolder;
  const std::int16_t courseID = GetCourseID(source);
  if (courseID >= 0) {
    const std::string path = GetCoursePath(GetAreaID(ParentFolder(source)), courseID, kInstallCatalogue);
    if (!path.empty() && TableFileExists(path, name)) return path;
    return BlankFolder();
  }
  // The same place under the install set as the source has under the brand folder.
  const std::string brand = NormalizePath(Paths().BrandFolder);
  const std::string from = NormalizePath(source);
  if (from.rfind(brand, 0) == 0) {
    const std::string candidate =
        FindPath(JoinPath(JoinPath(Paths().DatabasesRoot, "CorvaneInst"), FindPath(source).substr(FindPath(Paths().BrandFolder).size())));
    if (TableFileExists(candidate, name)) return candidate;
  }
  return BlankFolder();
}

std::string FindMatchingRow(const std::string& name, const std::string& source, xbase::Data4 oldTable,
                            xbase::Data4 newTable) {
  const TableDef def = GetTableDef(name);
  const std::string oldID = Trim(f4str(xbase::d4field(oldTable, "user_id")));
  std::string result;
  const xbase::Field4 newName = xbase::d4field(newTable, def.NameField);
  const xbase::Tag4 nameTag = xbase::d4tag(newTable, def.NameField);
  const xbase::Field4 oldName = xbase::d4field(oldTable, def.NameField);
  if (newName != 0 && nameTag != 0 && oldName != 0) {
    const std::string key = PadRight(Trim(f4str(oldName)), xbase::t4keyLen(nameTag));
    if (SeekTag(newTable, nameTag, key)) result = Trim(f4str(xbase::d4field(newTable, "user_id")));
  }
  if (result.empty()) {
    TableRef ref;
    ref.TableName = "USERS";
    ref.Data = newTable;
    ref.KeyField = xbase::d4field(newTable, "user_id");
    ref.KeyTag = xbase::d4tag(newTable, "user_id");
    // A user keeps its identifier when the new table does not use it: rows of
    // tables that are not rebuilt still refer to it.
    if (TextValue(oldID) > 0 && ref.KeyTag != 0 && !SeekTag(newTable, ref.KeyTag, oldID)) {
      result = oldID;
    } else {
      result = GetNewRecordKey(ref);
    }
  }
  Construction().ValueRemaps.push_back({source, "user_id", oldID, result});
  return result;
}

void ApplyValueRemap(xbase::Data4 newTable, const std::string& source) {
  for (const ValueRemap& remap : Construction().ValueRemaps) {
    if (!PathStartsWith(remap.SourceFolder, source)) continue;
    const xbase::Field4 field = xbase::d4field(newTable, remap.FieldName);
    if (field == 0 || Trim(f4str(field)) != Trim(remap.OldValue)) continue;
    f4assign(field, remap.NewValue);
    return;
  }
}

void SplitStudentName(const std::string& name, std::string& lastName, std::string& firstName) {
  const std::string text = Trim(name);
  const auto comma = text.find(',');
  if (comma != std::string::npos) {
    lastName = Trim(text.substr(0, comma));
    firstName = Trim(text.substr(comma + 1));
    return;
  }
  const auto blank = text.find(' ');
  if (blank == std::string::npos) {
    firstName = text;
    lastName.clear();
    return;
  }
  firstName = Trim(text.substr(0, blank + 1));
  lastName = Trim(text.substr(blank + 1));
}

void ConvertSpecialField(xbase::Data4 oldTable, xbase::Data4 newTable, const std::string& table,
                         const std::string& field) {
  const std::string t = ToLower(Trim(table));
  const std::string f = ToLower(Trim(field));
  if (t == "printopt" && f == "xml") {
    BuildPrintOptXml(oldTable, newTable);
  } else if (t == "students" && f == "last_name") {
    const xbase::Field4 oldName = xbase::d4field(oldTable, "name");
    if (oldName == 0) return;
    std::string last, first;
    SplitStudentName(f4str(oldName), last, first);
    f4assign(xbase::d4field(newTable, "last_name"), last);
    f4assign(xbase::d4field(newTable, "first_name"), first);
  }
}

RowCopyCount CopyTableRows(const std::string& name, const std::string& source, const std::string&,
                           xbase::Data4 oldTable, xbase::Data4 newTable, bool users, bool oldValuesWin) {
  RowCopyCount count;
  // Fields of both tables, by name; and the new fields the old table lacks.
  std::vector<std::pair<xbase::Field4, xbase::Field4>> fieldMap;  // old, new
  std::vector<xbase::Field4> compared;                            // the new side of the map
  for (int j = 1; j <= xbase::d4numFields(oldTable); ++j) {
    const xbase::Field4 oldField = xbase::d4fieldJ(oldTable, j);
    const std::string fieldName = Trim(f4name(oldField));
    if (!HasField(newTable, fieldName)) continue;
    fieldMap.emplace_back(oldField, xbase::d4field(newTable, fieldName));
    compared.push_back(fieldMap.back().second);
  }
  std::vector<std::string> newOnly;
  for (int j = 1; j <= xbase::d4numFields(newTable); ++j) {
    const std::string fieldName = Trim(f4name(xbase::d4fieldJ(newTable, j)));
    if (!HasField(oldTable, fieldName)) newOnly.push_back(fieldName);
  }

  const std::string keyName = GetKeyFieldName(name);
  const xbase::Tag4 keyTag = keyName.empty() ? 0 : xbase::d4tag(newTable, keyName);
  const bool oldHasKeyField = !keyName.empty() && HasField(oldTable, keyName);
  const TableDef def = GetTableDef(name);
  // A key matches rows only where it names one row: a key that several rows of
  // either table share (user_id in userpermissions) would take every row after a
  // user's first for a copy of it. Such rows are matched by their whole content.
  const bool keyUsable = (oldHasKeyField ? (HasField(newTable, keyName) && keyTag != 0) : keyTag != 0) &&
                         (users || (KeyNamesOneRow(def, oldTable) && KeyNamesOneRow(def, newTable)));
  std::multiset<std::string> newRows = RowTexts(newTable, compared);

  xbase::d4tagSelect(oldTable, 0);
  xbase::d4tagSelect(newTable, 0);
  bool newEmpty = xbase::d4top(newTable) != xbase::kSuccess;

  for (int rc = xbase::d4top(oldTable); rc == xbase::kSuccess; rc = xbase::d4skip(oldTable, 1)) {
    // A row deleted in the old table was deleted by its user; it does not come back.
    if (xbase::d4deleted(oldTable)) continue;
    ++count.Read;
    std::string match;
    if (users) {
      match = FindMatchingRow(name, source, oldTable, newTable);
    } else if (!newEmpty && (oldHasKeyField || keyTag != 0)) {
      match = GetTagValue(def, oldTable, "");
    }
    const bool byKey = keyUsable && !newEmpty && TextValue(match) > 0;
    if (byKey && SeekTag(newTable, keyTag, match)) {
      // The row is in the new table under its key. A template's own rows (the
      // built-in users, the default options) give way to the live row's values.
      if (oldValuesWin) {
        for (const auto& [oldField, newField] : fieldMap) CopyFieldValue(newField, oldField);
        for (const std::string& fieldName : newOnly) ConvertSpecialField(oldTable, newTable, name, fieldName);
        ApplyValueRemap(newTable, source);
        if (users) f4assign(xbase::d4field(newTable, "user_id"), match);
        const int written = xbase::d4flush(newTable);
        Engine().LastEngineCode = written;
        if (written != xbase::kSuccess) {
          ++count.Refused;
          continue;
        }
      }
      ++count.Matched;
      continue;
    }
    xbase::d4tagSelect(newTable, 0);
    AppendBlank(newTable);
    for (const auto& [oldField, newField] : fieldMap) CopyFieldValue(newField, oldField);
    for (const std::string& fieldName : newOnly) ConvertSpecialField(oldTable, newTable, name, fieldName);
    ApplyValueRemap(newTable, source);
    const std::string text = RowText(compared);
    const auto same = newRows.find(text);
    if (!byKey && !newEmpty && same != newRows.end()) {
      // The same row, field for field, is there already.
      xbase::d4goEof(newTable);
      newRows.erase(same);
      ++count.Matched;
      continue;
    }
    const int appended = xbase::d4append(newTable);
    Engine().LastEngineCode = appended;
    if (appended == xbase::kSuccess) {
      ++count.Appended;
      newEmpty = false;
    } else if (appended == xbase::kUnique && same != newRows.end()) {
      newRows.erase(same);
      ++count.Matched;  // a unique key holds this very row
    } else {
      ++count.Refused;  // the engine would not write it, or a unique key holds another row
    }
  }
  Engine().LastEngineCode = xbase::d4reindex(newTable);
  return count;
}

RebuildResult RebuildTable(const std::string& source, const std::string& target, int pass, int kind,
                           const std::string& name, bool moveOut) {
  Progress().Step("Processing, please wait");
  const std::string sourcePath = JoinPath(source, name + ".dbf");
  const std::string temp = RebuildTempFolder();
  if (temp.empty() || !CreateFolderTree(temp)) return Fail(sourcePath, "no temporary folder");
  DeleteFolderFiles(temp, false, "");
  const std::string templateFolder = GetTableSource(name, source, pass, kind);
  RecoverTableSwap(target, name);
  // A target holding the table under its former name holds the table.
  const std::string formerName = GetTableDef(name).OldName;
  if (!formerName.empty() && !TableFileExists(target, name) && TableFileExists(target, formerName)) {
    RenameFormerTable(target, name, formerName);
  }

  // The old rows are read from a copy, and only from a copy that holds them all.
  if (!SamePath(source, temp)) CopyFilesByPattern(JoinPath(FindPath(source), name + ".*"), temp, true, false);
  const long sourceCount = SamePath(source, temp) ? -2 : CountRecords(source, name);
  xbase::Data4 oldTable = OpenExisting(temp, name);
  if (oldTable == 0) return Fail(sourcePath, "the copy in " + temp + " does not open");
  if (sourceCount != -2 && xbase::d4recCount(oldTable) != sourceCount) {
    CloseTable(oldTable);
    return Fail(sourcePath, "the copy in " + temp + " does not hold every row");
  }

  const bool targetHasTable = TableFileExists(target, name);
  const long targetRows = targetHasTable ? CountRecords(target, name) : 0;
  if (targetRows < 0) {
    CloseTable(oldTable);
    return Fail(JoinPath(target, name + ".dbf"), "the target table does not open");
  }
  if (moveOut && !IsMergedTable(name) && targetRows > 0) {
    // The target keeps its own rows and receives none, unless what it holds is
    // already every old row that belongs in it (none, or those an earlier run
    // that was stopped put there).
    const bool carried = LiveRows(oldTable) == 0 || TargetHoldsItsRows(oldTable, source, target, name, pass);
    CloseTable(oldTable);
    return carried ? RebuildResult::Rebuilt : RebuildResult::TargetKept;
  }

  // The starting table: the template, or the target's own table when the rows are
  // merged into it (rows a target already holds are never replaced by a template).
  std::string start = templateFolder;
  if (SamePath(templateFolder, target) || (moveOut && targetRows > 0)) start = target;
  // A table rebuilt in place starts from a template, never from itself: its own
  // rows come from the copy.
  if (SamePath(start, target) && (!targetHasTable || SamePath(source, target))) start = BlankFolder();
  const std::string staged = name + kNewSuffix;
  if (!CopyTableAs(start, name, target, staged)) {
    CloseTable(oldTable);
    DeleteRebuiltTable(target, name);
    return Fail(JoinPath(target, name + ".dbf"), "no starting table in " + start);
  }
  xbase::Data4 newTable = OpenExisting(target, staged);
  if (newTable == 0) {
    CloseTable(oldTable);
    DeleteRebuiltTable(target, name);
    return Fail(JoinPath(target, name + ".dbf"), "the starting table does not open");
  }
  const long startCount = xbase::d4recCount(newTable);
  const RowCopyCount copied = CopyTableRows(name, source, target, oldTable, newTable, EqualsNoCase(name, "users"),
                                            SamePath(start, BlankFolder()));
  CloseTable(newTable);
  CloseTable(oldTable);
  const long rebuiltCount = CountRecords(target, staged);
  if (copied.Refused > 0 || copied.Appended + copied.Matched != copied.Read ||
      rebuiltCount != startCount + copied.Appended) {
    DeleteRebuiltTable(target, name);
    return Fail(sourcePath, "the rebuilt table does not hold every row");
  }

  if (!SamePath(source, target)) {
    RemoveForeignRows(source, target, name, pass, kind, staged);
    if (CountRecords(target, staged) < 0) {
      DeleteRebuiltTable(target, name);
      return Fail(sourcePath, "the rebuilt table does not open after its foreign rows left");
    }
  }
  if (!SwapInRebuiltTable(target, name)) return Fail(JoinPath(target, name + ".dbf"), "the table could not be replaced");
  return RebuildResult::Rebuilt;
}

}  // namespace tolvarin
