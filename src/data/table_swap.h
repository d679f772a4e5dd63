#pragma once
// Putting a table written elsewhere in the place of a live one, so that a run
// killed at any moment leaves one whole table there.
//
// The new files wait in a staging folder inside the target folder (one file system,
// so the last steps are renames). A marker written once the staged set is complete
// names its files; the moves then take out the old index first, so that a kill
// between two moves leaves a table without its index, which the automatic repair
// rebuilds, and FinishTableSwaps completes a marked swap on the next run. Staged
// files without a marker are an unfinished staging and are dropped: the live
// table was never touched.
#include <string>
#include <vector>

namespace tolvarin {

// targetFolder/".tolvarin-swap", where a table for that folder is staged.
std::string StagingFolderFor(const std::string& targetFolder);

// Copies the table's files (.dbf, .cdx, .fpt when present) from fromFolder into the
// staging folder of targetFolder and checks them byte for byte. False when the data
// file is missing, one of the three names is there but is no file (a dangling link,
// a folder), or a copy differs (nothing staged is left behind then).
bool StageTable(const std::string& fromFolder, const std::string& targetFolder, const std::string& name);

// Marks the staged set of the table complete and moves it over the target's files.
// False when the staged data file is missing or a move failed; a marked set that
// could not be moved waits for FinishTableSwaps.
bool SwapInStagedTable(const std::string& targetFolder, const std::string& name);
// The same for tables that belong together: one marker, written whole, names every
// set before the first move, so that a run killed while marking leaves none of them
// marked and one killed during the moves leaves all of them to be completed.
// dropped names tables of the target that the group takes away (their .dbf, .cdx
// and .fpt files, index first), after the moves; the group needs one staged table.
bool SwapInStagedTables(const std::string& targetFolder, const std::vector<std::string>& names,
                        const std::vector<std::string>& dropped = {});

// A file that is no table, joining a group: written whole at `staged` (on the file
// system of `target`, so that its move is a rename) and renamed over `target` with
// the group's tables. A file staged in the target's staging folder is dropped with it
// when no marker names it.
struct StagedFile {
  std::string staged;
  std::string target;
};
bool SwapInStagedTables(const std::string& targetFolder, const std::vector<std::string>& names,
                        const std::vector<std::string>& dropped, const std::vector<StagedFile>& files);

// The first live file such a swap would replace or take away that cannot be written
// (read-only, immutable): asked before the group is marked, so that a swap that
// could not be completed is never begun. "" when every one can.
std::string FirstFileSwapCannotReplace(const std::string& targetFolder, const std::vector<std::string>& names,
                                       const std::vector<std::string>& dropped,
                                       const std::vector<StagedFile>& files = {});

// The target's staging folder holds a marked group (one that is begun and is to be
// completed, not dropped).
bool HasMarkedSwap(const std::string& targetFolder);

// Completes every marked swap an earlier run left in the target's staging folder,
// drops unmarked staged files and removes the staging folder once it is empty.
// The folder may come from another machine, so a marker is outside input: it moves
// and removes files of the target folder only, tables named by plain names and no
// staged file that is a link. A file of a group that lies elsewhere is left where it
// is (and said in the run log) unless it lies in one of alsoWithin, folders that the
// caller's own run names (a game import's package); a staging folder that is a link
// is left alone.
void FinishTableSwaps(const std::string& targetFolder, const std::vector<std::string>& alsoWithin = {});

}  // namespace tolvarin
