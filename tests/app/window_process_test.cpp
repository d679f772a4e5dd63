// The real program with a display: a bad Mode shows the facility's box in a real
// window (under Xvfb), and without a display it still prints the box and ends.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/terminate.h"
#include "host_run.h"
#include "virtual_display.h"

namespace {

using app_testing::HostRun;
using app_testing::RunResult;
using app_testing::VirtualDisplay;

TEST(WindowProcess, BadModeShowsTheFacilityBoxOnTheDisplay) {
  VirtualDisplay display;
  if (display.Name().empty()) GTEST_SKIP() << display.Missing();

  HostRun host;
  host.HostIni("");
  const RunResult run = host.RunOnDisplay({"AppPath:" + host.App(), "Mode:Backup"}, {"OK"}, display.Name());

  EXPECT_EQ(run.status, tolvarin::kTerminateStatus) << run.stderrText;
  const std::vector<tolvarin::ShownBox>& boxes = run.boxes;
  ASSERT_EQ(boxes.size(), 1u) << run.stderrText;
  EXPECT_EQ(boxes[0].kind, "Facility");
  EXPECT_EQ(boxes[0].box.text, "Invalid Mode parameter.");
  EXPECT_EQ(boxes[0].box.captions, std::vector<std::string>{"OK"});
  // The box was a window: nothing went to the console.
  EXPECT_EQ(run.stderrText.find("Invalid Mode parameter."), std::string::npos) << run.stderrText;
}

TEST(WindowProcess, WithoutADisplayTheBoxIsPrinted) {
  HostRun host;
  host.HostIni("");
  const RunResult run = host.RunUnscripted({"Mode:Backup"});
  EXPECT_EQ(run.status, tolvarin::kTerminateStatus);
  EXPECT_NE(run.stderrText.find("Invalid Mode parameter."), std::string::npos) << run.stderrText;
}

}  // namespace
