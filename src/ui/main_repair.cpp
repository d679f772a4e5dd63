// cmdRepair of the main window.
#include "ui/main_window_actions.h"
#include "ui/not_in_build.h"

namespace tolvarin::ui {

void RepairContent(QWidget& /*mainWindow*/) { SayNotInThisBuild("Repairing corrupted content"); }

}  // namespace tolvarin::ui
