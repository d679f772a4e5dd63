#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "construction/blank_tables.h"
#include "construction/classification.h"
#include "construction/construction_run.h"
#include "construction/install_set.h"
#include "construction/restore_upgrade.h"
#include "construction/table_rebuild.h"
#include "construction/table_swap.h"
#include "construction/upgrade_passes.h"
#include "construction/upgrade_fixture.h"
#include "construction/upgrade_run.h"
#include "core/presenter.h"
#include "platform/zip/zip.h"
#include "core/progress.h"
#include "core/run_log.h"
#include "core/scripted_presenter.h"
#include "core/settings.h"
#include "data/catalogue.h"
#include "data/table_registry.h"

namespace tolvarin {
namespace {

using namespace upgrade_testing;

class Upgrade : public UpgradeRun {
 protected:
  void SetUp() override {
    UpgradeRun::SetUp();
    brand_ = app_ / "Databases" / "Corvane";
    area_ = brand_ / "Science";
    course0_ = area_ / "Biology";
    course1_ = area_ / "Chemistry";
    MakeArea(area_, 1, "Science");
    MakeCourse(course0_, 0);
    MakeCourse(course1_, 1);
    MakeTable(brand_, "users", Layout("users"), {User("0001001", "LATSEK"), User("0000001", "MENTOR")});
  }

