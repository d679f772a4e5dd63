// A custom export and interactive imports through the real program with windows
// (under Xvfb): the custom selection page, the import options page, the preview and
// the import log.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/strings.h"
#include "course_maker.h"
#include "course_tables.h"
#include "data/codebase.h"
#include "engine/package/packages.h"
#include "host_run.h"
#include "platform/xbase/xbase.h"
#include "virtual_display.h"

namespace fs = std::filesystem;
using app_testing::FileBytes;
using app_testing::HostRun;
using app_testing::RunResult;
using app_testing::DisplayTest;
using testing_support::ReadFile;
using Ids = std::set<std::int32_t>;

namespace {

// The identifiers of a table's live rows.
Ids LiveIds(const fs::path& folder, const std::string& table, const std::string& field) {
  Ids ids;
  const xbase::Data4 data = xbase::d4open(tolvarin::Engine().EngineHandle, (folder / (table + ".dbf")).string());
  if (data == 0) return ids;
  const xbase::Field4 f = xbase::d4field(data, field);
  for (int rc = xbase::d4top(data); rc == 0; rc = xbase::d4skip(data, 1))
    if (!xbase::d4deleted(data)) ids.insert(static_cast<std::int32_t>(tolvarin::TextValue(xbase::f4str(f))));
  xbase::d4close(data);
  return ids;
}

class CustomExportProcess : public DisplayTest {
 protected:
  static void SetUpTestSuite() {
    DisplayTest::SetUpTestSuite();
    if (tolvarin::Engine().EngineHandle == 0) tolvarin::InitCodeBase();
  }
  void SetUp() override {
    DisplayTest::SetUp();
    if (IsSkipped()) return;
    course_maker::CourseOptions options;
    options.questions = 120;
    made = course_maker::MakeCourse(host.Scratch() + "/Install", options);
  }
  // Logged in as the course maker's first teacher, who may edit passwords.
  RunResult Run(const std::vector<std::string>& steps, const std::vector<std::string>& more = {}) const {
    std::vector<std::string> args{"AppPath:" + made.install.app, "Interactive:TRUE", "UserName:SMITH",
                                  "Password:pw2", "CoursePath:" + made.install.course};
    args.insert(args.end(), more.begin(), more.end());
    return host.RunOnDisplay(args, steps, Display());
  }
  // The custom export of the first class and one of the teacher's free activities into Custom.zip.
  RunResult Export(const course_maker::ClassRow& klass, const course_maker::ActivityRow& activity) const {
    return Run({"click:cmdBackup", "click:cmdCustom", "click:cmdContinue",
                "pick:lstBackup_0=" + tolvarin::PadRight(klass.section, 64), "shot:select-0", "click:cmdContinue",
                "shot:select-1", "click:cmdContinue", "pick:lstBackup_2=" + tolvarin::PadRight(activity.name, 254),
                "shot:select-2", "click:cmdContinue", "text:txtName=Custom", "click:cmdContinue", "OK"});
  }

