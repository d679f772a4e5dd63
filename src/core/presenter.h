#pragma once
// The one seam through which every box of the system reaches the user. A window
// session installs the Qt presenter; a console run prints boxes and answers their
// default; tests script the answers and read back what was shown.
#include <memory>
#include <string>
#include <vector>

namespace tolvarin {

enum class BoxKind {
  System,    // the plain system message box
  Facility,  // the system's own message box (frmMsgBox)
};

// Icon styles as the message-box options carry them.
inline constexpr int kIconNone = 0;
inline constexpr int kIconStop = 16;
inline constexpr int kIconQuestion = 32;
inline constexpr int kIconExclamation = 48;
inline constexpr int kIconInformation = 64;

struct BoxRequest {
  BoxKind kind = BoxKind::System;
  std::string title;
  std::string text;
  int icon = kIconNone;
  std::vector<std::string> captions;  // buttons 1..n as shown, accelerator "&" kept
  int defaultButton = 1;              // 1-based
  int cancelButton = 0;               // 1-based; 0: the box has none
  int timeoutMs = 0;                  // a timed box closes itself
  bool modeless = false;              // shown without waiting; answers its cancel button at once
  int recallType = 0;                 // the facility's message type: above 0 shows "Remember my answer"
};

struct FolderRequest {
  std::string title;
  std::string startFolder;
};

struct InputRequest {
  std::string prompt;
  std::string title;
  std::string defaultText;
};

class MessagePresenter {
 public:
  virtual ~MessagePresenter() = default;
  // Returns the 1-based number of the pressed button; Esc or closing the box
  // answers the cancel button's number (0 when the box has none).
  virtual int Ask(const BoxRequest& box) = 0;
  // Returns the chosen folder, "" when cancelled.
  virtual std::string BrowseFolder(const FolderRequest& request) = 0;
  // Returns the typed text, "" when cancelled.
  virtual std::string InputBox(const InputRequest& request) = 0;
};

// The presenter in force; a console presenter until another is installed.
MessagePresenter& Presenter();
// Installs a presenter and returns the one it replaces.
std::unique_ptr<MessagePresenter> SetPresenter(std::unique_ptr<MessagePresenter> presenter);

}  // namespace tolvarin
