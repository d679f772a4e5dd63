#include "construction/restore_upgrade.h"

#include "construction/construction_run.h"
#include "construction/schema.h"
#include "construction/table_swap.h"
#include "construction/upgrade_passes.h"
#include "core/files.h"
#include "core/paths.h"
#include "core/settings.h"

namespace tolvarin {

void UpgradeRestoredDatabase(const std::string& folder) {
  DefineDatabase();
  Construction().InstallSetAbsent = !FolderExists(JoinPath(Paths().DatabasesRoot, "CorvaneInst"));
  ResetRowLists();
  if (HasSwapWorkFiles(folder)) {
    for (const TableDef& def : TableDefs()) RecoverTableSwap(folder, def.TableName);
  }
  for (const TableDef& def : TableDefs()) {
    if (TableFileExists(folder, def.TableName)) {
      UpgradeTable(kPassRestoredFolder, folder, def.TableName, "");
    } else if (!def.OldName.empty() && TableFileExists(folder, def.OldName)) {
      UpgradeTable(kPassRestoredFolder, folder, def.TableName, def.OldName);
    }
  }
}

}  // namespace tolvarin
