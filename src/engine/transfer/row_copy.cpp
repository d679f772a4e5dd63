#include "engine/transfer/row_copy.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <tuple>
#include <unordered_set>
#include <vector>

#include "construction/blank_tables.h"
#include "core/box_buttons.h"
#include "core/files.h"
#include "core/paths.h"
#include "core/progress.h"
#include "core/run_log.h"
#include "core/settings.h"
#include "core/strings.h"
#include "core/system_box.h"
#include "data/codebase.h"
#include "data/id_ranges.h"
#include "data/key_text.h"
#include "data/record_ops.h"
#include "data/standards.h"
#include "data/table_catalogue.h"
#include "data/table_registry.h"
#include "engine/package/image_archive.h"
#include "engine/transfer/activity_remap.h"
#include "engine/transfer/database_sets.h"
#include "engine/transfer/table_access.h"
#include "engine/transfer/id_mapping.h"
#include "engine/transfer/selection.h"
#include "engine/transfer/transfer_state.h"

namespace tolvarin {
namespace {

using transfer::Number;
using transfer::Seek;

namespace fs = std::filesystem;

constexpr std::int32_t kPublisherThreshold = 20000;
constexpr long kAppendPackageMode = 5;

ImportPreview& Preview() {
  static ImportPreview preview;
  return preview;
}

std::string ImageText(std::int32_t id) { return id > 0 ? FormatID(id) : std::string(); }

// A table that is not a field's own: table 1's fourth reference names the question
// type table's field, which the question type rows' own copy looks after.
bool FieldOf(xbase::Field4 field, xbase::Data4 data) { return field != 0 && xbase::f4data(field) == data; }

bool StopsAtTheOverwriteWarning() {
  const RunSettings& s = Settings();
  if (s.Operation != 2 || s.ImportMode != 7 || !s.Interactive) return false;
  const TableMapping& quests = Mapping(kQuestsTable);
  const IdMap& map = quests.IDMap;
  if (map.Empty()) return false;
  std::string list;
  for (std::int32_t old = map.low(); old <= map.high(); ++old) {
    const std::int32_t id = map.Get(old);
    if (id > 0 && Seek(quests.Dest.Data, quests.Dest.KeyTag, FormatID(id))) list += FormatID(id) + " ";
  }
  if (list.empty()) return false;
  const std::string text = "Importing these questions will overwrite the following question ids: \r\n\r\n" + list +
                           "\r\n\r\nAre you sure you want to continue?";
  return FacilityMessageBox(text, kMbYesNo | kMbQuestion) != kIdYes;
}

bool PreviewSaysGoOn() {
  const RunSettings& s = Settings();
  if ((s.Operation != 2 && s.Operation != 4) || !s.Interactive) return true;
  if (Preview()) return Preview()();
  return FacilityMessageBox(kPreviewText, kMbOkCancel | kMbQuestion) == kIdOk;
}

// A folder's file names without regard to case, read once and kept up to date as
// pictures are added: a name that is there in another case is written over, never
// doubled (the first of several in plain order, as FindPath picks it).
class ImageFolderNames {
 public:
  explicit ImageFolderNames(std::string folder) : folder_(std::move(folder)) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder_, ec)) {
      const std::string name = entry.path().filename().string();
      exact_.insert(name);
      const auto [it, added] = byLower_.emplace(ToLower(name), name);
      if (!added && name < it->second) it->second = name;
    }
  }
  // Where a file of this name is to be written.
  std::string Claim(const std::string& name) {
    if (!exact_.count(name)) {
      const std::string lower = ToLower(name);
      if (const auto it = byLower_.find(lower); it != byLower_.end()) return JoinPath(folder_, it->second);
      exact_.insert(name);
      byLower_.emplace(lower, name);
    }
    return JoinPath(folder_, name);
  }

 private:
  std::string folder_;
  std::set<std::string> exact_;
  std::map<std::string, std::string> byLower_;
};

