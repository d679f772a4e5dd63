// Mode NEWUPGRADE and APPENDPACKAGE run by the real program over installations that
// older programs left: course maker courses stored in old folders and in older
// table layouts, with users, permissions and definitions of their own. Every row,
// value and owner reaches its place, or stays where it was with a line in the debug
// log; a run killed at a step and run again ends as one whole run.
#include <gtest/gtest.h>

#include <fnmatch.h>

#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "construction/old_layouts.h"
#include "construction/upgrade_fixture.h"
#include "core/text_cipher.h"
#include "course_maker.h"
#include "course_tables.h"
#include "data/key_text.h"
#include "host_run.h"
#include "kill_point.h"
#include "platform/zip/zip.h"

namespace {

namespace fs = std::filesystem;
using namespace upgrade_testing;
using app_testing::HostRun;
using app_testing::KillPoint;
using app_testing::KillStep;
using app_testing::ListedStep;
using app_testing::RunResult;
using tolvarin::EncryptText;
using tolvarin::TextValue;

using UserNames = std::map<std::string, std::string>;  // user_id -> user_name

UserNames NamesOf(const fs::path& users) {
  UserNames names;
  for (const Row& row : ReadRows(users)) names[row.at("user_id")] = row.at("user_name");
  return names;
}

// Each row of a folder's tables that names a user, as "<table> <first field>: <user
// name>" by the names given: who owns what, whatever the layout of the table.
std::multiset<std::string> Owners(const fs::path& folder, const UserNames& names) {
  std::multiset<std::string> owners;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (ToLower(entry.path().extension().string()) != ".dbf") continue;
    const std::string table = ToLower(entry.path().stem().string());
    const tolvarin::TableDef layout = Layout(table);
    if (layout.TableName.empty() || table == "users" || table == "userpermissions") continue;
    for (const Row& row : ReadRows(entry.path())) {
      if (!row.count("user_id")) continue;
      const auto name = names.find(row.at("user_id"));
      const std::string first = ToLower(layout.Fields.front().Name);
      owners.insert(layout.TableName + " " + row.at(first) + ": " +
                    (name == names.end() ? "? " + row.at("user_id") : name->second));
    }
  }
  return owners;
}

// What an installation holds: the rows of every table (in any order) and the bytes of
// every other file, by path below the host folder; the logs and the Blank folder, which
// every run writes anew, left out.
std::map<std::string, std::multiset<std::string>> Holdings(const fs::path& app) {
  std::map<std::string, std::multiset<std::string>> held;
  if (!fs::exists(app)) return held;
  for (const auto& entry : fs::recursive_directory_iterator(app)) {
    if (!entry.is_regular_file()) continue;
    const std::string relative = fs::relative(entry.path(), app).string();
    if (relative == "tolvarin.log" || relative.rfind("logs/", 0) == 0 || relative.rfind("Databases/Blank/", 0) == 0) {
      continue;
    }
    const std::string extension = ToLower(entry.path().extension().string());
    if (extension == ".dbf") {
      held[relative] = app_testing::Rows(entry.path());
    } else if (extension == ".cdx" || extension == ".fpt") {
      held[relative] = {};  // read with its table
    } else {
      held[relative] = {testing_support::ReadFile(entry.path())};
    }
  }
  return held;
}

using Holding = std::map<std::string, std::multiset<std::string>>;

void ExpectSameHoldings(const Holding& got, const Holding& want, const std::string& when) {
  for (const auto& [file, rows] : want) {
    const auto found = got.find(file);
    if (found == got.end()) {
      ADD_FAILURE() << when << ": " << file << " is missing";
    } else if (found->second != rows) {
      ADD_FAILURE() << when << ": " << file << " holds " << found->second.size() << " rows, one whole run "
                    << rows.size();
    }
  }
  for (const auto& [file, rows] : got) {
    if (!want.count(file)) ADD_FAILURE() << when << ": " << file << " is left that one whole run does not leave";
  }
}

std::string DebugLogOf(const fs::path& app) {
  std::string text;
  if (!fs::exists(app / "logs")) return text;
  for (const auto& entry : fs::directory_iterator(app / "logs")) text += testing_support::ReadFile(entry.path());
  return text;
}

// The distinct lines that name what was kept, the host folder written as "<app>".
std::set<std::string> KeptOf(const fs::path& app) {
  std::set<std::string> kept;
  for (std::string line : KeptLines(DebugLogOf(app))) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    for (size_t at; (at = line.find(app.string())) != std::string::npos;) line.replace(at, app.string().size(), "<app>");
    kept.insert(line);
  }
  return kept;
}

