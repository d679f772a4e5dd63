#include "construction/install_set.h"

#include "construction/blank_tables.h"
#include "construction/construction_run.h"
#include "core/ini_file.h"
#include "core/paths.h"
#include "core/strings.h"
#include "data/catalogue.h"
#include "platform/profile/profile.h"

namespace tolvarin {
namespace {

bool AllDigits(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

std::string WithoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::int16_t IniIdentifier(const std::string& file, const std::string& section, const std::string& key) {
  const std::string found = FindPath(file);
  return static_cast<std::int16_t>(profile::GetInt(found, section, key, -1));
}

}  // namespace

EditionInfo& Edition() {
  static EditionInfo edition;
  return edition;
}

void ReadEdition() { Edition().Group = static_cast<std::int16_t>(EditionGroup(Edition().Code)); }

void LoadCourseNames() {}

int SwapCourseNumber(int number) {
  if (number == 2) return 3;
  if (number == 3) return 2;
  return number;
}

std::int16_t GetCourseSlot(int courseNumber) {
  const int index = SwapCourseNumber(courseNumber);
  if (index < 1 || index > 8) return -1;
  return Edition().Slots[static_cast<std::size_t>(index)];
}

std::int16_t GetCourseID(const std::string& folder) {
  const std::string path = WithoutTrailingSlash(folder);
  if (path.size() >= 7 && AllDigits(path.substr(path.size() - 7))) {
    return GetCourseSlot(static_cast<int>(TextValue(path.substr(path.size() - 7))));
  }
  return IniIdentifier(JoinPath(path, "course.ini"), "General", "CourseID");
}

std::int16_t GetAreaID(const std::string& folder) {
  const std::string path = WithoutTrailingSlash(folder);
  const std::int16_t own = IniIdentifier(JoinPath(path, "area.ini"), "General", "AreaID");
  if (own != -1) return own;
  return IniIdentifier(JoinPath(GetFolderOfPath(path), "area.ini"), "General", "AreaID");
}

std::string GetCoursePath(int areaID, int courseSlot, int catalogue) {
  if (courseSlot < 0 || courseSlot >= kCourseSlots) return "";
  const std::vector<AreaRecord>* areas = nullptr;
  if (catalogue == kLiveCatalogue) areas = &Areas().Records;
  if (catalogue == kInstallCatalogue) areas = &Construction().InstallAreas;
  if (areas == nullptr) return "";
  for (const AreaRecord& area : *areas) {
    if (area.AreaID == areaID) return area.Courses[static_cast<std::size_t>(courseSlot)].Path;
  }
  return "";
}

int MapCourseType(int areaID, int courseSlot) {
  if (areaID == 0 && courseSlot == 14) return 0;
  if (areaID == 1 && courseSlot == 13) return 1;
  if (areaID == 4 && courseSlot == 3) return 3;
  if (areaID == 1 && courseSlot == 10) return 4;
  return -1;
}

void RegisterInstallCourses(const std::string&) {}
void CreateCourseDirectories(bool) {}
void UnpackCourseData() {}

}  // namespace tolvarin
