#include "ui/gb_restore_dialog.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>

#include "core/box_buttons.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/system_box.h"
#include "core/window_helpers.h"
#include "ui/elastic_panel.h"
#include "ui/forms.h"
#include "ui/qt_text.h"

namespace tolvarin::ui {
namespace {

constexpr int kMargin = 8;

QPushButton* Button(const char* name, const char* caption, QWidget* parent) {
  auto* button = new QPushButton(QString::fromLatin1(caption), parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setAutoDefault(false);
  return button;
}

QLabel* Label(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setWordWrap(true);
  return label;
}

// The panel's buttons on one row at its right.
void ButtonRow(QVBoxLayout* layout, std::initializer_list<QPushButton*> buttons) {
  auto* row = new QHBoxLayout;
  row->addStretch();
  for (QPushButton* button : buttons) row->addWidget(button);
  layout->addLayout(row);
}

}  // namespace

GBRestoreDialog::GBRestoreDialog(std::string databasesRoot, std::string brandFolder,
                                 std::vector<RestoreTarget> targets, QWidget* parent)
    : ScriptedWindow(parent),
      databasesRoot_(std::move(databasesRoot)),
      brandFolder_(std::move(brandFolder)),
      targets_(std::move(targets)) {
  setObjectName(QStringLiteral("frmGBRestore"));
  setWindowTitle(QStringLiteral("Corvane Backup Restore"));

  restoreType_ = new ElasticPanel(this);
  restoreType_->setObjectName(QStringLiteral("vseRestoreType"));
  auto* typeLayout = new QVBoxLayout(restoreType_);
  typeLayout->addWidget(Label(QStringLiteral("Select how you would like to restore your databases:"), restoreType_));
  auto* options = new QButtonGroup(this);
  const char* captions[] = {"Full Restore", "Recover Specific Data"};
  const char* notes[] = {"Restores the databases to its state on the selected date and time.",
                         "Restore a teacher, class, or student to a previous state."};
  for (int i = 0; i < 2; ++i) {
    auto* option = new QRadioButton(QString::fromLatin1(captions[i]), restoreType_);
    option->setObjectName(QStringLiteral("optRestoreType_%1").arg(i));
    options->addButton(option, i);
    typeLayout->addWidget(option);
    auto* note = Label(QString::fromLatin1(notes[i]), restoreType_);
    note->setContentsMargins(24, 0, 0, 6);
    typeLayout->addWidget(note);
    if (i == kFullRestore) full_ = option;
    // The specific recovery is offered but leads nowhere.
    if (i == kRecoverSpecificData) {
      option->setEnabled(false);
      note->setEnabled(false);
    }
  }
  full_->setChecked(true);
  auto* typeNext = Button("cmdRestoreTypeNext", "Next", restoreType_);
  ButtonRow(typeLayout, {typeNext});
  connect(typeNext, &QPushButton::clicked, this, [this] { Press(GBRestoreButton::RestoreTypeNext); });

  chooseBackup_ = new ElasticPanel(this);
  chooseBackup_->setObjectName(QStringLiteral("vseChooseBackup"));
  auto* backupLayout = new QVBoxLayout(chooseBackup_);
  backupLayout->addWidget(Label(QStringLiteral("Available Backups:"), chooseBackup_));
  backupList_ = new QComboBox(chooseBackup_);
  backupList_->setObjectName(QStringLiteral("cboBackups"));
  backupLayout->addWidget(backupList_);
  backupLayout->addStretch();
  auto* chooseBack = Button("cmdChooseBack", "Previous", chooseBackup_);
  auto* chooseNext = Button("cmdChooseNext", "Next", chooseBackup_);
  ButtonRow(backupLayout, {chooseBack, chooseNext});
  connect(chooseBack, &QPushButton::clicked, this, [this] { Press(GBRestoreButton::ChooseBack); });
  connect(chooseNext, &QPushButton::clicked, this, [this] { Press(GBRestoreButton::ChooseNext); });

  chooseCourse_ = new ElasticPanel(this);
  chooseCourse_->setObjectName(QStringLiteral("vseChooseCourse"));
  auto* courseLayout = new QVBoxLayout(chooseCourse_);
  courseLayout->addWidget(Label(QStringLiteral("Select the courses you would like to restore:"), chooseCourse_));
  courseList_ = new QListWidget(chooseCourse_);
  courseList_->setObjectName(QStringLiteral("lstCourses"));
  courseLayout->addWidget(courseList_);
  auto* restoreBack = Button("cmdRestoreBack", "Previous", chooseCourse_);
  restore_ = Button("cmdRestore", "Restore", chooseCourse_);
  ButtonRow(courseLayout, {restoreBack, restore_});
  connect(restoreBack, &QPushButton::clicked, this, [this] { Press(GBRestoreButton::RestoreBack); });
  connect(restore_, &QPushButton::clicked, this, [this] { Restore(); });

  LoadBackupList();
  LoadCourseList();
  connect(backupList_, &QComboBox::currentIndexChanged, this, [this] { UpdateRestore(); });
  connect(courseList_, &QListWidget::itemChanged, this, [this] { UpdateRestore(); });
  connect(courseList_, &QListWidget::itemClicked, this, [](QListWidgetItem* item) {
    item->setCheckState(item->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
  });
  UpdateRestore();

  // One size for the three panels, so that the window keeps its place between them.
  QSize size(420, 0);
  for (ElasticPanel* panel : {restoreType_, chooseBackup_, chooseCourse_}) size = size.expandedTo(panel->sizeHint());
  size.setHeight(std::max(size.height(), 260));
  for (ElasticPanel* panel : {restoreType_, chooseBackup_, chooseCourse_}) panel->setFixedSize(size);
  ShowPanel(GBRestorePanel::RestoreType);
}

void GBRestoreDialog::LoadBackupList() {
  backupList_->clear();
  backups_ = ListGradebookBackups(JoinPath(databasesRoot_, "Backup"));
  for (const GradebookBackup& backup : backups_) backupList_->addItem(Q(BackupDateText(backup)));
  backupList_->setCurrentIndex(static_cast<int>(backups_.size()) - 1);
}

void GBRestoreDialog::LoadCourseList() {
  courseList_->clear();
  for (const RestoreTarget& target : targets_) {
    auto* item = new QListWidgetItem(Q(target.Label), courseList_);
    item->setData(Qt::UserRole, static_cast<qlonglong>(target.ItemData));
    // A click on the entry ticks it or clears it, as on a list of check boxes.
    item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
  }
}

ElasticPanel* GBRestoreDialog::PanelOf(GBRestorePanel panel) const {
  switch (panel) {
    case GBRestorePanel::RestoreType:
      return restoreType_;
    case GBRestorePanel::ChooseBackup:
      return chooseBackup_;
    case GBRestorePanel::ChooseCourse:
      return chooseCourse_;
  }
  return restoreType_;
}

void GBRestoreDialog::ShowPanel(GBRestorePanel panel) {
  shown_ = panel;
  ShowOnlyPanel(*this, *PanelOf(panel), true, kMargin);
}

void GBRestoreDialog::Press(GBRestoreButton button) {
  const int type = full_->isChecked() ? kFullRestore : kRecoverSpecificData;
  const GBRestorePanel next = PanelAfter(shown_, button, type);
  if (next != shown_) ShowPanel(next);
}

void GBRestoreDialog::UpdateRestore() {
  int checked = 0;
  for (int i = 0; i < courseList_->count(); ++i)
    if (courseList_->item(i)->checkState() == Qt::Checked) ++checked;
  restore_->setEnabled(RestoreAllowed(backupList_->currentIndex(), static_cast<int>(backups_.size()), checked));
}

void GBRestoreDialog::Restore() {
  if (!restore_->isEnabled()) return;
  BeginWait();
  if (FacilityMessageBox(RestoreQuestion(S(backupList_->currentText())), kMbYesNo) != kIdYes) {
    EndWait();
    return;
  }
  std::vector<RestoreTarget> chosen;
  for (int i = 0; i < courseList_->count() && i < static_cast<int>(targets_.size()); ++i)
    if (courseList_->item(i)->checkState() == Qt::Checked) chosen.push_back(targets_[static_cast<std::size_t>(i)]);
  const GradebookRestoreOutcome outcome = RestoreFoldersFromBackup(
      backups_, static_cast<std::size_t>(backupList_->currentIndex()), chosen, databasesRoot_, brandFolder_);
  EndWait();
  const std::string message = GradebookRestoreMessage(outcome);
  FacilityMessageBox(message, message == kDatabasesRestored ? kMbOkOnly : kMbOkOnly | kMbExclamation);
}

void ShowGBRestoreMode() {
  GBRestoreDialog dialog(Paths().DatabasesRoot, Paths().BrandFolder, GradebookRestoreTargets(Paths().BrandFolder));
  ShowFormEx(dialog, true);
}

}  // namespace tolvarin::ui
