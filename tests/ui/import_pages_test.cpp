// The custom selection page, the import options page and the import preview on
// real widgets over a real course (answers to their boxes scripted).
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "core/settings.h"
#include "core/window_helpers.h"
#include "data/id_ranges.h"
#include "data/key_text.h"
#include "engine/modes/login.h"
#include "engine/pages/import_options.h"
#include "engine/pages/import_preview.h"
#include "engine/transfer/database_sets.h"
#include "engine/transfer/import_log.h"
#include "engine/transfer/row_copy.h"
#include "engine/transfer/table_mapping.h"
#include "engine/transfer/transfer_state.h"
#include "../engine/transfer/transfer_fixture.h"
#include "ui/forms.h"
#include "ui/import_windows.h"
#include "ui/select_page.h"
#include "ui_fixture.h"

namespace transfer_test {
namespace {

namespace fs = std::filesystem;
using namespace tolvarin;
using ui_testing::Shot;
using ui_testing::WhenModal;
using Ids = std::vector<std::int32_t>;

class PageTest : public TransferTest {
 protected:
  void SetUp() override {
    ui_testing::EnsureApplication();
    TransferTest::SetUp();
  }
  void TearDown() override {
    SetUserAccessLevel(0);
    CurrentUser() = {};
    PageResult() = 0;
    TransferTest::TearDown();
  }
  void OpenCourse(bool test, bool gradebook) {
    const auto& made = Shared();
    UseCourse(made.install);
    Settings().Operation = 1;
    Settings().Interactive = true;
    Settings().IncludeTestContent = test;
    Settings().IncludeGradebookContent = gradebook;
    SetUserAccessLevel(1);
    CurrentUser() = {FormatID(made.content.classes[0].userId), "TEACHER"};
    OpenSource(made.install.course);
  }
};

template <typename T>
T* Child(QWidget* w, const QString& name) {
  T* child = w->findChild<T*>(name);
  EXPECT_NE(child, nullptr) << name.toStdString();
  return child;
}

Ids VisibleSets(QWidget* w, int count) {
  Ids shown;
  for (int i = 0; i < count; ++i)
    if (Child<QWidget>(w, QStringLiteral("fraBackup_%1").arg(i))->isVisibleTo(w)) shown.push_back(i);
  return shown;
}

TEST_F(PageTest, TheCustomPageWalksItsSubPagesForEachContentChoice) {
  struct Case {
    bool test, gradebook;
    const char* name;
    std::vector<Ids> pages;  // the sets each sub-page shows
  };
  const Case cases[] = {{true, false, "test", {{0, 1}}},
                        {false, true, "gradebook", {{0, 1}, {2, 3, 4}}},
                        {true, true, "both", {{0, 1}, {3, 4}, {2, 5}}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OpenCourse(c.test, c.gradebook);
    ui::SelectPage page;
    std::vector<Ids> seen;
    bool left = false;
    std::function<void(QWidget*)> step = [&](QWidget* w) {
      const int sets = static_cast<int>(ListKindsFor(c.test, c.gradebook).size());
      seen.push_back(VisibleSets(w, sets));
      EXPECT_FALSE(Child<QLabel>(w, QStringLiteral("lblInstructions"))->text().isEmpty());
      Shot(*w, std::string("select-") + c.name + "-" + std::to_string(seen.size() - 1));
      EXPECT_LE(w->width(), ui::WorkAreaWidthPixels());
      if (seen.size() < c.pages.size()) {
        Child<QPushButton>(w, QStringLiteral("cmdContinue"))->click();
        QTimer::singleShot(0, [&, w] { step(w); });
      } else {
        left = true;
        // Back through every sub-page leaves the page with -1.
        for (std::size_t i = 0; i < c.pages.size(); ++i) Child<QPushButton>(w, QStringLiteral("cmdBack"))->click();
      }
    };
    WhenModal(step);
    EXPECT_EQ(ui::ShowFormModal(page), -1);
    EXPECT_TRUE(left);
    EXPECT_EQ(seen, c.pages);
    UninitSrc();
  }
}

TEST_F(PageTest, ClicksOnTheListsFollowTheRulesAndTheLastContinueHandsOver) {
  OpenCourse(true, true);
  const auto& content = Shared().content;
  const std::int32_t klass = content.classes[0].id;
  int students = 0;
  for (const auto& s : content.students) students += s.classId == klass;
  ui::SelectPage page;
  WhenModal([&](QWidget* w) {
    auto* classes = Child<QListWidget>(w, QStringLiteral("lstBackup_0"));
    EXPECT_EQ(Child<QLabel>(w, QStringLiteral("lblBackupCaption_0"))->text(), QStringLiteral("Classes to back up:"));
    EXPECT_EQ(classes->item(0)->data(Qt::UserRole).toInt(), klass);
    QTest::mouseClick(classes->viewport(), Qt::LeftButton, {}, classes->visualItemRect(classes->item(0)).center());
    EXPECT_TRUE(classes->item(0)->isSelected());
    EXPECT_EQ(Child<QLabel>(w, QStringLiteral("lblSelectedValue_1"))->text(), QString::number(students));
    EXPECT_EQ(Child<QListWidget>(w, QStringLiteral("lstBackup_1"))->selectedItems().size(), students);
    Shot(*w, "select-both-class-chosen");
    Child<QPushButton>(w, QStringLiteral("cmdContinue"))->click();
    Child<QPushButton>(w, QStringLiteral("cmdContinue"))->click();
    // The questions set takes a typed identifier.
    auto* typed = Child<QLineEdit>(w, QStringLiteral("txtEnterID_5"));
    EXPECT_TRUE(typed->isVisibleTo(w));
    EXPECT_EQ(w->findChild<QLineEdit*>(QStringLiteral("txtEnterID_4")), nullptr);
    auto* questions = Child<QListWidget>(w, QStringLiteral("lstBackup_5"));
    typed->setText(questions->item(2)->data(Qt::UserRole).toString());
    QTest::keyClick(typed, Qt::Key_Return);
    EXPECT_TRUE(questions->item(2)->isSelected());
    Child<QPushButton>(w, QStringLiteral("cmdSelectAll_5"))->click();
    EXPECT_EQ(Child<QLabel>(w, QStringLiteral("lblSelectedValue_5"))->text(), QString::number(questions->count()));
    Child<QPushButton>(w, QStringLiteral("cmdInvert_5"))->click();
    EXPECT_EQ(questions->selectedItems().size(), 0);
    Child<QPushButton>(w, QStringLiteral("cmdContinue"))->click();
  });
  EXPECT_EQ(ui::ShowFormModal(page), 1);
  EXPECT_EQ(Mapping(kClassesTable).SelectedIDs, Ids{klass});
  EXPECT_EQ(static_cast<int>(Mapping(kStudentsTable).SelectedIDs.size()), students);
  EXPECT_TRUE(presenter_->Shown().empty());
}

TEST_F(PageTest, TheOptionsPageAsksOnceOnAForwardArrivalAndPassesOn) {
  for (const char* answer : {"Yes", "No"}) {
    presenter_->Push(answer);
    ui::RestoreOptionsPage page;
    PageResult() = 1;
    bool shot = false;
    // The page is on screen while its question is asked.
    QTimer::singleShot(0, [&] {
      if (QWidget* w = QApplication::activeModalWidget()) {
        Shot(*w, "restore-options");
        shot = Child<QCheckBox>(w, QStringLiteral("chkClassification"))->text() ==
               QStringLiteral(" Do not import classification tree");
      }
    });
    EXPECT_EQ(ui::ShowFormModal(page), 1);
    EXPECT_TRUE(shot);
    EXPECT_EQ(Transfer().ImportClassification, std::string(answer) == "Yes");
    EXPECT_FALSE(Transfer().KeepUserIDs);
  }
  EXPECT_EQ(presenter_->Shown().size(), 2u);
  // Back from the file page: it passes back at once without asking.
  ui::RestoreOptionsPage page;
  PageResult() = -1;
  EXPECT_EQ(ui::ShowFormModal(page), -1);
  EXPECT_EQ(presenter_->Shown().size(), 2u);
}

TEST_F(PageTest, ThePreviewListsTheArrivingRowsAndOnlyContinueGoesOnAndLogs) {
  course_maker::MadeCourse made;
  const std::string dest = MapImport(150, made);
  Settings().OfficeMode = 1;
  const std::string log = GetImportLogPath();
  struct Case {
    const char* how;
    bool ok;
  };
  for (const Case& c : {Case{"cancel", false}, Case{"close", false}, Case{"continue", true}}) {
    SCOPED_TRACE(c.how);
    presenter_->Push("Ms Smith");
    ui::ResultsWindow window;
    WhenModal([&](QWidget* w) {
      EXPECT_EQ(w->windowTitle(), QStringLiteral("Results"));
      EXPECT_EQ(Child<QLabel>(w, QStringLiteral("lblMessage"))->text().toStdString(), PreviewMessage());
      EXPECT_EQ(Child<QListWidget>(w, QStringLiteral("lstMappedQuests"))->count(),
                static_cast<int>(MappedQuestionLines().size()));
      for (int i = 0; i < 5; ++i) {
        auto* list = Child<QListWidget>(w, QStringLiteral("lstImported_%1").arg(i));
        ASSERT_EQ(list->count(), static_cast<int>(ImportedItems(i).size()));
        ASSERT_GT(list->count(), 0);
        EXPECT_EQ(list->item(0)->text().toStdString(), PreviewItemText(ImportedItems(i)[0]));
      }
      Shot(*w, "preview");
      if (std::string(c.how) == "cancel") Child<QPushButton>(w, QStringLiteral("cmdCancel"))->click();
      if (std::string(c.how) == "close") w->close();
      if (std::string(c.how) == "continue") Child<QPushButton>(w, QStringLiteral("cmdContinue"))->click();
    });
    bool ok = !c.ok;
    window.ShowPreview(ok);
    EXPECT_EQ(ok, c.ok);
    EXPECT_EQ(fs::exists(log), c.ok);
  }
  EXPECT_NE(testing_support::ReadFile(log).find("Imported by: Ms Smith\r\n"), std::string::npos);
}

}  // namespace
}  // namespace transfer_test
