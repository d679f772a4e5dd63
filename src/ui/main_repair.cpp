// cmdRepair of the main window.
#include "ui/main_window_actions.h"
#include "ui/repair_dialog.h"

namespace tolvarin::ui {

void RepairContent(QWidget& mainWindow) { ShowRepairCorruption(&mainWindow); }

}  // namespace tolvarin::ui
