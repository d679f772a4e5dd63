// The gradebook's restore-point dialog and the repair dialog through the real
// program with windows (under Xvfb), on a course maker course, driven by scripted
// steps: Mode:PRECISIONRESTORE on backups made by Mode:PRECISIONBACKUP runs, and
// Mode:REPAIRCORRUPTTABLE on damaged tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/settings.h"
#include "course_maker.h"
#include "course_tables.h"
#include "data/codebase.h"
#include "host_run.h"
#include "kill_point.h"
#include "platform/xbase/xbase.h"
#include "virtual_display.h"

namespace fs = std::filesystem;
using app_testing::HostRun;
using app_testing::RunResult;
using app_testing::DisplayTest;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

std::map<std::string, std::string> TableFiles(const fs::path& folder) {
  return app_testing::FileBytes(folder, {".dbf", ".cdx", ".fpt"});
}

// Each row's first field and its field at index, joined by "|".
std::multiset<std::string> KeyAndText(const std::multiset<std::string>& rows, std::size_t index) {
  std::multiset<std::string> kept;
  for (const std::string& row : rows) {
    std::vector<std::string> fields(1);
    for (char c : row) {
      if (c == '|') fields.emplace_back();
      else fields.back() += c;
    }
    kept.insert(fields[0] + "|" + (index < fields.size() ? fields[index] : ""));
  }
  return kept;
}

class RestoreRepairProcess : public DisplayTest {
 protected:
  void SetUp() override {
    DisplayTest::SetUp();
    if (IsSkipped()) return;
    if (tolvarin::Engine().EngineHandle == 0) tolvarin::InitCodeBase();
    course_maker::CourseOptions options;
    options.questions = 60;
    made = course_maker::MakeCourse(host.Scratch() + "/Install", options);
    course = made.install.course;
    backups = fs::path(made.install.databases) / "Backup";
  }
  RunResult Run(const std::string& mode, const std::vector<std::string>& steps) const {
    return host.RunOnDisplay({"AppPath:" + made.install.app, "Mode:" + mode}, steps, Display());
  }
  // Sets the question text of the course's record.
  void Change(long record, const std::string& text) const {
    const xbase::Data4 data =
        xbase::d4open(tolvarin::Engine().EngineHandle, (course / "quests.dbf").string());
    ASSERT_NE(data, 0);
    ASSERT_EQ(xbase::d4go(data, record), 0);
    xbase::f4assign(xbase::d4field(data, "question"), text);
    ASSERT_EQ(xbase::d4flush(data), 0);
    xbase::d4close(data);
  }
  // A precision backup of the first questions of the course, as the gradebook makes
  // one: its profile, then a PRECISIONBACKUP run; each an hour after the one before.
  void Backup(int number) const {
    const fs::path folder = backups / ("GradebookBackup" + std::to_string(number));
    PrecisionBackupInto(folder);
    fs::last_write_time(folder / "backupprofile.xml",
                        fs::file_time_type::clock::now() - std::chrono::hours(10 - number));
  }
  // The profile of the first questions of the course into the folder, then a
  // PRECISIONBACKUP run on it.
  void PrecisionBackupInto(const fs::path& folder) const {
    fs::create_directories(folder);
    std::string ids;
    for (int i = 0; i < 6; ++i) {
      char id[16];
      std::snprintf(id, sizeof id, "%07d", made.content.questions[static_cast<std::size_t>(i)].id);
      ids += "<ID>" + std::string(id) + "</ID>";
    }
    WriteFile(folder / "backupprofile.xml", "<CourseBackupProfile><Path>" + course.string() +
                                                "/</Path><TableBackupProfile><Name>quests</Name><Tag>quest_id</Tag>" +
                                                ids + "</TableBackupProfile></CourseBackupProfile>");
    const RunResult run = host.Run({"AppPath:" + made.install.app, "Mode:PRECISIONBACKUP",
                                        "BackupPath:" + folder.string()});
    ASSERT_EQ(run.status, 0) << run.stderrText;
  }

  HostRun host;
  course_maker::MadeCourse made;
  fs::path course, backups;
};

// Where a backup holds the course's tables: below its folder as the course lies below the brand folder.
fs::path BackupTables(const fs::path& backups, int number) {
  return backups / ("GradebookBackup" + std::to_string(number)) / "Science" / "Biology";
}

const std::vector<std::string> kToCourse{"click:cmdRestoreTypeNext", "shot:type", "click:cmdChooseNext",
                                         "pick:lstCourses=Biology", "shot:courses", "click:cmdRestore"};

