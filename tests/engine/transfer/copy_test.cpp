// Whole transfers from the realistic course into a second course: identifier mapping
// by remap mode, the overwrite questions, the row and image copy, activity rewriting.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "core/settings.h"
#include "data/catalogue.h"
#include "data/codebase.h"
#include "data/id_ranges.h"
#include "data/key_text.h"
#include "data/standards.h"
#include "engine/transfer/activity_remap.h"
#include "engine/transfer/database_sets.h"
#include "engine/transfer/id_mapping.h"
#include "engine/transfer/overwrite_questions.h"
#include "engine/transfer/row_copy.h"
#include "engine/transfer/selection.h"
#include "engine/transfer/table_mapping.h"
#include "platform/xbase/xbase.h"
#include "transfer_fixture.h"
#include "transfer_run.h"

namespace transfer_test {
namespace {

namespace fs = std::filesystem;
using namespace tolvarin;
using course_maker::CourseOptions;

struct Outcome {
  bool mapped = false, copied = false;
  std::map<std::int32_t, std::int32_t> questions, exams, images, activities;
  std::map<std::string, std::string> nodes;
};

class CopyTest : public TransferTest {
 protected:
  // A source course and an empty course beside it in the same installation.
  void Make(int questions = 200, std::uint32_t seed = 1) {
    made_ = Fresh({.seed = seed, .questions = questions});
    dest_ = course_maker::AddCourse(made_.install, "Chemistry", 4, "Chemistry");
    UseCourse(made_.install, dest_);
    Settings().Mode = 0;
    Settings().Operation = 2;
  }
  void HostSettings(const std::string& lines) {
    testing_support::WriteFile(made_.install.app + "/Kestal.INI", "[Edition]\r\nDatabasesPath=Databases\r\n\r\n[Tolvarin]\r\n" + lines);
  }
  Outcome Run() {
    Outcome o;
    OpenSource(made_.install.course);
    OpenDestination(dest_);
    SelectAllRecords();
    o.mapped = BuildMappings();
    if (o.mapped) o.copied = CopyTables();
    for (const auto& q : made_.content.questions) o.questions[q.id] = LookupNewID(kQuestsTable, q.id);
    for (const auto& e : made_.content.exams) o.exams[e.id] = LookupNewID(kExamsTable, e.id);
    for (const auto& a : made_.content.activities) o.activities[a.id] = LookupNewID(kTemplatesTable, a.id);
    for (std::int32_t i : made_.content.imageIds) o.images[i] = LookupNewID(kImageFiles, i);
    o.nodes = StandardNodeMap();
    UninitSrc();
    UninitDest();
    return o;
  }
  std::map<std::int32_t, std::string> QuestionTexts(const std::string& course) {
    std::map<std::int32_t, std::string> texts;
    for (const Row& r : ReadRows(course, "quests")) texts[Num(r.at("quest_id"))] = r.at("question");
    return texts;
  }
  // Appends a question (and its question type row) to a course.
  static void AddQuestion(const std::string& course, std::int32_t id, const std::string& text) {
    const xbase::Data4 q = xbase::d4open(Engine().EngineHandle, course + "/quests.dbf");
    xbase::d4appendStart(q, 0);
    xbase::d4blank(q);
    xbase::f4assign(xbase::d4field(q, "quest_id"), FormatID(id));
    xbase::f4memoAssign(xbase::d4field(q, "question"), text);
    xbase::d4append(q);
    xbase::d4close(q);
    const xbase::Data4 t = xbase::d4open(Engine().EngineHandle, course + "/questype.dbf");
    xbase::d4appendStart(t, 0);
    xbase::d4blank(t);
    xbase::f4assign(xbase::d4field(t, "quest_id"), FormatID(id));
    xbase::d4append(t);
    xbase::d4close(t);
  }
  static void SetQuestionText(const std::string& course, std::int32_t id, const std::string& text) {
    const xbase::Data4 q = xbase::d4open(Engine().EngineHandle, course + "/quests.dbf");
    xbase::d4tagSelect(q, xbase::d4tag(q, "QUEST_ID"));
    ASSERT_EQ(xbase::d4seek(q, FormatID(id)), 0);
    xbase::f4memoAssign(xbase::d4field(q, "question"), text);
    xbase::d4close(q);
  }

