// The precision backup by profile, on a small gradebook installation.
#include "engine/modes/precision_backup.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "engine/modes/gradebook_profile.h"
#include "gradebook_fixture.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace gradebook_testing {
namespace {

using namespace tolvarin;
using testing_support::WriteFile;

struct TableSpec {
  std::string name, tag;
  std::vector<std::string> ids;
};
struct CourseSpec {
  std::string path;
  std::vector<TableSpec> tables;
};

std::string ProfileXml(const std::vector<CourseSpec>& courses) {
  std::string xml = "<?xml version=\"1.0\"?>\r\n<BackupProfile>\r\n";
  for (const auto& course : courses) {
    xml += "  <CourseBackupProfile>\r\n    <Path>" + course.path + "</Path>\r\n";
    for (const auto& table : course.tables) {
      xml += "    <TableBackupProfile>\r\n      <Name>" + table.name + "</Name>\r\n      <Tag>" + table.tag + "</Tag>\r\n";
      for (const auto& id : table.ids) xml += "      <ID>" + id + "</ID>\r\n";
      xml += "    </TableBackupProfile>\r\n";
    }
    xml += "  </CourseBackupProfile>\r\n";
  }
  return xml + "</BackupProfile>\r\n";
}

TEST(GradebookProfile, ReadsCoursesTablesAndKeysInFileOrder) {
  const auto courses = ParseBackupProfile(ProfileXml({{"C:\\K\\Databases\\Corvane\\", {{"students", "student_id", {"0000001", " 0000002 "}}}},
                                                      {"C:\\K\\Databases\\Corvane\\Math\\Algebra\\",
                                                       {{"classes", "class_id", {"0000010"}}, {"sessions", "session_id", {}}}}}));
  ASSERT_EQ(courses.size(), 2u);
  EXPECT_EQ(courses[0].Path, "C:\\K\\Databases\\Corvane\\");
  ASSERT_EQ(courses[0].Tables.size(), 1u);
  EXPECT_EQ(courses[0].Tables[0].Name, "students");
  EXPECT_EQ(courses[0].Tables[0].Tag, "student_id");
  EXPECT_EQ(courses[0].Tables[0].IDs, (std::vector<std::string>{"0000001", "0000002"}));
  ASSERT_EQ(courses[1].Tables.size(), 2u);
  EXPECT_EQ(courses[1].Tables[1].Name, "sessions");
  EXPECT_TRUE(courses[1].Tables[1].IDs.empty());
  EXPECT_TRUE(ParseBackupProfile("not a profile").empty());
}

TEST(GradebookProfile, TargetPartIsThePathBelowTheBrandFolderAndNeverLeavesIt) {
  struct Case {
    const char* path;
    std::optional<std::string> part;
  } cases[] = {
      {"C:\\Kestal\\Databases\\Corvane\\Math\\Algebra\\", "Math/Algebra"},
      {"/opt/kestal/databases/corvane/Math/Algebra/", "Math/Algebra"},
      {"C:\\Kestal\\Databases\\Corvane\\", ""},
      {"D:\\Gradebook\\Data\\Course1\\", "a/Course1"},  // no marker: from the 17th character on
      {"C:\\Kestal\\Databases\\Corvane\\.\\Math\\\\Algebra\\", "Math/Algebra"},
      {"C:\\Kestal\\Databases\\Corvane\\..\\..\\..\\etc\\", std::nullopt},
      {"C:\\Kestal\\Databases\\Corvane\\Math\\..\\..\\x\\", std::nullopt},
      {"/Databases/Corvane/../", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ProfileTargetPart(c.path), c.part) << c.path;
  for (const char* name : {"students", "Class Tables", "a.b"}) EXPECT_TRUE(IsSafeTableName(name)) << name;
  for (const char* name : {"", ".", "..", "../students", "a/b", "a\\b", "/etc/passwd"})
    EXPECT_FALSE(IsSafeTableName(name)) << name;
}

TEST(GradebookProfile, AttributeKeysArePaddedNameThenFortyCharacterValue) {
  EXPECT_EQ(AttributeRowKey("Students", "0000042"),
            "students" + std::string(12, ' ') + "0000042" + std::string(33, ' '));
  EXPECT_EQ(AttributeRowKey("students", "42").size(), 60u);
  EXPECT_EQ(PlainNumberText("0000042"), "42");
  EXPECT_EQ(PlainNumberText("0000000"), "0");
}

TEST(GradebookProfile, BackupsAreListedInNumberOrder) {
  testing_support::TempDir temp;
  // Only a whole number after the word, and a folder holding a profile, make a backup.
  for (const char* name : {"GradebookBackup10", "GradebookBackup2", "GradebookBackup1", "Other", "GradebookBackup2b",
                           "xGradebookBackup3", "GradebookBackup 5", "GradebookBackup"}) {
    fs::create_directories(temp.path() / name);
    WriteFile(temp.path() / name / kBackupProfileName, "");
  }
  fs::create_directories(temp.path() / "GradebookBackup6");  // no profile
  WriteFile(temp.path() / "GradebookBackup4", "a file, not a backup");
  std::vector<std::string> names;
  std::vector<long> numbers;
  const auto backups = ListGradebookBackups(temp.str());
  for (const auto& backup : backups) {
    names.push_back(fs::path(backup.Folder).filename().string());
    numbers.push_back(backup.Number);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"GradebookBackup1", "GradebookBackup2", "xGradebookBackup3",
                                             "GradebookBackup10"}));
  EXPECT_EQ(numbers, (std::vector<long>{1, 2, 3, 10}));

