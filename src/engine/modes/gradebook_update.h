#pragma once
// Mode 7, the gradebook's class-table update.

namespace tolvarin {

// Converts the class tables of the database folder the gradebook passes as
// BackupPath, with CoursePath as the work folder that receives the new tables. The
// run's status: 0, or 1 when the conversion was refused or failed (the run log says
// why; the database folder is then as it was).
int GradebookUpdate();

}  // namespace tolvarin
