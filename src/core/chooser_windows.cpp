#include "core/chooser_windows.h"

#include <utility>

namespace tolvarin {
namespace {

std::function<int()>& RecoverChooser() {
  static std::function<int()> show;
  return show;
}

std::function<std::string()>& MigrateChooser() {
  static std::function<std::string()> show;
  return show;
}

}  // namespace

void SetRecoverChooser(std::function<int()> show) { RecoverChooser() = std::move(show); }
bool HasRecoverChooser() { return static_cast<bool>(RecoverChooser()); }
int ShowRecoverChooser() { return RecoverChooser() ? RecoverChooser()() : 2; }

void SetMigrateChooser(std::function<std::string()> show) { MigrateChooser() = std::move(show); }
bool HasMigrateChooser() { return static_cast<bool>(MigrateChooser()); }
std::string ShowSelectCourse() { return MigrateChooser() ? MigrateChooser()() : std::string(); }

}  // namespace tolvarin
