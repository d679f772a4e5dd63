#pragma once
// Process-wide settings, set once at start-up from the command line and the host
// settings, then read by every subsystem. Grouped by what they describe.
#include <string>

namespace tolvarin {

struct RunSettings {
  std::string AppPath;          // the host's folder
  long Mode = 0;                // 0 to 11, from the Mode key
  int Operation = 0;            // 1 backup, 2 restore or import, 3 gradebook export, 4 migration
  long ImportMode = 1;          // 1 default .. 7 REMAPFROMID
  long StandardImportMode = 2;  // 1 REMAPALLTOUSERRANGE, else 2
  bool Interactive = false;
  int OfficeMode = 0;           // 1 or 0
  bool DiagnosticMode = false;
  bool IncludeCorvaneContent = false;
  bool IncludeTestContent = false;
  bool IncludeGradebookContent = false;
  long SchemaVersion = 3;       // 3, 4 or 5
  bool GameImport = false;
  bool AskBeforeOverwrite = true;  // cleared by "Yes to All"
};

// The folders of the current run. CoursePath and AreaFolder are kept equal to the
// Path of the catalogue's current course and area by whoever sets those.
struct RunPaths {
  std::string BackupPath;
  std::string PackagePath;
  std::string CoursePath;
  std::string AreaFolder;
  std::string BrandFolder;
  std::string DatabasesRoot;
  std::string Brand;
};

RunSettings& Settings();
RunPaths& Paths();

}  // namespace tolvarin
