// The interactive export and import through the real program with windows (under
// Xvfb): a complete backup of a realistic course into a package the teacher names,
// and its import into a second course, checked row by row; and the backup file
// page's cases (a package to replace, an invalid or another course's package).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "core/script_steps.h"
#include "core/strings.h"
#include "support/raw_zip.h"
#include "support/test_support.h"
#include "course_maker.h"
#include "course_tables.h"
#include "data/codebase.h"
#include "host_run.h"
#include "platform/xbase/xbase.h"
#include "platform/zip/zip.h"
#include "../core/read_only_folder.h"
#include "virtual_display.h"
#include "engine/transfer/transfer_run.h"

namespace {

namespace fs = std::filesystem;
using app_testing::HostRun;
using app_testing::RunResult;
using app_testing::Shown;
using app_testing::DisplayTest;

constexpr int kFirst = 3;   // Biology, the course maker's course
constexpr int kSecond = 4;  // Geometry, made empty beside it
constexpr const char* kCreated = "Corvane Backup File created at";
constexpr const char* kRestored = "Corvane Backup Folder restored from";

bool ShowedBox(const RunResult& run, const std::string& start) {
  for (const tolvarin::ShownBox& box : run.boxes)
    if (box.box.text.rfind(start, 0) == 0) return true;
  return false;
}

std::set<std::string> LowerNames(const fs::path& folder, const std::string& extension) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = tolvarin::ToLower(entry.path().filename().string());
    if (name.size() > extension.size() && name.compare(name.size() - extension.size(), extension.size(), extension) == 0)
      names.insert(name);
  }
  return names;
}

// Every live row of a table without its owner (USER_ID): an interactive import puts
// what it brings into the vault of the teacher who imports it.
std::multiset<std::string> RowsWithoutOwner(const fs::path& dbf) {
  std::multiset<std::string> rows;
  xbase::Data4 data = xbase::d4open(tolvarin::Engine().EngineHandle, dbf.string());
  EXPECT_NE(data, 0) << dbf;
  if (data == 0) return rows;
  for (int rc = xbase::d4top(data); rc == 0; rc = xbase::d4skip(data, 1)) {
    if (xbase::d4deleted(data)) continue;
    std::string row;
    for (int j = 1; j <= xbase::d4numFields(data); ++j) {
      const xbase::Field4 field = xbase::d4fieldJ(data, j);
      row += (tolvarin::ToUpper(tolvarin::Trim(xbase::f4name(field))) == "USER_ID" ? "*" : xbase::f4memoStr(field)) + "|";
    }
    rows.insert(row);
  }
  xbase::d4close(data);
  return rows;
}

class InteractiveTransferProcess : public DisplayTest {
 protected:
  static void SetUpTestSuite() {
    DisplayTest::SetUpTestSuite();
    if (tolvarin::Engine().EngineHandle == 0) tolvarin::InitCodeBase();
  }
  void SetUp() override {
    DisplayTest::SetUp();
    if (IsSkipped()) return;
    course_maker::CourseOptions options;
    options.questions = 200;
    made = course_maker::MakeCourse(host.Scratch() + "/Install", options);
    second = course_maker::AddCourse(made.install, "Geometry", kSecond, "Geometry");
    package = made.install.databases + "/Backup/Biology backup.zip";
  }
  // The host names the course by its area and slot, as it does for the teacher.
  RunResult Run(int courseId, const std::vector<std::string>& steps, const std::vector<std::string>& more = {}) const {
    std::vector<std::string> args{"AppPath:" + made.install.app, "Interactive:TRUE", "UserName:LATSEK",
                                  "Password:580246", "AreaID:1", "CourseID:" + std::to_string(courseId)};
    args.insert(args.end(), more.begin(), more.end());
    return host.RunOnDisplay(args, steps, Display());
  }
  RunResult Export(const std::vector<std::string>& afterContinue, const std::vector<std::string>& more = {}) const {
    std::vector<std::string> steps{"click:cmdBackup", "click:cmdComplete", "text:txtName=Biology backup",
                                   "click:cmdContinue"};
    steps.insert(steps.end(), afterContinue.begin(), afterContinue.end());
    return Run(kFirst, steps, more);
  }
  // The package's files, unpacked into a folder of the test.
  fs::path Unpacked(const std::string& name) const {
    const fs::path folder = host.Scratch() + "/" + name;
    const zipio::Outcome outcome = zipio::ExtractAll(package, folder.string(), "");
    EXPECT_TRUE(outcome.ok) << outcome.error;
    return folder;
  }

