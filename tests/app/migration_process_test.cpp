// The two modes that touch files only, through the real program: the move of an
// installation (VistaMigrate) and the installer scripts (MAKEWISEINSTALLERS).
#include <gtest/gtest.h>

#include <filesystem>

#include "core/terminate.h"
#include "course_maker.h"
#include "host_run.h"

namespace fs = std::filesystem;
using app_testing::HostRun;
using app_testing::RunResult;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

TEST(MigrationProcess, MovesBothTreesOrLeavesInstallAbort) {
  HostRun host;
  const std::string program = host.Scratch() + "/Program", user = host.Scratch() + "/User";
  fs::create_directories(program + "/bin");
  fs::create_directories(user + "/Databases/Corvane");
  WriteFile(program + "/bin/kestal.exe", "program");
  WriteFile(user + "/Databases/Corvane/users.dbf", "users");
  const std::vector<std::string> args = {"Mode:VistaMigrate", "ProgramFilesPath:" + program,
                                         "TargetPath:" + host.Scratch() + "/New", "UserContentPath:" + user};
  const RunResult moved = host.Run(args);
  EXPECT_EQ(moved.status, 0) << moved.stderrText;
  EXPECT_TRUE(moved.boxes.empty());
  EXPECT_EQ(ReadFile(host.Scratch() + "/New/bin/kestal.exe"), "program");
  EXPECT_EQ(ReadFile(host.Scratch() + "/New/Databases/Corvane/users.dbf"), "users");
  EXPECT_FALSE(fs::exists(program + "/bin/kestal.exe"));
  EXPECT_FALSE(fs::exists(program + "/Install.abort"));

  const RunResult refused = host.Run(args);  // the target exists now
  EXPECT_EQ(refused.status, tolvarin::kTerminateStatus);
  EXPECT_EQ(ReadFile(program + "/Install.abort"), "ABORT\r\n");
  ASSERT_EQ(refused.boxes.size(), 1u);
  EXPECT_EQ(refused.boxes[0].box.text, "Error, the destination path already exists.");
}

TEST(InstallerScriptProcess, WritesOneScriptPerCourseWithThePlaceholdersReplaced) {
  HostRun host;
  course_maker::CourseOptions options;
  options.questions = 20;
  const auto made = course_maker::MakeCourse(host.Scratch() + "/metadata", options);
  course_maker::AddCourse(made.install, "Chemistry", 5, "Chemistry");
  const std::string scripts = host.Scratch() + "/scripts";
  fs::create_directories(scripts);
  WriteFile(scripts + "/template_courseonly.wse", "[<areaname>] <coursename> at <acpath>\r\n");
  host.HostIni("InstallerScriptFolder=" + scripts + "\r\nInstallMetadataFolder=" + made.install.brand +
               "\r\nUpgradesRootFolder=" + host.Scratch() + "/upgrades\r\n");
  const RunResult run = host.RunHere({"Mode:MAKEWISEINSTALLERS"});
  EXPECT_EQ(run.status, 0) << run.stderrText;
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0].box.text, "Done");
  EXPECT_EQ(ReadFile(scripts + "/Biology_courseonly.wse"), "[Science] Biology at \\SCIENCE\\BIOLOGY\\\r\n");
  EXPECT_EQ(ReadFile(scripts + "/Chemistry_courseonly.wse"), "[Science] Chemistry at \\SCIENCE\\CHEMISTRY\\\r\n");
  EXPECT_TRUE(fs::is_directory(host.Scratch() + "/upgrades/FullUprades/CourseUpgrades"));
}

}  // namespace
