// The main window and the export and import pages: their rules as plain functions,
// and the windows themselves with their controls, under the offscreen platform.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "core/settings.h"
#include "core/window_helpers.h"
#include "support/test_support.h"
#include "ui/backup_file_page.h"
#include "ui/backup_file_rules.h"
#include "ui/backup_type_page.h"
#include "ui/forms.h"
#include "ui/main_window.h"
#include "ui/page_slots.h"
#include "ui_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace tolvarin;
using namespace tolvarin::ui;
using ui_testing::Shot;
using ui_testing::WhenModal;

template <typename W>
W* Child(QWidget& window, const char* name) {
  return window.findChild<W*>(QString::fromLatin1(name));
}

TEST(PageSlots, ExportAndImportSlots) {
  using P = SequencePage;
  struct Case {
    int backupType;
    long importMode;
    P pages[4];
  } cases[] = {
      {1, 1, {P::BackupType, P::Skipped, P::BackupFile, P::Progress}},
      {2, 1, {P::BackupType, P::CustomSelection, P::BackupFile, P::Progress}},
      // A migration has no file page and ends after its progress window.
      {1, 6, {P::BackupType, P::Skipped, P::Progress, P::End}},
      {2, 6, {P::BackupType, P::CustomSelection, P::Progress, P::End}},
  };
  for (const Case& c : cases)
    for (int slot = 0; slot < kExportSlots; ++slot)
      EXPECT_EQ(ExportSlot(slot, c.backupType, c.importMode), c.pages[slot]) << c.backupType << c.importMode << slot;
  EXPECT_EQ(ImportSlot(0), P::ImportOptions);
  EXPECT_EQ(ImportSlot(1), P::BackupFile);
  EXPECT_EQ(ImportSlot(2), P::Progress);
}

