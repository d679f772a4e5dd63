#include "platform/shell/shell.h"

#include <dirent.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <string_view>

extern char** environ;

namespace shell {
namespace {

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

bool LessNoCase(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    char x = Lower(a[i]), y = Lower(b[i]);
    if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;  // names that differ only in case keep a fixed order
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// Every entry name of a folder except "." and "..".
std::vector<std::string> EntryNames(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return names;
  while (dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(std::move(name));
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end(), LessNoCase);
  return names;
}

// The entry of a folder that equals name without regard to case; of several, the one
// a sorted listing shows first. One pass over the folder, without sorting it: a folder
// of thousands of pictures is searched for every table file a run looks for.
std::string FindNoCase(const std::string& folder, const std::string& name) {
  std::string match;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return match;
  while (dirent* entry = ::readdir(dir)) {
    const std::string_view found = entry->d_name;
    if (found.size() != name.size() || found == "." || found == "..") continue;
    if (EqualNoCase(found, name) && (match.empty() || found < match)) match = found;
  }
  ::closedir(dir);
  return match;
}

bool MatchFrom(const std::string& name, size_t n, const std::string& pattern, size_t p) {
  while (p < pattern.size()) {
    char c = pattern[p];
    if (c == '*') {
      while (p < pattern.size() && pattern[p] == '*') ++p;
      if (p == pattern.size()) return true;
      for (size_t k = n; k <= name.size(); ++k)
        if (MatchFrom(name, k, pattern, p)) return true;
      return false;
    }
    if (n >= name.size()) return false;
    if (c != '?' && Lower(c) != Lower(name[n])) return false;
    ++n;
    ++p;
  }
  return n == name.size();
}

std::vector<std::string> List(const std::string& folder, const std::string& pattern, bool folders) {
  std::vector<std::string> result;
  std::string real = ResolveCase(folder);
  for (const std::string& name : EntryNames(real)) {
    if (!MatchPattern(name, pattern)) continue;
    struct stat st;
    std::string full = real.empty() ? name : (real.back() == '/' ? real + name : real + "/" + name);
    if (::stat(full.c_str(), &st) != 0) continue;
    if (folders ? S_ISDIR(st.st_mode) : S_ISREG(st.st_mode)) result.push_back(name);
  }
  return result;
}

}  // namespace

std::string TempFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string root = (base && *base == '/') ? base : "/tmp";
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  const std::string folder = root + "/tolvarin-" + std::to_string(::getuid());
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return "";
  // Staging folders under it are emptied wholesale: it must be ours and private.
  struct stat st;
  if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) return "";
  if ((st.st_mode & 077) != 0 && ::chmod(folder.c_str(), 0700) != 0) return "";
  return folder + "/";
}

std::string ResolveCase(const std::string& path) {
  if (path.empty() || Exists(path)) return path;
  std::string result;
  size_t pos = 0;
  if (path[0] == '/') {
    result = "/";
    pos = 1;
  }
  bool found = true;  // whether every part so far exists
  while (pos <= path.size()) {
    size_t slash = path.find('/', pos);
    std::string part = path.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
    if (found && !part.empty() && part != "." && part != "..") {
      std::string candidate = result + part;
      if (!Exists(candidate)) {
        const std::string match = FindNoCase(result.empty() ? "." : result, part);
        if (match.empty())
          found = false;
        else
          part = match;
      }
    }
    result += part;
    if (slash == std::string::npos) break;
    result += '/';
    pos = slash + 1;
  }
  return result;
}

std::vector<std::string> ListFiles(const std::string& folder, const std::string& pattern) {
  return List(folder, pattern, false);
}

std::vector<std::string> ListFolders(const std::string& folder, const std::string& pattern) {
  return List(folder, pattern, true);
}

bool MatchPattern(const std::string& name, const std::string& pattern) {
  if (pattern.empty() || pattern == "*.*") return true;  // every name, dotted or not
  return MatchFrom(name, 0, pattern, 0);
}

std::string MappedDriveShare(const std::string&) { return ""; }

bool OpenInViewer(const std::string& path) {
  // The viewer is started detached: a child starts it and ends at once, so the
  // program neither waits for the viewer nor leaves a zombie behind.
  pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    ::setsid();
    const char* args[] = {"xdg-open", path.c_str(), nullptr};
    pid_t viewer;
    int rc = ::posix_spawnp(&viewer, "xdg-open", nullptr, nullptr, const_cast<char* const*>(args), environ);
    ::_exit(rc == 0 ? 0 : 1);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace shell
