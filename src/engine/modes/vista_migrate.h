#pragma once
// The move of an installation's program folder and user-content folder into a new
// target folder, for an installer that relocates the product. Install.abort in the
// program folder tells the installer that the move did not (wholly) take place.
#include <string>
#include <vector>

namespace tolvarin {

inline constexpr const char* kInstallAbortFile = "Install.abort";

// Writes folder/Install.abort: the line "ABORT", then one line per file named.
void WriteInstallAbort(const std::string& folder, const std::vector<std::string>& failedFiles = {});

// Moves every file of source into target (made when missing), subfolders alike; a
// file that cannot be renamed (another file system) is copied, checked and only
// then deleted. Links are moved as links, never followed. The source paths that
// stayed behind.
std::vector<std::string> MoveTreeChecked(const std::string& source, const std::string& target);

// Refuses an existing target (Install.abort and a message); otherwise moves both
// trees, writing Install.abort with the files that could not be moved. The run's
// status: 0 when everything moved.
int VistaMigrate(const std::string& programFilesPath, const std::string& targetPath,
                 const std::string& userContentPath);

}  // namespace tolvarin
