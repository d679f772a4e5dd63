#include "core/run_log.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <regex>

#include "core_fixture.h"

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::WriteFile;
using namespace tolvarin;

namespace {

class RunLogTest : public core_testing::HostFolderTest {
 protected:
  void TearDown() override {
    Settings().Mode = 0;
    EndLog(false);
    core_testing::HostFolderTest::TearDown();
  }
};

const std::regex kStamp(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)");

TEST(TimeStamp, WrittenAsTheLogsWriteIt) {
  std::tm tm{};
  tm.tm_year = 2024 - 1900;
  tm.tm_mon = 2;
  tm.tm_mday = 5;
  tm.tm_hour = 7;
  tm.tm_min = 8;
  tm.tm_sec = 9;
  tm.tm_isdst = -1;
  const auto when = std::chrono::system_clock::from_time_t(std::mktime(&tm));
  EXPECT_EQ(FormatTimeStamp(when), "2024-03-05 07:08:09");
  EXPECT_TRUE(std::regex_match(TimeStampNow(), kStamp));
}

TEST_F(RunLogTest, UserContentRunWritesBeginStepsAndEnd) {
  core_testing::Put(At("TOLVARIN.LOG"), "earlier run\r\n");
  BeginLog(true);
  WriteLog("Mode = 0");
  EndLog(true);
  WriteLog("after the end");  // nothing between EndLog and the next BeginLog
  const std::string log = ReadFile(At("TOLVARIN.LOG"));
  EXPECT_TRUE(std::regex_match(log, std::regex("earlier run\r\nBegin Log: [-0-9 :]{19}\r\nMode = 0\r\n"
                                               "End Log: [-0-9 :]{19}\r\n")))
      << log;
  EXPECT_EQ(Entries(), (std::vector<std::string>{"TOLVARIN.LOG"}));  // appended, found whatever its case
}

TEST_F(RunLogTest, OtherModesWriteNoStepAndNeverClose) {
  BeginLog(true);  // start-up opens it while Mode is still 0
  Settings().Mode = 2;
  WriteLog("Mode = 2");
  EndLog(true);
  EXPECT_TRUE(RunLogIsOpen());
  const std::string log = ReadFile(At("tolvarin.log"));
  EXPECT_TRUE(std::regex_match(log, std::regex("Begin Log: [-0-9 :]{19}\r\n"))) << log;
}

TEST_F(RunLogTest, ClosingAndReopeningWithoutLinesKeepsOneFile) {
  BeginLog(true);
  EndLog(false);
  BeginLog(false);
  WriteLog("step");
  const std::string log = ReadFile(At("tolvarin.log"));
  EXPECT_TRUE(std::regex_match(log, std::regex("Begin Log: [-0-9 :]{19}\r\nstep\r\n"))) << log;
}

TEST_F(RunLogTest, LogButtonAddsNoLineAndLaterStepsGoOnInTheSameFile) {
  const std::string path = ::getenv("PATH") ? ::getenv("PATH") : "";
  ::setenv("PATH", App().c_str(), 1);  // no viewer here: nothing is started
  BeginLog(true);
  WriteLog("before");
  EXPECT_FALSE(OpenRunLogInViewer());
  WriteLog("after");
  ::setenv("PATH", path.c_str(), 1);
  const std::string log = ReadFile(At("tolvarin.log"));
  EXPECT_TRUE(std::regex_match(log, std::regex("Begin Log: [-0-9 :]{19}\r\nbefore\r\nafter\r\n"))) << log;
}

std::string DayName(int daysBack) {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  ::localtime_r(&t, &tm);
  tm.tm_mday -= daysBack;
  tm.tm_hour = 12;
  tm.tm_isdst = -1;
  t = std::mktime(&tm);
  ::localtime_r(&t, &tm);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "debuglog_%Y_%m_%d.txt", &tm);
  return buffer;
}

TEST_F(RunLogTest, DebugLogPrunesEightToThirtyDaysAndWritesNothing) {
  for (int days : {7, 8, 30, 31}) core_testing::Put(At("Logs/" + DayName(days)), "");
  InitDebugLog();
  EXPECT_EQ(DebugLogName(), At("Logs/" + DayName(0)));
  EXPECT_EQ(Entries("Logs"), (std::vector<std::string>{DayName(31), DayName(7)}));
  WriteDebugLog("TOLVARIN ERROR: x");  // the switch is off
  EXPECT_FALSE(fs::exists(At("Logs/" + DayName(0))));
  EXPECT_EQ(Entries(), (std::vector<std::string>{"Logs"}));
}

TEST_F(RunLogTest, DebugLogMakesItsFolderAndWritesWhenSwitchedOn) {
  InitDebugLog();
  EXPECT_TRUE(fs::is_directory(At("logs")));
  SetDebugLogSwitch(true);
  WriteDebugLog("line one");
  SetDebugLogSwitch(false);
  EXPECT_EQ(ReadFile(At("logs/" + DayName(0))), "line one\r\n");
}

}  // namespace
