#pragma once
// A file system of its own for a test that fills the disk: a tmpfs mounted on a fresh
// folder, so that a run writing there meets ENOSPC at the size the test chooses while
// the rest of the machine is untouched. Mounting needs the right to (root, as in the
// sandboxes the suite runs in); where it is refused, Make says why and the test skips.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace testing_support {

class SmallDisk {
 public:
  // A file system of `bytes` (rounded up to whole pages), or null with the reason in
  // *whyNot (for GTEST_SKIP).
  static std::unique_ptr<SmallDisk> Make(std::uintmax_t bytes, std::string* whyNot);
  ~SmallDisk();  // unmounts it, whatever it holds
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  // The mount point; the test's files go below it.
  const std::filesystem::path& path() const { return mount_; }
  // Bytes a new file may still take.
  std::uintmax_t Free() const;
  // Grows or shrinks a filler file (named ".filler" in the mount point) so that about
  // `bytes` stay free (to the file system's block); false when it cannot.
  bool LeaveFree(std::uintmax_t bytes);
  // Removes the filler, so that a rerun meets no full disk.
  void Unfill();

 private:
  SmallDisk(std::filesystem::path folder, std::filesystem::path mount);
  std::filesystem::path folder_;  // the folder that holds the mount point
  std::filesystem::path mount_;
};

}  // namespace testing_support
