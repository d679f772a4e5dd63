// A migration into a course of another installation through the real program with
// windows (under Xvfb): the export sequence with ImportMode 6, the migration chooser
// and its folder prompt, and the copy into the target course.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "course_maker.h"
#include "course_tables.h"
#include "engine/transfer/transfer_run.h"
#include "host_run.h"
#include "virtual_display.h"

namespace fs = std::filesystem;
using app_testing::HostRun;
using app_testing::RunResult;
using app_testing::DisplayTest;
using testing_support::ReadFile;

namespace {

std::map<std::string, std::string> Tree(const std::string& root) {
  std::map<std::string, std::string> tree;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file()) tree[fs::relative(e.path(), root).string()] = ReadFile(e.path());
  return tree;
}

// The names whose bytes differ between two trees, or that only one has.
std::vector<std::string> Changed(const std::map<std::string, std::string>& a,
                                 const std::map<std::string, std::string>& b) {
  std::vector<std::string> names;
  for (const auto& [name, bytes] : a)
    if (!b.count(name) || b.at(name) != bytes) names.push_back(name);
  for (const auto& [name, bytes] : b)
    if (!a.count(name)) names.push_back(name);
  return names;
}

class MigrationChooserProcess : public DisplayTest {
 protected:
  void SetUp() override {
    DisplayTest::SetUp();
    if (IsSkipped()) return;
    course_maker::CourseOptions options;
    options.questions = 40;
    source = course_maker::MakeCourse(host.Scratch() + "/Source", options);
    options.seed = 9;  // the target course holds content of its own
    options.questions = 30;
    target = course_maker::MakeCourse(host.Scratch() + "/Target", options);
  }
  RunResult Migrate(const std::vector<std::string>& chooserSteps) const {
    std::vector<std::string> steps = {"click:cmdBackup", "click:cmdComplete"};
    steps.insert(steps.end(), chooserSteps.begin(), chooserSteps.end());
    return host.RunOnDisplay({"AppPath:" + source.install.app, "Interactive:TRUE", "UserName:latsek",
                              "Password:580246", "Brand:Corvane", "AreaID:1", "CourseID:3", "Import:RemapByCourse"},
                             steps, Display());
  }

  HostRun host;
  course_maker::MadeCourse source, target;
};

TEST_F(MigrationChooserProcess, EverySelectedRowArrivesInTheTargetCourse) {
  const auto before = app_testing::CheckFolder(target.install.course);
  const auto sourceRows = app_testing::CheckFolder(source.install.course);
  const auto sourceFiles = Tree(source.install.course);
  const RunResult run = Migrate({"click:cmdTargetPath", "text:txtFolderPath=" + target.install.app, "click:cmdOK",
                                 "pick:lstCourses=Biology", "shot:migrate", "click:cmdOK", "click:cmdContinue"});
  ASSERT_EQ(run.status, 0) << run.stderrText;
  EXPECT_TRUE(run.boxes.empty());
  const auto after = app_testing::CheckFolder(target.install.course);  // opens clean
  EXPECT_EQ(after.at("quests.dbf"), before.at("quests.dbf") + sourceRows.at("quests.dbf"));
  EXPECT_EQ(after.at("exams.dbf"), before.at("exams.dbf") + sourceRows.at("exams.dbf"));
  for (const auto& [table, rows] : before) EXPECT_GE(after.at(table), rows) << table;
  EXPECT_EQ(transfer_test::DanglingReferences(target.install.course), std::vector<std::string>{});
  EXPECT_TRUE(Changed(Tree(source.install.course), sourceFiles).empty());
}

TEST_F(MigrationChooserProcess, CancelAndEveryRefusedTargetChangeNothing) {
  const auto sourceTree = Tree(source.install.databases), targetTree = Tree(target.install.databases);
  struct Case {
    const char* what;
    std::vector<std::string> steps;
    const char* says;
  } cases[] = {
      {"Cancel at the preview",
       {"click:cmdTargetPath", "text:txtFolderPath=" + target.install.app, "click:cmdOK", "pick:lstCourses=Biology",
        "click:cmdOK", "click:cmdCancel"},
       nullptr},
      {"the current course", {"pick:lstCourses=Biology", "click:cmdOK", "OK"}, "is the course the content comes from"},
      {"an installation without the course",
       {"click:cmdTargetPath", "text:txtFolderPath=" + host.Scratch() + "/Nothing", "click:cmdOK",
        "pick:lstCourses=Biology", "click:cmdOK", "OK"},
       "does not exist"},
  };
  for (const Case& c : cases) {
    const RunResult run = Migrate(c.steps);
    EXPECT_EQ(run.status, 0) << c.what << "\n" << run.stderrText;
    if (c.says) {
      ASSERT_FALSE(run.boxes.empty()) << c.what << "\n" << run.stderrText;
      EXPECT_NE(run.boxes.back().box.text.find(c.says), std::string::npos) << c.what << ": " << run.boxes.back().box.text;
    }
    EXPECT_EQ(Changed(Tree(source.install.databases), sourceTree), std::vector<std::string>{}) << c.what;
    EXPECT_EQ(Changed(Tree(target.install.databases), targetTree), std::vector<std::string>{}) << c.what;
    EXPECT_FALSE(fs::exists(host.Scratch() + "/Nothing")) << c.what;
  }
}

}  // namespace