TEST_F(RestoreRepairProcess, RestoringToTheThirdBackupAppliesOneToThreeAfterACheckedRestorePoint) {
  Backup(1);
  Change(2, "Changed before the second backup");
  Backup(2);
  Change(3, "Changed before the third backup");
  Backup(3);
  Change(1, "Changed after every backup");
  Change(2, "Changed again after every backup");
  const auto before = TableFiles(course);
  const auto rowsBefore = app_testing::Rows(course / "quests.dbf");

  // Declining the question, or closing the dialog, changes nothing.
  for (const std::vector<std::string>& steps :
       {std::vector<std::string>{"close:frmGBRestore"},
        [] {
          auto s = kToCourse;
          s.insert(s.end(), {"No", "close:frmGBRestore"});
          return s;
        }()}) {
    const RunResult run = Run("PRECISIONRESTORE", steps);
    EXPECT_EQ(run.status, 0) << run.stderrText;
    EXPECT_EQ(TableFiles(course), before);
    EXPECT_FALSE(fs::exists(backups / "RestorePoint1.zip"));
  }

  std::vector<std::string> steps = kToCourse;
  steps.insert(steps.end(), {"Yes", "OK", "close:frmGBRestore"});
  const RunResult run = Run("PRECISIONRESTORE", steps);
  ASSERT_EQ(run.status, 0) << run.stderrText;
  ASSERT_EQ(run.boxes.size(), 2u) << run.stderrText;
  EXPECT_NE(run.boxes[0].box.text.find("to its state on "), std::string::npos) << run.boxes[0].box.text;
  EXPECT_EQ(run.boxes[1].box.text, "Your databases have been restored. ");
  // The course holds exactly the third backup's rows, with clean tags.
  const auto restored = app_testing::Rows(course / "quests.dbf");
  EXPECT_EQ(restored, app_testing::Rows(BackupTables(backups, 3) / "quests.dbf"));
  EXPECT_EQ(restored.size(), 6u);
  std::string all;
  for (const std::string& row : restored) all += row + "\n";
  EXPECT_NE(all.find("Changed before the second backup"), std::string::npos) << all;
  EXPECT_NE(all.find("Changed before the third backup"), std::string::npos) << all;
  EXPECT_EQ(all.find("after every backup"), std::string::npos) << all;
  // The restore point holds the course as it was, every file of it.
  const fs::path unpacked = host.Scratch() + "/unpacked";
  ASSERT_EQ(std::system(("unzip -q -o " + (backups / "RestorePoint1.zip").string() + " -d " + unpacked.string())
                            .c_str()),
            0);
  EXPECT_EQ(TableFiles(unpacked), before);
  EXPECT_EQ(app_testing::Rows(unpacked / "quests.dbf"), rowsBefore);
}

TEST_F(RestoreRepairProcess, ADamagedIncrementLeavesTheCourseAsItWas) {
  Backup(1);
  Backup(2);
  ASSERT_TRUE(fs::exists(BackupTables(backups, 2) / "quests.dbf"));
  WriteFile(BackupTables(backups, 2) / "quests.dbf", std::string(4000, 'x'));
  Change(1, "Changed after every backup");
  const auto before = TableFiles(course);
  std::vector<std::string> steps = kToCourse;
  steps.insert(steps.end(), {"Yes", "OK", "close:frmGBRestore"});
  const RunResult run = Run("PRECISIONRESTORE", steps);
  ASSERT_EQ(run.status, 0) << run.stderrText;
  ASSERT_EQ(run.boxes.size(), 2u) << run.stderrText;
  EXPECT_NE(run.boxes[1].box.text.find("Biology: the backups could not be applied; it was left as it was (its files "
                                       "are also kept in " +
                                       (backups / "RestorePoint1.zip").string()),
            std::string::npos)
      << run.boxes[1].box.text;
  EXPECT_EQ(TableFiles(course), before);
}

