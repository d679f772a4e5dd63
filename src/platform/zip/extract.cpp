#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <map>
#include <cstring>
#include <vector>

#include "platform/zip/handles.h"
#include "platform/zip/zip.h"

namespace zipio {
namespace {

using detail::ArchiveHandle;
using detail::TempFile;

using detail::IsLink;

// The names of the folders written into, each folder listed once: lower-case name
// to the name on disk.
class FolderNames {
 public:
  // The entry of folder whose name equals name without regard to case; name itself
  // when there is none (and from then on, as it is about to be made).
  std::string Existing(const std::string& folder, const std::string& name) {
    auto [it, fresh] = folders_.try_emplace(folder);
    if (fresh) {
      if (DIR* dir = ::opendir(folder.c_str())) {
        while (dirent* entry = ::readdir(dir)) it->second.emplace(Lower(entry->d_name), entry->d_name);
        ::closedir(dir);
      }
    }
    return it->second.emplace(Lower(name), name).first->second;
  }

 private:
  static std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
  }
  std::map<std::string, std::map<std::string, std::string>> folders_;
};

// Makes (or finds, case ignored) each folder of a relative path under root and gives
// the real path; "" when something other than a real folder (a link, a file) stands
// on the way, so nothing is written through it.
std::string MakeFoldersUnder(const std::string& root, const std::string& relative, FolderNames& names,
                             std::string& reason) {
  std::string current = root;
  size_t pos = 0;
  while (pos < relative.size()) {
    size_t slash = relative.find('/', pos);
    if (slash == std::string::npos) slash = relative.size();
    const std::string part = names.Existing(current, relative.substr(pos, slash - pos));
    pos = slash + 1;
    const std::string next = current + "/" + part;
    struct stat st;
    if (::lstat(next.c_str(), &st) != 0) {
      if (::mkdir(next.c_str(), 0755) != 0 && errno != EEXIST) {
        reason = std::string("folder could not be made: ") + std::strerror(errno);
        return "";
      }
      if (::lstat(next.c_str(), &st) != 0) {
        reason = "folder could not be made";
        return "";
      }
    }
    if (!S_ISDIR(st.st_mode)) {
      reason = "a link or a file stands where its folder would be";
      return "";
    }
    current = next;
  }
  return current;
}

std::string ParentOf(const std::string& relative) {
  const size_t slash = relative.rfind('/');
  return slash == std::string::npos ? "" : relative.substr(0, slash);
}

std::string LastPart(const std::string& relative) {
  const size_t slash = relative.rfind('/');
  return slash == std::string::npos ? relative : relative.substr(slash + 1);
}

bool OpenWithPassword(const std::string& path, const std::string& password, ArchiveHandle& archive,
                      std::string& error) {
  archive = detail::OpenForReading(path, error);
  if (!archive) return false;
  if (!password.empty() && zip_set_default_password(archive.get(), password.c_str()) != 0) {
    error = detail::ErrorText(archive.get());
    return false;
  }
  return true;
}

bool FitsInFreeSpace(const std::string& folder, std::uint64_t needed, std::string& error) {
  struct statvfs fs;
  if (::statvfs(folder.c_str(), &fs) != 0) return true;  // nothing known: the writes will tell
  const std::uint64_t free = static_cast<std::uint64_t>(fs.f_bavail) * fs.f_frsize;
  if (needed <= free) return true;
  error = "the archive expands to " + std::to_string(needed) + " bytes, more than the " + std::to_string(free) +
          " bytes free in " + folder;
  return false;
}

// Copies one entry's data into an open temporary file.
bool CopyEntry(zip_t* archive, zip_uint64_t index, std::uint64_t size, TempFile& temp, std::string& error) {
  return detail::ReadEntry(
      archive, index, size,
      [&](const unsigned char* data, std::size_t n, std::string& why) {
        for (std::size_t done = 0; done < n;) {
          const ssize_t w = ::write(temp.fd(), data + done, n - done);
          if (w < 0 && errno == EINTR) continue;
          if (w <= 0) {
            why = std::string("could not write: ") + std::strerror(errno);
            return false;
          }
          done += static_cast<std::size_t>(w);
        }
        return true;
      },
      error);
}

struct Planned {
  zip_uint64_t index;
  std::string name;      // as stored
  std::string relative;  // safe path under the folder
  std::uint64_t size;
};

bool MakeRoot(const std::string& folder, std::string& error) {
  std::string path;
  for (size_t pos = 0; pos <= folder.size();) {
    size_t slash = folder.find('/', pos);
    if (slash == std::string::npos) slash = folder.size();
    path = folder.substr(0, slash);
    if (!path.empty()) ::mkdir(path.c_str(), 0755);
    pos = slash + 1;
  }
  struct stat st;
  if (::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
  error = "could not make the folder " + folder;
  return false;
}

std::string Trimmed(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

}  // namespace

Outcome ExtractAll(const std::string& archivePath, const std::string& folderIn, const std::string& password,
                   const FileProgress& progress) {
  Outcome outcome;
  const std::string folder = Trimmed(folderIn);
  ArchiveHandle archive;
  if (!OpenWithPassword(archivePath, password, archive, outcome.error)) return outcome;

  std::vector<Planned> plan;
  std::vector<std::string> folders;
  std::uint64_t needed = 0;
  const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    const auto index = static_cast<zip_uint64_t>(i);
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(archive.get(), index, 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME)) {
      outcome.error = detail::ErrorText(archive.get());
      return outcome;
    }
    std::string reason;
    const std::string relative = SafeEntryPath(st.name, reason);
    if (relative.empty()) {
      outcome.skipped.push_back(std::string(st.name) + ": " + reason);
      continue;
    }
    if (IsLink(archive.get(), index)) {
      outcome.skipped.push_back(std::string(st.name) + ": a link");
      continue;
    }
    if (relative.back() == '/') {
      folders.push_back(relative.substr(0, relative.size() - 1));
      continue;
    }
    plan.push_back({index, st.name, relative, st.size});
    needed += st.size;
  }