// What the copy of every row of one table looks up again and again, gathered once
// per table: the activity rewrites (fixed once the maps are built) and the keys the
// source attribute tables hold, so that a row without attributes costs no seek.
struct TableCopyLookups {
  bool active = false;
  std::optional<ActivityReplacements> activities;
  bool rowKeysRead = false;
  // Per source attribute table: every stored key of its row tag; none when the
  // table is not there or is also the destination (its keys grow while it is read).
  std::array<std::optional<std::unordered_set<std::string>>, 3> rowKeys;
};

TableCopyLookups& Lookups() {
  static TableCopyLookups lookups;
  return lookups;
}

// Process-wide state that lives for one copy: fresh and active while the scope
// lasts, cleared again when it ends (also when the copy throws).
template <typename State, State& (*Get)()>
class ActiveScope {
 public:
  ActiveScope() {
    Get() = State{};
    Get().active = true;
  }
  ~ActiveScope() { Get() = State{}; }
  ActiveScope(const ActiveScope&) = delete;
  ActiveScope& operator=(const ActiveScope&) = delete;
};

using TableCopyScope = ActiveScope<TableCopyLookups, Lookups>;

std::optional<std::unordered_set<std::string>> StoredKeys(xbase::Data4 data, xbase::Tag4 tag) {
  if (data == 0 || tag == 0) return std::nullopt;
  std::unordered_set<std::string> keys;
  xbase::d4tagSelect(data, tag);
  int rc = xbase::d4top(data);
  for (; rc == xbase::kSuccess; rc = xbase::d4skip(data, 1)) keys.insert(xbase::t4key(tag));
  if (rc != xbase::kEof) return std::nullopt;
  return keys;
}

bool SameFolder(const std::string& a, const std::string& b) {
  std::error_code ec;
  return fs::equivalent(FindPath(a), FindPath(b), ec) || ec;  // unsure counts as the same
}

// Whether a seek of key on the source attribute table (tag) could find a row: false
// only when the gathered keys say that neither the key nor its lower case is there.
bool MayHoldRows(int table, xbase::Tag4 tag, const std::string& key) {
  const auto& keys = Lookups().rowKeys[static_cast<std::size_t>(table)];
  if (!keys) return true;
  const std::size_t length = static_cast<std::size_t>(xbase::t4keyLen(tag));
  if (key.size() < length) return true;  // a shorter key finds by prefix
  const std::string stored = key.substr(0, length);
  return keys->count(stored) || keys->count(ToLower(stored));
}

// The standards links this copy appended: a destination table that takes its rows
// in bulk (see DoBackup) finds them in its tags only once the copy is over.
struct AppendedLinks {
  bool active = false;
  std::set<std::tuple<std::int32_t, std::int32_t, std::int32_t>> links;  // tree, node, question
};

AppendedLinks& Appended() {
  static AppendedLinks appended;
  return appended;
}

using CopyScope = ActiveScope<AppendedLinks, Appended>;

// What CopyFileReplace does, for a target whose real name is known already.
void ReplaceFile(const std::string& source, const std::string& target) {
  std::error_code ec;
  if (!fs::is_directory(fs::symlink_status(target, ec))) fs::remove(target, ec);
  fs::copy_file(source, target, fs::copy_options::overwrite_existing, ec);
}

}  // namespace

void SetImportPreview(ImportPreview preview) { Preview() = std::move(preview); }

bool CopyTables() {
  const RunSettings& s = Settings();
  if (StopsAtTheOverwriteWarning()) return false;
  if (!PreviewSaysGoOn()) {
    WriteLog("Import cancelled at the preview: nothing was copied");
    return false;
  }
  const CopyScope scope;
  if (s.Operation != 4 && s.Mode == 0 && s.Interactive && (UserAccessLevel() == 1 || s.Operation == 1))
    CopyUsersTable();
  if (s.Operation == 1 || s.Operation == 3 || Transfer().ImportClassification) CopyStandardNodes();
  for (std::int32_t t = 1; t <= kTableCount; ++t) {
    TableMapping& m = Mapping(t);
    if (m.Src.Data == 0) continue;
    // The session results entry has no name of its own; the user sees its file's.
    NotifyPackagingProgress(m.TableName.empty() ? ToUpper(TableFileTitle(m.Src)) : m.TableName, "Copying table");
    CopyTable(m);
  }
  CopyImages();
  return true;
}

