// The gradebook's class-table conversion into the current layout.
#include "construction/class_tables.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "gradebook_fixture.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace gradebook_testing {
namespace {

using namespace tolvarin;

TEST(SplitPeriod, TheLeadingNumberBecomesThePeriod) {
  struct Case {
    const char* section;
    const char* period;
    const char* rest;
  } cases[] = {
      {"3Algebra", "3", "Algebra"},     {"Algebra", "0", "Algebra"},  {"42", "42", ""},
      {"", "0", ""},                    {"  7 Biology ", "7", "Biology"}, {"2-Chemistry", "2", "Chemistry"},
      {"1st Period", "1", "st Period"}, {"03 Art", "3", "Art"},      {"4.5 Music", "4.5", "Music"},
      {"-3 Debate", "0", "-3 Debate"},
  };
  for (const Case& c : cases) {
    const PeriodSplit split = SplitPeriod(c.section);
    EXPECT_EQ(split.Period, c.period) << c.section;
    EXPECT_EQ(split.Section, c.rest) << c.section;
  }
}

class ClassTablesTest : public GradebookTest {
 protected:
  void SetUp() override {
    GradebookTest::SetUp();
    database_ = course_;
    work_ = temp_.path() / "work";
    PutBlank("classes", database_);
    AddRows(database_ / "classes.dbf", {{{"class_id", "0000010"}, {"user_id", "0001001"}, {"section", "3Algebra"}},
                                        {{"class_id", "0000011"}, {"user_id", "0001001"}, {"section", "Geometry"}},
                                        {{"class_id", "0000012"}, {"user_id", "0000001"}, {"section", "42"}},
                                        {{"class_id", "0000013"}, {"user_id", "0000001"}, {"section", ""}}});
    PutBlank("students", database_);
    AddRows(database_ / "students.dbf", {{{"student_id", "0000001"}, {"class_id", "0000010"}},
                                         {{"student_id", "0000002"}, {"class_id", "0000012"}},
                                         {{"student_id", "0000003"}, {"class_id", "0000010"}}});
    // The gradebook's new, empty tables in the work folder.
    CreateTable(work_ / "classes.dbf",
                {"class_id:C:7", "user_id:C:7", "section:C:64", "block:C:16", "grade:C:8", "period:C:8",
                 "semester:C:8", "year:C:8", "variation:C:16"},
                {"class_id=class_id", "user_id=user_id"});
    CreateTable(work_ / "studentclass.dbf", {"class_id:C:7", "student_id:C:7"},
                {"class_id=class_id", "student_id=student_id", "clst_id=class_id+student_id"});
  }

  std::vector<std::string> Classes() const {
    return Rows(database_ / "classes.dbf",
                {"class_id", "user_id", "period", "section", "block", "grade", "semester", "year", "variation"});
  }
  std::vector<std::string> Links() const { return Rows(database_ / "studentclass.dbf", {"class_id", "student_id"}); }

  fs::path database_, work_;
};

TEST_F(ClassTablesTest, SplitsPeriodsAndLinksStudentsIntoTheDatabaseFolder) {
  ASSERT_TRUE(ConvertClassTables(database_.string(), work_.string()));
  EXPECT_EQ(Classes(), (std::vector<std::string>{"0000010|0001001|3|Algebra|||||", "0000011|0001001|0|Geometry|||||",
                                                 "0000012|0000001|42||||||", "0000013|0000001|0||||||"}));
  // A class without students has no links.
  EXPECT_EQ(Links(), (std::vector<std::string>{"0000010|0000001", "0000010|0000003", "0000012|0000002"}));
  EXPECT_EQ(TagProblems(database_ / "classes.dbf"), "");
  EXPECT_EQ(TagProblems(database_ / "studentclass.dbf"), "");
  EXPECT_FALSE(fs::exists(database_ / ".tolvarin-swap"));

  // Converted once is converted: a second run leaves the periods as they are.
  const std::string converted = testing_support::ReadFile(database_ / "classes.dbf");
  EXPECT_FALSE(ConvertClassTables(database_.string(), work_.string()));
  EXPECT_EQ(testing_support::ReadFile(database_ / "classes.dbf"), converted);
}

TEST_F(ClassTablesTest, ARefusedConversionLeavesTheDatabaseFolderAsItWas) {
  const std::vector<std::string> before = FilesBelow(database_);
  const std::string classes = testing_support::ReadFile(database_ / "classes.dbf");
  // The work folder is the database folder.
  EXPECT_FALSE(ConvertClassTables(database_.string(), database_.string()));
  EXPECT_FALSE(ConvertClassTables(database_.string(), (database_ / ".").string()));
  // The work folder's classes is not the new layout (made from the blank copy).
  fs::remove(work_ / "classes.dbf");
  fs::remove(work_ / "classes.cdx");
  EXPECT_FALSE(ConvertClassTables(database_.string(), work_.string()));
  EXPECT_EQ(FilesBelow(database_), before);
  EXPECT_EQ(testing_support::ReadFile(database_ / "classes.dbf"), classes);
  // No classes table at all: nothing is made.
  EXPECT_FALSE(ConvertClassTables((temp_.path() / "nothing").string(), work_.string()));
  EXPECT_FALSE(fs::exists(temp_.path() / "nothing" / "classes.dbf"));
}

}  // namespace
}  // namespace gradebook_testing
