// Imports through the real program into a course that holds content of its own: a
// backup of a course maker course (seed 11) into a course of another seed (seed 22)
// in the same area, 300 questions into 200 for the unattended runs (game imports and
// restores), 200 into 50 for the interactive ones (under Xvfb), which answer a box for
// every question the two share. Each checks,
// from the folders alone, that the rows the teacher kept and what hangs off them are as
// they were, and that every imported reference leads to the row of the same content as
// in the package.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "core/strings.h"
#include "course_maker.h"
#include "course_tables.h"
#include "data/codebase.h"
#include "data/key_text.h"
#include "host_run.h"
#include "platform/xbase/xbase.h"
#include "platform/zip/zip.h"
#include "support/test_support.h"
#include "../engine/transfer/import_check.h"
#include "virtual_display.h"

namespace {

namespace fs = std::filesystem;
using app_testing::HostRun;
using app_testing::RunResult;
using app_testing::Shown;
using transfer_test::ImportSides;
using transfer_test::Num;
using transfer_test::Row;
using tolvarin::FormatID;

constexpr const char* kPackage = "Biology backup.zip";
constexpr const char* kRestored = "Corvane Backup Folder restored from";

std::set<std::int32_t> LiveIds(const std::string& folder, const std::string& table, const std::string& key) {
  std::set<std::int32_t> ids;
  for (const Row& r : transfer_test::ReadLiveRows(folder, table)) ids.insert(Num(r.at(key)));
  return ids;
}

const Row* Find(const std::vector<Row>& rows, const std::string& key, std::int32_t id) {
  for (const Row& r : rows)
    if (Num(r.at(key)) == id) return &r;
  return nullptr;
}

// Opens a table of a folder and runs f on the record of the identifier (tag KEY).
template <typename F>
void AtRow(const std::string& folder, const std::string& table, const std::string& tag, std::int32_t id, F f) {
  const xbase::Data4 data = xbase::d4open(tolvarin::Engine().EngineHandle, folder + "/" + table + ".dbf");
  ASSERT_NE(data, 0) << table;
  xbase::d4tagSelect(data, xbase::d4tag(data, tag));
  ASSERT_EQ(xbase::d4seek(data, FormatID(id)), 0) << table << " " << id;
  f(data);
  xbase::d4flush(data);
  xbase::d4close(data);
}

void SetField(const std::string& folder, const std::string& table, const std::string& tag, std::int32_t id,
              const std::string& field, const std::string& value) {
  AtRow(folder, table, tag, id, [&](xbase::Data4 data) {
    const xbase::Field4 f = xbase::d4field(data, field);
    ASSERT_NE(f, 0) << field;
    ASSERT_EQ(xbase::f4type(f) == 'M' ? xbase::f4memoAssign(f, value) : xbase::f4assign(f, value), 0);
  });
}

void MarkDeleted(const std::string& folder, const std::string& table, const std::string& tag, std::int32_t id) {
  AtRow(folder, table, tag, id, [](xbase::Data4 data) { xbase::d4delete(data); });
}

// Every field of a row but those named is made the other folder's row's of that identifier.
void CopyRowFields(const std::string& from, const std::string& to, const std::string& table, const std::string& tag,
                   std::int32_t id, const std::set<std::string>& except) {
  AtRow(from, table, tag, id, [&](xbase::Data4 source) {
    AtRow(to, table, tag, id, [&](xbase::Data4 target) {
      for (int j = 1; j <= xbase::d4numFields(source); ++j) {
        const xbase::Field4 f = xbase::d4fieldJ(source, j);
        if (except.count(tolvarin::ToLower(tolvarin::Trim(xbase::f4name(f))))) continue;
        const xbase::Field4 g = xbase::d4field(target, xbase::f4name(f));
        ASSERT_NE(g, 0) << xbase::f4name(f);
        const std::string value = xbase::f4memoStr(f);
        ASSERT_EQ(xbase::f4type(g) == 'M' ? xbase::f4memoAssign(g, value) : xbase::f4assign(g, value), 0);
      }
    });
  });
}

class ImportIntoContent {
 protected:
  void MakeCourses(const HostRun& host, int packageQuestions, int courseQuestions) {
    if (tolvarin::Engine().EngineHandle == 0) tolvarin::InitCodeBase();
    made = course_maker::MakeCourse(host.Scratch() + "/Install", {.seed = 11, .questions = packageQuestions});
    dest = course_maker::AddCourse(made.install, "Chemistry", 4, "Chemistry");
    course_maker::FillCourse(dest, {.seed = 22, .questions = courseQuestions, .courseId = 4});
    backup = host.Scratch() + "/Backup";
    const RunResult backedUp = host.Run({"AppPath:" + made.install.app, "Mode:UserContent", "Operation:BACKUP",
                                         "CoursePath:" + made.install.course, "BackupPath:" + backup});
    ASSERT_EQ(backedUp.status, 0) << Shown(backedUp);
    // The tests change the backup's rows: it is restored as an older program's, without
    // the record of what it holds.
    app_testing::ForgetBackupRecord(backup);
  }
  // The package's own pictures, told apart from the destination's of the same number.
  void MarkPackagePictures() const {
    for (const auto& [name, bytes] : transfer_test::PictureFiles(backup))
      if (Num(name.substr(0, 7)) >= 20000) testing_support::WriteFile(backup + "/" + name, "the package's " + name);
  }
  void HostSettings(const std::string& lines) const {
    const std::string ini = made.install.app + "/Kestal.INI";
    testing_support::WriteFile(ini, testing_support::ReadFile(ini) + lines);
  }
  // A game import of the backup folder as it stands.
  RunResult GameImport(const HostRun& host, const std::string& import, const std::vector<std::string>& answers = {}) const {
    return host.Run({"AppPath:" + made.install.app, "Mode:UserContent", "Operation:LUDORAIMPORT", "CoursePath:" + dest,
                     "BackupPath:" + backup, "Import:" + import},
                    answers);
  }

