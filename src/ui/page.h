#pragma once
// The base of the windows that take scripted steps in a driven run (the main window,
// the pages of the sequences and their dialogs), and of the pages themselves.
//
// A page of a sequence is shown through ShowFormModal (ui/forms.h), which returns
// the PageResult it left. Every arrival sets PageResult to -1 (unless the page says
// otherwise); Continue sets 1 through Finish(); Back, Esc and the close box leave it
// as it is. A page's rules live in plain functions beside it; the page only reads the
// process-wide state when it is shown and checks its input on Continue.
#include <QDialog>

namespace tolvarin::ui {

class ScriptedWindow : public QDialog {
 public:
  explicit ScriptedWindow(QWidget* parent = nullptr);

 protected:
  void showEvent(QShowEvent* event) override;
  // Called at every arrival, before the window is drawn.
  virtual void Arrive() {}
};

class Page : public ScriptedWindow {
 public:
  // resetsResult: the page sets PageResult to -1 at each arrival.
  explicit Page(bool resetsResult = true, QWidget* parent = nullptr);

 protected:
  void showEvent(QShowEvent* event) override;
  // Continue: PageResult 1 and the page leaves.
  void Finish();
  // Back: the page leaves with PageResult as it is.
  void Leave();

 private:
  bool resetsResult_;
};

}  // namespace tolvarin::ui
