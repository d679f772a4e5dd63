#include "data/question_object.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/text_cipher.h"
#include "data/codebase.h"
#include "data/record_ops.h"
#include "data/table_catalogue.h"
#include "data/table_registry.h"
#include "support/test_support.h"

namespace tolvarin {
namespace {

namespace fs = std::filesystem;

struct Question {
  const char* id;
  std::vector<std::string> answers;  // answer1 ..
  std::vector<std::string> refs;     // answer1pct ..
  const char* correct;
};

// The catalogue's questions table: the schema's table written by another program,
// emptied and filled with the questions below.
class Questions : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Engine().EngineHandle == 0) InitCodeBase();
    for (const char* name : {"quests.dbf", "quests.cdx", "quests.fpt"}) {
      fs::copy_file(testing_support::SharedDir() / "fixtures/xbase/peer-made" / name, dir_.path() / name);
      fs::permissions(dir_.path() / name, fs::perms::owner_write, fs::perm_options::add);
    }
    QuestsRecord& q = Catalogue().Quests;
    OpenQuestsTable(dir_.str(), q);
    ASSERT_NE(q.Data, 0);
    ASSERT_EQ(q.AnswerCount, 5);
    ZapTable(q.Data);
    const std::vector<Question> questions{
        {"0000001", {"Paris", "Lyon", "Nice"}, {}, "2"},
        {"0000002", {"yes", "no"}, {}, "*"},
        {"0000003", {"a", "b", "c", "d", "e"}, {}, "5"},
        {"0000004", {}, {"0000123", "0000124"}, "1"},
        {"0000005", {EncryptText("secret"), ""}, {}, "1"},
        {"0000006", {"x", "y"}, {}, "9"},
        {"0000007", {"a", "b", "c", "d", "e"}, {"0000201", "0000202", "0000203", "0000204", "0000205"}, "3"},
        {"0000008", {" ", ""}, {}, "1"},
    };
    for (const Question& question : questions) {
      AppendBlank(q.Data);
      xbase::f4assign(q.Quest_id, question.id);
      for (std::size_t i = 0; i < question.answers.size(); ++i) {
        xbase::f4memoAssign(q.AnswerField(static_cast<int>(i + 1)), question.answers[i]);
      }
      for (std::size_t i = 0; i < question.refs.size(); ++i) {
        xbase::f4assign(q.AnswerPctField(static_cast<int>(i + 1)), question.refs[i]);
      }
      xbase::f4assign(q.CorrectAns, question.correct);
      ASSERT_EQ(xbase::d4append(q.Data), 0);
    }
  }
  void TearDown() override { CloseTableRecord(Catalogue().Quests); }

  static bool Go(const char* id) {
    const QuestsRecord& q = Catalogue().Quests;
    return SeekTag(q.Data, q.Quest_idTag, id);
  }

  testing_support::TempDir dir_;
};

TEST(AnswerOrder, ForCount) {
  const struct {
    int count;
    const char* order;
  } cases[] = {{0, ""}, {1, ""}, {2, "12"}, {3, "123"}, {5, "12345"}, {7, "12345"}};
  for (const auto& c : cases) EXPECT_EQ(AnswerOrderForCount(c.count), c.order) << c.count;
}

TEST_F(Questions, CurrentRowAnswers) {
  const struct {
    const char* id;
    bool refs;
    bool notMultipleChoice;
    int count;
  } cases[] = {
      {"0000001", false, false, 3}, {"0000002", false, true, 2}, {"0000003", false, false, 5},
      {"0000004", true, false, 2},  {"0000005", false, false, 1}, {"0000006", false, true, 2},
      {"0000007", true, false, 5},  {"0000008", false, true, 0},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(Go(c.id));
    EXPECT_EQ(HasAnswerRefs(), c.refs) << c.id;
    EXPECT_EQ(IsNotMultipleChoice(), c.notMultipleChoice) << c.id;
    EXPECT_EQ(CountAnswerChoices(), c.count) << c.id;
  }
  // No current question: nothing can be asked of it.
  xbase::d4goEof(Catalogue().Quests.Data);
  EXPECT_TRUE(IsNotMultipleChoice());
  EXPECT_EQ(CountAnswerChoices(), 0);
}

TEST_F(Questions, LookupsByKeyReturnToTheFormerRecord) {
  ASSERT_TRUE(Go("0000006"));
  const long former = xbase::d4recNo(Catalogue().Quests.Data);
  EXPECT_EQ(GetNumAnswerChoices("0000001"), 3);
  EXPECT_EQ(GetNumAnswerChoices("0000099"), 0);
  EXPECT_EQ(DefaultAnswerOrder("0000003"), "12345");
  EXPECT_EQ(DefaultAnswerOrder("0000005"), "");
  EXPECT_EQ(GetCorrectAnswerPosition("0000001", "312"), 3);
  EXPECT_EQ(GetCorrectAnswerPosition("0000001", "123"), 2);
  EXPECT_EQ(GetCorrectAnswerPosition("0000002", "12"), kNoCorrectAnswer);
  EXPECT_EQ(GetCorrectAnswerPosition("0000006", "12"), kNoCorrectAnswer);
  EXPECT_EQ(xbase::d4recNo(Catalogue().Quests.Data), former);
}

