#pragma once
// Copies of files that belong together (a table's .dbf, .cdx and .fpt): either the
// whole set replaces the targets, checked, or the targets stay as they were.
#include <string>
#include <vector>

namespace tolvarin {

// Copies the named files of sourceFolder (names found without regard to case) into
// targetFolder. Each is first written beside its target under a temporary name and
// checked to have its source's size; only when every file of the set was copied and
// checked do they replace the targets (a target spelt in another case is replaced,
// not doubled). Returns the names that failed; empty when the whole set is in place.
std::vector<std::string> CopyFileSet(const std::string& sourceFolder, const std::string& targetFolder,
                                     const std::vector<std::string>& names);

}  // namespace tolvarin
