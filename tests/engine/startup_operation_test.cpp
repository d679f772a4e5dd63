#include <gtest/gtest.h>

#include <memory>

#include "core/console_presenter.h"
#include "core/run_log.h"
#include "core/scripted_presenter.h"
#include "core/settings.h"
#include "core/terminate.h"
#include "engine/startup.h"
#include "support/test_support.h"

using namespace tolvarin;

namespace {

class RunOperationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings().AppPath = dir_.str();
    Settings().Mode = 0;
    Paths().BackupPath.clear();
  }
  void TearDown() override {
    EndLog(false);
    Settings().AppPath.clear();
    Settings().Operation = 0;
    Paths().BackupPath.clear();
  }
  testing_support::TempDir dir_;
};

TEST_F(RunOperationTest, WithoutABackupPathTheRunEndsWithTheCriticalBox) {
  Settings().Operation = 1;
  EXPECT_EXIT(
      {
        SetPresenter(std::make_unique<ConsolePresenter>());
        RunOperation();
      },
      ::testing::ExitedWithCode(kTerminateStatus), "No BackupPath specified to Corvane Backup and Restore System");
}

TEST_F(RunOperationTest, AnyOtherOperationDoesNothingAfterTheLogLine) {
  auto scripted = std::make_unique<ScriptedPresenter>();
  ScriptedPresenter* shown = scripted.get();
  auto previous = SetPresenter(std::move(scripted));
  Paths().BackupPath = dir_.str();
  BeginLog(false);
  Settings().Operation = 9;
  EXPECT_EQ(RunOperation(), 0);
  EndLog(false);
  EXPECT_EQ(testing_support::ReadFile(dir_.path() / "tolvarin.log"), "usercon\r\n");
  EXPECT_TRUE(shown->Shown().empty());
  SetPresenter(std::move(previous));
}

}  // namespace