  HostRun host;
  course_maker::MadeCourse made;
  std::string second;
  std::string package;
};

TEST_F(InteractiveTransferProcess, ACompleteExportIsImportedIntoASecondCourseRowByRow) {
  const RunResult exported = Export({"OK"});
  ASSERT_EQ(exported.status, 0) << Shown(exported);
  EXPECT_TRUE(ShowedBox(exported, std::string(kCreated) + " \"" + package + "\"")) << Shown(exported);
  ASSERT_TRUE(fs::exists(package));
  if (std::system(("unzip -tq '" + package + "' >/dev/null 2>&1").c_str()) != 0 &&
      std::system("command -v unzip >/dev/null 2>&1") == 0)
    ADD_FAILURE() << "unzip -t finds the package damaged";

  // Every table of the course that holds rows, and every image, is in the package
  // (the attribute definitions are the installation's, as in every backup).
  const fs::path unpacked = Unpacked("unpacked");
  const auto courseTables = app_testing::Tables(made.install.course);
  const auto packageTables = app_testing::Tables(unpacked);
  for (const auto& [table, path] : courseTables)
    if (table != "attributes" && table != "enumvalues" && !app_testing::Rows(path).empty()) {
      EXPECT_TRUE(packageTables.count(table)) << table;
    }
  std::set<std::string> images = LowerNames(unpacked, ".gif");
  images.merge(LowerNames(unpacked, ".jpg"));
  for (const std::string& image : made.content.imageFiles)
    EXPECT_TRUE(images.count(tolvarin::ToLower(image))) << image;

  // The import into the second course, with its classification tree: the package is
  // another course's, so the file page asks first; the course holds no question, so
  // none is refused and no duplicate check is offered; the preview goes on.
  const RunResult imported = Run(kSecond,
                                 {"click:cmdRestore", "Yes", "pick:fileList=Biology backup.zip", "click:cmdContinue",
                                  "Yes", "click:cmdContinue", "OK"},
                                 {"Import:RemapNothing"});
  ASSERT_EQ(imported.status, 0) << Shown(imported);
  EXPECT_TRUE(ShowedBox(imported, "\"" + package + "\" is an Corvane Backup Folder for another database"))
      << Shown(imported);
  EXPECT_TRUE(ShowedBox(imported, kRestored)) << Shown(imported);
  const auto secondTables = app_testing::Tables(second);
  for (const auto& [table, path] : packageTables) {
    if (table == "users") continue;  // the brand's, not the course's
    const std::multiset<std::string> backedUp = RowsWithoutOwner(path);
    ASSERT_TRUE(secondTables.count(table)) << table;
    app_testing::Rows(secondTables.at(table));  // its tags read clean
    const std::multiset<std::string> there = RowsWithoutOwner(secondTables.at(table));
    for (const std::string& row : backedUp) EXPECT_TRUE(there.count(row)) << table << ": " << row;
  }
}

