#pragma once
// The engine side of the gradebook's restore: a folder of the databases is brought
// back to its state at a chosen precision backup by applying the backups' profiles
// in order, oldest first. The restore-point dialog chooses the backup and the
// folders and calls these.
#include <string>
#include <vector>

#include "engine/modes/gradebook_profile.h"

namespace tolvarin {

struct ProfileApplication {
  long Rows = 0;        // rows written over or added to live tables
  long Attributes = 0;  // attribute rows written
  long Deletions = 0;   // live rows and attribute rows deleted
  long Skipped = 0;     // profile elements skipped (said in the run log)
  long Failed = 0;      // live tables that did not open and engine writes that failed
};

// The live folder a sub-path names: brandFolder/subPath ("" for the brand folder of
// students and teachers).
std::string LiveFolderOf(const std::string& brandFolder, const std::string& subPath);

// Applies one backup to the live folder of subPath: for the course profile whose
// path below the brand folder is subPath, every listed row the backup holds is
// written over (or added to) the live table with its character attributes, and
// every listed row it no longer holds is deleted with its attributes. The backup's
// tables lie at backupFolder/subPath; a live table the folder lacks is made from its
// blank copy. Elements with an unsafe name, or whose backup table or tag is
// missing, are skipped; a live table that does not open, and every write, delete
// or pack the engine refuses, counts as failed and is said in the run log.
// intoFolder, when given, takes the rows in place of the live folder (a restore
// builds the folder's new tables aside).
ProfileApplication ApplyBackupProfile(const std::string& backupFolder, const std::string& brandFolder,
                                      const std::string& subPath, const std::string& intoFolder = "");

// Applies every backup numbered up to number, in ascending number.
ProfileApplication RestoreFromIncrements(const std::vector<GradebookBackup>& backups, long number,
                                         const std::string& brandFolder, const std::string& subPath,
                                         const std::string& intoFolder = "");

}  // namespace tolvarin
