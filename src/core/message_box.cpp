#include "core/message_box.h"

#include <algorithm>
#include <vector>

#include "core/box_buttons.h"
#include "core/console_presenter.h"
#include "core/ini_file.h"
#include "core/paths.h"
#include "core/presenter.h"
#include "core/settings.h"
#include "core/strings.h"
#include "core/system_box.h"

namespace tolvarin {
namespace {

constexpr const char* kRecordedText =
    "Your choice has been recorded and will be automatically selected for you from now on.\r\n\r\n"
    "If you would like to change this option in the future, you may click on \"Settings\" from the Main Menu, "
    "and then \"Stored Message Options\".";

std::string TitleOrApplication(const std::string& title) { return title.empty() ? kApplicationTitle : title; }

// Shows the state's box and gives the pressed button's number.
int AskPresenter(const MsgBoxState& state, int timeoutMs, int recallType, bool modal) {
  BoxRequest request;
  request.kind = BoxKind::Facility;
  request.title = state.title;
  request.text = state.text;
  request.icon = state.iconStyle;
  std::size_t last = 0;
  for (std::size_t i = 0; i < state.captions.size(); ++i) {
    if (!state.captions[i].empty()) last = i + 1;
  }
  request.captions.assign(state.captions.begin(), state.captions.begin() + static_cast<long>(last));
  // A default button that is not shown leaves the focus on the first.
  const int shown = static_cast<int>(last);
  const bool defaultShown = state.defaultButton >= 1 && state.defaultButton <= shown &&
                            !state.captions[static_cast<std::size_t>(state.defaultButton - 1)].empty();
  request.defaultButton = defaultShown ? state.defaultButton : 1;
  request.cancelButton = state.cancelButton;
  request.timeoutMs = timeoutMs;
  request.recallType = recallType;
  request.modeless = !modal;
  return Presenter().Ask(request);
}

void UseDefaultsFile() {
  IniSetFile(kDefaultButtonsSection, JoinPath(Settings().AppPath, kMessageBoxDefaultsFile));
}

std::string DefaultsKey(int messageType) { return "Type" + std::to_string(messageType); }

bool CaptionHasAccelerator(const std::string& caption, char key) {
  const std::string upper = ToUpper(caption);
  for (std::size_t i = 0; i + 1 < upper.size(); ++i) {
    if (upper[i] == '&' && upper[i + 1] == key) return true;
  }
  return false;
}

}  // namespace

MsgBoxState& CurrentMsgBoxState() {
  static MsgBoxState state;
  return state;
}

int MsgBoxResultFor(int options, int pressedButton) {
  const ButtonSet set = ButtonSetFor(options);
  if (pressedButton == 0 && set.cancelButton == 0) {
    // No cancel button: Esc or closing the box must never read as a yes.
    switch (options & 7) {
      case kMbYesNo: return kIdNo;
      case kMbAbortRetryIgnore: return kIdAbort;
      default: break;
    }
  }
  return ResultForButton(options, pressedButton);
}

int ShowMsgBox(const std::string& message, int options, const std::string& title, bool /*disableWandGuide*/,
               int recallType, bool modal, int timeoutMs) {
  MsgBoxState& state = CurrentMsgBoxState();
  if (recallType != 0) {
    const int stored = GetStoredDefaultButton(recallType);
    state.lastStoredAnswer = stored;
    if (stored != 0) return stored;
  }
  state.text = message;
  state.title = TitleOrApplication(title);
  state.iconStyle = IconFor(options);
  const ButtonSet set = ButtonSetFor(options, timeoutMs > 0);
  state.captions = set.captions;
  state.cancelButton = set.cancelButton;
  state.defaultButton = DefaultButtonFor(options);
  state.rememberFlag = false;
  // A box that is not modal is left on screen and answers its cancel button at
  // once; nothing waits on a display that is not there.
  state.result = AskPresenter(state, timeoutMs, recallType, modal);
  state.result = MsgBoxResultFor(options, state.result);
  // The confirmation is a box of its own and fills the shared state again: the
  // answer given here is kept apart from it.
  const int result = state.result;
  if (recallType != 0 && state.rememberFlag) StoreDefaultButton(recallType, result, true);
  return result;
}

int ShowMessageBox(const std::string& prompt, int buttons, const std::string& title, bool disableWandGuide) {
  return ShowMsgBox(prompt, buttons, title, disableWandGuide, 0, true);
}

int ShowCustomMsgBox(const std::string& text, const std::string& title, int iconStyle, const std::string& caption1,
                     const std::string& caption2, const std::string& caption3, int defaultButton, int cancelButton,
                     int messageType) {
  MsgBoxState& state = CurrentMsgBoxState();
  if (messageType != 0) {
    const int stored = GetStoredDefaultButton(messageType);
    state.lastStoredAnswer = stored;
    if (stored != 0) return stored;
  }
  state.text = text;
  state.title = title;
  state.iconStyle = iconStyle;
  state.captions = {caption1, caption2, caption3};
  state.defaultButton = defaultButton;
  state.cancelButton = cancelButton;
  state.rememberFlag = false;
  state.result = AskPresenter(state, 0, messageType, true);
  const int result = state.result;  // the confirmation below refills the state
  if (messageType != 0 && state.rememberFlag) StoreDefaultButton(messageType, result, true);
  return static_cast<std::int16_t>(result);
}

int ShowTimedMsgBox(const std::string& message, const std::string& title, int delayMs) {
  return ShowMsgBox(message, kMbExclamation, title, false, 0, true, delayMs);
}

void ShowModelessMsgBox(const std::string& message, const std::string& title) {
  ShowMsgBox(message, kMbExclamation, title, false, 0, false, 9999);
}

int GetStoredDefaultButton(int messageType) {
  UseDefaultsFile();
  if (messageType != 1) return 0;
  return IniGetInt(DefaultsKey(messageType), 0);
}

void StoreDefaultButton(int messageType, int answer, bool confirm) {
  UseDefaultsFile();
  if (messageType == 1) IniWriteInt(DefaultsKey(messageType), answer);
  if (confirm) ShowMessageBox(kRecordedText, kMbOkOnly, kApplicationTitle);
}

std::string MsgBoxClipboardText(const std::string& title, const std::string& message,
                                const std::array<std::string, 3>& captions) {
  BoxRequest box;
  box.title = title;
  box.text = message;
  box.captions.assign(captions.begin(), captions.end());
  return BoxAsText(box);
}

MsgBoxKey MsgBoxKeyDown(int keyCode, bool ctrl, const std::array<std::string, 3>& captions, int cancelButton) {
  if (ctrl) {
    if (keyCode == kKeyC) return {MsgBoxKeyAction::Copy, 0};
    return {};
  }
  int number = 0;
  if (keyCode >= '1' && keyCode <= '3') number = keyCode - '0';
  if (keyCode >= kKeyNumpad0 + 1 && keyCode <= kKeyNumpad0 + 3) number = keyCode - kKeyNumpad0;
  if (number != 0) {
    if (captions[static_cast<std::size_t>(number - 1)].empty()) return {};
    return {MsgBoxKeyAction::Press, number};
  }
  if (keyCode == kKeyEscape) return {MsgBoxKeyAction::Press, cancelButton};
  const bool letter = keyCode >= 'A' && keyCode <= 'Z';
  const bool digit = keyCode == '0' || (keyCode >= '4' && keyCode <= '9');
  if (letter || digit) {
    for (std::size_t i = 0; i < captions.size(); ++i) {
      if (CaptionHasAccelerator(captions[i], static_cast<char>(keyCode))) {
        return {MsgBoxKeyAction::Press, static_cast<int>(i) + 1};
      }
    }
  }
  return {};
}

void LayoutMsgBoxButtons(const MsgBoxDesign& design, const std::array<int, 3>& captionWidths,
                         const std::array<bool, 3>& shown, MsgBoxLayout& layout) {
  constexpr int kButtonGap = 9;
  constexpr int kCaptionPadding = 19;
  layout.buttonPanelWidth = 0;
  const MsgBoxButtonPlace* previous = nullptr;
  for (std::size_t i = 0; i < 3; ++i) {
    MsgBoxButtonPlace& place = layout.buttons[i];
    place = {};
    if (!shown[i]) continue;
    place.visible = true;
    place.left = previous ? previous->left + previous->width + kButtonGap : design.buttonLeft;
    place.width = std::max(design.buttonWidth, captionWidths[i] + kCaptionPadding);
    // The same margin on both sides of the buttons.
    layout.buttonPanelWidth = place.left + place.width + design.buttonLeft;
    previous = &place;
  }
}

int MsgBoxLabelWidth(const MsgBoxDesign& design, int textWidth, int buttonPanelWidth) {
  const int largest = design.workAreaWidth * 3 / 5 - design.horizontalMargin;
  const int smallest = buttonPanelWidth + design.frameWidth - design.horizontalMargin;
  if (textWidth > largest) return largest;
  if (textWidth < smallest) return smallest;
  return textWidth;
}

MsgBoxLayout LayoutMsgBox(const MsgBoxDesign& design, const std::array<int, 3>& captionWidths,
                          const std::array<bool, 3>& shown, int textWidth, int labelHeight) {
  constexpr int kCheckBoxGap = 4;
  constexpr int kBottomMargin = 8;
  MsgBoxLayout layout;
  LayoutMsgBoxButtons(design, captionWidths, shown, layout);
  layout.labelWidth = MsgBoxLabelWidth(design, textWidth, layout.buttonPanelWidth);
  layout.windowWidth = layout.labelWidth + design.horizontalMargin;
  layout.buttonPanelLeft = (layout.windowWidth - design.frameWidth - layout.buttonPanelWidth) / 2;

  // The shorter of icon and label is centred on the taller.
  layout.iconTop = design.contentTop;
  layout.labelTop = design.contentTop;
  if (design.iconHeight > 0) {
    if (design.iconHeight >= labelHeight) {
      layout.labelTop = design.contentTop + (design.iconHeight - labelHeight) / 2;
    } else {
      layout.iconTop = design.contentTop + (labelHeight - design.iconHeight) / 2;
    }
  }
  int extent = design.contentTop + std::max(design.iconHeight, labelHeight);
  if (design.checkBoxHeight > 0) {
    layout.checkBoxTop = extent + kCheckBoxGap;
    extent = layout.checkBoxTop + design.checkBoxHeight + kCheckBoxGap;
  }
  layout.buttonPanelTop = extent + design.verticalOffset;
  layout.windowHeight = layout.buttonPanelTop + design.buttonPanelHeight + kBottomMargin + design.frameHeight;
  return layout;
}

}  // namespace tolvarin
