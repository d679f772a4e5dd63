#include "engine/modes/unattended_operation.h"

#include <filesystem>
#include <system_error>

#include "core/box_buttons.h"
#include "core/command_line.h"
#include "core/files.h"
#include "core/paths.h"
#include "core/run_log.h"
#include "core/settings.h"
#include "core/strings.h"
#include "core/system_box.h"
#include "core/terminate.h"
#include "engine/package/backup_folder.h"
#include "engine/startup.h"

namespace tolvarin {
namespace {

constexpr const char* kNoOperation =
    "No Operation specified to Corvane Backup and Restore System.  Please call 1-888-CORVANE for more information.";
constexpr const char* kUnsafeBackupPath =
    "The backup folder may not be the course folder, a folder that holds it, or the program's folder.  Please "
    "choose another BackupPath.";

// The course's control files and their saved copies, found without regard to case.
struct ControlFile {
  std::string live;
  std::string saved;
};
ControlFile Control(const std::string& coursePath, const char* name) {
  const std::string live = FindPath(JoinPath(coursePath, name));
  return {live, FindPath(live + ".save")};
}

// Links and ".." resolved, so that one folder written two ways compares equal.
std::string Resolved(const std::string& path) {
  std::error_code error;
  const std::filesystem::path resolved = std::filesystem::weakly_canonical(path, error);
  return error ? path : resolved.string();
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

void RestoreControlFiles(const std::string& coursePath) {
  const ControlFile dbf = Control(coursePath, "control2.dbf");
  if (!FileExists(dbf.saved)) return;
  const ControlFile cdx = Control(coursePath, "control2.cdx");
  MoveFileOverwrite(dbf.saved, dbf.live);
  if (FileExists(cdx.saved)) MoveFileOverwrite(cdx.saved, cdx.live);
}

void EmptyCourseOfTables(const std::string& coursePath) {
  for (const char* name : {"control2.dbf", "control2.cdx"}) {
    const ControlFile file = Control(coursePath, name);
    if (FileExists(file.live)) MoveFileOverwrite(file.live, file.live + ".save");
  }
  for (const std::string& file : GetFilesInFolder(coursePath, kAttrNormal, "DBF;CDX;FPT")) DeleteFile(file);
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
  if (s.Operation == 1 && !p.BackupPath.empty() && !BackupPathIsSafe(p.BackupPath)) {
    MsgBox(kUnsafeBackupPath, kMbCritical);
    Terminate();
  }
  if (choice->restore && !p.CoursePath.empty()) RestoreControlFiles(p.CoursePath);

  if (p.CoursePath.empty() || !FolderExists(p.CoursePath)) {
    // The host wants no box here; the run log says why the run ended.
    WriteLog(p.CoursePath.empty() ? std::string("TOLVARIN ERROR: No CoursePath was given.")
                                  : "TOLVARIN ERROR: The course folder " + p.CoursePath + " does not exist.");
    Terminate();
  }
  if (s.Operation == 1 || s.Operation == 3) CreateDatabasesFolder(p.BackupPath);

  const int status = RunOperation();
  // The course loses its tables only after a backup that ran to its end and was
  // checked; any other end leaves the course as it was.
  if (s.Operation == 1 && status == 0) EmptyCourseOfTables(p.CoursePath);
  return status;
}

}  // namespace tolvarin
