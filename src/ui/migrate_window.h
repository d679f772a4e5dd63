#pragma once
// frmMigrate, the migration chooser (the target installation and the course that
// receives the content), and frmFolderChooser, the prompt for one folder it uses.
// Their rules are in engine/modes/migration_target.h.
#include "ui/page.h"
#include <string>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace tolvarin::ui {

class FolderChooserWindow : public ScriptedWindow {
 public:
  FolderChooserWindow();
  // The box's text once the window is hidden; "" after Cancel or the close box.
  std::string ShowPrompt(const std::string& prompt, const std::string& defaultPath);

 protected:
  void reject() override;

 private:
  QLabel* prompt_;
  QLineEdit* folder_;
};

class MigrateWindow : public ScriptedWindow {
 public:
  MigrateWindow();
  // The target course folder; "" when the user closed the window without OK.
  std::string ShowSelectCourse();

  // The events, as the user sets them off.
  void ChooseCourse(int row);
  void ChooseTargetPath();
  void Accept();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLineEdit* kestalPath_;
  QListWidget* courses_;
  QPushButton* ok_;
  std::string targetPath_;
  int chosen_ = -1;
  std::string result_;
};

// Installs the chooser that the migration shows.
void InstallMigrateChooser();

}  // namespace tolvarin::ui
