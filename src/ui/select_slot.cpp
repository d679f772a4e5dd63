// Export slot 1: the custom selection page of a custom backup.
#include "ui/forms.h"
#include "ui/main_window_actions.h"
#include "ui/select_page.h"

namespace tolvarin::ui {

int ShowCustomSelectionPage() {
  // Made at first need and kept for the run (the run ends through exit()); each
  // visit loads it afresh.
  static SelectPage* page = new SelectPage;
  return ShowFormModal(*page);
}

}  // namespace tolvarin::ui
