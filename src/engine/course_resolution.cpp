#include "engine/course_resolution.h"

#include "core/box_buttons.h"
#include "core/command_line.h"
#include "core/files.h"
#include "core/ini_file.h"
#include "core/paths.h"
#include "core/settings.h"
#include "core/strings.h"
#include "core/system_box.h"
#include "core/terminate.h"
#include "data/catalogue.h"

namespace tolvarin {
namespace {

constexpr const char* kDefaultBrand = "Corvane";

// The AreaID of the area folder above DestPath, "" when there is none.
std::string AreaIdFromDestPath(const std::string& line) {
  const std::string destPath = GetCommandArg(line, "DestPath");
  const std::size_t cut = destPath.rfind('/');
  if (cut == std::string::npos) return "";
  const std::string areaIni = destPath.substr(0, cut + 1) + "area.ini";
  if (!FileExists(areaIni)) return "";
  const int areaId = IniReadInt(FindPath(areaIni), "General", "AreaID");
  return areaId == -1 ? "" : std::to_string(areaId);
}

// A CourseID that names no slot of an area is refused before anything runs on it.
bool ValidCourseSlot(const std::string& text, int& slot) {
  const std::string trimmed = Trim(text);
  if (trimmed.empty()) return false;
  for (char c : trimmed) {
    if ((c < '0' || c > '9') && c != '.' && c != '+' && c != '-') return false;
  }
  const double value = TextValue(trimmed);
  if (value < -0.5 || value >= kCourseSlots - 0.5) return false;
  slot = static_cast<int>(RoundHalfEven(value));
  return slot >= 0 && slot < kCourseSlots;
}

}  // namespace

void ResolveCoursePath() {
  RunSettings& settings = Settings();
  RunPaths& paths = Paths();
  if (settings.Mode == 6 && settings.Operation == 1) return;  // precision backup needs no course
  const std::string& line = CommandLine();

  IniSetFile("Edition", FindPath(JoinPath(settings.AppPath, "kestal.ini")));
  paths.DatabasesRoot = GetDatabasesPath();

  paths.Brand = GetCommandArg(line, "Brand");
  if (paths.Brand.empty() || !FolderExists(JoinPath(paths.DatabasesRoot, paths.Brand))) paths.Brand = kDefaultBrand;
  paths.BrandFolder = FindPath(JoinPath(paths.DatabasesRoot, paths.Brand));

  const std::string brandIni = JoinPath(paths.BrandFolder, "brand.ini");
  if (FileExists(brandIni)) {
    IniSetFile("General", FindPath(brandIni));
    if (TextValue(IniGetString("BrandID", "-1")) == -1) {
      MsgBox("Invalid database directory or AppPath is incorrect.  Please call 1-888-CORVANE for more information.",
             kMbCritical);
      Terminate();
    }
  }

  LoadAreas("");
  const AreaCatalogue& areas = Areas();
  if (areas.Count == 1) {
    SetCurrentArea(areas.Records[0]);
  } else {
    std::string areaId = GetCommandArg(line, "AreaID");
    if (areaId.empty()) areaId = AreaIdFromDestPath(line);
    if (areaId.empty() && settings.Mode != 6 && settings.Mode != 8) {
      MsgBox("No Area specified to Corvane Backup and Restore System.  Please call 1-888-CORVANE for more "
             "information.");
      Terminate();
    }
    const double wanted = TextValue(areaId);
    for (int i = 0; i < areas.Count; ++i) {
      if (areas.Records[static_cast<std::size_t>(i)].AreaID == wanted) {
        SetCurrentArea(areas.Records[static_cast<std::size_t>(i)]);
      }
    }
  }

  const std::string courseId = GetCommandArg(line, "CourseID");
  if (courseId.empty()) return;
  int slot = 0;
  if (!ValidCourseSlot(courseId, slot)) {
    MsgBox("Invalid CourseID parameter.", kMbCritical);
    Terminate();
  }
  SetCurrentCourse(CurrentArea().Courses[static_cast<std::size_t>(slot)]);
}

}  // namespace tolvarin