TEST_F(Questions, AnswerFieldsFollowTheShownOrder) {
  ASSERT_TRUE(Go("0000001"));
  const QuestsRecord& q = Catalogue().Quests;
  EXPECT_EQ(AnswerTextFieldAt(1, "312"), q.Answer3);
  EXPECT_EQ(AnswerRefFieldAt(2, "312"), q.Answer1Pct);
  EXPECT_EQ(AnswerRefFieldAt(4), q.Answer4Pct);
  EXPECT_EQ(AnswerField(5), q.Answer5Pct);
  EXPECT_EQ(AnswerField(6), 0);
  EXPECT_EQ(TaggedAnswerText(1, "312"), "<answer1>Nice");
  ASSERT_TRUE(Go("0000005"));
  EXPECT_EQ(TaggedAnswerText(1, "12"), "<answer1>secret");
}

TEST(QuestionObjectState, FreshObjectAndResponses) {
  QuestionObject question;
  EXPECT_FALSE(question.WasAnswered());
  EXPECT_EQ(question.QuestReadingTime(), -1);
  EXPECT_EQ(question.AnswerReadingTime(), -1);
  EXPECT_EQ(question.AnswerTime(), -1);

  question.StudentResponse(49, 3);
  question.StudentAnswerTime(49, 12);
  question.StudentResponse(50, 4);  // outside the 49 slots
  question.StudentResponse(0, 4);
  EXPECT_TRUE(question.WasAnswered());
  EXPECT_EQ(question.StudentResponse(49), 3);
  EXPECT_EQ(question.StudentAnswerTime(49), 12);
  EXPECT_EQ(question.StudentResponse(50), 0);
  question.ClearStudentResponses();
  EXPECT_FALSE(question.WasAnswered());
  EXPECT_EQ(question.StudentAnswerTime(49), 0);
}

TEST(QuestionObjectState, CopyTakesTheTenValuesOnly) {
  QuestionObject question;
  question.QuestionKey("0000003");
  question.AnswerOrder("321");
  question.ExamQuestionKey("0000044");
  question.SessionQuestionKey("0000055");
  question.QuestionNumber(4);
  question.Version(2);
  question.AnswerChoiceLimit(3);
  question.Points(5);
  question.Flagged(true);
  question.Skipped(true);
  question.StudentResponse(1, 2);
  question.AnswerTime(30);

  const auto copy = question.Copy();
  EXPECT_EQ(copy->ToRecord(), question.ToRecord());
  EXPECT_EQ(copy->ToRecord().AnswerOrder, "321");
  EXPECT_FALSE(copy->WasAnswered());
  EXPECT_EQ(copy->AnswerTime(), -1);
}

TEST_F(Questions, ObjectAnswersThroughItsQuestion) {
  QuestionObject question;
  question.QuestionKey("0000001");
  question.AnswerOrder("312");
  EXPECT_EQ(question.GetQuestionCorrectAnswer(), 3);
  EXPECT_EQ(question.GetQuestionAnswer(1), "<answer1>Nice");
  EXPECT_EQ(question.GetNumQuestionAnswers(0), 3);
  EXPECT_EQ(question.GetNumQuestionAnswers(2), 2);

  question.QuestionKey("0000004");
  question.AnswerOrder("21");
  EXPECT_EQ(question.GetQuestionAnswer(1), "0000124");
  EXPECT_EQ(question.GetQuestionCorrectAnswer(), 2);

  // Five answers count as four when the answers have references.
  question.QuestionKey("0000007");
  EXPECT_EQ(question.GetNumQuestionAnswers(0), 4);
  question.QuestionKey("0000003");
  EXPECT_EQ(question.GetNumQuestionAnswers(0), 5);

  question.QuestionKey("0000000");
  EXPECT_EQ(question.GetQuestionCorrectAnswer(), kNoCorrectAnswer);
}

TEST_F(Questions, NarrowingTheChoicesNeverDropsTheCorrectAnswer) {
  for (int round = 0; round < 40; ++round) {
    QuestionObject question;
    question.QuestionKey("0000003");  // five answers, the fifth correct
    question.AnswerOrder(round % 2 ? "54321" : "");
    question.SetNumAnswerChoices(2 + round % 3);
    const std::string order = question.AnswerOrder();
    EXPECT_EQ(order.size(), static_cast<std::size_t>(2 + round % 3)) << order;
    EXPECT_NE(order.find('5'), std::string::npos) << order;
  }
  // Digits beyond the question's answers go first; 0 leaves the order alone.
  QuestionObject question;
  question.QuestionKey("0000001");
  question.AnswerOrder("54321");
  question.SetNumAnswerChoices(5);
  EXPECT_EQ(question.AnswerOrder(), "321");
  question.SetNumAnswerChoices(1);
  EXPECT_EQ(question.AnswerOrder(), "2");
  question.AnswerOrder("54321");
  question.SetNumAnswerChoices(0);
  EXPECT_EQ(question.AnswerOrder(), "54321");
}

}  // namespace
}  // namespace tolvarin
