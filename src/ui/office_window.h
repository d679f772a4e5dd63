#pragma once
// frmOffice, the remap-options dialog of office mode: how identifiers are remapped
// in the next imports. Its rules are in engine/modes/remap_options.h.
#include "ui/page.h"

class QButtonGroup;
class QLineEdit;

namespace tolvarin::ui {

class OfficeWindow : public ScriptedWindow {
 public:
  OfficeWindow();
  // cmdOK: checks the numbers (a problem is said and the window stays), then sets
  // ImportMode and writes the choice.
  void Accept();

 private:
  QButtonGroup* modes_;
  QLineEdit* start_;
  QLineEdit* end_;
  QLineEdit* examId_;
};

// The main window's Office Tools: the dialog, modal.
void ShowOfficeDialog();

}  // namespace tolvarin::ui
