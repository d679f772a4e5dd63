// The migration chooser's rules and the checks a target passes before the
// migration opens any table there.
#include "engine/modes/migration_target.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "core/chooser_windows.h"
#include "core/progress.h"
#include "core/settings.h"
#include "engine/course_fixture.h"
#include "engine/modes/transfer_drivers.h"
#include "engine/transfer/database_sets.h"
#include "engine/transfer/selection.h"
#include "engine/transfer/table_mapping.h"

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

std::map<std::string, std::string> Tree(const std::string& root) {
  std::map<std::string, std::string> tree;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file()) tree[fs::relative(e.path(), root).string()] = ReadFile(e.path());
  return tree;
}

TEST(MigrationTarget, TheCourseKeepsItsPlaceBelowTheTargetInstallation) {
  const std::pair<const char*, const char*> cases[] = {
      {"/old/Kestal/Databases/Corvane/Science/Biology", "/new/Kestal/Databases/Corvane/Science/Biology"},
      {"/old/Kestal/Databases/Corvane/Science/Biology/", "/new/Kestal/Databases/Corvane/Science/Biology"},
      {"/Databases/Corvane/Science/Biology", "/new/Kestal/Databases/Corvane/Science/Biology"},
      {"Corvane/Science/Biology", nullptr},  // fewer than four parts
      {"/Science/Biology", nullptr},
      {"", nullptr},
  };
  for (const auto& [course, folder] : cases) {
    const auto made = tolvarin::MigrationCourseFolder("/new/Kestal/", course);
    if (folder)
      EXPECT_EQ(made.value_or("(none)"), folder) << course;
    else
      EXPECT_FALSE(made) << course << " -> " << *made;
  }
}

// Records the operation's messages.
class MessageSink : public tolvarin::ProgressSink {
 public:
  void Step(const std::string&) override {}
  void Detail(const std::string&) override {}
  void Fraction(double) override {}
  void OperationMessage(const std::string& text) override { messages.push_back(text); }
  std::vector<std::string> messages;
};

class MigrationTargetTest : public package_testing::CourseTest {
 protected:
  void SetUp() override {
    CourseTest::SetUp();
    course_maker::CourseOptions options;
    options.questions = 30;
    options.seed = 7;
    other = course_maker::MakeCourse(Scratch("other"), options);
  }
  void TearDown() override {
    tolvarin::SetMigrateChooser(nullptr);
    CourseTest::TearDown();
  }
  std::string Target() const {
    return tolvarin::MigrationCourseFolder(other.install.app, tolvarin::CurrentCourse().Path).value_or("");
  }
  course_maker::MadeCourse other;
};

TEST_F(MigrationTargetTest, ListsOnlyTheLoadedCourses) {
  const auto courses = tolvarin::MigrationCourses(tolvarin::CurrentArea());
  ASSERT_EQ(courses.size(), 1u);
  EXPECT_EQ(courses[0].name, "Biology");
  EXPECT_EQ(courses[0].courseId, 3);
}

TEST_F(MigrationTargetTest, RefusedTargetsChangeNothingInEitherInstallation) {
  ASSERT_EQ(Target(), other.install.course);
  const std::string unfilled = Scratch("third/Databases/Corvane/Science/Biology");
  fs::create_directories(unfilled);
  WriteFile(unfilled + "/quests.dbf", "one table only");
  struct Case {
    std::string target;
    std::string says;
  };
  const Case cases[] = {
      {"", "Migration cancelled"},
      {Scratch("nowhere/Databases/Corvane/Science/Biology"), "does not exist"},
      {Course(), "is the course the content comes from"},
      {Course() + "/../Biology", "is the course the content comes from"},
      {unfilled, "does not hold the course's tables"},
  };
  const auto here = Tree(made_.install.app);
  const auto there = Tree(other.install.app);
  const auto third = Tree(Scratch("third"));
  for (const Case& c : cases) {
    tolvarin::SetMigrateChooser([&] { return c.target; });
    EXPECT_EQ(tolvarin::DoMigrate(), tolvarin::TransferEnd::Stopped) << c.target;
    ASSERT_FALSE(presenter_->Shown().empty());
    EXPECT_NE(presenter_->Shown().back().box.text.find(c.says), std::string::npos)
        << presenter_->Shown().back().box.text;
  }
  EXPECT_EQ(Tree(made_.install.app), here);
  EXPECT_EQ(Tree(other.install.app), there);
  EXPECT_EQ(Tree(Scratch("third")), third);
  EXPECT_FALSE(fs::exists(Scratch("nowhere")));
  EXPECT_FALSE(tolvarin::MigrationTargetProblem(other.install.course, Course(), made_.install.brand));
  fs::remove(other.install.brand + "/users.dbf");
  EXPECT_NE(tolvarin::MigrationTargetProblem(other.install.course, Course(), made_.install.brand)
                .value_or("")
                .find("users.dbf"),
            std::string::npos);
}

TEST_F(MigrationTargetTest, EveryMappedRowArrivesInTheTargetCourseAndTheSourceStaysAsItWas) {
  const std::vector<std::string> tables = {"quests", "descript", "exams", "examques", "standard", "stanques"};
  std::map<std::string, long> before;
  for (const std::string& table : tables) before[table] = package_testing::RowCount(Target() + "/" + table + ".dbf");
  const auto here = Tree(Course());
  auto& s = tolvarin::Settings();
  s.ImportMode = 6;
  tolvarin::SetSrcToCourse();
  tolvarin::SelectAllRecords();
  tolvarin::SetMigrateChooser([&] { return Target(); });
  auto sink = std::make_unique<MessageSink>();
  MessageSink* shown = sink.get();
  auto saved = tolvarin::SetProgress(std::move(sink));
  EXPECT_EQ(tolvarin::DoMigrate(), tolvarin::TransferEnd::Done);
  // The progress window names the folder the user chose.
  EXPECT_EQ(shown->messages, std::vector<std::string>{"Migrating content from Biology to " + Target() + "."});
  tolvarin::SetProgress(std::move(saved));
  const auto mapped = [](int table) {
    size_t count = 0;
    const tolvarin::TableMapping& m = tolvarin::Mapping(table);
    for (std::int32_t id : m.SelectedIDs)
      if (id != 0 && m.IDMap.Get(id) != 0) ++count;
    return count;
  };
  const size_t questions = mapped(1), exams = mapped(5);
  tolvarin::UninitDest();
  tolvarin::UninitSrc();
  EXPECT_EQ(s.Operation, 4);
  EXPECT_GT(questions, 0u);
  EXPECT_EQ(package_testing::RowCount(Target() + "/quests.dbf"), before["quests"] + static_cast<long>(questions));
  EXPECT_EQ(package_testing::RowCount(Target() + "/exams.dbf"), before["exams"] + static_cast<long>(exams));
  for (const std::string& table : tables)
    EXPECT_GE(package_testing::RowCount(Target() + "/" + table + ".dbf"), before[table]) << table;
  EXPECT_EQ(Tree(Course()), here);
}

}  // namespace
