// The remap-options dialog's rules: the numbers it accepts and the keys it writes.
#include "engine/modes/remap_options.h"

#include <gtest/gtest.h>

#include "core/ini_file.h"
#include "core/settings.h"
#include "support/test_support.h"

using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

TEST(RemapOptions, OptionsFollowTheImportModes) {
  const long modes[] = {2, 4, 5, 3, 1, 6, 7};
  for (int i = 0; i < tolvarin::kRemapOptions; ++i) {
    EXPECT_EQ(tolvarin::RemapOptionAt(i).importMode, modes[i]);
    EXPECT_EQ(tolvarin::RemapOptionFor(modes[i]), i);
  }
  EXPECT_EQ(tolvarin::RemapOptionFor(0), -1);
}

TEST(RemapOptions, NumbersAreWholeFrom1To9999999AndTheRangeInOrder) {
  struct Case {
    int option;
    tolvarin::RemapNumbers numbers;
    bool accepted;
  };
  const Case cases[] = {
      {1, {"20000", "29999", ""}, true},         // to a range
      {1, {"1", "9999999", "9999999"}, true},
      {1, {"", "29999", ""}, false},              // the range needs its start
      {1, {"20000", "", ""}, false},              // and its end
      {2, {"100", "100", ""}, true},              // with an offset: start may equal end
      {2, {"300", "200", ""}, false},             // start above end
      {6, {"5000", "", ""}, true},                // from an identifier: the start only
      {6, {"", "", ""}, false},
      {4, {"", "", ""}, true},                    // normal: nothing needed
      {0, {"", "", ""}, true},
      {-1, {"", "", ""}, true},                   // none chosen
      {4, {"abc", "", ""}, false},                // anything given is checked
      {4, {"", "", "0"}, false},
      {4, {"", "", "10000000"}, false},
      {4, {"", "", "-5"}, false},
      {4, {"", "", "12.5"}, false},
      {4, {"", "", " 42 "}, true},                // blanks around a number are not part of it
      {3, {"9", "x", "7"}, false},
  };
  for (const Case& c : cases) {
    const auto problem = tolvarin::RemapNumbersProblem(c.option, c.numbers);
    EXPECT_EQ(!problem.has_value(), c.accepted)
        << c.option << " [" << c.numbers.rangeStart << "][" << c.numbers.rangeEnd << "][" << c.numbers.newExamId
        << "] " << problem.value_or("");
  }
  EXPECT_EQ(tolvarin::RemapNumbersProblem(1, {"", "29999", ""}).value_or(""),
            "Range Start must be a whole number from 1 to 9999999 for \"Remap to Range\".");
  EXPECT_EQ(tolvarin::RemapNumbersProblem(4, {"", "", "x"}).value_or(""),
            "Exam ID must be a whole number from 1 to 9999999, or empty.");
}

TEST(RemapOptions, WritesTheFourKeysAndSetsTheImportMode) {
  testing_support::TempDir dir;
  const tolvarin::RunSettings saved = tolvarin::Settings();
  const std::string ini = dir.str() + "/Kestal.INI";
  WriteFile(ini, "[Tolvarin]\r\nOffice=TRUE\r\nSpecialMode=RemapNothing\r\n[Edition]\r\nVersion=5\r\n");
  tolvarin::Settings().AppPath = dir.str();
  tolvarin::Settings().ImportMode = 3;
  ASSERT_TRUE(tolvarin::WriteRemapOptions(dir.str(), 1, {"20000", "29999", " 7 "}));
  EXPECT_EQ(tolvarin::Settings().ImportMode, 4);
  auto read = [&](const char* key) { return tolvarin::IniReadString(ini, "Tolvarin", key); };
  EXPECT_EQ(read("SpecialMode"), "RemapToRange");
  EXPECT_EQ(read("RangeStart"), "20000");
  EXPECT_EQ(read("RangeEnd"), "29999");
  EXPECT_EQ(read("NewExamID"), "7");
  EXPECT_EQ(read("Office"), "TRUE");
  EXPECT_EQ(tolvarin::IniReadString(ini, "Edition", "Version"), "5");
  const auto numbers = tolvarin::ReadRemapNumbers(dir.str());
  EXPECT_EQ(numbers.rangeStart, "20000");

  ASSERT_TRUE(tolvarin::WriteRemapOptions(dir.str(), 4, {"", "", ""}));  // Normal
  EXPECT_EQ(tolvarin::Settings().ImportMode, 1);
  EXPECT_EQ(read("SpecialMode"), "");
  EXPECT_EQ(read("RangeStart"), "");
  ASSERT_TRUE(tolvarin::WriteRemapOptions(dir.str(), -1, {"", "", ""}));  // none chosen
  EXPECT_EQ(tolvarin::Settings().ImportMode, 1);
  tolvarin::Settings() = saved;
}

}  // namespace
