#pragma once
// The rules of the custom selection page (frmSelect), apart from its widgets: one
// list per content kind over one to three sub-pages, filled from the source set;
// the dependent choices kept in step while the user clicks (a class brings its
// students and sessions; an exam, session or activity brings the questions it uses
// and protects them from being deselected); and the hand-over of every chosen
// (kind, identifier) pair to the selection closure on the last Continue.
//
// The source set must be open with its table model built (InitSrc) before Load.
// The widget mirrors the lists, reports each user action here and shows the lists
// again afterwards; every rule acts on a list's current item, as the page's own
// click rules do.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tolvarin {

struct SelectItem {
  std::string text;
  std::int32_t id = 0;  // the record identifier
  bool selected = false;
  bool isProtected = false;  // questions: a selected exam, session or activity uses it
};

struct SelectList {
  std::int32_t kind = 0;
  std::vector<SelectItem> items;
  int current = -1;  // the current item, -1 before any
  int SelectedCount() const;
  int IndexOf(std::int32_t id) const;  // -1 when no item carries it
};

struct SelectCaptions {
  std::string list;      // lblBackupCaption
  std::string selected;  // lblSelected
  std::string enterID;   // lblEnterID
};
SelectCaptions CaptionsFor(std::int32_t kind);

// The kinds shown (one list set each) and the sub-pages, by the content flags.
std::vector<std::int32_t> ListKindsFor(bool testContent, bool gradebookContent);
int LastSubPageFor(bool testContent, bool gradebookContent);
std::vector<std::int32_t> SubPageKinds(bool testContent, bool gradebookContent, int subPage);
std::string SubPageInstructions(bool testContent, bool gradebookContent, int subPage);

// The items of a kind's list, read from the source set, none selected. Rows the
// teacher deleted are never listed.
std::vector<SelectItem> FillSelectList(std::int32_t kind);

// What the widget does after Back or Continue.
enum class PageStep {
  Stay,   // another sub-page is shown, or the page stays where it is
  Leave,  // Back on the first sub-page: the page unloads with -1
  Done,   // the choices were handed over: the page unloads with 1
};

class CustomSelection {
 public:
  // The lists of the run's content flags, filled, nothing selected, sub-page 0.
  void Load();

  std::vector<SelectList>& Lists() { return lists_; }
  const std::vector<SelectList>& Lists() const { return lists_; }
  // The set of a kind, or nullptr when the page has no list of it.
  SelectList* ListForKind(std::int32_t kind);
  int SetOfKind(std::int32_t kind) const;  // -1 when none
  const std::vector<std::int32_t>& ExtraQuestionIDs() const { return extras_; }

  int SubPage() const { return subPage_; }
  int LastSubPage() const { return lastSubPage_; }
  // The sets shown on the current sub-page, in list order, and its instructions.
  std::vector<std::size_t> SetsOnPage() const;
  std::string Instructions() const;

  // The user clicked an item, leaving it selected or not.
  void Click(std::size_t set, int row, bool selected);
  void SelectAll(std::size_t set);
  void DeselectAll(std::size_t set);
  void Invert(std::size_t set);
  // Enter in the questions set's ID box.
  void EnterID(std::size_t set, const std::string& text);

  PageStep Back();
  PageStep Continue();

  // The (kind, identifier) pairs the last hand-over gave SelectID, in order.
  const std::vector<std::pair<std::int32_t, std::int32_t>>& HandedOver() const { return handedOver_; }

 private:
  void RunItemRules(std::size_t set);
  void SelectUsedQuestions(std::int32_t kind, std::int32_t id, bool state, bool keep);
  void SelectClassMembers(const SelectItem& klass, bool state);
  bool HandOver();

  std::vector<SelectList> lists_;
  std::vector<std::int32_t> extras_;
  std::vector<std::string> sessionClassKeys_;  // per sessions-list item
  int subPage_ = 0;
  int lastSubPage_ = 0;
  bool testContent_ = false;
  bool gradebookContent_ = false;
  bool refused_ = false;
  bool messagesSuppressed_ = false;
  std::vector<std::pair<std::int32_t, std::int32_t>> handedOver_;
};

inline constexpr const char* kProtectedQuestionText =
    "You can not deselect questions that were used in a selected gradebook session.";
inline constexpr const char* kDeselectQuestionsText = "Would you like to deselect the questions in this exam?";
inline constexpr const char* kNothingSelectedText =
    "Nothing is selected. Please select the content you wish to back up.";

}  // namespace tolvarin
