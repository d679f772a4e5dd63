// Upgrades of course maker courses stored the way older installations stored them:
// tables of older layouts in old per-course folders and in the old single database,
// with the common tables of an older layout too. Every row must reach its course.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <set>

#include "construction/old_layouts.h"
#include "construction/upgrade_fixture.h"
#include "construction/upgrade_passes.h"
#include "construction/upgrade_run.h"
#include "core/strings.h"
#include "core/text_cipher.h"
#include "data/key_text.h"
#include "core/progress.h"
#include "course_maker.h"

namespace tolvarin {
namespace {

using namespace upgrade_testing;

// Reports the steps of the passes to a callback (the points between two swaps).
class StepWatch : public ProgressSink {
 public:
  explicit StepWatch(std::function<void()> onStep) : onStep_(std::move(onStep)) {}
  void Step(const std::string& text) override {
    if (text == "Processing, please wait") onStep_();
  }
  void Detail(const std::string&) override {}
  void Fraction(double) override {}

 private:
  std::function<void()> onStep_;
};

// An installation of three course maker courses in the Science area: Biology
// (slot 0, old course number 1), Chemistry (slot 1, old number 2) and Physics (slot
// 2, which no old course number gives).
class CourseUpgrade : public UpgradeRun {
 protected:
  void SetUp() override {
    UpgradeRun::SetUp();
    course_maker::CourseOptions options;
    options.questions = questions_;
    options.courseId = 0;
    const course_maker::MadeCourse made = course_maker::MakeCourse(dir_.path().string(), options);
    ASSERT_EQ(fs::path(made.install.app), app_);
    install_ = made.install;
    brand_ = made.install.brand;
    courses_ = {made.install.course};
    const char* const names[] = {"Chemistry", "Physics"};
    for (int slot = 1; slot <= 2; ++slot) {
      courses_.push_back(course_maker::AddCourse(made.install, names[slot - 1], slot, names[slot - 1]));
      options.seed = static_cast<std::uint32_t>(slot + 1);
      options.courseId = slot;
      options.courseFolder = names[slot - 1];
      course_maker::FillCourse(courses_.back().string(), options);
    }
    SplitOldCourses();
  }

  // The common tables in an older layout: the built-in users with passwords and
  // rights of their own, and five permission rows of two users.
  void OldCommonTables() {
    std::vector<Row> users = ReadRows(brand_ / "users.dbf");
    for (Row& user : users) {
      if (user["user_name"] == "LATSEK") user["password"] = EncryptText("LIVE01");
      if (user["user_name"] == "MENTOR") user["edit_pswd"] = "F";
    }
    MakeTable(brand_, "users", WithField(Layout("users"), "user_name", [](FieldDef& f) { f.Len = 30; }), users);
    std::vector<Row> permissions;
    for (const auto& [user, number] : std::vector<std::pair<const char*, int>>{
             {"0000002", 1}, {"0000002", 2}, {"0000002", 3}, {"0000003", 1}, {"0000003", 4}}) {
      permissions.push_back({{"user_id", user}, {"perm_type", "A"}, {"perm_id", EncryptText(FormatID(number))}});
    }
    MakeTable(brand_, "userpermissions", WithoutTag(Layout("userpermissions"), "USERPERM"), permissions);
    users_ = ReadRows(brand_ / "users.dbf");
    permissions_ = ReadRows(brand_ / "userpermissions.dbf");
  }

  void ExpectCommonTablesKept() {
    EXPECT_EQ(ReadRows(brand_ / "users.dbf"), users_);
    EXPECT_EQ(ReadRows(brand_ / "userpermissions.dbf").size(), permissions_.size());
    ExpectRowsIn(permissions_, brand_ / "userpermissions.dbf");
  }

  // Biology and Chemistry move out into DBF/0000001 and DBF/0000002, every table in
  // an older layout (or under its former name), with the old outline; the courses
  // keep blank tables only where no old table is. expected: course -> table -> the
  // rows its old table holds; subtopicOf: course -> question -> its subtopic.
  void MoveIntoOldCourseFolders(std::map<std::string, std::vector<Row>> expected[2],
                                std::map<long, std::string> subtopicOf[2]) {
    for (int c = 0; c < 2; ++c) {
      MoveIntoOldCourseFolder(courses_[c], app_ / "DBF" / FormatID(c + 1), expected[c], subtopicOf[c]);
    }
  }

