#pragma once
// frmFolder, the backup file page of both sequences. An export names the package to
// be written (a folder and a file name); an import picks a package, which Continue
// unzips into the staging folder and checks before the sequence goes on.
#include <string>

#include "ui/page.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace tolvarin::ui {

class BackupFilePage : public Page {
 public:
  explicit BackupFilePage(QWidget* parent = nullptr);
  const std::string& ChosenPath() const { return chosen_; }

 protected:
  void Arrive() override;  // Form_Load
  void showEvent(QShowEvent* event) override;

 private:
  bool Exporting() const;
  void OpenFolder(const std::string& folder);  // dirFolder_Change
  void ShowFiles(const std::string& folder);
  std::string HighlightedFolder() const;
  void NameChanged();
  void UpdatePath();
  void ContinueExport();
  void ContinueImport();

  QComboBox* drive_ = nullptr;
  QListWidget* folders_ = nullptr;
  QListWidget* files_ = nullptr;
  QLabel* nameLabel_ = nullptr;
  QLineEdit* name_ = nullptr;
  QLabel* path_ = nullptr;
  QLabel* instructions_ = nullptr;
  QPushButton* continue_ = nullptr;
  std::string chosen_;
  bool cleaning_ = false;
};

}  // namespace tolvarin::ui
