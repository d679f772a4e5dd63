#pragma once
// The gradebook's full restore of chosen folders to one of its numbered backups.
// Each folder's files are first saved into a restore-point zip, which is checked;
// the backups 1 to N are then applied oldest first to new tables made aside, which
// are checked and put in place as one group, so that a folder holds its tables as
// before or the whole restored set.
#include <functional>
#include <string>
#include <vector>

#include "engine/modes/gradebook_profile.h"
#include "platform/zip/zip.h"

namespace tolvarin {

// A folder the restore may bring back: the brand folder of students and teachers
// or one installed course.
struct RestoreTarget {
  std::string Label;   // as the course list shows it
  std::string Folder;  // the live folder
  long ItemData = 0;   // -1 for the brand folder, else AreaID * 1000 + CourseID
};

// "Students \ Teachers" with the brand folder, then every installed course of the
// catalogue by its display name.
std::vector<RestoreTarget> GradebookRestoreTargets(const std::string& brandFolder);

// How the backup list shows a backup: the date and time of its backupprofile.xml.
std::string BackupDateText(const GradebookBackup& backup);

struct FolderRestore {
  std::string Label;
  bool Restored = false;
  std::string RestorePoint;  // the zip holding the folder's files from before; "" when none was written
  std::string Why;           // why the folder was not restored
};

// Writes and checks a restore point (zipio::WriteArchive unless a test put in
// another; an empty function puts it back).
using RestorePointWriter = std::function<zipio::Outcome(const std::string& zip, const std::vector<std::string>& files)>;
void SetRestorePointWriter(RestorePointWriter writer);

// The first databasesRoot/Backup/RestorePoint<k>.zip (k = 1, 2, ...) that does not exist.
std::string NextRestorePoint(const std::string& databasesRoot);

// Brings one folder back to backup number: its files go into the next free restore
// point, checked entry by entry; the backups 1 to number then make its new tables
// in its staging folder (data/table_swap.h), which are checked and swapped in as
// one group that takes away the folder's other tables. When a backup cannot be
// applied the folder is left as it was. A folder outside brandFolder is left alone.
// What a killed restore left in the folder is completed or dropped first.
FolderRestore RestoreCourseFromBackup(const std::vector<GradebookBackup>& backups, long number,
                                      const RestoreTarget& target, const std::string& databasesRoot,
                                      const std::string& brandFolder);

// Completes or drops what killed restores left in every folder the dialog offers.
void FinishGradebookRestores(const std::string& brandFolder);

struct GradebookRestoreOutcome {
  long Number = 0;   // the chosen backup's number
  long Missing = 0;  // a number from 1 to Number that is not there once: nothing was touched
  std::vector<FolderRestore> Folders;
};

// Restores each target, in order, to the backup at index (from 0) of backups,
// after making sure that every backup from 1 to its number is there.
GradebookRestoreOutcome RestoreFoldersFromBackup(const std::vector<GradebookBackup>& backups, std::size_t index,
                                                 const std::vector<RestoreTarget>& targets,
                                                 const std::string& databasesRoot, const std::string& brandFolder);

inline constexpr const char* kDatabasesRestored = "Your databases have been restored. ";
// The closing message: kDatabasesRestored when every folder was restored;
// otherwise what was missing, or the folders that were not and their restore point.
std::string GradebookRestoreMessage(const GradebookRestoreOutcome& outcome);

}  // namespace tolvarin
