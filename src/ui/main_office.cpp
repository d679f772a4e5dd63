// cmdOffice of the main window.
#include "ui/main_window_actions.h"
#include "ui/office_window.h"

namespace tolvarin::ui {

void ShowOfficeTools(QWidget& /*mainWindow*/) { ShowOfficeDialog(); }

}  // namespace tolvarin::ui
