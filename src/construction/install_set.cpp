#include "construction/install_set.h"

#include "construction/blank_tables.h"
#include "construction/construction_run.h"
#include "core/box_buttons.h"
#include "core/files.h"
#include "core/ini_file.h"
#include "core/settings.h"
#include "core/system_box.h"
#include "data/codebase.h"
#include "data/table_registry.h"
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

void ReadEdition() {
  EditionInfo& edition = Edition();
  const std::string& app = Settings().AppPath;
  const std::string version = profile::GetString(FindPath(JoinPath(app, "Kestal.INI")), "Edition", "Version", "");
  const std::string catalogue = FindPath(JoinPath(app, kEditionsFile));
  edition.Code = 0;
  for (int code = 1; code <= 11 && !version.empty(); ++code) {
    if (EqualsNoCase(profile::GetString(catalogue, "Editions", "Edition" + std::to_string(code), ""), version)) {
      edition.Code = static_cast<std::int16_t>(code);
      break;
    }
  }
  if (edition.Code == 0 && AllDigits(version) && TextValue(version) >= 1 && TextValue(version) <= 11) {
    edition.Code = static_cast<std::int16_t>(TextValue(version));
  }
  const std::string combined = JoinPath(app, "dbf/0000002/descript.dbf");
  if (FileExists(combined)) {
    xbase::Data4 data = OpenForUpgrade(combined);
    if (data != 0) {
      std::string first;
      if (xbase::d4top(data) == xbase::kSuccess) first = Trim(xbase::f4memoStr(xbase::d4field(data, "descript")));
      CloseTable(data);
      if (edition.Code == 1 && first == "9999") edition.Code = 15;
      if (edition.Code == 1 && first == "1234") {
        edition.Code = 17;
        MsgBox("The old database in " + WithoutTrailingSlash(FindPath(JoinPath(app, "dbf"))) +
                   " holds several courses in one and cannot be converted. Its tables are left where they are.",
               kMbExclamation);
      }
    }
  }
  edition.Group = static_cast<std::int16_t>(EditionGroup(edition.Code));
}

void LoadCourseNames() {
  EditionInfo& edition = Edition();
  const std::string catalogue = FindPath(JoinPath(Settings().AppPath, kEditionsFile));
  const std::string section = "Edition" + std::to_string(edition.Code);
  for (int n = 1; n <= 8; ++n) {
    const std::string number = std::to_string(n);
    const int slot = profile::GetInt(catalogue, section, "Slot" + number, -1);
    edition.Slots[static_cast<std::size_t>(n)] =
        static_cast<std::int16_t>(slot >= 0 && slot < kCourseSlots ? slot : -1);
    edition.Titles[static_cast<std::size_t>(n)] = profile::GetString(catalogue, section, "Title" + number, "");
    edition.Products[static_cast<std::size_t>(n)] = profile::GetString(catalogue, section, "Product" + number, "");
  }
}

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
