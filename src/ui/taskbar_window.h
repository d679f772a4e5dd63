#pragma once
// frmTaskbar: gives the run its entry on the taskbar while it lasts. It has no
// code of its own and never keeps the application alive.
#include <QWidget>

namespace tolvarin::ui {

inline constexpr const char* kTaskbarCaption = "Corvane Backup and Restore System";

class TaskbarWindow : public QWidget {
 public:
  TaskbarWindow();
};

// The hooks behind ShowTaskbarWindow and UnloadTaskbarWindow.
void InstallTaskbarWindow();
// The window on screen, or nullptr.
TaskbarWindow* CurrentTaskbarWindow();

}  // namespace tolvarin::ui
