#include "core/paths.h"

#include <unistd.h>

#include <climits>

#include "core/strings.h"
#include "platform/shell/shell.h"

namespace tolvarin {

namespace {

// Doubled slashes made single, and one trailing slash.
std::string CollapsedFolder(const std::string& path) {
  std::string result;
  result.reserve(path.size() + 1);
  for (const char c : path)
    if (c != '/' || result.empty() || result.back() != '/') result.push_back(c);
  if (result.empty() || result.back() != '/') result.push_back('/');
  return result;
}

}  // namespace

std::string NormalizePath(const std::string& path) { return CollapsedFolder(ToUpper(path)); }

std::string PathBelow(const std::string& outer, const std::string& path) {
  const std::string written = CollapsedFolder(path);
  const std::size_t start = NormalizePath(outer).size();
  return start < written.size() ? written.substr(start) : "";
}

bool SamePath(const std::string& a, const std::string& b) { return NormalizePath(a) == NormalizePath(b); }

bool PathStartsWith(const std::string& outer, const std::string& inner) {
  return NormalizePath(inner).rfind(NormalizePath(outer), 0) == 0;
}

std::string GetFolderOfPath(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash != std::string::npos) return path.substr(0, slash + 1);
  char buffer[PATH_MAX];
  std::string current = ::getcwd(buffer, sizeof buffer) ? buffer : ".";
  if (current.back() != '/') current += '/';
  return current;
}

std::string GetFileExtension(const std::string& path) {
  const size_t dot = path.rfind('.');
  return dot == std::string::npos ? path : path.substr(dot + 1);
}

std::string GetFileName(const std::string& path, bool keepExtension) {
  const size_t slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (!keepExtension) {
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
  }
  return name;
}

std::string GetNetworkConnection(const std::string& drive) { return shell::MappedDriveShare(drive); }

std::string GetTempFolder() { return shell::TempFolder(); }

bool IsAbsolutePath(const std::string& path) { return !path.empty() && path[0] == '/'; }

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

std::string FindPath(const std::string& path) { return shell::ResolveCase(path); }

}  // namespace tolvarin
