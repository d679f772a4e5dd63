#pragma once
// The answer-choice state of one multiple-choice question as a test taker meets it,
// and questions about the current row of the questions table: how many answer
// choices it has, whether it is multiple choice, where its correct answer is shown.
//
// An answer order is a text of the digits "1" to "5", one per shown position; the
// digit names the stored answer shown there ("12345" is the stored order). The
// routines work on the catalogue's questions table.
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/xbase/xbase.h"

namespace tolvarin {

// The correct position given when a question is not multiple choice.
inline constexpr std::int16_t kNoCorrectAnswer = 10;

// On the current question row.
bool HasAnswerRefs();
bool IsNotMultipleChoice();
std::int16_t CountAnswerChoices();
// Seek the question by its key text and return to the former record afterwards.
std::int16_t GetNumAnswerChoices(const std::string& questionKey);
std::int16_t GetCorrectAnswerPosition(const std::string& questionKey, const std::string& answerOrder);
std::string DefaultAnswerOrder(const std::string& questionKey);

// The reference (picture) field of answer i, 1 to 5; 0 outside or when not bound.
xbase::Field4 AnswerField(int i);
// The shown position (1-based) of the correct answer in the order; 10 when the
// current question is not multiple choice, 0 when the order does not show it.
std::int16_t GetCorrectAnswerIndex(const std::string& answerOrder);
// The first count characters of "12345"; "" for 1 (a single choice is not shuffled).
std::string AnswerOrderForCount(int count);
// The text / reference field of the answer shown at a position of the order.
xbase::Field4 AnswerTextFieldAt(int position, const std::string& answerOrder);
xbase::Field4 AnswerRefFieldAt(int position, const std::string& answerOrder = "12345");
// "<answer" n ">" followed by the deciphered text of the answer shown at position n.
std::string TaggedAnswerText(int n, const std::string& answerOrder);

// The object's public values packed together.
struct QuestionRecord {
  std::string QuestionKey;
  std::string AnswerOrder;
  std::string ExamQuestionKey;
  std::string SessionQuestionKey;
  std::int16_t QuestionNumber = 0;
  std::int16_t Version = 0;
  std::int16_t AnswerChoiceLimit = 0;
  std::int16_t Points = 0;
  bool Flagged = false;
  bool Skipped = false;
  friend bool operator==(const QuestionRecord&, const QuestionRecord&) = default;
};

class QuestionObject {
 public:
  static constexpr int kResponseSlots = 49;

  QuestionObject() { Class_Initialize(); }
  void Class_Initialize();

  // The ten public values.
  const std::string& QuestionKey() const { return values_.QuestionKey; }
  void QuestionKey(const std::string& v) { values_.QuestionKey = v; }
  const std::string& AnswerOrder() const { return values_.AnswerOrder; }
  void AnswerOrder(const std::string& v) { values_.AnswerOrder = v; }
  const std::string& ExamQuestionKey() const { return values_.ExamQuestionKey; }
  void ExamQuestionKey(const std::string& v) { values_.ExamQuestionKey = v; }
  const std::string& SessionQuestionKey() const { return values_.SessionQuestionKey; }
  void SessionQuestionKey(const std::string& v) { values_.SessionQuestionKey = v; }
  std::int16_t QuestionNumber() const { return values_.QuestionNumber; }
  void QuestionNumber(std::int16_t v) { values_.QuestionNumber = v; }
  std::int16_t Version() const { return values_.Version; }
  void Version(std::int16_t v) { values_.Version = v; }
  std::int16_t AnswerChoiceLimit() const { return values_.AnswerChoiceLimit; }
  void AnswerChoiceLimit(std::int16_t v) { values_.AnswerChoiceLimit = v; }
  std::int16_t Points() const { return values_.Points; }
  void Points(std::int16_t v) { values_.Points = v; }
  bool Flagged() const { return values_.Flagged; }
  void Flagged(bool v) { values_.Flagged = v; }
  bool Skipped() const { return values_.Skipped; }
  void Skipped(bool v) { values_.Skipped = v; }

  // Responses and their times, slots 1 to 49; 0 (and no change) outside.
  std::int16_t StudentResponse(int i) const;
  void StudentResponse(int i, std::int16_t value);
  std::int16_t StudentAnswerTime(int i) const;
  void StudentAnswerTime(int i, std::int16_t value);
  // True when any response is above 0.
  bool WasAnswered() const;
  // -1 until set.
  std::int16_t QuestReadingTime() const { return questReadingTime_; }
  void QuestReadingTime(std::int16_t v) { questReadingTime_ = v; }
  std::int16_t AnswerReadingTime() const { return answerReadingTime_; }
  void AnswerReadingTime(std::int16_t v) { answerReadingTime_ = v; }
  std::int16_t AnswerTime() const { return answerTime_; }
  void AnswerTime(std::int16_t v) { answerTime_ = v; }

  // A new object with the same ten public values (responses and times fresh).
  std::unique_ptr<QuestionObject> Copy() const;
  // The question's number of answer choices, at most max when max is 1 or more; five
  // choices count as four when the question has answer references.
  std::int16_t GetNumQuestionAnswers(std::int16_t max) const;
  // 10 when the key is 0; else the shown position of the correct answer.
  std::int16_t GetQuestionCorrectAnswer() const;
  // The answer reference, or the tagged answer text, shown at position i.
  std::string GetQuestionAnswer(int i) const;
  // Narrows the order to n choices: answers beyond the question's count go, then
  // random wrong answers until n remain; the correct answer always stays.
  void SetNumAnswerChoices(int n);
  void ClearStudentResponses();

  QuestionRecord ToRecord() const { return values_; }

 private:
  void RemoveRandomWrongAnswer();

  QuestionRecord values_;
  std::array<std::int16_t, kResponseSlots> responses_{};
  std::array<std::int16_t, kResponseSlots> answerTimes_{};
  std::int16_t questReadingTime_ = -1;
  std::int16_t answerReadingTime_ = -1;
  std::int16_t answerTime_ = -1;
};

}  // namespace tolvarin