void CopyTable(TableMapping& m) {
  const TableCopyScope scope;
  if (!m.Enabled) {
    CopyTableSpecial(m);
    return;
  }
  WriteLog("Copying table: " + m.TableName);
  const xbase::Data4 src = m.Src.Data;
  const xbase::Data4 dest = m.Dest.Data;
  if (src == 0 || dest == 0) return;
  const std::vector<std::int32_t> ids = m.SelectedIDs;
  for (std::int32_t oldID : ids) {
    if (oldID == 0 || !Seek(src, m.Src.KeyTag, FormatID(oldID))) continue;
    const std::int32_t newID = LookupNewID(m.TableNo, oldID);
    if (newID <= 0) continue;
    const bool exists = Seek(dest, m.Dest.KeyTag, FormatID(newID));
    if (exists && Settings().Mode == kAppendPackageMode) continue;
    if (exists) {
      if (LockCurrentRecord(dest) != 0) continue;
    } else {
      AppendBlank(dest);
    }
    CopyFieldsByPosition(src, dest);
    xbase::f4assign(m.Dest.KeyField, FormatID(newID));
    for (const TableReference& r : m.References) {
      if (!FieldOf(r.SrcField, src) || !FieldOf(r.DestField, dest)) continue;
      const std::int32_t mapped = LookupNewID(r.RefTableNo, Number(r.SrcField));
      if (mapped > 0) xbase::f4assign(r.DestField, FormatID(mapped));
    }
    CopyTableSpecial(m);
    if (exists) {
      Engine().LastEngineCode = xbase::d4flush(dest);
      xbase::d4unlock(dest);
    } else {
      Engine().LastEngineCode = xbase::d4append(dest);
    }
    if (Engine().LastEngineCode != 0)
      WriteLog("    Row ID#" + FormatID(oldID) + " of " + m.TableName + " could not be written (" +
               std::to_string(Engine().LastEngineCode) + ")");
    AppendRowKeyPairs(m.TableName, oldID, newID);
    if (m.LogRows) {
      const std::string name = m.SrcNameField ? Trim(f4str(m.SrcNameField)) : std::string();
      if (!name.empty())
        WriteLog("    Copied Row: " + name);
      else
        WriteLog("    Copied Row ID#" + FormatID(oldID) + " to " + FormatID(newID));
    }
  }
}

