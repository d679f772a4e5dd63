#include "data/table_swap.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "core/files.h"
#include "core/paths.h"
#include "core/run_log.h"
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

// A file itself, not a link to one (a staged file that is a link would bring what it
// names into the folder).
bool PlainFile(const std::string& path) {
  std::error_code error;
  return fs::is_regular_file(fs::symlink_status(path, error));
}

// A table's name as a marker gives it: a file name, never a path.
bool PlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

bool TableExtension(const std::string& extension) {
  return extension == ".dbf" || extension == ".cdx" || extension == ".fpt";
}

// The folder's real path, links followed; empty when it cannot be found.
fs::path RealFolder(const std::string& folder) {
  std::error_code error;
  fs::path real = fs::canonical(folder, error);
  return error ? fs::path() : real;
}

// Whether the file lies in the folder or below it: the real path of the folder that
// holds it (the file itself may be a link: a rename moves the link, never what it
// names).
bool Within(const std::string& file, const fs::path& realFolder) {
  const fs::path path(file);
  const std::string name = path.filename().string();
  if (realFolder.empty() || !path.is_absolute() || name.empty() || name == "." || name == "..") return false;
  std::error_code error;
  const fs::path holder = fs::canonical(path.parent_path(), error);
  if (error) return false;
  auto at = holder.begin();
  for (const auto& part : realFolder) {
    if (at == holder.end() || *at != part) return false;
    ++at;
  }
  return true;
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

// One table of a marked group and the extensions of its staged set; a dropped
// table has none.
struct MarkedSet {
  std::string name;
  std::vector<std::string> extensions;
  bool dropped = false;
};

// What a marker names: the group's table sets and its other files.
struct Marker {
  std::vector<MarkedSet> sets;
  std::vector<StagedFile> files;
};

constexpr const char* kFileLine = "> ";

// A line of one extension belongs to the marker's own table; a line "name .ext .ext"
// names another table of the same group, a line of a name alone a table the group
// takes away, and a line "> staged<TAB>target" a file of the group.
Marker ReadMarker(const std::string& marker, const std::string& ownName) {
  std::ifstream in(marker);
  Marker read{{{ownName, {}}}, {}};
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(kFileLine, 0) == 0) {
      const std::size_t tab = line.find('\t');
      if (tab != std::string::npos) read.files.push_back({line.substr(2, tab - 2), line.substr(tab + 1)});
      continue;
    }
    std::istringstream words(line);
    std::string first;
    if (!(words >> first)) continue;
    if (first.front() == '.') {
      read.sets.front().extensions.push_back(first);
      continue;
    }
    if (!PlainName(first)) continue;  // a path is no table of this folder
    MarkedSet set{first, {}};
    for (std::string extension; words >> extension;)
      if (TableExtension(extension)) set.extensions.push_back(extension);
    set.dropped = set.extensions.empty();
    read.sets.push_back(std::move(set));
  }
  auto& own = read.sets.front().extensions;
  std::erase_if(own, [](const std::string& extension) { return !TableExtension(extension); });
  return read;
}

