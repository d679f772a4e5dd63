// cmdRecover of the main window.
#include "ui/main_window_actions.h"
#include "ui/not_in_build.h"

namespace tolvarin::ui {

bool RecoverContent(QWidget& /*mainWindow*/) {
  SayNotInThisBuild("Recovering content from an automatic backup");
  return false;
}

}  // namespace tolvarin::ui
