#include "engine/modes/recovery_choice.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "core/files.h"
#include "core/ini_file.h"
#include "core/paths.h"
#include "core/settings.h"
#include "engine/modes/auto_backup.h"
#include "engine/package/backup_folder.h"

namespace tolvarin {
namespace {

// The last name of a folder path, ".." and links resolved.
std::string LastFolderName(const std::string& folder) {
  std::error_code ec;
  const std::filesystem::path resolved = std::filesystem::weakly_canonical(FindPath(folder), ec);
  return ec ? GetFileName(folder, true) : resolved.filename().string();
}

bool ReadNumber(const std::string& text, size_t at, size_t digits, int& value) {
  value = 0;
  for (size_t i = at; i < at + digits; ++i) {
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

}  // namespace

std::string CourseBackupFolder(const AreaRecord& area, const CourseRecord& course) {
  const RunPaths& p = Paths();
  const std::string brand = p.Brand.empty() ? LastFolderName(p.BrandFolder) : p.Brand;
  const std::string areaName = area.Name.empty() ? LastFolderName(area.Path) : area.Name;
  const std::string courseName = course.DisplayName.empty() ? LastFolderName(course.Path) : course.DisplayName;
  return JoinPath(JoinPath(JoinPath(JoinPath(p.DatabasesRoot, "Backup"), brand), areaName), courseName);
}

std::vector<CourseEntry> RecoverableCourses(const AreaRecord& area) {
  std::vector<CourseEntry> entries;
  for (int slot = 0; slot < static_cast<int>(area.Courses.size()); ++slot)
    if (area.Courses[slot].Loaded) entries.push_back({area.Courses[slot].DisplayName, slot});
  return entries;
}

std::vector<SlotEntry> RecoverySlots(const std::string& courseBackupFolder) {
  std::vector<SlotEntry> slots;
  for (int n = 1; n <= kAutoBackupSlots; ++n) {
    const std::string ini = FindPath(JoinPath(SlotFolder(courseBackupFolder, n), kDescriptionFile));
    const std::string created = FileExists(ini) ? IniReadString(ini, "Tolvarin", "Created") : "";
    if (created.empty()) continue;
    slots.push_back({n, created, "Auto-Backup " + std::to_string(n) + " - " + FormatCreatedTime(created)});
  }
  return slots;
}

int NewestSlotIndex(const std::vector<SlotEntry>& slots) {
  int newest = -1;
  for (int i = 0; i < static_cast<int>(slots.size()); ++i)
    if (newest < 0 || slots[i].created > slots[newest].created) newest = i;
  return newest;
}

std::string FormatCreatedTime(const std::string& created) {
  static const char* kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
  static const char* kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                  "July",    "August",   "September", "October", "November", "December"};
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  const bool shaped = created.size() == 19 && created[4] == '-' && created[7] == '-' && created[10] == ' ' &&
                      created[13] == ':' && created[16] == ':' && ReadNumber(created, 0, 4, y) &&
                      ReadNumber(created, 5, 2, mo) && ReadNumber(created, 8, 2, d) && ReadNumber(created, 11, 2, h) &&
                      ReadNumber(created, 14, 2, mi) && ReadNumber(created, 17, 2, s);
  const std::chrono::year_month_day date{std::chrono::year(y), std::chrono::month(static_cast<unsigned>(mo)),
                                         std::chrono::day(static_cast<unsigned>(d))};
  if (!shaped || !date.ok() || h > 23 || mi > 59 || s > 59) return created;
  const unsigned weekday = std::chrono::weekday(std::chrono::sys_days(date)).c_encoding();
  char time[32];
  std::snprintf(time, sizeof time, "%d:%02d:%02d %s", h % 12 == 0 ? 12 : h % 12, mi, s, h < 12 ? "AM" : "PM");
  return std::string(kDays[weekday]) + ", " + kMonths[mo - 1] + " " + std::to_string(d) + ", " + std::to_string(y) +
         " at " + time;
}

std::string RecoverySlotFolder(const std::string& courseBackupFolder, int slot) {
  return JoinPath(courseBackupFolder, std::to_string(slot));
}

std::string BackupPathLine(const std::string& courseBackupFolder, int slot) {
  return "Backup Path: " +
         (slot > 0 ? RecoverySlotFolder(courseBackupFolder, slot) : JoinPath(courseBackupFolder, "..."));
}

std::string RecoverQuestion(const std::string& courseName, int slot, const std::string& created) {
  return "You are about to recover " + courseName + " Auto-Backup " + std::to_string(slot) +
         ", which represents the state of your database as of " + FormatCreatedTime(created) +
         ".\r\n\r\nAny questions created or exams saved to the Vault since that date will LOST.\r\n\r\nAre you sure "
         "you wish to recover this backup?";
}

}  // namespace tolvarin