// The packages of these tests lie outside the installation, where the backup folder
// the host names (BackupPath) puts the file page.
TEST_F(InteractiveTransferProcess, AnExistingPackageIsReplacedOnlyByAWrittenAndCheckedOne) {
  const std::string folder = host.Scratch() + "/Packages";
  fs::create_directories(folder);
  package = folder + "/Biology backup.zip";
  const std::string old = "the teacher's earlier package";
  const std::vector<std::string> here{"BackupPath:" + folder};
  const std::string warning = "WARNING: the Corvane Backup File \"" + package + "\" already exists.";

  // No keeps the page open; the old package is as it was.
  testing_support::WriteFile(package, old);
  RunResult run = Export({"No", "click:cmdBack", "click:cmdBack"}, here);
  EXPECT_EQ(run.status, 0) << Shown(run);
  ASSERT_FALSE(run.boxes.empty()) << Shown(run);
  EXPECT_EQ(run.boxes[0].box.text.rfind(warning, 0), 0u) << Shown(run);
  EXPECT_EQ(run.boxes[0].box.icon, 16);
  EXPECT_EQ(run.boxes[0].box.defaultButton, 2);
  EXPECT_EQ(testing_support::ReadFile(package), old);

  // A backup that cannot write its package leaves the old one whole.
  {
    core_testing::ReadOnlyFolder locked(folder);
    if (locked.Works()) {
      run = Export({"Yes", "OK"}, here);
      EXPECT_EQ(run.status, 1) << Shown(run);
      EXPECT_TRUE(ShowedBox(run, "The Corvane Backup File could not be written")) << Shown(run);
      EXPECT_EQ(testing_support::ReadFile(package), old);
    }
  }

  // Yes: the new package takes the old one's place once it is written and checked.
  run = Export({"Yes", "OK"}, here);
  EXPECT_EQ(run.status, 0) << Shown(run);
  std::vector<zipio::Entry> entries;
  EXPECT_TRUE(zipio::ListEntries(package, entries).ok);
  EXPECT_FALSE(entries.empty());
}

TEST_F(InteractiveTransferProcess, TheFilePageRefusesWhatIsNoPackageOfThisCourse) {
  const std::string folder = host.Scratch() + "/Packages";
  fs::create_directories(folder);
  package = folder + "/Biology backup.zip";
  const std::vector<std::string> here{"BackupPath:" + folder};
  ASSERT_EQ(Export({"OK"}, here).status, 0);
  const std::string whole = testing_support::ReadFile(package);
  testing_support::WriteFile(folder + "/cut short.zip", whole.substr(0, whole.size() / 2));
  testing_support::WriteFile(folder + "/not a package.zip", "plain text, not a zip");
  // Description files that name no course properly.
  const std::string staging = host.Scratch() + "/made";
  fs::create_directories(staging);
  const auto packageOf = [&](const std::string& name, const std::string& ini) {
    testing_support::WriteFile(staging + "/TOLVARIN.INI", ini);
    ASSERT_TRUE(zipio::WriteArchive(folder + "/" + name, {staging + "/TOLVARIN.INI"}).ok);
  };
  packageOf("no course.zip", "[Tolvarin]\r\nType=UserContent\r\nAreaID=1\r\n");
  packageOf("odd course.zip", "[Tolvarin]\r\nType=UserContent\r\nAreaID=1\r\nCourseID=4x\r\n");

  for (const char* name : {"cut short.zip", "not a package.zip", "no course.zip", "odd course.zip"}) {
    const std::string path = folder + "/" + name;
    const RunResult run = Run(kSecond,
                              {"click:cmdRestore", "Yes", std::string("pick:fileList=") + name, "click:cmdContinue",
                               "OK", "click:cmdBack"},
                              here);
    EXPECT_EQ(run.status, 0) << name << Shown(run);
    EXPECT_TRUE(ShowedBox(run, "\"" + path + "\" is not a valid Corvane Backup Folder.  Please call Corvane"))
        << name << Shown(run);
  }
  // Another course's package answered No: the page stays, and Back ends the run
  // with the second course as it was.
  const RunResult run = Run(kSecond,
                            {"click:cmdRestore", "Yes", "pick:fileList=Biology backup.zip", "click:cmdContinue", "No",
                             "click:cmdBack"},
                            here);
  EXPECT_EQ(run.status, 0) << Shown(run);
  EXPECT_TRUE(ShowedBox(run, "\"" + package + "\" is an Corvane Backup Folder for another database")) << Shown(run);
  EXPECT_TRUE(app_testing::Rows(app_testing::Tables(second).at("quests")).empty());
}