  course_maker::MadeCourse made;
  std::string dest, backup;
};

class ImportIntoContentProcess : public app_testing::DisplayTest, protected ImportIntoContent {
 protected:
  void SetUp() override {
    DisplayTest::SetUp();
    if (IsSkipped()) return;
    MakeCourses(host, 200, 50);
  }
  // The backup zipped, flat, into the folder the file page lists.
  void Zip() const {
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(backup))
      if (e.is_regular_file()) files.push_back(e.path().string());
    fs::create_directories(packages());
    const zipio::Outcome zipped = zipio::WriteArchive(packages() + "/" + kPackage, files);
    ASSERT_TRUE(zipped.ok) << zipped.error;
  }
  std::string packages() const { return host.Scratch() + "/Packages"; }
  // An interactive import of the package into the course in slot `course` (the
  // destination's 4): the classification tree is taken, then the answers. (The
  // unattended backup names no course, so the file page asks nothing.)
  RunResult Import(const std::string& import, const std::vector<std::string>& answers, int course = 4) const {
    std::vector<std::string> steps{"click:cmdRestore", "Yes", std::string("pick:fileList=") + kPackage,
                                   "click:cmdContinue"};
    steps.insert(steps.end(), answers.begin(), answers.end());
    return host.RunOnDisplay({"AppPath:" + made.install.app, "Interactive:TRUE", "UserName:LATSEK", "Password:580246",
                              "AreaID:1", "CourseID:" + std::to_string(course), "Import:" + import,
                              "BackupPath:" + packages()},
                             steps, Display());
  }

  HostRun host;
};

// The package and the destination rows of the same identifier and the same name.
int SameNamed(const std::string& package, const std::string& dest, const char* table, const char* key,
              const char* name) {
  const auto theirs = transfer_test::ReadLiveRows(dest, table);
  int same = 0;
  for (const Row& p : transfer_test::ReadLiveRows(package, table)) {
    const Row* d = Find(theirs, key, Num(p.at(key)));
    same += d != nullptr && d->at(name) == p.at(name) && p.at(name).rfind('%', 0) != 0;
  }
  return same;
}

