#pragma once
// The last step of an unattended backup: once the course's backup is checked and in
// place, the course gives up its tables. A folder made inside the course first marks
// the emptying as begun; the control files are saved aside as ".save" copies and every
// other table file is moved into that folder, and only once all of them are there do
// they go for good. A file that cannot go puts every one back, so a table's files go
// together or not at all; a run killed on the way is finished by the next backup,
// which knows the files it left for the ones the backup kept.
#include <string>

namespace tolvarin {

// The course's control table control2.dbf/.cdx and their saved copies, found without
// regard to case.
struct ControlFile {
  std::string live;
  std::string saved;
};
ControlFile Control(const std::string& coursePath, const char* name);

// The course holds a data file besides its control table.
bool HoldsTables(const std::string& coursePath);
// A backup began emptying the course, or emptied it: its control files are saved
// aside, or its emptying folder is there.
bool WasEmptiedByABackup(const std::string& coursePath);

// A saving of the control pair killed after its first move: the tables are all still
// there, so the data file goes back.
void UndoHalfSavedControlFiles(const std::string& coursePath);

// The first table file of the course (the control pair too) that cannot be moved or
// deleted now; "" when every one can.
std::string FirstHeldTableFile(const std::string& coursePath);

// Saves the control pair and takes every other table file of the course away, all or
// none: "" when the course holds no table file any more, else what could not go (the
// files this call moved were put back).
std::string EmptyCourseOfTables(const std::string& coursePath);

// An emptying began in the course and did not end: its folder is still there.
bool EmptyingWasCutShort(const std::string& coursePath);
// Finishes such an emptying when the backup in backupPath is as its record says and
// every table file still in the course is the one that backup kept, byte for byte:
// "" when the course holds no table file then, else why nothing was moved.
std::string FinishCutShortEmptying(const std::string& coursePath, const std::string& backupPath);

}  // namespace tolvarin
