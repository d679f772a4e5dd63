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
constexpr const char* kActivityLine = "activity";

// A file's line: its name, size and checksum ("-" for a file that is not there).
std::string FileLine(const std::string& name, const std::string& path) {
  std::ostringstream line;
  line << ToLower(name);
  if (FileExists(path)) {
    const std::vector<std::uint8_t> bytes = ReadFileBytes(path);
    line << " " << bytes.size() << " " << Crc32(std::string(bytes.begin(), bytes.end()));
  } else {
    line << " -";
  }
  return line.str() + "\n";
}

std::string FileLines(const std::string& folder, const std::vector<std::string>& names) {
  std::string lines;
  for (const std::string& name : names) lines += FileLine(name, FindPath(JoinPath(folder, name)));
  return lines;
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

// The rewritten activity files of the package, as they were written aside.
std::string ActivityLines(const std::string& packagePath) {
  std::string lines;
  std::error_code ec;
  for (const StagedFile& file : FilesAside())
    if (fs::equivalent(fs::path(file.target).parent_path(), packagePath, ec))
      lines += FileLine(fs::path(file.target).filename().string(), file.staged);
  return lines;
}

std::string ReadNote(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What a note says of the import: the course's tables as it left them, and the
// package's activity files as it rewrote them.
struct Note {
  std::string upToActivities;
  std::vector<std::string> courseFiles;
  std::vector<std::pair<std::string, std::string>> activities;  // name, its line
};

Note ParseNote(const std::string& text, const std::string& package) {
  Note note;
  if (text.rfind(package + kCourseLine + "\n", 0) != 0) return note;
  std::istringstream lines(text.substr(package.size() + std::string(kCourseLine).size() + 1));
  bool activities = false;
  note.upToActivities = package + kCourseLine + "\n";
  for (std::string line; std::getline(lines, line);) {
    if (line == kActivityLine) {
      activities = true;
      continue;
    }
    const std::string name = line.substr(0, line.find(' '));
    if (activities) {
      note.activities.emplace_back(name, line + "\n");
    } else {
      note.upToActivities += line + "\n";
      note.courseFiles.push_back(name);
    }
  }
  return note;
}

// An activity file the import rewrote and that a later run could not put in place
// (it finishes no group outside the course but its own package's) goes in now.
void PutRewrittenActivitiesInPlace(const std::string& packagePath, const Note& note) {
  for (const auto& [name, line] : note.activities) {
    const std::string file = FindPath(JoinPath(packagePath, name));
    if (FileLine(name, file) == line) continue;
    const std::string aside = file + kAsideSuffix;
    std::error_code ec;
    if (fs::is_regular_file(fs::symlink_status(aside, ec)) && FileLine(name, aside) == line) {
      fs::rename(aside, file, ec);
      if (!ec) {
        WriteLog("Put the rewritten activity file " + file + " in place, which the import had left beside it");
        continue;
      }
    }
    WriteLog("TOLVARIN ERROR: The activity file " + file + " does not hold what the import of the package wrote.");
  }
}

}  // namespace

RestoreOutcome ImportGamePackage(const std::string& coursePath, const std::string& packagePath) {
  if (!RestoreSourceIsUsable()) return {kOperationFailedStatus, ""};
  const std::string note = JoinPath(coursePath, kImportNoteFile);
  // The note says that this package was imported and the course holds what it left.
  const std::string package = PackageLines(packagePath);
  const Note noted = ParseNote(FileExists(FindPath(note)) ? ReadNote(FindPath(note)) : "", package);
  if (!noted.courseFiles.empty() &&
      noted.upToActivities == package + kCourseLine + "\n" + FileLines(coursePath, noted.courseFiles)) {
    WriteLog("The course \"" + coursePath + "\" holds the import of the game package \"" + packagePath +
             "\" already, as the import left it: it is not imported again.");
    PutRewrittenActivitiesInPlace(packagePath, noted);
    return {};
  }
  return RestoreThroughWorkCopies(coursePath, [&](const std::string& work, const std::vector<std::string>& changed) {
    const std::string text = PackageLines(packagePath) + kCourseLine + "\n" + FileLines(work, TableFiles(changed)) +
                             kActivityLine + "\n" + ActivityLines(packagePath);
    return WriteAside(FindPath(note), text) ? std::string()
                                            : "The file " + note + " could not be written.  Nothing was imported.";
  });
}

}  // namespace tolvarin
