#pragma once
// frmMain, the launcher of an interactive user-content run: the export and import
// sequences, the recovery, the repair dialog, the run log and (in office mode) the
// remap options. The buttons whose dialogs are built elsewhere call the entry
// functions of ui/main_window_actions.h.
#include <string>

#include "ui/page.h"

class QLabel;
class QPushButton;

namespace tolvarin::ui {

inline constexpr const char* kMainCaption = "Corvane Backup/Restore and Import/Export System";

// lblSubject: who is logged on to which course, and where it is installed.
std::string MainSubject(const std::string& userName, const std::string& courseName, const std::string& coursePath);

class MainWindow : public ScriptedWindow {
 public:
  explicit MainWindow(QWidget* parent = nullptr);

 protected:
  void Arrive() override;  // Form_Load: the office button and the subject line

 private:
  // After a sequence or the recovery the run is over; in-process (a run-end hook)
  // the window closes so that its wait ends.
  void AfterRunEnded();

  QLabel* subject_ = nullptr;
  QPushButton* office_ = nullptr;
};

// Installs the main window as the one StartInteractive shows (core's main window hook).
void InstallMainWindow();

}  // namespace tolvarin::ui
