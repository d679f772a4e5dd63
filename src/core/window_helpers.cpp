#include "core/window_helpers.h"

#include <utility>

namespace tolvarin {
namespace {

std::function<DisplayInfo()>& DisplaySource() {
  static std::function<DisplayInfo()> source;
  return source;
}

std::function<void(int)>& MousePointerHook() {
  static std::function<void(int)> hook;
  return hook;
}

void SetMousePointer(int pointer) {
  if (MousePointerHook()) MousePointerHook()(pointer);
}

struct TaskbarHooks {
  std::function<void()> show;
  std::function<void()> unload;
};
TaskbarHooks& Taskbar() {
  static TaskbarHooks hooks;
  return hooks;
}

std::function<void()>& MainWindowHook() {
  static std::function<void()> hook;
  return hook;
}

// The form currently shown pseudo-modally.
ShowableForm*& CurrentPseudoModal() {
  static ShowableForm* current = nullptr;
  return current;
}

}  // namespace

WorkArea& DesktopWorkArea() {
  static WorkArea area;
  return area;
}

void SetDisplayInfoSource(std::function<DisplayInfo()> source) { DisplaySource() = std::move(source); }

WorkArea WorkAreaOf(const DisplayInfo& display) {
  WorkArea area;
  area.width = display.pixelWidth * display.twipsPerPixelX;
  area.height = display.pixelHeight * display.twipsPerPixelY;
  if (display.taskbarState != 0 && display.taskbarRight > 0) {
    const int barWidth = display.taskbarRight - display.taskbarLeft;
    const int barHeight = display.taskbarBottom - display.taskbarTop;
    const bool alongSide = barHeight >= display.pixelHeight && barWidth < display.pixelWidth;
    if (alongSide) {
      area.width -= barWidth * display.twipsPerPixelX;
    } else {
      area.height -= barHeight * display.twipsPerPixelY;
    }
  }
  return area;
}

void GetDesktopWorkArea() {
  if (!DisplaySource()) return;
  DesktopWorkArea() = WorkAreaOf(DisplaySource()());
}

FormRect CenterFormPlacement(const FormRect& form, std::int32_t width, std::int32_t height, const WorkArea& workArea,
                             std::int32_t screenWidth, std::int32_t screenHeight) {
  if (width == 0) width = form.width;
  if (height == 0) height = form.height;
  FormRect placed;
  if (workArea.width != 0) {
    placed.left = (workArea.width - width) / 2;
    placed.top = (workArea.height - height) / 2;
    placed.width = width;
    placed.height = height;
  } else {
    placed.left = (screenWidth - form.width) / 2;
    placed.top = (screenHeight - form.height) / 2;
    placed.width = form.width;
    placed.height = form.height;
  }
  return placed;
}

std::int32_t& WaitCount() {
  static std::int32_t count = 0;
  return count;
}

void SetMousePointerHook(std::function<void(int pointer)> hook) { MousePointerHook() = std::move(hook); }

void BeginWait() {
  ++WaitCount();
  SetMousePointer(kPointerHourglass);
}

void EndWait(bool force) {
  bool restore = force;
  if (force) {
    WaitCount() = 0;
  } else {
    --WaitCount();
    if (WaitCount() <= 0) restore = true;
    if (WaitCount() < 0) WaitCount() = 0;
  }
  if (restore) SetMousePointer(kPointerDefault);
}

void SetTaskbarWindowHooks(std::function<void()> show, std::function<void()> unload) {
  Taskbar() = {std::move(show), std::move(unload)};
}

void ShowTaskbarWindow() {
  if (Taskbar().show) Taskbar().show();
}

void UnloadTaskbarWindow() {
  if (Taskbar().unload) Taskbar().unload();
}

void SetMainWindowHook(std::function<void()> show) { MainWindowHook() = std::move(show); }

bool ShowMainWindow() {
  if (!MainWindowHook()) return false;
  MainWindowHook()();
  return true;
}

std::int32_t& PageResult() {
  static std::int32_t result = 0;
  return result;
}

bool IsFormLoaded(const ShowableForm& form) { return form.IsLoaded(); }

void ShowFormEx(ShowableForm& form, bool modal) {
  if (modal) {
    form.ShowModal();
    return;
  }
  // The form shown this way before (the main window under its pages and dialogs)
  // stays on screen: hiding it would end its own wait, and with it the run.
  ShowableForm* previous = CurrentPseudoModal();
  CurrentPseudoModal() = &form;
  form.Load();
  if (form.Tag() != "H") {
    form.ShowModeless();
    while (form.IsLoaded() && form.IsVisible()) form.ProcessEvents();
  }
  form.Unload();
  CurrentPseudoModal() = previous;
}

int ShowFormModal(ShowableForm& form) {
  ShowFormEx(form, false);
  return PageResult();
}

}  // namespace tolvarin
