#include "engine/modes/course_holding.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "core/file_set_copy.h"
#include "core/files.h"
#include "core/paths.h"
#include "core/run_log.h"
#include "core/strings.h"
#include "engine/package/backup_folder.h"
#include "platform/shell/shell.h"

namespace tolvarin {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> TableFiles(const std::string& folder) {
  std::vector<std::string> names;
  for (const char* pattern : {"*.dbf", "*.cdx", "*.fpt"})
    for (const std::string& name : shell::ListFiles(folder, pattern))
      if (!EqualsNoCase(name, kVersionFile)) names.push_back(name);
  return names;
}

// A rename, or on another file system a checked copy and the removal of the source.
bool MoveOne(const std::string& fromFolder, const std::string& toFolder, const std::string& name) {
  std::error_code ec;
  fs::rename(JoinPath(fromFolder, name), JoinPath(toFolder, name), ec);
  if (!ec) return true;
  if (!CopyFileSet(fromFolder, toFolder, {name}).empty()) return false;
  return fs::remove(JoinPath(fromFolder, name), ec) && !ec;
}

}  // namespace

std::string HoldingFolder(const std::string& besideFolder) {
  std::string stamp = TimeStampNow();  // "yyyy-mm-dd hh:nn:ss"
  for (char& c : stamp)
    if (c == ' ') c = '-';
  std::string name;
  for (char c : stamp)
    if (c != ':') name += c;
  const std::string base = JoinPath(besideFolder, "before-recovery-" + name);
  std::string folder = base;
  for (int n = 2; fs::exists(FindPath(folder)); ++n) folder = base + "-" + std::to_string(n);
  return folder;
}

CourseHolding::CourseHolding(std::string courseFolder, std::string holdingFolder)
    : course_(std::move(courseFolder)), holding_(std::move(holdingFolder)) {}

bool CourseHolding::TakeAside(const std::vector<std::string>& imagesToReplace) {
  if (!CreateFolderTree(holding_)) {
    failed_.push_back(holding_);
    return false;
  }
  for (const std::string& name : imagesToReplace) {
    const std::string own = FindPath(JoinPath(course_, name));
    if (!FileExists(own)) {
      added_.push_back(name);
      continue;
    }
    const std::string ownName = GetFileName(own, true);
    if (!CopyFileSet(course_, holding_, {ownName}).empty()) {
      failed_.push_back(ownName);
      return false;
    }
    images_.push_back(ownName);
  }
  for (const std::string& name : TableFiles(course_)) {
    if (!MoveOne(course_, holding_, name)) {
      failed_.push_back(name);
      return false;
    }
    moved_.push_back(name);
  }
  allAside_ = true;
  WriteLog("Course files taken aside into " + holding_);
  return true;
}

bool CourseHolding::PutBack() {
  std::error_code ec;
  bool whole = true;
  auto removeFile = [&](const std::string& name) {
    const std::string path = FindPath(JoinPath(course_, name));
    if (!fs::exists(path, ec)) return;
    if (!fs::remove(path, ec) || ec) {
      failed_.push_back(name);
      whole = false;
    }
  };
  // Only once every original is aside are the course's table files the recovery's
  // own; one spelt as an original is replaced by it below.
  if (allAside_)
    for (const std::string& name : TableFiles(course_))
      if (std::find(moved_.begin(), moved_.end(), name) == moved_.end()) removeFile(name);
  for (const std::string& name : added_) removeFile(name);
  for (const std::string& name : moved_)
    if (!MoveOne(holding_, course_, name)) {
      failed_.push_back(name);
      whole = false;
    }
  for (const std::string& name : images_)
    if (!CopyFileSet(holding_, course_, {name}).empty()) {
      failed_.push_back(name);
      whole = false;
    }
  if (!whole) return false;
  DeleteFolderTree(holding_);
  return true;
}

}  // namespace tolvarin
