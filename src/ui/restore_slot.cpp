// Import slot 0: the import options page.
#include "ui/forms.h"
#include "ui/import_windows.h"
#include "ui/main_window_actions.h"

namespace tolvarin::ui {

int ShowImportOptionsPage() {
  // Made at first need and kept for the run (the run ends through exit()).
  static RestoreOptionsPage* page = new RestoreOptionsPage;
  return ShowFormModal(*page);
}

}  // namespace tolvarin::ui
