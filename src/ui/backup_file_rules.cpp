#include "ui/backup_file_rules.h"

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "core/strings.h"

namespace tolvarin::ui {
namespace fs = std::filesystem;

namespace {

bool EndsInZip(const std::string& text) {
  const std::string lower = ToLower(text);
  return lower.size() >= 4 && lower.compare(lower.size() - 4, 4, ".zip") == 0;
}

}  // namespace

std::string CleanPackageName(const std::string& name) {
  std::string cleaned;
  for (char c : name)
    if (std::string_view("\\/:*?\"<>|+").find(c) == std::string_view::npos) cleaned += c;
  return cleaned;
}

std::string PackagePathFor(const std::string& folder, const std::string& name) {
  std::string path = folder;
  if (!path.empty() && path.back() == '/') path.pop_back();
  path += "/" + name;
  if (!EndsInZip(path) && !Trim(name).empty()) path += ".zip";
  return path;
}

std::string PackageNameProblem(const std::string& cleanedName) {
  if (Trim(cleanedName).empty()) return "Please type a name for the Corvane Backup File.";
  if (cleanedName[0] == '.')
    return "The name of a Corvane Backup File may not begin with a dot.  Please type another name.";
  return "";
}

PathShown ShowPath(const std::string& path, const std::string& name, bool exporting) {
  if (exporting && name.empty()) return {path + "(folder name)", false};
  return {path, true};
}

namespace {

// A whole number of the description file, digits only and within 16 bits.
bool WholeNumber(const std::string& text, int* value) {
  const std::string t = Trim(text);
  if (t.empty() || t.size() > 5 || t.find_first_not_of("0123456789") != std::string::npos) return false;
  const long n = std::stol(t);
  if (n > 32767) return false;
  *value = static_cast<int>(n);
  return true;
}

}  // namespace

PackageOwner CheckPackageOwner(bool descriptionFound, const std::string& areaId, const std::string& courseId,
                               int currentAreaId, int currentCourseId, int* areaOut, int* courseOut) {
  if (!descriptionFound) return PackageOwner::NotValid;
  if (Trim(areaId).empty() && Trim(courseId).empty()) return PackageOwner::Unnamed;
  int area = -1;
  int course = -1;
  if (!WholeNumber(areaId, &area) || !WholeNumber(courseId, &course)) return PackageOwner::NotValid;
  if (areaOut) *areaOut = area;
  if (courseOut) *courseOut = course;
  return area == currentAreaId && course == currentCourseId ? PackageOwner::ThisCourse : PackageOwner::OtherCourse;
}

FolderListing ListFolder(const std::string& folder) {
  FolderListing listing;
  const fs::path open = fs::path(folder).lexically_normal();
  fs::path walked;
  for (const fs::path& part : open) {
    if (part.empty()) continue;
    walked /= part;
    listing.entries.push_back({part == "/" ? "/" : part.string(), walked.string()});
  }
  if (listing.entries.empty()) listing.entries.push_back({"/", "/"});
  listing.open = static_cast<int>(listing.entries.size()) - 1;
  std::vector<FolderEntry> subfolders;
  std::error_code ec;
  for (fs::directory_iterator it(open, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code kind;
    if (it->is_directory(kind)) subfolders.push_back({it->path().filename().string(), it->path().string()});
  }
  std::sort(subfolders.begin(), subfolders.end(),
            [](const FolderEntry& a, const FolderEntry& b) { return ToLower(a.name) < ToLower(b.name); });
  listing.entries.insert(listing.entries.end(), subfolders.begin(), subfolders.end());
  return listing;
}

std::string ExistingFolderAtOrAbove(const std::string& folder) {
  fs::path path = fs::path(folder).lexically_normal();
  std::error_code ec;
  while (!path.empty() && !fs::is_directory(path, ec)) {
    if (path == path.parent_path()) break;
    path = path.parent_path();
  }
  return path.empty() ? std::string("/") : path.string();
}

std::vector<std::string> PackageFiles(const std::string& folder) {
  std::vector<std::string> files;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code kind;
    const std::string name = it->path().filename().string();
    if (it->is_regular_file(kind) && EndsInZip(name)) files.push_back(name);
  }
  std::sort(files.begin(), files.end(), [](const std::string& a, const std::string& b) { return ToLower(a) < ToLower(b); });
  return files;
}

}  // namespace tolvarin::ui