// A restore killed at any point: every table of the course opens clean, and once the
// next run has completed or undone what the kill left, the course holds its tables as
// they were or exactly the restored set, never a part of each.
TEST_F(RestoreRepairProcess, ARestoreKilledAtAnyPointLeavesTheCourseAsItWasOrWhollyRestored) {
  tolvarin::Paths().DatabasesRoot = made.install.databases;  // the blank copies of the automatic repair
  Backup(1);
  Change(2, "Changed before the second backup");
  Backup(2);
  Change(1, "Changed after every backup");
  const auto before = TableFiles(course);
  const auto asItWas = app_testing::FolderRows(course);
  const auto putBefore = [&] {
    for (const auto& [name, bytes] : TableFiles(course)) fs::remove(course / name);
    for (const auto& [name, bytes] : before) WriteFile(course / name, bytes);
  };
  std::vector<std::string> steps = kToCourse;
  steps.insert(steps.end(), {"Yes", "OK", "close:frmGBRestore"});
  // What one whole restore leaves: the second backup's questions, with no other table
  // of the course but the attributes table the backups hold.
  ASSERT_EQ(Run("PRECISIONRESTORE", steps).status, 0);
  const auto restored = app_testing::FolderRows(course);
  ASSERT_EQ(restored.at("quests"), app_testing::Rows(BackupTables(backups, 2) / "quests.dbf"));
  ASSERT_NE(asItWas, restored);
  const std::string saved = "Gradebook restore: " + course.string() + " saved into";
  const struct {
    std::string marker;  // a run-log line
    int pauseMicroseconds;
  } points[] = {{saved, 0},
                {saved, 2000},
                {saved, 8000},
                {saved, 20000},
                {"Gradebook restore: applying", 300},
                {"Gradebook restore: putting the restored tables", 0},
                {"Gradebook restore: putting the restored tables", 30000}};
  int killed = 0, asItWasCount = 0;
  for (const auto& point : points) {
    SCOPED_TRACE(point.marker + " +" + std::to_string(point.pauseMicroseconds) + "us");
    putBefore();
    if (app_testing::RunAndKillAt({"AppPath:" + made.install.app, "Mode:PRECISIONRESTORE"},
                                  made.install.app + "/tolvarin.log", point.marker,
                                  std::chrono::microseconds(point.pauseMicroseconds),
                                  host.DisplayEnvironment(steps, Display())))
      ++killed;
    // The course is read once the next run has finished what the kill left: a table
    // caught between two moves of the swap (a new memo file beside the old data file)
    // would be taken for damaged and rebuilt by the system's open, and the swap then
    // completed over the rebuilt files.
    const RunResult next = Run("PRECISIONRESTORE", {"close:frmGBRestore"});
    EXPECT_EQ(next.status, 0) << next.stderrText;
    const auto now = app_testing::FolderRows(course);
    std::string tables;
    for (const auto& [name, rows] : now) tables += " " + name + "(" + std::to_string(rows.size()) + ")";
    EXPECT_TRUE(now == asItWas || now == restored) << "the course holds" << tables;
    asItWasCount += now == asItWas;
    EXPECT_FALSE(fs::exists(course / ".tolvarin-swap"));
    app_testing::CheckFolder(course);
  }
  std::printf("%d of %zu restores were killed before they ended, %d leaving the course as it was\n", killed,
              std::size(points), asItWasCount);
}

