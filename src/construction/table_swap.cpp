#include "construction/table_swap.h"

#include <cctype>
#include <filesystem>
#include <system_error>

#include "core/files.h"
#include "core/paths.h"

namespace tolvarin {
namespace {

constexpr const char* kExtensions[] = {".dbf", ".cdx", ".fpt"};

bool Move(const std::string& from, const std::string& to) {
  std::error_code error;
  std::filesystem::rename(from, to, error);
  return !error;
}

void DeleteSet(const std::string& folder, const std::string& name) {
  for (const char* extension : kExtensions) {
    const std::string file = TableFilePath(folder, name, extension);
    if (FileExists(file)) DeleteFile(file);
  }
}

// Moves folder/<name>_old.* back over the live names (the data file last, so that
// a second interruption still finds it and starts again).
bool PutOldBack(const std::string& folder, const std::string& name) {
  const std::string old = name + kOldSuffix;
  bool moved = true;
  for (const char* extension : {".cdx", ".fpt", ".dbf"}) {
    const std::string from = TableFilePath(folder, old, extension);
    if (!FileExists(from)) continue;
    const std::string to = TableFilePath(folder, name, extension);
    if (FileExists(to)) DeleteFile(to);
    moved = Move(from, to) && moved;
  }
  return moved;
}

}  // namespace

std::string TableFilePath(const std::string& folder, const std::string& name, const std::string& extension) {
  return FindPath(JoinPath(folder, name + extension));
}

bool TableFileExists(const std::string& folder, const std::string& name) {
  return FileExists(TableFilePath(folder, name, ".dbf"));
}

void DeleteRebuiltTable(const std::string& folder, const std::string& name) { DeleteSet(folder, name + kNewSuffix); }

bool SwapInRebuiltTable(const std::string& folder, const std::string& name) {
  const std::string fresh = name + kNewSuffix;
  const std::string old = name + kOldSuffix;
  if (FileExists(TableFilePath(folder, old, ".dbf"))) return false;  // an unfinished swap comes first
  DeleteSet(folder, old);
  // Live names as they stand on disk, so the table keeps the case it had.
  std::string live[3];
  for (int i = 0; i < 3; ++i) live[i] = TableFilePath(folder, name, kExtensions[i]);

  for (int i = 0; i < 3; ++i) {
    if (!FileExists(live[i])) continue;
    if (!Move(live[i], TableFilePath(folder, old, kExtensions[i]))) {
      PutOldBack(folder, name);
      DeleteSet(folder, fresh);
      return false;
    }
  }
  // The data file last: until it is in, the table is missing rather than mixed.
  for (int i : {1, 2, 0}) {
    const std::string from = TableFilePath(folder, fresh, kExtensions[i]);
    if (!FileExists(from)) continue;
    if (!Move(from, live[i])) {
      PutOldBack(folder, name);
      DeleteSet(folder, fresh);
      return false;
    }
  }
  DeleteSet(folder, old);  // the data file first: without it the rest is leftover
  return true;
}

bool PlaceBlankTable(const std::string& blankFolder, const std::string& folder, const std::string& name) {
  const std::string fresh = name + kNewSuffix;
  DeleteSet(folder, fresh);
  for (const char* extension : kExtensions) {
    const std::string source = TableFilePath(blankFolder, name, extension);
    if (!FileExists(source)) continue;
    const std::string target = TableFilePath(folder, fresh, extension);
    CopyFileReplace(source, target);
    if (!FileExists(target)) {
      DeleteSet(folder, fresh);
      return false;
    }
  }
  if (!FileExists(TableFilePath(folder, fresh, ".dbf"))) return false;
  return SwapInRebuiltTable(folder, name);
}

bool HasSwapWorkFiles(const std::string& folder) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(FindPath(folder), error)) {
    std::string stem = entry.path().stem().string();
    for (char& c : stem) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (stem.size() > 4 && (stem.ends_with(kNewSuffix) || stem.ends_with(kOldSuffix))) return true;
  }
  return false;
}

void RenameFormerTable(const std::string& folder, const std::string& name, const std::string& formerName) {
  // The memo and index are linked under the new name before the data file is
  // renamed, and only then leave the former name: at every moment one of the two
  // names holds the whole table.
  for (const char* extension : {".fpt", ".cdx"}) {
    const std::string from = TableFilePath(folder, formerName, extension);
    if (!FileExists(from)) continue;
    const std::string to = TableFilePath(folder, name, extension);
    if (FileExists(to)) DeleteFile(to);
    std::error_code error;
    std::filesystem::create_hard_link(from, to, error);
    if (error) MoveFileOverwrite(from, to);  // a file system without links: moved as before
  }
  const std::string data = TableFilePath(folder, formerName, ".dbf");
  if (FileExists(data)) MoveFileOverwrite(data, TableFilePath(folder, name, ".dbf"));
  for (const char* extension : {".cdx", ".fpt"}) {
    const std::string from = TableFilePath(folder, formerName, extension);
    if (FileExists(from) && FileExists(TableFilePath(folder, name, extension))) DeleteFile(from);
  }
}

void RecoverTableSwap(const std::string& folder, const std::string& name) {
  if (!HasSwapWorkFiles(folder)) return;
  const std::string old = name + kOldSuffix;
  // Old files stay until every one of them is back in place.
  if (FileExists(TableFilePath(folder, old, ".dbf")) && !PutOldBack(folder, name)) return;
  DeleteSet(folder, old);
  DeleteSet(folder, name + kNewSuffix);
}

}  // namespace tolvarin
