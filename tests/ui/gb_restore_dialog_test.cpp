// The gradebook's restore-point dialog: its panel rules without widgets, then the
// real dialog over real tables and backups.
#include "ui/gb_restore_dialog.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "core/files.h"
#include "dialog_tables.h"
#include "engine/modes/precision_backup.h"
#include "ui/elastic_panel.h"

namespace fs = std::filesystem;

namespace {

using namespace tolvarin;
using namespace tolvarin::ui;
using ui_testing::Shot;
using ui_testing::WhenModal;

TEST(GBRestoreRules, PanelsFollowTheButtonsAndOnlyAFullRestoreGoesOn) {
  using P = GBRestorePanel;
  using B = GBRestoreButton;
  struct Case {
    P shown;
    B pressed;
    int type;
    P next;
  } cases[] = {
      {P::RestoreType, B::RestoreTypeNext, kFullRestore, P::ChooseBackup},
      {P::RestoreType, B::RestoreTypeNext, kRecoverSpecificData, P::RestoreType},
      {P::ChooseBackup, B::ChooseBack, kFullRestore, P::RestoreType},
      {P::ChooseBackup, B::ChooseNext, kFullRestore, P::ChooseCourse},
      {P::ChooseCourse, B::RestoreBack, kFullRestore, P::ChooseBackup},
      {P::ChooseCourse, B::ChooseNext, kFullRestore, P::ChooseCourse},  // a button of a hidden panel
  };
  for (const Case& c : cases) EXPECT_EQ(PanelAfter(c.shown, c.pressed, c.type), c.next);

  struct Allowed {
    int index, count, checked;
    bool allowed;
  } allowed[] = {{0, 1, 1, true}, {2, 3, 2, true}, {-1, 0, 1, false}, {0, 1, 0, false}, {1, 1, 1, false}};
  for (const Allowed& a : allowed) EXPECT_EQ(RestoreAllowed(a.index, a.count, a.checked), a.allowed) << a.index;
  EXPECT_EQ(RestoreQuestion("2026-12-01 10:00:00"),
            "You are about to restore the database to its state on 2026-12-01 10:00:00. All changes made since "
            "then will be lost. Are you sure you want to continue?");
}

class GBRestoreDialogTest : public ui_testing::DialogTablesTest {
 protected:
  // A precision backup of both students of the brand folder.
  void Backup(const std::string& name) const {
    const fs::path folder = root_ / "Backup" / name;
    fs::create_directories(folder);
    testing_support::WriteFile(folder / "backupprofile.xml",
                               "<CourseBackupProfile><Path>" + brand_.string() +
                                   "/</Path><TableBackupProfile><Name>students</Name><Tag>student_id</Tag>"
                                   "<ID>0000001</ID><ID>0000002</ID></TableBackupProfile></CourseBackupProfile>");
    ASSERT_EQ(RunPrecisionBackup(folder.string(), blank_.string()).Skipped, 0);
  }
  static QPushButton* ButtonOf(QWidget& w, const char* name) {
    return w.findChild<QPushButton*>(QString::fromLatin1(name));
  }
  static bool Visible(QWidget& w, const char* panel) {
    return w.findChild<ElasticPanel*>(QString::fromLatin1(panel))->isVisible();
  }
};

TEST_F(GBRestoreDialogTest, PanelsListsAndTheRestoreWithItsQuestion) {
  Backup("GradebookBackup1");
  gradebook_testing::AddRows(brand_ / "students.dbf", {{{"student_id", "0000003"}, {"last_name", "Cruz"}}});
  Backup("GradebookBackup2");
  fs::create_directories(root_ / "Backup" / "GradebookBackup3 copy");  // not an increment
  GBRestoreDialog dialog(root_.string(), brand_.string(), GradebookRestoreTargets(brand_.string()));
  dialog.show();
  QTest::qWait(20);
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Corvane Backup Restore"));
  EXPECT_TRUE(Visible(dialog, "vseRestoreType"));
  EXPECT_FALSE(Visible(dialog, "vseChooseBackup"));
  EXPECT_FALSE(dialog.findChild<QRadioButton*>(QStringLiteral("optRestoreType_1"))->isEnabled());
  Shot(dialog, "gbrestore-type");

  ButtonOf(dialog, "cmdRestoreTypeNext")->click();
  EXPECT_TRUE(Visible(dialog, "vseChooseBackup"));
  auto* backups = dialog.findChild<QComboBox*>(QStringLiteral("cboBackups"));
  ASSERT_EQ(backups->count(), 2);
  EXPECT_EQ(backups->currentIndex(), 1);  // the last
  Shot(dialog, "gbrestore-backup");
  ButtonOf(dialog, "cmdChooseBack")->click();
  EXPECT_TRUE(Visible(dialog, "vseRestoreType"));
  ButtonOf(dialog, "cmdRestoreTypeNext")->click();
  ButtonOf(dialog, "cmdChooseNext")->click();
  EXPECT_TRUE(Visible(dialog, "vseChooseCourse"));

  auto* courses = dialog.findChild<QListWidget*>(QStringLiteral("lstCourses"));
  ASSERT_EQ(courses->count(), 2);
  EXPECT_EQ(courses->item(0)->text(), QStringLiteral("Students \\ Teachers"));
  EXPECT_EQ(courses->item(0)->data(Qt::UserRole).toLongLong(), -1);
  EXPECT_EQ(courses->item(1)->text(), QStringLiteral("Algebra"));
  EXPECT_EQ(courses->item(1)->data(Qt::UserRole).toLongLong(), 2001);
  QPushButton* restore = ButtonOf(dialog, "cmdRestore");
  EXPECT_FALSE(restore->isEnabled());
  // A click on an entry ticks it, a second one clears it.
  const QRect first = courses->visualItemRect(courses->item(0));
  QTest::mouseClick(courses->viewport(), Qt::LeftButton, {}, first.center());
  EXPECT_EQ(courses->item(0)->checkState(), Qt::Checked);
  EXPECT_TRUE(restore->isEnabled());
  const QRect second = courses->visualItemRect(courses->item(1));
  QTest::mouseClick(courses->viewport(), Qt::LeftButton, {}, second.center());
  QTest::qWait(QApplication::doubleClickInterval() + 50);  // two clicks, not a double click
  QTest::mouseClick(courses->viewport(), Qt::LeftButton, {}, second.center());
  EXPECT_EQ(courses->item(1)->checkState(), Qt::Unchecked);
  Shot(dialog, "gbrestore-courses");

  // Backup 1, after a change: declining changes nothing and shows nothing more.
  backups->setCurrentIndex(0);
  gradebook_testing::AddRows(brand_ / "students.dbf", {{{"student_id", "0000004"}, {"last_name", "Dunn"}}});
  const std::vector<std::string> before = Students();
  int boxes = 0;
  WhenModal([&](QWidget* w) {
    ++boxes;
    EXPECT_NE(w->findChild<QLabel*>(QStringLiteral("lblMessage"))->text().indexOf(backups->itemText(0)), -1);
    Shot(*w, "gbrestore-question");
    w->findChild<QPushButton*>(QStringLiteral("btnButton_2"))->click();
  });
  restore->click();
  EXPECT_EQ(boxes, 1);
  EXPECT_EQ(Students(), before);
  EXPECT_FALSE(FileExists((root_ / "Backup" / "RestorePoint1.zip").string()));

  QString closing;
  WhenModal([&](QWidget* w) {
    WhenModal([&](QWidget* done) {
      closing = done->findChild<QLabel*>(QStringLiteral("lblMessage"))->text();
      done->findChild<QPushButton*>(QStringLiteral("btnButton_1"))->click();
    }, w);
    w->findChild<QPushButton*>(QStringLiteral("btnButton_1"))->click();
  });
  restore->click();
  QTest::qWait(50);
  EXPECT_EQ(closing, QStringLiteral("Your databases have been restored. "));
  EXPECT_EQ(Students(), (std::vector<std::string>{"0000001|Abel", "0000002|Baker"}));
  EXPECT_TRUE(FileExists((root_ / "Backup" / "RestorePoint1.zip").string()));
}

}  // namespace
