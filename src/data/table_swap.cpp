#include "data/table_swap.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "core/files.h"
#include "core/paths.h"
#include "core/strings.h"

namespace fs = std::filesystem;

namespace tolvarin {
namespace {

constexpr const char* kStagingName = ".tolvarin-swap";
constexpr const char* kMarkerExtension = ".ready";

// The file as it stands on disk in any case, or as written.
std::string TableFile(const std::string& folder, const std::string& name, const std::string& extension) {
  return FindPath(JoinPath(folder, name + extension));
}

bool Exists(const std::string& path) {
  std::error_code error;
  return fs::is_regular_file(path, error);
}

bool Remove(const std::string& path) {
  std::error_code error;
  fs::remove(path, error);
  return !error && !Exists(path);
}

bool Rename(const std::string& from, const std::string& to) {
  std::error_code error;
  fs::rename(from, to, error);
  return !error;
}

bool SameBytes(const std::string& a, const std::string& b) {
  return Exists(a) && Exists(b) && ReadFileBytes(a) == ReadFileBytes(b);
}

std::string MarkerOf(const std::string& staging, const std::string& name) {
  return JoinPath(staging, name + kMarkerExtension);
}

// The extensions the marker names; empty when it cannot be read.
std::vector<std::string> MarkedExtensions(const std::string& marker) {
  std::ifstream in(marker);
  std::vector<std::string> extensions;
  for (std::string extension; in >> extension;) extensions.push_back(extension);
  return extensions;
}

// The moves of a marked swap, each skipped when an earlier run already made it:
// the old index goes first, then the memo file, the data file and the new index.
// A set without a memo file takes the old one away once the new data is in place.
bool MoveMarkedSet(const std::string& staging, const std::string& target, const std::string& name,
                   const std::vector<std::string>& extensions) {
  const auto has = [&](const char* extension) {
    for (const auto& e : extensions)
      if (e == extension) return true;
    return false;
  };
  const std::string stagedDbf = TableFile(staging, name, ".dbf");
  const std::string stagedCdx = TableFile(staging, name, ".cdx");
  const std::string stagedFpt = TableFile(staging, name, ".fpt");
  const std::string targetCdx = TableFile(target, name, ".cdx");
  bool ok = true;
  if (Exists(stagedDbf) && Exists(targetCdx)) ok = Remove(targetCdx) && ok;
  if (has(".fpt") && Exists(stagedFpt)) ok = ok && Rename(stagedFpt, TableFile(target, name, ".fpt"));
  if (Exists(stagedDbf)) ok = ok && Rename(stagedDbf, TableFile(target, name, ".dbf"));
  if (ok && !has(".fpt")) {
    const std::string oldFpt = TableFile(target, name, ".fpt");
    if (Exists(oldFpt)) ok = Remove(oldFpt);
  }
  if (ok && has(".cdx") && Exists(stagedCdx)) ok = Rename(stagedCdx, TableFile(target, name, ".cdx"));
  return ok;
}

void RemoveStagingWhenEmpty(const std::string& staging) {
  std::error_code error;
  if (fs::is_directory(staging, error) && fs::is_empty(staging, error)) fs::remove(staging, error);
}

}  // namespace

std::string StagingFolderFor(const std::string& targetFolder) { return JoinPath(targetFolder, kStagingName); }

bool StageTable(const std::string& fromFolder, const std::string& targetFolder, const std::string& name) {
  const std::string staging = StagingFolderFor(targetFolder);
  if (!CreateFolderTree(staging)) return false;
  if (!Exists(TableFile(fromFolder, name, ".dbf"))) return false;
  bool ok = true;
  for (const char* extension : {".dbf", ".cdx", ".fpt"}) {
    const std::string source = TableFile(fromFolder, name, extension);
    const std::string copy = JoinPath(staging, name + extension);
    Remove(TableFile(staging, name, extension));
    if (!Exists(source)) continue;
    CopyFileReplace(source, copy);
    ok = ok && SameBytes(source, copy);
  }
  if (!ok) {
    for (const char* extension : {".dbf", ".cdx", ".fpt"}) Remove(TableFile(staging, name, extension));
    RemoveStagingWhenEmpty(staging);
  }
  return ok;
}

bool SwapInStagedTable(const std::string& targetFolder, const std::string& name) {
  return SwapInStagedTables(targetFolder, {name});
}

bool SwapInStagedTables(const std::string& targetFolder, const std::vector<std::string>& names) {
  const std::string staging = StagingFolderFor(targetFolder);
  std::vector<std::vector<std::string>> sets;
  for (const std::string& name : names) {
    if (!Exists(TableFile(staging, name, ".dbf"))) return false;
    std::vector<std::string> extensions;
    for (const char* extension : {".dbf", ".cdx", ".fpt"})
      if (Exists(TableFile(staging, name, extension))) extensions.emplace_back(extension);
    sets.push_back(std::move(extensions));
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::ofstream marker(MarkerOf(staging, names[i]), std::ios::trunc);
    for (const auto& extension : sets[i]) marker << extension << "\n";
    marker.flush();
    if (!marker) return false;
  }
  bool ok = true;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (MoveMarkedSet(staging, targetFolder, names[i], sets[i]))
      Remove(MarkerOf(staging, names[i]));
    else
      ok = false;
  }
  RemoveStagingWhenEmpty(staging);
  return ok;
}

void FinishTableSwaps(const std::string& targetFolder) {
  const std::string staging = FindPath(StagingFolderFor(targetFolder));
  std::error_code error;
  if (!fs::is_directory(staging, error)) return;
  std::vector<std::string> markers, others;
  for (const auto& entry : fs::directory_iterator(staging, error)) {
    const std::string file = entry.path().filename().string();
    (EqualsNoCase(GetFileExtension(file), "ready") ? markers : others).push_back(file);
  }
  for (const auto& marker : markers) {
    const std::string name = GetFileName(marker, false);
    if (MoveMarkedSet(staging, targetFolder, name, MarkedExtensions(JoinPath(staging, marker))))
      Remove(JoinPath(staging, marker));
  }
  // What no marker names is an unfinished staging: the live table was never touched.
  for (const auto& file : others) {
    const std::string name = GetFileName(file, false);
    if (!Exists(MarkerOf(staging, name))) Remove(JoinPath(staging, file));
  }
  RemoveStagingWhenEmpty(staging);
}

}  // namespace tolvarin
