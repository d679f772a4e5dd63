// The recovery chooser, the remap-options dialog, the migration chooser and the
// folder prompt on real windows (offscreen).
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "core/chooser_windows.h"
#include "core/ini_file.h"
#include "core/scripted_presenter.h"
#include "core/settings.h"
#include "core/window_helpers.h"
#include "data/catalogue.h"
#include "support/test_support.h"
#include "ui/migrate_window.h"
#include "ui/office_window.h"
#include "ui/qt_text.h"
#include "ui_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace tolvarin;
using testing_support::WriteFile;
using ui_testing::Shot;
using ui_testing::WhenModal;

template <typename T>
T* Find(QWidget* w, const char* name) {
  T* found = w->findChild<T*>(QString::fromLatin1(name));
  EXPECT_NE(found, nullptr) << name;
  return found;
}

// An installation's catalogue: an area with Biology (slots 1 to 4, slot 4 without a
// time), Chemistry (no backups) and an empty slot between them.
class ChooserTest : public ui_testing::WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    settings_ = Settings();
    paths_ = Paths();
    const std::string root = dir_.str() + "/Kestal/Databases";
    Settings().AppPath = dir_.str() + "/Kestal";
    Paths().DatabasesRoot = root;
    Paths().Brand = "Corvane";
    Paths().BrandFolder = root + "/Corvane";
    Paths().BackupPath = "";
    AreaRecord area;
    area.Name = "Science";
    area.Path = root + "/Corvane/Science";
    for (auto [slot, name] : {std::pair{2, "Biology"}, std::pair{5, "Chemistry"}}) {
      CourseRecord& course = area.Courses[static_cast<size_t>(slot)];
      course.Loaded = true;
      course.DisplayName = name;
      course.CourseID = static_cast<std::int16_t>(slot);
      course.Path = area.Path + "/" + name;
      fs::create_directories(course.Path);
    }
    SetCurrentArea(area);
    SetCurrentCourse(area.Courses[5]);
    slots_ = root + "/Backup/Corvane/Science/Biology";
    const char* times[] = {"2026-12-01 09:00:00", "2026-12-05 09:00:00", "2026-12-09 09:00:00"};
    for (int n = 1; n <= 3; ++n) {
      fs::create_directories(slots_ + "/" + std::to_string(n));
      WriteFile(slots_ + "/" + std::to_string(n) + "/TOLVARIN.INI",
                std::string("[Tolvarin]\r\nType=DirectCopy\r\nCreated=") + times[n - 1] + "\r\n");
    }
    fs::create_directories(slots_ + "/4");
    WriteFile(slots_ + "/4/TOLVARIN.INI", "[Tolvarin]\r\nType=DirectCopy\r\n");
    WriteFile(slots_ + "/4/quests.dbf", "tables without a time");
  }
  void TearDown() override {
    SetCurrentCourse(CourseRecord());
    SetCurrentArea(AreaRecord());
    Settings() = settings_;
    Paths() = paths_;
    WindowTest::TearDown();
  }
  testing_support::TempDir dir_;
  std::string slots_;

 private:
  RunSettings settings_;
  RunPaths paths_;
};

using RecoverChooser = ChooserTest;

