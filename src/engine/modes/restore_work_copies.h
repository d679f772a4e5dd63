#pragma once
// The unattended restore writes into copies of the course's tables, made in the
// course's staging folder (data/table_swap.h). Only once every copy is written and
// opens clean are the changed ones swapped in, as one marked group. A run killed
// before the group is marked leaves the course as it was, and the next run drops
// the copies; one killed while the group moves in leaves it for the next run to
// complete. Either way a whole restore afterwards leaves what one whole restore does.
#include <string>

namespace tolvarin {

struct RestoreOutcome {
  int status = 0;
  std::string problem;  // to be told; empty when the restore told it already or went well
};

// Restores BackupPath into the course through work copies of its tables; the
// course's own tables are changed only by the final swap.
RestoreOutcome RestoreThroughWorkCopies(const std::string& coursePath);

}  // namespace tolvarin
