#include "ui/recover_window.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>

#include "core/box_buttons.h"
#include "core/chooser_windows.h"
#include "core/settings.h"
#include "core/system_box.h"
#include "core/window_helpers.h"
#include "engine/modes/recovery_choice.h"
#include "ui/form_style.h"
#include "ui/forms.h"
#include "ui/qt_text.h"

namespace tolvarin::ui {
namespace {

constexpr const char* kInstructions[] = {
    "Select the corrupt course from the list on the left.  The list on the right will then show the available "
    "automatic backups that have been created.  Try recovering the most recent backup first.  If the database you "
    "are loading still has problems, recover the next most recent backup, and so on.",
    "WARNING: Recovery will overwrite your database with a backup made on the date shown below.  Any changes made to "
    "the database since that date, including questions created and exams saved to the Vault, will be LOST.  Only "
    "use this recovery functionality if you are unable to get into a database at all.",
    "Please call 1-888-CORVANE for more information about the recovery process, or if recovery fails.",
};

QLabel* WrappedLabel(const char* text, const QString& name, QWidget* parent) {
  auto* label = new QLabel(QString::fromLatin1(text), parent);
  label->setObjectName(name);
  label->setWordWrap(true);
  return label;
}

}  // namespace

RecoverWindow::RecoverWindow() : savedCourse_(CurrentCourse()), savedBackupPath_(Paths().BackupPath) {
  setObjectName(QStringLiteral("frmRecover"));
  setWindowTitle(QStringLiteral("Auto-Backup Recovery"));
  auto* layout = new QGridLayout(this);
  layout->addWidget(WrappedLabel(kInstructions[0], QStringLiteral("lblInstructions_0"), this), 0, 0, 1, 2);
  layout->addWidget(new QLabel(QStringLiteral("Courses:"), this), 1, 0);
  layout->addWidget(new QLabel(QStringLiteral("Backups:"), this), 1, 1);
  courses_ = new QListWidget(this);
  courses_->setObjectName(QStringLiteral("lstCourses"));
  backups_ = new QListWidget(this);
  backups_->setObjectName(QStringLiteral("lstBackups"));
  // Room for the longest entry: the longest day and month names.
  backups_->setMinimumWidth(
      GetTextWidthForControl(*backups_, QStringLiteral("Auto-Backup 5 - Wednesday, September 30, 2026 at 12:00:00 PM")) +
      32);
  layout->addWidget(courses_, 2, 0);
  layout->addWidget(backups_, 2, 1);
  layout->addWidget(WrappedLabel(kInstructions[1], QStringLiteral("lblInstructions_1"), this), 3, 0, 1, 2);
  backupPath_ = new QLabel(QStringLiteral("Backup Path: ..."), this);
  backupPath_->setObjectName(QStringLiteral("lblBackupPath"));
  backupPath_->setWordWrap(true);
  layout->addWidget(backupPath_, 4, 0, 1, 2);
  layout->addWidget(WrappedLabel(kInstructions[2], QStringLiteral("lblInstructions_2"), this), 5, 0, 1, 2);
  auto* back = new QPushButton(QStringLiteral("« Back"), this);
  back->setObjectName(QStringLiteral("cmdBack"));
  back->setAutoDefault(false);
  recover_ = new QPushButton(QStringLiteral("Recover"), this);
  recover_->setObjectName(QStringLiteral("cmdRecover"));
  recover_->setAutoDefault(false);
  recover_->setEnabled(false);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch();
  buttons->addWidget(back);
  buttons->addWidget(recover_);
  layout->addLayout(buttons, 6, 0, 1, 2);
  layout->setColumnStretch(0, 1);
  layout->setColumnStretch(1, 2);
  resize(sizeHint().width() + 40, 480);

  connect(courses_, &QListWidget::currentRowChanged, this, [this](int row) { ChooseCourse(row); });
  connect(backups_, &QListWidget::currentRowChanged, this, [this](int row) { ChooseBackup(row); });
  connect(recover_, &QPushButton::clicked, this, [this] { Recover(); });
  connect(back, &QPushButton::clicked, this, [this] { Back(); });

  PageResult() = 2;
  const QSignalBlocker quiet(courses_);
  for (const CourseEntry& course : RecoverableCourses(CurrentArea())) {
    auto* item = new QListWidgetItem(Q(course.name), courses_);
    item->setData(Qt::UserRole, course.slot);
  }
  courses_->setCurrentRow(-1);
  StyleFormControls(*this);
  CenterForm(*this);
}

void RecoverWindow::ChooseCourse(int row) {
  const QSignalBlocker quiet(backups_);
  backups_->clear();
  if (row < 0) return;
  const int slot = courses_->item(row)->data(Qt::UserRole).toInt();
  SetCurrentCourse(CurrentArea().Courses[static_cast<size_t>(slot)]);
  courseFolder_ = CourseBackupFolder(CurrentArea(), CurrentCourse());
  const std::vector<SlotEntry> found = RecoverySlots(courseFolder_);
  for (const SlotEntry& entry : found) {
    auto* item = new QListWidgetItem(Q(entry.text), backups_);
    item->setData(Qt::UserRole, entry.slot);
    item->setData(Qt::UserRole + 1, Q(entry.created));
  }
  backups_->setCurrentRow(NewestSlotIndex(found));
  UpdateBackupPath();
}

void RecoverWindow::ChooseBackup(int) { UpdateBackupPath(); }

void RecoverWindow::UpdateBackupPath() {
  if (QListWidgetItem* backup = backups_->currentItem()) {
    const int slot = backup->data(Qt::UserRole).toInt();
    Paths().BackupPath = RecoverySlotFolder(courseFolder_, slot);
    backupPath_->setText(Q(BackupPathLine(courseFolder_, slot)));
    recover_->setEnabled(true);
  } else if (courses_->currentItem()) {
    backupPath_->setText(Q(BackupPathLine(courseFolder_, 0)));
    recover_->setEnabled(false);
  }
}

void RecoverWindow::Recover() {
  QListWidgetItem* backup = backups_->currentItem();
  if (!backup) return;
  const int slot = backup->data(Qt::UserRole).toInt();
  const std::string created = S(backup->data(Qt::UserRole + 1).toString());
  if (MsgBox(RecoverQuestion(CurrentCourse().DisplayName, slot, created), kMbYesNo | kMbExclamation) != kIdYes)
    return;
  PageResult() = 1;
  hide();
}

void RecoverWindow::Back() {
  PageResult() = 2;
  Leave();
}

void RecoverWindow::Leave() {
  // The run goes on with the course it had.
  SetCurrentCourse(savedCourse_);
  Paths().BackupPath = savedBackupPath_;
  hide();
}

void RecoverWindow::closeEvent(QCloseEvent* event) {
  if (PageResult() != 1) Back();
  event->accept();
}

void RecoverWindow::reject() { Back(); }

void InstallRecoverChooser() {
  SetRecoverChooser([] {
    RecoverWindow window;
    return ShowFormModal(window);
  });
}

}  // namespace tolvarin::ui
