#pragma once
// The import options page (frmRestore) as the import sequence meets it: arriving
// forward it asks only whether to import the classification tree and passes on;
// arriving by Back it passes back at once. Its check boxes are never reached.
#include <string>

namespace tolvarin {

// The page's first activation. On a forward arrival that has not asked yet (the
// page result is not -1): asks, sets ImportClassification (and the selection's
// ImportClassificationTree) from the answer, KeepUserIDs False and the page result
// 1. The page unloads afterwards in every case; unloading clears asked.
void ImportOptionsArrival(bool& asked);

inline constexpr const char* kImportClassificationQuestion =
    "Would you like to import the classification tree?\r\n\r\nThis is only suggested if this is a different "
    "database or you have created your own classification.";

}  // namespace tolvarin
