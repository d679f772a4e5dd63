#include "engine/modes/auto_backup.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "core/run_log.h"
#include "core/settings.h"
#include "core/terminate.h"
#include "core/time_stamp.h"
#include "engine/course_fixture.h"

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::WriteFile;
using Clock = std::chrono::system_clock;

namespace {

Clock::time_point WholeSecondsNow() {
  return Clock::from_time_t(Clock::to_time_t(Clock::now()));
}

std::string DaysAgo(Clock::time_point now, double days) {
  return tolvarin::FormatTimeStamp(now - std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(days * 86400)));
}

TEST(AutoBackupRule, FourDaysToTheNearestWholeDayAndAnyUnreadableOrFutureTime) {
  const Clock::time_point now = WholeSecondsNow();
  struct Case {
    std::string newest;
    bool due;
  };
  const Case cases[] = {
      {"", true},                   // no slot yet
      {"not a time", true},
      {"2026-02-31 10:00:00", true},  // names no day
      {DaysAgo(now, 3.4), false},
      {DaysAgo(now, 3.5), true},    // halves go to the even number: 4
      {DaysAgo(now, 3.6), true},
      {DaysAgo(now, 2.5), false},   // 2
      {DaysAgo(now, 0), false},
      {DaysAgo(now, 10), true},
      {DaysAgo(now, -1), true},     // a clock set back
  };
  for (const Case& c : cases) EXPECT_EQ(tolvarin::AutoBackupIsDue(c.newest, now), c.due) << c.newest;
}

TEST(AutoBackupRule, TimeStampsReadBackAsWritten) {
  const Clock::time_point now = WholeSecondsNow();
  EXPECT_EQ(tolvarin::ParseTimeStamp(tolvarin::FormatTimeStamp(now)), now);
  for (const char* bad : {"2026-12-10 25:00:00", "2026-12-10 10:00", "2026/12/10 10:00:00", "2026-13-01 10:00:00",
                          " 2026-12-10 10:00:00"})
    EXPECT_FALSE(tolvarin::ParseTimeStamp(bad)) << bad;
}

class AutoBackupTest : public package_testing::CourseTest {
 protected:
  std::string Slots() const { return Scratch("slots"); }
  void Stamp(int slot, const std::string& created) const {
    fs::create_directories(Slots() + "/" + std::to_string(slot));
    WriteFile(Slots() + "/" + std::to_string(slot) + "/TOLVARIN.INI",
              "[Tolvarin]\r\nCreated=" + created + "\r\nType=DirectCopy\r\n");
  }
};

TEST_F(AutoBackupTest, SlotChoiceTakesAnEmptySlotFirstThenTheOldest) {
  EXPECT_EQ(tolvarin::ChooseSlot(Slots()).target, 1);
  EXPECT_EQ(tolvarin::ChooseSlot(Slots()).newest, "");
  Stamp(1, "2026-01-01 10:00:00");
  Stamp(2, "2026-01-05 10:00:00");
  EXPECT_EQ(tolvarin::ChooseSlot(Slots()).target, 3);
  Stamp(3, "2026-01-09 10:00:00");
  Stamp(4, "2025-12-30 10:00:00");
  Stamp(5, "2026-01-02 10:00:00");
  auto choice = tolvarin::ChooseSlot(Slots());
  EXPECT_EQ(choice.target, 4);
  EXPECT_EQ(choice.newest, "2026-01-09 10:00:00");
  Stamp(4, "2026-01-01 10:00:00");  // equal times: the lower number
  EXPECT_EQ(tolvarin::ChooseSlot(Slots()).target, 1);
  WriteFile(Slots() + "/5/TOLVARIN.INI", "[Tolvarin]\r\nType=DirectCopy\r\n");  // no Created: empty
  EXPECT_EQ(tolvarin::ChooseSlot(Slots()).target, 5);
}

TEST_F(AutoBackupTest, UserImagesAreThoseFrom20000To99999InGifAndJpg) {
  const std::string source = Scratch("images");
  fs::create_directories(source);
  for (const char* name : {"0019999.gif", "0020000.gif", "0099999.JPG", "0020001.bmp", "0020002.png", "0100000.gif",
                           "0020003.gif.txt", "x0020004.gif"})
    WriteFile(source + "/" + name, name);
  const std::string target = Scratch("copied");
  fs::create_directories(target);
  EXPECT_TRUE(tolvarin::CopyUserImages(source, target).empty());
  std::set<std::string> copied;
  for (const auto& e : fs::directory_iterator(target)) copied.insert(e.path().filename().string());
  EXPECT_EQ(copied, (std::set<std::string>{"0020000.gif", "0099999.JPG"}));
}

