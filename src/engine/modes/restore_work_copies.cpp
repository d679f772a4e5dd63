#include "engine/modes/restore_work_copies.h"

#include <vector>

#include "core/files.h"
#include "core/paths.h"
#include "core/run_log.h"
#include "core/settings.h"
#include "data/table_swap.h"
#include "engine/modes/transfer_drivers.h"
#include "engine/startup.h"
#include "engine/transfer/database_sets.h"
#include "engine/transfer/files_aside.h"

namespace tolvarin {
namespace {

std::vector<std::string> TableNames(const std::string& folder) {
  std::vector<std::string> names;
  for (const std::string& file : GetFilesInFolder(folder, kAttrNormal, "DBF")) names.push_back(GetFileName(file, false));
  return names;
}

// The table's three files are in both folders alike (each missing from both, or the same bytes).
bool SameTable(const std::string& a, const std::string& b, const std::string& name) {
  for (const char* extension : {".dbf", ".cdx", ".fpt"}) {
    const std::string left = FindPath(JoinPath(a, name + extension));
    const std::string right = FindPath(JoinPath(b, name + extension));
    if (FileExists(left) != FileExists(right)) return false;
    if (FileExists(left) && ReadFileBytes(left) != ReadFileBytes(right)) return false;
  }
  return true;
}

// The run's last words: what was not done.
std::string NothingDone() { return Settings().GameImport ? "Nothing was imported." : "Nothing was restored."; }

// Besides the course, a game import's swap holds files of its own package.
std::vector<std::string> GameImportFolders() {
  if (!Settings().GameImport || Paths().BackupPath.empty()) return {};
  return {Paths().BackupPath};
}

RestoreOutcome Failed(const std::string& coursePath, const std::string& problem) {
  DropFilesAside();
  Dest().TablesFolder.clear();
  FinishTableSwaps(coursePath, GameImportFolders());  // unmarked copies go; the course was not touched
  return {kOperationFailedStatus, problem};
}

}  // namespace

RestoreOutcome RestoreThroughWorkCopies(const std::string& coursePath, const LastWrites& lastWrites) {
  const std::string staging = StagingFolderFor(coursePath);
  const std::string what = Settings().GameImport ? "import" : "restore";
  const std::string done = Settings().GameImport ? "imported" : "restored";
  // What an earlier run left marked is completed first; what it could not complete stays in the way.
  FinishTableSwaps(coursePath, GameImportFolders());
  if (FolderExists(FindPath(staging)))
    return {kOperationFailedStatus,
            "The tables an earlier run left in \"" + staging + "\" could not be put in place.  " + NothingDone()};
  if (!CreateFolderTree(staging))
    return {kOperationFailedStatus, "The folder \"" + staging + "\" could not be made.  " + NothingDone()};
  DropFilesAside();
  for (const std::string& name : TableNames(coursePath))
    if (!StageTable(coursePath, coursePath, name))
      return Failed(coursePath, "The table " + name + " of \"" + coursePath + "\" could not be copied for the " +
                                    what + ".  " + NothingDone());

  const std::string work = FindPath(staging);
  SetDestToCourse(work);
  const TransferEnd end = DoRestore();
  UninitDest();
  if (end != TransferEnd::Done) return Failed(coursePath, "");

  // Only what the run changed is checked and moved in; the rest stays the course's own
  // (one table at least when other files join the group, which needs one).
  std::vector<std::string> changed, same;
  for (const std::string& name : TableNames(work)) (SameTable(work, coursePath, name) ? same : changed).push_back(name);
  if (changed.empty() && (lastWrites || !FilesAside().empty()) && !same.empty()) {
    changed.push_back(same.back());
    same.pop_back();
  }
  for (const std::string& name : same)
    for (const char* extension : {".dbf", ".cdx", ".fpt"}) DeleteFile(FindPath(JoinPath(work, name + extension)));
  const std::vector<std::string> problems = CheckBackupFolder(work, {}, false);
  if (!problems.empty())
    return Failed(coursePath, "The " + done + " tables could not be checked: " + problems.front() + ".  \"" +
                                  coursePath + "\" was not changed.");
  if (lastWrites) {
    const std::string problem = lastWrites(work, changed);
    if (!problem.empty()) return Failed(coursePath, problem);
  }
  const std::vector<StagedFile> files = FilesAside();
  // A file the group would replace that cannot be written would stop the swap half-way.
  const std::string held = FirstFileSwapCannotReplace(coursePath, changed, {}, files);
  if (!held.empty())
    return Failed(coursePath,
                  "The file " + held + " cannot be replaced: it is read-only or held by another program.  " + NothingDone());
  WriteLog("Putting the " + done + " tables in place");
  const bool swapped = SwapInStagedTables(coursePath, changed, {}, files);
  Dest().TablesFolder.clear();
  if (!swapped && !HasMarkedSwap(coursePath))
    return Failed(coursePath, "The " + done + " tables could not be put in place in \"" + coursePath + "\".  " +
                                  NothingDone());
  ForgetFilesAside();  // the marker names them now
  if (!swapped)
    return {kOperationFailedStatus, "The " + done + " tables could not all be put in place in \"" + coursePath +
                                        "\"; the next run completes them."};
  FinishTableSwaps(coursePath, GameImportFolders());  // the staging folder goes once nothing is left in it
  return {};
}

}  // namespace tolvarin
