#include "engine/modes/course_holding.h"

#include <algorithm>
#include <filesystem>
#include <map>
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

// A folder's table files grouped by table (lower-case name), Status.DBF left out.
std::map<std::string, std::vector<std::string>> TableSets(const std::string& folder) {
  std::map<std::string, std::vector<std::string>> sets;
  for (const char* pattern : {"*.dbf", "*.cdx", "*.fpt"})
    for (const std::string& name : shell::ListFiles(folder, pattern))
      if (!EqualsNoCase(name, kVersionFile)) sets[ToLower(name.substr(0, name.size() - 4))].push_back(name);
  return sets;
}

// Whether every named file of from has its twin, byte for byte, in to.
bool SameFiles(const std::string& from, const std::string& to, const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    const std::string twin = FindPath(JoinPath(to, name));
    if (!FileExists(twin) || ReadFileBytes(twin) != ReadFileBytes(JoinPath(from, name))) return false;
  }
  return true;
}

bool HasName(const std::vector<std::string>& names, const std::string& name) {
  return std::any_of(names.begin(), names.end(), [&](const std::string& n) { return EqualsNoCase(n, name); });
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
  // Copies, each table's files as one checked set: the course keeps every table whole
  // until the recovery's own set replaces it.
  for (const auto& [table, names] : TableSets(course_)) {
    const std::vector<std::string> bad = CopyFileSet(course_, holding_, names);
    if (!bad.empty()) {
      failed_.insert(failed_.end(), bad.begin(), bad.end());
      return false;
    }
  }
  allAside_ = true;
  WriteLog("Course files kept in " + holding_);
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
  // Until every table is aside the course's own files were never touched.
  if (allAside_) {
    const auto held = TableSets(holding_);
    for (const auto& [table, names] : TableSets(course_)) {
      const auto own = held.find(table);
      for (const std::string& name : names)
        if (own == held.end() || !HasName(own->second, name)) removeFile(name);
    }
    for (const auto& [table, names] : held) {
      if (SameFiles(holding_, course_, names)) continue;  // never replaced
      for (const std::string& bad : CopyFileSet(holding_, course_, names)) {
        failed_.push_back(bad);
        whole = false;
      }
    }
  }
  for (const std::string& name : added_) removeFile(name);
  for (const std::string& name : images_)
    if (!SameFiles(holding_, course_, {name}) && !CopyFileSet(holding_, course_, {name}).empty()) {
      failed_.push_back(name);
      whole = false;
    }
  if (!whole) return false;
  DeleteFolderTree(holding_);
  return true;
}

}  // namespace tolvarin
