// The host's automatic backup (Mode DIRECTCOPY) through the real program: the slot
// rotation, the four-day rule, and runs killed while they copy.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>

#include "core/run_log.h"
#include "course_tables.h"
#include "kill_point.h"
#include "course_maker.h"
#include "host_run.h"
#include "spawned_run.h"

namespace fs = std::filesystem;
using app_testing::HostRun;
using app_testing::RunResult;
using testing_support::ReadFile;
using testing_support::WriteFile;
using Clock = std::chrono::system_clock;

namespace {

std::string DaysAgo(double days) {
  return tolvarin::FormatTimeStamp(Clock::now() - std::chrono::duration_cast<Clock::duration>(
                                                      std::chrono::duration<double>(days * 86400)));
}

std::string Created(const std::string& slot) {
  const std::string ini = ReadFile(slot + "/TOLVARIN.INI");
  const size_t at = ini.find("Created=");
  return at == std::string::npos ? "" : ini.substr(at + 8, 19);
}

class AutoBackupProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    course_maker::CourseOptions options;
    options.questions = 80;
    made = course_maker::MakeCourse(host.Scratch() + "/inst", options);
    slots = made.install.databases + "/Backup/Corvane/Science/Biology";
  }
  std::vector<std::string> Args() const {
    return {"AppPath:" + made.install.app, "Mode:DIRECTCOPY", "CoursePath:" + made.install.course};
  }
  RunResult Backup() const { return host.Run(Args()); }
  std::string Slot(int n) const { return slots + "/" + std::to_string(n); }
  void Stamp(int n, const std::string& created) const {
    fs::create_directories(Slot(n));
    WriteFile(Slot(n) + "/TOLVARIN.INI", "[Tolvarin]\r\nCreated=" + created + "\r\nType=DirectCopy\r\n");
  }
  // Every table file and user image of the course stands in the slot with its bytes.
  void ExpectWholeCopy(int n) const {
    size_t files = 0;
    for (const auto& e : fs::directory_iterator(made.install.course)) {
      const std::string name = e.path().filename().string();
      const std::string ext = e.path().extension().string();
      const bool userImage = name.size() == 11 && name.rfind("00", 0) == 0 && name[2] >= '2' &&
                             (ext == ".gif" || ext == ".jpg");
      if (ext == ".dbf" || ext == ".cdx" || ext == ".fpt" || userImage) {
        ++files;
        EXPECT_TRUE(ReadFile(Slot(n) + "/" + name) == ReadFile(e.path())) << n << ": " << name;
      }
    }
    EXPECT_GT(files, 30u);
  }

  HostRun host;
  course_maker::MadeCourse made;
  std::string slots;
};

TEST_F(AutoBackupProcess, RotatesThroughEmptySlotsThenTheOldestEveryFourDays) {
  RunResult run = Backup();
  ASSERT_EQ(run.status, 0) << run.stderrText;
  EXPECT_TRUE(run.boxes.empty());
  ExpectWholeCopy(1);
  EXPECT_NE(ReadFile(Slot(1) + "/TOLVARIN.INI").find("Type=DirectCopy"), std::string::npos);
  EXPECT_NE(ReadFile(Slot(1) + "/Status.DBF").find("Schema=3"), std::string::npos);

  ASSERT_EQ(Backup().status, 0);  // within four days: nothing
  EXPECT_FALSE(fs::exists(Slot(2)));

  Stamp(1, DaysAgo(5));
  ASSERT_EQ(Backup().status, 0);  // an empty slot comes before the oldest
  ExpectWholeCopy(2);

  // All five written, slot 3 the oldest: 3.4 days after the newest nothing is
  // copied, 3.6 days after it the oldest is overwritten.
  const std::string times[] = {DaysAgo(5), DaysAgo(3.4), DaysAgo(9), DaysAgo(6), DaysAgo(7)};
  for (int n = 1; n <= 5; ++n) Stamp(n, times[n - 1]);
  ASSERT_EQ(Backup().status, 0);
  EXPECT_EQ(Created(Slot(3)), times[2]);
  Stamp(2, DaysAgo(3.6));
  ASSERT_EQ(Backup().status, 0);
  EXPECT_NE(Created(Slot(3)), times[2]);
  ExpectWholeCopy(3);
  EXPECT_EQ(Created(Slot(4)), times[3]);
}

