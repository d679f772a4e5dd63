#include "ui/backup_type_page.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/box_buttons.h"
#include "core/files.h"
#include "core/message_box.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/window_helpers.h"
#include "engine/transfer/selection.h"
#include "engine/transfer/transfer_state.h"
#include "ui/forms.h"
#include "ui/named_controls.h"

namespace tolvarin::ui {
namespace {

QLabel* Label(QWidget* parent, const char* name, const char* text) {
  auto* label = new QLabel(QString::fromUtf8(text), parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setWordWrap(true);
  return label;
}

}  // namespace

ContentFlags CurrentContentFlags() { return {Settings().IncludeTestContent, Settings().IncludeGradebookContent}; }

void SetContentFlags(const ContentFlags& flags) {
  Settings().IncludeTestContent = flags.test;
  Settings().IncludeGradebookContent = flags.gradebook;
}

ContentFlags CustomStartFlags(const std::string& appPath, const ContentFlags& current) {
  ContentFlags flags = current;
  if (FileExists(FindPath(JoinPath(appPath, "gradebook.exe"))) || FileExists(FindPath(JoinPath(appPath, "ludora.exe"))))
    flags.gradebook = true;
  if (FileExists(FindPath(JoinPath(appPath, "kestal.exe")))) flags.test = true;
  return flags;
}

bool AsksForContent(const ContentFlags& flags) { return flags.test && flags.gradebook; }

BackupTypePage::BackupTypePage(QWidget* parent) : Page(true, parent) {
  setObjectName(QStringLiteral("frmBackupType"));
  setWindowTitle(QStringLiteral("Backup Type"));
  auto* layout = new QGridLayout(this);
  layout->addWidget(Label(this, "lblInstructions",
                          "Choose whether you want to back up all of your exams and questions, or select individual "
                          "exams and questions."),
                    0, 0, 1, 2);
  QPushButton* complete = NamedButton(this, "cmdComplete", "&Complete Backup");
  QPushButton* custom = NamedButton(this, "cmdCustom", "C&ustom Backup");
  QPushButton* back = NamedButton(this, "cmdBack", "« Back");
  layout->addWidget(complete, 1, 0);
  layout->addWidget(Label(this, "lblComplete", "Backs up all user-made questions and exams to an Corvane Backup Folder."),
                    1, 1);
  layout->addWidget(custom, 2, 0);
  layout->addWidget(Label(this, "lblCustom", "Backs up selected questions and exams to an Corvane Backup Folder."), 2,
                    1);
  layout->addWidget(back, 3, 0, Qt::AlignLeft);
  layout->setColumnStretch(1, 1);
  layout->setHorizontalSpacing(16);
  layout->setVerticalSpacing(12);
  connect(complete, &QPushButton::clicked, this, [this] { Complete(); });
  connect(custom, &QPushButton::clicked, this, [this] { Custom(); });
  connect(back, &QPushButton::clicked, this, [this] { Leave(); });
  setMinimumWidth(520);
}

void BackupTypePage::Complete() {
  BeginWait();
  Transfer().BackupType = 1;
  SelectAllRecords();
  EndWait();
  Finish();
}

void BackupTypePage::Custom() {
  PageResult() = 1;
  Transfer().BackupType = 2;
  SelectSelectDialog::ShowForm();
  Finish();
}

SelectSelectDialog::SelectSelectDialog(QWidget* parent) : ScriptedWindow(parent) {
  setObjectName(QStringLiteral("frmSelectSelect"));
  setWindowTitle(QString());
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Label(this, "Label1", "Please select the data that you would like to export:"));
  gradebook_ = new QCheckBox(QStringLiteral("Export Classes, Students, and Sessions"), this);
  gradebook_->setObjectName(QStringLiteral("chkExportCor"));
  test_ = new QCheckBox(QStringLiteral("Export Questions and Exams"), this);
  test_->setObjectName(QStringLiteral("chkExportKes"));
  layout->addWidget(gradebook_);
  layout->addWidget(test_);
  QPushButton* next = NamedButton(this, "cmdContinue", "Continue »");
  layout->addWidget(next, 0, Qt::AlignRight);
  connect(next, &QPushButton::clicked, this, [this] {
    if (MayLeave()) accept();
  });
}

ContentFlags SelectSelectDialog::Choice() const { return {test_->isChecked(), gradebook_->isChecked()}; }

bool SelectSelectDialog::MayLeave() {
  if (gradebook_->isChecked() || test_->isChecked()) return true;
  ShowMessageBox("Please select an option.", kMbOkOnly);
  return false;
}

void SelectSelectDialog::closeEvent(QCloseEvent* event) {
  if (MayLeave()) {
    QDialog::closeEvent(event);
  } else {
    event->ignore();
  }
}

void SelectSelectDialog::reject() {
  if (MayLeave()) QDialog::reject();
}

void SelectSelectDialog::ShowForm() {
  const ContentFlags flags = CustomStartFlags(Settings().AppPath, CurrentContentFlags());
  SetContentFlags(flags);
  if (!AsksForContent(flags)) return;
  SelectSelectDialog dialog;
  dialog.gradebook_->setChecked(true);
  dialog.test_->setChecked(true);
  dialog.adjustSize();
  CenterForm(dialog);
  ShowFormEx(dialog, true);
  SetContentFlags(dialog.Choice());
}

}  // namespace tolvarin::ui
