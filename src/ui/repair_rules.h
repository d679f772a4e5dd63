#pragma once
// The rules of the repair dialog, apart from its widgets: which listed files a
// press repairs.
#include <string>
#include <vector>

namespace tolvarin::ui {

inline constexpr const char* kSelectFiles = "Please select one or more files.";

// Repair All: every listed file. Repair Selected: the selected rows in list order;
// empty (the selection message is due) when none is selected.
std::vector<std::string> FilesToRepair(const std::vector<std::string>& listed, const std::vector<bool>& selected,
                                       bool all);

}  // namespace tolvarin::ui
