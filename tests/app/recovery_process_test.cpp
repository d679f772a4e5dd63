// The recovery of an automatic backup through the real program with windows (under
// Xvfb): mode 2 and the main window's Recover Content, driven by scripted steps.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/settings.h"
#include "core/terminate.h"
#include "course_maker.h"
#include "course_tables.h"
#include "data/codebase.h"
#include "host_run.h"
#include "platform/xbase/xbase.h"
#include "spawned_run.h"
#include "virtual_display.h"

namespace fs = std::filesystem;
using app_testing::HostRun;
using app_testing::RunResult;
using app_testing::DisplayTest;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

// The table files of a folder with their bytes (Status.DBF, the version file, left out).
std::map<std::string, std::string> TableFiles(const std::string& folder) {
  std::map<std::string, std::string> files = app_testing::FileBytes(folder, {".dbf", ".cdx", ".fpt"});
  files.erase("Status.DBF");
  return files;
}

class RecoveryProcess : public DisplayTest {
 protected:
  void SetUp() override {
    DisplayTest::SetUp();
    if (IsSkipped()) return;
    course_maker::CourseOptions options;
    options.questions = 40;
    made = course_maker::MakeCourse(host.Scratch() + "/Install", options);
    slots = made.install.databases + "/Backup/Corvane/Science/Biology";
    // Two automatic backups: the first made five days ago, so the second is due.
    ASSERT_EQ(host.Run(Course({"Mode:DIRECTCOPY"})).status, 0);
    WriteFile(slots + "/1/TOLVARIN.INI", "[Tolvarin]\r\nType=DirectCopy\r\nCreated=2026-12-01 10:00:00\r\n");
    ASSERT_EQ(host.Run(Course({"Mode:DIRECTCOPY"})).status, 0);
    ASSERT_TRUE(fs::exists(slots + "/2/TOLVARIN.INI"));
  }
  std::vector<std::string> Course(std::vector<std::string> args) const {
    for (const char* key : {"Brand:Corvane", "AreaID:1", "CourseID:3"}) args.push_back(key);
    args.insert(args.begin(), "AppPath:" + made.install.app);
    return args;
  }
  std::vector<std::string> HeldFolders() const {
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(slots))
      if (e.path().filename().string().rfind("before-recovery-", 0) == 0) found.push_back(e.path().string());
    return found;
  }

  HostRun host;
  course_maker::MadeCourse made;
  std::string slots;
};

TEST_F(RecoveryProcess, ModeTwoPutsTheNewestSlotBackAndKeepsTheDamagedFiles) {
  WriteFile(made.install.course + "/quests.dbf", "damaged");
  WriteFile(made.install.course + "/later.dbf", "a table made after the backups");
  const auto damaged = TableFiles(made.install.course);
  const RunResult run = host.RunOnDisplay(Course({"Mode:RECOVER"}),
                                          {"pick:lstCourses=Biology", "shot:recover", "click:cmdRecover", "Yes", "OK"},
                                          Display());
  ASSERT_EQ(run.status, 0) << run.stderrText;
  ASSERT_EQ(run.boxes.size(), 2u);
  EXPECT_EQ(run.boxes[0].box.text.rfind("You are about to recover Biology Auto-Backup 2, which represents", 0), 0u)
      << run.boxes[0].box.text;
  EXPECT_EQ(run.boxes[0].box.icon, 48);
  EXPECT_EQ(run.boxes[1].box.text.rfind("Recovery of Auto-Backup complete.", 0), 0u);
  auto slot = TableFiles(slots + "/2");
  EXPECT_EQ(TableFiles(made.install.course), slot);  // byte for byte, and nothing else
  const auto held = HeldFolders();
  ASSERT_EQ(held.size(), 1u);
  EXPECT_EQ(TableFiles(held[0]), damaged);
  EXPECT_NE(run.boxes[1].box.text.find(held[0]), std::string::npos);
}

