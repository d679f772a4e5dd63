#pragma once
// Bringing every database folder of an installation up to the schema, one kind of
// folder per pass: the old single database (0), old per-course folders (1), the
// common database (2), area folders (3) and course folders (4). In each folder
// tables under a former name are renamed, missing ones created, obsolete ones
// deleted, and tables whose structure differs or whose rows belong elsewhere are
// rebuilt into their target folders.
//
// The construction shows no messages and never stops the run. A table it cannot
// bring up to date stays where it was, readable, and is named in the debug log; an
// old folder whose tables were not all carried over is kept under another name.
#include <string>
#include <vector>

namespace tolvarin {

// The whole run of Mode NEWUPGRADE (and, with the unpack flag, APPENDPACKAGE).
void ConstructDatabases(bool createNewFolders);

void UpgradeDatabasePass(int pass);
// The folders a pass visits (real paths, each ending in "/").
std::vector<std::string> GetPassFolders(int pass);
// The per-table step; formerName is the table's file name in older databases ("" for none).
void UpgradeTable(int pass, const std::string& folder, const std::string& name, const std::string& formerName);
// The folders a rebuilt table's rows go to.
std::vector<std::string> GetTargetFolders(const std::string& folder, int pass, int kind);
// True when the install set carries the same table for the folder's area or course.
// Writes the folder's normal form back into folder.
bool NeedsInstallRebuild(const std::string& name, std::string& folder);

// The name an old folder that could not be emptied is kept under: the first free
// one of <folder>-kept, <folder>-kept2, ...
std::string KeptFolderName(const std::string& folder);

}  // namespace tolvarin