void CopyTableSpecial(TableMapping& m) {
  DatabaseSet& src = Src();
  DatabaseSet& dest = Dest();
  const RunSettings& s = Settings();
  if (m.Enabled) {
    switch (m.TableNo) {
      case kQuestsTable: {
        const int answers = std::min<int>(src.Quests.AnswerCount, dest.Quests.AnswerCount);
        for (int k = 1; k <= answers; ++k)
          xbase::f4assign(dest.Quests.AnswerPctField(k),
                          ImageText(LookupNewID(kImageFiles, Number(src.Quests.AnswerPctField(k)))));
        // The series identifier lives only in tables that have a field of its own.
        const xbase::Field4 srcSeries = xbase::d4field(src.Quests.Data, "sourceID");
        const xbase::Field4 destSeries = xbase::d4field(dest.Quests.Data, "sourceID");
        if (srcSeries != 0 && destSeries != 0) {
          TableRef ref = m.Src;
          xbase::f4assign(destSeries, SeriesIDOf(ref, srcSeries, -1));
        }
        break;
      }
      case kDescriptTable:
        xbase::f4assign(dest.Descript.Image_id, ImageText(LookupNewID(kImageFiles, Number(src.Descript.Image_id))));
        break;
      case kTemplatesTable: {
        TableCopyLookups& lookups = Lookups();
        if (!lookups.active) {
          RemapActivityQuestionIDs();
          break;
        }
        if (!lookups.activities) lookups.activities = CurrentActivityReplacements();
        RemapActivityQuestionIDs(*lookups.activities);
        break;
      }
      default: break;
    }
  } else {
    switch (m.TableNo) {
      case kStandardNodesTable: CopyStandardNodes(); break;
      case kSesResultsTable: CopyLinkTableRows(); break;
      case kPrintOptTable: CopyMappedRows(); break;
      default: break;
    }
  }
  if (m.TableNo != kQuestsTable) return;
  if (s.Operation == 4 && !Transfer().ImportClassification) return;
  // The question's standards links, read before any is written.
  const std::string question = std::to_string(Number(src.Quests.Quest_id));
  struct Link {
    std::int32_t tree, node, quest;
  };
  std::vector<Link> links;
  if (Seek(src.StanQues.Data, src.StanQues.Quest_idTag, question)) {
    do links.push_back({Number(src.StanQues.Tree_id), Number(src.StanQues.Node_id), Number(src.StanQues.Quest_id)});
    while (xbase::d4seekNext(src.StanQues.Data, question) == xbase::kSuccess);
  }
  const bool renumber = s.Operation != 4 && !StandardNodeMap().empty();
  for (Link link : links) {
    if (renumber && link.node >= kPublisherThreshold) {
      const std::string key = MappedNodeKey(StandardKeyString(static_cast<std::int16_t>(link.tree), link.node));
      link.node = ParseStandardKey(key).NodeID;
    }
    link.quest = LookupNewID(kQuestsTable, link.quest);
    if (link.quest > 0) AddStandardQuestionLink(link.tree, link.node, link.quest);
  }
}

void AddStandardQuestionLink(std::int32_t tree, std::int32_t node, std::int32_t questID) {
  const StanQuesRecord& d = Dest().StanQues;
  if (d.Data == 0) return;
  const std::string key = std::to_string(questID);
  AppendedLinks& appended = Appended();
  if (appended.active && appended.links.count({tree, node, questID})) return;
  if (Seek(d.Data, d.Quest_idTag, key)) {
    do {
      if (Number(d.Tree_id) == tree && Number(d.Node_id) == node) return;
    } while (xbase::d4seekNext(d.Data, key) == xbase::kSuccess);
  }
  AppendBlank(d.Data);
  xbase::f4assignLong(d.Tree_id, tree);
  xbase::f4assignLong(d.Node_id, node);
  xbase::f4assignLong(d.Quest_id, questID);
  Engine().LastEngineCode = xbase::d4append(d.Data);
  if (appended.active && Engine().LastEngineCode == 0) appended.links.insert({tree, node, questID});
}

void AppendRowKeyPairs(const std::string& tableName, std::int32_t oldID, std::int32_t newID) {
  const std::string oldKey = PadRight(tableName, 20) + PadRight(std::to_string(oldID), 40);
  const std::string newText = PadRight(std::to_string(newID), 40);
  DatabaseSet& src = Src();
  DatabaseSet& dest = Dest();
  const std::pair<AttributeValuesRecord*, AttributeValuesRecord*> tables[] = {
      {&src.CharAttributes, &dest.CharAttributes},
      {&src.EnumAttributes, &dest.EnumAttributes},
      {&src.MemoAttributes, &dest.MemoAttributes}};
  TableCopyLookups& lookups = Lookups();
  if (lookups.active && !lookups.rowKeysRead) {
    lookups.rowKeysRead = true;
    if (!SameFolder(src.CourseFolder, dest.CourseFolder))
      for (std::size_t i = 0; i < std::size(tables); ++i)
        lookups.rowKeys[i] = StoredKeys(tables[i].first->Data, tables[i].first->RowTag);
  }
  for (std::size_t i = 0; i < std::size(tables); ++i) {
    const auto& [from, to] = tables[i];
    if (from->Data == 0 || to->Data == 0) continue;
    if (lookups.active && !MayHoldRows(static_cast<int>(i), from->RowTag, oldKey)) continue;
    CopyMatchingRows({from->Data, from->RowTag}, {to->Data, to->Table_id}, oldKey, newText);
  }
}

