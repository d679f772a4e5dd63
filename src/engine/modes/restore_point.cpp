#include "engine/modes/restore_point.h"

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "core/files.h"
#include "core/paths.h"
#include "core/run_log.h"
#include "core/strings.h"
#include "data/catalogue.h"
#include "data/version.h"
#include "engine/modes/gradebook_restore.h"
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

void DeleteTables(const std::string& folder) {
  for (const std::string& file : GetFilesInFolder(folder, kAttrNormal, kTableExtensions)) DeleteFile(file);
}

// Puts the folder's files back as the restore point holds them, under their own
// names; what the increments made goes first (the restore point holds everything
// the folder had). "" when done, else why not.
std::string PutBack(const std::string& restorePoint, const std::string& folder) {
  DeleteTables(folder);
  if (restorePoint.empty()) return "";
  const zipio::Outcome extracted = zipio::ExtractAll(restorePoint, folder, "");
  return extracted.ok ? "" : extracted.error;
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

  DeleteTables(folder);
  const ProfileApplication applied = RestoreFromIncrements(backups, number, brandFolder, subPath);
  if (applied.Failed == 0) {
    result.Restored = true;
    WriteLogNote("Gradebook restore: " + folder + " restored to backup " + std::to_string(number) + " (" +
                 std::to_string(applied.Rows) + " rows, " + std::to_string(applied.Deletions) + " deletions)");
    return result;
  }
  const std::string error = PutBack(result.RestorePoint, folder);
  if (error.empty()) {
    result.Why = "the backups could not be applied; its files were put back from " +
                 (result.RestorePoint.empty() ? std::string("before the restore") : result.RestorePoint) + ".";
  } else {
    result.Why = "the backups could not be applied, and its files could not be put back (" + error +
                 "): they are kept in " + result.RestorePoint + ".";
  }
  WriteLogNote("Gradebook restore of " + target.Label + " failed: " + result.Why);
  return result;
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