// The lines that name a table that was not brought up to date.
std::vector<std::string> ErrorLines(const std::string& log) {
  std::vector<std::string> lines;
  for (size_t at = log.find("TOLVARIN ERROR: "); at != std::string::npos; at = log.find("TOLVARIN ERROR: ", at + 1)) {
    std::string line = log.substr(at, log.find('\n', at) - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The files of one listing that the other lacks or holds other bytes of.
std::vector<std::string> Differing(const std::map<std::string, std::string>& got,
                                   const std::map<std::string, std::string>& want) {
  std::vector<std::string> files;
  for (const auto& [file, bytes] : want) {
    const auto found = got.find(file);
    if (found == got.end() || found->second != bytes) files.push_back(file);
  }
  for (const auto& entry : got) {
    if (!want.count(entry.first)) files.push_back(entry.first);
  }
  return files;
}

void CopyInstallation(const fs::path& from, const fs::path& to) {
  fs::remove_all(to);
  fs::create_directories(to);
  fs::copy(from, to, fs::copy_options::recursive);
}

// Three course maker courses in the Science area: Biology (slot 0, old course number
// 1), Chemistry (slot 1, old number 2) and Physics (slot 2, which no old number gives),
// each with its teachers' rows, attributes and standards trees.
class OldInstallation : public ::testing::Test {
 public:
  void SetUp() override {
    course_maker::CourseOptions options;
    options.questions = questions;
    options.courseId = 0;
    const course_maker::MadeCourse made = course_maker::MakeCourse(host.Scratch(), options);
    ASSERT_EQ(fs::path(made.install.app), fs::path(host.App()));
    install = made.install;
    brand = install.brand;
    courses = {install.course};
    const char* const names[] = {"Chemistry", "Physics"};
    for (int slot = 1; slot <= 2; ++slot) {
      courses.push_back(course_maker::AddCourse(install, names[slot - 1], slot, names[slot - 1]));
      options.seed = static_cast<std::uint32_t>(slot + 1);
      options.courseId = slot;
      options.courseFolder = names[slot - 1];
      course_maker::FillCourse(courses.back().string(), options);
    }
    fs::copy_file(fs::path(TOLVARIN_CONFIG_DIR) / "editions.ini", App() / "editions.ini");
  }

  fs::path App() const { return host.App(); }
  fs::path Old() const { return App() / "DBF"; }
  RunResult Upgrade() { return host.RunHere({"Mode:NEWUPGRADE"}); }
  std::string DebugLog() const { return DebugLogOf(App()); }

  // The old single database's users: the brand's own, in an older layout, as an
  // older program kept them beside the courses.
  void OldDatabaseUsers(const std::vector<Row>& users) {
    MakeTable(Old(), "users", WithField(Layout("users"), "user_name", [](FieldDef& f) { f.Len = 30; }), users);
  }

  // The users of the old database clash with the brand's: LEE holds GARCIA's number
  // there and GARCIA another one; PARK's number is free in the brand.
  void ClashingOldUsers() {
    std::vector<Row> users = ReadRows(brand / "users.dbf");
    for (Row& user : users) {
      if (user["user_name"] == "GARCIA") user["user_name"] = "LEE";
    }
    users.push_back(User("0000007", "GARCIA"));
    users.push_back(User("0000006", "PARK"));
    OldDatabaseUsers(users);
  }

  // The rows of an old folder's tables that one user owns become another's.
  static void Reown(const fs::path& folder, const std::string& from, const std::string& to) {
    for (const auto& [table, stem] : TablesOf(folder)) {
      std::vector<Row> rows = ReadRows(folder / (stem + ".dbf"));
      if (rows.empty() || !rows.front().count("user_id") || table == "users" || table == "userpermissions") continue;
      for (Row& row : rows) {
        if (row["user_id"] == from) row["user_id"] = to;
      }
      MakeTable(folder, stem, OldLayout(table), rows);
    }
  }

  // The old users clash with the brand's, and Biology lies in its old course folder,
  // its rows owned by the old numbers (NGUYEN's rows are GARCIA's there).
  void ClashingUsersInTheOldDatabase() {
    ClashingOldUsers();
    std::map<std::string, std::vector<Row>> expected;
    std::map<long, std::string> subtopics;
    MoveIntoOldCourseFolder(courses[0], Old() / "0000001", expected, subtopics);
    Reown(Old() / "0000001", "0000004", "0000007");
  }

  // The old single database holds the classes, students, sessions, session questions
  // and results of Chemistry (old course 2), with attribute rows of a class and a
  // student. With both, those of Biology (old course 1) too, Chemistry's identifiers
  // moved up by 500; otherwise Biology keeps its own rows under the same identifiers as
  // Chemistry's. Physics keeps its own rows.
  void SplitRowsInTheOldDatabase(bool both) {
    const std::vector<std::string> split = {"classes", "students", "sessions", "sesquests", "sesresults"};
    std::map<std::string, std::vector<Row>> merged;
    std::vector<Row> attributes;
    for (int c = both ? 0 : 1; c < 2; ++c) {
      for (const std::string& name : split) {
        for (Row row : ReadRows(courses[c] / (name + ".dbf"))) {
          for (const char* id : {"class_id", "student_id", "session_id", "sesques_id"}) {
            if (row.count(id) && c == 1 && both) row[id] = FormatID(static_cast<std::int32_t>(TextValue(row[id])) + 500);
          }
          if (row.count("course")) row["course"] = std::to_string(c + 1);
          merged[name].push_back(row);
        }
        RemoveTable(courses[c], name);
      }
      const Row klass = merged["classes"].back();
      const Row student = merged["students"].back();
      attributes.push_back({{"table_name", "CLASSES"}, {"table_id", klass.at("class_id")}, {"attr_key", "SOURCE"},
                            {"attr_value", "Room " + klass.at("class_id")}});
      attributes.push_back({{"table_name", "STUDENTS"}, {"table_id", student.at("student_id")}, {"attr_key", "SOURCE"},
                            {"attr_value", "Transfer"}});
    }
    for (const auto& [name, rows] : merged) MakeTable(Old(), OldFileName(name), OldLayout(name), rows);
    MakeTable(Old(), "charattributes", Layout("charattributes"), attributes);
  }

  // Biology and Chemistry in their old course folders, with the old outline and no
  // classification tree 1 yet (the upgrade writes it); the standards table's unique
  // key as the schema has it, or written by a program that did not mark it unique.
  void OldCourseFoldersWithTheirOutline(bool uniqueStandardKey) {
    for (int c = 0; c < 2; ++c) {
      const fs::path old = Old() / FormatID(c + 1);
      std::map<std::string, std::vector<Row>> expected;
      std::map<long, std::string> subtopics;
      MoveIntoOldCourseFolder(courses[c], old, expected, subtopics);
      for (const char* table : {"standard", "stanques"}) {
        std::vector<Row> rows;
        for (const Row& row : expected[table]) {
          if (row.at("tree_id") != "1") rows.push_back(row);
        }
        TableDef layout = OldLayout(table);
        if (!uniqueStandardKey) {
          for (tolvarin::TagDef& tag : layout.Tags) tag.Unique = 0;
        }
        MakeTable(old, Layout(table).TableName, layout, rows);
      }
    }
  }

  // The common permissions in an older layout without their combined tag, beside the
  // old database's users (who cannot edit passwords get a permission each).
  void PermissionsOfAnOlderLayout() {
    OldDatabaseUsers(ReadRows(brand / "users.dbf"));
    std::vector<Row> permissions;
    for (int user = 2; user <= 5; ++user) {
      permissions.push_back({{"user_id", FormatID(user)}, {"perm_type", "A"}, {"perm_id", EncryptText(FormatID(1))}});
    }
    MakeTable(brand, "userpermissions", WithoutTag(Layout("userpermissions"), "USERPERM"), permissions);
  }

  // Old folders for two courses: the old single database with its clashing users,
  // their permissions and the classes and sessions of Biology and Chemistry; an old
  // course folder for each with its outline (its standards key not marked unique),
  // Biology's rows owned by the old numbers; the common permissions in an older
  // layout. Physics keeps its own rows.
  void SeveralOldFolders() {
    ClashingOldUsers();
    std::vector<Row> permissions;
    for (int user = 2; user <= 5; ++user) {
      for (int n = 1; n <= 3; ++n) {
        permissions.push_back(
            {{"user_id", FormatID(user)}, {"perm_type", "C"}, {"perm_id", EncryptText(FormatID(user * 10 + n))}});
      }
    }
    MakeTable(Old(), "userpermissions", Layout("userpermissions"), permissions);
    MakeTable(brand, "userpermissions", WithoutTag(Layout("userpermissions"), "USERPERM"),
              {{{"user_id", "0000005"}, {"perm_type", "A"}, {"perm_id", EncryptText(FormatID(1))}}});
    SplitRowsInTheOldDatabase(true);
    OldCourseFoldersWithTheirOutline(false);
    Reown(Old() / "0000001", "0000004", "0000007");
  }

  int questions = 40;  // in each course
  HostRun host;
  course_maker::Installation install;
  fs::path brand;
  std::vector<fs::path> courses;
};

// Permission rows of four users (three each) in the old single database or in an old
// course folder, beside a common table that is empty or holds rows of its own.
struct PermissionLayout {
  const char* name;
  const char* folder;  // below DBF
  bool ownRows;        // the common table holds a row of its own
};
void PrintTo(const PermissionLayout& layout, std::ostream* out) { *out << layout.name; }

class OldPermissions : public OldInstallation, public ::testing::WithParamInterface<PermissionLayout> {};

TEST_P(OldPermissions, EveryOldRowReachesTheCommonTable) {
  const PermissionLayout layout = GetParam();
  OldDatabaseUsers(ReadRows(brand / "users.dbf"));
  std::vector<Row> permissions;
  for (int user = 2; user <= 5; ++user) {
    for (int n = 1; n <= 3; ++n) {
      permissions.push_back(
          {{"user_id", FormatID(user)}, {"perm_type", "C"}, {"perm_id", EncryptText(FormatID(user * 10 + n))}});
    }
  }
  MakeTable(Old() / layout.folder, "userpermissions", Layout("userpermissions"), permissions);
  std::vector<Row> own;
  if (layout.ownRows) own.push_back({{"user_id", "0000002"}, {"perm_type", "C"}, {"perm_id", EncryptText("0000099")}});
  MakeTable(brand, "userpermissions", Layout("userpermissions"), own);

  const RunResult run = Upgrade();

  ASSERT_EQ(run.status, 0) << run.stderrText;
  EXPECT_FALSE(fs::exists(Old())) << DebugLog();
  EXPECT_TRUE(KeptLines(DebugLog()).empty()) << DebugLog();
  ExpectRowsIn(permissions, brand / "userpermissions.dbf");
  ExpectRowsIn(own, brand / "userpermissions.dbf");
}

INSTANTIATE_TEST_SUITE_P(
    OldLayouts, OldPermissions,
    ::testing::Values(PermissionLayout{"SingleDatabaseBesideAnEmptyTable", "", false},
                      PermissionLayout{"SingleDatabaseBesideRows", "", true},
                      PermissionLayout{"OldCourseFolderBesideRows", "0000001", true}),
    [](const auto& info) { return std::string(info.param.name); });

// The brand's users in an older layout, the built-in MENTOR renamed: every user keeps
// its number, and the courses' rows (their tables need no rebuild) their owners.
TEST_F(OldInstallation, CommonUsersOfAnOlderLayoutKeepTheirNumbersAndTheCoursesTheirOwners) {
  std::vector<Row> users = ReadRows(brand / "users.dbf");
  for (Row& user : users) {
    if (user["user_name"] == "MENTOR") user["user_name"] = "BOSS";
    if (user["user_name"] == "LATSEK") user["password"] = EncryptText("LIVE01");
  }
  MakeTable(brand, "users", WithField(Layout("users"), "user_name", [](FieldDef& f) { f.Len = 30; }), users);
  std::vector<std::multiset<std::string>> owners;
  for (const fs::path& course : courses) owners.push_back(Owners(course, NamesOf(brand / "users.dbf")));

  const RunResult run = Upgrade();

  ASSERT_EQ(run.status, 0) << run.stderrText;
  EXPECT_TRUE(Conforms(brand / "users.dbf", "users"));
  EXPECT_EQ(ReadRows(brand / "users.dbf").size(), users.size());
  ExpectRowsIn(users, brand / "users.dbf");
  for (size_t c = 0; c < courses.size(); ++c) {
    EXPECT_EQ(Owners(courses[c], NamesOf(brand / "users.dbf")), owners[c]) << courses[c];
  }
}

// The old database's users clash with the brand's: LEE has GARCIA's number, GARCIA
// another, PARK a number the brand does not use. LEE gets a number no user of either
// table has, PARK keeps his, and GARCIA's old rows go to the brand's GARCIA.
TEST_F(OldInstallation, OldUsersThatClashWithTheBrandsGetNumbersOfTheirOwnAndKeepTheirRows) {
  ClashingUsersInTheOldDatabase();
  const UserNames oldNames = NamesOf(Old() / "users.dbf");
  const std::multiset<std::string> biology = Owners(Old() / "0000001", oldNames);
  std::vector<std::multiset<std::string>> owners;
  for (size_t c = 1; c < courses.size(); ++c) owners.push_back(Owners(courses[c], NamesOf(brand / "users.dbf")));

  const RunResult run = Upgrade();

  ASSERT_EQ(run.status, 0) << run.stderrText;
  EXPECT_FALSE(fs::exists(Old())) << DebugLog();
  const UserNames names = NamesOf(brand / "users.dbf");
  std::map<std::string, int> numbers;  // user name -> how many numbers
  for (const auto& [id, name] : names) ++numbers[name];
  for (const auto& [name, count] : numbers) EXPECT_EQ(count, 1) << name;
  EXPECT_TRUE(numbers.count("LEE"));
  for (const auto& [id, name] : names) {
    if (name == "GARCIA") {
      EXPECT_EQ(id, "0000003");
    } else if (name == "PARK") {
      EXPECT_EQ(id, "0000006");
    } else if (name == "LEE") {
      EXPECT_FALSE(oldNames.count(id)) << id;
    }
  }
  EXPECT_EQ(Owners(courses[0], names), biology);
  for (size_t c = 1; c < courses.size(); ++c) EXPECT_EQ(Owners(courses[c], names), owners[c - 1]) << courses[c];
}

// A value that does not fit its field in the current layout: the old table stays as
// it was (an old folder is kept), and the debug log names the table, field and row.
struct NarrowedValue {
  const char* name;
  int course;          // the course whose table it is
  const char* folder;  // where the table lies, below the host folder
  const char* kept;    // where it lies after the run
  const char* table;
  const char* field;
  const char* type;    // the field's type and length in the older layout
  int length;
  const char* value;   // the value of the first row
};
void PrintTo(const NarrowedValue& value, std::ostream* out) { *out << value.name; }

class NarrowedValues : public OldInstallation, public ::testing::WithParamInterface<NarrowedValue> {};

TEST_P(NarrowedValues, KeepTheOldTableAndAreNamedInTheDebugLog) {
  const NarrowedValue value = GetParam();
  const fs::path course = courses[static_cast<size_t>(value.course)];
  std::vector<Row> rows = ReadRows(course / (std::string(value.table) + ".dbf"));
  ASSERT_FALSE(rows.empty());
  rows.front()[value.field] = value.value;
  for (Row& row : rows) {
    if (row.count("course")) row["course"] = "1";  // Biology's, in the old database
  }
  const std::string key = rows.front().at(ToLower(Layout(value.table).Fields.front().Name));
  const TableDef layout = WithField(Layout(value.table), value.field, [&](FieldDef& f) {
    f.Type = value.type;
    f.Len = static_cast<std::int16_t>(value.length);
  });
  const fs::path folder = App() / value.folder;
  RemoveTable(course, value.table);
  MakeTable(folder, value.table, layout, rows);
  std::map<std::string, std::string> before;
  for (const auto& [file, bytes] : TableFiles(folder)) {
    if (ToLower(fs::path(file).stem().string()) == value.table) before[file] = bytes;
  }

  const RunResult run = Upgrade();

  ASSERT_EQ(run.status, 0) << run.stderrText;
  const std::string log = DebugLog();
  const std::vector<std::string> errors = ErrorLines(log);
  ASSERT_EQ(errors.size(), 1u) << log;
  for (const std::string& part : {std::string(value.table) + ".dbf", std::string(value.field), key}) {
    EXPECT_NE(errors[0].find(part), std::string::npos) << part << " in " << errors[0];
  }
  const fs::path kept = App() / value.kept;
  std::map<std::string, std::string> after;
  for (const auto& [file, bytes] : TableFiles(kept)) {
    if (ToLower(fs::path(file).stem().string()) == value.table) after[file] = bytes;
  }
  EXPECT_EQ(Differing(after, before), std::vector<std::string>{}) << kept << " does not hold the old table as it was";
}

INSTANTIATE_TEST_SUITE_P(
    OlderLayouts, NarrowedValues,
    ::testing::Values(
        NarrowedValue{"ClassSectionOfACourse", 2, "Databases/Corvane/Science/Physics",
                      "Databases/Corvane/Science/Physics", "classes", "section", "C", 80,
                      "Period 3 Honors Biology with laboratory, Tuesdays and Thursdays, room 12"},
        NarrowedValue{"ExamQuestionVersionInAnOldCourseFolder", 0, "DBF/0000001", "DBF-kept/0000001", "examques",
                      "version", "N", 6, "123456"},
        NarrowedValue{"SessionTypeInTheOldDatabase", 0, "DBF", "DBF-kept", "sessions", "type", "C", 4, "abc"}),
    [](const auto& info) { return std::string(info.param.name); });

// An old course folder defines NOTES with another type and text, and BLOOM's value 1
// with another text, than the course does: the old definitions and the rows that use
// them stay in the kept folder, named in the debug log; the course's stay as they were.
TEST_F(OldInstallation, OldAttributeDefinitionsThatClashWithTheCoursesAreKeptAndNamed) {
  std::map<std::string, std::vector<Row>> expected;
  std::map<long, std::string> subtopics;
  const fs::path old = Old() / "0000001";
  std::vector<Row> courseAttributes = ReadRows(courses[0] / "attributes.dbf");
  std::vector<Row> courseValues = ReadRows(courses[0] / "enumvalues.dbf");
  MoveIntoOldCourseFolder(courses[0], old, expected, subtopics);
  // The course keeps its own definitions; the old folder has its own.
  MakeTable(courses[0], "attributes", Layout("attributes"), courseAttributes);
  MakeTable(courses[0], "enumvalues", Layout("enumvalues"), courseValues);
  std::vector<Row> oldAttributes = courseAttributes;
  for (Row& row : oldAttributes) {
    if (row["attr_key"] == "NOTES") row["type"] = "1", row["name"] = "Old notes";
  }
  std::vector<Row> oldValues = courseValues;
  for (Row& row : oldValues) {
    if (row["attr_key"] == "BLOOM" && row["attr_value"] == "1") row["name"] = "Remember";
  }
  MakeTable(old, "attributes", Layout("attributes"), oldAttributes);
  MakeTable(old, "enumvalues", Layout("enumvalues"), oldValues);
  const auto oldFiles = TableFiles(old);

  const RunResult run = Upgrade();

  ASSERT_EQ(run.status, 0) << run.stderrText;
  const fs::path kept = App() / "DBF-kept" / "0000001";
  ASSERT_TRUE(fs::exists(kept)) << DebugLog();
  for (const char* table : {"attributes", "enumvalues"}) {
    EXPECT_EQ(ReadRows(kept / (std::string(table) + ".dbf")), table == std::string("attributes") ? oldAttributes : oldValues);
  }
  EXPECT_EQ(ReadRows(courses[0] / "attributes.dbf"), courseAttributes);
  EXPECT_EQ(ReadRows(courses[0] / "enumvalues.dbf"), courseValues);
  const std::set<std::string> lines = KeptOf(App());
  for (const char* named : {"NOTES", "BLOOM"}) {
    bool found = false;
    for (const std::string& line : lines) found = found || line.find(named) != std::string::npos;
    EXPECT_TRUE(found) << named << " in " << DebugLog();
  }
  // The kept folder holds old files only, as they were.
  const auto keptFiles = TableFiles(kept);
  for (const auto& [file, bytes] : keptFiles) {
    const auto was = oldFiles.find(file);
    EXPECT_TRUE(was != oldFiles.end() && was->second == bytes) << file << " is not as it was";
  }
}

// An old course folder whose number (7) is no course of the edition, holding only an
// exams table: it is kept as it was, and the log names that table and the folder.
TEST_F(OldInstallation, AnOldFolderOfNoCourseIsKeptAsItWasAndOnlyItsOwnTableIsNamed) {
  const fs::path old = Old() / "0000007";
  MakeTable(old, "exams", OldLayout("exams"), {{{"exam_id", "0020001"}, {"name", "Old midterm"}}});
  const auto before = TableFiles(old);

  const RunResult run = Upgrade();

  ASSERT_EQ(run.status, 0) << run.stderrText;
  const fs::path kept = App() / "DBF-kept" / "0000007";
  EXPECT_EQ(Differing(TableFiles(kept), before), std::vector<std::string>{});
  EXPECT_EQ(KeptOf(App()), (std::set<std::string>{
                               "TOLVARIN KEPT: <app>/DBF/0000007/exams.dbf has no folder to go to",
                               "TOLVARIN KEPT: <app>/DBF holds tables that were not carried over; it is kept as "
                               "<app>/DBF-kept"}));
}

// An install set delivers a course the installation has no folder for yet. With new
// folders allowed it is laid out with the delivered rows (APPENDPACKAGE unpacks them
// from data.zip first); without, the install set stays with it, named in the log.
struct DeliveredCourse {
  const char* name;
  std::vector<std::string> args;
  bool zipped;   // the tables come in data.zip
  bool laidOut;
};
void PrintTo(const DeliveredCourse& course, std::ostream* out) { *out << course.name; }

class DeliveredCourses : public OldInstallation, public ::testing::WithParamInterface<DeliveredCourse> {};

TEST_P(DeliveredCourses, AreLaidOutOrKeptWithTheInstallSet) {
  const DeliveredCourse delivery = GetParam();
  const fs::path delivered = App() / "Databases" / "CorvaneInst" / "1" / "3";
  MakeArea(delivered.parent_path(), 1, "Science");
  MakeCourse(delivered, 3);
  const std::vector<Row> exams = {{{"exam_id", "0000009"}, {"name", "Delivered exam"}}};
  if (delivery.zipped) {
    const fs::path staging = fs::path(host.Scratch()) / "zipped";
    MakeTable(staging, "exams", Layout("exams"), exams);
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(staging)) files.push_back(entry.path().string());
    ASSERT_TRUE(zipio::WriteArchive((delivered / "data.zip").string(), files).ok);
  } else {
    MakeTable(delivered, "exams", Layout("exams"), exams);
  }

  const RunResult run = host.RunHere(delivery.args);

  ASSERT_EQ(run.status, 0) << run.stderrText;
  std::vector<fs::path> holding;
  for (const auto& entry : fs::recursive_directory_iterator(App() / "Databases")) {
    if (entry.path().filename() != "exams.dbf" || entry.path().string().find("/Blank/") != std::string::npos) continue;
    for (const Row& row : ReadRows(entry.path())) {
      if (row.at("name") == "Delivered exam") holding.push_back(entry.path().parent_path());
    }
  }
  ASSERT_EQ(holding.size(), 1u) << DebugLog();
  if (delivery.laidOut) {
    EXPECT_EQ(holding[0].string().find("CorvaneInst"), std::string::npos) << holding[0];
    EXPECT_TRUE(fs::exists(holding[0] / "course.ini"));
    EXPECT_FALSE(fs::exists(App() / "Databases" / "CorvaneInst"));
    EXPECT_EQ(KeptOf(App()), std::set<std::string>{});
  } else {
    EXPECT_EQ(holding[0], delivered);
    EXPECT_EQ(KeptOf(App()),
              (std::set<std::string>{
                  "TOLVARIN KEPT: <app>/Databases/CorvaneInst/1/3 holds tables of a course the installation has no "
                  "folder for",
                  "TOLVARIN KEPT: <app>/Databases/CorvaneInst stays until every table is up to date"}));
  }
}

INSTANTIATE_TEST_SUITE_P(
    InstallSets, DeliveredCourses,
    ::testing::Values(DeliveredCourse{"AppendPackageLaysItOut", {"Mode:APPENDPACKAGE"}, true, true},
                      DeliveredCourse{"WithoutNewFoldersTheInstallSetStays",
                                      {"Mode:NEWUPGRADE", "CreateNewFolders:FALSE"}, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

// A run killed right after a step and run again ends as one whole run of the same
// installation: every row, value and owner in place.
struct KilledLayout {
  const char* name;
  void (*layOut)(OldInstallation&);
  const char* call;
  const char* match;  // the path's pattern below the host folder
};
void PrintTo(const KilledLayout& layout, std::ostream* out) { *out << layout.name; }

class KilledUpgrade : public OldInstallation, public ::testing::WithParamInterface<KilledLayout> {
 public:
  void SetUp() override {
    questions = 10;  // a few sessions' worth: three runs of each layout
    OldInstallation::SetUp();
  }
};

TEST_P(KilledUpgrade, AndRunAgainEndsAsOneWholeRun) {
  const KilledLayout layout = GetParam();
  layout.layOut(*this);
  HostRun whole;
  CopyInstallation(App(), whole.App());
  const RunResult wholeRun = whole.RunHere({"Mode:NEWUPGRADE"});
  ASSERT_EQ(wholeRun.status, 0) << wholeRun.stderrText;
  KillPoint kill(host);

  ASSERT_TRUE(kill.KilledAt({layout.call, App().string() + "/" + layout.match, 1}, {"Mode:NEWUPGRADE"}))
      << "the run never reached " << layout.match;
  const RunResult again = Upgrade();

  ASSERT_EQ(again.status, 0) << again.stderrText;
  ExpectSameHoldings(Holdings(App()), Holdings(whole.App()), layout.name);
  EXPECT_EQ(KeptOf(App()), KeptOf(whole.App()));
}

INSTANTIATE_TEST_SUITE_P(
    AtAStep, KilledUpgrade,
    ::testing::Values(
        KilledLayout{"UsersMappedThenTheFirstOldFileGoes",
                     [](OldInstallation& i) { i.ClashingUsersInTheOldDatabase(); },
                     "unlink", "DBF/*.dbf"},
        KilledLayout{"SessionsSplitThenTheirOldTableGoes",
                     [](OldInstallation& i) { i.SplitRowsInTheOldDatabase(false); }, "unlink",
                     "DBF/sessions.dbf"},
        KilledLayout{"ClassesSplitThenTheirOldTableGoes",
                     [](OldInstallation& i) { i.SplitRowsInTheOldDatabase(false); }, "unlink",
                     "DBF/classes.dbf"},
        KilledLayout{"ClassificationConvertedThenTheFirstOldFileGoes",
                     [](OldInstallation& i) { i.OldCourseFoldersWithTheirOutline(true); },
                     "unlink", "DBF/0000001/*.dbf"},
        KilledLayout{"ClassificationConvertedBesideAKeyNotMarkedUnique",
                     [](OldInstallation& i) { i.OldCourseFoldersWithTheirOutline(false); },
                     "unlink", "DBF/0000001/*.dbf"},
        KilledLayout{"PermissionsAddedThenTheCommonUsersReplaced",
                     [](OldInstallation& i) { i.PermissionsOfAnOlderLayout(); }, "rename",
                     "Databases/Corvane/users.dbf"}),
    [](const auto& info) { return std::string(info.param.name); });

// A course's session questions under their former name are renamed by the run: killed
// right after any step of the rename, the course holds the whole table under one of
// the two names, and the next run finishes the rename.
struct RenameStep {
  const char* name;
  const char* call;
  const char* match;  // the path's pattern in Biology
};
void PrintTo(const RenameStep& step, std::ostream* out) { *out << step.name; }

class KilledRename : public OldInstallation, public ::testing::WithParamInterface<RenameStep> {};

TEST_P(KilledRename, LeavesTheWholeTableUnderOneOfItsNames) {
  const RenameStep step = GetParam();
  const fs::path biology = courses[0];
  const std::multiset<std::string> rows = app_testing::Rows(biology / "sesquests.dbf");
  ASSERT_FALSE(rows.empty());
  for (const char* extension : {".dbf", ".cdx"}) {
    fs::rename(biology / (std::string("sesquests") + extension), biology / (std::string("sesquest") + extension));
  }
  KillPoint kill(host);

  ASSERT_TRUE(kill.KilledAt({step.call, biology.string() + "/" + step.match, 1}, {"Mode:NEWUPGRADE"}));

  int whole = 0;
  for (const char* table : {"sesquest", "sesquests"}) {
    const fs::path dbf = biology / (std::string(table) + ".dbf");
    if (!fs::exists(dbf)) continue;
    const xbase::Data4 data = xbase::d4open(Code(), dbf.string());
    EXPECT_NE(data, 0) << dbf << " does not open";
    if (data == 0) {
      xbase::code4errorCode(Code(), 0);
      continue;
    }
    xbase::d4close(data);
    EXPECT_EQ(app_testing::Rows(dbf), rows) << dbf;
    ++whole;
  }
  EXPECT_EQ(whole, 1);
  const RunResult again = Upgrade();
  ASSERT_EQ(again.status, 0) << again.stderrText;
  EXPECT_EQ(app_testing::Rows(biology / "sesquests.dbf"), rows);
  for (const char* extension : {".dbf", ".cdx", ".fpt"}) {
    EXPECT_FALSE(fs::exists(biology / (std::string("sesquest") + extension))) << extension;
  }
}

INSTANTIATE_TEST_SUITE_P(
    AtEachStep, KilledRename,
    ::testing::Values(RenameStep{"TheFirstFileUnderTheNewName", "rename", "sesquests.*"},
                      RenameStep{"TheFirstFileLeftUnderTheFormerNameGoes", "unlink", "sesquest.*"}),
    [](const auto& info) { return std::string(info.param.name); });

// The kill table: NEWUPGRADE on SeveralOldFolders killed right after each deletion of
// an old data file, and right after writes and renames chosen at random (seeded), then
// run again: each ends as one whole run, with no table or folder kept. Each instance
// takes every kKillGroups-th case.
constexpr int kKillGroups = 24;
constexpr int kRandomWrites = 8;
constexpr int kRandomRenames = 4;

class KilledAnywhere : public OldInstallation, public ::testing::WithParamInterface<int> {
 public:
  void SetUp() override {
    questions = 10;  // a few sessions' worth of results: the run is repeated at every step
    OldInstallation::SetUp();
  }
};

TEST_P(KilledAnywhere, AndRunAgainEndsAsOneWholeRun) {
  SeveralOldFolders();
  const fs::path base = fs::path(host.Scratch()) / "base";
  const fs::path temp = fs::path(host.Scratch()) / "tmp";
  CopyInstallation(App(), base);
  KillPoint kill(host);
  RunResult whole;
  const std::vector<ListedStep> steps = kill.EveryStep(App().string() + "/*", {"Mode:NEWUPGRADE"}, &whole);
  ASSERT_EQ(whole.status, 0) << whole.stderrText;
  ASSERT_FALSE(fs::exists(Old())) << DebugLog();
  ASSERT_EQ(KeptOf(App()), std::set<std::string>{}) << DebugLog();
  ASSERT_EQ(ErrorLines(DebugLog()), std::vector<std::string>{});
  const Holding reference = Holdings(App());

  std::vector<ListedStep> cases;
  const std::string oldData = App().string() + "/DBF/*.dbf";
  std::map<std::string, std::vector<ListedStep>> others;  // call -> its steps
  for (const ListedStep& listed : steps) {
    if (listed.step.call == "unlink" && fnmatch(oldData.c_str(), listed.path.c_str(), 0) == 0) {
      cases.push_back(listed);
    } else if (listed.step.call != "unlink") {
      others[listed.step.call].push_back(listed);
    }
  }
  const size_t deletions = cases.size();
  ASSERT_GT(deletions, 30u) << "the old folders' tables";
  std::mt19937 pick(37);
  for (const auto& [call, count] : {std::pair<std::string, int>{"pwrite", kRandomWrites}, {"rename", kRandomRenames}}) {
    const std::vector<ListedStep>& some = others[call];
    for (int i = 0; i < count && !some.empty(); ++i) {
      cases.push_back(some[std::uniform_int_distribution<size_t>(0, some.size() - 1)(pick)]);
    }
  }
  if (GetParam() == 0) {
    std::cout << "[ kill table ] " << cases.size() << " cases: " << deletions << " deletions of old data files, "
              << cases.size() - deletions << " writes and renames at random:";
    for (size_t i = deletions; i < cases.size(); ++i) std::cout << " " << cases[i].step.call << " " << cases[i].step.at;
    std::cout << "\n";
  }

  for (size_t i = static_cast<size_t>(GetParam()); i < cases.size(); i += kKillGroups) {
    const KillStep& step = cases[i].step;
    const std::string when = "killed after " + step.call + " " + std::to_string(step.at) + " (" +
                             fs::relative(cases[i].path, App()).string() + ")";
    CopyInstallation(base, App());
    fs::remove_all(temp);
    fs::create_directories(temp);
    const bool stopped = kill.KilledAt(step, {"Mode:NEWUPGRADE"});
    if (i < deletions) {
      EXPECT_TRUE(stopped) << when << ": the run ended first";
    }
    const RunResult again = Upgrade();
    EXPECT_EQ(again.status, 0) << when << "\n" << again.stderrText;
    ExpectSameHoldings(Holdings(App()), reference, when);
    EXPECT_EQ(KeptOf(App()), std::set<std::string>{}) << when;
    EXPECT_EQ(ErrorLines(DebugLog()), std::vector<std::string>{}) << when;
  }
}

INSTANTIATE_TEST_SUITE_P(EveryTwentyFourthCase, KilledAnywhere, ::testing::Range(0, kKillGroups));

}  // namespace
