#include "engine/pages/import_options.h"

#include "core/box_buttons.h"
#include "core/system_box.h"
#include "core/window_helpers.h"
#include "engine/transfer/transfer_state.h"

namespace tolvarin {

void ImportOptionsArrival(bool& asked) {
  if (asked || PageResult() == -1) return;
  asked = true;
  const bool yes = FacilityMessageBox(kImportClassificationQuestion, kMbYesNo | kMbQuestion) == kIdYes;
  TransferFlags& t = Transfer();
  t.ImportClassification = t.ImportClassificationTree = yes;
  t.KeepUserIDs = false;
  PageResult() = 1;
}

}  // namespace tolvarin
