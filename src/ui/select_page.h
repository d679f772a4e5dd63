#pragma once
// frmSelect, the custom selection page: one list set per content kind over one to
// three sub-pages. The rules live in CustomSelection; this window only mirrors its
// lists, hands every user action to it and shows the result. Each visit (show)
// loads the page afresh with nothing selected.
#include <vector>

#include "engine/pages/custom_selection.h"
#include "ui/page.h"

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QVBoxLayout;

namespace tolvarin::ui {

class SelectPage : public Page {
 public:
  explicit SelectPage(QWidget* parent = nullptr);

  CustomSelection& Rules() { return rules_; }

 protected:
  void Arrive() override;

 private:
  struct ListSet {
    QWidget* frame = nullptr;
    QLabel* caption = nullptr;
    QListWidget* list = nullptr;
    QLabel* selectedValue = nullptr;
    QLineEdit* enterID = nullptr;
  };
  void BuildSets();
  void Refresh();
  void ListChanged(std::size_t set);
  void ContinueClicked();
  void BackClicked();

  CustomSelection rules_;
  std::vector<ListSet> sets_;
  QLabel* instructions_ = nullptr;
  QVBoxLayout* setsLayout_ = nullptr;
  bool refreshing_ = false;
};

// Export slot 1 of a custom backup: shows the page through ShowFormModal and
// returns PageResult.
int ShowCustomSelectionPage();

}  // namespace tolvarin::ui
