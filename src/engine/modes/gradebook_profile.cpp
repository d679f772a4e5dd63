#include "engine/modes/gradebook_profile.h"

#include <algorithm>
#include <filesystem>

#include "core/files.h"
#include "core/paths.h"
#include "core/strings.h"
#include "core/xml.h"
#include "data/key_text.h"

namespace tolvarin {
namespace {

constexpr const char* kDatabasesMarker = "DATABASES/CORVANE";
constexpr std::size_t kMarkerLength = 17;
constexpr const char* kBackupWord = "GradebookBackup";

std::string TrimSpace(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// Every value of the element inside the text, in order (an empty one ends them).
std::vector<std::string> Values(const std::string& text, const std::string& tag) {
  std::vector<std::string> values;
  long position = 1;
  for (;;) {
    const std::string value = GetXmlValue(text, tag, "", position);
    if (position == 0 || value.empty()) break;
    values.push_back(value);
  }
  return values;
}

std::string FirstValue(const std::string& text, const std::string& tag) {
  long position = 1;
  return TrimSpace(GetXmlValue(text, tag, "", position));
}

}  // namespace

std::vector<CourseBackupProfile> ParseBackupProfile(const std::string& document) {
  std::vector<CourseBackupProfile> courses;
  for (const std::string& courseText : Values(document, "CourseBackupProfile")) {
    CourseBackupProfile course;
    course.Path = FirstValue(courseText, "Path");
    for (const std::string& tableText : Values(courseText, "TableBackupProfile")) {
      TableBackupProfile table;
      table.Name = FirstValue(tableText, "Name");
      table.Tag = FirstValue(tableText, "Tag");
      for (const std::string& id : Values(tableText, "ID")) table.IDs.push_back(TrimSpace(id));
      course.Tables.push_back(std::move(table));
    }
    courses.push_back(std::move(course));
  }
  return courses;
}

std::vector<CourseBackupProfile> ReadBackupProfile(const std::string& file) {
  if (!FileExists(file)) return {};
  return ParseBackupProfile(ReadTextFile(file, false, false));
}

std::string ProfilePath(const std::string& path) { return ReplaceAll(path, "\\", "/"); }

std::optional<std::string> RelativeFolderPart(const std::string& path) {
  std::string part;
  for (const std::string& piece : SplitText(ProfilePath(path), "/", false).items) {
    if (piece.empty() || piece == ".") continue;
    if (piece == ".." || piece.find('\0') != std::string::npos) return std::nullopt;
    part = part.empty() ? piece : part + "/" + piece;
  }
  return part;
}

std::optional<std::string> ProfileTargetPart(const std::string& path) {
  const std::string slashed = ProfilePath(path);
  const std::size_t marker = ToUpper(slashed).find(kDatabasesMarker);
  const std::size_t start = marker == std::string::npos ? kMarkerLength - 1 : marker + kMarkerLength;
  return RelativeFolderPart(start < slashed.size() ? slashed.substr(start) : "");
}

bool IsSafeTableName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

std::string AttributeRowKey(const std::string& tableName, const std::string& id) {
  return PadRight(ToLower(tableName).substr(0, 20), 20) + KeyText40(id);
}

std::string PlainNumberText(const std::string& id) { return NumberText(TextValue(id)); }

std::vector<GradebookBackup> ListGradebookBackups(const std::string& backupRoot) {
  std::vector<GradebookBackup> backups;
  const std::vector<std::string> folders = GetSubFolders(backupRoot, false);
  for (std::size_t i = 1; i < folders.size(); ++i) {
    const std::string name = GetFileName(folders[i], true);
    const std::size_t at = name.find(kBackupWord);
    if (at == std::string::npos) continue;
    // Only a whole number after the word names an increment; anything else (a copy,
    // "GradebookBackup2 old") could be taken for the wrong one.
    const std::string number = name.substr(at + std::string(kBackupWord).size());
    if (number.empty() || number.size() > 9 ||
        !std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }))
      continue;
    if (!FileExists(JoinPath(folders[i], kBackupProfileName))) continue;
    backups.push_back({folders[i], std::stol(number)});
  }
  std::stable_sort(backups.begin(), backups.end(), [](const GradebookBackup& a, const GradebookBackup& b) {
    if (a.Number != b.Number) return a.Number < b.Number;
    return GetFileName(a.Folder, true) < GetFileName(b.Folder, true);
  });
  return backups;
}

long MissingIncrement(const std::vector<GradebookBackup>& backups, long number) {
  for (long k = 1; k <= number; ++k) {
    const auto count = std::count_if(backups.begin(), backups.end(),
                                     [k](const GradebookBackup& backup) { return backup.Number == k; });
    if (count != 1) return k;
  }
  return 0;
}

}  // namespace tolvarin
