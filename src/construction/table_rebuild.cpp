#include "construction/table_rebuild.h"

#include <algorithm>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "construction/blank_tables.h"
#include "construction/construction_run.h"
#include "construction/field_values.h"
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
#include "data/key_text.h"
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

// Tables whose old rows join the rows a target holds instead of giving way to them:
// the options, the users and their permissions belong to no one course.
bool IsMergedTable(const std::string& name) {
  const std::string lower = ToLower(name);
  return lower == "printopt" || lower == "users" || lower == "userpermissions";
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

UserRows::UserRows(xbase::Data4 oldTable, xbase::Data4 newTable, bool standIns) : standIns_(standIns) {
  const xbase::Field4 newID = xbase::d4field(newTable, "user_id");
  const xbase::Field4 newName = xbase::d4field(newTable, "user_name");
  xbase::d4tagSelect(newTable, 0);
  for (int rc = xbase::d4top(newTable); rc == xbase::kSuccess; rc = xbase::d4skip(newTable, 1)) {
    if (xbase::d4deleted(newTable)) continue;
    Held row{Trim(f4str(newID)), newName == 0 ? "" : Trim(f4str(newName)), xbase::d4recNo(newTable)};
    used_.insert(static_cast<long>(TextValue(row.UserID)));
    held_.push_back(row);
  }
  const xbase::Field4 oldID = xbase::d4field(oldTable, "user_id");
  xbase::d4tagSelect(oldTable, 0);
  for (int rc = xbase::d4top(oldTable); rc == xbase::kSuccess; rc = xbase::d4skip(oldTable, 1)) {
    if (!xbase::d4deleted(oldTable)) used_.insert(static_cast<long>(TextValue(f4str(oldID))));
  }
}

UserRows::Place UserRows::For(xbase::Data4 oldTable) {
  const xbase::Field4 nameField = xbase::d4field(oldTable, "user_name");
  const std::string oldID = Trim(f4str(xbase::d4field(oldTable, "user_id")));
  const std::string oldName = nameField == 0 ? "" : Trim(f4str(nameField));
  if (standIns_) {
    // Rows of the template give way, first to the user of their number, then to
    // the user of their name.
    for (Held& row : held_) {
      if (!row.Taken && row.UserID == oldID) return row.Taken = true, Place{oldID, row.Record};
    }
    for (Held& row : held_) {
      if (!row.Taken && !oldName.empty() && row.UserName == oldName) return row.Taken = true, Place{oldID, row.Record};
    }
    return {oldID, 0};
  }
  for (const Held& row : held_) {
    if (!oldName.empty() && row.UserName == oldName) return {row.UserID, row.Record};
  }
  std::string id = oldID;
  const bool clash = TextValue(oldID) <= 0 || std::any_of(held_.begin(), held_.end(), [&](const Held& row) {
                       return TextValue(row.UserID) == TextValue(oldID);
                     });
  if (clash) {
    // Above every number either table uses, else the lowest one free.
    const IdRange range = GetIdRange("USERS");
    long candidate = range.First;
    for (const long used : used_) {
      if (used >= range.First && used <= range.Last) candidate = std::max(candidate, used + 1);
    }
    if (candidate > range.Last) {
      for (candidate = range.First; candidate <= range.Last && used_.count(candidate); ++candidate) {
      }
    }
    if (candidate > range.Last) return {"", 0};
    id = FormatID(static_cast<std::int32_t>(candidate));
    used_.insert(candidate);
  }
  held_.push_back({id, oldName, -1, true});  // appended by this copy: later rows of its name are this user
  return {id, 0};
}

UserRows::Place FindMatchingRow(const std::string& source, xbase::Data4 oldTable, UserRows& rows) {
  const UserRows::Place place = rows.For(oldTable);
  Construction().ValueRemaps.push_back({source, "user_id", Trim(f4str(xbase::d4field(oldTable, "user_id"))), place.UserID});
  return place;
}

void ApplyValueRemap(xbase::Data4 newTable, const std::string& source) {
  // The users of a folder serve the folders below it; a folder's own users come first.
  const ValueRemap* nearest = nullptr;
  for (const ValueRemap& remap : Construction().ValueRemaps) {
    if (!PathStartsWith(remap.SourceFolder, source)) continue;
    if (nearest != nullptr && nearest->SourceFolder.size() >= remap.SourceFolder.size()) continue;
    const xbase::Field4 field = xbase::d4field(newTable, remap.FieldName);
    if (field == 0 || Trim(f4str(field)) != Trim(remap.OldValue)) continue;
    nearest = &remap;
  }
  if (nearest != nullptr) f4assign(xbase::d4field(newTable, nearest->FieldName), nearest->NewValue);
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
  const bool keyUsable = !users && (oldHasKeyField ? (HasField(newTable, keyName) && keyTag != 0) : keyTag != 0) &&
                         KeyNamesOneRow(def, oldTable) && KeyNamesOneRow(def, newTable);
  std::multiset<std::string> newRows = RowTexts(newTable, compared);
  std::set<std::string> written;  // the rows this copy appended
  std::unique_ptr<UserRows> userRows;
  if (users) userRows = std::make_unique<UserRows>(oldTable, newTable, oldValuesWin);
  const xbase::Field4 userID = xbase::d4field(newTable, "user_id");

  // Writes the old row's values into the new table's current record; false when a
  // value did not arrive whole (it is named in the count).
  const auto fill = [&] {
    bool whole = true;
    for (const auto& [oldField, newField] : fieldMap) {
      CopyFieldValue(newField, oldField);
      if (!ValueArrived(oldField, newField)) {
        whole = false;
        count.Lost.push_back(DescribeValue(oldTable, oldField));
      }
    }
    for (const std::string& fieldName : newOnly) ConvertSpecialField(oldTable, newTable, name, fieldName);
    ApplyValueRemap(newTable, source);
    return whole;
  };
  const auto append = [&](const std::string& text) {
    const int appended = xbase::d4append(newTable);
    Engine().LastEngineCode = appended;
    if (appended == xbase::kSuccess) {
      ++count.Appended;
      written.insert(text);
    } else if (appended == xbase::kUnique && (newRows.count(text) || written.count(text))) {
      if (const auto same = newRows.find(text); same != newRows.end()) newRows.erase(same);
      ++count.Matched;  // a unique key holds this very row
    } else {
      ++count.Refused;  // the engine would not write it, or a unique key holds another row
    }
  };

  xbase::d4tagSelect(oldTable, 0);
  xbase::d4tagSelect(newTable, 0);
  bool newEmpty = xbase::d4top(newTable) != xbase::kSuccess;

  for (int rc = xbase::d4top(oldTable); rc == xbase::kSuccess; rc = xbase::d4skip(oldTable, 1)) {
    // A row deleted in the old table was deleted by its user; it does not come back.
    if (xbase::d4deleted(oldTable)) continue;
    ++count.Read;
    if (users) {
      const UserRows::Place place = FindMatchingRow(source, oldTable, *userRows);
      if (place.UserID.empty()) {
        ++count.Refused;  // no identifier left for the user
        continue;
      }
      if (place.Record > 0 && oldValuesWin) {
        // The template's row gives way to the live user's values.
        xbase::d4go(newTable, place.Record);
        const bool whole = fill();
        f4assign(userID, place.UserID);
        const int flushed = xbase::d4flush(newTable);
        Engine().LastEngineCode = flushed;
        if (!whole || flushed != xbase::kSuccess) {
          ++count.Refused;
          continue;
        }
      }
      if (place.Record != 0) {
        ++count.Matched;
        continue;
      }
      xbase::d4tagSelect(newTable, 0);
      AppendBlank(newTable);
      const bool whole = fill();
      f4assign(userID, place.UserID);
      if (!whole) {
        xbase::d4goEof(newTable);
        ++count.Refused;
        continue;
      }
      append(RowText(compared));
      newEmpty = false;
      continue;
    }

    std::string match;
    if (!newEmpty && (oldHasKeyField || keyTag != 0)) match = GetTagValue(def, oldTable, "");
    const bool byKey = keyUsable && !newEmpty && TextValue(match) > 0;
    if (byKey && SeekTag(newTable, keyTag, match)) {
      // The row is in the new table under its key. A template's own rows (the
      // default options) give way to the live row's values.
      if (oldValuesWin) {
        const bool whole = fill();
        const int flushed = xbase::d4flush(newTable);
        Engine().LastEngineCode = flushed;
        if (!whole || flushed != xbase::kSuccess) {
          ++count.Refused;
          continue;
        }
      }
      ++count.Matched;
      continue;
    }
    xbase::d4tagSelect(newTable, 0);
    AppendBlank(newTable);
    const bool whole = fill();
    if (!whole) {
      xbase::d4goEof(newTable);
      ++count.Refused;
      continue;
    }
    const std::string text = RowText(compared);
    const auto same = newRows.find(text);
    if (!byKey && !newEmpty && same != newRows.end()) {
      // The same row, field for field, is there already.
      xbase::d4goEof(newTable);
      newRows.erase(same);
      ++count.Matched;
      continue;
    }
    append(text);
    if (count.Appended > 0) newEmpty = false;
  }
  Engine().LastEngineCode = xbase::d4reindex(newTable);
  return count;
}

RebuildResult RebuildTable(const std::string& source, const std::string& target, int pass, int kind,
                           const std::string& name, bool moveOut, const std::string& rowsFrom) {
  Progress().Step("Processing, please wait");
  const std::string sourcePath = JoinPath(source, name + ".dbf");
  const std::string rows = rowsFrom.empty() ? source : rowsFrom;
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
  if (!SamePath(rows, temp)) CopyFilesByPattern(JoinPath(FindPath(rows), name + ".*"), temp, true, false);
  const long sourceCount = SamePath(rows, temp) ? -2 : CountRecords(rows, name);
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
  if (!copied.Lost.empty()) {
    // Each value that would not fit is named; the old table stays as it was.
    DeleteRebuiltTable(target, name);
    constexpr std::size_t kNamed = 10;
    for (std::size_t i = 0; i < copied.Lost.size() && i < kNamed; ++i) {
      Fail(sourcePath, "the value of " + copied.Lost[i] + " does not fit the field of the current layout");
    }
    if (copied.Lost.size() > kNamed) {
      Fail(sourcePath, std::to_string(copied.Lost.size() - kNamed) + " more values do not fit their fields");
    }
    return RebuildResult::Failed;
  }
  if (copied.Refused > 0 || copied.Appended + copied.Matched != copied.Read ||
      rebuiltCount != startCount + copied.Appended) {
    DeleteRebuiltTable(target, name);
    return Fail(sourcePath, "the rebuilt table does not hold every row");
  }

  if (!SamePath(source, target)) {
    if (!RemoveForeignRows(source, target, name, pass, kind, staged)) {
      DeleteRebuiltTable(target, name);
      return Fail(sourcePath, "the engine refused a change while the rows of other courses left " + target);
    }
    if (CountRecords(target, staged) < 0) {
      DeleteRebuiltTable(target, name);
      return Fail(sourcePath, "the rebuilt table does not open after its foreign rows left");
    }
  }
  if (!SwapInRebuiltTable(target, name)) return Fail(JoinPath(target, name + ".dbf"), "the table could not be replaced");
  return RebuildResult::Rebuilt;
}

}  // namespace tolvarin
