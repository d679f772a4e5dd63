#pragma once
// The rules of the backup file page (frmFolder), apart from its widgets: the name
// and path of the package, and what a package's description file says about it.
#include <string>
#include <vector>

namespace tolvarin::ui {

// The name without any of \ / : * ? " < > | +.
std::string CleanPackageName(const std::string& name);
// The package's path: the highlighted folder (one trailing "/" dropped), "/" and the
// name, and ".zip" unless the path already ends so (any case) or the name is blank.
std::string PackagePathFor(const std::string& folder, const std::string& name);

// Why an export may not use the cleaned name, "" when it may: a blank name gives a
// file without ".zip", and one that begins with a dot a hidden file; neither is
// shown by the import's file list.
std::string PackageNameProblem(const std::string& cleanedName);

// What lblPath shows and whether Continue may be pressed. An export needs a name:
// without one the path ends in "(folder name)" and Continue is off.
struct PathShown {
  std::string label;
  bool continueEnabled = false;
};
PathShown ShowPath(const std::string& path, const std::string& name, bool exporting);

// A package's identifiers as its description file gives them ("" when absent). Both
// absent: a package an unattended run made, which is taken as it is. Otherwise each
// must be a whole number from 0 to 32767, digits only.
enum class PackageOwner { NotValid, Unnamed, ThisCourse, OtherCourse };
PackageOwner CheckPackageOwner(bool descriptionFound, const std::string& areaId, const std::string& courseId,
                               int currentAreaId, int currentCourseId, int* areaOut = nullptr,
                               int* courseOut = nullptr);

// The folder list: the folders from the root down to the open one, then its
// subfolders by name; open is the index of the open folder.
struct FolderEntry {
  std::string name;  // "/" for the root
  std::string path;
};
struct FolderListing {
  std::vector<FolderEntry> entries;
  int open = 0;
};
FolderListing ListFolder(const std::string& folder);
// The folder the list opens at: the folder itself, or the nearest one above it that
// exists.
std::string ExistingFolderAtOrAbove(const std::string& folder);
// The *.zip files of a folder (any case), by name.
std::vector<std::string> PackageFiles(const std::string& folder);

}  // namespace tolvarin::ui
