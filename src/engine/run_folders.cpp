#include "engine/run_folders.h"

#include <cstdlib>

#include "core/box_buttons.h"
#include "core/command_line.h"
#include "core/paths.h"
#include "core/run_lock.h"
#include "core/run_log.h"
#include "core/settings.h"
#include "core/strings.h"
#include "core/system_box.h"
#include "data/catalogue.h"
#include "engine/modes/auto_backup.h"
#include "engine/modes/gradebook_profile.h"
#include "engine/modes/recovery_choice.h"
#include "engine/modes/unattended_operation.h"

namespace tolvarin {
namespace {

std::chrono::milliseconds LockWait() {
  const char* text = std::getenv(kLockWaitVariable);
  if (!text || !*text) return kLockWait;
  char* stop = nullptr;
  const long long value = std::strtoll(text, &stop, 10);
  return (stop && *stop == '\0' && value >= 0) ? std::chrono::milliseconds(value) : kLockWait;
}

// The process's locks: held until it ends.
HeldLocks& Held() {
  static HeldLocks held;
  return held;
}

std::string DatabasesRootOfRun() {
  const RunPaths& p = Paths();
  return p.DatabasesRoot.empty() ? JoinPath(Settings().AppPath, "Databases") : p.DatabasesRoot;
}

// The area's course folders and the slot folders of all its courses: the recovery
// chooser lets the user turn to another course of the area.
void AddAreaOfRecovery(std::vector<std::string>& folders) {
  const RunPaths& p = Paths();
  folders.push_back(CurrentArea().Path.empty() ? p.AreaFolder : CurrentArea().Path);
  folders.push_back(GetFolderOfPath(CourseBackupFolder(CurrentArea(), CurrentCourse())));
}

}  // namespace

std::vector<std::string> RunFolders() {
  const RunSettings& s = Settings();
  const RunPaths& p = Paths();
  const std::string& line = CommandLine();
  std::vector<std::string> folders{p.CoursePath};
  const std::string temp = GetTempFolder();
  const auto staging = [&] {
    if (temp.empty()) return;
    folders.push_back(JoinPath(temp, "cortemp"));
    folders.push_back(JoinPath(temp, "UpgradeInPlace"));
  };
  switch (s.Mode) {
    case 0: {
      if (s.Interactive) {
        AddAreaOfRecovery(folders);
        staging();
        break;
      }
      const auto operation = OperationFromWord(GetCommandArg(line, "Operation"));
      if (operation && operation->operation == 3) {  // the exam export works in the staging folder
        staging();
        break;
      }
      folders.push_back(p.BackupPath);  // the backup, or the game package whose activities are rewritten
      if (operation && operation->restore) staging();
      break;
    }
    case 1:
      folders.push_back(AutoBackupFolder());
      break;
    case 2:
      folders.push_back(AutoBackupFolder());
      AddAreaOfRecovery(folders);
      break;
    case 3:
      folders.push_back(GetCommandArg(line, "DestPath"));
      folders.push_back(GetCommandArg(line, "SrcPath"));
      staging();
      break;
    case 4:
      staging();
      break;
    case 5:
    case 9:  // every database folder of the installation
      folders.push_back(JoinPath(s.AppPath, "Databases"));
      staging();
      break;
    case 6:
      if (s.Operation == 1) {
        folders.push_back(p.BackupPath);
        for (const CourseBackupProfile& course : ReadBackupProfile(JoinPath(p.BackupPath, kBackupProfileName)))
          folders.push_back(FindPath(ProfilePath(course.Path)));
      } else {
        folders.push_back(DatabasesRootOfRun());  // the restore points of any folder of the databases
      }
      break;
    case 7:
      folders.push_back(p.BackupPath);
      break;
    case 8:
      folders.push_back(DatabasesRootOfRun());  // the repair reaches every table of the databases
      break;
    default:
      break;
  }
  std::vector<std::string> named;
  for (const std::string& folder : folders)
    if (!Trim(folder).empty()) named.push_back(folder);
  return named;
}

bool LockRunFolders() {
  const std::string temp = GetTempFolder();
  LockAttempt attempt =
      TakeFolderLocks(RunFolders(), temp.empty() ? "" : JoinPath(temp, "locks"), LockWait(), [](const std::string& busy) {
        WriteLogNote("Waiting for another copy of the program to finish with \"" + busy + "\"");
      });
  if (attempt.taken) {
    Held() = std::move(attempt.locks);
    return true;
  }
  const std::string text =
      attempt.busy.empty()
          ? attempt.error + ".  Nothing was changed."
          : "Another copy of the program is working on \"" + attempt.busy +
                "\".  Nothing was changed; please try again once it has finished.";
  WriteLogNote("TOLVARIN ERROR: " + text);
  MsgBox(text, kMbCritical);
  return false;
}

}  // namespace tolvarin
