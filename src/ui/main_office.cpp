// cmdOffice of the main window.
#include "ui/main_window_actions.h"
#include "ui/not_in_build.h"

namespace tolvarin::ui {

void ShowOfficeTools(QWidget& /*mainWindow*/) { SayNotInThisBuild("The Office Tools dialog"); }

}  // namespace tolvarin::ui
