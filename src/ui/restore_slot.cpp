// Import slot 0: the import options page.
#include "core/window_helpers.h"
#include "ui/main_window_actions.h"

namespace tolvarin::ui {

// Until the page is built the slot passes on: forwards on arrival from the main
// window, and back (ending the sequence) on arrival by Back from the file page.
int ShowImportOptionsPage() {
  if (PageResult() != -1) PageResult() = 1;
  return PageResult();
}

}  // namespace tolvarin::ui
