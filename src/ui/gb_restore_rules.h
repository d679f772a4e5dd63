#pragma once
// The rules of the gradebook's restore-point dialog, apart from its widgets: which
// panel a button leads to, when Restore may be pressed, and the question it asks.
#include <string>

namespace tolvarin::ui {

enum class GBRestorePanel { RestoreType, ChooseBackup, ChooseCourse };
enum class GBRestoreButton { RestoreTypeNext, ChooseBack, ChooseNext, RestoreBack };

inline constexpr int kFullRestore = 0;
inline constexpr int kRecoverSpecificData = 1;  // offered, leads nowhere

// Next on the first panel goes on only for a full restore; Previous and Next move
// one panel back or on.
GBRestorePanel PanelAfter(GBRestorePanel shown, GBRestoreButton pressed, int restoreType);
// A backup is chosen and at least one folder is ticked.
bool RestoreAllowed(int backupIndex, int backupCount, int checkedCourses);
std::string RestoreQuestion(const std::string& backupText);

}  // namespace tolvarin::ui
