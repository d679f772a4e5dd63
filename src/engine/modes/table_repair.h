#pragma once
// The repair of tables a user chooses: each table's files are first copied into a
// dated safety folder and checked, a table another program holds locked is left
// alone, and every other one is rebuilt from its blank copy and its readable
// records. The run goes on after a table that cannot be rebuilt; a summary says
// what became of each.
#include <string>
#include <vector>

namespace tolvarin {

// A place the repair dialog lists: "Users" (the brand folder), then each installed
// course as its area's name, "\" and its display name.
struct RepairLocation {
  std::string Label;
  std::string Folder;
};
std::vector<RepairLocation> RepairLocations(const std::string& brandFolder);

// The names (with extension) of the folder's files whose extension is "dbf" in any case.
std::vector<std::string> DatabaseFilesIn(const std::string& folder);

enum class TableRepairState { Repaired, Skipped, Failed };
struct TableRepair {
  std::string File;  // as listed
  TableRepairState State = TableRepairState::Failed;
  std::string Why;   // for a skipped or failed table
  long Records = 0;  // rows of a repaired table
};
struct RepairSummary {
  std::string SafetyFolder;  // "" when nothing was copied
  std::vector<TableRepair> Tables;
};

// A fresh safety folder for one repair of folder: databasesRoot/Backup/Repair
// yyyy-mm-dd hh.nn.ss/ followed by the folder's place below databasesRoot (its own
// name when it lies elsewhere), with "(2)", "(3)"... on the time when taken.
std::string NewSafetyFolder(const std::string& databasesRoot, const std::string& folder, const std::string& timeText);

// Repairs the named files of folder in order, each copied into safetyFolder first.
RepairSummary RepairTables(const std::string& folder, const std::vector<std::string>& files,
                           const std::string& safetyFolder);

inline constexpr const char* kFinishedProcessing = "Finished processing selected tables.";
// kFinishedProcessing, then the tables repaired, skipped and failed, and where the
// safety copies are.
std::string RepairSummaryText(const RepairSummary& summary);

}  // namespace tolvarin
