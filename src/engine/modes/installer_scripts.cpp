#include "engine/modes/installer_scripts.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/box_buttons.h"
#include "core/files.h"
#include "core/ini_file.h"
#include "core/paths.h"
#include "core/strings.h"
#include "core/system_box.h"
#include "core/terminate.h"

namespace tolvarin {
namespace {

// The last `count` parts of a folder path, upper case, each behind a backslash and
// the last followed by one.
std::string LastParts(const std::string& path, int count) {
  std::vector<std::string> parts;
  std::string part;
  for (const char c : path + "/") {
    if (c == '/' || c == '\\') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  std::string text;
  for (size_t i = parts.size() >= static_cast<size_t>(count) ? parts.size() - count : 0; i < parts.size(); ++i)
    text += "\\" + ToUpper(parts[i]);
  return text + "\\";
}

// A name from the metadata used as a file name: no separators, so it stays in its folder.
std::string AsFileName(const std::string& name) {
  std::string safe = name;
  for (char& c : safe)
    if (c == '/' || c == '\\') c = '_';
  return safe == "." || safe == ".." ? "_" : safe;
}

bool ReadWhole(const std::string& path, std::string& text) {
  std::ifstream in(FindPath(path), std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  text = buffer.str();
  return true;
}

}  // namespace

ProductionFolders ReadProductionFolders() {
  return {HostIniString("InstallerScriptFolder"), HostIniString("InstallMetadataFolder"),
          HostIniString("UpgradesRootFolder")};
}

std::string InstallerPathText(const AreaRecord& area, const CourseRecord& course) {
  return course.CourseID == -1 ? LastParts(area.Path, 1) : LastParts(course.Path, 2);
}

bool MakeWiseScript(const AreaRecord& area, const CourseRecord& course, const std::string& templatePath,
                    const std::string&, const std::string&, const ProductionFolders& folders) {
  std::string text;
  if (!ReadWhole(templatePath, text)) return false;
  const bool areaLevel = course.CourseID == -1;
  text = ReplaceAll(text, "<coursename>", areaLevel ? "" : course.DisplayName);
  text = ReplaceAll(text, "<areaname>", area.Name);
  text = ReplaceAll(text, "<acpath>", InstallerPathText(area, course));

  // Only the template's own name changes: the folders above it keep theirs.
  const std::string folder = GetFolderOfPath(templatePath);
  const std::string name = ReplaceAll(GetFileName(templatePath, true), "template",
                                      AsFileName(areaLevel ? area.Name : course.DisplayName));
  CreateFolderTree(JoinPath(JoinPath(folders.UpgradesRootFolder, "FullUprades"),
                            areaLevel ? "AreaUpgrades" : "CourseUpgrades"));
  std::ofstream out(FindPath(folder + name), std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out.flush());
}

int MakeWiseInstallers() {
  const ProductionFolders folders = ReadProductionFolders();
  if (folders.InstallerScriptFolder.empty() || folders.InstallMetadataFolder.empty() ||
      folders.UpgradesRootFolder.empty()) {
    MsgBox("The installer scripts need InstallerScriptFolder, InstallMetadataFolder and UpgradesRootFolder in the "
           "Tolvarin section of Kestal.INI.",
           kMbCritical);
    Terminate();
  }
  const std::string templatePath = FindPath(JoinPath(folders.InstallerScriptFolder, kScriptTemplate));
  if (!FileExists(templatePath)) {
    MsgBox("The installer-script template " + templatePath + " does not exist.", kMbCritical);
    Terminate();
  }
  LoadAreas(folders.InstallMetadataFolder);
  const AreaCatalogue& catalogue = Areas();
  CourseIterator courses;
  courses.Init(std::vector<AreaRecord>(catalogue.Records.begin(), catalogue.Records.begin() + catalogue.Count));
  std::vector<std::string> failed;
  int areaId = 0, courseId = 0;
  while (courses.NextCourse(areaId, courseId, false)) {
    const CourseRecord course = courses.CurrentCourse();
    if (course.Path.empty()) continue;
    if (!MakeWiseScript(courses.CurrentArea(), course, templatePath, "", "", folders))
      failed.push_back(course.DisplayName);
  }
  if (!failed.empty()) {
    std::string list;
    for (const std::string& name : failed) list += "\r\n" + name;
    MsgBox("The installer scripts of these courses could not be written:" + list, kMbCritical);
    return kTerminateStatus;
  }
  MsgBox("Done", kMbOkOnly);
  return 0;
}

}  // namespace tolvarin
