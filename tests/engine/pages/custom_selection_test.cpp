// The custom selection page's rules on the realistic course, without widgets.
#include "engine/pages/custom_selection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "core/settings.h"
#include "core/strings.h"
#include "core/window_helpers.h"
#include "data/id_ranges.h"
#include "data/key_text.h"
#include "engine/modes/login.h"
#include "engine/transfer/database_sets.h"
#include "engine/transfer/selection.h"
#include "engine/transfer/table_mapping.h"
#include "../transfer/transfer_fixture.h"
#include "../transfer/transfer_run.h"

namespace transfer_test {
namespace {

using namespace tolvarin;
using Ids = std::vector<std::int32_t>;

// Questions below this are left out of the list where a test needs unlisted ones.
constexpr std::int32_t kUserQuestions = 20000;

class CustomSelectionTest : public TransferTest {
 protected:
  void Open(bool test = true, bool gradebook = true, std::int16_t accessLevel = 1, std::int32_t firstQuestion = 0) {
    const auto& made = Shared();
    user_ = made.content.classes[0].userId;
    UseCourse(made.install);
    Settings().Operation = 1;
    Settings().Interactive = true;
    Settings().IncludeTestContent = test;
    Settings().IncludeGradebookContent = gradebook;
    SetUserAccessLevel(accessLevel);
    CurrentUser() = {FormatID(user_), "TEACHER"};
    OpenSource(made.install.course);
    if (firstQuestion) Mapping(kQuestsTable).SrcFirstID = firstQuestion;
    page_.Load();
  }
  void TearDown() override {
    SetUserAccessLevel(0);
    CurrentUser() = {};
    TransferTest::TearDown();
  }
  std::size_t Set(std::int32_t kind) const { return static_cast<std::size_t>(page_.SetOfKind(kind)); }
  const SelectList& List(std::int32_t kind) { return *page_.ListForKind(kind); }
  Ids Selected(std::int32_t kind) {
    Ids ids;
    for (const SelectItem& i : List(kind).items)
      if (i.selected) ids.push_back(i.id);
    return ids;
  }
  Ids Protected() {
    Ids ids;
    for (const SelectItem& i : List(kKindQuestions).items)
      if (i.isProtected) ids.push_back(i.id);
    return ids;
  }
  void ClickId(std::int32_t kind, std::int32_t id, bool selected) {
    page_.Click(Set(kind), List(kind).IndexOf(id), selected);
  }
  int MessagesWith(const std::string& text) const {
    return static_cast<int>(std::count_if(presenter_->Shown().begin(), presenter_->Shown().end(),
                                          [&](const ShownBox& b) { return b.box.text == text; }));
  }
  // The questions of an exam, the listed ones (user-made) and the others, ascending.
  std::pair<Ids, Ids> ExamQuestions(std::int32_t exam) {
    std::set<std::int32_t> listed, other;
    for (const auto& eq : Shared().content.examQuestions)
      if (eq.examId == exam) (List(kKindQuestions).IndexOf(eq.questId) >= 0 ? listed : other).insert(eq.questId);
    return {Ids(listed.begin(), listed.end()), Ids(other.begin(), other.end())};
  }
  // An exam that uses listed and unlisted questions.
  std::int32_t MixedExam() {
    for (const auto& e : Shared().content.exams) {
      const auto [listed, other] = ExamQuestions(e.id);
      if (!listed.empty() && !other.empty()) return e.id;
    }
    ADD_FAILURE() << "no exam with both kinds of question";
    return 0;
  }

