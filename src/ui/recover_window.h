#pragma once
// frmRecover, the recovery chooser: a course of the current area and one of its
// automatic backups, and the question before it is put back. Its rules are in
// engine/modes/recovery_choice.h.
#include "ui/page.h"
#include <string>

#include "data/catalogue.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace tolvarin::ui {

class RecoverWindow : public ScriptedWindow {
 public:
  RecoverWindow();

  // lstCourses_Click and lstBackups_Click, as a click on the row runs them.
  void ChooseCourse(int row);
  void ChooseBackup(int row);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  void UpdateBackupPath();
  void Recover();
  void Back();
  void Leave();

  QListWidget* courses_;
  QListWidget* backups_;
  QLabel* backupPath_;
  QPushButton* recover_;
  std::string courseFolder_;
  // What the run worked on before the chooser, given back on Back or the close box.
  CourseRecord savedCourse_;
  std::string savedBackupPath_;
};

// Installs the chooser that the recovery shows through the pseudo-modal page show.
void InstallRecoverChooser();

}  // namespace tolvarin::ui
