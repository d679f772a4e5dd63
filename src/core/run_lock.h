#pragma once
// One run at a time on a folder. A run holds the folders it works on for its whole
// length: each of them exclusively and every folder above them shared, so that two
// runs on one folder, or on a folder and a folder inside it (a course and the upgrade
// of its databases root), never work at once, while runs on folders side by side do.
//
// A lock is an flock() on a small file in a lock folder of the program's own, one file
// per folder path, named after the path's key. So nothing is written into the folders
// themselves (which the host programs and the backups list), a folder that a run
// swaps for another under the same name stays locked, and the kernel drops the lock
// when its process ends, however it ends: a killed run leaves no lock behind.
#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace tolvarin {

// What a folder is locked under: its absolute path as it stands on disk (the case of
// each name found, links and ".." resolved), in the normal form of NormalizePath. A
// backup folder's ".tolvarin-new" and ".tolvarin-old" companions share its key.
std::string LockKey(const std::string& path);

// Locks taken; released when the holder goes (or the process ends).
class HeldLocks {
 public:
  HeldLocks() = default;
  ~HeldLocks();
  HeldLocks(HeldLocks&& other) noexcept;
  HeldLocks& operator=(HeldLocks&& other) noexcept;
  HeldLocks(const HeldLocks&) = delete;
  HeldLocks& operator=(const HeldLocks&) = delete;

  void Add(int descriptor) { descriptors_.push_back(descriptor); }
  void Release();

 private:
  std::vector<int> descriptors_;
};

struct LockAttempt {
  bool taken = false;
  std::string busy;   // the folder another run holds, when not taken for that
  std::string error;  // why the lock folder could not be used, when not taken for that
  HeldLocks locks;
};

// Takes the folders exclusively and the folders above them shared, in one order that
// every run follows (so two waiting runs never wait for each other). A folder that
// another run holds is tried again until `wait` has passed; onWait is told the first
// such folder once. Nothing is held when the result is not taken.
LockAttempt TakeFolderLocks(const std::vector<std::string>& folders, const std::string& lockFolder,
                            std::chrono::milliseconds wait,
                            const std::function<void(const std::string& busy)>& onWait = {});

}  // namespace tolvarin
