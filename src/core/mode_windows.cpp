#include "core/mode_windows.h"

#include <utility>

namespace tolvarin {
namespace {

std::function<void(ModeWindow)>& Hook() {
  static std::function<void(ModeWindow)> hook;
  return hook;
}

}  // namespace

void SetModeWindowHook(std::function<void(ModeWindow)> show) { Hook() = std::move(show); }

bool ShowModeWindow(ModeWindow window) {
  if (!Hook()) return false;
  Hook()(window);
  return true;
}

}  // namespace tolvarin
