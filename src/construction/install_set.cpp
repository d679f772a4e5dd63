#include "construction/install_set.h"

#include <functional>

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
#include "platform/zip/zip.h"
#include "construction/upgrade_passes.h"

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

void InstallBitmapsAndTables(const std::string& source, const std::string& destination, bool withArea) {
  if (source.empty() || destination.empty() || SamePath(source, destination)) return;
  auto moveBitmaps = [](const std::string& from, const std::string& to) {
    const std::string bitmaps = JoinPath(to, "Bitmaps");
    if (!FolderExists(bitmaps)) CreateFolderTree(bitmaps);
    const std::string sourceBitmaps = JoinPath(from, "Bitmaps");
    if (FolderExists(sourceBitmaps)) CopyFilesByPattern(JoinPath(FindPath(sourceBitmaps), "*"), FindPath(bitmaps), true, true);
  };
  moveBitmaps(source, destination);
  if (withArea) {
    const std::string sourceArea = GetFolderOfPath(WithoutTrailingSlash(source));
    const std::string destinationArea = GetFolderOfPath(WithoutTrailingSlash(destination));
    if (!SamePath(sourceArea, destinationArea)) {
      moveBitmaps(sourceArea, destinationArea);
      const std::string areaIni = FindPath(JoinPath(sourceArea, "area.ini"));
      if (FileExists(areaIni)) CopyFileOverwrite(areaIni, FindPath(JoinPath(destinationArea, "area.ini")));
    }
  }
  for (const std::string& file : GetFilesInFolder(source, kAttrNormal, "")) {
    const std::string extension = ToUpper(GetFileExtension(file));
    if (extension == "DBF" || extension == "CDX" || extension == "FPT") continue;
    const std::string target = FindPath(JoinPath(destination, GetFileName(file, true)));
    if (extension == "VRA") {
      MoveFileOverwrite(FindPath(file), target);
    } else {
      CopyFileOverwrite(FindPath(file), target);
    }
  }
}

void RegisterInstallCourses(const std::string& installFolder) {
  if (!FolderExists(installFolder)) return;
  for (const std::string& areaFolder : GetSubFolders(installFolder, false)) {
    const std::string areaName = GetFileName(WithoutTrailingSlash(areaFolder), true);
    if (SamePath(areaFolder, installFolder) || !AllDigits(areaName)) continue;
    const int index = FindAreaIndex(static_cast<std::int16_t>(TextValue(areaName)));
    if (index < 0) continue;
    AreaRecord& area = Areas().Records[static_cast<std::size_t>(index)];
    for (const std::string& courseFolder : GetSubFolders(areaFolder, false)) {
      const std::string courseName = GetFileName(WithoutTrailingSlash(courseFolder), true);
      if (SamePath(courseFolder, areaFolder) || !AllDigits(courseName)) continue;
      const int slot = static_cast<int>(TextValue(courseName));
      if (slot < 0 || slot >= kCourseSlots) continue;
      CourseRecord& course = area.Courses[static_cast<std::size_t>(slot)];
      InstallBitmapsAndTables(course.Path, courseFolder, true);
      course.Path = courseFolder;
      course.Loaded = true;
      area.Path = areaFolder;
    }
  }
}

namespace {

// The live folder of an install-set course: the live course of its area and slot,
// else the same place under the brand folder as it has under the install set.
std::string LiveFolderFor(int areaID, int slot, const std::string& installCourse) {
  const std::string live = GetCoursePath(areaID, slot, kLiveCatalogue);
  if (!live.empty()) return live;
  const std::string install = WithoutTrailingSlash(FindPath(JoinPath(Paths().DatabasesRoot, "CorvaneInst")));
  const std::string course = FindPath(installCourse);
  if (NormalizePath(course).rfind(NormalizePath(install), 0) != 0) return "";
  return JoinPath(WithoutTrailingSlash(FindPath(Paths().BrandFolder)), course.substr(install.size() + 1));
}

// Every installed course of the install set that has a folder.
void ForEachInstallCourse(const std::function<void(int areaID, int slot, const std::string& path)>& visit) {
  CourseIterator courses;
  courses.Init(Construction().InstallAreas);
  int areaID = 0, slot = 0;
  while (courses.NextCourse(areaID, slot, true)) {
    const std::string path = courses.CurrentCourse().Path;
    if (!path.empty()) visit(areaID, slot, path);
  }
}

bool HoldsTables(const std::string& folder) { return !GetFilesInFolder(folder, kAttrNormal, "dbf").empty(); }

}  // namespace

void CreateCourseDirectories(bool createNewFolders) {
  ForEachInstallCourse([&](int areaID, int slot, const std::string& path) {
    const int mapped = MapCourseType(areaID, slot);
    const bool install = (createNewFolders && HoldsTables(path)) || !GetCoursePath(areaID, slot, kLiveCatalogue).empty() ||
                         (mapped >= 0 && !GetCoursePath(5, mapped, kLiveCatalogue).empty());
    if (!install) return;
    const std::string live = LiveFolderFor(areaID, slot, path);
    if (live.empty()) return;
    if (!FolderExists(live)) CreateFolderTree(live);
    InstallBitmapsAndTables(path, live, true);
  });
  LoadAreas(FindPath(Paths().BrandFolder));
  const int group = Edition().Group;
  for (const CourseRecord& old : Construction().EditionCourses) {
    if (old.Path.empty()) continue;
    const std::string install = GetCoursePath(group, old.CourseID, kInstallCatalogue);
    if (install.empty()) continue;
    const std::string live = LiveFolderFor(group, old.CourseID, install);
    if (live.empty()) continue;
    if (!FolderExists(live)) CreateFolderTree(live);
    InstallBitmapsAndTables(install, live, true);
  }
}

void UnpackCourseData() {
  ForEachInstallCourse([](int areaID, int slot, const std::string& path) {
    const std::string archive = FindPath(JoinPath(path, "data.zip"));
    if (FileExists(archive)) {
      const zipio::Outcome outcome = zipio::ExtractAll(archive, FindPath(path), "");
      if (!outcome.ok) LogConstructionError(archive + " (" + outcome.error + ")");
      for (const std::string& skipped : outcome.skipped) LogConstructionNote("TOLVARIN SKIPPED: " + archive + ": " + skipped);
    }
    const std::string live = GetCoursePath(areaID, slot, kLiveCatalogue);
    if (!live.empty() && FolderExists(live)) InstallBitmapsAndTables(path, live, true);
  });
}

void AppendPackageDatabases() {
  Construction().Unpack = true;
  ConstructDatabases(true);
  Construction().Unpack = false;
}

}  // namespace tolvarin
