// The repair dialog over real tables: its selection rule, the listing, the
// selection message and a repair with its summary and safety copies.
#include "ui/repair_dialog.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include "core/files.h"
#include "dialog_tables.h"
#include "ui/repair_rules.h"

namespace fs = std::filesystem;

namespace {

using namespace tolvarin;
using namespace tolvarin::ui;
using ui_testing::Shot;
using ui_testing::WhenModal;

TEST(RepairRules, AllTakesEveryListedFileSelectedOnlyTheChosenOnes) {
  const std::vector<std::string> listed{"a.dbf", "B.DBF", "c.dbf"};
  EXPECT_EQ(FilesToRepair(listed, {false, true, true}, false), (std::vector<std::string>{"B.DBF", "c.dbf"}));
  EXPECT_EQ(FilesToRepair(listed, {false, false, false}, true), listed);
  EXPECT_TRUE(FilesToRepair(listed, {}, false).empty());
  EXPECT_TRUE(FilesToRepair({}, {}, true).empty());
}

using RepairDialogTest = ui_testing::DialogTablesTest;

// The text of the next box, answered with its first button.
QString NextBoxText(const std::function<void()>& press, const std::string& shot = "") {
  QString text;
  WhenModal([&](QWidget* w) {
    text = w->findChild<QLabel*>(QStringLiteral("lblMessage"))->text();
    if (!shot.empty()) Shot(*w, shot);
    w->findChild<QPushButton*>(QStringLiteral("btnButton_1"))->click();
  });
  press();
  QTest::qWait(20);
  return text;
}

TEST_F(RepairDialogTest, ListsTheLocationsAndFilesAndRepairsWithSafetyCopies) {
  testing_support::WriteFile(brand_ / "NOTES.DBF.txt", "");
  fs::copy_file(brand_ / "students.dbf", brand_ / "OLD.DBF");
  RepairDialog dialog(RepairLocations(brand_.string()), root_.string());
  dialog.show();
  QTest::qWait(20);
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Repair Corrupted Data"));
  auto* locations = dialog.findChild<QListWidget*>(QStringLiteral("lstDBLoc"));
  auto* files = dialog.findChild<QListWidget*>(QStringLiteral("lstDatabaseFiles"));
  ASSERT_EQ(locations->count(), 2);
  EXPECT_EQ(locations->item(0)->text(), QStringLiteral("Users"));
  EXPECT_EQ(locations->item(1)->text(), QStringLiteral("Math\\Algebra"));
  auto* repair = dialog.findChild<QPushButton*>(QStringLiteral("cmdRepair"));
  auto* repairAll = dialog.findChild<QPushButton*>(QStringLiteral("cmdRepairAll"));

  // Nothing chosen yet: the selection message.
  EXPECT_EQ(NextBoxText([&] { repair->click(); }, "repair-select"), QStringLiteral("Please select one or more files."));

  // A course folder without tables lists nothing; Repair All only closes.
  locations->setCurrentRow(1);
  EXPECT_EQ(files->count(), 0);
  EXPECT_EQ(NextBoxText([&] { repairAll->click(); }), QStringLiteral("Finished processing selected tables."));

  locations->setCurrentRow(0);
  ASSERT_EQ(files->count(), 2);
  EXPECT_EQ(files->item(0)->text(), QStringLiteral("OLD.DBF"));
  EXPECT_EQ(files->item(1)->text(), QStringLiteral("students.dbf"));
  files->item(1)->setSelected(true);
  Shot(dialog, "repair-dialog");
  const std::vector<std::uint8_t> before = ReadFileBytes((brand_ / "students.dbf").string());
  const QString summary = NextBoxText([&] { repair->click(); }, "repair-summary");
  EXPECT_TRUE(summary.startsWith(QStringLiteral("Finished processing selected tables.\n\nRepaired:\nstudents.dbf")))
      << summary.toStdString();
  EXPECT_EQ(Students(), (std::vector<std::string>{"0000001|Abel", "0000002|Baker"}));
  std::vector<fs::path> copies;
  for (const auto& entry : fs::recursive_directory_iterator(root_ / "Backup"))
    if (entry.path().filename() == "students.dbf") copies.push_back(entry.path());
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(copies[0].parent_path().filename(), "Corvane");
  EXPECT_EQ(ReadFileBytes(copies[0].string()), before);
  EXPECT_NE(summary.indexOf(QString::fromStdString(copies[0].parent_path().string())), -1);
}

}  // namespace