TEST_F(RestoreRepairProcess, RepairRebuildsDamagedTablesKeepingEveryRowAndSafetyCopies) {
  const auto quests = app_testing::Rows(course / "quests.dbf");
  const auto exams = app_testing::Rows(course / "exams.dbf");
  // A wrong count, a missing index, and a cut data file (its last record half gone).
  std::string bytes = ReadFile(course / "quests.dbf");
  bytes[4] = 1, bytes[5] = bytes[6] = bytes[7] = 0;
  WriteFile(course / "quests.dbf", bytes);
  fs::remove(course / "exams.cdx");
  const auto questypeRows = app_testing::Rows(course / "questype.dbf").size();
  const std::string questype = ReadFile(course / "questype.dbf");
  const auto width = static_cast<unsigned char>(questype[10]) | static_cast<unsigned char>(questype[11]) << 8;
  WriteFile(course / "questype.dbf", questype.substr(0, questype.size() - 1 - width * 2 / 3));
  fs::rename(course / "exams.dbf", course / "EXAMS.DBF");
  if (fs::exists(course / "exams.fpt")) fs::rename(course / "exams.fpt", course / "EXAMS.FPT");
  const std::string damaged = ReadFile(course / "quests.dbf");

  const RunResult run =
      Run("REPAIRCORRUPTTABLE", {"click:cmdRepair", "esc", "pick:lstDBLoc=Science\\Biology", "shot:repair",
                                 "pick:lstDatabaseFiles=quests.dbf", "click:cmdRepair", "OK",
                                 "pick:lstDatabaseFiles=EXAMS.DBF", "click:cmdRepair", "OK",
                                 "pick:lstDatabaseFiles=questype.dbf", "click:cmdRepair", "OK", "close:frmRepairCorruption"});
  ASSERT_EQ(run.status, 0) << run.stderrText;
  ASSERT_EQ(run.boxes.size(), 4u) << run.stderrText;
  for (const char* repaired : {"Repaired:", "quests.dbf", "EXAMS.DBF", "questype.dbf"})
    EXPECT_NE((run.boxes[1].box.text + run.boxes[2].box.text + run.boxes[3].box.text).find(repaired),
              std::string::npos)
        << repaired;
  EXPECT_EQ(run.boxes[0].box.text, "Please select one or more files.");
  EXPECT_EQ(run.boxes[0].box.icon, 16);
  for (std::size_t i = 1; i < 4; ++i)
    EXPECT_EQ(run.boxes[i].box.text.rfind("Finished processing selected tables.", 0), 0u) << run.boxes[i].box.text;
  // Every row with its key and text (the rebuild writes "0" into blank character fields).
  EXPECT_EQ(KeyAndText(app_testing::Rows(course / "quests.dbf"), 6), KeyAndText(quests, 6));
  EXPECT_EQ(KeyAndText(app_testing::Rows(course / "EXAMS.DBF"), 4), KeyAndText(exams, 4));
  // Only the cut record is gone (the last one may have been a deleted one).
  EXPECT_GE(app_testing::Rows(course / "questype.dbf").size(), questypeRows - 1);
  // Each table's files as they were went into a dated safety folder first.
  std::vector<fs::path> copies;
  for (const auto& e : fs::recursive_directory_iterator(backups))
    if (e.path().filename() == "quests.dbf") copies.push_back(e.path());
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(ReadFile(copies[0]), damaged);
  EXPECT_EQ(copies[0].parent_path().filename(), "Biology");
}

// A restore killed right after each step of putting its tables in place (its marker,
// then each move into the course): a precision backup of the course, the next run,
// finishes that swap before it reads a table, so that it backs up the restored rows
// whole and leaves the course exactly restored.
TEST_F(RestoreRepairProcess, APrecisionBackupFinishesTheSwapOfAKilledRestoreBeforeItReads) {
  tolvarin::Paths().DatabasesRoot = made.install.databases;
  Backup(1);
  Change(2, "Changed before the second backup");
  Backup(2);
  Change(1, "Changed after every backup");
  const auto before = TableFiles(course);
  const auto putBefore = [&] {
    for (const auto& [name, bytes] : TableFiles(course)) fs::remove(course / name);
    for (const auto& [name, bytes] : before) WriteFile(course / name, bytes);
  };
  std::vector<std::string> steps = kToCourse;
  steps.insert(steps.end(), {"Yes", "OK", "close:frmGBRestore"});
  const auto restore = [&] {
    return host.RunOnDisplay({"AppPath:" + made.install.app, "Mode:PRECISIONRESTORE"}, steps, Display());
  };
  app_testing::KillPoint kill(host);
  const std::string inCourse = course.string() + "/*";
  RunResult whole;
  const std::vector<std::string> renames = kill.Steps("rename", inCourse, restore, &whole);
  ASSERT_EQ(whole.status, 0) << whole.stderrText;
  const auto restored = app_testing::FolderRows(course);
  const auto marker = std::find_if(renames.begin(), renames.end(), [](const std::string& path) {
    return path.size() > 6 && path.substr(path.size() - 6) == ".ready";
  });
  ASSERT_NE(marker, renames.end());
  ASSERT_GT(renames.end() - marker, 1) << "the swap moves tables into the course after its marker";

  const fs::path check = fs::path(host.Scratch()) / "Check";
  for (auto at = marker; at != renames.end(); ++at) {
    SCOPED_TRACE("killed after the rename to " + *at);
    putBefore();
    ASSERT_TRUE(kill.KilledAt({"rename", inCourse, at - renames.begin() + 1}, restore));
    fs::remove_all(check);
    PrecisionBackupInto(check);
    EXPECT_EQ(app_testing::Rows(check / "Science" / "Biology" / "quests.dbf"), restored.at("quests"));
    EXPECT_FALSE(fs::exists(course / ".tolvarin-swap"));
    EXPECT_TRUE(app_testing::FolderRows(course) == restored);
  }
}

}  // namespace
