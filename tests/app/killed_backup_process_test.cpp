// A backup killed at any point: every table of the course and of the backup folder
// opens (after the automatic repair) with clean tags, a backup killed before its end
// never empties the course, and one killed while it empties the course is finished
// by the next backup.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <filesystem>
#include <set>

#include "core/settings.h"
#include "course_maker.h"
#include "course_tables.h"
#include "data/codebase.h"
#include "host_run.h"
#include "kill_point.h"
#include "spawned_run.h"

namespace fs = std::filesystem;
using app_testing::CheckFolder;
using app_testing::FileBytes;
using app_testing::FolderRows;
using app_testing::RunResult;

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

  RunResult Run(const std::string& operation) const { return host.Run(Args(operation)); }
  // The names of the course's files (logs aside) and its rows, to compare two ends.
  std::set<std::string> CourseFileNames() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(made.install.course)) names.insert(entry.path().filename().string());
    return names;
  }
  void PutCourseBack(const std::string& from) const {
    fs::remove_all(made.install.course);
    fs::copy(from, made.install.course, fs::copy_options::recursive);
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

// Killed right after one file of the course was taken away (the control pair is
// saved aside first, then every data file goes before any index or memo file): the
// host's next backup finds its checked backup in place, finishes the emptying and
// ends with status 0, and a restore then leaves exactly what one whole backup and
// restore leave, file names included.
TEST_F(KilledBackupProcess, AKillWhileTheCourseIsEmptiedIsFinishedByTheNextBackup) {
  // The host's control table (any table will do), which the backup saves aside.
  for (const char* ext : {".dbf", ".cdx"})
    fs::copy_file(made.install.blank + "/classes" + ext, made.install.course + "/control2" + ext);
  const std::string whole = host.Scratch() + "/Whole";
  fs::copy(made.install.course, whole, fs::copy_options::recursive);
  ASSERT_EQ(Run("BACKUP").status, 0);
  const auto backedUp = FileBytes(backup);
  ASSERT_EQ(Run("RESTORE").status, 0);
  const auto once = FolderRows(made.install.course);
  const auto onceNames = CourseFileNames();

  struct Point {
    const char* file;     // the course's file that is gone at the kill
    const char* renamed;  // where it went
  } points[] = {{"control2.cdx", "*/Biology/control2.cdx.save"},  // the control pair saved aside
                {"attributes.dbf", "*/Biology/*/attributes.dbf"},  // the first data file taken away
                {"quests.dbf", "*/Biology/*/quests.dbf"},
                {"quests.cdx", "*/Biology/*/quests.cdx"},  // the indexes and memo files after every data file
                {"templates.fpt", "*/Biology/*/templates.fpt"}};  // the last of them
  app_testing::KillPoint kill(host);
  for (const Point& point : points) {
    SCOPED_TRACE(point.file);
    PutCourseBack(whole);
    fs::remove_all(backup);
    ASSERT_TRUE(kill.KilledAt({"rename", point.renamed, 1}, [&] { return Run("BACKUP"); }));
    EXPECT_FALSE(fs::exists(made.install.course + "/" + point.file));
    const auto killedBackup = app_testing::TreeBytes({backup});
    EXPECT_EQ(FileBytes(backup).size(), backedUp.size());
    const RunResult finished = Run("BACKUP");
    EXPECT_EQ(finished.status, 0) << finished.stderrText;
    EXPECT_TRUE(app_testing::Tables(made.install.course).empty());
    EXPECT_TRUE(FileBytes(made.install.course, {".dbf", ".cdx", ".fpt"}).empty());
    EXPECT_TRUE(app_testing::TreeBytes({backup}) == killedBackup);  // finishing writes nothing there
    const RunResult restored = Run("RESTORE");
    ASSERT_EQ(restored.status, 0) << restored.stderrText;
    EXPECT_EQ(FolderRows(made.install.course), once);
    EXPECT_EQ(CourseFileNames(), onceNames);
  }
}

}  // namespace
