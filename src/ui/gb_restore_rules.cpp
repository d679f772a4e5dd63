#include "ui/gb_restore_rules.h"

namespace tolvarin::ui {

GBRestorePanel PanelAfter(GBRestorePanel shown, GBRestoreButton pressed, int restoreType) {
  switch (pressed) {
    case GBRestoreButton::RestoreTypeNext:
      if (shown != GBRestorePanel::RestoreType) return shown;
      return restoreType == kFullRestore ? GBRestorePanel::ChooseBackup : GBRestorePanel::RestoreType;
    case GBRestoreButton::ChooseBack:
      return shown == GBRestorePanel::ChooseBackup ? GBRestorePanel::RestoreType : shown;
    case GBRestoreButton::ChooseNext:
      return shown == GBRestorePanel::ChooseBackup ? GBRestorePanel::ChooseCourse : shown;
    case GBRestoreButton::RestoreBack:
      return shown == GBRestorePanel::ChooseCourse ? GBRestorePanel::ChooseBackup : shown;
  }
  return shown;
}

bool RestoreAllowed(int backupIndex, int backupCount, int checkedCourses) {
  return backupIndex >= 0 && backupIndex < backupCount && checkedCourses > 0;
}

std::string RestoreQuestion(const std::string& backupText) {
  return "You are about to restore the database to its state on " + backupText +
         ". All changes made since then will be lost. Are you sure you want to continue?";
}

}  // namespace tolvarin::ui