  // Applying 1 to N needs each of them once.
  struct Case {
    std::vector<long> present;
    long number;
    long missing;
  };
  for (const Case& c : std::vector<Case>{{{1, 2, 3}, 3, 0}, {{1, 2, 3}, 2, 0}, {{1, 3}, 3, 2}, {{2, 3}, 3, 1},
                                         {{1, 2, 2, 3}, 3, 2}, {{1, 2, 2}, 1, 0}, {{}, 1, 1}}) {
    std::vector<GradebookBackup> listed;
    for (long n : c.present) listed.push_back({"GradebookBackup" + std::to_string(n), n});
    EXPECT_EQ(MissingIncrement(listed, c.number), c.missing) << c.number;
  }
}

// The brand folder's students with their character attributes, and a course's classes.
class PrecisionBackupTest : public GradebookTest {
 protected:
  void SetUp() override {
    GradebookTest::SetUp();
    PutBlank("students", brand_);
    AddRows(brand_ / "students.dbf", {{{"student_id", "0000001"}, {"last_name", "Abel"}, {"class_id", "0000010"}},
                                     {{"student_id", "0000002"}, {"last_name", "Baker"}, {"class_id", "0000010"}},
                                     {{"student_id", "0000003"}, {"last_name", "Cruz"}, {"class_id", "0000011"}}});
    PutBlank("charattributes", brand_);
    // Student 1's attributes under the padded number, student 3's under the plain one.
    AddRows(brand_ / "charattributes.dbf",
            {{{"table_name", "students"}, {"table_id", "0000001"}, {"attr_key", "nickname"}, {"attr_value", "Al"}},
             {{"table_name", "students"}, {"table_id", "0000001"}, {"attr_key", "seat"}, {"attr_value", "A4"}},
             {{"table_name", "students"}, {"table_id", "0000002"}, {"attr_key", "nickname"}, {"attr_value", "Bo"}},
             {{"table_name", "students"}, {"table_id", "3"}, {"attr_key", "nickname"}, {"attr_value", "Cee"}}});
    PutBlank("classes", course_);
    AddRows(course_ / "classes.dbf", {{{"class_id", "0000010"}, {"section", "3Algebra"}, {"user_id", "0001001"}},
                                     {{"class_id", "0000011"}, {"section", "Geometry"}, {"user_id", "0001001"}}});
    backup_ = root_ / "Backup" / "GradebookBackup1";
    fs::create_directories(backup_);
  }

  std::string BrandPath() const { return brand_.string() + "/"; }
  std::string CoursePath() const { return course_.string() + "/"; }
  void WriteProfile(const std::vector<CourseSpec>& courses) const {
    WriteFile(backup_ / kBackupProfileName, ProfileXml(courses));
  }
  PrecisionBackupResult Run() const { return RunPrecisionBackup(backup_.string(), blank_.string()); }

  fs::path backup_;
};

