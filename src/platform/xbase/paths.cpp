#include "platform/xbase/paths.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <cctype>

namespace xbase::detail {
namespace {

bool Exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

// The entry of folder whose name equals name without regard to case ("" when none).
std::string FindEntry(const std::string& folder, const std::string& name) {
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return "";
  std::string found;
  while (dirent* entry = readdir(dir)) {
    if (strcasecmp(entry->d_name, name.c_str()) == 0) {
      found = entry->d_name;
      if (found == name) break;  // an exact match wins
    }
  }
  closedir(dir);
  return found;
}

}  // namespace

std::string ResolvePathCase(const std::string& path) {
  if (path.empty() || Exists(path)) return path;
  std::string result;
  std::size_t at = 0;
  if (path[0] == '/') {
    result = "/";
    at = 1;
  }
  bool missing = false;
  while (at <= path.size()) {
    std::size_t slash = path.find('/', at);
    std::string part = path.substr(at, slash == std::string::npos ? std::string::npos : slash - at);
    if (!part.empty()) {
      std::string folder = result.empty() ? "." : result;
      std::string real = missing || part == "." || part == ".." ? "" : FindEntry(folder, part);
      if (real.empty()) {
        real = part;
        if (part != "." && part != "..") missing = !Exists(result + part);
      }
      result += real;
    }
    if (slash == std::string::npos) break;
    result += '/';
    at = slash + 1;
  }
  return result;
}

std::string WithDbfExtension(const std::string& path) {
  std::size_t slash = path.rfind('/');
  std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path + ".dbf";
  return path;
}

std::string SiblingFile(const std::string& dbfPath, const std::string& extension, bool* exists) {
  std::size_t slash = dbfPath.rfind('/');
  std::size_t dot = dbfPath.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) dot = dbfPath.size();
  std::string folder = slash == std::string::npos ? "" : dbfPath.substr(0, slash + 1);
  std::string stem = dbfPath.substr(folder.size(), dot - folder.size());
  std::string ext = extension;
  bool upper = dot + 1 < dbfPath.size() && std::isupper(static_cast<unsigned char>(dbfPath[dot + 1]));
  for (char& c : ext) c = static_cast<char>(upper ? std::toupper(static_cast<unsigned char>(c))
                                                  : std::tolower(static_cast<unsigned char>(c)));
  std::string real = FindEntry(folder.empty() ? "." : folder, stem + ext);
  if (exists) *exists = !real.empty();
  return folder + (real.empty() ? stem + ext : real);
}

}  // namespace xbase::detail