// Interactive REMAPNOTHING, the package's session, exam and activity carrying the
// destination's names, answered No to every overwrite box by identifier and by name,
// and Yes to the duplicate check, which finds one refused question in the course.
TEST_F(ImportIntoContentProcess, NoToEveryBoxKeepsTheTeachersRowsAndLeadsEveryReferenceToThePackagesOwn) {
  MarkPackagePictures();
  const auto named = [&](const std::string& folder, const char* table, const char* key, std::int32_t id) {
    const auto rows = transfer_test::ReadLiveRows(folder, table);
    const Row* r = Find(rows, key, id);
    return r ? r->at("name") : std::string();
  };
  for (const auto& [table, key, tag, id] : {std::tuple{"sessions", "session_id", "SESSION_ID", 1},
                                            std::tuple{"exams", "exam_id", "EXAM_ID", 20001},
                                            std::tuple{"templates", "templateid", "TEMPLATEID", 1}}) {
    const std::string theirs = named(dest, table, key, id);
    ASSERT_FALSE(theirs.empty()) << table;
    SetField(backup, table, tag, id, "name", theirs);
  }
  // A refused question the duplicate check finds: a question of an exam the course
  // lacks, as the course holds that number (and without a description on both sides).
  const auto courseExams = LiveIds(dest, "exams", "exam_id");
  const auto courseQuests = transfer_test::ReadLiveRows(dest, "quests");
  const auto packageQuests = transfer_test::ReadLiveRows(backup, "quests");
  std::int32_t twin = 0;
  for (const Row& r : transfer_test::ReadLiveRows(backup, "examques")) {
    const std::int32_t q = Num(r.at("quest_id"));
    const Row* theirs = Find(courseQuests, "quest_id", q);
    const Row* ours = Find(packageQuests, "quest_id", q);
    if (!courseExams.count(Num(r.at("exam_id"))) && q != 20010 && theirs && ours && theirs->at("descriptid").empty() &&
        ours->at("descriptid").empty()) {
      twin = q;
      break;
    }
  }
  ASSERT_NE(twin, 0);
  CopyRowFields(dest, backup, "quests", "QUEST_ID", twin, {"quest_id", "user_id"});
  // The teacher's deleted rows are no rows of theirs: a question, an exam, a class.
  MarkDeleted(dest, "quests", "QUEST_ID", 20010);
  MarkDeleted(dest, "exams", "EXAM_ID", 20000);
  MarkDeleted(dest, "classes", "CLASS_ID", 2);
  Zip();
  const ImportSides sides = transfer_test::ReadImportSides(backup, dest);

  // No to each box: a package question or exam whose number the course holds live, and
  // a session, class or activity of the same number and name.
  const auto both = [&](const char* table, const char* key) {
    int n = 0;
    const auto theirs = LiveIds(dest, table, key);
    for (std::int32_t id : LiveIds(backup, table, key)) n += theirs.count(id) > 0;
    return n;
  };
  const int boxes = both("quests", "quest_id") + both("exams", "exam_id") +
                    SameNamed(backup, dest, "sessions", "session_id", "name") +
                    SameNamed(backup, dest, "classes", "class_id", "section") +
                    SameNamed(backup, dest, "templates", "templateid", "name");
  std::vector<std::string> answers(static_cast<std::size_t>(boxes), "No");
  answers.insert(answers.end(), {"Yes", "click:cmdContinue", "OK"});
  const RunResult run = Import("REMAPNOTHING", answers);
  ASSERT_EQ(run.status, 0) << Shown(run);

  EXPECT_EQ(transfer_test::KeptRowsChanged(sides, dest), std::vector<std::string>{});
  int cut = 0;
  EXPECT_EQ(transfer_test::ImportedRowsMisled(sides, dest, &cut), std::vector<std::string>{});
  // What the teacher's deleted rows gave way to arrived in their place.
  EXPECT_TRUE(LiveIds(dest, "quests", "quest_id").count(20010));
  EXPECT_TRUE(LiveIds(dest, "exams", "exam_id").count(20000));
  EXPECT_TRUE(LiveIds(dest, "classes", "class_id").count(2));

  // Left out, and counted in the end message: the exam questions of the exams that
  // arrived, the session questions and the activity elements that name a question the
  // import does not bring (refused and no twin, or missing from the package).
  const auto courseQuestions = LiveIds(dest, "quests", "quest_id");  // after: the package's arrived too
  std::set<std::int32_t> brought;
  const auto theirsBefore = [&] {
    std::set<std::int32_t> ids;
    for (const Row& r : sides.before.at("quests")) ids.insert(Num(r.at("quest_id")));
    return ids;
  }();
  for (const Row& r : sides.package.at("quests"))
    if (!theirsBefore.count(Num(r.at("quest_id"))) || Num(r.at("quest_id")) == twin) brought.insert(Num(r.at("quest_id")));
  std::set<std::int32_t> examsArrived;
  std::set<std::int32_t> examsBefore;
  for (const Row& r : sides.before.at("exams")) examsBefore.insert(Num(r.at("exam_id")));
  for (const Row& r : sides.package.at("exams"))
    if (!examsBefore.count(Num(r.at("exam_id")))) examsArrived.insert(Num(r.at("exam_id")));
  int rows = 0, elements = 0;
  for (const Row& r : sides.package.at("examques"))
    rows += examsArrived.count(Num(r.at("exam_id"))) && !brought.count(Num(r.at("quest_id")));
  for (const Row& r : sides.package.at("sesquests")) rows += !brought.count(Num(r.at("quest_id")));
  for (const Row& r : sides.package.at("templates"))
    for (const std::string& q : transfer_test::Elements(r.at("blob"), "question_id")) elements += !brought.count(Num(q));
  EXPECT_GT(rows, 0);
  EXPECT_GT(elements, 0);
  EXPECT_EQ(cut, elements);
  ASSERT_FALSE(run.boxes.empty());
  const std::string& end = run.boxes.back().box.text;
  EXPECT_EQ(end.rfind(kRestored, 0), 0u) << end;
  EXPECT_NE(end.find("!\n\n" + std::to_string(rows + elements) + " rows and references that name content this "
                     "import does not bring"),
            std::string::npos)
      << end << "\nexpected " << rows << " rows and " << elements << " activity elements";
  EXPECT_GT(courseQuestions.size(), theirsBefore.size());
}

