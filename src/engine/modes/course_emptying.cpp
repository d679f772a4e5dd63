#include "engine/modes/course_emptying.h"

#include <filesystem>
#include <map>
#include <system_error>
#include <utility>
#include <vector>

#include "core/files.h"
#include "core/paths.h"
#include "core/run_log.h"
#include "core/strings.h"
#include "engine/package/backup_contents.h"

namespace tolvarin {
namespace fs = std::filesystem;
namespace {

constexpr const char* kEmptyingFolder = ".tolvarin-emptying";
constexpr const char* kControlPair[] = {"control2.dbf", "control2.cdx"};

std::string EmptyingFolder(const std::string& course) { return JoinPath(course, kEmptyingFolder); }

bool Rename(const std::string& from, const std::string& to) {
  std::error_code error;
  fs::rename(from, to, error);
  return !error;
}

bool IsControlPair(const std::string& path) {
  const std::string name = GetFileName(path, true);
  for (const char* control : kControlPair)
    if (EqualsNoCase(name, control)) return true;
  return false;
}

// The course's table files, every data file before any index or memo file.
std::vector<std::string> TableFiles(const std::string& course) {
  std::vector<std::string> files;
  for (const char* extensions : {"DBF", "CDX;FPT"})
    for (const std::string& file : GetFilesInFolder(course, kAttrNormal, extensions)) files.push_back(file);
  return files;
}

// The folder's files and then the folder; false when any of them stays.
bool RemoveEmptyingFolder(const std::string& holding) {
  std::error_code error;
  fs::remove_all(holding, error);
  return !error && !fs::exists(fs::symlink_status(holding, error));
}

}  // namespace

ControlFile Control(const std::string& coursePath, const char* name) {
  const std::string live = FindPath(JoinPath(coursePath, name));
  return {live, FindPath(live + ".save")};
}

bool HoldsTables(const std::string& coursePath) {
  for (const std::string& file : GetFilesInFolder(coursePath, kAttrNormal, "DBF"))
    if (ToUpper(GetFileName(file, false)) != "CONTROL2") return true;
  return false;
}

bool WasEmptiedByABackup(const std::string& coursePath) {
  return FileExists(Control(coursePath, "control2.dbf").saved) || EmptyingWasCutShort(coursePath);
}

void UndoHalfSavedControlFiles(const std::string& coursePath) {
  const ControlFile dbf = Control(coursePath, "control2.dbf");
  const ControlFile cdx = Control(coursePath, "control2.cdx");
  if (FileExists(dbf.saved) && !FileExists(dbf.live) && FileExists(cdx.live) && !FileExists(cdx.saved))
    MoveFileOverwrite(dbf.saved, dbf.live);
}

std::string FirstHeldTableFile(const std::string& coursePath) {
  for (const std::string& file : TableFiles(FindPath(coursePath)))
    if (!CanRemoveFile(file)) return GetFileName(file, true);
  return "";
}

std::string EmptyCourseOfTables(const std::string& coursePath) {
  const std::string course = FindPath(coursePath);
  const std::string held = FirstHeldTableFile(course);
  if (!held.empty()) return "the file " + held + " is held by another program or read-only";
  const std::string holding = EmptyingFolder(course);
  std::error_code error;
  fs::create_directory(holding, error);
  if (!fs::is_directory(fs::symlink_status(holding, error))) return "the folder " + holding + " could not be made";
  WriteLog("Emptying the course of its tables");

  // Every move is one rename, undone in the reverse order when a later one fails.
  std::vector<std::pair<std::string, std::string>> moved;
  std::string failed;
  for (const char* name : kControlPair) {
    const ControlFile file = Control(course, name);
    if (!FileExists(file.live)) continue;
    if (!Rename(file.live, file.live + ".save")) {
      failed = file.live;
      break;
    }
    moved.emplace_back(file.live, file.live + ".save");
  }
  if (failed.empty()) {
    for (const std::string& file : TableFiles(course)) {
      if (IsControlPair(file)) continue;
      const std::string aside = JoinPath(holding, GetFileName(file, true));
      WriteLog("Taking away " + GetFileName(file, true));
      if (!Rename(file, aside)) {
        failed = file;
        break;
      }
      moved.emplace_back(file, aside);
    }
  }
  if (!failed.empty()) {
    std::string notBack;
    for (auto it = moved.rbegin(); it != moved.rend(); ++it)
      if (!Rename(it->second, it->first)) notBack += " " + GetFileName(it->first, true);
    fs::remove(holding, error);  // only when nothing is left in it
    return "the file " + GetFileName(failed, true) + " could not be taken away" +
           (notBack.empty() ? std::string() : ", and these could not be put back from " + holding + ":" + notBack);
  }
  if (!RemoveEmptyingFolder(holding)) WriteLogNote("The folder " + holding + " could not be removed yet.");
  WriteLog("The course was emptied of its tables");
  return "";
}

bool EmptyingWasCutShort(const std::string& coursePath) {
  std::error_code error;
  return fs::is_directory(fs::symlink_status(EmptyingFolder(FindPath(coursePath)), error));
}

std::string FinishCutShortEmptying(const std::string& coursePath, const std::string& backupPath) {
  const auto recorded = ReadBackupContents(backupPath);
  if (!recorded) return "the folder \"" + backupPath + "\" holds no checked backup of it";
  const std::vector<std::string> problems = ContentsProblems(backupPath, *recorded);
  if (!problems.empty()) return "its backup in \"" + backupPath + "\" is not as it was written: " + problems.front();
  // The course's own files as the backup kept them, by upper-case name.
  const std::string keptPrefix = ToUpper(std::string(kKeptCourseFolder)) + "/";
  std::map<std::string, RecordedFile> kept;
  for (const RecordedFile& file : recorded->files)
    if (ToUpper(file.name).rfind(keptPrefix, 0) == 0) kept[ToUpper(file.name.substr(keptPrefix.size()))] = file;
  for (const std::string& file : TableFiles(FindPath(coursePath))) {
    const auto found = kept.find(ToUpper(GetFileName(file, true)));
    std::error_code error;
    if (found == kept.end() || fs::file_size(file, error) != found->second.size ||
        FileChecksum(file) != std::optional<std::uint32_t>(found->second.checksum))
      return "its table file " + GetFileName(file, true) + " is not the one its backup in \"" + backupPath +
             "\" kept";
  }
  WriteLogNote("Finishing the emptying of " + coursePath + " that an earlier backup began");
  return EmptyCourseOfTables(coursePath);
}

}  // namespace tolvarin
