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

#include "core/script_steps.h"
#include "core/strings.h"
#include "course_maker.h"
#include "course_tables.h"
#include "data/codebase.h"
#include "engine/package/packages.h"
#include "engine/transfer/transfer_run.h"
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

// The question list's text of a question row, as the page writes it.
std::string QuestionItem(const transfer_test::Row& r) {
  std::string text = r.at("quest_id") + ": " + r.at("question");
  for (int k = 1; k <= 5; ++k)
    if (!r.at("answer" + std::to_string(k)).empty()) text += " " + std::to_string(k) + ") " + r.at("answer" + std::to_string(k));
  return text;
}

// The steps choose as clicks do: an exam, then two questions it does not hold, on a
// multi-select list each; the package holds exactly those rows and what they bring.
TEST_F(CustomExportProcess, AnExamAndTwoPickedQuestionsArriveRowByRow) {
  const auto& c = made.content;
  const fs::path course = made.install.course;
  // An exam of live questions, and two live user questions of no exam.
  std::map<std::int32_t, transfer_test::Row> questions;
  for (const auto& r : transfer_test::ReadLiveRows(course.string(), "quests")) questions[transfer_test::Num(r.at("quest_id"))] = r;
  std::set<std::int32_t> inExams;
  for (const auto& eq : c.examQuestions) inExams.insert(eq.questId);
  const course_maker::ExamRow* exam = nullptr;
  for (const auto& e : c.exams) {
    int held = 0;
    bool live = true;
    for (const auto& eq : c.examQuestions)
      if (eq.examId == e.id) {
        ++held;
        live = live && questions.count(eq.questId) > 0;
      }
    if (held > 0 && live && !exam) exam = &e;
  }
  ASSERT_NE(exam, nullptr);
  Ids examQuestions, picked, examQues;
  for (const auto& eq : c.examQuestions)
    if (eq.examId == exam->id) {
      examQuestions.insert(eq.questId);
      examQues.insert(eq.id);
    }
  for (const auto& [id, row] : questions)
    if (id >= 20000 && !inExams.count(id) && picked.size() < 2) picked.insert(id);
  ASSERT_EQ(picked.size(), 2u);
  std::string examItem;
  for (const auto& r : transfer_test::ReadLiveRows(course.string(), "exams"))
    if (transfer_test::Num(r.at("exam_id")) == exam->id)
      examItem = tolvarin::PadRight(r.at("name"), 50) + " " + tolvarin::FormatDbDate(r.at("date"));

  std::vector<std::string> steps{"click:cmdBackup", "click:cmdCustom", "click:cmdContinue", "click:cmdContinue",
                                 "pick:lstBackup_4=" + examItem, "click:cmdContinue"};
  for (std::int32_t id : picked) steps.push_back("pick:lstBackup_5=" + QuestionItem(questions.at(id)));
  steps.insert(steps.end(), {"shot:select-picked", "click:cmdContinue", "text:txtName=Picked", "click:cmdContinue", "OK"});
  const RunResult run = Run(steps);
  ASSERT_EQ(run.status, 0) << run.stderrText;
  const std::string unpacked = host.Scratch() + "/Picked";
  ASSERT_TRUE(tolvarin::UnzipAll(unpacked, made.install.databases + "/Backup/Picked.zip", false).ok);

  Ids wanted = examQuestions, descriptions;
  wanted.insert(picked.begin(), picked.end());
  for (std::int32_t q : wanted)
    if (const auto* row = c.Question(q); row && row->descriptId) descriptions.insert(row->descriptId);
  EXPECT_EQ(LiveIds(unpacked, "exams", "exam_id"), Ids{exam->id});
  EXPECT_EQ(LiveIds(unpacked, "examques", "exam_q_id"), examQues);
  EXPECT_EQ(LiveIds(unpacked, "printopt", "print_id"), Ids{exam->printId});
  EXPECT_EQ(LiveIds(unpacked, "quests", "quest_id"), wanted);
  EXPECT_EQ(LiveIds(unpacked, "questype", "quest_id"), wanted);
  EXPECT_EQ(LiveIds(unpacked, "descript", "descriptid"), descriptions);
  // Each question as the course holds it.
  for (const auto& r : transfer_test::ReadLiveRows(unpacked, "quests"))
    EXPECT_EQ(QuestionItem(r), QuestionItem(questions.at(transfer_test::Num(r.at("quest_id")))));
  EXPECT_TRUE(LiveIds(unpacked, "classes", "class_id").empty());
  EXPECT_TRUE(LiveIds(unpacked, "students", "student_id").empty());
  EXPECT_TRUE(LiveIds(unpacked, "sessions", "session_id").empty());
  EXPECT_TRUE(LiveIds(unpacked, "templates", "templateid").empty());
}

