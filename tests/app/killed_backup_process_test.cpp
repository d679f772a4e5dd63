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
#include "data/codebase.h"
#include "data/open_table.h"
#include "data/table_registry.h"
#include "host_run.h"
#include "platform/xbase/tag_check.h"
#include "platform/xbase/xbase.h"
#include "spawned_run.h"

namespace fs = std::filesystem;

namespace {

// Starts the program and kills it after the delay; true when it was killed before it ended.
bool RunAndKill(const std::vector<std::string>& args, std::chrono::milliseconds delay) {
  return app_testing::RunAndKill(app_testing::HostRun::Program(), args, delay).killed;
}

long LiveRows(xbase::Data4 data) {
  long rows = 0;
  for (int rc = xbase::d4top(data); rc == 0; rc = xbase::d4skip(data, 1))
    if (!xbase::d4deleted(data)) ++rows;
  return rows;
}

// Every table of the folder opens through the system's open (repairing what a kill
// left) and reads clean; the rows of each table by lower-case name.
std::map<std::string, long> CheckFolder(const fs::path& folder) {
  std::map<std::string, long> rows;
  for (const auto& entry : fs::directory_iterator(folder)) {
    std::string name = entry.path().filename().string();
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name.size() < 4 || name.substr(name.size() - 4) != ".dbf" || name == "status.dbf") continue;
    xbase::Data4 data = tolvarin::OpenTable(entry.path().string(), 0, false, true);
    EXPECT_NE(data, 0) << entry.path();
    if (data == 0) continue;
    for (const auto& tag : xbase::detail::CheckTags(data))
      EXPECT_TRUE(tag.Problems().empty()) << entry.path() << " " << tag.Line();
    rows[name] = LiveRows(data);
    tolvarin::CloseTable(data);
  }
  return rows;
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