// REMAPOFFSET whose numbers meet the course's own rows is refused before anything is
// copied, interactively too; the boxes before it are the name boxes, answered No.
TEST_F(ImportIntoContentProcess, AnOffsetOntoTheCoursesOwnRowsIsRefusedInteractivelyToo) {
  HostSettings("RangeStart=1\r\nRangeEnd=999999\r\n");
  Zip();
  const auto before = app_testing::FileBytes(dest);
  const int boxes = SameNamed(backup, dest, "exams", "exam_id", "name") +
                    SameNamed(backup, dest, "sessions", "session_id", "name") +
                    SameNamed(backup, dest, "classes", "class_id", "section") +
                    SameNamed(backup, dest, "templates", "templateid", "name");
  std::vector<std::string> answers(static_cast<std::size_t>(boxes), "No");
  answers.push_back("OK");
  const RunResult run = Import("REMAPOFFSET", answers);
  EXPECT_EQ(run.status, 1) << Shown(run);
  ASSERT_FALSE(run.boxes.empty());
  EXPECT_EQ(run.boxes.back().box.text.rfind("The identifiers this import would give from RangeStart 1 are held by ", 0),
            0u)
      << Shown(run);
  EXPECT_EQ(app_testing::FileBytes(dest), before);
}

// Interactive REMAPNOTHING imported twice into a course of its own: the second time
// "Yes to All" at the first box asks nothing more, and nothing changes.
TEST_F(ImportIntoContentProcess, ASecondImportAfterYesToAllAsksNothingMoreAndChangesNothing) {
  const std::string empty = course_maker::AddCourse(made.install, "Geometry", 5, "Geometry");
  Zip();
  RunResult run = Import("REMAPNOTHING", {"click:cmdContinue", "OK"}, 5);
  ASSERT_EQ(run.status, 0) << Shown(run);
  const auto once = app_testing::FolderRows(empty);
  const auto pictures = app_testing::FileBytes(empty, {".gif", ".jpg"});
  run = Import("REMAPNOTHING", {"Yes to All", "click:cmdContinue", "OK"}, 5);
  ASSERT_EQ(run.status, 0) << Shown(run);
  EXPECT_EQ(app_testing::FolderRows(empty), once);
  EXPECT_EQ(app_testing::FileBytes(empty, {".gif", ".jpg"}), pictures);
}

