#pragma once
// The message of a box: wraps at blanks, and breaks a word longer than a line (a
// long path) rather than cutting it off.
#include <QLabel>

namespace tolvarin::ui {

class MessageLabel : public QLabel {
 public:
  using QLabel::QLabel;
  bool hasHeightForWidth() const override { return true; }
  int heightForWidth(int width) const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace tolvarin::ui