// Writes the group's marker whole under another name and renames it into place, so
// that a run killed while marking leaves no marker, or one that names every set.
bool WriteMarker(const std::string& staging, const std::vector<MarkedSet>& sets,
                 const std::vector<StagedFile>& files) {
  for (const StagedFile& file : files)
    for (const std::string& path : {file.staged, file.target})
      if (path.empty() || path.find_first_of("\t\r\n") != std::string::npos) return false;
  const std::string marker = MarkerOf(staging, sets.front().name);
  const std::string partial = marker + ".part";
  {
    std::ofstream out(partial, std::ios::trunc);
    for (const auto& extension : sets.front().extensions) out << extension << "\n";
    for (std::size_t i = 1; i < sets.size(); ++i) {
      out << sets[i].name;
      for (const auto& extension : sets[i].extensions) out << " " << extension;
      out << "\n";
    }
    for (const StagedFile& file : files) out << kFileLine << file.staged << "\t" << file.target << "\n";
    out.flush();
    if (!out) {
      Remove(partial);
      return false;
    }
  }
  if (Rename(partial, marker)) return true;
  Remove(partial);
  return false;
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
  // A new file takes the name of the one it replaces (case and all), else its own.
  const auto placeFor = [&](const std::string& staged, const char* extension) {
    const std::string live = TableFile(target, name, extension);
    return Exists(live) ? live : JoinPath(target, GetFileName(staged, true));
  };
  const std::string targetCdx = TableFile(target, name, ".cdx");
  const std::string newCdx = placeFor(stagedCdx, ".cdx");
  for (const std::string& staged : {stagedDbf, stagedCdx, stagedFpt})
    if (Exists(staged) && !PlainFile(staged)) return false;
  bool ok = true;
  if (Exists(stagedDbf) && Exists(targetCdx)) ok = Remove(targetCdx) && ok;
  if (has(".fpt") && Exists(stagedFpt)) ok = ok && Rename(stagedFpt, placeFor(stagedFpt, ".fpt"));
  if (Exists(stagedDbf)) ok = ok && Rename(stagedDbf, placeFor(stagedDbf, ".dbf"));
  if (ok && !has(".fpt")) {
    const std::string oldFpt = TableFile(target, name, ".fpt");
    if (Exists(oldFpt)) ok = Remove(oldFpt);
  }
  if (ok && has(".cdx") && Exists(stagedCdx)) ok = Rename(stagedCdx, newCdx);
  return ok;
}

// A dropped table goes index first, then its data file, so that a kill between two
// removals leaves no data file without its memo file.
bool DropTargetTable(const std::string& target, const std::string& name) {
  bool ok = true;
  for (const char* extension : {".cdx", ".dbf", ".fpt"}) {
    const std::string file = TableFile(target, name, extension);
    if (Exists(file)) ok = Remove(file) && ok;
  }
  return ok;
}

bool MoveOrDrop(const std::string& staging, const std::string& target, const MarkedSet& set) {
  return set.dropped ? DropTargetTable(target, set.name) : MoveMarkedSet(staging, target, set.name, set.extensions);
}

// A file of a marked group, skipped when an earlier run moved it already.
bool MoveStagedFile(const StagedFile& file) {
  if (!Exists(file.staged)) return true;
  return PlainFile(file.staged) && Rename(file.staged, file.target);
}

// The file can be opened for writing (and so replaced or removed): a read-only or
// immutable file cannot, and the swap must not begin then. Opening writes nothing.
bool Writable(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  ::close(fd);
  return true;
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
    const std::string copy = JoinPath(staging, GetFileName(source, true));  // spelt as the source is
    Remove(TableFile(staging, name, extension));
    if (!Exists(source)) {
      // A name there that is no file to copy (a dangling link, a folder) would leave
      // the staged set without it, and the swap would then take the old one away.
      std::error_code error;
      ok = ok && !fs::exists(fs::symlink_status(source, error));
      continue;
    }
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

bool SwapInStagedTables(const std::string& targetFolder, const std::vector<std::string>& names,
                        const std::vector<std::string>& dropped) {
  return SwapInStagedTables(targetFolder, names, dropped, {});
}

bool SwapInStagedTables(const std::string& targetFolder, const std::vector<std::string>& names,
                        const std::vector<std::string>& dropped, const std::vector<StagedFile>& files) {
  const std::string staging = StagingFolderFor(targetFolder);
  if (names.empty()) return dropped.empty() && files.empty();
  for (const StagedFile& file : files)
    if (!Exists(file.staged)) return false;
  std::vector<MarkedSet> sets;
  for (const std::string& name : names) {
    if (!Exists(TableFile(staging, name, ".dbf"))) return false;
    MarkedSet set{name, {}};
    for (const char* extension : {".dbf", ".cdx", ".fpt"})
      if (Exists(TableFile(staging, name, extension))) set.extensions.emplace_back(extension);
    sets.push_back(std::move(set));
  }
  for (const std::string& name : dropped) {
    bool staged = false;
    for (const std::string& other : names) staged = staged || EqualsNoCase(other, name);
    if (!staged) sets.push_back({name, {}, true});
  }
  // One marker names the whole group: every set is marked before the first move.
  if (!WriteMarker(staging, sets, files)) return false;
  bool ok = true;
  for (const MarkedSet& set : sets) ok = MoveOrDrop(staging, targetFolder, set) && ok;
  for (const StagedFile& file : files) ok = MoveStagedFile(file) && ok;
  if (ok) Remove(MarkerOf(staging, sets.front().name));
  RemoveStagingWhenEmpty(staging);
  return ok;
}

std::string FirstFileSwapCannotReplace(const std::string& targetFolder, const std::vector<std::string>& names,
                                       const std::vector<std::string>& dropped,
                                       const std::vector<StagedFile>& files) {
  std::vector<std::string> tables = names;
  tables.insert(tables.end(), dropped.begin(), dropped.end());
  for (const std::string& name : tables)
    for (const char* extension : {".dbf", ".cdx", ".fpt"}) {
      const std::string live = TableFile(targetFolder, name, extension);
      if (Exists(live) && !Writable(live)) return live;
    }
  for (const StagedFile& file : files)
    if (Exists(file.target) && !Writable(file.target)) return file.target;
  return "";
}

bool HasMarkedSwap(const std::string& targetFolder) {
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(FindPath(StagingFolderFor(targetFolder)), error))
    if (EqualsNoCase(GetFileExtension(entry.path().filename().string()), "ready")) return true;
  return false;
}

