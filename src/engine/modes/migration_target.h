#pragma once
// The rules of the migration chooser, apart from its window: the courses it lists,
// the target course folder it makes of a target installation and a course, and the
// checks a target must pass before any table is opened there.
#include <optional>
#include <string>
#include <vector>

#include "data/catalogue.h"

namespace tolvarin {

// The loaded course slots of an area: display name and CourseID.
struct MigrationCourse {
  std::string name;
  int courseId = 0;
};
std::vector<MigrationCourse> MigrationCourses(const AreaRecord& area);

// The target installation's folder followed by the last four parts of the course's
// path (databases, brand, area and course folder), so that the course keeps its
// place below the target installation; nullopt when the path has fewer parts.
std::optional<std::string> MigrationCourseFolder(const std::string& targetInstallation,
                                                 const std::string& coursePath);

// What keeps a target course folder from receiving the current course's content,
// nullopt when nothing: it must exist, hold every table file the current course
// holds (and its brand folder every table of the current brand folder), and must
// not be the current course itself.
std::optional<std::string> MigrationTargetProblem(const std::string& targetCourse, const std::string& currentCourse,
                                                  const std::string& currentBrand);

}  // namespace tolvarin
