// The main window's Office Tools through the real program with windows (under Xvfb):
// the remap-options dialog refuses bad numbers and writes its keys for later runs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "course_maker.h"
#include "host_run.h"
#include "virtual_display.h"

using app_testing::HostRun;
using app_testing::RunResult;
using app_testing::VirtualDisplay;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

TEST(OfficeToolsProcess, TheDialogRefusesABackwardRangeThenWritesTheChoice) {
  const VirtualDisplay display;
  if (display.Name().empty()) GTEST_SKIP() << display.Missing();
  HostRun host;
  course_maker::CourseOptions options;
  options.questions = 20;
  const auto made = course_maker::MakeCourse(host.Scratch() + "/Install", options);
  const std::string ini = made.install.app + "/Kestal.INI";
  WriteFile(ini, ReadFile(ini) + "Office=TRUE\r\nNewExamID=77\r\n");
  const RunResult run = host.RunOnDisplay(
      {"AppPath:" + made.install.app, "Interactive:TRUE", "UserName:latsek", "Password:580246",
       "CoursePath:" + made.install.course},
      {"click:cmdOffice", "click:optMode_1", "text:txtStart=20000", "text:txtEnd=100", "click:cmdOK", "OK",
       "text:txtEnd=29999", "shot:office", "click:cmdOK", "click:cmdClose"},
      display.Name());
  ASSERT_EQ(run.status, 0) << run.stderrText;
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0].box.text, "Range Start must not be above Range End.");
  const std::string written = ReadFile(ini);
  for (const char* line : {"Office=TRUE", "SpecialMode=RemapToRange", "RangeStart=20000", "RangeEnd=29999",
                           "NewExamID=77", "DatabasesPath=Databases"})
    EXPECT_NE(written.find(line), std::string::npos) << line << "\n" << written;
}

}  // namespace
