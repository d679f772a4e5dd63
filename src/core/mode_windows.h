#pragma once
// The dialogs that some modes consist of (the gradebook's restore-point dialog, the
// repair dialog). A window session installs how they are shown; a run without one
// cannot show them.
#include <functional>

namespace tolvarin {

enum class ModeWindow { GradebookRestore, RepairCorruption };

void SetModeWindowHook(std::function<void(ModeWindow)> show);
// Shows the dialog modally and returns when it closes; false when no window
// session installed the hook.
bool ShowModeWindow(ModeWindow window);

}  // namespace tolvarin
