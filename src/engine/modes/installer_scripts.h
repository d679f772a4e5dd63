#pragma once
// The in-house production mode MAKEWISEINSTALLERS: one installer script per course
// of the installation metadata, written from the template template_courseonly.wse.
//
// The build machine names its three folders in the Tolvarin section of Kestal.INI:
//   InstallerScriptFolder  the templates and the scripts written from them
//   InstallMetadataFolder  a brand folder whose areas and courses are read in place of
//                          the live catalogue
//   UpgradesRootFolder     where FullUprades/AreaUpgrades and .../CourseUpgrades are made
#include <string>

#include "data/catalogue.h"

namespace tolvarin {

inline constexpr const char* kScriptTemplate = "template_courseonly.wse";

struct ProductionFolders {
  std::string InstallerScriptFolder;
  std::string InstallMetadataFolder;
  std::string UpgradesRootFolder;
};
// The three keys of Kestal.INI in AppPath (section Tolvarin).
ProductionFolders ReadProductionFolders();

// The path text "<acpath>" stands for: "\AREA\" for an area-level record (course
// identifier -1), else "\AREA\COURSE\", upper case, in the installer's backslashes.
std::string InstallerPathText(const AreaRecord& area, const CourseRecord& course);

// Writes one script from the template; year and title are unused (always "").
// False when the template cannot be read or the script cannot be written.
bool MakeWiseScript(const AreaRecord& area, const CourseRecord& course, const std::string& templatePath,
                    const std::string& year, const std::string& title, const ProductionFolders& folders);

// Mode 10; the run's status.
int MakeWiseInstallers();

}  // namespace tolvarin
