#include "engine/modes/restore_point.h"

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "core/files.h"
#include "core/paths.h"
#include "core/run_log.h"
#include "core/strings.h"
#include "data/catalogue.h"
#include "data/table_swap.h"
#include "data/version.h"
#include "engine/modes/gradebook_restore.h"
#include "engine/modes/transfer_drivers.h"
#include "engine/package/backup_folder.h"
#include "platform/zip/zip.h"

namespace tolvarin {
namespace {

constexpr const char* kCrLf = "\r\n";
constexpr const char* kTableExtensions = "dbf;cdx;fpt";

// The folder's place below the brand folder as folder names joined by "/" ("" for
// the brand folder itself); false when it lies elsewhere.
bool SubPathBelow(const std::string& brandFolder, const std::string& folder, std::string& subPath) {
  if (!PathStartsWith(brandFolder, folder)) return false;
  const auto clean = RelativeFolderPart(PathBelow(brandFolder, folder));
  if (!clean) return false;
  subPath = *clean;
  return true;
}

// The tables of a folder by name, from any of their files (an index or memo file
// left without its data file counts too), Status.DBF left out.
std::vector<std::string> TableNames(const std::string& folder, const std::string& extensions) {
  std::vector<std::string> names;
  for (const std::string& file : GetFilesInFolder(folder, kAttrNormal, extensions)) {
    const std::string name = GetFileName(file, false);
    if (EqualsNoCase(name, GetFileName(kVersionFile, false))) continue;
    if (std::none_of(names.begin(), names.end(), [&](const std::string& n) { return EqualsNoCase(n, name); }))
      names.push_back(name);
  }
  return names;
}

RestorePointWriter& Writer() {
  static RestorePointWriter writer;
  return writer;
}

}  // namespace

void SetRestorePointWriter(RestorePointWriter writer) { Writer() = std::move(writer); }

std::vector<RestoreTarget> GradebookRestoreTargets(const std::string& brandFolder) {
  std::vector<RestoreTarget> targets{{"Students \\ Teachers", brandFolder, -1}};
  CourseIterator courses;
  courses.Init(Areas().Records);
  int areaId = 0, courseId = 0;
  while (courses.NextCourse(areaId, courseId, true)) {
    const CourseRecord course = courses.CurrentCourse();
    targets.push_back({course.DisplayName, course.Path,
                       MakeVersion(static_cast<std::int16_t>(areaId), static_cast<std::int16_t>(courseId))});
  }
  return targets;
}

std::string BackupDateText(const GradebookBackup& backup) {
  std::error_code error;
  const auto written =
      std::filesystem::last_write_time(FindPath(JoinPath(backup.Folder, kBackupProfileName)), error);
  if (error) return GetFileName(backup.Folder, true);
  return FormatTimeStamp(std::chrono::time_point_cast<std::chrono::system_clock::duration>(
      std::chrono::file_clock::to_sys(written)));
}

std::string NextRestorePoint(const std::string& databasesRoot) {
  const std::string folder = JoinPath(databasesRoot, "Backup");
  for (long k = 1;; ++k) {
    const std::string zip = JoinPath(folder, "RestorePoint" + std::to_string(k) + ".zip");
    if (!FileExists(zip)) return FindPath(zip);
  }
}

FolderRestore RestoreCourseFromBackup(const std::vector<GradebookBackup>& backups, long number,
                                      const RestoreTarget& target, const std::string& databasesRoot,
                                      const std::string& brandFolder) {
  FolderRestore result{target.Label, false, "", ""};
  std::string subPath;
  if (!SubPathBelow(brandFolder, target.Folder, subPath) || !FolderExists(target.Folder)) {
    result.Why = "the folder " + target.Folder + " is not a folder of the databases in " + brandFolder +
                 "; it was left as it was.";
    WriteLogNote("Gradebook restore of " + target.Label + " refused: " + result.Why);
    return result;
  }
  const std::string folder = FindPath(target.Folder);
  // What a killed restore left is completed (marked) or dropped (unmarked) first.
  FinishTableSwaps(folder);
  if (FolderExists(StagingFolderFor(folder))) {
    result.Why = "an earlier restore of it left tables in " + StagingFolderFor(folder) +
                 " that could not be put in place; it was left as it was.";
    WriteLogNote("Gradebook restore of " + target.Label + " refused: " + result.Why);
    return result;
  }
  // Every file of the folder goes into the restore point; the archive is reopened
  // and each entry checked against its file before anything is deleted.
  const std::vector<std::string> files = GetFilesInFolder(folder, kAttrNormal, "");
  if (!files.empty()) {
    const std::string zip = NextRestorePoint(databasesRoot);
    if (!CreateFolderTree(GetFolderOfPath(zip))) {
      result.Why = "the folder for its restore point " + zip + " could not be made; it was left as it was.";
      WriteLogNote("Gradebook restore of " + target.Label + " refused: " + result.Why);
      return result;
    }
    const zipio::Outcome written = Writer() ? Writer()(zip, files) : zipio::WriteArchive(zip, files);
    if (!written.ok) {
      result.Why = "its restore point " + zip + " could not be written (" + written.error +
                   "); it was left as it was.";
      WriteLogNote("Gradebook restore of " + target.Label + " refused: " + result.Why);
      return result;
    }
    result.RestorePoint = zip;
    WriteLogNote("Gradebook restore: " + folder + " saved into " + zip);
  }

  // The folder's new tables are made in its staging folder and checked, then put in
  // place as one marked group that also takes away the tables they do not replace:
  // a run killed before the mark leaves the folder as it was, one killed after it
  // leaves the group for the next run to complete.
  const std::string staging = StagingFolderFor(folder);
  const std::string kept =
      result.RestorePoint.empty() ? "" : " (its files are also kept in " + result.RestorePoint + ")";
  const auto leftAsItWas = [&](const std::string& why) {
    FinishTableSwaps(folder);  // unmarked: dropped
    result.Why = why + "; it was left as it was" + kept + ".";
    WriteLogNote("Gradebook restore of " + target.Label + " failed: " + result.Why);
    return result;
  };
  if (!CreateFolderTree(staging)) return leftAsItWas("the folder " + staging + " could not be made");
  WriteLogNote("Gradebook restore: making the tables of " + folder + " in " + staging);
  const ProfileApplication applied = RestoreFromIncrements(backups, number, brandFolder, subPath, staging);
  if (applied.Failed != 0) return leftAsItWas("the backups could not be applied");
  const std::vector<std::string> problems = CheckBackupFolder(staging, {}, false);
  if (!problems.empty()) return leftAsItWas("its restored tables could not be checked (" + problems.front() + ")");
  const std::vector<std::string> made = TableNames(staging, "DBF");
  if (made.empty()) {
    FinishTableSwaps(folder);
    result.Restored = true;
    WriteLogNote("Gradebook restore: no backup holds tables of " + folder + "; it was left as it was");
    return result;
  }
  std::vector<std::string> dropped;
  for (const std::string& name : TableNames(folder, kTableExtensions))
    if (std::none_of(made.begin(), made.end(), [&](const std::string& n) { return EqualsNoCase(n, name); }))
      dropped.push_back(name);
  WriteLogNote("Gradebook restore: putting the restored tables in place in " + folder);
  if (!SwapInStagedTables(folder, made, dropped)) {
    FinishTableSwaps(folder);
    if (FolderExists(staging)) {
      result.Why = "its restored tables could not all be put in place; the next restore completes them" + kept + ".";
      WriteLogNote("Gradebook restore of " + target.Label + " failed: " + result.Why);
      return result;
    }
  }
  result.Restored = true;
  WriteLogNote("Gradebook restore: " + folder + " restored to backup " + std::to_string(number) + " (" +
               std::to_string(applied.Rows) + " rows, " + std::to_string(applied.Deletions) + " deletions)");
  return result;
}

void FinishGradebookRestores(const std::string& brandFolder) {
  for (const RestoreTarget& target : GradebookRestoreTargets(brandFolder))
    if (FolderExists(target.Folder)) FinishTableSwaps(FindPath(target.Folder));
}

GradebookRestoreOutcome RestoreFoldersFromBackup(const std::vector<GradebookBackup>& backups, std::size_t index,
                                                 const std::vector<RestoreTarget>& targets,
                                                 const std::string& databasesRoot, const std::string& brandFolder) {
  GradebookRestoreOutcome outcome;
  if (index >= backups.size()) return outcome;
  outcome.Number = backups[index].Number;
  outcome.Missing = MissingIncrement(backups, outcome.Number);
  if (outcome.Missing != 0) {
    WriteLogNote("Gradebook restore refused: backup " + std::to_string(outcome.Missing) + " of 1 to " +
                 std::to_string(outcome.Number) + " is missing or listed twice");
    return outcome;
  }
  for (const RestoreTarget& target : targets)
    outcome.Folders.push_back(RestoreCourseFromBackup(backups, outcome.Number, target, databasesRoot, brandFolder));
  return outcome;
}

std::string GradebookRestoreMessage(const GradebookRestoreOutcome& outcome) {
  if (outcome.Missing != 0) {
    return "Backup " + std::to_string(outcome.Missing) + " is missing or is there twice, and every backup from 1 to " +
           std::to_string(outcome.Number) + " is needed to restore to backup " + std::to_string(outcome.Number) +
           ". Nothing was restored.";
  }
  std::string notRestored;
  for (const FolderRestore& folder : outcome.Folders)
    if (!folder.Restored) notRestored += std::string(kCrLf) + folder.Label + ": " + folder.Why;
  if (notRestored.empty()) return kDatabasesRestored;
  return "These databases were not restored:" + std::string(kCrLf) + notRestored;
}

}  // namespace tolvarin
