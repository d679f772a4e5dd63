#pragma once
// The unattended user-content run: one Operation word from the command line, the
// course's control files saved around a backup and put back before a restore.
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

// Puts control2.dbf/.cdx back from their ".save" copies when the copies exist.
void RestoreControlFiles(const std::string& coursePath);
// Saves control2.dbf/.cdx as ".save" copies and deletes the course's table files.
void EmptyCourseOfTables(const std::string& coursePath);

// Runs the Operation; the run's status.
int RunUnattendedOperation();

}  // namespace tolvarin
