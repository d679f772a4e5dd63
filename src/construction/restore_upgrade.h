#pragma once
// The restore's upgrade of a package's tables in their staging folder, so that the
// transfer reads only tables of the current structure.
#include <string>

namespace tolvarin {

// Brings every table of the folder to the schema in place: tables under a former
// name are renamed, obsolete ones deleted, tables whose structure differs rebuilt
// with their rows; missing tables are not created. Needs the installation's
// DatabasesRoot (its Blank folder holds the templates). A table that could not be
// rebuilt stays as it was and is named in the debug log.
void UpgradeRestoredDatabase(const std::string& folder);

}  // namespace tolvarin
