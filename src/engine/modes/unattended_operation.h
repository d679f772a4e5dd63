#pragma once
// The unattended user-content run: one Operation word from the command line, the
// course's control files saved around a backup and put back before a restore.
// Every key and folder the operation needs is checked before anything is written;
// a new backup is written beside the old one and takes its place only once checked.
#include <optional>
#include <string>

namespace tolvarin {

// What an Operation word (any case) sets; nullopt for a word that names none.
struct OperationChoice {
  int operation = 0;     // 1 backup, 2 restore or import, 3 gradebook export
  bool gameImport = false;
  bool restore = false;  // RESTORE: identifiers kept, control files put back first
};
std::optional<OperationChoice> OperationFromWord(const std::string& word);

// A backup folder must not be, or hold, a folder whose tables the run reads or empties:
// the course, its area or brand folder, the databases root or AppPath.
bool BackupPathIsSafe(const std::string& backupPath);

// What is wrong with a command line the host could not have passed ("" when nothing):
// longer than a command line can be, or a double quote that is never closed.
std::string CommandLineProblem(const std::string& line);

// Finishes or undoes what a run killed while it put a new backup in place left (the
// new backup is written into "<BackupPath>.tolvarin-new", core/folder_replacement.h).
void SettleBackupFolder(const std::string& backupPath);

// Puts control2.dbf/.cdx back from their ".save" copies, each that has one.
void RestoreControlFiles(const std::string& coursePath);

// Runs the Operation; the run's status.
int RunUnattendedOperation();

}  // namespace tolvarin