TEST_F(RecoverChooser, ListsTheBackupsPreselectsTheNewestAndRecoversOnYes) {
  bool asked = false;
  WhenModal([&](QWidget* w) {
    EXPECT_EQ(w->objectName(), QStringLiteral("frmRecover"));
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Auto-Backup Recovery"));
    EXPECT_EQ(PageResult(), 2);
    auto* courses = Find<QListWidget>(w, "lstCourses");
    auto* backups = Find<QListWidget>(w, "lstBackups");
    auto* recover = Find<QPushButton>(w, "cmdRecover");
    auto* path = Find<QLabel>(w, "lblBackupPath");
    ASSERT_EQ(courses->count(), 2);  // loaded slots only
    EXPECT_EQ(courses->item(1)->text(), QStringLiteral("Chemistry"));
    EXPECT_EQ(courses->item(1)->data(Qt::UserRole).toInt(), 5);
    EXPECT_FALSE(recover->isEnabled());
    EXPECT_EQ(path->text(), QStringLiteral("Backup Path: ..."));

    courses->setCurrentRow(1);  // a course without backups
    EXPECT_EQ(backups->count(), 0);
    EXPECT_FALSE(recover->isEnabled());
    EXPECT_TRUE(path->text().endsWith(QStringLiteral("/Science/Chemistry/...")));

    courses->setCurrentRow(0);
    ASSERT_EQ(backups->count(), 3);  // slot 4 has no time
    EXPECT_EQ(backups->item(2)->text(), QStringLiteral("Auto-Backup 3 - Wednesday, December 9, 2026 at 9:00:00 AM"));
    EXPECT_EQ(backups->currentRow(), 2);
    EXPECT_TRUE(recover->isEnabled());
    EXPECT_EQ(path->text(), ui::Q("Backup Path: " + slots_ + "/3"));
    EXPECT_EQ(Paths().BackupPath, slots_ + "/3");
    EXPECT_EQ(CurrentCourse().DisplayName, "Biology");
    Shot(*w, "recover-chooser");
    backups->setCurrentRow(0);
    EXPECT_EQ(Paths().BackupPath, slots_ + "/1");

    WhenModal(
        [&](QWidget* box) {
          auto* question = qobject_cast<QMessageBox*>(box);
          ASSERT_NE(question, nullptr);
          EXPECT_TRUE(question->text().startsWith(QStringLiteral("You are about to recover Biology Auto-Backup 1, ")));
          EXPECT_EQ(question->icon(), QMessageBox::Warning);
          Shot(*box, "recover-question");
          Find<QPushButton>(box, "btnButton_2")->click();  // No
          WhenModal(
              [&](QWidget* again) {
                asked = true;
                Find<QPushButton>(again, "btnButton_1")->click();  // Yes
              },
              w);
          // No keeps the chooser open; the second press asks again.
          QTimer::singleShot(50, recover, [recover] { recover->click(); });
        },
        w);
    recover->click();
  });
  EXPECT_EQ(ShowRecoverChooser(), 1);
  EXPECT_TRUE(asked);
  EXPECT_EQ(Paths().BackupPath, slots_ + "/1");
  EXPECT_EQ(CurrentCourse().DisplayName, "Biology");
}

TEST_F(RecoverChooser, BackOrTheCloseBoxLeavesTheRunAsItWas) {
  for (bool viaBack : {true, false}) {
    WhenModal([&](QWidget* w) {
      Find<QListWidget>(w, "lstCourses")->setCurrentRow(0);
      EXPECT_EQ(CurrentCourse().DisplayName, "Biology");
      if (viaBack)
        Find<QPushButton>(w, "cmdBack")->click();
      else
        w->close();
    });
    EXPECT_EQ(ShowRecoverChooser(), 2) << viaBack;
    EXPECT_EQ(CurrentCourse().DisplayName, "Chemistry");
    EXPECT_EQ(Paths().BackupPath, "");
  }
}

using OfficeDialog = ChooserTest;

TEST_F(OfficeDialog, ShowsTheCurrentChoiceRefusesBadNumbersAndWritesTheKeys) {
  const std::string ini = Settings().AppPath + "/Kestal.INI";
  WriteFile(ini, "[Tolvarin]\r\nOffice=TRUE\r\nRangeStart=20000\r\nRangeEnd=29999\r\n");
  Settings().ImportMode = 5;
  int refusals = 0;
  WhenModal([&](QWidget* w) {
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Office Tolvarin"));
    auto* offset = Find<QRadioButton>(w, "optMode_2");
    EXPECT_TRUE(offset->isChecked());
    EXPECT_EQ(offset->text(), QStringLiteral("Remap with Offset"));
    EXPECT_EQ(Find<QLineEdit>(w, "txtStart")->text(), QStringLiteral("20000"));
    EXPECT_EQ(Find<QLineEdit>(w, "txtExamID")->text(), QString());
    Shot(*w, "office-dialog");
    Find<QRadioButton>(w, "optMode_1")->click();
    Find<QLineEdit>(w, "txtEnd")->setText(QStringLiteral("19999"));  // below the start
    auto* ok = Find<QPushButton>(w, "cmdOK");
    WhenModal(
        [&, ok](QWidget* box) {
          ++refusals;
          EXPECT_EQ(qobject_cast<QMessageBox*>(box)->text(), QStringLiteral("Range Start must not be above Range End."));
          QTest::keyClick(box, Qt::Key_Escape);
          QTimer::singleShot(20, w, [w, ok] {
            EXPECT_TRUE(w->isVisible());  // stays open
            Find<QLineEdit>(w, "txtEnd")->setText(QStringLiteral("39999"));
            ok->click();
          });
        },
        w);
    ok->click();
  });
  ui::ShowOfficeDialog();
  EXPECT_EQ(refusals, 1);
  EXPECT_EQ(Settings().ImportMode, 4);
  EXPECT_EQ(IniReadString(ini, "Tolvarin", "SpecialMode"), "RemapToRange");
  EXPECT_EQ(IniReadString(ini, "Tolvarin", "RangeEnd"), "39999");
  EXPECT_EQ(IniReadString(ini, "Tolvarin", "Office"), "TRUE");

  // Closed without OK: nothing changes.
  const std::string before = testing_support::ReadFile(ini);
  WhenModal([](QWidget* w) {
    Find<QRadioButton>(w, "optMode_4")->click();
    w->close();
  });
  ui::ShowOfficeDialog();
  EXPECT_EQ(Settings().ImportMode, 4);
  EXPECT_EQ(testing_support::ReadFile(ini), before);
}

