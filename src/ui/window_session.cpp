#include "ui/window_session.h"

#include <xcb/xcb.h>

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <cstdlib>
#include <memory>

#include "core/mode_windows.h"
#include "core/presenter.h"
#include "core/progress.h"
#include "core/window_helpers.h"
#include "ui/forms.h"
#include "ui/gb_restore_dialog.h"
#include "ui/import_windows.h"
#include "ui/main_window.h"
#include "ui/migrate_window.h"
#include "ui/progress_windows.h"
#include "ui/qt_presenter.h"
#include "ui/recover_window.h"
#include "ui/repair_dialog.h"
#include "ui/taskbar_window.h"

namespace tolvarin::ui {
namespace {

bool Set(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

// Qt ends the process when it cannot open its display; ask first.
bool XDisplayAnswers() {
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  const bool ok = connection && xcb_connection_has_error(connection) == 0;
  if (connection) xcb_disconnect(connection);
  return ok;
}

bool WaylandPluginPresent() {
  const QDir plugins(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"));
  return !plugins.entryList({QStringLiteral("libqwayland*")}, QDir::Files).isEmpty();
}

}  // namespace

bool DisplayAvailable() {
  if (Set("DISPLAY") && XDisplayAnswers()) return true;
  if (Set("WAYLAND_DISPLAY") && WaylandPluginPresent()) {
    if (!Set("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "wayland", 1);
    return true;
  }
  return false;
}

void InstallWindowSessionHooks() {
  InstallWindowHelpers();
  InstallTaskbarWindow();
  InstallRecoverChooser();
  InstallMigrateChooser();
  SetModeWindowHook([](ModeWindow window) {
    if (window == ModeWindow::GradebookRestore) {
      ShowGBRestoreMode();
    } else {
      ShowRepairCorruptionMode();
    }
  });
}

void StartWindowSession() {
  // The host's Key:Value arguments are the run's, not Qt's: Qt sees only the name.
  static int argc = 1;
  static char name[] = "tolvarin";
  static char* argv[] = {name, nullptr};
  // Never destroyed: the run ends through exit() from inside window events.
  auto* application = new QApplication(argc, argv);
  application->setQuitOnLastWindowClosed(false);
  application->setApplicationName(QStringLiteral("tolvarin"));
  InstallWindowSessionHooks();
  InstallMainWindow();
  SetPresenter(std::make_unique<QtPresenter>());
  SetProgress(std::make_unique<QtProgress>());
  InstallImportPreview();
}

}  // namespace tolvarin::ui
