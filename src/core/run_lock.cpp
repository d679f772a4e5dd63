#include "core/run_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <system_error>
#include <thread>

#include "core/paths.h"
#include "core/strings.h"

namespace tolvarin {
namespace fs = std::filesystem;
namespace {

constexpr std::chrono::milliseconds kRetryEvery{20};
// The companions a backup is written into and moved out of beside its folder.
constexpr const char* kCompanionSuffixes[] = {".TOLVARIN-NEW", ".TOLVARIN-OLD"};

std::string Absolute(const std::string& path) {
  if (IsAbsolutePath(path)) return path;
  char buffer[PATH_MAX];
  return JoinPath(::getcwd(buffer, sizeof buffer) ? buffer : "/", path);
}

// The folder as it stands on disk, without a trailing "/" and without a companion
// suffix; its case kept, so that it can be shown.
std::string LockedPath(const std::string& path) {
  const std::string found = FindPath(Absolute(path));
  std::error_code error;
  const fs::path real = fs::weakly_canonical(found, error);
  std::string text = error ? fs::path(found).lexically_normal().string() : real.string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  const std::string upper = ToUpper(text);
  for (const std::string suffix : kCompanionSuffixes) {
    const std::size_t name = upper.rfind('/') + 1;
    if (upper.size() > name + suffix.size() && upper.compare(upper.size() - suffix.size(), suffix.size(), suffix) == 0)
      text.erase(text.size() - suffix.size());
  }
  return text;
}

// The lock file of a key. Two keys of one hash only make their runs wait for each other.
std::string LockFileName(const std::string& key) { return KeyHashName(key) + ".lock"; }

// A folder as a message names it: as given, without "." and ".." parts.
std::string Shown(const std::string& folder) {
  std::string text = fs::path(folder).lexically_normal().string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

struct Wanted {
  bool exclusive = false;
  std::string shown;  // the folder, as a message names it
};

void Want(std::map<std::string, Wanted>& wanted, const std::string& path, bool exclusive, const std::string& shown) {
  Wanted& entry = wanted[LockFileName(NormalizePath(path))];
  if (entry.shown.empty() || (exclusive && !entry.exclusive)) entry = {exclusive, shown};
}

bool PrepareLockFolder(const std::string& folder, std::string& error) {
  if (folder.empty()) {
    error = "the program has no private temporary folder";
    return false;
  }
  if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    error = std::strerror(errno);
    return false;
  }
  struct stat st;
  if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    error = "it is not a folder";
    return false;
  }
  return true;
}

}  // namespace

std::string LockKey(const std::string& path) { return NormalizePath(LockedPath(path)); }

HeldLocks::~HeldLocks() { Release(); }

HeldLocks::HeldLocks(HeldLocks&& other) noexcept : descriptors_(std::move(other.descriptors_)) {
  other.descriptors_.clear();
}

HeldLocks& HeldLocks::operator=(HeldLocks&& other) noexcept {
  if (this != &other) {
    Release();
    descriptors_ = std::move(other.descriptors_);
    other.descriptors_.clear();
  }
  return *this;
}

void HeldLocks::Release() {
  for (const int descriptor : descriptors_) ::close(descriptor);  // closing drops the flock
  descriptors_.clear();
}

LockAttempt TakeFolderLocks(const std::vector<std::string>& folders, const std::string& lockFolder,
                            std::chrono::milliseconds wait, const std::function<void(const std::string&)>& onWait) {
  LockAttempt attempt;
  // By lock file name: the one order in which every run takes its locks.
  std::map<std::string, Wanted> wanted;
  for (const std::string& folder : folders) {
    if (folder.empty()) continue;
    const std::string real = LockedPath(folder);
    Want(wanted, real, true, Shown(folder));
    for (std::size_t slash = real.find('/'); slash != std::string::npos && slash + 1 < real.size();
         slash = real.find('/', slash + 1)) {
      const std::string above = real.substr(0, slash == 0 ? 1 : slash);
      Want(wanted, above, false, above);
    }
  }
  if (!PrepareLockFolder(lockFolder, attempt.error)) {
    attempt.error = "The lock folder \"" + lockFolder + "\" could not be used: " + attempt.error;
    return attempt;
  }

  const auto deadline = std::chrono::steady_clock::now() + wait;
  bool told = false;
  for (const auto& [name, want] : wanted) {
    const std::string file = JoinPath(lockFolder, name);
    const int descriptor = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (descriptor < 0) {
      attempt.error = "The lock file \"" + file + "\" could not be opened: " + std::strerror(errno);
      attempt.locks.Release();
      return attempt;
    }
    for (;;) {
      if (::flock(descriptor, (want.exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0) break;
      const int why = errno;
      if (why == EINTR) continue;
      const auto now = std::chrono::steady_clock::now();
      if (why != EWOULDBLOCK || now >= deadline) {
        ::close(descriptor);
        attempt.locks.Release();
        if (why == EWOULDBLOCK)
          attempt.busy = want.shown;
        else
          attempt.error = "The lock file \"" + file + "\" could not be locked: " + std::strerror(why);
        return attempt;
      }
      if (!told && onWait) onWait(want.shown);
      told = true;
      std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(kRetryEvery, deadline - now));
    }
    attempt.locks.Add(descriptor);
  }
  attempt.taken = true;
  return attempt;
}

}  // namespace tolvarin