void CopyUsersTable() {
  WriteLog("Copying users table");
  DatabaseSet& src = Src();
  DatabaseSet& dest = Dest();
  if (src.Users.Data == 0 || dest.Users.Data == 0) return;
  struct User {
    std::int32_t id;
    long recno;
  };
  std::vector<User> users;
  xbase::d4tagSelect(src.Users.Data, src.Users.User_IDTag);
  for (int rc = xbase::d4top(src.Users.Data); rc == xbase::kSuccess; rc = xbase::d4skip(src.Users.Data, 1))
    if (Trim(f4str(src.Users.User_Name)) != kMasterUserName)
      users.push_back({Number(src.Users.User_ID), xbase::d4recNo(src.Users.Data)});
  for (const User& user : users) {
    const std::int32_t id = LookupNewUserID(user.id);
    if (id <= LastUserID()) continue;
    if (Seek(dest.Users.Data, dest.Users.User_IDTag, FormatID(id))) continue;
    if (Settings().Operation != 2) {
      bool hasClass = false;
      const std::string key = FormatID(user.id);
      if (Seek(src.Classes.Data, src.Classes.User_idTag, key)) {
        do hasClass = hasClass || LookupNewID(kClassesTable, Number(src.Classes.Class_id)) > 0;
        while (xbase::d4seekNext(src.Classes.Data, key) == xbase::kSuccess);
      }
      if (!hasClass) continue;
    }
    xbase::d4go(src.Users.Data, user.recno);
    AppendBlank(dest.Users.Data);
    xbase::f4assign(dest.Users.User_ID, FormatID(id));
    CopyFieldValue(dest.Users.User_Name, src.Users.User_Name);
    CopyFieldValue(dest.Users.Password, src.Users.Password);
    CopyFieldValue(dest.Users.Edit_Pswd, src.Users.Edit_Pswd);
    Engine().LastEngineCode = xbase::d4append(dest.Users.Data);
  }
}

void CopyStandardNodes() {
  const StandardRecord& s = Src().Standard;
  const StandardRecord& d = Dest().Standard;
  if (s.Data == 0 || d.Data == 0) return;
  for (const std::string& key : StandardNodeKeys()) {
    if (!Seek(s.Data, s.StandardIDTag, key)) continue;
    const StandardKey node = ParseStandardKey(MappedNodeKey(key));
    const std::int16_t tree = static_cast<std::int16_t>(Number(s.Tree_id));
    const StandardKey parent = ParseStandardKey(MappedNodeKey(StandardKeyString(tree, Number(s.Parent_id))));
    AppendBlank(d.Data);
    xbase::f4assignLong(d.Tree_id, node.TreeID);
    xbase::f4assignLong(d.Node_id, node.NodeID);
    xbase::f4assignLong(d.Parent_id, parent.NodeID);
    CopyFieldValue(d.Order, s.Order);
    CopyFieldValue(d.Descript, s.Descript);
    Engine().LastEngineCode = xbase::d4append(d.Data);
  }
}

