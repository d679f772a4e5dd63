#pragma once
// What the process tests read back from a course or backup folder after a run, and
// how they stop a run part-way.
#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace app_testing {

// The tables of a folder by lower-case name (Status.DBF, the version file, left out).
std::map<std::string, std::filesystem::path> Tables(const std::filesystem::path& folder);

// Every live row of a table, each as its field texts (memos as their text); the
// table's tags must read clean.
std::multiset<std::string> Rows(const std::filesystem::path& dbf);

// The live rows of every table of a folder by lower-case name: what a folder holds, to
// tell one generation of its tables from another.
std::map<std::string, std::multiset<std::string>> FolderRows(const std::filesystem::path& folder);

// Every regular file of a folder with its bytes, by name; given extensions (".dbf",
// as written), only the files that end in one of them.
std::map<std::string, std::string> FileBytes(const std::filesystem::path& folder,
                                             const std::vector<std::string>& extensions = {});

// Every file named, or under the folders named, with its bytes (a link as the path it
// names); the run log and the debug logs, which every run writes, left out.
std::map<std::string, std::string> TreeBytes(const std::vector<std::filesystem::path>& folders);

// Every table of the folder opens through the system's open (repairing what a kill
// left) and its tags read clean; the live rows of each table by lower-case name.
std::map<std::string, long> CheckFolder(const std::filesystem::path& folder);

// Makes a backup folder one that older programs wrote: its description file without
// the record of what the folder holds, so that it is restored without that check,
// and no copy of the course's own tables.
void ForgetBackupRecord(const std::filesystem::path& folder);

// Starts the program under test and kills it once the run log holds a line beginning with the
// marker and the pause has passed; true when it was killed before it ended. environment as
// for SpawnedRun (HostRun::DisplayEnvironment for a run with windows).
bool RunAndKillAt(const std::vector<std::string>& args, const std::filesystem::path& runLog,
                  const std::string& marker, std::chrono::microseconds pause = {},
                  const std::vector<std::string>& environment = {});

}  // namespace app_testing