class UnattendedImportProcess : public ::testing::Test, protected ImportIntoContent {
 protected:
  void SetUp() override { MakeCourses(host, 300, 200); }
  HostRun host;
};

// REMAPOFFSET checks every identifier it would give before anything is copied: past
// seven digits, and onto the course's own rows, it refuses and changes nothing; near
// the top of the range it imports beside every row of the course.
TEST_F(UnattendedImportProcess, AnOffsetIsCheckedBeforeAnythingIsCopied) {
  struct Case {
    const char* settings;
    const char* refusal;  // nullptr: imported
  };
  const Case cases[] = {
      {"RangeStart=9990000\r\nRangeEnd=9999999\r\n", "The identifiers of this import do not fit: "},
      {"RangeStart=999999000\r\nRangeEnd=999999999\r\n", "The identifiers of this import do not fit: "},
      {"RangeStart=1\r\nRangeEnd=999999\r\n", "The identifiers this import would give from RangeStart 1 are held by "},
      {"RangeStart=9900000\r\nRangeEnd=9999999\r\n", nullptr},
  };
  const std::string ini = testing_support::ReadFile(made.install.app + "/Kestal.INI");
  MarkPackagePictures();
  const ImportSides sides = transfer_test::ReadImportSides(backup, dest);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.settings);
    testing_support::WriteFile(made.install.app + "/Kestal.INI", ini + c.settings);
    const auto before = app_testing::FileBytes(dest);
    const RunResult run = GameImport(host, "REMAPOFFSET");
    if (c.refusal) {
      EXPECT_EQ(run.status, 1) << Shown(run);
      ASSERT_FALSE(run.boxes.empty()) << Shown(run);
      EXPECT_EQ(run.boxes.back().box.text.rfind(c.refusal, 0), 0u) << Shown(run);
      EXPECT_NE(run.boxes.back().box.text.find("Nothing was imported."), std::string::npos);
      EXPECT_EQ(app_testing::FileBytes(dest), before);
      continue;
    }
    EXPECT_EQ(run.status, 0) << Shown(run);
    EXPECT_EQ(transfer_test::KeptRowsChanged(sides, dest), std::vector<std::string>{});
    EXPECT_EQ(transfer_test::ImportedRowsMisled(sides, dest), std::vector<std::string>{});
    EXPECT_GT(LiveIds(dest, "quests", "quest_id").size(), sides.before.at("quests").size());
  }
}

// REMAPTOCORVANE gives the package's user pictures numbers below 19999, where its own
// publisher pictures keep theirs: none is given a number one of them holds, so every
// row shows its own picture.
TEST_F(UnattendedImportProcess, NoPictureTakesTheNumberOfAPublisherPicture) {
  MarkPackagePictures();
  // The package's publisher description with a picture names it as 0000012: a number
  // among those the course's next free numbers give the user pictures.
  const Row* described = nullptr;
  const auto descriptions = transfer_test::ReadLiveRows(backup, "descript");
  for (const Row& r : descriptions)
    if (Num(r.at("descriptid")) < 20000 && Num(r.at("image_id")) != 0) described = &r;
  ASSERT_NE(described, nullptr);
  const std::int32_t picture = Num(described->at("image_id"));
  const auto files = transfer_test::PictureFiles(backup);
  const auto file = files.lower_bound(FormatID(picture) + ".");
  ASSERT_TRUE(file != files.end() && file->first.rfind(FormatID(picture) + ".", 0) == 0);
  ASSERT_FALSE(transfer_test::PictureBytes(files, 12).size());
  fs::rename(backup + "/" + file->first, backup + "/0000012" + file->first.substr(7));
  SetField(backup, "descript", "DESCRIPTID", Num(described->at("descriptid")), "image_id", FormatID(12));
  const ImportSides sides = transfer_test::ReadImportSides(backup, dest);
  const RunResult run = GameImport(host, "REMAPTOCORVANE");
  ASSERT_EQ(run.status, 0) << Shown(run);
  EXPECT_EQ(transfer_test::KeptRowsChanged(sides, dest), std::vector<std::string>{});
  EXPECT_EQ(transfer_test::ImportedRowsMisled(sides, dest), std::vector<std::string>{});
}