// A name the import's file list would never show (blank once cleaned, or a hidden
// file) is refused on the page before anything is written.
TEST_F(InteractiveTransferProcess, AnExportNameThatMakesNoPackageIsRefusedBeforeAnythingIsWritten) {
  const std::string folder = host.Scratch() + "/Packages/inner";
  fs::create_directories(folder);
  for (const char* name : {"   ", "../outside", ".", ".."}) {
    const RunResult run = Run(kFirst,
                              {"click:cmdBackup", "click:cmdComplete", std::string("text:txtName=") + name,
                               "click:cmdContinue", "OK", "click:cmdBack", "click:cmdBack"},
                              {"BackupPath:" + folder});
    EXPECT_EQ(run.status, 0) << name << Shown(run);
    ASSERT_EQ(run.boxes.size(), 1u) << name << Shown(run);
    EXPECT_TRUE(run.boxes[0].box.text == "Please type a name for the Corvane Backup File." ||
                run.boxes[0].box.text.rfind("The name of a Corvane Backup File may not begin with a dot.", 0) == 0)
        << name << Shown(run);
    EXPECT_TRUE(fs::is_empty(folder)) << name;
    EXPECT_EQ(std::distance(fs::directory_iterator(host.Scratch() + "/Packages"), fs::directory_iterator()), 1)
        << name;
  }
}

// The package's files with one entry more, zipped as this program never would.
void HostilePackage(const fs::path& unpacked, const std::string& archive, const testing_support::RawEntry& extra) {
  std::vector<testing_support::RawEntry> entries;
  for (const auto& entry : fs::directory_iterator(unpacked))
    entries.push_back({entry.path().filename().string(), testing_support::ReadFile(entry.path())});
  entries.push_back(extra);
  testing_support::MakeRawArchive(archive, entries);
}

// A package of this program is flat: one with an entry that is no plain file at its
// top is refused as not valid, and nothing of it is extracted or imported. What an
// earlier run left in the staging folder, folders too, is cleared away.
TEST_F(InteractiveTransferProcess, APackageThatIsNotFlatIsRefusedAsNotValidChangingNothing) {
  const std::string folder = host.Scratch() + "/Packages";
  fs::create_directories(folder);
  package = folder + "/Biology backup.zip";
  const std::vector<std::string> here{"BackupPath:" + folder};
  ASSERT_EQ(Export({"OK"}, here).status, 0);
  const fs::path unpacked = Unpacked("unpacked");
  const testing_support::RawEntry hostile[] = {
      {"../outside.txt", "x"}, {"/tmp/tolvarin-absolute.txt", "x"}, {"sub/", ""}, {"sub/quests.dbf", "x"},
      {"extra.fpt", "/etc/passwd", true},
  };
  const std::string staging = host.Temp() + "/cortemp";
  const auto before = app_testing::FileBytes(second);
  int n = 0;
  for (const auto& extra : hostile) {
    SCOPED_TRACE(extra.name);
    const std::string name = "hostile " + std::to_string(++n) + ".zip";
    HostilePackage(unpacked, folder + "/" + name, extra);
    fs::create_directories(staging + "/left/over");
    testing_support::WriteFile(staging + "/left/over/quests.dbf", "an earlier run's");
    const RunResult run = Run(kSecond,
                              {"click:cmdRestore", "Yes", "pick:fileList=" + name, "click:cmdContinue", "OK",
                               "click:cmdBack"},
                              here);
    EXPECT_EQ(run.status, 0) << Shown(run);
    ASSERT_EQ(run.boxes.size(), 2u) << Shown(run);
    EXPECT_EQ(run.boxes[1].box.text, "\"" + folder + "/" + name +
                                         "\" is not a valid Corvane Backup Folder.  Please call Corvane for more "
                                         "information.")
        << Shown(run);
    EXPECT_TRUE(fs::is_empty(staging)) << Shown(run);
    EXPECT_EQ(app_testing::FileBytes(second), before);
  }
  EXPECT_FALSE(fs::exists(host.Temp() + "/outside.txt"));
}

