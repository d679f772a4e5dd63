#pragma once
// frmRepairCorruption, "Repair Corrupted Data": a database location, its DBF files,
// and Repair Selected or Repair All, which rebuild the tables after copying them
// into a safety folder and end with what became of each.
#include <string>
#include <vector>

#include "engine/modes/table_repair.h"
#include "ui/page.h"

class QListWidget;

namespace tolvarin::ui {

// It takes the scripted steps of a driven run (ui/page.h).
class RepairDialog : public ScriptedWindow {
 public:
  RepairDialog(std::vector<RepairLocation> locations, std::string databasesRoot, QWidget* parent = nullptr);

  void RepairSelected();  // cmdRepair
  void RepairAll();       // cmdRepairAll

 private:
  void LoadDatabaseFiles();
  void Repair(bool all);

  std::vector<RepairLocation> locations_;
  std::string databasesRoot_;
  std::vector<std::string> files_;  // as lstDatabaseFiles lists them
  QListWidget* locationList_ = nullptr;
  QListWidget* fileList_ = nullptr;
};

// The repair dialog of the main window's Repair Corrupted Content: modal over the
// main window, which stays open under it.
void ShowRepairCorruption(QWidget* mainWindow);
// The dialog of the repair mode, on the run's databases.
void ShowRepairCorruptionMode();

}  // namespace tolvarin::ui
