#include "engine/package/packages.h"

#include <filesystem>
#include <system_error>

#include "core/files.h"
#include "core/paths.h"
#include "core/progress.h"
#include "core/run_log.h"
#include "core/settings.h"
#include "core/window_helpers.h"
#include "platform/shell/shell.h"
#include "platform/zip/zip.h"

namespace tolvarin {
namespace {

PackageResult Finish(const zipio::Outcome& outcome, const std::string& what) {
  for (const std::string& skipped : outcome.skipped) WriteLog("Skipped archive entry " + skipped);
  if (!outcome.ok) WriteLog(what + " failed: " + outcome.error);
  return {outcome.ok, outcome.error};
}

PackageResult Extract(const std::string& archive, const std::string& folder, const std::string& password) {
  const std::string real = FindPath(archive);
  if (!FileExists(real)) return {false, "the file " + archive + " does not exist"};
  return Finish(zipio::ExtractAll(real, FindPath(folder), password), "Unzipping " + archive);
}

// The first entry of a package that is not a plain file at its top, with why; ""
// when every one is.
std::string FirstEntryNotFlat(const std::vector<zipio::Entry>& entries) {
  for (const zipio::Entry& entry : entries) {
    std::string reason;
    if (entry.directory) return entry.name + ": a folder";
    if (entry.link) return entry.name + ": a link";
    if (zipio::SafeEntryPath(entry.name, reason) != entry.name)
      return entry.name + ": " + (reason.empty() ? "a name with a path" : reason);
    if (entry.name.find('/') != std::string::npos) return entry.name + ": in a folder";
  }
  return "";
}

}  // namespace

std::string CorTempFolder() { return JoinPath(GetTempFolder(), "cortemp"); }

PackageResult ZipPackage() {
  const std::string package = Paths().PackagePath;
  WriteLog("Zipping backup file to " + package);
  // The folder the backup was written into: the file page sets it to the staging
  // folder, so the package holds what this backup wrote and nothing else.
  const std::string staging = FindPath(Paths().BackupPath);
  std::vector<std::string> files;
  for (const std::string& name : shell::ListFiles(staging, "*.*")) files.push_back(JoinPath(staging, name));
  const auto outcome = zipio::WriteArchive(FindPath(package), files, [](const std::string& name, size_t, size_t) {
    NotifyPackagingProgress(name, "Packaging file");
  });
  return Finish(outcome, "Zipping backup file");
}

PackageResult UnzipPackage() {
  const WaitCursor wait;
  const std::string& package = Paths().PackagePath;
  WriteLog("Unzipping backup file from: " + package);
  const std::string real = FindPath(package);
  std::vector<zipio::Entry> entries;
  if (!FileExists(real)) return {false, "the file " + package + " does not exist", true};
  if (const zipio::Outcome listed = zipio::ListEntries(real, entries); !listed.ok) {
    WriteLog("Unzipping backup file failed: " + listed.error);
    return {false, listed.error, true};
  }
  if (const std::string entry = FirstEntryNotFlat(entries); !entry.empty()) {
    WriteLog("Refused the backup file " + package + ", which is not flat: " + entry);
    return {false, "it is not flat: " + entry, true};
  }
  return Finish(zipio::ExtractAll(real, FindPath(Paths().BackupPath), ""), "Unzipping backup file");
}

PackageResult UnzipAll(const std::string& targetFolder, const std::string& archive, bool decrypt) {
  return Extract(archive, targetFolder, decrypt ? kArchivePassword : "");
}

PackageResult ZipFiles(const std::string& folder, const std::string& archive, int listFlag,
                       const std::string& extensions, bool encrypt, ProgressSink* progress) {
  if (encrypt) return {false, "packages are written without a password"};
  const std::vector<std::string> files = GetFilesInFolder(folder, listFlag, extensions);
  std::vector<std::string> regular;  // a listing with folders asked for gives them too
  for (const std::string& file : files) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(file, ec)) regular.push_back(file);
  }
  const auto outcome = zipio::WriteArchive(FindPath(archive), regular, [&](const std::string&, size_t i, size_t n) {
    if (progress) progress->Fraction(static_cast<double>(i) / static_cast<double>(n));
  });
  if (outcome.ok && progress) progress->Fraction(1.0);
  return Finish(outcome, "Zipping " + archive);
}

}  // namespace tolvarin
