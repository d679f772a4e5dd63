#pragma once
// The export and import sequences that the main window's cmdBackup and cmdRestore
// run (page_sequences.cpp). The other buttons open their dialogs directly:
// cmdRecover the recovery chooser, cmdRepair the repair dialog and cmdOffice the
// remap-options dialog.
namespace tolvarin::ui {

// The whole sequence, then the end of the run (EndRun).
void RunExportSequence();
void RunImportSequence();

}  // namespace tolvarin::ui
