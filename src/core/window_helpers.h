#pragma once
// The logic of placing and showing forms: the desktop work area, where CenterForm
// puts a form, the nesting wait cursor, the shared page result and the pseudo-modal
// show. The window system itself is reached through the small interfaces below,
// which the user-interface layer implements; without a display nothing is drawn.
#include <cstdint>
#include <functional>
#include <string>

namespace tolvarin {

// Width and height of the work area in twips; width 0 means not yet measured.
struct WorkArea {
  std::int32_t width = 0;
  std::int32_t height = 0;
};
WorkArea& DesktopWorkArea();

// What the display and the taskbar report.
struct DisplayInfo {
  int pixelWidth = 0;
  int pixelHeight = 0;
  int twipsPerPixelX = 15;
  int twipsPerPixelY = 15;
  int taskbarState = 0;  // 0: neither always on top nor hiding itself
  int taskbarLeft = 0;
  int taskbarTop = 0;
  int taskbarRight = 0;
  int taskbarBottom = 0;
};
// The user-interface layer installs the source of the display's facts; without one
// the work area stays unmeasured.
void SetDisplayInfoSource(std::function<DisplayInfo()> source);
// Measures the work area from the installed source.
void GetDesktopWorkArea();
// The work area of a display: the screen less a taskbar along its top or bottom
// edge (when the taskbar's state is not 0 and its rectangle's right edge is above
// 0); a taskbar along the left or right edge, as tall as the screen, narrows the
// width instead.
WorkArea WorkAreaOf(const DisplayInfo& display);

// A form's place and size in twips.
struct FormRect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
};
// Where CenterForm puts a form: width and height 0 take the form's own; with the
// work area known, the middle of the work area at that size; otherwise the middle
// of the screen at the form's own size. A form larger than the space gets a
// position below zero.
FormRect CenterFormPlacement(const FormRect& form, std::int32_t width, std::int32_t height, const WorkArea& workArea,
                             std::int32_t screenWidth, std::int32_t screenHeight);

// The nesting wait cursor. The hook sets the screen's mouse pointer (11 hourglass,
// 0 default); the user-interface layer installs it.
inline constexpr int kPointerDefault = 0;
inline constexpr int kPointerHourglass = 11;
std::int32_t& WaitCount();
void SetMousePointerHook(std::function<void(int pointer)> hook);
void BeginWait();
void EndWait(bool force = false);
// The wait cursor for a scope, given back on every way out.
class WaitCursor {
 public:
  WaitCursor() { BeginWait(); }
  ~WaitCursor() { EndWait(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

// The taskbar window (frmTaskbar) of a window session: shown at start-up,
// unloaded at the normal end of Main. Without a session both do nothing.
void SetTaskbarWindowHooks(std::function<void()> show, std::function<void()> unload);
void ShowTaskbarWindow();
void UnloadTaskbarWindow();

// The main window (frmMain) of an interactive run. A window session installs it;
// ShowMainWindow shows the window and waits until it is closed, and is false when
// no session is there to show it.
void SetMainWindowHook(std::function<void()> show);
bool ShowMainWindow();

// The result a closing page leaves for its page loop.
std::int32_t& PageResult();

// A form as the pseudo-modal show drives it.
class ShowableForm {
 public:
  virtual ~ShowableForm() = default;
  virtual void Load() = 0;
  virtual void ShowModeless() = 0;
  virtual void ShowModal() = 0;  // the window system's own modal loop
  virtual void Hide() = 0;
  virtual void Unload() = 0;
  virtual bool IsLoaded() const = 0;
  virtual bool IsVisible() const = 0;
  virtual std::string Tag() const { return ""; }
  // One pass of the window system's event processing.
  virtual void ProcessEvents() = 0;
};

bool IsFormLoaded(const ShowableForm& form);
// Modal: the window system's modal loop. Not modal: the pseudo-modal show, which
// loads and shows the form (unless its tag is "H") over the one shown that way before,
// which stays open, and lets events run while it stays loaded and visible, then
// unloads it.
void ShowFormEx(ShowableForm& form, bool modal);
// The pseudo-modal show, then PageResult as the form left it.
int ShowFormModal(ShowableForm& form);

}  // namespace tolvarin