// A damaged package is refused on the file page, before anything is copied and
// before the teacher is asked anything more: with the record of what it holds, and
// without one, as older programs wrote it, its tables read as the repair would read
// them. The box names the package the teacher chose, the first few problems and
// how many more there are.
TEST_F(InteractiveTransferProcess, ADamagedPackageIsRefusedOnTheFilePageNamingIt) {
  const std::string folder = host.Scratch() + "/Packages";
  fs::create_directories(folder);
  package = folder + "/Biology backup.zip";
  const std::vector<std::string> here{"BackupPath:" + folder};
  ASSERT_EQ(Export({"OK"}, here).status, 0);
  const auto before = app_testing::FileBytes(second);
  for (const bool recorded : {true, false}) {
    SCOPED_TRACE(recorded ? "with its record" : "as older programs wrote it");
    const fs::path unpacked = Unpacked(recorded ? "recorded" : "unrecorded");
    if (!recorded) app_testing::ForgetBackupRecord(unpacked);
    // Garbage after byte 800 of the questions; with the record, every memo file too.
    const fs::path quests = app_testing::Tables(unpacked).at("quests");
    std::string bytes = testing_support::ReadFile(quests);
    for (std::size_t i = 800; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + 3);
    testing_support::WriteFile(quests, bytes);
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(unpacked)) {
      if (recorded && entry.path().extension() == ".fpt") testing_support::WriteFile(entry.path(), "cut");
      files.push_back(entry.path().string());
    }
    const std::string damaged = folder + (recorded ? "/recorded.zip" : "/unrecorded.zip");
    ASSERT_TRUE(zipio::WriteArchive(damaged, files).ok);
    const RunResult run = Run(kSecond,
                              {"click:cmdRestore", "Yes", "pick:fileList=" + fs::path(damaged).filename().string(),
                               "click:cmdContinue", "OK", "click:cmdBack"},
                              here);
    EXPECT_EQ(run.status, 0) << Shown(run);
    ASSERT_EQ(run.boxes.size(), 2u) << Shown(run);
    const std::string& text = run.boxes[1].box.text;
    EXPECT_EQ(text.rfind("The Corvane Backup Folder \"" + damaged + "\" is damaged.  Nothing was restored.", 0), 0u)
        << text;
    EXPECT_EQ(text.find(host.Temp()), std::string::npos) << text;
    EXPECT_LT(text.size(), 600u) << text;
    // With the record every memo file differs from it: three are named, the rest
    // counted. Without, the questions do not read whole.
    EXPECT_NE(text.find(recorded ? ".fpt) is damaged\n(and " : "quests."), std::string::npos) << text;
    EXPECT_EQ(app_testing::FileBytes(second), before);
  }
}

// The boxes an interactive import into a course shows for package rows that meet a
// row of the same number and name there (exams, sessions, classes, named activities).
int ByNameQuestions(const fs::path& package, const fs::path& course) {
  struct Kind {
    const char* table;
    const char* id;
    const char* name;
  } kinds[] = {{"exams", "exam_id", "name"},
               {"sessions", "session_id", "name"},
               {"classes", "class_id", "section"},
               {"templates", "templateid", "name"}};
  int count = 0;
  for (const Kind& k : kinds) {
    std::set<std::pair<std::int32_t, std::string>> there;
    for (const auto& r : transfer_test::ReadRows(course.string(), k.table))
      there.insert({transfer_test::Num(r.at(k.id)), r.at(k.name)});
    for (const auto& r : transfer_test::ReadLiveRows(package.string(), k.table))
      if (r.at(k.name).rfind('%', 0) != 0 && there.count({transfer_test::Num(r.at(k.id)), r.at(k.name)})) ++count;
  }
  return count;
}