TEST_F(RecoveryProcess, BackTheCloseBoxAndABackupOfUserContentChangeNothing) {
  WriteFile(made.install.course + "/quests.dbf", "damaged");
  const auto before = TableFiles(made.install.course);
  // Slot 3, the newest, holds a backup folder of user content.
  fs::create_directories(slots + "/3");
  WriteFile(slots + "/3/TOLVARIN.INI", "[Tolvarin]\r\nType=UserContent\r\nCreated=2026-12-30 10:00:00\r\n");
  WriteFile(slots + "/3/quests.dbf", "user content only");
  struct Case {
    const char* what;
    std::vector<std::string> steps;
    int status;
  } cases[] = {
      {"Back", {"pick:lstCourses=Biology", "click:cmdBack"}, 0},
      {"No, then Back", {"pick:lstCourses=Biology", "click:cmdRecover", "No", "click:cmdBack"}, 0},
      {"user content", {"pick:lstCourses=Biology", "click:cmdRecover", "Yes", "OK"}, tolvarin::kTerminateStatus},
  };
  for (const Case& c : cases) {
    const RunResult run = host.RunOnDisplay(Course({"Mode:RECOVER"}), c.steps, Display());
    EXPECT_EQ(run.status, c.status) << c.what << "\n" << run.stderrText;
    EXPECT_EQ(TableFiles(made.install.course), before) << c.what;
    EXPECT_TRUE(HeldFolders().empty()) << c.what;
  }
  const RunResult refused = host.RunOnDisplay(
      Course({"Mode:RECOVER"}), {"pick:lstCourses=Biology", "click:cmdRecover", "Yes", "OK"}, Display());
  ASSERT_EQ(refused.boxes.size(), 2u);
  EXPECT_EQ(refused.boxes[1].box.text.rfind("The backup contained within " + slots + "/3 was not generated", 0), 0u)
      << refused.boxes[1].box.text;
  EXPECT_EQ(refused.boxes[1].box.icon, 16);
}

TEST_F(RecoveryProcess, FromTheMainWindowBackReturnsToItAndARecoveryEndsTheRun) {
  WriteFile(made.install.course + "/quests.dbf", "damaged");
  const auto before = TableFiles(made.install.course);
  const std::vector<std::string> login = {"Interactive:TRUE", "UserName:latsek", "Password:580246"};
  const RunResult back = host.RunOnDisplay(
      Course(login), {"click:cmdRecover", "pick:lstCourses=Biology", "click:cmdBack", "click:cmdClose"},
      Display());
  EXPECT_EQ(back.status, 0) << back.stderrText;
  EXPECT_EQ(TableFiles(made.install.course), before);

  const RunResult recovered = host.RunOnDisplay(
      Course(login), {"click:cmdRecover", "pick:lstCourses=Biology", "click:cmdRecover", "Yes", "OK"},
      Display());
  EXPECT_EQ(recovered.status, 0) << recovered.stderrText;
  EXPECT_EQ(TableFiles(made.install.course), TableFiles(slots + "/2"));
}

