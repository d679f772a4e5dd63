#pragma once
// The panel control the message box and the progress windows are drawn on. Form
// styling recognises it by its type.
#include <QFrame>

namespace tolvarin::ui {

class ElasticPanel : public QFrame {
 public:
  using QFrame::QFrame;
};

}  // namespace tolvarin::ui
