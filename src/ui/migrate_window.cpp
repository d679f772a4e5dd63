#include "ui/migrate_window.h"

#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>

#include "core/box_buttons.h"
#include "core/chooser_windows.h"
#include "core/files.h"
#include "core/settings.h"
#include "core/system_box.h"
#include "data/catalogue.h"
#include "engine/modes/migration_target.h"
#include "ui/form_style.h"
#include "ui/forms.h"
#include "ui/qt_text.h"

namespace tolvarin::ui {

FolderChooserWindow::FolderChooserWindow() {
  setObjectName(QStringLiteral("frmFolderChooser"));
  auto* layout = new QGridLayout(this);
  prompt_ = new QLabel(this);
  prompt_->setObjectName(QStringLiteral("lblPrompt"));
  folder_ = new QLineEdit(this);
  folder_->setObjectName(QStringLiteral("txtFolderPath"));
  folder_->setMinimumWidth(420);
  auto* browse = new QPushButton(QStringLiteral("Browse..."), this);
  browse->setObjectName(QStringLiteral("cmdBrowse"));
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("cmdOK"));
  ok->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  cancel->setObjectName(QStringLiteral("cmdCancel"));
  for (QPushButton* button : {browse, cancel}) button->setAutoDefault(false);
  layout->addWidget(prompt_, 0, 0, 1, 2);
  layout->addWidget(folder_, 1, 0);
  layout->addWidget(browse, 1, 1);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  layout->addLayout(buttons, 2, 0, 1, 2);

  connect(browse, &QPushButton::clicked, this, [this] {
    const std::string chosen = BrowseForFolder(S(prompt_->text()), S(folder_->text()));
    if (!chosen.empty()) folder_->setText(Q(chosen));
  });
  connect(ok, &QPushButton::clicked, this, [this] { hide(); });
  connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
  StyleFormControls(*this);
}

std::string FolderChooserWindow::ShowPrompt(const std::string& prompt, const std::string& defaultPath) {
  prompt_->setText(Q(prompt));
  folder_->setText(Q(defaultPath));
  adjustSize();
  CenterForm(*this);
  exec();
  return S(folder_->text());
}

void FolderChooserWindow::reject() {
  folder_->clear();
  hide();
}

MigrateWindow::MigrateWindow() {
  setObjectName(QStringLiteral("frmMigrate"));
  setWindowTitle(QStringLiteral("Migrate Content"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("Target Kestal Path:"), this));
  kestalPath_ = new QLineEdit(this);
  kestalPath_->setObjectName(QStringLiteral("txtKestalPath"));
  kestalPath_->setReadOnly(true);
  kestalPath_->setMinimumWidth(420);
  kestalPath_->installEventFilter(this);
  // The box opens the folder prompt on a click; the button does the same from the keyboard.
  auto* choosePath = new QPushButton(QStringLiteral("..."), this);
  choosePath->setObjectName(QStringLiteral("cmdTargetPath"));
  choosePath->setAutoDefault(false);
  connect(choosePath, &QPushButton::clicked, this, [this] { ChooseTargetPath(); });
  auto* pathRow = new QHBoxLayout();
  pathRow->addWidget(kestalPath_);
  pathRow->addWidget(choosePath);
  layout->addLayout(pathRow);
  layout->addWidget(new QLabel(QStringLiteral("Select the course you wish to move questions to:"), this));
  courses_ = new QListWidget(this);
  courses_->setObjectName(QStringLiteral("lstCourses"));
  layout->addWidget(courses_);
  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setObjectName(QStringLiteral("cmdOK"));
  ok_->setEnabled(false);
  auto* buttons = new QHBoxLayout();
  buttons->addStretch();
  buttons->addWidget(ok_);
  layout->addLayout(buttons);
  connect(courses_, &QListWidget::currentRowChanged, this, [this](int row) { ChooseCourse(row); });
  connect(ok_, &QPushButton::clicked, this, [this] { Accept(); });
  StyleFormControls(*this);
}

std::string MigrateWindow::ShowSelectCourse() {
  targetPath_ = Settings().AppPath;
  kestalPath_->setText(Q(targetPath_));
  {
    const QSignalBlocker quiet(courses_);
    courses_->clear();
    for (const MigrationCourse& course : MigrationCourses(CurrentArea())) {
      auto* item = new QListWidgetItem(Q(course.name), courses_);
      item->setData(Qt::UserRole, course.courseId);
    }
    courses_->setCurrentRow(-1);
  }
  chosen_ = -1;
  ok_->setEnabled(false);
  result_.clear();
  adjustSize();
  CenterForm(*this);
  exec();
  // Only OK gives a folder: the close box cancels.
  if (!result_.empty()) Paths().BackupPath = result_;
  return result_;
}

void MigrateWindow::ChooseCourse(int row) {
  chosen_ = row < 0 ? -1 : courses_->item(row)->data(Qt::UserRole).toInt();
  ok_->setEnabled(chosen_ >= 0);
}

void MigrateWindow::ChooseTargetPath() {
  FolderChooserWindow prompt;
  const std::string answer = prompt.ShowPrompt("Target Kestal Path", S(kestalPath_->text()));
  if (answer.empty()) return;
  kestalPath_->setText(Q(answer));
  targetPath_ = answer;
}

void MigrateWindow::Accept() {
  if (chosen_ < 0 || chosen_ >= static_cast<int>(CurrentArea().Courses.size())) return;
  const CourseRecord& course = CurrentArea().Courses[static_cast<size_t>(chosen_)];
  const auto folder = MigrationCourseFolder(targetPath_, course.Path);
  if (!folder) {
    MsgBox("The course's folder \"" + course.Path + "\" has no place below a target installation.  Please choose "
           "another course.",
           kMbExclamation);
    return;
  }
  result_ = *folder;
  hide();
}

bool MigrateWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == kestalPath_ && event->type() == QEvent::MouseButtonPress) {
    ChooseTargetPath();
    return true;
  }
  return ScriptedWindow::eventFilter(watched, event);
}

void InstallMigrateChooser() {
  SetMigrateChooser([] {
    MigrateWindow window;
    return window.ShowSelectCourse();
  });
}

}  // namespace tolvarin::ui
