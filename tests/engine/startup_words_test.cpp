#include <gtest/gtest.h>

#include "engine/startup.h"

using namespace tolvarin;

namespace {

TEST(StartupWords, ModeTable) {
  struct Row {
    const char* word;
    long mode;
    int operation;
  } rows[] = {
      {"", 0, 0},           {"USERCONTENT", 0, 0},          {"DIRECTCOPY", 1, 0},       {"RECOVER", 2, 0},
      {"INSTALLSTANDARDTREES", 3, 0}, {"CREATESUPPLEMENTALPACKAGE", 4, 0}, {"APPENDPACKAGE", 5, 0},
      {"PRECISIONBACKUP", 6, 1}, {"PRECISIONRESTORE", 6, 2}, {"GRADEBOOKUPDATE", 7, 0}, {"REPAIRCORRUPTTABLE", 8, 0},
      {"NEWUPGRADE", 9, 0}, {"MAKEWISEINSTALLERS", 10, 0}, {"FIXCOURSEDAT", 11, 0},
  };
  for (const Row& row : rows) {
    const auto choice = ModeFromWord(row.word);
    ASSERT_TRUE(choice.has_value()) << row.word;
    EXPECT_EQ(choice->mode, row.mode) << row.word;
    EXPECT_EQ(choice->operation, row.operation) << row.word;
  }
  EXPECT_FALSE(ModeFromWord("VISTAMIGRATE"));  // the migration is only its exact spelling
  EXPECT_FALSE(ModeFromWord("recover"));       // start-up upper-cases first
  EXPECT_FALSE(ModeFromWord("BACKUP"));
}

TEST(StartupWords, SchemaImportAndStandards) {
  EXPECT_EQ(SchemaFromWord("  semester "), 5);
  EXPECT_EQ(SchemaFromWord("Taxonomy"), 4);
  EXPECT_EQ(SchemaFromWord("VERSIONS"), 3);
  EXPECT_EQ(SchemaFromWord("other"), 3);
  EXPECT_EQ(SchemaFromWord(""), 3);
  const char* imports[] = {"", "RemapToCorvane", "REMAPNOTHING", "remaptorange", "RemapOffset", "RemapByCourse",
                           "RemapFromID"};
  for (long i = 0; i < 7; ++i) EXPECT_EQ(ImportModeFromWord(imports[i]), i + 1) << imports[i];
  EXPECT_EQ(ImportModeFromWord("REMAPTOCORVANEIDS"), 1);  // only SpecialMode spells it so
  EXPECT_EQ(StandardImportFromWord("RemapAllToUserRange"), 1);
  EXPECT_EQ(StandardImportFromWord(""), 2);
}

TEST(StartupWords, FlagsAcceptOnlyTrueFalseOrNothing) {
  EXPECT_EQ(FlagFromWord("TRUE"), true);
  EXPECT_EQ(FlagFromWord("true"), true);
  EXPECT_EQ(FlagFromWord("False"), false);
  EXPECT_EQ(FlagFromWord(""), false);
  EXPECT_FALSE(FlagFromWord("yes").has_value());
  EXPECT_FALSE(FlagFromWord("1").has_value());
}

TEST(StartupWords, SpecialModeSuffixes) {
  EXPECT_EQ(SpecialModeSuffix("RemapToCorvaneIDs"), " Import:RemapToCorvane");
  EXPECT_EQ(SpecialModeSuffix("REMAPTORANGE"), " Import:RemapToRange");
  EXPECT_EQ(SpecialModeSuffix("remapnothing"), " Import:RemapNothing");
  EXPECT_EQ(SpecialModeSuffix("RemapOffset"), " Import:RemapOffset");
  EXPECT_EQ(SpecialModeSuffix("RemapByCourse"), " Import:RemapByCourse");
  EXPECT_EQ(SpecialModeSuffix("RemapFromID"), " Import:RemapFromID");
  EXPECT_EQ(SpecialModeSuffix(""), "");
  EXPECT_FALSE(SpecialModeSuffix("RemapToCorvane").has_value());
}

TEST(StartupWords, BackupPathRelativeValuesGoUnderAppPath) {
  EXPECT_EQ(AbsoluteBackupPath("/host", "Backups"), "/host/Backups");
  EXPECT_EQ(AbsoluteBackupPath("/host/", "a/b"), "/host/a/b");
  EXPECT_EQ(AbsoluteBackupPath("/host", "/srv/backups"), "/srv/backups");
  EXPECT_EQ(AbsoluteBackupPath("/host", ""), "");
}

TEST(StartupWords, SupplementalRangeRoundsHalvesToEven) {
  const auto range = ParseSupplementalRange("100.5", "200");
  ASSERT_TRUE(range);
  EXPECT_EQ(range->idStart, 100);
  EXPECT_EQ(range->idEnd, 200);
  EXPECT_EQ(ParseSupplementalRange("101.5", " 7 ")->idStart, 102);
  EXPECT_FALSE(ParseSupplementalRange("1", "abc"));
  EXPECT_FALSE(ParseSupplementalRange("1", ""));
  EXPECT_EQ(ParseSupplementalRange("x", "5")->idStart, 0);  // IDStart is read for its value
  EXPECT_EQ(ParseSupplementalRange("1", "7.5")->idEnd, 8);
  // IDStart is held to the same range as IDEnd.
  const std::string tooLong = "1" + std::string(400, '0');  // beyond every number type
  for (const std::string& huge : {std::string("99999999999"), std::string("-3000000000"), std::string("2147483648"),
                                  tooLong}) {
    EXPECT_FALSE(ParseSupplementalRange(huge, "5")) << huge;
    EXPECT_FALSE(ParseSupplementalRange("1", huge)) << huge;
  }
  EXPECT_EQ(ParseSupplementalRange("2147483647", "5")->idStart, 2147483647);
  EXPECT_EQ(ParseSupplementalRange("-2147483648", "5")->idStart, -2147483648L);
}

}  // namespace