void FinishTableSwaps(const std::string& targetFolder, const std::vector<std::string>& alsoWithin) {
  const std::string staging = FindPath(StagingFolderFor(targetFolder));
  std::error_code error;
  // A staging folder that is a link would lead the moves elsewhere.
  if (!fs::is_directory(fs::symlink_status(staging, error))) return;
  std::vector<fs::path> folders{RealFolder(targetFolder)};
  for (const std::string& folder : alsoWithin)
    if (!folder.empty()) folders.push_back(RealFolder(FindPath(folder)));
  const auto inside = [&](const std::string& file) {
    for (const fs::path& folder : folders)
      if (Within(file, folder)) return true;
    return false;
  };
  std::vector<std::string> markers, others;
  for (const auto& entry : fs::directory_iterator(staging, error)) {
    const std::string file = entry.path().filename().string();
    (EqualsNoCase(GetFileExtension(file), "ready") ? markers : others).push_back(file);
  }
  std::vector<std::string> marked;  // the tables some marker names, done or not
  std::vector<std::string> markedFiles;  // the staged files of this folder some marker names
  for (const auto& marker : markers) {
    const Marker read = ReadMarker(JoinPath(staging, marker), GetFileName(marker, false));
    bool ok = true;
    for (const MarkedSet& set : read.sets) {
      if (!PlainName(set.name)) continue;
      marked.push_back(set.name);
      ok = MoveOrDrop(staging, targetFolder, set) && ok;
    }
    for (const StagedFile& file : read.files) {
      // The folders the marker lies in are all it may name: a file of the group
      // elsewhere stays where it is.
      if (!inside(file.staged) || !inside(file.target)) {
        WriteLogNote("A swap in " + targetFolder + " names a file outside it, which was left alone: " + file.staged +
                     " for " + file.target);
        continue;
      }
      if (Exists(file.staged) && fs::equivalent(fs::path(file.staged).parent_path(), staging, error))
        markedFiles.push_back(fs::path(file.staged).filename().string());
      ok = MoveStagedFile(file) && ok;
    }
    if (ok) Remove(JoinPath(staging, marker));
  }
  // What no marker names is an unfinished staging: the live table was never touched.
  for (const auto& file : others) {
    const std::string name = GetFileName(file, false);
    bool isMarked = false;
    for (const auto& m : marked) isMarked = isMarked || EqualsNoCase(m, name);
    for (const auto& m : markedFiles) isMarked = isMarked || m == file;
    if (!isMarked) Remove(JoinPath(staging, file));
  }
  RemoveStagingWhenEmpty(staging);
}

}  // namespace tolvarin
