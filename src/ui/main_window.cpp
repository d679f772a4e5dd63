#include "ui/main_window.h"

#include <optional>

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "core/run_log.h"
#include "core/settings.h"
#include "core/terminate.h"
#include "core/window_helpers.h"
#include "data/catalogue.h"
#include "engine/modes/auto_backup.h"
#include "engine/modes/login.h"
#include "ui/forms.h"
#include "ui/main_window_actions.h"
#include "ui/named_controls.h"
#include "ui/office_window.h"
#include "ui/qt_text.h"
#include "ui/repair_dialog.h"

namespace tolvarin::ui {
namespace {

QLabel* Label(QWidget* parent, const char* name, const char* text) {
  auto* label = new QLabel(QString::fromUtf8(text), parent);
  label->setObjectName(QString::fromLatin1(name));
  label->setWordWrap(true);
  return label;
}

}  // namespace

std::string MainSubject(const std::string& userName, const std::string& courseName, const std::string& coursePath) {
  return "Logged on as user " + userName + " to the " + courseName + " database installed in \"" + coursePath + "\"";
}

MainWindow::MainWindow(QWidget* parent) : ScriptedWindow(parent) {
  setObjectName(QStringLiteral("frmMain"));
  setWindowTitle(QString::fromLatin1(kMainCaption));
  auto* layout = new QGridLayout(this);
  layout->addWidget(Label(this, "lblInstructions",
                          "The Corvane Backup/Restore and Import/Export System lets you backup and restore user-made "
                          "questions and exams to an Corvane Backup File.  You can then burn this file to a disc to "
                          "back it up or to transfer it to another machine."),
                    0, 0, 1, 2);
  subject_ = Label(this, "lblSubject", "");
  layout->addWidget(subject_, 1, 0, 1, 2);
  struct Row {
    const char* button;
    const char* caption;
    const char* label;
    const char* text;
  } rows[] = {
      {"cmdBackup", "&Export Content", "lblBackup",
       "Backs up user-made questions and exams to an Corvane Backup File."},
      {"cmdRestore", "&Import Content", "lblRestore",
       "Restores user-made questions and exams from an Corvane Backup File."},
      {"cmdRecover", "Re&cover Content", "Label1",
       "Roll back your gradebook to a previous version, discarding all current data."},
      {"cmdRepair", "Repair Corrupted Content", "Label2",
       "Attempts to automatically correct certain files which may have been corrupted. "},
  };
  int line = 2;
  QPushButton* buttons[4] = {};
  for (const Row& row : rows) {
    QPushButton* button = NamedButton(this, row.button, row.caption);
    button->setMinimumWidth(190);
    buttons[line - 2] = button;
    layout->addWidget(button, line, 0);
    layout->addWidget(Label(this, row.label, row.text), line, 1);
    ++line;
  }
  QPushButton* log = NamedButton(this, "cmdLog", "Open Log");
  office_ = NamedButton(this, "cmdOffice", "Office Tools");
  QPushButton* close = NamedButton(this, "cmdClose", "Close");
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(log);
  bottom->addWidget(office_);
  bottom->addStretch(1);
  bottom->addWidget(close);
  layout->addLayout(bottom, line, 0, 1, 2);
  layout->setColumnStretch(1, 1);
  layout->setHorizontalSpacing(16);
  layout->setVerticalSpacing(12);
  setMinimumWidth(640);

  connect(buttons[0], &QPushButton::clicked, this, [this] {
    RunExportSequence();
    AfterRunEnded();
  });
  connect(buttons[1], &QPushButton::clicked, this, [this] {
    RunImportSequence();
    AfterRunEnded();
  });
  connect(buttons[2], &QPushButton::clicked, this, [this] {
    RunSettings& s = Settings();
    const long mode = s.Mode;
    s.Mode = 2;
    // Back or the close box of the chooser keeps the main window open; a recovery
    // that ran ends the run, failed unless its status is 0.
    const std::optional<int> status = DoRecover(false);
    s.Mode = mode;
    if (!status) return;
    EndRun(*status == 0 ? EndReason::Normal : EndReason::Failed);
    AfterRunEnded();
  });
  // The repair dialog over the main window, which stays open afterwards.
  connect(buttons[3], &QPushButton::clicked, this, [this] { ShowRepairCorruption(this); });
  connect(log, &QPushButton::clicked, this, [] { OpenRunLogInViewer(); });
  connect(office_, &QPushButton::clicked, this, [] { ShowOfficeDialog(); });
  connect(close, &QPushButton::clicked, this, [this] {
    EndRun(EndReason::Normal);
    AfterRunEnded();
  });
}

void MainWindow::Arrive() {
  office_->setVisible(Settings().OfficeMode == 1);
  subject_->setText(Q(MainSubject(CurrentUser().UserName, CurrentCourse().DisplayName, Paths().CoursePath)));
  adjustSize();
  CenterForm(*this);
}

void MainWindow::AfterRunEnded() { hide(); }

void InstallMainWindow() {
  SetMainWindowHook([] {
    MainWindow window;
    ShowFormEx(window, false);
  });
}

}  // namespace tolvarin::ui
