#pragma once
// The unattended import of a game package (Operation LUDORAIMPORT). The package is
// checked before the course is touched (RestoreSourceIsUsable); its rows, pictures
// and rewritten activity files then go into the course through work copies, as one
// group (restore_work_copies.h). A run killed while the group moved in is completed
// by the next run of the program on the course.
//
// The group also leaves a note in the course: the package's tables and the course's
// tables as the import left them. An import of the same package into a course that
// still holds just that is the same import run again (a rerun after a kill, a second
// start by a double click): it imports nothing more and ends as the first did.
#include <string>

#include "engine/modes/restore_work_copies.h"

namespace tolvarin {

// The note's name in the course folder.
inline constexpr const char* kImportNoteFile = ".tolvarin-imported";

// Imports the package in packagePath (BackupPath) into the course.
RestoreOutcome ImportGamePackage(const std::string& coursePath, const std::string& packagePath);

}  // namespace tolvarin