// An import into a course that holds content of its own (another seed), answering
// No to the classification tree: no standards node is copied, and every link of the
// course names one of its nodes, a publisher's node the package meant, never a
// teacher's node of the same number. The preview lists a graded session's activity
// under the name the import gives it.
TEST_F(InteractiveTransferProcess, WithoutTheTreeEveryLinkNamesANodeOfTheCourseAndThePreviewShowsArrivingNames) {
  // Two courses of the same content: the first import shows what the second one's preview must list.
  const std::string third = course_maker::AddCourse(made.install, "Physics", 5, "Physics");
  course_maker::FillCourse(second, {.seed = 2, .questions = 150, .courseId = kSecond});
  course_maker::FillCourse(third, {.seed = 2, .questions = 150, .courseId = 5});
  ASSERT_EQ(transfer_test::Ids(second, "sessions", "session_id"), transfer_test::Ids(third, "sessions", "session_id"));
  ASSERT_EQ(Export({"OK"}).status, 0);
  const fs::path unpacked = Unpacked("unpacked");
  const auto import = [&](int course, const std::vector<std::string>& preview) {
    std::vector<std::string> steps{"click:cmdRestore", "No", "pick:fileList=Biology backup.zip", "click:cmdContinue",
                                   "Yes"};
    steps.insert(steps.end(), static_cast<std::size_t>(ByNameQuestions(unpacked, second)), "No");
    steps.push_back("No");  // the duplicate check
    steps.insert(steps.end(), preview.begin(), preview.end());
    steps.insert(steps.end(), {"click:cmdContinue", "OK"});
    return Run(course, steps);
  };
  std::set<std::string> before;
  for (const auto& r : transfer_test::ReadRows(third, "templates")) before.insert(r.at("templateid"));
  RunResult run = import(5, {});
  ASSERT_EQ(run.status, 0) << Shown(run);
  std::set<std::string> packageNames;
  for (const auto& r : transfer_test::ReadLiveRows(unpacked.string(), "templates")) packageNames.insert(r.at("name"));
  std::string renamed;  // a session's activity that arrived under another name than the package's
  for (const auto& r : transfer_test::ReadLiveRows(third, "templates"))
    if (!before.count(r.at("templateid")) && r.at("name").size() == 8 && r.at("name").back() == '%' &&
        !packageNames.count(r.at("name")))
      renamed = r.at("name");
  ASSERT_FALSE(renamed.empty());

  const auto nodes = transfer_test::ReadRows(second, "standard");
  std::set<std::pair<std::int32_t, std::int32_t>> held;
  for (const auto& r : nodes) held.insert({transfer_test::Num(r.at("tree_id")), transfer_test::Num(r.at("node_id"))});
  const auto linksBefore = transfer_test::ReadLiveRows(second, "stanques");
  run = import(kSecond, {"pick:lstImported_3=" + renamed, "shot:preview"});
  ASSERT_EQ(run.status, 0) << Shown(run);
  EXPECT_EQ(transfer_test::ReadRows(second, "standard"), nodes);
  const auto links = transfer_test::ReadLiveRows(second, "stanques");
  EXPECT_GT(links.size(), linksBefore.size()) << "no publisher link arrived";
  for (const auto& r : links) {
    const std::int32_t node = transfer_test::Num(r.at("node_id"));
    EXPECT_TRUE(held.count({transfer_test::Num(r.at("tree_id")), node})) << "a link to node " << node;
  }
  for (const auto& r : linksBefore)
    EXPECT_NE(std::find(links.begin(), links.end(), r), links.end()) << "the course's link " << r.at("node_id");
  std::size_t teachers = 0;
  for (const auto& r : links) teachers += transfer_test::Num(r.at("node_id")) >= 20000;
  std::size_t teachersBefore = 0;
  for (const auto& r : linksBefore) teachersBefore += transfer_test::Num(r.at("node_id")) >= 20000;
  EXPECT_EQ(teachers, teachersBefore) << "a package link to a teacher's node arrived";
}

// A custom backup narrowed to the gradebook's content, then left by Back for a
// complete one, backs up the questions and exams too.
TEST_F(InteractiveTransferProcess, ACompleteBackupAfterANarrowedCustomOneTakesEveryFamily) {
  const RunResult run = Run(kFirst, {"click:cmdBackup", "click:cmdCustom", "click:chkExportKes", "click:cmdContinue",
                                     "click:cmdBack", "click:cmdComplete", "text:txtName=Biology backup",
                                     "click:cmdContinue", "OK"});
  ASSERT_EQ(run.status, 0) << Shown(run);
  const auto tables = app_testing::Tables(Unpacked("unpacked"));
  for (const char* table : {"exams", "examques", "quests", "classes", "students"})
    EXPECT_TRUE(tables.count(table)) << table;
}

}  // namespace
