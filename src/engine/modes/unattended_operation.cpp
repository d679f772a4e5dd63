#include "engine/modes/unattended_operation.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <system_error>
#include <vector>

#include "core/box_buttons.h"
#include "core/command_line.h"
#include "core/file_set_copy.h"
#include "core/files.h"
#include "core/folder_replacement.h"
#include "core/paths.h"
#include "core/run_log.h"
#include "core/settings.h"
#include "core/strings.h"
#include "core/system_box.h"
#include "core/terminate.h"
#include "data/open_table.h"
#include "engine/modes/course_emptying.h"
#include "engine/modes/game_import.h"
#include "engine/modes/restore_work_copies.h"
#include "engine/modes/transfer_drivers.h"
#include "engine/package/backup_contents.h"
#include "engine/package/backup_folder.h"
#include "engine/startup.h"

namespace tolvarin {
namespace fs = std::filesystem;
namespace {

constexpr const char* kStandardsNodesFile = "standard";
constexpr const char* kNoOperation =
    "No Operation specified to Corvane Backup and Restore System.  Please call 1-888-CORVANE for more information.";
constexpr const char* kNoBackupPath =
    "No BackupPath specified to Corvane Backup and Restore System.  Please call 1-888-CORVANE for more information.";
constexpr const char* kUnsafeBackupPath =
    "The backup folder may not be the course folder, a folder that holds it, or the program's folder.  Please "
    "choose another BackupPath.  Nothing was changed.";
// The longest command line a host can pass.
constexpr std::size_t kLongestCommandLine = 32767;

// Links and ".." resolved, so that one folder written two ways compares equal.
std::string Resolved(const std::string& path) {
  std::error_code error;
  const fs::path resolved = fs::weakly_canonical(path, error);
  return error ? path : resolved.string();
}

bool HoldsTableFiles(const std::string& folder) { return !GetFilesInFolder(folder, kAttrNormal, "DBF;CDX;FPT").empty(); }

// A folder the program empties itself: the staging folders of a restore and a package.
bool IsStagingFolder(const std::string& folder) {
  const std::string temp = GetTempFolder();
  if (temp.empty()) return false;
  for (const char* staging : {"UpgradeInPlace", "cortemp"})
    if (PathStartsWith(Resolved(JoinPath(temp, staging)), Resolved(folder))) return true;
  return false;
}

// The Kestal.INI of AppPath is text; "" when it is, or when there is none.
std::string HostIniProblem() {
  const std::string ini = FindPath(JoinPath(Settings().AppPath, "Kestal.INI"));
  if (!FileExists(ini)) return "";
  for (const std::uint8_t byte : ReadFileBytes(ini))
    if (byte == 0 || (byte < 32 && byte != '\r' && byte != '\n' && byte != '\t'))
      return "\"" + ini + "\" is not an initialisation file.  Nothing was changed.";
  return "";
}

// Why the unattended backup may not write this folder or read this course; "" when it may.
std::string BackupProblem(const std::string& backupPath, const std::string& coursePath) {
  if (IsStagingFolder(backupPath)) return kUnsafeBackupPath;
  // Tables without a description are some program's database, never a backup.
  if (HoldsTableFiles(backupPath) && !FileExists(FindPath(JoinPath(backupPath, kDescriptionFile))))
    return "The folder \"" + backupPath + "\" holds tables but is no Corvane Backup Folder.  Nothing was changed.";
  if (FileExists(Control(coursePath, "control2.dbf").saved))
    return "The course \"" + coursePath + "\" was backed up and emptied already (its control files are saved "
           "aside).  Restore it before backing it up again.  The backup in \"" + backupPath + "\" was left as it was.";
  if (!HoldsTables(coursePath))
    return "The course \"" + coursePath + "\" holds no tables.  The backup in \"" + backupPath +
           "\" was left as it was.";
  // The course gives up its tables at the end: one that cannot go is found now.
  const std::string held = FirstHeldTableFile(coursePath);
  if (!held.empty())
    return "The course's table file \"" + JoinPath(coursePath, held) + "\" is held by another program or is "
           "read-only, so the course could not be emptied after its backup.  Close the program that holds it and "
           "back up again.  Nothing was changed.";
  return "";
}

// The rows of a backup folder's course tables (the brand's users aside, which every
// backup carries): its record's, or what the tables of an older program's backup hold.
std::map<std::string, long> CourseRowsOf(const std::string& folder) {
  const auto recorded = ReadBackupContents(folder);
  std::map<std::string, long> rows = recorded ? recorded->rows : LiveRows(folder);
  rows.erase("USERS");
  std::erase_if(rows, [](const auto& table) { return table.second <= 0; });
  return rows;
}

// The rows of the backup in oldFolder when the new backup holds none of them (a course
// that lost its content, never a teacher's own deletions, leaves that); "" otherwise.
std::string RowsANewBackupWouldLose(const std::string& oldFolder, const std::string& newFolder) {
  if (!FileExists(FindPath(JoinPath(oldFolder, kDescriptionFile)))) return "";
  const std::map<std::string, long> old = CourseRowsOf(oldFolder);
  const std::map<std::string, long> fresh = CourseRowsOf(newFolder);
  std::string lost;
  for (const auto& [table, rows] : old) {
    if (fresh.count(table)) return "";
    lost += (lost.empty() ? "" : ", ") + std::to_string(rows) + " rows of " + ToLower(table);
  }
  return lost;
}

// The names of the course's table files.
std::vector<std::string> CourseTableFileNames(const std::string& coursePath) {
  std::vector<std::string> names;
  for (const std::string& file : GetFilesInFolder(coursePath, kAttrNormal, "DBF;CDX;FPT"))
    names.push_back(GetFileName(file, true));
  return names;
}

// The course's table files, as they are, in a folder of their own inside the new backup.
bool KeepCourseTables(const std::string& coursePath, const std::vector<std::string>& names,
                      const std::string& backupFolder) {
  const std::string kept = JoinPath(backupFolder, kKeptCourseFolder);
  return CreateFolderTree(kept) && CopyFileSet(coursePath, kept, names).empty();
}

// Opening the course makes the tables it lacks from their blank copies: a backup
// that does not end takes them away again, so that the course is as it was.
void RemoveTablesMadeSince(const std::string& coursePath, const std::vector<std::string>& before) {
  for (const std::string& name : CourseTableFileNames(coursePath))
    if (std::none_of(before.begin(), before.end(), [&](const std::string& had) { return EqualsNoCase(had, name); }))
      DeleteFile(JoinPath(coursePath, name));
}

// Into a course that lacks one of the tables its backup kept and carries no rows
// of, that copy goes back in place of a blank one: index and memo first, the data file last, so that a kill
// on the way leaves no data file without them.
bool PutBackKeptTables(const std::string& backupPath, const std::string& coursePath) {
  const std::string kept = FindPath(JoinPath(backupPath, kKeptCourseFolder));
  bool whole = true;
  for (const std::string& file : GetFilesInFolder(kept, kAttrNormal, "DBF")) {
    const std::string table = GetFileName(file, false);
    if (FileExists(FindPath(JoinPath(coursePath, table + ".dbf")))) continue;
    // A table the backup carries rows of is made blank and takes them: its own
    // copy would meet those rows a second time. The standards nodes are the one
    // exception: the publisher's are carried nowhere else, and the restore knows the
    // teacher's own again by their place in the tree.
    if (!EqualsNoCase(table, kStandardsNodesFile) && FileExists(FindPath(JoinPath(backupPath, table + ".dbf"))))
      continue;
    std::vector<std::string> names;
    for (const char* ext : {".cdx", ".fpt"})
      if (FileExists(FindPath(JoinPath(kept, table + ext)))) names.push_back(table + ext);
    names.push_back(table + ".dbf");
    WriteLog("Putting back the kept table " + table);
    whole = CopyFileSet(kept, coursePath, names).empty() && whole;
  }
  return whole;
}

// What an earlier backup folder holds besides the backup: pictures not named by an
// identifier and folders of the user's own.
bool CarryOver(const std::string& from, const std::string& to) {
  std::error_code listed;
  if (!fs::is_directory(from, listed)) return true;
  for (const auto& entry : fs::directory_iterator(from, listed)) {
    const std::string name = entry.path().filename().string();
    const fs::path target = fs::path(to) / name;
    std::error_code ec;
    if (fs::exists(fs::symlink_status(target, ec))) continue;
    ec.clear();
    if (entry.is_directory() && !entry.is_symlink()) {
      if (ToUpper(name) == ToUpper(std::string(kKeptCourseFolder))) continue;
      fs::copy(entry.path(), target, fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
    } else if (entry.is_regular_file() && !entry.is_symlink()) {
      const std::string ext = ToUpper(GetFileExtension(name));
      const bool picture = ext == "GIF" || ext == "BMP" || ext == "JPG";
      const bool identifierNamed = name.size() == 11 && name.rfind("00", 0) == 0;
      if (picture && !identifierNamed) fs::copy_file(entry.path(), target, ec);
    }
    if (ec) return false;
  }
  return !listed;
}

// The checked new backup takes the old one's place, with the old one's own pictures
// and folders; SettleBackupFolder finishes a kill between.
bool PutNewBackupInPlace(const std::string& backupPath) {
  return CarryOver(backupPath, NewFolderBeside(backupPath)) && PutNewFolderInPlace(backupPath);
}

void Refuse(const std::string& text) {
  WriteLog("TOLVARIN ERROR: " + text);
  MsgBox(text, kMbCritical);
}

// Writes the course's backup beside the backup folder and puts it in that one's place
// once it is checked: 0, or the status of a backup that did not end, which leaves the
// course and the backup folder as they were. The target is a copy: BackupPath names
// the new folder while the backup is written.
int PutCheckedBackupInPlace(const std::string& coursePath, std::string target) {
  RunPaths& p = Paths();
  const std::string fresh = NewFolderBeside(target);
  const std::vector<std::string> courseFiles = CourseTableFileNames(coursePath);
  const auto dropNewBackup = [&] {
    RemoveFolderWhole(fresh);
    RemoveTablesMadeSince(coursePath, courseFiles);
  };
  // A run that ends early (a write the engine refused ends it at once) takes the new
  // backup away too.
  const TerminateUndo undo(dropNewBackup);
  if (!CreateFolderTree(fresh) || !KeepCourseTables(coursePath, courseFiles, fresh)) {
    dropNewBackup();
    Refuse("The course's tables could not be copied into \"" + fresh + "\".  Nothing was changed.");
    return kOperationFailedStatus;
  }
  p.BackupPath = fresh;
  const int status = RunOperation();
  p.BackupPath = target;
  if (status != 0) {
    dropNewBackup();
    return status;
  }
  const std::string lost = RowsANewBackupWouldLose(target, fresh);
  if (!lost.empty()) {
    dropNewBackup();
    Refuse("The course \"" + coursePath + "\" holds none of the rows of its backup in \"" + target + "\" (" + lost +
           "), so its new backup did not take that one's place.  The course and the backup were left as they "
           "were.  If the course is meant to be empty, move that backup folder elsewhere first.");
    return kOperationFailedStatus;
  }
  if (!PutNewBackupInPlace(target)) {
    dropNewBackup();
    Refuse("The new backup could not take the place of the one in \"" + target + "\".  The course was left as it "
           "was.");
    return kOperationFailedStatus;
  }
  return 0;
}

}  // namespace

std::optional<OperationChoice> OperationFromWord(const std::string& word) {
  const std::string w = ToUpper(word);
  if (w == "BACKUP") return OperationChoice{1, false, false};
  if (w == "RESTORE") return OperationChoice{2, false, true};
  if (w == "LUDORAIMPORT") return OperationChoice{2, true, false};
  if (w == "GBEXPORT") return OperationChoice{3, false, false};
  return std::nullopt;
}

bool BackupPathIsSafe(const std::string& backupPath) {
  const RunPaths& p = Paths();
  for (const std::string& folder : {p.CoursePath, p.AreaFolder, p.BrandFolder, p.DatabasesRoot, Settings().AppPath}) {
    if (!folder.empty() && PathStartsWith(Resolved(backupPath), Resolved(folder))) return false;
  }
  return true;
}

std::string CommandLineProblem(const std::string& line) {
  if (line.size() > kLongestCommandLine)
    return "The command line is longer than the " + std::to_string(kLongestCommandLine) +
           " characters a host can pass.  Nothing was changed.";
  std::size_t quotes = 0;
  for (const char c : line) quotes += c == '"';
  if (quotes % 2 != 0) return "The command line has a double quote that is never closed.  Nothing was changed.";
  return "";
}

void SettleBackupFolder(const std::string& backupPath) { SettleFolderReplacement(backupPath); }

void RestoreControlFiles(const std::string& coursePath) {
  for (const char* name : {"control2.dbf", "control2.cdx"}) {
    const ControlFile file = Control(coursePath, name);
    if (FileExists(file.saved)) MoveFileOverwrite(file.saved, file.live);
  }
}

int RunUnattendedOperation() {
  WriteLog("main non");
  RunSettings& s = Settings();
  RunPaths& p = Paths();
  const auto choice = OperationFromWord(GetCommandArg(CommandLine(), "Operation"));
  if (!choice) {
    MsgBox(kNoOperation, kMbOkOnly);
    Terminate();
  }
  s.Operation = choice->operation;
  s.GameImport = choice->gameImport;
  if (choice->restore) s.ImportMode = 3;  // REMAPNOTHING: a restore keeps every identifier
  if (s.Operation == 3) p.BackupPath = JoinPath(GetTempFolder(), "cortemp");

  // Every key and folder is checked before anything is prepared, opened or deleted.
  for (const std::string& problem : {CommandLineProblem(CommandLine()), HostIniProblem()}) {
    if (problem.empty()) continue;
    Refuse(problem);
    return kOperationFailedStatus;
  }
  if (p.CoursePath.empty() || !FolderExists(p.CoursePath)) {
    // The host wants no box here; the run log says why the run ended.
    WriteLog(p.CoursePath.empty() ? std::string("TOLVARIN ERROR: No CoursePath was given.")
                                  : "TOLVARIN ERROR: The course folder " + p.CoursePath + " does not exist.");
    Terminate();
  }
  WriteLog("usercon");
  if (p.BackupPath.empty()) {
    MsgBox(kNoBackupPath, kMbCritical);
    Terminate();
  }
  if (s.Operation != 3) SettleBackupFolder(p.BackupPath);

  if (s.Operation == 1) {
    if (!BackupPathIsSafe(p.BackupPath)) {
      MsgBox(kUnsafeBackupPath, kMbCritical);
      Terminate();
    }
    UndoHalfSavedControlFiles(p.CoursePath);
    // A run killed while it emptied the course after its backup: this one finishes it.
    if (EmptyingWasCutShort(p.CoursePath)) {
      const std::string unfinished = FinishCutShortEmptying(p.CoursePath, p.BackupPath);
      if (unfinished.empty()) return 0;
      Refuse("An earlier backup of the course \"" + p.CoursePath + "\" was cut short while it emptied the course, "
             "and the emptying could not be finished: " + unfinished + ".  Nothing was changed.");
      return kOperationFailedStatus;
    }
    const std::string problem = BackupProblem(p.BackupPath, p.CoursePath);
    if (!problem.empty()) {
      Refuse(problem);
      return kOperationFailedStatus;
    }
    RemoveOrphanTableFiles(p.CoursePath);
    if (const int status = PutCheckedBackupInPlace(p.CoursePath, p.BackupPath); status != 0) return status;
    // The course loses its tables only after its backup was checked and is in place.
    const std::string notEmptied = EmptyCourseOfTables(p.CoursePath);
    if (!notEmptied.empty()) {
      Refuse("The course \"" + p.CoursePath + "\" was backed up into \"" + p.BackupPath + "\", but it could not be "
             "emptied of its tables: " + notEmptied + ".  The course was left with all its tables as they were.");
      return kOperationFailedStatus;
    }
    return 0;
  }

  if (s.GameImport) {
    const RestoreOutcome imported = ImportGamePackage(p.CoursePath, p.BackupPath);
    if (!imported.problem.empty()) Refuse(imported.problem);
    return imported.status;
  }
  if (choice->restore) {
    if (IsStagingFolder(p.BackupPath)) {
      Refuse("The folder \"" + p.BackupPath + "\" is a working folder of the program, not a Corvane Backup "
             "Folder.  Nothing was restored.");
      return kOperationFailedStatus;
    }
    // The course is touched only once the backup folder passed its checks.
    if (!RestoreSourceIsUsable()) return kOperationFailedStatus;
    RestoreControlFiles(p.CoursePath);
    RemoveOrphanTableFiles(p.CoursePath);
    if (!PutBackKeptTables(p.BackupPath, p.CoursePath)) {
      Refuse("The course's own tables kept in \"" + p.BackupPath + "\" could not be put back.  Nothing was "
             "restored.");
      return kOperationFailedStatus;
    }
    const RestoreOutcome restored = RestoreThroughWorkCopies(p.CoursePath);
    if (!restored.problem.empty()) Refuse(restored.problem);
    return restored.status;
  }
  if (s.Operation == 3) CreateDatabasesFolder(p.BackupPath);
  return RunOperation();
}

}  // namespace tolvarin
