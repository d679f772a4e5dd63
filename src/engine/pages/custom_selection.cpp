#include "engine/pages/custom_selection.h"

#include <algorithm>
#include <charconv>
#include <functional>

#include "core/box_buttons.h"
#include "core/settings.h"
#include "core/strings.h"
#include "core/system_box.h"
#include "core/text_cipher.h"
#include "core/window_helpers.h"
#include "data/codebase.h"
#include "data/id_ranges.h"
#include "data/key_text.h"
#include "engine/modes/login.h"
#include "engine/transfer/database_sets.h"
#include "engine/transfer/selection.h"
#include "engine/transfer/table_access.h"
#include "engine/transfer/table_mapping.h"

namespace tolvarin {
namespace {

using transfer::Number;
using transfer::Seek;

constexpr std::int32_t kGradebookClass = 10000;    // sessions of the gradebook's own classes
constexpr std::int32_t kHighestListedClass = 99999;

// Every row with the key in the tag, in tag order; fn reads the current row.
void ForEachMatch(xbase::Data4 data, xbase::Tag4 tag, const std::string& key, const std::function<void()>& fn) {
  if (!Seek(data, tag, key)) return;
  do fn();
  while (xbase::d4seekNext(data, key) == xbase::kSuccess);
}

// Every row from the current one to the end in the selected order.
void ForEachFrom(xbase::Data4 data, int rc, const std::function<void()>& fn) {
  for (; rc == xbase::kSuccess; rc = xbase::d4skip(data, 1)) fn();
}

void ForEachInRecordOrder(xbase::Data4 data, const std::function<void()>& fn) {
  if (data == 0) return;
  xbase::d4tagSelect(data, 0);
  ForEachFrom(data, xbase::d4top(data), fn);
}

std::vector<SelectItem> QuestionItems() {
  std::vector<SelectItem> items;
  const QuestsRecord& q = Src().Quests;
  const TableMapping& m = Mapping(kQuestsTable);
  if (q.Data == 0 || q.Quest_idTag == 0) return items;
  xbase::d4tagSelect(q.Data, q.Quest_idTag);
  int rc = xbase::d4seek(q.Data, FormatID(m.SrcFirstID));
  if (rc == xbase::kAfter) rc = xbase::kSuccess;
  for (; rc == xbase::kSuccess && Number(q.Quest_id) <= m.SrcLastID; rc = xbase::d4skip(q.Data, 1)) {
    if (xbase::d4deleted(q.Data)) continue;
    std::string text = f4str(q.Quest_id) + ": " + DecryptText(f4memoStr(q.Question));
    for (int k = 1; k <= 5; ++k) {
      const std::string answer = q.AnswerField(k) ? DecryptText(f4memoStr(q.AnswerField(k))) : std::string();
      if (!answer.empty()) text += " " + std::to_string(k) + ") " + answer;
    }
    items.push_back({std::move(text), Number(q.Quest_id)});
  }
  return items;
}

std::vector<SelectItem> ExamItems() {
  std::vector<SelectItem> items;
  const ExamsRecord& e = Src().Exams;
  if (e.Data == 0) return items;
  const std::int32_t first = Mapping(kExamsTable).SrcFirstID;
  xbase::d4tagSelect(e.Data, e.DateTag);
  ForEachFrom(e.Data, xbase::d4top(e.Data), [&] {
    if (!xbase::d4deleted(e.Data) && Number(e.Exam_id) >= first)
      items.push_back({f4str(e.Name) + " " + FormatDbDate(f4str(e.Date)), Number(e.Exam_id)});
  });
  return items;
}

// The classes the user may back up: all of them for a user who may edit passwords,
// else the user's own; gradebook classes (100000 and above) never.
std::vector<SelectItem> ClassItems() {
  std::vector<SelectItem> items;
  const ClassesRecord& c = Src().Classes;
  const auto add = [&] {
    if (!xbase::d4deleted(c.Data) && Number(c.Class_id) <= kHighestListedClass) items.push_back({f4str(c.Section), Number(c.Class_id)});
  };
  if (UserAccessLevel() == 1)
    ForEachInRecordOrder(c.Data, add);
  else
    ForEachMatch(c.Data, c.User_idTag, CurrentUser().UserID, add);
  return items;
}

std::vector<SelectItem> StudentItems() {
  std::vector<SelectItem> items;
  const StudentsRecord& s = Src().Students;
  for (const SelectItem& klass : ClassItems())
    ForEachMatch(s.Data, s.Class_idTag, FormatID(klass.id), [&] {
      if (!xbase::d4deleted(s.Data) && Number(s.Class_id) <= kHighestListedClass)
        items.push_back({Trim(f4str(s.Last_name)) + ", " + Trim(f4str(s.First_name)), Number(s.Student_id)});
    });
  return items;
}

std::vector<SelectItem> SessionItems() {
  std::vector<SelectItem> rows;
  const SessionsRecord& s = Src().Sessions;
  ForEachInRecordOrder(s.Data, [&] {
    if (!xbase::d4deleted(s.Data)) rows.push_back({f4str(s.Name), Number(s.Session_id)});
  });
  // The link moves the sessions table, so it is asked once every row is read.
  std::vector<SelectItem> items;
  for (SelectItem& row : rows)
    if (TextValue(FindGradebookLink(FormatID(row.id))) < kGradebookClass) items.push_back(std::move(row));
  return items;
}

std::vector<SelectItem> ActivityItems() {
  std::vector<SelectItem> items;
  const TemplatesRecord& t = Src().Templates;
  ForEachMatch(t.Data, t.User_idTag, CurrentUser().UserID, [&] {
    const std::string name = f4str(t.Name);
    if (!xbase::d4deleted(t.Data) && !Trim(name).empty() && name[0] != '%') items.push_back({name, Number(t.TemplateID)});
  });
  return items;
}

// A whole number from 1, digits only around blanks; 0 for anything else.
std::int32_t TypedIdentifier(const std::string& text) {
  const std::string digits = Trim(text);
  std::int32_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() || value < 1) return 0;
  return value;
}

}  // namespace