  fs::path brand_, area_, course0_, course1_;
};

// An old printopt layout: option bit fields in place of the document.
TableDef OldPrintOpt() {
  TableDef def = WithField(Layout("printopt"), "xml", [](FieldDef& f) { f.Name = ""; });
  for (const char* name : {"testOpt", "printType", "printType2", "appendice", "numbspcmc", "numbspcfr"}) {
    def.Fields.push_back(MakeFieldDef(name, 6, 1));
  }
  def.Fields.push_back(MakeFieldDef("headerl1", 40, 0));
  return def;
}

TEST_F(Upgrade, LiveCourseFoldersAreBroughtToTheSchemaKeepingEveryRow) {
  MakeTable(brand_, "users", Layout("users"),
            {User("0001001", "LATSEK"), User("0000001", "MENTOR"), User("0000005", "SMITH")});
  MakeTable(course0_, "sesquest", Layout("sesquests"),
            {{{"sesques_id", "0000011"}, {"session_id", "0000001"}}, {{"sesques_id", "0000012"}, {"session_id", "0000001"}}});
  MakeTable(course0_, "sesresul", Layout("sesresults"), {{{"sesques_id", "0000011"}, {"student_id", "0000031"}}});
  MakeTable(course0_, "control2", Layout("brandcontrol"), {{{"table", "quests"}}});
  MakeTable(course0_, "exams", WithField(Layout("exams"), "print_id", [](FieldDef& f) { f.Name = ""; }),
            {{{"exam_id", "0020001"}, {"name", "Midterm"}}, {{"exam_id", "0020002"}, {"name", "Final"}}});
  MakeTable(course0_, "classes", WithField(Layout("classes"), "section", [](FieldDef& f) { f.Len = 40; }),
            {{{"class_id", "0000101"}, {"section", "Period 3 Biology"}, {"user_id", "0000005"}}});
  MakeTable(course0_, "templates", WithField(Layout("templates"), "blob", [](FieldDef& f) { f.Len = 10; }),
            {{{"templateid", "0000201"}, {"blob", "<template>kept</template>"}}});
  MakeTable(course0_, "questype", WithoutTag(Layout("questype"), "TAXONOMY"),
            {{{"quest_id", "0020001"}, {"type", "3"}}});
  MakeTable(course0_, "students", OldStudents(),
            {{{"student_id", "0000031"}, {"name", "Doe, Jane"}},
             {{"student_id", "0000032"}, {"name", "John Smith"}},
             {{"student_id", "0000033"}, {"name", "Cher"}}});
  MakeTable(course0_, "printopt", OldPrintOpt(),
            {{{"print_id", "0000002"}, {"descript", "Mine"}, {"printType", "1024"}, {"headerl1", "Name:"}}});
  MakeTable(course0_, "quests", Layout("quests"), {{{"quest_id", "0020001"}, {"question", "What is a cell?"}}});
  const std::string questsBefore = testing_support::ReadFile(course0_ / "quests.dbf");
  const std::string usersBefore = testing_support::ReadFile(brand_ / "users.dbf");

  ConstructDatabases(true);

  EXPECT_TRUE(presenter_->Shown().empty());
  ExpectEveryTableConforms();
  EXPECT_EQ(testing_support::ReadFile(brand_ / "users.dbf"), usersBefore);
  EXPECT_EQ(testing_support::ReadFile(course0_ / "quests.dbf"), questsBefore);
  // Former names.
  EXPECT_FALSE(fs::exists(course0_ / "sesquest.dbf"));
  EXPECT_FALSE(fs::exists(course0_ / "sesquest.cdx"));
  EXPECT_FALSE(fs::exists(course0_ / "sesresul.dbf"));
  EXPECT_EQ(Column(course0_ / "sesquests.dbf", "sesques_id"), (std::vector<std::string>{"0000011", "0000012"}));
  EXPECT_EQ(Column(course0_ / "sesresults.dbf", "student_id"), (std::vector<std::string>{"0000031"}));
  // Obsolete.
  EXPECT_FALSE(fs::exists(course0_ / "control2.dbf"));
  EXPECT_FALSE(fs::exists(course0_ / "control2.cdx"));
  // Rebuilt with their rows.
  EXPECT_EQ(Column(course0_ / "exams.dbf", "name"), (std::vector<std::string>{"Final", "Midterm"}));
  EXPECT_EQ(Column(course0_ / "classes.dbf", "section"), (std::vector<std::string>{"Period 3 Biology"}));
  EXPECT_EQ(Column(course0_ / "classes.dbf", "user_id"), (std::vector<std::string>{"0000005"}));
  EXPECT_EQ(Column(course0_ / "templates.dbf", "blob"), (std::vector<std::string>{"<template>kept</template>"}));
  EXPECT_EQ(Column(course0_ / "questype.dbf", "type"), (std::vector<std::string>{"3"}));
  const auto students = ReadRows(course0_ / "students.dbf");
  ASSERT_EQ(students.size(), 3u);
  EXPECT_EQ(students[0].at("last_name"), "Doe");
  EXPECT_EQ(students[0].at("first_name"), "Jane");
  EXPECT_EQ(students[1].at("first_name"), "John");
  EXPECT_EQ(students[1].at("last_name"), "Smith");
  EXPECT_EQ(students[2].at("first_name"), "Cher");
  EXPECT_EQ(students[2].at("last_name"), "");
  const auto printopt = ReadRows(course0_ / "printopt.dbf");
  ASSERT_EQ(printopt.size(), 2u);  // the template's default row and the converted one
  EXPECT_EQ(printopt[1].at("print_id"), "0000002");
  EXPECT_EQ(printopt[1].at("xml").rfind("<printopt>", 0), 0u);
  EXPECT_NE(printopt[1].at("xml").find("<print_exam>False</print_exam>"), std::string::npos);
  EXPECT_NE(printopt[1].at("xml").find("<left>Name:</left>"), std::string::npos);
  // Missing tables are made in course folders, apart from those with a former name.
  for (const char* made : {"quests", "exams", "templates", "charattributes", "students"}) {
    EXPECT_TRUE(fs::exists(course1_ / (std::string(made) + ".dbf"))) << made;
  }
  EXPECT_FALSE(fs::exists(course1_ / "sesquests.dbf"));
  EXPECT_FALSE(fs::exists(course1_ / "sesresults.dbf"));
  EXPECT_FALSE(fs::exists(area_ / "quests.dbf"));  // area folders get none

  // A second run rewrites nothing.
  const auto before = TableFiles(app_ / "Databases");
  Construction() = ConstructionState{};
  ConstructDatabases(true);
  EXPECT_EQ(TableFiles(app_ / "Databases"), before);
}

TEST_F(Upgrade, OldSingleDatabaseIsSplitOverTheCoursesAndThenDeleted) {
  SplitOldCourses();
  MakeTable(brand_, "users", Layout("users"),
            {User("0001001", "LATSEK"), User("0000001", "MENTOR"), User("0000005", "JONES")});
  const fs::path old = app_ / "DBF";
  MakeTable(old, "users", Layout("users"), {User("0000009", "LATSEK"), User("0000005", "SMITH")});
  MakeTable(old, "classes", Layout("classes"),
            {{{"class_id", "0000101"}, {"course", "1"}, {"user_id", "0000009"}},
             {{"class_id", "0000102"}, {"course", "2"}, {"user_id", "0000005"}}});
  MakeTable(old, "students", OldStudents(),
            {{{"student_id", "0000031"}, {"class_id", "0000101"}, {"name", "Doe, Jane"}},
             {{"student_id", "0000032"}, {"class_id", "0000102"}, {"name", "Max Planck"}}});
  MakeTable(old, "charattributes", Layout("charattributes"),
            {{{"table_name", "classes"}, {"table_id", "0000102"}, {"attr_key", "room"}, {"attr_value", "B12"}}});
  MakeTable(old, "exams", Layout("exams"), {{{"exam_id", "0020001"}, {"name", "Quiz"}}});
  MakeTable(old, "quests", Layout("quests"), {{{"quest_id", "0020001"}, {"question", "Why?"}}});
  testing_support::WriteFile(old / "0020001.gif", "GIF89a");

  ConstructDatabases(true);

  EXPECT_TRUE(presenter_->Shown().empty());
  EXPECT_FALSE(fs::exists(old)) << DebugLog();
  ExpectEveryTableConforms();
  // Users merged by name; SMITH's identifier is taken by JONES, so SMITH gets a new one.
  const auto users = ReadRows(brand_ / "users.dbf");
  ASSERT_EQ(users.size(), 4u);
  EXPECT_EQ(users[3].at("user_name"), "SMITH");
  const std::string smith = users[3].at("user_id");
  EXPECT_NE(smith, "0000005");
  // Each course keeps its own classes, with the users' identifiers in the merged table.
  EXPECT_EQ(Column(course0_ / "classes.dbf", "class_id"), (std::vector<std::string>{"0000101"}));
  EXPECT_EQ(Column(course0_ / "classes.dbf", "user_id"), (std::vector<std::string>{"0001001"}));
  EXPECT_EQ(Column(course1_ / "classes.dbf", "class_id"), (std::vector<std::string>{"0000102"}));
  EXPECT_EQ(Column(course1_ / "classes.dbf", "user_id"), (std::vector<std::string>{smith}));
  EXPECT_EQ(Column(course0_ / "students.dbf", "last_name"), (std::vector<std::string>{"Doe"}));
  EXPECT_EQ(Column(course1_ / "students.dbf", "last_name"), (std::vector<std::string>{"Planck"}));
  // Foreign rows leave with their attribute rows: the room goes with class 0000102 only.
  EXPECT_EQ(Column(course1_ / "charattributes.dbf", "attr_value"), (std::vector<std::string>{"B12"}));
  EXPECT_TRUE(Column(course0_ / "charattributes.dbf", "attr_value").empty());
  // Unsplit tables and images reach every course.
  for (const fs::path& course : {course0_, course1_}) {
    EXPECT_EQ(Column(course / "exams.dbf", "name"), (std::vector<std::string>{"Quiz"})) << course;
    EXPECT_TRUE(fs::exists(course / "0020001.gif")) << course;
  }
}

TEST_F(Upgrade, OldFolderWhoseRowsHaveNoCourseIsKeptUnderAnotherName) {
  SplitOldCourses();
  const fs::path old = app_ / "DBF";
  MakeTable(old, "classes", Layout("classes"),
            {{{"class_id", "0000101"}, {"course", "1"}}, {{"class_id", "0000107"}, {"course", "7"}}});
  MakeTable(old, "exams", Layout("exams"), {{{"exam_id", "0020001"}, {"name", "Quiz"}}});

  ConstructDatabases(true);

  EXPECT_FALSE(fs::exists(old));
  const fs::path kept = app_ / "DBF-kept";
  ASSERT_TRUE(fs::exists(kept / "classes.dbf"));
  EXPECT_EQ(Column(kept / "classes.dbf", "class_id"), (std::vector<std::string>{"0000101", "0000107"}));
  EXPECT_FALSE(fs::exists(kept / "exams.dbf"));  // carried over, so gone
  EXPECT_EQ(Column(course0_ / "classes.dbf", "class_id"), (std::vector<std::string>{"0000101"}));
  // The log names the table and the folder kept, and nothing else.
  const auto lines = KeptLines(DebugLog());
  ASSERT_EQ(lines.size(), 2u) << DebugLog();
  EXPECT_NE(lines[0].find((old / "classes.dbf").string()), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find(kept.string()), std::string::npos) << lines[1];

  // The kept folder is not visited again: a second run changes nothing.
  const auto before = TableFiles(app_);
  Construction() = ConstructionState{};
  ConstructDatabases(true);
  EXPECT_EQ(TableFiles(app_), before);
}

TEST_F(Upgrade, ACourseThatHoldsRowsOfItsOwnKeepsThemAndTheOldRowsStayInTheOldFolder) {
  const fs::path old = app_ / "DBF";
  MakeTable(old, "exams", Layout("exams"), {{{"exam_id", "0020001"}, {"name", "Old quiz"}}});
  MakeTable(course0_, "exams", Layout("exams"), {{{"exam_id", "0020007"}, {"name", "Course quiz"}}});
  const std::string before = testing_support::ReadFile(course0_ / "exams.dbf");

  ConstructDatabases(true);

  EXPECT_EQ(testing_support::ReadFile(course0_ / "exams.dbf"), before);
  EXPECT_EQ(Column(course1_ / "exams.dbf", "name"), (std::vector<std::string>{"Old quiz"}));
  EXPECT_EQ(Column(app_ / "DBF-kept" / "exams.dbf", "name"), (std::vector<std::string>{"Old quiz"}));
}

TEST_F(Upgrade, OldPerCourseFolderGoesToItsCourse) {
  SplitOldCourses();
  const fs::path old = app_ / "DBF" / "0000002";  // old course 2: slot 1
  MakeTable(old, "exams", Layout("exams"), {{{"exam_id", "0020001"}, {"name", "Quiz"}}});
  MakeTable(old, "students", OldStudents(), {{{"student_id", "0000031"}, {"name", "Doe, Jane"}}});
  MakeTable(old, "sesquest", Layout("sesquests"), {{{"sesques_id", "0000011"}}});

  ConstructDatabases(true);

  EXPECT_FALSE(fs::exists(app_ / "DBF"));
  EXPECT_EQ(Column(course1_ / "exams.dbf", "name"), (std::vector<std::string>{"Quiz"}));
  EXPECT_EQ(Column(course1_ / "students.dbf", "first_name"), (std::vector<std::string>{"Jane"}));
  EXPECT_EQ(Column(course1_ / "sesquests.dbf", "sesques_id"), (std::vector<std::string>{"0000011"}));
  EXPECT_TRUE(Column(course0_ / "exams.dbf", "name").empty());
}

TEST_F(Upgrade, ATableWhoseCopyFailsStaysAsItWasAndIsLogged) {
  MakeTable(course0_, "exams", WithField(Layout("exams"), "print_id", [](FieldDef& f) { f.Name = ""; }),
            {{{"exam_id", "0020001"}, {"name", "Midterm"}}});
  const std::string before = testing_support::ReadFile(course0_ / "exams.dbf");
  // A folder where the copy's data file would go: the copy into cortemp fails.
  fs::create_directories(dir_.path() / "tmp" / ("tolvarin-" + std::to_string(getuid())) / "cortemp" / "rebuild" / "exams.dbf");

  ConstructDatabases(true);

  EXPECT_EQ(testing_support::ReadFile(course0_ / "exams.dbf"), before);
  EXPECT_NE(DebugLog().find("TOLVARIN ERROR: "), std::string::npos);
  EXPECT_NE(DebugLog().find("exams.dbf"), std::string::npos);
  for (const auto& shown : presenter_->Shown()) ADD_FAILURE() << shown.box.text;
}

TEST_F(Upgrade, CombinedAreaFiveIsMovedIntoItsCoursesAndDeleted) {
  const fs::path area0 = brand_ / "General";
  MakeArea(area0, 0, "General");
  MakeCourse(area0 / "Slot14", 14);
  const fs::path area5 = brand_ / "Combined";
  MakeArea(area5, 5, "Combined");
  MakeCourse(area5 / "First", 0);
  MakeTable(area5 / "First", "exams", Layout("exams"), {{{"exam_id", "0020001"}, {"name", "Quiz"}}});

  ConstructDatabases(true);

  EXPECT_FALSE(fs::exists(area5));
  EXPECT_EQ(Column(area0 / "Slot14" / "exams.dbf", "name"), (std::vector<std::string>{"Quiz"}));
}

TEST_F(Upgrade, CombinedAreaFiveWithACourseWithoutTargetIsKept) {
  const fs::path area5 = brand_ / "Combined";
  MakeArea(area5, 5, "Combined");
  MakeCourse(area5 / "Second", 2);  // course 2 of the combined area has no new place
  MakeTable(area5 / "Second", "exams", Layout("exams"), {{{"exam_id", "0020001"}, {"name", "Quiz"}}});

  ConstructDatabases(true);

  EXPECT_FALSE(fs::exists(area5));
  const fs::path kept = app_ / "Databases" / "Combined-kept";
  EXPECT_EQ(Column(kept / "Second" / "exams.dbf", "name"), (std::vector<std::string>{"Quiz"}));
}

TEST_F(Upgrade, RestoredFolderIsUpgradedInPlace) {
  const fs::path staging = dir_.path() / "UpgradeInPlace";
  Paths().DatabasesRoot = (app_ / "Databases").string();
  CreateBlankTables((app_ / "Databases" / "Blank").string());
  MakeTable(staging, "sesresul", WithField(Layout("sesresults"), "time", [](FieldDef& f) { f.Len = 10; }),
            {{{"sesques_id", "0000011"}, {"student_id", "0000031"}, {"answer", "B"}}});
  MakeTable(staging, "quests", Layout("quests"), {{{"quest_id", "0020001"}}});
  MakeTable(staging, "control2", Layout("brandcontrol"), {});
  MakeTable(staging, "attributes", WithoutTag(Layout("attributes"), "Name"), {{{"attr_key", "room"}}});
  const std::string quests = testing_support::ReadFile(staging / "quests.dbf");
  const std::string attributes = testing_support::ReadFile(staging / "attributes.dbf");

  UpgradeRestoredDatabase(staging.string());

  EXPECT_FALSE(fs::exists(staging / "sesresul.dbf"));
  ASSERT_TRUE(Conforms(staging / "sesresults.dbf", "sesresults"));
  EXPECT_EQ(Column(staging / "sesresults.dbf", "answer"), (std::vector<std::string>{"B"}));
  EXPECT_FALSE(fs::exists(staging / "templates.dbf"));
  EXPECT_FALSE(fs::exists(staging / "control2.dbf"));
  EXPECT_EQ(testing_support::ReadFile(staging / "quests.dbf"), quests);
  EXPECT_EQ(testing_support::ReadFile(staging / "attributes.dbf"), attributes);
}

TEST_F(Upgrade, AnInterruptedSwapIsTakenBackOrFinished) {
  // Old table: one row "old"; rebuilt table: one row "new".
  const fs::path folder = dir_.path() / "swap";
  auto make = [&](const std::string& file, const std::string& text) {
    MakeTable(folder, file, Layout("templates"), {{{"templateid", "0000001"}, {"blob", text}}});
  };
  auto move = [&](const std::string& from, const std::string& to) { fs::rename(folder / from, folder / to); };
  struct Case {
    const char* what;
    std::function<void()> interrupt;
    const char* expected;
  } cases[] = {
      {"data file moved aside", [&] { move("templates.dbf", "templates_old.dbf"); }, "old"},
      {"new data file moved in",
       [&] {
         for (const char* e : {".dbf", ".cdx", ".fpt"}) move(std::string("templates") + e, std::string("templates_old") + e);
         move("templates_new.dbf", "templates.dbf");
       },
       "old"},
      {"old data file deleted",
       [&] {
         for (const char* e : {".dbf", ".cdx", ".fpt"}) move(std::string("templates") + e, std::string("templates_old") + e);
         for (const char* e : {".dbf", ".cdx", ".fpt"}) move(std::string("templates_new") + e, std::string("templates") + e);
         fs::remove(folder / "templates_old.dbf");
       },
       "new"},
  };
  for (const Case& c : cases) {
    fs::remove_all(folder);
    make("templates", "old");
    make("templates_new", "new");
    c.interrupt();
    RecoverTableSwap(folder.string(), "templates");
    EXPECT_EQ(Column(folder / "templates.dbf", "blob"), (std::vector<std::string>{c.expected})) << c.what;
    for (const auto& entry : fs::directory_iterator(folder)) {
      EXPECT_EQ(entry.path().stem().string(), "templates") << c.what << " left " << entry.path();
    }
  }
}

TEST_F(Upgrade, EditionComesFromTheCatalogueAndTheOldCombinedDatabase) {
  SplitOldCourses();
  struct Case {
    const char* version;
    const char* firstDescription;  // nullptr: no old DBF/0000002
    int code;
    int group;
    size_t boxes;
  } cases[] = {{"Science Plus", nullptr, 7, 1, 0}, {"science plus", nullptr, 7, 1, 0}, {"3", nullptr, 3, 1, 0},
               {"Unknown", nullptr, 0, -1, 0},     {"1", "9999", 15, 0, 0},          {"1", "1234", 17, -1, 1},
               {"7", "1234", 7, 1, 0}};
  for (const Case& c : cases) {
    testing_support::WriteFile(app_ / "Kestal.INI", std::string("[Edition]\r\nVersion=") + c.version + "\r\n");
    fs::remove_all(app_ / "dbf");
    if (c.firstDescription) {
      MakeTable(app_ / "dbf" / "0000002", "descript", Layout("descript"), {{{"descript", c.firstDescription}}});
    }
    const size_t before = presenter_->Shown().size();
    ReadEdition();
    LoadCourseNames();
    EXPECT_EQ(Edition().Code, c.code) << c.version;
    EXPECT_EQ(Edition().Group, c.group) << c.version;
    EXPECT_EQ(presenter_->Shown().size() - before, c.boxes) << c.version;
  }
  testing_support::WriteFile(app_ / "Kestal.INI", "[Edition]\r\nVersion=Science Plus\r\n");
  ReadEdition();
  LoadCourseNames();
  EXPECT_EQ(GetCourseSlot(1), 0);
  EXPECT_EQ(GetCourseSlot(2), 1);  // 2 reads the slot of 3
  EXPECT_EQ(GetCourseSlot(3), -1);
  MakeCourse(app_ / "DBF" / "0000002", 9);  // a course.ini there is never read
  EXPECT_EQ(GetCourseID((app_ / "DBF" / "0000002").string()), 1);
  EXPECT_EQ(Edition().Titles[3], "Chemistry");
  EXPECT_EQ(GetCourseID(course0_.string()), 0);
  EXPECT_EQ(GetAreaID(course0_.string()), 1);
}

TEST_F(Upgrade, ClassificationWritesTheOutlineAndLinksEveryQuestionOnceToTheNodeItLivesUnder) {
  Paths().DatabasesRoot = (app_ / "Databases").string();
  CreateBlankTables((app_ / "Databases" / "Blank").string());
  const fs::path old = app_ / "DBF" / "0000001";
  MakeTable(old, "quests", Layout("quests"),
            {{{"quest_id", "0000011"}, {"subtopicid", "0000005"}},
             {{"quest_id", "0000012"}, {"subtopicid", "0000007"}},
             {{"quest_id", "0000013"}, {"subtopicid", "0000008"}}});
  MakeTable(old, "standard", Layout("standard"),
            {{{"tree_id", "1"}, {"node_id", "5"}, {"parent_id", "1"}, {"descript", "Cells"}}});
  // The old outline: subtopic 7 has a text of its own; subtopic 8 repeats its topic's.
  MakeTable(old, "units", OutlineLevel("unit_id", nullptr), {{{"unit_id", "0000001"}, {"descript", "Life"}}});
  MakeTable(old, "chapters", OutlineLevel("chapter_id", "unit_id"),
            {{{"chapter_id", "0000002"}, {"unit_id", "0000001"}, {"descript", "The cell"}}});
  MakeTable(old, "topics", OutlineLevel("topic_id", "chapter_id"),
            {{{"topic_id", "0000003"}, {"chapter_id", "0000002"}, {"descript", "Membranes"}}});
  MakeTable(old, "subtopic", OutlineLevel("subtopicid", "topic_id"),
            {{{"subtopicid", "0000007"}, {"topic_id", "0000003"}, {"descript", "Osmosis"}},
             {{"subtopicid", "0000008"}, {"topic_id", "0000003"}, {"descript", "membranes"}}});

  const auto before = TableFiles(old);
  const fs::path stage = app_ / "stage";

  EXPECT_TRUE(ConvertClassification(old.string(), stage.string()));
  EXPECT_TRUE(ConvertClassification(old.string(), stage.string()));

  EXPECT_TRUE(presenter_->Shown().empty());
  EXPECT_EQ(TableFiles(old), before) << "the old folder was written";
  std::map<std::string, std::string> parentOf;  // node -> parent, tree 1
  for (const Row& node : ReadRows(stage / "standard.dbf")) {
    EXPECT_EQ(node.at("tree_id"), "1");
    EXPECT_TRUE(parentOf.emplace(node.at("node_id"), node.at("parent_id")).second) << "twice: " << node.at("node_id");
  }
  EXPECT_EQ(parentOf, (std::map<std::string, std::string>{
                          {"1", "0"}, {"5", "1"}, {"1001", "1"}, {"2002", "1001"}, {"3003", "2002"}, {"4007", "3003"}}));
  std::map<std::string, std::string> nodeOf;  // question -> node
  for (const Row& link : ReadRows(stage / "StanQues.dbf")) {
    EXPECT_TRUE(nodeOf.emplace(link.at("quest_id"), link.at("node_id")).second) << "twice: " << link.at("quest_id");
  }
  EXPECT_EQ(nodeOf, (std::map<std::string, std::string>{{"11", "5"}, {"12", "4007"}, {"13", "3003"}}));
}

// An install set delivering a new version of Biology (area 1, slot 0) and a new
// course in slot 3.
class InstallSet : public Upgrade {
 protected:
  void SetUp() override {
    Upgrade::SetUp();
    install_ = app_ / "Databases" / "CorvaneInst";
    MakeArea(install_ / "1", 1, "Science");
    MakeCourse(install_ / "1" / "0", 0);
    MakeCourse(install_ / "1" / "3", 3);
    MakeTable(course0_, "quests", Layout("quests"),
              {{{"quest_id", "0000005"}, {"question", "Old publisher text"}},
               {{"quest_id", "0020001"}, {"question", "Mine"}}});
    fs::create_directories(install_ / "1" / "0" / "Bitmaps");
    testing_support::WriteFile(install_ / "1" / "0" / "Bitmaps" / "0000005.gif", "GIF89a");
    testing_support::WriteFile(install_ / "1" / "0" / "pictures.vra", "archive");
    MakeTable(install_ / "1" / "3", "exams", Layout("exams"), {{{"exam_id", "0000009"}, {"name", "Delivered"}}});
  }
  std::vector<Row> Delivered() const {
    return {{{"quest_id", "0000005"}, {"question", "New publisher text"}},
            {{"quest_id", "0000006"}, {"question", "Another"}}};
  }
  void ExpectMerged() {
    EXPECT_FALSE(fs::exists(install_)) << DebugLog();
    EXPECT_EQ(Column(course0_ / "quests.dbf", "question"),
              (std::vector<std::string>{"Another", "Mine", "New publisher text"}));
    EXPECT_TRUE(fs::exists(course0_ / "Bitmaps" / "0000005.gif"));
    EXPECT_TRUE(fs::exists(course0_ / "pictures.vra"));
    ExpectEveryTableConforms();
    EXPECT_TRUE(presenter_->Shown().empty());
  }
  fs::path install_;
};

TEST_F(InstallSet, DeliveredTablesAreMergedIntoTheLiveCoursesAndNewCoursesLaidOut) {
  MakeTable(install_ / "1" / "0", "quests", Layout("quests"), Delivered());

  ConstructDatabases(true);

  ExpectMerged();
  const fs::path added = brand_ / "1" / "3";
  EXPECT_EQ(Column(added / "exams.dbf", "name"), (std::vector<std::string>{"Delivered"}));
  EXPECT_TRUE(fs::exists(added / "course.ini"));

  const auto before = TableFiles(app_ / "Databases");
  Construction() = ConstructionState{};
  ConstructDatabases(true);
  EXPECT_EQ(TableFiles(app_ / "Databases"), before);
}

TEST_F(InstallSet, IsMergedOnceEvenWhenAnOldFolderIsKept) {
  SplitOldCourses();
  MakeTable(install_ / "1" / "0", "quests", Layout("quests"), Delivered());
  MakeTable(app_ / "DBF", "classes", Layout("classes"), {{{"class_id", "0000107"}, {"course", "7"}}});

  ConstructDatabases(true);

  ExpectMerged();
  EXPECT_EQ(Column(app_ / "DBF-kept" / "classes.dbf", "class_id"), (std::vector<std::string>{"0000107"}));
  const auto before = TableFiles(app_);
  UseHost(app_);
  ConstructDatabases(true);
  EXPECT_EQ(TableFiles(app_), before);
}

TEST_F(InstallSet, CommonUsersOfAnOlderLayoutAreRebuiltFromTheBlankTable) {
  MakeTable(install_ / "1" / "0", "quests", Layout("quests"), Delivered());
  MakeTable(brand_, "users", WithField(Layout("users"), "user_name", [](FieldDef& f) { f.Len = 30; }),
            {User("0001001", "LATSEK"), User("0000005", "SMITH")});

  ConstructDatabases(true);

  ExpectMerged();
  EXPECT_EQ(Column(brand_ / "users.dbf", "user_name"), (std::vector<std::string>{"LATSEK", "MENTOR", "SMITH"}));
  EXPECT_EQ(Column(brand_ / "users.dbf", "user_id"), (std::vector<std::string>{"0000001", "0000005", "0001001"}));
}

TEST_F(InstallSet, AppendPackageUnpacksTheCoursesDataFirst) {
  const fs::path staging = dir_.path() / "zipped";
  MakeTable(staging, "quests", Layout("quests"), Delivered());
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(staging)) files.push_back(entry.path().string());
  ASSERT_TRUE(zipio::WriteArchive((install_ / "1" / "0" / "data.zip").string(), files).ok);

