// cmdRecover of the main window.
#include "engine/modes/auto_backup.h"
#include "ui/main_window_actions.h"

namespace tolvarin::ui {

std::optional<int> RecoverContent(QWidget& /*mainWindow*/) { return DoRecover(false); }

}  // namespace tolvarin::ui
