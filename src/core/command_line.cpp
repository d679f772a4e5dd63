#include "core/command_line.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace tolvarin {
namespace {

std::string& StoredLine() {
  static std::string line;
  return line;
}

size_t FindNoCase(const std::string& text, const std::string& find) {
  auto it = std::search(text.begin(), text.end(), find.begin(), find.end(), [](char a, char b) {
    return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
  });
  return it == text.end() ? std::string::npos : static_cast<size_t>(it - text.begin());
}

}  // namespace

std::string GetCommandArg(const std::string& commandLine, const std::string& key) {
  const size_t at = FindNoCase(commandLine, key + ":");
  if (at == std::string::npos) return "";
  size_t start = at + key.size() + 1;
  char terminator = ' ';
  if (start < commandLine.size() && commandLine[start] == '"') {
    terminator = '"';
    ++start;
  }
  if (start >= commandLine.size()) return "";
  // The closing quote is looked for from the value's first character on, so "" ends
  // the value at once: an empty quoted value gives "".
  const size_t end = commandLine.find(terminator, start);
  return commandLine.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

const std::string& CommandLine() { return StoredLine(); }

void SetCommandLine(std::string commandLine) { StoredLine() = std::move(commandLine); }

std::string JoinArguments(const std::vector<std::string>& args) {
  std::string line;
  for (const std::string& arg : args) {
    if (!line.empty()) line += ' ';
    if (arg.find(' ') == std::string::npos || arg.find('"') != std::string::npos) {
      line += arg;
      continue;
    }
    const size_t colon = arg.find(':');
    if (colon == std::string::npos)
      line += '"' + arg + '"';
    else
      line += arg.substr(0, colon + 1) + '"' + arg.substr(colon + 1) + '"';
  }
  return line;
}

}  // namespace tolvarin