TEST_F(AutoBackupProcess, ABackupPathFromTheHostHoldsTheSlots) {
  const std::string chosen = host.Scratch() + "/AutoBackups";
  std::vector<std::string> args = Args();
  args.push_back("BackupPath:" + chosen);
  ASSERT_EQ(host.Run(args).status, 0);
  EXPECT_TRUE(fs::exists(chosen + "/1/TOLVARIN.INI"));
  EXPECT_FALSE(fs::exists(slots));
}

TEST_F(AutoBackupProcess, MissingCourseFolderIsSaidAndNothingIsWritten) {
  const RunResult run = host.Run({"AppPath:" + made.install.app, "Mode:DIRECTCOPY",
                                  "CoursePath:" + made.install.area + "/Nowhere"});
  EXPECT_NE(run.status, 0);
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_NE(run.boxes[0].box.text.find("does not exist"), std::string::npos);
  EXPECT_FALSE(fs::exists(made.install.databases + "/Backup"));
}

// Kills the program once the slot folder holds `entries` entries (or lets it end).
void KillWhenSlotHolds(const std::vector<std::string>& args, const std::string& slot, size_t entries) {
  app_testing::RunUntil(app_testing::HostRun::Program(), args, [&] {
    std::error_code ec;
    size_t count = 0;
    for (auto it = fs::directory_iterator(slot, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) ++count;
    return count >= entries;
  });
}

TEST_F(AutoBackupProcess, ASlotKilledMidCopyIsNeverTheNewest) {
  // Large table files make the copy take long enough to be cut at many points.
  for (int i = 1; i <= 4; ++i) WriteFile(made.install.course + "/pad" + std::to_string(i) + ".dbf", std::string(12 << 20, 'p'));
  const std::string course = ReadFile(made.install.course + "/quests.dbf");
  const std::string times[] = {DaysAgo(10), DaysAgo(6), DaysAgo(7), DaysAgo(8), DaysAgo(9)};
  for (int n = 1; n <= 5; ++n) Stamp(n, times[n - 1]);
  const std::string baseline = host.Scratch() + "/slots-before";
  fs::copy(slots, baseline, fs::copy_options::recursive);
  const auto before = app_testing::FileBytes(Slot(1));
  int cutShort = 0;
  for (const size_t point : {1u, 2u, 3u, 5u, 8u, 13u, 21u, 34u, 45u, 55u}) {
    fs::remove_all(slots);
    fs::copy(baseline, slots, fs::copy_options::recursive);
    // The new slot is written beside slot 1: killed while it grows, slot 1 is as it
    // was; past the copy, it is whole and the newest; between the two renames, the
    // old one waits beside it.
    KillWhenSlotHolds(Args(), Slot(1) + ".tolvarin-new", point);
    if (fs::exists(Slot(1) + ".tolvarin-new")) ++cutShort;
    const std::string created = Created(Slot(1));
    if (created == times[0]) {
      EXPECT_TRUE(app_testing::FileBytes(Slot(1)) == before) << point;
    } else if (created.empty()) {
      EXPECT_TRUE(fs::exists(Slot(1) + ".tolvarin-old")) << point;
    } else {
      EXPECT_GT(created, times[1]) << point;
      ExpectWholeCopy(1);
    }
    for (int n = 2; n <= 5; ++n) EXPECT_EQ(Created(Slot(n)), times[n - 1]) << point;
    EXPECT_TRUE(ReadFile(made.install.course + "/quests.dbf") == course);
    // The host's next run finishes or drops what the kill left.
    ASSERT_EQ(Backup().status, 0);
    ExpectWholeCopy(1);
    EXPECT_GT(Created(Slot(1)), times[1]) << point;
    EXPECT_FALSE(fs::exists(Slot(1) + ".tolvarin-new")) << point;
    EXPECT_FALSE(fs::exists(Slot(1) + ".tolvarin-old")) << point;
  }
  EXPECT_GT(cutShort, 0);  // the kills did fall inside the copy
}

// A new slot takes an old one's place keeping the old one's files of tables and images
// the course no longer has (a table whole: one the course has comes as the course has
// it); killed while it takes the place, the next run finishes the work.
TEST_F(AutoBackupProcess, ANewSlotKeepsWhatTheCourseNoLongerHasAndAKillWhileItTakesThePlaceIsFinished) {
  std::string withoutMemo;
  for (const auto& [name, path] : app_testing::Tables(made.install.course))
    if (!fs::exists(fs::path(path).replace_extension(".fpt"))) withoutMemo = fs::path(path).stem().string();
  ASSERT_FALSE(withoutMemo.empty());
  const std::string times[] = {DaysAgo(10), DaysAgo(6), DaysAgo(7), DaysAgo(8), DaysAgo(9)};
  app_testing::KillPoint kill(host);
  // Killed right after: the old slot stepped aside, the new one arrived in its place, the
  // first file the new one keeps was moved over.
  for (const char* killAfter : {"", "*/Biology/1.tolvarin-old", "*/Biology/1", "*/Biology/1/oldnotes.dbf"}) {
    SCOPED_TRACE(killAfter);
    fs::remove_all(slots);
    for (int n = 1; n <= 5; ++n) Stamp(n, times[n - 1]);
    WriteFile(Slot(1) + "/oldnotes.dbf", "a table the course had");
    WriteFile(Slot(1) + "/oldnotes.cdx", "its index");
    WriteFile(Slot(1) + "/0021234.gif", "a picture the course had");
    WriteFile(Slot(1) + "/" + withoutMemo + ".fpt", "a memo file its table no longer has");
    if (*killAfter) {
      ASSERT_TRUE(kill.KilledAt({"rename", killAfter, 1}, [&] { return Backup(); }));
      // Within four days of the new slot nothing more is copied: the run only settles.
      ASSERT_EQ(Backup().status, 0);
    } else {
      ASSERT_EQ(Backup().status, 0);
    }
    ExpectWholeCopy(1);
    EXPECT_GT(Created(Slot(1)), times[1]);
    EXPECT_EQ(ReadFile(Slot(1) + "/oldnotes.dbf"), "a table the course had");
    EXPECT_EQ(ReadFile(Slot(1) + "/oldnotes.cdx"), "its index");
    EXPECT_EQ(ReadFile(Slot(1) + "/0021234.gif"), "a picture the course had");
    EXPECT_FALSE(fs::exists(Slot(1) + "/" + withoutMemo + ".fpt"));
    EXPECT_FALSE(fs::exists(Slot(1) + ".tolvarin-new"));
    EXPECT_FALSE(fs::exists(Slot(1) + ".tolvarin-old"));
    for (int n = 2; n <= 5; ++n) EXPECT_EQ(Created(Slot(n)), times[n - 1]);
  }
}

// A course that a backup emptied, or is emptying, has nothing of its own to keep: the
// automatic backup that is due copies nothing, says so in the run log, and leaves
// every one of the five slots byte for byte as it was.
TEST_F(AutoBackupProcess, ACourseABackupEmptiedLeavesEverySlotAsItWas) {
  ASSERT_EQ(Backup().status, 0);
  for (int n = 2; n <= 5; ++n) fs::copy(Slot(1), Slot(n), fs::copy_options::recursive);
  for (int n = 1; n <= 5; ++n) Stamp(n, DaysAgo(5 + n));
  const std::string whole = host.Scratch() + "/whole";
  fs::copy(made.install.course, whole, fs::copy_options::recursive);
  const std::vector<std::string> backup = {"AppPath:" + made.install.app, "Mode:UserContent", "Operation:BACKUP",
                                           "CoursePath:" + made.install.course,
                                           "BackupPath:" + host.Scratch() + "/UserContent"};
  struct Case {
    const char* name;
    const char* killAfter;  // "" a whole backup, else the rename it is killed after
    const char* logged;
  } cases[] = {{"emptied", "", "holds no tables"},
               {"killed while it was emptied", "*/Biology/*/quests.dbf", "a backup is emptying it"}};
  app_testing::KillPoint kill(host);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(made.install.course);
    fs::copy(whole, made.install.course, fs::copy_options::recursive);
    fs::remove_all(host.Scratch() + "/UserContent");
    if (*c.killAfter)
      ASSERT_TRUE(kill.KilledAt({"rename", c.killAfter, 1}, [&] { return host.Run(backup); }));
    else
      ASSERT_EQ(host.Run(backup).status, 0);
    std::map<int, std::map<std::string, std::string>> slotsBefore;
    for (int n = 1; n <= 5; ++n) slotsBefore[n] = app_testing::FileBytes(Slot(n));
    fs::remove(made.install.app + "/tolvarin.log");
    const RunResult run = Backup();
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(run.boxes.empty());
    for (int n = 1; n <= 5; ++n) EXPECT_TRUE(app_testing::FileBytes(Slot(n)) == slotsBefore[n]) << n;
    EXPECT_EQ(std::distance(fs::directory_iterator(slots), fs::directory_iterator()), 5);
    EXPECT_NE(ReadFile(made.install.app + "/tolvarin.log").find(c.logged), std::string::npos);
  }
}

}  // namespace
