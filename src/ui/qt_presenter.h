#pragma once
// The presenter of a window session: the facility's boxes in frmMsgBox, the plain
// boxes in the window system's message box, the folder prompt and the input box.
#include <string>

#include "core/presenter.h"

class QWidget;

namespace tolvarin::ui {

class QtPresenter : public MessagePresenter {
 public:
  // In a driven window run (ui/window_script.h) the boxes are really shown, each is
  // answered from the run's script once drawn, and what it carried is written to the
  // transcript.
  QtPresenter();
  int Ask(const BoxRequest& box) override;
  std::string BrowseFolder(const FolderRequest& request) override;
  std::string InputBox(const InputRequest& request) override;

 private:
  int AskFacility(const BoxRequest& box);
  int AskSystem(const BoxRequest& box);
  // In a driven run: answers the shown box after it has been drawn.
  void DriveWhenShown(QWidget& window, const BoxRequest& box);

  bool driven_ = false;
  int shown_ = 0;
};

}  // namespace tolvarin::ui
