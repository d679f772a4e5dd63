// The progress windows' members as the engine calls them, and what a run without
// windows does with them.
#include <gtest/gtest.h>

#include <sstream>

#include "core/message_box.h"
#include "core/progress.h"
#include "core/scripted_presenter.h"
#include "core/settings.h"

namespace {

using namespace tolvarin;

struct Recording : ProgressSink {
  std::vector<std::string> calls;
  void Step(const std::string& t) override { calls.push_back("step:" + t); }
  void Detail(const std::string& t) override { calls.push_back("detail:" + t); }
  void Fraction(double d) override { calls.push_back("fraction:" + std::to_string(static_cast<int>(d * 100))); }
};

class ProgressCalls : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = SetProgress(std::make_unique<Recording>());
    operation_ = Settings().Operation;
  }
  void TearDown() override {
    SetProgress(std::move(saved_));
    Settings().Operation = operation_;
  }
  Recording& Sink() { return dynamic_cast<Recording&>(Progress()); }
  std::unique_ptr<ProgressSink> saved_;
  int operation_ = 0;
};

TEST_F(ProgressCalls, PackagingLineByOperation) {
  Settings().Operation = 1;
  NotifyPackagingProgress("QUESTION", "Copying table");
  Settings().Operation = 2;
  NotifyPackagingProgress("QUESTION", "Copying table");
  Settings().Operation = 3;
  NotifyPackagingProgress("QUESTION", "Copying table");
  EXPECT_EQ(Sink().calls, (std::vector<std::string>{"detail:Copying table: QUESTION", "detail:"}));
}

TEST_F(ProgressCalls, StepsAndBars) {
  NotifyUpdateProgress("Databases/Corvane");
  ShowProgressBar("", 1, 4);
  ShowProgressBar("", 0, 0);  // total 0: done at once
  ShowProgessBarDbl("Half", 0.5);
  EXPECT_EQ(Sink().calls, (std::vector<std::string>{"step:Processing tables in DATABASES/CORVANE folder",
                                                    "fraction:25", "fraction:100", "step:Half", "fraction:50"}));
}

TEST_F(ProgressCalls, PageRunsItsOperationOnce) {
  int runs = 0;
  RunProgressPage(ProgressPageFor(1, 1, "C", "/a", "/p.zip", ""), [&] { ++runs; });
  RunProgressPage(ProgressPageFor(3, 1, "C", "/a", "/p.zip", ""), [&] { ++runs; });  // no transfer
  EXPECT_EQ(runs, 1);
}

TEST(ProgressPage, TextsByOperationAndImportMode) {
  const ProgressPage backup = ProgressPageFor(1, 1, "Biology", "/h", "/b.zip", "/w");
  EXPECT_EQ(backup.operation, ProgressOperation::Backup);
  EXPECT_EQ(backup.title, "Backup Progress");
  EXPECT_EQ(backup.message, "Backing up content from Biology database installed in \"/h\" to Corvane Backup File \"/b.zip\"");
  EXPECT_TRUE(backup.showMessage);
  const ProgressPage migrate = ProgressPageFor(1, 6, "Biology", "/h", "/b.zip", "/w");
  EXPECT_EQ(migrate.operation, ProgressOperation::Migrate);
  EXPECT_EQ(migrate.title, "Migration Progress");
  EXPECT_EQ(migrate.message, "Migrating content from Biology to /w.");
  EXPECT_FALSE(migrate.showMessage);
  const ProgressPage restore = ProgressPageFor(2, 6, "Biology", "/h", "/b.zip", "/w");
  EXPECT_EQ(restore.operation, ProgressOperation::Restore);
  EXPECT_EQ(restore.title, "Restore Progress");
  EXPECT_EQ(restore.message, "Restoring content to Biology database installed in \"/h\" from Corvane Backup File \"/b.zip\"");
  EXPECT_EQ(ProgressPageFor(4, 1, "B", "/h", "", "").operation, ProgressOperation::None);
}

TEST(ConsoleProgress, RunsTheOperationAfterItsMessage) {
  std::ostringstream out;
  ConsoleProgress progress(out);
  bool ran = false;
  progress.RunOperation(ProgressPageFor(2, 1, "C", "/h", "/p.zip", ""), [&] {
    EXPECT_NE(out.str().find("Restoring content to C"), std::string::npos);
    ran = true;
  });
  EXPECT_TRUE(ran);
}

TEST(ConsoleProgress, PrintsNoLineWithNothingToTell) {
  std::ostringstream out;
  ConsoleProgress progress(out);
  progress.Detail("");  // an import's report per table copied
  progress.Fraction(0.5);
  EXPECT_EQ(out.str(), "");
  progress.Step("Copying");
  progress.Detail("");
  progress.Detail("QUESTS");
  EXPECT_EQ(out.str(), "[ 50%] Copying\n[ 50%] Copying: QUESTS\n");
}

TEST(ScriptedPresenter, ModelessBoxTakesNoAnswer) {
  auto saved = SetPresenter(std::make_unique<ScriptedPresenter>(std::vector<std::string>{"2"}));
  ShowModelessMsgBox("Working", "T");
  EXPECT_EQ(ShowMessageBox("Go on?", 1), 2);  // the answer was left for this box
  auto& scripted = dynamic_cast<ScriptedPresenter&>(Presenter());
  ASSERT_EQ(scripted.Shown().size(), 2u);
  EXPECT_TRUE(scripted.Shown()[0].box.modeless);
  SetPresenter(std::move(saved));
}

}  // namespace
