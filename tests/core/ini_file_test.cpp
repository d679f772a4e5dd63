#include "core/ini_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "core_fixture.h"

using testing_support::ReadFile;
using testing_support::WriteFile;
using namespace tolvarin;

namespace {

class IniFileTest : public core_testing::HostFolderTest {};

// Runs first in this program: nothing has set a file yet.
TEST(IniFileBeforeSet, ReadsGiveZeroAndEmptyWhateverTheDefaults) {
  if (CurrentIniFile().set) GTEST_SKIP() << "another test of this program chose a file first";
  EXPECT_EQ(IniGetInt("Anything", 42), 0);
  EXPECT_EQ(IniGetString("Anything", "dflt"), "");
  EXPECT_EQ(IniWriteInt("Anything", 1), 0);
  EXPECT_EQ(IniWriteString("Anything", "x"), 0);
}

TEST_F(IniFileTest, SetFileTrimsAndThenKeysNameTheValue) {
  core_testing::Put(At("KESTAL.INI"), "[Tolvarin]\r\nOffice=TRUE\r\nRangeStart=20000\r\n");
  IniSetFile("  Tolvarin ", "  " + At("Kestal.INI") + " ");
  EXPECT_EQ(CurrentIniFile().section, "Tolvarin");
  EXPECT_EQ(CurrentIniFile().file, At("Kestal.INI"));
  EXPECT_EQ(IniGetString("office", ""), "TRUE");
  EXPECT_EQ(IniGetInt("RangeStart", 0), 20000);
  EXPECT_EQ(IniGetInt("Missing", 7), 7);
  EXPECT_NE(IniWriteInt("NewExamID", 12), 0);
  EXPECT_NE(IniWriteString("Prompt", "FALSE"), 0);
  EXPECT_EQ(ReadFile(At("KESTAL.INI")), "[Tolvarin]\r\nOffice=TRUE\r\nRangeStart=20000\r\nNewExamID=12\r\nPrompt=FALSE\r\n");
  EXPECT_EQ(Entries(), (std::vector<std::string>{"KESTAL.INI"}));
}

TEST_F(IniFileTest, NumbersOutsideSixteenBitsGiveTheDefault) {
  core_testing::Put(At("n.ini"), "[S]\r\nBig=40000\r\nLow=-32768\r\n");
  IniSetFile("S", At("n.ini"));
  EXPECT_EQ(IniGetInt("Big", -1), -1);
  EXPECT_EQ(IniGetInt("Low", 0), -32768);
}

TEST_F(IniFileTest, ReadReplacesTheCurrentFileAndLaterReadsUseIt) {
  core_testing::Put(At("a.ini"), "[General]\r\nAreaID=3\r\nName=Area A\r\n");
  core_testing::Put(At("b.ini"), "[Other]\r\nName=B\r\n");
  IniSetFile("Other", At("b.ini"));
  EXPECT_EQ(IniReadString(At("a.ini"), "General", "Name"), "Area A");
  EXPECT_EQ(IniGetString("Name", ""), "Area A");  // still file A
  EXPECT_EQ(IniReadInt(At("a.ini"), "General", "Missing"), -1);
  EXPECT_EQ(IniReadInt(At("a.ini"), "General", "AreaID"), 3);
}

TEST_F(IniFileTest, ChoosingAFileProvesItsFolderWritable) {
  core_testing::Put(At("test.dat"), "mine");
  IniSetFile("Tolvarin", At("Kestal.INI"));
  EXPECT_EQ(WritableFolders().size(), 1u);
  EXPECT_EQ(ReadFile(At("test.dat")), "mine");
  EXPECT_EQ(Entries(), (std::vector<std::string>{"test.dat"}));  // no ini made by a read
}

}  // namespace
