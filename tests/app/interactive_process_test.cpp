// The interactive run through the real program with windows (under Xvfb), driven by
// scripted steps: the login, the main window, and how each way out of it ends the run.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "core/script_steps.h"
#include "core/terminate.h"
#include "course_maker.h"
#include "host_run.h"
#include "support/test_support.h"
#include "virtual_display.h"

namespace {

namespace fs = std::filesystem;
using app_testing::HostRun;
using app_testing::RunResult;
using app_testing::DisplayTest;

class InteractiveProcess : public DisplayTest {
 protected:
  void SetUp() override {
    DisplayTest::SetUp();
    if (IsSkipped()) return;
    course_maker::CourseOptions options;
    options.questions = 60;
    made = course_maker::MakeCourse(host.Scratch() + "/Install", options);
  }
  RunResult Run(const std::vector<std::string>& steps, const std::vector<std::string>& more = {}) {
    std::vector<std::string> args{"AppPath:" + made.install.app, "Interactive:TRUE", "UserName:latsek",
                                  "Password:580246", "CoursePath:" + made.install.course};
    args.insert(args.end(), more.begin(), more.end());
    return host.RunOnDisplay(args, steps, Display());
  }

  HostRun host;
  course_maker::MadeCourse made;
};

TEST_F(InteractiveProcess, EachWayOutOfTheMainWindowEndsTheRunNormally) {
  struct Case {
    const char* what;
    std::vector<std::string> steps;
  } cases[] = {
      {"Close", {"click:cmdClose"}},
      // Back on the export's first page ends the sequence, and the run with it.
      {"Back on the backup type page", {"click:cmdBackup", "click:cmdBack"}},
      // A complete backup passes the custom selection page by, forwards and back.
      {"Back from the file page of a complete backup", {"click:cmdBackup", "click:cmdComplete", "click:cmdBack",
                                                         "click:cmdBack"}},
      // A dialog of the main window returns to it, which stays open.
      {"the repair dialog over the main window, then Close",
       {"click:cmdRepair", "close:frmRepairCorruption", "click:cmdClose"}},
  };
  for (const Case& c : cases) {
    const RunResult run = Run(c.steps);
    EXPECT_EQ(run.status, 0) << c.what << "\n" << run.stderrText;
  }
}

TEST_F(InteractiveProcess, OpenLogShowsTheRunLogInTheDesktopsViewer) {
  // The desktop's viewer is whatever xdg-open the PATH finds first: here one that
  // writes down what it was asked to show.
  const std::string bin = host.Scratch() + "/bin";
  const std::string shown = host.Scratch() + "/shown.txt";
  fs::create_directories(bin);
  testing_support::WriteFile(bin + "/xdg-open", "#!/bin/sh\necho \"$1\" >> '" + shown + "'\n");
  fs::permissions(bin + "/xdg-open", fs::perms::owner_all);
  const char* path = std::getenv("PATH");
  host.AddEnvironment("PATH=" + bin + ":" + (path ? path : "/usr/bin:/bin"));
  const RunResult run = Run({"click:cmdLog", "click:cmdClose"});
  EXPECT_EQ(run.status, 0) << run.stderrText;
  // The viewer runs on its own; give it a moment to write.
  for (int i = 0; i < 100 && !fs::exists(shown); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(testing_support::ReadFile(shown), made.install.app + "/tolvarin.log\n");
}

TEST_F(InteractiveProcess, ARunThatGoesOtherwiseThanItsStepsFailsWithWhatItShowed) {
  struct Case {
    const char* what;
    std::vector<std::string> steps;
    const char* said;
  } cases[] = {
      // A box meets a window step: the box's text is named.
      {"box for a window step", {"click:cmdRepair", "click:cmdRepair", "click:cmdClose"},
       "Please select one or more files."},
      // A window meets a box's answer.
      {"window for an answer", {"Yes"}, "frmMain"},
      {"no step left", {"click:cmdBackup"}, "frmBackupType"},
      {"no such control", {"click:cmdNothing"}, "no control of that name"},
  };
  for (const Case& c : cases) {
    const RunResult run = Run(c.steps);
    EXPECT_EQ(run.status, tolvarin::kScriptFailedStatus) << c.what << "\n" << run.stderrText;
    EXPECT_NE(run.stderrText.find(c.said), std::string::npos) << c.what << "\n" << run.stderrText;
  }
}

}  // namespace