void CopyLinkTableRows() {
  const SesResultsRecord& s = Src().SesResults;
  const SesResultsRecord& d = Dest().SesResults;
  if (s.Data == 0 || d.Data == 0) return;
  const auto& students = Mapping(kStudentsTable).SelectedSet;
  const auto& sesQuests = Mapping(kSesQuestsTable).SelectedSet;
  xbase::d4tagSelect(s.Data, 0);
  for (int rc = xbase::d4top(s.Data); rc == xbase::kSuccess; rc = xbase::d4skip(s.Data, 1)) {
    const std::int32_t student = Number(s.Student_id);
    const std::int32_t sesQues = Number(s.SesQues_id);
    if (!students.count(student) || !sesQuests.count(sesQues)) continue;
    const std::int32_t newStudent = LookupNewID(kStudentsTable, student);
    const std::int32_t newSesQues = LookupNewID(kSesQuestsTable, sesQues);
    if (newStudent < 1 || newSesQues < 1) continue;
    AppendBlank(d.Data);
    xbase::f4assign(d.Student_id, FormatID(newStudent));
    xbase::f4assign(d.SesQues_id, FormatID(newSesQues));
    // The answer is copied as it stands: a letter answer would not survive a number.
    CopyFieldValue(d.Answer, s.Answer);
    xbase::f4assignLong(d.Time, xbase::f4long(s.Time));
    Engine().LastEngineCode = xbase::d4append(d.Data);
  }
}

void CopyMappedRows() {
  const PrintOptRecord& s = Src().PrintOpt;
  const PrintOptRecord& d = Dest().PrintOpt;
  if (s.Data == 0 || d.Data == 0) return;
  xbase::d4tagSelect(s.Data, s.Print_idTag);
  for (int rc = xbase::d4top(s.Data); rc == xbase::kSuccess; rc = xbase::d4skip(s.Data, 1)) {
    AppendBlank(d.Data);
    CopyFieldsByPosition(s.Data, d.Data);
    xbase::f4assign(d.Print_ID, FormatID(LookupNewID(kPrintOptTable, Number(s.Print_ID))));
    xbase::f4assign(d.User_ID, FormatID(LookupNewUserID(Number(s.User_ID))));
    Engine().LastEngineCode = xbase::d4append(d.Data);
  }
}

namespace {

// An image the source folder lacks under its own name, as the installation's other
// folders or the course's image archive hold it (a large "L" picture included): copied
// to the target name with the found file's extension.
void CopyLocatedImage(const std::string& stem, const std::string& targetStem) {
  bool large = false, flag = false;
  const std::string found = LocateImageFile(stem, large, flag);
  if (found.empty()) return;
  const std::string target = targetStem + fs::path(found).extension().string();
  std::error_code ec;
  if (fs::equivalent(found, target, ec)) return;
  CopyFileReplace(found, target);
  WriteLog("Copied image from " + found + " to " + target);
}

}  // namespace

void CopyImages() {
  WriteLog("Copying images");
  const std::string from = Src().CourseFolder;
  const std::string to = Dest().CourseFolder;
  std::error_code ec;
  // Both folders are listed once: looking each name up in a folder of thousands of
  // pictures would read the whole folder for every file copied.
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(from, ec))
    if (entry.is_regular_file(ec)) files.push_back(entry.path().filename().string());
  std::sort(files.begin(), files.end());
  ImageFolderNames targets(FindPath(to));
  for (std::int32_t old : SelectedImageIDs()) {
    const std::int32_t id = LookupNewID(kImageFiles, old);
    if (id == 0) continue;
    const std::string stem = FormatID(old);
    bool found = false;
    for (auto it = std::lower_bound(files.begin(), files.end(), stem); it != files.end(); ++it) {
      const std::string& name = *it;
      if (name.compare(0, stem.size(), stem) != 0) break;
      if (name.size() < stem.size() + 1 || name[stem.size()] != '.') continue;
      found = true;
      const std::string extension = name.substr(stem.size() + 1);
      const std::string source = JoinPath(from, name);
      const std::string target = targets.Claim(FormatID(id) + "." + extension);
      if (fs::equivalent(source, target, ec)) continue;
      ReplaceFile(source, target);
      WriteLog("Copied image from " + from + "/" + name + " to " + to + "/" + FormatID(id) + "." + extension);
    }
    // The search starts from the current course, which in a restore or an import is
    // the destination: there a picture of the same name is the package's only when
    // the identifier is kept.
    if (!found && (Settings().Operation != 2 || id == old)) CopyLocatedImage(stem, JoinPath(to, FormatID(id)));
  }
}

}  // namespace tolvarin