using MigrateChooser = ChooserTest;

TEST_F(MigrateChooser, TargetPathCourseAndOkGiveTheTargetCourseFolder) {
  Paths().BackupPath = "/earlier";
  WhenModal([&](QWidget* w) {
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Migrate Content"));
    auto* path = Find<QLineEdit>(w, "txtKestalPath");
    auto* courses = Find<QListWidget>(w, "lstCourses");
    auto* ok = Find<QPushButton>(w, "cmdOK");
    EXPECT_EQ(path->text(), ui::Q(Settings().AppPath));
    ASSERT_EQ(courses->count(), 2);
    EXPECT_FALSE(ok->isEnabled());
    Shot(*w, "migrate-chooser");
    // The folder prompt: Cancel keeps the path, OK takes the typed one.
    WhenModal(
        [&](QWidget* prompt) {
          EXPECT_EQ(prompt->objectName(), QStringLiteral("frmFolderChooser"));
          EXPECT_EQ(Find<QLabel>(prompt, "lblPrompt")->text(), QStringLiteral("Target Kestal Path"));
          Find<QLineEdit>(prompt, "txtFolderPath")->setText(QStringLiteral("/typed/but/cancelled"));
          Shot(*prompt, "folder-prompt");
          Find<QPushButton>(prompt, "cmdCancel")->click();
          QTimer::singleShot(20, w, [&, w, path, courses, ok] {
            EXPECT_EQ(path->text(), ui::Q(Settings().AppPath));
            WhenModal(
                [&](QWidget* again) {
                  Find<QLineEdit>(again, "txtFolderPath")->setText(QStringLiteral("/new/Kestal"));
                  Find<QPushButton>(again, "cmdOK")->click();
                  QTimer::singleShot(20, w, [path, courses, ok] {
                    EXPECT_EQ(path->text(), QStringLiteral("/new/Kestal"));
                    courses->setCurrentRow(0);
                    EXPECT_TRUE(ok->isEnabled());
                    ok->click();
                  });
                },
                w);
            QTest::mouseClick(path, Qt::LeftButton);
          });
        },
        w);
    QTest::mouseClick(path, Qt::LeftButton);
  });
  ui::InstallMigrateChooser();
  const std::string folder = ShowSelectCourse();
  EXPECT_EQ(folder, "/new/Kestal/Databases/Corvane/Science/Biology");
  EXPECT_EQ(Paths().BackupPath, folder);
}

TEST_F(MigrateChooser, TheCloseBoxCancelsEvenAfterAChoice) {
  Paths().BackupPath = "/earlier";
  WhenModal([](QWidget* w) {
    Find<QListWidget>(w, "lstCourses")->setCurrentRow(1);
    w->close();
  });
  ui::InstallMigrateChooser();
  EXPECT_EQ(ShowSelectCourse(), "");
  EXPECT_EQ(Paths().BackupPath, "/earlier");
}

using FolderPrompt = ui_testing::WindowTest;

TEST_F(FolderPrompt, BrowseReplacesTheTextOnlyWithAChoice) {
  auto scripted = std::make_unique<ScriptedPresenter>(std::vector<std::string>{"", "/picked"});
  ScriptedPresenter* answers = scripted.get();
  auto saved = SetPresenter(std::move(scripted));
  WhenModal([](QWidget* w) {
    auto* browse = Find<QPushButton>(w, "cmdBrowse");
    browse->click();  // cancelled: the text stays
    EXPECT_EQ(Find<QLineEdit>(w, "txtFolderPath")->text(), QStringLiteral("/start"));
    browse->click();
    Find<QPushButton>(w, "cmdOK")->click();
  });
  ui::FolderChooserWindow prompt;
  EXPECT_EQ(prompt.ShowPrompt("Where?", "/start"), "/picked");
  ASSERT_EQ(answers->Shown().size(), 2u);
  EXPECT_EQ(answers->Shown()[0].box.title, "Where?");
  EXPECT_EQ(answers->Shown()[0].box.text, "/start");
  SetPresenter(std::move(saved));
}

}  // namespace
