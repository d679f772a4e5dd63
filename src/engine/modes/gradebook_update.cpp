#include "engine/modes/gradebook_update.h"

#include "construction/class_tables.h"
#include "core/settings.h"

namespace tolvarin {

int GradebookUpdate() { return ConvertClassTables(Paths().BackupPath, Paths().CoursePath) ? 0 : 1; }

}  // namespace tolvarin
