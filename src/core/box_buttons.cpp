#include "core/box_buttons.h"

namespace tolvarin {

ButtonSet ButtonSetFor(int options, bool timed) {
  ButtonSet set;
  switch (options & 7) {
    case kMbOkCancel:
      set.captions = {"OK", "Cancel", ""};
      set.cancelButton = 2;
      set.results = {kIdOk, kIdCancel, 0};
      break;
    case kMbAbortRetryIgnore:
      set.captions = {"&Abort", "&Retry", "&Ignore"};
      set.cancelButton = 0;
      set.results = {kIdAbort, kIdRetry, kIdIgnore};
      break;
    case kMbYesNoCancel:
      set.captions = {"&Yes", "&No", "Cancel"};
      set.cancelButton = 3;
      set.results = {kIdYes, kIdNo, kIdCancel};
      break;
    case kMbYesNo:
      set.captions = {"&Yes", "&No", ""};
      set.cancelButton = 0;
      set.results = {kIdYes, kIdNo, 0};
      break;
    case kMbRetryCancel:
      set.captions = {"&Retry", "Cancel", ""};
      set.cancelButton = 2;
      set.results = {kIdRetry, kIdCancel, 0};
      break;
    default:  // OK only, and the sets callers never pass
      set.captions = {timed ? "" : "OK", "", ""};
      set.cancelButton = 1;
      set.results = {kIdOk, kIdOk, kIdOk};
      break;
  }
  for (const std::string& caption : set.captions)
    if (!caption.empty()) ++set.shown;
  return set;
}

int IconFor(int options) { return options & 112; }

int DefaultButtonFor(int options) {
  switch (options & 768) {
    case kMbDefaultButton2:
      return 2;
    case kMbDefaultButton3:
      return 3;
    default:
      return 1;
  }
}

int ResultForButton(int options, int button) {
  const ButtonSet set = ButtonSetFor(options);
  if ((options & 7) == kMbOkOnly || (options & 7) > kMbRetryCancel) return kIdOk;
  if (button >= 1 && button <= 3 && set.results[static_cast<size_t>(button - 1)] != 0)
    return set.results[static_cast<size_t>(button - 1)];
  return button;
}

BoxRequest RequestFromOptions(BoxKind kind, const std::string& text, int options, const std::string& title) {
  const ButtonSet set = ButtonSetFor(options);
  BoxRequest box;
  box.kind = kind;
  box.title = title;
  box.text = text;
  box.icon = IconFor(options);
  for (const std::string& caption : set.captions)
    if (!caption.empty()) box.captions.push_back(caption);
  box.defaultButton = DefaultButtonFor(options);
  if (box.defaultButton > static_cast<int>(box.captions.size())) box.defaultButton = 1;
  box.cancelButton = set.cancelButton;
  return box;
}

}  // namespace tolvarin