  int questions_ = 40;
  course_maker::Installation install_;
  fs::path brand_;
  std::vector<fs::path> courses_;
  std::vector<Row> users_, permissions_;
};

TEST_F(CourseUpgrade, OldCourseFoldersOfOlderLayoutsReachTheirCoursesRowByRow) {
  OldCommonTables();
  std::map<long, std::string> subtopicOf[2];  // question -> subtopic
  std::map<std::string, std::vector<Row>> expected[2];
  MoveIntoOldCourseFolders(expected, subtopicOf);
  for (int c = 0; c < 2; ++c) ASSERT_FALSE(expected[c]["charattributes"].empty());
  // The default print options as the teacher changed them.
  for (Row& row : expected[0]["printopt"]) {
    if (row["print_id"] == "0000001") row["xml"] = "<printopt><print_exam>False</print_exam></printopt>";
  }
  MakeTable(app_ / "DBF" / "0000001", "printopt", OldLayout("printopt"), expected[0]["printopt"]);
  const auto physics = TableFiles(courses_[2]);

  ConstructDatabases(true);

  EXPECT_TRUE(presenter_->Shown().empty());
  EXPECT_FALSE(fs::exists(app_ / "DBF"));
  EXPECT_TRUE(KeptLines(DebugLog()).empty()) << DebugLog();
  ExpectEveryTableConforms();
  ExpectCommonTablesKept();
  EXPECT_EQ(TableFiles(courses_[2]), physics);
  for (int c = 0; c < 2; ++c) {
    for (const auto& [name, rows] : expected[c]) ExpectRowsIn(rows, courses_[c] / (Layout(name).TableName + ".dbf"));
    // The old outline is in tree 1 and each question hangs under its subtopic's
    // node: a node of that number, the subtopic's own, or its topic's.
    std::set<std::string> nodes;
    for (const Row& node : ReadRows(courses_[c] / "standard.dbf")) {
      if (node.at("tree_id") == "1") nodes.insert(node.at("node_id"));
    }
    for (const char* node : {"1001", "2001", "3001", "3004", "4001", "4039"}) EXPECT_TRUE(nodes.count(node)) << node;
    EXPECT_FALSE(nodes.count("4010"));
    std::map<long, std::set<std::string>> linked;
    for (const Row& link : ReadRows(courses_[c] / "StanQues.dbf")) {
      if (link.at("tree_id") != "1") continue;
      EXPECT_TRUE(nodes.count(link.at("node_id"))) << "a link to a missing node " << link.at("node_id");
      linked[TextValue(link.at("quest_id"))].insert(link.at("node_id"));
    }
    for (const auto& [question, subtopic] : subtopicOf[c]) {
      const long s = TextValue(subtopic);
      const long node = s <= 8 ? s : (s % 10 == 0 ? 3000 + s / 10 : 4000 + s);
      EXPECT_TRUE(linked[question].count(std::to_string(node))) << "question " << question << " subtopic " << s;
    }
  }

  const auto before = TableFiles(app_);
  UseHost(app_);
  ConstructDatabases(true);
  EXPECT_EQ(TableFiles(app_), before) << "a second run rewrote a table";
}

// Attribute definitions a teacher made that no value row uses (yet): an attribute of
// its own and the two values of its list.
const std::vector<Row> kSpareAttributes = {{{"attr_key", "GRADE"}, {"name", "Grade band"}, {"type", "2"}}};
const std::vector<Row> kSpareEnumValues = {{{"attr_key", "GRADE"}, {"attr_value", "1"}, {"name", "Lower school"}},
                                           {{"attr_key", "GRADE"}, {"attr_value", "2"}, {"name", "Upper school"}}};

struct OldDefinitions {
  const char* name;
  bool singleDatabase;  // the spare definitions lie in the old single database, else in the old course folders
  bool values;          // the old course folders keep their value rows
};
void PrintTo(const OldDefinitions& layout, std::ostream* out) { *out << layout.name; }

class SpareDefinitions : public CourseUpgrade, public ::testing::WithParamInterface<OldDefinitions> {};

TEST_P(SpareDefinitions, ReachEveryCourseTheOldFolderServesAndASecondRunChangesNothing) {
  const OldDefinitions layout = GetParam();
  std::map<long, std::string> subtopicOf[2];
  std::map<std::string, std::vector<Row>> expected[2];
  MoveIntoOldCourseFolders(expected, subtopicOf);
  if (!layout.values) {
    for (int c = 0; c < 2; ++c) {
      for (const char* table : {"charattributes", "enumattributes", "memoattributes"}) {
        RemoveTable(app_ / "DBF" / FormatID(c + 1), table);
        expected[c].erase(table);
      }
    }
  }
  // The old single database served every course; an old course folder its own.
  std::map<std::string, std::vector<Row>> definitions[3];  // course -> table -> rows it must hold
  const std::map<std::string, std::vector<Row>> spare = {{"attributes", kSpareAttributes},
                                                         {"enumvalues", kSpareEnumValues}};
  for (const auto& [table, rows] : spare) {
    if (layout.singleDatabase) {
      MakeTable(app_ / "DBF", table, OldLayout(table), rows);
      for (auto& course : definitions) course[table] = rows;
    }
    for (int c = 0; c < 2; ++c) {
      std::vector<Row> held = expected[c][table];
      if (!layout.singleDatabase) held.insert(held.end(), rows.begin(), rows.end());
      MakeTable(app_ / "DBF" / FormatID(c + 1), table, OldLayout(table), held);
      definitions[c][table].insert(definitions[c][table].end(), held.begin(), held.end());
    }
  }

  ConstructDatabases(true);

  EXPECT_TRUE(presenter_->Shown().empty());
  EXPECT_FALSE(fs::exists(app_ / "DBF"));
  EXPECT_TRUE(KeptLines(DebugLog()).empty()) << DebugLog();
  ExpectEveryTableConforms();
  for (size_t c = 0; c < 3; ++c) {
    SCOPED_TRACE(courses_[c].filename().string());
    for (const auto& [table, rows] : definitions[c]) ExpectRowsIn(rows, courses_[c] / (table + ".dbf"));
    if (c == 2) continue;
    for (const auto& [name, rows] : expected[c]) ExpectRowsIn(rows, courses_[c] / (Layout(name).TableName + ".dbf"));
  }

  const auto before = TableFiles(app_);
  UseHost(app_);
  ConstructDatabases(true);
  EXPECT_EQ(TableFiles(app_), before) << "a second run rewrote a table";
}

INSTANTIATE_TEST_SUITE_P(OldLayouts, SpareDefinitions,
                         ::testing::Values(OldDefinitions{"CourseFolders", false, true},
                                           OldDefinitions{"CourseFoldersWithoutValues", false, false},
                                           OldDefinitions{"SingleDatabase", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// A course of the combined area 5 (course 1 there, which is now slot 13 of the
// Science area) whose definitions no value row uses: the combined area is deleted
// once its tables are in their new courses, so the definitions must be there too.
TEST_F(CourseUpgrade, DefinitionsOfACombinedAreaCourseReachTheCourseThatNowHoldsIt) {
  const fs::path earth = course_maker::AddCourse(install_, "Earth", 13, "Earth");
  course_maker::Installation combined = install_;
  combined.area = (brand_ / "Combined").string();
  MakeArea(combined.area, 5, "Combined");
  const fs::path old = course_maker::AddCourse(combined, "Old", 1, "Old");
  course_maker::CourseOptions options;
  options.questions = questions_;
  options.seed = 9;
  options.courseId = 1;
  course_maker::FillCourse(old.string(), options);
  std::map<std::string, std::vector<Row>> definitions;
  for (const char* table : {"charattributes", "enumattributes", "memoattributes"}) RemoveTable(old, table);
  for (const auto& [table, spare] : {std::pair{"attributes", kSpareAttributes}, std::pair{"enumvalues", kSpareEnumValues}}) {
    definitions[table] = ReadRows(old / (std::string(table) + ".dbf"));
    ASSERT_FALSE(definitions[table].empty()) << table;
    definitions[table].insert(definitions[table].end(), spare.begin(), spare.end());
    MakeTable(old, table, Layout(table), definitions[table]);
  }
  const std::vector<Row> exams = ReadRows(old / "exams.dbf");

  ConstructDatabases(true);

  EXPECT_TRUE(presenter_->Shown().empty());
  EXPECT_FALSE(fs::exists(combined.area));
  EXPECT_TRUE(KeptLines(DebugLog()).empty()) << DebugLog();
  ExpectEveryTableConforms();
  ExpectRowsIn(exams, earth / "exams.dbf");
  for (const auto& [table, rows] : definitions) ExpectRowsIn(rows, earth / (table + ".dbf"));

  const auto before = TableFiles(app_);
  UseHost(app_);
  ConstructDatabases(true);
  EXPECT_EQ(TableFiles(app_), before) << "a second run rewrote a table";
}

// The old single database holds the classes, students, sessions, session questions
// and results of Biology (old course 1) and Chemistry (old course 2, its
// identifiers moved up by 500), with attribute rows of classes and students in
// both key forms. Physics keeps its own rows, and no old row belongs to it.
class OldSingleDatabase : public CourseUpgrade, public ::testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    questions_ = 10;  // a few sessions' worth of results: the run is repeated from every stop
    CourseUpgrade::SetUp();
    const fs::path old = app_ / "DBF";
    const std::vector<std::string> split = {"classes", "students", "sessions", "sesquests", "sesresults"};
    std::map<std::string, std::vector<Row>> merged;
    for (int c = 0; c < 2; ++c) {
      for (const std::string& name : split) {
        for (Row row : ReadRows(courses_[c] / (name + ".dbf"))) {
          for (const char* id : {"class_id", "student_id", "session_id", "sesques_id"}) {
            if (row.count(id) && c == 1) row[id] = FormatID(static_cast<std::int32_t>(TextValue(row[id])) + 500);
          }
          if (row.count("course")) row["course"] = std::to_string(c + 1);
          merged[name].push_back(row);
          Row kept = InLayout(row, OldLayout(name));
          if (row.count("course")) kept.erase("course");  // a course row keeps its own number
          expected_[c][name].push_back(kept);
        }
        RemoveTable(courses_[c], name);
      }
    }
    for (const auto& [name, rows] : merged) MakeTable(old, OldFileName(name), OldLayout(name), rows);
    std::vector<Row> attributes;
    for (int c = 0; c < 2; ++c) {
      const Row klass = merged["classes"][c == 0 ? 0 : merged["classes"].size() - 1];
      const Row student = merged["students"][c == 0 ? 0 : merged["students"].size() - 1];
      const std::string plainClass = std::to_string(TextValue(klass.at("class_id")));
      attributes.push_back({{"table_name", "CLASSES"}, {"table_id", plainClass}, {"attr_key", "SOURCE"}, {"attr_value", "Room " + plainClass}});
      attributes.push_back({{"table_name", "students"}, {"table_id", student.at("student_id")}, {"attr_key", "SOURCE"}, {"attr_value", "Transfer"}});
      attributes_[c] = {attributes.end() - 2, attributes.end()};
    }
    MakeTable(old, "charattributes", Layout("charattributes"), attributes);
    physics_ = TableFiles(courses_[2]);
  }

  void ExpectEveryRowInItsCourse(const fs::path& app, const std::string& when) {
    SCOPED_TRACE(when);
    EXPECT_FALSE(fs::exists(app / "DBF"));
    EXPECT_TRUE(KeptLines(DebugLog(app)).empty()) << DebugLog(app);
    for (int c = 0; c < 2; ++c) {
      const fs::path course = app / fs::relative(courses_[c], app_);
      for (const auto& [name, rows] : expected_[c]) {
        ExpectRowsIn(rows, course / (name + ".dbf"));
        EXPECT_EQ(ReadRows(course / (name + ".dbf")).size(), rows.size()) << course / name;
      }
      ExpectRowsIn(attributes_[c], course / "charattributes.dbf");
    }
    EXPECT_EQ(TableFiles(app / fs::relative(courses_[2], app_)), physics_);
  }

  std::map<std::string, std::vector<Row>> expected_[2];
  std::vector<Row> attributes_[2];
  std::map<std::string, std::string> physics_;
};

// The run is stopped at every step of the split (the points between two swaps)
// and run again from there; each instance takes every fourth stop.
constexpr int kStopGroups = 4;

TEST_P(OldSingleDatabase, IsSplitOverItsCoursesAndARunStoppedBetweenAnyTwoSwapsIsFinishedByTheNext) {
  // A copy of the installation at the steps of the run while the old tables are
  // there (they go when the passes are done): each is where a run killed between
  // two swaps leaves it.
  std::vector<fs::path> stops;
  int step = 0;
  bool watching = true;
  auto previous = SetProgress(std::make_unique<StepWatch>([&] {
    if (!watching) return;
    bool splitting = false;
    for (const char* name : {"classes", "students", "sessions", "sesquest", "sesquests", "sesresul", "sesresults"}) {
      splitting = splitting || fs::exists(app_ / "DBF" / (std::string(name) + ".dbf"));
    }
    watching = splitting;  // the first step after the split is the last stop
    if (step++ % kStopGroups != GetParam()) return;
    stops.push_back(dir_.path() / ("stop" + std::to_string(step - 1)));
    fs::create_directories(stops.back());
    fs::copy(app_, stops.back() / "Host", fs::copy_options::recursive);
  }));
  ConstructDatabases(true);
  SetProgress(std::move(previous));

  EXPECT_TRUE(presenter_->Shown().empty());
  ExpectEveryRowInItsCourse(app_, "one run");
  ExpectEveryTableConforms();
  EXPECT_EQ(step, 21);  // the old folder, five tables to three courses, the live folders and the end
  for (const fs::path& stop : stops) {
    UseHost(stop / "Host");
    ConstructDatabases(true);
    ExpectEveryRowInItsCourse(stop / "Host", "run again from " + stop.filename().string());
  }
}

INSTANTIATE_TEST_SUITE_P(EveryFourthStop, OldSingleDatabase, ::testing::Range(0, kStopGroups));

}  // namespace
}  // namespace tolvarin
