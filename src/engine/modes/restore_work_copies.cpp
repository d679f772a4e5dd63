#include "engine/modes/restore_work_copies.h"

#include <vector>

#include "core/files.h"
#include "core/paths.h"
#include "core/run_log.h"
#include "data/table_swap.h"
#include "engine/modes/transfer_drivers.h"
#include "engine/startup.h"
#include "engine/transfer/database_sets.h"

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

RestoreOutcome Failed(const std::string& coursePath, const std::string& problem) {
  FinishTableSwaps(coursePath);  // unmarked copies go; the course was not touched
  return {kOperationFailedStatus, problem};
}

}  // namespace

RestoreOutcome RestoreThroughWorkCopies(const std::string& coursePath) {
  const std::string staging = StagingFolderFor(coursePath);
  // What an earlier run left marked is completed first; what it could not complete stays in the way.
  FinishTableSwaps(coursePath);
  if (FolderExists(FindPath(staging)))
    return {kOperationFailedStatus, "The tables an earlier run left in \"" + staging +
                                        "\" could not be put in place.  Nothing was restored."};
  if (!CreateFolderTree(staging))
    return {kOperationFailedStatus, "The folder \"" + staging + "\" could not be made.  Nothing was restored."};
  for (const std::string& name : TableNames(coursePath))
    if (!StageTable(coursePath, coursePath, name))
      return Failed(coursePath, "The table " + name + " of \"" + coursePath +
                                    "\" could not be copied for the restore.  Nothing was restored.");

  const std::string work = FindPath(staging);
  SetDestToCourse(work);
  const TransferEnd end = DoRestore();
  UninitDest();
  if (end != TransferEnd::Done) return Failed(coursePath, "");

  // Only what the restore changed is checked and moved in; the rest stays the course's own.
  std::vector<std::string> changed;
  for (const std::string& name : TableNames(work)) {
    if (!SameTable(work, coursePath, name)) {
      changed.push_back(name);
      continue;
    }
    for (const char* extension : {".dbf", ".cdx", ".fpt"}) DeleteFile(FindPath(JoinPath(work, name + extension)));
  }
  const std::vector<std::string> problems = CheckBackupFolder(work, {}, false);
  if (!problems.empty())
    return Failed(coursePath, "The restored tables could not be checked: " + problems.front() + ".  \"" + coursePath +
                                  "\" was not changed.");
  WriteLog("Putting the restored tables in place");
  if (!SwapInStagedTables(coursePath, changed))
    return {kOperationFailedStatus, "The restored tables could not all be put in place in \"" + coursePath +
                                        "\"; the next run completes them."};
  FinishTableSwaps(coursePath);  // the staging folder goes once nothing is left in it
  return {};
}

}  // namespace tolvarin
