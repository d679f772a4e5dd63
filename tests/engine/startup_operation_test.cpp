#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "core/console_presenter.h"
#include "core/run_log.h"
#include "core/scripted_presenter.h"
#include "core/settings.h"
#include "core/terminate.h"
#include "core/command_line.h"
#include "engine/modes/unattended_operation.h"
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

// The unattended run checks BackupPath before it prepares anything for the operation.
TEST_F(RunOperationTest, WithoutABackupPathTheRunEndsWithTheCriticalBox) {
  EXPECT_EXIT(
      {
        SetPresenter(std::make_unique<ConsolePresenter>());
        SetCommandLine("Operation:BACKUP");
        Paths().CoursePath = dir_.str();
        RunUnattendedOperation();
      },
      ::testing::ExitedWithCode(kTerminateStatus), "No BackupPath specified to Corvane Backup and Restore System");
}

TEST_F(RunOperationTest, AnyOtherOperationDoesNothing) {
  auto scripted = std::make_unique<ScriptedPresenter>();
  ScriptedPresenter* shown = scripted.get();
  auto previous = SetPresenter(std::move(scripted));
  Paths().BackupPath = dir_.str();
  BeginLog(false);
  Settings().Operation = 9;
  EXPECT_EQ(RunOperation(), 0);
  EndLog(false);
  const auto log = dir_.path() / "tolvarin.log";
  EXPECT_EQ(std::filesystem::exists(log) ? testing_support::ReadFile(log) : "", "");
  EXPECT_TRUE(shown->Shown().empty());
  SetPresenter(std::move(previous));
}

}  // namespace
