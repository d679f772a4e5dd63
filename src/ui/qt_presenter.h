#pragma once
// The presenter of a window session: the facility's boxes in frmMsgBox, the plain
// boxes in the window system's message box, the folder prompt and the input box.
#include <deque>
#include <string>

#include "core/presenter.h"

class QWidget;

namespace tolvarin::ui {

// A window run driven from outside (process tests, screenshots): the boxes are
// really shown, each is answered from this file as the scripted presenter's
// answers are read, and what the window carried is written to the transcript.
inline constexpr const char* kWindowAnswersVariable = "TOLVARIN_WINDOW_ANSWERS";
inline constexpr const char* kWindowTranscriptVariable = "TOLVARIN_WINDOW_TRANSCRIPT";
inline constexpr const char* kWindowShotsVariable = "TOLVARIN_WINDOW_SHOTS";

class QtPresenter : public MessagePresenter {
 public:
  QtPresenter();  // reads the window-run variables
  int Ask(const BoxRequest& box) override;
  std::string BrowseFolder(const FolderRequest& request) override;
  std::string InputBox(const InputRequest& request) override;

 private:
  int AskFacility(const BoxRequest& box);
  int AskSystem(const BoxRequest& box);
  // In a driven run: answers the shown box after it has been drawn.
  void DriveWhenShown(QWidget& window, const BoxRequest& box);

  bool driven_ = false;
  std::deque<std::string> answers_;
  std::string transcript_;
  std::string shots_;
  int shown_ = 0;
};

}  // namespace tolvarin::ui
