// The progress windows: the step window runs its operation on its first
// activation only, shows its texts, ignores Esc and the close box while it runs and
// closes itself; the bar window's arithmetic and when it shows and unloads.
#include <QApplication>
#include <QLabel>
#include <QTest>

#include "core/message_box.h"
#include "core/progress.h"
#include "core/settings.h"
#include "ui/progress_bar_model.h"
#include "ui/progress_windows.h"
#include "ui_fixture.h"

namespace {

using namespace tolvarin;
using ui_testing::Shot;
using ui_testing::WhenModal;

ui::QtProgress& Sink() { return dynamic_cast<ui::QtProgress&>(Progress()); }

class ProgressWindows : public ui_testing::WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    savedOperation_ = Settings().Operation;
  }
  void TearDown() override {
    Settings().Operation = savedOperation_;
    WindowTest::TearDown();
  }
  int savedOperation_ = 0;
};

TEST_F(ProgressWindows, PageRunsItsOperationOnceShowsItsLinesAndCloses) {
  Settings().Operation = 1;
  const ProgressPage page = ProgressPageFor(1, 1, "Biology", "/opt/host", "/tmp/out.zip", "");
  int runs = 0;
  RunProgressPage(page, [&] {
    ++runs;
    ui::Progress2Window* window = Sink().StepWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Backup Progress"));
    EXPECT_EQ(window->Label()->text(),
              QStringLiteral("Backing up content from Biology database installed in \"/opt/host\" to Corvane Backup "
                             "File \"/tmp/out.zip\""));
    NotifyPackagingProgress("QUESTION", "Copying table");
    EXPECT_TRUE(window->Label()->text().endsWith(QStringLiteral("\"/tmp/out.zip\"\n\nCopying table: QUESTION")));
    Shot(*window, "progress2-backup");
    // Esc and the close box do nothing while the operation runs.
    QTest::keyClick(window, Qt::Key_Escape);
    window->close();
    EXPECT_TRUE(window->isVisible());
    // A box in front and gone again: the window is activated again, and runs nothing.
    WhenModal([](QWidget* w) { QTest::keyClick(w->focusWidget() ? w->focusWidget() : w, Qt::Key_Return); }, window);
    ShowMessageBox("Overwrite?", 4);
    QTest::qWait(20);
    window->hide();
    window->show();
    QTest::qWait(20);
    EXPECT_EQ(window->Runs(), 1);
  });
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(Sink().StepWindow(), nullptr);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(ProgressWindows, ImportShowsOnlyTheMessageAndMigrationKeepsTheLine) {
  Settings().Operation = 2;
  RunProgressPage(ProgressPageFor(2, 1, "Biology", "/opt/host", "/tmp/in.zip", ""), [] {
    ui::Progress2Window* window = Sink().StepWindow();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Restore Progress"));
    NotifyPackagingProgress("QUESTION", "Copying table");
    EXPECT_EQ(window->Label()->text(),
              QStringLiteral("Restoring content to Biology database installed in \"/opt/host\" from Corvane Backup "
                             "File \"/tmp/in.zip\""));
    Shot(*window, "progress2-restore");
  });
  Settings().Operation = 1;
  RunProgressPage(ProgressPageFor(1, 6, "Biology", "/opt/host", "", "/srv/new"), [] {
    ui::Progress2Window* window = Sink().StepWindow();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Migration Progress"));
    EXPECT_EQ(window->Label()->text(), QString());
    // Once the target is chosen the window names it, and the copy's lines go below.
    NotifyOperationMessage("Migrating content from Biology to /srv/chosen.");
    NotifyPackagingProgress("QUESTION", "Copying table");
    EXPECT_TRUE(window->Label()->text().startsWith(QStringLiteral("Migrating content from Biology to /srv/chosen.")))
        << window->Label()->text().toStdString();
    Shot(*window, "progress2-migration");
  });
}

TEST_F(ProgressWindows, ExceptionOfTheOperationLeavesAfterTheWindowClosed) {
  EXPECT_THROW(RunProgressPage(ProgressPageFor(2, 1, "C", "/a", "/b", ""), [] { throw std::runtime_error("x"); }),
               std::runtime_error);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(ProgressWindows, StepTextsShowTheWindowByItself) {
  NotifyUpdateProgress("Databases/Corvane");
  ui::Progress2Window* window = Sink().StepWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isVisible());
  EXPECT_FALSE(window->isModal());
  EXPECT_EQ(window->SelfShownMark(), ui::kSelfShownMark);
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Progress"));
  EXPECT_EQ(window->Label()->text(), QStringLiteral("Processing tables in DATABASES/CORVANE folder"));
  NotifyUpdateProgress2("Creating database tables");
  EXPECT_EQ(window->Label()->text(), QStringLiteral("Creating database tables"));
  QTest::qWait(20);
  EXPECT_EQ(window->Runs(), 0);
  Shot(*window, "progress2-step");
  UnloadProgressWindows();
  QTest::qWait(10);
  EXPECT_EQ(Sink().StepWindow(), nullptr);
}

TEST_F(ProgressWindows, BarWindowShowsUntilItsEnd) {
  ShowProgressBar("Processing, please wait", 1, 4);
  ui::ProgressWindow* window = Sink().BarWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Corvane"));
  EXPECT_EQ(window->Message()->text(), QStringLiteral("Processing, please wait"));
  EXPECT_EQ(window->Model().barWidth, (window->Model().borderWidth - 200) / 4);
  Shot(*window, "progress-bar");
  // The user cannot close it; Esc does nothing.
  QTest::keyClick(window, Qt::Key_Escape);
  EXPECT_TRUE(window->isVisible());
  ShowProgressBar("", 4, 4);
  QTest::qWait(10);
  EXPECT_EQ(Sink().BarWindow(), nullptr);
  // Total 0: an empty bar, and the window unloads at once.
  ShowProgressBar("x", 0, 0);
  QTest::qWait(10);
  EXPECT_EQ(Sink().BarWindow(), nullptr);
  ShowProgessBarDbl("Half", 0.5);
  ASSERT_NE(Sink().BarWindow(), nullptr);
  EXPECT_TRUE(Sink().BarWindow()->isVisible());
  ShowProgessBarDbl("", 1.0);
  QTest::qWait(10);
  EXPECT_EQ(Sink().BarWindow(), nullptr);
}

TEST_F(ProgressWindows, WorkingBarMovesEveryTenthCall) {
  for (int i = 0; i < 9; ++i) UpdateFile("file" + std::to_string(i));
  ui::ProgressWindow* window = Sink().BarWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(window->isVisible());  // nine calls change only the message
  EXPECT_EQ(window->Message()->text(), QStringLiteral("file8"));
  ShowWorkingBar("Processing, please wait");
  EXPECT_TRUE(window->isVisible());
  Shot(*window, "progress-working");
  UnloadProgressWindows();
}

TEST(ProgressBarModel, Arithmetic) {
  ui::ProgressBarModel m;
  m.borderWidth = 6000;
  m.FillCount(0, 0);
  EXPECT_EQ(m.barWidth, 0);
  m.FillCount(1, 2);
  EXPECT_EQ(m.barLeft, 100);
  EXPECT_EQ(m.barWidth, 2900);
  m.barLeft = 300;
  m.FillFraction(0.5);
  EXPECT_EQ(m.barLeft, 300);  // the left edge stays
  EXPECT_EQ(m.barWidth, 2700);

  ui::ProgressBarModel w;
  for (int i = 0; i < 9; ++i) EXPECT_FALSE(w.Work());
  EXPECT_EQ(w.barWidth, 0);
  EXPECT_TRUE(w.Work());
  EXPECT_EQ(w.barWidth, 600);
  EXPECT_EQ(w.barLeft, 700);
  // Past the frame's right edge it starts over at 200.
  for (int moves = 2; moves <= 8; ++moves)
    for (int i = 0; i < 10; ++i) w.Work();
  EXPECT_EQ(w.barLeft, 4900);
  for (int i = 0; i < 10; ++i) w.Work();
  EXPECT_EQ(w.barLeft, 200);
}

}  // namespace