  AppendPackageDatabases();

  ExpectMerged();
}

TEST(StudentNames, SplitIntoFamilyAndGivenNames) {
  struct Case {
    const char* name;
    const char* last;
    const char* first;
  } cases[] = {{"Doe, Jane", "Doe", "Jane"},
               {"  Doe ,Jane  ", "Doe", "Jane"},
               {"Jane Doe", "Doe", "Jane"},
               {"Mary Ann Lee", "Ann Lee", "Mary"},
               {"Cher", "", "Cher"},
               {"", "", ""}};
  for (const Case& c : cases) {
    std::string last, first;
    SplitStudentName(c.name, last, first);
    EXPECT_EQ(last, c.last) << c.name;
    EXPECT_EQ(first, c.first) << c.name;
  }
}

TEST_F(Upgrade, RowsWhoseKeyIsZeroAreAlwaysAppendedAndOthersMatchedByTheirKey) {
  const fs::path folder = dir_.path() / "rows";
  MakeTable(folder, "old", Layout("exams"),
            {{{"exam_id", "0000000"}, {"name", "A"}}, {{"exam_id", "0020001"}, {"name", "B"}},
             {{"exam_id", "0020002"}, {"name", "C"}}});
  MakeTable(folder, "new", Layout("exams"), {{{"exam_id", "0000000"}, {"name", "X"}}, {{"exam_id", "0020001"}, {"name", "Y"}}});
  const xbase::Data4 oldTable = xbase::d4open(Code(), (folder / "old.dbf").string());
  const xbase::Data4 newTable = xbase::d4open(Code(), (folder / "new.dbf").string());
  const RowCopyCount count = CopyTableRows("exams", folder.string(), folder.string(), oldTable, newTable, false);
  xbase::d4close(oldTable);
  xbase::d4close(newTable);
  EXPECT_EQ(count.Appended, 2);
  EXPECT_EQ(count.Matched, 1);
  EXPECT_EQ(Column(folder / "new.dbf", "name"), (std::vector<std::string>{"A", "C", "X", "Y"}));
}

}  // namespace
}  // namespace tolvarin
