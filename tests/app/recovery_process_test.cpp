// The recovery of an automatic backup through the real program with windows (under
// Xvfb): mode 2 and the main window's Recover Content, driven by scripted steps.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "core/terminate.h"
#include "course_maker.h"
#include "host_run.h"
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
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(folder)) {
    const std::string name = e.path().filename().string(), ext = e.path().extension().string();
    if (e.is_regular_file() && name != "Status.DBF" && (ext == ".dbf" || ext == ".cdx" || ext == ".fpt"))
      files[name] = ReadFile(e.path());
  }
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

}  // namespace