int SelectList::SelectedCount() const {
  return static_cast<int>(std::count_if(items.begin(), items.end(), [](const SelectItem& i) { return i.selected; }));
}

int SelectList::IndexOf(std::int32_t id) const {
  const auto it = std::find_if(items.begin(), items.end(), [&](const SelectItem& i) { return i.id == id; });
  return it == items.end() ? -1 : static_cast<int>(it - items.begin());
}

SelectCaptions CaptionsFor(std::int32_t kind) {
  switch (kind) {
    case kKindQuestions: return {"Questions to back up:", "Selected Questions:", "Enter Question ID:"};
    case kKindExams: return {"Kestal Test Maker Exams to back up:", "Selected Exams:", "Enter Exam ID:"};
    case kKindSessions: return {"Graded sessions to back up:", "Selected Sessions:", "Enter Session ID:"};
    case kKindClasses: return {"Classes to back up:", "Selected Classes:", "Enter Classes ID:"};
    case kKindStudents: return {"Students to back up:", "Selected Students:", "Enter Students ID:"};
    case kKindActivities:
      return {"Activities saved to database to back up:", "Selected Activities:", "Enter Template ID:"};
    default: return {};
  }
}

std::vector<std::int32_t> ListKindsFor(bool testContent, bool gradebookContent) {
  if (testContent && gradebookContent) return {10, 11, 13, 7, 5, 1};
  if (gradebookContent) return {10, 11, 13, 7, 1};
  if (testContent) return {5, 1};
  return {};
}

int LastSubPageFor(bool testContent, bool gradebookContent) {
  if (!gradebookContent) return 0;
  return testContent ? 2 : 1;
}

std::vector<std::int32_t> SubPageKinds(bool testContent, bool gradebookContent, int subPage) {
  if (!gradebookContent) return testContent && subPage == 0 ? std::vector<std::int32_t>{5, 1} : std::vector<std::int32_t>{};
  if (subPage == 0) return {10, 11};
  if (!testContent) return subPage == 1 ? std::vector<std::int32_t>{13, 7, 1} : std::vector<std::int32_t>{};
  if (subPage == 1) return {7, 5};
  if (subPage == 2) return {13, 1};
  return {};
}

std::string SubPageInstructions(bool testContent, bool gradebookContent, int subPage) {
  if (!gradebookContent)
    return testContent && subPage == 0
               ? "Select the user-made exams and questions that you wish to back up.  If you select an exam, the "
                 "user-made questions it contains will be automatically selected for you."
               : "";
  if (subPage == 0)
    return "Select the classes and students that you wish to back up.  If you select a class, the students in "
           "that class will be automatically selected for you.";
  if (!testContent)
    return subPage == 1 ? "Select the activities, sessions, and user-made questions that you wish to back up. If "
                          "you select a session, the user-made questions used by that session will be "
                          "automatically selected for you."
                        : "";
  if (subPage == 1)
    return "Select the sessions and exams that you wish to back up. If you select a session or exam, the "
           "user-made questions that it uses will be automatically selected for you.";
  if (subPage == 2) return "Select the activities and user-made questions that you wish to back up.";
  return "";
}