  HostRun host;
  course_maker::MadeCourse made;
};

TEST_F(CustomExportProcess, ThePackageHoldsTheChosenRowsWithTheirClosureAndNothingElse) {
  const auto& c = made.content;
  const course_maker::ClassRow& klass = c.classes[0];
  const fs::path course = made.install.course;
  // A free activity of the teacher: the activities list shows only the logged-in user's.
  const Ids own = LiveIds(course, "templates", "templateid");
  const course_maker::ActivityRow* activity = nullptr;
  {
    const xbase::Data4 t = xbase::d4open(tolvarin::Engine().EngineHandle, (course / "templates.dbf").string());
    for (int rc = xbase::d4top(t); rc == 0 && !activity; rc = xbase::d4skip(t, 1)) {
      if (xbase::d4deleted(t) || tolvarin::TextValue(xbase::f4str(xbase::d4field(t, "user_id"))) != 2) continue;
      const auto id = static_cast<std::int32_t>(tolvarin::TextValue(xbase::f4str(xbase::d4field(t, "templateid"))));
      for (const auto& a : c.activities)
        if (a.id == id && a.sessionId == 0) activity = &a;
    }
    xbase::d4close(t);
  }
  ASSERT_NE(activity, nullptr);
  ASSERT_TRUE(own.count(activity->id));

  const RunResult run = Export(klass, *activity);
  ASSERT_EQ(run.status, 0) << run.stderrText;
  // The file page opens at the backup folder start-up prepared.
  const std::string package = made.install.databases + "/Backup/Custom.zip";
  ASSERT_TRUE(fs::exists(package));
  const std::string unpacked = host.Scratch() + "/Unpacked";
  ASSERT_TRUE(tolvarin::UnzipAll(unpacked, package, false).ok);

  // What the choice and the closure bring, from what the maker wrote.
  Ids students, sessions, sesQuests, questions, activities{activity->id}, descriptions;
  for (const auto& s : c.students)
    if (s.classId == klass.id) students.insert(s.id);
  for (const auto& s : c.sessions)
    if (s.classId == klass.id) sessions.insert(s.id);
  for (const auto& sq : c.sessionQuestions)
    if (sessions.count(sq.sessionId)) {
      sesQuests.insert(sq.id);
      questions.insert(sq.questId);
    }
  for (const auto& a : c.activities)
    if (a.sessionId && sessions.count(a.sessionId) && !a.deleted) activities.insert(a.id);
  questions.insert(activity->questionIds.begin(), activity->questionIds.end());
  for (std::int32_t q : questions)
    if (const auto* row = c.Question(q); row && row->descriptId) descriptions.insert(row->descriptId);
  ASSERT_FALSE(sessions.empty());

  EXPECT_EQ(LiveIds(unpacked, "classes", "class_id"), Ids{klass.id});
  EXPECT_EQ(LiveIds(unpacked, "students", "student_id"), students);
  EXPECT_EQ(LiveIds(unpacked, "sessions", "session_id"), sessions);
  EXPECT_EQ(LiveIds(unpacked, "sesquests", "sesques_id"), sesQuests);
  EXPECT_EQ(LiveIds(unpacked, "templates", "templateid"), activities);
  EXPECT_EQ(LiveIds(unpacked, "quests", "quest_id"), questions);
  EXPECT_EQ(LiveIds(unpacked, "questype", "quest_id"), questions);
  EXPECT_EQ(LiveIds(unpacked, "descript", "descriptid"), descriptions);
  EXPECT_TRUE(LiveIds(unpacked, "exams", "exam_id").empty());
  EXPECT_TRUE(LiveIds(unpacked, "examques", "exam_q_id").empty());
}

TEST_F(CustomExportProcess, TheImportPreviewCancelsWithoutWritingAndContinueLogsEachImport) {
  // A complete export makes the package; the imports go into a second course.
  RunResult run = Run({"click:cmdBackup", "click:cmdComplete", "text:txtName=Whole", "click:cmdContinue", "OK"});
  ASSERT_EQ(run.status, 0) << run.stderrText;
  const std::string course = course_maker::AddCourse(made.install, "Chemistry", 4, "Chemistry");
  const auto before = FileBytes(course);
  const auto import = [&](const std::vector<std::string>& preview) {
    // The classification question and the package; the question about duplicate questions comes last.
    std::vector<std::string> steps{"click:cmdRestore", "No", "pick:fileList=Whole.zip", "click:cmdContinue"};
    steps.insert(steps.end(), preview.begin(), preview.end());
    return host.RunOnDisplay({"AppPath:" + made.install.app, "Interactive:TRUE", "UserName:SMITH", "Password:pw2",
                              "CoursePath:" + course, "Office:TRUE"},
                             steps, Display());
  };
  // Cancel stops before anything is written: the course is as it was, byte for byte.
  run = import({"No", "shot:preview", "click:cmdCancel", "OK"});
  EXPECT_EQ(run.status, 0) << run.stderrText;
  EXPECT_EQ(FileBytes(course), before);
  EXPECT_TRUE(LiveIds(course, "quests", "quest_id").empty());

  // Continue imports and appends one block per import.
  run = import({"No", "click:cmdContinue", "Ann Teacher", "OK"});
  ASSERT_EQ(run.status, 0) << run.stderrText;
  EXPECT_EQ(LiveIds(course, "quests", "quest_id").size(), made.content.questions.size());
  const std::string log = course + "/importlog.txt";
  ASSERT_TRUE(fs::exists(log));
  const std::string first = ReadFile(log);
  EXPECT_NE(first.find("Imported by: Ann Teacher\r\nQUESTS\r\n"), std::string::npos);

  // A second import appends a second block after the first. Every class, session and
  // activity of the package now has a namesake in the course: each is kept, not overwritten.
  std::vector<std::string> second(made.content.classes.size() + made.content.sessions.size(), "No");
  for (const auto& a : made.content.activities)
    if (!a.deleted) second.push_back("No");
  second.insert(second.end(), {"No", "click:cmdContinue", "Bob Teacher", "OK"});
  run = import(second);
  ASSERT_EQ(run.status, 0) << run.stderrText;
  const std::string both = ReadFile(log);
  ASSERT_EQ(both.rfind(first, 0), 0u);
  EXPECT_NE(both.find("Imported by: Bob Teacher\r\nQUESTS\r\n", first.size()), std::string::npos);
}

}  // namespace
