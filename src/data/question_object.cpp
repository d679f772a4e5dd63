#include "data/question_object.h"

#include <algorithm>

#include "core/strings.h"
#include "core/text_cipher.h"
#include "data/codebase.h"
#include "data/record_ops.h"
#include "data/table_catalogue.h"
#include "data/table_registry.h"

namespace tolvarin {
namespace {

constexpr const char* kStoredOrder = "12345";

const QuestsRecord& Quests() { return Catalogue().Quests; }

bool OnRecord() {
  const xbase::Data4 data = Quests().Data;
  return data != 0 && xbase::d4recNo(data) > 0 && !xbase::d4eof(data);
}

bool RefPresent(int i) {
  const xbase::Field4 field = AnswerField(i);
  return field != 0 && !Trim(tolvarin::f4str(field)).empty();
}

// The answer's own text; an enciphered text counts as present as it stands.
bool TextPresent(int i) {
  const xbase::Field4 field = Quests().AnswerField(i);
  return field != 0 && !Trim(tolvarin::f4memoStr(field)).empty();
}

bool DecipheredTextPresent(int i) {
  const xbase::Field4 field = Quests().AnswerField(i);
  return field != 0 && !Trim(DecryptText(tolvarin::f4memoStr(field))).empty();
}

bool AnswerPresent(int i, bool refs) { return TextPresent(i) || (refs && RefPresent(i)); }

// The digit (1 to 5) an order shows at a position, 0 when it shows none there.
int DigitAt(int position, const std::string& answerOrder) {
  const std::string& order = answerOrder.empty() ? std::string(kStoredOrder) : answerOrder;
  if (position < 1 || position > static_cast<int>(order.size())) return 0;
  const char c = order[static_cast<std::size_t>(position - 1)];
  return (c >= '1' && c <= '5') ? c - '0' : 0;
}

// The questions table's place (record and order), put back when it goes out of scope.
class KeepPosition {
 public:
  KeepPosition() : data_(Quests().Data) {
    if (data_ == 0) return;
    recNo_ = xbase::d4recNo(data_);
    tag_ = xbase::d4tagSelected(data_);
  }
  ~KeepPosition() {
    if (data_ == 0) return;
    xbase::d4tagSelect(data_, tag_);
    if (GoRecord(data_, static_cast<std::int32_t>(recNo_)) != 0) xbase::d4goEof(data_);
  }
  KeepPosition(const KeepPosition&) = delete;
  KeepPosition& operator=(const KeepPosition&) = delete;