// The slot's files of tables and images the course no longer has stay in it.
TEST_F(AutoBackupTest, SlotHoldsTheCourseAsItIsAndKeepsWhatTheCourseNoLongerHas) {
  auto& p = tolvarin::Paths();
  p.BackupPath = Slots();
  fs::create_directories(Slots() + "/1");
  WriteFile(Slots() + "/1/gone.dbf", "a table the course no longer has");
  WriteFile(Slots() + "/1/0020500.gif", "an image the course no longer has");
  WriteFile(Course("Status.DBF"), "[Version]\r\nSchema=3\r\n");
  ASSERT_EQ(tolvarin::DoAutoBackup(), 0);
  const std::string slot = Slots() + "/1";
  EXPECT_EQ(ReadFile(slot + "/gone.dbf"), "a table the course no longer has");
  EXPECT_EQ(ReadFile(slot + "/0020500.gif"), "an image the course no longer has");
  size_t tables = 0;
  for (const auto& e : fs::directory_iterator(Course())) {
    const std::string name = e.path().filename().string();
    const std::string ext = e.path().extension().string();
    if (name == "Status.DBF") continue;
    if (ext == ".dbf" || ext == ".cdx" || ext == ".fpt") {
      ++tables;
      EXPECT_EQ(ReadFile(slot + "/" + name), ReadFile(e.path())) << name;
    }
  }
  EXPECT_GT(tables, 30u);
  size_t userImages = 0;
  for (size_t i = 0; i < made_.content.imageIds.size(); ++i) {
    const std::string& image = made_.content.imageFiles[i];
    if (made_.content.imageIds[i] < 20000) {
      EXPECT_FALSE(fs::exists(slot + "/" + image)) << image;
    } else {
      ++userImages;
      EXPECT_EQ(ReadFile(slot + "/" + image), ReadFile(Course(image))) << image;
    }
  }
  EXPECT_GT(userImages, 0u);
  const std::string ini = ReadFile(slot + "/TOLVARIN.INI");
  EXPECT_NE(ini.find("Type=DirectCopy"), std::string::npos);
  EXPECT_EQ(ReadFile(slot + "/Status.DBF"), "[Version]\r\nSchema=3\r\n");
  // Within four days nothing more is copied.
  ASSERT_EQ(tolvarin::DoAutoBackup(), 0);
  EXPECT_FALSE(fs::exists(Slots() + "/2"));
}

TEST_F(AutoBackupTest, RecoveryCopiesTablesAndImagesBackButNeverTheVersionFile) {
  tolvarin::Paths().BackupPath = Slots();
  ASSERT_EQ(tolvarin::DoAutoBackup(), 0);
  const std::string slot = Slots() + "/1";
  const std::string quests = ReadFile(Course("quests.dbf"));
  WriteFile(Course("quests.dbf"), "damaged");
  fs::remove(Course("quests.cdx"));
  const std::string image = made_.content.imageFiles.back();
  fs::remove(Course(image));
  WriteFile(Course("Status.DBF"), "the course's own");
  WriteFile(slot + "/Status.DBF", "[Version]\r\nSchema=3\r\n");

  EXPECT_EQ(tolvarin::RecoverAutoBackup(slot), 0);
  EXPECT_EQ(ReadFile(Course("quests.dbf")), quests);
  EXPECT_TRUE(fs::exists(Course("quests.cdx")));
  EXPECT_EQ(ReadFile(Course(image)), ReadFile(slot + "/" + image));
  EXPECT_EQ(ReadFile(Course("Status.DBF")), "the course's own");
  ASSERT_EQ(presenter_->Shown().size(), 1u);
  EXPECT_EQ(presenter_->Shown()[0].box.text.rfind("Recovery of Auto-Backup complete.", 0), 0u);
}

TEST_F(AutoBackupTest, RecoveryRefusesABackupFolderOfUserContent) {
  const std::string folder = Scratch("manual");
  fs::create_directories(folder);
  WriteFile(folder + "/TOLVARIN.INI", "[Tolvarin]\r\nType=UserContent\r\n");
  WriteFile(folder + "/quests.dbf", "rows only");
  const std::string before = ReadFile(Course("quests.dbf"));
  EXPECT_EXIT(tolvarin::RecoverAutoBackup(folder), ::testing::ExitedWithCode(tolvarin::kTerminateStatus), "");
  EXPECT_EQ(ReadFile(Course("quests.dbf")), before);
}

}  // namespace
