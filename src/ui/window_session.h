#pragma once
// The window session of an interactive run: the Qt application, the Qt presenter
// and progress sink, and the window helpers' hooks.
namespace tolvarin::ui {

// True when DISPLAY names an X display that answers, or WAYLAND_DISPLAY is set and
// the window system's plugin for it is present.
bool DisplayAvailable();

// Starts the session: after it, every box, progress report, wait cursor and the
// taskbar window reach real windows. Call once, before any window is made.
void StartWindowSession();

// Only the window hooks (work area, wait cursor, taskbar window), for an
// application made elsewhere (the tests).
void InstallWindowSessionHooks();

}  // namespace tolvarin::ui
