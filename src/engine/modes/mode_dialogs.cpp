#include "engine/modes/mode_dialogs.h"

#include <string>

#include "core/box_buttons.h"
#include "core/mode_windows.h"
#include "core/run_log.h"
#include "core/settings.h"
#include "core/system_box.h"
#include "engine/modes/restore_point.h"
#include "engine/startup.h"

namespace tolvarin {
namespace {

int Show(ModeWindow window, const std::string& title) {
  if (ShowModeWindow(window)) return 0;
  const std::string text = "The " + title + " window needs a display. Please start the program from the desktop.";
  WriteLogNote(text);
  MsgBox(text, kMbExclamation);
  return kOperationFailedStatus;
}

}  // namespace

int PrecisionRestore() {
  // A restore killed part-way is completed or undone before the dialog lists anything.
  FinishGradebookRestores(Paths().BrandFolder);
  return Show(ModeWindow::GradebookRestore, "Corvane Backup Restore");
}
int RepairCorruptTable() { return Show(ModeWindow::RepairCorruption, "Repair Corrupted Data"); }

}  // namespace tolvarin
