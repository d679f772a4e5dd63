// The unattended restore through the real program when it is killed part-way and
// when its input is bad: every table of the course and of the backup folder still
// opens clean, a whole restore afterwards brings every backed-up row back, and bad
// input is told and changes nothing.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <set>

#include "core/settings.h"
#include "course_maker.h"
#include "course_tables.h"
#include "data/codebase.h"
#include "host_run.h"

namespace fs = std::filesystem;
using app_testing::CheckFolder;
using app_testing::FileBytes;
using app_testing::FolderRows;
using app_testing::HostRun;
using app_testing::Rows;
using app_testing::RunResult;
using app_testing::Tables;

namespace {

struct KillPoint;

class KilledRestoreProcess : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (tolvarin::Engine().EngineHandle == 0) tolvarin::InitCodeBase();
  }
  void SetUp() override {
    // A restore stages the backup in the system's temporary folder: the killed runs get
    // the one the host runs get, this test's own.
    if (const char* tmp = std::getenv("TMPDIR")) previousTmp = tmp;
    fs::create_directories(host.Scratch() + "/tmp");
    setenv("TMPDIR", (host.Scratch() + "/tmp").c_str(), 1);
    course_maker::CourseOptions options;
    options.questions = 200;
    made = course_maker::MakeCourse(host.Scratch() + "/Install", options);
    backup = host.Scratch() + "/Backup";
    tolvarin::Paths().DatabasesRoot = made.install.databases;
    full = FileBytes(made.install.course);
    fs::create_directories(before);
    for (const auto& [name, bytes] : full) testing_support::WriteFile(before + "/" + name, bytes);
    const RunResult backed = Run("BACKUP");
    ASSERT_EQ(backed.status, 0) << backed.stderrText;
    ASSERT_TRUE(Tables(made.install.course).empty());
  }
  void TearDown() override {
    if (previousTmp.empty()) {
      unsetenv("TMPDIR");
    } else {
      setenv("TMPDIR", previousTmp.c_str(), 1);
    }
  }
  std::vector<std::string> Args(const std::string& operation, const std::string& course = "") const {
    return {"AppPath:" + made.install.app, "Mode:UserContent", "Operation:" + operation,
            "CoursePath:" + (course.empty() ? made.install.course : course), "BackupPath:" + backup};
  }
  RunResult Run(const std::string& operation, const std::string& course = "") const {
    return host.Run(Args(operation, course));
  }
  std::string RunLog() const { return made.install.app + "/tolvarin.log"; }
  // The course as a backup leaves it: no table.
  void EmptyCourse() const {
    for (const auto& entry : fs::directory_iterator(made.install.course)) {
      std::string ext = entry.path().extension().string();
      for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (ext == ".dbf" || ext == ".cdx" || ext == ".fpt") fs::remove(entry.path());
    }
  }
  // The course as it was before the backup.
  void PutCourseBack() const {
    EmptyCourse();
    for (const auto& [name, bytes] : full) testing_support::WriteFile(made.install.course + "/" + name, bytes);
  }
  // Every row of the backup folder's tables is in the course.
  void ExpectEveryBackedUpRow(const std::map<std::string, std::multiset<std::string>>& expected) const {
    const auto live = Tables(made.install.course);
    for (const auto& [name, rows] : expected) {
      ASSERT_TRUE(live.count(name)) << name;
      const std::multiset<std::string> now = name == "templates" ? WithoutNodes(Rows(live.at(name))) : Rows(live.at(name));
      std::size_t missing = 0;
      for (const std::string& row : rows)
        if (!now.count(row)) ++missing;
      EXPECT_EQ(missing, 0u) << name << ": " << missing << " of " << rows.size() << " rows not restored";
    }
  }
  // The backup numbers the teacher's standards nodes anew; the restore finds them in
  // the course's own kept tree and gives them back their numbers, so the tree and its
  // links are expected as the course held them, and activities up to their node numbers.
  std::map<std::string, std::multiset<std::string>> BackedUpRows() const {
    std::map<std::string, std::multiset<std::string>> expected;
    for (const auto& [name, path] : Tables(backup))
      if (name != "users") expected[name] = Rows(path);  // the brand's table, never the course's
    for (const char* table : {"standard", "stanques"}) expected[table] = Rows(Tables(before).at(table));
    expected["templates"] = WithoutNodes(expected["templates"]);
    return expected;
  }
  static std::multiset<std::string> WithoutNodes(const std::multiset<std::string>& rows) {
    static const std::regex node("<node_id>[0-9]*</node_id>");
    std::multiset<std::string> without;
    for (const std::string& row : rows) without.insert(std::regex_replace(row, node, "<node_id/>"));
    return without;
  }

  void KillAtEachPointThenRestore(const std::vector<KillPoint>& points);

  HostRun host;
  course_maker::MadeCourse made;
  std::string backup;
  std::map<std::string, std::string> full;
  std::string before = host.Scratch() + "/before";  // the course's files as they were, for reading
  std::string previousTmp;
};

