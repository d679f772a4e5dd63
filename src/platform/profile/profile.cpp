#include "platform/profile/profile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/shell/shell.h"

namespace profile {
namespace {

constexpr size_t kMaxText = 254;  // the host's readers use a buffer of 255 with its NUL

std::string Trim(const std::string& text) {
  const char* blanks = " \t";
  size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return "";
  size_t last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::vector<std::string> ReadLines(const std::string& file, bool& exists) {
  std::vector<std::string> lines;
  std::ifstream in(file, std::ios::binary);
  exists = static_cast<bool>(in);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The section name of a "[name]" line, or false.
bool SectionOf(const std::string& line, std::string& name) {
  std::string t = Trim(line);
  if (t.size() < 2 || t.front() != '[') return false;
  size_t close = t.find(']');
  if (close == std::string::npos) return false;
  name = Trim(t.substr(1, close - 1));
  return true;
}

// The key of a "key=value" line, or false (comments and other lines).
bool KeyOf(const std::string& line, std::string& key, std::string& value) {
  std::string t = Trim(line);
  if (t.empty() || t.front() == ';') return false;
  size_t eq = t.find('=');
  if (eq == std::string::npos) return false;
  key = Trim(t.substr(0, eq));
  value = Trim(t.substr(eq + 1));
  return true;
}

// Finds the value of key in section; false when the key is missing.
bool Lookup(const std::string& file, const std::string& section, const std::string& key, std::string& value) {
  bool exists = false;
  const std::vector<std::string> lines = ReadLines(shell::ResolveCase(file), exists);
  const std::string wantSection = Trim(section), wantKey = Trim(key);
  bool inSection = false;
  for (const std::string& line : lines) {
    std::string name, k, v;
    if (SectionOf(line, name)) {
      inSection = EqualNoCase(name, wantSection);
      continue;
    }
    if (inSection && KeyOf(line, k, v) && EqualNoCase(k, wantKey)) {
      value = v;
      return true;
    }
  }
  return false;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

bool WriteInPlace(const std::string& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out << text;
  out.flush();
  return static_cast<bool>(out);
}

bool WriteAll(const std::string& file, const std::vector<std::string>& lines) {
  // A file reached through a link is written at its target, so the link stays.
  std::error_code error;
  std::string target = file;
  if (std::filesystem::is_symlink(file, error)) {
    const auto resolved = std::filesystem::weakly_canonical(file, error);
    if (error) return false;
    target = resolved.string();
  }
  const std::string text = Joined(lines);
  struct stat before {};
  const bool existed = ::stat(target.c_str(), &before) == 0;
  // Written beside the file and renamed over it, so a failed write never leaves
  // half a settings file behind; the file keeps its permissions. Where the folder
  // takes no new file but the file itself may be written, it is written in place.
  const std::string temp = target + ".tmp" + std::to_string(::getpid());
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return WriteInPlace(target, text);
    out << text;
    out.flush();
    if (!out) {
      std::remove(temp.c_str());
      return false;
    }
  }
  if (existed && ::chmod(temp.c_str(), before.st_mode & 07777) != 0) {
    std::remove(temp.c_str());
    return WriteInPlace(target, text);
  }
  if (std::rename(temp.c_str(), target.c_str()) != 0) {
    std::remove(temp.c_str());
    return WriteInPlace(target, text);
  }
  return true;
}

}  // namespace

std::string GetString(const std::string& file, const std::string& section, const std::string& key,
                      const std::string& defaultValue) {
  std::string value;
  if (!Lookup(file, section, key, value)) value = Trim(defaultValue);
  // A value in a matching pair of quotes comes back without them, as the host's
  // readers gave it.
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  if (value.size() > kMaxText) value.resize(kMaxText);
  return value;
}

int GetInt(const std::string& file, const std::string& section, const std::string& key, int defaultValue) {
  std::string value;
  if (!Lookup(file, section, key, value)) return defaultValue;
  if (value.empty()) return 0;  // a key that is there but empty reads as 0, not as the default
  size_t i = 0;
  bool negative = false;
  if (value[i] == '-' || value[i] == '+') negative = value[i++] == '-';
  long long number = 0;
  for (; i < value.size() && std::isdigit(static_cast<unsigned char>(value[i])); ++i) {
    number = number * 10 + (value[i] - '0');
    if (number > 0xFFFFFFFFLL) break;
  }
  if (negative) number = -number;
  if (number > 2147483647LL || number < -2147483648LL) return defaultValue;
  return static_cast<int>(number);
}

bool WriteString(const std::string& file, const std::string& section, const std::string& key,
                 const std::string& value) {
  const std::string real = shell::ResolveCase(file);
  bool exists = false;
  std::vector<std::string> lines = ReadLines(real, exists);
  const std::string wantSection = Trim(section), wantKey = Trim(key);
  if (wantSection.empty() || wantKey.empty()) return false;

  // Find the section; inside it, the key's line or the last line of content.
  long sectionLine = -1, keyLine = -1, lastContent = -1;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string name, k, v;
    if (SectionOf(lines[i], name)) {
      if (sectionLine >= 0) break;  // the first matching section is the one read
      if (EqualNoCase(name, wantSection)) sectionLine = lastContent = static_cast<long>(i);
      continue;
    }
    if (sectionLine < 0) continue;
    if (!Trim(lines[i]).empty()) lastContent = static_cast<long>(i);
    if (KeyOf(lines[i], k, v) && EqualNoCase(k, wantKey)) {
      keyLine = static_cast<long>(i);
      break;
    }
  }

  if (keyLine >= 0) {
    // The stored key keeps its spelling and indent; only the value changes.
    std::string& line = lines[static_cast<size_t>(keyLine)];
    size_t indent = line.find_first_not_of(" \t");
    std::string k, v;
    KeyOf(line, k, v);
    line = line.substr(0, indent) + k + "=" + value;
  } else if (sectionLine >= 0) {
    lines.insert(lines.begin() + lastContent + 1, wantKey + "=" + value);
  } else {
    if (!lines.empty() && !Trim(lines.back()).empty()) lines.push_back("");
    lines.push_back("[" + wantSection + "]");
    lines.push_back(wantKey + "=" + value);
  }
  return WriteAll(real, lines);
}

}  // namespace profile
