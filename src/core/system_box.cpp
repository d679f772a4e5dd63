#include "core/system_box.h"

#include "core/box_buttons.h"
#include "core/presenter.h"

namespace tolvarin {
namespace {

int AskWithOptions(BoxKind kind, const std::string& text, int options, const std::string& title) {
  const BoxRequest box = RequestFromOptions(kind, text, options, title.empty() ? kApplicationTitle : title);
  return ResultForButton(options, Presenter().Ask(box));
}

}  // namespace

int MsgBox(const std::string& text, int options, const std::string& title) {
  return AskWithOptions(BoxKind::System, text, options, title);
}

// The system's own message box comes with its window; until then its two front ends
// ask the presenter directly with the same buttons and answers.
int FacilityMessageBox(const std::string& text, int options, const std::string& title) {
  return AskWithOptions(BoxKind::Facility, text, options, title);
}

int FacilityCustomBox(const std::string& text, const std::string& title, int icon, const std::string& caption1,
                      const std::string& caption2, const std::string& caption3, int defaultButton, int cancelButton,
                      int /*messageType: no caller stores answers*/) {
  BoxRequest box;
  box.kind = BoxKind::Facility;
  box.title = title.empty() ? kApplicationTitle : title;
  box.text = text;
  box.icon = icon;
  for (const std::string* caption : {&caption1, &caption2, &caption3})
    if (!caption->empty()) box.captions.push_back(*caption);
  box.defaultButton = defaultButton;
  box.cancelButton = cancelButton;
  return Presenter().Ask(box);
}

}  // namespace tolvarin
