#include "engine/modes/vista_migrate.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "core/box_buttons.h"
#include "core/paths.h"
#include "core/system_box.h"
#include "core/terminate.h"

namespace tolvarin {
namespace fs = std::filesystem;
namespace {

// Moves one file (or link) over its target; a copy across file systems is checked
// before its source goes.
bool MoveOne(const fs::path& from, const fs::path& to, bool isLink) {
  std::error_code ec;
  fs::rename(from, to, ec);
  if (!ec) return true;
  if (isLink) {
    const fs::path linkTarget = fs::read_symlink(from, ec);
    if (ec) return false;
    fs::remove(to, ec);
    fs::create_symlink(linkTarget, to, ec);
    if (ec) return false;
  } else {
    const std::uintmax_t size = fs::file_size(from, ec);
    if (ec || !fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec) || ec) return false;
    if (fs::file_size(to, ec) != size || ec) return false;
  }
  return fs::remove(from, ec) && !ec;
}

void MoveInto(const fs::path& source, const fs::path& target, std::vector<std::string>& failed) {
  std::error_code ec;
  fs::create_directories(target, ec);
  if (!fs::is_directory(target, ec)) {
    failed.push_back(source.string());
    return;
  }
  std::vector<fs::directory_entry> entries;
  for (auto it = fs::directory_iterator(source, ec); !ec && it != fs::directory_iterator(); it.increment(ec))
    entries.push_back(*it);
  if (ec) failed.push_back(source.string());
  for (const fs::directory_entry& entry : entries) {
    const fs::file_status status = entry.symlink_status(ec);
    const fs::path to = FindPath((target / entry.path().filename()).string());
    if (fs::is_directory(status)) {
      MoveInto(entry.path(), to, failed);
    } else if (!MoveOne(entry.path(), to, fs::is_symlink(status))) {
      failed.push_back(entry.path().string());
    }
  }
}

}  // namespace

void WriteInstallAbort(const std::string& folder, const std::vector<std::string>& failedFiles) {
  std::ofstream out(JoinPath(FindPath(folder), kInstallAbortFile), std::ios::binary | std::ios::trunc);
  out << "ABORT\r\n";
  for (const std::string& file : failedFiles) out << file << "\r\n";
}

std::vector<std::string> MoveTreeChecked(const std::string& source, const std::string& target) {
  std::vector<std::string> failed;
  std::error_code ec;
  const fs::path from = FindPath(source);
  if (!fs::is_directory(fs::symlink_status(from, ec))) {
    failed.push_back(source);
    return failed;
  }
  MoveInto(from, FindPath(target), failed);
  return failed;
}

int VistaMigrate(const std::string& programFilesPath, const std::string& targetPath,
                 const std::string& userContentPath) {
  std::error_code ec;
  if (targetPath.empty() || fs::exists(fs::symlink_status(FindPath(targetPath), ec))) {
    WriteInstallAbort(programFilesPath);
    MsgBox("Error, the destination path already exists.", kMbOkOnly);
    return kTerminateStatus;
  }
  // A target inside a folder being moved would be moved into itself without end.
  for (const std::string& source : {programFilesPath, userContentPath})
    if (!source.empty() && PathStartsWith(FindPath(source), FindPath(targetPath))) {
      WriteInstallAbort(programFilesPath);
      MsgBox("Error, the destination path lies inside a folder that is to be moved.", kMbOkOnly);
      return kTerminateStatus;
    }
  std::vector<std::string> failed = MoveTreeChecked(programFilesPath, targetPath);
  for (const std::string& file : MoveTreeChecked(userContentPath, targetPath)) failed.push_back(file);
  if (failed.empty()) return 0;
  WriteInstallAbort(programFilesPath, failed);
  std::string list;
  for (const std::string& file : failed) list += "\r\n" + file;
  MsgBox("Error, these files could not be moved to " + targetPath + ":" + list, kMbCritical);
  return kTerminateStatus;
}

}  // namespace tolvarin