  course_maker::MadeCourse made_;
  std::string dest_;
};

// Into an empty course, every remap mode lands every row with the identifiers its
// rules name, and every reference in the destination points at a row there.
TEST_F(CopyTest, EveryRemapModeLandsEveryRowWithItsReferences) {
  struct Case {
    long mode;
    std::string settings;
  };
  const Case cases[] = {{1, ""},
                        {2, ""},
                        {3, ""},
                        {4, "RangeStart=300000\r\nRangeEnd=309999\r\n"},
                        {5, "RangeStart=100000\r\nRangeEnd=199999\r\n"},
                        {6, ""},
                        {7, "RangeStart=500000\r\n"}};
  for (const auto& c : cases) {
    SCOPED_TRACE("mode " + std::to_string(c.mode));
    Make();
    HostSettings(c.settings);
    Settings().ImportMode = c.mode;
    CourseRecord course;
    course.CourseID = 3;
    course.Path = dest_;
    SetCurrentCourse(course);
    const Outcome o = Run();
    ASSERT_TRUE(o.mapped);
    ASSERT_TRUE(o.copied);
    const auto& content = made_.content;
    EXPECT_EQ(ReadRows(dest_, "quests").size(), content.questions.size());
    EXPECT_EQ(ReadRows(dest_, "examques").size(), content.examQuestions.size());
    EXPECT_EQ(ReadRows(dest_, "sesresults").size(), content.results.size());
    EXPECT_EQ(ReadRows(dest_, "stanques").size(), content.links.size());
    // The activity the teacher deleted stays behind.
    const auto live = std::count_if(content.activities.begin(), content.activities.end(), [](const auto& a) { return !a.deleted; });
    EXPECT_EQ(ReadRows(dest_, "templates").size(), static_cast<std::size_t>(live));
    std::size_t attributes = 0;
    for (const char* t : {"charattributes", "enumattributes", "memoattributes"}) attributes += ReadRows(dest_, t).size();
    EXPECT_EQ(attributes, content.attributes.size());
    EXPECT_EQ(DanglingReferences(dest_), std::vector<std::string>{});

    std::int32_t expectedNext = 500000;
    for (const auto& q : content.questions) {
      const std::int32_t n = o.questions.at(q.id);
      switch (c.mode) {
        case 1: EXPECT_GE(n, 20000); break;
        case 2: EXPECT_TRUE(n >= 1 && n <= 19999) << n; break;
        case 3: EXPECT_EQ(n, q.id); break;
        case 4: EXPECT_TRUE(n >= 300000 && n <= 309999) << n; break;
        case 5: EXPECT_EQ(n, 100000 + q.id); break;
        case 6: EXPECT_EQ(n, 400000 + q.id); break;
        case 7: EXPECT_EQ(n, expectedNext++); break;
      }
    }
    // Each question's row holds its own text under its new identifier.
    const auto texts = QuestionTexts(dest_);
    for (const auto& q : content.questions)
      EXPECT_EQ(texts.at(o.questions.at(q.id)).rfind("Q" + std::to_string(q.id) + ":", 0), 0u);

    // Activities name the new identifiers of their questions, chains or not.
    const auto rows = ReadRows(dest_, "templates");
    for (const auto& a : content.activities) {
      if (a.deleted) continue;
      const auto row = std::find_if(rows.begin(), rows.end(),
                                    [&](const Row& r) { return Num(r.at("templateid")) == o.activities.at(a.id); });
      ASSERT_NE(row, rows.end()) << a.name;
      std::vector<std::string> expected;
      for (std::int32_t q : a.questionIds) expected.push_back(FormatID(o.questions.at(q)));
      EXPECT_EQ(Elements(row->at("blob"), "question_id"), expected) << a.name;
    }
    // Publisher images keep their number; user images follow the map, files included.
    for (const auto& [old, now] : o.images) {
      if (old < 20000 || c.mode == 3) {
        EXPECT_EQ(now, old);
      }
      EXPECT_NE(now, 0);
    }
    // User-made nodes of a tree whose destination has none start at 20001, consecutively,
    // identifiers kept or not.
    if (c.mode == 1 || c.mode == 3) {
      std::set<std::int32_t> tree1;
      for (const auto& [old, now] : o.nodes)
        if (ParseStandardKey(now).TreeID == 1) tree1.insert(ParseStandardKey(now).NodeID);
      ASSERT_FALSE(tree1.empty());
      EXPECT_EQ(*tree1.begin(), 20001);
      EXPECT_EQ(*tree1.rbegin(), 20000 + static_cast<std::int32_t>(tree1.size()));
    }
  }
}

TEST_F(CopyTest, NewIdentifiersNeverLandOnRowsTheDestinationHolds) {
  Make(200, 1);
  course_maker::FillCourse(dest_, {.seed = 2, .questions = 300});
  AddQuestion(dest_, 29999, "the window's last identifier, taken");
  const auto before = QuestionTexts(dest_);
  const auto examsBefore = ReadRows(dest_, "exams");
  const Outcome o = Run();
  ASSERT_TRUE(o.copied);
  const auto after = QuestionTexts(dest_);
  for (const auto& [id, text] : before) EXPECT_EQ(after.at(id), text) << id;
  EXPECT_EQ(after.size(), before.size() + made_.content.questions.size());
  EXPECT_EQ(ReadRows(dest_, "exams").size(), examsBefore.size() + made_.content.exams.size());
  for (const Row& e : examsBefore) {
    const auto rows = ReadRows(dest_, "exams");
    EXPECT_TRUE(std::any_of(rows.begin(), rows.end(), [&](const Row& r) { return r == e; })) << e.at("exam_id");
  }
  EXPECT_EQ(DanglingReferences(dest_), std::vector<std::string>{});
}

TEST_F(CopyTest, AnExhaustedWindowStopsBeforeAnythingIsWritten) {
  Make(200, 1);
  course_maker::FillCourse(dest_, {.seed = 2, .questions = 300});
  HostSettings("RangeStart=20000\r\nRangeEnd=20150\r\n");  // the destination's own questions fill it
  Settings().ImportMode = 4;
  const auto before = QuestionTexts(dest_);
  const Outcome o = Run();
  EXPECT_FALSE(o.mapped);
  EXPECT_EQ(QuestionTexts(dest_), before);
  ASSERT_EQ(presenter_->Shown().size(), 1u);
  EXPECT_EQ(presenter_->Shown()[0].box.text.rfind("There are no free identifiers left for new QUESTS rows", 0), 0u);
}

TEST_F(CopyTest, OverwriteQuestionsAreAskedInInteractiveRunsOnly) {
  for (const bool interactive : {true, false}) {
    SCOPED_TRACE(interactive ? "interactive" : "unattended");
    Make(60, 1);
    fs::remove_all(dest_);
    fs::copy(made_.install.course, dest_);  // the destination holds every row already
    SetQuestionText(dest_, 1, "changed one");
    SetQuestionText(dest_, 2, "changed two");
    Settings().ImportMode = 3;
    Settings().Interactive = interactive;
    SetUserAccessLevel(2);
    for (const char* answer : {"No", "Yes to All"}) presenter_->Push(answer);
    const Outcome o = Run();
    ASSERT_TRUE(o.copied);
    const auto texts = QuestionTexts(dest_);
    std::vector<std::string> overwrite;
    for (const auto& shown : presenter_->Shown())
      if (shown.box.title == "Overwrite") overwrite.push_back(shown.box.text);
    if (interactive) {
      ASSERT_EQ(overwrite.size(), 2u);
      EXPECT_EQ(overwrite[0],
                "This package file contains a question with ID# 0000001. A question with this same ID already exists "
                "in your database. Would you like to overwrite it?");
      EXPECT_EQ(texts.at(1), "changed one");  // No: left as it was
      EXPECT_EQ(o.questions.at(1), 0);
    } else {
      EXPECT_TRUE(presenter_->Shown().empty());
      EXPECT_EQ(texts.at(1).rfind("Q1:", 0), 0u);
    }
    EXPECT_EQ(texts.at(2).rfind("Q2:", 0), 0u);  // overwritten
    EXPECT_EQ(texts.size(), made_.content.questions.size());
    TearDown();
    SetUp();
  }
}

// Asked in an interactive import and in a game import, which runs unattended alike.
TEST_F(CopyTest, RemapFromIdWarnsBeforeOverwritingAndNoWritesNothing) {
  for (const bool gameImport : {false, true}) {
    SCOPED_TRACE(gameImport ? "game import" : "interactive import");
    Make(60, 1);
    // The destination holds the same questions (nothing else, so nothing is asked by name).
    for (const char* file : {"quests.dbf", "quests.cdx", "quests.fpt"})
      fs::copy_file(made_.install.course + "/" + file, dest_ + "/" + file, fs::copy_options::overwrite_existing);
    HostSettings("RangeStart=20000\r\n");
    Settings().ImportMode = 7;
    Settings().Interactive = !gameImport;
    Settings().GameImport = gameImport;
    SetQuestionText(dest_, 20000, "the teacher's own");
    presenter_->Push("No");
    const Outcome o = Run();
    EXPECT_TRUE(o.mapped);
    EXPECT_FALSE(o.copied);
    EXPECT_EQ(QuestionTexts(dest_).at(20000), "the teacher's own");
    ASSERT_FALSE(presenter_->Shown().empty());
    const std::string& text = presenter_->Shown().back().box.text;
    EXPECT_EQ(text.rfind("Importing these questions will overwrite the following question ids: \r\n\r\n0020000 0020001 ", 0), 0u);
    EXPECT_NE(text.find("\r\n\r\nAre you sure you want to continue?"), std::string::npos);
    TearDown();
    SetUp();
  }
}

TEST_F(CopyTest, UsersComeOnceAndOwnersFollowThem) {
  Make(60, 1);
  // The destination brand holds another user at 2: the teachers must move up.
  const std::string otherBrand = (temp_.path() / "Other/Databases/Corvane").string();
  fs::create_directories(otherBrand + "/Area");
  fs::copy(made_.install.blank + "/users.dbf", otherBrand + "/users.dbf");
  fs::copy(made_.install.blank + "/users.cdx", otherBrand + "/users.cdx");
  fs::remove_all(dest_);
  dest_ = otherBrand + "/Area/Course";
  fs::create_directories(dest_);
  for (const auto& e : fs::directory_iterator(made_.install.blank))
    if (e.path().filename().string() != "users.dbf" && e.path().filename().string() != "users.cdx")
      fs::copy(e.path(), dest_ + "/" + e.path().filename().string());
  {
    const xbase::Data4 u = xbase::d4open(Engine().EngineHandle, otherBrand + "/users.dbf");
    xbase::d4appendStart(u, 0);
    xbase::d4blank(u);
    xbase::f4assign(xbase::d4field(u, "user_id"), "0000002");
    xbase::f4assign(xbase::d4field(u, "user_name"), "ZHANG");
    xbase::d4append(u);
    xbase::d4close(u);
  }
  Settings().Interactive = true;
  SetUserAccessLevel(1);
  const Outcome o = Run();
  ASSERT_TRUE(o.copied);
  std::map<std::string, int> byName;
  std::map<std::string, std::int32_t> idOf;
  for (const Row& r : ReadRows(otherBrand, "users")) {
    ++byName[r.at("user_name")];
    idOf[r.at("user_name")] = Num(r.at("user_id"));
  }
  for (const char* name : {"LATSEK", "MENTOR", "ZHANG", "SMITH", "GARCIA", "NGUYEN", "OKAFOR"}) EXPECT_EQ(byName[name], 1) << name;
  EXPECT_EQ(idOf["ZHANG"], 2);
  EXPECT_GT(idOf["SMITH"], 2);
  // A question of SMITH (2 in the source) belongs to SMITH's new number.
  const auto smith = std::find_if(made_.content.questions.begin(), made_.content.questions.end(),
                                  [](const auto& q) { return q.userId == 2; });
  ASSERT_NE(smith, made_.content.questions.end());
  for (const Row& r : ReadRows(dest_, "quests"))
    if (Num(r.at("quest_id")) == o.questions.at(smith->id)) {
      EXPECT_EQ(Num(r.at("user_id")), idOf["SMITH"]);
    }
}

TEST_F(CopyTest, CancellingThePreviewWritesNothing) {
  Make(60, 1);
  Settings().Interactive = true;
  SetImportPreview([] { return false; });
  Outcome o = Run();
  SetImportPreview(nullptr);
  EXPECT_TRUE(o.mapped);
  EXPECT_FALSE(o.copied);
  EXPECT_TRUE(ReadRows(dest_, "quests").empty());
  presenter_->Push("Cancel");  // the stand-in box
  o = Run();
  EXPECT_FALSE(o.copied);
  EXPECT_TRUE(ReadRows(dest_, "quests").empty());
  EXPECT_EQ(presenter_->Shown().back().box.text, kPreviewText);
}

TEST_F(CopyTest, DuplicateQuestionsReuseTheDestinationsLastMatch) {
  Make(60, 1);
  fs::remove_all(dest_);
  fs::copy(made_.install.course, dest_);
  const auto& q = made_.content.questions.back();
  const std::string text = QuestionTexts(made_.install.course).at(q.id);
  AddQuestion(dest_, 29000, text);  // a later copy of the same question
  Settings().Interactive = true;
  OpenSource(made_.install.course);
  OpenDestination(dest_);
  SelectAllRecords();
  ASSERT_TRUE(BuildMappings());
  presenter_->Push("Yes");
  CheckDuplicateQuestions();
  EXPECT_EQ(LookupNewID(kQuestsTable, made_.content.questions[3].id), made_.content.questions[3].id);
  if (q.descriptId == 0) {
    EXPECT_EQ(LookupNewID(kQuestsTable, q.id), 29000);
  }
  EXPECT_EQ(LookupNewID(kQuesTypeTable, q.id), LookupNewID(kQuestsTable, q.id));
}

TEST_F(CopyTest, BackupsKeepEveryIdentifierAndGradebookClassesFollowTheRunKind) {
  Make(100, 1);
  {
    // A class the gradebook numbered above 99999, with one student.
    const xbase::Data4 k = xbase::d4open(Engine().EngineHandle, made_.install.course + "/classes.dbf");
    xbase::d4appendStart(k, 0);
    xbase::d4blank(k);
    xbase::f4assign(xbase::d4field(k, "class_id"), "0150000");
    xbase::d4append(k);
    xbase::d4close(k);
    const xbase::Data4 s = xbase::d4open(Engine().EngineHandle, made_.install.course + "/students.dbf");
    xbase::d4appendStart(s, 0);
    xbase::d4blank(s);
    xbase::f4assign(xbase::d4field(s, "student_id"), "0009000");
    xbase::f4assign(xbase::d4field(s, "class_id"), "0150000");
    xbase::d4append(s);
    xbase::d4close(s);
  }
  const auto mapOf = [&](int operation, bool interactive, long mode) {
    Settings().Operation = operation;
    Settings().Interactive = interactive;
    Settings().ImportMode = mode;
    OpenSource(made_.install.course);
    OpenDestination(dest_);
    SelectAllRecords();
    EXPECT_TRUE(BuildMappings());
    std::map<std::string, std::int32_t> r{{"class", LookupNewID(kClassesTable, 150000)},
                                          {"student", LookupNewID(kStudentsTable, 9000)},
                                          {"firstImage", 0}};
    for (const auto& q : made_.content.questions) EXPECT_EQ(operation == 1 ? LookupNewID(kQuestsTable, q.id) : q.id, q.id);
    for (std::int32_t i : made_.content.imageIds)
      if (operation == 1) {
        EXPECT_EQ(LookupNewID(kImageFiles, i), i);
      }
    // The lowest number a user picture (20000 and above) receives.
    std::int32_t lowest = 0;
    const IdMap& images = ImageMap();
    for (std::int32_t old = std::max(images.low(), 20000); !images.Empty() && old <= images.high(); ++old)
      if (images.Get(old) && (!lowest || images.Get(old) < lowest)) lowest = images.Get(old);
    r["firstImage"] = lowest;
    UninitSrc();
    UninitDest();
    return r;
  };
  auto r = mapOf(1, false, 2);  // a backup, whatever the remap mode says
  EXPECT_EQ(r["class"], 150000);
  r = mapOf(2, false, 1);
  EXPECT_EQ(r["class"], 150000);  // unattended: kept
  EXPECT_EQ(r["student"], 9000);
  r = mapOf(2, true, 1);
  EXPECT_EQ(r["class"], 0);  // interactive: left out, and its student with it
  EXPECT_EQ(r["student"], 0);
  // Into a course whose rows name no image below 18999 the first new one is 2, or the
  // first number above it that none of the package's publisher pictures keeps.
  std::int32_t first = 2;
  const auto& ids = made_.content.imageIds;
  while (std::find(ids.begin(), ids.end(), first) != ids.end()) ++first;
  r = mapOf(2, false, 2);
  EXPECT_EQ(r["firstImage"], first);
}

TEST(ActivityText, EveryElementIsRewrittenOnceEvenInChains) {
  ActivityReplacements r;
  r.questions = {{"0020000", "0020021"}, {"0020021", "0020042"}};
  r.nodes = {{"0020001", "0020002"}, {"20001", "20002"}, {"0020002", "0020003"}, {"20002", "20003"}};
  const std::pair<std::string, std::string> cases[] = {
      {"<question_id>0020000</question_id><question_id>0020021</question_id>",
       "<question_id>0020021</question_id><question_id>0020042</question_id>"},
      {"<node_id>20001</node_id><node_id>0020002</node_id>", "<node_id>20002</node_id><node_id>0020003</node_id>"},
      {"<question_id>20000</question_id>", "<question_id>20000</question_id>"},  // no leading zeros: left
      {"<QUESTION_ID>0020000</QUESTION_ID>", "<QUESTION_ID>0020000</QUESTION_ID>"},
      {"<question_id>0020000", "<question_id>0020000"},
      {"plain text", "plain text"},
  };
  for (const auto& [given, expected] : cases) EXPECT_EQ(RemapActivityText(given, r), expected) << given;

  // Into a live course, a question the import does not bring would name the course's
  // question of that number: it names none, and is counted; a text that is no
  // identifier, and none itself, stay.
  r.noneForOtherQuestions = true;
  int cut = 0;
  EXPECT_EQ(RemapActivityText("<question_id>0020000</question_id><question_id>0020077</question_id><question_id>"
                              "20077</question_id><question_id>0000000</question_id><node_id>0020077</node_id>",
                              r, &cut),
            "<question_id>0020021</question_id><question_id>0000000</question_id><question_id>20077</question_id>"
            "<question_id>0000000</question_id><node_id>0020077</node_id>");
  EXPECT_EQ(cut, 1);
  r.noneForOtherQuestions = false;

  testing_support::TempDir dir;
  const std::string lda = "<activity>\r\n<question_id>0020021</question_id>\r\n<node_id>20001</node_id>\r\n</activity>";
  testing_support::WriteFile(dir.path() / "one.lda", lda);
  testing_support::WriteFile(dir.path() / "two.LDA", "nothing to see\n");
  testing_support::WriteFile(dir.path() / "three.txt", lda);
  RemapActivityFiles(dir.str(), r);
  EXPECT_EQ(testing_support::ReadFile(dir.path() / "one.lda"),
            "<activity>\r\n<question_id>0020042</question_id>\r\n<node_id>20002</node_id>\r\n</activity>");
  EXPECT_EQ(testing_support::ReadFile(dir.path() / "two.LDA"), "nothing to see\n");
  EXPECT_EQ(testing_support::ReadFile(dir.path() / "three.txt"), lda);
}

// Another program appends to and reads the destination while the copy writes it.
TEST_F(CopyTest, APeerWritingTheDestinationMeanwhileLosesNoRowOnEitherSide) {
  Make(300, 1);
  const std::string path = dest_ + "/quests.dbf";
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    close(ready[0]);
    const xbase::Code4 code = xbase::d4init();
    xbase::code4autoOpen(code, 1);
    const xbase::Data4 q = xbase::d4open(code, path);
    if (q == 0) _exit(1);
    (void)!write(ready[1], "r", 1);
    for (int i = 0; i < 300; ++i) {
      xbase::d4appendStart(q, 0);
      xbase::d4blank(q);
      xbase::f4assign(xbase::d4field(q, "quest_id"), FormatID(700000 + i));
      xbase::f4memoAssign(xbase::d4field(q, "question"), "peer " + std::to_string(i));
      if (xbase::d4append(q) != 0) _exit(2);
      long seen = 0;
      for (int rc = xbase::d4top(q); rc == 0 && seen < 5; rc = xbase::d4skip(q, 1)) ++seen;
    }
    xbase::d4close(q);
    _exit(0);
  }
  close(ready[1]);
  char c = 0;
  pollfd p{ready[0], POLLIN, 0};
  ASSERT_GT(poll(&p, 1, 10000), 0);
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  close(ready[0]);
  const Outcome o = Run();
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  ASSERT_TRUE(o.copied);
  const auto texts = QuestionTexts(dest_);
  const auto live = std::count_if(made_.content.questions.begin(), made_.content.questions.end(),
                                  [](const auto& q) { return !q.deleted; });
  EXPECT_EQ(texts.size(), static_cast<std::size_t>(live) + 300);
  for (int i = 0; i < 300; ++i) EXPECT_EQ(texts.at(700000 + i), "peer " + std::to_string(i));
  for (const auto& q : made_.content.questions) {
    if (q.deleted) continue;
    EXPECT_EQ(texts.at(o.questions.at(q.id)).rfind("Q" + std::to_string(q.id) + ":", 0), 0u);
  }
}

}  // namespace
}  // namespace transfer_test
