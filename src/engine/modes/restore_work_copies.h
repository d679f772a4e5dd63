#pragma once
// The unattended restore and the game import write into copies of the course's
// tables, made in the course's staging folder (data/table_swap.h), and put the
// course's new pictures and the package's rewritten activity files aside
// (engine/transfer/files_aside.h). Only once every copy is written and opens clean,
// and every file the group replaces can be replaced, are the changed ones swapped
// in with those files, as one marked group. A run killed before the group is marked
// leaves the course as it was, and the next run drops the copies; one killed while
// the group moves in leaves it for the next run to complete. Either way a whole run
// afterwards leaves what one whole run does.
#include <functional>
#include <string>
#include <vector>

namespace tolvarin {

struct RestoreOutcome {
  int status = 0;
  std::string problem;  // to be told; empty when the restore told it already or went well
};

// What else joins the group once the transfer is done, written aside (given the work
// folder and the tables the group puts in place); a problem to be told ("" when it
// went well).
using LastWrites = std::function<std::string(const std::string& work, const std::vector<std::string>& changed)>;

// Restores BackupPath into the course through work copies of its tables (a game
// import when GameImport is set); the course's own files are changed only by the
// final swap.
RestoreOutcome RestoreThroughWorkCopies(const std::string& coursePath, const LastWrites& lastWrites = {});

}  // namespace tolvarin
