#include "engine/startup.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>

#include "construction/install_set.h"
#include "construction/upgrade_passes.h"
#include "core/box_buttons.h"
#include "core/command_line.h"
#include "core/files.h"
#include "core/ini_file.h"
#include "core/paths.h"
#include "core/run_log.h"
#include "core/settings.h"
#include "core/strings.h"
#include "core/system_box.h"
#include "core/terminate.h"
#include "core/window_helpers.h"
#include "data/codebase.h"
#include "data/database_helper.h"
#include "data/id_ranges.h"
#include "data/table_catalogue.h"
#include "data/table_swap.h"
#include "engine/course_resolution.h"
#include "engine/run_folders.h"
#include "engine/modes/auto_backup.h"
#include "engine/modes/gradebook_update.h"
#include "engine/modes/installer_scripts.h"
#include "engine/modes/login.h"
#include "engine/modes/mode_dialogs.h"
#include "engine/modes/precision_backup.h"
#include "engine/modes/standards_install.h"
#include "engine/modes/supplemental_package.h"
#include "engine/modes/transfer_drivers.h"
#include "engine/modes/unattended_operation.h"
#include "engine/modes/vista_migrate.h"
#include "engine/transfer/database_sets.h"
#include "engine/transfer/files_aside.h"
#include "engine/transfer/selection.h"

