#pragma once
// What the main window's buttons and the page sequences call. Each function that a
// later dialog provides lives in a file of its own, which the dialog's owner fills:
//
//   RecoverContent     cmdRecover  main_recover.cpp  (the recovery chooser frmRecover)
//   RepairContent      cmdRepair   main_repair.cpp   (the repair dialog frmRepairCorruption)
//   ShowOfficeTools    cmdOffice   main_office.cpp   (the remap-options dialog frmOffice)
//   ShowCustomSelectionPage        export slot 1     select_slot.cpp  (frmSelect)
//   ShowImportOptionsPage          import slot 0     restore_slot.cpp (frmRestore)
//
// Until then each says plainly that it is not part of this build; the two page slots
// show their pages. The sequences themselves are RunExportSequence and RunImportSequence.
#include <optional>

class QWidget;

namespace tolvarin::ui {

// cmdBackup and cmdRestore: the whole sequence, then the end of the run (EndRun).
void RunExportSequence();
void RunImportSequence();

// cmdRecover: the recovery from an automatic backup slot, with Mode 2 set around it.
// Its status when it ran: the run then ends (EndRun), failed unless the status is 0;
// nullopt (the chooser left with Back or the close box) keeps the main window open.
std::optional<int> RecoverContent(QWidget& mainWindow);
// cmdRepair: the repair dialog, over the main window, which stays open afterwards.
void RepairContent(QWidget& mainWindow);
// cmdOffice: the remap-options dialog, modal over the main window.
void ShowOfficeTools(QWidget& mainWindow);

// The page slots: each shows its page through ShowFormModal and returns PageResult.
int ShowCustomSelectionPage();
int ShowImportOptionsPage();

}  // namespace tolvarin::ui
