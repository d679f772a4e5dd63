#pragma once
// Replacing a live table by a rebuilt one so that a run killed at any moment leaves
// the table's rows in its folder. The rebuilt table is written beside the live one
// as <name>_new.*; the swap moves the live files aside as <name>_old.* (the data
// file first), moves the new ones in and deletes the old ones (the data file
// first). Whoever opens the folder's tables next calls RecoverTableSwap first.
#include <string>

namespace tolvarin {

inline constexpr const char* kNewSuffix = "_new";
inline constexpr const char* kOldSuffix = "_old";

// The file folder/<name><extension> as it stands on disk (any case), or as written.
std::string TableFilePath(const std::string& folder, const std::string& name, const std::string& extension);
bool TableFileExists(const std::string& folder, const std::string& name);

// Puts folder/<name>_new.* in place of folder/<name>.*. False, with the live table
// as it was and the new files gone, when a move failed.
bool SwapInRebuiltTable(const std::string& folder, const std::string& name);

// True when the folder holds any swap work file (<table>_new.* or <table>_old.*).
bool HasSwapWorkFiles(const std::string& folder);

// Finishes what an interrupted swap left: with <name>_old.dbf present the old table
// goes back in place; leftover new files and old index or memo files go.
void RecoverTableSwap(const std::string& folder, const std::string& name);

// Copies the blank table into the folder as a whole: a table that was missing
// stays missing until all its files are there.
bool PlaceBlankTable(const std::string& blankFolder, const std::string& folder, const std::string& name);

// Moves the table folder/<formerName>.* to folder/<name>.* (each file replacing one
// of the new name); the memo and index files are linked under the new name first and
// leave the former name last, so that a run stopped at any step leaves the whole
// table under one of the names.
void RenameFormerTable(const std::string& folder, const std::string& name, const std::string& formerName);

// Deletes folder/<name>_new.*.
void DeleteRebuiltTable(const std::string& folder, const std::string& name);

}  // namespace tolvarin