namespace tolvarin {
namespace {

constexpr const char* kMustRunFromHost =
    "The Corvane Backup and Restore System must be run from the Kestal Test Maker.  Please call 1-888-CORVANE for "
    "more information.";
constexpr const char* kCannotCreateBackup =
    "Unable to create Backup subfolder.  Please call Corvane at 1-888-CORVANE for more information.";

// The data layer's share of start-up and end, each in one place:
// step 1, the shared record-scan helper and the identifier ranges, and what a fatal
// end must close;
void PrepareDataLayer() {
  DbHelper();
  InitIdRanges();
  SetTerminateCleanup([] {
    const std::string workCopiesOf = WritingAside() ? Dest().CourseFolder : std::string();
    UninitSrc();
    UninitDest();
    CloseCodeBase();
    // A transfer into work copies that stopped leaves its course as it was now, not
    // only at the next run: what it wrote aside goes.
    DropFilesAside();
    if (!workCopiesOf.empty()) FinishTableSwaps(workCopiesOf);
  });
}
// step 23, the table catalogue and with it the engine context;
void InitCatalogue() { InitTableCatalogue(); }
// step 25, closing the engine after a handler returned.
void CloseEngine() { CloseCodeBase(); }

// What start-up resolved, for the process-level tests that ask for it.
void DumpSettings() {
  const char* file = std::getenv(kSettingsDumpVariable);
  if (!file || !*file) return;
  const RunSettings& s = Settings();
  const RunPaths& p = Paths();
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << "AppPath=" << s.AppPath << "\n"
      << "Mode=" << s.Mode << "\n"
      << "Operation=" << s.Operation << "\n"
      << "ImportMode=" << s.ImportMode << "\n"
      << "StandardImportMode=" << s.StandardImportMode << "\n"
      << "Interactive=" << s.Interactive << "\n"
      << "OfficeMode=" << s.OfficeMode << "\n"
      << "DiagnosticMode=" << s.DiagnosticMode << "\n"
      << "IncludeCorvaneContent=" << s.IncludeCorvaneContent << "\n"
      << "IncludeTestContent=" << s.IncludeTestContent << "\n"
      << "IncludeGradebookContent=" << s.IncludeGradebookContent << "\n"
      << "SchemaVersion=" << s.SchemaVersion << "\n"
      << "BackupPath=" << p.BackupPath << "\n"
      << "CoursePath=" << p.CoursePath << "\n"
      << "AreaFolder=" << p.AreaFolder << "\n"
      << "BrandFolder=" << p.BrandFolder << "\n"
      << "DatabasesRoot=" << p.DatabasesRoot << "\n";
}

bool ModeSkipsCourse(long mode) { return mode == 5 || mode == 9 || mode == 10; }

// The package folder of an unattended game import: its activity files join the
// import's swap, so that the run's own package is the one folder besides the course
// where a swap the import left is finished.
std::vector<std::string> GameImportPackage(const std::string& line) {
  const auto choice = OperationFromWord(GetCommandArg(line, "Operation"));
  if (Settings().Mode != 0 || Settings().Interactive || !choice || !choice->gameImport || Paths().BackupPath.empty())
    return {};
  return {Paths().BackupPath};
}

int Dispatch(const std::string& line) {
  const RunSettings& s = Settings();
  switch (s.Mode) {
    case 0:
      return s.Interactive ? StartInteractive() : RunUnattendedOperation();
    case 1:
      return DoAutoBackup();
    case 2:
      return DoRecover(true).value_or(0);
    case 3:
      return InstallStandardTrees();
    case 4: {
      const auto range = ParseSupplementalRange(GetCommandArg(line, "IDStart"), GetCommandArg(line, "IDEnd"));
      if (!range) {
        MsgBox("IDStart and IDEnd must be whole numbers: \"" + GetCommandArg(line, "IDStart") + "\", \"" +
                   GetCommandArg(line, "IDEnd") + "\"",
               kMbCritical);
        Terminate();
      }
      return CreateSupplementalPackage(static_cast<std::int32_t>(range->idStart),
                                       static_cast<std::int32_t>(range->idEnd), Paths().CoursePath,
                                       GetCommandArg(line, "ExtraIDs"));
    }
    case 5:
      AppendPackageDatabases();
      return 0;
    case 6:
      return s.Operation == 1 ? PrecisionBackup() : PrecisionRestore();
    case 7:
      return GradebookUpdate();
    case 8:
      return RepairCorruptTable();
    case 9: {
      const bool createNewFolders = ToUpper(GetCommandArg(line, "CreateNewFolders")) != "FALSE";
      ConstructDatabases(createNewFolders);
      return 0;
    }
    case 10:
      return MakeWiseInstallers();
    case 11:
      return 0;  // FixCourseDat: there is nothing left for it to fix
    default:
      return 0;
  }
}

}  // namespace

std::optional<ModeChoice> ModeFromWord(const std::string& word) {
  struct Entry {
    const char* word;
    long mode;
    int operation;
  };
  static const Entry kModes[] = {
      {"", 0, 0},
      {"USERCONTENT", 0, 0},
      {"DIRECTCOPY", 1, 0},
      {"RECOVER", 2, 0},
      {"INSTALLSTANDARDTREES", 3, 0},
      {"CREATESUPPLEMENTALPACKAGE", 4, 0},
      {"APPENDPACKAGE", 5, 0},
      {"PRECISIONBACKUP", 6, 1},
      {"PRECISIONRESTORE", 6, 2},
      {"GRADEBOOKUPDATE", 7, 0},
      {"REPAIRCORRUPTTABLE", 8, 0},
      {"NEWUPGRADE", 9, 0},
      {"MAKEWISEINSTALLERS", 10, 0},
      {"FIXCOURSEDAT", 11, 0},
  };
  for (const Entry& entry : kModes)
    if (word == entry.word) return ModeChoice{entry.mode, entry.operation};
  return std::nullopt;
}

long SchemaFromWord(const std::string& word) {
  const std::string w = ToUpper(Trim(word));
  if (w == "TAXONOMY") return 4;
  if (w == "SEMESTER") return 5;
  return 3;  // VERSIONS and anything else
}

long ImportModeFromWord(const std::string& word) {
  static const char* kWords[] = {"REMAPTOCORVANE", "REMAPNOTHING", "REMAPTORANGE",
                                 "REMAPOFFSET",    "REMAPBYCOURSE", "REMAPFROMID"};
  const std::string w = ToUpper(word);
  for (long i = 0; i < 6; ++i)
    if (w == kWords[i]) return i + 2;
  return 1;
}

long StandardImportFromWord(const std::string& word) { return ToUpper(word) == "REMAPALLTOUSERRANGE" ? 1 : 2; }

std::optional<bool> FlagFromWord(const std::string& word) {
  const std::string w = ToUpper(word);
  if (w == "TRUE") return true;
  if (w == "FALSE" || w.empty()) return false;
  return std::nullopt;
}

std::optional<std::string> SpecialModeSuffix(const std::string& value) {
  const std::string w = ToUpper(value);
  if (w.empty()) return std::string();
  if (w == "REMAPTOCORVANEIDS") return std::string(" Import:RemapToCorvane");
  if (w == "REMAPTORANGE") return std::string(" Import:RemapToRange");
  if (w == "REMAPNOTHING") return std::string(" Import:RemapNothing");
  if (w == "REMAPOFFSET") return std::string(" Import:RemapOffset");
  if (w == "REMAPBYCOURSE") return std::string(" Import:RemapByCourse");
  if (w == "REMAPFROMID") return std::string(" Import:RemapFromID");
  return std::nullopt;
}

std::string AbsoluteBackupPath(const std::string& appPath, const std::string& value) {
  if (value.empty() || IsAbsolutePath(value)) return value;
  return JoinPath(appPath, value);
}

std::optional<SupplementalRange> ParseSupplementalRange(const std::string& idStart, const std::string& idEnd) {
  // IDEnd must be a whole number of the Long range; IDStart is taken for its value
  // as the host's reader gives it (0 when it holds no number), within the same range.
  const std::string end = Trim(idEnd);
  if (end.empty()) return std::nullopt;
  errno = 0;
  char* stop = nullptr;
  const double last = std::strtod(end.c_str(), &stop);
  auto inRange = [](double value) { return std::isfinite(value) && value >= -2147483648.0 && value <= 2147483647.0; };
  if (errno != 0 || !stop || *stop != '\0' || !inRange(last)) return std::nullopt;
  const double first = TextValue(idStart);
  if (!inRange(first)) return std::nullopt;
  return SupplementalRange{RoundHalfEven(first), RoundHalfEven(last)};
}

int RunOperation() {
  TransferEnd end = TransferEnd::Done;
  switch (Settings().Operation) {
    case 1:
      SetSrcToCourse();
      SelectAllRecords();
      end = DoBackup();
      UninitSrc();
      break;
    case 2:
      SetDestToCourse();
      end = DoRestore();
      UninitDest();
      break;
    case 3:
      end = DoExport();
      break;
    default:
      break;
  }
  return end == TransferEnd::Done ? 0 : kOperationFailedStatus;
}

void Main(const std::string& programFolder) {
  const std::string& received = CommandLine();
  RunSettings& s = Settings();
  RunPaths& p = Paths();

  PrepareDataLayer();

  // The migration is recognised before anything else is read, in its exact case.
  if (GetCommandArg(received, "Mode") == "VistaMigrate") {
    EndProcess(VistaMigrate(GetCommandArg(received, "ProgramFilesPath"), GetCommandArg(received, "TargetPath"),
                            GetCommandArg(received, "UserContentPath")));
  }

  s.AskBeforeOverwrite = true;
  GetDesktopWorkArea();

  if (Trim(received).empty()) {
    MsgBox(kMustRunFromHost, kMbCritical);
    Terminate();
  }

  s.AppPath = GetCommandArg(received, "AppPath");
  if (s.AppPath.empty()) s.AppPath = programFolder;

  IniSetFile("Tolvarin", JoinPath(s.AppPath, "Kestal.INI"));
  s.OfficeMode = (ToUpper(IniGetString("Office", "")) == "TRUE" || GetCommandArg(received, "Operation") == "GBExport")
                     ? 1
                     : 0;
  if (ToUpper(IniGetString("Prompt", "")) == "TRUE" && MsgBox(received, kMbYesNo) == kIdNo) EndProcess(0);
  if (ToUpper(GetCommandArg(received, "Office")) == "TRUE") s.OfficeMode = 1;
  s.DiagnosticMode = ToUpper(IniGetString("Diagnostic", "")) == "TRUE";

  // Start-up reads its own keys from a copy that SpecialMode may extend; an Import
  // word already on the line is found first and wins.
  std::string line = received;
  if (const auto suffix = SpecialModeSuffix(IniGetString("SpecialMode", "")))
    line += *suffix;
  else
    MsgBox("Invalid special mode in Kestal.INI", kMbOkOnly);

  Diagnostic("Before begin log");
  BeginLog(true);
  Diagnostic("after begin log");

  s.IncludeGradebookContent =
      FileExists(JoinPath(s.AppPath, "gradebook.exe")) || FileExists(JoinPath(s.AppPath, "ludora.exe"));
  s.IncludeTestContent = FileExists(JoinPath(s.AppPath, "kestal.exe"));

  s.SchemaVersion = SchemaFromWord(GetCommandArg(line, "SCHEMA"));

  Diagnostic("before mode ");
  const auto choice = ModeFromWord(ToUpper(GetCommandArg(line, "Mode")));
  if (!choice) {
    FacilityMessageBox("Invalid Mode parameter.", kMbCritical);
    Terminate();
  }
  s.Mode = choice->mode;
  if (choice->operation) s.Operation = choice->operation;
  WriteLog("Mode = " + std::to_string(s.Mode));

  const std::string backup = GetCommandArg(line, "BackupPath");
  if (!backup.empty()) {
    p.BackupPath = AbsoluteBackupPath(s.AppPath, backup);
    if (!CreateFolderTree(p.BackupPath)) {
      MsgBox(kCannotCreateBackup, kMbOkOnly);
      Terminate();
    }
  }
  WriteLog("Backuppath = " + p.BackupPath);

  p.CoursePath = GetCommandArg(line, "CoursePath");
  if (!p.CoursePath.empty()) {
    p.AreaFolder = p.CoursePath + "/..";
    p.BrandFolder = p.AreaFolder + "/..";
    p.DatabasesRoot = p.BrandFolder + "/..";
    WriteLog("CoursePath = " + p.CoursePath);
  } else if (!ModeSkipsCourse(s.Mode)) {
    ResolveCoursePath();
  }

  const auto interactive = FlagFromWord(GetCommandArg(line, "Interactive"));
  if (!interactive) {
    FacilityMessageBox("Invalid Interactive paramter.", kMbCritical);
    Terminate();
  }
  s.Interactive = *interactive;
  const auto corvaneContent = FlagFromWord(GetCommandArg(line, "IncludeCorvaneContent"));
  if (!corvaneContent) {
    FacilityMessageBox("Invalid IncludeCorvaneContent paramter.", kMbCritical);
    Terminate();
  }
  s.IncludeCorvaneContent = *corvaneContent;

  s.ImportMode = ImportModeFromWord(GetCommandArg(line, "Import"));
  s.StandardImportMode = StandardImportFromWord(GetCommandArg(line, "StandardImport"));

  // The taskbar window of a window session; a console run has none.
  ShowTaskbarWindow();

  Diagnostic("before init code base");
  InitCatalogue();

  DumpSettings();
  // One run at a time on a folder: a second run waits, or is refused before it
  // writes anything (the swap below included).
  const bool locked = LockRunFolders();
  // A run killed while it swapped tables into the course left the rest marked; a game
  // import's group also holds the package's activity files.
  if (locked && !p.CoursePath.empty() && FolderExists(p.CoursePath))
    FinishTableSwaps(p.CoursePath, GameImportPackage(line));
  const int status = locked ? Dispatch(line) : kOperationFailedStatus;

  CloseEngine();
  UnloadTaskbarWindow();
  EndLog(true);
  EndProcess(status);
}

}  // namespace tolvarin