std::vector<SelectItem> FillSelectList(std::int32_t kind) {
  switch (kind) {
    case kKindQuestions: return QuestionItems();
    case kKindExams: return ExamItems();
    case kKindSessions: return SessionItems();
    case kKindClasses: return ClassItems();
    case kKindStudents: return StudentItems();
    case kKindActivities: return ActivityItems();
    default: return {};
  }
}

void CustomSelection::Load() {
  const WaitCursor wait;
  const RunSettings& s = Settings();
  testContent_ = s.IncludeTestContent;
  gradebookContent_ = s.IncludeGradebookContent;
  lastSubPage_ = LastSubPageFor(testContent_, gradebookContent_);
  subPage_ = 0;
  extras_.clear();
  handedOver_.clear();
  refused_ = messagesSuppressed_ = false;
  lists_.clear();
  for (std::int32_t kind : ListKindsFor(testContent_, gradebookContent_)) lists_.push_back({kind, FillSelectList(kind)});
  sessionClassKeys_.clear();
  if (const SelectList* sessions = ListForKind(kKindSessions))
    for (const SelectItem& item : sessions->items) sessionClassKeys_.push_back(FindGradebookLink(FormatID(item.id)));
  PageResult() = -1;
}

SelectList* CustomSelection::ListForKind(std::int32_t kind) {
  const int set = SetOfKind(kind);
  return set < 0 ? nullptr : &lists_[static_cast<std::size_t>(set)];
}

int CustomSelection::SetOfKind(std::int32_t kind) const {
  for (std::size_t i = 0; i < lists_.size(); ++i)
    if (lists_[i].kind == kind) return static_cast<int>(i);
  return -1;
}

std::vector<std::size_t> CustomSelection::SetsOnPage() const {
  std::vector<std::size_t> sets;
  const std::vector<std::int32_t> kinds = SubPageKinds(testContent_, gradebookContent_, subPage_);
  for (std::size_t i = 0; i < lists_.size(); ++i)
    if (std::find(kinds.begin(), kinds.end(), lists_[i].kind) != kinds.end()) sets.push_back(i);
  return sets;
}

std::string CustomSelection::Instructions() const {
  return SubPageInstructions(testContent_, gradebookContent_, subPage_);
}

void CustomSelection::Click(std::size_t set, int row, bool selected) {
  if (set >= lists_.size()) return;
  SelectList& list = lists_[set];
  if (row < 0 || row >= static_cast<int>(list.items.size())) return;
  list.items[static_cast<std::size_t>(row)].selected = selected;
  list.current = row;
  RunItemRules(set);
}

void CustomSelection::RunItemRules(std::size_t set) {
  SelectList& list = lists_[set];
  if (list.items.empty()) return;
  if (list.current < 0) list.current = 0;
  const SelectItem& item = list.items[static_cast<std::size_t>(list.current)];
  switch (list.kind) {
    case kKindClasses: {
      const WaitCursor wait;
      SelectClassMembers(item, item.selected);
      break;
    }
    case kKindQuestions: {
      refused_ = false;
      bool reselected = false;
      for (SelectItem& q : list.items)
        if (q.isProtected && !q.selected) q.selected = reselected = true;
      if (reselected && !messagesSuppressed_) {
        FacilityMessageBox(kProtectedQuestionText, kMbOkOnly);
        refused_ = true;
      }
      break;
    }
    case kKindExams:
    case kKindSessions:
    case kKindActivities: {
      const WaitCursor wait;
      const bool state = item.selected;
      bool keep = false;
      if (Settings().OfficeMode == 1 && !state)
        keep = FacilityMessageBox(kDeselectQuestionsText, kMbYesNo | kMbQuestion) == kIdNo;
      SelectUsedQuestions(list.kind, item.id, state, keep);
      break;
    }
    default: break;
  }
}

void CustomSelection::SelectUsedQuestions(std::int32_t kind, std::int32_t id, bool state, bool keep) {
  std::vector<std::int32_t> used;
  const DatabaseSet& s = Src();
  if (kind == kKindExams) used = GetLinkedIDsBySecondKey(id, s.ExamQues);
  if (kind == kKindSessions) used = GetLinkedIDsByFirstKey(id, s.SesQuests);
  if (kind == kKindActivities) used = GetActivityQuestionIDs(id, s.Templates);
  SelectList* questions = ListForKind(kKindQuestions);
  for (std::int32_t q : used) {
    const int row = questions ? questions->IndexOf(q) : -1;
    if (row >= 0) {
      SelectItem& item = questions->items[static_cast<std::size_t>(row)];
      item.isProtected = state;
      if (!keep) item.selected = state;
    } else if (state) {
      const auto at = std::lower_bound(extras_.begin(), extras_.end(), q);
      if (std::find(extras_.begin(), extras_.end(), q) == extras_.end()) extras_.insert(at, q);
    } else if (const auto at = std::find(extras_.begin(), extras_.end(), q); at != extras_.end()) {
      extras_.erase(at);
    }
  }
}