TEST_F(PrecisionBackupTest, MirrorsEachCourseWithItsRowsAndCharacterAttributes) {
  WriteProfile({{BrandPath(), {{"students", "student_id", {"0000001", "0000003", "0000009"}}}},
                {CoursePath(), {{"classes", "class_id", {"0000011"}}}}});
  const PrecisionBackupResult result = Run();
  EXPECT_EQ(result.Skipped, 0);
  EXPECT_EQ(result.Tables, 2);
  EXPECT_EQ(result.Rows, 3);  // 0000009 is not there and is skipped
  EXPECT_EQ(Rows(backup_ / "students.dbf", {"student_id", "last_name"}),
            (std::vector<std::string>{"0000001|Abel", "0000003|Cruz"}));
  // Both key forms are found: the padded one for student 1, the plain one for student 3.
  EXPECT_EQ(Rows(backup_ / "charattributes.dbf", {"table_id", "attr_key", "attr_value"}),
            (std::vector<std::string>{"0000001|nickname|Al", "0000001|seat|A4", "3|nickname|Cee"}));
  // The course has no charattributes: its rows come without attributes.
  EXPECT_EQ(Rows(backup_ / "Math/Algebra/classes.dbf", {"class_id", "section"}),
            (std::vector<std::string>{"0000011|Geometry"}));
  EXPECT_FALSE(fs::exists(backup_ / "Math/Algebra/charattributes.dbf"));
  for (const char* table : {"students.dbf", "charattributes.dbf", "Math/Algebra/classes.dbf"})
    EXPECT_EQ(TagProblems(backup_ / table), "") << table;
  EXPECT_FALSE(fs::exists(backup_ / ".tolvarin-swap"));

  // A second run replaces the table and writes over the attribute rows it already has.
  AddRows(brand_ / "charattributes.dbf",
          {{{"table_name", "students"}, {"table_id", "0000003"}, {"attr_key", "seat"}, {"attr_value", "C1"}}});
  EXPECT_EQ(Run().Skipped, 0);
  EXPECT_EQ(Rows(backup_ / "students.dbf", {"student_id"}), (std::vector<std::string>{"0000001", "0000003"}));
  EXPECT_EQ(Rows(backup_ / "charattributes.dbf", {"table_id", "attr_key", "attr_value"}),
            (std::vector<std::string>{"0000001|nickname|Al", "0000001|seat|A4", "3|nickname|Cee", "0000003|seat|C1"}));
}

TEST_F(PrecisionBackupTest, AnElementThatDoesNotOpenKeepsTheEarlierBackupFile) {
  WriteProfile({{CoursePath(), {{"classes", "class_id", {"0000010", "0000011"}}}}});
  ASSERT_EQ(Run().Rows, 2);
  const auto earlier = testing_support::ReadFile(backup_ / "Math/Algebra/classes.dbf");

  // The source is damaged, the tag is unknown, there is no blank table: each is
  // skipped and the earlier backup file stays byte for byte.
  const fs::path source = course_ / "classes.dbf";
  const std::string good = testing_support::ReadFile(source);
  struct Case {
    std::string name;
    std::function<void()> spoil, mend;
    std::string tag = "class_id";
  } cases[] = {
      {"damaged source", [&] { WriteFile(source, "not a table"); }, [&] { WriteFile(source, good); }},
      {"unknown tag", [] {}, [] {}, "no_such_tag"},
      {"no blank", [&] { fs::rename(blank_ / "classes.dbf", blank_ / "keep.dbf"); },
       [&] { fs::rename(blank_ / "keep.dbf", blank_ / "classes.dbf"); }},
  };
  for (const Case& c : cases) {
    c.spoil();
    WriteProfile({{CoursePath(), {{"classes", c.tag, {"0000010"}}}}});
    const PrecisionBackupResult result = Run();
    c.mend();
    EXPECT_EQ(result.Skipped, 1) << c.name;
    EXPECT_EQ(result.Tables, 0) << c.name;
    EXPECT_EQ(testing_support::ReadFile(backup_ / "Math/Algebra/classes.dbf"), earlier) << c.name;
    EXPECT_EQ(TagProblems(backup_ / "Math/Algebra/classes.dbf"), "") << c.name;
  }
  // And the source stayed untouched by the attempt.
  EXPECT_EQ(testing_support::ReadFile(source), good);
}

TEST_F(PrecisionBackupTest, HostileNamesAndPathsWriteNothingOutsideTheBackupFolder) {
  fs::create_directories(temp_.path() / "outside");
  fs::create_symlink(temp_.path() / "outside", backup_ / "link");
  WriteProfile({{BrandPath(),
                 {{"../../../outside/students", "student_id", {"0000001"}},
                  {"..", "student_id", {"0000001"}},
                  {"/tmp/students", "student_id", {"0000001"}}}},
                {brand_.string() + "/../../../../outside/", {{"students", "student_id", {"0000001"}}}},
                {brand_.string() + "/link/", {{"students", "student_id", {"0000001"}}}},
                {brand_.string() + "/link/deeper/", {{"students", "student_id", {"0000001"}}}}});
  const std::vector<std::string> before = FilesBelow(temp_.path());
  const PrecisionBackupResult result = Run();
  EXPECT_EQ(result.Tables, 0);
  EXPECT_EQ(result.Skipped, 6);
  EXPECT_EQ(FilesBelow(temp_.path()), before);
  EXPECT_TRUE(fs::is_empty(temp_.path() / "outside"));
}

}  // namespace
}  // namespace gradebook_testing
