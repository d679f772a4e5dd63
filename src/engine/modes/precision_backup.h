#pragma once
// The gradebook's precision backup: exactly the rows its profile names, with their
// character attributes, mirrored into the backup folder course by course.
#include <string>

namespace tolvarin {

// What a run did; every skipped element is also said in the run log.
struct PrecisionBackupResult {
  long Tables = 0;   // tables written into the backup
  long Rows = 0;     // rows copied
  long Attributes = 0;  // attribute rows copied
  long Skipped = 0;  // profile elements skipped or refused
};

// Reads backupFolder/backupprofile.xml and, for each course it names, writes the
// listed rows into backupFolder followed by the course's path below the databases'
// brand folder. Blank tables come from blankFolder. A table element whose source or
// target does not open, or whose name or path would lead outside backupFolder, is
// skipped: the backup's earlier file of that table stays as it was. Each table is
// written beside its place and put there whole.
PrecisionBackupResult RunPrecisionBackup(const std::string& backupFolder, const std::string& blankFolder);

// Mode 6 with Operation 1: RunPrecisionBackup on BackupPath with AppPath's blank
// tables. The run's status: 0, or 1 when an element was skipped.
int PrecisionBackup();

}  // namespace tolvarin