// A game import that keeps identifiers, run twice, changes nothing the second time:
// the teacher's standards nodes it copied are known again, not added once more.
TEST_F(UnattendedImportProcess, AGameImportThatKeepsIdentifiersChangesNothingTheSecondTime) {
  ASSERT_EQ(GameImport(host, "REMAPNOTHING").status, 0);
  const auto once = app_testing::FolderRows(dest);
  const auto pictures = app_testing::FileBytes(dest, {".gif", ".jpg"});
  const RunResult run = GameImport(host, "REMAPNOTHING");
  ASSERT_EQ(run.status, 0) << Shown(run);
  EXPECT_EQ(app_testing::FolderRows(dest).at("standard").size(), once.at("standard").size());
  EXPECT_EQ(app_testing::FolderRows(dest), once);
  EXPECT_EQ(app_testing::FileBytes(dest, {".gif", ".jpg"}), pictures);
}

// A restore of a backup whose questions table lost rows: the exam questions and session
// questions naming them are left out and counted, never attached to the course's own
// questions of those numbers.
TEST_F(UnattendedImportProcess, ARestoreLeavesOutWhatNamesAQuestionThePackageLost) {
  std::set<std::int32_t> lost;
  for (const Row& r : transfer_test::ReadLiveRows(backup, "examques")) {
    if (lost.size() == 3) break;
    lost.insert(Num(r.at("quest_id")));
  }
  for (const Row& r : transfer_test::ReadLiveRows(backup, "sesquests")) {
    if (lost.size() == 6) break;
    lost.insert(Num(r.at("quest_id")));
  }
  // Lost: not in the file at all, as a table cut short leaves them.
  for (std::int32_t q : lost) MarkDeleted(backup, "quests", "QUEST_ID", q);
  {
    const xbase::Data4 quests = xbase::d4open(tolvarin::Engine().EngineHandle, backup + "/quests.dbf");
    ASSERT_NE(quests, 0);
    ASSERT_EQ(xbase::d4pack(quests), 0);
    xbase::d4close(quests);
  }
  // What names a question the package does not hold (those the teacher had deleted too).
  const auto held = LiveIds(backup, "quests", "quest_id");
  int naming = 0, elements = 0;
  for (const char* table : {"examques", "sesquests"})
    for (const Row& r : transfer_test::ReadLiveRows(backup, table)) naming += !held.count(Num(r.at("quest_id")));
  for (const Row& r : transfer_test::ReadLiveRows(backup, "templates"))
    for (const std::string& q : transfer_test::Elements(r.at("blob"), "question_id")) elements += !held.count(Num(q));
  ASSERT_GE(naming, 6);
  const ImportSides sides = transfer_test::ReadImportSides(backup, dest);
  const RunResult run = host.Run({"AppPath:" + made.install.app, "Mode:UserContent", "Operation:RESTORE",
                                  "CoursePath:" + dest, "BackupPath:" + backup});
  ASSERT_EQ(run.status, 0) << Shown(run);
  EXPECT_EQ(transfer_test::ImportedRowsMisled(sides, dest), std::vector<std::string>{});
  const std::string log = testing_support::ReadFile(made.install.app + "/tolvarin.log");
  EXPECT_NE(log.find(std::to_string(naming + elements) + " rows and references that name content this import does not bring"),
            std::string::npos)
      << log;
}

}  // namespace
