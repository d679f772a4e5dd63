#include "engine/modes/migration_target.h"

#include <filesystem>
#include <system_error>

#include "core/files.h"
#include "core/paths.h"
#include "core/strings.h"
#include "engine/package/backup_folder.h"
#include "platform/shell/shell.h"

namespace tolvarin {
namespace {

namespace fs = std::filesystem;

std::string Resolved(const std::string& folder) {
  std::error_code ec;
  const fs::path resolved = fs::weakly_canonical(FindPath(folder), ec);
  return ec ? folder : resolved.string();
}

// The .dbf files of source that target lacks (names compared without regard to case).
std::vector<std::string> MissingTables(const std::string& source, const std::string& target) {
  std::vector<std::string> missing;
  for (const std::string& name : shell::ListFiles(source, "*.dbf"))
    if (!EqualsNoCase(name, kVersionFile) && !FileExists(FindPath(JoinPath(target, name)))) missing.push_back(name);
  return missing;
}

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

}  // namespace

std::vector<MigrationCourse> MigrationCourses(const AreaRecord& area) {
  std::vector<MigrationCourse> courses;
  for (const CourseRecord& course : area.Courses)
    if (course.Loaded) courses.push_back({course.DisplayName, course.CourseID});
  return courses;
}

std::optional<std::string> MigrationCourseFolder(const std::string& targetInstallation,
                                                 const std::string& coursePath) {
  std::string path = Resolved(coursePath);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  size_t at = path.size();
  for (int part = 0; part < 4; ++part) {
    if (at == 0) return std::nullopt;
    at = path.rfind('/', at - 1);
    if (at == std::string::npos) return std::nullopt;
  }
  const std::string tail = path.substr(at);
  for (const char* part : {"/./", "/../"})
    if ((tail + "/").find(part) != std::string::npos) return std::nullopt;
  std::string target = targetInstallation;
  while (target.size() > 1 && target.back() == '/') target.pop_back();
  return target + tail;
}

std::optional<std::string> MigrationTargetProblem(const std::string& targetCourse, const std::string& currentCourse,
                                                  const std::string& currentBrand) {
  const std::string target = FindPath(targetCourse);
  if (!FolderExists(target))
    return "The course folder \"" + targetCourse + "\" does not exist in the target installation.";
  if (Resolved(target) == Resolved(currentCourse))
    return "\"" + targetCourse + "\" is the course the content comes from.  Choose the course of another "
           "installation.";
  const std::vector<std::string> course = MissingTables(Resolved(currentCourse), target);
  if (!course.empty())
    return "The course folder \"" + targetCourse + "\" does not hold the course's tables (" + Joined(course) + ").";
  const std::string brand = fs::path(Resolved(target)).parent_path().parent_path().string();
  const std::vector<std::string> shared = MissingTables(Resolved(currentBrand), brand);
  if (!shared.empty())
    return "The installation of \"" + targetCourse + "\" does not hold the shared tables (" + Joined(shared) + ").";
  return std::nullopt;
}

}  // namespace tolvarin
