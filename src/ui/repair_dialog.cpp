#include "ui/repair_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "core/box_buttons.h"
#include "core/run_log.h"
#include "core/settings.h"
#include "core/system_box.h"
#include "core/window_helpers.h"
#include "ui/forms.h"
#include "ui/named_controls.h"
#include "ui/qt_text.h"
#include "ui/repair_rules.h"

namespace tolvarin::ui {
namespace {

constexpr const char* kNotice =
    "This utility may repair your installation if certain files become corrupted. We recommend that you use this "
    "feature with the help of an Corvane representative. Please call 1-888-Corvane for details.";

}  // namespace

RepairDialog::RepairDialog(std::vector<RepairLocation> locations, std::string databasesRoot, QWidget* parent)
    : ScriptedWindow(parent), locations_(std::move(locations)), databasesRoot_(std::move(databasesRoot)) {
  setObjectName(QStringLiteral("frmRepairCorruption"));
  setWindowTitle(QStringLiteral("Repair Corrupted Data"));
  auto* layout = new QGridLayout(this);
  auto* notice = new QLabel(QString::fromLatin1(kNotice), this);
  notice->setObjectName(QStringLiteral("lblNotice"));
  notice->setWordWrap(true);
  layout->addWidget(notice, 0, 0, 1, 2);
  auto* locationLabel = new QLabel(QStringLiteral("Database Location:"), this);
  auto* fileLabel = new QLabel(QStringLiteral("Database Files:"), this);
  layout->addWidget(locationLabel, 1, 0);
  layout->addWidget(fileLabel, 1, 1);
  locationList_ = new QListWidget(this);
  locationList_->setObjectName(QStringLiteral("lstDBLoc"));
  fileList_ = new QListWidget(this);
  fileList_->setObjectName(QStringLiteral("lstDatabaseFiles"));
  fileList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  layout->addWidget(locationList_, 2, 0);
  layout->addWidget(fileList_, 2, 1);
  QPushButton* repair = NamedButton(this, QStringLiteral("cmdRepair"), QStringLiteral("Repair Selected"));
  QPushButton* repairAll = NamedButton(this, QStringLiteral("cmdRepairAll"), QStringLiteral("Repair All"));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(repair);
  buttons->addWidget(repairAll);
  layout->addLayout(buttons, 3, 0, 1, 2);
  resize(560, 420);

  for (const RepairLocation& location : locations_) locationList_->addItem(Q(location.Label));
  connect(locationList_, &QListWidget::currentRowChanged, this, [this] { LoadDatabaseFiles(); });
  connect(repair, &QPushButton::clicked, this, [this] { RepairSelected(); });
  connect(repairAll, &QPushButton::clicked, this, [this] { RepairAll(); });
}

void RepairDialog::LoadDatabaseFiles() {
  fileList_->clear();
  const int row = locationList_->currentRow();
  files_ = row >= 0 && row < static_cast<int>(locations_.size())
               ? DatabaseFilesIn(locations_[static_cast<std::size_t>(row)].Folder)
               : std::vector<std::string>{};
  for (const std::string& file : files_) fileList_->addItem(Q(file));
}

void RepairDialog::RepairSelected() { Repair(false); }
void RepairDialog::RepairAll() { Repair(true); }

void RepairDialog::Repair(bool all) {
  std::vector<bool> selected(files_.size(), false);
  for (int i = 0; i < fileList_->count() && i < static_cast<int>(files_.size()); ++i)
    selected[static_cast<std::size_t>(i)] = fileList_->item(i)->isSelected();
  const std::vector<std::string> files = FilesToRepair(files_, selected, all);
  if (files.empty() && !all) {
    FacilityMessageBox(kSelectFiles, kMbCritical);
    return;
  }
  RepairSummary summary;
  if (!files.empty()) {
    const std::string& folder = locations_[static_cast<std::size_t>(locationList_->currentRow())].Folder;
    BeginWait();
    summary = RepairTables(folder, files, NewSafetyFolder(databasesRoot_, folder, TimeStampNow()));
    EndWait();
  }
  bool allRepaired = true;
  for (const TableRepair& table : summary.Tables) allRepaired = allRepaired && table.State == TableRepairState::Repaired;
  FacilityMessageBox(RepairSummaryText(summary), allRepaired ? kMbOkOnly : kMbOkOnly | kMbExclamation);
  LoadDatabaseFiles();
}

void ShowRepairCorruption(QWidget* mainWindow) {
  RepairDialog dialog(RepairLocations(Paths().BrandFolder), Paths().DatabasesRoot, mainWindow);
  dialog.exec();
}

void ShowRepairCorruptionMode() {
  RepairDialog dialog(RepairLocations(Paths().BrandFolder), Paths().DatabasesRoot);
  CenterForm(dialog);
  ShowFormEx(dialog, true);
}

}  // namespace tolvarin::ui