struct KillPoint {
  const char* marker;  // the run-log line after which the run is killed
  int pauseMicroseconds;
};

// Kills the restore at each point, each time from the emptied course; then the host
// runs the restore again on what the last kill left, and it brings every row back.
void KilledRestoreProcess::KillAtEachPointThenRestore(const std::vector<KillPoint>& points) {
  const auto expected = BackedUpRows();
  const auto backupBytes = FileBytes(backup);
  int killed = 0;
  for (const KillPoint& point : points) {
    SCOPED_TRACE(std::string(point.marker) + " +" + std::to_string(point.pauseMicroseconds) + "us");
    EmptyCourse();
    if (app_testing::RunAndKillAt(Args("RESTORE"), RunLog(), point.marker,
                                  std::chrono::microseconds(point.pauseMicroseconds)))
      ++killed;
    CheckFolder(made.install.course);
    CheckFolder(backup);
  }
  std::printf("%d of %zu restores were killed before they ended\n", killed, points.size());

  const RunResult restored = Run("RESTORE");
  ASSERT_EQ(restored.status, 0) << restored.stderrText;
  EXPECT_TRUE(restored.boxes.empty());
  ExpectEveryBackedUpRow(expected);
  EXPECT_EQ(FileBytes(backup), backupBytes);  // a restore never writes into the backup folder
}

// While the course's tables are made, and while the backup is staged and upgraded.
TEST_F(KilledRestoreProcess, KilledWhileItPreparesItLeavesEveryTableCleanAndARestoreBringsEveryRowBack) {
  KillAtEachPointThenRestore({{"Init DEST", 0}, {"Init DEST", 400}, {"Init DEST", 1500}, {"Begin Restore", 0},
                              {"Init SRC", 0}});
}

// While the rows of one table after another are copied, and the images.
TEST_F(KilledRestoreProcess, KilledWhileItCopiesLeavesEveryTableCleanAndARestoreBringsEveryRowBack) {
  KillAtEachPointThenRestore({{"Copying table: QUESTS", 0}, {"    Copied Row ID#0020040", 0},
                              {"Copying table: EXAMS", 0}, {"Copying table: STUDENTS", 0},
                              {"Copying table: TEMPLATES", 0}, {"Copying images", 0}});
}

// A restore writes into work copies of the course's tables and swaps the changed
// ones in as one group at its end: killed at any point and then run whole, it
// leaves the course exactly as one whole restore does, row by row, and so does a
// second whole restore over the restored course.
TEST_F(KilledRestoreProcess, KilledAtAnyPointThenRestoredWholeItLeavesWhatOneWholeRestoreLeaves) {
  const auto emptied = FileBytes(made.install.course);
  const auto putEmptiedBack = [&] {
    EmptyCourse();
    for (const auto& [name, bytes] : emptied) testing_support::WriteFile(made.install.course + "/" + name, bytes);
  };
  const auto expectAsOnce = [&](const std::map<std::string, std::multiset<std::string>>& once) {
    const auto now = FolderRows(made.install.course);
    for (const auto& [name, rows] : once) EXPECT_TRUE(now.count(name) && now.at(name) == rows) << name;
    EXPECT_EQ(now.size(), once.size());
    EXPECT_FALSE(fs::exists(made.install.course + "/.tolvarin-swap"));
  };
  ASSERT_EQ(Run("RESTORE").status, 0);
  const auto once = FolderRows(made.install.course);
  for (const KillPoint& point : std::vector<KillPoint>{{"Begin Restore", 0},
                                                       {"Copying table: QUESTS", 0},
                                                       {"    Copied Row ID#0020040", 0},
                                                       {"Copying table: SESRESULTS", 0},
                                                       {"Copying table: TEMPLATES", 0},
                                                       {"Copying images", 0},
                                                       {"Putting the restored tables in place", 0},
                                                       {"Putting the restored tables in place", 300},
                                                       {"Putting the restored tables in place", 3000}}) {
    SCOPED_TRACE(std::string(point.marker) + " +" + std::to_string(point.pauseMicroseconds) + "us");
    putEmptiedBack();
    app_testing::RunAndKillAt(Args("RESTORE"), RunLog(), point.marker,
                              std::chrono::microseconds(point.pauseMicroseconds));
    // The course is read once the whole restore has finished what the kill left (a
    // table caught between two moves of the swap would be rebuilt by the system's
    // open, and the swap then completed over the rebuilt files).
    const RunResult whole = Run("RESTORE");
    ASSERT_EQ(whole.status, 0) << whole.stderrText;
    expectAsOnce(once);
  }
  SCOPED_TRACE("a second whole restore");
  const RunResult again = Run("RESTORE");
  ASSERT_EQ(again.status, 0) << again.stderrText;
  expectAsOnce(once);
}