  CustomSelection page_;
  std::int32_t user_ = 0;
};

TEST_F(CustomSelectionTest, ListsAndSubPagesFollowTheContentFlags) {
  struct Case {
    bool test, gradebook;
    Ids kinds;
    std::vector<Ids> pages;
  };
  const Case cases[] = {
      {true, false, {5, 1}, {{5, 1}}},
      {false, true, {10, 11, 13, 7, 1}, {{10, 11}, {13, 7, 1}}},
      {true, true, {10, 11, 13, 7, 5, 1}, {{10, 11}, {7, 5}, {13, 1}}},
      {false, false, {}, {{}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.test) + std::to_string(c.gradebook));
    EXPECT_EQ(ListKindsFor(c.test, c.gradebook), c.kinds);
    ASSERT_EQ(LastSubPageFor(c.test, c.gradebook), static_cast<int>(c.pages.size()) - 1);
    for (std::size_t p = 0; p < c.pages.size(); ++p) {
      EXPECT_EQ(SubPageKinds(c.test, c.gradebook, static_cast<int>(p)), c.pages[p]);
      EXPECT_EQ(SubPageInstructions(c.test, c.gradebook, static_cast<int>(p)).empty(), c.pages[p].empty());
    }
  }
  // Walking the page: Continue moves on until the last sub-page, Back returns and leaves on the first.
  Open(true, true);
  Ids shown;
  for (std::size_t set : page_.SetsOnPage()) shown.push_back(page_.Lists()[set].kind);
  EXPECT_EQ(shown, (Ids{10, 11}));
  EXPECT_EQ(page_.Continue(), PageStep::Stay);
  EXPECT_EQ(page_.Continue(), PageStep::Stay);
  EXPECT_EQ(page_.SubPage(), 2);
  EXPECT_EQ(page_.Instructions(), "Select the activities and user-made questions that you wish to back up.");
  EXPECT_EQ(page_.Back(), PageStep::Stay);
  EXPECT_EQ(page_.Back(), PageStep::Stay);
  EXPECT_EQ(page_.Back(), PageStep::Leave);
  EXPECT_EQ(PageResult(), -1);
  EXPECT_EQ(CaptionsFor(13).list, "Activities saved to database to back up:");
  EXPECT_EQ(CaptionsFor(10).enterID, "Enter Classes ID:");
}

TEST_F(CustomSelectionTest, EveryListShowsTheCourseRowsItsRulesTake) {
  const auto& made = Shared();
  const std::string course = made.install.course;
  // Rows the teacher deleted are never listed.
  const auto quests = ReadLiveRows(course, "quests");
  const auto exams = ReadLiveRows(course, "exams");
  const auto sessions = ReadLiveRows(course, "sessions");
  const auto classes = ReadLiveRows(course, "classes");
  const auto students = ReadLiveRows(course, "students");
  const auto templates = ReadLiveRows(course, "templates");
  ASSERT_LT(quests.size(), ReadRows(course, "quests").size());
  ASSERT_LT(templates.size(), ReadRows(course, "templates").size());

  for (const std::int16_t level : {1, 2}) {
    SCOPED_TRACE(level);
    Open(true, true, level);
    const TableMapping& qm = Mapping(kQuestsTable);
    std::map<std::int32_t, std::string> questions;
    for (const Row& r : quests) {
      const std::int32_t id = Num(r.at("quest_id"));
      if (id < qm.SrcFirstID || id > qm.SrcLastID) continue;
      std::string text = r.at("quest_id") + ": " + r.at("question");
      for (int k = 1; k <= 5; ++k)
        if (!r.at("answer" + std::to_string(k)).empty())
          text += " " + std::to_string(k) + ") " + r.at("answer" + std::to_string(k));
      questions[id] = text;
    }
    std::vector<std::string> want;
    for (const auto& [id, text] : questions) want.push_back(text);
    std::vector<std::string> got;
    for (const SelectItem& i : List(kKindQuestions).items) got.push_back(i.text);
    ASSERT_FALSE(want.empty());
    EXPECT_EQ(got, want);

    // Exams by date (ties in record order), name padded to its 50 characters.
    std::vector<Row> byDate = exams;
    std::stable_sort(byDate.begin(), byDate.end(), [](const Row& a, const Row& b) { return a.at("date") < b.at("date"); });
    want.clear();
    for (const Row& r : byDate) want.push_back(PadRight(r.at("name"), 50) + " " + FormatDbDate(r.at("date")));
    got.clear();
    for (const SelectItem& i : List(kKindExams).items) got.push_back(i.text);
    EXPECT_EQ(got, want);

    // Classes: every one for a user who may edit passwords, else the user's own.
    Ids wantClasses;
    want.clear();
    for (const Row& r : classes)
      if (level == 1 || Num(r.at("user_id")) == user_) {
        wantClasses.push_back(Num(r.at("class_id")));
        want.push_back(PadRight(r.at("section"), 64));
      }
    got.clear();
    Ids gotClasses;
    for (const SelectItem& i : List(kKindClasses).items) {
      got.push_back(i.text);
      gotClasses.push_back(i.id);
    }
    ASSERT_FALSE(wantClasses.empty());
    EXPECT_EQ(gotClasses, wantClasses);
    EXPECT_EQ(got, want);

    want.clear();
    for (std::int32_t klass : wantClasses)
      for (const Row& r : students)
        if (Num(r.at("class_id")) == klass) want.push_back(r.at("last_name") + ", " + r.at("first_name"));
    got.clear();
    for (const SelectItem& i : List(kKindStudents).items) got.push_back(i.text);
    EXPECT_EQ(got, want);

    // Every session of the maker's classes, in record order; the user's named activities only.
    want.clear();
    for (const Row& r : sessions) want.push_back(PadRight(r.at("name"), 50));
    got.clear();
    for (const SelectItem& i : List(kKindSessions).items) got.push_back(i.text);
    EXPECT_EQ(got, want);
    want.clear();
    for (const Row& r : templates)
      if (Num(r.at("user_id")) == user_ && !r.at("name").empty() && r.at("name")[0] != '%')
        want.push_back(PadRight(r.at("name"), 254));
    got.clear();
    for (const SelectItem& i : List(kKindActivities).items) got.push_back(i.text);
    EXPECT_EQ(got, want);
    for (const SelectList& l : page_.Lists()) EXPECT_EQ(l.SelectedCount(), 0);
    TearDown();
    SetUp();
  }
}

TEST_F(CustomSelectionTest, AClassBringsItsStudentsAndSessionsAndTakesThemAway) {
  Open();
  const auto& c = Shared().content;
  const std::int32_t klass = c.classes[0].id;
  Ids students, sessions;
  for (const auto& s : c.students)
    if (s.classId == klass) students.push_back(s.id);
  for (const auto& s : c.sessions)
    if (s.classId == klass) sessions.push_back(s.id);
  ASSERT_FALSE(sessions.empty());
  ClickId(kKindClasses, klass, true);
  EXPECT_EQ(Selected(kKindClasses), Ids{klass});
  EXPECT_EQ(Selected(kKindStudents), students);
  EXPECT_EQ(Selected(kKindSessions), sessions);
  EXPECT_EQ(List(kKindStudents).SelectedCount(), static_cast<int>(students.size()));
  ClickId(kKindClasses, klass, false);
  EXPECT_TRUE(Selected(kKindStudents).empty());
  EXPECT_TRUE(Selected(kKindSessions).empty());
  EXPECT_TRUE(presenter_->Shown().empty());
}

TEST_F(CustomSelectionTest, AnExamProtectsItsQuestionsUntilItIsDeselected) {
  Open(true, true, 1, kUserQuestions);
  const std::int32_t exam = MixedExam();
  const auto [listed, other] = ExamQuestions(exam);
  ClickId(kKindExams, exam, true);
  EXPECT_EQ(Selected(kKindQuestions), listed);
  EXPECT_EQ(Protected(), listed);
  EXPECT_EQ(page_.ExtraQuestionIDs(), other);  // ascending, each once
  ClickId(kKindExams, exam, true);
  EXPECT_EQ(page_.ExtraQuestionIDs(), other);

  // A protected question refuses, with one message.
  ClickId(kKindQuestions, listed[0], false);
  EXPECT_EQ(Selected(kKindQuestions), listed);
  EXPECT_EQ(MessagesWith(kProtectedQuestionText), 1);

  // Invert shows nothing and keeps the protected ones; Deselect All stops at the first protected one.
  page_.Invert(Set(kKindQuestions));
  EXPECT_EQ(MessagesWith(kProtectedQuestionText), 1);
  for (std::int32_t q : listed) EXPECT_TRUE(List(kKindQuestions).items[List(kKindQuestions).IndexOf(q)].selected);
  const int firstProtected = List(kKindQuestions).IndexOf(listed[0]);
  const int count = List(kKindQuestions).SelectedCount();
  ASSERT_GT(count, static_cast<int>(listed.size()));
  const std::vector<SelectItem> before = List(kKindQuestions).items;
  page_.DeselectAll(Set(kKindQuestions));
  EXPECT_EQ(MessagesWith(kProtectedQuestionText), 2);
  for (std::size_t i = 0; i < before.size(); ++i) {
    const bool want = static_cast<int>(i) < firstProtected ? false : before[i].selected;
    EXPECT_EQ(List(kKindQuestions).items[i].selected, want) << i;
  }

  // Deselecting the exam lifts the protection and takes its questions away.
  ClickId(kKindExams, exam, false);
  EXPECT_TRUE(Protected().empty());
  for (std::int32_t q : listed) EXPECT_FALSE(List(kKindQuestions).items[List(kKindQuestions).IndexOf(q)].selected);
  EXPECT_TRUE(page_.ExtraQuestionIDs().empty());
  page_.DeselectAll(Set(kKindQuestions));
  EXPECT_EQ(List(kKindQuestions).SelectedCount(), 0);
  page_.SelectAll(Set(kKindQuestions));
  EXPECT_EQ(List(kKindQuestions).SelectedCount(), static_cast<int>(List(kKindQuestions).items.size()));
}

TEST_F(CustomSelectionTest, InOfficeModeNoKeepsAnExamsQuestionsSelectedButFree) {
  Settings().OfficeMode = 1;
  Open(true, true, 1, kUserQuestions);
  const std::int32_t exam = MixedExam();
  const auto listed = ExamQuestions(exam).first;
  ClickId(kKindExams, exam, true);
  presenter_->Push("No");
  ClickId(kKindExams, exam, false);
  EXPECT_EQ(MessagesWith(kDeselectQuestionsText), 1);
  EXPECT_EQ(Selected(kKindQuestions), listed);
  EXPECT_TRUE(Protected().empty());
  ClickId(kKindQuestions, listed[0], false);
  EXPECT_EQ(MessagesWith(kProtectedQuestionText), 0);
}

TEST_F(CustomSelectionTest, TypedIdentifiersToggleListedQuestionsAndAddOthersOnlyInOfficeMode) {
  struct Case {
    int office;
    std::string typed;
    bool toggles;  // the first listed question
    Ids extras;
  };
  Open(true, true, 1, kUserQuestions);
  const std::int32_t listed = List(kKindQuestions).items[0].id;
  const std::int32_t unlisted = 5;  // a publisher question
  ASSERT_LT(List(kKindQuestions).IndexOf(unlisted), 0);
  const Case cases[] = {
      {0, std::to_string(listed), true, {}},   {0, std::to_string(unlisted), false, {}},
      {1, std::to_string(listed), true, {}},   {1, " 5 ", false, {5}},
      {1, "0", false, {}},                     {1, "-5", false, {}},
      {1, "5x", false, {}},                    {1, "", false, {}},
      {1, "99999999999", false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    Settings().OfficeMode = c.office;
    page_.Load();
    page_.EnterID(Set(kKindQuestions), c.typed);
    page_.EnterID(Set(kKindExams), c.typed);  // only the questions set has the box
    EXPECT_EQ(List(kKindQuestions).items[0].selected, c.toggles);
    EXPECT_EQ(page_.ExtraQuestionIDs(), c.extras);
    page_.EnterID(Set(kKindQuestions), c.typed);  // a second time: toggled back, never doubled
    EXPECT_FALSE(List(kKindQuestions).items[0].selected);
    EXPECT_EQ(page_.ExtraQuestionIDs(), c.extras);
  }
}

TEST_F(CustomSelectionTest, TheLastContinueHandsOverTheChoicesInOrderAndRefusesNothing) {
  Open(true, true, 1, kUserQuestions);
  // Nothing chosen: the page says so and stays, selecting nothing.
  page_.Continue();
  page_.Continue();
  PageResult() = -1;
  EXPECT_EQ(page_.Continue(), PageStep::Stay);
  EXPECT_EQ(MessagesWith(kNothingSelectedText), 1);
  EXPECT_EQ(PageResult(), -1);

  const auto& c = Shared().content;
  const std::int32_t exam = MixedExam();
  const auto [listed, other] = ExamQuestions(exam);
  const std::int32_t klass = c.classes[1].id;
  const std::int32_t activity = List(kKindActivities).items.at(0).id;
  ClickId(kKindClasses, klass, true);
  ClickId(kKindExams, exam, true);
  // Selected by the class rule, so its questions come in at the hand-over.
  const Ids sessions = Selected(kKindSessions);
  ASSERT_FALSE(sessions.empty());
  ClickId(kKindActivities, activity, true);
  const Ids students = Selected(kKindStudents);
  ASSERT_EQ(page_.Continue(), PageStep::Done);
  EXPECT_EQ(PageResult(), 1);

  std::vector<std::pair<std::int32_t, std::int32_t>> want;
  for (std::int32_t q : page_.ExtraQuestionIDs()) want.emplace_back(kKindQuestions, q);
  want.emplace_back(kKindClasses, klass);
  for (std::int32_t s : students) want.emplace_back(kKindStudents, s);
  want.emplace_back(kKindActivities, activity);
  for (std::int32_t s : sessions) want.emplace_back(kKindSessions, s);
  want.emplace_back(kKindExams, exam);
  for (std::int32_t q : Selected(kKindQuestions)) want.emplace_back(kKindQuestions, q);
  EXPECT_EQ(page_.HandedOver(), want);

  // The sessions' and the activity's questions were added at the hand-over; the closure followed.
  std::set<std::int32_t> questions(listed.begin(), listed.end());
  questions.insert(other.begin(), other.end());
  for (const auto& sq : c.sessionQuestions)
    if (std::count(sessions.begin(), sessions.end(), sq.sessionId)) questions.insert(sq.questId);
  for (const auto& a : c.activities)
    if (a.id == activity) questions.insert(a.questionIds.begin(), a.questionIds.end());
  std::set<std::int32_t> handed;
  for (const auto& [kind, id] : page_.HandedOver())
    if (kind == kKindQuestions) handed.insert(id);
  EXPECT_EQ(handed, questions);
  const Ids& selectedQuestions = Mapping(kQuestsTable).SelectedIDs;
  EXPECT_EQ(std::set<std::int32_t>(selectedQuestions.begin(), selectedQuestions.end()), questions);
  EXPECT_EQ(Mapping(kClassesTable).SelectedIDs, Ids{klass});
  EXPECT_EQ(Mapping(kStudentsTable).SelectedIDs, students);
  EXPECT_EQ(Mapping(kExamsTable).SelectedIDs, Ids{exam});
}

}  // namespace
}  // namespace transfer_test