void CustomSelection::SelectClassMembers(const SelectItem& klass, bool state) {
  if (!Settings().IncludeGradebookContent) return;
  if (SelectList* students = ListForKind(kKindStudents)) {
    const StudentsRecord& s = Src().Students;
    ForEachMatch(s.Data, s.Class_idTag, FormatID(klass.id), [&] {
      const std::int32_t student = Number(s.Student_id);
      const int row = student >= 1 ? students->IndexOf(student) : -1;
      if (row >= 0) students->items[static_cast<std::size_t>(row)].selected = state;
    });
  }
  if (SelectList* sessions = ListForKind(kKindSessions)) {
    const std::string key = FormatID(klass.id);
    for (std::size_t i = 0; i < sessions->items.size() && i < sessionClassKeys_.size(); ++i)
      if (sessionClassKeys_[i] == key) sessions->items[i].selected = state;
  }
}

void CustomSelection::SelectAll(std::size_t set) {
  if (set >= lists_.size()) return;
  for (SelectItem& item : lists_[set].items) item.selected = true;
  RunItemRules(set);
}

void CustomSelection::Invert(std::size_t set) {
  if (set >= lists_.size()) return;
  messagesSuppressed_ = true;
  for (SelectItem& item : lists_[set].items) item.selected = !item.selected;
  RunItemRules(set);
  messagesSuppressed_ = false;
}

void CustomSelection::DeselectAll(std::size_t set) {
  if (set >= lists_.size()) return;
  SelectList& list = lists_[set];
  for (std::size_t i = 0; i < list.items.size(); ++i) {
    list.items[i].selected = false;
    list.current = static_cast<int>(i);
    RunItemRules(set);
    if (refused_) {
      refused_ = false;
      return;
    }
  }
  RunItemRules(set);
}

void CustomSelection::EnterID(std::size_t set, const std::string& text) {
  if (set >= lists_.size() || lists_[set].kind != kKindQuestions) return;
  const std::int32_t id = TypedIdentifier(text);
  if (id == 0) return;
  SelectList& list = lists_[set];
  if (const int row = list.IndexOf(id); row >= 0) {
    Click(set, row, !list.items[static_cast<std::size_t>(row)].selected);
    return;
  }
  if (Settings().OfficeMode == 1 && std::find(extras_.begin(), extras_.end(), id) == extras_.end())
    extras_.push_back(id);
}

PageStep CustomSelection::Back() {
  if (subPage_ == 0) return PageStep::Leave;
  --subPage_;
  return PageStep::Stay;
}

PageStep CustomSelection::Continue() {
  if (subPage_ < lastSubPage_) {
    ++subPage_;
    return PageStep::Stay;
  }
  return HandOver() ? PageStep::Done : PageStep::Stay;
}

bool CustomSelection::HandOver() {
  const bool anything = !extras_.empty() || std::any_of(lists_.begin(), lists_.end(), [](const SelectList& l) {
    return l.SelectedCount() > 0;
  });
  // An empty package would be reported as made: the user chooses again instead.
  if (!anything) {
    FacilityMessageBox(kNothingSelectedText, kMbOkOnly | kMbExclamation);
    return false;
  }
  Diagnostic("Last Continue Clicked");
  {
    const WaitCursor wait;
    for (std::int32_t kind : {kKindActivities, kKindSessions, kKindExams})
      if (const SelectList* list = ListForKind(kind))
        for (const SelectItem& item : list->items)
          if (item.selected) SelectUsedQuestions(kind, item.id, true, false);
  }
  Diagnostic("Finished updating IDs");
  handedOver_.clear();
  for (std::int32_t id : extras_) handedOver_.emplace_back(kKindQuestions, id);
  for (const SelectList& list : lists_)
    for (const SelectItem& item : list.items)
      if (item.selected) handedOver_.emplace_back(list.kind, item.id);
  ResetSelections();
  for (const auto& [kind, id] : handedOver_) SelectID(kind, id);
  SelectStandardNodes();
  Diagnostic("Finished selecting IDs");
  PageResult() = 1;
  return true;
}

}  // namespace tolvarin
