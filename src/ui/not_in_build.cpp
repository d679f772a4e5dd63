#include "ui/not_in_build.h"

#include "core/box_buttons.h"
#include "core/system_box.h"

namespace tolvarin::ui {

void SayNotInThisBuild(const std::string& what) {
  MsgBox(what + " is not part of this build of the program yet.", kMbExclamation);
}

}  // namespace tolvarin::ui