TEST(BackupFileRules, NameAndPath) {
  struct Case {
    const char* folder;
    const char* typed;
    const char* path;
  } cases[] = {
      {"/home/t/Backup", "Algebra: week*1", "/home/t/Backup/Algebra week1.zip"},
      {"/home/t/Backup", "a\\b/c:d*e?f\"g<h>i|j+k", "/home/t/Backup/abcdefghijk.zip"},
      {"/home/t/Backup", "Old.ZIP", "/home/t/Backup/Old.ZIP"},  // no second extension, in any case
      {"/home/t/Backup/", "x", "/home/t/Backup/x.zip"},
      {"/", "root", "/root.zip"},  // one separator at the root
      {"/home/t", "   ", "/home/t/   "},  // a blank name gets no extension
      {"/home/t", "", "/home/t/"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(PackagePathFor(c.folder, CleanPackageName(c.typed)), c.path) << c.typed;

  EXPECT_EQ(ShowPath("/b/", "", true).label, "/b/(folder name)");
  EXPECT_FALSE(ShowPath("/b/", "", true).continueEnabled);
  EXPECT_TRUE(ShowPath("/b/x.zip", "x", true).continueEnabled);
  // An import may go on without a name: the unzip then finds nothing.
  EXPECT_EQ(ShowPath("/b/", "", false).label, "/b/");
  EXPECT_TRUE(ShowPath("/b/", "", false).continueEnabled);
}

// A name the import's file list would never show is refused before anything is written.
TEST(BackupFileRules, NamesThatMakeNoPackageAreRefused) {
  struct Case {
    const char* typed;
    bool refused;
  } cases[] = {
      {"   ", true}, {"", true}, {"/\\:", true},  // blank once cleaned
      {"../outside", true}, {".", true}, {"..", true}, {".hidden", true},  // hidden files
      {"Algebra", false}, {"Algebra 2.1", false}, {" .x", false}, {"week.1.zip", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(!PackageNameProblem(CleanPackageName(c.typed)).empty(), c.refused) << "\"" << c.typed << "\"";
}

TEST(BackupFileRules, ThePackagesOwner) {
  using O = PackageOwner;
  struct Case {
    bool found;
    const char* area;
    const char* course;
    O owner;
  } cases[] = {
      {false, "", "", O::NotValid},  // not a package, a failed unzip, no file chosen
      {true, "", "", O::Unnamed},    // an unattended backup names no course
      {true, "1", "3", O::ThisCourse},
      {true, " 1 ", "3", O::ThisCourse},
      {true, "1", "4", O::OtherCourse},
      {true, "2", "3", O::OtherCourse},
      {true, "1", "", O::NotValid},  // CourseID missing
      {true, "", "3", O::NotValid},
      {true, "-1", "3", O::NotValid},
      {true, "1", "3x", O::NotValid},  // only whole numbers
      {true, "1", "3.0", O::NotValid},
      {true, "1", "+3", O::NotValid},
      {true, "1", "40000", O::NotValid},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CheckPackageOwner(c.found, c.area, c.course, 1, 3), c.owner) << c.area << "/" << c.course;
}

TEST(BackupFileRules, FolderListAndPackageFiles) {
  testing_support::TempDir dir;
  fs::create_directories(dir.str() + "/b/Zeta");
  fs::create_directories(dir.str() + "/b/alpha");
  testing_support::WriteFile(dir.str() + "/b/one.zip", "");
  testing_support::WriteFile(dir.str() + "/b/TWO.ZIP", "");
  testing_support::WriteFile(dir.str() + "/b/three.txt", "");
  const FolderListing listing = ListFolder(dir.str() + "/b");
  ASSERT_GE(listing.entries.size(), 3u);
  EXPECT_EQ(listing.entries.front().name, "/");
  EXPECT_EQ(listing.entries[static_cast<size_t>(listing.open)].path, dir.str() + "/b");
  EXPECT_EQ(listing.entries[static_cast<size_t>(listing.open) + 1].name, "alpha");
  EXPECT_EQ(listing.entries.back().name, "Zeta");
  EXPECT_EQ(PackageFiles(dir.str() + "/b"), (std::vector<std::string>{"one.zip", "TWO.ZIP"}));
  EXPECT_EQ(ExistingFolderAtOrAbove(dir.str() + "/b/gone/deeper"), dir.str() + "/b");
}

using Pages = ui_testing::WindowTest;

TEST_F(Pages, TheMainWindowShowsWhoIsLoggedOnAndTheOfficeButtonOnlyInOfficeMode) {
  EXPECT_EQ(MainSubject("LATSEK", "Algebra", "/srv/Algebra"),
            "Logged on as user LATSEK to the Algebra database installed in \"/srv/Algebra\"");
  for (int office : {0, 1}) {
    Settings().OfficeMode = office;
    MainWindow window;
    window.show();
    QApplication::processEvents();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Corvane Backup/Restore and Import/Export System"));
    EXPECT_EQ(Child<QPushButton>(window, "cmdOffice")->isVisible(), office == 1);
    struct Caption {
      const char* name;
      const char* text;
    } captions[] = {{"cmdBackup", "&Export Content"},   {"cmdRestore", "&Import Content"},
                    {"cmdRecover", "Re&cover Content"}, {"cmdRepair", "Repair Corrupted Content"},
                    {"cmdLog", "Open Log"},             {"cmdClose", "Close"}};
    for (const Caption& c : captions) EXPECT_EQ(Child<QPushButton>(window, c.name)->text(), QString::fromUtf8(c.text));
    for (const char* label : {"lblBackup", "lblRestore", "Label1", "Label2", "lblInstructions", "lblSubject"}) {
      QLabel* l = Child<QLabel>(window, label);
      ASSERT_NE(l, nullptr) << label;
      // Nothing cut: the label has the height its wrapped text needs.
      EXPECT_GE(l->height(), l->heightForWidth(l->width())) << label;
    }
    Shot(window, office ? "main-window-office" : "main-window");
  }
  Settings().OfficeMode = 0;
}

TEST_F(Pages, TheBackupTypePageStartsWithNoChoiceMade) {
  BackupTypePage page;
  PageResult() = 1;
  page.show();
  QApplication::processEvents();
  EXPECT_EQ(PageResult(), -1);
  EXPECT_EQ(page.windowTitle(), QStringLiteral("Backup Type"));
  EXPECT_EQ(Child<QPushButton>(page, "cmdComplete")->text(), QStringLiteral("&Complete Backup"));
  EXPECT_EQ(Child<QPushButton>(page, "cmdCustom")->text(), QStringLiteral("C&ustom Backup"));
  EXPECT_EQ(Child<QPushButton>(page, "cmdBack")->text(), QStringLiteral("« Back"));
  Shot(page, "backup-type");
  Child<QPushButton>(page, "cmdBack")->click();
  EXPECT_FALSE(page.isVisible());
  EXPECT_EQ(PageResult(), -1);
}

TEST_F(Pages, TheContentDialogNeverLetsBothFamiliesGo) {
  SelectSelectDialog dialog;
  dialog.show();
  QApplication::processEvents();
  Child<QCheckBox>(dialog, "chkExportCor")->setChecked(false);
  Child<QCheckBox>(dialog, "chkExportKes")->setChecked(false);
  Shot(dialog, "content-choice");
  // Continue and the close box both ask again and keep the dialog open.
  for (int attempt = 0; attempt < 2; ++attempt) {
    bool asked = false;
    WhenModal([&](QWidget* w) {
      auto* box = dynamic_cast<QWidget*>(w);
      asked = box && box->findChild<QLabel*>(QStringLiteral("lblMessage")) &&
              box->findChild<QLabel*>(QStringLiteral("lblMessage"))->text() == QStringLiteral("Please select an option.");
      QTest::keyClick(w, Qt::Key_Escape);
    }, &dialog);
    if (attempt == 0)
      Child<QPushButton>(dialog, "cmdContinue")->click();
    else
      dialog.close();
    QTest::qWait(50);
    EXPECT_TRUE(asked) << attempt;
    EXPECT_TRUE(dialog.isVisible()) << attempt;
  }
  Child<QCheckBox>(dialog, "chkExportKes")->setChecked(true);
  Child<QPushButton>(dialog, "cmdContinue")->click();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.Choice(), (ContentFlags{true, false}));
}

TEST_F(Pages, TheBackupFilePageOfAnExportAndOfAnImport) {
  testing_support::TempDir dir;
  fs::create_directories(dir.str() + "/Backup");
  testing_support::WriteFile(dir.str() + "/Backup/old.zip", "");
  Settings().AppPath = dir.str();
  Paths().PackagePath.clear();
  Paths().BackupPath = dir.str() + "/Backup";
  Settings().Operation = 1;
  BackupFilePage page;
  page.show();
  QApplication::processEvents();
  EXPECT_EQ(PageResult(), -1);
  auto* name = Child<QLineEdit>(page, "txtName");
  auto* path = Child<QLabel>(page, "lblPath");
  auto* next = Child<QPushButton>(page, "cmdContinue");
  EXPECT_TRUE(name->isVisible());
  EXPECT_EQ(path->text().toStdString(), dir.str() + "/Backup/(folder name)");
  EXPECT_FALSE(next->isEnabled());
  QTest::keyClicks(name, "Alg:ebra*");
  EXPECT_EQ(name->text(), QStringLiteral("Algebra"));
  EXPECT_EQ(path->text().toStdString(), dir.str() + "/Backup/Algebra.zip");
  EXPECT_TRUE(next->isEnabled());
  Shot(page, "backup-file-export");
  // A click in the file list takes the file's name.
  auto* files = Child<QListWidget>(page, "fileList");
  ASSERT_EQ(files->count(), 1);
  emit files->itemClicked(files->item(0));
  EXPECT_EQ(path->text().toStdString(), dir.str() + "/Backup/old.zip");
  page.hide();

  Settings().Operation = 2;
  page.show();
  QApplication::processEvents();
  EXPECT_FALSE(name->isVisible());
  EXPECT_TRUE(next->isEnabled());
  Shot(page, "backup-file-import");
  page.hide();
}

}  // namespace
