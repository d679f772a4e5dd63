#include <string>
#include <vector>

#include "platform/zip/zip.h"

namespace zipio {

std::string SafeEntryPath(const std::string& entryName, std::string& reason) {
  std::string name = entryName;
  for (char& c : name)
    if (c == '\\') c = '/';  // archives made on Windows may separate with backslashes
  if (name.empty()) {
    reason = "empty name";
    return "";
  }
  if (name[0] == '/') {
    reason = "absolute name";
    return "";
  }
  for (unsigned char c : name)
    if (c < 0x20 || c == 0x7f) {
      reason = "control character in the name";
      return "";
    }
  if (name.find(':') != std::string::npos) {
    reason = "drive letter or stream name";
    return "";
  }
  const bool directory = name.back() == '/';
  std::vector<std::string> parts;
  size_t pos = 0;
  while (pos < name.size()) {
    size_t slash = name.find('/', pos);
    if (slash == std::string::npos) slash = name.size();
    std::string part = name.substr(pos, slash - pos);
    pos = slash + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      reason = "\"..\" in the name";
      return "";
    }
    parts.push_back(std::move(part));
  }
  if (parts.empty()) {
    reason = "no file name";
    return "";
  }
  std::string safe;
  for (const std::string& part : parts) safe += (safe.empty() ? "" : "/") + part;
  if (directory) safe += '/';
  return safe;
}

}  // namespace zipio
