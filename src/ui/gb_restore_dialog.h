#pragma once
// frmGBRestore, "Corvane Backup Restore": the restore type, the backup and the
// folders, one panel at a time; Restore brings the ticked folders back to the
// chosen backup.
#include <string>
#include <vector>

#include "engine/modes/gradebook_profile.h"
#include "engine/modes/restore_point.h"
#include "ui/gb_restore_rules.h"
#include "ui/page.h"

class QComboBox;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace tolvarin::ui {

class ElasticPanel;

// It takes the scripted steps of a driven run (ui/page.h).
class GBRestoreDialog : public ScriptedWindow {
 public:
  // The backups are those of databasesRoot/Backup; the folders are the targets.
  GBRestoreDialog(std::string databasesRoot, std::string brandFolder, std::vector<RestoreTarget> targets,
                  QWidget* parent = nullptr);

  GBRestorePanel Shown() const { return shown_; }
  const std::vector<GradebookBackup>& Backups() const { return backups_; }
  // cmdRestore: the question, then the restore of every ticked folder and the closing message.
  void Restore();

 private:
  void LoadBackupList();
  void LoadCourseList();
  void Press(GBRestoreButton button);
  void ShowPanel(GBRestorePanel panel);
  void UpdateRestore();
  ElasticPanel* PanelOf(GBRestorePanel panel) const;

  std::string databasesRoot_, brandFolder_;
  std::vector<RestoreTarget> targets_;
  std::vector<GradebookBackup> backups_;
  GBRestorePanel shown_ = GBRestorePanel::RestoreType;
  ElasticPanel* restoreType_ = nullptr;
  ElasticPanel* chooseBackup_ = nullptr;
  ElasticPanel* chooseCourse_ = nullptr;
  QRadioButton* full_ = nullptr;
  QComboBox* backupList_ = nullptr;
  QListWidget* courseList_ = nullptr;
  QPushButton* restore_ = nullptr;
};

// The dialog of the gradebook's restore mode, on the run's databases.
void ShowGBRestoreMode();

}  // namespace tolvarin::ui
