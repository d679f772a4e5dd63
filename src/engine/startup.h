#pragma once
// Start-up: the command line and the host settings become the run's settings, the
// run log is opened, and control goes to the handler the Mode key chooses.
#include <optional>
#include <string>

namespace tolvarin {

// An operation that failed or was stopped ends with this status after saying why.
inline constexpr int kOperationFailedStatus = 1;

// A handler that later work builds ends with this status after saying so.
inline constexpr int kNotAvailableStatus = 4;

// Names a file to which start-up writes the settings it resolved (Key=Value lines)
// just before it dispatches; only process-level tests set it.
inline constexpr const char* kSettingsDumpVariable = "TOLVARIN_SETTINGS_DUMP";

// The program's entry: runs the whole start-up, the handler and the end of the
// run, then ends the process (0 after a normal end, non-zero after a fatal one).
// programFolder is the default AppPath.
[[noreturn]] void Main(const std::string& programFolder);

// Runs the unattended user-content Operation 1, 2 or 3, once the unattended run has
// checked its keys and folders; the run's exit status.
int RunOperation();

// The pieces of start-up that decide from texts alone.
// Mode number for the upper-cased word ("" is user content); Operation is set for
// the precision modes; nullopt for a word that names no mode.
struct ModeChoice {
  long mode = 0;
  int operation = 0;  // 0: unchanged
};
std::optional<ModeChoice> ModeFromWord(const std::string& word);
long SchemaFromWord(const std::string& word);      // SCHEMA key: 3, 4 or 5
long ImportModeFromWord(const std::string& word);  // Import key: 1 to 7
long StandardImportFromWord(const std::string& word);
// Interactive and IncludeCorvaneContent: "TRUE" true, "FALSE" or "" false, else nullopt.
std::optional<bool> FlagFromWord(const std::string& word);
// What SpecialMode appends to the command line; nullopt for an invalid value.
std::optional<std::string> SpecialModeSuffix(const std::string& value);
// BackupPath made absolute: a relative value is taken under AppPath.
std::string AbsoluteBackupPath(const std::string& appPath, const std::string& value);
// Mode 4's range: IDStart's value to the nearest whole number (halves to even),
// IDEnd a number of the Long range, rounded the same way; nullopt when IDEnd is not.
struct SupplementalRange {
  long idStart = 0;
  long idEnd = 0;
};
std::optional<SupplementalRange> ParseSupplementalRange(const std::string& idStart, const std::string& idEnd);

}  // namespace tolvarin
