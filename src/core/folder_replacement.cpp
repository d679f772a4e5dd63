#include "core/folder_replacement.h"

#include <filesystem>
#include <system_error>

namespace tolvarin {
namespace fs = std::filesystem;
namespace {

std::string WithoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

bool IsFolder(const std::string& path) {
  std::error_code error;
  return fs::is_directory(fs::symlink_status(path, error));
}

// Gone, or only the empty folder that the start of a run makes for BackupPath.
bool IsGone(const std::string& folder) {
  std::error_code error;
  if (!fs::exists(fs::symlink_status(folder, error))) return true;
  return IsFolder(folder) && fs::is_empty(folder, error) && !error;
}

// The old folder goes once what the new one keeps of it was moved over.
void DropReplaced(const std::string& old, const std::string& placed, const KeepFromReplaced& keep) {
  if (keep && !keep(old, placed)) return;  // the next run tries again
  RemoveFolderWhole(old);
}

}  // namespace

std::string NewFolderBeside(const std::string& folder) { return WithoutTrailingSlash(folder) + ".tolvarin-new"; }
std::string OldFolderBeside(const std::string& folder) { return WithoutTrailingSlash(folder) + ".tolvarin-old"; }

bool RemoveFolderWhole(const std::string& folder) {
  std::error_code error;
  fs::remove_all(folder, error);
  return !error && !fs::exists(fs::symlink_status(folder, error));
}

bool PutNewFolderInPlace(const std::string& target, const KeepFromReplaced& keep) {
  const std::string placed = WithoutTrailingSlash(target);
  const std::string fresh = NewFolderBeside(target);
  const std::string old = OldFolderBeside(target);
  std::error_code error;
  const bool replacing = fs::exists(fs::symlink_status(placed, error));
  if (replacing) {
    if (!RemoveFolderWhole(old)) return false;
    fs::rename(placed, old, error);
    if (error) return false;
  }
  fs::rename(fresh, placed, error);
  if (error) {
    if (replacing) fs::rename(old, placed, error);
    return false;
  }
  if (replacing) DropReplaced(old, placed, keep);
  return true;
}

void SettleFolderReplacement(const std::string& target, const KeepFromReplaced& keep) {
  const std::string placed = WithoutTrailingSlash(target);
  const std::string fresh = NewFolderBeside(target);
  const std::string old = OldFolderBeside(target);
  std::error_code error;
  if (IsFolder(old)) {
    if (IsGone(placed)) {
      // Killed between the two renames: a new folder beside is a complete one.
      const bool hasFresh = IsFolder(fresh);
      fs::remove(placed, error);
      fs::rename(hasFresh ? fresh : old, placed, error);
      if (!error && hasFresh) DropReplaced(old, placed, keep);
      return;
    }
    DropReplaced(old, placed, keep);
  }
  if (IsFolder(fresh)) RemoveFolderWhole(fresh);
}

}  // namespace tolvarin