// A question or activity the teacher deleted is not listed, so a step that picks it
// finds no entry; nothing is exported.
TEST_F(CustomExportProcess, RowsTheTeacherDeletedAreNotListed) {
  const auto& c = made.content;
  const fs::path course = made.install.course;
  // A user question that nothing else names, deleted by the teacher.
  std::set<std::int32_t> named;
  for (const auto& eq : c.examQuestions) named.insert(eq.questId);
  for (const auto& sq : c.sessionQuestions) named.insert(sq.questId);
  for (const auto& a : c.activities) named.insert(a.questionIds.begin(), a.questionIds.end());
  std::string question;
  for (const auto& r : transfer_test::ReadLiveRows(course.string(), "quests"))
    if (transfer_test::Num(r.at("quest_id")) >= 20000 && !named.count(transfer_test::Num(r.at("quest_id"))))
      question = QuestionItem(r);
  ASSERT_FALSE(question.empty());
  {
    const xbase::Data4 quests = xbase::d4open(tolvarin::Engine().EngineHandle, (course / "quests.dbf").string());
    ASSERT_NE(quests, 0);
    xbase::d4tagSelect(quests, xbase::d4tag(quests, "QUEST_ID"));
    ASSERT_EQ(xbase::d4seek(quests, question.substr(0, 7)), 0);
    xbase::d4delete(quests);
    ASSERT_EQ(xbase::d4close(quests), 0);
  }
  const course_maker::ActivityRow* activity = nullptr;
  std::int32_t owner = 0;
  for (const auto& r : transfer_test::ReadRows(course.string(), "templates"))
    for (const auto& a : c.activities)
      if (a.deleted && a.id == transfer_test::Num(r.at("templateid"))) {
        activity = &a;
        owner = transfer_test::Num(r.at("user_id"));
      }
  ASSERT_NE(activity, nullptr);
  std::string user;
  for (const auto& u : c.users)
    if (u.id == owner) user = u.name;
  ASSERT_FALSE(user.empty());
  struct Case {
    std::string list, entry;
  } cases[] = {{"lstBackup_5", question}, {"lstBackup_2", tolvarin::PadRight(activity->name, 254)}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.list);
    const RunResult run = host.RunOnDisplay(
        {"AppPath:" + made.install.app, "Interactive:TRUE", "UserName:" + user, "Password:pw" + std::to_string(owner),
         "CoursePath:" + made.install.course},
        {"click:cmdBackup", "click:cmdCustom", "click:cmdContinue", "click:cmdContinue", "click:cmdContinue",
         "pick:" + k.list + "=" + k.entry, "click:cmdContinue", "text:txtName=Deleted", "click:cmdContinue", "OK"},
        Display());
    EXPECT_EQ(run.status, tolvarin::kScriptFailedStatus) << run.stderrText;
    EXPECT_NE(run.stderrText.find("the list has no entry"), std::string::npos) << run.stderrText;
    EXPECT_FALSE(fs::exists(made.install.databases + "/Backup/Deleted.zip"));
  }
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
  // The import log's name prompt is in the window transcript with the name typed.
  const auto prompt = std::find_if(run.boxes.begin(), run.boxes.end(),
                                   [](const tolvarin::ShownBox& b) { return b.kind == "Input"; });
  ASSERT_NE(prompt, run.boxes.end());
  EXPECT_EQ(prompt->box.title, "Enter your name");
  EXPECT_EQ(prompt->box.text.rfind("Big Brother requests that you enter your name", 0), 0u) << prompt->box.text;
  EXPECT_EQ(prompt->answer, "Ann Teacher");
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
