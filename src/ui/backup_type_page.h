#pragma once
// frmBackupType, the export's first page (complete or custom backup), and
// frmSelectSelect, the dialog that narrows a custom backup's content families when
// both the test maker and a gradebook program are installed.
#include <string>

#include "ui/page.h"

class QCheckBox;

namespace tolvarin::ui {

// The two content families an export takes.
struct ContentFlags {
  bool test = false;       // questions and exams (IncludeTestContent)
  bool gradebook = false;  // classes, students, sessions and activities (IncludeGradebookContent)
  bool operator==(const ContentFlags&) const = default;
};
ContentFlags CurrentContentFlags();
void SetContentFlags(const ContentFlags& flags);

// The flags a custom backup starts from: the programs beside the host raise a flag,
// none clears one; the dialog is asked only when both are then raised.
ContentFlags CustomStartFlags(const std::string& appPath, const ContentFlags& current);
bool AsksForContent(const ContentFlags& flags);

class BackupTypePage : public Page {
 public:
  explicit BackupTypePage(QWidget* parent = nullptr);

 private:
  void Complete();
  void Custom();
};

class SelectSelectDialog : public ScriptedWindow {
 public:
  explicit SelectSelectDialog(QWidget* parent = nullptr);
  // ShowForm: asks when both families are installed and sets the flags from the answer.
  static void ShowForm();
  ContentFlags Choice() const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;

 private:
  // Continue, and the close box: an export of nothing is not made.
  bool MayLeave();

  QCheckBox* gradebook_ = nullptr;
  QCheckBox* test_ = nullptr;
};

}  // namespace tolvarin::ui
