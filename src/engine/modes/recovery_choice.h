#pragma once
// The rules of the recovery chooser, apart from its window: where a course's
// automatic backups are, which slots are listed and how, which one is preselected,
// and the texts the window shows.
#include <string>
#include <vector>

#include "data/catalogue.h"

namespace tolvarin {

// DatabasesRoot/Backup/<Brand>/<area name>/<course name>; a missing name is taken
// from the folder's own name, so that two courses never share one set of slots.
std::string CourseBackupFolder(const AreaRecord& area, const CourseRecord& course);

// The loaded course slots of an area: display name and slot.
struct CourseEntry {
  std::string name;
  int slot = 0;
};
std::vector<CourseEntry> RecoverableCourses(const AreaRecord& area);

// The slots 1 to 5 of a course's backup folder whose description names a Created time.
struct SlotEntry {
  int slot = 0;
  std::string created;  // as stored: "yyyy-mm-dd hh:nn:ss"
  std::string text;     // "Auto-Backup n - <the time in words>"
};
std::vector<SlotEntry> RecoverySlots(const std::string& courseBackupFolder);
// The entry with the greatest Created text (the earlier one on equal texts); -1 when none.
int NewestSlotIndex(const std::vector<SlotEntry>& slots);

// "Friday, December 11, 2026 at 3:04:05 AM"; a text of another form is shown as it is.
std::string FormatCreatedTime(const std::string& created);
// The working folder of a chosen slot, and the backup path line of the window.
std::string RecoverySlotFolder(const std::string& courseBackupFolder, int slot);
std::string BackupPathLine(const std::string& courseBackupFolder, int slot);  // slot 0: none chosen
// The question asked before a slot is put back.
std::string RecoverQuestion(const std::string& courseName, int slot, const std::string& created);

}  // namespace tolvarin
