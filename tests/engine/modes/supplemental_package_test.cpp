#include "engine/modes/supplemental_package.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "core/ini_file.h"
#include "core/settings.h"
#include "core/terminate.h"
#include "data/open_table.h"
#include "engine/course_fixture.h"
#include "engine/gradebook_fixture.h"
#include "engine/package/packages.h"

namespace fs = std::filesystem;
using testing_support::WriteFile;

namespace {

TEST(SupplementalExtraIDs, TakesEveryValueAboveZeroInOrder) {
  struct Case {
    std::string text;
    std::vector<std::int32_t> ids;
  };
  const Case cases[] = {
      {"12,x,0,40", {12, 40}},
      {"", {}},
      {",, 7 ,-3,2.5,3.5,", {7, 2, 4}},  // halves to even, as the identifier words are read
      {"20001", {20001}},
      {"99999999999", {}},  // beyond the Long range: no identifier
  };
  for (const Case& c : cases) EXPECT_EQ(tolvarin::ExtraQuestionIDs(c.text), c.ids) << c.text;
}

class SupplementalPackageTest : public package_testing::CourseTest {
 protected:
  void SetUp() override {
    CourseTest::SetUp();
    tolvarin::IniSetFile("Tolvarin", made_.install.app + "/Kestal.INI");
    tolvarin::Settings().Mode = 4;
    tolvarin::Paths().AreaFolder = made_.install.area;
    // The small course has no descriptions: the first in natural order is 7.
    gradebook_testing::AddRows(Course("descript.dbf"), {{{"descriptid", "0000007"}}, {{"descriptid", "0020001"}}});
  }
  void TearDown() override {
    tolvarin::SetProductionBlankFolder("");
    CourseTest::TearDown();
  }
  static std::string Staging() { return tolvarin::CorTempFolder(); }
  static std::set<std::int32_t> Ids(const std::string& table, const std::string& field) {
    std::set<std::int32_t> ids;
    for (const std::string& row : gradebook_testing::Rows(Staging() + "/" + table + ".dbf", {field}))
      ids.insert(std::stoi(row));
    return ids;
  }
  // The description rows a package of these questions holds: the course's first
  // description and those of the questions.
  std::set<std::int32_t> Descriptions(const std::set<std::int32_t>& questions) const {
    std::set<std::int32_t> ids{7};
    for (const std::int32_t q : questions)
      if (const auto* row = made_.content.Question(q); row && row->descriptId) ids.insert(row->descriptId);
    return ids;
  }
};

TEST_F(SupplementalPackageTest, StagesTheRangeTheExtrasAndTheFirstDescription) {
  // Questions 1 to 36 are the publisher's, 20000 to 20023 the teachers'.
  fs::create_directories(Staging());
  WriteFile(Staging() + "/TOLVARIN.INI", "[Tolvarin]\r\nType=UserContent\r\n");  // an earlier export's
  struct Case {
    std::int32_t first, last;
    std::string extras;
    std::set<std::int32_t> questions;
  };
  const Case cases[] = {
      {5, 12, "20003,x,0,20005", {5, 6, 7, 8, 9, 10, 11, 12, 20003, 20005}},
      {30, 10, "12, x, 0, 40, 20004", {12, 20004}},  // no range; 40 names no question
      {19990, 20001, "", {20000, 20001}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.first) + ".." + std::to_string(c.last));
    ASSERT_EQ(tolvarin::CreateSupplementalPackage(c.first, c.last, Course(), c.extras), 0);
    EXPECT_EQ(Ids("quests", "quest_id"), c.questions);
    EXPECT_EQ(Ids("questype", "quest_id"), c.questions);
    EXPECT_EQ(Ids("descript", "descriptid"), Descriptions(c.questions));
    EXPECT_FALSE(fs::exists(Staging() + "/TOLVARIN.INI"));
  }
  EXPECT_TRUE(presenter_->Shown().empty());
}

TEST_F(SupplementalPackageTest, TakesTheBuildMachinesBlankFolderWhenThereIsNoOther) {
  // The only blank tables stand where Kestal.INI names them.
  const std::string production = Scratch("production-blank");
  fs::rename(made_.install.blank, production);
  ASSERT_NE(tolvarin::CreateSupplementalPackage(1, 3, Course(), ""), 0);
  EXPECT_FALSE(presenter_->Shown().empty());

  tolvarin::IniWriteString(tolvarin::kProductionBlankFolderKey, production);
  ASSERT_EQ(tolvarin::CreateSupplementalPackage(1, 3, Course(), ""), 0);
  EXPECT_EQ(Ids("quests", "quest_id"), (std::set<std::int32_t>{1, 2, 3}));
}

TEST_F(SupplementalPackageTest, AMissingCourseEndsTheRun) {
  for (const std::string& course : {std::string(), Scratch("no-course")})
    EXPECT_EXIT(tolvarin::CreateSupplementalPackage(1, 3, course, ""),
                ::testing::ExitedWithCode(tolvarin::kTerminateStatus), "")
        << course;
  EXPECT_FALSE(fs::exists(Scratch("no-course")));
  EXPECT_FALSE(fs::exists(Staging() + "/quests.dbf"));
}

}  // namespace
