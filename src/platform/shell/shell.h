#pragma once
// What the host's operating system did for the original: the temporary folder,
// file names found without regard to case, and the system's file viewer.
#include <string>
#include <vector>

namespace shell {

// The user's private temporary folder, with a trailing "/". Created owner-only;
// "" when it is a link or belongs to someone else.
std::string TempFolder();

// The path as it exists on disk, each component matched without regard to case;
// components that do not exist are kept as written.
std::string ResolveCase(const std::string& path);

// Names (not paths) in a folder whose names match a pattern of * and ?, without
// regard to case, sorted by name without regard to case.
std::vector<std::string> ListFiles(const std::string& folder, const std::string& pattern);
std::vector<std::string> ListFolders(const std::string& folder, const std::string& pattern);
bool MatchPattern(const std::string& name, const std::string& pattern);

// Share name of a mapped network drive; always "" here.
std::string MappedDriveShare(const std::string& drive);

// Opens a file in the system's viewer; false when none could be started.
bool OpenInViewer(const std::string& path);

}  // namespace shell
