#include "construction/upgrade_passes.h"

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

// Deletes a folder tree of tables, every data file first: a run killed on the way
// leaves index and memo files only, which the next run that lists the folder removes.
void DeleteTableTree(const std::string& folder) {
  for (const std::string& sub : GetSubFolders(folder, true)) {
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

void UpgradeTable(int pass, const std::string& folder, const std::string& name, const std::string& formerName) {
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
  if (!TableFileExists(folder, name)) return;

  const std::string path = TableFilePath(folder, name, ".dbf");
  xbase::Data4 table = OpenForUpgrade(path);
  if (table == 0) {
    LogConstructionError(path);
    Construction().FoldersNotCarried.insert(NormalizePath(folder));
    return;
  }
  const TableDef def = GetTableDef(name);
  if (def.TableName.empty() || def.Skip) {
    CloseTable(table);
    DeleteTableFiles(FindPath(folder), name);
    return;
  }

  std::string normalFolder = folder;
  const bool rebuild = (pass == kPassCourses && UnderArea5(folder)) ||
                       (pass != def.Kind && pass != kPassRestoredFolder) ||
                       !TableMatchesDef(table, def, true).value_or(true) || NeedsInstallRebuild(name, normalFolder);
  CloseTable(table);
  if (!rebuild) return;

  const std::vector<std::string> targets = GetTargetFolders(folder, pass, def.Kind);
  RecallKeptParents(folder, name, pass, targets);
  bool moveOut = false;
  bool carried = false;
  bool allRebuilt = true;
  for (const std::string& target : targets) {
    if (target.empty()) continue;
    if (!SamePath(target, folder)) moveOut = true;
    const RebuildResult result = RebuildTable(AsFolder(folder), AsFolder(target), pass, def.Kind, name, moveOut);
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
  // The old table goes only when every row reached a target.
  if (carried && allRebuilt && AllRowsKept(folder, name, pass)) {
    DeleteTableFiles(FindPath(folder), name);
    if (lower == "quests") DeleteImages(folder);
  } else {
    Construction().FoldersNotCarried.insert(NormalizePath(folder));
    LogConstructionNote("TOLVARIN KEPT: " + path + " was not carried over to every folder it belongs in");
  }
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
      if (!ConvertClassification(folder)) {
        Construction().FoldersNotCarried.insert(NormalizePath(folder));
        LogConstructionNote("TOLVARIN KEPT: " + folder + " holds questions whose classification could not be linked");
      }
      for (const char* name : {"descript", "exams", "examques", "quests", "questype", "standard", "stanques", "printopt"}) {
        upgradeFirst(name, "");
      }
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
      for (const std::string& table : TablesWithUnplacedAttributeRows(folder, targets)) {
        Construction().FoldersNotCarried.insert(NormalizePath(folder));
        LogConstructionNote("TOLVARIN KEPT: " + table + " holds rows that were not carried over with their rows");
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
  } else if (!state.InstallSetAbsent) {
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

  if (const AreaRecord* area5 = FindArea(5); area5 != nullptr && !area5->Path.empty()) {
    RetireOldFolder(area5->Path, paths.DatabasesRoot);
  }
  RetireOldFolder(OldDatabaseFolder(), Settings().AppPath);
  // The install set served as the rebuilds' templates; it stays while a table of
  // the installation could not be brought up to date.
  if (!state.InstallSetAbsent) {
    if (!AnyLiveFolderNotCarried()) {
      const std::string install = WithoutSlash(FindPath(InstallSetFolder()));
      DeleteTableTree(install);
    } else {
      LogConstructionNote("TOLVARIN KEPT: " + InstallSetFolder() + " stays until every table is up to date");
    }
  }
}

}  // namespace tolvarin
