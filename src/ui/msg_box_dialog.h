#pragma once
// frmMsgBox: the system's own message box as a window. It sizes itself by the
// message box rules (core/message_box.h), answers keys before its buttons, closes
// itself 1 ms after a press or at its time-out, and copies itself as text on Ctrl+C.
#include <QDialog>
#include <QTimer>
#include <array>

#include "core/presenter.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace tolvarin::ui {

class ElasticPanel;

class MsgBoxDialog : public QDialog {
 public:
  explicit MsgBoxDialog(const BoxRequest& box, QWidget* parent = nullptr);
  ~MsgBoxDialog() override;

  // The pressed button's number; the cancel button's until a button is pressed.
  int Answer() const { return answer_; }
  // "Remember my answer" was ticked when the button was pressed.
  bool Remembered() const { return remembered_; }
  // A press of button n (0: the cancel button of a box without one): the answer is
  // kept and the window unloads on the timer's next tick.
  void Press(int button);
  // The box as the clipboard receives it.
  QString ClipboardText() const;

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void reject() override;

 private:
  void Layout();
  bool HandleKey(QKeyEvent* event);

  BoxRequest box_;
  std::array<std::string, 3> captions_;
  int answer_ = 0;
  bool remembered_ = false;
  bool activated_ = false;
  bool cursorPushed_ = false;
  ElasticPanel* back_ = nullptr;
  ElasticPanel* buttonGroup_ = nullptr;
  QLabel* icon_ = nullptr;
  QLabel* message_ = nullptr;
  QCheckBox* remember_ = nullptr;
  std::array<QPushButton*, 3> buttons_{};
  QTimer unload_;
};

}  // namespace tolvarin::ui
