#include "core/system_box.h"

#include "core/box_buttons.h"
#include "core/message_box.h"
#include "core/presenter.h"
#include "core/settings.h"

namespace tolvarin {
namespace {

int AskWithOptions(BoxKind kind, const std::string& text, int options, const std::string& title) {
  const BoxRequest box = RequestFromOptions(kind, text, options, title.empty() ? kApplicationTitle : title);
  const int button = Presenter().Ask(box);
  // A box without a cancel button cannot be dismissed: closing it anyway answers
  // its negative, never a yes.
  if (button == 0 && (options & 7) == kMbYesNo) return kIdNo;
  if (button == 0 && (options & 7) == kMbAbortRetryIgnore) return kIdAbort;
  return ResultForButton(options, button);
}

}  // namespace

int MsgBox(const std::string& text, int options, const std::string& title) {
  return AskWithOptions(BoxKind::System, text, options, title);
}

void Diagnostic(const std::string& text) {
  if (Settings().DiagnosticMode) MsgBox(text, kMbOkOnly);
}

// The system's own message box: every caller of this layer reaches it here.
int FacilityMessageBox(const std::string& text, int options, const std::string& title) {
  return ShowMessageBox(text, options, title);
}

int FacilityCustomBox(const std::string& text, const std::string& title, int icon, const std::string& caption1,
                      const std::string& caption2, const std::string& caption3, int defaultButton, int cancelButton,
                      int messageType) {
  return ShowCustomMsgBox(text, title, icon, caption1, caption2, caption3, defaultButton, cancelButton, messageType);
}

}  // namespace tolvarin
