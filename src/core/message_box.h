#pragma once
// The system's own message box: the two front ends every caller uses, the stored
// answers of MessageBoxDefaults.ini, and the window's rules (keys, copy as text,
// sizes) as plain functions, so that the window that draws the box only draws it.
// The box itself is shown through the presenter as a Facility box.
#include <array>
#include <cstdint>
#include <string>

namespace tolvarin {

// What a front end fills before the window opens and the window reads and writes.
struct MsgBoxState {
  std::string text;
  std::string title;
  int iconStyle = 0;  // 0 none, 16 stop, 32 question, 48 exclamation, 64 information
  std::array<std::string, 3> captions;  // buttons 1..3; "" : not shown
  int defaultButton = 1;
  int cancelButton = 0;  // the button Esc presses; 0 none
  std::int32_t result = 0;
  bool rememberFlag = false;  // "Remember my answer to this question" was ticked
  std::int32_t lastStoredAnswer = 0;
};
MsgBoxState& CurrentMsgBoxState();

// Standard options (button set, icon, default button) in, standard result code out.
// Esc on a set without a cancel button answers its negative (Yes/No: No,
// Abort/Retry/Ignore: Abort), never a yes.
int ShowMessageBox(const std::string& prompt, int buttons = 0, const std::string& title = "",
                   bool disableWandGuide = false);

// Free captions in, the pressed button's number out (the cancel button's number on
// Esc or when the box is closed). A message type other than 0 first looks for a
// stored answer and gives it back without showing anything.
int ShowCustomMsgBox(const std::string& text, const std::string& title, int iconStyle, const std::string& caption1,
                     const std::string& caption2, const std::string& caption3, int defaultButton, int cancelButton,
                     int messageType = 0);

// The window's own entry (frmMsgBox.ShowMsgBox). timeoutMs closes the box by itself.
int ShowMsgBox(const std::string& message, int options, const std::string& title, bool disableWandGuide,
               int recallType, bool modal, int timeoutMs = 0);
// An exclamation box without buttons that closes itself after delayMs; result 1.
int ShowTimedMsgBox(const std::string& message, const std::string& title, int delayMs);
// An exclamation box that closes itself after 9999 ms.
void ShowModelessMsgBox(const std::string& message, const std::string& title);

// The result code for the pressed button number of a standard box (0: Esc or
// closed on a set without a cancel button).
int MsgBoxResultFor(int options, int pressedButton);

// MessageBoxDefaults.ini in AppPath, section "DefaultButtons", key "Type" & type.
// Only type 1 is read or written. Both make that file the current one.
int GetStoredDefaultButton(int messageType);
void StoreDefaultButton(int messageType, int answer, bool confirm);
inline constexpr const char* kMessageBoxDefaultsFile = "MessageBoxDefaults.ini";
inline constexpr const char* kDefaultButtonsSection = "DefaultButtons";
inline constexpr const char* kRememberCaption = "Remember my answer to this question";

// The box as the clipboard receives it on Ctrl+C: lines ended by CR LF.
std::string MsgBoxClipboardText(const std::string& title, const std::string& message,
                                const std::array<std::string, 3>& captions);

// Keys, as the window system's key codes give them.
inline constexpr int kKeyEscape = 27;
inline constexpr int kKeyC = 'C';
inline constexpr int kKeyNumpad0 = 96;  // keypad digits are 96..105

enum class MsgBoxKeyAction { None, Press, Copy };
struct MsgBoxKey {
  MsgBoxKeyAction action = MsgBoxKeyAction::None;
  int button = 0;  // for Press: the button number (Esc: the cancel button, even 0)
};
// The window sees keys before its buttons: Ctrl+C copies, other Ctrl keys do
// nothing; 1 to 3 (main keyboard or keypad) press that button when it is shown; Esc
// presses the cancel button; a letter or a digit 0 or 4 to 9 presses the first
// button whose caption holds "&" and that character.
MsgBoxKey MsgBoxKeyDown(int keyCode, bool ctrl, const std::array<std::string, 3>& captions, int cancelButton);

// Sizes of the window, in pixels. The design's own sizes come in; what the window
// must become comes out.
struct MsgBoxDesign {
  int workAreaWidth = 0;       // the desktop work area
  int horizontalMargin = 0;    // window width - label width in the design (frame included)
  int frameWidth = 0;          // outer - inner width
  int frameHeight = 0;         // outer - inner height
  int buttonLeft = 0;          // left of button 1 inside the panel
  int buttonWidth = 0;         // the design's button width (a button never gets narrower)
  int buttonPanelHeight = 0;
  int contentTop = 0;          // top of the icon and of the label
  int iconHeight = 0;          // 0 when the box has no icon
  int checkBoxHeight = 0;      // 0 when the check box is hidden
  int verticalOffset = 0;      // from the content's extent to the button panel
};
struct MsgBoxButtonPlace {
  bool visible = false;
  int left = 0;
  int width = 0;
};
struct MsgBoxLayout {
  std::array<MsgBoxButtonPlace, 3> buttons;
  int buttonPanelWidth = 0;
  int buttonPanelLeft = 0;
  int buttonPanelTop = 0;
  int labelWidth = 0;
  int labelTop = 0;
  int iconTop = 0;
  int checkBoxTop = 0;
  int windowWidth = 0;
  int windowHeight = 0;
};
// Buttons from their captions' measured widths (0 for a hidden button) and the
// panel around them.
void LayoutMsgBoxButtons(const MsgBoxDesign& design, const std::array<int, 3>& captionWidths,
                         const std::array<bool, 3>& shown, MsgBoxLayout& layout);
// The label's width from the measured text width: at most 3/5 of the work area less
// the margin, at least what the button panel needs.
int MsgBoxLabelWidth(const MsgBoxDesign& design, int textWidth, int buttonPanelWidth);
// The whole window once the label has wrapped the message to labelHeight.
MsgBoxLayout LayoutMsgBox(const MsgBoxDesign& design, const std::array<int, 3>& captionWidths,
                          const std::array<bool, 3>& shown, int textWidth, int labelHeight);

}  // namespace tolvarin
