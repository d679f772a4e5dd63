#include "construction/upgrade_passes.h"

#include <algorithm>
#include <filesystem>
#include <set>

#include "construction/attribute_rows.h"
#include "construction/blank_tables.h"
#include "construction/classification.h"
#include "construction/construction_run.h"
#include "construction/foreign_rows.h"
#include "construction/install_set.h"
#include "construction/schema.h"
#include "construction/table_rebuild.h"
#include "construction/table_swap.h"
#include "core/files.h"
#include "core/paths.h"
#include "core/progress.h"
#include "core/settings.h"
#include "core/strings.h"
#include "data/catalogue.h"
#include "data/open_table.h"
#include "data/table_registry.h"

namespace tolvarin {
namespace {

// A folder's real path ending in "/".
std::string AsFolder(const std::string& path) {
  std::string real = FindPath(path);
  while (real.size() > 1 && real.back() == '/') real.pop_back();
  return real + "/";
}

std::string WithoutSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

bool EndsInSevenDigits(const std::string& path) {
  const std::string name = WithoutSlash(path);
  if (name.size() < 7) return false;
  for (std::size_t i = name.size() - 7; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9') return false;
  }
  return true;
}

std::string OldDatabaseFolder() { return JoinPath(Settings().AppPath, "DBF"); }
std::string InstallSetFolder() { return JoinPath(Paths().DatabasesRoot, "CorvaneInst"); }

const AreaRecord* FindArea(int areaID) {
  for (const AreaRecord& area : Areas().Records) {
    if (area.AreaID == areaID) return &area;
  }
  return nullptr;
}

std::string CourseSlotPath(int areaID, int slot) {
  const AreaRecord* area = FindArea(areaID);
  if (area == nullptr || slot < 0 || slot >= kCourseSlots) return "";
  const std::string& path = area->Courses[static_cast<std::size_t>(slot)].Path;
  return path.empty() ? "" : AsFolder(path);
}

// Under the combined area 5, a course's tables go to the course slot that now holds it.
std::string Area5Target(int courseID) {
  switch (courseID) {
    case 0: return CourseSlotPath(0, 14);
    case 1: return CourseSlotPath(1, 13);
    case 3: return CourseSlotPath(4, 3);
    case 4: return CourseSlotPath(1, 10);
    default: return "";
  }
}

bool UnderArea5(const std::string& folder) {
  const AreaRecord* area = FindArea(5);
  return area != nullptr && !area->Path.empty() && PathStartsWith(area->Path, folder);
}

void DeleteImages(const std::string& folder) {
  for (const char* pattern : kImagePatterns) {
    for (const std::string& name : DirChecked(JoinPath(folder, pattern), kAttrNormal)) {
      DeleteFile(JoinPath(FindPath(folder), name));
    }
  }
}

bool AnyNotCarriedUnder(const std::string& folder) {
  for (const std::string& kept : Construction().FoldersNotCarried) {
    if (PathStartsWith(folder, kept)) return true;
  }
  return false;
}

// A live database folder (not an old one that is retired anyway) holds a table
// that is not up to date: the install set stays to be merged by a later run.
bool AnyLiveFolderNotCarried() {
  const AreaRecord* area5 = FindArea(5);
  for (const std::string& folder : Construction().FoldersNotCarried) {
    if (PathStartsWith(OldDatabaseFolder(), folder)) continue;
    if (area5 != nullptr && !area5->Path.empty() && PathStartsWith(area5->Path, folder)) continue;
    return true;
  }
  return false;
}

// A folder whose tables all move out and that goes at the end of the run: the old
// single database with its per-course folders, and the courses of the combined area.
// Nothing is deleted from it before then, so that a run stopped part-way finds every
// table a later table's rows depend on (the users, the parent rows of a split).
bool IsRetiredFolder(const std::string& folder) {
  if (PathStartsWith(OldDatabaseFolder(), folder)) return true;
  const AreaRecord* area5 = FindArea(5);
  return area5 != nullptr && !area5->Path.empty() && PathStartsWith(area5->Path, folder);
}

// The order in which the tables of one folder go: a table before those whose rows
// a later run needs to place its own (the children of a split before their parents,
// the users, whose numbers the other tables follow, last).
int DeletionRank(const std::string& name) {
  static const char* const kChildrenFirst[] = {"sesresults", "sesquests", "sessions", "students", "classes"};
  const std::string lower = ToLower(name);
  for (int i = 0; i < 5; ++i) {
    if (lower == kChildrenFirst[i]) return i;
  }
  return lower == "users" ? 100 : 50;
}

std::size_t Depth(const std::string& folder) { return static_cast<std::size_t>(std::count(folder.begin(), folder.end(), '/')); }

// Deletes a table, its data file first: a run killed on the way leaves index and
// memo files only, which the next run that lists the folder removes.
void DeleteCarriedTable(const std::string& folder, const std::string& name) {
  if (ToLower(name) == "quests") DeleteImages(folder);
  DeleteTableFiles(FindPath(folder), name);
}

// Deletes the tables this run moved out of their folders, deeper folders first and
// in each folder in DeletionRank order. A users table stays while a table below its
// folder stays that may name its users.
void DeleteCarriedTables() {
  std::vector<std::pair<std::string, std::string>> carried = Construction().Carried;
  std::stable_sort(carried.begin(), carried.end(), [](const auto& a, const auto& b) {
    if (Depth(a.first) != Depth(b.first)) return Depth(a.first) > Depth(b.first);
    return DeletionRank(a.second) < DeletionRank(b.second);
  });
  for (const auto& [folder, name] : carried) {
    if (!TableFileExists(folder, name)) continue;
    if (ToLower(name) == "users" && AnyNotCarriedUnder(NormalizePath(folder))) {
      LogConstructionNote("TOLVARIN KEPT: " + TableFilePath(folder, name, ".dbf") +
                          " stays beside the tables kept with it, whose users it numbers");
      continue;
    }
    DeleteCarriedTable(folder, name);
  }
  Construction().Carried.clear();
}

// Deletes a folder tree, every data file first (deeper folders before the ones
// above them).
void DeleteTableTree(const std::string& folder) {
  std::vector<std::string> folders = GetSubFolders(folder, true);
  std::stable_sort(folders.begin(), folders.end(),
                   [](const std::string& a, const std::string& b) { return Depth(WithoutSlash(a)) > Depth(WithoutSlash(b)); });
  for (const std::string& sub : folders) {
    for (const std::string& file : GetFilesInFolder(sub, kAttrNormal, "DBF")) DeleteFile(file);
  }
  DeleteFolderFiles(folder, false, "");
  DeleteFolderTree(folder);
}

// Deletes an old folder whose tables all moved; keeps one that still holds some
// under a name the passes do not visit.
void RetireOldFolder(const std::string& folder, const std::string& keptParent) {
  if (!FolderExists(folder)) return;
  const std::string real = WithoutSlash(FindPath(folder));
  if (!AnyNotCarriedUnder(real)) {
    DeleteTableTree(real);
    if (FileExists(real)) DeleteFile(real);
    return;
  }
  const std::string kept = KeptFolderName(JoinPath(keptParent, GetFileName(real, true)));
  std::error_code error;
  std::filesystem::rename(real, kept, error);
  LogConstructionNote("TOLVARIN KEPT: " + real + " holds tables that were not carried over; " +
                      (error ? std::string("it stays where it is") : "it is kept as " + kept));
}

// The install set's courses that hold tables no live course folder takes: a course
// of their area and slot that the last pass visited.
std::vector<std::string> UnusedInstallCourses() {
  std::vector<std::string> unused;
  const std::vector<std::string> live = GetPassFolders(kPassCourses);
  for (const AreaRecord& area : Construction().InstallAreas) {
    for (const CourseRecord& course : area.Courses) {
      if (!course.Loaded || course.Path.empty() || GetFilesInFolder(course.Path, kAttrNormal, "dbf").empty()) continue;
      const bool taken = std::any_of(live.begin(), live.end(), [&](const std::string& folder) {
        return GetCourseID(folder) == course.CourseID && GetAreaID(GetFolderOfPath(WithoutSlash(folder))) == area.AreaID;
      });
      if (!taken) unused.push_back(WithoutSlash(FindPath(course.Path)));
    }
  }
  return unused;
}

}  // namespace

std::string KeptFolderName(const std::string& folder) {
  const std::string base = WithoutSlash(folder) + "-kept";
  if (!FileExists(base)) return base;
  for (int n = 2;; ++n) {
    const std::string candidate = base + std::to_string(n);
    if (!FileExists(candidate)) return candidate;
  }
}

std::vector<std::string> GetPassFolders(int pass) {
  std::vector<std::string> folders;
  switch (pass) {
    case kPassOldDatabase:
      folders.push_back(AsFolder(OldDatabaseFolder()));
      break;
    case kPassOldCourses:
      if (!FolderExists(OldDatabaseFolder())) break;
      for (const std::string& folder : GetSubFolders(OldDatabaseFolder(), true)) {
        if (EndsInSevenDigits(folder)) folders.push_back(AsFolder(folder));
      }
      break;
    case kPassCommon:
      folders.push_back(AsFolder(JoinPath(Settings().AppPath, "Databases/Corvane")));
      break;
    case kPassAreas:
      for (const AreaRecord& area : Areas().Records) {
        if (!area.Path.empty()) folders.push_back(AsFolder(area.Path));
      }
      break;
    case kPassCourses: {
      CourseIterator courses;
      courses.Init(Areas().Records);
      int areaID = 0, courseID = 0;
      while (courses.NextCourse(areaID, courseID, true)) {
        const std::string path = courses.CurrentCourse().Path;
        if (!path.empty()) folders.push_back(AsFolder(path));
      }
      break;
    }
    default:
      break;
  }
  return folders;
}

std::vector<std::string> GetTargetFolders(const std::string& folder, int pass, int kind) {
  if (pass == kPassRestoredFolder) return {folder};
  if (kind == kKindCommon) return GetPassFolders(kPassCommon);
  if (kind == 3) return pass == kPassAreas ? std::vector<std::string>{folder} : GetPassFolders(kPassAreas);
  if (kind != kKindCourse) return GetPassFolders(kind);

  switch (pass) {
    case kPassOldDatabase:
    case kPassCommon:
      return GetPassFolders(kPassCourses);
    case kPassAreas: {
      std::vector<std::string> targets;
      for (const std::string& course : GetPassFolders(kPassCourses)) {
        if (PathStartsWith(folder, course)) targets.push_back(course);
      }
      return targets;
    }
    case kPassCourses: {
      if (!UnderArea5(folder)) return {folder};
      const std::string target = Area5Target(GetCourseID(folder));
      if (target.empty()) return {};
      return {target};
    }
    case kPassOldCourses: {
      const int courseID = GetCourseID(folder);
      if (Edition().Code == 9 && (courseID == 0 || courseID == 1)) {
        const std::string target = courseID == 0 ? CourseSlotPath(0, 14) : CourseSlotPath(1, 13);
        if (target.empty()) return {};
        return {target};
      }
      if (courseID == 3 && Edition().Code == 17) return {};
      for (const std::string& course : GetPassFolders(kPassCourses)) {
        if (GetCourseID(course) == courseID) return {course};
      }
      return {};
    }
    default:
      return {};
  }
}

bool NeedsInstallRebuild(const std::string& name, std::string& folder) {
  if (Construction().InstallSetAbsent) return false;
  folder = NormalizePath(folder);
  const std::int16_t courseID = GetCourseID(folder);
  const std::int16_t areaID =
      courseID >= 0 ? GetAreaID(GetFolderOfPath(WithoutSlash(folder))) : GetAreaID(folder);
  for (const AreaRecord& area : Construction().InstallAreas) {
    if (area.AreaID != areaID) continue;
    const std::string path =
        courseID < 0 ? area.Path : (courseID < kCourseSlots ? area.Courses[static_cast<std::size_t>(courseID)].Path : "");
    if (!path.empty() && TableFileExists(path, name)) return true;
  }
  return false;
}

namespace {

// UpgradeTable with the old rows taken from rowsFrom/<name> when that holds the table
// (the converted copy of an old course folder's classification tables).
void UpgradeTableFrom(int pass, const std::string& folder, const std::string& name, const std::string& formerName,
                      const std::string& rowsFrom) {
  const std::string lower = ToLower(name);
  if (lower.find("attributes") != std::string::npos || lower.find("enumvalues") != std::string::npos) return;
  RecoverTableSwap(folder, name);
  if (!formerName.empty() && TableFileExists(folder, formerName)) {
    if (TableFileExists(folder, name)) {
      // Both names hold a table: neither replaces the other.
      Construction().FoldersNotCarried.insert(NormalizePath(folder));
      LogConstructionError(JoinPath(folder, formerName + ".dbf") + " (a table of the current name is there too)");
    } else {
      RenameFormerTable(folder, name, formerName);
    }
  }
  const bool held = TableFileExists(folder, name);
  const bool staged = !rowsFrom.empty() && TableFileExists(rowsFrom, name);
  if (!held && !staged) return;

  // The path the log names: the folder's own table, or for a table the folder never
  // held the questions whose classification it carries.
  const std::string path = held ? TableFilePath(folder, name, ".dbf") : TableFilePath(folder, "quests", ".dbf");
  const std::string rows = staged ? rowsFrom : folder;
  xbase::Data4 table = OpenForUpgrade(TableFilePath(rows, name, ".dbf"));
  if (table == 0) {
    LogConstructionError(path);
    Construction().FoldersNotCarried.insert(NormalizePath(folder));
    return;
  }
  const TableDef def = GetTableDef(name);
  if (def.TableName.empty() || def.Skip) {
    CloseTable(table);
    // An obsolete table is removed wherever it is found; a retired folder goes whole.
    if (!IsRetiredFolder(folder)) DeleteTableFiles(FindPath(folder), name);
    return;
  }

  std::string normalFolder = folder;
  const bool rebuild = (pass == kPassCourses && UnderArea5(folder)) ||
                       (pass != def.Kind && pass != kPassRestoredFolder) ||
                       !TableMatchesDef(table, def, true).value_or(true) || NeedsInstallRebuild(name, normalFolder);
  CloseTable(table);
  if (!rebuild) return;

  const std::vector<std::string> targets = GetTargetFolders(folder, pass, def.Kind);
  bool moveOut = false;
  bool carried = false;
  bool allRebuilt = true;
  for (const std::string& target : targets) {
    if (target.empty()) continue;
    if (!SamePath(target, folder)) moveOut = true;
    const RebuildResult result =
        RebuildTable(AsFolder(folder), AsFolder(target), pass, def.Kind, name, moveOut, staged ? AsFolder(rowsFrom) : "");
    if (result == RebuildResult::Rebuilt) {
      carried = true;
    } else {
      allRebuilt = false;
    }
  }
  if (!moveOut) {
    if (targets.empty()) {
      Construction().FoldersNotCarried.insert(NormalizePath(folder));
      LogConstructionNote("TOLVARIN KEPT: " + path + " has no folder to go to");
    }
    return;
  }
  // The old table goes only when every row reached a target, and only at the end of
  // the run: until then a run stopped part-way finds it and places its rows again.
  if (carried && allRebuilt && AllRowsKept(folder, name, pass)) {
    if (held) Construction().Carried.emplace_back(NormalizePath(folder), name);
  } else {
    Construction().FoldersNotCarried.insert(NormalizePath(folder));
    LogConstructionNote("TOLVARIN KEPT: " + path + " was not carried over to every folder it belongs in");
  }
}

}  // namespace

void UpgradeTable(int pass, const std::string& folder, const std::string& name, const std::string& formerName) {
  UpgradeTableFrom(pass, folder, name, formerName, "");
}

void UpgradeDatabasePass(int pass) {
  const std::string blank = JoinPath(Paths().DatabasesRoot, "Blank");
  const std::vector<std::string> folders = GetPassFolders(pass);
  for (std::size_t index = 0; index < folders.size(); ++index) {
    const std::string& folder = folders[index];
    // The small progress window, its bar one step on at every folder of the pass.
    ShowProgressBar("Processing, please wait", static_cast<std::int32_t>(index),
                    static_cast<std::int32_t>(folders.size()));
    if (!FolderExists(folder)) continue;
    // Tables the pass takes first, in the order their rows depend on each other;
    // the walk over the schema leaves them alone (a table kept in the old folder
    // is not rebuilt a second time).
    std::set<std::string> done;
    const auto upgradeFirst = [&](const std::string& name, const std::string& formerName) {
      UpgradeTable(pass, folder, name, formerName);
      done.insert(ToLower(name));
    };
    if (pass == kPassOldDatabase) {
      for (const char* name : {"users", "classes", "students", "printopt", "sessions"}) upgradeFirst(name, "");
      upgradeFirst("sesquests", "sesquest");
      upgradeFirst("sesresults", "sesresul");
    }
    if (pass == kPassOldCourses) {
      // The questions are linked to tree 1 in copies of the classification tables,
      // which the rebuilds then carry; an old folder is never written.
      std::string stage;
      if (TableFileExists(folder, "quests") && !GetTargetFolders(folder, pass, kKindCourse).empty()) {
        stage = ClassificationStage();
        if (!ConvertClassification(folder, stage)) {
          Construction().FoldersNotCarried.insert(NormalizePath(folder));
          LogConstructionNote("TOLVARIN KEPT: " + TableFilePath(folder, "quests", ".dbf") +
                              " holds questions whose classification could not be linked");
          stage.clear();
        }
      }
      for (const char* name : {"descript", "exams", "examques", "quests", "questype", "standard", "stanques", "printopt"}) {
        const bool classification = EqualsNoCase(name, "standard") || EqualsNoCase(name, "stanques");
        UpgradeTableFrom(pass, folder, name, "", classification ? stage : "");
        done.insert(ToLower(name));
      }
      if (!stage.empty()) DeleteFolderFiles(stage, false, "");
    }
    if (HasSwapWorkFiles(folder)) {
      for (const TableDef& def : TableDefs()) RecoverTableSwap(folder, def.TableName);
    }
    // A table renamed from its former name moves its index and memo first: those
    // are no orphans while the former data file is still there.
    std::vector<std::string> renaming;
    for (const TableDef& def : TableDefs())
      if (!def.OldName.empty() && TableFileExists(folder, def.OldName)) renaming.push_back(def.TableName);
    RemoveOrphanTableFiles(folder, renaming);
    for (const TableDef& def : TableDefs()) {
      if (done.count(ToLower(def.TableName))) continue;
      if (TableFileExists(folder, def.TableName)) {
        UpgradeTable(pass, folder, def.TableName, "");
      } else if (!def.OldName.empty()) {
        if (TableFileExists(folder, def.OldName)) UpgradeTable(pass, folder, def.TableName, def.OldName);
      } else if (def.Kind == pass) {
        if (PlaceBlankTable(blank, folder, def.TableName)) UpgradeTable(pass, folder, def.TableName, "");
      }
    }
    // The attribute tables are never rebuilt. The definitions of a folder that is
    // retired go to every course it serves, used by a value row or not; the folder
    // goes only once each of their rows is in the folder its row went to.
    if (pass == kPassOldDatabase || pass == kPassOldCourses || (pass == kPassCourses && UnderArea5(folder))) {
      const std::vector<std::string> targets = GetTargetFolders(folder, pass, kKindCourse);
      CarryAttributeDefinitions(folder, targets);
      for (const UnplacedAttributeRows& rows : TablesWithUnplacedAttributeRows(folder, targets)) {
        Construction().FoldersNotCarried.insert(NormalizePath(folder));
        std::string clashing;
        for (const std::string& key : rows.Clashing) clashing += (clashing.empty() ? "" : ", ") + key;
        LogConstructionNote("TOLVARIN KEPT: " + rows.Table + " holds rows that were not carried over with their rows" +
                            (clashing.empty() ? "" : " (a course defines " + clashing + " otherwise)"));
      }
    }
  }
}

void ConstructDatabases(bool createNewFolders) {
  ConstructionState& state = Construction();
  RunPaths& paths = Paths();
  paths.DatabasesRoot = JoinPath(Settings().AppPath, "Databases");
  paths.BrandFolder = JoinPath(paths.DatabasesRoot, "Corvane");
  state.InstallSetAbsent = !FolderExists(InstallSetFolder());
  state.FoldersNotCarried.clear();
  state.Carried.clear();

  Progress().Step("Gathering information");
  ReadEdition();
  LoadCourseNames();
  state.InstallAreas.clear();
  if (!state.InstallSetAbsent) {
    LoadAreas(FindPath(InstallSetFolder()));
    RegisterInstallCourses(FindPath(InstallSetFolder()));
    state.InstallAreas = Areas().Records;
  }
  LoadAreas(FindPath(paths.BrandFolder));

  state.EditionCourses = {};
  if (FolderExists(OldDatabaseFolder())) {
    for (const std::string& folder : GetSubFolders(OldDatabaseFolder(), true)) {
      if (!EndsInSevenDigits(folder)) continue;
      const std::string path = WithoutSlash(FindPath(folder));
      const std::int16_t slot = GetCourseSlot(static_cast<int>(TextValue(path.substr(path.size() - 7))));
      if (slot < 0 || slot >= kCourseSlots) continue;
      state.EditionCourses[static_cast<std::size_t>(slot)].Path = path;
      state.EditionCourses[static_cast<std::size_t>(slot)].CourseID = slot;
    }
  }

  if (state.Unpack) {
    Progress().Step("Unpacking data");
    UnpackCourseData();
  }
  // A delivered course the installation has no folder for yet is laid out, also
  // when its tables came in a data.zip just unpacked.
  if (!state.InstallSetAbsent) {
    Progress().Step("Creating directories");
    CreateCourseDirectories(createNewFolders);
  }

  LoadAreas(FindPath(paths.BrandFolder));
  DefineDatabase();
  Progress().Step("Creating database tables");
  CreateBlankTables(JoinPath(paths.DatabasesRoot, "Blank"));

  ResetRowLists();
  for (int pass = kPassOldDatabase; pass <= kPassCourses; ++pass) UpgradeDatabasePass(pass);
  ShowProgressBar("", 1, 1);  // the passes are done: the small window goes
  DeleteCarriedTables();

  if (const AreaRecord* area5 = FindArea(5); area5 != nullptr && !area5->Path.empty()) {
    RetireOldFolder(area5->Path, paths.DatabasesRoot);
  }
  RetireOldFolder(OldDatabaseFolder(), Settings().AppPath);
  // The install set served as the rebuilds' templates; it stays while a table of
  // the installation could not be brought up to date.
  // A delivered course that no course folder took stays with it too.
  if (!state.InstallSetAbsent) {
    const std::vector<std::string> unused = UnusedInstallCourses();
    for (const std::string& course : unused) {
      LogConstructionNote("TOLVARIN KEPT: " + course + " holds tables of a course the installation has no folder for");
    }
    if (!AnyLiveFolderNotCarried() && unused.empty()) {
      const std::string install = WithoutSlash(FindPath(InstallSetFolder()));
      DeleteTableTree(install);
    } else {
      LogConstructionNote("TOLVARIN KEPT: " + InstallSetFolder() + " stays until every table is up to date");
    }
  }
}

}  // namespace tolvarin
