// A backup killed at any point: every table of the course and of the backup folder
// opens (after the automatic repair) with clean tags, and a backup killed before its
// end never empties the course.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <filesystem>

#include "core/settings.h"
#include "course_maker.h"
#include "course_tables.h"
#include "data/codebase.h"
#include "host_run.h"
#include "spawned_run.h"

namespace fs = std::filesystem;
using app_testing::CheckFolder;

namespace {

// Starts the program and kills it after the delay; true when it was killed before it ended.
bool RunAndKill(const std::vector<std::string>& args, std::chrono::milliseconds delay) {
  return app_testing::RunAndKill(app_testing::HostRun::Program(), args, delay).killed;
}

class KilledBackupProcess : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (tolvarin::Engine().EngineHandle == 0) tolvarin::InitCodeBase();
  }
  void SetUp() override {
    course_maker::CourseOptions options;
    options.questions = 300;
    made = course_maker::MakeCourse(host.Scratch() + "/Install", options);
    backup = host.Scratch() + "/Backup";
    tolvarin::Paths().DatabasesRoot = made.install.databases;
  }
  std::vector<std::string> Args(const std::string& operation) const {
    return {"AppPath:" + made.install.app, "Mode:UserContent", "Operation:" + operation,
            "CoursePath:" + made.install.course, "BackupPath:" + backup};
  }

  app_testing::HostRun host;
  course_maker::MadeCourse made;
  std::string backup;
};

TEST_F(KilledBackupProcess, AKilledBackupNeverEmptiesTheCourseAndLeavesEveryTableClean) {
  const std::map<std::string, long> before = CheckFolder(made.install.course);
  int killedRuns = 0;
  for (int ms : {5, 20, 40, 70, 100, 150, 200, 300, 450, 700}) {
    if (!RunAndKill(Args("BACKUP"), std::chrono::milliseconds(ms))) break;  // it ended: the course is emptied
    ++killedRuns;
    const std::map<std::string, long> now = CheckFolder(made.install.course);
    // Only the last step, after the backup was checked, takes tables away; before
    // it, every table keeps its rows.
    if (fs::exists(made.install.course + "/quests.dbf")) {
      for (const auto& [table, rows] : before) EXPECT_EQ(now.count(table) ? now.at(table) : -1, rows) << ms << " " << table;
    }
    if (fs::exists(backup)) CheckFolder(backup);
  }
  std::printf("%d of 10 backups were killed before they ended\n", killedRuns);
}

}  // namespace
