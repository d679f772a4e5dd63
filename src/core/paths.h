#pragma once
// Path texts. Paths use "/"; an absolute path begins with "/". The normal form is
// for comparing paths only and never names a file to open: on this file system the
// case of a name matters, and the host's names are found with FindPath instead.
#include <string>

namespace tolvarin {

// Upper case, doubled separators collapsed, exactly one trailing "/".
std::string NormalizePath(const std::string& path);
bool SamePath(const std::string& a, const std::string& b);
// The normal form of inner begins with that of outer (a folder is inside itself).
bool PathStartsWith(const std::string& outer, const std::string& inner);

// The part of a path below outer, as written: its case kept, doubled separators
// collapsed, ending in "/" ("" for outer itself). Only for a path inside outer
// (PathStartsWith).
std::string PathBelow(const std::string& outer, const std::string& path);

// The text up to and including the last "/"; without one, the current folder with a
// trailing "/". The case is kept, so the result can be opened.
std::string GetFolderOfPath(const std::string& path);
// The text after the last "."; the whole path when it has none.
std::string GetFileExtension(const std::string& path);
// The text after the last "/"; without keepExtension its last "." and what follows go.
std::string GetFileName(const std::string& path, bool keepExtension);

// There are no mapped network drives here: always "".
std::string GetNetworkConnection(const std::string& drive);
// The user's private temporary folder with its trailing "/"; "" when it is unsafe.
std::string GetTempFolder();

bool IsAbsolutePath(const std::string& path);
// folder + "/" + name, with one separator between them.
std::string JoinPath(const std::string& folder, const std::string& name);
// The path as it stands on disk, each part found without regard to case; parts
// that do not exist are kept as written (so a new file gets the name given).
std::string FindPath(const std::string& path);

}  // namespace tolvarin
