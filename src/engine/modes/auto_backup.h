#pragma once
// The host's rotating automatic backup (Mode DIRECTCOPY): raw copies of a course's
// table files and user images in five slot folders, at most one every four days,
// and the copy back of a chosen slot over a damaged course.
#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace tolvarin {

inline constexpr int kAutoBackupSlots = 5;
inline constexpr int kAutoBackupDays = 4;

// BackupPath when given, else DatabasesRoot/Backup/<Brand>/<area name>/<course name>.
std::string AutoBackupFolder();
std::string SlotFolder(const std::string& backupFolder, int slot);

// The slot to write (the first without a Created time, else the oldest, the lower
// number on equal times) and the newest Created text of all five.
struct SlotChoice {
  int target = 1;
  std::string newest;
};
SlotChoice ChooseSlot(const std::string& backupFolder);

// Whether a backup is due: the newest slot's age in days, to the nearest whole number
// (halves to even), is 4 or more; or its time cannot be read (no slot yet); or it
// lies in the future (a clock set back must not stop the backups).
bool AutoBackupIsDue(const std::string& newest, std::chrono::system_clock::time_point now);

// Copies the course's user images (identifiers 20000 to 99999, .gif and .jpg),
// replacing existing ones, each checked; the names that failed.
std::vector<std::string> CopyUserImages(const std::string& sourceFolder, const std::string& targetFolder);

// Copies every table of a folder (its .dbf, .cdx and .fpt files, Status.DBF never)
// into another, each table's files as one checked set; the names that failed.
std::vector<std::string> CopyTablesAsSets(const std::string& sourceFolder, const std::string& targetFolder);

// Mode 1. The new slot is written beside the one it replaces ("<n>.tolvarin-new"),
// TOLVARIN.INI last and only when every copy was checked, and then takes that one's
// place, keeping its files of tables and images the course no longer has; a copy that
// fails removes the new slot and leaves every slot as it was. A course that holds no
// tables, or that a backup is emptying, is skipped (the run log says so). The run's
// status: 0, or non-zero after saying what failed.
int DoAutoBackup();

// What follows the recovery chooser once the user chose a slot and said Yes: refuses
// a folder that is not an automatic backup; keeps the course's table files in a
// dated folder beside the slots, then copies the slot's images and tables in (each
// table's files as a checked set) and removes the course's tables the slot lacks; on
// any failure puts the course's files back, and says how it went. The run's status.
int RecoverAutoBackup(const std::string& slotFolder);

// Mode 2 (quitOnCancel) and the main window's recovery: the chooser, then the
// recovery of the chosen slot and its status. Back or the close box ends the run
// normally in mode 2 and otherwise gives nullopt (nothing was recovered).
std::optional<int> DoRecover(bool quitOnCancel);

}  // namespace tolvarin
