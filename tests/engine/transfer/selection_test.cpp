// The selection closure on the realistic course, checked against what the maker wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "core/settings.h"
#include "data/codebase.h"
#include "data/key_text.h"
#include "data/standards.h"
#include "engine/transfer/database_sets.h"
#include "engine/transfer/selection.h"
#include "engine/transfer/table_mapping.h"
#include "engine/transfer/transfer_state.h"
#include "platform/xbase/xbase.h"
#include "transfer_fixture.h"

namespace transfer_test {
namespace {

using namespace tolvarin;
using Ids = std::vector<std::int32_t>;

Ids Sorted(Ids ids) {
  ids.erase(std::remove(ids.begin(), ids.end(), 0), ids.end());
  std::sort(ids.begin(), ids.end());
  return ids;
}
Ids Unique(std::set<std::int32_t> s) { return Ids(s.begin(), s.end()); }

class SelectionTest : public TransferTest {
 protected:
  void Open(const course_maker::MadeCourse& made) {
    UseCourse(made.install);
    Settings().Operation = 2;
    OpenSource(made.install.course);
    OpenDestination(made.install.course);
    ResetSelections();
  }
  // What selecting these questions must bring: descriptions, types and pictures.
  struct QuestionClosure {
    std::set<std::int32_t> descriptions, images;
  };
  static QuestionClosure Closure(const course_maker::CourseContent& c, const std::set<std::int32_t>& questions) {
    QuestionClosure r;
    for (std::int32_t id : questions) {
      const auto* q = c.Question(id);
      for (std::int32_t p : q->pictures)
        if (p) r.images.insert(p);
      if (q->descriptId) {
        r.descriptions.insert(q->descriptId);
        if (const auto* d = c.Description(q->descriptId); d->imageId) r.images.insert(d->imageId);
      }
    }
    return r;
  }
};

TEST_F(SelectionTest, AnExamBringsItsQuestionsAndWhatTheyNeedOnceEach) {
  const auto& made = Shared();
  const auto& c = made.content;
  Open(made);
  // Two exams that share questions, the second selected twice.
  const auto& first = c.exams[0];
  const auto& second = c.exams[1];
  SelectID(kExamsTable, first.id);
  SelectID(kExamsTable, second.id);
  SelectID(kExamsTable, second.id);

  std::set<std::int32_t> examQuestions, questions;
  for (const auto& eq : c.examQuestions)
    if (eq.examId == first.id || eq.examId == second.id) {
      examQuestions.insert(eq.id);
      questions.insert(eq.questId);
    }
  const auto closure = Closure(c, questions);
  EXPECT_EQ(Mapping(kExamsTable).SelectedIDs, (Ids{first.id, second.id}));
  EXPECT_EQ(Sorted(Mapping(kExamQuesTable).SelectedIDs), Unique(examQuestions));
  EXPECT_EQ(Mapping(kExamQuesTable).SelectedIDs.size(), examQuestions.size());
  EXPECT_EQ(Sorted(Mapping(kQuestsTable).SelectedIDs), Unique(questions));
  EXPECT_EQ(Mapping(kQuestsTable).SelectedIDs.size(), questions.size());
  EXPECT_EQ(Sorted(Mapping(kQuesTypeTable).SelectedIDs), Unique(questions));
  EXPECT_EQ(Sorted(Mapping(kDescriptTable).SelectedIDs), Unique(closure.descriptions));
  EXPECT_EQ(SelectedImageIDs(), Unique(closure.images));
  EXPECT_EQ(Sorted(Mapping(kPrintOptTable).SelectedIDs), Unique({first.printId, second.printId}));
  EXPECT_TRUE(Mapping(kSessionsTable).SelectedIDs.empty());
  EXPECT_TRUE(StandardNodeKeys().empty());
}

TEST_F(SelectionTest, ASessionBringsItsSessionQuestionsResultsAndNamedActivitiesButNotTheirQuestions) {
  const auto& made = Shared();
  const auto& c = made.content;
  Open(made);
  const auto named = std::find_if(c.activities.begin(), c.activities.end(), [](const auto& a) { return a.sessionId; });
  ASSERT_NE(named, c.activities.end());
  const std::int32_t session = named->sessionId;
  SelectID(kSessionsTable, session);

  std::set<std::int32_t> sesQuests;
  for (const auto& sq : c.sessionQuestions)
    if (sq.sessionId == session) sesQuests.insert(sq.id);
  std::set<std::string> keys;
  for (const auto& r : c.results)
    if (sesQuests.count(r.sesQuesId)) keys.insert(FormatID(r.sesQuesId) + FormatID(r.studentId));
  EXPECT_EQ(Mapping(kSessionsTable).SelectedIDs, Ids{session});
  EXPECT_EQ(Sorted(Mapping(kSesQuestsTable).SelectedIDs), Unique(sesQuests));
  EXPECT_EQ(std::set<std::string>(SessionResultKeys().begin(), SessionResultKeys().end()), keys);
  EXPECT_EQ(SessionResultKeys().size(), keys.size());
  EXPECT_EQ(Mapping(kTemplatesTable).SelectedIDs, Ids{named->id});
  EXPECT_TRUE(Mapping(kQuestsTable).SelectedIDs.empty());
  EXPECT_TRUE(Mapping(kSesResultsTable).SelectedIDs.empty());
}

TEST_F(SelectionTest, EverythingSelectedWithStandardsNodesUpToThePublisherBoundary) {
  const auto& made = Shared();
  const auto& c = made.content;
  Open(made);
  SelectAllRecords();

  // The live questions in identifier order; a deleted one only when an exam question
  // names it, after them.
  Ids questions, exams;
  std::set<std::int32_t> named, selected;
  for (const auto& eq : c.examQuestions) named.insert(eq.questId);
  for (const auto& q : c.questions)
    if (!q.deleted) questions.push_back(q.id);
  const Ids& chosen = Mapping(kQuestsTable).SelectedIDs;
  ASSERT_GE(chosen.size(), questions.size());
  EXPECT_EQ(Ids(chosen.begin(), chosen.begin() + static_cast<std::ptrdiff_t>(questions.size())), questions);
  for (auto it = chosen.begin() + static_cast<std::ptrdiff_t>(questions.size()); it != chosen.end(); ++it) {
    EXPECT_TRUE(c.Question(*it) && c.Question(*it)->deleted && named.count(*it)) << *it;
  }
  std::size_t deletedNamed = 0;
  for (const auto& q : c.questions) deletedNamed += q.deleted && named.count(q.id);
  EXPECT_EQ(chosen.size(), questions.size() + deletedNamed);
  selected.insert(chosen.begin(), chosen.end());
  for (const auto& e : c.exams) exams.push_back(e.id);
  EXPECT_EQ(Mapping(kExamsTable).SelectedIDs, exams);
  EXPECT_EQ(Mapping(kExamQuesTable).SelectedIDs.size(), c.examQuestions.size());
  EXPECT_EQ(Mapping(kStudentsTable).SelectedIDs.size(), c.students.size());
  EXPECT_EQ(Mapping(kTemplatesTable).SelectedIDs.size(),
            static_cast<std::size_t>(std::count_if(c.activities.begin(), c.activities.end(),
                                                   [](const auto& a) { return !a.deleted; })));
  EXPECT_EQ(SessionResultKeys().size(), c.results.size());
  std::set<std::int32_t> images;
  for (const auto& q : c.questions) {
    if (!selected.count(q.id)) continue;
    for (std::int32_t p : q.pictures)
      if (p) images.insert(p);
    if (const auto* d = c.Description(q.descriptId); d && d->imageId) images.insert(d->imageId);
  }
  EXPECT_EQ(SelectedImageIDs(), Ids(images.begin(), images.end()));

  // The user nodes linked to the selected questions, and their user-made parents.
  std::map<std::pair<int, int>, int> parent;
  for (const auto& n : c.nodes) parent[{n.tree, n.node}] = n.parent;
  std::set<std::string> expected;
  for (const auto& l : c.links)
    for (int node = l.node; selected.count(l.questId) && node >= 20000; node = parent[{l.tree, node}])
      expected.insert(StandardKeyString(static_cast<std::int16_t>(l.tree), node));
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(std::set<std::string>(StandardNodeKeys().begin(), StandardNodeKeys().end()), expected);
  EXPECT_EQ(StandardNodeKeys().size(), expected.size());

  // An interactive restore without the tree leaves the nodes out; office mode takes publisher nodes too.
  Settings().Interactive = true;
  Transfer().ImportClassificationTree = false;
  SelectAllRecords();
  EXPECT_TRUE(StandardNodeKeys().empty());
  Settings().Interactive = false;
  Settings().OfficeMode = 1;
  SelectAllRecords();
  EXPECT_GT(StandardNodeKeys().size(), expected.size());
}

TEST_F(SelectionTest, ABackupStartsAtTheSourceWindowAndSelectsAboveItsEnd) {
  auto made = Fresh({.seed = 5, .questions = 60});
  {
    const xbase::Data4 p = xbase::d4open(Engine().EngineHandle, made.install.course + "/printopt.dbf");
    for (std::int32_t id : {5, 150000}) {  // below the window of printing options, and far above it
      xbase::d4appendStart(p, 0);
      xbase::d4blank(p);
      xbase::f4assign(xbase::d4field(p, "print_id"), FormatID(id));
      xbase::d4append(p);
    }
    xbase::d4close(p);
  }
  Open(made);
  Settings().Operation = 1;
  SelectAllRecords();
  const auto& backup = Mapping(kPrintOptTable).SelectedIDs;
  EXPECT_EQ(std::count(backup.begin(), backup.end(), 5), 0);
  EXPECT_EQ(std::count(backup.begin(), backup.end(), 150000), 1);
  Settings().Operation = 2;
  SelectAllRecords();
  const auto& restore = Mapping(kPrintOptTable).SelectedIDs;
  EXPECT_EQ(std::count(restore.begin(), restore.end(), 5), 1);
}

TEST_F(SelectionTest, AGradebookSessionInAnInteractiveRunIsTakenOutAgain) {
  auto made = Fresh({.seed = 9, .questions = 60});
  const auto& c = made.content;
  const auto& session = c.sessions[0];
  {
    // The session's class becomes one the gradebook made (10000 and above).
    const xbase::Data4 s = xbase::d4open(Engine().EngineHandle, made.install.course + "/students.dbf");
    for (int rc = xbase::d4top(s); rc == 0; rc = xbase::d4skip(s, 1))
      if (xbase::f4long(xbase::d4field(s, "class_id")) == session.classId)
        xbase::f4assign(xbase::d4field(s, "class_id"), FormatID(10001));
    xbase::d4close(s);
  }
  Open(made);
  EXPECT_EQ(FindGradebookLink(FormatID(session.id)), FormatID(10001));
  EXPECT_EQ(FindGradebookLink(FormatID(999)), "-1");  // not found: the current row has no session questions either
  Settings().Interactive = true;
  ResetSelections();
  SelectID(kSessionsTable, session.id);
  EXPECT_EQ(Mapping(kSessionsTable).SelectedIDs, Ids{0});
  EXPECT_FALSE(Mapping(kSesQuestsTable).SelectedIDs.empty());
  EXPECT_TRUE(Mapping(kTemplatesTable).SelectedIDs.empty());
  SelectID(kSessionsTable, session.id);  // not selected a second time
  EXPECT_EQ(Mapping(kSessionsTable).SelectedIDs, Ids{0});
}

TEST_F(SelectionTest, GradebookClassesMoveToTheFrontButTheFirstStays) {
  Open(Shared());
  const std::int32_t a = 100001, b = 100002, c = 500;
  const std::pair<Ids, Ids> cases[] = {{{c, a, b}, {a, b, c}}, {{a, c, b}, {b, a, c}}, {{c, 7, a}, {a, c, 7}}, {{}, {}}};
  for (const auto& [given, expected] : cases) {
    Mapping(kClassesTable).SelectedIDs = given;
    OrderClassSelection();
    EXPECT_EQ(Mapping(kClassesTable).SelectedIDs, expected);
  }
}

TEST_F(SelectionTest, LinkedIdentifiersOfExamsSessionsAndActivities) {
  const auto& made = Shared();
  const auto& c = made.content;
  Open(made);
  Ids exam, session;
  for (const auto& eq : c.examQuestions)
    if (eq.examId == c.exams[2].id) exam.push_back(eq.questId);
  for (const auto& sq : c.sessionQuestions)
    if (sq.sessionId == c.sessions[1].id) session.push_back(sq.questId);
  EXPECT_EQ(Sorted(GetLinkedIDsBySecondKey(c.exams[2].id, Src().ExamQues)), Sorted(exam));
  EXPECT_EQ(GetLinkedIDsByFirstKey(c.sessions[1].id, Src().SesQuests).size(), session.size());
  EXPECT_TRUE(GetLinkedIDsBySecondKey(1, Src().ExamQues).empty());
  const auto& activity = c.activities.back();
  EXPECT_EQ(GetActivityQuestionIDs(activity.id, Src().Templates), activity.questionIds);
}

}  // namespace
}  // namespace transfer_test