// A recovery killed at any point, in mode 2 and from the main window: every table of
// the course opens clean, and once the next run has completed or undone what the kill
// left, the course holds its former tables or the slot's, each whole, never a mix.
TEST_F(RecoveryProcess, ARecoveryKilledAtAnyPointLeavesTheFormerTablesOrTheSlotsWhole) {
  if (tolvarin::Engine().EngineHandle == 0) tolvarin::InitCodeBase();
  tolvarin::Paths().DatabasesRoot = made.install.databases;  // the blank copies of the automatic repair
  const fs::path course = made.install.course;
  // Since the backups: a question changed, and a table the slots do not have.
  const xbase::Data4 quests = xbase::d4open(tolvarin::Engine().EngineHandle, (course / "quests.dbf").string());
  ASSERT_NE(quests, 0);
  ASSERT_EQ(xbase::d4go(quests, 1), 0);
  xbase::f4assign(xbase::d4field(quests, "question"), "Changed after the backups");
  ASSERT_EQ(xbase::d4flush(quests), 0);
  xbase::d4close(quests);
  for (const char* extension : {".dbf", ".cdx", ".fpt"})
    if (fs::exists(course / (std::string("exams") + extension)))
      fs::copy_file(course / (std::string("exams") + extension), course / (std::string("later") + extension));
  const auto former = app_testing::FolderRows(course);
  const auto recovered = app_testing::FolderRows(slots + "/2");
  ASSERT_NE(former, recovered);
  const auto formerFiles = TableFiles(course);

  const std::vector<std::string> modeTwo = Course({"Mode:RECOVER"});
  const std::vector<std::string> mainWindow = Course({"Interactive:TRUE", "UserName:latsek", "Password:580246"});
  // A kill point is a run-log line, or (no marker) the first new entry in the course
  // folder: the first copy into it has begun.
  const std::string log = made.install.app + "/tolvarin.log";
  const struct {
    bool fromMainWindow;
    const char* marker;
    int pauseMicroseconds;
  } points[] = {{false, nullptr, 0},
                {false, nullptr, 1500},
                {false, nullptr, 5000},
                {false, "Recovery: the tables of", 0},
                {false, "Recovery: putting the tables", 0},
                {false, "Recovery: putting the tables", 30000},
                {true, nullptr, 1000},
                {true, "Recovery: putting the tables", 500}};
  const auto entries = [&] {
    std::set<std::string> names;
    std::error_code error;
    for (const auto& e : fs::directory_iterator(course, error)) names.insert(e.path().filename().string());
    return names;
  };
  int killed = 0, asTheyWere = 0;
  for (const auto& point : points) {
    SCOPED_TRACE(std::string(point.fromMainWindow ? "main window, " : "mode 2, ") +
                 (point.marker ? point.marker : "a new entry in the course") + " +" +
                 std::to_string(point.pauseMicroseconds) + "us");
    for (const auto& [name, bytes] : TableFiles(course)) fs::remove(course / name);
    for (const auto& [name, bytes] : formerFiles) WriteFile(course / name, bytes);
    const std::vector<std::string> steps =
        point.fromMainWindow
            ? std::vector<std::string>{"click:cmdRecover", "pick:lstCourses=Biology", "click:cmdRecover", "Yes", "OK"}
            : std::vector<std::string>{"pick:lstCourses=Biology", "click:cmdRecover", "Yes", "OK"};
    const std::vector<std::string>& args = point.fromMainWindow ? mainWindow : modeTwo;
    const auto pause = std::chrono::microseconds(point.pauseMicroseconds);
    const std::vector<std::string> environment = host.DisplayEnvironment(steps, Display());
    if (point.marker) {
      killed += app_testing::RunAndKillAt(args, log, point.marker, pause, environment);
    } else {
      const std::set<std::string> start = entries();
      std::chrono::steady_clock::time_point seen{};
      killed += app_testing::RunUntil(app_testing::HostRun::Program(), args, [&] {
                  if (seen == std::chrono::steady_clock::time_point{}) {
                    if (entries() == start) return false;
                    seen = std::chrono::steady_clock::now();
                  }
                  return std::chrono::steady_clock::now() >= seen + pause;
                }, environment).killed;
    }
    // The course is read once the next run has finished what the kill left: a table
    // caught between two moves of the swap would be taken for damaged and rebuilt by
    // the system's open, and the swap then completed over the rebuilt files.
    const RunResult next =
        host.RunOnDisplay(modeTwo, {"pick:lstCourses=Biology", "click:cmdBack"}, Display());
    EXPECT_EQ(next.status, 0) << next.stderrText;
    const auto now = app_testing::FolderRows(course);
    std::string mixed;
    for (const auto& [name, rows] : now)
      if (!former.count(name) || former.at(name) != rows)
        mixed += " " + name + (recovered.count(name) && recovered.at(name) == rows ? "(recovered)" : "(neither)");
    EXPECT_TRUE(now == former || now == recovered) << "tables not as they were:" << mixed;
    asTheyWere += now == former;
    EXPECT_FALSE(fs::exists(course / ".tolvarin-swap"));
    app_testing::CheckFolder(course);
  }
  std::printf("%d of %zu recoveries were killed before they ended, %d leaving the former tables\n", killed,
              std::size(points), asTheyWere);
}

}  // namespace