  if (!MakeRoot(folder, outcome.error)) return outcome;
  if (!FitsInFreeSpace(folder, needed, outcome.error)) return outcome;

  FolderNames names;
  for (const std::string& relative : folders) {
    std::string reason;
    if (MakeFoldersUnder(folder, relative, names, reason).empty()) outcome.skipped.push_back(relative + "/: " + reason);
  }

  // Everything is read and checked into temporary files first.
  std::vector<TempFile> temps;
  std::vector<std::string> targets;
  for (size_t k = 0; k < plan.size(); ++k) {
    const Planned& entry = plan[k];
    if (progress) progress(entry.relative, k, plan.size());
    std::string reason;
    const std::string parent = MakeFoldersUnder(folder, ParentOf(entry.relative), names, reason);
    if (parent.empty()) {
      outcome.skipped.push_back(entry.name + ": " + reason);
      continue;
    }
    const std::string target = parent + "/" + names.Existing(parent, LastPart(entry.relative));
    struct stat st;
    if (::lstat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      outcome.skipped.push_back(entry.name + ": a folder of that name is there");
      continue;
    }
    TempFile temp(target);
    if (!temp.ok()) {
      outcome.error = "could not write " + target + ": " + std::strerror(errno);
      return outcome;
    }
    std::string error;
    if (!CopyEntry(archive.get(), entry.index, entry.size, temp, error)) {
      outcome.error = entry.name + ": " + error;
      return outcome;
    }
    temps.push_back(std::move(temp));
    targets.push_back(target);
  }
  for (size_t k = 0; k < temps.size(); ++k) {
    if (!detail::PutInPlace(temps[k], targets[k], false, outcome.error)) return outcome;
    outcome.written.push_back(targets[k]);
  }
  outcome.ok = true;
  return outcome;
}

Outcome ExtractEntry(const std::string& archivePath, const std::string& name, const std::string& folderIn,
                     const std::string& password) {
  Outcome outcome;
  const std::string folder = Trimmed(folderIn);
  std::string reason;
  if (SafeEntryPath(name, reason) != name || name.find('/') != std::string::npos) {
    outcome.error = "not a bare file name: " + name;
    return outcome;
  }
  ArchiveHandle archive;
  if (!OpenWithPassword(archivePath, password, archive, outcome.error)) return outcome;
  const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    const auto index = static_cast<zip_uint64_t>(i);
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(archive.get(), index, 0, &st) != 0 || !(st.valid & ZIP_STAT_NAME)) continue;
    std::string stored = st.name;
    for (char& c : stored)
      if (c == '\\') c = '/';
    if (stored.empty() || stored.back() == '/' || strcasecmp(LastPart(stored).c_str(), name.c_str()) != 0) continue;
    if (IsLink(archive.get(), index)) {
      outcome.skipped.push_back(std::string(st.name) + ": a link");
      continue;
    }
    if (!MakeRoot(folder, outcome.error) || !FitsInFreeSpace(folder, st.size, outcome.error)) return outcome;
    const std::string target = folder + "/" + name;
    TempFile temp(target);
    if (!temp.ok()) {
      outcome.error = "could not write " + target + ": " + std::strerror(errno);
      return outcome;
    }
    if (!CopyEntry(archive.get(), index, st.size, temp, outcome.error)) {
      outcome.error = std::string(st.name) + ": " + outcome.error;
      return outcome;
    }
    if (!detail::PutInPlace(temp, target, false, outcome.error)) return outcome;
    outcome.written.push_back(target);
    outcome.ok = true;
    return outcome;
  }
  outcome.error = name + " is not in the archive";
  return outcome;
}

}  // namespace zipio