 private:
  xbase::Data4 data_;
  long recNo_ = 0;
  xbase::Tag4 tag_ = 0;
};

bool SeekQuestion(const std::string& questionKey) {
  const QuestsRecord& q = Quests();
  if (q.Data == 0) return false;
  return SeekTag(q.Data, q.Quest_idTag, questionKey);
}

}  // namespace

bool HasAnswerRefs() {
  if (!OnRecord()) return false;
  for (int i = 1; i <= Quests().AnswerCount; ++i) {
    if (RefPresent(i)) return true;
  }
  return false;
}

bool IsNotMultipleChoice() {
  if (!OnRecord()) return true;
  const std::string correct = Trim(tolvarin::f4str(Quests().CorrectAns));
  if (correct.empty() || correct == "*" || TextValue(correct) >= 9) return true;
  if (HasAnswerRefs()) return !RefPresent(1) && !RefPresent(2);
  return !DecipheredTextPresent(1) && !DecipheredTextPresent(2);
}

std::int16_t CountAnswerChoices() {
  if (!OnRecord()) return 0;
  const bool refs = HasAnswerRefs();
  std::int16_t count = 0;
  while (count < 4 && AnswerPresent(count + 1, refs)) ++count;
  if (count == 4 && AnswerPresent(5, refs)) count = 5;
  return count;
}

std::int16_t GetNumAnswerChoices(const std::string& questionKey) {
  KeepPosition keep;
  // A key that is not there must not count the neighbouring question's answers.
  if (!SeekQuestion(questionKey)) return 0;
  return CountAnswerChoices();
}

xbase::Field4 AnswerField(int i) {
  if (i < 1 || i > 5) return 0;
  return Quests().AnswerPctField(i);
}

std::int16_t GetCorrectAnswerIndex(const std::string& answerOrder) {
  if (IsNotMultipleChoice()) return kNoCorrectAnswer;
  const std::string correct = Trim(tolvarin::f4str(Quests().CorrectAns));
  const std::string order = answerOrder.empty() ? std::string(kStoredOrder) : answerOrder;
  const std::size_t at = order.find(correct.substr(0, 1));
  return at == std::string::npos ? 0 : static_cast<std::int16_t>(at + 1);
}

std::int16_t GetCorrectAnswerPosition(const std::string& questionKey, const std::string& answerOrder) {
  KeepPosition keep;
  if (!SeekQuestion(questionKey)) return kNoCorrectAnswer;
  return GetCorrectAnswerIndex(answerOrder);
}

std::string AnswerOrderForCount(int count) {
  if (count <= 1) return "";
  return std::string(kStoredOrder).substr(0, static_cast<std::size_t>(std::min(count, 5)));
}

std::string DefaultAnswerOrder(const std::string& questionKey) {
  return AnswerOrderForCount(GetNumAnswerChoices(questionKey));
}

xbase::Field4 AnswerTextFieldAt(int position, const std::string& answerOrder) {
  return Quests().AnswerField(DigitAt(position, answerOrder));
}

xbase::Field4 AnswerRefFieldAt(int position, const std::string& answerOrder) {
  return AnswerField(DigitAt(position, answerOrder));
}

std::string TaggedAnswerText(int n, const std::string& answerOrder) {
  const xbase::Field4 field = AnswerTextFieldAt(n, answerOrder);
  const std::string text = field != 0 ? DecryptText(tolvarin::f4memoStr(field)) : std::string();
  return "<answer" + std::to_string(n) + ">" + text;
}

void QuestionObject::Class_Initialize() {
  questReadingTime_ = -1;
  answerReadingTime_ = -1;
  answerTime_ = -1;
}

std::int16_t QuestionObject::StudentResponse(int i) const {
  return (i >= 1 && i <= kResponseSlots) ? responses_[static_cast<std::size_t>(i - 1)] : 0;
}

void QuestionObject::StudentResponse(int i, std::int16_t value) {
  if (i >= 1 && i <= kResponseSlots) responses_[static_cast<std::size_t>(i - 1)] = value;
}

std::int16_t QuestionObject::StudentAnswerTime(int i) const {
  return (i >= 1 && i <= kResponseSlots) ? answerTimes_[static_cast<std::size_t>(i - 1)] : 0;
}

void QuestionObject::StudentAnswerTime(int i, std::int16_t value) {
  if (i >= 1 && i <= kResponseSlots) answerTimes_[static_cast<std::size_t>(i - 1)] = value;
}

bool QuestionObject::WasAnswered() const {
  for (const std::int16_t response : responses_) {
    if (response > 0) return true;
  }
  return false;
}

std::unique_ptr<QuestionObject> QuestionObject::Copy() const {
  auto copy = std::make_unique<QuestionObject>();
  copy->values_ = values_;
  return copy;
}

std::int16_t QuestionObject::GetNumQuestionAnswers(std::int16_t max) const {
  std::int16_t count = 0;
  {
    KeepPosition keep;
    if (!SeekQuestion(values_.QuestionKey)) return 0;
    count = CountAnswerChoices();
    // The fifth answer has no picture of its own in the answer layouts with pictures.
    if (count == 5 && HasAnswerRefs()) count = 4;
  }
  if (max >= 1 && count > max) count = max;
  return count;
}

std::int16_t QuestionObject::GetQuestionCorrectAnswer() const {
  if (TextValue(values_.QuestionKey) == 0) return kNoCorrectAnswer;
  return GetCorrectAnswerPosition(values_.QuestionKey, values_.AnswerOrder);
}

std::string QuestionObject::GetQuestionAnswer(int i) const {
  KeepPosition keep;
  if (!SeekQuestion(values_.QuestionKey)) return "";
  if (HasAnswerRefs()) {
    const xbase::Field4 field = AnswerRefFieldAt(i, values_.AnswerOrder);
    return field != 0 ? tolvarin::f4str(field) : std::string();
  }
  return TaggedAnswerText(i, values_.AnswerOrder);
}

void QuestionObject::SetNumAnswerChoices(int n) {
  KeepPosition keep;
  if (!SeekQuestion(values_.QuestionKey)) return;
  const int count = CountAnswerChoices();
  if (count < 2 || n == 0) return;

  std::string& order = values_.AnswerOrder;
  if (static_cast<int>(order.size()) < count) order = AnswerOrderForCount(count);
  std::string kept;
  for (const char c : order) {
    if (c >= '1' && c - '0' <= count) kept += c;
  }
  order = kept;
  while (static_cast<int>(order.size()) > n) {
    const std::size_t before = order.size();
    RemoveRandomWrongAnswer();
    if (order.size() == before) break;  // only the correct answer is left
  }
}

void QuestionObject::RemoveRandomWrongAnswer() {
  std::string& order = values_.AnswerOrder;
  const int correct = GetCorrectAnswerIndex(order);
  const int positions = static_cast<int>(order.size());
  const int candidates = positions - ((correct >= 1 && correct <= positions) ? 1 : 0);
  if (candidates < 1) return;
  long pick = RandomInteger(1, candidates);
  for (int position = 1; position <= positions; ++position) {
    if (position == correct) continue;
    if (--pick == 0) {
      order.erase(static_cast<std::size_t>(position - 1), 1);
      return;
    }
  }
}

void QuestionObject::ClearStudentResponses() {
  responses_.fill(0);
  answerTimes_.fill(0);
}

}  // namespace tolvarin