// Into the course the backup emptied, the restore brings the standards tree back as
// it was: the publisher's nodes from the course's own kept table, the teacher's once.
TEST_F(KilledRestoreProcess, ARestoreBringsBackThePublishersStandardsAndTheTeachersOnce) {
  const RunResult restored = Run("RESTORE");
  ASSERT_EQ(restored.status, 0) << restored.stderrText;
  const auto was = Tables(before);
  const auto now = Tables(made.install.course);
  for (const char* table : {"standard", "stanques", "quests"}) {
    SCOPED_TRACE(table);
    ASSERT_TRUE(was.count(table) && now.count(table));
    EXPECT_EQ(Rows(now.at(table)), Rows(was.at(table)));
  }
}

// A copy of a blank table killed in the middle left an empty data file or the first
// bytes of its blank copy: the restore takes it for the missing table it is.
TEST_F(KilledRestoreProcess, ARestoreMakesTheTablesAnEarlierKilledRunLeftUnfinished) {
  const auto expected = BackedUpRows();
  testing_support::WriteFile(made.install.course + "/quests.dbf", "");
  const std::string blankExams = testing_support::ReadFile(made.install.blank + "/exams.dbf");
  testing_support::WriteFile(made.install.course + "/exams.dbf", blankExams.substr(0, 50));
  const RunResult restored = Run("RESTORE");
  ASSERT_EQ(restored.status, 0) << restored.stderrText;
  EXPECT_TRUE(restored.boxes.empty());
  ExpectEveryBackedUpRow(expected);
}

// A backup folder without the record of what it holds (an older one) whose tables
// are damaged is repaired in the restore's own copy, as any table is, and restored;
// the folder itself stays as it was.
TEST_F(KilledRestoreProcess, ADamagedBackupTableIsRepairedAndRestored) {
  app_testing::ForgetBackupRecord(backup);
  const fs::path quests = Tables(backup).at("quests");
  std::string bytes = testing_support::ReadFile(quests);
  const long rows = static_cast<long>(Rows(quests).size());
  bytes[4] = 1, bytes[5] = 0, bytes[6] = 0, bytes[7] = 0;  // the header claims one record
  testing_support::WriteFile(quests, bytes);
  const auto backupBytes = FileBytes(backup);
  const RunResult restored = Run("RESTORE");
  ASSERT_EQ(restored.status, 0) << restored.stderrText;
  EXPECT_TRUE(restored.boxes.empty());
  EXPECT_EQ(CheckFolder(made.install.course).at("quests.dbf"), rows);
  EXPECT_EQ(FileBytes(backup), backupBytes);
}

// Bad input is told (the run log, where the host's rules want no box) and changes
// nothing in the course or the backup folder.
TEST_F(KilledRestoreProcess, BadInputIsToldAndChangesNothing) {
  struct Case {
    const char* name;
    const char* file;      // a backup folder file replaced, "" for none
    const char* bytes;
    const char* course;    // another CoursePath, "" for the course
    const char* told;      // in the box, or in the run log when no box is shown
    bool box;
  } cases[] = {
      {"a backup table beyond repair", "quests.dbf", "not a table at all", "",
       "the table quests (quests.dbf) is damaged", true},
      {"a course folder that does not exist", "", "", "Nowhere", "does not exist", false},
  };
  PutCourseBack();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto original = FileBytes(backup);
    if (*c.file) testing_support::WriteFile(backup + "/" + c.file, c.bytes);
    const auto course = FileBytes(made.install.course);
    const auto backupBytes = FileBytes(backup);
    const RunResult run = Run("RESTORE", *c.course ? made.install.area + "/" + c.course : "");
    EXPECT_NE(run.status, 0);
    if (c.box) {
      ASSERT_EQ(run.boxes.size(), 1u) << run.stderrText;
      EXPECT_NE(run.boxes[0].box.text.find(c.told), std::string::npos) << run.boxes[0].box.text;
    } else {
      EXPECT_TRUE(run.boxes.empty());
      const std::string runLog = testing_support::ReadFile(RunLog());
      EXPECT_NE(runLog.find(c.told), std::string::npos) << runLog.substr(runLog.size() > 400 ? runLog.size() - 400 : 0);
    }
    EXPECT_EQ(FileBytes(made.install.course), course);
    EXPECT_EQ(FileBytes(backup), backupBytes);
    for (const auto& [name, bytes] : original) testing_support::WriteFile(backup + "/" + name, bytes);
  }
}

}  // namespace
