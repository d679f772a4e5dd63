#include "engine/modes/game_import.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>
#include <vector>

#include "core/files.h"
#include "core/paths.h"
#include "core/run_log.h"
#include "core/strings.h"
#include "engine/modes/transfer_drivers.h"
#include "engine/package/backup_contents.h"
#include "engine/startup.h"
#include "engine/transfer/files_aside.h"

namespace tolvarin {
namespace {

namespace fs = std::filesystem;

constexpr const char* kCourseLine = "course";

// One line per file: its name, size and checksum ("-" for a file that is not there).
std::string FileLines(const std::string& folder, const std::vector<std::string>& names) {
  std::ostringstream lines;
  for (const std::string& name : names) {
    const std::string path = FindPath(JoinPath(folder, name));
    lines << ToLower(name);
    if (FileExists(path)) {
      const std::vector<std::uint8_t> bytes = ReadFileBytes(path);
      lines << " " << bytes.size() << " " << Crc32(std::string(bytes.begin(), bytes.end()));
    } else {
      lines << " -";
    }
    lines << "\n";
  }
  return lines.str();
}

// The package as a note names it: its folder and its tables' data and memo files,
// which the import reads and never writes.
std::string PackageLines(const std::string& packagePath) {
  std::error_code ec;
  const fs::path folder = fs::weakly_canonical(packagePath, ec);
  std::vector<std::string> names;
  for (const std::string& file : GetFilesInFolder(packagePath, kAttrNormal, "DBF;FPT"))
    names.push_back(GetFileName(file, true));
  return "package " + (ec ? packagePath : folder.string()) + "\n" + FileLines(packagePath, names);
}

// The data and memo files of the tables the group puts in place.
std::vector<std::string> TableFiles(const std::vector<std::string>& tables) {
  std::vector<std::string> names;
  for (const std::string& table : tables)
    for (const char* extension : {".dbf", ".fpt"}) names.push_back(table + extension);
  return names;
}

std::string ReadNote(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The note says that this package was imported and the course holds what it left.
bool ImportedAlready(const std::string& notePath, const std::string& coursePath, const std::string& packagePath) {
  if (!FileExists(notePath)) return false;
  const std::string note = ReadNote(notePath);
  const std::string package = PackageLines(packagePath);
  if (note.rfind(package + kCourseLine + "\n", 0) != 0) return false;
  std::vector<std::string> names;
  std::istringstream lines(note.substr(package.size() + std::string(kCourseLine).size() + 1));
  for (std::string line; std::getline(lines, line);) names.push_back(line.substr(0, line.find(' ')));
  return !names.empty() && note == package + kCourseLine + "\n" + FileLines(coursePath, names);
}

}  // namespace

RestoreOutcome ImportGamePackage(const std::string& coursePath, const std::string& packagePath) {
  if (!RestoreSourceIsUsable()) return {kOperationFailedStatus, ""};
  const std::string note = JoinPath(coursePath, kImportNoteFile);
  if (ImportedAlready(FindPath(note), coursePath, packagePath)) {
    WriteLog("The course \"" + coursePath + "\" holds the import of the game package \"" + packagePath +
             "\" already, as the import left it: it is not imported again.");
    return {};
  }
  return RestoreThroughWorkCopies(coursePath, [&](const std::string& work, const std::vector<std::string>& changed) {
    const std::string text = PackageLines(packagePath) + kCourseLine + "\n" + FileLines(work, TableFiles(changed));
    return WriteAside(FindPath(note), text) ? std::string()
                                            : "The file " + note + " could not be written.  Nothing was imported.";
  });
}

}  // namespace tolvarin
