#pragma once
// The two windows of the import path: frmRestore, the import options page, which on
// its first forward activation asks about the classification tree and passes on;
// and frmResults, the import preview the copy step shows before anything is
// written, whose Cancel (or close box) stops the import.
#include "ui/page.h"

class QListWidget;

namespace tolvarin::ui {

class RestoreOptionsPage : public Page {
 public:
  explicit RestoreOptionsPage(QWidget* parent = nullptr);

 protected:
  void Arrive() override;

 private:
  bool asked_ = false;
};

class ResultsWindow : public ScriptedWindow {
 public:
  explicit ResultsWindow(QWidget* parent = nullptr);
  // Fills the lists from the built maps, shows the window modally; ok is false
  // after Cancel or the close box. In office mode Continue first writes the import log.
  void ShowPreview(bool& ok);
  void Fill();

 private:
  void ContinueClicked();

  QListWidget* mappedQuests_ = nullptr;
  QListWidget* imported_[5] = {};
  bool cancelled_ = true;
};

// Makes the copy step show frmResults (a window session installs it).
void InstallImportPreview();

// Import slot 0: shows the import options page through ShowFormModal and returns
// PageResult.
int ShowImportOptionsPage();

}  // namespace tolvarin::ui
