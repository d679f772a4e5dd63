#pragma once
// The two choosers the engine shows without knowing their windows: the recovery
// chooser and the migration chooser. A window session installs them; a run without
// one has no chooser to show.
#include <functional>
#include <string>

namespace tolvarin {

// The recovery chooser: its page result (1 recover, 2 back or closed). On 1 the
// current course is the chosen one and BackupPath names the chosen slot folder.
void SetRecoverChooser(std::function<int()> show);
bool HasRecoverChooser();
int ShowRecoverChooser();  // 2 without a chooser

// The migration chooser: the target course folder, "" when cancelled.
void SetMigrateChooser(std::function<std::string()> show);
bool HasMigrateChooser();
std::string ShowSelectCourse();  // "" without a chooser

}  // namespace tolvarin
