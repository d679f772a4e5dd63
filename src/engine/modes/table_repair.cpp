#include "engine/modes/table_repair.h"

#include "core/files.h"
#include "core/paths.h"
#include "core/run_log.h"
#include "core/strings.h"
#include "data/catalogue.h"
#include "data/codebase.h"
#include "data/open_table.h"
#include "data/table_registry.h"
#include "platform/xbase/xbase.h"

namespace tolvarin {
namespace {

constexpr const char* kCrLf = "\r\n";

// The table's own files that exist, found without regard to case.
std::vector<std::string> TableFiles(const std::string& folder, const std::string& name) {
  std::vector<std::string> files;
  for (const char* extension : {".dbf", ".cdx", ".fpt"}) {
    const std::string file = FindPath(JoinPath(folder, name + extension));
    if (FileExists(file)) files.push_back(file);
  }
  return files;
}

// Copies the files into the safety folder and reads each copy back. "" when done.
std::string CopyToSafety(const std::vector<std::string>& files, const std::string& safetyFolder) {
  if (!CreateFolderTree(safetyFolder)) return "the safety folder " + safetyFolder + " could not be made";
  for (const std::string& file : files) {
    const std::string copy = JoinPath(safetyFolder, GetFileName(file, true));
    CopyFileReplace(file, copy);
    if (!FileExists(copy) || ReadFileBytes(copy) != ReadFileBytes(file))
      return "it could not be copied into the safety folder " + safetyFolder;
  }
  return "";
}

// Why the table must be left alone now: another program holds it locked, or the
// system refuses access. "" when it may be rebuilt (also when it does not open).
std::string HeldElsewhere(const std::string& dbf) {
  const xbase::Code4 code = Engine().EngineHandle;
  xbase::code4errorCode(code, 0);
  xbase::code4errOff(code, 1);
  const xbase::Data4 data = xbase::d4open(code, dbf);
  std::string why;
  if (data == 0) {
    // A table another process holds whole does not even open.
    const int pending = xbase::code4errorCode(code, 0);
    if (pending == xbase::kErrorAccess) why = "the program could not access the file";
    if (pending == xbase::kLocked) why = "another program is using it";
  } else {
    if (xbase::d4lockAll(data) == xbase::kLocked) why = "another program is using it";
    xbase::d4close(data);
  }
  xbase::code4errorCode(code, 0);
  xbase::code4errOff(code, 0);
  return why;
}

std::string Names(const RepairSummary& summary, TableRepairState state) {
  std::string text;
  for (const TableRepair& table : summary.Tables) {
    if (table.State != state) continue;
    text += std::string(kCrLf) + table.File;
    if (state == TableRepairState::Repaired) text += " (" + std::to_string(table.Records) + " records)";
    if (!table.Why.empty()) text += ": " + table.Why;
  }
  return text;
}

}  // namespace

std::vector<RepairLocation> RepairLocations(const std::string& brandFolder) {
  std::vector<RepairLocation> locations{{"Users", brandFolder}};
  CourseIterator courses;
  courses.Init(Areas().Records);
  int areaId = 0, courseId = 0;
  while (courses.NextCourse(areaId, courseId, true))
    locations.push_back({courses.CurrentArea().Name + "\\" + courses.CurrentCourse().DisplayName,
                         courses.CurrentCourse().Path});
  return locations;
}

std::vector<std::string> DatabaseFilesIn(const std::string& folder) {
  std::vector<std::string> names;
  if (folder.empty() || !FolderExists(folder)) return names;
  for (const std::string& file : GetFilesInFolder(folder, kAttrNormal, "dbf")) names.push_back(GetFileName(file, true));
  return names;
}

std::string NewSafetyFolder(const std::string& databasesRoot, const std::string& folder, const std::string& timeText) {
  std::string stamp = timeText;
  for (char& c : stamp)
    if (c == ':') c = '.';
  std::string place = GetFileName(folder.back() == '/' ? folder.substr(0, folder.size() - 1) : folder, true);
  if (PathStartsWith(databasesRoot, folder) && !SamePath(databasesRoot, folder)) {
    place = PathBelow(databasesRoot, folder);
    if (!place.empty() && place.back() == '/') place.pop_back();
  }
  const std::string base = JoinPath(JoinPath(databasesRoot, "Backup"), "Repair " + stamp);
  std::string chosen = base;
  for (int n = 2; FileExists(chosen); ++n) chosen = base + " (" + std::to_string(n) + ")";
  return place.empty() ? chosen : JoinPath(chosen, place);
}

RepairSummary RepairTables(const std::string& folder, const std::vector<std::string>& files,
                           const std::string& safetyFolder) {
  RepairSummary summary;
  for (const std::string& file : files) {
    TableRepair table{file, TableRepairState::Skipped, "", 0};
    const std::string name = GetFileName(file, false);
    const std::string dbf = FindPath(JoinPath(folder, file));
    if (file.find('/') != std::string::npos || !FileExists(dbf)) {
      table.Why = "the file is not in " + folder;
    } else if (table.Why = HeldElsewhere(dbf); table.Why.empty()) {
      table.Why = CopyToSafety(TableFiles(folder, name), safetyFolder);
      if (table.Why.empty()) {
        summary.SafetyFolder = safetyFolder;
        xbase::Data4 data = OpenTable(dbf, 0, true, true);
        if (data != 0) {
          table.State = TableRepairState::Repaired;
          table.Records = xbase::d4recCount(data);
          CloseTable(data);
        } else {
          table.State = TableRepairState::Failed;
          table.Why = "it could not be rebuilt and was left as it was";
        }
      }
    }
    WriteLogNote("Repair of " + dbf + ": " +
                 (table.State == TableRepairState::Repaired ? std::string("rebuilt")
                  : table.State == TableRepairState::Failed ? "failed, " + table.Why
                                                            : "skipped, " + table.Why));
    summary.Tables.push_back(table);
  }
  return summary;
}

std::string RepairSummaryText(const RepairSummary& summary) {
  std::string text = kFinishedProcessing;
  const std::string repaired = Names(summary, TableRepairState::Repaired);
  const std::string skipped = Names(summary, TableRepairState::Skipped);
  const std::string failed = Names(summary, TableRepairState::Failed);
  if (!repaired.empty()) text += std::string(kCrLf) + kCrLf + "Repaired:" + repaired;
  if (!skipped.empty()) text += std::string(kCrLf) + kCrLf + "Not repaired:" + skipped;
  if (!failed.empty()) text += std::string(kCrLf) + kCrLf + "Could not be repaired:" + failed;
  if (!summary.SafetyFolder.empty())
    text += std::string(kCrLf) + kCrLf + "The files as they were before are kept in " + summary.SafetyFolder + ".";
  return text;
}

}  // namespace tolvarin
