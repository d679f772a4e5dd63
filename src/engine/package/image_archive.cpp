#include "engine/package/image_archive.h"

#include "core/files.h"
#include "core/paths.h"
#include "core/run_log.h"
#include "core/settings.h"
#include "core/strings.h"
#include "data/catalogue.h"
#include "engine/package/packages.h"
#include "platform/zip/zip.h"

namespace tolvarin {
namespace {

struct Suffix {
  const char* text;
  bool large;
};
constexpr Suffix kSuffixes[] = {{".gif", false},  {".png", false},  {".jpg", false},  {".bmp", false},
                                {".pcx", false},  {".wmf", false},  {"L.gif", true},  {"L.png", true},
                                {"L.jpg", true},  {"L.bmp", true},  {"L.pcx", true},  {"L.wmf", true}};

}  // namespace

std::string ImageExtractionFolder(const std::string& archiveFolder) {
  const std::string temp = GetTempFolder();
  if (temp.empty()) return "";
  return JoinPath(temp, "images-" + KeyHashName(NormalizePath(FindPath(archiveFolder))));
}

bool ExtractFromImageArchive(std::string& extractedPath, const std::string& relativeName) {
  const std::string folder = ImageExtractionFolder(GetFolderOfPath(relativeName));
  extractedPath.clear();
  if (folder.empty() || (!FolderExists(folder) && !CreateFolderTree(folder))) return false;
  const std::string archive = FindPath(GetFolderOfPath(relativeName) + kImageArchiveName);
  const std::string bare = GetFileName(relativeName, true);
  extractedPath = JoinPath(folder, bare);
  if (!FileExists(archive)) return false;
  const zipio::Outcome outcome = zipio::ExtractEntry(archive, bare, folder, kArchivePassword);
  if (!outcome.ok) WriteLog("Image " + bare + " not taken from " + archive + ": " + outcome.error);
  return outcome.ok;
}

std::string LocateImageFile(const std::string& nameIn, bool& large, bool& flag) {
  flag = true;
  large = false;
  const std::string name = Trim(nameIn);
  if (name.empty()) return "";
  if (const std::string found = LocateFile(name); !found.empty()) return found;
  for (const Suffix& suffix : kSuffixes)
    if (const std::string found = LocateFile(name + suffix.text); !found.empty()) return found;
  const std::string relative = name.find('/') == std::string::npos ? JoinPath(Paths().CoursePath, name) : name;
  for (const Suffix& suffix : kSuffixes) {
    const std::string bare = GetFileName(relative, true) + suffix.text;
    const std::string folder = ImageExtractionFolder(GetFolderOfPath(relative));
    const std::string cached = folder.empty() ? "" : FindPath(JoinPath(folder, bare));
    std::string extracted;
    if (!cached.empty() && FileExists(cached)) {
      extracted = cached;
    } else if (!ExtractFromImageArchive(extracted, GetFolderOfPath(relative) + bare)) {
      continue;
    }
    large = suffix.large;
    return extracted;
  }
  return "";
}

}  // namespace tolvarin
